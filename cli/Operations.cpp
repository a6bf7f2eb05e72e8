#include "Operations.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Platform.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "devices/FileCommands.h"
#include "link/FirmwareUpdate.h"
#include "link/ProgrammerSearch.h"

namespace velmar::cli {

namespace {

constexpr std::string_view kGoodUpdate = "Good Update...";

void Complain(const std::string& text) {
    std::fprintf(stderr, "velmar-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

// A missing input file is a usage error, found before anything is sent.
bool InputReadable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (in) return true;
    Complain("cannot read " + path + ": " + std::strerror(errno));
    return false;
}

bool OutputDirectoryWritable(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty()) dir = ".";
    int error = 0;
    if (platform::DirectoryWritable(dir.string(), error)) return true;
    Complain("cannot write " + path + ": " + std::strerror(error));
    return false;
}

// The window's search; true when the programmer answered.
bool Search(ProgramState& state) {
    FindProgrammer(state.D2XX, state.Link, state.Panel, state.FailFlag);
    return state.Link.LinkState == 2;
}

} // namespace

int RunProbe(ProgramState& state, ConsolePanel& panel) {
    panel.AnswerQuestionsYes(false);
    if (!Search(state)) return ExitFailed;
    std::printf("%s\n", panel.Banner().c_str());
    std::fflush(stdout);
    return ExitSuccess;
}

int RunFirmware(ProgramState& state, ConsolePanel& panel, const std::string& path) {
    if (!InputReadable(path)) return ExitUsage;
    panel.AnswerQuestionsYes(true);
    panel.SetFirmwareFile(path);
    if (!Search(state)) return ExitFailed;
    // A current firmware is not offered the update by the search: run it here.
    const bool ranInSearch = panel.Banner() == "Updating Programmer Flash Code....";
    if (!ranInSearch) UpdateFirmware(state.D2XX, state.Link, state.Panel);
    return panel.Showed(kGoodUpdate) ? ExitSuccess : ExitFailed;
}

int RunDeviceOperation(ProgramState& state, ConsolePanel& panel, const Arguments& arguments) {
    const Operation op = arguments.operation;
    if (op == Operation::Read) {
        if (!OutputDirectoryWritable(arguments.dataPath)) return ExitUsage;
    } else if (!arguments.dataPath.empty()) {
        if (!InputReadable(arguments.dataPath)) return ExitUsage;
    }

    panel.AnswerQuestionsYes(false);
    if (!Search(state)) return ExitFailed;

    // Set before the selection so that its ClampWindow clamps it against the
    // new device range, as the window does with an entered value.
    if (arguments.bufferStart) state.Window.BufferStart = *arguments.bufferStart;
    state.Selection.SelectedRow = arguments.catalogueRow;
    ApplyDeviceSelection(state);
    panel.SetProgressRange(state.Window.DeviceStart, state.Window.DeviceEnd);
    if (arguments.fileType) state.FileType = *arguments.fileType;
    state.AutoVerify = 1;

    if (op == Operation::Verify || op == Operation::Compare || op == Operation::Program) {
        state.FailFlag = 0;
        bool fileError = false;
        // As convert: a file that cannot be read is 2, malformed contents 1.
        if (!LoadDataFile(state, arguments.dataPath, &fileError))
            return fileError ? ExitUsage : ExitFailed;
        // Records with a wrong checksum were stored but flagged: such an image
        // is not put on a chip unnoticed.
        if (state.FailFlag != 0) {
            Complain(arguments.dataPath + " has records with a wrong checksum; nothing done");
            return ExitFailed;
        }
    }

    switch (op) {
    case Operation::Read:
        Move_EpromClick(state);
        break;
    case Operation::Verify:
        VerifyClick(state);
        break;
    case Operation::Blank:
        Blank_ChkClick(state);
        break;
    case Operation::Compare:
        CompareClick(state);
        break;
    case Operation::Program:
        ProgrammClick(state);
        break;
    case Operation::Erase:
        Erase_ButClick(state);
        break;
    case Operation::Lock:
        SecurityClick(state);
        Security_ListClick(state, arguments.lockBit - 1);
        break;
    }
    panel.FinishProgress();
    if (state.FailFlag != 0) return ExitFailed;

    if (op == Operation::Read && !SaveDataFile(state, arguments.dataPath)) return ExitUsage;
    return ExitSuccess;
}

} // namespace velmar::cli

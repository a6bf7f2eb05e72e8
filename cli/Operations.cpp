#include "Operations.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "buffer/FileReplacement.h"
#include "buffer/HexText.h"
#include "buffer/InputFile.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "devices/FileCommands.h"
#include "link/FirmwareUpdate.h"
#include "link/ProgrammerSearch.h"

namespace velmar::cli {

namespace {

constexpr std::string_view kGoodUpdate = "Good Update...";

void Complain(const std::string& text) {
    cli::Complain(stderr, text);
}

// A missing input file is a usage error, found before anything is sent. The
// data file stays open for the load: a FIFO cannot be opened a second time.
InputFile OpenInput(const std::string& path) {
    std::string error;
    InputFile file = OpenInputFile(path, error);
    if (!file) Complain("cannot read " + path + ": " + error);
    return file;
}

// The firmware file is opened by the update itself; here it is only looked
// at, so that it is opened once.
bool InputReadable(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        Complain("cannot read " + path + ": " + std::strerror(EISDIR));
        return false;
    }
    if (::access(path.c_str(), R_OK) == 0) return true;
    Complain("cannot read " + path + ": " + std::strerror(errno));
    return false;
}

// The output is checked as the save will write it: a FIFO or device in
// place, anything else through its folder.
bool OutputDirectoryWritable(const std::string& path) {
    const std::string problem = OutputProblem(path);
    if (problem.empty()) return true;
    Complain("cannot write " + path + ": " + problem);
    return false;
}

// The window's search; true when the programmer answered.
bool Search(ProgramState& state) {
    FindProgrammer(state.D2XX, state.Link, state.Panel, state.FailFlag);
    return state.Link.LinkState == 2;
}

// The window the device selection will set up, so that the file can be
// loaded and judged before the programmer is touched.
AddressWindow SelectedWindow(const Arguments& arguments) {
    const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)];
    AddressWindow w;
    w.BufferStart = arguments.bufferStart.value_or(0);
    w.DeviceStart = 0;
    w.DeviceEnd = row.DeviceEnd;
    w.DeviceLimit = row.Family == 6 ? 0x3FFF : row.DeviceEnd;
    w.HexOffset = 0;
    ClampWindowValues(w);
    return w;
}

// Fills the buffer with the part's erased value (or --fill), loads the data
// file and refuses what must not reach a chip. The exit status, or -1 to go on.
// `stream` is the data file opened before the search, or none for a load
// that opens the file itself.
int LoadImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments,
              std::FILE* stream) {
    const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)];
    const std::string& path = arguments.dataPath;
    state.Window = SelectedWindow(arguments);
    state.Buffer.Fill(arguments.fill.value_or(row.Family > 2 ? 0xFF : 0x00));
    state.FailFlag = 0;
    LoadFacts facts;
    bool fileError = false;
    panel.BeginLoad(path);
    const bool loaded = stream ? LoadDataStream(state, path, stream, &fileError, &facts)
                               : LoadDataFile(state, path, &fileError, &facts);
    panel.EndLoad();
    // The load leaves its end record's stop and last address in the transfer
    // state; the search that follows must not see them.
    state.Transfer.StopFlag = 0;
    state.Transfer.DeviceAddress = state.Window.DeviceStart;
    // As convert: a file that cannot be read is 2, malformed contents 1.
    if (!loaded) return fileError ? ExitUsage : ExitFailed;
    if (facts.dataBytes == 0) {
        Complain(path + " holds no data; nothing done");
        return ExitFailed;
    }
    // Records with a wrong checksum were stored but flagged: such an image
    // is not put on a chip unnoticed.
    if (facts.badChecksumRecords > 0) {
        Complain(path + " has records with a wrong checksum; nothing done");
        return ExitFailed;
    }
    if (facts.beyondBytes > 0 && !arguments.fold) {
        Complain(path + ": data at address " + HexText(facts.firstBeyondAddress, 5) +
                 " lie beyond the " + arguments.deviceName + "'s end (" +
                 HexText(state.Window.DeviceEnd, 4) + "); nothing done (--fold loads them " +
                 (state.FileType == 0 ? "cut" : "folded") + ")");
        return ExitFailed;
    }
    state.FailFlag = 0;
    return -1;
}

// `read` writes the device's bytes in device order: the buffer range the
// read filled, from BufferStart, whatever BufferStart is.
bool SaveDeviceImage(ProgramState& state, const std::string& path) {
    const AddressWindow window = state.Window;
    const std::int32_t span = window.DeviceEnd - window.DeviceStart;
    if (window.BufferStart == 0 && window.DeviceStart == 0) return SaveDataFile(state, path);
    const DataBuffer read = state.Buffer;
    state.Buffer.Fill(0);
    for (std::int32_t i = 0; i <= span; ++i)
        state.Buffer[i] = read[window.BufferStart + i];
    state.Window.BufferStart = 0;
    state.Window.DeviceStart = 0;
    state.Window.DeviceEnd = span;
    const bool saved = SaveDataFile(state, path);
    state.Buffer = read;
    state.Window = window;
    return saved;
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
    InputFile dataFile;
    const bool loads =
        op == Operation::Verify || op == Operation::Compare || op == Operation::Program;
    if (op == Operation::Read) {
        if (!OutputDirectoryWritable(arguments.dataPath)) return ExitUsage;
        // Every byte read must have a place in the buffer to be saved.
        const AddressWindow w = SelectedWindow(arguments);
        if (std::int64_t{w.BufferStart} + (w.DeviceEnd - w.DeviceStart) >= kBufferSize) {
            Complain("--buffer-start " + HexText(w.BufferStart, 4) + " leaves no room for the " +
                     arguments.deviceName + "'s " +
                     std::to_string(w.DeviceEnd - w.DeviceStart + 1) +
                     " bytes in the 64 KiB buffer");
            return ExitUsage;
        }
    } else if (!arguments.dataPath.empty()) {
        dataFile = OpenInput(arguments.dataPath);
        if (!dataFile) return ExitUsage;
    }
    if (arguments.fileType) state.FileType = *arguments.fileType;
    if (loads) {
        const int refused = LoadImage(state, panel, arguments, dataFile.get());
        if (refused >= 0) return refused;
    }

    panel.AnswerQuestionsYes(false);
    if (!Search(state)) return ExitFailed;

    // Set before the selection so that its ClampWindow clamps it against the
    // new device range, as the window does with an entered value.
    if (arguments.bufferStart) state.Window.BufferStart = *arguments.bufferStart;
    state.Selection.SelectedRow = arguments.catalogueRow;
    ApplyDeviceSelection(state);
    panel.SetProgressRange(state.Window.DeviceStart, state.Window.DeviceEnd);
    state.AutoVerify = 1;

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

    if (op == Operation::Read && !SaveDeviceImage(state, arguments.dataPath)) return ExitUsage;
    return ExitSuccess;
}

} // namespace velmar::cli

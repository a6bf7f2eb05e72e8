#include "Startup.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "CommandLine.h"
#include "Dialogs.h"
#include "FileDrop.h"
#include "buffer/HexReader.h"
#include "buffer/InputFile.h"
#include "devices/DeviceSelection.h"
#include "devices/FileCommands.h"
#include "devices/OperationFrame.h"
#include "devices/ProgramState.h"
#include "devices/Tasks.h"
#include "devices/VppSelection.h"
#include "link/ProgrammerSearch.h"

namespace velmar::ui {

namespace {

constexpr std::int32_t kHighestAddress = 0xFFFFF;
// How long a FIFO's writer may pause before start-up goes on without it.
constexpr int kQuietWriterMs = 200;

std::int32_t IntoAddressRange(std::int32_t value) {
    return std::clamp<std::int32_t>(value, 0, kHighestAddress);
}

} // namespace

Startup::Startup(StartupWidgets widgets, ProgramState& state)
    : QObject(widgets.MainForm), places(ProgramPlaces()), form_(std::move(widgets)), state_(state) {
    *form_.CloseQuery = [this] { FormCloseQuery(); };
}

void Startup::FormCreate() {
    // The file dialogs start in the current directory until a file has been
    // chosen in them (Dialogs does that by itself).
    state_.Panel->DeviceChanged(kNoDevice);
    state_.Window.HexOffset = 0;
    state_.Selection = DeviceSelection{};
    state_.Link.PacketLength = 8;
    form_.Memo1->clear();
    state_.Panel->PumpEvents();
}

void Startup::FormActivate() {
    if (activated_) return;
    activated_ = true;
    form_.AsHandler([this] { RunStartupSequence(); });
}

void Startup::RunStartupSequence() {
    state_.Panel->PumpEvents();
    BeginOperation(state_);
    form_.Memo1->hide();
    std::error_code ec;
    StartupDirectory = std::filesystem::current_path(ec).string();

    SettingsFile = SettingsFileFor(StartupDirectory, places);

    std::string problem;
    if (const auto lines = ReadSettingsFile(SettingsFile, problem))
        RestoreSettings(InterpretSettingsLines(*lines));
    else if (!problem.empty())
        state_.Panel->DiagnosticLine(DiagnosticOf::SettingsFile, problem);
    if (!CommandLineFile.empty()) LoadCommandLineFile();

    tasks::FindProgrammer(state_);
    ApplyVpp(state_);
    state_.FailFlag = false;
    EndOperation(state_);
    if (!state_.Selection.HasDevice) form_.Device_Box->show();
}

void Startup::RestoreSettings(const StoredSettings& s) {
    tasks::SelectDevice(state_, s.SelectedRow);

    state_.FileType = static_cast<FileType>(s.FileType); // a number no row has stays
    state_.Selection.ChosenVpp = s.VppSetting;
    // The file stores 1 for on; any other number is off.
    tasks::SetAutoVerify(state_, s.AutoVerify == 1);

    // A hand-edited file may hold anything; the window only knows 20 bits.
    state_.Window.BufferStart = IntoAddressRange(s.BufferStart);
    state_.Window.DeviceStart = IntoAddressRange(s.DeviceStart);
    state_.Window.DeviceEnd = IntoAddressRange(s.DeviceEnd);
    state_.Window.HexOffset = IntoAddressRange(s.HexOffset);

    form_.ApplyFileType();
    ClampWindow(state_);

    // A file named on the command line replaces the last one; loading the
    // old one first would only show its boxes for nothing.
    if (!s.LastFile.empty() && CommandLineFile.empty()) {
        form_.OpenDialog1->FileName = s.LastFile;
        // The loader picks binary or hex by FileType, never by the extension.
        LoadStartupFile(s.LastFile, false);
        state_.Panel->FileLoaded(form_.OpenDialog1->FileName);
    }
}

bool Startup::LoadStartupFile(const std::string& name, bool typeFromFile) {
    UnwaitedInput input;
    std::string error;
    if (!OpenUnwaitedInput(name, kHexInputLimit + 1, kQuietWriterMs, input, error)) {
        if (typeFromFile) SetFileType(DataFileTypeOf(name, {}));
        ReportUnreadableDataFile(state_, name, error);
        return false;
    }
    if (!input.regular && input.bytes.empty()) {
        if (typeFromFile) SetFileType(DataFileTypeOf(name, {}));
        ReportUnreadableDataFile(state_, name,
                                 "it is not a regular file, and nothing could be read from it");
        return false;
    }
    std::FILE* stream = input.file.get();
    InputFile memory;
    if (!input.regular) {
#if defined(__unix__) || defined(__APPLE__) // elsewhere every input is taken as regular
        memory.reset(::fmemopen(input.bytes.data(), input.bytes.size(), "rb"));
#endif
        stream = memory.get();
    }
    if (typeFromFile) {
        // The head is read from the one stream, which then starts again.
        std::string head = input.bytes.substr(0, kDataFileHead);
        if (input.regular) {
            head.resize(kDataFileHead);
            head.resize(std::fread(head.data(), 1, head.size(), stream));
            std::rewind(stream);
        }
        const FormatVerdict verdict = JudgeDataFile(name, head);
        if (RefuseUnchosenFormat(state_, name, verdict)) return false;
        SetFileType(verdict.fileType);
    }
    return stream != nullptr && tasks::LoadFile(state_, name, stream).Loaded;
}

void Startup::SetFileType(FileType type) {
    state_.FileType = type;
    form_.ApplyFileType();
}

void Startup::LoadCommandLineFile() {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(CommandLineFile, ec);
    if (ec) path = CommandLineFile;
    const std::string name = path.lexically_normal().string();
    // As Load Buffer does, with the type the file itself shows.
    form_.OpenDialog1->FileName = name;
    if (LoadStartupFile(name, true)) ComputeChecksum(state_);
}

StoredSettings Startup::CurrentSettings() const {
    StoredSettings s;
    s.SelectedRow = state_.Selection.SelectedRow;
    s.FileType = state_.FileType;
    s.VppSetting = state_.Selection.VppSetting();
    s.AutoVerify = state_.AutoVerify ? 1 : 0;
    s.BufferStart = state_.Window.BufferStart;
    s.DeviceStart = state_.Window.DeviceStart;
    s.DeviceEnd = state_.Window.DeviceEnd;
    s.HexOffset = state_.Window.HexOffset;
    s.LastFile = form_.OpenDialog1->FileName;
    return s;
}

void Startup::FormCloseQuery() {
    state_.Link.SendIdle();
    state_.Link.ReplyTimerRunning = false;
    tasks::RequestStop(state_);
    // A settings file that cannot be written is not worth stopping the close for.
    // Not before the start-up sequence, nor without a start-up directory.
    // What start-up does not read is not written either: a FIFO's open would
    // wait for its reader.
    std::error_code status;
    const auto kind = std::filesystem::status(SettingsFile, status);
    const bool kept = !std::filesystem::exists(kind) || std::filesystem::is_regular_file(kind);
    if (kept && std::filesystem::path(SettingsFile).is_absolute()) {
        std::error_code ec;
        const auto folder = std::filesystem::path(SettingsFile).parent_path();
        if (SettingsFile != SettingsPath(StartupDirectory))
            std::filesystem::create_directories(folder, ec);
        WriteSettingsFile(SettingsFile, CurrentSettings());
    }
    state_.Panel->PumpEvents();
}

} // namespace velmar::ui

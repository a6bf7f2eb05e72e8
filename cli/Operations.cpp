#include "Operations.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "DataStreams.h"
#include "DumpIdentity.h"
#include "ImageChecksums.h"
#include "OperationTable.h"
#include "Platform.h"
#include "SerialBackend.h"
#include "buffer/DataFormats.h"
#include "buffer/FileReplacement.h"
#include "buffer/FormatDetection.h"
#include "buffer/HexText.h"
#include "buffer/InputFile.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "devices/DiagnosisRead.h"
#include "devices/FileCommands.h"
#include "devices/PreFlight.h"
#include "devices/Tasks.h"
#include "link/FirmwareUpdate.h"
#include "link/ProgrammerSearch.h"

namespace velmar::cli {

namespace {

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
    int error = 0;
    if (platform::FileReadable(path, error)) return true;
    Complain("cannot read " + path + ": " + std::strerror(error));
    return false;
}

// The output is checked as the save will write it: a FIFO or device in
// place, anything else through its folder.
bool OutputDirectoryWritable(const std::string& path) {
    if (path == "-") return true;
    const std::string problem = OutputProblem(path);
    if (problem.empty()) return true;
    Complain("cannot write " + path + ": " + problem);
    return false;
}

// What the window's not-found box cannot know: the serial asked for, or
// that several bridges left the search no single one to ask.
std::string NotFoundHint(const ProgramState& state, const std::string& serial) {
    const std::int32_t bridges = state.D2XX.DeviceCount;
    if (!serial.empty())
        return (bridges == 0
                    ? "no USB bridge with serial " + serial + " is attached"
                    : "the bridge with serial " + serial + " does not answer as the programmer") +
               "; velmar-cli list shows every bridge and which answer";
    if (bridges > 1)
        return std::to_string(bridges) +
               " USB bridges are attached and none was asked; give --serial SN (velmar-cli "
               "list shows every bridge and which answer)";
    return {};
}

// The window's search; none when the programmer did not answer. -v names
// the programmer and its firmware; -q still says that none answered.
std::optional<SearchResult> Search(ProgramState& state, ConsolePanel& panel,
                                   const std::string& serial) {
    const SearchResult found = tasks::FindProgrammer(state);
    if (!found.Found()) {
        if (panel.Verbosity() < 0) Complain(NotFoundText(state.D2XX));
        if (const std::string hint = NotFoundHint(state, serial); !hint.empty()) Complain(hint);
        return std::nullopt;
    }
    const std::string version = found.Firmware->Text();
    state.D2XX.GetFTDeviceSerialNo(0);
    const std::string answered = state.D2XX.NameBufferToString();
    panel.Report().programmerSerial = answered;
    panel.Report().programmerFirmware = version;
    if (panel.Verbosity() >= 1) {
        state.D2XX.GetFTDeviceDescription(0);
        panel.Detail("programmer: " + state.D2XX.NameBufferToString() + ", serial " + answered +
                     ", firmware " + version);
    }
    return found;
}

constexpr const char* kStandardInput = "standard input";

// Where the image comes from: standard input for "-" (read whole), else the
// file; and its format, from --format, the extension or the contents.
struct ImageSource {
    std::string name;
    std::string bytes; // standard input, or a file judged by its contents
    std::FILE* stream = nullptr;
    ~ImageSource() {
        if (stream) std::fclose(stream);
    }
};

// `file` is the data file, opened once before the search (none for "-").
// The exit status, or -1 to go on.
int OpenImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments,
              InputFile& file, ImageSource& source) {
    const std::string& path = arguments.dataPath;
    source.name = path == "-" ? kStandardInput : path;
    std::string how = arguments.formatGiven ? "from --format" : "from the extension";
    std::string error;
    // A binary file read as asked (by --format or its .bin name) is streamed,
    // so that an endless one ends one byte past the buffer; anything else
    // is read whole and judged by its contents too.
    const bool judged = !arguments.formatGiven && arguments.fileType != BinaryFileType;
    if (arguments.imageBytes) {
        source.bytes = *arguments.imageBytes;
    } else if (path == "-") {
        if (!ReadWholeStream(stdin, source.bytes, error)) {
            Complain("cannot read standard input: " + error);
            return ExitUsage;
        }
    } else if (judged) {
        if (!ReadWholeStream(file.get(), source.bytes, error)) {
            Complain("cannot read " + path + ": " + error);
            return ExitUsage;
        }
    } else {
        source.stream = file.release();
    }
    if (!judged) {
        state.FileType = *arguments.fileType;
    } else {
        const FormatVerdict verdict = JudgeDataFile(path == "-" ? "" : path, source.bytes);
        if (verdict.problem != FormatProblem::None) {
            Complain(FormatProblemText(verdict.problem, source.name) +
                     "; give --format binary to program it as bytes");
            return ExitFailed;
        }
        state.FileType = verdict.fileType;
        if (arguments.fileType != verdict.fileType) how = "detected from its contents";
    }
    RunReport& report = panel.Report();
    report.fileName = source.name;
    report.fileFormat = std::string(DataFormatOf(state.FileType).CliName);
    if (path == "-" || judged || arguments.imageBytes) {
        report.fileSha1 = Sha1Text(reinterpret_cast<const std::uint8_t*>(source.bytes.data()),
                                   source.bytes.size());
        // An empty string cannot back a memory stream; it holds no data.
        if (source.bytes.empty()) {
            Complain(source.name + " holds no data; nothing done");
            return ExitFailed;
        }
        source.stream = platform::OpenMemoryStream(source.bytes);
        if (source.stream == nullptr) {
            Complain("cannot read " + source.name + ": " + std::strerror(errno));
            return ExitUsage;
        }
    }
    const std::string format(DataFormatOf(state.FileType).Description);
    panel.Detail("file: " + source.name + ", " + format + " (" + how + ")");
    return -1;
}

} // namespace

AddressWindow SelectedWindow(const Arguments& arguments) {
    if (arguments.catalogueRow < 0) {
        // No device (sum FILE): the whole buffer, folded into it with --fold.
        AddressWindow w;
        w.BufferStart = arguments.bufferStart.value_or(0);
        w.DeviceLimit = arguments.fold ? kBufferSize - 1 : 0xFFFFF;
        w.DeviceEnd = w.DeviceLimit;
        w.HexOffset = arguments.hexOffset.value_or(0);
        return w;
    }
    const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)];
    AddressWindow w;
    w.BufferStart = arguments.bufferStart.value_or(0);
    w.DeviceStart = 0;
    w.DeviceEnd = row.DeviceEnd;
    w.DeviceLimit = row.DeviceLimit();
    w.HexOffset = arguments.hexOffset.value_or(0);
    ClampWindowValues(w);
    return w;
}

namespace {

// Why a loaded file must not reach the chip; empty when it may.
struct Refusal {
    int status = -1;
    std::string text;
    bool showWarnings = true; // the loader's warnings still say something
};

Refusal JudgeLoad(const ProgramState& state, const Arguments& arguments, const std::string& path,
                  const LoadFacts& facts) {
    const AddressWindow& w = state.Window;
    if (const std::string problem = UnsoundRecords(path, facts); !problem.empty())
        return {ExitFailed, problem + "; nothing done"};
    if (facts.dataBytes == 0) return {ExitFailed, path + " holds no data; nothing done"};
    // Without a device nothing lies beyond an end: only past the buffer.
    if (arguments.catalogueRow < 0 && facts.droppedBytes > 0 && !arguments.fold)
        return {ExitFailed,
                path + " holds data past address FFFF; nothing done (--fold " +
                    (state.FileType == 0 ? "cuts them off" : "folds them into 64 KiB") + ")",
                false};
    // Records with a wrong checksum were stored but flagged: such an image
    // is not put on a chip unnoticed.
    if (facts.badChecksumRecords > 0)
        return {ExitFailed, path + " has records with a wrong checksum; nothing done"};
    if (facts.beyondBytes > 0 && !arguments.fold)
        return {ExitFailed,
                path + ": data at address " + HexText(facts.firstBeyondAddress, 5) +
                    " lie beyond the " + arguments.deviceName + "'s end (" +
                    HexText(w.DeviceEnd, 4) + "); nothing done (--fold loads them " +
                    (state.FileType == 0 ? "cut" : "folded") + ")",
                false};
    // Hex records load at their own address, whatever the buffer start: the
    // device would get the fill alone, and a blank part would verify.
    if (facts.rangeBytes == 0 && arguments.catalogueRow >= 0)
        return {ExitFailed,
                "none of " + path + "'s data lies in buffer positions " +
                    HexText(w.BufferStart, 4) + "-" +
                    HexText(w.BufferStart + w.DeviceEnd - w.DeviceStart, 4) + ", which the " +
                    arguments.deviceName + " uses; give --offset or --buffer-start",
                false};
    return {};
}

// Fills the buffer with the part's erased value (or --fill), loads the data
// file and refuses what must not reach a chip. The exit status, or -1 to go on.
int LoadImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments, InputFile& file,
              LoadFacts& facts) {
    // Without a device the buffer starts as the window's does, all 00.
    const std::uint8_t erased =
        arguments.catalogueRow < 0
            ? std::uint8_t{0}
            : DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)].Can().ErasedValue;
    ImageSource source;
    if (const int status = OpenImage(state, panel, arguments, file, source); status >= 0)
        return status;
    const std::string& path = source.name;
    state.Window = SelectedWindow(arguments);
    state.Buffer.Fill(arguments.fill.value_or(erased));
    state.FailFlag = false;
    panel.HoldWarnings();
    panel.BeginLoad(path);
    const LoadResult loaded = source.stream ? tasks::LoadFile(state, path, source.stream, &facts)
                                            : tasks::LoadFile(state, path, &facts);
    panel.EndLoad();
    // The load leaves its last address in the transfer state (its end
    // record's stop is cleared by the search and by every operation frame).
    state.Transfer.DeviceAddress = state.Window.DeviceStart;
    // As convert: a file that cannot be read is 2, malformed contents 1.
    if (!loaded.Loaded) {
        panel.ReleaseWarnings(true);
        return loaded.CannotRead ? ExitUsage : ExitFailed;
    }
    const Refusal refusal = JudgeLoad(state, arguments, path, facts);
    panel.ReleaseWarnings(refusal.showWarnings);
    if (refusal.status >= 0) {
        Complain(refusal.text);
        return refusal.status;
    }
    state.FailFlag = false;
    if (facts.highestPosition >= 0)
        panel.Detail("file data: " + std::to_string(facts.dataBytes) + " bytes, up to buffer " +
                     "position " + HexText(facts.highestPosition, 4));
    return -1;
}

// `read` writes the device's bytes in device order: the buffer range the
// read filled, from BufferStart, whatever BufferStart is.
bool SaveImage(ProgramState& state, const std::string& path) {
    if (path != "-") return SaveDataFile(state, path);
    if (WriteImage(stdout, state)) return true;
    Complain(std::string("cannot write standard output: ") + std::strerror(errno));
    return false;
}

bool SaveDeviceImage(ProgramState& state, const std::string& path) {
    const AddressWindow window = state.Window;
    const std::int32_t span = window.DeviceEnd - window.DeviceStart;
    if (window.BufferStart == 0 && window.DeviceStart == 0) return SaveImage(state, path);
    const DataBuffer read = state.Buffer;
    state.Buffer.Fill(0);
    for (std::int32_t i = 0; i <= span; ++i)
        state.Buffer[i] = read[window.BufferStart + i];
    state.Window.BufferStart = 0;
    state.Window.DeviceStart = 0;
    state.Window.DeviceEnd = span;
    const bool saved = SaveImage(state, path);
    state.Buffer = read;
    state.Window = window;
    return saved;
}

// A line of the run's report on the error stream (not a message: -q keeps
// what the caller decides to keep).
void Say(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::string IdentityLine(const std::vector<std::uint8_t>& bytes) {
    return cli::IdentityLine(bytes.data(), bytes.size());
}

// The buffer bytes the device's range maps to, in device order.
std::vector<std::uint8_t> RangeBytes(const ProgramState& state) {
    return WindowBytes(state.Buffer, state.Window);
}

// Several reads of one part: each bit takes the value most reads gave it
// (the first read's on a tie), which is the majority byte whenever one
// exists. Every address whose reads differed is listed with the bits that
// moved; reads.front() becomes the majority. 1 when any bit was unstable.
int ReportWeakBits(ProgramState& state, ConsolePanel& panel,
                   std::vector<std::vector<std::uint8_t>>& reads, bool imageOnStdout) {
    std::FILE* list = imageOnStdout ? stderr : stdout;
    std::vector<std::uint8_t> majority = reads.front();
    long bytes = 0, bits = 0;
    for (std::size_t i = 0; i < majority.size(); ++i) {
        std::uint8_t unstable = 0;
        for (const auto& read : reads)
            unstable |= static_cast<std::uint8_t>(read[i] ^ reads.front()[i]);
        if (unstable == 0) continue;
        const std::uint8_t value = MajorityOf(reads, i);
        majority[i] = value;
        ++bytes;
        bits += std::popcount(unstable);
        std::fprintf(list, "%s  UNSTABLE-%s MAJORITY-%s\n",
                     HexText(state.Window.DeviceStart + static_cast<std::int32_t>(i), 4).c_str(),
                     HexText(unstable, 2).c_str(), HexText(value, 2).c_str());
    }
    std::fflush(list);
    reads.front() = majority;
    if (bytes == 0) {
        if (panel.Verbosity() >= 0)
            Say(std::to_string(reads.size()) + " reads agree: no unstable bits");
        return ExitSuccess;
    }
    Complain(std::to_string(bytes) + (bytes == 1 ? " address" : " addresses") + " with " +
             std::to_string(bits) + (bits == 1 ? " unstable bit" : " unstable bits") + " over " +
             std::to_string(reads.size()) + " reads; the file holds the majority");
    return ExitFailed;
}

} // namespace

int PrecheckPart(ProgramState& state, ConsolePanel& panel, bool changedOnly,
                 std::vector<std::int32_t>& changed, std::size_t& blocks) {
    panel.SetOperationName("Read");
    const std::optional<std::vector<std::uint8_t>> part = ReadPartBeforeProgramming(state);
    panel.FinishProgress();
    panel.SetOperationName("Program");
    if (!part) return ExitFailed;
    const std::uint8_t erased = state.Selection.BlankValue();
    const std::vector<std::uint8_t> image = ImageOfRange(state, erased);
    const PartFit fit = FitPart(state.Window.DeviceStart, image, *part, erased);
    if (fit.cannotTake > 0) {
        Complain(RefusalText(fit) + "; nothing programmed");
        return ExitFailed;
    }
    if (panel.Verbosity() >= 0)
        Say(std::to_string(fit.alreadyRight) + " of " + std::to_string(fit.total) +
            " bytes already hold the image");
    blocks = (image.size() + 255) / 256;
    if (changedOnly) changed = ChangedBlocks(state.Window.DeviceStart, image, *part);
    return -1;
}

std::string SkippedBlocksLine(std::size_t blocks, std::size_t programmed,
                              std::chrono::steady_clock::duration programming) {
    const std::size_t skipped = blocks - programmed;
    std::string line = "skipped " + std::to_string(skipped) + " of " + std::to_string(blocks) +
                       " blocks that already hold the image";
    if (programmed == 0 || skipped == 0) return line;
    const double seconds = std::chrono::duration<double>(programming).count() *
                           static_cast<double>(skipped) / static_cast<double>(programmed);
    char text[64];
    std::snprintf(text, sizeof text, ", about %.1f s saved", seconds);
    return line + text;
}

int RunProbe(ProgramState& state, ConsolePanel& panel, const std::string& serial, bool json) {
    panel.AnswerQuestionsYes(false);
    if (!Search(state, panel, serial)) return ExitFailed;
    if (json) return ExitSuccess;
    std::printf("%s\n", panel.Banner().c_str());
    std::fflush(stdout);
    return ExitSuccess;
}

int RunFirmware(ProgramState& state, ConsolePanel& panel, const std::string& path,
                const std::string& serial) {
    if (!InputReadable(path)) return ExitUsage;
    panel.AnswerQuestionsYes(true);
    panel.SetFirmwareFile(path);
    const std::optional<SearchResult> found = Search(state, panel, serial);
    if (!found) return ExitFailed;
    // A current firmware is not offered the update by the search: run it here.
    const FirmwareUpdateOutcome update =
        found->Update ? *found->Update : tasks::UpdateFirmware(state);
    return update == FirmwareUpdateOutcome::GoodUpdate ? ExitSuccess : ExitFailed;
}

int LoadDataImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments,
                  LoadFacts* facts) {
    LoadFacts own;
    InputFile dataFile;
    if (!arguments.imageBytes && !arguments.dataPath.empty() && arguments.dataPath != "-") {
        dataFile = OpenInput(arguments.dataPath);
        if (!dataFile) return ExitUsage;
    }
    if (arguments.fileType) state.FileType = *arguments.fileType;
    return LoadImage(state, panel, arguments, dataFile, facts != nullptr ? *facts : own);
}

bool SelectDevice(ProgramState& state, ConsolePanel& panel, const Arguments& arguments) {
    panel.AnswerQuestionsYes(false);
    if (!Search(state, panel, arguments.serial)) return false;

    // Set before the selection so that its ClampWindow clamps it against the
    // new device range, as the window does with an entered value.
    if (arguments.bufferStart) state.Window.BufferStart = *arguments.bufferStart;
    const AddressWindow w = tasks::SelectDevice(state, arguments.catalogueRow).Window;
    panel.SetProgressRange(w.DeviceStart, w.DeviceEnd);
    panel.Detail("device: " + arguments.deviceName + ", addresses " + HexText(w.DeviceStart, 4) +
                 "-" + HexText(w.DeviceEnd, 4) + ", buffer start " + HexText(w.BufferStart, 4));
    state.AutoVerify = true;
    return true;
}

int PrepareImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments) {
    const Operation op = arguments.operation;
    // Every device byte must have its buffer position: one past the buffer
    // would be read into nothing, verified against nothing or never written.
    const AddressWindow window = SelectedWindow(arguments);
    if (std::int64_t{window.BufferStart} + (window.DeviceEnd - window.DeviceStart) >= kBufferSize) {
        Complain("--buffer-start " + HexText(window.BufferStart, 4) + " leaves no room for the " +
                 arguments.deviceName + "'s " +
                 std::to_string(window.DeviceEnd - window.DeviceStart + 1) +
                 " bytes in the 64 KiB buffer");
        return ExitUsage;
    }
    if (op == Operation::Read) {
        if (!OutputDirectoryWritable(arguments.dataPath)) return ExitUsage;
    }
    if (arguments.fileType) state.FileType = *arguments.fileType;
    if (LoadsFile(RowOf(op))) {
        const int refused = LoadDataImage(state, panel, arguments);
        if (refused >= 0) return refused;
    }
    if (op == Operation::Program) {
        const CatalogueRow& row =
            DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)];
        const std::uint8_t fill = arguments.fill.value_or(row.Can().ErasedValue);
        if (const std::optional<std::string> warning = OriginWarning(state, fill, row)) {
            if (arguments.strict) {
                Complain(*warning + "; nothing done (--strict)");
                return ExitFailed;
            }
            if (panel.Verbosity() >= 0) Complain("warning: " + *warning);
        }
    }
    return -1;
}

int PrepareDeviceOperation(ProgramState& state, ConsolePanel& panel, const Arguments& arguments) {
    if (const int refused = PrepareImage(state, panel, arguments); refused >= 0) return refused;
    if (!SelectDevice(state, panel, arguments)) return ExitFailed;
    const AddressWindow& w = state.Window;
    panel.Report().rangeFirst = w.DeviceStart;
    panel.Report().rangeLast = w.DeviceEnd;
    panel.Report().bufferStart = w.BufferStart;
    return -1;
}

void ReportRangeIdentity(const ProgramState& state, ConsolePanel& panel) {
    const std::vector<std::uint8_t> bytes = RangeBytes(state);
    RunReport& report = panel.Report();
    report.dataBytes = static_cast<long>(bytes.size());
    report.dataCrc32 = Crc32Text(bytes.data(), bytes.size());
    report.dataSha1 = Sha1Text(bytes.data(), bytes.size());
    report.checksums = ChecksumsOfWindow(state.Buffer, state.Window);
}

DifferenceCount DiagnoseRefusedBlock(ProgramState& state, ConsolePanel& panel,
                                     unsigned linkFaultsBefore) {
    if (panel.DifferingBytes() == 0 && panel.ProgrammedTo() > state.Window.DeviceStart &&
        !panel.Interrupted() && state.Link.LinkFaults == linkFaultsBefore)
        return DiagnoseProgramming(state, static_cast<std::int32_t>(panel.ProgrammedTo() - 1));
    return {};
}

void SayDiagnosis(const ConsolePanel& panel) {
    if (panel.Diagnosis().empty()) return;
    // Quiet: the diagnosis is an error line, as the red banner is.
    if (panel.Verbosity() < 0)
        Complain(panel.Diagnosis());
    else
        Say(panel.Diagnosis());
}

namespace {

// The end of a read: with several passes the majority of the reads goes into
// the buffer (each unstable bit listed), then the device image is saved.
int SaveReadImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments,
                  std::vector<std::vector<std::uint8_t>>& reads) {
    const AddressWindow& w = state.Window;
    int status = ExitSuccess;
    if (reads.size() > 1) {
        status = ReportWeakBits(state, panel, reads,
                                arguments.dataPath == "-" || arguments.production.json);
        const std::vector<std::uint8_t>& majority = reads.front();
        for (std::size_t i = 0; i < majority.size(); ++i)
            state.Buffer[w.BufferStart + static_cast<std::int32_t>(i)] = majority[i];
    }
    if (!SaveDeviceImage(state, arguments.dataPath)) return ExitUsage;
    const std::vector<std::uint8_t> bytes = RangeBytes(state);
    ReportRangeIdentity(state, panel);
    if (panel.Verbosity() >= 0 || arguments.hash) Say(IdentityLine(bytes));
    return status;
}

} // namespace

int RunDeviceOperation(ProgramState& state, ConsolePanel& panel, const Arguments& arguments) {
    const Operation op = arguments.operation;
    const OperationRow& row = RowOf(op);
    if (const int refused = PrepareDeviceOperation(state, panel, arguments); refused >= 0)
        return refused;
    const AddressWindow& w = state.Window;

    const int passes = op == Operation::Read ? arguments.passes : 1;
    if (!row.progressName.empty()) panel.SetOperationName(std::string(row.progressName));

    BlockFilter wanted;
    std::vector<std::int32_t> changed;
    std::size_t blocks = 0;
    if (op == Operation::Program && (arguments.precheck || arguments.changedOnly)) {
        const int refused = PrecheckPart(state, panel, arguments.changedOnly, changed, blocks);
        if (refused >= 0) return refused;
        if (arguments.changedOnly)
            wanted = [&changed](std::int32_t block) {
                return std::binary_search(changed.begin(), changed.end(), block);
            };
    }

    std::vector<std::vector<std::uint8_t>> reads;
    bool failed = false;
    const unsigned linkFaults = state.Link.LinkFaults;
    for (int pass = 0; pass < passes && !failed; ++pass) {
        failed = !row.run(state, arguments, wanted).Succeeded();
        if (!failed && op == Operation::Read) reads.push_back(RangeBytes(state));
    }
    if (failed && op == Operation::Program) DiagnoseRefusedBlock(state, panel, linkFaults);
    panel.FinishProgress();

    if (op == Operation::Blank || op == Operation::Verify ||
        (op == Operation::Program && (!failed || panel.DifferingBytes() > 0))) {
        std::string summary = panel.DifferenceSummary();
        // A run stopped short says how far its count goes.
        const std::int64_t end = panel.OperationEnd();
        if (op != Operation::Program && failed && end <= w.DeviceEnd) {
            if (end > w.DeviceStart)
                summary += std::string(panel.DifferingBytes() > 0 ? "," : "") + " in " +
                           HexText(w.DeviceStart, 4) + "-" +
                           HexText(static_cast<std::int32_t>(end - 1), 4);
            summary += ", stopped at " + HexText(static_cast<std::int32_t>(end), 4);
        }
        if (panel.DifferingBytes() > 0 || panel.Verbosity() >= 0) Say(summary);
    }
    SayDiagnosis(panel);
    if (arguments.changedOnly && !failed && panel.Verbosity() >= 0)
        Say(SkippedBlocksLine(blocks, changed.size(), panel.ProgrammingTime()));
    if (arguments.hash && (op == Operation::Verify || op == Operation::Compare))
        Say("buffer " + HexText(w.BufferStart, 4) + "-" +
            HexText(w.BufferStart + w.DeviceEnd - w.DeviceStart, 4) + ": " +
            IdentityLine(RangeBytes(state)));
    if (LoadsFile(row)) ReportRangeIdentity(state, panel);
    if (failed) return ExitFailed;
    if (op != Operation::Read) return ExitSuccess;
    return SaveReadImage(state, panel, arguments, reads);
}

} // namespace velmar::cli

namespace velmar::cli {

BridgeAnswer AskBridge(const D2XXBackend& backend, const std::string& serial) {
    BridgeAnswer answer;
    if (serial.empty()) return answer;
    // The window's search on this bridge alone; nothing is shown.
    auto state = std::make_unique<ProgramState>(SerialBackend(backend, serial));
    const SearchResult found = tasks::FindProgrammer(*state);
    answer.openProblem = state->D2XX.OpenProblem;
    answer.opened = found.Link != LinkState::Closed;
    if (found.Firmware) answer.firmware = found.Firmware->Text();
    if (answer.opened) state->D2XX.CloseDevice();
    return answer;
}

int RunList(const D2XXBackend& backend, RunReport* collect) {
    const std::vector<Bridge> bridges = ListBridges(backend);
    int programmers = 0;
    for (std::size_t i = 0; i < bridges.size(); ++i) {
        const Bridge& bridge = bridges[i];
        std::string answer = "no answer";
        std::optional<std::string> firmware;
        const BridgeAnswer asked = AskBridge(backend, bridge.serial);
        if (!asked.firmware.empty()) {
            firmware = asked.firmware;
            answer = "programmer, firmware " + asked.firmware;
            ++programmers;
        }
        if (collect != nullptr) {
            collect->bridges.push_back(
                {static_cast<int>(i), bridge.serial, bridge.description, firmware});
            continue;
        }
        std::printf("%zu  %s  %s  %s\n", i, Printable(bridge.serial).c_str(),
                    Printable(bridge.description).c_str(), answer.c_str());
    }
    std::fflush(stdout);
    if (bridges.empty()) Complain("no USB bridge is attached");
    return programmers > 0 ? ExitSuccess : ExitFailed;
}

} // namespace velmar::cli

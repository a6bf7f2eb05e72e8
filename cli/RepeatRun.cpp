#include "RepeatRun.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "DumpIdentity.h"
#include "Operations.h"
#include "Platform.h"
#include "SerialState.h"
#include "UnitLog.h"
#include "buffer/HexText.h"
#include "devices/DeviceCatalogue.h"
#include "devices/FileCommands.h"
#include "devices/Tasks.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::cli {

namespace {

using Clock = std::chrono::steady_clock;

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#if defined(_WIN32)
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

long MillisecondsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void Say(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

enum class Next { Part, End, Stop };

// "Insert part 3 and press Enter, q to stop"; q or quit (any case, blanks
// around it) and the end of input end the run, Ctrl-C stops it at once (the
// read returns when the signal comes).
Next AwaitEnter(long number) {
    if (ConsolePanel::TakeInterrupt()) return Next::Stop;
    Say("Insert part " + std::to_string(number) + " and press Enter, q to stop");
    std::string answer;
    for (;;) {
        platform::SetWaitingReadsInterruptible(true);
        const int c = std::fgetc(stdin);
        platform::SetWaitingReadsInterruptible(false);
        if (ConsolePanel::TakeInterrupt()) {
            std::clearerr(stdin);
            return Next::Stop;
        }
        if (c == EOF) {
            if (answer.empty()) return Next::End;
            break;
        }
        if (c == '\n') break;
        if (answer.size() < 256) answer += static_cast<char>(c);
    }
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!answer.empty() && blank(answer.back()))
        answer.pop_back();
    std::size_t first = 0;
    while (first < answer.size() && blank(answer[first]))
        ++first;
    answer.erase(0, first);
    for (char& c : answer)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return answer == "q" || answer == "quit" ? Next::End : Next::Part;
}

// The first device address in first..last whose byte the file stores, or
// -1. The file is loaded once more over the opposite fill: a byte that comes
// out the same both times came from the file. Standard input or a FIFO
// cannot be read twice; there a byte other than the fill value counts as
// stored.
std::int32_t FirstStoredAddress(const ProgramState& state, const Arguments& a, std::int32_t first,
                                std::int32_t last, std::uint8_t fill) {
    std::unique_ptr<ProgramState> again;
    std::error_code ec;
    if (a.imageBytes || (a.dataPath != "-" && std::filesystem::is_regular_file(a.dataPath, ec))) {
        // Nothing is sent: the scratch state only loads, and shows nothing.
        again = std::make_unique<ProgramState>(VirtualBackend());
        again->Window = SelectedWindow(a);
        again->FileType = state.FileType;
        again->Buffer.Fill(static_cast<std::uint8_t>(~fill));
        // A job's image is loaded from the bytes its pin was checked on.
        std::string bytes = a.imageBytes ? *a.imageBytes : std::string();
        std::FILE* stream = a.imageBytes ? platform::OpenMemoryStream(bytes) : nullptr;
        const bool loaded = a.imageBytes
                                ? stream != nullptr && LoadDataStream(*again, a.dataPath, stream)
                                : LoadDataFile(*again, a.dataPath);
        if (stream != nullptr) std::fclose(stream);
        if (!loaded) again.reset();
    }
    const AddressWindow& w = state.Window;
    for (std::int32_t address = first; address <= last; ++address) {
        const std::int32_t position = w.BufferStart + address - w.DeviceStart;
        if (!DataBuffer::Contains(position)) return address;
        const std::uint8_t byte = state.Buffer[position];
        if (again ? again->Buffer[position] == byte : byte != fill) return address;
    }
    return -1;
}

} // namespace

std::string SerialPlacementProblem(const ProgramState& state, const Arguments& a,
                                   std::uint8_t fill) {
    const SerialRule& rule = *a.production.serialRule;
    const AddressWindow& w = state.Window;
    const std::int32_t last = rule.address + SerialWidth(rule.format) - 1;
    if (rule.address < w.DeviceStart || last > w.DeviceEnd)
        return "the serial number at " + HexText(rule.address, 4) + "-" + HexText(last, 4) +
               " lies outside the " + a.deviceName + " (" + HexText(w.DeviceStart, 4) + "-" +
               HexText(w.DeviceEnd, 4) + "); nothing done";
    if (a.production.serialOverwrite) return "";
    const std::int32_t stored = FirstStoredAddress(state, a, rule.address, last, fill);
    if (stored < 0) return "";
    return "the serial number at " + HexText(rule.address, 4) + "-" + HexText(last, 4) +
           " would overwrite data of " + a.dataPath + " (at " + HexText(stored, 4) +
           "); nothing done (--serial-overwrite allows it)";
}

namespace {

void PutSerial(ProgramState& state, const SerialRule& rule, std::uint64_t number) {
    const std::vector<std::uint8_t> bytes = EncodeSerial(rule.format, number);
    const std::int32_t first = state.Window.BufferStart + rule.address - state.Window.DeviceStart;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        state.Buffer[first + static_cast<std::int32_t>(i)] = bytes[i];
}

// With --precheck or --changed-only the part is read first; then program
// with its automatic verify, then each lock bit in order.
bool ProgramPart(ProgramState& state, ConsolePanel& panel, const Arguments& a) {
    std::vector<std::int32_t> changed;
    std::size_t blocks = 0;
    BlockFilter wanted;
    if (a.precheck || a.changedOnly) {
        if (PrecheckPart(state, panel, a.changedOnly, changed, blocks) >= 0) return false;
        if (a.changedOnly)
            wanted = [&changed](std::int32_t block) {
                return std::binary_search(changed.begin(), changed.end(), block);
            };
    }
    panel.SetOperationName("Program");
    const unsigned linkFaults = state.Link.LinkFaults;
    bool ok = tasks::Program(state, wanted).Succeeded();
    // The part line counts what the diagnosis read found, as the diagnosis does.
    if (!ok) panel.CountUnlisted(DiagnoseRefusedBlock(state, panel, linkFaults));
    if (ok && a.changedOnly && panel.Verbosity() >= 0)
        Say(SkippedBlocksLine(blocks, changed.size(), panel.ProgrammingTime()));
    panel.SetOperationName("");
    const std::vector<int>& lockBits = a.production.lockBits;
    for (std::size_t i = 0; ok && i < lockBits.size(); ++i) {
        ok = tasks::ProgramLockBit(state, lockBits[i]).Succeeded();
    }
    return ok;
}

std::string Percent(double fraction) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", fraction * 100);
    return text;
}

std::string Seconds(long milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(milliseconds) / 1000);
    return text;
}

} // namespace

int RunProduction(ProgramState& state, ConsolePanel& panel, const Arguments& arguments,
                  const PartSwap& swap) {
    const ProductionArguments& p = arguments.production;
    std::string error;
    UnitLog log;
    if (!log.Open(p.logPath, p.logCsvPath, error)) {
        Complain(stderr, error);
        return ExitUsage;
    }
    SerialState serials;
    serials.SetSay(Say);
    if (p.serialRule) {
        std::string path = p.serialState;
        if (path.empty() && !p.jobPath.empty()) path = DefaultSerialStatePath(p.jobPath);
        if (path.empty() && arguments.dataPath != "-")
            path = DefaultSerialStatePath(arguments.dataPath);
        if (path.empty()) {
            Complain(stderr, "a serial number needs --serial-state when the image is -");
            return ExitUsage;
        }
        // The logs know the numbers already in parts, should the state be
        // lost, moved away from the job or put back from an old copy.
        SerialStateOwner owner;
        owner.job = p.jobName;
        owner.resume = p.serialResume;
        for (const auto& [logPath, csv] :
             {std::pair{p.logPath, false}, std::pair{p.logCsvPath, true}}) {
            const auto highest = HighestLoggedSerial(logPath, csv, p.jobName);
            if (highest && (!owner.logged || *highest > *owner.logged)) {
                owner.logged = highest;
                owner.logName = logPath;
            }
        }
        if (!serials.Open(path, *p.serialRule, owner, error)) {
            Complain(stderr, error);
            return ExitUsage;
        }
    }
    if (const int refused = PrepareDeviceOperation(state, panel, arguments); refused >= 0)
        return refused;
    const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)];
    if (p.serialRule) {
        const std::string problem = SerialPlacementProblem(
            state, arguments, arguments.fill.value_or(row.Can().ErasedValue));
        if (!problem.empty()) {
            Complain(stderr, problem);
            return ExitUsage;
        }
    }

    // The wait the operator's Ctrl-C cuts short is counted by the link as a
    // short reply; it is no fault of the link.
    std::optional<unsigned> faultsAtStop;
    unsigned stopFaults = 0;
    panel.SetStopRequest([&state, &faultsAtStop] {
        faultsAtStop = state.Link.LinkFaults;
        tasks::RequestStop(state);
    });
    const auto faultsSince = [&](unsigned before) {
        const unsigned all = state.Link.LinkFaults - before;
        if (!faultsAtStop || state.Link.LinkFaults == *faultsAtStop) return all;
        return all - 1;
    };

    const DataBuffer image = state.Buffer;
    const UnitLogContext context{platform::HostName(), panel.Report().programmerSerial,
                                 arguments.deviceName, p.jobName};
    panel.Report().production = true;
    std::vector<PartRecord>& parts = panel.Report().parts;
    const long count = p.repeat.value_or(1);
    int status = ExitSuccess;
    for (long number = 1; count == 0 || number <= count; ++number) {
        if (p.repeat) {
            // The socket is seen only at the operator's word: nothing that
            // powers it goes out between parts.
            const Next next = AwaitEnter(number);
            if (next == Next::Stop) {
                Say("(interrupted: no more parts)");
                panel.NoteStopped();
                status = ExitFailed;
            }
            if (next != Next::Part) break;
            if (number > 1 && swap) swap();
        }
        PartRecord part;
        part.sequence = number;
        part.time = UtcNow();
        const Clock::time_point start = Clock::now();
        const unsigned faultsBefore = state.Link.LinkFaults;
        faultsAtStop.reset();
        panel.ResetDifferences();
        state.Buffer = image;
        if (p.serialRule) {
            // On the disk as taken before the part is touched.
            part.serialNumber = serials.Claim(p.reuseFailed, error);
            if (!part.serialNumber) {
                Complain(stderr, error);
                status = ExitUsage;
                break;
            }
            if (!SerialFits(p.serialRule->format, *part.serialNumber)) {
                // Never cut short into the part: its number would be another.
                Complain(stderr, "serial number " + std::to_string(*part.serialNumber) +
                                     " does not fit " + SerialFormatName(p.serialRule->format) +
                                     "; nothing more programmed");
                serials.Settle(*part.serialNumber, false, error);
                status = ExitUsage;
                break;
            }
            PutSerial(state, *p.serialRule, *part.serialNumber);
        }
        ReportRangeIdentity(state, panel);
        part.imageSha1 = panel.Report().dataSha1;
        const bool passed = ProgramPart(state, panel, arguments);
        panel.FinishProgress();
        panel.ReportDifferences();
        // The run's object names the cause of its last failed part.
        if (!panel.Diagnosis().empty()) panel.Report().diagnosis = panel.Diagnosis();
        part.result = passed ? "ok" : panel.Stopped() ? "stopped" : "failed";
        part.differences = panel.Report().differences;
        part.firstDifference = panel.Report().firstDifference;
        part.linkFaults = faultsSince(faultsBefore);
        if (faultsAtStop && state.Link.LinkFaults != *faultsAtStop) ++stopFaults;
        part.durationMs = MillisecondsSince(start);
        parts.push_back(part);
        // The record first, whatever happens to the state: a part that holds
        // its number is on record. Then its number is settled: spoiled when
        // the part failed or was stopped (it may be partly in it), never
        // handed out again unless --reuse-failed.
        std::string logError, stateError;
        const bool logged = log.Append(context, part, logError);
        const bool settled =
            !part.serialNumber || serials.Settle(*part.serialNumber, passed, stateError);
        std::string serialText;
        if (part.serialNumber) serialText = ", serial number " + std::to_string(*part.serialNumber);
        Say("part " + std::to_string(number) + serialText + ": " +
            (passed ? "passed" : part.result) + " (" + panel.DifferenceSummary() + ")");
        SayDiagnosis(panel);
        if (!passed) status = ExitFailed;
        if (!logged) Complain(stderr, logError + "; part " + std::to_string(number) + " is not on record there");
        if (!settled) Complain(stderr, stateError);
        if (!logged || !settled) {
            status = ExitUsage;
            break;
        }
        if (panel.LinkWasLost() || panel.Stopped()) break;
        // Ctrl-C during a step without Quit (lock bits): that part is done
        // and recorded; no more parts.
        if (ConsolePanel::TakeInterrupt()) {
            Say("(interrupted: no more parts)");
            panel.NoteStopped();
            status = ExitFailed;
            break;
        }
    }
    state.Buffer = image;
    panel.SetStopRequest([&state] { tasks::RequestStop(state); });
    panel.Report().linkFaults = state.Link.LinkFaults - stopFaults;
    if (p.repeat || parts.size() != 1) {
        const RunSummary s = Summarize(parts);
        Say("parts " + std::to_string(s.parts) + ", passed " + std::to_string(s.passed) +
            ", failed " + std::to_string(s.failed) + ", yield " + Percent(s.yield) + ", " +
            Seconds(s.msPerPart) + " per part");
    }
    return status;
}

} // namespace velmar::cli

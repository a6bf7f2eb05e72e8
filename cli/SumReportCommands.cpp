#include "SumReportCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "ConsolePanel.h"
#include "DataStreams.h"
#include "ImageChecksums.h"
#include "LogReport.h"
#include "Operations.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

namespace {

// Neither command sends anything.
const D2XXBackend kNoProgrammer{"none",  nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr};

// The buffer positions summed: the device's range from the buffer start, or
// without a device the file's data from its lowest position to its highest.
void SummedPositions(const ProgramState& state, const Arguments& a, const LoadFacts& facts,
                     std::int32_t& firstPosition, std::int32_t& lastPosition,
                     std::int32_t& firstAddress) {
    const AddressWindow& w = state.Window;
    if (a.catalogueRow >= 0) {
        firstPosition = w.BufferStart;
        lastPosition = w.BufferStart + w.DeviceEnd - w.DeviceStart;
        firstAddress = w.DeviceStart;
        return;
    }
    firstPosition = w.BufferStart; // a binary file's first byte
    const auto stored = std::find(facts.storedAt.begin(), facts.storedAt.end(), true);
    if (stored != facts.storedAt.end())
        firstPosition = static_cast<std::int32_t>(stored - facts.storedAt.begin());
    lastPosition = facts.highestPosition;
    firstAddress = firstPosition;
}

} // namespace

int RunSum(const Arguments& a, RunReport& report) {
    ProgramState state(kNoProgrammer);
    ConsolePanel panel(stderr, stderr, false);
    panel.SetVerbosity(a.verbosity);
    panel.Report() = report;
    state.Panel.Attach(&panel);
    LoadFacts facts;
    const int refused = LoadDataImage(state, panel, a, &facts);
    state.Panel.Attach(nullptr);
    report = panel.Report();
    if (a.catalogueRow >= 0) report.device = a.deviceName;
    if (refused >= 0) return refused;

    std::int32_t firstPosition = 0, lastPosition = 0, firstAddress = 0;
    SummedPositions(state, a, facts, firstPosition, lastPosition, firstAddress);
    std::vector<std::uint8_t> bytes;
    for (std::int32_t p = firstPosition; p <= lastPosition && DataBuffer::Contains(p); ++p)
        bytes.push_back(state.Buffer[p]);
    const std::int32_t lastAddress = firstAddress + static_cast<std::int32_t>(bytes.size()) - 1;
    if (const std::string problem = ExcludeProblem(a.sum.excluded, firstAddress, lastAddress);
        !problem.empty()) {
        Complain(stderr, problem);
        return ExitUsage;
    }
    const ImageChecksums sums = a.catalogueRow >= 0
                                    ? ChecksumsOfWindow(state.Buffer, state.Window, a.sum.excluded)
                                    : ChecksumsOfRange(firstAddress, bytes, a.sum.excluded);
    if (a.catalogueRow >= 0) report.bufferStart = state.Window.BufferStart;
    report.rangeFirst = firstAddress;
    report.rangeLast = lastAddress;
    report.checksums = sums;
    if (a.production.json) return ExitSuccess;
    const std::string text = report.fileName + ": " + ChecksumText(sums);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    return ExitSuccess;
}

int RunLogReport(const Arguments& a, RunReport& report) {
    std::vector<LoggedPart> parts;
    std::vector<SkippedLine> skipped;
    for (const std::string& path : a.logReport.logs) {
        std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
        std::string text, error = file != nullptr ? "" : std::strerror(errno);
        const bool read = file != nullptr && ReadWholeStream(file, text, error);
        if (file != nullptr && file != stdin) std::fclose(file);
        if (!read) {
            Complain(stderr, "cannot read " + path + ": " + error);
            return ExitUsage;
        }
        ReadLogText(path == "-" ? "standard input" : path, text, parts, skipped);
    }
    for (const SkippedLine& line : skipped)
        Complain(stderr, "warning: " + SkippedLineText(line));
    const bool none = parts.empty();
    auto line = std::make_shared<LineReport>(
        MakeLineReport(std::move(parts), a.logReport.targetPerHour, a.logReport.handlingSeconds));
    line->skipped = skipped;
    report.lineReport = line;
    if (none) {
        Complain(stderr, "no part's record in the logs given");
        return ExitFailed;
    }
    if (a.production.json) return ExitSuccess;
    std::fputs(LineReportText(*line).c_str(), stdout);
    std::fflush(stdout);
    return ExitSuccess;
}

void ReportJobRun(RunReport& report, bool json) {
    if (report.parts.empty()) return;
    std::vector<LoggedPart> parts;
    for (const PartRecord& part : report.parts)
        parts.push_back(LoggedPartOf(report.programmerSerial, part));
    auto line = std::make_shared<LineReport>(MakeLineReport(std::move(parts)));
    report.lineReport = line;
    if (json) return;
    std::fputs(LineReportText(*line).c_str(), stderr);
    std::fflush(stderr);
}

} // namespace velmar::cli

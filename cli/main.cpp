// velmar-cli: the same core as the window, for scripts.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Arguments.h"
#include "ConsolePanel.h"
#include "Convert.h"
#include "Disasm.h"
#include "Doctor.h"
#include "JobFile.h"
#include "JsonReport.h"
#include "OperationTable.h"
#include "Operations.h"
#include "OutputGuard.h"
#include "Platform.h"
#include "RepeatRun.h"
#include "SerialBackend.h"
#include "SumReportCommands.h"
#include "TracingBackend.h"
#include "UsageText.h"
#include "VirtualSession.h"
#include "buffer/DataFormats.h"
#include "devices/ProgramState.h"

using namespace velmar;
using namespace velmar::cli;

namespace {

using Clock = std::chrono::steady_clock;

int Usage(const std::string& error, const std::string& hint = TryHelpLine()) {
    Complain(stderr, error);
    Complain(stderr, hint);
    return ExitUsage;
}

std::string CommandName(const Arguments& a) {
    switch (a.command) {
    case Command::Probe:
        return "probe";
    case Command::List:
        return "list";
    case Command::Doctor:
        return "doctor";
    case Command::Disasm:
        return "disasm";
    case Command::Firmware:
        return "firmware";
    case Command::Convert:
        return "convert";
    case Command::Sum:
        return "sum";
    case Command::Report:
        return "report";
    case Command::Device:
        return std::string(RowOf(a.operation).name);
    case Command::Job:
        return a.production.job == JobVerb::New     ? "job new"
               : a.production.job == JobVerb::Check ? "job check"
                                                    : "job run";
    default:
        return "";
    }
}

// The word --json gives a run's end.
std::string ResultOf(int status, const ConsolePanel& panel, const Arguments& a) {
    if (status == ExitSuccess) return "ok";
    if (status == ExitUsage) return "bad-input";
    if (panel.Stopped()) return "stopped";
    if (a.command == Command::List || panel.LastOutcome(Task::Search) == false)
        return "no-programmer";
    return "failed";
}

int RunOnProgrammer(const Arguments& a, const D2XXBackend& bridges,
                    const std::function<void()>& swap, RunReport& report) {
    const bool json = a.production.json;
    if (a.command == Command::List) {
        const int status = RunList(bridges, json ? &report : nullptr);
        report.result = status == ExitSuccess ? "ok" : "no-programmer";
        return status;
    }
    if (a.command == Command::Doctor) return RunDoctor(bridges, a.useVirtual);
    // -vv: every packet on the error stream as --trace writes it.
    const D2XXBackend& traced = a.verbosity >= 2 ? TracingBackend(bridges, stderr) : bridges;
    const D2XXBackend& backend = a.serial.empty() ? traced : SerialBackend(traced, a.serial);
    auto state = std::make_unique<ProgramState>(backend);
    ConsolePanel panel(stdout, stderr, a.progress == ProgressMode::Auto && platform::IsTerminal(stderr));
    panel.SetVerbosity(a.verbosity);
    panel.SetProgressLines(a.progress == ProgressMode::Lines);
    // Unlimited for a script; a screenful on a terminal.
    panel.SetMaxDiffs(a.maxDiffs.value_or(platform::IsTerminal(stdout) && !json ? 64 : -1));
    panel.CollectDifferences(json);
    panel.Report() = report;
    state->Panel.Attach(&panel);
    ProgramState& core = *state;
    panel.SetStopRequest([&core] { tasks::RequestStop(core); });
    if (a.command == Command::Device || a.command == Command::Disasm)
        ConsolePanel::InstallInterruptHandler();
    int status = ExitFailed;
    switch (a.command) {
    case Command::Probe:
        status = RunProbe(*state, panel, a.serial, json);
        break;
    case Command::Firmware:
        status = RunFirmware(*state, panel, a.firmwarePath, a.serial);
        break;
    case Command::Device:
        status = IsProductionRun(a.production) ? RunProduction(*state, panel, a, swap)
                                               : RunDeviceOperation(*state, panel, a);
        break;
    case Command::Disasm:
        status = RunDisasmRead(*state, panel, a);
        break;
    default:
        break;
    }
    panel.FinishProgress();
    if (!IsProductionRun(a.production)) panel.ReportDifferences();
    report = panel.Report();
    if (!IsProductionRun(a.production)) report.diagnosis = panel.Diagnosis();
    report.result = ResultOf(status, panel, a);
    // A failed operation's red banner is its error when nothing was complained.
    if (status == ExitFailed && LastComplaint().empty()) report.error = panel.Banner();
    // No programmer: its box says so, whatever the banner last showed (the load's).
    if (report.result == "no-programmer" && LastComplaint().empty() && !panel.Boxes().empty()) {
        std::string text = panel.Boxes().back().text;
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.replace(at, 2, " ");
        report.error = text;
    }
    // A production run counts its own (an operator's stop is no link fault).
    if (!report.production) report.linkFaults = state->Link.LinkFaults;
    // Give the bridge back (and the serial driver it displaced) at the end.
    state->D2XX.CloseAtExit();
    state->Panel.Attach(nullptr);
    return status;
}

// A trace that could not be written ends the command as a bad output does.
bool TraceWritten(int errorNumber, const std::string& path) {
    if (errorNumber == 0) return true;
    Complain(stderr, "cannot write the trace " + path + ": " + std::strerror(errorNumber));
    return false;
}

// The programmer's part of main: the virtual one or the bridges, the trace.
int RunProgrammerCommand(const Arguments& a, RunReport& report) {
    if (a.useVirtual) {
        VirtualSession session;
        std::string error;
        if (!session.Start(a, error)) return Usage(error);
        const int status = RunOnProgrammer(a, session.Backend(), session.PartSwap(), report);
        if (!session.Finish(error)) {
            Complain(stderr, error);
            return ExitUsage;
        }
        if (!TraceWritten(session.TraceWriteFailed(), session.TracePath())) return ExitUsage;
        return status;
    }

    const D2XXBackend* backend = &HardwareBackend();
    // No driver at all: say so rather than report a programmer not found.
    if (const std::string problem = HardwareProblem();
        !problem.empty() && a.command != Command::Doctor) {
        std::fprintf(stderr, "velmar-cli: %s\n", problem.c_str());
        report.result = "no-programmer";
        return ExitFailed;
    }
    std::FILE* trace = nullptr;
    if (!a.tracePath.empty() && a.verbosity >= 2) {
        // One tracing table per process: -vv takes it, the file gets a copy.
        trace = std::fopen(a.tracePath.c_str(), "wb"); // LF lines on every system
        if (trace == nullptr)
            return Usage("cannot write " + a.tracePath + ": " + std::strerror(errno));
        TraceAlsoTo(trace);
    } else if (!a.tracePath.empty()) {
        trace = std::fopen(a.tracePath.c_str(), "wb"); // LF lines on every system
        if (trace == nullptr)
            return Usage("cannot write " + a.tracePath + ": " + std::strerror(errno));
        backend = &TracingBackend(*backend, trace);
    }
    const int status = RunOnProgrammer(a, *backend, {}, report);
    const bool written = trace == nullptr || TraceWritten(TraceWriteFailed(), a.tracePath);
    if (trace != nullptr && std::fclose(trace) != 0 && written) {
        Complain(stderr, "cannot write the trace " + a.tracePath + ": " + std::strerror(errno));
        return ExitUsage;
    }
    return written ? status : ExitUsage;
}

// A file the command reads whole itself: its SHA-1 for the report, when it
// is a plain file (a FIFO or standard input is read once, by the command).
void NoteFileSha1(const std::string& path, RunReport& report) {
    std::error_code ec;
    std::string sha1, error;
    if (path != "-" && std::filesystem::is_regular_file(path, ec) && FileSha1(path, sha1, error))
        report.fileSha1 = sha1;
}

// A log, trace or output that is one of the command's inputs: refused
// before anything is written or sent.
bool RefuseOutputOverInput(const Arguments& a) {
    const std::string problem = OutputOverInput(a);
    if (problem.empty()) return false;
    Complain(stderr, problem);
    return true;
}

// Every command but help and version; the report filled as far as it goes.
int RunCommand(const Arguments& parsed, RunReport& report) {
    if (parsed.command != Command::Convert && RefuseOutputOverInput(parsed)) return ExitUsage;
    switch (parsed.command) {
    case Command::Convert:
        report.fileName = parsed.convert.in;
        NoteFileSha1(parsed.convert.in, report);
        if (parsed.convert.from)
            report.fileFormat = std::string(DataFormatOf(*parsed.convert.from).CliName);
        return RunConvert(parsed.convert, parsed.verbosity);
    case Command::Job:
        if (parsed.production.job == JobVerb::New) return RunJobNew(parsed, report);
        if (parsed.production.job == JobVerb::Check) return RunJobCheck(parsed, report);
        break;
    case Command::Disasm:
        if (!parsed.disasm.read) return RunDisasmFile(parsed);
        break;
    case Command::Sum:
        return RunSum(parsed, report);
    case Command::Report:
        return RunLogReport(parsed, report);
    case Command::Firmware:
        report.fileName = parsed.firmwarePath;
        NoteFileSha1(parsed.firmwarePath, report);
        break;
    default:
        break;
    }
    Arguments a = parsed;
    if (a.command == Command::Device && a.operation != Operation::Read)
        NoteFileSha1(a.dataPath, report);
    if (a.command == Command::Job) {
        // job run: the job's program command on the programmer asked for.
        Job job;
        std::string error;
        if (!ReadJob(a.production.jobPath, job, error) || !JobRunArguments(job, parsed, a, error)) {
            Complain(stderr, error);
            return ExitUsage;
        }
        report.jobName = job.name;
        report.fileSha1 = job.sha1;
        if (RefuseOutputOverInput(a)) return ExitUsage;
    }
    report.device = a.deviceName;
    const int status = RunProgrammerCommand(a, report);
    if (parsed.logReport.atEndOfRun) ReportJobRun(report, parsed.production.json);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    platform::InitConsole();
    const Clock::time_point started = Clock::now();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = ParseArguments(args);
    const Arguments& a = parsed.arguments;
    const bool json = a.production.json || a.convert.json ||
                      std::find(args.begin(), args.end(), "--json") != args.end();
    RunReport report;
    report.command = CommandName(a);
    // Whatever went to standard output must have arrived: a full disk or a
    // closed pipe ends the command with 2, whatever else it did.
    const auto written = [](int status, int cause = 0) {
        errno = 0;
        const bool flushed = std::fflush(stdout) == 0;
        if (flushed && !std::ferror(stdout)) return status;
        if (!flushed) cause = errno;
        // read - and convert's OUT - say so themselves, once is enough.
        const std::string said = "cannot write standard output";
        if (LastComplaint().compare(0, said.size(), said) == 0) return static_cast<int>(ExitUsage);
        Complain(stderr, std::string("cannot write standard output") +
                             (cause != 0 ? std::string(": ") + std::strerror(cause) : ""));
        return static_cast<int>(ExitUsage);
    };
    // --json: whatever happened, one object on standard output at the end.
    const auto finish = [&](int status) {
        if (!json) return written(status);
        report.exitCode = status;
        if (report.result.empty())
            report.result = status == ExitSuccess ? "ok"
                            : status == ExitUsage ? "bad-input"
                                                  : "failed";
        report.durationMs = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
        if (status != ExitSuccess && report.error.empty()) report.error = LastComplaint();
        errno = 0;
        const int cause = PrintReportJson(stdout, report) ? 0 : errno;
        return written(status, cause);
    };
    if (!parsed.error.empty()) {
        report.error = parsed.error;
        return finish(Usage(parsed.error, parsed.hint));
    }

    switch (a.command) {
    case Command::Help:
        std::fputs(UsageText().c_str(), stdout);
        return written(ExitSuccess);
    case Command::Version:
        std::printf("velmar-cli %s\n", VELMAR_VERSION);
        return written(ExitSuccess);
    default:
        return finish(RunCommand(a, report));
    }
}

// velmar-cli: the same core as the window, for scripts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Arguments.h"
#include "ConsolePanel.h"
#include "Convert.h"
#include "Disasm.h"
#include "Doctor.h"
#include "Operations.h"
#include "Platform.h"
#include "SerialBackend.h"
#include "TracingBackend.h"
#include "UsageText.h"
#include "VirtualSession.h"
#include "devices/ProgramState.h"

using namespace velmar;
using namespace velmar::cli;

namespace {

int Usage(const std::string& error, const std::string& hint = TryHelpLine()) {
    Complain(stderr, error);
    Complain(stderr, hint);
    return ExitUsage;
}

int RunOnProgrammer(const Arguments& a, const D2XXBackend& bridges) {
    if (a.command == Command::List) return RunList(bridges);
    if (a.command == Command::Doctor) return RunDoctor(bridges, a.useVirtual);
    // -vv: every packet on the error stream as --trace writes it.
    const D2XXBackend& traced = a.verbosity >= 2 ? TracingBackend(bridges, stderr) : bridges;
    const D2XXBackend& backend = a.serial.empty() ? traced : SerialBackend(traced, a.serial);
    auto state = std::make_unique<ProgramState>(backend);
    ConsolePanel panel(stdout, stderr, a.progress == ProgressMode::Auto && platform::IsTerminal(stderr));
    panel.SetVerbosity(a.verbosity);
    panel.SetProgressLines(a.progress == ProgressMode::Lines);
    // Unlimited for a script; a screenful on a terminal.
    panel.SetMaxDiffs(a.maxDiffs.value_or(platform::IsTerminal(stdout) ? 64 : -1));
    state->Panel.Attach(&panel);
    panel.SetStopTarget(&state->Transfer.StopFlag);
    if (a.command == Command::Device || a.command == Command::Disasm)
        ConsolePanel::InstallInterruptHandler();
    int status = ExitFailed;
    switch (a.command) {
    case Command::Probe:
        status = RunProbe(*state, panel, a.serial);
        break;
    case Command::Firmware:
        status = RunFirmware(*state, panel, a.firmwarePath, a.serial);
        break;
    case Command::Device:
        status = RunDeviceOperation(*state, panel, a);
        break;
    case Command::Disasm:
        status = RunDisasmRead(*state, panel, a);
        break;
    default:
        break;
    }
    panel.FinishProgress();
    // Give the bridge back (and the serial driver it displaced) at the end.
    state->D2XX.CloseAtExit();
    state->Panel.Attach(nullptr);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    platform::InitConsole();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.error.empty()) return Usage(parsed.error, parsed.hint);
    const Arguments& a = parsed.arguments;

    switch (a.command) {
    case Command::Help:
        std::fputs(UsageText().c_str(), stdout);
        return ExitSuccess;
    case Command::Version:
        std::printf("velmar-cli %s\n", VELMAR_VERSION);
        return ExitSuccess;
    case Command::Convert:
        return RunConvert(a.convert, a.verbosity);
    case Command::Disasm:
        if (!a.disasm.read) return RunDisasmFile(a);
        break;
    default:
        break;
    }

    if (a.useVirtual) {
        VirtualSession session;
        std::string error;
        if (!session.Start(a, error)) return Usage(error);
        const int status = RunOnProgrammer(a, session.Backend());
        if (!session.Finish(error)) {
            Complain(stderr, error);
            return ExitUsage;
        }
        return status;
    }

    const D2XXBackend* backend = &HardwareBackend();
    // No driver at all: say so rather than report a programmer not found.
    if (const std::string problem = HardwareProblem();
        !problem.empty() && a.command != Command::Doctor) {
        std::fprintf(stderr, "velmar-cli: %s\n", problem.c_str());
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
    const int status = RunOnProgrammer(a, *backend);
    if (trace != nullptr && std::fclose(trace) != 0) {
        Complain(stderr, "cannot write " + a.tracePath);
        return ExitUsage;
    }
    return status;
}

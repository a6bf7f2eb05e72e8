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
#include "Operations.h"
#include "Platform.h"
#include "TracingBackend.h"
#include "VirtualSession.h"
#include "devices/ProgramState.h"

using namespace velmar;
using namespace velmar::cli;

namespace {

int Usage(const std::string& error) {
    std::fprintf(stderr, "velmar-cli: %s\ntry: velmar-cli --help\n", error.c_str());
    return ExitUsage;
}

int RunOnProgrammer(const Arguments& a, const D2XXBackend& backend) {
    auto state = std::make_unique<ProgramState>(backend);
    ConsolePanel panel(stdout, stderr, platform::IsTerminal(stderr));
    state->Panel.Attach(&panel);
    panel.SetStopTarget(&state->Transfer.StopFlag);
    if (a.command == Command::Device) ConsolePanel::InstallInterruptHandler();
    int status = ExitFailed;
    switch (a.command) {
    case Command::Probe:
        status = RunProbe(*state, panel);
        break;
    case Command::Firmware:
        status = RunFirmware(*state, panel, a.firmwarePath);
        break;
    case Command::Device:
        status = RunDeviceOperation(*state, panel, a);
        break;
    default:
        break;
    }
    panel.FinishProgress();
    state->Panel.Attach(nullptr);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    platform::InitConsole();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = ParseArguments(args);
    if (!parsed.error.empty()) return Usage(parsed.error);
    const Arguments& a = parsed.arguments;

    switch (a.command) {
    case Command::Help:
        std::fputs(UsageText().c_str(), stdout);
        return ExitSuccess;
    case Command::Version:
        std::puts("velmar-cli 1.02");
        return ExitSuccess;
    case Command::Convert:
        return RunConvert(a.convertArgs);
    default:
        break;
    }

    if (a.useVirtual) {
        VirtualSession session;
        std::string error;
        if (!session.Start(a, error)) return Usage(error);
        const int status = RunOnProgrammer(a, session.Backend());
        if (!session.Finish(error)) {
            std::fprintf(stderr, "velmar-cli: %s\n", error.c_str());
            return ExitUsage;
        }
        return status;
    }

    const D2XXBackend* backend = &HardwareBackend();
    // No driver at all: say so rather than report a programmer not found.
    if (const std::string problem = HardwareProblem(); !problem.empty()) {
        std::fprintf(stderr, "velmar-cli: %s\n", problem.c_str());
        return ExitFailed;
    }
    std::FILE* trace = nullptr;
    if (!a.tracePath.empty()) {
        trace = std::fopen(a.tracePath.c_str(), "wb"); // LF lines on every system
        if (trace == nullptr)
            return Usage("cannot write " + a.tracePath + ": " + std::strerror(errno));
        backend = &TracingBackend(*backend, trace);
    }
    const int status = RunOnProgrammer(a, *backend);
    if (trace != nullptr && std::fclose(trace) != 0) {
        std::fprintf(stderr, "velmar-cli: cannot write %s\n", a.tracePath.c_str());
        return ExitUsage;
    }
    return status;
}

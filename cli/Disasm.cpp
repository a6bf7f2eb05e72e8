#include "Disasm.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Operations.h"
#include "buffer/HexText.h"
#include "devices/CodeListing.h"
#include "devices/DeviceCatalogue.h"
#include "devices/Tasks.h"

namespace velmar::cli {

namespace {

// A listing of a file never reaches the programmer.
const D2XXBackend kNoProgrammer{"none",  nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr};

// The listing from --from (default the part's first address) to --to
// (default its last byte that is not erased).
int PrintListing(const ProgramState& state, const Arguments& arguments) {
    const std::uint8_t erased =
        DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)].Can().ErasedValue;
    if (arguments.disasm.from && *arguments.disasm.from > state.Window.DeviceEnd) {
        Complain(stderr, "--from " + HexText(*arguments.disasm.from, 4) + " lies past the " +
                             arguments.deviceName + "'s end");
        return ExitUsage;
    }
    const Listing listing = ListBuffer(state, arguments.disasm.mcs48 ? Cpu::Mcs48 : Cpu::Mcs51,
                                       erased, arguments.disasm.from, arguments.disasm.to);
    errno = 0;
    bool written = true;
    for (const std::string& line : listing.Lines)
        written = std::printf("%s\n", line.c_str()) >= 0 && written;
    if (std::fflush(stdout) == 0 && written && !std::ferror(stdout)) return ExitSuccess;
    Complain(stderr, std::string("cannot write standard output: ") +
                         std::strerror(errno != 0 ? errno : EIO));
    return ExitUsage;
}

} // namespace

int RunDisasmFile(const Arguments& arguments) {
    ProgramState state(kNoProgrammer);
    ConsolePanel panel(stderr, stderr, false);
    panel.SetVerbosity(arguments.verbosity);
    state.Panel.Attach(&panel);
    const int refused = LoadDataImage(state, panel, arguments);
    const int status = refused >= 0 ? refused : PrintListing(state, arguments);
    state.Panel.Attach(nullptr);
    return status;
}

int RunDisasmRead(ProgramState& state, ConsolePanel& panel, const Arguments& arguments) {
    if (!SelectDevice(state, panel, arguments)) return ExitFailed;
    panel.SetOperationName("Read");
    const bool read = tasks::Read(state).Succeeded();
    panel.FinishProgress();
    if (!read) return ExitFailed;
    return PrintListing(state, arguments);
}

} // namespace velmar::cli

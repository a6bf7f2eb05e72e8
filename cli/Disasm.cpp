#include "Disasm.h"

#include <cstdio>

#include "Operations.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "devices/Disassembler.h"

namespace velmar::cli {

namespace {

// A listing of a file never reaches the programmer.
const D2XXBackend kNoProgrammer{"none",  nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr};

// The device range as the buffer holds it, listed from --from (default the
// part's first address) to --to (default the last byte that is not erased).
int PrintListing(const ProgramState& state, const Arguments& arguments) {
    const AddressWindow& w = state.Window;
    const std::uint8_t erased =
        DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)].Can().ErasedValue;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(w.DeviceEnd + 1), erased);
    for (std::int32_t a = w.DeviceStart; a <= w.DeviceEnd; ++a) {
        const std::int64_t position = std::int64_t{w.BufferStart} + a - w.DeviceStart;
        if (DataBuffer::Contains(position))
            image[static_cast<std::size_t>(a)] = state.Buffer[static_cast<std::int32_t>(position)];
    }
    std::int32_t last = w.DeviceEnd;
    while (last > w.DeviceStart && image[static_cast<std::size_t>(last)] == erased)
        --last;
    const std::int32_t from = arguments.disasm.from.value_or(w.DeviceStart);
    const std::int32_t to = arguments.disasm.to.value_or(last);
    if (from > w.DeviceEnd) {
        Complain(stderr, "--from " + std::to_string(from) + " lies past the " +
                             arguments.deviceName + "'s end");
        return ExitUsage;
    }
    const Listing listing =
        ListCode(arguments.disasm.mcs48 ? Cpu::Mcs48 : Cpu::Mcs51, image, from, to);
    for (const std::string& line : listing.Lines)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return ExitSuccess;
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
    Move_EpromClick(state);
    panel.FinishProgress();
    if (panel.LastOutcome(Task::Operation) != true) return ExitFailed;
    return PrintListing(state, arguments);
}

} // namespace velmar::cli

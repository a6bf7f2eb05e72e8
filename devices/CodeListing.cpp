#include "CodeListing.h"

#include <algorithm>

#include "DeviceCatalogue.h"

namespace velmar {

namespace {
// A code space: 64K for the MCS-51; the listing of no part stops there too.
constexpr std::int32_t kCodeSpaceEnd = 0xFFFF;
} // namespace

Cpu SelectedCpu(const ProgramState& state) {
    const Cpu cpu = state.Selection.Can().Cpu;
    return cpu == Cpu::None ? Cpu::Mcs51 : cpu;
}

Listing ListBuffer(const ProgramState& state, Cpu cpu, std::uint8_t erased,
                   std::optional<std::int32_t> from, std::optional<std::int32_t> to) {
    const AddressWindow& w = state.Window;
    const std::int32_t end = std::min(w.DeviceEnd, kCodeSpaceEnd);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(std::max(end, 0) + 1), erased);
    for (std::int32_t a = std::max(w.DeviceStart, 0); a <= end; ++a) {
        const std::int64_t position = std::int64_t{w.BufferStart} + a - w.DeviceStart;
        if (DataBuffer::Contains(position))
            image[static_cast<std::size_t>(a)] = state.Buffer[static_cast<std::int32_t>(position)];
    }
    std::int32_t last = end;
    while (last > w.DeviceStart && image[static_cast<std::size_t>(last)] == erased)
        --last;
    return ListCode(cpu, image, from.value_or(w.DeviceStart), to.value_or(last));
}

std::size_t LineOf(const Listing& listing, std::int32_t address) {
    std::size_t line = 0;
    for (std::size_t i = 0; i < listing.LineAddress.size(); ++i) {
        if (listing.LineAddress[i] > address) break;
        // A label line and its instruction share the address: the label wins.
        if (i == 0 || listing.LineAddress[i] != listing.LineAddress[i - 1]) line = i;
    }
    return line;
}

} // namespace velmar

#pragma once
// The code listing of what the buffer holds for the part: the device range
// in device order, for the command line and the window alike.

#include <cstdint>
#include <optional>

#include "Disassembler.h"
#include "ProgramState.h"

namespace velmar {

// The instruction set of the selected part (MCS-51 without one).
Cpu SelectedCpu(const ProgramState& state);

// The device range as the buffer holds it (addresses before DeviceStart and
// past the buffer as `erased`), listed from `from` (none: DeviceStart) to
// `to` (none: the last byte that is not `erased`).
Listing ListBuffer(const ProgramState& state, Cpu cpu, std::uint8_t erased,
                   std::optional<std::int32_t> from = std::nullopt,
                   std::optional<std::int32_t> to = std::nullopt);

// The index of the line that lists `address` (the last line at or before it).
std::size_t LineOf(const Listing& listing, std::int32_t address);

} // namespace velmar

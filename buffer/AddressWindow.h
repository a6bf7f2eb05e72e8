#pragma once
// The five values that map the buffer to the device and to files.

#include <cstdint>
#include <string>

#include "DataBuffer.h"

namespace velmar {

struct AddressWindow {
    std::int32_t BufferStart = 0;
    std::int32_t DeviceStart = 0;
    std::int32_t DeviceEnd = 0;
    std::int32_t HexOffset = 0;
    std::int32_t DeviceLimit = 0;
};

// Enforces the window's invariants (DeviceEnd <= DeviceLimit, DeviceStart <=
// DeviceEnd, BufferStart and the range placed at it within 0xFFFFF). Captions
// and the end of the operation frame are the caller's.
void ClampWindowValues(AddressWindow& window);

// 16-bit sum of buffer positions DeviceStart..DeviceEnd (only those inside
// the buffer).
std::uint16_t ComputeChecksumValue(const DataBuffer& buffer, const AddressWindow& window);

} // namespace velmar

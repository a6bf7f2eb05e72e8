#include "AddressWindow.h"

#include "HexText.h"

namespace velmar {

void ClampWindowValues(AddressWindow& w) {
    if (w.DeviceEnd > w.DeviceLimit) w.DeviceEnd = w.DeviceLimit;
    if (w.DeviceStart > w.DeviceEnd) w.DeviceStart = w.DeviceEnd;
    if (w.BufferStart > 0xFFFFF) w.BufferStart = 0xFFFFF;
    // 64-bit so that odd values restored from a settings file cannot overflow.
    if (0xFFFFFLL - w.BufferStart < static_cast<long long>(w.DeviceEnd) - w.DeviceStart)
        w.BufferStart = 0;
}

std::uint16_t ComputeChecksumValue(const DataBuffer& buffer, const AddressWindow& w) {
    std::uint16_t sum = 0;
    for (std::int64_t p = w.DeviceStart; p <= w.DeviceEnd; ++p) {
        if (!DataBuffer::Contains(p)) {
            if (p < 0) continue;
            break;
        }
        sum = static_cast<std::uint16_t>(sum + buffer[static_cast<std::int32_t>(p)]);
    }
    return sum;
}


} // namespace velmar

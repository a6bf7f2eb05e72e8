#pragma once
// The parts the sockets take, as the chip model needs them: family and size.

#include <cstdint>
#include <string_view>

namespace velmar {

// A part that can sit in the socket: its family code and size in bytes.
struct ChipType {
    const char* Name; // "8741", "87C52H", "89S8252", ...
    int Family;
    std::uint32_t Size;
};
// Case-insensitive, trailing blanks ignored; nullptr when unknown.
const ChipType* FindChipType(std::string_view name);
// The chip assumed for a family when no size is given: its largest part.
std::uint32_t DefaultChipSize(int family);
// 0x00 for the 874X families 1 and 2, 0xFF otherwise.
std::uint8_t ErasedValueOf(int family);

} // namespace velmar

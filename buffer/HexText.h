#pragma once
// Upper-case hexadecimal, zero-padded to a minimum width and longer when the
// value needs it: 0x3FF with 4 digits is "03FF", 0x12345 is "12345".

#include <cstdint>
#include <string>

namespace velmar {

std::string HexText(std::int64_t value, int minDigits);

// "&Quit = " followed by the address, the progress caption of Quit_Func_But.
} // namespace velmar

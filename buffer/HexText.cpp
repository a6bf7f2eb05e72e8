#include "HexText.h"

namespace velmar {

std::string HexText(std::int64_t value, int minDigits) {
    std::uint64_t v = static_cast<std::uint64_t>(value);
    if (value < 0) v = static_cast<std::uint32_t>(value); // as a 32-bit word
    int digits = 1;
    while (digits < 16 && (v >> (4 * digits)) != 0) ++digits;
    std::string text;
    if (minDigits > digits) text.assign(static_cast<std::size_t>(minDigits - digits), '0');
    AppendHex(text, v, digits);
    return text;
}

} // namespace velmar

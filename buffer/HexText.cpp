#include "HexText.h"

namespace velmar {

std::string HexText(std::int64_t value, int minDigits) {
    static const char digits[] = "0123456789ABCDEF";
    std::uint64_t v = static_cast<std::uint64_t>(value);
    if (value < 0) v = static_cast<std::uint32_t>(value); // as a 32-bit word
    std::string text;
    do {
        text.insert(text.begin(), digits[v & 0xF]);
        v >>= 4;
    } while (v != 0);
    while (static_cast<int>(text.size()) < minDigits) text.insert(text.begin(), '0');
    return text;
}

} // namespace velmar

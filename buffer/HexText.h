#pragma once
// Hexadecimal text both ways: written with upper-case digits, read in either
// case. The small routines are inline: the hex writer, the reader and the
// editor's dump call them for every byte.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

inline constexpr char kHexDigitChars[] = "0123456789ABCDEF";

// The upper-case digit of the low four bits of `value`.
constexpr char HexDigitChar(std::uint32_t value) {
    return kHexDigitChars[value & 0xF];
}

// The value of a digit of either case; -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr bool IsHexDigit(char c) {
    return HexDigitValue(c) >= 0;
}

// Appends exactly `digits` digits (1 to 16) of `value`, its low ones: the
// fixed-width fields of records, where a wider value is cut, not widened.
inline void AppendHex(std::string& text, std::uint64_t value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text.push_back(HexDigitChar(static_cast<std::uint32_t>(value >> shift)));
}

// Zero-padded to a minimum width and longer when the value needs it: 0x3FF
// with 4 digits is "03FF", 0x12345 is "12345". A negative value is written
// as a 32-bit word.
std::string HexText(std::int64_t value, int minDigits);

// The most digits ParseHex reads: eight fill a 32-bit word.
constexpr std::size_t kMaxHexDigits = 8;

// `text` read as a number: one to `maxDigits` digits of either case and
// nothing else, no sign, prefix or blank; none otherwise. `maxDigits` above
// kMaxHexDigits counts as kMaxHexDigits. Seven digits or fewer always fit a
// signed 32-bit number.
constexpr std::optional<std::uint32_t> ParseHex(std::string_view text,
                                                std::size_t maxDigits = kMaxHexDigits) {
    if (text.empty() || text.size() > maxDigits || text.size() > kMaxHexDigits) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

} // namespace velmar

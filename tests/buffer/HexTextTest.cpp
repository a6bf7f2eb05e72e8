#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "buffer/HexText.h"

namespace velmar {
namespace {

TEST(HexTextTest, PadsToTheMinimumAndWidensForLargerValues) {
    EXPECT_EQ(HexText(0x3FF, 4), "03FF");
    EXPECT_EQ(HexText(0, 0), "0");
    EXPECT_EQ(HexText(0xABCDEF, 2), "ABCDEF");
    EXPECT_EQ(HexText(1, 20), std::string(19, '0') + "1");
    EXPECT_EQ(HexText(std::numeric_limits<std::int64_t>::max(), 1), "7FFFFFFFFFFFFFFF");
    EXPECT_EQ(HexText(-16, 10), "00FFFFFFF0"); // a negative value is a 32-bit word
}

TEST(HexTextTest, AppendHexWritesExactlyTheDigitsAskedFor) {
    std::string text = ":";
    AppendHex(text, 0x0A, 2);
    AppendHex(text, 0x12345, 4); // cut to its low digits
    EXPECT_EQ(text, ":0A2345");
    text.clear();
    AppendHex(text, std::numeric_limits<std::uint64_t>::max(), 16);
    EXPECT_EQ(text, std::string(16, 'F'));
}

TEST(HexTextTest, DigitsAreReadInEitherCaseAndNothingElseIsADigit) {
    const std::string upper = "0123456789ABCDEF";
    const std::string lower = "0123456789abcdef";
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        const auto at = upper.find(c) != std::string::npos ? upper.find(c) : lower.find(c);
        const int expected = at != std::string::npos ? static_cast<int>(at) : -1;
        EXPECT_EQ(HexDigitValue(c), expected) << "character " << i;
        EXPECT_EQ(IsHexDigit(c), expected >= 0) << "character " << i;
        if (expected >= 0) {
            EXPECT_EQ(HexDigitChar(static_cast<std::uint32_t>(expected)), upper[at]);
        }
    }
}

TEST(HexTextTest, ParseHexTakesOnlyDigitsUpToTheLimit) {
    static_assert(ParseHex("1F") == 0x1Fu);
    EXPECT_EQ(ParseHex("0"), 0u);
    EXPECT_EQ(ParseHex("12aB"), 0x12ABu);
    EXPECT_EQ(ParseHex("FFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_FALSE(ParseHex("100000000", 20)); // nine digits overflow a word
    EXPECT_EQ(ParseHex("12", 2), 0x12u);
    EXPECT_FALSE(ParseHex("123", 2));
    for (const char* bad : {"", "0x1", "+1", "-1", " 1", "1 ", "G", "$1"})
        EXPECT_FALSE(ParseHex(bad)) << '"' << bad << '"';
}

} // namespace
} // namespace velmar

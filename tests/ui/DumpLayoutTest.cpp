#include <gtest/gtest.h>

#include <string>

#include "DumpLayout.h"
#include "buffer/HexText.h"

namespace velmar::test {
namespace {

using ui::DumpHit;
using ui::DumpHitAt;

void ExpectHit(int column, bool characters, int byte, int nibble) {
    const DumpHit hit = DumpHitAt(column);
    EXPECT_EQ(hit.characters, characters) << "column " << column;
    EXPECT_EQ(hit.byte, byte) << "column " << column;
    if (!characters) {
        EXPECT_EQ(hit.nibble, nibble) << "column " << column;
    }
}

TEST(DumpLayoutTest, NamedColumnsAreWhereTheLineHoldsEachByte) {
    DataBuffer buffer;
    for (int j = 0; j < ui::kBytesPerLine; ++j) buffer[0x40 + j] = static_cast<std::uint8_t>(0x41 + 17 * j);
    const std::string line = ui::DumpLine(buffer, 0x40);
    ASSERT_EQ(line.size(), static_cast<std::size_t>(ui::kDumpLineChars));
    EXPECT_EQ(line.substr(0, ui::kAddressDigits), "000040");
    EXPECT_EQ(ui::HighDigitColumn(0), 8);
    EXPECT_EQ(ui::LowDigitColumn(15), 54);
    EXPECT_EQ(ui::CharacterColumn(0), 58);
    for (int j = 0; j < ui::kBytesPerLine; ++j) {
        const std::uint8_t value = buffer[0x40 + j];
        EXPECT_EQ(line[ui::HighDigitColumn(j)], HexDigitChar(value >> 4)) << "byte " << j;
        EXPECT_EQ(line[ui::LowDigitColumn(j)], HexDigitChar(value)) << "byte " << j;
        EXPECT_EQ(line[ui::LowDigitColumn(j) + 1], ' ') << "byte " << j;
        EXPECT_EQ(line[ui::CharacterColumn(j)], ui::DumpCharacter(value)) << "byte " << j;
    }
    EXPECT_EQ(line.substr(ui::kAddressDigits, 2), "  ");
    EXPECT_EQ(line.substr(ui::LowDigitColumn(15) + 1, 3), "   ");
}

TEST(DumpLayoutTest, ClicksSelectTheByteAndDigitUnderThem) {
    for (int column = 0; column < ui::HighDigitColumn(0); ++column) ExpectHit(column, false, 0, 0);
    for (int j = 0; j < ui::kBytesPerLine; ++j) {
        ExpectHit(ui::HighDigitColumn(j), false, j, 0);
        ExpectHit(ui::LowDigitColumn(j), false, j, 1);
        ExpectHit(ui::CharacterColumn(j), true, j, 0);
    }
    // The blank after a byte takes the next byte's high digit ...
    for (int j = 0; j + 1 < ui::kBytesPerLine; ++j) ExpectHit(ui::LowDigitColumn(j) + 1, false, j + 1, 0);
    // ... and from the blank after the last byte on, the characters.
    for (int column = ui::LowDigitColumn(15) + 1; column <= ui::CharacterColumn(0); ++column)
        ExpectHit(column, true, 0, 0);
    ExpectHit(ui::kDumpLineChars, true, 15, 0); // the line break
    ExpectHit(ui::kDumpLinePositions + 10, true, 15, 0);
    ExpectHit(-3, false, 0, 0);
}

} // namespace
} // namespace velmar::test

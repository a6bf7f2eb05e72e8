#include <gtest/gtest.h>

#include <string>

#include "DumpLayout.h"
#include "buffer/HexText.h"

namespace velmar::test {
namespace {

void ExpectHit(int column, bool characters, int byte, int nibble = 0) {
    const ui::DumpHit hit = ui::DumpHitAt(column);
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
    EXPECT_EQ(ui::HighDigitColumn(0), 8);
    EXPECT_EQ(ui::CharacterColumn(0), 58);
    for (int j = 0; j < ui::kBytesPerLine; ++j) {
        const std::uint8_t value = buffer[0x40 + j];
        EXPECT_EQ(line[ui::HighDigitColumn(j)], HexDigitChar(value >> 4)) << "byte " << j;
        EXPECT_EQ(line[ui::LowDigitColumn(j)], HexDigitChar(value)) << "byte " << j;
        EXPECT_EQ(line[ui::CharacterColumn(j)], ui::DumpCharacter(value)) << "byte " << j;
    }
    EXPECT_EQ(ui::ShownByte(buffer, 0x40), 0x41);
    EXPECT_EQ(ui::ShownByte(buffer, kBufferSize), 0);
}

TEST(DumpLayoutTest, ClicksSelectTheByteAndDigitUnderThem) {
    for (int column = -3; column < ui::HighDigitColumn(0); ++column) ExpectHit(column, false, 0);
    for (int j = 0; j < ui::kBytesPerLine; ++j) {
        ExpectHit(ui::HighDigitColumn(j), false, j, 0);
        ExpectHit(ui::LowDigitColumn(j), false, j, 1);
        ExpectHit(ui::CharacterColumn(j), true, j);
        // The blank after a byte takes the next byte's high digit.
        if (j + 1 < ui::kBytesPerLine) ExpectHit(ui::LowDigitColumn(j) + 1, false, j + 1, 0);
    }
    // From the blank after the last byte on: the characters.
    for (int column = ui::LowDigitColumn(15) + 1; column < ui::CharacterColumn(0); ++column)
        ExpectHit(column, true, 0);
    ExpectHit(ui::kDumpLineChars, true, 15); // the line break
}

} // namespace
} // namespace velmar::test

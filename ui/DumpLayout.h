#pragma once
// The buffer editor's text: one dump line per 16 bytes and the info line.
// A dump line is the address, two blanks, each byte as two digits and a
// blank, two more blanks, then each byte as a character:
//   "000010  41 42 ... 4F  ABCDEFGHIJKLMNO"
// The caret and mouse positions are columns of this layout.

#include <cstdint>
#include <string>

#include "buffer/DataBuffer.h"

namespace velmar::ui {

constexpr int kBytesPerLine = 16;
constexpr int kPageLines = 16;
constexpr int kPageBytes = kBytesPerLine * kPageLines;

constexpr int kAddressDigits = 6;
constexpr int kFirstDigitColumn = kAddressDigits + 2;
constexpr int kByteCellWidth = 3; // two digits and a blank
constexpr int HighDigitColumn(int byte) { return kFirstDigitColumn + kByteCellWidth * byte; }
constexpr int LowDigitColumn(int byte) { return HighDigitColumn(byte) + 1; }
constexpr int kFirstCharacterColumn = HighDigitColumn(kBytesPerLine) + 2;
constexpr int CharacterColumn(int byte) { return kFirstCharacterColumn + byte; }

constexpr int kDumpLineChars = CharacterColumn(kBytesPerLine);
static_assert(kDumpLineChars == 74);
// Qt's text control counts a line break as one position, so a dump line
// takes 74 + 1 caret positions.
constexpr int kDumpLinePositions = kDumpLineChars + 1;
constexpr int kInfoLineChars = 65;

// The byte shown at an address: 0 outside the buffer.
std::uint8_t ShownByte(const DataBuffer& buffer, std::int32_t address);
// How a byte shows in the character column and on the info line.
char DumpCharacter(std::uint8_t value);
// The dump line of the 16 bytes starting at `address`.
std::string DumpLine(const DataBuffer& buffer, std::int32_t address);
std::string InfoLine(std::int32_t address, std::uint8_t value);

// The byte a click on a dump line's column selects. A click on the address,
// a digit or the blank before a byte takes that byte in the digits, the low
// digit only when it was hit; from the blank after the last byte on it takes
// a byte in the characters, the first one up to its column.
struct DumpHit {
    bool characters = false;
    int byte = 0;
    int nibble = 0; // digits only: 1 for the low digit
};
DumpHit DumpHitAt(int column);

} // namespace velmar::ui

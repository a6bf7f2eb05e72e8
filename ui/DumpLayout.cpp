#include "DumpLayout.h"

#include <algorithm>

#include "buffer/HexText.h"

namespace velmar::ui {

namespace {

// Clicks are counted from the blank before the first byte's digits, so that
// every byte's part of the line is that blank and its two digits.
constexpr int kClickOrigin = kFirstDigitColumn - 1;

} // namespace

std::uint8_t ShownByte(const DataBuffer& buffer, std::int32_t address) {
    return DataBuffer::Contains(address) ? buffer[address] : 0;
}

char DumpCharacter(std::uint8_t value) {
    return value >= 0x20 && value <= 0x7F ? static_cast<char>(value) : '.';
}

std::string DumpLine(const DataBuffer& buffer, std::int32_t address) {
    std::string line(kDumpLineChars, ' ');
    const std::string label = HexText(address, kAddressDigits);
    line.replace(0, kAddressDigits, label, 0, kAddressDigits);
    for (int j = 0; j < kBytesPerLine; ++j) {
        const std::uint8_t value = ShownByte(buffer, address + j);
        line[HighDigitColumn(j)] = HexDigitChar(value >> 4);
        line[LowDigitColumn(j)] = HexDigitChar(value);
        line[CharacterColumn(j)] = DumpCharacter(value);
    }
    return line;
}

std::string InfoLine(std::int32_t address, std::uint8_t value) {
    std::string line = "Address=" + HexText(address, kAddressDigits);
    line += "             Hex Data=";
    AppendHex(line, value, 2);
    line += "               Ascii Data=";
    line += DumpCharacter(value);
    return line;
}

DumpHit DumpHitAt(int column) {
    DumpHit hit;
    const int a = std::max(column - kClickOrigin, 0);
    if (a < kBytesPerLine * kByteCellWidth) {
        hit.byte = std::min(a / kByteCellWidth, kBytesPerLine - 1);
        hit.nibble = a % kByteCellWidth == 2 ? 1 : 0;
    } else {
        hit.characters = true;
        hit.byte = std::min(std::max(column, kFirstCharacterColumn) - kFirstCharacterColumn,
                            kBytesPerLine - 1);
    }
    return hit;
}

} // namespace velmar::ui

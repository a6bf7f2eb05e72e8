#pragma once
// The serial number written into each part: where (a device address), how
// (one of eight encodings) and which (a start and a step).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmar::cli {

enum class SerialFormat { Le16, Be16, Le32, Be32, Bcd4, Bcd8, Ascii8, Hex8 };

struct SerialRule {
    std::int32_t address = 0; // device address of the first byte
    SerialFormat format = SerialFormat::Le16;
    std::uint64_t start = 0;
    std::uint64_t step = 1;
};

// "ADDR:FORMAT:START[:STEP]": ADDR hexadecimal, START and STEP decimal (or
// 0x hexadecimal), STEP at least 1. None with `error` set otherwise.
std::optional<SerialRule> ParseSerialRule(const std::string& text, std::string& error);
// The text ParseSerialRule reads back.
std::string SerialRuleText(const SerialRule& rule);

const char* SerialFormatName(SerialFormat format);
// Bytes the number takes in the part.
int SerialWidth(SerialFormat format);
// True when `value` can be written in `format`.
bool SerialFits(SerialFormat format, std::uint64_t value);
// The bytes written at the rule's address, first byte first.
std::vector<std::uint8_t> EncodeSerial(SerialFormat format, std::uint64_t value);

} // namespace velmar::cli

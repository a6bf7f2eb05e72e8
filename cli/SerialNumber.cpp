#include "SerialNumber.h"

#include <algorithm>
#include <array>

#include "Arguments.h"
#include "buffer/HexText.h"

namespace velmar::cli {

namespace {

struct FormatRow {
    SerialFormat format;
    const char* name;
    int width;
    std::uint64_t limit; // values below it fit
};

constexpr std::array<FormatRow, 8> kFormats{{
    {SerialFormat::Le16, "le16", 2, 0x10000},
    {SerialFormat::Be16, "be16", 2, 0x10000},
    {SerialFormat::Le32, "le32", 4, 0x100000000},
    {SerialFormat::Be32, "be32", 4, 0x100000000},
    {SerialFormat::Bcd4, "bcd4", 2, 10000},
    {SerialFormat::Bcd8, "bcd8", 4, 100000000},
    {SerialFormat::Ascii8, "ascii8", 8, 100000000},
    {SerialFormat::Hex8, "hex8", 8, 0x100000000},
}};

const FormatRow& RowOf(SerialFormat format) {
    return kFormats[static_cast<std::size_t>(format)];
}

std::optional<std::uint64_t> ParseNumber(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > (hex ? 8u : 10u)) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos) return fields;
        start = colon + 1;
    }
}

} // namespace

std::optional<SerialRule> ParseSerialRule(const std::string& text, std::string& error) {
    const std::vector<std::string> fields = Fields(text);
    if (fields.size() < 3 || fields.size() > 4) {
        error = "--serial-number takes ADDR:FORMAT:START[:STEP], not " + text;
        return std::nullopt;
    }
    SerialRule rule;
    const std::optional<std::int32_t> address = ParseAddress(fields[0]);
    if (!address) {
        error = "--serial-number: '" + fields[0] + "' is not a hexadecimal address";
        return std::nullopt;
    }
    rule.address = *address;
    const FormatRow* row = nullptr;
    for (const FormatRow& candidate : kFormats)
        if (fields[1] == candidate.name) row = &candidate;
    if (row == nullptr) {
        error = "--serial-number: unknown format '" + fields[1] +
                "' (le16, be16, le32, be32, bcd4, bcd8, ascii8 or hex8)";
        return std::nullopt;
    }
    rule.format = row->format;
    const std::optional<std::uint64_t> start = ParseNumber(fields[2]);
    if (!start || !SerialFits(rule.format, *start)) {
        error =
            "--serial-number: START '" + fields[2] + "' is not a number " + row->name + " can hold";
        return std::nullopt;
    }
    rule.start = *start;
    if (fields.size() == 4) {
        const std::optional<std::uint64_t> step = ParseNumber(fields[3]);
        if (!step || *step == 0 || *step >= row->limit) {
            error = "--serial-number: STEP '" + fields[3] + "' is not a step " + row->name +
                    " can take";
            return std::nullopt;
        }
        rule.step = *step;
    }
    return rule;
}

std::string SerialRuleText(const SerialRule& rule) {
    return HexText(rule.address, 4) + ":" + SerialFormatName(rule.format) + ":" +
           std::to_string(rule.start) + ":" + std::to_string(rule.step);
}

const char* SerialFormatName(SerialFormat format) {
    return RowOf(format).name;
}

int SerialWidth(SerialFormat format) {
    return RowOf(format).width;
}

bool SerialFits(SerialFormat format, std::uint64_t value) {
    return value < RowOf(format).limit;
}

std::vector<std::uint8_t> EncodeSerial(SerialFormat format, std::uint64_t value) {
    const int width = SerialWidth(format);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(width));
    // Most significant first; the little-endian formats are turned round.
    std::uint64_t rest = value;
    for (int i = width - 1; i >= 0; --i) {
        std::uint8_t byte = 0;
        switch (format) {
        case SerialFormat::Bcd4:
        case SerialFormat::Bcd8:
            byte = static_cast<std::uint8_t>(rest % 10 | (rest / 10 % 10) << 4);
            rest /= 100;
            break;
        case SerialFormat::Ascii8:
            byte = static_cast<std::uint8_t>('0' + rest % 10);
            rest /= 10;
            break;
        case SerialFormat::Hex8:
            byte = static_cast<std::uint8_t>("0123456789ABCDEF"[rest % 16]);
            rest /= 16;
            break;
        default:
            byte = static_cast<std::uint8_t>(rest & 0xFF);
            rest >>= 8;
            break;
        }
        bytes[static_cast<std::size_t>(i)] = byte;
    }
    if (format == SerialFormat::Le16 || format == SerialFormat::Le32)
        std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

} // namespace velmar::cli

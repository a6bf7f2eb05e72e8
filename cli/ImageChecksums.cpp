#include "ImageChecksums.h"

#include <cstdio>

#include "Arguments.h"
#include "DumpIdentity.h"
#include "buffer/HexText.h"

namespace velmar::cli {

std::uint16_t ByteSum16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum = static_cast<std::uint16_t>(sum + data[i]);
    return sum;
}

std::uint16_t WordSum16(const std::uint8_t* data, std::size_t size) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < size; i += 2) {
        const unsigned high = i + 1 < size ? data[i + 1] : 0u;
        sum = static_cast<std::uint16_t>(sum + (data[i] | high << 8));
    }
    return sum;
}

std::uint16_t Crc16CcittFalse(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
    }
    return crc;
}

ChecksumSet ChecksumsOf(const std::vector<std::uint8_t>& bytes) {
    ChecksumSet s;
    s.bytes = static_cast<long>(bytes.size());
    s.byteSum = ByteSum16(bytes.data(), bytes.size());
    s.wordSum = WordSum16(bytes.data(), bytes.size());
    s.crc16 = Crc16CcittFalse(bytes.data(), bytes.size());
    s.crc32 = Crc32(bytes.data(), bytes.size());
    s.sha1 = Sha1Text(bytes.data(), bytes.size());
    return s;
}

ImageChecksums ChecksumsOfRange(std::int32_t first, const std::vector<std::uint8_t>& bytes,
                                const std::vector<AddressSpan>& excluded) {
    ImageChecksums sums;
    sums.first = first;
    sums.last = first + static_cast<std::int32_t>(bytes.size()) - 1;
    sums.all = ChecksumsOf(bytes);
    sums.excluded = excluded;
    if (excluded.empty()) return sums;
    std::vector<std::uint8_t> kept;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::int32_t address = first + static_cast<std::int32_t>(i);
        bool out = false;
        for (const AddressSpan& span : excluded)
            out = out || (address >= span.first && address <= span.last);
        if (!out) kept.push_back(bytes[i]);
    }
    sums.less = ChecksumsOf(kept);
    return sums;
}

std::vector<std::uint8_t> WindowBytes(const DataBuffer& buffer, const AddressWindow& w) {
    std::vector<std::uint8_t> bytes;
    for (std::int64_t i = 0; i <= std::int64_t{w.DeviceEnd} - w.DeviceStart; ++i) {
        const std::int64_t position = w.BufferStart + i;
        if (!DataBuffer::Contains(position)) break;
        bytes.push_back(buffer[static_cast<std::int32_t>(position)]);
    }
    return bytes;
}

ImageChecksums ChecksumsOfWindow(const DataBuffer& buffer, const AddressWindow& w,
                                 const std::vector<AddressSpan>& excluded) {
    ImageChecksums sums = ChecksumsOfRange(w.DeviceStart, WindowBytes(buffer, w), excluded);
    // The window's button sums buffer positions, whatever the buffer start.
    const std::uint16_t window = ComputeChecksumValue(buffer, w);
    if (window != sums.all.byteSum) sums.windowByteSum = window;
    return sums;
}

std::string ParseExclude(const std::string& text, AddressSpan& span) {
    const std::string problem =
        "--exclude takes ADDR-ADDR in hexadecimal, the first not above the last, not " + text;
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos) return problem;
    const std::optional<std::int32_t> first = ParseAddress(text.substr(0, dash));
    const std::optional<std::int32_t> last = ParseAddress(text.substr(dash + 1));
    if (!first || !last || *first > *last) return problem;
    span = {*first, *last};
    return "";
}

std::string ExcludeProblem(const std::vector<AddressSpan>& excluded, std::int32_t first,
                           std::int32_t last) {
    for (const AddressSpan& span : excluded)
        if (span.first < first || span.last > last)
            return "--exclude " + HexText(span.first, 4) + "-" + HexText(span.last, 4) +
                   " reaches outside the range summed, " + HexText(first, 4) + "-" +
                   HexText(last, 4);
    return "";
}

namespace {

std::string Hex(unsigned value, int digits, bool upper) {
    char text[16];
    std::snprintf(text, sizeof text, upper ? "%0*X" : "%0*x", digits, value);
    return text;
}

std::string SetLines(const ChecksumSet& s) {
    return "  byte sum   " + Hex(s.byteSum, 4, true) + "\n" + "  word sum   " +
           Hex(s.wordSum, 4, true) + "  (little-endian words)\n" + "  CRC-16     " +
           Hex(s.crc16, 4, true) + "  (CCITT-FALSE)\n" + "  CRC-32     " + Hex(s.crc32, 8, false) +
           "\n" + "  SHA-1      " + s.sha1 + "\n";
}

nlohmann::ordered_json SetJson(const ChecksumSet& s) {
    return {{"bytes", s.bytes},
            {"byte_sum", Hex(s.byteSum, 4, false)},
            {"word_sum", Hex(s.wordSum, 4, false)},
            {"crc16", Hex(s.crc16, 4, false)},
            {"crc32", Hex(s.crc32, 8, false)},
            {"sha1", s.sha1}};
}

std::string SpanText(const AddressSpan& span) {
    return HexText(span.first, 4) + "-" + HexText(span.last, 4);
}

} // namespace

std::string ChecksumText(const ImageChecksums& sums) {
    std::string text = SpanText({sums.first, sums.last}) + ", " + std::to_string(sums.all.bytes) +
                       (sums.all.bytes == 1 ? " byte\n" : " bytes\n") + SetLines(sums.all);
    if (sums.windowByteSum)
        text += "  the window shows CheckSum=" + Hex(*sums.windowByteSum, 4, true) +
                ": it sums buffer positions " + SpanText({sums.first, sums.last}) +
                ", not shifted by the buffer start\n";
    if (sums.less) {
        text += "without";
        for (std::size_t i = 0; i < sums.excluded.size(); ++i)
            text += (i == 0 ? " " : ", ") + SpanText(sums.excluded[i]);
        text += ", " + std::to_string(sums.less->bytes) +
                (sums.less->bytes == 1 ? " byte\n" : " bytes\n") + SetLines(*sums.less);
    }
    return text;
}

nlohmann::ordered_json ChecksumsJson(const ImageChecksums& sums) {
    nlohmann::ordered_json o = {{"first", sums.first}, {"last", sums.last}};
    o.update(SetJson(sums.all));
    if (sums.windowByteSum) o["window_byte_sum"] = Hex(*sums.windowByteSum, 4, false);
    if (sums.less) {
        o["excluded"] = nlohmann::ordered_json::array();
        for (const AddressSpan& span : sums.excluded)
            o["excluded"].push_back({{"first", span.first}, {"last", span.last}});
        o["less_excluded"] = SetJson(*sums.less);
    }
    return o;
}

} // namespace velmar::cli

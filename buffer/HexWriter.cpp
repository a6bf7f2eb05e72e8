#include "HexWriter.h"

#include <algorithm>

#include "BinaryFile.h"
#include "DataFormats.h"
#include "FileReplacement.h"
#include "HexText.h"

namespace velmar {

namespace {

void EndLine(std::string& text) {
    text.append("\r\n");
}

// ":02000002" SSSS CC for the 64 KiB segment that holds `position`.
void IntelSegmentRecord(std::string& text, std::int32_t position) {
    const std::uint32_t segment = static_cast<std::uint32_t>(position / 65536) * 0x1000u;
    text.append(":02000002");
    AppendHex(text, segment, 4);
    AppendHex(text, (0xFCu - (segment >> 8) - (segment & 0xFF)) & 0xFF, 2);
    EndLine(text);
}

// One data record of `count` bytes from `position`.
void IntelDataRecord(std::string& text, const DataBuffer& buffer, std::int32_t position,
                     std::int32_t count) {
    const std::uint32_t address = static_cast<std::uint32_t>(position) % 65536u;
    std::uint32_t sum = static_cast<std::uint32_t>(count) + (address >> 8) + (address & 0xFF);
    text.push_back(':');
    AppendHex(text, static_cast<std::uint32_t>(count), 2);
    AppendHex(text, address, 4);
    text.append("00");
    for (std::int32_t i = 0; i < count; ++i) {
        AppendHex(text, buffer[position + i], 2);
        sum += buffer[position + i];
    }
    AppendHex(text, (0u - sum) & 0xFF, 2);
    EndLine(text);
}

void MotorolaDataRecord(std::string& text, const DataBuffer& buffer, std::int32_t position,
                        std::int32_t count) {
    const std::uint32_t address = static_cast<std::uint32_t>(position);
    std::uint32_t sum = static_cast<std::uint32_t>(count) + 4 + (address >> 16) +
                        ((address >> 8) & 0xFF) + (address & 0xFF);
    text.append("S2");
    AppendHex(text, static_cast<std::uint32_t>(count) + 4, 2);
    AppendHex(text, address, 6);
    for (std::int32_t i = 0; i < count; ++i) {
        AppendHex(text, buffer[position + i], 2);
        sum += buffer[position + i];
    }
    AppendHex(text, 0xFFu - (sum & 0xFF), 2);
    EndLine(text);
}

// Bytes left in the 64 KiB segment that holds `position`.
std::int32_t SegmentRoom(std::int32_t position) {
    return 65536 - position % 65536;
}

void WriteIntel(std::string& text, const DataBuffer& buffer, std::int32_t end, bool cutAtEnd) {
    std::int32_t position = 0;
    IntelSegmentRecord(text, position);
    do {
        // Not cut at the end (unless asked): a record holds 16 bytes unless a
        // 64 KiB boundary comes first.
        std::int32_t count = std::min(16, SegmentRoom(position));
        if (cutAtEnd) count = std::max(1, std::min(count, end - position + 1));
        IntelDataRecord(text, buffer, position, count);
        position += count;
        if (position % 65536 == 0) IntelSegmentRecord(text, position);
    } while (position <= end);
    text.append(":00000001FF");
    EndLine(text);
}

void WriteMotorola(std::string& text, const DataBuffer& buffer, std::int32_t end) {
    std::int32_t position = 0;
    do {
        // Cut at the end.
        const std::int32_t count = std::max(1, std::min(16, end - position + 1));
        MotorolaDataRecord(text, buffer, position, count);
        position += count;
    } while (position <= end);
    text.append("S804000000FB");
    EndLine(text);
}

void WriteAscii(std::string& text, const DataBuffer& buffer, std::int32_t end) {
    std::int32_t position = 0;
    do {
        do {
            AppendHex(text, buffer[position++], 2);
        } while (position % 16 != 0 && position <= end);
        EndLine(text);
    } while (position <= end);
}

} // namespace

std::vector<PositionRange> StoredRanges(const std::vector<bool>& stored, std::int32_t end) {
    std::vector<PositionRange> ranges;
    const std::int32_t last =
        std::min({end, kBufferSize - 1, static_cast<std::int32_t>(stored.size()) - 1});
    for (std::int32_t p = 0; p <= last; ++p) {
        if (!stored[static_cast<std::size_t>(p)]) continue;
        if (!ranges.empty() && ranges.back().last == p - 1)
            ranges.back().last = p;
        else
            ranges.push_back({p, p});
    }
    return ranges;
}

std::string HexRunsText(const DataBuffer& buffer, FileType fileType,
                        const std::vector<PositionRange>& ranges) {
    std::string text;
    if (fileType != IntelHexFileType && fileType != MotorolaHexFileType) return text;
    const bool intel = fileType == IntelHexFileType;
    if (intel) IntelSegmentRecord(text, 0);
    for (const PositionRange& range : ranges) {
        for (std::int32_t p = range.first; p <= range.last;) {
            // Records keep to 16-byte lines of the address space, as a whole
            // image's do, so that equal data give equal records.
            const std::int32_t count = std::min({16 - p % 16, range.last - p + 1, SegmentRoom(p)});
            (intel ? IntelDataRecord : MotorolaDataRecord)(text, buffer, p, count);
            p += count;
        }
    }
    text.append(intel ? ":00000001FF" : "S804000000FB");
    EndLine(text);
    return text;
}

std::string HexFileText(const DataBuffer& buffer, FileType fileType, std::int32_t deviceEnd,
                        bool cutAtEnd, const std::vector<PositionRange>* runs) {
    if (runs) return HexRunsText(buffer, fileType, *runs);
    const std::int32_t end = std::min(deviceEnd, kBufferSize - 1);
    std::string text;
    text.reserve(static_cast<std::size_t>(std::max(end, 0) / 16 + 2) * 48);
    switch (fileType) {
    case IntelHexFileType:
        WriteIntel(text, buffer, end, cutAtEnd);
        break;
    case MotorolaHexFileType:
        WriteMotorola(text, buffer, end);
        break;
    case AsciiHexFileType:
        WriteAscii(text, buffer, end);
        break;
    default:
        break;
    }
    return text;
}

HexSaveResult SaveHexFile(const std::string& path, FileType fileType, const DataBuffer& buffer,
                          const AddressWindow& window, FrontPanel& panel, bool cutAtEnd,
                          const std::vector<PositionRange>* runs) {
    panel.Status("Saving Buffer to Hex File....");
    panel.PumpEvents();
    HexSaveResult result;
    result.droppedBytes = UnsavedLength(window.DeviceEnd);
    const std::string text = HexFileText(buffer, fileType, window.DeviceEnd, cutAtEnd, runs);
    FileReplacement file(path);
    if (!file.Open() || !file.Write(text.data(), text.size()) || !file.Commit()) {
        result.systemError = file.Error();
        return result;
    }
    result.ok = true;
    panel.Status("Hex File Saved....");
    return result;
}

} // namespace velmar

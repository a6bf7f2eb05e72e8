#include "HexWriter.h"

#include <algorithm>

#include "BinaryFile.h"
#include "FileReplacement.h"
#include "HexText.h"

namespace velmar {

namespace {

void EndLine(std::string& text) {
    text.append("\r\n");
}

// Appends data bytes from `position` on as hex digits, adding each to `sum`,
// until 16 are taken or `more` says the record ends; returns the count.
template <typename More>
std::uint32_t TakeRecordData(std::string& data, std::uint32_t& sum, const DataBuffer& buffer,
                             std::int32_t& position, More more) {
    std::uint32_t count = 0;
    do {
        const std::uint8_t byte = buffer[position++];
        AppendHex(data, byte, 2);
        sum += byte;
        ++count;
    } while (count < 16 && more());
    return count;
}

// ":02000002" SSSS CC for the 64 KiB segment that holds `position`.
void IntelSegmentRecord(std::string& text, std::int32_t position) {
    const std::uint32_t segment = static_cast<std::uint32_t>(position / 65536) * 0x1000u;
    text.append(":02000002");
    AppendHex(text, segment, 4);
    AppendHex(text, (0xFCu - (segment >> 8) - (segment & 0xFF)) & 0xFF, 2);
    EndLine(text);
}

void WriteIntel(std::string& text, const DataBuffer& buffer, std::int32_t end, bool cutAtEnd) {
    std::int32_t position = 0;
    IntelSegmentRecord(text, position);
    do {
        const std::uint32_t address = static_cast<std::uint32_t>(position) % 65536u;
        std::uint32_t sum = (address >> 8) + (address & 0xFF);
        std::string data;
        // Not cut at the end (unless asked): a record holds 16 bytes unless a
        // 64 KiB boundary comes first.
        const std::uint32_t count = TakeRecordData(data, sum, buffer, position, [&] {
            return position % 65536 != 0 && (!cutAtEnd || position <= end);
        });
        text.push_back(':');
        AppendHex(text, count, 2);
        AppendHex(text, address, 4);
        text.append("00");
        text.append(data);
        AppendHex(text, (0u - (count + sum)) & 0xFF, 2);
        EndLine(text);
        if (position % 65536 == 0) IntelSegmentRecord(text, position);
    } while (position <= end);
    text.append(":00000001FF");
    EndLine(text);
}

void WriteMotorola(std::string& text, const DataBuffer& buffer, std::int32_t end) {
    std::int32_t position = 0;
    do {
        const std::uint32_t address = static_cast<std::uint32_t>(position);
        std::uint32_t sum = (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::string data;
        // Cut at the end.
        const std::uint32_t count =
            TakeRecordData(data, sum, buffer, position, [&] { return position <= end; });
        text.append("S2");
        AppendHex(text, count + 4, 2);
        AppendHex(text, address, 6);
        text.append(data);
        AppendHex(text, 0xFFu - ((count + 4 + sum) & 0xFF), 2);
        EndLine(text);
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

std::string HexFileText(const DataBuffer& buffer, int fileType, std::int32_t deviceEnd,
                        bool cutAtEnd) {
    const std::int32_t end = std::min(deviceEnd, kBufferSize - 1);
    std::string text;
    text.reserve(static_cast<std::size_t>(std::max(end, 0) / 16 + 2) * 48);
    switch (fileType) {
    case 1:
        WriteIntel(text, buffer, end, cutAtEnd);
        break;
    case 2:
        WriteMotorola(text, buffer, end);
        break;
    case 3:
        WriteAscii(text, buffer, end);
        break;
    default:
        break;
    }
    return text;
}

HexSaveResult SaveHexFile(const std::string& path, int fileType, const DataBuffer& buffer,
                          const AddressWindow& window, FrontPanel& panel, bool cutAtEnd) {
    panel.Status("Saving Buffer to Hex File....");
    panel.PumpEvents();
    HexSaveResult result;
    result.droppedBytes = UnsavedLength(window.DeviceEnd);
    const std::string text = HexFileText(buffer, fileType, window.DeviceEnd, cutAtEnd);
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

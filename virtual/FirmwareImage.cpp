#include "FirmwareImage.h"

#include <cstdlib>
#include <cstring>

namespace velmar {

std::uint16_t FirmwarePayloadSum(const std::uint8_t* record) {
    unsigned sum = 0;
    for (std::size_t i = kFirmwarePayloadOffset; i < kFirmwareRecordSize; ++i)
        sum += record[i];
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

bool ParseFirmwareVersion(const char* text, int& major, int& minor) {
    if (!text) return false;
    const char* dot = std::strchr(text, '.');
    if (!dot || dot == text || dot[1] == 0) return false;
    for (const char* p = text; *p; ++p)
        if (p != dot && (*p < '0' || *p > '9')) return false;
    if (dot - text > 3 || std::strlen(dot + 1) > 3) return false;
    const int a = std::atoi(text);
    const int b = std::atoi(dot + 1);
    if (a > 255 || b > 255) return false;
    major = a;
    minor = b;
    return true;
}

namespace {
void AppendRecord(std::vector<std::uint8_t>& image, std::uint8_t kind, unsigned address,
                  const std::uint8_t* payload) {
    std::uint8_t record[kFirmwareRecordSize] = {};
    record[0] = kFirmwareRecordMarker;
    record[1] = kind;
    record[2] = static_cast<std::uint8_t>((address >> 8) & 0xFF);
    record[3] = static_cast<std::uint8_t>(address & 0xFF);
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += record[i];
    record[7] = static_cast<std::uint8_t>(sum & 0xFF);
    std::memcpy(record + kFirmwarePayloadOffset, payload, kFirmwarePayloadSize);
    image.insert(image.end(), record, record + kFirmwareRecordSize);
}
} // namespace

std::vector<std::uint8_t> MakeFirmwareImage(int major, int minor, int dataRecords) {
    if (dataRecords < 0) dataRecords = 0;
    if (dataRecords > kFirmwareMaxCodeRecords) dataRecords = kFirmwareMaxCodeRecords;
    std::vector<std::uint8_t> image = {'B', 'P', 'U', 'p', 'd', 'a',  't', 'e',
                                       ' ', 'F', 'i', 'l', 'e', 0x06, 0,   0};
    std::uint8_t payload[kFirmwarePayloadSize] = {};
    payload[0] = 'V';
    payload[1] = 'E';
    payload[2] = 'R';
    payload[3] = static_cast<std::uint8_t>(major & 0xFF);
    payload[4] = static_cast<std::uint8_t>(minor & 0xFF);
    payload[5] = static_cast<std::uint8_t>((dataRecords >> 8) & 0xFF);
    payload[6] = static_cast<std::uint8_t>(dataRecords & 0xFF);
    AppendRecord(image, FirmwareVersionRecord, 0, payload);

    // Code bytes: a fixed pseudo-random stream per version, so two versions
    // give two different checksums.
    std::uint32_t seed = 0x9E3779B9u ^ static_cast<std::uint32_t>(major * 256 + minor);
    unsigned address = 0;
    for (int r = 0; r < dataRecords; ++r) {
        for (auto& b : payload) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<std::uint8_t>(seed >> 24);
        }
        AppendRecord(image, FirmwareCodeRecord, address, payload);
        address += kFirmwarePayloadSize;
    }
    std::memset(payload, 0, sizeof payload);
    AppendRecord(image, FirmwareEndRecord, address, payload);

    unsigned sum = 0;
    for (std::size_t at = kFirmwareHeaderSize; at + kFirmwareRecordSize <= image.size();
         at += kFirmwareRecordSize)
        sum += FirmwarePayloadSum(image.data() + at);
    image[14] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
    image[15] = static_cast<std::uint8_t>(sum & 0xFF);
    return image;
}

} // namespace velmar

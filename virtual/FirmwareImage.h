#pragma once
// The programmer's firmware image file and the records it streams.
//
// File: 2 free bytes ("BP"), "Update File" + 0x06, the checksum high and low,
// then 74-byte records back to back. The host sends every record but the last
// (the end record), so the last one carries nothing the firmware needs.
//
// Record (74 bytes):
//   0      0x3A, a record marker (the firmware goes by the packet length)
//   1      kind: 0x01 version, 0x00 code, 0xFF end
//   2, 3   flash address of the payload, high and low (the host's progress)
//   4..6   0
//   7      sum of bytes 0..6 modulo 256 (the packet checksum)
//   8..73  66 payload bytes
// The version record comes first; its payload starts with 'V' 'E' 'R', the
// major and minor version, and the number of code records (high, low).
//
// Checksum rule (what the 0xAA query answers in reply bytes 2 and 3): the sum
// of the payload bytes 8..73 of every record received with a correct byte 7,
// modulo 65536. The end record's payload is all zero, so it adds nothing
// whether it is sent or not.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmar {

constexpr std::size_t kFirmwareRecordSize = 74;
constexpr std::size_t kFirmwarePayloadOffset = 8;
constexpr std::size_t kFirmwarePayloadSize = 66;
constexpr std::size_t kFirmwareHeaderSize = 16;
constexpr std::uint8_t kFirmwareRecordMarker = 0x3A;
// The host reads at most 9215 bytes and sends every record but the last only
// while a file has no more than 72 records.
constexpr int kFirmwareMaxCodeRecords = 70;

enum : std::uint8_t {
    FirmwareCodeRecord = 0x00,
    FirmwareVersionRecord = 0x01,
    FirmwareEndRecord = 0xFF,
};

std::uint16_t FirmwarePayloadSum(const std::uint8_t* record);

// Writes the version text "MAJOR.MINOR" into major/minor; false when it is
// not two decimal numbers 0..255 joined by a dot.
bool ParseFirmwareVersion(const char* text, int& major, int& minor);

// A valid firmware image file for `velmar-mkfirmware` and tests: 2 bytes,
// "Update File" + 0x06, checksum high/low, then 74-byte records (a version
// record, `dataRecords` code records, an end record).
std::vector<std::uint8_t> MakeFirmwareImage(int major, int minor, int dataRecords = 16);

} // namespace velmar

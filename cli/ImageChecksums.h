#pragma once
// The checksums a production label carries for an image: the 16-bit byte sum
// the window's Check Sum button shows, a 16-bit sum of little-endian words,
// CRC-16/CCITT-FALSE, CRC-32 and SHA-1; and the same over the image less
// some address ranges (a part's serial number), so that one number names the
// image whatever serial each part carries.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "buffer/AddressWindow.h"

namespace velmar::cli {

// 16-bit sum of the bytes, as ComputeChecksumValue sums buffer positions.
std::uint16_t ByteSum16(const std::uint8_t* data, std::size_t size);
// 16-bit sum of little-endian words: byte 2k low, byte 2k+1 high; an odd
// last byte counts as a word of its own with a zero high byte.
std::uint16_t WordSum16(const std::uint8_t* data, std::size_t size);
// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, not reflected, no
// final xor ("123456789" gives 0x29B1).
std::uint16_t Crc16CcittFalse(const std::uint8_t* data, std::size_t size);

struct ChecksumSet {
    long bytes = 0;
    std::uint16_t byteSum = 0;
    std::uint16_t wordSum = 0;
    std::uint16_t crc16 = 0;
    std::uint32_t crc32 = 0;
    std::string sha1; // 40 lower-case hex digits
};

ChecksumSet ChecksumsOf(const std::vector<std::uint8_t>& bytes);

struct AddressSpan {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

// The checksums of one range of device addresses (or, without a device, of
// a file's data), and of the same range less `excluded`.
struct ImageChecksums {
    std::int32_t first = 0, last = 0; // the range summed
    ChecksumSet all;
    std::vector<AddressSpan> excluded; // as given, in the order given
    std::optional<ChecksumSet> less;   // the bytes outside `excluded`, in address order
    // The window's Check Sum caption when it differs from all.byteSum: it sums
    // buffer positions DeviceStart..DeviceEnd, not shifted by the buffer start.
    std::optional<std::uint16_t> windowByteSum;
};

// `bytes` are addresses first, first+1, ...; every excluded span must lie
// inside the range (see ExcludeProblem).
ImageChecksums ChecksumsOfRange(std::int32_t first, const std::vector<std::uint8_t>& bytes,
                                const std::vector<AddressSpan>& excluded);

// The device's range as the window maps it: its bytes from the buffer start,
// cut where the buffer ends.
std::vector<std::uint8_t> WindowBytes(const DataBuffer& buffer, const AddressWindow& window);

// The checksums of those bytes, with the window's own Check Sum noted when
// it differs.
ImageChecksums ChecksumsOfWindow(const DataBuffer& buffer, const AddressWindow& window,
                                 const std::vector<AddressSpan>& excluded = {});

// --exclude ADDR-ADDR: hexadecimal, the first not above the last; the
// problem with `text`, or "".
std::string ParseExclude(const std::string& text, AddressSpan& span);
// An excluded span not wholly inside first..last; "" when all are.
std::string ExcludeProblem(const std::vector<AddressSpan>& excluded, std::int32_t first,
                           std::int32_t last);

// The lines sum prints, each ending in a line end.
std::string ChecksumText(const ImageChecksums& sums);

// The "checksums" object of --json.
nlohmann::ordered_json ChecksumsJson(const ImageChecksums& sums);

} // namespace velmar::cli

#pragma once
// The identity of a dump as ROM archives list it: byte count, CRC-32 (the
// zlib/PKZIP polynomial) and SHA-1, in lower-case hexadecimal.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace velmar::cli {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);
std::array<std::uint8_t, 20> Sha1(const std::uint8_t* data, std::size_t size);

// The same in lower-case hexadecimal: 8 and 40 digits.
std::string Crc32Text(const std::uint8_t* data, std::size_t size);
std::string Sha1Text(const std::uint8_t* data, std::size_t size);

// "32768 bytes  CRC-32 1a2b3c4d  SHA-1 <40 hex digits>"
std::string IdentityLine(const std::uint8_t* data, std::size_t size);

} // namespace velmar::cli

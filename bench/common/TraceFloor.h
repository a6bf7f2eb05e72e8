#pragma once
// The floor of a run on the virtual programmer with its timing model on: the
// time the model makes unavoidable for the packets the host wrote, taken
// from the run's packet trace. Per packet: its bytes on the wire (64 us per
// 62-byte USB packet), and for an awaited one the firmware's work (2 us per
// byte read, the programming time of every byte that leaves the erased
// value, 1 ms per pulse) and the reply on the wire, whose short tail the
// bridge holds for its latency timer (2 ms, as the search sets it). The
// host's required sleeps are added by the caller. The constants are those of
// virtual/VirtualProgrammer.cpp and virtual/ProgrammerFirmware.cpp; the
// programming times are the device catalogue's.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "devices/DeviceCatalogue.h"

namespace velmar::bench {

constexpr long kUsbPayload = 62;
constexpr long kUsbPacketMicros = 64;
constexpr long kReadMicrosPerByte = 2;
constexpr long kPulseMicros = 1000;
constexpr long kLatencyMicros = 2000;

inline long WireMicros(long bytes) {
    return (bytes + kUsbPayload - 1) / kUsbPayload * kUsbPacketMicros;
}

// A reply: its whole USB packets at once, a short tail after the latency.
inline long ReplyMicros(long bytes) {
    const long full = bytes / kUsbPayload * kUsbPayload;
    long t = WireMicros(full);
    if (full < bytes) t += kLatencyMicros + WireMicros(bytes - full);
    return t;
}

// Programming time per byte, as the catalogue gives it to the virtual firmware.
inline long ProgramMicrosPerByte(int family) {
    return CapabilitiesOf(family).ProgramMicrosPerByte;
}

// `image` holds the device bytes the run programmed, by address.
inline long TraceFloorMicros(const std::vector<std::string>& trace,
                             const std::vector<std::uint8_t>& image, int family,
                             std::uint8_t erased = 0xFF) {
    long total = 0;
    for (const std::string& line : trace) {
        std::istringstream in(line);
        std::vector<unsigned> p;
        long extra = 0;
        for (std::string word; in >> word;) {
            if (word[0] == '+')
                extra = std::stol(word.substr(1));
            else
                p.push_back(static_cast<unsigned>(std::stoul(word, nullptr, 16)));
        }
        if (p.size() < 8) continue;
        total += WireMicros(8 + extra);
        const bool awaited = extra > 0 ? (p[0] == 0x41 || extra == 66)
                                       : ((p[0] < 0x80 && p[0] != 0x52) || p[0] == 0xAA);
        if (!awaited) continue;
        long reply = 8;
        if (p[0] == 0x32) {
            const long count = static_cast<long>(p[5] << 8 | p[6]);
            total += kReadMicrosPerByte * count;
            reply += count;
        } else if (p[0] == 0x41) {
            const std::size_t at = p[2] | p[3] << 8;
            for (std::size_t i = at; i < at + 256 && i < image.size(); ++i)
                if (image[i] != erased) total += ProgramMicrosPerByte(family);
        } else if (p[0] == 0x48) {
            total += kPulseMicros;
        }
        total += ReplyMicros(reply);
    }
    return total;
}

// The images the benchmarks program: a 4 KiB program at the start of the
// part, the rest left erased, as a typical part is used. The verify runs
// read the whole part either way.
inline std::vector<std::uint8_t> BenchImage(std::size_t size, unsigned seed) {
    std::vector<std::uint8_t> image(size, 0xFF);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size && i < 4096; ++i) {
        x = x * 1664525u + 1013904223u;
        image[i] = static_cast<std::uint8_t>(x >> 24);
    }
    return image;
}

} // namespace velmar::bench

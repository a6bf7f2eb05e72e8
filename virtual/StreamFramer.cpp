#include "StreamFramer.h"

#include <cstdio>

#include "FirmwareImage.h"

namespace velmar {

namespace {
constexpr std::size_t kHead = 8;
constexpr std::size_t kBlock = kHead + 256;
constexpr std::uint8_t kProgramBlock = 0x41;
constexpr std::uint8_t kSetLatches = 0x92;

bool KnownCommand(std::uint8_t code) {
    switch (code) {
    case 0x24:
    case 0x32:
    case 0x41:
    case 0x48:
    case 0x52:
    case 0x56:
    case 0x90:
    case 0x92:
    case 0x94:
    case 0xAA:
        return true;
    default:
        return false;
    }
}

bool SumMatches(const std::uint8_t* p) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 7; ++i)
        sum += p[i];
    return static_cast<std::uint8_t>(sum & 0xFF) == p[7];
}
} // namespace

long StreamFramer::PacketLength(const std::uint8_t* p, std::size_t n) const {
    if (n == 0) return -1;
    const std::uint8_t code = p[0];
    if (code == kFirmwareRecordMarker) return static_cast<long>(kFirmwareRecordSize);
    if (!KnownCommand(code)) return 0;
    if (n < kHead) return -1;
    if (!SumMatches(p)) return 0;
    if (code == kProgramBlock) return static_cast<long>(kBlock);
    if (code == kSetLatches && afterBlock_) return static_cast<long>(kBlock);
    return static_cast<long>(kHead);
}

std::vector<std::vector<std::uint8_t>> StreamFramer::Push(const std::uint8_t* bytes,
                                                          std::size_t count) {
    held_.insert(held_.end(), bytes, bytes + count);
    std::vector<std::vector<std::uint8_t>> packets;
    std::size_t at = 0; // consumed from held_
    for (;;) {
        const long length = PacketLength(held_.data() + at, held_.size() - at);
        if (length < 0) break;
        if (length == 0) {
            char line[64];
            std::snprintf(line, sizeof line, "garbage byte %02X at stream offset %llu skipped",
                          held_[at], position_);
            faults_.push_back(line);
            ++at;
            ++position_;
            continue;
        }
        if (held_.size() - at < static_cast<std::size_t>(length)) break;
        const auto begin = held_.begin() + static_cast<long>(at);
        packets.emplace_back(begin, begin + length);
        afterBlock_ = held_[at] == kProgramBlock;
        at += static_cast<std::size_t>(length);
        position_ += static_cast<unsigned long long>(length);
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<long>(at));
    return packets;
}

void StreamFramer::Reset() {
    held_.clear();
    afterBlock_ = false;
}

} // namespace velmar

#pragma once
// Packet boundaries in the plain byte stream the programmer's controller
// reads from its USB bridge: the host's writes are not kept apart there, so
// the firmware finds each packet from its own first bytes. The rules are the
// model's assumption about the firmware (virtual/OPTIONS.md, "Behind a
// socket"):
//   - 0x3A starts a 74-byte firmware record (no command has that code);
//   - 0x41 (ProgramBlock) is its 8-byte head and 256 data bytes;
//   - 0x92 (SetLatches) straight after a ProgramBlock is the head and the
//     256 bytes the host's block loop leaves behind it; the firmware acts on
//     the head and skips the rest;
//   - every other known command is 8 bytes;
//   - a head whose code is unknown or whose byte 7 is not the sum of bytes
//     0 to 6 is no packet start: its first byte is skipped as garbage and the
//     search goes on at the next byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmar {

class StreamFramer {
  public:
    // Takes the bytes as they arrived and returns the packets now whole, in
    // order, each with the stale tail it carried.
    std::vector<std::vector<std::uint8_t>> Push(const std::uint8_t* bytes, std::size_t count);
    // Bytes held for a packet that is not whole yet.
    std::size_t Pending() const { return held_.size(); }
    // One line per byte skipped as garbage (with its position in the stream).
    const std::vector<std::string>& Faults() const { return faults_; }
    // A new connection or a programmer powered up afresh: nothing held.
    void Reset();

  private:
    // The length of the packet that starts at p (n bytes there), 0 when p[0]
    // cannot start one, or -1 while too few bytes are there to tell.
    long PacketLength(const std::uint8_t* p, std::size_t n) const;

    std::vector<std::uint8_t> held_;
    std::vector<std::string> faults_;
    bool afterBlock_ = false;
    unsigned long long position_ = 0; // stream offset of held_[0]
};

} // namespace velmar

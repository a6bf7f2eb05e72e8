#pragma once
// The virtual programmer as its controller sees the bridge: a plain byte
// stream in, a byte stream of replies out, no write boundaries. The packets
// are found by StreamFramer and handed one by one to the process's
// VirtualProgrammer, so the firmware, chip, options, trace and faults are
// the ones every other test uses.

#include <cstdint>
#include <string>
#include <vector>

#include "StreamFramer.h"
#include "VirtualOptions.h"
#include "link/D2XXApi.h"

namespace velmar {

class StreamProgrammer {
  public:
    // Resets the virtual programmer with `options` and opens its port.
    // False (with the reason) when it would not open.
    bool Start(const VirtualOptions& options, std::string& error);

    // The cable is pulled when the host's ReadBlock or ProgramBlock for this
    // device address arrives: that packet is never answered (a ProgramBlock
    // never reaches the chip) and the programmer powers up afresh, its chip
    // kept. -1: never.
    long PullAt = -1;
    // Set once the pull happened; the caller says so and takes the bridge
    // away.
    bool Pulled() const { return pulled_; }

    // Takes the bytes as they came from the bridge; returns the reply bytes
    // ready now.
    std::vector<std::uint8_t> Take(const std::uint8_t* bytes, std::size_t count);
    // Reply bytes that became ready since (the timing model's replies come
    // later than their packet).
    std::vector<std::uint8_t> Ready();
    // A new connection: a partial packet of the old one is dropped.
    void Reconnect() { framer_.Reset(); }

    const StreamFramer& Framer() const { return framer_; }

  private:
    bool Open(std::string& error);
    bool IsPullPoint(const std::vector<std::uint8_t>& packet, bool handled) const;
    void PowerUpAfresh();

    VirtualOptions options_;
    StreamFramer framer_;
    FT_HANDLE port_ = nullptr;
    bool pulled_ = false;
};

} // namespace velmar

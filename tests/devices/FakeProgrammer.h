#pragma once
// A plain stand-in for the programmer behind a D2XX table: it records every
// packet whole and answers the awaited commands from a flat 64K image, with
// no model of parts, lines or timing, so a test sees exactly what the host
// sent and stored. Faults come from the virtual programmer (see
// ProgrammerFaultsTest.cpp).

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "buffer/HexText.h"
#include "devices/ProgramState.h"
#include "tests/support/RecordingPanel.h"

namespace velmar::test {

class FakeProgrammer {
  public:
    FakeProgrammer();
    ~FakeProgrammer();

    static const D2XXBackend& Backend();

    std::vector<std::vector<std::uint8_t>> packets; // every write, whole
    std::vector<std::uint8_t> chip;                  // device bytes by address
    std::deque<std::uint8_t> queue;                  // reply bytes visible to the host

    // One line per packet, as the trace format writes it.
    std::vector<std::string> Trace() const;
    std::vector<std::string> TraceOf(std::uint8_t command) const;
    int Count(std::uint8_t command) const;

    // The address a 875X SetLatches packet puts on the lines.
    static std::int32_t LatchedAddress(const std::vector<std::uint8_t>& p);

  private:
    friend struct FakeCalls;
    void Received(const std::uint8_t* data, DWORD count);
    std::int32_t lastLatched_ = 0;
    // The 874X byte-wise programming latches.
    std::int32_t latchAddress_ = 0;
    std::uint8_t latchData_ = 0;
    bool dataPhase_ = false;
};

// A ProgramState wired to a fake programmer and a recording panel, with the
// link up and sleeps recorded instead of slept.
struct Rig {
    FakeProgrammer fake;
    RecordingPanel panel;
    std::unique_ptr<ProgramState> state;
    std::vector<int> sleeps;

    Rig();
    ProgramState& S() { return *state; }
    // Applies catalogue row `row` the way the device list does (its prompt
    // answered), then forgets what that sent and showed.
    void Select(int row);
    void Forget();
    int SleptMs() const;
};

std::string HexLine(const std::uint8_t* bytes, std::size_t count);

} // namespace velmar::test

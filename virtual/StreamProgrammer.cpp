#include "StreamProgrammer.h"

#include "VirtualProgrammer.h"

namespace velmar {

namespace {
constexpr std::uint8_t kReadBlock = 0x32;
constexpr std::uint8_t kProgramBlock = 0x41;
} // namespace

bool StreamProgrammer::Start(const VirtualOptions& options, std::string& error) {
    options_ = options;
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    programmer.Reset(options_);
    if (!options_.ChipFile.empty() && !programmer.ChipFileProblem().empty()) {
        error = "chip=" + programmer.ChipFileProblem();
        return false;
    }
    return Open(error);
}

bool StreamProgrammer::Open(std::string& error) {
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    std::string serial = options_.Serial;
    if (programmer.OpenEx(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &port_) != FT_OK) {
        error = "the virtual programmer would not open";
        return false;
    }
    // The bridge in front of it keeps its own latency timer; the model's
    // one is made as short as it goes.
    programmer.SetLatencyTimer(port_, 2);
    programmer.SetTimeouts(port_, 1, 1);
    return true;
}

// A ProgramBlock names its address; a ReadBlock's address is where the
// firmware started reading, known once it has handled it.
bool StreamProgrammer::IsPullPoint(const std::vector<std::uint8_t>& packet, bool handled) const {
    if (PullAt < 0 || pulled_ || packet.size() < 8) return false;
    if (!handled && packet[0] == kProgramBlock) return (packet[2] | (packet[3] << 8)) == PullAt;
    if (handled && packet[0] == kReadBlock)
        return VirtualProgrammer::Instance().LastReadAddress() == PullAt;
    return false;
}

// The programmer lost its power: the chip keeps what it was given, the
// firmware starts again with its latches cleared and nothing owed.
void StreamProgrammer::PowerUpAfresh() {
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    programmer.Finish();
    // The part stays in the socket as the pulses left it.
    VirtualOptions again = options_;
    again.ChipFile.clear();
    const int family = programmer.ChipFamily();
    const std::vector<std::uint8_t> chip = programmer.Chip();
    const std::uint8_t locks = programmer.LockBits();
    programmer.Reset(again);
    if (family != 0) {
        programmer.SeatChip(family, static_cast<std::uint32_t>(chip.size()));
        programmer.Chip() = chip;
        programmer.SetLockBits(locks);
    }
    std::string error;
    Open(error);
    framer_.Reset();
    pulled_ = true;
}

std::vector<std::uint8_t> StreamProgrammer::Take(const std::uint8_t* bytes, std::size_t count) {
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    std::vector<std::uint8_t> out;
    for (std::vector<std::uint8_t>& packet : framer_.Push(bytes, count)) {
        // What came with the pulled packet is lost with the power.
        if (IsPullPoint(packet, false)) {
            PowerUpAfresh();
            break;
        }
        DWORD written = 0;
        programmer.Write(port_, packet.data(), static_cast<DWORD>(packet.size()), &written);
        if (IsPullPoint(packet, true)) {
            // Its reply too.
            Ready();
            PowerUpAfresh();
            break;
        }
        const std::vector<std::uint8_t> reply = Ready();
        out.insert(out.end(), reply.begin(), reply.end());
    }
    return out;
}

std::vector<std::uint8_t> StreamProgrammer::Ready() {
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    DWORD queued = 0;
    if (programmer.GetQueueStatus(port_, &queued) != FT_OK || queued == 0) return {};
    std::vector<std::uint8_t> bytes(queued);
    DWORD read = 0;
    programmer.Read(port_, bytes.data(), queued, &read);
    bytes.resize(read);
    return bytes;
}

} // namespace velmar

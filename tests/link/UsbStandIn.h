#pragma once
// A libusb-1.0 stand-in linked into the libftdi1 backend's test executable.
// The executable exports the libusb_* functions, so libftdi1's calls land
// here instead of in the real library. It plays FT245-style bridges: control
// requests are recorded and answered, bulk-out data goes to a scripted
// firmware, and bulk-in returns 64-byte packets that each start with the
// bridge's two status bytes.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace velmar::test {

struct ControlRequest {
    std::uint8_t requestType;
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
};

struct StandInDevice {
    std::uint16_t vendorId = 0x0403;
    std::uint16_t productId = 0x6001;
    std::uint16_t bcdDevice = 0x0600; // FT232R / FT245R
    std::string serial = "BP000001";
    std::string description = "USB <-> Parallel FIFO";
    int latencyMs = 16;
    bool unplugged = false;
    int opens = 0; // handles currently open

    // What the host wrote, every bulk-out transfer appended.
    std::vector<std::uint8_t> received;
    std::vector<ControlRequest> controls;
    // Called with each bulk-out transfer; answers through Reply().
    std::function<void(StandInDevice&, const std::uint8_t*, int)> firmware;

    // Queues reply bytes that become readable after `delayMs`.
    void Reply(const std::vector<std::uint8_t>& bytes, int delayMs = 0);

    struct Pending {
        std::chrono::steady_clock::time_point due;
        std::uint8_t byte;
    };
    std::deque<Pending> pending; // device to host, in order
    int bulkInCalls = 0;
    int statusOnlyPackets = 0;
};

// The bus: a fresh one per test case.
struct StandInBus {
    std::deque<StandInDevice> devices;
    int liveContexts = 0;
    int liveHandles = 0;
    int liveConfigDescriptors = 0;
    int liveDeviceRefs = 0;
};

StandInBus& Bus();
void ResetBus();

} // namespace velmar::test

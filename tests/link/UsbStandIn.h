#pragma once
// A libusb-1.0 stand-in linked into the libftdi1 backend's test executable.
// The executable exports the libusb_* functions, so libftdi1's calls land
// here instead of in the real library. It plays FTDI bridges as the chips
// behave: control requests are recorded and answered, bulk-out data goes to
// a scripted firmware, and bulk-in returns packets that each start with the
// bridge's two status bytes. A short reply is held until the latency timer
// expires; an idle bridge sends status-only packets at that pace.

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velmar::test {

struct ControlRequest {
    std::uint8_t requestType;
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
    unsigned timeoutMs = 0; // 0: the caller would wait for ever
};

// The next bulk-in transfer delivers `afterBytes` data bytes, then ends with
// `error` (a libusb error code: LIBUSB_ERROR_TIMEOUT, LIBUSB_ERROR_IO, ...).
struct InFault {
    int afterBytes = 0;
    int error = 0;
};

struct StandInDevice {
    std::uint16_t vendorId = 0x0403;
    std::uint16_t productId = 0x6001;
    std::uint16_t bcdDevice = 0x0600; // FT232R / FT245R
    std::string serial = "BP000001";
    std::string description = "USB <-> Parallel FIFO";
    std::uint8_t serialIndex = 3; // 0: the descriptor names no serial string
    int latencyMs = 16;
    bool unplugged = false;
    int opens = 0; // handles currently open

    // --- access ---------------------------------------------------------
    bool accessDenied = false;     // open answers LIBUSB_ERROR_ACCESS
    bool claimedElsewhere = false; // claim answers LIBUSB_ERROR_BUSY
    // A kernel driver (ftdi_sio) bound to each interface.
    std::array<bool, 4> kernelDriver{};
    int driverDetaches = 0;
    int driverAttaches = 0;
    std::array<bool, 4> claimed{}; // by a handle of this process

    // --- faults ---------------------------------------------------------
    std::optional<InFault> inFault;
    bool controlsWedged = false; // control requests never answer
    int unlimitedControls = 0;   // wedged control requests sent without a limit

    // What the host wrote, every bulk-out transfer appended.
    std::vector<std::uint8_t> received;
    std::vector<unsigned> writeTimeouts; // of each bulk-out transfer
    std::vector<ControlRequest> controls;
    // Called with each bulk-out transfer; answers through Reply().
    std::function<void(StandInDevice&, const std::uint8_t*, int)> firmware;
    // Called with each control request after it is recorded.
    std::function<void(StandInDevice&, const ControlRequest&)> onControl;
    // Called before the bridge looks at what it holds for the host, so a
    // firmware model with its own clock can hand over what it has ready.
    std::function<void(StandInDevice&)> pump;
    // When that model next has something ready (time_point::max(): never).
    std::function<std::chrono::steady_clock::time_point()> nextEvent;

    // Queues reply bytes that reach the bridge's buffer after `delayMs`.
    void Reply(const std::vector<std::uint8_t>& bytes, int delayMs = 0);

    // 512 on the high-speed chips (FT2232H, FT4232H, FT232H), else 64.
    int PacketSize() const;
    // Interfaces (channels) of the chip: 2 on 0403:6010, 4 on 0403:6011.
    int Channels() const;

    struct Pending {
        std::chrono::steady_clock::time_point due;
        std::uint8_t byte;
    };
    std::deque<Pending> pending;                        // device to host, in order
    std::chrono::steady_clock::time_point lastPacket{}; // the latency timer runs from here
    int bulkInCalls = 0;                                // synchronous bulk-in transfers
    int inSubmits = 0;                                  // asynchronous bulk-in transfers submitted
    int statusOnlyPackets = 0;
    std::vector<int> claimedInterfaces; // every claim, in order
    std::vector<int> stringReads;       // descriptor index of every string fetched
    int lastInEndpoint = 0;             // of the last bulk-in transfer
    int lastOutEndpoint = 0;            // of the last bulk-out transfer
};

// The bus: a fresh one per test case.
struct StandInBus {
    // Every call that real libusb forbids or would misbehave on: a device,
    // handle or transfer used after its context's libusb_exit, a context
    // ended with handles open or transfers pending, a handle closed twice or
    // used after its close, a pending transfer freed. Door tests require it
    // empty.
    std::vector<std::string> faults;
    std::deque<StandInDevice> devices;
    int liveContexts = 0;
    int liveHandles = 0;
    int liveConfigDescriptors = 0;
    int liveDeviceRefs = 0;
    int liveTransfers = 0;
    // Event handling that had to wait (for a transfer to end or its time).
    int blockingWaits = 0;
};

StandInBus& Bus();
void ResetBus();

} // namespace velmar::test

#pragma once
// Command packets to the programmer's firmware: framing, checksum, the send
// routine and the reply wait that keeps the window alive.

#include <chrono>
#include <cstdint>
#include <functional>

#include "D2XXUnit.h"
#include "buffer/AddressWindow.h"
#include "buffer/FrontPanel.h"

namespace velmar {

// Device address and buffer position of the next byte of a transfer, and the
// stop counter (0 running, 1 end reached, 5 stopped or timed out).
struct TransferState {
    std::int32_t DeviceAddress = 0;
    std::int32_t BufferIndex = 0;
    std::int32_t StopFlag = 0;
};

enum : std::uint8_t {
    IdleCommand = 0x24,
    ReadBlock = 0x32,
    ProgramBlock = 0x41,
    PulseCommand = 0x48,
    FlashExit = 0x52,
    VersionQuery = 0x56,
    SetVpp = 0x90,
    SetLatches = 0x92,
    WriteLatchCommand = 0x94,
    FlashChecksumQuery = 0xAA,
};

class CommandLink {
  public:
    CommandLink(D2XXUnit& d2xx, FrontPanel& panel, AddressWindow& window, TransferState& transfer)
        : d2xx_(d2xx), panel_(panel), window_(window), transfer_(transfer) {}

    // The first eight bytes of TxBuffer.
    std::uint8_t* CommandPacket() { return d2xx_.TxBuffer.data(); }
    static std::uint8_t PacketChecksum(const std::uint8_t* packet);

    void SendPacket();
    void AwaitReply();
    // Waits as AwaitReply does, then keeps reading (pumping events, within
    // the reply limit) until `count` bytes have arrived at the start of
    // ReplyBuffer. Returns the number of bytes that arrived; fewer than
    // `count` means the reply stayed short, timed out or was stopped.
    DWORD AwaitReplyBytes(DWORD count);
    void WriteLatch(std::uint8_t select, int value);
    void SendIdle();
    void Timer1Timer();

    // Plain sleeps of the device sequences go through here so tests can
    // record them instead of waiting.
    void Sleep(int milliseconds);

    int LinkState = 0;
    int PacketLength = 8;
    std::uint8_t TimeoutFlag = 0;
    bool Timer1Enabled = false;

    // The reply limit; 8000 in the product, tests may shorten it.
    int ReplyTimeoutMs = 8000;
    // Replaces the real sleep when set (tests, virtual time).
    std::function<void(int)> Sleeper;

  private:
    D2XXUnit& d2xx_;
    FrontPanel& panel_;
    AddressWindow& window_;
    TransferState& transfer_;
    std::chrono::steady_clock::time_point timerDeadline_{};
};

} // namespace velmar

#include "CommandLink.h"

#include <algorithm>
#include <string>
#include <thread>

namespace velmar {

namespace {
// Between two turns of a reply wait: short enough that the window and the
// reply are handled at once, long enough that the wait does not spin a core.
constexpr auto kTurnPause = std::chrono::microseconds(800);

const char* const kWriteTimeout = "USB Device Write TimeOut ...";
} // namespace

std::uint8_t CommandLink::PacketChecksum(const std::uint8_t* packet) {
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += packet[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

void CommandLink::SendPacket() {
    if (LinkState <= 0) return;
    std::uint8_t* packet = CommandPacket();
    packet[7] = PacketChecksum(packet);
    const DWORD length = static_cast<DWORD>(PacketLength);
    if (d2xx_.WriteTxBuffer(length) != length) panel_.InsertReportLine(kWriteTimeout);
    if (packet[0] < 0x80) AwaitReply();
}

void CommandLink::Timer1Timer() {
    transfer_.StopFlag = 5;
    TimeoutFlag = 5;
    Timer1Enabled = false;
}

// One turn of the wait: pump, let the timer fire, ask the queue. Returns
// false when the wait has failed (the failure is already reported).
static bool WaitTurn(CommandLink& link, D2XXUnit& d2xx, FrontPanel& panel,
                     std::chrono::steady_clock::time_point deadline) {
    panel.PumpEvents();
    if (link.Timer1Enabled && std::chrono::steady_clock::now() >= deadline) link.Timer1Timer();
    const FT_STATUS status = d2xx.GetRxQueueStatus();
    if (status != FT_OK || link.TimeoutFlag > 0) {
        d2xx.ReplyBuffer[6] = 0x55;
        link.Timer1Enabled = false;
        panel.InsertDiagnosticLine("Device no longer present ... PortStatus-" +
                                   std::to_string(status) + " USB-" +
                                   std::to_string(link.TimeoutFlag));
        return false;
    }
    return true;
}

void CommandLink::AwaitReply() {
    Timer1Enabled = true;
    timerDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
    TimeoutFlag = 0;
    for (;;) {
        if (!WaitTurn(*this, d2xx_, panel_, timerDeadline_)) return;
        if (d2xx_.RxQueueCount > 0 || transfer_.StopFlag > 0) break;
        std::this_thread::sleep_for(kTurnPause);
    }
    Timer1Enabled = false;
    d2xx_.ReadRxBuffer(kTransferBufferSize);
}

DWORD CommandLink::AwaitReplyBytes(DWORD count) {
    count = std::min<DWORD>(count, kTransferBufferSize);
    Timer1Enabled = true;
    timerDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ReplyTimeoutMs);
    TimeoutFlag = 0;
    DWORD got = 0;
    for (;;) {
        if (!WaitTurn(*this, d2xx_, panel_, timerDeadline_)) return got;
        if (d2xx_.RxQueueCount > 0) {
            // Only what is queued, so the read never blocks on its time-out.
            const DWORD want = std::min<DWORD>(d2xx_.RxQueueCount, count - got);
            got += d2xx_.ReadRxBuffer(want, got);
            if (got >= count) break;
            continue;
        }
        if (transfer_.StopFlag > 0) break;
        std::this_thread::sleep_for(kTurnPause);
    }
    Timer1Enabled = false;
    return got;
}

void CommandLink::WriteLatch(std::uint8_t select, int value) {
    std::uint8_t* packet = CommandPacket();
    packet[0] = WriteLatchCommand;
    packet[1] = select;
    packet[2] = static_cast<std::uint8_t>(value & 0xFF);
    SendPacket();
}

void CommandLink::SendIdle() {
    if (LinkState == 2) {
        CommandPacket()[0] = IdleCommand;
        SendPacket();
    }
    transfer_.DeviceAddress = window_.DeviceStart;
    transfer_.BufferIndex = window_.BufferStart;
    transfer_.StopFlag = 0;
}

void CommandLink::Sleep(int milliseconds) {
    if (Sleeper) {
        Sleeper(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace velmar

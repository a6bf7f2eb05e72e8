#include "CommandLink.h"

#include <algorithm>
#include <string>
#include <thread>

namespace velmar {

namespace {
// Between two turns of a reply wait: short enough that the window and the
// reply are handled at once, long enough that the wait does not spin a core.
constexpr auto kTurnPause = std::chrono::microseconds(800);

// Every reply starts with an 8-byte head (echo, status in byte 6, checksum);
// an acknowledgement is that head alone.
constexpr DWORD kReplyHead = 8;
// Stale bytes are dropped into the upper half of ReplyBuffer, far above any
// reply, so the last reply stays readable.
constexpr DWORD kDropArea = kTransferBufferSize / 2;
// A queue that keeps filling while it is drained is not drained for good.
constexpr int kDrainReads = 64;

const char* const kWriteTimeout = "USB Device Write TimeOut ...";
} // namespace

std::uint8_t CommandLink::PacketChecksum(const std::uint8_t* packet) {
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += packet[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

DWORD CommandLink::SendPacket() {
    if (!IsOpen()) return 0;
    std::uint8_t* packet = CommandPacket();
    packet[7] = PacketChecksum(packet);
    const bool awaited = packet[0] < 0x80;
    WriteRequest(static_cast<DWORD>(PacketLength), awaited, kWriteTimeout);
    return awaited ? AwaitReply() : 0;
}

DWORD CommandLink::WriteRequest(DWORD length, bool awaited, std::string_view timeoutLine) {
    // A bridge that is gone gets nothing more; the request fails as unsent.
    if (Gone()) {
        ++LinkFaults;
        return 0;
    }
    // Nothing queued before the request is written can be its reply.
    if (awaited && ReplyOwed) DropStaleReply();
    const unsigned failedBefore = d2xx_.FailedCalls;
    const DWORD written = d2xx_.WriteTxBuffer(length);
    // A write that failed because the bridge went away did not time out.
    if (written != length && !Gone()) panel_->ReportLine(timeoutLine);
    if (written != length || d2xx_.FailedCalls != failedBefore) ++LinkFaults;
    return written;
}

std::string LinkLostLine(std::uint32_t status, int timeouts) {
    return "Device no longer present ... PortStatus-" + std::to_string(status) + " USB-" +
           std::to_string(timeouts);
}

void CommandLink::ReplyLimitPassed() {
    transfer_.StopFlag = TransferStop::Stopped;
    TimeoutFlag = 5;
    ReplyTimerRunning = false;
}

// One turn of the wait: pump, let the timer fire, ask the queue. Returns
// false when the wait has failed (the failure is already reported).
static bool WaitTurn(CommandLink& link, D2XXUnit& d2xx, FrontPanel& panel,
                     std::chrono::steady_clock::time_point deadline) {
    panel.PumpEvents();
    if (link.ReplyTimerRunning && std::chrono::steady_clock::now() >= deadline)
        link.ReplyLimitPassed();
    const FT_STATUS status = d2xx.GetRxQueueStatus();
    if (status != FT_OK || link.TimeoutFlag > 0) {
        d2xx.ReplyBuffer[6] = 0x55;
        link.ReplyTimerRunning = false;
        if (d2xx.Gone) d2xx.LossShown = true;
        panel.LinkLost(static_cast<std::uint32_t>(status), link.TimeoutFlag);
        return false;
    }
    return true;
}

DWORD CommandLink::AwaitReply() {
    return AwaitReplyBytes(kReplyHead);
}

DWORD CommandLink::AwaitReplyBytes(DWORD count, int workMs) {
    count = std::min<DWORD>(count, kTransferBufferSize);
    if (Gone()) {
        // The reply that cannot come is the lost link's, said once: here
        // when a write or read found the bridge gone before any wait did.
        ++LinkFaults;
        d2xx_.ReplyBuffer[6] = 0x55;
        if (!d2xx_.LossShown) {
            d2xx_.LossShown = true;
            panel_->LinkLost(static_cast<std::uint32_t>(d2xx_.GoneStatus), 0);
        }
        return 0;
    }
    ReplyTimerRunning = true;
    timerDeadline_ = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(ReplyTimeoutMs + std::max(workMs, 0));
    TimeoutFlag = 0;
    DWORD got = 0;
    bool surplus = false;
    bool stopped = false;
    for (;;) {
        if (!WaitTurn(*this, d2xx_, *panel_, timerDeadline_)) break;
        if (d2xx_.RxQueueCount > 0) {
            // Only what is queued, so the read never blocks on its time-out.
            const DWORD queued = d2xx_.RxQueueCount;
            const DWORD want = std::min<DWORD>(queued, count - got);
            const unsigned failedBefore = d2xx_.FailedCalls;
            const DWORD n = d2xx_.ReadRxBuffer(want, got);
            got += n;
            if (n == 0 || d2xx_.FailedCalls != failedBefore) {
                // A failed read, or bytes the driver listed and cannot give:
                // never a whole reply.
                got = std::min(got, count - 1);
                d2xx_.ReplyBuffer[6] = 0x55;
                break;
            }
            if (got >= count) {
                surplus = queued > want;
                break;
            }
            continue;
        }
        if (transfer_.Ended()) {
            stopped = true;
            break;
        }
        std::this_thread::sleep_for(kTurnPause);
    }
    ReplyTimerRunning = false;
    if (got < count) {
        ++LinkFaults;
        ReplyOwed = true;
        // The programmer does not break off its work because the host
        // stopped waiting: its answer still comes, up to the work's limit.
        owedBytes_ = stopped && workMs > 0 ? count - got : 0;
        owedUntil_ = timerDeadline_;
    } else if (surplus) {
        // What follows a complete reply is not the next reply's start.
        const DWORD extra = DrainQueued(count);
        ++LinkFaults;
        panel_->DiagnosticLine(DiagnosticOf::Link,
                               "Reply longer than awaited ... Extra-" + std::to_string(extra));
    }
    return got;
}

DWORD CommandLink::DrainQueued(DWORD offset) {
    DWORD total = 0;
    DWORD at = offset;
    for (int i = 0; i < kDrainReads; ++i) {
        if (d2xx_.GetRxQueueStatus() != FT_OK) {
            ++LinkFaults;
            break;
        }
        if (d2xx_.RxQueueCount == 0) break;
        if (at >= kTransferBufferSize) at = kDropArea;
        const DWORD n =
            d2xx_.ReadRxBuffer(std::min<DWORD>(d2xx_.RxQueueCount, kTransferBufferSize - at), at);
        if (n == 0) {
            ++LinkFaults;
            break;
        }
        total += n;
        at += n;
    }
    return total;
}

// The rest of a reply whose wait gave up (time-out, Quit, a short reply)
// may arrive any time later; it is dropped before the next request instead
// of being read as that request's reply.
void CommandLink::DropStaleReply() {
    if (owedBytes_ > 0) AwaitOwedReply();
    const DWORD dropped = DrainQueued(kDropArea);
    if (dropped > 0)
        panel_->DiagnosticLine(DiagnosticOf::Link,
                               "Late reply dropped ... Bytes-" + std::to_string(dropped));
}

// Until the answer to the work it is still doing is queued: a request
// written before that would get the old answer first. The window stays alive
// and Quit ends this wait as any other.
void CommandLink::AwaitOwedReply() {
    const DWORD owed = owedBytes_;
    owedBytes_ = 0;
    while (std::chrono::steady_clock::now() < owedUntil_ && !transfer_.Ended()) {
        panel_->PumpEvents();
        if (d2xx_.GetRxQueueStatus() != FT_OK || d2xx_.RxQueueCount >= owed) return;
        std::this_thread::sleep_for(kTurnPause);
    }
}

void CommandLink::WriteLatch(std::uint8_t select, int value) {
    std::uint8_t* packet = CommandPacket();
    packet[0] = WriteLatchCommand;
    packet[1] = select;
    packet[2] = static_cast<std::uint8_t>(value & 0xFF);
    SendPacket();
}

void CommandLink::SendIdle() {
    if (Answered() && !Gone()) {
        // Its reply is awaited in full: the end of a run or a stop that came
        // before the idle command does not cut its wait short.
        ClearStopFlag();
        CommandPacket()[0] = IdleCommand;
        SendPacket();
    }
    transfer_.DeviceAddress = window_.DeviceStart;
    transfer_.BufferIndex = window_.BufferStart;
    ClearStopFlag();
}

void CommandLink::Sleep(int milliseconds) {
    if (Sleeper) {
        Sleeper(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace velmar

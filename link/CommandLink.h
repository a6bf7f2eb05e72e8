#pragma once
// Command packets to the programmer's firmware: framing, checksum, the send
// routine and the reply wait that keeps the window alive.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "D2XXUnit.h"
#include "buffer/AddressWindow.h"
#include "buffer/FrontPanel.h"

namespace velmar {

// Whether a transfer goes on: running, its last address handled, or stopped
// before that (Quit, a reply wait that gave up, a block the part refused).
enum class TransferStop : std::int32_t { Running = 0, EndReached = 1, Stopped = 5 };

// Device address and buffer position of the next byte of a transfer, and
// whether it goes on.
struct TransferState {
    std::int32_t DeviceAddress = 0;
    std::int32_t BufferIndex = 0;
    TransferStop StopFlag = TransferStop::Running;
    // The start of the block the running operation is at (-1 before its
    // first): where a lost programmer is said to have gone.
    std::int32_t Block = -1;

    bool Ended() const { return StopFlag != TransferStop::Running; }
    // The last address was handled; a stop already asked for stays a stop.
    void ReachEnd() {
        if (StopFlag == TransferStop::Running) StopFlag = TransferStop::EndReached;
    }
};

// How far the search got: no bridge open, a bridge open that gave no valid
// answer, or the programmer answered. Only an open bridge is written to;
// only an answering programmer gets the idle command.
enum class LinkState { Closed = 0, Opened = 1, Answered = 2 };

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

// The diagnostic line of a reply wait that found the programmer gone.
std::string LinkLostLine(std::uint32_t status, int timeouts);

class CommandLink {
  public:
    // Reporting to the panel attached to `panel` whenever it reports, or to
    // one fixed panel.
    CommandLink(D2XXUnit& d2xx, PanelSlot& panel, AddressWindow& window, TransferState& transfer)
        : d2xx_(d2xx), panel_(panel), window_(window), transfer_(transfer) {}
    CommandLink(D2XXUnit& d2xx, FrontPanel& panel, AddressWindow& window, TransferState& transfer)
        : d2xx_(d2xx), ownPanel_(panel), panel_(ownPanel_), window_(window), transfer_(transfer) {}

    // The first eight bytes of TxBuffer.
    std::uint8_t* CommandPacket() { return d2xx_.TxBuffer.data(); }
    static std::uint8_t PacketChecksum(const std::uint8_t* packet);

    // Writes the packet and, for codes below 0x80, awaits its reply. Returns
    // the reply bytes that arrived (0 when none is awaited or nothing sent).
    DWORD SendPacket();
    // Writes the first `length` bytes of TxBuffer. Before a request whose
    // reply will be awaited, bytes still owed by an earlier reply are dropped
    // first. A short write is a report line and counted as a link fault.
    DWORD WriteRequest(DWORD length, bool awaited, std::string_view timeoutLine);
    // The acknowledgement every command below 0x80 gets: its 8 counted bytes.
    DWORD AwaitReply();
    // Waits, pumping events, until `count` bytes have arrived at the start of
    // ReplyBuffer, StopFlag is up or the reply limit passes. Returns the
    // number that arrived; fewer than `count` means the reply stayed short,
    // timed out or was stopped, and counts as a link fault. Bytes queued
    // beyond `count` are drained into ReplyBuffer after the reply and
    // counted as a link fault too, so no later wait takes them as its own.
    // `workMs` is the longest the programmer may work on the request before
    // it answers (a program block); it is added to the reply limit, and a
    // wait stopped before that answer leaves it owed: the next request first
    // waits for it, until that limit, and drops it.
    DWORD AwaitReplyBytes(DWORD count, int workMs = 0);
    void WriteLatch(std::uint8_t select, int value);
    void SendIdle();
    // Waits that begin afresh (a search, an operation frame) are not ended by
    // what a file load's end record or an earlier stop left in StopFlag.
    void ClearStopFlag() { transfer_.StopFlag = TransferStop::Running; }
    // Quit: the running wait, and the run it belongs to, end at their next look.
    void RequestStop() { transfer_.StopFlag = TransferStop::Stopped; }
    // The reply limit passed: the wait ends as timed out.
    void ReplyLimitPassed();

    // Plain sleeps of the device sequences go through here so tests can
    // record them instead of waiting.
    void Sleep(int milliseconds);

    velmar::LinkState LinkState = velmar::LinkState::Closed;
    bool IsOpen() const { return LinkState != velmar::LinkState::Closed; }
    bool Answered() const { return LinkState == velmar::LinkState::Answered; }
    // The bridge was unplugged: nothing more is written to it or awaited.
    bool Gone() const { return d2xx_.Gone; }
    int PacketLength = 8;
    // Every failed write, unanswered or short wait, failed read or reply
    // longer than awaited since the program started. An operation that sees
    // it grow between its frame's start and end has failed.
    unsigned LinkFaults = 0;
    // LinkFaults as the open operation frame began (set by BeginOperation).
    unsigned FrameFaultMark = 0;
    // A wait ended before its reply was complete: what is still to come
    // belongs to that reply, not to the next request.
    bool ReplyOwed = false;
    std::uint8_t TimeoutFlag = 0;
    bool ReplyTimerRunning = false;

    // The reply limit; 8000 in the product, tests may shorten it. A wait for
    // work the programmer does first gets that work's time on top.
    int ReplyTimeoutMs = 8000;
    // Replaces the real sleep when set (tests, virtual time).
    std::function<void(int)> Sleeper;

  private:
    // Reads whatever is queued now into ReplyBuffer from `offset` (what would
    // not fit is read and dropped). Returns the number of bytes read.
    DWORD DrainQueued(DWORD offset);
    void DropStaleReply();
    void AwaitOwedReply();

    D2XXUnit& d2xx_;
    PanelSlot ownPanel_;
    PanelSlot& panel_;
    AddressWindow& window_;
    TransferState& transfer_;
    std::chrono::steady_clock::time_point timerDeadline_{};
    // What a stopped wait for work still expects, and until when (0: nothing
    // is worth waiting for, only what is queued is dropped).
    DWORD owedBytes_ = 0;
    std::chrono::steady_clock::time_point owedUntil_{};
};

} // namespace velmar

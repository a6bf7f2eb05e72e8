#pragma once
// The virtual programmer: the Brindle Programmer's firmware, its socket and
// the chip in it, behind the D2XX calls. One process-wide instance, because
// the D2XX table is plain C function pointers. Tests reset it per case,
// preset and read back the chip, inject faults and read the packet trace.
//
// Single-threaded like the host: every call comes from the thread that runs
// the operations.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/D2XXApi.h"
#include "virtual/VirtualOptions.h"

namespace velmar {

class VirtualProgrammer {
  public:
    static VirtualProgrammer& Instance();
    ~VirtualProgrammer();

    // Fresh firmware, chip, latches, queues, counters and trace. Open handles
    // become invalid. Loads options.ChipFile when given.
    void Reset(const VirtualOptions& options = VirtualOptions());
    const VirtualOptions& Options() const;
    // Writes the chip to SaveChipFile (and the state directory) now; also run
    // at FT_Close, after each idle command and at process exit.
    void Finish();

    // ---- the chip in the socket ----
    // Seats a fresh erased chip (family 1..6, size 0 = DefaultChipSize).
    void SeatChip(int family, std::uint32_t size = 0);
    // The part in the socket leaves it (written to save-parts) and a fresh
    // erased one of the same type takes its place, its chip faults as
    // configured. A part seated while the programming voltage is on is damaged: its
    // cells take no programming, ChipDamage() says why, Faults() gets a line
    // and save-parts a note beside its contents.
    void SwapPart();
    // The parts seated so far, the first one included.
    int PartNumber() const;
    // Whether the socket carries programming voltage now (ProgrammerFirmware::VoltageOn).
    bool ProgrammingVoltageOn() const;
    // How many parts SwapPart seated under programming voltage since Reset.
    int PartsSeatedUnderVoltage() const;
    // Why the part in the socket is damaged; empty for a sound part.
    const std::string& ChipDamage() const;
    int ChipFamily() const; // 0 while nothing told it
    std::uint32_t ChipSize() const;
    std::uint8_t ErasedValue() const;
    // Contents, one byte per address, ChipSize() bytes; presettable.
    std::vector<std::uint8_t>& Chip();
    const std::vector<std::uint8_t>& Chip() const;
    std::uint8_t LockBits() const;
    void SetLockBits(std::uint8_t bits);
    bool LoadChip(const std::string& path); // binary; sets the size when none is fixed
    // Why the last chip file loaded gave no contents (names the file); empty
    // when it loaded.
    const std::string& ChipFileProblem() const;
    bool SaveChip(const std::string& path) const;

    // ---- firmware ----
    int FirmwareVersion() const; // major * 256 + minor
    void SetFirmwareVersion(int major, int minor);
    // The 16-bit checksum the 0xAA query answers now (see FirmwareImage.h).
    std::uint16_t UpdateChecksum() const;
    int UpdateRecordsReceived() const;

    // The five latches as the host last set them (selects 0x0F, 0x2F, 0x3F,
    // 0x4F, 0x5F); 0 for any other select.
    std::uint8_t Latch(std::uint8_t select) const;
    // The device address the last ReadBlock started at, after folding into
    // the chip; -1 before any.
    long LastReadAddress() const;

    // ---- trace and protocol faults ----
    // One line per packet written: "92 00 00 00 F7 3F B0 78",
    // "41 05 00 00 40 FF 3F C4 +256".
    const std::vector<std::string>& Trace() const;
    // The errno value of the first line the trace file did not take; 0 when
    // every line was written.
    int TraceWriteFailed() const;
    // What the firmware objected to, one line each: a bad checksum byte
    // (packet ignored), an unknown command, a packet of odd length, a read
    // whose lines were not set up, reply bytes of an earlier packet read as
    // the reply to a later one, ... Empty for a faultless host.
    const std::vector<std::string>& Faults() const;
    void ClearTrace(); // trace and faults; the trace file is not truncated
    long PacketCount() const;
    static std::string TraceLine(const std::uint8_t* bytes, std::size_t count);

    // ---- fault injection (as the options of the same names) ----
    void SetDeviceCount(int devices);
    void SetTiming(bool on);
    void SetFailBlock(long address);
    void SetNoReplyFrom(long packet);
    void SetNoReplyAt(long packet);
    void SetLateReply(long packet, int milliseconds);
    void SetSplitReply(long packet, int firstBytes, int pauseMs);
    void SetLongReply(long packet, int extraBytes = 1);
    void SetShortReply(long packet, int missingBytes = 1);
    void SetNoReplyTo(int command);     // -1: every command answered
    void SetSplitEvery(int firstBytes); // 0: off
    void SetShortWrite(long packet);
    void SetUnplugFrom(long packet);
    void Unplug(); // now
    void SetBadUpdate(bool bad);

    // ---- the bridge, as the host set it ----
    int LatencyMs() const;
    unsigned ReadTimeoutMs() const;
    bool IsOpen() const;

    // ---- the D2XX entry points behind VirtualBackend() and the drop-in ----
    FT_STATUS ListDevices(void* arg1, void* arg2, DWORD flags);
    FT_STATUS OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle);
    FT_STATUS Close(FT_HANDLE handle);
    FT_STATUS ResetDevice(FT_HANDLE handle);
    FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs);
    FT_STATUS GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes);
    FT_STATUS Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written);
    FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read);
    FT_STATUS SetLatencyTimer(FT_HANDLE handle, UCHAR milliseconds);

    struct State;

  private:
    VirtualProgrammer();
    std::unique_ptr<State> state_;
};

} // namespace velmar

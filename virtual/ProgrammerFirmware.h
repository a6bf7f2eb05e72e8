#pragma once
// The programmer's firmware: takes one packet as the host wrote it, drives
// the latches and the chip, and says what it answers and how long it works
// before answering.
//
// The five latches are the programmer's output ports. A SetLatches packet
// loads all of them (byte 2 -> 0x4F, 3 -> 0x0F, 4 -> 0x3F, 5 -> 0x5F,
// 6 -> 0x2F), a WriteLatch packet one, SetVpp the two voltage ports 0x5F and
// 0x2F. On the 875X adapter 0x4F carries address bits 0-7, 0x0F bits 8-11 in
// its low nibble, bit 13 in bit 7 and the mode bits 0x40/0x10, 0x3F the
// control lines (bit 1 low selects address bit 12), 0x2F address bit 14 in
// bit 0.

#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "SocketChip.h"

namespace velmar {

struct FirmwareOutcome {
    bool Answered = false;
    std::vector<std::uint8_t> Reply;
    long BusyMicroseconds = 0; // work before the reply (or before the next packet)
};

class ProgrammerFirmware {
  public:
    ProgrammerFirmware(SocketChip& chip, std::vector<std::string>& faults)
        : chip_(chip), faults_(faults) {}

    FirmwareOutcome Handle(const std::uint8_t* packet, std::size_t length);

    // Called with every family code 1..6 a ReadBlock or ProgramBlock names,
    // and with 1 on a byte-wise programming pulse; the socket may seat a part.
    std::function<void(int)> FamilyNamed;

    int VersionMajor = 1;
    int VersionMinor = 23;
    long FailBlock = -1;
    bool BadUpdate = false;
    // Weak cells: the masked bits of an address come out random at each read.
    std::map<std::uint32_t, std::uint8_t> WeakBits;
    std::mt19937 Noise{0x5EED};

    std::uint8_t Latch(std::uint8_t select) const;
    long LastReadAddress() const { return lastRead_; }
    // Programming voltage on the socket (Vpp, and the high voltage on EA the
    // 874X read needs). The firmware drives it from the voltage bytes and
    // the line set-ups: SetVpp, SetLatches and WriteLatch switch it on, as
    // do ReadBlock, ProgramBlock and PulseCommand, which work only under it;
    // the idle command that ends every operation switches it off.
    bool VoltageOn() const { return voltageOn_; }
    std::uint16_t UpdateChecksum() const;
    int RecordsReceived() const { return records_; }

  private:
    FirmwareOutcome Record(const std::uint8_t* p);
    FirmwareOutcome ReadBlock(const std::uint8_t* p);
    FirmwareOutcome ProgramBlock(const std::uint8_t* p);
    FirmwareOutcome Pulse(const std::uint8_t* p);
    FirmwareOutcome ChecksumQuery(const std::uint8_t* p);
    void FlashExit();
    void WriteLatch(std::uint8_t select, std::uint8_t value, long& busy);
    void Fault(const std::string& text) { faults_.push_back(text); }
    std::uint32_t LineAddress(std::uint8_t low) const;
    static FirmwareOutcome Ack(const std::uint8_t* p, std::uint8_t status);

    SocketChip& chip_;
    std::vector<std::string>& faults_;

    std::uint8_t l0F_ = 0, l2F_ = 0, l3F_ = 0, l4F_ = 0, l5F_ = 0;
    long addr874_ = -1; // address latched for byte-wise programming
    long lastRead_ = -1;
    bool voltageOn_ = false;

    // Firmware update in progress.
    int records_ = 0;
    unsigned payloadSum_ = 0;
    bool recordsIntact_ = true;
    bool versionSeen_ = false;
    int newMajor_ = 0, newMinor_ = 0;
    int codeExpected_ = 0, codeReceived_ = 0;
};

} // namespace velmar

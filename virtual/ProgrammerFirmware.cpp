#include "ProgrammerFirmware.h"

#include <cstdio>

#include "FirmwareImage.h"
#include "PacketTrace.h"
#include "devices/DeviceCatalogue.h"

namespace velmar {

namespace {
constexpr long kReadMicrosecondsPerByte = 2;
constexpr long kPulseMicroseconds = 1000;
constexpr long kEraseMicroseconds = 10000;
constexpr std::uint8_t kProgramBlock = 0x41;
constexpr std::uint8_t kSetLatches = 0x92;

std::uint8_t Sum7(const std::uint8_t* p) {
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += p[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string Head(const std::uint8_t* p) {
    return PacketTrace::Line(p, 8);
}

std::string Hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", v & 0xFF);
    return text;
}

std::string Hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", v & 0xFFFF);
    return text;
}

bool Is874X(int family) {
    return family == 1 || family == 2;
}
bool Is875X(int family) {
    return family >= 3 && family <= 6;
}
} // namespace

std::uint8_t ProgrammerFirmware::Latch(std::uint8_t select) const {
    switch (select) {
    case 0x0F:
        return l0F_;
    case 0x2F:
        return l2F_;
    case 0x3F:
        return l3F_;
    case 0x4F:
        return l4F_;
    case 0x5F:
        return l5F_;
    default:
        return 0;
    }
}

std::uint16_t ProgrammerFirmware::UpdateChecksum() const {
    unsigned sum = payloadSum_;
    if (BadUpdate) sum += 1; // a flash that did not take what it was sent
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

FirmwareOutcome ProgrammerFirmware::Ack(const std::uint8_t* p, std::uint8_t status) {
    FirmwareOutcome out;
    out.Answered = true;
    out.Reply.assign(p, p + 8);
    out.Reply[6] = status;
    out.Reply[7] = Sum7(out.Reply.data());
    return out;
}

FirmwareOutcome ProgrammerFirmware::Handle(const std::uint8_t* p, std::size_t length) {
    if (length == kFirmwareRecordSize) return Record(p);
    if (length < 8) {
        Fault("incomplete packet of " + std::to_string(length) + " bytes ignored");
        return {};
    }
    if (p[7] != Sum7(p)) {
        Fault("bad checksum byte " + Hex2(p[7]) + ", expected " + Hex2(Sum7(p)) +
              ": packet ignored (" + Head(p) + ")");
        return {};
    }
    const std::uint8_t code = p[0];
    if (length != 8 && code != kProgramBlock && code != kSetLatches)
        Fault("packet " + Head(p) + " sent as " + std::to_string(length) + " bytes");
    if (code == kProgramBlock && length != 264) {
        Fault("ProgramBlock of " + std::to_string(length) +
              " bytes: the firmware waits for 256 data bytes that never come");
        return {};
    }

    switch (code) {
    case 0x24:
    case 0x32:
    case kProgramBlock:
    case 0x48:
    case 0x90:
    case kSetLatches:
    case 0x94:
        voltageOn_ = code != 0x24;
        break;
    default:
        break; // the version, checksum and flash-exit commands leave the socket as it is
    }

    switch (code) {
    case 0x24: // idle
        return Ack(p, 0);
    case 0x32:
        return ReadBlock(p);
    case kProgramBlock:
        return ProgramBlock(p);
    case 0x48:
        return Pulse(p);
    case 0x52:
        FlashExit();
        return {};
    case 0x56: {
        FirmwareOutcome out = Ack(p, 0);
        out.Reply[1] = static_cast<std::uint8_t>(VersionMajor);
        out.Reply[2] = static_cast<std::uint8_t>(VersionMinor);
        out.Reply[7] = Sum7(out.Reply.data());
        return out;
    }
    case 0x90: // SetVpp: the two voltage ports
        l5F_ = p[1];
        l2F_ = p[2];
        return {};
    case kSetLatches:
        if (p[1] != 0) Fault("SetLatches byte 1 is " + Hex2(p[1]) + " (" + Head(p) + ")");
        l4F_ = p[2];
        l0F_ = p[3];
        l3F_ = p[4];
        l5F_ = p[5];
        l2F_ = p[6];
        return {};
    case 0x94: {
        FirmwareOutcome out;
        WriteLatch(p[1], p[2], out.BusyMicroseconds);
        return out;
    }
    case 0xAA:
        return ChecksumQuery(p);
    default:
        Fault("unknown command " + Hex2(code) + " (" + Head(p) + ")");
        return {};
    }
}

// Address of the 875X lines: low byte as given, the rest from the latches.
std::uint32_t ProgrammerFirmware::LineAddress(std::uint8_t low) const {
    std::uint32_t a = low;
    a |= static_cast<std::uint32_t>(l0F_ & 0x0F) << 8;
    if (!(l3F_ & 0x02)) a |= 1u << 12;
    if (l0F_ & 0x80) a |= 1u << 13;
    if (l2F_ & 0x01) a |= 1u << 14;
    return a;
}

FirmwareOutcome ProgrammerFirmware::ReadBlock(const std::uint8_t* p) {
    const int family = p[1];
    const unsigned count = (static_cast<unsigned>(p[5]) << 8) | p[6];
    if (family >= 1 && family <= 6 && FamilyNamed) FamilyNamed(family);

    FirmwareOutcome out = Ack(p, 0);
    out.Reply.resize(8 + count, 0xFF);
    out.BusyMicroseconds = kReadMicrosecondsPerByte * static_cast<long>(count);

    bool driven = false; // does the part drive the data lines?
    std::uint32_t start = 0;
    if (Is875X(family)) {
        start = LineAddress(p[2]);
        if (p[2] != l4F_)
            Fault("ReadBlock low byte " + Hex2(p[2]) + " differs from the address lines " +
                  Hex2(l4F_));
        if (p[3] != l0F_)
            Fault("ReadBlock high/mode byte " + Hex2(p[3]) + " differs from the lines " +
                  Hex2(l0F_));
        driven = (l0F_ & 0x50) == 0;
        if (!driven) Fault("ReadBlock with the 875X lines in mode " + Hex2(l0F_ & 0x50));
    } else if (Is874X(family)) {
        // The 874X set-up carries no address: the firmware counts from the
        // low byte of the packet with the high lines at zero.
        start = p[2];
        driven = l0F_ == 0xA8 && l3F_ == 0xB0;
        if (!driven)
            Fault("ReadBlock on the 874X adapter without its read set-up (lines " + Hex2(l0F_) +
                  " " + Hex2(l3F_) + ")");
    } else if (family != 0) {
        Fault("ReadBlock for unknown family " + std::to_string(family));
    }
    // Family 0: no algorithm chosen, nothing drives the bus: all 0xFF.

    if (driven && family != chip_.Family() && chip_.Family() != 0)
        Fault("ReadBlock for family " + std::to_string(family) + " on a family " +
              std::to_string(chip_.Family()) + " part");
    if (driven) {
        lastRead_ = chip_.Fold(start);
        for (unsigned i = 0; i < count; ++i)
            out.Reply[8 + i] = chip_.Read((start + i) & 0xFFFF);
        for (const auto& [address, mask] : WeakBits)
            if (address >= start && address < start + count)
                out.Reply[8 + (address - start)] ^= static_cast<std::uint8_t>(Noise() & mask);
    }
    return out;
}

FirmwareOutcome ProgrammerFirmware::ProgramBlock(const std::uint8_t* p) {
    const int family = p[1];
    const std::uint32_t address = p[2] | (static_cast<std::uint32_t>(p[3]) << 8);
    const std::uint8_t* data = p + 8;
    if (family >= 1 && family <= 6 && FamilyNamed) FamilyNamed(family);

    bool ready = true;
    if (family == 1 || family == 0 || family > 6) {
        Fault("ProgramBlock for family " + std::to_string(family) + ": no block algorithm");
        ready = false;
    } else if (Is875X(family)) {
        if ((p[4] & 0x50) != 0x40) {
            Fault("ProgramBlock at " + Hex4(address) + " with mode byte " + Hex2(p[4]) +
                  ": not in program mode");
            ready = false;
        }
        const std::uint8_t high = static_cast<std::uint8_t>(address >> 8);
        const bool lines = (p[4] & 0x0F) == (high & 0x0F) &&
                           ((p[4] & 0x80) != 0) == ((high & 0x20) != 0) &&
                           ((p[5] & 0x02) == 0) == ((high & 0x10) != 0);
        if (!lines)
            Fault("ProgramBlock at " + Hex4(address) + ": mode byte " + Hex2(p[4]) +
                  " / control byte " + Hex2(p[5]) + " do not encode the address");
        if (LineAddress(l4F_) != (address & 0x7FFF))
            Fault("ProgramBlock at " + Hex4(address) + " while the address lines hold " +
                  Hex4(LineAddress(l4F_)));
    } else if (l0F_ != 0xA8) {
        Fault("ProgramBlock on the 874X adapter without its set-up (lines " + Hex2(l0F_) + ")");
        ready = false;
    }
    if (ready && chip_.Family() != 0 && family != chip_.Family())
        Fault("ProgramBlock for family " + std::to_string(family) + " on a family " +
              std::to_string(chip_.Family()) + " part");

    bool good = ready;
    long pulses = 0;
    if (ready) {
        // The part's own programming time, as the host's wait allows for it.
        const long perByte = CapabilitiesOf(family).ProgramMicrosPerByte;
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t a = (address + i) & 0xFFFF;
            if (FailBlock >= 0 && static_cast<long>(a) == FailBlock) {
                good = false; // the injected bad cell: the firmware gives up here
                break;
            }
            if (data[i] != chip_.Erased()) pulses += perByte;
            if (!chip_.Program(a, data[i])) good = false;
        }
    }
    FirmwareOutcome out = Ack(p, good ? 0x00 : 0xFF);
    out.BusyMicroseconds = pulses;
    return out;
}

// The lock-bit pulse. Each kind of security sequence leaves its own line
// pattern: families 3-5 the mode/control pair of the chosen bit, family 6
// mode 0x10, control 0xBE and the bit's value on latch 0x4F.
FirmwareOutcome ProgrammerFirmware::Pulse(const std::uint8_t* p) {
    FirmwareOutcome out = Ack(p, 0);
    out.BusyMicroseconds = kPulseMicroseconds;
    const std::uint8_t mode = l0F_ & 0xD0;
    int bit = 0;
    int kind = 0; // 6: the 89Sxx sequence, 3: the 875X/89Cxx one
    if (mode == 0x10 && l3F_ == 0xBE && (l4F_ == 0x7F || l4F_ == 0xBF || l4F_ == 0xDF)) {
        kind = 6;
        bit = l4F_ == 0x7F ? 1 : l4F_ == 0xBF ? 2 : 3;
    } else if (mode == 0x50 && l3F_ == 0xBF) {
        kind = 3, bit = 1;
    } else if (mode == 0x50 && l3F_ == 0xBA) {
        kind = 3, bit = 2;
    } else if (mode == 0x10 && l3F_ == 0xBE && l4F_ == 0x00) {
        kind = 3, bit = 3;
    }
    if (bit == 0) {
        Fault("PulseCommand with lines " + Hex2(l4F_) + " " + Hex2(l0F_) + " " + Hex2(l3F_) +
              ": no lock bit selected");
        return out;
    }
    const int family = chip_.Family();
    const bool fits = family == 0 || (kind == 6 ? family == 6 : family >= 3 && family <= 5);
    if (!fits) {
        Fault("lock bit " + std::to_string(bit) + " sequence of the wrong kind for a family " +
              std::to_string(family) + " part");
        return out;
    }
    chip_.SetLocks(static_cast<std::uint8_t>(chip_.Locks() | (1u << (bit - 1))));
    chip_.Dirty = true;
    return out;
}

void ProgrammerFirmware::WriteLatch(std::uint8_t select, std::uint8_t value, long& busy) {
    switch (select) {
    case 0x0F:
        l0F_ = value;
        return;
    case 0x4F:
        l4F_ = value;
        return;
    case 0x2F: {
        // 874X: the rising edge of bit 4 latches the address from the data
        // port and the high lines.
        if ((value & 0x10) && !(l2F_ & 0x10))
            addr874_ = static_cast<long>(((value & 0x0F) << 8) | l4F_);
        l2F_ = value;
        return;
    }
    case 0x3F: {
        const bool falling = (l3F_ & 0x80) && !(value & 0x80);
        l3F_ = value;
        // Flash chip erase: the PROG line pulsed low in erase mode.
        if (falling && (l0F_ & 0xD0) == 0x10 && value == 0x3A) {
            if (chip_.Family() != 0 && !chip_.IsFlash()) {
                Fault("erase pulse on a family " + std::to_string(chip_.Family()) +
                      " EPROM: nothing erased");
                return;
            }
            chip_.Erase();
            busy = kEraseMicroseconds;
        }
        return;
    }
    case 0x5F: {
        // 874X byte programming: Vpp on (bit 3 low) and the pulse on bit 1.
        const bool pulseStart = (l5F_ & 0x02) && !(value & 0x02);
        l5F_ = value;
        if (!pulseStart) return;
        if (value & 0x08) {
            Fault("874X programming pulse without Vpp (latch 5F " + Hex2(value) + ")");
            return;
        }
        if (l0F_ != 0x28 || l3F_ != 0x90 || !(l2F_ & 0x10) || addr874_ < 0) {
            Fault("874X programming pulse with lines " + Hex2(l0F_) + " " + Hex2(l3F_) + " " +
                  Hex2(l2F_) + ": nothing programmed");
            return;
        }
        if (FamilyNamed && chip_.Family() == 0) FamilyNamed(1);
        if (chip_.Family() != 0 && !Is874X(chip_.Family())) {
            Fault("874X programming pulse on a family " + std::to_string(chip_.Family()) + " part");
            return;
        }
        // The host times the pulse; a cell that cannot take the value shows
        // in the verify that follows.
        chip_.Program(static_cast<std::uint32_t>(addr874_), l4F_);
        return;
    }
    default:
        Fault("WriteLatch to unknown latch " + Hex2(select));
        return;
    }
}

FirmwareOutcome ProgrammerFirmware::Record(const std::uint8_t* p) {
    FirmwareOutcome out = Ack(p, 0);
    out.BusyMicroseconds = 2000; // a flash page write
    ++records_;
    if (p[7] != Sum7(p)) {
        Fault("firmware record " + std::to_string(records_) + " with a bad checksum byte: dropped");
        recordsIntact_ = false;
        out.Reply[6] = 0xFF;
        return out;
    }
    payloadSum_ += FirmwarePayloadSum(p);
    const std::uint8_t* payload = p + kFirmwarePayloadOffset;
    if (p[1] == FirmwareVersionRecord && payload[0] == 'V' && payload[1] == 'E' &&
        payload[2] == 'R') {
        versionSeen_ = true;
        newMajor_ = payload[3];
        newMinor_ = payload[4];
        codeExpected_ = (payload[5] << 8) | payload[6];
    } else if (p[1] == FirmwareCodeRecord) {
        ++codeReceived_;
    }
    return out;
}

FirmwareOutcome ProgrammerFirmware::ChecksumQuery(const std::uint8_t* p) {
    if (p[1] != 0x43) Fault("checksum query with byte 1 = " + Hex2(p[1]));
    FirmwareOutcome out = Ack(p, 0);
    const std::uint16_t sum = UpdateChecksum();
    out.Reply[2] = static_cast<std::uint8_t>(sum >> 8);
    out.Reply[3] = static_cast<std::uint8_t>(sum & 0xFF);
    out.Reply[7] = Sum7(out.Reply.data());
    return out;
}

// Leaving update mode: the new image runs when it arrived whole.
void ProgrammerFirmware::FlashExit() {
    if (records_ > 0) {
        const bool whole = recordsIntact_ && versionSeen_ && codeReceived_ == codeExpected_;
        if (!whole) Fault("flash exit after an incomplete update: the old firmware stays");
        if (whole && !BadUpdate) {
            VersionMajor = newMajor_;
            VersionMinor = newMinor_;
        }
    }
    records_ = 0;
    payloadSum_ = 0;
    recordsIntact_ = true;
    versionSeen_ = false;
    codeExpected_ = codeReceived_ = 0;
}

} // namespace velmar

#pragma once
// The settings of the virtual programmer: the programmer and chip it plays,
// its timing and the faults it injects. Parsed from a comma-separated
// `key=value` list (velmar-cli --virtual=..., the drop-in library's options
// file); every key is described in virtual/OPTIONS.md.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SocketFaults.h"

namespace velmar {

struct VirtualOptions {
    // Firmware version answered to the version query.
    int FirmwareMajor = 1;
    int FirmwareMinor = 23;

    // D2XX devices attached: 0, 1 (the programmer) or 2 (the programmer and a
    // second, silent FTDI device).
    int Devices = 1;
    std::string Serial = "BP123001";
    std::string Description = "Brindle Programmer";

    // Timing model (USB transfer, latency timer, programming time).
    bool Timing = false;
    int LatencyMs = 16; // the bridge's latency timer at open

    // The chip in the socket. Family 0: taken from the first ReadBlock or
    // ProgramBlock that names a family 1..6. Size 0: from the chip file, else
    // the largest part of the family.
    int Family = 0;
    std::uint32_t Size = 0;
    bool PartChosen() const { return Family != 0; }
    std::uint8_t LockBits = 0; // bit 0 = lock bit 1, bit 1 = lock bit 2, bit 2 = lock bit 3
    std::string ChipFile;      // initial contents, binary
    std::string SaveChipFile;  // contents written at close / end
    std::string StateDir;      // per-family chip files kept between runs (drop-in default)

    std::string TraceFile; // one line per packet, appended as written

    // Fault injection; packets are counted from 1 in the order written.
    long FailBlock = -1;  // device address whose ProgramBlock fails
    long NoReplyFrom = 0; // no reply to this packet and every later one
    long NoReplyAt = 0;   // no reply to this packet only
    long LateReplyAt = 0; // reply to this packet held back LateMs
    int LateMs = 200;
    long SplitReplyAt = 0; // reply to this packet split: SplitBytes, pause SplitMs, rest
    int SplitBytes = 8;
    int SplitMs = 100;
    long LongReplyAt = 0; // reply to this packet carries LongBytes bytes too many
    int LongBytes = 1;
    long ShortReplyAt = 0; // reply to this packet lacks its last ShortBytes bytes
    int ShortBytes = 1;
    int NoReplyTo = -1;     // command code whose packets are never answered
    int SplitEvery = 0;     // every reply: this many bytes, the rest at the next queue query
    long ShortWriteAt = 0;  // this write takes only half its bytes
    long UnplugFrom = 0;    // unplugged right after this packet was written
    bool BadUpdate = false; // the firmware update's checksum comes out wrong

    // weak-bits=ADDR:MASK;...: the masked bits of ADDR read as random.
    std::vector<std::pair<std::uint32_t, std::uint8_t>> WeakBits;
    // stuck-data, open-address, no-chip, reversed, under-erased, weak-cells.
    SocketFaults Socket;
    // programmers=N: answering programmers, serials BP123001, BP123002, ...
    int Programmers = 1;

    // swap=on: velmar-cli's repeated runs take out the part and seat a
    // fresh erased one before each part after the first, with the chip
    // faults above applied to it anew.
    bool Swap = false;
    // save-parts=DIR: every part, as it leaves the socket and at the end,
    // written to DIR/part-N.bin (N from 1).
    std::string SavePartsDir;
};

// Parses `key=value,key=value...` on top of what `options` already holds.
// Returns false with a one-line reason in `error` on an unknown key or a bad
// value; `options` may then be partly updated.
bool ParseVirtualOptions(std::string_view text, VirtualOptions& options, std::string& error);

// What the drop-in library plays without an options file: firmware 1.23,
// timing on, chips kept in $XDG_STATE_HOME/velmar (or ~/.local/state/velmar);
// on Windows in %LOCALAPPDATA%\velmar.
VirtualOptions DropInDefaultOptions();

} // namespace velmar

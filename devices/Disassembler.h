#pragma once
// An MCS-48 or MCS-51 listing of a code image: the flow is followed from the
// reset and interrupt vectors, so that bytes no jump reaches list as DB, and
// every jump or call target gets a label line.

#include <cstdint>
#include <string>
#include <vector>

#include "DeviceCatalogue.h"

namespace velmar {

// One decoded instruction (or data byte, when Mnemonic is "DB").
struct Instruction {
    std::int32_t Address = 0;
    std::vector<std::uint8_t> Bytes;
    std::string Mnemonic;
    std::string Operands;
    std::vector<std::int32_t> Targets; // where a jump or call goes
};

// The instruction at `address` of `image` (byte i at address i), as written
// in the usual assembler syntax: "LJMP 0100h", "MOV A,#12h".
Instruction Decode(Cpu cpu, const std::vector<std::uint8_t>& image, std::int32_t address);

struct Listing {
    std::vector<std::string> Lines;
    std::vector<std::int32_t> LineAddress; // the address each line lists
};

// The lines for `from`..`to` (inclusive) of `image`, with the code the
// vectors reach decoded and the rest as DB; runs of one value are folded
// into one line.
Listing ListCode(Cpu cpu, const std::vector<std::uint8_t>& image, std::int32_t from,
                 std::int32_t to);

// The address the flow starts from and the interrupt vectors.
std::vector<std::int32_t> EntryPoints(Cpu cpu);

} // namespace velmar

#pragma once
// One row per opcode of an instruction set: mnemonic, operand pattern,
// length and what the instruction does to the flow of control.
//
// Operand patterns name where each operand comes from: `#1` / `#2` an
// immediate byte from byte 1 / 2, `#W` an immediate word from bytes 1-2, `d1`
// / `d2` a direct address, `b1` a bit address (`/b1` its complement), `r1` /
// `r2` a relative jump, `a11` an MCS-51 absolute jump in the 2K page of the
// next instruction, `a16` a long address, `p8` an MCS-48 jump within the page
// of byte 1, `p11` an MCS-48 jump or call in the current 2K bank. Anything
// else is written as it stands.

#include <array>
#include <cstdint>

namespace velmar {

enum class Flow : std::uint8_t {
    Next,     // goes on with the next instruction
    Jump,     // goes to its target only
    Branch,   // goes to its target or on
    Call,     // goes to its target and comes back
    Return,   // leaves: RET, RETI, RETR
    Indirect, // goes where a register says: nothing to follow
};

struct OpcodeRow {
    const char* Mnemonic; // nullptr: no instruction has this opcode
    const char* Operands;
    std::uint8_t Length;
    velmar::Flow Flow;
};

using OpcodeTable = std::array<OpcodeRow, 256>;

const OpcodeTable& Mcs51Opcodes();
const OpcodeTable& Mcs48Opcodes();

} // namespace velmar

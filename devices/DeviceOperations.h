#pragma once
// The device operations of Tasks.h: each one opens and closes its operation
// frame, writes its banner sentence and, for verify and blank check, every
// differing byte.

#include <cstdint>
#include <string>

#include "AccessSequences.h"
#include "ProgramState.h"
#include "Tasks.h"

namespace velmar {

// "01A3  EXPECTED-5C FOUND-FF"
std::string DifferenceLine(std::int32_t address, std::uint8_t expected, std::uint8_t found);

// The window's two steps of a security bit: the operation opened as the
// choice of bits is offered, then row k of that choice (0..2 program bit
// k+1, anything else cancels) taken, the choice put away and the operation
// ended. velmar-cli runs tasks::ProgramLockBit instead.
void OfferLockBits(ProgramState& state);
OperationResult TakeLockBitChoice(ProgramState& state, int k);

} // namespace velmar

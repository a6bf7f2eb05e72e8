#pragma once
// The device operations behind the buttons: each one opens and closes its
// operation frame, writes its banner sentence and, for verify and blank
// check, every differing byte.

#include <cstdint>
#include <string>

#include "AccessSequences.h"
#include "ProgramState.h"

namespace velmar {

// "01A3  EXPECTED-5C FOUND-FF"
std::string DifferenceLine(std::int32_t address, std::uint8_t expected, std::uint8_t found);

// The verify run itself (also run after programming with automatic verify).
void VerifyDevice(ProgramState& state);

void VerifyClick(ProgramState& state);
void Blank_ChkClick(ProgramState& state);
void Move_EpromClick(ProgramState& state);
void CompareClick(ProgramState& state);
// With a filter, only the blocks it wants are programmed (the verify still
// covers the whole range).
void ProgrammClick(ProgramState& state, const BlockFilter& wanted = {});
// Toggles automatic verify and its caption; not an operation.
void Auto_VerifyClick(ProgramState& state);
void Erase_ButClick(ProgramState& state);
// Opens the operation and shows Security_List.
void SecurityClick(ProgramState& state);
// Row k of Security_List: 0..2 program bit k+1, 3 Cancel. Hides the list and
// ends the operation that SecurityClick opened.
void Security_ListClick(ProgramState& state, int k);

} // namespace velmar

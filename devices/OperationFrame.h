#pragma once
// The busy state every operation runs in.

#include <string>
#include <string_view>

#include "ProgramState.h"
#include "Tasks.h"

namespace velmar {

// Marks where the frame's link faults start (Link.FrameFaultMark), sends the
// idle command and enters the busy state.
void BeginOperation(ProgramState& state);
// Sends the idle command while still busy, then leaves the busy state and
// gives the outcome from FailFlag; returns it, with where the operation
// stopped and the link faults since BeginOperation.
OperationResult EndOperation(ProgramState& state);
// EndOperation for an operation on the device: when the programmer link
// failed anywhere since `faultMark` (the closing idle's reply included), an
// operation that still counts as a success fails with `failure` as its
// sentence, before the outcome is given. `success`, when given, is said only
// then, once the closing idle's reply has shown the link whole.
OperationResult EndDeviceOperation(ProgramState& state, unsigned faultMark,
                                   std::string_view failure, std::string_view success = {});
// The sentence for a programmer unplugged inside the running operation: the
// block it was at and what the part now holds.
std::string UnpluggedSentence(const ProgramState& state);
// True when a write, a wait or a read of the link failed since `faultMark`.
bool LinkFailedSince(const ProgramState& state, unsigned faultMark);

// Clamps the address window, reports the new window, and ends the operation
// frame.
void ClampWindow(ProgramState& state);
// Sums DeviceStart..DeviceEnd and reports the sum.
void ComputeChecksum(ProgramState& state);

} // namespace velmar

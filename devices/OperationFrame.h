#pragma once
// The busy state every operation runs in.

#include "ProgramState.h"

namespace velmar {

void BeginOperation(ProgramState& state);
void EndOperation(ProgramState& state);

// Clamps the address window, rewrites the four address captions, and ends the
// operation frame.
void ClampWindow(ProgramState& state);
// Sums DeviceStart..DeviceEnd and shows it on Chk_Sum_But.
void ComputeChecksum(ProgramState& state);

} // namespace velmar

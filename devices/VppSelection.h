#pragma once
// The programming voltage: the setting index, its two control bytes, the
// Vpp_But caption and the SetVpp packet.

#include "ProgramState.h"

namespace velmar {

// Turns VppSetting into VppCtl1/VppCtl2, shows it on Vpp_But and sends SetVpp.
// Does nothing at all unless the programmer answered (LinkState 2).
void ApplyVpp(ProgramState& state);

// The Vpp_But click: the 874X parts (and no device yet) step 1 -> 2 -> 3 -> 1;
// every family then re-applies the setting.
void Vpp_ButClick(ProgramState& state);

} // namespace velmar

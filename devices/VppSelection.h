#pragma once
// The programming voltage: the setting index, its two control bytes, its
// name and the SetVpp packet.

#include <string_view>

#include "ProgramState.h"

namespace velmar {

// Turns the selection's Vpp setting into VppCtl1/VppCtl2, reports the setting
// and sends SetVpp. Does nothing at all unless the programmer answered.
void ApplyVpp(ProgramState& state);

// The voltage a setting names ("12.5", "12/3"); empty for one without a name.
std::string_view VppVolts(int setting);

// The Vpp_But click: the 874X parts (and no device yet) step 1 -> 2 -> 3 -> 1;
// every family then re-applies the setting.
void Vpp_ButClick(ProgramState& state);

} // namespace velmar

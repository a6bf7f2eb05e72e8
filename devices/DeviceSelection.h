#pragma once
// Applying a row of the device list: caption, address range, voltage, family,
// read block size, erased value, the offered buttons and the adapter prompt.

#include "ProgramState.h"

namespace velmar {

// Reads Selection.SelectedRow and sets everything that follows from it, shows
// the row's adapter prompt, applies the voltage and ends with ClampWindow
// (which also ends the operation frame).
void ApplyDeviceSelection(ProgramState& state);

// The action of the header and blank rows.
void NoDeviceSelected(ProgramState& state);

// The Device button: opens the operation and shows Device_Box.
void DeviceClick(ProgramState& state);
// A click on Device_Box row `row` (-1: no item): hides the list, applies the
// row and ends the operation.
void Device_BoxClick(ProgramState& state, int row);

} // namespace velmar

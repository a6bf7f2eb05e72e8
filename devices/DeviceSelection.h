#pragma once
// Choosing a row of the device list: caption, address range, voltage, the
// offered buttons and the adapter prompt, all from the row itself.

#include "ProgramState.h"

namespace velmar {

// What a selection came to.
enum class RowKind {
    Device,      // a catalogue device
    NoDevice,    // a header or blank row: "No Device Was Selected."
    OutsideList, // no row of the list: only the defaults were applied
};

struct DeviceSelected {
    RowKind Kind;
    const CatalogueRow& Row; // what the selection now asks
    AddressWindow Window;    // the address window as the selection clamped it
};

// Makes `row` the selection and sets everything that follows from it, shows
// the row's adapter prompt, applies the voltage and ends with ClampWindow
// (which also ends the operation frame).
DeviceSelected SelectDevice(ProgramState& state, int row);

// The action of the header and blank rows.
void NoDeviceSelected(ProgramState& state);

} // namespace velmar

#include "DeviceSelection.h"

#include "DeviceCatalogue.h"
#include "OperationFrame.h"
#include "VppSelection.h"

namespace velmar {

namespace {

// The jumper boxes are about the 874X adapter; the 875X adapter's box has
// no text of its own.
void ShowPrompt(ProgramState& state, AdapterPrompt prompt) {
    switch (prompt) {
    case AdapterPrompt::None: return;
    case AdapterPrompt::JumperInstall:
        state.Panel->ShowMessage(BoxKind::Information,
                                 "Besure to install the JUMPER on the adapter board....",
                                 BoxAbout::Adapter874X);
        return;
    case AdapterPrompt::JumperRemove:
        state.Panel->ShowMessage(BoxKind::Information,
                                 "Besure to Remove the JUMPER on the adapter board....",
                                 BoxAbout::Adapter874X);
        return;
    case AdapterPrompt::Adapter875X:
        state.Panel->ShowMessage(BoxKind::Information, "", BoxAbout::Adapter875X);
        return;
    }
}

} // namespace

void NoDeviceSelected(ProgramState& state) {
    state.Window.DeviceEnd = 0xFFFFF;
    state.Selection.HasDevice = false;
    state.Panel->DeviceChanged(kNoDevice);
    state.Panel->ShowMessage(BoxKind::Information, "No Device Was Selected.");
}

DeviceSelected SelectDevice(ProgramState& state, int rowIndex) {
    DeviceSelection& sel = state.Selection;
    AddressWindow& window = state.Window;
    sel.SelectedRow = rowIndex;
    sel.ChosenVpp.reset();
    window.DeviceStart = 0;
    sel.Row = &NoDeviceRow();

    // A row outside the table keeps the caption and DeviceEnd it had.
    RowKind kind = RowKind::OutsideList;
    if (rowIndex >= 0 && rowIndex < kCatalogueRows) {
        const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(rowIndex)];
        if (row.IsDevice) {
            kind = RowKind::Device;
            sel.HasDevice = true;
            sel.Row = &row;
            state.Panel->DeviceChanged(rowIndex);
            window.DeviceEnd = row.DeviceEnd;
            ShowPrompt(state, row.Prompt);
        } else {
            kind = RowKind::NoDevice;
            NoDeviceSelected(state);
        }
    }

    const FamilyCapabilities& can = sel.Can();
    window.DeviceLimit = can.FoldLimit ? can.FoldLimit : window.DeviceEnd;
    state.Panel->DeviceCommands(can.LockBits > 0, can.CanErase);

    ApplyVpp(state);
    ClampWindow(state);
    return {kind, *sel.Row, window};
}

} // namespace velmar

#include "DeviceSelection.h"

#include "DeviceCatalogue.h"
#include "OperationFrame.h"
#include "VppSelection.h"

namespace velmar {

namespace {

// The adapter figure stays up while the box is open.
void ShowPrompt(ProgramState& state, AdapterPrompt prompt) {
    AdapterFigure figure = AdapterFigure::Adapter874X;
    std::string_view text;
    ScreenPoint at{595, 250};
    switch (prompt) {
    case AdapterPrompt::None: return;
    case AdapterPrompt::JumperInstall:
        text = "Besure to install the JUMPER on the adapter board....";
        break;
    case AdapterPrompt::JumperRemove:
        text = "Besure to Remove the JUMPER on the adapter board....";
        break;
    case AdapterPrompt::Adapter875X:
        figure = AdapterFigure::Adapter875X;
        at = ScreenPoint{725, 200};
        break;
    }
    state.Panel->FigureShown(figure, true);
    state.Panel->ShowMessage(BoxKind::Information, text, at);
    state.Panel->FigureShown(figure, false);
}

} // namespace

void NoDeviceSelected(ProgramState& state) {
    state.Window.DeviceEnd = 0xFFFFF;
    state.Selection.HasDevice = false;
    state.Panel->DeviceChanged(kNoDevice);
    state.Panel->ShowMessage(BoxKind::Information, "No Device Was Selected.", std::nullopt);
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

void DeviceClick(ProgramState& state) {
    BeginOperation(state);
    state.Panel->ChoiceListShown(ChoiceList::Devices, true);
}

void Device_BoxClick(ProgramState& state, int row) {
    state.Panel->ChoiceListShown(ChoiceList::Devices, false);
    SelectDevice(state, row);
    EndOperation(state);
}

} // namespace velmar

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

void ApplyDeviceSelection(ProgramState& state) {
    DeviceSelection& sel = state.Selection;
    AddressWindow& window = state.Window;
    window.DeviceStart = 0;
    sel.VppSetting = 7;
    sel.ReadBlockSize = 2048;
    sel.DeviceFamily = static_cast<std::int32_t>(Family::P87C5X);

    // A row outside the table keeps the caption and DeviceEnd it had.
    if (sel.SelectedRow >= 0 && sel.SelectedRow < kCatalogueRows) {
        const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(sel.SelectedRow)];
        if (row.IsDevice) {
            sel.HasDevice = true;
            state.Panel->DeviceChanged(sel.SelectedRow);
            window.DeviceEnd = row.DeviceEnd;
            sel.VppSetting = row.VppSetting;
            sel.DeviceFamily = row.Code();
            ShowPrompt(state, row.Prompt);
            sel.ReadBlockSize = row.ReadBlockSize;
        } else {
            NoDeviceSelected(state);
        }
    }

    const FamilyCapabilities& can = CapabilitiesOf(sel.DeviceFamily);
    window.DeviceLimit = can.FoldLimit ? can.FoldLimit : window.DeviceEnd;
    sel.BlankValue = can.ErasedValue;

    state.Panel->DeviceCommands(can.LockBits > 0, can.CanErase);

    ApplyVpp(state);
    ClampWindow(state);
}

void DeviceClick(ProgramState& state) {
    BeginOperation(state);
    state.Panel->ChoiceListShown(ChoiceList::Devices, true);
}

void Device_BoxClick(ProgramState& state, int row) {
    state.Selection.SelectedRow = row;
    state.Panel->ChoiceListShown(ChoiceList::Devices, false);
    ApplyDeviceSelection(state);
    EndOperation(state);
}

} // namespace velmar

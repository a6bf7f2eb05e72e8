#include "OperationFrame.h"

#include "buffer/HexText.h"

namespace velmar {

void BeginOperation(ProgramState& state) {
    state.Link.SendIdle();
    state.Panel.EnterBusyState();
    state.Panel.SetCaption(Control::QuitButton, QuitCaption(state.Transfer.DeviceAddress));
    state.Panel.SetBannerColour(BannerColour::Yellow);
    state.FailFlag = 0;
    state.Panel.PumpEvents();
}

void EndOperation(ProgramState& state) {
    state.Panel.NoteProgress(state.Transfer.DeviceAddress);
    state.Panel.LeaveBusyState(state.Link.LinkState > 0);
    // Shown before SendIdle resets it: the address where the operation stopped.
    state.Panel.SetCaption(Control::QuitButton, QuitCaption(state.Transfer.DeviceAddress));
    state.Panel.SetBannerColour(state.FailFlag == 0 ? BannerColour::Lime : BannerColour::Red);
    state.Panel.PumpEvents();
    state.Link.SendIdle();
}

void ClampWindow(ProgramState& state) {
    AddressWindow& w = state.Window;
    ClampWindowValues(w);
    state.Panel.SetCaption(Control::BufferStartButton, "Buffer Start=" + HexText(w.BufferStart, 4));
    state.Panel.SetCaption(Control::DeviceStartButton, "Device Start=" + HexText(w.DeviceStart, 4));
    state.Panel.SetCaption(Control::DeviceEndButton, "Device End=" + HexText(w.DeviceEnd, 4));
    state.Panel.SetCaption(Control::HexOffsetButton, "Hex Offset=" + HexText(w.HexOffset, 4));
    EndOperation(state);
}

void ComputeChecksum(ProgramState& state) {
    state.Panel.SetCaption(Control::ChecksumButton,
                           ChecksumCaption(ComputeChecksumValue(state.Buffer, state.Window)));
}

} // namespace velmar

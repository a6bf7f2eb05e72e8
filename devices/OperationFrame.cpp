#include "OperationFrame.h"

#include "buffer/HexText.h"

namespace velmar {

void BeginOperation(ProgramState& state) {
    state.Link.FrameFaultMark = state.Link.LinkFaults;
    state.Link.SendIdle();
    state.Panel.EnterBusyState();
    state.Panel.SetCaption(Control::QuitButton, QuitCaption(state.Transfer.DeviceAddress));
    state.Panel.SetBannerColour(BannerColour::Yellow);
    state.FailFlag = 0;
    state.Panel.PumpEvents();
}

namespace {
void FinishFrame(ProgramState& state, unsigned faultMark, std::string_view failure) {
    // Shown after SendIdle resets it: the address where the operation stopped.
    const std::int32_t stoppedAt = state.Transfer.DeviceAddress;
    state.Panel.NoteProgress(stoppedAt);
    // While still busy, so nothing can start inside the closing wait.
    state.Link.SendIdle();
    if (!failure.empty() && state.FailFlag == 0 && LinkFailedSince(state, faultMark)) {
        state.FailFlag = 1;
        state.Panel.SetCaption(Control::Banner, failure);
    }
    state.Panel.LeaveBusyState(state.Link.LinkState > 0);
    state.Panel.SetCaption(Control::QuitButton, QuitCaption(stoppedAt));
    state.Panel.SetBannerColour(state.FailFlag == 0 ? BannerColour::Lime : BannerColour::Red);
    state.Panel.PumpEvents();
}
} // namespace

void EndOperation(ProgramState& state) {
    FinishFrame(state, 0, {});
}

void EndDeviceOperation(ProgramState& state, unsigned faultMark, std::string_view failure) {
    FinishFrame(state, faultMark, failure);
}

bool LinkFailedSince(const ProgramState& state, unsigned faultMark) {
    return state.Link.LinkFaults != faultMark;
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

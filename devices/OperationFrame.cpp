#include "OperationFrame.h"

namespace velmar {

void BeginOperation(ProgramState& state) {
    state.Link.FrameFaultMark = state.Link.LinkFaults;
    state.Link.SendIdle();
    state.Panel->EnterBusyState();
    state.Panel->Progress(ProgressOf::OperationStart, state.Transfer.DeviceAddress);
    state.FailFlag = 0;
    state.Panel->PumpEvents();
}

namespace {
void FinishFrame(ProgramState& state, unsigned faultMark, std::string_view failure,
                 std::string_view success) {
    // Shown after SendIdle resets it: the address where the operation stopped.
    const std::int32_t stoppedAt = state.Transfer.DeviceAddress;
    state.Panel->Progress(ProgressOf::Device, stoppedAt);
    // While still busy, so nothing can start inside the closing wait.
    state.Link.SendIdle();
    if (!failure.empty() && state.FailFlag == 0 && LinkFailedSince(state, faultMark)) {
        state.FailFlag = 1;
        state.Panel->Status(failure);
    }
    if (!success.empty() && state.FailFlag == 0) state.Panel->Status(success);
    state.Panel->LeaveBusyState(state.Link.LinkState > 0);
    state.Panel->Outcome(Task::Operation, state.FailFlag == 0, stoppedAt);
    state.Panel->PumpEvents();
}
} // namespace

void EndOperation(ProgramState& state) {
    FinishFrame(state, 0, {}, {});
}

void EndDeviceOperation(ProgramState& state, unsigned faultMark, std::string_view failure,
                        std::string_view success) {
    FinishFrame(state, faultMark, failure, success);
}

bool LinkFailedSince(const ProgramState& state, unsigned faultMark) {
    return state.Link.LinkFaults != faultMark;
}

void ClampWindow(ProgramState& state) {
    AddressWindow& w = state.Window;
    ClampWindowValues(w);
    state.Panel->WindowChanged(w);
    EndOperation(state);
}

void ComputeChecksum(ProgramState& state) {
    state.Panel->Checksum(ComputeChecksumValue(state.Buffer, state.Window));
}

} // namespace velmar

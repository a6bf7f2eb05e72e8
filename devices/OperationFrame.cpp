#include "OperationFrame.h"

namespace velmar {

void BeginOperation(ProgramState& state) {
    state.Link.FrameFaultMark = state.Link.LinkFaults;
    state.Link.SendIdle();
    state.Panel->EnterBusyState();
    state.Panel->Progress(ProgressOf::OperationStart, state.Transfer.DeviceAddress);
    state.FailFlag = false;
    state.Panel->PumpEvents();
}

namespace {
OperationResult FinishFrame(ProgramState& state, unsigned faultMark, std::string_view failure,
                            std::string_view success) {
    // Shown after SendIdle resets it: the address where the operation stopped.
    const std::int32_t stoppedAt = state.Transfer.DeviceAddress;
    state.Panel->Progress(ProgressOf::Device, stoppedAt);
    // While still busy, so nothing can start inside the closing wait.
    state.Link.SendIdle();
    if (!failure.empty() && !state.FailFlag && LinkFailedSince(state, faultMark)) {
        state.FailFlag = true;
        state.Panel->Status(failure);
    }
    if (!success.empty() && !state.FailFlag) state.Panel->Status(success);
    state.Panel->LeaveBusyState(state.Link.IsOpen());
    state.Panel->Outcome(Task::Operation, !state.FailFlag, stoppedAt);
    state.Panel->PumpEvents();
    OperationResult result;
    result.Outcome = state.FailFlag ? TaskOutcome::Failed : TaskOutcome::Succeeded;
    result.StoppedAt = stoppedAt;
    result.LinkFaults = state.Link.LinkFaults - faultMark;
    return result;
}
} // namespace

OperationResult EndOperation(ProgramState& state) {
    return FinishFrame(state, state.Link.FrameFaultMark, {}, {});
}

OperationResult EndDeviceOperation(ProgramState& state, unsigned faultMark,
                                   std::string_view failure, std::string_view success) {
    return FinishFrame(state, faultMark, failure, success);
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

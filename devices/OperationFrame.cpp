#include "OperationFrame.h"

#include "buffer/HexText.h"

namespace velmar {

void BeginOperation(ProgramState& state) {
    state.Link.FrameFaultMark = state.Link.LinkFaults;
    state.Transfer.Block = -1;
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
    // Said once, by the innermost frame that saw the programmer go.
    if (state.D2XX.Gone && !state.D2XX.GoneReported) {
        state.D2XX.GoneReported = true;
        state.FailFlag = true;
        state.Panel->ProgrammerUnplugged(UnpluggedSentence(state));
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

std::string UnpluggedSentence(const ProgramState& state) {
    const std::int32_t block = state.Transfer.Block;
    const std::int32_t start = state.Window.DeviceStart;
    const std::string at = "the programmer was unplugged at block " + HexText(block, 4);
    switch (state.Work) {
    case PartWork::Programming:
        if (block < 0)
            return "the programmer was unplugged before the first block was programmed: the part "
                   "was not changed";
        if (block <= start)
            return at + ": nothing of the new data was programmed (block " + HexText(block, 4) +
                   " perhaps in part)";
        return at + ": the part holds the new data from " + HexText(start, 4) + " up to " +
               HexText(block - 1, 4) + ", not from " + HexText(block, 4) + " on (block " +
               HexText(block, 4) + " perhaps in part)";
    case PartWork::Erasing:
        return "the programmer was unplugged during the erase: the part may be erased in part; "
               "erase it again";
    case PartWork::LockBits:
        return "the programmer was unplugged while a lock bit was programmed: it may be set or "
               "not";
    case PartWork::Reading:
        break;
    }
    if (block < 0)
        return "the programmer was unplugged before the first block was read: the part was not "
               "changed";
    if (block <= start) return at + ": the part was not changed; nothing of it was read";
    return at + ": the part was not changed; it was read up to " + HexText(block - 1, 4) + " only";
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

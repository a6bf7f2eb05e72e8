#include "DeviceOperations.h"

#include "AccessSequences.h"
#include "DeviceCatalogue.h"
#include "DiagnosisRead.h"
#include "OperationFrame.h"
#include "Tasks.h"
#include "buffer/HexText.h"

namespace velmar {

namespace {

void SetStatus(ProgramState& state, std::string_view text) {
    state.Panel->Status(text);
}

void EnableQuit(ProgramState& state) { state.Panel->QuitOffered(); }

// A read run that ended before DeviceEnd: the banner says where, and the
// operation ends red whatever it found so far.
void ReportStopped(ProgramState& state, std::string_view what) {
    state.FailFlag = true;
    SetStatus(state, std::string(what) + " Stopped at " +
                         HexText(state.Transfer.DeviceAddress, 4) + "....");
}

// The failure sentences a run without a difference still ends with when the
// programmer link failed inside it.
const char* const kNotVerified = "Device Did NOT Verify to Buffer....";
const char* const kNotErased = "Device is NOT Erased....";
const char* const kCannotReprogram = "Device CAN NOT be Reprogrammed....";
const char* const kNotProgrammed = "Eprom DID NOT Program.............";
const char* const kFlashNotErased = "Device was NOT Erased........";

// A device operation does not start its sequence when the programmer did
// not answer the idle command that opened it.
bool LinkUp(ProgramState& state, unsigned mark) {
    return state.Link.IsOpen() && !LinkFailedSince(state, mark);
}

void ListDifference(ProgramState& state, OperationResult& result, std::uint8_t expected,
                    std::uint8_t found) {
    state.FailFlag = true;
    ++result.Differences;
    state.Panel->Difference(state.Transfer.DeviceAddress, expected, found);
    state.Panel->PumpEvents();
}

// What a listing run read next to what it expected, kept for the diagnosis.
ReadComparison StartComparison(const ProgramState& state) {
    ReadComparison run;
    run.Start = state.Window.DeviceStart;
    run.ErasedValue = state.Selection.BlankValue();
    run.AddressBits = AddressBitsOf(state.Window.DeviceEnd);
    const std::int32_t span = state.Window.DeviceEnd - state.Window.DeviceStart + 1;
    if (span > 0 && span <= 0x10000) {
        run.Expected.reserve(static_cast<std::size_t>(span));
        run.Found.reserve(static_cast<std::size_t>(span));
    }
    return run;
}

void Keep(ReadComparison& run, std::uint8_t expected, std::uint8_t found) {
    run.Expected.push_back(expected);
    run.Found.push_back(found);
}

// The frame's result with what the run itself counted, stopped when the run
// ended before its last address.
OperationResult Ended(const OperationResult& frame, const OperationResult& run, bool stopped) {
    OperationResult result = frame;
    result.Differences = run.Differences;
    if (stopped && !result.Succeeded()) result.Outcome = TaskOutcome::Stopped;
    return result;
}

// The end of a run that lists differing bytes: stopped, failed (a difference
// or a link fault), or passed, when the empty list goes away again. Only a
// whole run over a sound link is worth a diagnosis.
OperationResult EndListingRun(ProgramState& state, unsigned mark, bool complete,
                              std::string_view name, const char* failure, const char* success,
                              const ReadComparison& run, const OperationResult& counted) {
    if (!complete) {
        ReportStopped(state, name);
    } else if (state.FailFlag || LinkFailedSince(state, mark)) {
        const bool sound = !LinkFailedSince(state, mark);
        state.FailFlag = true;
        SetStatus(state, failure);
        if (sound) ReportFailureDiagnosis(state, run);
    } else {
        SetStatus(state, success);
        state.Panel->NothingReported();
    }
    return Ended(EndDeviceOperation(state, mark, failure), counted, !complete);
}

} // namespace

std::string DifferenceLine(std::int32_t address, std::uint8_t expected, std::uint8_t found) {
    return HexText(address, 4) + "  EXPECTED-" + HexText(expected, 2) + " FOUND-" +
           HexText(found, 2);
}

namespace {

// A verify; after programming, the buffer is what the part was just given,
// so the diagnosis does not ask whether the file differs.
OperationResult VerifyToBuffer(ProgramState& state, bool afterProgramming) {
    BeginOperation(state);
    state.Work = PartWork::Reading;
    const unsigned mark = state.Link.FrameFaultMark;
    EnableQuit(state);
    SetStatus(state, "Verifying Device to Buffer....");
    state.Panel->BeginReport();
    state.Panel->PumpEvents();

    ReadComparison run = StartComparison(state);
    run.AfterProgramming = afterProgramming;
    OperationResult counted;
    bool complete = false;
    if (LinkUp(state, mark))
        complete = ReadLoop(state, [&state, &run, &counted](std::uint8_t byte) {
            const std::int32_t position = state.Transfer.BufferIndex;
            if (!DataBuffer::Contains(position)) return false;
            const std::uint8_t expected = state.Buffer[position];
            Keep(run, expected, byte);
            if (expected != byte) ListDifference(state, counted, expected, byte);
            return true;
        });

    return EndListingRun(state, mark, complete, "Verify", kNotVerified,
                         "Device Verified to Buffer....", run, counted);
}

} // namespace

OperationResult tasks::Verify(ProgramState& state) {
    return VerifyToBuffer(state, false);
}

OperationResult tasks::BlankCheck(ProgramState& state) {
    BeginOperation(state);
    state.Work = PartWork::Reading;
    const unsigned mark = state.Link.FrameFaultMark;
    EnableQuit(state);
    SetStatus(state, "Checking to see if Device is erased....");
    state.Panel->PumpEvents();

    const std::uint8_t blank = state.Selection.BlankValue();
    ReadComparison run = StartComparison(state);
    OperationResult counted;
    bool complete = false;
    if (LinkUp(state, mark))
        complete = ReadLoop(
            state,
            [&state, &run, &counted, blank](std::uint8_t byte) {
                Keep(run, blank, byte);
                if (byte != blank) ListDifference(state, counted, blank, byte);
                return true;
            },
            [&state] { state.Panel->BeginReport(); });

    return EndListingRun(state, mark, complete, "Blank Check", kNotErased, "Device is Erased....",
                         run, counted);
}

OperationResult tasks::Read(ProgramState& state) {
    BeginOperation(state);
    state.Work = PartWork::Reading;
    const unsigned mark = state.Link.FrameFaultMark;
    EnableQuit(state);
    SetStatus(state, "Moving Device to Buffer....");
    state.Panel->PumpEvents();

    bool complete = false;
    if (LinkUp(state, mark))
        complete = ReadLoop(state, [&state](std::uint8_t byte) {
            const std::int32_t position = state.Transfer.BufferIndex;
            if (!DataBuffer::Contains(position)) return false;
            state.Buffer[position] = byte;
            return true;
        });

    const bool whole = complete && !LinkFailedSince(state, mark);
    if (whole)
        SetStatus(state, "Device Has Been Moved to Buffer....");
    else
        ReportStopped(state, "Move Device");
    state.Panel->PumpEvents();
    ComputeChecksum(state);
    // The sentence names where the link gave up, even past the last address.
    const std::int32_t end = state.Transfer.DeviceAddress;
    return Ended(
        EndDeviceOperation(state, mark, "Move Device Stopped at " + HexText(end, 4) + "...."), {},
        !whole);
}

OperationResult tasks::Compare(ProgramState& state) {
    BeginOperation(state);
    state.Work = PartWork::Reading;
    const unsigned mark = state.Link.FrameFaultMark;
    EnableQuit(state);
    SetStatus(state, "Comparing Device for Re-Progamablity....");

    // The buffer byte at the device address itself, not at BufferIndex.
    bool complete = false;
    if (LinkUp(state, mark))
        complete = ReadLoop(state, [&state](std::uint8_t byte) {
            const std::int32_t position = state.Transfer.DeviceAddress;
            if (!DataBuffer::Contains(position)) return false;
            const std::uint8_t wanted = state.Buffer[position];
            if ((wanted & byte) != wanted) {
                // The first byte that would need an erase decides.
                state.Transfer.StopFlag = TransferStop::Stopped;
                state.FailFlag = true;
            }
            return true;
        });

    const bool refused = state.FailFlag;
    if (refused) {
        SetStatus(state, kCannotReprogram);
    } else if (!complete) {
        ReportStopped(state, "Program Compare");
    } else if (LinkFailedSince(state, mark)) {
        state.FailFlag = true;
        SetStatus(state, kCannotReprogram);
    } else {
        SetStatus(state, "Device Can be Reprogrammed....");
    }
    return Ended(EndDeviceOperation(state, mark, kCannotReprogram), {}, !refused && !complete);
}

OperationResult tasks::Program(ProgramState& state, const BlockFilter& wanted) {
    BeginOperation(state);
    state.Work = PartWork::Programming;
    const unsigned mark = state.Link.FrameFaultMark;
    SetStatus(state, "Programming Device from Buffer....");
    EnableQuit(state);
    state.Panel->PumpEvents();

    const FamilyCapabilities& can = state.Selection.Can();
    // Nothing goes to a programmer that did not answer.
    if (LinkUp(state, mark) && can.Programs) {
        if (can.ProgramsBytewise)
            ProgramBytewise(state, wanted);
        else
            ProgramBlocks(state, wanted);
    }

    if (state.Transfer.StopFlag == TransferStop::EndReached && !LinkFailedSince(state, mark)) {
        SetStatus(state, "Eprom is Programmed...............");
    } else {
        SetStatus(state, kNotProgrammed);
        state.FailFlag = true;
    }
    const std::int32_t programmedTo = state.Transfer.DeviceAddress;
    state.Panel->Progress(ProgressOf::Programmed, programmedTo);
    state.Link.SendIdle();
    if (!state.FailFlag && LinkFailedSince(state, mark)) {
        SetStatus(state, kNotProgrammed);
        state.FailFlag = true;
    }
    state.Link.Sleep(100);

    const bool verified = state.AutoVerify && !state.FailFlag;
    OperationResult verify;
    if (verified) verify = VerifyToBuffer(state, true);
    OperationResult frame =
        EndDeviceOperation(state, mark, verified ? kNotVerified : kNotProgrammed);
    // Where the programming run, or the verify after it, ended; the closing
    // idle has moved the transfer back to the start by now.
    frame.StoppedAt = verified ? verify.StoppedAt : programmedTo;
    return Ended(frame, verify, verified && verify.Outcome == TaskOutcome::Stopped);
}

void tasks::SetAutoVerify(ProgramState& state, bool on) {
    state.AutoVerify = on;
    state.Panel->AutoVerifyChanged(on);
}

OperationResult tasks::Erase(ProgramState& state) {
    BeginOperation(state);
    state.Work = PartWork::Erasing;
    const unsigned mark = state.Link.FrameFaultMark;
    SetStatus(state, "Erasing Flash Device........");
    if (!LinkUp(state, mark)) {
        state.FailFlag = true;
        SetStatus(state, kFlashNotErased);
        return EndDeviceOperation(state, mark, kFlashNotErased);
    }

    EraseFlash(state);

    if (LinkFailedSince(state, mark)) {
        state.FailFlag = true;
        SetStatus(state, kFlashNotErased);
    } else {
        SetStatus(state, "Device has been Erase, Do a Blank Check........");
    }
    return EndDeviceOperation(state, mark, kFlashNotErased);
}

void OfferLockBits(ProgramState& state) {
    BeginOperation(state);
    state.Work = PartWork::LockBits;
}

namespace {

std::string SecurityBitName(int k) {
    return "Security Bit #" + std::to_string(k + 1);
}

void ProgramSecurityBit(ProgramState& state, int k) {
    const std::string notProgrammed = SecurityBitName(k) + " was NOT programmed....";
    const unsigned mark = state.Link.FrameFaultMark;
    // Only bits 1 to 3 exist on any part.
    if (k < 0 || k > 2 || !LinkUp(state, mark)) {
        SetStatus(state, notProgrammed);
        state.FailFlag = true;
        return;
    }

    if (!ProgramLockBit(state, k)) {
        // The 874X parts have no security bits and no device means no
        // sequence: nothing was programmed, so do not say it was.
        SetStatus(state, notProgrammed);
        state.FailFlag = true;
        return;
    }
    if (LinkFailedSince(state, mark)) {
        SetStatus(state, notProgrammed);
        state.FailFlag = true;
    }
}

// The pulses' replies are awaited by the closing idle: the bit is programmed
// only when that shows the link whole.
OperationResult EndLockBitRun(ProgramState& state, unsigned mark, int k) {
    const std::string bitName = SecurityBitName(k);
    return EndDeviceOperation(state, mark, bitName + " was NOT programmed....",
                              bitName + " has been programmed...");
}

} // namespace

OperationResult TakeLockBitChoice(ProgramState& state, int k) {
    const unsigned mark = state.Link.FrameFaultMark; // from OfferLockBits
    const bool bit = k >= 0 && k <= 2;
    if (bit) ProgramSecurityBit(state, k);
    return bit ? EndLockBitRun(state, mark, k) : EndOperation(state);
}

OperationResult tasks::ProgramLockBit(ProgramState& state, int bit) {
    BeginOperation(state);
    state.Work = PartWork::LockBits;
    const unsigned mark = state.Link.FrameFaultMark;
    ProgramSecurityBit(state, bit - 1);
    return EndLockBitRun(state, mark, bit - 1);
}

} // namespace velmar

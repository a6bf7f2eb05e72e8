#include "DeviceOperations.h"

#include <array>

#include "AccessSequences.h"
#include "OperationFrame.h"
#include "buffer/HexText.h"

namespace velmar {

namespace {

void SetStatus(ProgramState& state, std::string_view text) {
    state.Panel.SetCaption(Control::Banner, text);
}

void EnableQuit(ProgramState& state) { state.Panel.SetEnabled(Control::QuitButton, true); }

// A read run that ended before DeviceEnd: the banner says where, and the
// operation ends red whatever it found so far.
void ReportStopped(ProgramState& state, std::string_view what) {
    state.FailFlag = 1;
    SetStatus(state, std::string(what) + " Stopped at " +
                         HexText(state.Transfer.DeviceAddress, 4) + "....");
}

void ListDifference(ProgramState& state, std::uint8_t expected, std::uint8_t found) {
    state.FailFlag = 1;
    state.Panel.NoteDifference(state.Transfer.DeviceAddress, expected, found);
    state.Panel.InsertReportLine(DifferenceLine(state.Transfer.DeviceAddress, expected, found));
    state.Panel.PumpEvents();
}

} // namespace

std::string DifferenceLine(std::int32_t address, std::uint8_t expected, std::uint8_t found) {
    return HexText(address, 4) + "  EXPECTED-" + HexText(expected, 2) + " FOUND-" +
           HexText(found, 2);
}

void VerifyDevice(ProgramState& state) {
    BeginOperation(state);
    EnableQuit(state);
    SetStatus(state, "Verifying Device to Buffer....");
    state.Panel.SetVisible(Control::ReportList, true);
    state.Panel.ClearReport();
    state.Panel.PumpEvents();

    const bool complete = ReadLoop(state, [&state](std::uint8_t byte) {
        const std::int32_t position = state.Transfer.BufferIndex;
        if (!DataBuffer::Contains(position)) return false;
        const std::uint8_t expected = state.Buffer[position];
        if (expected != byte) ListDifference(state, expected, byte);
        return true;
    });

    if (!complete) {
        ReportStopped(state, "Verify");
    } else if (state.FailFlag == 1) {
        SetStatus(state, "Device Did NOT Verify to Buffer....");
    } else {
        SetStatus(state, "Device Verified to Buffer....");
        state.Panel.SetVisible(Control::ReportList, false);
    }
    EndOperation(state);
}

void VerifyClick(ProgramState& state) { VerifyDevice(state); }

void Blank_ChkClick(ProgramState& state) {
    BeginOperation(state);
    EnableQuit(state);
    SetStatus(state, "Checking to see if Device is erased....");
    state.Panel.PumpEvents();

    const std::uint8_t blank = state.Selection.BlankValue;
    const bool complete = ReadLoop(
        state,
        [&state, blank](std::uint8_t byte) {
            if (byte != blank) ListDifference(state, blank, byte);
            return true;
        },
        [&state] {
            state.Panel.ClearReport();
            state.Panel.SetVisible(Control::ReportList, true);
        });

    if (!complete) {
        ReportStopped(state, "Blank Check");
    } else if (state.FailFlag == 1) {
        SetStatus(state, "Device is NOT Erased....");
    } else {
        SetStatus(state, "Device is Erased....");
        state.Panel.SetVisible(Control::ReportList, false);
    }
    EndOperation(state);
}

void Move_EpromClick(ProgramState& state) {
    BeginOperation(state);
    EnableQuit(state);
    SetStatus(state, "Moving Device to Buffer....");
    state.Panel.PumpEvents();

    const bool complete = ReadLoop(state, [&state](std::uint8_t byte) {
        const std::int32_t position = state.Transfer.BufferIndex;
        if (!DataBuffer::Contains(position)) return false;
        state.Buffer[position] = byte;
        return true;
    });

    if (complete)
        SetStatus(state, "Device Has Been Moved to Buffer....");
    else
        ReportStopped(state, "Move Device");
    state.Panel.PumpEvents();
    ComputeChecksum(state);
    EndOperation(state);
}

void CompareClick(ProgramState& state) {
    BeginOperation(state);
    EnableQuit(state);
    SetStatus(state, "Comparing Device for Re-Progamablity....");

    // The buffer byte at the device address itself, not at BufferIndex.
    const bool complete = ReadLoop(state, [&state](std::uint8_t byte) {
        const std::int32_t position = state.Transfer.DeviceAddress;
        if (!DataBuffer::Contains(position)) return false;
        const std::uint8_t wanted = state.Buffer[position];
        if ((wanted & byte) != wanted) {
            state.Transfer.StopFlag = 1;
            state.FailFlag = 1;
        }
        return true;
    });

    if (state.FailFlag == 1)
        SetStatus(state, "Device CAN NOT be Reprogrammed....");
    else if (!complete)
        ReportStopped(state, "Program Compare");
    else
        SetStatus(state, "Device Can be Reprogrammed....");
    EndOperation(state);
}

void ProgrammClick(ProgramState& state) {
    BeginOperation(state);
    SetStatus(state, "Programming Device from Buffer....");
    EnableQuit(state);
    state.Panel.PumpEvents();

    const int family = state.Selection.DeviceFamily;
    if (family == 1)
        ProgramBytewise(state);
    else if (family >= 2 && family <= 6)
        ProgramBlocks(state);

    if (state.Transfer.StopFlag == 1) {
        SetStatus(state, "Eprom is Programmed...............");
    } else {
        SetStatus(state, "Eprom DID NOT Program.............");
        state.FailFlag = 1;
    }
    state.Panel.NoteProgress(state.Transfer.DeviceAddress);
    state.Link.SendIdle();
    state.Link.Sleep(100);

    if (state.AutoVerify == 1 && state.FailFlag == 0) VerifyDevice(state);
    EndOperation(state);
}

void Auto_VerifyClick(ProgramState& state) {
    if (state.AutoVerify == 1) {
        state.AutoVerify = 0;
        state.Panel.SetCaption(Control::AutoVerifyButton, "Auto Verify Off");
    } else {
        state.AutoVerify = 1;
        state.Panel.SetCaption(Control::AutoVerifyButton, "Auto Verify On");
    }
}

void Erase_ButClick(ProgramState& state) {
    CommandLink& link = state.Link;
    LineState& lines = state.Lines;
    BeginOperation(state);
    SetStatus(state, "Erasing Flash Device........");

    lines.ModeBits = 0x40;
    lines.ControlByte = 0xFF;
    link.WriteLatch(0x0F, 0x40);
    link.WriteLatch(0x3F, 0xFF);
    link.Sleep(10);

    state.Transfer.DeviceAddress = 0x00AA;
    SetAddressLatches(state);

    link.WriteLatch(0x4F, 0x55);
    link.WriteLatch(0x3F, 0xBF);
    link.WriteLatch(0x3F, 0x3F);
    link.Sleep(10);
    link.WriteLatch(0x3F, 0xBF);
    link.Sleep(10);
    link.WriteLatch(0x3F, 0xFF);

    lines.ModeBits = 0x10;
    SetMode875X(state);

    link.WriteLatch(0x3F, 0xBA);
    link.Sleep(10);
    link.WriteLatch(0x3F, 0x3A);
    link.Sleep(10);
    link.WriteLatch(0x3F, 0xBA);
    link.Sleep(10);
    link.WriteLatch(0x3F, 0xF7);

    SetStatus(state, "Device has been Erase, Do a Blank Check........");
    EndOperation(state);
}

void SecurityClick(ProgramState& state) {
    BeginOperation(state);
    state.Panel.SetVisible(Control::SecurityList, true);
}

namespace {

struct SecurityBit {
    std::uint8_t Latch4F; // family 6
    std::uint8_t ModeBits; // families 3 to 5
    std::uint8_t Byte4;    // families 3 to 5
};

constexpr std::array<SecurityBit, 3> kSecurityBits = {{
    {0x7F, 0x50, 0xBF},
    {0xBF, 0x50, 0xBA},
    {0xDF, 0x10, 0xBE},
}};

void ProgramSecurityBit(ProgramState& state, int k) {
    CommandLink& link = state.Link;
    LineState& lines = state.Lines;
    const SecurityBit& bit = kSecurityBits[static_cast<std::size_t>(k)];
    const int family = state.Selection.DeviceFamily;
    const std::string bitName = "Security Bit #" + std::to_string(k + 1);

    SetAddressLatches(state);
    if (family == 6) {
        lines.ModeBits = 0x10;
        SetMode875X(state);
        link.Sleep(1);
        link.WriteLatch(0x4F, bit.Latch4F);
        link.WriteLatch(0x3F, 0xBE);
        link.Sleep(1);
        SendPulse(state);
        link.WriteLatch(0x3F, 0xF7);
    } else if (family >= 3 && family <= 5) {
        SetMode875X(state);
        lines.ModeBits = bit.ModeBits;
        link.Sleep(1);
        SendSetLatches(state, 0x00, lines.ModeBits, bit.Byte4, lines.VppCtl1, 0xB0);
        SendPulse(state);
        SendPulse(state);
        SendPulse(state);
        link.WriteLatch(0x3F, 0xF7);
    } else {
        // The 874X parts have no security bits and no device means no
        // sequence: nothing was programmed, so do not say it was.
        SetStatus(state, bitName + " was NOT programmed....");
        state.FailFlag = 1;
        return;
    }
    SetStatus(state, bitName + " has been programmed...");
}

} // namespace

void Security_ListClick(ProgramState& state, int k) {
    if (k >= 0 && k <= 2) ProgramSecurityBit(state, k);
    state.Panel.SetVisible(Control::SecurityList, false);
    EndOperation(state);
}

} // namespace velmar

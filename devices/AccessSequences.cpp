#include "AccessSequences.h"

#include <array>

#include "DeviceCatalogue.h"
#include "VppSelection.h"
#include "buffer/HexText.h"

namespace velmar {

namespace {

constexpr int kProgramBlockData = 256;
constexpr int kProgramBlockLength = 8 + kProgramBlockData;
constexpr int kReplyHead = 8;
const char* const kWriteTimeout = "USB Device Write TimeOut ...";

// Long packets and awaited-by-count packets are written here rather than
// through SendPacket; like SendPacket they never touch an absent handle.
bool WritePacket(ProgramState& state, int length) {
    if (!state.Link.IsOpen()) return false;
    std::uint8_t* packet = state.Link.CommandPacket();
    packet[7] = CommandLink::PacketChecksum(packet);
    state.Link.WriteRequest(static_cast<DWORD>(length), true, kWriteTimeout);
    return true;
}

const FamilyCapabilities& Selected(const ProgramState& state) {
    return state.Selection.Can();
}

// The longest the programmer may work on one ProgramBlock before it answers:
// every byte of the block programmed, at the part's own time per byte.
int BlockProgramMs(const FamilyCapabilities& can) {
    return static_cast<int>((std::int64_t{can.ProgramMicrosPerByte} * kProgramBlockData + 999) /
                            1000);
}

void ShowProgress(ProgramState& state, std::int32_t value) {
    state.Panel->Progress(ProgressOf::Device, value);
}

} // namespace

void AdvanceAddress(ProgramState& state) {
    TransferState& t = state.Transfer;
    if (t.DeviceAddress >= state.Window.DeviceEnd) t.ReachEnd();
    ++t.DeviceAddress;
    ++t.BufferIndex;
}

void SendSetLatches(ProgramState& state, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4,
                    std::uint8_t b5, std::uint8_t b6) {
    std::uint8_t* packet = state.Link.CommandPacket();
    packet[0] = SetLatches;
    packet[1] = 0x00;
    packet[2] = b2;
    packet[3] = b3;
    packet[4] = b4;
    packet[5] = b5;
    packet[6] = b6;
    state.Link.SendPacket();
}

void SendPulse(ProgramState& state) {
    std::uint8_t* packet = state.Link.CommandPacket();
    packet[0] = PulseCommand;
    for (int i = 1; i < 7; ++i) packet[i] = 0x00;
    state.Link.SendPacket();
}

void SetAddressLatches(ProgramState& state) {
    LineState& lines = state.Lines;
    const std::int32_t address = state.Transfer.DeviceAddress;
    state.Transfer.Block = address;
    if (Selected(state).Setup == LineSetup::Mode875X) {
        const std::uint8_t h = static_cast<std::uint8_t>((address >> 8) & 0xFF);
        lines.HighModeByte = static_cast<std::uint8_t>((h & 0x0F) | lines.ModeBits);
        if (h & 0x20) lines.HighModeByte |= 0x80; // address bit 13
        if (h & 0x10)                            // address bit 12
            lines.ControlByte &= 0xFD;
        else
            lines.ControlByte |= 0x02;
        const std::uint8_t b6 = (h & 0x40) ? (lines.VppCtl2 | 0x01) : lines.VppCtl2; // bit 14
        SendSetLatches(state, static_cast<std::uint8_t>(address & 0xFF), lines.HighModeByte,
                       lines.ControlByte, lines.VppCtl1, b6);
    }
    ShowProgress(state, address);
}

void Setup874X(ProgramState& state) {
    CommandLink& link = state.Link;
    link.WriteLatch(0x3F, 0xF0);
    link.WriteLatch(0x2F, 0x30);
    link.WriteLatch(0x0F, 0xA8);
    link.Sleep(50);
    link.WriteLatch(0x2F, 0x00);
    link.Sleep(30);
    link.WriteLatch(0x3F, 0xB0);
    SendSetLatches(state, 0x00, 0xA8, 0xB0, state.Lines.VppCtl1, state.Lines.VppCtl2);
}

void SetMode875X(ProgramState& state) {
    LineState& lines = state.Lines;
    lines.ControlByte = Selected(state).ModeControlByte;
    SendSetLatches(state, 0x00, lines.ModeBits, lines.ControlByte, lines.VppCtl1, lines.VppCtl2);
}

void EnterReadMode(ProgramState& state) {
    ApplyVpp(state);
    state.Lines.ModeBits = 0x00;
    switch (Selected(state).Setup) {
    case LineSetup::Adapter874X: Setup874X(state); break;
    case LineSetup::Mode875X: SetMode875X(state); break;
    case LineSetup::None: break;
    }
    state.Link.Sleep(100);
}

void EnterProgramMode875X(ProgramState& state) {
    ApplyVpp(state);
    LineState& lines = state.Lines;
    lines.ModeBits = 0x40;
    lines.ControlByte = 0xFF;
    SendSetLatches(state, 0x00, 0x40, 0xFF, lines.VppCtl1, lines.VppCtl2);
}

std::uint32_t SendReadBlock(ProgramState& state) {
    const std::int32_t size = state.Selection.ReadBlockSize();
    std::uint8_t* packet = state.Link.CommandPacket();
    packet[0] = ReadBlock;
    packet[1] = static_cast<std::uint8_t>(state.Selection.Row->Code());
    packet[2] = static_cast<std::uint8_t>(state.Transfer.DeviceAddress & 0xFF);
    packet[3] = state.Lines.HighModeByte;
    packet[4] = 0x00;
    packet[5] = static_cast<std::uint8_t>((size >> 8) & 0xFF);
    packet[6] = static_cast<std::uint8_t>(size & 0xFF);
    if (!WritePacket(state, state.Link.PacketLength)) return 0;
    // The whole reply, however it is split, before a byte of it is used.
    return state.Link.AwaitReplyBytes(static_cast<DWORD>(kReplyHead + size));
}

bool ReadLoop(ProgramState& state, const ByteAction& action, const std::function<void()>& ready) {
    TransferState& t = state.Transfer;
    EnterReadMode(state);
    if (ready) ready();
    const std::int32_t size = state.Selection.ReadBlockSize();
    const std::uint32_t whole = static_cast<std::uint32_t>(kReplyHead + size);
    for (;;) {
        SetAddressLatches(state);
        // A block is used only when all of it arrived: after a failed, stopped
        // or short wait ReplyBuffer holds nothing of this block to compare.
        if (SendReadBlock(state) < whole) {
            if (!t.Ended()) t.StopFlag = TransferStop::Stopped;
            return false;
        }
        for (std::int32_t i = 0; i < size; ++i) {
            if (!action(state.D2XX.ReplyBuffer[static_cast<std::size_t>(kReplyHead + i)])) {
                if (!t.Ended()) t.StopFlag = TransferStop::Stopped;
                return false;
            }
            AdvanceAddress(state);
            if (t.Ended()) return t.DeviceAddress > state.Window.DeviceEnd;
        }
    }
}

namespace {

// One latch write, then a wait (0: none).
struct LatchStep {
    std::uint8_t Latch;
    std::uint8_t Value;
    int SleepMs;
};

template <std::size_t N>
void RunSteps(ProgramState& state, const LatchStep (&steps)[N]) {
    for (const LatchStep& step : steps) {
        state.Link.WriteLatch(step.Latch, step.Value);
        if (step.SleepMs > 0) state.Link.Sleep(step.SleepMs);
    }
}

constexpr LatchStep kEraseEnable[] = {{0x0F, 0x40, 0}, {0x3F, 0xFF, 10}};
constexpr LatchStep kEraseUnlock[] = {
    {0x4F, 0x55, 0}, {0x3F, 0xBF, 0}, {0x3F, 0x3F, 10}, {0x3F, 0xBF, 10}, {0x3F, 0xFF, 0}};
constexpr LatchStep kErasePulse[] = {
    {0x3F, 0xBA, 10}, {0x3F, 0x3A, 10}, {0x3F, 0xBA, 10}, {0x3F, 0xF7, 0}};

// Per security bit: the 0x4F latch value of the Latch4F run, and the mode
// bits and SetLatches byte 4 of the ModeBits run.
struct LockBitLatches {
    std::uint8_t Latch4F;
    std::uint8_t ModeBits;
    std::uint8_t Byte4;
};

constexpr std::array<LockBitLatches, 3> kLockBits = {{
    {0x7F, 0x50, 0xBF},
    {0xBF, 0x50, 0xBA},
    {0xDF, 0x10, 0xBE},
}};

} // namespace

void EraseFlash(ProgramState& state) {
    LineState& lines = state.Lines;
    lines.ModeBits = 0x40;
    lines.ControlByte = 0xFF;
    RunSteps(state, kEraseEnable);

    state.Transfer.DeviceAddress = 0x00AA;
    SetAddressLatches(state);
    RunSteps(state, kEraseUnlock);

    lines.ModeBits = 0x10;
    SetMode875X(state);
    RunSteps(state, kErasePulse);
}

bool ProgramLockBit(ProgramState& state, int k) {
    CommandLink& link = state.Link;
    LineState& lines = state.Lines;
    const LockBitLatches& bit = kLockBits[static_cast<std::size_t>(k)];
    SetAddressLatches(state);
    switch (Selected(state).Lock) {
    case LockRun::Latch4F:
        lines.ModeBits = 0x10;
        SetMode875X(state);
        link.Sleep(1);
        link.WriteLatch(0x4F, bit.Latch4F);
        link.WriteLatch(0x3F, 0xBE);
        link.Sleep(1);
        SendPulse(state);
        link.WriteLatch(0x3F, 0xF7);
        return true;
    case LockRun::ModeBits:
        SetMode875X(state);
        lines.ModeBits = bit.ModeBits;
        link.Sleep(1);
        SendSetLatches(state, 0x00, lines.ModeBits, bit.Byte4, lines.VppCtl1, 0xB0);
        SendPulse(state);
        SendPulse(state);
        SendPulse(state);
        link.WriteLatch(0x3F, 0xF7);
        return true;
    case LockRun::None: break;
    }
    return false;
}

void ProgramBytewise(ProgramState& state, const BlockFilter& wanted) {
    TransferState& t = state.Transfer;
    CommandLink& link = state.Link;
    if (!link.IsOpen()) {
        // Nothing can be sent: this must not end as a programmed device.
        t.StopFlag = TransferStop::Stopped;
        return;
    }
    EnterReadMode(state);
    const std::uint8_t idle5F = state.Lines.VppCtl1 & 0xF7;
    const std::uint8_t pulse5F = state.Lines.VppCtl1 & 0xF5;
    link.WriteLatch(0x5F, idle5F);
    do {
        if (!DataBuffer::Contains(t.BufferIndex)) {
            t.StopFlag = TransferStop::Stopped;
            return;
        }
        // Blocks count from DeviceStart, as ProgramBlocks walks them.
        const std::int32_t start = state.Window.DeviceStart;
        if (wanted && !wanted(start + ((t.DeviceAddress - start) & ~0xFF))) {
            AdvanceAddress(state);
            continue;
        }
        // A programmer that is gone takes nothing more.
        if (link.Gone()) {
            t.StopFlag = TransferStop::Stopped;
            return;
        }
        t.Block = start + ((t.DeviceAddress - start) & ~0xFF);
        const int high = (t.DeviceAddress >> 8) & 0xFF;
        link.WriteLatch(0x0F, 0xA8);
        link.WriteLatch(0x2F, high);
        link.WriteLatch(0x4F, t.DeviceAddress & 0xFF);
        link.WriteLatch(0x2F, high | 0x10);
        link.WriteLatch(0x4F, state.Buffer[t.BufferIndex]);
        link.WriteLatch(0x0F, 0x28);
        link.WriteLatch(0x3F, 0x90);
        link.WriteLatch(0x5F, pulse5F);
        link.Sleep(30);
        link.WriteLatch(0x5F, idle5F);
        link.WriteLatch(0x3F, 0xB0);
        if ((t.BufferIndex & 0x0F) == 0) ShowProgress(state, t.BufferIndex);
        AdvanceAddress(state);
    } while (!t.Ended());
}

void ProgramBlocks(ProgramState& state, const BlockFilter& wanted) {
    TransferState& t = state.Transfer;
    CommandLink& link = state.Link;
    LineState& lines = state.Lines;
    const std::int32_t deviceEnd = state.Window.DeviceEnd;
    if (Selected(state).Setup == LineSetup::Mode875X)
        EnterProgramMode875X(state);
    else
        EnterReadMode(state);

    do {
        if (wanted && !wanted(t.DeviceAddress)) {
            t.DeviceAddress += kProgramBlockData;
            t.BufferIndex += kProgramBlockData;
            if (t.DeviceAddress > deviceEnd) t.StopFlag = TransferStop::EndReached;
            continue;
        }
        ShowProgress(state, t.DeviceAddress);
        SetAddressLatches(state);

        // Bytes of the block that lie past DeviceEnd and past the buffer go
        // out as erased bytes; a byte inside the range but past the buffer
        // stops the run before anything of this block is written.
        std::uint8_t* tx = state.D2XX.TxBuffer.data();
        bool inBuffer = true;
        for (int j = 0; j < kProgramBlockData; ++j) {
            const std::int64_t position = static_cast<std::int64_t>(t.BufferIndex) + j;
            if (DataBuffer::Contains(position)) {
                tx[8 + j] = state.Buffer[static_cast<std::int32_t>(position)];
            } else if (static_cast<std::int64_t>(t.DeviceAddress) + j > deviceEnd) {
                tx[8 + j] = state.Selection.BlankValue();
            } else {
                inBuffer = false;
                break;
            }
        }
        if (!inBuffer) {
            t.StopFlag = TransferStop::Stopped;
            break;
        }

        tx[0] = ProgramBlock;
        tx[1] = static_cast<std::uint8_t>(state.Selection.Row->Code());
        tx[2] = static_cast<std::uint8_t>(t.DeviceAddress & 0xFF);
        tx[3] = static_cast<std::uint8_t>((t.DeviceAddress >> 8) & 0xFF);
        tx[4] = lines.HighModeByte;
        tx[5] = lines.ControlByte;
        tx[6] = lines.VppCtl1;
        t.DeviceAddress += kProgramBlockData;
        t.BufferIndex += kProgramBlockData;

        link.PacketLength = kProgramBlockLength;
        bool answered = false;
        if (WritePacket(state, kProgramBlockLength))
            answered = link.AwaitReplyBytes(kReplyHead, BlockProgramMs(Selected(state))) >=
                       static_cast<DWORD>(kReplyHead);

        if (!answered || state.D2XX.ReplyBuffer[6] == 0xFF) t.StopFlag = TransferStop::Stopped;
        // Strictly past the end: a range one byte longer than whole blocks
        // still gets the block that holds DeviceEnd.
        if (t.DeviceAddress > deviceEnd) t.ReachEnd();
    } while (!t.Ended());
    link.PacketLength = 8;
}

} // namespace velmar

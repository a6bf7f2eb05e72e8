// Device operations against a virtual programmer that misbehaves: silent,
// short, split and failing replies, short writes and an unplugged cable.

#include <gtest/gtest.h>

#include "VirtualRig.h"
#include "devices/AccessSequences.h"
#include "devices/DeviceOperations.h"

namespace velmar::test {
namespace {

// Packets of an 875X read: idle, voltage, set-up, then per block its
// latches and its request.
long ReadRequest(int block) {
    return VirtualProgrammer::Instance().PacketCount() + 3 + 2 * block + 2;
}

// An 87C58H whose chip and buffer hold the same varied image, so any byte
// taken from a stale reply shows up as a difference.
struct Prepared : VirtualRig {
    Prepared() : VirtualRig(12) {
        auto& chip = Vp().Chip();
        for (int a = 0; a < 0x8000; ++a) {
            const auto v = static_cast<std::uint8_t>(a * 31 + (a >> 8));
            chip[static_cast<std::size_t>(a)] = v;
            S().Buffer[a] = v;
        }
    }
};

TEST(Faults, TimeOutInTheMiddleOfARead) {
    Prepared rig;
    rig.Vp().SetNoReplyAt(ReadRequest(2));
    tasks::Verify(rig.S());
    EXPECT_EQ(rig.Count(ReadBlock), 3);
    EXPECT_TRUE(rig.panel.differences.empty()); // nothing of the missing block compared
    EXPECT_EQ(rig.panel.Status(), "Verify Stopped at 1000....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    ASSERT_FALSE(rig.panel.linkLosses.empty());
    EXPECT_EQ(rig.panel.linkLosses[0], (test::RecordedLinkLoss{0, 5}));

    Prepared move;
    move.S().Buffer.Fill(0x00);
    move.Vp().SetNoReplyAt(ReadRequest(1));
    tasks::Read(move.S());
    EXPECT_EQ(move.panel.Status(), "Move Device Stopped at 0800....");
    EXPECT_EQ(move.panel.LastSucceeded(), false);
    EXPECT_EQ(move.S().Buffer[0x07FF], move.Vp().Chip()[0x07FF]);
    EXPECT_EQ(move.S().Buffer[0x0800], 0x00); // not stored from the stale reply
}

TEST(Faults, AShortReplyStopsTheRunUnused) {
    Prepared rig;
    rig.Vp().SetShortReply(ReadRequest(0), 1);
    tasks::BlankCheck(rig.S());
    EXPECT_TRUE(rig.panel.differences.empty());
    EXPECT_EQ(rig.panel.Status(), "Blank Check Stopped at 0000....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    EXPECT_EQ(rig.Count(ReadBlock), 1);
}

TEST(Faults, ASplitReplyIsReadWhole) {
    Prepared rig;
    rig.Vp().SetSplitEvery(4);
    tasks::Verify(rig.S());
    EXPECT_TRUE(rig.panel.differences.empty());
    EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
    EXPECT_TRUE(rig.Vp().Faults().empty()) << rig.Vp().Faults().front();

    VirtualRig program(20);
    program.Vp().SetSplitEvery(4);
    program.S().AutoVerify = false;
    tasks::Program(program.S());
    EXPECT_EQ(program.panel.Status(), "Eprom is Programmed...............");
    EXPECT_EQ(program.Count(ProgramBlock), 32);
    EXPECT_TRUE(program.Vp().Faults().empty()) << program.Vp().Faults().front();
}

TEST(Faults, UnpluggedMidVerify) {
    Prepared rig;
    rig.Vp().SetUnplugFrom(ReadRequest(1));
    tasks::Verify(rig.S());
    // No byte is compared, and the closing idle is not sent to the cable
    // that is gone.
    EXPECT_TRUE(rig.panel.report.empty()) << rig.panel.report.front();
    EXPECT_EQ(rig.panel.Status(), "Verify Stopped at 0800....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    ASSERT_FALSE(rig.panel.linkLosses.empty());
    EXPECT_EQ(rig.panel.linkLosses.back(), (test::RecordedLinkLoss{4, 0}));
}

TEST(Faults, AFailingBlockStopsProgramming) {
    VirtualRig rig(10);
    rig.Vp().SetFailBlock(0x0300);
    tasks::Program(rig.S());
    EXPECT_EQ(rig.Count(ProgramBlock), 4);
    EXPECT_EQ(rig.Count(ReadBlock), 0);
    EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    EXPECT_EQ(rig.S().Link.PacketLength, 8);
}

// A short write is reported and the run goes on. The programmer drops a
// piece, so the packet cut here is one whose reply is not awaited: the
// second SetLatches, which carries the first block's data.
TEST(Faults, AShortBlockWriteIsReported) {
    VirtualRig rig(10);
    rig.S().AutoVerify = false;
    // Idle, voltage, set-up, latches, the first block, then the latches.
    rig.Vp().SetShortWrite(rig.Vp().PacketCount() + 6);
    tasks::Program(rig.S());
    const Lines sent = rig.Trace(true);
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(sent[5].substr(0, 3), "92 ");
    EXPECT_EQ(sent[5].substr(sent[5].size() - 5), " +124"); // half of 264 bytes taken
    ASSERT_FALSE(rig.panel.report.empty());
    EXPECT_EQ(rig.panel.report.back(), "USB Device Write TimeOut ...");
    EXPECT_EQ(rig.Count(ProgramBlock), 32); // the run goes on
}

TEST(Sequences, ProgramBlockFailureOnTheLastBlockLeavesSix) {
    VirtualRig rig(20);
    rig.Vp().SetFailBlock(0x1F00);
    EnterProgramMode875X(rig.S());
    rig.S().Transfer = {0, 0, TransferStop::Running};
    ProgramBlocks(rig.S());
    EXPECT_EQ(rig.S().Transfer.StopFlag, TransferStop::Stopped);

    VirtualRig ok(20);
    EnterProgramMode875X(ok.S());
    ok.S().Transfer = {0, 0, TransferStop::Running};
    ProgramBlocks(ok.S());
    EXPECT_EQ(ok.S().Transfer.StopFlag, TransferStop::EndReached);
}

TEST(Security, AnUnansweredPulseEndsItsWaitAndTheSequenceGoesOn) {
    VirtualRig rig(21);
    rig.Vp().SetNoReplyTo(PulseCommand);
    OfferLockBits(rig.S());
    TakeLockBitChoice(rig.S(), 1);
    EXPECT_EQ(rig.Count(PulseCommand), 1);
    Lines latches;
    for (const auto& l : rig.Trace())
        if (l.rfind("94 ", 0) == 0) latches.push_back(l);
    ASSERT_FALSE(latches.empty());
    EXPECT_EQ(latches.back(), "94 3F F7 00 00 00 00 CA"); // the lines back to idle
    EXPECT_EQ(rig.panel.linkLosses.at(0), (test::RecordedLinkLoss{0, 5}));
    // The bit may not be set: the operation fails.
    EXPECT_EQ(rig.panel.Status(), "Security Bit #2 was NOT programmed....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
}

} // namespace
} // namespace velmar::test

// The device operations against the virtual programmer, found the way the
// window finds a programmer.

#include <gtest/gtest.h>

#include "VirtualRig.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "tests/support/TraceFixture.h"
#include "virtual/SocketChip.h"

namespace velmar::test {
namespace {

TEST(OnVirtual, TheKnownTracesOfVerifyProgramAndReadSetUp) {
    VirtualRig c52(10);
    ASSERT_EQ(c52.S().Link.LinkState, LinkState::Answered);
    c52.S().Buffer.Fill(0xFF);
    tasks::Verify(c52.S());
    const Lines verify = c52.Trace();
    ASSERT_GE(verify.size(), 10u);
    EXPECT_EQ(Lines(verify.begin() + 1, verify.begin() + 10), TraceFixture("87c52h-verify.trace"));
    EXPECT_EQ(c52.panel.Status(), "Device Verified to Buffer....");
    EXPECT_TRUE(c52.Vp().Faults().empty());

    VirtualRig s52(20);
    s52.S().AutoVerify = false;
    tasks::Program(s52.S());
    const Lines program = s52.Trace();
    ASSERT_GE(program.size(), 66u);
    EXPECT_EQ(Lines(program.begin() + 1, program.begin() + 66),
              TraceFixture("89c52-program.trace"));
    EXPECT_EQ(s52.panel.Status(), "Eprom is Programmed...............");
    EXPECT_TRUE(s52.Vp().Faults().empty());

    VirtualRig c48(3);
    tasks::BlankCheck(c48.S());
    const Lines setUp = c48.Trace();
    ASSERT_GE(setUp.size(), 7u);
    EXPECT_EQ(Lines(setUp.begin(), setUp.begin() + 7), TraceFixture("8748-read-setup.trace"));
    EXPECT_EQ(c48.panel.Status(), "Device is Erased....");
}

// Program with automatic verify, then read back into another buffer place:
// the chip holds exactly the buffer, for every device of families 2 to 6.
TEST(OnVirtual, EveryBlockDeviceProgramsVerifiesAndReadsBack) {
    for (int row = 0; row < kCatalogueRows; ++row) {
        const CatalogueRow& r = DeviceCatalogue()[static_cast<std::size_t>(row)];
        if (!r.IsDevice || r.Can().ProgramsBytewise) continue;
        SCOPED_TRACE(std::string(r.Caption));
        VirtualRig rig(row);
        rig.Image(static_cast<std::uint32_t>(row));
        if (r.Family == Family::P874X) // 874X EPROMs are erased to 0x00 and only gain bits
            for (int a = 0; a <= r.DeviceEnd; ++a) rig.S().Buffer[a] |= 0x01;
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
        EXPECT_EQ(rig.panel.LastSucceeded(), true);
        const auto& chip = rig.Vp().Chip();
        ASSERT_GE(chip.size(), static_cast<std::size_t>(r.DeviceEnd + 1));
        for (int a = 0; a <= r.DeviceEnd; ++a) ASSERT_EQ(chip[static_cast<std::size_t>(a)], rig.S().Buffer[a]) << a;

        rig.S().Window.BufferStart = 0x8000;
        tasks::Read(rig.S());
        for (int a = 0; a <= r.DeviceEnd; ++a) ASSERT_EQ(rig.S().Buffer[0x8000 + a], rig.S().Buffer[a]) << a;
        EXPECT_TRUE(rig.Vp().Faults().empty()) << rig.Vp().Faults().front();
    }
}

TEST(OnVirtual, BytewiseProgrammingOf8741) {
    VirtualRig rig(1);
    rig.Image(7);
    tasks::Program(rig.S());
    EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
    for (int a = 0; a < 0x400; ++a) ASSERT_EQ(rig.Vp().Chip()[static_cast<std::size_t>(a)], rig.S().Buffer[a]) << a;
    int latches = 0;
    for (const auto& l : rig.Trace()) latches += l.rfind("94 ", 0) == 0;
    EXPECT_EQ(latches, 5 + 1 + 1024 * 10 + 5); // set-up, 0x5F, the bytes, the verify's set-up
}

TEST(OnVirtual, EraseThenBlankCheckAndLockBits) {
    for (int row : {24, 21}) {
        SCOPED_TRACE(row);
        VirtualRig rig(row);
        rig.Image(3);
        rig.S().AutoVerify = false;
        tasks::Program(rig.S());
        tasks::BlankCheck(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device is NOT Erased....");
        tasks::Erase(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device has been Erase, Do a Blank Check........");
        tasks::BlankCheck(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device is Erased....");
        for (int k = 0; k < 3; ++k) {
            OfferLockBits(rig.S());
            TakeLockBitChoice(rig.S(), k);
            EXPECT_EQ(rig.Vp().LockBits() & (1 << k), 1 << k);
        }
        EXPECT_TRUE(rig.Vp().Faults().empty()) << rig.Vp().Faults().front();
    }
    VirtualRig eprom(14);
    OfferLockBits(eprom.S());
    TakeLockBitChoice(eprom.S(), 2);
    EXPECT_EQ(eprom.Vp().LockBits(), LockBit3);
    EXPECT_TRUE(eprom.Vp().Faults().empty()) << eprom.Vp().Faults().front();
}

TEST(OnVirtual, FaultsFromTheProgrammer) {
    {
        VirtualRig rig(20);
        rig.Vp().SetFailBlock(0x1F00);
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
        EXPECT_EQ(rig.S().Link.PacketLength, 8);
    }
    {
        VirtualRig rig(12);
        rig.S().Buffer.Fill(0xFF);
        rig.Vp().SetSplitReply(rig.Vp().PacketCount() + 5, 100, 20);
        tasks::Verify(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
    }
    {
        VirtualRig rig(12);
        rig.S().Buffer.Fill(0xFF);
        // Idle, voltage, set-up, then per block its latches and its request:
        // the fourth request (0x1800) goes unanswered.
        rig.Vp().SetNoReplyFrom(rig.Vp().PacketCount() + 3 + 2 * 3 + 2);
        tasks::Verify(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Verify Stopped at 1800....");
        EXPECT_EQ(rig.panel.LastSucceeded(), false);
    }
    {
        VirtualRig rig(12);
        rig.S().Buffer.Fill(0xFF);
        rig.Vp().SetUnplugFrom(rig.Vp().PacketCount() + 4 + 2);
        tasks::Verify(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Verify Stopped at 0800....");
        // Nothing unread is compared, and nothing is written to the cable
        // that is gone, so no write times out.
        EXPECT_TRUE(rig.panel.report.empty()) << rig.panel.report.front();
        EXPECT_EQ(rig.panel.unplugged,
                  (Lines{"the programmer was unplugged at block 0800: the part was not changed; "
                         "it was read up to 07FF only"}));
    }
}

// A programmer that stops answering, or is unplugged, inside an operation or
// at the idle command that closes it, makes the operation a failure.
TEST(OnVirtual, AFailedLinkFailsTheOperation) {
    {
        VirtualRig rig(24);
        rig.Vp().SetUnplugFrom(rig.Vp().PacketCount() + 3);
        tasks::Erase(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device was NOT Erased........");
        EXPECT_EQ(rig.panel.LastSucceeded(), false);
        EXPECT_TRUE(rig.S().FailFlag);
    }
    {
        VirtualRig rig(24); // the opening idle is not answered: nothing else is sent
        rig.Vp().SetNoReplyFrom(rig.Vp().PacketCount() + 1);
        tasks::Erase(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device was NOT Erased........");
        const Lines sent = rig.Trace(true);
        ASSERT_EQ(sent.size(), 2u);
        for (const auto& line : sent) EXPECT_EQ(line.substr(0, 3), "24 ");
    }
    for (int k = 0; k < 3; ++k) {
        VirtualRig rig(21);
        rig.Vp().SetNoReplyFrom(rig.Vp().PacketCount() + 2);
        OfferLockBits(rig.S());
        TakeLockBitChoice(rig.S(), k);
        EXPECT_EQ(rig.panel.Status(),
                  "Security Bit #" + std::to_string(k + 1) + " was NOT programmed....");
        EXPECT_EQ(rig.panel.LastSucceeded(), false);
        // Not first said to be programmed: the pulses' replies were still owed.
        for (const std::string& sentence : rig.panel.statuses)
            EXPECT_EQ(sentence.find("has been programmed"), std::string::npos) << sentence;
    }
    {
        // With the timing model on no reply is there at once; a whole run,
        // its closing idle included, still passes.
        VirtualRig rig(20);
        rig.Vp().SetTiming(true);
        rig.S().Buffer.Fill(0xFF); // few bytes to program: a short run
        for (int a = 0; a < 0x2000; a += 0x155) rig.S().Buffer[a] = static_cast<std::uint8_t>(a);
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
        EXPECT_EQ(rig.panel.LastSucceeded(), true);
        EXPECT_TRUE(rig.panel.diagnostics.empty());
    }
    // Only the closing idle goes unanswered: every byte verified, still a failure.
    long packets = 0;
    {
        VirtualRig clean(10);
        clean.S().Buffer.Fill(0xFF);
        const long before = clean.Vp().PacketCount();
        tasks::Verify(clean.S());
        EXPECT_EQ(clean.panel.Status(), "Device Verified to Buffer....");
        packets = clean.Vp().PacketCount() - before;
    }
    VirtualRig rig(10);
    rig.S().Buffer.Fill(0xFF);
    rig.Vp().SetNoReplyAt(rig.Vp().PacketCount() + packets);
    tasks::Verify(rig.S());
    EXPECT_EQ(rig.Trace(true).back().substr(0, 3), "24 ");
    EXPECT_TRUE(rig.panel.differences.empty());
    EXPECT_EQ(rig.panel.Status(), "Device Did NOT Verify to Buffer....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
}

// A reply longer than awaited is drained before the next request: no later
// block is shifted, the virtual programmer records no stale read, and the
// operation fails because the programmer said more than it should.
TEST(OnVirtual, ALongReplyNeverShiftsLaterBlocks) {
    std::vector<std::uint8_t> image(0x8000);
    for (std::size_t a = 0; a < image.size(); ++a)
        image[a] = static_cast<std::uint8_t>(a * 7 + (a >> 9));
    // Idle, voltage, set-up, then per block its latches and its request.
    auto blockRequest = [](VirtualRig& rig, int block) {
        return rig.Vp().PacketCount() + 3 + 2 * block + 2;
    };
    {
        VirtualRig rig(12);
        rig.Vp().Chip() = image;
        rig.Vp().SetLongReply(blockRequest(rig, 1), 5);
        tasks::Read(rig.S());
        for (int a = 0; a < 0x8000; ++a)
            ASSERT_EQ(rig.S().Buffer[a], image[static_cast<std::size_t>(a)]) << a;
        EXPECT_EQ(rig.panel.Status(), "Move Device Stopped at 8000....");
        EXPECT_EQ(rig.panel.LastSucceeded(), false);
        EXPECT_EQ(rig.panel.diagnostics.at(0), "Reply longer than awaited ... Extra-5");
        EXPECT_TRUE(rig.Vp().Faults().empty()) << rig.Vp().Faults().front();
    }
    {
        VirtualRig rig(12);
        rig.Vp().Chip() = image;
        for (int a = 0; a < 0x8000; ++a) rig.S().Buffer[a] = image[static_cast<std::size_t>(a)];
        rig.Vp().SetLongReply(blockRequest(rig, 0));
        tasks::Verify(rig.S());
        EXPECT_TRUE(rig.panel.differences.empty()); // no byte compared out of place
        EXPECT_EQ(rig.panel.Status(), "Device Did NOT Verify to Buffer....");
        EXPECT_TRUE(rig.Vp().Faults().empty()) << rig.Vp().Faults().front();
    }
    {
        VirtualRig rig(20); // a program block's acknowledgement
        rig.Image(5);
        rig.Vp().SetLongReply(rig.Vp().PacketCount() + 5);
        tasks::Program(rig.S());
        EXPECT_EQ(rig.Trace()[3], "41 05 00 00 40 FF 3F C4 +256");
        EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
        for (int a = 0; a < 0x2000; ++a)
            ASSERT_EQ(rig.Vp().Chip()[static_cast<std::size_t>(a)], rig.S().Buffer[a]) << a;
        EXPECT_TRUE(rig.Vp().Faults().empty()) << rig.Vp().Faults().front();
    }
}

} // namespace
} // namespace velmar::test

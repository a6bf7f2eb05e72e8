#include <gtest/gtest.h>

#include "FakeProgrammer.h"
#include "devices/AccessSequences.h"
#include "devices/DeviceOperations.h"
#include "devices/OperationFrame.h"
#include "tests/support/TraceFixture.h"

namespace velmar::test {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> Without(const Lines& trace, std::uint8_t command) {
    Lines out;
    for (const auto& l : trace)
        if (l.rfind(HexText(command, 2) + " ", 0) != 0) out.push_back(l);
    return out;
}

TEST(Sequences, VerifyOf87C52HSendsTheKnownPackets) {
    Rig rig;
    rig.Select(10);
    tasks::Verify(rig.S());
    const Lines trace = Without(rig.fake.Trace(), IdleCommand);
    ASSERT_GE(trace.size(), 10u);
    EXPECT_EQ(trace[0], "90 3F B0 00 00 00 00 7F");
    EXPECT_EQ(Lines(trace.begin() + 1, trace.end()), TraceFixture("87c52h-verify.trace"));
    EXPECT_EQ(rig.sleeps, (std::vector<int>{100}));
}

TEST(Sequences, ProgramOf89C52SendsTheKnownPacketsAndWholeBlocks) {
    Rig rig;
    rig.Select(20);
    rig.S().AutoVerify = false;
    for (int i = 0; i < 0x2000; ++i) rig.S().Buffer[i] = static_cast<std::uint8_t>(i * 7);
    tasks::Program(rig.S());
    const Lines trace = Without(rig.fake.Trace(), IdleCommand);
    EXPECT_EQ(trace[0].substr(0, 5), "90 3F");
    // From the second block on the line packet carries the previous block's data.
    EXPECT_EQ(Lines(trace.begin() + 1, trace.end()), TraceFixture("89c52-program.trace"));
    EXPECT_EQ(rig.fake.Count(ProgramBlock), 32);
    EXPECT_EQ(rig.S().Link.PacketLength, 8);
    // The second SetLatches holds the first block's data in bytes 8 onwards.
    const auto& latches = rig.fake.packets[5];
    ASSERT_EQ(latches.size(), 264u);
    EXPECT_TRUE(std::equal(latches.begin() + 8, latches.end(), rig.S().Buffer.data()));
    for (int i = 0; i < 0x2000; ++i) ASSERT_EQ(rig.fake.chip[i], rig.S().Buffer[i]) << i;
    EXPECT_EQ(rig.panel.Status(), "Eprom is Programmed...............");
    EXPECT_EQ(rig.panel.LastSucceeded(), true);
}

TEST(Sequences, ReadSetUpOf8748) {
    Rig rig;
    rig.Select(3);
    EnterReadMode(rig.S());
    EXPECT_EQ(rig.fake.Trace(), TraceFixture("8748-read-setup.trace"));
    EXPECT_EQ(rig.sleeps, (std::vector<int>{50, 30, 100}));
}

TEST(Sequences, AddressLatchesEncodeEveryHighBit) {
    Rig rig;
    rig.Select(12); // 87C58H
    for (std::int32_t a : {0x0000, 0x0123, 0x0F00, 0x1000, 0x2000, 0x4000, 0x7FFF, 0x5A5A}) {
        rig.S().Transfer.DeviceAddress = a;
        rig.fake.packets.clear();
        SetAddressLatches(rig.S());
        ASSERT_EQ(rig.fake.packets.size(), 1u);
        EXPECT_EQ(FakeProgrammer::LatchedAddress(rig.fake.packets[0]), a) << std::hex << a;
        EXPECT_EQ(rig.panel.ProgressValues(ProgressOf::Device).back(), a);
    }
    // 874X parts send no address lines, only the progress.
    rig.Select(5);
    rig.S().Transfer.DeviceAddress = 0x321;
    SetAddressLatches(rig.S());
    EXPECT_TRUE(rig.fake.packets.empty());
    EXPECT_EQ(rig.panel.ProgressValues(ProgressOf::Device).back(), 0x0321);
}

TEST(Sequences, ReadOf87C58HAsksSixteenBlocks) {
    Rig rig;
    rig.Select(12);
    tasks::Read(rig.S());
    EXPECT_EQ(rig.fake.Count(ReadBlock), 16);
    EXPECT_EQ(rig.panel.Status(), "Device Has Been Moved to Buffer....");
}

TEST(Sequences, Family0ReadsWithFamilyCodeZeroAndNoSetUp) {
    Rig rig;
    rig.S().Window.DeviceEnd = 0x07FF; // fresh state: family 0, setting 1
    for (int i = 0; i < 0x800; ++i) rig.fake.chip[i] = static_cast<std::uint8_t>(i);
    tasks::Read(rig.S());
    const Lines trace = Without(rig.fake.Trace(), IdleCommand);
    EXPECT_EQ(trace, TraceFixture("family0-read.trace"));
    EXPECT_EQ(rig.sleeps, (std::vector<int>{100}));
    EXPECT_EQ(rig.S().Buffer[0x7FF], 0xFF);
    EXPECT_EQ(rig.S().Buffer[0x123], 0x23);
}

TEST(Sequences, ProgramBlocksRunPastDeviceEnd) {
    Rig rig;
    rig.Select(3); // 8748: family 2, DeviceEnd 0x3FF
    rig.S().AutoVerify = false;
    rig.S().Window.DeviceStart = 0x0010;
    tasks::Program(rig.S());
    const Lines blocks = rig.fake.TraceOf(ProgramBlock);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[3].substr(0, 15), "41 02 10 03 00 ");
    EXPECT_EQ(rig.panel.Status(), "Eprom is Programmed...............");

    // One byte more than whole blocks still gets the block holding DeviceEnd.
    Rig more;
    more.Select(20);
    more.S().AutoVerify = false;
    more.S().Window.DeviceEnd = 0x0100;
    more.S().Buffer[0x100] = 0x5A;
    tasks::Program(more.S());
    EXPECT_EQ(more.fake.Count(ProgramBlock), 2);
    EXPECT_EQ(more.fake.chip[0x100], 0x5A);
}

TEST(Sequences, BytewiseProgrammingOf8741) {
    Rig rig;
    rig.Select(1);
    rig.S().AutoVerify = false;
    for (int i = 0; i < 0x400; ++i) rig.S().Buffer[i] = static_cast<std::uint8_t>(0x80 + i);
    tasks::Program(rig.S());
    const Lines trace = Without(rig.fake.Trace(), IdleCommand);
    // Voltage, the 874X set-up (5 latches and SetLatches), 0x5F idle, then 10 per byte;
    // the latch packets keep bytes 3 to 6 of the set-up's SetLatches.
    ASSERT_EQ(trace.size(), 1u + 6u + 1u + 1024u * 10u);
    EXPECT_EQ(trace[7], "94 5F 07 A8 B0 0F B0 11");
    const Lines byte0x123 = Lines(trace.begin() + 8 + 0x123 * 10, trace.begin() + 8 + 0x124 * 10);
    EXPECT_EQ(byte0x123, TraceFixture("8741-program-byte-0123.trace"));
    // A 30 ms pulse per byte after the set-up waits.
    ASSERT_EQ(rig.sleeps.size(), 3u + 1024u + 1u);
    EXPECT_EQ(rig.SleptMs(), 50 + 30 + 100 + 1024 * 30 + 100);
    // What Quit shows: where each operation starts, then the steps.
    std::vector<std::int64_t> progress = rig.panel.ProgressValues(ProgressOf::OperationStart);
    for (std::int64_t value : rig.panel.ProgressValues(ProgressOf::Device))
        progress.push_back(value);
    // A counter every 16 bytes, 0010 to 03F0 besides the frame's 0000.
    EXPECT_NE(std::find(progress.begin(), progress.end(), 0x03F0), progress.end());
    EXPECT_EQ(std::find(progress.begin(), progress.end(), 0x03F1), progress.end());
    EXPECT_EQ(std::count_if(progress.begin(), progress.end(),
                            [](std::int64_t c) { return c % 16 == 0 && c != 0; }),
              63);
    EXPECT_EQ(rig.panel.Status(), "Eprom is Programmed...............");
}

TEST(Sequences, WithoutAProgrammerNothingIsWrittenAndNothingSucceeds) {
    Rig rig;
    rig.Select(20);
    rig.S().Link.LinkState = LinkState::Closed;
    tasks::Verify(rig.S());
    EXPECT_EQ(rig.panel.Status(), "Verify Stopped at 0000....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    tasks::Program(rig.S());
    EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    EXPECT_TRUE(rig.fake.packets.empty());

    Rig bytewise;
    bytewise.Select(1);
    bytewise.S().Link.LinkState = LinkState::Closed;
    tasks::Program(bytewise.S());
    EXPECT_EQ(bytewise.panel.Status(), "Eprom DID NOT Program.............");
    EXPECT_TRUE(bytewise.fake.packets.empty());
    EXPECT_EQ(bytewise.sleeps, (std::vector<int>{100})); // no 30 s of pulses into nowhere
}

} // namespace
} // namespace velmar::test

#include <gtest/gtest.h>

#include "FakeProgrammer.h"
#include "devices/AccessSequences.h"
#include "devices/DeviceOperations.h"

namespace velmar::test {
namespace {

// An 87C58H whose chip and buffer hold the same varied image, so any byte
// taken from a stale reply shows up as a difference.
void Prepare(Rig& rig) {
    rig.Select(12);
    for (int a = 0; a < 0x8000; ++a) {
        const auto v = static_cast<std::uint8_t>(a * 31 + (a >> 8));
        rig.fake.chip[a] = v;
        rig.S().Buffer[a] = v;
    }
}

TEST(Faults, QuitFromAPumpedEvent) {
    Rig rig;
    Prepare(rig);
    rig.S().Buffer[0x0005] ^= 0xFF; // one difference before the stop stays listed
    rig.panel.onPump = [&] {
        if (rig.fake.Count(ReadBlock) == 2) rig.S().Transfer.StopFlag = TransferStop::Stopped;
    };
    tasks::Verify(rig.S());
    EXPECT_EQ(rig.fake.Count(ReadBlock), 2);
    ASSERT_EQ(rig.panel.differences.size(), 1u);
    EXPECT_EQ(rig.panel.differences[0].address, 0x0005);
    EXPECT_EQ(rig.panel.Status(), "Verify Stopped at 0801....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);

    Rig program;
    program.Select(12);
    program.panel.onPump = [&] {
        if (program.fake.Count(ProgramBlock) == 3)
            program.S().Transfer.StopFlag = TransferStop::Stopped;
    };
    tasks::Program(program.S());
    EXPECT_EQ(program.fake.Count(ProgramBlock), 3); // stops after the current block
    EXPECT_EQ(program.fake.Count(ReadBlock), 0);    // and no verify follows
    EXPECT_EQ(program.panel.Status(), "Eprom DID NOT Program.............");
    EXPECT_EQ(program.panel.LastSucceeded(), false);
}

TEST(Faults, TheBufferEndStopsEveryRun) {
    Rig verify;
    Prepare(verify);
    verify.S().Window.BufferStart = 0xC000; // device 0x4000 would be buffer 0x10000
    for (int a = 0; a < 0x4000; ++a) verify.S().Buffer[0xC000 + a] = verify.fake.chip[a];
    tasks::Verify(verify.S());
    EXPECT_TRUE(verify.panel.differences.empty());
    EXPECT_EQ(verify.panel.Status(), "Verify Stopped at 4000....");
    EXPECT_EQ(verify.panel.LastSucceeded(), false);

    Rig move;
    Prepare(move);
    move.S().Window.BufferStart = 0xC000;
    tasks::Read(move.S());
    EXPECT_EQ(move.panel.Status(), "Move Device Stopped at 4000....");
    EXPECT_EQ(move.S().Buffer[0xFFFF], move.fake.chip[0x3FFF]);

    Rig program;
    Prepare(program);
    program.S().Window.BufferStart = 0xC000;
    tasks::Program(program.S());
    EXPECT_EQ(program.fake.Count(ProgramBlock), 0x40); // never reads past 0xFFFF
    EXPECT_EQ(program.panel.Status(), "Eprom DID NOT Program.............");

    // Program Compare reads the buffer at the device address itself.
    Rig none;
    none.S().Window.DeviceEnd = 0xFFFFF; // no device: family 0, the whole range
    none.S().Window.BufferStart = 0;
    none.S().Buffer.Fill(0x00);
    tasks::Compare(none.S());
    EXPECT_EQ(none.panel.Status(), "Program Compare Stopped at 10000....");
    EXPECT_EQ(none.fake.Count(ReadBlock), 0x10000 / 2048 + 1);
}

TEST(Faults, TheLastBlockPastTheBufferOnlyCarriesErasedFill) {
    Rig rig;
    rig.Select(3); // 8748: blank 0x00, DeviceEnd 0x3FF
    rig.S().AutoVerify = false;
    rig.S().Window.DeviceStart = 0x0010;
    rig.S().Window.BufferStart = 0xFC10; // 0x10..0x3FF fills the buffer to its end
    rig.S().Buffer[0xFFFF] = 0x77;
    tasks::Program(rig.S());
    ASSERT_EQ(rig.fake.Count(ProgramBlock), 4);
    EXPECT_EQ(rig.fake.chip[0x3FF], 0x77);
    EXPECT_EQ(rig.fake.chip[0x400], 0x00);
    EXPECT_EQ(rig.fake.chip[0x40F], 0x00);
    EXPECT_EQ(rig.panel.Status(), "Eprom is Programmed...............");
}

} // namespace
} // namespace velmar::test

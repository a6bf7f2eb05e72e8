// What the device tasks return: how they ended, where they stopped, the
// differing bytes they counted and the link faults they saw.

#include <gtest/gtest.h>

#include "VirtualRig.h"
#include "devices/Tasks.h"

namespace velmar::test {
namespace {

// An 87C58H (0000-7FFF) whose chip and buffer hold the same image.
struct Matched : VirtualRig {
    Matched() : VirtualRig(12) {
        Image(7);
        auto& chip = Vp().Chip();
        for (int a = 0; a < 0x8000; ++a)
            chip[static_cast<std::size_t>(a)] = S().Buffer[a];
    }
    // The read request of `block` in the run that starts next.
    static long ReadRequest(int block) { return Vp().PacketCount() + 3 + 2 * block + 2; }
};

TEST(TaskResults, ReadRunsCountAndSayWhereTheyStopped) {
    Matched same;
    OperationResult r = tasks::Verify(same.S());
    EXPECT_EQ(r.Outcome, TaskOutcome::Succeeded);
    EXPECT_EQ(r.StoppedAt, 0x8000);
    EXPECT_EQ(r.Differences, 0);
    EXPECT_EQ(r.LinkFaults, 0u);

    Matched differ;
    for (int a : {0x0010, 0x1234, 0x7FFF})
        differ.S().Buffer[a] ^= 0x5A;
    r = tasks::Verify(differ.S());
    EXPECT_EQ(r.Outcome, TaskOutcome::Failed);
    EXPECT_EQ(r.Differences, 3);
    EXPECT_EQ(r.Differences, static_cast<std::int64_t>(differ.panel.differences.size()));
    EXPECT_EQ(r.StoppedAt, 0x8000);

    Matched silent;
    silent.S().Buffer[0x0010] ^= 0x01;
    silent.Vp().SetNoReplyAt(Matched::ReadRequest(2));
    r = tasks::Verify(silent.S());
    EXPECT_EQ(r.Outcome, TaskOutcome::Stopped);
    EXPECT_EQ(r.StoppedAt, 0x1000);
    EXPECT_EQ(r.Differences, 1); // found before the stop
    EXPECT_GE(r.LinkFaults, 1u);

    Matched move;
    move.Vp().SetNoReplyAt(Matched::ReadRequest(1));
    r = tasks::Read(move.S());
    EXPECT_EQ(r.Outcome, TaskOutcome::Stopped);
    EXPECT_EQ(r.StoppedAt, 0x0800);

    Matched blank;
    std::fill(blank.Vp().Chip().begin(), blank.Vp().Chip().end(), std::uint8_t{0xFF});
    r = tasks::BlankCheck(blank.S());
    EXPECT_EQ(r.Outcome, TaskOutcome::Succeeded);
    EXPECT_EQ(r.Differences, 0);
}

TEST(TaskResults, ARefusalFailsWithoutCountingAsAStop) {
    Matched compare;
    compare.Vp().Chip()[0x0100] = 0x00;
    compare.S().Buffer[0x0100] = 0xFF;
    const OperationResult refused = tasks::Compare(compare.S());
    EXPECT_EQ(refused.Outcome, TaskOutcome::Failed);
    EXPECT_EQ(refused.LinkFaults, 0u);

    Matched program;
    std::fill(program.Vp().Chip().begin(), program.Vp().Chip().end(), std::uint8_t{0xFF});
    const OperationResult programmed = tasks::Program(program.S());
    EXPECT_EQ(programmed.Outcome, TaskOutcome::Succeeded);
    EXPECT_EQ(programmed.Differences, 0);
    EXPECT_EQ(programmed.StoppedAt, 0x8000);
}

} // namespace
} // namespace velmar::test

// Program blocks on the virtual programmer with its timing model on: a part
// that needs longer than the reply limit for a block is still waited for,
// and a stop inside that wait leaves nothing of the block's answer behind.
#include <gtest/gtest.h>

#include "VirtualRig.h"
#include "devices/DeviceOperations.h"

namespace velmar::test {
namespace {

constexpr int k87C51H = 9;

// Every byte of the first `bytes` leaves the erased value: each costs the
// part's whole programming time.
void WorstCaseImage(VirtualRig& rig, int bytes) {
    rig.S().Window.DeviceStart = 0;
    rig.S().Window.BufferStart = 0;
    rig.S().Window.DeviceEnd = bytes - 1;
    for (int a = 0; a < bytes; ++a)
        rig.S().Buffer[a] = static_cast<std::uint8_t>(a % 0xFE);
}

// The rig's reply limit is 300 ms; an 87C51H block takes 640 ms.
TEST(TimedProgramming, ABlockLongerThanTheReplyLimitIsAwaitedToItsEnd) {
    VirtualRig rig(k87C51H);
    rig.Vp().SetTiming(true);
    WorstCaseImage(rig, 0x100);
    tasks::Program(rig.S());
    EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
    EXPECT_EQ(rig.panel.LastSucceeded(), true);
    EXPECT_TRUE(rig.panel.linkLosses.empty());
    EXPECT_TRUE(rig.panel.diagnostics.empty());
    EXPECT_TRUE(rig.Vp().Faults().empty());
    for (int a = 0; a < 0x100; ++a)
        ASSERT_EQ(rig.Vp().Chip()[a], rig.S().Buffer[a]) << a;
}

// Quit ends the wait for the first block; the programmer finishes that block
// anyway, and its late answer is neither taken for the closing idle's nor
// found by the next operation.
TEST(TimedProgramming, QuitInsideABlockWaitsOutOnlyTheBlockTheProgrammerIsOn) {
    VirtualRig rig(k87C51H);
    rig.Vp().SetTiming(true);
    WorstCaseImage(rig, 0x200);
    bool pressed = false;
    rig.panel.onPump = [&] {
        if (!pressed && rig.Count(ProgramBlock) == 1) {
            pressed = true;
            rig.S().Transfer.StopFlag = TransferStop::Stopped;
        }
    };
    tasks::Program(rig.S());
    rig.panel.onPump = nullptr;
    EXPECT_TRUE(pressed);
    EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
    EXPECT_EQ(rig.Count(ProgramBlock), 1);
    EXPECT_EQ(rig.Trace(true).back().substr(0, 3), "24 ");
    EXPECT_TRUE(rig.panel.linkLosses.empty());
    EXPECT_EQ(rig.panel.diagnostics, Lines{"Late reply dropped ... Bytes-8"});
    EXPECT_TRUE(rig.Vp().Faults().empty());

    rig.S().Window.DeviceEnd = 0xFF;
    tasks::Verify(rig.S());
    EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
    EXPECT_EQ(rig.panel.diagnostics.size(), 1u);
    EXPECT_TRUE(rig.Vp().Faults().empty());
}

} // namespace
} // namespace velmar::test

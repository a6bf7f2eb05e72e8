// Packets, the send routine and the reply wait.

#include <gtest/gtest.h>

#include "LinkRig.h"

namespace velmar {
namespace {

using test::Fake;
using test::LinkRig;

using Bytes = std::vector<std::uint8_t>;

TEST(CommandPacket, ChecksumAndKeptArguments) {
    LinkRig rig;
    rig.link.LinkState = LinkState::Answered;
    rig.SetPacket({0x56, 0, 0, 0, 0, 0, 0, 0x99});
    Fake().Queue({0x56, 1, 23, 0, 0, 0, 0, 0x6E});
    rig.link.SendPacket();
    Fake().Queue({0xAA, 0x43, 0x12, 0x34, 0, 0, 0, 0x33});
    rig.SetPacket({0xAA, 0x43, 0, 0, 0, 0, 0});
    rig.link.SendPacket();
    ASSERT_EQ(Fake().writes.size(), 2u);
    EXPECT_EQ(Fake().writes[0], (Bytes{0x56, 0, 0, 0, 0, 0, 0, 0x56}));
    EXPECT_EQ(Fake().writes[1], (Bytes{0xAA, 0x43, 0, 0, 0, 0, 0, 0xED}));

    // A read block's bytes 3..6 stay in the next packets; the checksum
    // covers them.
    Fake().Queue({0x32});
    rig.SetPacket({0x32, 0x05, 0x10, 0x80, 0x00, 0x08, 0x00});
    rig.link.SendPacket();
    rig.link.WriteLatch(0x4F, 0x1234);
    rig.SetPacket({0x90, 0x3F, 0x30});
    rig.link.SendPacket();
    ASSERT_EQ(Fake().writes.size(), 5u);
    EXPECT_EQ(Fake().writes[3], (Bytes{0x94, 0x4F, 0x34, 0x80, 0x00, 0x08, 0x00, 0x9F}));
    EXPECT_EQ(Fake().writes[4], (Bytes{0x90, 0x3F, 0x30, 0x80, 0x00, 0x08, 0x00, 0x87}));
    EXPECT_EQ(CommandLink::PacketChecksum(Fake().writes[4].data()), 0x87);
}

TEST(SendPacket, LinkStateGatesSendingAndIdle) {
    LinkRig rig;
    rig.window.DeviceStart = 0x100;
    rig.window.BufferStart = 0x2000;
    rig.transfer = {0x345, 0x999, TransferStop::Stopped};

    rig.link.LinkState = LinkState::Closed;
    rig.SetPacket({0x56});
    rig.link.SendPacket();
    rig.link.SendIdle();
    EXPECT_TRUE(Fake().calls.empty());
    EXPECT_EQ(rig.transfer.DeviceAddress, 0x100);
    EXPECT_EQ(rig.transfer.BufferIndex, 0x2000);
    EXPECT_EQ(rig.transfer.StopFlag, TransferStop::Running);

    // State 1 sends packets, but not the idle command.
    rig.link.LinkState = LinkState::Opened;
    rig.transfer.StopFlag = TransferStop::Stopped;
    rig.link.SendIdle();
    EXPECT_TRUE(Fake().writes.empty());
    EXPECT_EQ(rig.transfer.StopFlag, TransferStop::Running);
    rig.link.WriteLatch(0x0F, 0x1FF);
    ASSERT_EQ(Fake().writes.size(), 1u);
    EXPECT_EQ(Fake().writes[0][2], 0xFF);

    rig.link.LinkState = LinkState::Answered;
    Fake().Queue({0x24, 0, 0, 0, 0, 0, 0, 0x24});
    rig.link.SendIdle();
    ASSERT_EQ(Fake().writes.size(), 2u);
    EXPECT_EQ(Fake().writes[1][0], 0x24);
    EXPECT_EQ(Fake().readCounts, (std::vector<DWORD>{8})); // the counted reply
}

TEST(SendPacket, OnlyCodesBelow80AreAwaited) {
    LinkRig rig;
    rig.link.LinkState = LinkState::Answered;
    for (std::uint8_t code : {0x80, 0x90, 0x92, 0x94, 0xAA, 0xFF}) {
        rig.SetPacket({code});
        rig.link.SendPacket();
    }
    EXPECT_EQ(Fake().writes.size(), 6u);
    EXPECT_EQ(Fake().Count("FT_GetQueueStatus"), 0);
    EXPECT_EQ(Fake().Count("FT_Read"), 0);

    Fake().Queue({0x7F, 0, 0, 0, 0, 0, 0, 0x7F});
    rig.SetPacket({0x7F});
    rig.link.SendPacket();
    EXPECT_EQ(Fake().Count("FT_Read"), 1);
}

TEST(SendPacket, LongPacketLengthAppliesToEverySend) {
    LinkRig rig;
    rig.link.LinkState = LinkState::Answered;
    for (int i = 8; i < 264; ++i)
        rig.d2xx.TxBuffer[i] = static_cast<std::uint8_t>(i);
    rig.link.PacketLength = 264;
    rig.SetPacket({0x92, 0, 0x10, 0x00, 0x40, 0xFF, 0x3F});
    rig.link.SendPacket();
    ASSERT_EQ(Fake().writes.size(), 1u);
    ASSERT_EQ(Fake().writes[0].size(), 264u);
    EXPECT_EQ(Fake().writes[0][7], 0x20);
    EXPECT_EQ(Fake().writes[0][8], 8);
    EXPECT_EQ(Fake().writes[0][263], 7); // 263 & 0xFF
}

TEST(AwaitReply, ReplyIsReadWholeAtTheStartOfTheBuffer) {
    LinkRig rig;
    rig.link.LinkState = LinkState::Answered;
    int turns = 0;
    // The reply shows up on the third turn.
    rig.panel.onPump = [&] {
        if (++turns == 3) Fake().Queue({0x48, 9, 8, 7, 6, 5, 0, 0x11});
    };
    rig.SetPacket({0x48});
    EXPECT_EQ(rig.link.SendPacket(), 8u);
    EXPECT_EQ(turns, 3);
    EXPECT_EQ(Fake().readCounts, (std::vector<DWORD>{8}));
    EXPECT_EQ(rig.d2xx.ReplyBuffer[1], 9);
    EXPECT_EQ(rig.d2xx.ReplyBuffer[7], 0x11);
    EXPECT_FALSE(rig.link.ReplyTimerRunning);
    EXPECT_TRUE(rig.panel.diagnostics.empty());
    EXPECT_EQ(rig.link.LinkFaults, 0u);
}

TEST(AwaitReply, QuitEndsTheWaitAtTheNextTurn) {
    LinkRig rig;
    rig.link.LinkState = LinkState::Answered;
    rig.link.ReplyTimeoutMs = 60000;
    rig.d2xx.ReplyBuffer[6] = 0x00;
    rig.d2xx.ReplyBuffer[1] = 0x42;
    int turns = 0;
    rig.panel.onPump = [&] {
        if (++turns == 5) rig.transfer.StopFlag = TransferStop::Stopped; // Quit pressed
    };
    rig.SetPacket({0x41});
    rig.link.SendPacket();
    EXPECT_EQ(turns, 5);
    EXPECT_EQ(Fake().Count("FT_Read"), 0);    // nothing queued, nothing read
    EXPECT_EQ(rig.d2xx.ReplyBuffer[1], 0x42); // nothing new arrived
    EXPECT_EQ(rig.d2xx.ReplyBuffer[6], 0x00);
    EXPECT_TRUE(rig.panel.diagnostics.empty());
    EXPECT_FALSE(rig.link.ReplyTimerRunning);

    // The flag stays up: the next wait ends on its first turn.
    rig.link.AwaitReply();
    EXPECT_EQ(turns, 6);
    EXPECT_EQ(Fake().Count("FT_Read"), 0);
    // Neither reply came: both waits count as link faults.
    EXPECT_EQ(rig.link.LinkFaults, 2u);
}

TEST(AwaitReply, TimeOutAndQueueFailureAreDiagnosed) {
    LinkRig rig;
    rig.link.LinkState = LinkState::Answered;
    rig.link.ReplyTimeoutMs = 30;
    rig.panel.diagnostics.push_back("older line");
    rig.SetPacket({0x56});
    rig.link.SendPacket();
    ASSERT_EQ(rig.panel.diagnostics.size(), 1u);
    ASSERT_EQ(rig.panel.linkLosses.size(), 1u);
    EXPECT_EQ(rig.panel.linkLosses.back(), (test::RecordedLinkLoss{0, 5}));
    EXPECT_EQ(rig.d2xx.ReplyBuffer[6], 0x55);
    EXPECT_EQ(rig.transfer.StopFlag, TransferStop::Stopped);
    EXPECT_EQ(rig.link.TimeoutFlag, 5);
    EXPECT_FALSE(rig.link.ReplyTimerRunning);
    EXPECT_EQ(Fake().Count("FT_Read"), 0);

    // A failing queue query ends the wait at once, without a time-out.
    LinkRig rig2;
    rig2.link.LinkState = LinkState::Answered;
    Fake().status["FT_GetQueueStatus"] = FT_IO_ERROR;
    rig2.link.AwaitReply();
    ASSERT_EQ(rig2.panel.diagnostics.size(), 0u);
    ASSERT_EQ(rig2.panel.linkLosses.size(), 1u);
    EXPECT_EQ(rig2.panel.linkLosses.back(), (test::RecordedLinkLoss{4, 0}));
    ASSERT_EQ(rig2.panel.boxes.size(), 1u);
    EXPECT_EQ(rig2.panel.boxes[0].text, "FT_GetQueueStatus - General IO Error...");
    EXPECT_EQ(rig2.d2xx.ReplyBuffer[6], 0x55);
    EXPECT_EQ(rig2.transfer.StopFlag, TransferStop::Running);
    EXPECT_EQ(Fake().Count("FT_Read"), 0);
}

TEST(AwaitReplyBytes, FullSplitAndShortReplies) {
    Bytes block(2056);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i ^ 0x5A);

    {
        LinkRig rig; // all at once
        Fake().Queue(block);
        EXPECT_EQ(rig.link.AwaitReplyBytes(2056), 2056u);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), rig.d2xx.ReplyBuffer.begin()));
        EXPECT_FALSE(rig.link.ReplyTimerRunning);
    }
    {
        LinkRig rig; // in three parts a few turns apart
        int turns = 0;
        rig.panel.onPump = [&] {
            ++turns;
            if (turns == 2) Fake().Queue(Bytes(block.begin(), block.begin() + 8));
            if (turns == 5) Fake().Queue(Bytes(block.begin() + 8, block.begin() + 1000));
            if (turns == 9) Fake().Queue(Bytes(block.begin() + 1000, block.end()));
        };
        EXPECT_EQ(rig.link.AwaitReplyBytes(2056), 2056u);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), rig.d2xx.ReplyBuffer.begin()));
        EXPECT_TRUE(rig.panel.diagnostics.empty());
        // Never asks for more than is queued, so no read waits.
        for (DWORD c : Fake().readCounts)
            EXPECT_LE(c, 2048u);
    }
    {
        LinkRig rig; // stays short: time-out with what came
        rig.link.ReplyTimeoutMs = 30;
        Fake().Queue(Bytes(block.begin(), block.begin() + 100));
        EXPECT_EQ(rig.link.AwaitReplyBytes(2056), 100u);
        ASSERT_EQ(rig.panel.diagnostics.size(), 0u);
        ASSERT_EQ(rig.panel.linkLosses.size(), 1u);
        EXPECT_EQ(rig.panel.linkLosses.back(), (test::RecordedLinkLoss{0, 5}));
        EXPECT_EQ(rig.transfer.StopFlag, TransferStop::Stopped);
    }
    {
        LinkRig rig; // more queued than asked: drained, kept after the reply, counted
        Fake().Queue(block);
        EXPECT_EQ(rig.link.AwaitReplyBytes(8), 8u);
        EXPECT_EQ(Fake().queue.size(), 0u);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), rig.d2xx.ReplyBuffer.begin()));
        ASSERT_EQ(rig.panel.diagnostics.size(), 1u);
        EXPECT_EQ(rig.panel.diagnostics[0], "Reply longer than awaited ... Extra-2048");
        EXPECT_EQ(rig.link.LinkFaults, 1u);
    }
}

// The idle command's reply is awaited as its 8 counted bytes: the wait ends
// when they are in, however they come, and what comes too late is dropped
// before the next request instead of being read as its reply.
TEST(AwaitReply, IdleReplyLateAndSplit) {
    const Bytes ack{0x24, 0, 0, 0, 0, 0, 0, 0x24};
    const Bytes version{0x56, 1, 23, 0, 0, 0, 0, 0x6E};
    auto answerVersion = [&] {
        Fake().firmware = [&](const Bytes& packet) {
            if (packet[0] == 0x56) Fake().Queue(version);
        };
    };
    {
        LinkRig rig; // split: 3 bytes, then the rest many turns later
        rig.link.LinkState = LinkState::Answered;
        int turns = 0;
        rig.panel.onPump = [&] {
            ++turns;
            if (turns == 2) Fake().Queue(Bytes(ack.begin(), ack.begin() + 3));
            if (turns == 40) Fake().Queue(Bytes(ack.begin() + 3, ack.end()));
        };
        rig.link.SendIdle();
        EXPECT_EQ(turns, 40); // no earlier, no later
        EXPECT_EQ(Fake().readCounts, (std::vector<DWORD>{3, 5}));
        EXPECT_TRUE(std::equal(ack.begin(), ack.end(), rig.d2xx.ReplyBuffer.begin()));
        EXPECT_TRUE(rig.panel.diagnostics.empty());
        EXPECT_EQ(rig.link.LinkFaults, 0u);
        EXPECT_FALSE(rig.link.ReplyOwed);
    }
    {
        LinkRig rig; // late, after a run that ended (StopFlag 1): still awaited
        rig.link.LinkState = LinkState::Answered;
        rig.transfer.StopFlag = TransferStop::EndReached;
        int turns = 0;
        rig.panel.onPump = [&] {
            if (++turns == 25) Fake().Queue(ack);
        };
        rig.link.SendIdle();
        EXPECT_EQ(turns, 25);
        EXPECT_EQ(Fake().Count("FT_Read"), 1);
        EXPECT_EQ(rig.link.LinkFaults, 0u);
        EXPECT_EQ(rig.transfer.StopFlag, TransferStop::Running);
    }
    {
        LinkRig rig; // late beyond the limit: the wait fails, the reply is dropped later
        rig.link.LinkState = LinkState::Answered;
        rig.link.ReplyTimeoutMs = 30;
        rig.d2xx.ReplyBuffer[1] = 0x42;
        rig.link.SendIdle();
        ASSERT_EQ(rig.panel.diagnostics.size(), 0u);
        ASSERT_EQ(rig.panel.linkLosses.size(), 1u);
        EXPECT_EQ(rig.panel.linkLosses.back(), (test::RecordedLinkLoss{0, 5}));
        EXPECT_EQ(rig.d2xx.ReplyBuffer[6], 0x55);
        EXPECT_EQ(rig.d2xx.ReplyBuffer[1], 0x42); // nothing else touched
        EXPECT_EQ(rig.link.LinkFaults, 1u);
        EXPECT_TRUE(rig.link.ReplyOwed);

        Fake().Queue(ack); // the late reply
        answerVersion();
        rig.SetPacket({0x56, 0, 0, 0, 0, 0, 0});
        EXPECT_EQ(rig.link.SendPacket(), 8u);
        EXPECT_EQ(rig.panel.diagnostics[0], "Late reply dropped ... Bytes-8");
        EXPECT_TRUE(std::equal(version.begin(), version.end(), rig.d2xx.ReplyBuffer.begin()));
        EXPECT_EQ(rig.link.LinkFaults, 1u); // the dropped bytes were already counted
    }
    {
        LinkRig rig; // split beyond the limit: the bytes that came stay in ReplyBuffer
        rig.link.LinkState = LinkState::Answered;
        rig.link.ReplyTimeoutMs = 30;
        rig.d2xx.ReplyBuffer[7] = 0x77;
        Fake().Queue(Bytes(ack.begin(), ack.begin() + 5));
        rig.link.SendIdle();
        EXPECT_TRUE(std::equal(ack.begin(), ack.begin() + 5, rig.d2xx.ReplyBuffer.begin()));
        EXPECT_EQ(rig.d2xx.ReplyBuffer[6], 0x55);
        EXPECT_EQ(rig.d2xx.ReplyBuffer[7], 0x77);
        EXPECT_EQ(rig.link.LinkFaults, 1u);

        Fake().Queue(Bytes(ack.begin() + 5, ack.end()));
        answerVersion();
        rig.SetPacket({0x56, 0, 0, 0, 0, 0, 0});
        EXPECT_EQ(rig.link.SendPacket(), 8u);
        EXPECT_EQ(rig.panel.diagnostics[0], "Late reply dropped ... Bytes-3");
        EXPECT_TRUE(std::equal(version.begin(), version.end(), rig.d2xx.ReplyBuffer.begin()));
    }
    {
        LinkRig rig; // one byte too many: drained before the next request, counted
        rig.link.LinkState = LinkState::Answered;
        Bytes longAck = ack;
        longAck.push_back(0xA5);
        Fake().Queue(longAck);
        rig.link.SendIdle();
        EXPECT_EQ(Fake().queue.size(), 0u);
        EXPECT_EQ(rig.d2xx.ReplyBuffer[8], 0xA5);
        EXPECT_EQ(rig.panel.diagnostics[0], "Reply longer than awaited ... Extra-1");
        EXPECT_EQ(rig.link.LinkFaults, 1u);
    }
}

// A read the driver fails ends the wait at once as an unanswered one, even
// with bytes queued.
TEST(AwaitReplyBytes, AFailedReadIsAFailedWait) {
    LinkRig rig;
    rig.link.ReplyTimeoutMs = 60000;
    Fake().status["FT_Read"] = FT_IO_ERROR;
    Fake().Queue(Bytes(8, 0x11));
    EXPECT_LT(rig.link.AwaitReplyBytes(8), 8u);
    EXPECT_EQ(Fake().Count("FT_Read"), 1);
    EXPECT_EQ(rig.d2xx.ReplyBuffer[6], 0x55);
    EXPECT_EQ(rig.link.LinkFaults, 1u);

    // A write the driver fails is a link fault even at full length.
    Fake().status["FT_Write"] = FT_IO_ERROR;
    rig.link.WriteRequest(8, false, "USB Device Write TimeOut ...");
    EXPECT_EQ(rig.link.LinkFaults, 2u);
}

TEST(Sleep, GoesThroughTheSleeperWhenSet) {
    LinkRig rig;
    std::vector<int> slept;
    rig.link.Sleeper = [&](int ms) { slept.push_back(ms); };
    rig.link.Sleep(100);
    rig.link.Sleep(1);
    EXPECT_EQ(slept, (std::vector<int>{100, 1}));
}

// A bridge that answered a write or a queue query with FT_IO_ERROR is gone:
// nothing more is written to it or asked of it, a write that failed is not
// said to have timed out, and the lost link is said once.
TEST(GoneBridge, NothingMoreIsSentAndTheLossIsSaidOnce) {
    for (const char* failing : {"FT_Write", "FT_GetQueueStatus"}) {
        LinkRig rig;
        rig.link.LinkState = LinkState::Answered;
        Fake().status[failing] = FT_IO_ERROR;
        rig.SetPacket({ReadBlock, 5, 0, 0, 0, 0, 8});
        rig.link.SendPacket();
        EXPECT_TRUE(rig.d2xx.Gone) << failing;
        const int writes = Fake().Count("FT_Write");
        const int queries = Fake().Count("FT_GetQueueStatus");
        rig.link.SendPacket();
        rig.link.WriteLatch(0x3F, 0xFF);
        rig.link.SendIdle();
        EXPECT_EQ(Fake().Count("FT_Write"), writes) << failing;
        EXPECT_EQ(Fake().Count("FT_GetQueueStatus"), queries) << failing;
        EXPECT_TRUE(rig.panel.report.empty()) << rig.panel.report.front();
        ASSERT_EQ(rig.panel.linkLosses.size(), 1u) << failing;
        EXPECT_EQ(rig.panel.linkLosses[0], (test::RecordedLinkLoss{4, 0}));
        EXPECT_EQ(rig.panel.boxes.size(), 1u) << failing;
        EXPECT_GE(rig.link.LinkFaults, 3u);

        // Opened again, the bridge is written to again.
        Fake().status.clear();
        ASSERT_EQ(rig.d2xx.Open_USB_Device_By_Serial_Number(""), FT_OK);
        EXPECT_FALSE(rig.d2xx.Gone);
        const int before = Fake().Count("FT_Write");
        rig.link.WriteLatch(0x3F, 0xFF);
        EXPECT_EQ(Fake().Count("FT_Write"), before + 1) << failing;
    }
}

} // namespace
} // namespace velmar

// The USB bridge side: listing, opening, queues, time-outs, injected faults
// and the packet trace.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "VirtualHost.h"

namespace velmar::test {
namespace {

std::string ListText(const D2XXBackend& api, std::uintptr_t index, DWORD what) {
    char text[50];
    std::memset(text, 'x', sizeof text);
    const FT_STATUS status =
        api.ListDevices(reinterpret_cast<void*>(index), text, FT_LIST_BY_INDEX | what);
    if (status != FT_OK) return "status " + std::to_string(status);
    return text;
}

TEST(VirtualBridge, ListsAndOpensOneProgrammer) {
    VirtualHost host(VirtualOptions(), false);
    const D2XXBackend& api = host.api;
    EXPECT_STREQ("virtual", api.name);
    DWORD count = 99;
    EXPECT_EQ(FT_OK, api.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY));
    EXPECT_EQ(1u, count);
    EXPECT_EQ("BP123001", ListText(api, 0, FT_OPEN_BY_SERIAL_NUMBER));
    EXPECT_EQ("Brindle Programmer", ListText(api, 0, FT_OPEN_BY_DESCRIPTION));
    EXPECT_EQ("status 2", ListText(api, 1, FT_OPEN_BY_SERIAL_NUMBER));

    FT_HANDLE h = nullptr;
    char wrong[] = "NOPE";
    EXPECT_EQ(FT_DEVICE_NOT_FOUND, api.OpenEx(wrong, FT_OPEN_BY_SERIAL_NUMBER, &h));
    char serial[] = "BP123001";
    ASSERT_EQ(FT_OK, api.OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &h));
    EXPECT_TRUE(V().IsOpen());
    FT_HANDLE again = nullptr;
    EXPECT_EQ(FT_DEVICE_NOT_OPENED, api.OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &again));
    EXPECT_EQ(FT_OK, api.Close(h));
    EXPECT_EQ(FT_INVALID_HANDLE, api.Close(h));
    DWORD n = 0;
    EXPECT_EQ(FT_INVALID_HANDLE, api.GetQueueStatus(h, &n));
    char empty[] = "";
    EXPECT_EQ(FT_OK, api.OpenEx(empty, FT_OPEN_BY_SERIAL_NUMBER, &h));
    // A handle from before a reset is stale.
    V().Reset(VirtualOptions());
    EXPECT_EQ(FT_INVALID_HANDLE, api.ResetDevice(h));
}

TEST(VirtualBridge, NoDeviceAndTwoDevices) {
    VirtualOptions none;
    none.Devices = 0;
    VirtualHost host(none, false);
    DWORD count = 99;
    EXPECT_EQ(FT_OK, host.api.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY));
    EXPECT_EQ(0u, count);
    char empty[] = "";
    FT_HANDLE h = nullptr;
    EXPECT_EQ(FT_DEVICE_NOT_FOUND, host.api.OpenEx(empty, FT_OPEN_BY_SERIAL_NUMBER, &h));

    V().SetDeviceCount(2);
    EXPECT_EQ(FT_OK, host.api.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY));
    EXPECT_EQ(2u, count);
    EXPECT_EQ("FT232R USB UART", ListText(host.api, 1, FT_OPEN_BY_DESCRIPTION));
    // An empty serial names no single device any more.
    EXPECT_EQ(FT_DEVICE_NOT_FOUND, host.api.OpenEx(empty, FT_OPEN_BY_SERIAL_NUMBER, &h));
    // The other device takes packets and never answers.
    char other[] = "FT232R USB UART";
    ASSERT_EQ(FT_OK, host.api.OpenEx(other, FT_OPEN_BY_DESCRIPTION, &h));
    std::uint8_t query[8] = {0x56, 0, 0, 0, 0, 0, 0, 0x56};
    DWORD written = 0;
    EXPECT_EQ(FT_OK, host.api.Write(h, query, 8, &written));
    EXPECT_EQ(8u, written);
    DWORD n = 1;
    EXPECT_EQ(FT_OK, host.api.GetQueueStatus(h, &n));
    EXPECT_EQ(0u, n);
}

TEST(VirtualBridge, ReadWaitsForItsCountOrTheTimeOut) {
    VirtualHost host;
    host.Command(0x56);
    EXPECT_EQ(8u, host.Queued());
    // Asking for more than there is: the time-out ends the read with what came.
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> got = host.Receive(32768);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(8u, got.size());
    EXPECT_GE(waited, std::chrono::milliseconds(40));
    // Unread bytes stay queued for the next read.
    host.Command(0x24);
    host.Command(0x56);
    EXPECT_EQ(16u, host.Queued());
    EXPECT_EQ(0x24, host.Receive(8)[0]);
    EXPECT_EQ(8u, host.Queued());
    EXPECT_EQ(0x56, host.Receive(8)[0]);
    // Reset clears the queue.
    host.Command(0x24);
    EXPECT_EQ(FT_OK, host.api.ResetDevice(host.handle));
    EXPECT_EQ(0u, host.Queued());
}

TEST(VirtualBridge, SplitAndLateRepliesStayQueued) {
    VirtualHost host;
    V().SetSplitReply(1, 3, 120);
    host.Command(0x56);
    EXPECT_EQ(3u, host.Queued());
    std::vector<std::uint8_t> first = host.Receive(8); // 40 ms time-out ends it
    EXPECT_EQ((std::vector<std::uint8_t>{0x56, 1, 23}), first);
    std::vector<std::uint8_t> rest;
    for (int i = 0; i < 100 && rest.empty(); ++i)
        rest = host.Receive(5);
    EXPECT_EQ((std::vector<std::uint8_t>{0, 0, 0, 0, 0x6E}), rest);

    V().SetLateReply(2, 150);
    host.Command(0x24);
    EXPECT_EQ(0u, host.Queued());
    EXPECT_TRUE(host.Receive(8).empty()); // 40 ms pass, nothing yet
    host.Command(0x56);                   // its reply queues behind the late one
    std::vector<std::uint8_t> both;
    for (int i = 0; i < 100 && both.size() < 16; ++i) {
        std::vector<std::uint8_t> more = host.Receive(16 - static_cast<DWORD>(both.size()));
        both.insert(both.end(), more.begin(), more.end());
    }
    ASSERT_EQ(16u, both.size());
    EXPECT_EQ(0x24, both[0]);
    EXPECT_EQ(0x56, both[8]);
}

// A long reply carries extra bytes; a host that reads them as the reply to
// its next request is recorded, one that drops them first is not.
TEST(VirtualBridge, LongRepliesAndStaleReadsAreRecorded) {
    {
        VirtualHost host;
        V().SetLongReply(1, 3);
        host.Command(0x56);
        EXPECT_EQ(11u, host.Queued());
        EXPECT_EQ(0x56, host.Receive(8)[0]);
        host.Command(0x24); // the 3 extra bytes are still queued
        const std::vector<std::uint8_t> taken = host.Receive(8);
        ASSERT_EQ(8u, taken.size());
        EXPECT_EQ(0xA5, taken[0]);
        ASSERT_EQ(1u, V().Faults().size());
        EXPECT_EQ("packet 2: 3 bytes of the reply to packet 1 read as its reply", V().Faults()[0]);
    }
    {
        VirtualHost host;
        V().SetLongReply(1, 3);
        host.Command(0x56);
        EXPECT_EQ(11u, host.Receive(11).size()); // drained before the next request
        host.Command(0x24);
        EXPECT_EQ(0x24, host.Receive(8)[0]);
        EXPECT_TRUE(V().Faults().empty());
    }
}

TEST(VirtualBridge, NoReplyShortWriteAndUnplug) {
    VirtualHost host;
    V().SetNoReplyAt(1);
    host.Command(0x56);
    EXPECT_EQ(0u, host.Queued());
    host.Command(0x56);
    EXPECT_EQ(8u, host.Queued());
    host.Receive(8);
    V().SetNoReplyFrom(3);
    host.Command(0x24);
    host.Command(0x56);
    EXPECT_EQ(0u, host.Queued());
    EXPECT_EQ(4, V().PacketCount());

    VirtualHost second;
    V().SetShortWrite(1);
    EXPECT_EQ(4u, second.Send(8));
    EXPECT_EQ("00 00 00 00", V().Trace().back());
    EXPECT_EQ(0u, second.Queued());
    EXPECT_EQ(1u, V().Faults().size());

    VirtualHost third;
    V().SetUnplugFrom(2);
    third.Command(0x24);
    EXPECT_EQ(8u, third.Queued());
    third.Command(0x56); // written, then the cable is gone
    DWORD n = 0;
    EXPECT_EQ(FT_IO_ERROR, third.api.GetQueueStatus(third.handle, &n));
    DWORD written = 0;
    EXPECT_EQ(FT_IO_ERROR, third.api.Write(third.handle, third.tx.data(), 8, &written));
    EXPECT_EQ(0u, written);
    DWORD count = 9;
    EXPECT_EQ(FT_OK, third.api.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY));
    EXPECT_EQ(0u, count);
}

TEST(VirtualBridge, ShortRepliesAndSilentCommands) {
    VirtualHost host;
    V().SetShortReply(2, 3);
    host.Command(0x56);
    EXPECT_EQ(8u, host.Queued());
    host.Receive(8);
    host.Command(0x56);
    EXPECT_EQ(5u, host.Queued());
    EXPECT_EQ((std::vector<std::uint8_t>{0x56, 1, 23, 0, 0}), host.Receive(5));
    V().SetShortReply(3, 4096); // more than the reply: none of it comes
    host.Command(0x24);
    EXPECT_EQ(0u, host.Queued());

    VirtualHost second;
    V().SetNoReplyTo(0x56);
    second.Command(0x56);
    second.Command(0x56);
    EXPECT_EQ(0u, second.Queued());
    second.Command(0x24); // other commands are answered
    EXPECT_EQ(8u, second.Queued());
    EXPECT_EQ(0x24, second.Receive(8)[0]);
    EXPECT_EQ(3, V().PacketCount());
    EXPECT_TRUE(V().Faults().empty());
}

// split-every holds the rest of each reply until the host asks the queue
// again: no time passes between the queries here.
TEST(VirtualBridge, SplitEveryShowsEachReplyInTwoPieces) {
    VirtualHost host;
    V().SetSplitEvery(3);
    for (std::uint8_t code : {0x56, 0x24}) {
        host.Command(code);
        EXPECT_EQ(3u, host.Queued());
        const std::vector<std::uint8_t> first = host.Receive(3);
        ASSERT_EQ(3u, first.size());
        EXPECT_EQ(code, first[0]);
        EXPECT_EQ(5u, host.Queued());
        EXPECT_EQ(5u, host.Receive(5).size());
        EXPECT_EQ(0u, host.Queued());
    }
    // Two replies behind each other: the second waits for the first's rest.
    host.Command(0x56);
    host.Command(0x24);
    EXPECT_EQ(3u, host.Queued());
    EXPECT_EQ(3u + 5u + 3u, host.Queued());
    EXPECT_EQ(16u, host.Queued());
    const std::vector<std::uint8_t> both = host.Receive(16);
    ASSERT_EQ(16u, both.size());
    EXPECT_EQ(0x56, both[0]);
    EXPECT_EQ(0x24, both[8]);
    V().ClearTrace(); // the first reply was read after the second request: a stale read
    // A reply no longer than the first piece comes whole.
    V().SetSplitEvery(8);
    host.Command(0x24);
    EXPECT_EQ(8u, host.Queued());
    EXPECT_EQ(0x24, host.Receive(8)[0]);
    EXPECT_TRUE(V().Faults().empty());
}

TEST(VirtualBridge, LatencyTimerHoldsShortReplies) {
    VirtualOptions options;
    options.Timing = true;
    VirtualHost host(options);
    EXPECT_EQ(16, V().LatencyMs());
    EXPECT_EQ(40u, V().ReadTimeoutMs());
    host.Command(0x56);
    EXPECT_EQ(0u, host.Queued()); // held by the bridge for its 16 ms
    EXPECT_EQ(8u, host.Receive(8).size());
    EXPECT_EQ(FT_INVALID_PARAMETER, host.api.SetLatencyTimer(host.handle, 1));
    EXPECT_EQ(FT_OK, host.api.SetLatencyTimer(host.handle, 2));
    EXPECT_EQ(2, V().LatencyMs());
    // A long reply: the full USB packets come before the held remainder.
    V().SeatChip(4, 0x1000);
    const std::vector<std::uint8_t> data = host.Read875X(4, 0, 2048);
    EXPECT_EQ(2048u, data.size());
}

TEST(VirtualTrace, OneLinePerWriteToMemoryAndFile) {
    const std::string path = testing::TempDir() + "virtual-trace.txt";
    VirtualOptions options;
    options.TraceFile = path;
    VirtualHost host(options);
    host.Command(0x56);
    host.Receive(8);
    host.tx[0] = 0x41, host.tx[1] = 5, host.tx[2] = 0, host.tx[3] = 0, host.tx[4] = 0x40;
    host.tx[5] = 0xFF, host.tx[6] = 0x3F;
    host.Send(264);
    const std::uint8_t odd[3] = {0xAB, 0x0C, 0xFF};
    DWORD written = 0;
    host.api.Write(host.handle, const_cast<std::uint8_t*>(odd), 3, &written);
    const std::vector<std::string> expected = {"56 00 00 00 00 00 00 56",
                                               "41 05 00 00 40 FF 3F C4 +256", "AB 0C FF"};
    EXPECT_EQ(expected, V().Trace());
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(expected, lines);
    V().ClearTrace();
    EXPECT_TRUE(V().Trace().empty());
    EXPECT_EQ("01 02 03 04 05 06 07 08 +1",
              VirtualProgrammer::TraceLine(
                  std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}.data(), 9));
    std::remove(path.c_str());
}

} // namespace
} // namespace velmar::test

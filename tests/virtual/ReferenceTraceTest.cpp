// Reference traces (tests/fixtures/traces): packet sequences of the access
// sequences, replayed byte for byte against the virtual programmer. The
// device tests compare their own traces with the same files.

#include <gtest/gtest.h>

#include <sstream>

#include "VirtualHost.h"
#include "tests/support/TraceFixture.h"

namespace velmar::test {
namespace {

std::uint8_t Pattern(std::uint32_t address) {
    return static_cast<std::uint8_t>((address * 13) ^ (address >> 8) ^ 0x5A);
}

// Replays the lines through a host-like transmit buffer: the head from the
// line, data bytes of a ProgramBlock from Pattern, other long packets with
// whatever the buffer holds (as the block loop leaves it). Returns the reply
// to every packet with a code below 0x80.
std::vector<std::vector<std::uint8_t>> Replay(VirtualHost& host,
                                              const std::vector<std::string>& lines) {
    std::vector<std::vector<std::uint8_t>> replies;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::size_t count = 0;
        for (std::string word; count < 8 && in >> word;)
            host.tx[count++] = static_cast<std::uint8_t>(std::stoul(word, nullptr, 16));
        std::string more;
        in >> more;
        EXPECT_EQ(8u, count) << line;
        if (!more.empty()) {
            EXPECT_EQ('+', more[0]) << line;
            count += std::stoul(more.substr(1));
        }
        if (host.tx[0] == 0x41 && count == 264) {
            const std::uint32_t address = host.tx[2] | (host.tx[3] << 8);
            for (std::uint32_t i = 0; i < 256; ++i)
                host.tx[8 + i] = Pattern(address + i);
        }
        DWORD written = 0;
        EXPECT_EQ(FT_OK,
                  host.api.Write(host.handle, host.tx.data(), static_cast<DWORD>(count), &written));
        if (host.tx[0] < 0x80) {
            const DWORD expected = host.tx[0] == 0x32 ? 8u + ((host.tx[5] << 8) | host.tx[6]) : 8u;
            replies.push_back(host.Receive(expected));
            EXPECT_EQ(expected, replies.back().size()) << line;
        }
    }
    return replies;
}

TEST(VirtualReferenceTraces, Verify87C52H) {
    VirtualHost host;
    V().SeatChip(4, 0x2000);
    for (std::uint32_t a = 0; a < 0x2000; ++a)
        V().Chip()[a] = Pattern(a);
    const std::vector<std::string> lines = TraceFixture("87c52h-verify.trace");
    ASSERT_EQ(9u, lines.size());
    const auto replies = Replay(host, lines);
    ASSERT_EQ(4u, replies.size());
    for (std::uint32_t block = 0; block < 4; ++block) {
        ASSERT_EQ(8u + 2048u, replies[block].size());
        EXPECT_EQ(0, replies[block][6]);
        for (std::uint32_t i = 0; i < 2048; ++i)
            ASSERT_EQ(Pattern(block * 0x800 + i), replies[block][8 + i])
                << "block " << block << " byte " << i;
    }
    EXPECT_EQ(0x1800, V().LastReadAddress());
    EXPECT_EQ(lines, V().Trace());
    EXPECT_TRUE(V().Faults().empty()) << V().Faults().front();
}

TEST(VirtualReferenceTraces, Program89C52) {
    VirtualHost host;
    V().SeatChip(5, 0x2000);
    const std::vector<std::string> lines = TraceFixture("89c52-program.trace");
    ASSERT_EQ(65u, lines.size());
    const auto replies = Replay(host, lines);
    ASSERT_EQ(32u, replies.size());
    for (const auto& reply : replies) {
        EXPECT_EQ(0x41, reply[0]);
        EXPECT_EQ(0x00, reply[6]);
    }
    for (std::uint32_t a = 0; a < 0x2000; ++a)
        ASSERT_EQ(Pattern(a), V().Chip()[a]) << a;
    EXPECT_EQ(lines, V().Trace());
    EXPECT_TRUE(V().Faults().empty()) << V().Faults().front();
}

TEST(VirtualReferenceTraces, ReadSetUp8748) {
    VirtualHost host;
    V().SeatChip(2, 0x400);
    for (std::uint32_t a = 0; a < 0x400; ++a)
        V().Chip()[a] = Pattern(a);
    const std::vector<std::string> lines = TraceFixture("8748-read-setup.trace");
    ASSERT_EQ(7u, lines.size());
    EXPECT_EQ("92 00 00 A8 B0 0F B0 A9", lines.back());
    EXPECT_TRUE(Replay(host, lines).empty());
    EXPECT_EQ(0xA8, V().Latch(0x0F));
    EXPECT_EQ(0xB0, V().Latch(0x3F));
    EXPECT_EQ(0x0F, V().Latch(0x5F));
    EXPECT_EQ(0xB0, V().Latch(0x2F));
    // The set-up is what makes the 874X read work.
    const std::vector<std::uint8_t> data = host.ReadBlock(2, 0x00, 0x00, 0x400);
    ASSERT_EQ(0x400u, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), V().Chip().begin()));
    EXPECT_TRUE(V().Faults().empty()) << V().Faults().front();
}

} // namespace
} // namespace velmar::test

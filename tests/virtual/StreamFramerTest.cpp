// Packet boundaries found in the byte stream behind a bridge, and the
// virtual programmer served through them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "virtual/StreamFramer.h"
#include "virtual/StreamProgrammer.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Packet(std::uint8_t a, std::uint8_t b = 0, std::uint8_t c = 0, std::uint8_t d = 0,
             std::uint8_t e = 0, std::uint8_t f = 0, std::uint8_t g = 0) {
    Bytes p{a, b, c, d, e, f, g, 0};
    unsigned sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += p[static_cast<std::size_t>(i)];
    p[7] = static_cast<std::uint8_t>(sum);
    return p;
}

Bytes WithTail(Bytes head, std::uint8_t fill) {
    head.resize(264, fill);
    return head;
}

Bytes Joined(const std::vector<Bytes>& packets) {
    Bytes all;
    for (const Bytes& p : packets)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The stream of one programmed block after another on an 875X part: the
// SetLatches after a block carries that block's 256 bytes behind it.
std::vector<Bytes> ProgramRun() {
    return {Packet(0x24), Packet(0x90, 0x3F, 0x30), Packet(0x92, 0, 0, 0x40, 0xFF, 0x3F, 0x30),
            Packet(0x92, 0, 0, 0x40, 0xFF, 0x3F, 0x30),
            WithTail(Packet(0x41, 5, 0x00, 0x00, 0x40, 0xFF, 0x3F), 0x24),
            // The stale tail is block 0000's data; bytes that look like
            // commands (0x24 idle, 0x92) must not be taken for packets.
            WithTail(Packet(0x92, 0, 0, 0x41, 0xFF, 0x3F, 0x30), 0x24),
            WithTail(Packet(0x41, 5, 0x00, 0x01, 0x41, 0xFF, 0x3F), 0x92),
            WithTail(Packet(0x92, 0, 0, 0x42, 0xFF, 0x3F, 0x30), 0x92), Packet(0x24)};
}

std::vector<Bytes> FeedInPieces(StreamFramer& framer, const Bytes& stream, std::size_t piece) {
    std::vector<Bytes> out;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const std::size_t n = std::min(piece, stream.size() - at);
        for (Bytes& p : framer.Push(stream.data() + at, n))
            out.push_back(std::move(p));
    }
    return out;
}

TEST(StreamFramer, SplitAndJoinedWritesGiveThePacketsAsWritten) {
    const std::vector<Bytes> run = ProgramRun();
    const Bytes stream = Joined(run);
    // One byte at a time, USB's 64-byte packets, odd pieces, all at once.
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{62}, std::size_t{64},
                              std::size_t{263}, stream.size()}) {
        StreamFramer framer;
        EXPECT_EQ(FeedInPieces(framer, stream, piece), run) << "pieces of " << piece;
        EXPECT_EQ(framer.Pending(), 0u);
        EXPECT_TRUE(framer.Faults().empty()) << framer.Faults().front();
    }
    // A packet not yet whole is held, not guessed at.
    StreamFramer framer;
    const Bytes block = WithTail(Packet(0x41, 5, 0, 0, 0x40, 0xFF, 0x3F), 0xAB);
    EXPECT_TRUE(framer.Push(block.data(), 100).empty());
    EXPECT_EQ(framer.Pending(), 100u);
    const std::vector<Bytes> got = framer.Push(block.data() + 100, block.size() - 100);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], block);
}

TEST(StreamFramer, TheStaleTailFollowsOnlyASetLatchesAfterABlock) {
    StreamFramer framer;
    // Not after a block: an 8-byte SetLatches, and what follows is the next
    // packet.
    Bytes stream = Joined({Packet(0x92, 0, 0, 0x40, 0xFF, 0x3F, 0x30), Packet(0x56)});
    std::vector<Bytes> got = framer.Push(stream.data(), stream.size());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].size(), 8u);
    EXPECT_EQ(got[1][0], 0x56);

    // After a block the tail goes with the SetLatches; after that
    // SetLatches the next one is short again.
    stream = Joined({WithTail(Packet(0x41, 5, 0, 0, 0x40, 0xFF, 0x3F), 0x56),
                     WithTail(Packet(0x92, 0, 0, 0x41, 0xFF, 0x3F, 0x30), 0x56),
                     Packet(0x92, 0, 0, 0x41, 0xFF, 0x3F, 0x30), Packet(0x24)});
    got = framer.Push(stream.data(), stream.size());
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].size(), 264u);
    EXPECT_EQ(got[1].size(), 264u);
    EXPECT_EQ(got[2].size(), 8u);
    EXPECT_EQ(got[3], Packet(0x24));

    // A firmware record is 74 bytes whatever it holds.
    Bytes record(74, 0x24);
    record[0] = 0x3A;
    got = framer.Push(record.data(), record.size());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], record);
    EXPECT_TRUE(framer.Faults().empty());
}

TEST(StreamFramer, AGarbageByteIsSkippedAndTheStreamResynchronises) {
    StreamFramer framer;
    // An unknown code, then a known code whose byte 7 is not its sum: both
    // skipped byte by byte until a packet starts.
    Bytes stream{0x00};
    Bytes wrong = Packet(0x24);
    wrong[7] ^= 0xFF;
    stream.insert(stream.end(), wrong.begin(), wrong.begin() + 1);
    const Bytes good = Joined({Packet(0x56), Packet(0x24)});
    stream.insert(stream.end(), good.begin(), good.end());
    const std::vector<Bytes> got = FeedInPieces(framer, stream, 3);
    EXPECT_EQ(got, (std::vector<Bytes>{Packet(0x56), Packet(0x24)}));
    ASSERT_EQ(framer.Faults().size(), 2u);
    EXPECT_EQ(framer.Faults()[0], "garbage byte 00 at stream offset 0 skipped");
    EXPECT_EQ(framer.Faults()[1], "garbage byte 24 at stream offset 1 skipped");

    // A new connection drops the piece the old one left.
    const Bytes half = Packet(0x56);
    framer.Push(half.data(), 4);
    framer.Reset();
    EXPECT_EQ(framer.Pending(), 0u);
    const Bytes next = Packet(0x24);
    EXPECT_EQ(framer.Push(next.data(), next.size()), (std::vector<Bytes>{next}));
}

// The programmer behind the stream answers as behind whole writes, and a
// pull loses exactly the block it happened at.
TEST(StreamProgrammer, AnswersTheStreamAndLosesThePulledBlock) {
    VirtualOptions options;
    options.Family = 5;
    options.Size = 0x2000;
    StreamProgrammer programmer;
    std::string error;
    ASSERT_TRUE(programmer.Start(options, error)) << error;
    const std::vector<Bytes> run = ProgramRun();
    const Bytes stream = Joined(run);
    Bytes replies;
    for (std::size_t at = 0; at < stream.size(); at += 64) {
        const Bytes r =
            programmer.Take(stream.data() + at, std::min<std::size_t>(64, stream.size() - at));
        replies.insert(replies.end(), r.begin(), r.end());
    }
    VirtualProgrammer& model = VirtualProgrammer::Instance();
    // Idle, two blocks, idle: four 8-byte acknowledgements.
    EXPECT_EQ(replies.size(), 32u);
    EXPECT_EQ(model.Trace().size(), run.size());
    EXPECT_EQ(model.Trace()[5], "92 00 00 41 FF 3F 30 41 +256");
    EXPECT_TRUE(model.Faults().empty()) << model.Faults().front();
    EXPECT_EQ(model.Chip()[0x0000], 0x24);
    EXPECT_EQ(model.Chip()[0x01FF], 0x92);

    StreamProgrammer pulled;
    pulled.PullAt = 0x0100;
    ASSERT_TRUE(pulled.Start(options, error)) << error;
    replies = pulled.Take(stream.data(), stream.size());
    EXPECT_TRUE(pulled.Pulled());
    // The idle and the block at 0000 were answered; the one at 0100 never
    // reached the part, and what came with it was lost.
    EXPECT_EQ(VirtualProgrammer::Instance().Chip()[0x0000], 0x24);
    EXPECT_EQ(VirtualProgrammer::Instance().Chip()[0x0100], 0xFF);
    EXPECT_EQ(replies.size(), 16u);
    // Plugged in again, the programmer answers afresh.
    const Bytes idle = Packet(0x24);
    EXPECT_EQ(pulled.Take(idle.data(), idle.size()), idle);
    EXPECT_EQ(VirtualProgrammer::Instance().Chip()[0x0000], 0x24);
}

} // namespace
} // namespace velmar

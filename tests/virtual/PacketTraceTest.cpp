#include <gtest/gtest.h>

#include "virtual/PacketTrace.h"

namespace velmar {
namespace {

TEST(TraceLine, ShortAndLongPackets) {
    const auto TraceLine = velmar::PacketTrace::Line;
    const std::uint8_t idle[8] = {0x24, 0, 0, 0, 0, 0, 0, 0x24};
    EXPECT_EQ(TraceLine(idle, 8), "24 00 00 00 00 00 00 24");
    std::uint8_t block[264] = {0x41, 0x05, 0x00, 0x00, 0x40, 0xFF, 0x3F, 0xC4};
    EXPECT_EQ(TraceLine(block, 264), "41 05 00 00 40 FF 3F C4 +256");
    EXPECT_EQ(TraceLine(block, 74), "41 05 00 00 40 FF 3F C4 +66");
    EXPECT_EQ(TraceLine(block, 9), "41 05 00 00 40 FF 3F C4 +1");
    EXPECT_EQ(TraceLine(block, 3), "41 05 00");
}

} // namespace
} // namespace velmar

#include <gtest/gtest.h>

#include "buffer/TextCase.h"

namespace velmar {
namespace {

TEST(TextCase, AsciiLettersOnly) {
    EXPECT_EQ(Lower("0X1F-Abc"), "0x1f-abc");
    EXPECT_EQ(Lower("\xC3\x84"), "\xC3\x84"); // UTF-8 bytes stay as they are
    EXPECT_TRUE(SameIgnoringCase("87c52h", "87C52H"));
    EXPECT_FALSE(SameIgnoringCase("87C52", "87C52H"));
}

} // namespace
} // namespace velmar

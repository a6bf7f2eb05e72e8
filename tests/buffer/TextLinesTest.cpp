#include <gtest/gtest.h>

#include "buffer/TextLines.h"

namespace velmar {
namespace {

using Views = std::vector<std::string_view>;

TEST(TextLines, CrLfAndLfEndLinesALoneCrOnlyWhenAsked) {
    EXPECT_EQ(SplitLines(""), (Views{""}));
    EXPECT_EQ(SplitLines("a\r\nb\nc"), (Views{"a", "b", "c"}));
    EXPECT_EQ(SplitLines("a\r\n"), (Views{"a", ""}));
    // A lone CR is text (shown escaped) unless it is asked to end a line.
    EXPECT_EQ(SplitLines("a\rb\r\r\n"), (Views{"a\rb\r", ""}));
    EXPECT_EQ(SplitLines("a\rb\r\r\n", true), (Views{"a", "b", "", ""}));
}

} // namespace
} // namespace velmar

// The one conversion between velmar's UTF-8 and the wide calls' UTF-16.
#include <gtest/gtest.h>

#include <string>

#include "buffer/WideText.h"

namespace velmar {
namespace {

TEST(WideText, Utf8BecomesUtf16AndBack) {
    // e acute, the euro sign and a character beyond the BMP (a surrogate pair).
    const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x8C.hex";
    const auto wide = WideFromUtf8(text);
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, std::wstring(L"caf\u00E9 \u20AC \xD83D\xDD0C.hex"));
    EXPECT_EQ(Utf8FromWide(*wide), text);
    EXPECT_EQ(WideFromUtf8(""), std::wstring());
    EXPECT_EQ(Utf8FromWide(L""), "");
}

TEST(WideText, TextThatIsNotUtf8IsRefused) {
    const std::string refused[] = {
        "bad-\xFF.hex",               // a byte no UTF-8 text holds
        "cut-\xE2\x82",               // a sequence cut short
        "long-\xC0\xAF",              // an overlong '/'
        std::string("nul-\0.hex", 9), // a NUL would end the name early
    };
    for (const std::string& text : refused)
        EXPECT_FALSE(WideFromUtf8(text)) << text;
}

} // namespace
} // namespace velmar

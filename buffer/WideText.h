#pragma once
// Windows' wide calls take UTF-16; velmar's paths and texts are UTF-8. One
// conversion each way, so every caller treats text that is not UTF-8 alike.

#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// The UTF-16 form of UTF-8 text, or nothing when the text is not UTF-8 or
// holds a NUL: such a name is refused, never guessed at in a code page or
// with replacement characters, so no other file than the one named is ever
// opened, written or removed.
std::optional<std::wstring> WideFromUtf8(std::string_view utf8);

// The UTF-8 form of what a wide call returned (a lone surrogate becomes
// U+FFFD).
std::string Utf8FromWide(std::wstring_view wide);

} // namespace velmar

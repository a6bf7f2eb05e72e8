#pragma once
// Names typed by a person (device captions, format names, extensions, hex
// prefixes, digests) match whatever their letter case. ASCII letters only,
// whatever the locale: these names are ASCII, and a window's locale must not
// change what matches.

#include <algorithm>
#include <string>
#include <string_view>

namespace velmar {

inline char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
    return lower;
}

inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

} // namespace velmar

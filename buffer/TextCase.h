#pragma once
// Names typed by a person (device captions, format names, extensions) match
// whatever their letter case.

#include <algorithm>
#include <cctype>
#include <string_view>

namespace velmar {

inline bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace velmar

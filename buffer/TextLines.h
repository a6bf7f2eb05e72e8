#pragma once
// Splitting a text into its lines, for texts from either platform.

#include <string_view>
#include <vector>

namespace velmar {

// The lines of `text` without their ends: LF or CR LF ends a line, and so
// does a lone CR when `loneCrEndsLine` (else it stays in the line as text).
// What follows the last end is a line too, empty when the text ends with one.
std::vector<std::string_view> SplitLines(std::string_view text, bool loneCrEndsLine = false);

} // namespace velmar

#pragma once
// A data file's format told by its first bytes, for files that arrive without
// a format named: the command line's "-" and unknown extensions, the window's
// dropped files and the file named on its command line.

#include <string_view>

namespace velmar {

// Text whose first non-blank character is ':' is Intel hex, 'S' and a digit
// Motorola, text of hex digits and blanks only ASCII hex; bytes that are not
// text are binary. Text that is none of these, and nothing but blanks, gives
// `undecided`. A UTF-8 byte-order mark and what follows a Ctrl-Z are no data.
int FileTypeFromContents(std::string_view bytes, int undecided);

} // namespace velmar

#pragma once
// A data file's format told by its name or its first bytes, for files that
// arrive without a format named: the command line's files (by extension, "-"
// and unknown extensions by contents), the window's dropped files and the
// file named on its command line.

#include <optional>
#include <string_view>

namespace velmar {

// Text whose first non-blank character is ':' is Intel hex, 'S' and a digit
// Motorola, text of hex digits and blanks only ASCII hex; bytes that are not
// text are binary. Text that is none of these, and nothing but blanks, gives
// `undecided`. A UTF-8 byte-order mark and what follows a Ctrl-Z are no data.
int FileTypeFromContents(std::string_view bytes, int undecided);

// The FileType whose row lists the extension of `path` (in any case); none
// for an extension no row lists, or no extension.
std::optional<int> FileTypeFromExtension(std::string_view path);

// Whether the extension of `path` is the dialogs' default extension of more
// than one row (.hex): it then names its own row only when the contents do
// not tell which of them the file holds.
bool ExtensionIsShared(std::string_view path);

} // namespace velmar

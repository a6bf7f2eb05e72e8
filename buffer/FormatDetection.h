#pragma once
// A data file's format told by its name or its first bytes, for files that
// arrive without a format named: the command line's files (by extension, "-"
// and unknown extensions by contents), the window's dropped files and the
// file named on its command line.

#include <optional>
#include <string>
#include <string_view>

#include "DataFormats.h"

namespace velmar {

// What a file's bytes are. Text is printable ASCII, blanks, UTF-8 and UTF-16
// (either byte order, with or without its mark); `Bytes` is anything else.
enum class ContentKind { Empty, Bytes, Text, IntelHex, MotorolaHex, AsciiHex };

// Text whose first non-blank character is ':' is Intel hex, 'S' and a digit
// Motorola, lines of hex digits only ASCII hex (a blank between them is no
// ASCII hex line). A UTF-8 byte-order mark and what follows a Ctrl-Z are no
// data; nothing but blanks is `Empty`.
ContentKind ContentKindOf(std::string_view bytes);

// The FileType ContentKindOf names: bytes that are not text are binary;
// other text, and nothing but blanks, give `undecided`.
FileType FileTypeFromContents(std::string_view bytes, FileType undecided);

// The FileType whose row lists the extension of `path` (in any case); none
// for an extension no row lists, or no extension.
std::optional<FileType> FileTypeFromExtension(std::string_view path);

// Whether the extension of `path` is the dialogs' default extension of more
// than one row (.hex): it then names its own row only when the contents do
// not tell which of them the file holds.
bool ExtensionIsShared(std::string_view path);

// Why a file whose format nobody chose is not loaded as its name and
// contents would take it.
enum class FormatProblem {
    None,
    TextAsBinary, // the contents would load as binary, but are text
    BytesAsHex,   // the name says hex, but the contents are not text
};

struct FormatVerdict {
    FileType fileType = BinaryFileType;
    FormatProblem problem = FormatProblem::None;
};

// How much of a file JudgeDataFile looks at, whoever read it.
constexpr std::size_t kFormatHeadSize = 4096;

// The format of a file named `path` (empty for standard input) whose first
// bytes are `head`, when no format was asked for: a hex extension other than
// the shared .hex names its row, .bin binary; a shared or unknown extension
// goes by the contents (text that tells nothing: the extension's row, else
// no format at all). Text never loads as binary, nor bytes as hex, unless the
// format is asked for.
FormatVerdict JudgeDataFile(std::string_view path, std::string_view head);

// The sentence a refusal of `file` starts with, no full stop; empty for None.
std::string FormatProblemText(FormatProblem problem, std::string_view file);

} // namespace velmar

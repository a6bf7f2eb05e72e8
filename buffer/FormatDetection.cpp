#include "FormatDetection.h"

#include <algorithm>

#include "DataFormats.h"
#include "HexText.h"

namespace velmar {

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsPrintableAscii(unsigned c) {
    return (c >= 0x20 && c < 0x7F) || IsBlank(static_cast<unsigned char>(c));
}

// From the last dot of the last name on; empty when that name has no dot.
std::string_view ExtensionOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return path.substr(dot);
}

// Printable ASCII, blanks and whole UTF-8 sequences; a sequence cut off by
// the end of the bytes looked at still counts.
bool IsUtf8Text(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            if (!IsPrintableAscii(c)) return false;
            ++i;
            continue;
        }
        const std::size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                                   : c >= 0xE0 && c <= 0xEF ? 3
                                   : c >= 0xF0 && c <= 0xF4 ? 4
                                                            : 0;
        if (length == 0) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= bytes.size()) return true;
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

// A UTF-16 unit of text beyond ASCII: the letters, signs and punctuation of
// the alphabets, CJK, Hangul and the full-width forms. Random 16-bit words
// fall outside often enough that no binary image passes as text.
bool IsWideTextUnit(unsigned unit) {
    return (unit >= 0xA0 && unit < 0xA000) || (unit >= 0xAC00 && unit <= 0xD7A3) ||
           (unit >= 0xFF00 && unit <= 0xFFEF);
}

// UTF-16 text: with a byte-order mark ASCII and wide text units, without one
// only ASCII (every other byte zero).
bool IsUtf16Text(std::string_view bytes) {
    bool bigEndian = false;
    bool marked = false;
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        bigEndian = bytes[0] == '\xFE';
        marked = true;
        bytes.remove_prefix(2);
    } else if (bytes.size() >= 2) {
        bigEndian = bytes[0] == '\0' && bytes[1] != '\0';
    }
    if (bytes.size() < 2) return marked;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        const unsigned unit = bigEndian ? (first << 8) | second : (second << 8) | first;
        const bool text = unit < 0x80 ? IsPrintableAscii(unit) : marked && IsWideTextUnit(unit);
        if (!text) return false;
    }
    return true;
}

// Every line digits only: the ASCII hex reader takes each pair of characters
// of a line as a byte, so a blank inside would not load.
bool IsAsciiHexText(std::string_view bytes) {
    bool digits = false;
    for (char c : bytes) {
        if (IsHexDigit(c))
            digits = true;
        else if (c != '\r' && c != '\n')
            return false;
    }
    return digits;
}

std::string_view WithoutByteOrderMark(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return bytes;
}

// What the first non-blank characters mark: an Intel or Motorola record, or
// (Bytes) neither.
ContentKind RecordMarkKind(std::string_view bytes) {
    bytes = WithoutByteOrderMark(bytes);
    const auto first = std::find_if(bytes.begin(), bytes.end(),
                                    [](char c) { return !IsBlank(static_cast<unsigned char>(c)); });
    if (first == bytes.end()) return ContentKind::Bytes;
    if (*first == ':') return ContentKind::IntelHex;
    if (*first == 'S' && first + 1 != bytes.end() && first[1] >= '0' && first[1] <= '9')
        return ContentKind::MotorolaHex;
    return ContentKind::Bytes;
}

} // namespace

ContentKind ContentKindOf(std::string_view bytes) {
    bytes = WithoutByteOrderMark(bytes);
    const bool utf16 = IsUtf16Text(bytes);
    if (!utf16) {
        if (const auto eof = bytes.find('\x1A'); eof != std::string_view::npos)
            bytes = bytes.substr(0, eof);
        if (!IsUtf8Text(bytes)) return ContentKind::Bytes;
    }
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return IsBlank(static_cast<unsigned char>(c)); }))
        return ContentKind::Empty;
    if (utf16) return ContentKind::Text;
    if (const ContentKind marked = RecordMarkKind(bytes); marked != ContentKind::Bytes)
        return marked;
    return IsAsciiHexText(bytes) ? ContentKind::AsciiHex : ContentKind::Text;
}

FileType FileTypeFromContents(std::string_view bytes, FileType undecided) {
    switch (ContentKindOf(bytes)) {
    case ContentKind::Bytes:
        return BinaryFileType;
    case ContentKind::IntelHex:
        return IntelHexFileType;
    case ContentKind::MotorolaHex:
        return MotorolaHexFileType;
    case ContentKind::AsciiHex:
        return AsciiHexFileType;
    default:
        return undecided;
    }
}

std::optional<FileType> FileTypeFromExtension(std::string_view path) {
    const std::string_view ext = ExtensionOf(path);
    if (ext.empty()) return std::nullopt;
    return FileTypeListing(ext);
}

bool ExtensionIsShared(std::string_view path) {
    const std::string_view ext = ExtensionOf(path);
    return !ext.empty() && RowsWithDefaultExt(ext) > 1;
}

FormatVerdict JudgeDataFile(std::string_view path, std::string_view head) {
    head = head.substr(0, kFormatHeadSize);
    const std::optional<FileType> named = FileTypeFromExtension(path);
    const ContentKind kind = ContentKindOf(head);
    const bool namedHex = named && !HasBinaryRoutines(*named);
    if (kind == ContentKind::Bytes && namedHex) {
        // A hex file with a stray byte in a record is still a hex file: its
        // reader names the line. One that does not even start as one is not.
        const ContentKind start = RecordMarkKind(head);
        if (start == ContentKind::Bytes) return {*named, FormatProblem::BytesAsHex};
        if (!ExtensionIsShared(path)) return {*named, FormatProblem::None};
        return {start == ContentKind::IntelHex ? IntelHexFileType : MotorolaHexFileType,
                FormatProblem::None};
    }
    if (named && !ExtensionIsShared(path)) return {*named, FormatProblem::None};
    if (kind == ContentKind::Text && !named) return {BinaryFileType, FormatProblem::TextAsBinary};
    return {FileTypeFromContents(head, named.value_or(BinaryFileType)), FormatProblem::None};
}

std::string FormatProblemText(FormatProblem problem, std::string_view file) {
    switch (problem) {
    case FormatProblem::TextAsBinary:
        return std::string(file) + " looks like text, not a binary image or a hex format";
    case FormatProblem::BytesAsHex:
        return std::string(file) + " is named as a hex file but is not text";
    default:
        return {};
    }
}

} // namespace velmar

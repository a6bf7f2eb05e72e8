#include "FormatDetection.h"

#include <algorithm>

#include "DataFormats.h"
#include "HexText.h"

namespace velmar {

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// From the last dot of the last name on; empty when that name has no dot.
std::string_view ExtensionOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return path.substr(dot);
}

} // namespace

int FileTypeFromContents(std::string_view bytes, int undecided) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (const auto eof = bytes.find('\x1A'); eof != std::string_view::npos)
        bytes = bytes.substr(0, eof);
    bool hexOnly = true;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x7F || (c < 0x20 && !IsBlank(c))) return BinaryFileType;
        if (!IsBlank(c) && !IsHexDigit(ch)) hexOnly = false;
    }
    const auto first = std::find_if(bytes.begin(), bytes.end(),
                                    [](char c) { return !IsBlank(static_cast<unsigned char>(c)); });
    if (first == bytes.end()) return undecided;
    if (*first == ':') return IntelHexFileType;
    if (*first == 'S' && first + 1 != bytes.end() && first[1] >= '0' && first[1] <= '9')
        return MotorolaHexFileType;
    return hexOnly ? AsciiHexFileType : undecided;
}

std::optional<int> FileTypeFromExtension(std::string_view path) {
    const std::string_view ext = ExtensionOf(path);
    if (ext.empty()) return std::nullopt;
    return FileTypeListing(ext);
}

bool ExtensionIsShared(std::string_view path) {
    const std::string_view ext = ExtensionOf(path);
    return !ext.empty() && RowsWithDefaultExt(ext) > 1;
}

} // namespace velmar

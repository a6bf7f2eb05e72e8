#include "DataFormats.h"

#include <algorithm>
#include <cctype>

namespace velmar {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
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

const DataFormat& DataFormatOf(int fileType) {
    if (fileType < 0 || fileType >= static_cast<int>(kDataFormats.size())) return kUnlistedFormat;
    return kDataFormats[static_cast<std::size_t>(fileType)];
}

bool HasBinaryRoutines(int fileType) {
    return DataFormatOf(fileType).Routines == DataRoutines::Binary;
}

std::optional<int> FileTypeFromName(std::string_view name) {
    for (const DataFormat& format : kDataFormats)
        if (SameLetters(name, format.CliName)) return format.Type;
    return std::nullopt;
}

std::optional<int> FileTypeFromExtension(std::string_view path) {
    const std::string_view ext = ExtensionOf(path);
    if (ext.empty()) return std::nullopt;
    for (const DataFormat& format : kDataFormats)
        for (std::string_view listed : format.Extensions)
            if (!listed.empty() && SameLetters(ext, listed)) return format.Type;
    return std::nullopt;
}

bool ExtensionIsShared(std::string_view path) {
    const std::string_view ext = ExtensionOf(path);
    if (ext.size() < 2) return false;
    const auto rows = std::count_if(kDataFormats.begin(), kDataFormats.end(),
                                    [&](const DataFormat& format) {
                                        return SameLetters(ext.substr(1), format.DefaultExt);
                                    });
    return rows > 1;
}

} // namespace velmar

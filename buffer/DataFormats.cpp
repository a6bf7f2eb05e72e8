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

std::optional<int> FileTypeListing(std::string_view ext) {
    for (const DataFormat& format : kDataFormats)
        for (std::string_view listed : format.Extensions)
            if (!listed.empty() && SameLetters(ext, listed)) return format.Type;
    return std::nullopt;
}

int RowsWithDefaultExt(std::string_view ext) {
    if (ext.empty() || ext[0] != '.') return 0;
    const auto rows =
        std::count_if(kDataFormats.begin(), kDataFormats.end(), [&](const DataFormat& format) {
            return SameLetters(ext.substr(1), format.DefaultExt);
        });
    return static_cast<int>(rows);
}

} // namespace velmar

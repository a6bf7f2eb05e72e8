#include "DataFormats.h"

#include <algorithm>

#include "TextCase.h"

namespace velmar {

const DataFormat& DataFormatOf(int fileType) {
    if (fileType < 0 || fileType >= static_cast<int>(kDataFormats.size())) return kUnlistedFormat;
    return kDataFormats[static_cast<std::size_t>(fileType)];
}

bool HasBinaryRoutines(int fileType) {
    return DataFormatOf(fileType).Routines == DataRoutines::Binary;
}

std::optional<int> FileTypeFromName(std::string_view name) {
    for (const DataFormat& format : kDataFormats)
        if (SameIgnoringCase(name, format.CliName)) return format.Type;
    return std::nullopt;
}

std::optional<int> FileTypeListing(std::string_view ext) {
    for (const DataFormat& format : kDataFormats)
        for (std::string_view listed : format.Extensions)
            if (!listed.empty() && SameIgnoringCase(ext, listed)) return format.Type;
    return std::nullopt;
}

int RowsWithDefaultExt(std::string_view ext) {
    if (ext.empty() || ext[0] != '.') return 0;
    const auto rows =
        std::count_if(kDataFormats.begin(), kDataFormats.end(), [&](const DataFormat& format) {
            return SameIgnoringCase(ext.substr(1), format.DefaultExt);
        });
    return static_cast<int>(rows);
}

} // namespace velmar

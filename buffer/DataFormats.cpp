#include "DataFormats.h"

#include <algorithm>

#include "TextCase.h"

namespace velmar {

const DataFormat& DataFormatOf(FileType fileType) {
    for (const DataFormat& format : kDataFormats)
        if (format.Type == fileType) return format;
    return kUnlistedFormat;
}

bool HasBinaryRoutines(FileType fileType) {
    return DataFormatOf(fileType).Routines == DataRoutines::Binary;
}

std::optional<FileType> FileTypeFromName(std::string_view name) {
    for (const DataFormat& format : kDataFormats)
        if (SameIgnoringCase(name, format.CliName)) return format.Type;
    return std::nullopt;
}

std::optional<FileType> FileTypeListing(std::string_view ext) {
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

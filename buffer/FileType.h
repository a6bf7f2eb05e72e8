#pragma once
// The four data-file formats as the file-type list, the File button and the
// two data-file dialogs present them. FileType is the row index of the list.

#include <array>
#include <cstddef>
#include <string_view>

namespace velmar {

enum : int {
    BinaryFileType = 0,
    IntelHexFileType = 1,
    MotorolaHexFileType = 2,
    AsciiHexFileType = 3,
};

struct FileTypeRow {
    std::string_view ListText;      // row of File_Type
    std::string_view ButtonCaption; // caption of File_But
    std::string_view DefaultExt;    // default extension of both dialogs
    int FilterIndex;                // filter index of both dialogs (1 Bin, 2 Hex)
};

inline constexpr std::array<FileTypeRow, 4> kFileTypeRows{{
    {"Binary", "Binary File", "Bin", 1},
    {"Intel Hex", "Intel Hex File", "Hex", 2},
    {"Motorola Hex", "Motorola Hex File", "Hex", 2},
    {"Ascii Hex", "Ascii Hex File", "Hex", 2},
}};

// Filter of OpenDialog1 and SaveDialog1, and their extensions before any
// file type has been applied.
inline constexpr std::string_view kDataFileFilter = "Bin|*.Bin|Hex|*.Hex|All|*.*";
inline constexpr std::string_view kOpenDialogInitialExt = ".Bin";
inline constexpr std::string_view kSaveDialogInitialExt = "Bin";

// The row of a file type; none for a value outside 0..3 (a settings file can
// hold one): File_But keeps its caption then.
constexpr const FileTypeRow* FindFileTypeRow(int fileType) {
    if (fileType < 0 || fileType >= static_cast<int>(kFileTypeRows.size())) return nullptr;
    return &kFileTypeRows[static_cast<std::size_t>(fileType)];
}

// Every value other than 0 is a hex type for the dialogs and the routines.
constexpr std::string_view DialogDefaultExt(int fileType) {
    return fileType == 0 ? "Bin" : "Hex";
}
constexpr int DialogFilterIndex(int fileType) {
    return fileType == 0 ? 1 : 2;
}

} // namespace velmar

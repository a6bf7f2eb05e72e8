#pragma once
// The four data-file formats, one row each: the name the command line gives
// it, the extensions that name it, the words and dialog filter a person sees
// for it, and which routines read and write it.
// A FileType is the row's number; the settings file stores it.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmar {

// A settings file can hold a number no row has; such a FileType is kept as
// it is (see kUnlistedFormat).
enum FileType : std::int32_t {
    BinaryFileType = 0,
    IntelHexFileType = 1,
    MotorolaHexFileType = 2,
    AsciiHexFileType = 3,
};

// Binary files are the buffer's bytes as they are; the hex routines read and
// write records of the row's FileType.
enum class DataRoutines { Binary, HexRecords };

struct DataFormat {
    FileType Type;
    std::string_view CliName;                   // --format, --from, --to
    std::array<std::string_view, 5> Extensions; // lower case, with the dot
    std::string_view ListText;                  // its row in the list of file types
    std::string_view ButtonCaption;             // its name on the file-type button
    std::string_view Description;               // what velmar-cli -v calls it
    std::string_view DefaultExt;                // default extension of the data-file dialogs
    int FilterIndex;                            // of kDataFileFilter, 1-based
    DataRoutines Routines;
};

inline constexpr std::array<DataFormat, 4> kDataFormats{{
    {BinaryFileType, "binary", {".bin"}, "Binary", "Binary File", "binary", "Bin", 1,
     DataRoutines::Binary},
    {IntelHexFileType, "intel", {".hex", ".ihx"}, "Intel Hex", "Intel Hex File", "Intel hex",
     "Hex", 2, DataRoutines::HexRecords},
    {MotorolaHexFileType, "motorola", {".s19", ".s28", ".s37", ".srec", ".mot"}, "Motorola Hex",
     "Motorola Hex File", "Motorola S-record", "Hex", 2, DataRoutines::HexRecords},
    {AsciiHexFileType, "ascii", {}, "Ascii Hex", "Ascii Hex File", "ASCII hex", "Hex", 2,
     DataRoutines::HexRecords},
}};

// A FileType no row has (a settings file can hold one) is a hex type for the
// dialogs and the routines; it has no caption, so the button keeps its own.
inline constexpr DataFormat kUnlistedFormat{
    FileType{-1}, "", {}, "", "", "", "Hex", 2, DataRoutines::HexRecords};

// Filter of the data-file dialogs, and their extensions before any file
// type has been applied.
inline constexpr std::string_view kDataFileFilter = "Bin|*.Bin|Hex|*.Hex|All|*.*";
inline constexpr std::string_view kOpenDialogInitialExt = ".Bin";
inline constexpr std::string_view kSaveDialogInitialExt = "Bin";

// The row of `fileType`, or kUnlistedFormat.
const DataFormat& DataFormatOf(FileType fileType);

// Whether the binary routines read and write `fileType`; the hex routines
// take every other value.
bool HasBinaryRoutines(FileType fileType);

// The FileType of a command-line format name, in any case.
std::optional<FileType> FileTypeFromName(std::string_view name);

// The FileType whose row lists `ext` (".S19": with the dot, any case); none
// when no row does.
std::optional<FileType> FileTypeListing(std::string_view ext);

// How many rows have `ext` (".Hex": with the dot, any case) as the dialogs'
// default extension.
int RowsWithDefaultExt(std::string_view ext);

} // namespace velmar

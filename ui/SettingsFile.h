#pragma once
// Win_Velmar.Cfg: the nine values a run leaves for the next one. Plain C++ so
// that the command line and tests can read and write it without a window.

#include <array>
#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

constexpr int kSettingsLinesWritten = 9;
constexpr int kSettingsLinesRead = 19;
inline constexpr const char* kSettingsFileName = "Win_Velmar.Cfg";
// Longer than any path the last file line could hold.
constexpr std::size_t kSettingsLineLimit = 4096;

struct StoredSettings {
    std::int32_t SelectedRow = 1;
    std::int32_t FileType = 1;
    std::int32_t VppSetting = 1;
    std::int32_t AutoVerify = 1;
    std::int32_t BufferStart = 1;
    std::int32_t DeviceStart = 1;
    std::int32_t DeviceEnd = 1;
    std::int32_t HexOffset = 1;
    std::string LastFile; // empty: nothing to reload
};

// The settings file inside `directory`, joined with the platform's separator.
std::string SettingsPath(const std::string& directory);

// The raw lines of the file (line ends stripped), at most 19; none when the
// file cannot be opened. A line longer than kSettingsLineLimit characters
// ends the reading: it and what follows are taken as missing.
std::optional<std::vector<std::string>> ReadSettingsLines(const std::string& path);
std::vector<std::string> ReadSettingsStream(std::istream& in);

// The lines of the settings file as start-up takes them: none, with no
// problem, when there is no file; none, with `problem` saying why in one
// line, when it is not a regular file (nothing is opened then), cannot be
// opened, or is corrupt (bytes that are not text, a device row the catalogue
// does not have).
std::optional<std::vector<std::string>> ReadSettingsFile(const std::string& path,
                                                         std::string& problem);

// Lines 1 to 8 as decimal integers; a line that is missing or not a decimal
// integer counts as "1". A missing line 9 counts as empty.
StoredSettings InterpretSettingsLines(const std::vector<std::string>& lines);

// Strict signed decimal (surrounding blanks tolerated); none when the text is
// not a number that fits 32 bits.
std::optional<std::int32_t> ParseDecimal(const std::string& text);

// The nine lines, each ended by CR LF.
std::string FormatSettings(const StoredSettings& settings);

// Writes through a temporary file renamed over the old one, so an
// interrupted write never leaves a truncated file. False on any failure.
bool WriteSettingsFile(const std::string& path, const StoredSettings& settings);

} // namespace velmar

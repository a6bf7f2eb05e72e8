#include "SettingsFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "buffer/FileReplacement.h"
#include "devices/DeviceCatalogue.h"

namespace velmar {

std::string SettingsPath(const std::string& directory) {
    return (std::filesystem::path(directory) / kSettingsFileName).string();
}

std::optional<std::vector<std::string>> ReadSettingsLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return ReadSettingsStream(in);
}

namespace {

// Why lines read from a settings file cannot be what a run left there; empty
// when they can. A line that is merely no number counts as "1" as ever.
std::string SettingsCorruption(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        for (const char c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                return "holds bytes that are not text";
    if (!lines.empty())
        if (const std::optional<std::int32_t> row = ParseDecimal(lines[0]);
            row && (*row < 0 || *row >= kCatalogueRows))
            return "names device row " + lines[0] + ", which there is not";
    return {};
}

} // namespace

std::optional<std::vector<std::string>> ReadSettingsFile(const std::string& path,
                                                         std::string& problem) {
    problem.clear();
    std::error_code ec;
    // Looked at before it is opened: a FIFO's open would wait for a writer.
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) return std::nullopt;
    const std::string defaults = "; the settings were not read and the defaults apply.";
    if (!std::filesystem::is_regular_file(status)) {
        problem = path + " is not a regular file" + defaults;
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> lines = ReadSettingsLines(path);
    if (!lines) {
        problem = path + " could not be opened" + defaults;
        return std::nullopt;
    }
    if (const std::string why = SettingsCorruption(*lines); !why.empty()) {
        problem = path + " " + why + defaults;
        return std::nullopt;
    }
    return lines;
}

std::vector<std::string> ReadSettingsStream(std::istream& in) {
    std::vector<std::string> lines;
    std::string line;
    // A file written on either platform: CR LF, LF or a lone CR ends a line.
    while (static_cast<int>(lines.size()) < kSettingsLinesRead) {
        line.clear();
        int c = 0;
        bool any = false;
        while ((c = in.get()) != EOF) {
            any = true;
            if (c == '\n') break;
            if (c == '\r') {
                if (in.peek() == '\n') in.get();
                break;
            }
            // Not a settings file (or an endless one): keep what came before.
            if (line.size() == kSettingsLineLimit) return lines;
            line.push_back(static_cast<char>(c));
        }
        if (!any) break;
        lines.push_back(line);
    }
    return lines;
}

std::optional<std::int32_t> ParseDecimal(const std::string& text) {
    std::size_t i = 0, end = text.size();
    while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
    while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    bool negative = false;
    if (i < end && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == end) return std::nullopt;
    std::int64_t value = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 0x80000000LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

StoredSettings InterpretSettingsLines(const std::vector<std::string>& lines) {
    auto number = [&](std::size_t index) -> std::int32_t {
        if (index >= lines.size()) return 1;
        return ParseDecimal(lines[index]).value_or(1);
    };
    StoredSettings s;
    s.SelectedRow = number(0);
    s.FileType = number(1);
    s.VppSetting = number(2);
    s.AutoVerify = number(3);
    s.BufferStart = number(4);
    s.DeviceStart = number(5);
    s.DeviceEnd = number(6);
    s.HexOffset = number(7);
    s.LastFile = lines.size() > 8 ? lines[8] : std::string();
    return s;
}

std::string FormatSettings(const StoredSettings& s) {
    std::string out;
    for (std::int32_t v : {s.SelectedRow, s.FileType, s.VppSetting, s.AutoVerify, s.BufferStart,
                           s.DeviceStart, s.DeviceEnd, s.HexOffset}) {
        out += std::to_string(v);
        out += "\r\n";
    }
    // A name with a line break in it cannot be kept in one line, nor one
    // longer than a line is read back; dropping it keeps the file at nine
    // lines and the other values intact.
    if (s.LastFile.find_first_of("\r\n") == std::string::npos &&
        s.LastFile.size() <= kSettingsLineLimit)
        out += s.LastFile;
    out += "\r\n";
    return out;
}

bool WriteSettingsFile(const std::string& path, const StoredSettings& settings) {
    const std::string text = FormatSettings(settings);
    FileReplacement file(path);
    return file.Open() && file.Write(text.data(), text.size()) && file.Commit();
}

} // namespace velmar

#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "buffer/FileType.h"

namespace velmar::ui {

WindowArguments ParseWindowArguments(const std::vector<std::string>& args) {
    WindowArguments a;
    bool options = true;
    for (const std::string& word : args) {
        if (options && word == "--") {
            options = false;
        } else if (options && (word == "--help" || word == "-h")) {
            a.help = true;
        } else if (options && word == "--version") {
            a.version = true;
        } else if (options && word.size() > 1 && word[0] == '-') {
            a.error = "unknown option " + word;
        } else if (a.file.empty()) {
            a.file = word;
        } else {
            a.error = "only one file can be loaded, not also " + word;
        }
    }
    return a;
}

std::string WindowUsageText() {
    return R"(usage:
  velmar [FILE]
  velmar --help | --version

Starts the window of the Brindle Programmer. FILE, when given, is loaded into
the buffer at start-up as Load Buffer loads it, and becomes the last file of
the settings. Its file type is taken from its text (Intel hex, Motorola
S-records, ASCII hex) or else from its extension: .bin binary, .hex .ihx
Intel, .s19 .s28 .s37 .srec .mot Motorola; anything else loads as binary.
Qt's own options (-platform, -style, ...) are accepted too.

Files:
  Win_Velmar.Cfg  the settings of the last run, in the start-up directory. An
                  installed velmar keeps them in $XDG_CONFIG_HOME/velmar
                  (~/.config/velmar) unless the start-up directory holds one.
  Win_Velmar.Txt  the help text, read from the current directory; an installed
                  velmar falls back on its data folder (share/velmar).
)";
}

namespace {

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// The first line holds only hex digits after `from`, and some of them.
bool HexLine(const std::string& text, std::size_t from) {
    std::size_t i = from;
    while (i < text.size() && IsHexDigit(text[i]))
        ++i;
    return i > from + 1 && (i == text.size() || IsLineEnd(text[i]) || text[i] == '\x1A');
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

int DataFileTypeOf(const std::string& path) {
    std::string head(4096, '\0');
    {
        std::ifstream in(path, std::ios::binary);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(
            static_cast<std::size_t>(in ? head.size() : std::max<std::streamsize>(in.gcount(), 0)));
    }
    std::size_t start = 0;
    while (start < head.size() &&
           (IsLineEnd(head[start]) || head[start] == ' ' || head[start] == '\t'))
        ++start;
    const std::string text = head.substr(start);

    if (!text.empty() && text[0] == ':' && HexLine(text, 1)) return IntelHexFileType;
    if (text.size() > 1 && text[0] == 'S' && std::isdigit(static_cast<unsigned char>(text[1])) &&
        HexLine(text, 2))
        return MotorolaHexFileType;

    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    if (ext == ".bin") return BinaryFileType;
    // Hex digits and line ends only: ASCII hex, whatever the extension says.
    const bool asciiHex = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return IsHexDigit(c) || IsLineEnd(c) || c == '\x1A';
    }) && HexLine(text, 0);
    if (asciiHex) return AsciiHexFileType;
    if (ext == ".hex" || ext == ".ihx") return IntelHexFileType;
    if (ext == ".s19" || ext == ".s28" || ext == ".s37" || ext == ".srec" || ext == ".mot")
        return MotorolaHexFileType;
    return BinaryFileType;
}

} // namespace velmar::ui

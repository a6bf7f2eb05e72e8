#include "CommandLine.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include <QCoreApplication>
#include <QStringList>

#include "buffer/DataFormats.h"

namespace velmar::ui {

std::vector<std::string> WindowArgumentWords(int argc, char** argv) {
    std::vector<std::string> words;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    for (const QString& arg : QCoreApplication::arguments().mid(1))
        words.push_back(arg.toLocal8Bit().toStdString());
#else
    // Decoding and encoding again would turn a byte that is not UTF-8 into
    // U+FFFD, and the name into another one.
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
#endif
    return words;
}

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
the settings. Its file type is taken from its extension (.bin binary, .ihx
Intel, .s19 .s28 .s37 .srec .mot Motorola) or else from its text (Intel hex,
Motorola S-records, ASCII hex; a .hex file whose text does not tell is Intel);
bytes that are not text load as binary. Other text, and a file named as hex
that is not text, are refused: choose the type and use Load Buffer for them.
A dropped file is typed the same way.
Qt's own options (-platform, -style, ...) are accepted too.

Files:
  Win_Velmar.Cfg  the settings of the last run, in the start-up directory. An
                  installed velmar keeps them in $XDG_CONFIG_HOME/velmar
                  (~/.config/velmar) unless the start-up directory holds one.
  Win_Velmar.Txt  the help text, read from the current directory; an installed
                  velmar falls back on its data folder (share/velmar).
)";
}

} // namespace velmar::ui

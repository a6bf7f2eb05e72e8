#pragma once
// The window's command line: --help, --version and one data file to load at
// start-up. Qt takes its own options (-platform, -style) before this runs.

#include <string>
#include <vector>

namespace velmar::ui {

struct WindowArguments {
    bool help = false;
    bool version = false;
    std::string file;  // empty: none named
    std::string error; // empty when the line was understood
};

WindowArguments ParseWindowArguments(const std::vector<std::string>& args);

std::string WindowUsageText();

// The FileType for a data file named outside the file dialog: Intel or
// Motorola records and ASCII hex are known by their text, anything else by
// its extension (.bin binary, .hex .ihx Intel, .s19 .s28 .s37 .srec .mot
// Motorola), and binary when neither tells.
int DataFileTypeOf(const std::string& path);

} // namespace velmar::ui

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

// The words after the program's name, once the application has taken Qt's own
// options out of argv. On POSIX these are argv's bytes as given, so a file
// name that is not UTF-8 still names its file; on Windows, Qt's list in the
// program's code page (UTF-8, see velmar.manifest).
std::vector<std::string> WindowArgumentWords(int argc, char** argv);

std::string WindowUsageText();


} // namespace velmar::ui

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


} // namespace velmar::ui

#pragma once
// What velmar-cli says about its own command line.

#include <string>

namespace velmar::cli {

// The text --help prints, convert --help too: every command and option.
std::string UsageText();

// The line after an error in a command line; after one in a convert line.
std::string TryHelpLine();
std::string ConvertUsageLine();

} // namespace velmar::cli

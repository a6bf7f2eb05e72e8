#pragma once
// velmar-cli convert: loads a data file into a buffer of zeros with the
// window's reader and writes it again with the window's writer.

#include <string>
#include <vector>

namespace velmar::cli {

// `args` are the words after "convert". Sentences and boxes go to stderr,
// --help to stdout. Exit status: 0 done; 1 the input is malformed or has
// records with a wrong checksum (the output is still written for the
// latter); 2 bad arguments or a file that cannot be read or written.
int RunConvert(const std::vector<std::string>& args, int verbosity = 0);

// The text `convert --help` prints.
std::string ConvertHelpText();

} // namespace velmar::cli

#pragma once
// velmar-cli convert: loads a data file into a buffer of zeros with the
// window's reader and writes it again with the window's writer.

#include "Arguments.h"

namespace velmar::cli {

// Runs a parsed convert line. Sentences and boxes go to stderr. Exit status:
// 0 done; 1 the input is malformed or has records with a wrong checksum (the
// output is still written for the latter); 2 a file that cannot be read or
// written.
int RunConvert(const ConvertArguments& arguments, int verbosity = 0);

} // namespace velmar::cli

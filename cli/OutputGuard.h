#pragma once
// What a command writes must not be what it reads: a log, trace, state or
// output file that is one of the command's inputs (by identity, whatever name
// reaches it) is refused before anything is written or sent.

#include <string>

#include "Arguments.h"

namespace velmar::cli {

// The first output of `arguments` that is one of its inputs or another of
// its outputs, as a sentence; "" when none is.
std::string OutputOverInput(const Arguments& arguments);

} // namespace velmar::cli

#pragma once
// Whether a standard stream is a terminal; the one place velmar-cli asks.

#include <cstdio>

namespace velmar::cli {

bool IsTerminal(std::FILE* stream);

} // namespace velmar::cli

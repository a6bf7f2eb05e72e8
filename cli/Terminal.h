#pragma once
// The few system calls of velmar-cli that differ between platforms.

#include <cstdio>
#include <string>

namespace velmar::cli {

// Whether a standard stream is a terminal.
bool IsTerminal(std::FILE* stream);

// A stream that reads `bytes` (kept alive by the caller); nullptr on failure.
std::FILE* OpenMemoryStream(std::string& bytes);

} // namespace velmar::cli

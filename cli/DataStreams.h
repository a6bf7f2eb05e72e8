#pragma once
// Data files as streams: standard input and output for "-", and the format
// of a file told by its contents when neither an option nor the extension
// names it.

#include <cstdio>
#include <string>
#include <string_view>

#include "devices/ProgramState.h"

namespace velmar::cli {

// Every byte of `stream`, up to the hex reader's input limit; false with a
// reason when it cannot be read or is longer.
bool ReadWholeStream(std::FILE* stream, std::string& bytes, std::string& error);

// Text whose first non-blank character is ':' is Intel hex (1), 'S' and a
// digit Motorola (2), text of hex digits and blanks only ASCII hex (3);
// anything else binary (0).
int DetectFormat(std::string_view bytes);

// Buffer positions 0..DeviceEnd (at most 0xFFFF) as FileType says, to a
// stream, as SaveDataFile writes them to a file.
bool WriteImage(std::FILE* stream, const ProgramState& state, bool cutAtEnd = false);

} // namespace velmar::cli

#pragma once
// Data files as streams: standard input and output for "-", and what the
// command line says about a load's unsound records.

#include <cstdio>
#include <string>
#include <string_view>

#include "devices/FileCommands.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

// Every byte of `stream`, up to the hex reader's input limit; false with a
// reason when it cannot be read or is longer.
bool ReadWholeStream(std::FILE* stream, std::string& bytes, std::string& error);

// "FILE:L: ..." naming the first line the load skipped as no record, or else
// the first line that gave an address a second, different value, or else the
// first line after the end record (not read); empty when the load met none.
std::string UnsoundRecords(const std::string& path, const LoadFacts& facts);

// Buffer positions 0..DeviceEnd (at most 0xFFFF) as FileType says, to a
// stream, as SaveDataFile writes them to a file.
bool WriteImage(std::FILE* stream, const ProgramState& state, bool cutAtEnd = false,
                const std::vector<PositionRange>* runs = nullptr);

} // namespace velmar::cli

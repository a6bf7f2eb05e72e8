#pragma once
// The load and save commands behind Load_But and Save_But, the start-up
// reload and velmar-cli: they pick the binary or hex routine by FileType and
// report through the program state's panel. The operation frame
// (BeginOperation / EndOperation) and the file dialogs are the caller's.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ProgramState.h"
#include "buffer/HexWriter.h"

namespace velmar {

// Loads `path` into the buffer: FileType 0 as a binary file at BufferStart,
// any other value with the hex reader. LoadAddress of a hex load is left in
// Transfer.DeviceAddress so that the following EndOperation shows it.
//
// Success (true): the panel hears FileLoaded(path) and the new checksum.
// Bytes that fall past the buffer are dropped and reported (a report line
// and a warning box); records with a wrong
// checksum are stored, reported in a warning box and set FailFlag.
// Failure (false): the file could not be read, or a hex field is malformed;
// an error box says why, FailFlag is set and no FileLoaded is given.
// `fileError`, when given, tells an unreadable file from malformed contents.
//
// A hex load that stored no byte shows "No data records were found in
// <file>."; data past DeviceEnd (folded by the hex reader, or a binary file
// longer than the device's range) show one warning per load; so do lines
// that were skipped as no record, lines after the end record, and addresses
// two records gave different values. All of these still load but set
// FailFlag, so the banner turns red.
struct LoadFacts {
    bool fileError = false;               // the file could not be read
    std::int64_t dataBytes = 0;           // bytes the file gave the buffer
    std::int32_t highestPosition = -1;    // highest buffer position stored
    std::int64_t rangeBytes = 0;          // of them, where the device's range lies
    std::int64_t beyondBytes = 0;         // bytes past the device's end
    std::int64_t firstBeyondAddress = -1; // file address (binary: offset) of the first
    bool folded = false;                  // the hex fold moved some of them
    int badChecksumRecords = 0;
    int badLine = 0;      // line of a malformed field
    bool stopped = false; // the panel stopped the load
    int skippedLines = 0; // neither blank nor a record the format defines
    int firstSkippedLine = 0;
    std::int64_t conflictingBytes = 0; // addresses given two different values
    std::int64_t firstConflictAddress = -1;
    std::uint8_t firstConflictValues[2] = {0, 0}; // the earlier and the later
    int firstConflictLine = 0;
    int endRecordLine = 0;         // the end record's line, 0 none
    int linesAfterEnd = 0;         // not blank, after the end record: not read
    int firstLineAfterEnd = 0;
    std::int64_t droppedBytes = 0; // past buffer position FFFF
    std::vector<bool> storedAt;    // hex loads: the buffer positions a record stored
};
// The file is opened once, here.
bool LoadDataFile(ProgramState& state, const std::string& path, bool* fileError = nullptr,
                  LoadFacts* facts = nullptr);

// What LoadDataFile shows for a file it cannot open: the error box naming
// `path` and `reason`, FailFlag set.
void ReportUnreadableDataFile(ProgramState& state, const std::string& path,
                              const std::string& reason);

// The same from a file the caller opened (and closes): `path` only names it
// in captions and boxes. Binary input is read from the stream's position.
bool LoadDataStream(ProgramState& state, const std::string& path, std::FILE* stream,
                    bool* fileError = nullptr, LoadFacts* facts = nullptr);

// Saves buffer positions 0..DeviceEnd (at most up to 0xFFFF) to `path` as
// FileType says. The file is written beside the target and renamed over it
// only when complete, so a failed save leaves the old file intact.
// Failure (false): an error box naming the file and the reason, FailFlag set.
// `cutAtEnd`: Intel records end at DeviceEnd as well (see HexFileText).
// `runs`: an Intel or Motorola file of only these positions (HexRunsText).
bool SaveDataFile(ProgramState& state, const std::string& path, bool cutAtEnd = false,
                  const std::vector<PositionRange>* runs = nullptr);

// Every byte of the buffer := value (the fill dialogue). The checksum caption
// is left alone on purpose: it is recomputed only on request.
void FillBuffer(ProgramState& state, std::uint8_t value);

} // namespace velmar

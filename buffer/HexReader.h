#pragma once
// The hex file reader: Intel hex, Motorola S-records and ASCII hex. It works
// line by line, takes fields by position, and stops reading records at the first end record
// (the lines after it are only counted). Blanks before a record's mark are no part of it; a line
// that is neither blank nor a record the format defines is skipped and counted, never passed over
// in silence.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "AddressWindow.h"
#include "DataBuffer.h"
#include "DataFormats.h"
#include "FrontPanel.h"

namespace velmar {

struct HexLoadResult {
    bool ok = false;                   // false: the file could not be read or a field was malformed
    std::string systemError;           // set when the file could not be read
    std::string badField;              // the field that failed, "$" included ("$G1")
    std::int32_t LoadAddress = 0;      // last record address (ASCII hex: next position)
    bool EndRecordMet = false;         // the load ended at an end record
    std::int64_t droppedBytes = 0;     // data bytes that fell past the buffer
    int badChecksumRecords = 0;        // records stored despite a wrong checksum
    int firstBadChecksumLine = 0;      // 1-based line of the first of them
    int badLine = 0;                   // 1-based line of the malformed field
    std::int64_t storedBytes = 0;      // data bytes that went into the buffer
    std::int32_t highestPosition = -1; // highest buffer position stored, -1 none
    std::int64_t rangeBytes = 0;       // stored where the device's range lies in the buffer
    // Data bytes whose address (before the fold) lies past DeviceEnd, and
    // whether the fold moved any record start; the first such address.
    std::int64_t beyondBytes = 0;
    std::int64_t firstBeyondAddress = -1;
    bool folded = false;
    std::string refusal;  // why the reader gave up on the text, if it did
    bool stopped = false; // the panel asked the load to stop
    // Lines that are neither blank nor a record, and records of a type the
    // format does not define (Intel 06 and up, S4): skipped.
    int skippedLines = 0;
    int firstSkippedLine = 0;
    // File addresses that two records give different values (the later one
    // is stored); the first of them, its two values and the later line.
    std::int64_t conflictingBytes = 0;
    std::int64_t firstConflictAddress = -1;
    std::uint8_t firstConflictValues[2] = {0, 0};
    int firstConflictLine = 0;
    std::vector<bool> storedAt; // per buffer position: a record stored a byte there
    // The line of the end record, and the lines after it that are not blank
    // (two files run together): not read, but counted; the first of them.
    int endRecordLine = 0;
    int linesAfterEnd = 0;
    int firstLineAfterEnd = 0;
};

// Bounds on text input: what a data file for a 64 KiB buffer can never need.
constexpr std::int64_t kHexInputLimit = 64LL * 1024 * 1024;
constexpr std::size_t kHexLineLimit = 4096;

// Writes "Loading Buffer from Hex File...." (and lets the panel paint it),
// reads the file, and writes "Hex File Loaded...." on success. A malformed
// field shows "'$G1' is not a valid integer value." in an error box and ends
// the load; bytes stored until then stay. File errors are only returned.
HexLoadResult LoadHexFile(const std::string& path, FileType fileType, DataBuffer& buffer,
                          const AddressWindow& window, FrontPanel& panel);
HexLoadResult LoadHexStream(std::FILE* stream, FileType fileType, DataBuffer& buffer,
                            const AddressWindow& window, FrontPanel& panel);

// The mask that folds record addresses into the device: the smallest
// all-ones value covering DeviceLimit, so that a device whose size is not a
// power of two (0x4FFF) keeps its own addresses in place. For every other
// limit this is DeviceLimit itself. With no limit (DeviceLimit 0: no device
// chosen yet) the reader folds nothing: records keep their 20-bit address,
// and what falls past the buffer is dropped and counted.
std::int32_t FoldMask(std::int32_t deviceLimit);

// The text of a field that fails the number conversion.
std::string InvalidIntegerText(const std::string& convertedField);

} // namespace velmar

#pragma once
// What one run of velmar-cli found out, gathered as it goes, for --json and
// the per-part log: the command, the programmer, the file, the range, the
// differences and, on a production run, every part.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ImageChecksums.h"

namespace velmar::cli {

struct LineReport;

struct DifferenceRecord {
    std::int32_t address;
    std::uint8_t expected;
    std::uint8_t found;
};

struct BridgeRecord {
    int index;
    std::string serial;
    std::string description;
    std::optional<std::string> firmware; // none: it did not answer as a programmer
};

// One part of a production run, as the log keeps it.
struct PartRecord {
    long sequence = 0;     // from 1, within the run
    std::string time;      // UTC, ISO 8601, when the part started
    std::string imageSha1; // of the device range programmed, serial number included
    std::optional<std::uint64_t> serialNumber;
    std::string result; // ok, failed, stopped
    long differences = 0;
    std::optional<std::int32_t> firstDifference;
    long durationMs = 0;
    unsigned linkFaults = 0; // during this part
};

struct RunReport {
    std::string command; // probe, list, firmware, read, ..., convert, job new, job check, job run
    std::string device;
    std::string jobName;
    std::string jobText; // job new: the TOML written
    std::string programmerSerial;
    std::string programmerFirmware;
    std::string fileName;
    std::string fileFormat; // binary, intel, motorola, ascii
    std::string fileSha1;   // of the file's bytes
    std::optional<std::int32_t> rangeFirst, rangeLast, bufferStart;
    std::string result; // ok, failed, stopped, no-programmer, bad-input
    int exitCode = 0;
    std::vector<DifferenceRecord> differenceList; // as far as --max-diffs allows
    long differences = 0;
    long differingBits = 0;
    std::optional<std::int32_t> firstDifference, lastDifference;
    std::string dataCrc32, dataSha1; // of what was read or verified
    long dataBytes = 0;
    long durationMs = 0;
    unsigned linkFaults = 0;
    std::string error;     // the last complaint
    std::string diagnosis; // the likely cause of a failure, as the panel named it
    std::vector<BridgeRecord> bridges;
    bool production = false; // parts and summary belong in the object, even none
    std::vector<PartRecord> parts;
    std::optional<ImageChecksums> checksums;      // sum, and the image of program, verify, read
    std::shared_ptr<const LineReport> lineReport; // report
};

// The counts a production run ends with.
struct RunSummary {
    long parts = 0;
    long passed = 0;
    long failed = 0;
    double yield = 0; // passed / parts, 0 without parts
    long msPerPart = 0;
};

inline RunSummary Summarize(const std::vector<PartRecord>& parts) {
    RunSummary s;
    long total = 0;
    for (const PartRecord& part : parts) {
        ++s.parts;
        s.passed += part.result == "ok";
        total += part.durationMs;
    }
    s.failed = s.parts - s.passed;
    if (s.parts > 0) {
        s.yield = static_cast<double>(s.passed) / static_cast<double>(s.parts);
        s.msPerPart = total / s.parts;
    }
    return s;
}

} // namespace velmar::cli

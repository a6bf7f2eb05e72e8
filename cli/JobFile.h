#pragma once
// A job file (TOML) pins what a production line programs: the device, the
// image and its SHA-1, how the image is loaded, the serial-number rule, the
// lock bits, the number of parts and the log. A job whose image no longer
// has the pinned SHA-1 does not start.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Arguments.h"
#include "RunReport.h"

namespace velmar::cli {

struct Job {
    std::string name;
    std::string device;
    std::string file; // as written; relative to the job file's folder
    std::string sha1;
    std::optional<FileType> format;
    std::optional<std::int32_t> offset, bufferStart;
    std::optional<std::uint8_t> fill;
    std::optional<SerialRule> serial;
    std::string serialState;
    std::vector<int> lockBits;
    std::optional<long> repeat;
    std::string log, logCsv;
    bool precheck = false;    // each part read first, refused when it cannot take the image
    bool changedOnly = false; // only the blocks that differ from the part
    bool strict = false;      // a warning about the image ends the run
    bool fold = false;        // data past the part's end loaded folded, as --fold
};

// Reads and checks a job file (names, formats, ranges, the device's lock
// bits); false with `error` set.
bool ReadJob(const std::string& path, Job& job, std::string& error);
// The job as a TOML file.
std::string JobToml(const Job& job);

// The SHA-1 of a file's bytes; false with `error` set when it cannot be read.
bool FileSha1(const std::string& path, std::string& sha1, std::string& error);

// The arguments a job runs with: the programmer, output and serial-state
// options of the command line, everything else from the job. False with
// `error` set when the image cannot be read or changed since the job was
// approved.
bool JobRunArguments(const Job& job, const Arguments& commandLine, Arguments& run,
                     std::string& error);

// Tests only: called once the image's bytes are read and their SHA-1
// checked, where a writer could replace the file; what is loaded and
// programmed are the bytes already read.
std::function<void()>& JobPinTestHook();

// job new: the job for a program command line, written to the job file
// named (names relative to its folder) or else on standard output (names
// whole). Refused for every reason job run would refuse it without a
// programmer.
int RunJobNew(const Arguments& arguments, RunReport& report);
// job check: the job read, its image compared, loaded and judged as job run
// would, no programmer touched.
int RunJobCheck(const Arguments& arguments, RunReport& report);

} // namespace velmar::cli

#pragma once
// The per-part log of a production run: one JSON line per part (--log) and
// the same columns as CSV with a header (--log-csv), each appended under the
// file's lock, flushed and synced to the disk before the next part starts.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "RunReport.h"

namespace velmar::cli {

// What every line of one run shares.
struct UnitLogContext {
    std::string host;
    std::string programmerSerial;
    std::string device;
    std::string jobName;
};

class UnitLog {
  public:
    UnitLog() = default;
    ~UnitLog();
    UnitLog(const UnitLog&) = delete;
    UnitLog& operator=(const UnitLog&) = delete;

    // Opens both logs for appending (either path may be empty); false with
    // `error` set when one cannot be written, before any part.
    bool Open(const std::string& jsonPath, const std::string& csvPath, std::string& error);
    bool Append(const UnitLogContext& context, const PartRecord& part, std::string& error);

  private:
    std::FILE* json_ = nullptr;
    std::FILE* csv_ = nullptr;
    std::string jsonPath_, csvPath_;
};

// The highest serial number a log (JSON lines, or CSV when `csv`) holds for
// the job named `job` ("" for runs without a job); none when it holds none or
// cannot be read.
std::optional<std::uint64_t> HighestLoggedSerial(const std::string& path, bool csv,
                                                 const std::string& job);

// The CSV header and a part's row, without the line end.
std::string UnitLogCsvHeader();
std::string UnitLogCsvRow(const UnitLogContext& context, const PartRecord& part);

} // namespace velmar::cli

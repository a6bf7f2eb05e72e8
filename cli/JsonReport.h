#pragma once
// --json: the run's report as one JSON object, the only thing on standard
// output. Its fields are described by docs/velmar-cli-result.schema.json.

#include <cstdio>
#include <string>

#include "RunReport.h"

namespace velmar::cli {

// The object, one line.
std::string ReportJsonText(const RunReport& report);
// A part as the log's line holds it (without the run's fields).
std::string PartJsonText(const PartRecord& part);

// The object and a new line on `out`, flushed; false (errno set) when it
// could not be written.
bool PrintReportJson(std::FILE* out, const RunReport& report);

} // namespace velmar::cli

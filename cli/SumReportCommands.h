#pragma once
// velmar-cli sum and report: neither reaches a programmer.

#include "Arguments.h"
#include "RunReport.h"

namespace velmar::cli {

// sum FILE: loads FILE as program loads it and prints the checksums of the
// device's range (of the file's data without --device), and of the range
// less --exclude. 0 done; 1 FILE malformed or empty; 2 FILE unreadable or an
// --exclude outside the range.
int RunSum(const Arguments& arguments, RunReport& report);

// report LOG...: the job report of the logs' parts; every line that is not a
// part's record is named and skipped with a warning. 0 done; 1 no part in
// the logs; 2 a log cannot be read.
int RunLogReport(const Arguments& arguments, RunReport& report);

// job run --report: the report of the run's parts (the programmer's serial
// as the site) into `report`, and on stderr unless `json`.
void ReportJobRun(RunReport& report, bool json);

} // namespace velmar::cli

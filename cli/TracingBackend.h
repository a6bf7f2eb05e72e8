#pragma once
// A D2XX table that hands every call to another table and writes each packet
// the host writes to a trace file, so a run on real hardware leaves the same
// trace as a run on the virtual programmer.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "link/D2XXApi.h"

namespace velmar::cli {

// The table wraps `inner` and writes to `trace` (left open; the caller closes
// it). There is one trace per process, as there is one D2XX library.
const D2XXBackend& TracingBackend(const D2XXBackend& inner, std::FILE* trace);

// A second file that gets every trace line too (none: nullptr).
void TraceAlsoTo(std::FILE* copy);

// The errno value of the first trace line that could not be written (a full
// disk, /dev/full); 0 while every line was. -vv's lines on the error stream
// are not counted.
int TraceWriteFailed();

} // namespace velmar::cli

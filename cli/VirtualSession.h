#pragma once
// The in-process virtual programmer for one run of velmar-cli: its options,
// the chip in its socket, its packet trace and the chip file written at the
// end.

#include <functional>
#include <string>

#include "Arguments.h"
#include "link/D2XXApi.h"

namespace velmar::cli {

class VirtualSession {
  public:
    // Parses the option text and resets the virtual programmer. Unless the
    // options name a family, the socket holds the part the command names, of
    // its size; a chip file fills it from address 0. A trace path (--trace)
    // replaces any trace= option.
    bool Start(const Arguments& arguments, std::string& error);
    const D2XXBackend& Backend() const;
    // With swap=on, what takes out the part and seats a fresh one; else
    // nothing.
    std::function<void()> PartSwap() const;
    // Writes the chip file asked for with save-chip=.
    bool Finish(std::string& error);
    // The errno value of the first trace line the trace file did not take;
    // 0 when every line was written (or there is no trace file).
    int TraceWriteFailed() const;
    // The trace file (--trace or trace=); "" when none.
    std::string TracePath() const;
};

} // namespace velmar::cli

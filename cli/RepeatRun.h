#pragma once
// program on a production line: part after part (--repeat), each with its
// own serial number (--serial-number), each logged (--log, --log-csv), each
// verified against its own image, lock bits after a good verify (a job's),
// and a summary at the end.

#include <cstdint>
#include <functional>
#include <string>

#include "Arguments.h"
#include "ConsolePanel.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

// Takes the part out of the socket and seats a fresh one (the virtual
// programmer's swap=on); empty for a real socket, where a person does it.
using PartSwap = std::function<void()>;

// Where the serial number goes must be inside the part and, unless
// --serial-overwrite, over bytes the file does not store; the problem, or ""
// when it may go there. `state` holds the loaded image (job check asks too).
std::string SerialPlacementProblem(const ProgramState& state, const Arguments& a,
                                   std::uint8_t fill);

// The exit status: 0 when every part passed, 1 when one failed, the run was
// stopped or the programmer was lost, 2 when a file could not be read or
// written.
int RunProduction(ProgramState& state, ConsolePanel& panel, const Arguments& arguments,
                  const PartSwap& swap);

} // namespace velmar::cli

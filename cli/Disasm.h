#pragma once
// velmar-cli disasm: the MCS-48 or MCS-51 listing of a data file, or of the
// part in the socket.

#include "Arguments.h"
#include "ConsolePanel.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

// A file: loaded as program loads it; never touches a programmer.
int RunDisasmFile(const Arguments& arguments);

// --read: the search, the device selection and the read of the part, then
// its listing.
int RunDisasmRead(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

} // namespace velmar::cli

#pragma once
// What velmar-cli runs on the programmer: the search, the firmware update and
// the device operations, each exactly as the window runs it, ending in the
// exit status of the command.

#include <string>

#include "Arguments.h"
#include "ConsolePanel.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

enum ExitStatus : int { ExitSuccess = 0, ExitFailed = 1, ExitUsage = 2 };

// The programmer search (`serial`: the one asked for, if any); 0 when the
// programmer answered.
int RunProbe(ProgramState& state, ConsolePanel& panel, const std::string& serial = {});

// The search, then the firmware update from `path` (questions answered Yes).
int RunFirmware(ProgramState& state, ConsolePanel& panel, const std::string& path,
                const std::string& serial = {});

// Opens the data file and loads it as program does (the buffer filled with
// the part's erased value first, refusals included). The exit status, or -1
// to go on.
int LoadDataImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

// The programmer search and the device selection as the window makes it;
// false when no programmer answered.
bool SelectDevice(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

// The search, the device selection, then the operation between its frame.
int RunDeviceOperation(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

// Every attached bridge: index, serial, description and whether it answers
// as a programmer (its firmware version). 0 when one or more answered.
int RunList(const D2XXBackend& backend);

// The version query to the one bridge with `serial`, as the window's search
// sends it, showing nothing.
struct BridgeAnswer {
    bool opened = false;
    std::string firmware;    // "1.23"; empty when it did not answer
    std::string openProblem; // why it could not be opened, when known
};
BridgeAnswer AskBridge(const D2XXBackend& backend, const std::string& serial);

} // namespace velmar::cli

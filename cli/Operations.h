#pragma once
// What velmar-cli runs on the programmer: the search, the firmware update and
// the device operations, each exactly as the window runs it, ending in the
// exit status of the command.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "Arguments.h"
#include "ConsolePanel.h"
#include "devices/FailureDiagnosis.h"
#include "devices/FileCommands.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

enum ExitStatus : int { ExitSuccess = 0, ExitFailed = 1, ExitUsage = 2 };

// The programmer search (`serial`: the one asked for, if any); 0 when the
// programmer answered. `json`: nothing on standard output.
int RunProbe(ProgramState& state, ConsolePanel& panel, const std::string& serial = {},
             bool json = false);

// What a device operation checks and loads before the programmer is
// touched: the buffer start, the output's folder, the file loaded and judged
// (--strict's warnings too). The exit status, or -1 to go on. job new and
// job check run it with no programmer, so that they refuse what job run would.
int PrepareImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

// What every device operation does before its handler: the file checked
// and loaded, the search, the device selection. The exit status, or -1 to
// go on.
int PrepareDeviceOperation(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

// The window the device selection will set up, so that the file can be
// loaded and judged before the programmer is touched.
AddressWindow SelectedWindow(const Arguments& arguments);

// The byte count, CRC-32 and SHA-1 of the buffer's device range into the
// panel's report.
void ReportRangeIdentity(const ProgramState& state, ConsolePanel& panel);

// The search, then the firmware update from `path` (questions answered Yes).
int RunFirmware(ProgramState& state, ConsolePanel& panel, const std::string& path,
                const std::string& serial = {});

// Opens the data file and loads it as program does (the buffer filled with
// the part's erased value first, refusals included). The exit status, or -1
// to go on. Without a device (catalogueRow -1) the whole buffer, filled with
// 00 first. `facts`, when given, gets what the load found.
int LoadDataImage(ProgramState& state, ConsolePanel& panel, const Arguments& arguments,
                  LoadFacts* facts = nullptr);

// The programmer search and the device selection as the window makes it;
// false when no programmer answered.
bool SelectDevice(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

// program --precheck: the part is read and refused (exit status) when it
// cannot take the image; with `changedOnly` the blocks that differ are
// listed in `changed`, of `blocks` in all. The exit status, or -1 to go on.
int PrecheckPart(ProgramState& state, ConsolePanel& panel, bool changedOnly,
                 std::vector<std::int32_t>& changed, std::size_t& blocks);

// "skipped 12 of 16 blocks that already hold the image, about 3.2 s saved"
std::string SkippedBlocksLine(std::size_t blocks, std::size_t programmed,
                              std::chrono::steady_clock::duration programming);

// After a failed program: a part that refused a block (no differing byte,
// no lost link since `linkFaultsBefore`) is read back to name the cause.
// Returns the differing bytes that read found (none when not read).
DifferenceCount DiagnoseRefusedBlock(ProgramState& state, ConsolePanel& panel,
                                     unsigned linkFaultsBefore);

// The panel's diagnosis, if any, on the error stream.
void SayDiagnosis(const ConsolePanel& panel);

// The search, the device selection, then the operation between its frame.
int RunDeviceOperation(ProgramState& state, ConsolePanel& panel, const Arguments& arguments);

// Every attached bridge: index, serial, description and whether it answers
// as a programmer (its firmware version). 0 when one or more answered.
// With `collect`, the rows go there instead of standard output.
int RunList(const D2XXBackend& backend, RunReport* collect = nullptr);

// The version query to the one bridge with `serial`, as the window's search
// sends it, showing nothing.
struct BridgeAnswer {
    bool opened = false;
    std::string firmware;    // "1.23"; empty when it did not answer
    std::string openProblem; // why it could not be opened, when known
};
BridgeAnswer AskBridge(const D2XXBackend& backend, const std::string& serial);

} // namespace velmar::cli

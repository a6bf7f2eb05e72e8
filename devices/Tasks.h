#pragma once
// The core's tasks: one call each, for the window and velmar-cli alike. Each
// runs whole (its operation frame, its sentences, its facts to the panel) and
// returns what came of it, so that no front end reads it back from fields.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "AccessSequences.h"
#include "DeviceSelection.h"
#include "FileCommands.h"
#include "ProgramState.h"
#include "link/FirmwareUpdate.h"
#include "link/ProgrammerSearch.h"

namespace velmar {

enum class TaskOutcome {
    Succeeded,
    Failed,  // a difference, a refusal or a lost link: the banner turns red
    Stopped, // the run ended before its last address (Quit, the link, the buffer's end)
};

// What a device operation came to.
struct OperationResult {
    TaskOutcome Outcome = TaskOutcome::Failed;
    // The device address the run had reached when its frame closed.
    std::int32_t StoppedAt = 0;
    // Bytes listed as differing (verify, blank check, the verify of program).
    std::int64_t Differences = 0;
    // Link faults between the frame's opening and its closing idle's reply.
    unsigned LinkFaults = 0;

    bool Succeeded() const { return Outcome == TaskOutcome::Succeeded; }
};

// What a data-file load came to: whether it loaded, and when not, whether the
// file itself could not be read (rather than holding no valid records).
struct LoadResult {
    bool Loaded = false;
    bool CannotRead = false;
};

namespace tasks {

// Catalogue row `row` becomes the selected device (DeviceSelection.h).
using velmar::SelectDevice;

OperationResult Verify(ProgramState& state);
OperationResult BlankCheck(ProgramState& state);
// The device's range into the buffer.
OperationResult Read(ProgramState& state);
// Whether the device can take the buffer without an erase.
OperationResult Compare(ProgramState& state);
// With a filter, only the blocks it wants are programmed (the verify that
// follows with automatic verify still covers the whole range).
OperationResult Program(ProgramState& state, const BlockFilter& wanted = {});
OperationResult Erase(ProgramState& state);
// Security bit `bit` (1..3).
OperationResult ProgramLockBit(ProgramState& state, int bit);

// Automatic verify on or off, and its caption.
void SetAutoVerify(ProgramState& state, bool on);

// The data file at `path`, or read from `stream` under the name `path`, by
// the FileType; `facts`, when given, gets what the load found.
LoadResult LoadFile(ProgramState& state, const std::string& path, LoadFacts* facts = nullptr);
LoadResult LoadFile(ProgramState& state, const std::string& path, std::FILE* stream,
                    LoadFacts* facts = nullptr);

// The search; the banner turns red unless the programmer answered.
SearchResult FindProgrammer(ProgramState& state);
FirmwareUpdateOutcome UpdateFirmware(ProgramState& state);

// Quit: the running operation, load or wait ends at its next look.
void RequestStop(ProgramState& state);

} // namespace tasks

} // namespace velmar

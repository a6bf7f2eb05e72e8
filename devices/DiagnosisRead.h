#pragma once
// The reads behind a failure diagnosis: the range read again to see whether
// it reads the same, the read after a block the programmer refused, and the
// majority of several reads of one part.

#include <cstdint>
#include <optional>
#include <vector>

#include "FailureDiagnosis.h"
#include "ProgramState.h"

namespace velmar {

// DeviceStart..DeviceEnd read once more after an idle command, in device
// order; none when the run did not reach DeviceEnd.
std::optional<std::vector<std::uint8_t>> ReadDeviceRange(ProgramState& state);

// A listing run over the whole range found differences: reads the range
// again where that tells more, then reports the cause, if one shows.
void ReportFailureDiagnosis(ProgramState& state, const ReadComparison& run);

// A programming run stopped at a block the programmer refused, the block
// that ends at `lastAddress` (blocks count from DeviceStart): reads
// DeviceStart..lastAddress against the buffer in an operation frame of its
// own and reports the cause. The frame ends failed: the part is not right.
// Returns what that read found differing (nothing when it was not read).
DifferenceCount DiagnoseProgramming(ProgramState& state, std::int32_t lastAddress);

// Byte `at` of several reads of one part: each bit the value most reads gave
// it, the first read's on a tie (an even number of reads).
std::uint8_t MajorityOf(const std::vector<std::vector<std::uint8_t>>& reads, std::size_t at);

} // namespace velmar

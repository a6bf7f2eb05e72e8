#pragma once
// The reads behind a failure diagnosis: the range read again to see whether
// it reads the same, and the read after a failed programming run.

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

// A programming run failed before `lastAddress` was verified: reads
// DeviceStart..lastAddress against the buffer in an operation frame of its
// own and reports the cause. The frame ends failed: the part is not right.
void DiagnoseProgramming(ProgramState& state, std::int32_t lastAddress);

} // namespace velmar

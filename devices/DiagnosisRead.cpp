#include "DiagnosisRead.h"

#include <algorithm>

#include "AccessSequences.h"
#include "OperationFrame.h"

namespace velmar {

std::optional<std::vector<std::uint8_t>> ReadDeviceRange(ProgramState& state) {
    state.Link.SendIdle();
    std::vector<std::uint8_t> bytes;
    const bool complete = ReadLoop(state, [&bytes](std::uint8_t byte) {
        bytes.push_back(byte);
        return true;
    });
    if (!complete) return std::nullopt;
    return bytes;
}

void ReportFailureDiagnosis(ProgramState& state, const ReadComparison& run) {
    std::optional<Diagnosis> found;
    if (WantsSecondRead(run)) {
        const unsigned mark = state.Link.LinkFaults;
        const std::optional<std::vector<std::uint8_t>> again = ReadDeviceRange(state);
        // A second read cut short or garbled by the link says nothing of the part.
        if (!again || LinkFailedSince(state, mark)) return;
        found = DiagnoseFailure(run, *again);
    } else {
        found = DiagnoseFailure(run);
    }
    if (found) state.Panel->FailureDiagnosed(DiagnosisLine(*found));
}

DifferenceCount DiagnoseProgramming(ProgramState& state, std::int32_t lastAddress) {
    BeginOperation(state);
    const unsigned mark = state.Link.FrameFaultMark;
    AddressWindow& window = state.Window;
    const std::int32_t deviceEnd = window.DeviceEnd;
    window.DeviceEnd = std::clamp(lastAddress, window.DeviceStart, deviceEnd);
    ReadComparison run;
    run.Start = window.DeviceStart;
    run.ErasedValue = state.Selection.BlankValue();
    run.AddressBits = AddressBitsOf(deviceEnd);
    run.AfterProgramming = true;
    // A part programmed in blocks stops after the block whose reply said it
    // did not take; a bytewise part has no block to refuse.
    if (!state.Selection.Can().ProgramsBytewise && lastAddress >= window.DeviceStart)
        run.RefusedBlock =
            window.DeviceStart + ((lastAddress - window.DeviceStart) & ~std::int32_t{0xFF});
    if (state.Link.IsOpen() && !LinkFailedSince(state, mark)) {
        if (std::optional<std::vector<std::uint8_t>> read = ReadDeviceRange(state)) {
            run.Found = std::move(*read);
            for (std::size_t i = 0; i < run.Found.size(); ++i) {
                const std::int64_t position = std::int64_t{window.BufferStart} + std::int64_t(i);
                run.Expected.push_back(DataBuffer::Contains(position)
                                           ? state.Buffer[static_cast<std::int32_t>(position)]
                                           : run.ErasedValue);
            }
        }
    }
    DifferenceCount found;
    if (!run.Found.empty() && !LinkFailedSince(state, mark)) {
        found = CountDifferences(run);
        ReportFailureDiagnosis(state, run);
    }
    window.DeviceEnd = deviceEnd;
    state.FailFlag = true;
    EndOperation(state);
    return found;
}

std::uint8_t MajorityOf(const std::vector<std::vector<std::uint8_t>>& reads, std::size_t at) {
    const std::uint8_t first = reads.front()[at];
    std::uint8_t value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const unsigned mask = 1u << bit;
        std::size_t ones = 0;
        for (const std::vector<std::uint8_t>& read : reads)
            ones += (read[at] & mask) != 0;
        const std::size_t zeros = reads.size() - ones;
        const bool one = ones != zeros ? ones > zeros : (first & mask) != 0;
        if (one) value = static_cast<std::uint8_t>(value | mask);
    }
    return value;
}

} // namespace velmar

#include "FileCommands.h"

#include <algorithm>

#include "OperationFrame.h"
#include "buffer/BinaryFile.h"
#include "buffer/DataFormats.h"
#include "buffer/HexReader.h"
#include "buffer/HexText.h"
#include "buffer/HexWriter.h"
#include "buffer/InputFile.h"

namespace velmar {

namespace {

void ReportFileError(ProgramState& state, const std::string& what, const std::string& path,
                     const std::string& reason) {
    state.FailFlag = true;
    state.Panel->ShowMessage(BoxKind::Error, what + " \"" + path + "\": " + reason);
}

void ReportDroppedOnLoad(ProgramState& state, const std::string& path, std::int64_t dropped) {
    if (dropped <= 0) return;
    const std::string text = std::to_string(dropped) + " bytes of \"" + path +
                             "\" fell past buffer position FFFF and were dropped.";
    state.Panel->Warning(text);
}

// A device or FIFO is read only one byte past the buffer: how much more it
// holds is not known.
void ReportEndlessInput(ProgramState& state, const std::string& path) {
    const std::string text =
        "\"" + path + "\" runs past buffer position FFFF; what follows was dropped.";
    state.Panel->Warning(text);
}

void ReportDroppedOnSave(ProgramState& state, const std::string& path, std::int64_t dropped) {
    if (dropped <= 0) return;
    const std::string text = std::to_string(dropped) +
                             " bytes past buffer position FFFF were not written to \"" + path +
                             "\".";
    state.Panel->Warning(text);
}

void ShowHexLoading(ProgramState& state) {
    state.Panel->Status("Loading Buffer from Hex File....");
    state.Panel->PumpEvents();
}

// Once per load: bytes the device's range cannot hold.
void ReportBeyond(ProgramState& state, const LoadFacts& facts) {
    if (facts.beyondBytes <= 0) return;
    state.FailFlag = true;
    const std::string text =
        std::to_string(facts.beyondBytes) +
        (facts.folded ? " bytes lay beyond the device's end and were folded onto lower addresses."
                      : " bytes lay beyond the device's end.");
    state.Panel->Warning(text);
}

// Once per load: what the reader skipped or did not read, and where two
// records disagree.
void ReportSkippedAndConflicts(ProgramState& state, const std::string& path,
                               const HexLoadResult& result) {
    if (result.skippedLines > 0) {
        state.FailFlag = true;
        const std::string text = std::to_string(result.skippedLines) + " lines of " + path +
                                 " are not records and were skipped; the first is line " +
                                 std::to_string(result.firstSkippedLine) + ".";
        state.Panel->Warning(text);
    }
    if (result.linesAfterEnd == 1) {
        state.FailFlag = true;
        state.Panel->Warning("Line " + std::to_string(result.firstLineAfterEnd) + " of " + path +
                             " follows its end record (line " +
                             std::to_string(result.endRecordLine) + ") and was not read.");
    } else if (result.linesAfterEnd > 1) {
        state.FailFlag = true;
        state.Panel->Warning(std::to_string(result.linesAfterEnd) + " lines of " + path +
                             " follow its end record (line " +
                             std::to_string(result.endRecordLine) +
                             ") and were not read; the first is line " +
                             std::to_string(result.firstLineAfterEnd) + ".");
    }
    if (result.conflictingBytes > 0) {
        state.FailFlag = true;
        const std::string text = std::to_string(result.conflictingBytes) + " addresses of " + path +
                                 " are given two different values; the first is " +
                                 HexText(result.firstConflictAddress, 4) + ", given " +
                                 HexText(result.firstConflictValues[0], 2) + " and then " +
                                 HexText(result.firstConflictValues[1], 2) + " on line " +
                                 std::to_string(result.firstConflictLine) + ".";
        state.Panel->Warning(text);
    }
}

// A binary file, from the stream's position to its end, at BufferStart.
bool LoadBinaryData(ProgramState& state, const std::string& path, std::FILE* stream,
                    LoadFacts& facts) {
    const AddressWindow& w = state.Window;
    const BinaryFileResult result = LoadBinaryStream(stream, state.Buffer, w);
    if (!result.ok) {
        facts.fileError = true;
        ReportFileError(state, "Could not read", path, result.systemError);
        return false;
    }
    facts.dataBytes = result.bytes;
    facts.droppedBytes = result.droppedBytes;
    if (result.bytes > 0) {
        const std::int64_t last = std::int64_t{w.BufferStart} + result.bytes - 1;
        facts.highestPosition =
            static_cast<std::int32_t>(std::min<std::int64_t>(last, kBufferSize - 1));
    }
    // Only the device's range, DeviceEnd - DeviceStart + 1 bytes from
    // BufferStart, ever reaches the device. With no device chosen yet
    // (DeviceLimit 0) there is no range to speak of.
    // Bytes past the buffer are counted as dropped, not as beyond.
    const std::int64_t room = std::int64_t{w.DeviceEnd} - w.DeviceStart + 1;
    facts.rangeBytes = std::min<std::int64_t>(result.bytes, room);
    const std::int64_t held = std::min<std::int64_t>(
        result.bytes, std::max<std::int64_t>(0, std::int64_t{kBufferSize} - w.BufferStart));
    if (w.DeviceLimit > 0 && room > 0 && held > room) {
        facts.beyondBytes = held - room;
        facts.firstBeyondAddress = room;
        ReportBeyond(state, facts);
    }
    if (result.countUnknown)
        ReportEndlessInput(state, path);
    else
        ReportDroppedOnLoad(state, path, result.droppedBytes);
    return true;
}

// A hex file, through the reader of its format.
bool LoadHexData(ProgramState& state, const std::string& path, std::FILE* stream,
                 LoadFacts& facts) {
    const AddressWindow& w = state.Window;
    ShowHexLoading(state);
    const HexLoadResult result =
        LoadHexStream(stream, state.FileType, state.Buffer, w, *state.Panel);
    state.Transfer.DeviceAddress = result.LoadAddress;
    state.Transfer.StopFlag =
        result.EndRecordMet ? TransferStop::EndReached : TransferStop::Running;
    facts.badLine = result.badLine;
    facts.stopped = result.stopped;
    if (!result.ok) {
        // A malformed field has already shown its own box.
        if (result.stopped) {
            ReportFileError(state, "Stopped loading", path, "interrupted");
        } else if (!result.refusal.empty()) {
            ReportFileError(state, "Could not load", path, result.refusal);
        } else if (result.badField.empty()) {
            facts.fileError = true;
            ReportFileError(state, "Could not read", path, result.systemError);
        }
        state.FailFlag = true;
        return false;
    }
    facts.dataBytes = result.storedBytes;
    facts.highestPosition = result.highestPosition;
    facts.rangeBytes = result.rangeBytes;
    facts.beyondBytes = result.beyondBytes;
    facts.firstBeyondAddress = result.firstBeyondAddress;
    facts.folded = result.folded;
    facts.badChecksumRecords = result.badChecksumRecords;
    facts.skippedLines = result.skippedLines;
    facts.firstSkippedLine = result.firstSkippedLine;
    facts.conflictingBytes = result.conflictingBytes;
    facts.firstConflictLine = result.firstConflictLine;
    facts.firstConflictAddress = result.firstConflictAddress;
    facts.firstConflictValues[0] = result.firstConflictValues[0];
    facts.firstConflictValues[1] = result.firstConflictValues[1];
    facts.endRecordLine = result.endRecordLine;
    facts.linesAfterEnd = result.linesAfterEnd;
    facts.firstLineAfterEnd = result.firstLineAfterEnd;
    facts.droppedBytes = result.droppedBytes;
    facts.storedAt = result.storedAt;
    ReportDroppedOnLoad(state, path, result.droppedBytes);
    ReportSkippedAndConflicts(state, path, result);
    // Lines skipped as no records, or not read after the end record, say
    // more than that no data were found.
    if (result.storedBytes == 0 && result.skippedLines == 0 && result.linesAfterEnd == 0) {
        state.FailFlag = true;
        const std::string text = "No data records were found in " + path + ".";
        state.Panel->Warning(text);
    }
    ReportBeyond(state, facts);
    if (result.badChecksumRecords > 0) {
        // The data are stored as read, but must not be programmed unnoticed.
        state.FailFlag = true;
        const std::string text = std::to_string(result.badChecksumRecords) +
                                 (result.badChecksumRecords == 1 ? " record" : " records") +
                                 " with a wrong checksum in \"" + path +
                                 "\"; the first is on line " +
                                 std::to_string(result.firstBadChecksumLine) + ".";
        state.Panel->Warning(text);
    }
    return true;
}

} // namespace

bool LoadDataFile(ProgramState& state, const std::string& path, bool* fileError,
                  LoadFacts* facts) {
    std::string error;
    const InputFile stream = OpenInputFile(path, error);
    if (stream) return LoadDataStream(state, path, stream.get(), fileError, facts);
    if (facts) {
        *facts = LoadFacts{};
        facts->fileError = true;
    }
    if (fileError) *fileError = true;
    ReportUnreadableDataFile(state, path, error);
    return false;
}

void ReportUnreadableDataFile(ProgramState& state, const std::string& path,
                              const std::string& reason) {
    if (!HasBinaryRoutines(state.FileType)) {
        ShowHexLoading(state);
        state.Transfer.DeviceAddress = 0;
        state.Link.ClearStopFlag();
    }
    ReportFileError(state, "Could not read", path, reason);
}

bool LoadDataStream(ProgramState& state, const std::string& path, std::FILE* stream,
                    bool* fileError, LoadFacts* factsOut) {
    LoadFacts local;
    LoadFacts& facts = factsOut ? *factsOut : local;
    facts = LoadFacts{};
    const bool loaded = HasBinaryRoutines(state.FileType)
                            ? LoadBinaryData(state, path, stream, facts)
                            : LoadHexData(state, path, stream, facts);
    if (fileError) *fileError = facts.fileError;
    if (!loaded) return false;
    state.Panel->FileLoaded(path);
    ComputeChecksum(state);
    return true;
}

bool SaveDataFile(ProgramState& state, const std::string& path, bool cutAtEnd,
                  const std::vector<PositionRange>* runs) {
    bool ok = false;
    std::string reason;
    std::int64_t dropped = 0;
    if (HasBinaryRoutines(state.FileType)) {
        const BinaryFileResult result = SaveBinaryFile(path, state.Buffer, state.Window);
        ok = result.ok;
        reason = result.systemError;
        dropped = result.droppedBytes;
    } else {
        const HexSaveResult result = SaveHexFile(path, state.FileType, state.Buffer, state.Window,
                                                 *state.Panel, cutAtEnd, runs);
        ok = result.ok;
        reason = result.systemError;
        dropped = result.droppedBytes;
    }
    if (!ok) {
        ReportFileError(state, "Could not write", path, reason);
        return false;
    }
    ReportDroppedOnSave(state, path, dropped);
    return true;
}

void FillBuffer(ProgramState& state, std::uint8_t value) {
    state.Buffer.Fill(value);
}

} // namespace velmar

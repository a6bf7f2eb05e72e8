#include "FileCommands.h"

#include "OperationFrame.h"
#include "buffer/BinaryFile.h"
#include "buffer/FileType.h"
#include "buffer/HexReader.h"
#include "buffer/HexWriter.h"
#include "buffer/InputFile.h"

namespace velmar {

namespace {

void ReportFileError(ProgramState& state, const std::string& what, const std::string& path,
                     const std::string& reason) {
    state.FailFlag = 1;
    state.Panel.ShowMessage(BoxKind::Error, what + " \"" + path + "\": " + reason, std::nullopt);
}

void ReportDroppedOnLoad(ProgramState& state, const std::string& path, std::int64_t dropped) {
    if (dropped <= 0) return;
    const std::string text = std::to_string(dropped) + " bytes of \"" + path +
                             "\" fell past buffer position FFFF and were dropped.";
    state.Panel.InsertReportLine(text);
    state.Panel.ShowMessage(BoxKind::Warning, text, std::nullopt);
}

// A device or FIFO is read only one byte past the buffer: how much more it
// holds is not known.
void ReportEndlessInput(ProgramState& state, const std::string& path) {
    const std::string text =
        "\"" + path + "\" runs past buffer position FFFF; what follows was dropped.";
    state.Panel.InsertReportLine(text);
    state.Panel.ShowMessage(BoxKind::Warning, text, std::nullopt);
}

void ReportDroppedOnSave(ProgramState& state, const std::string& path, std::int64_t dropped) {
    if (dropped <= 0) return;
    const std::string text = std::to_string(dropped) +
                             " bytes past buffer position FFFF were not written to \"" + path +
                             "\".";
    state.Panel.InsertReportLine(text);
    state.Panel.ShowMessage(BoxKind::Warning, text, std::nullopt);
}

void ShowHexLoading(ProgramState& state) {
    state.Panel.SetCaption(Control::Banner, "Loading Buffer from Hex File....");
    state.Panel.PumpEvents();
}

} // namespace

bool LoadDataFile(ProgramState& state, const std::string& path, bool* fileError) {
    std::string error;
    const InputFile stream = OpenInputFile(path, error);
    if (stream) return LoadDataStream(state, path, stream.get(), fileError);
    if (fileError) *fileError = true;
    if (state.FileType != BinaryFileType) {
        ShowHexLoading(state);
        state.Transfer.DeviceAddress = 0;
        state.Transfer.StopFlag = 0;
    }
    ReportFileError(state, "Could not read", path, error);
    return false;
}

bool LoadDataStream(ProgramState& state, const std::string& path, std::FILE* stream,
                    bool* fileError) {
    if (fileError) *fileError = false;
    if (state.FileType == BinaryFileType) {
        const BinaryFileResult result = LoadBinaryStream(stream, state.Buffer, state.Window);
        if (!result.ok) {
            if (fileError) *fileError = true;
            ReportFileError(state, "Could not read", path, result.systemError);
            return false;
        }
        if (result.countUnknown)
            ReportEndlessInput(state, path);
        else
            ReportDroppedOnLoad(state, path, result.droppedBytes);
    } else {
        ShowHexLoading(state);
        const HexLoadResult result =
            LoadHexStream(stream, state.FileType, state.Buffer, state.Window, state.Panel);
        state.Transfer.DeviceAddress = result.LoadAddress;
        state.Transfer.StopFlag = result.StopFlag;
        if (!result.ok) {
            // A malformed field has already shown its own box.
            if (result.badField.empty()) {
                if (fileError) *fileError = true;
                ReportFileError(state, "Could not read", path, result.systemError);
            }
            state.FailFlag = 1;
            return false;
        }
        ReportDroppedOnLoad(state, path, result.droppedBytes);
        if (result.badChecksumRecords > 0) {
            // The data are stored as read, but must not be programmed unnoticed.
            state.FailFlag = 1;
            const std::string text = std::to_string(result.badChecksumRecords) +
                                     (result.badChecksumRecords == 1 ? " record" : " records") +
                                     " with a wrong checksum in \"" + path +
                                     "\"; the first is on line " +
                                     std::to_string(result.firstBadChecksumLine) + ".";
            state.Panel.InsertReportLine(text);
            state.Panel.ShowMessage(BoxKind::Warning, text, std::nullopt);
        }
    }
    state.Panel.SetCaption(Control::LastFile, "Last File Loaded in Buffer=" + path);
    ComputeChecksum(state);
    return true;
}

bool SaveDataFile(ProgramState& state, const std::string& path) {
    bool ok = false;
    std::string reason;
    std::int64_t dropped = 0;
    if (state.FileType == BinaryFileType) {
        const BinaryFileResult result = SaveBinaryFile(path, state.Buffer, state.Window);
        ok = result.ok;
        reason = result.systemError;
        dropped = result.droppedBytes;
    } else {
        const HexSaveResult result =
            SaveHexFile(path, state.FileType, state.Buffer, state.Window, state.Panel);
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

#include "Convert.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Arguments.h"
#include "ConsolePanel.h"
#include "DataStreams.h"
#include "Platform.h"
#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "buffer/HexText.h"
#include "buffer/HexWriter.h"
#include "devices/DeviceCatalogue.h"
#include "devices/FileCommands.h"
#include "devices/ProgramState.h"

namespace velmar::cli {

namespace {

// A conversion never reaches the programmer.
const D2XXBackend kNoBackend{"none",  nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr};

} // namespace

int RunConvert(const ConvertArguments& arguments, int verbosity) {
    ConvertArguments o = arguments;
    ProgramState state(kNoBackend);
    // Standard output may carry OUT: everything else goes to stderr.
    ConsolePanel panel(stderr, stderr, false);
    panel.SetVerbosity(verbosity);
    state.Panel.Attach(&panel);

    const bool fromStdin = o.in == "-";
    const std::string in = fromStdin ? "standard input" : o.in;
    std::string how = o.fromGiven ? "from --from" : "from the extension";
    std::string bytes;
    std::FILE* stream = nullptr;
    // Binary input as asked is streamed (an endless one ends one byte past
    // the buffer); anything else is read whole and judged by its contents.
    const bool judged = !o.fromGiven && o.from != BinaryFileType;
    if (fromStdin || judged) {
        std::FILE* source = fromStdin ? stdin : std::fopen(in.c_str(), "rb");
        std::string error = source ? "" : std::strerror(errno);
        const bool read = source != nullptr && ReadWholeStream(source, bytes, error);
        if (source != nullptr && !fromStdin) std::fclose(source);
        if (!read) {
            Complain(stderr, "cannot read " + in + ": " + error);
            return 2;
        }
        if (judged) {
            const FormatVerdict verdict = JudgeDataFile(fromStdin ? "" : in, bytes);
            if (verdict.problem != FormatProblem::None) {
                Complain(stderr, FormatProblemText(verdict.problem, in) +
                                     "; give --from binary to convert it as bytes");
                return 1;
            }
            if (o.from != verdict.fileType) how = "detected from its contents";
            o.from = verdict.fileType;
        }
        if (bytes.empty()) {
            Complain(stderr, in + " holds no data; nothing written");
            return 1;
        }
        stream = platform::OpenMemoryStream(bytes);
        if (stream == nullptr) {
            Complain(stderr, "cannot read " + in + ": " + std::strerror(errno));
            return 2;
        }
    }
    const std::string inFormat(DataFormatOf(*o.from).Description);
    const std::string outFormat(DataFormatOf(*o.to).Description);
    panel.Detail("IN: " + in + ", " + inFormat + " (" + how + ")");
    panel.Detail("OUT: " + (o.out == "-" ? std::string("standard output") : o.out) + ", " +
                 outFormat);

    AddressWindow& w = state.Window;
    if (o.device) {
        const CatalogueRow& r = DeviceCatalogue()[static_cast<std::size_t>(o.catalogueRow)];
        w.DeviceEnd = r.DeviceEnd;
        w.DeviceLimit = r.DeviceLimit();
    } else {
        // No device: nothing lies beyond an end, and the output ends where
        // the input's data do. --fold folds into the 64 KiB buffer.
        w.DeviceLimit = o.limit.value_or(0xFFFFF);
        if (o.fold) w.DeviceLimit = std::min(w.DeviceLimit, kBufferSize - 1);
        w.DeviceEnd = w.DeviceLimit;
    }
    if (o.end) w.DeviceEnd = *o.end;
    w.DeviceStart = 0;
    w.HexOffset = o.offset.value_or(0);
    w.BufferStart = o.bufferStart.value_or(0);

    state.FileType = *o.from;
    state.Buffer.Fill(o.fill.value_or(0));
    bool fileError = false;
    LoadFacts facts;
    panel.BeginLoad(in);
    const bool loaded = stream ? LoadDataStream(state, in, stream, &fileError, &facts)
                               : LoadDataFile(state, in, &fileError, &facts);
    panel.EndLoad();
    if (stream != nullptr) std::fclose(stream);
    if (!loaded) return fileError ? 2 : 1;
    if (const std::string problem = UnsoundRecords(in, facts);
        !problem.empty() && !o.skipBadLines) {
        Complain(stderr, problem + "; nothing written (--skip-bad-lines writes what was read)");
        return 1;
    }
    if (facts.dataBytes == 0) {
        Complain(stderr, in + " holds no data; nothing written");
        return 1;
    }
    // Without a device there is nothing to fold data past FFFF onto.
    if (!o.device && facts.droppedBytes > 0 && !o.fold) {
        Complain(stderr,
                 in + " holds data past address FFFF; nothing written (--fold " +
                     (*o.from == BinaryFileType ? "cuts them off" : "folds them into 64 KiB") +
                     ")");
        return 1;
    }
    // A binary file longer than the device asked for is not cut silently;
    // hex records beyond it were folded as the window folds them, and the
    // loader's warning said so.
    if (facts.beyondBytes > 0 && *o.from == BinaryFileType && o.device && !o.end && !o.fold) {
        Complain(stderr, in + " is " + std::to_string(facts.dataBytes) +
                             " bytes, longer than the " + *o.device + " (" +
                             std::to_string(w.DeviceEnd - w.DeviceStart + 1) +
                             "); nothing written (--fold or --end says where to cut)");
        return 1;
    }
    // Without an end asked for, the output ends at the input's last byte;
    // not even an Intel record runs past it.
    const bool endFromData = !o.device && !o.end;
    if (endFromData) w.DeviceEnd = std::max(facts.highestPosition, 0);

    // Hex to hex names only the addresses the input stored, unless --fill
    // gives the gaps a value. ASCII hex has no addresses: like binary, it
    // holds the gaps as the buffer does.
    const bool addressed = *o.to == IntelHexFileType || *o.to == MotorolaHexFileType;
    std::vector<PositionRange> runs;
    const bool sparse = !HasBinaryRoutines(*o.from) && addressed && !o.fill;
    if (sparse) runs = StoredRanges(facts.storedAt, w.DeviceEnd);

    state.FileType = *o.to;
    if (o.out == "-") {
        if (!WriteImage(stdout, state, endFromData, sparse ? &runs : nullptr)) {
            Complain(stderr, std::string("cannot write standard output: ") + std::strerror(errno));
            return 2;
        }
    } else if (!SaveDataFile(state, o.out, endFromData, sparse ? &runs : nullptr)) {
        return 2;
    }
    return facts.badChecksumRecords > 0 ? 1 : 0;
}

} // namespace velmar::cli

#include "DataStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "buffer/DataFormats.h"
#include "buffer/HexReader.h"
#include "buffer/HexText.h"
#include "buffer/HexWriter.h"

namespace velmar::cli {

bool ReadWholeStream(std::FILE* stream, std::string& bytes, std::string& error) {
    bytes.clear();
    char block[65536];
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, stream);
        bytes.append(block, got);
        if (static_cast<std::int64_t>(bytes.size()) > kHexInputLimit) {
            error = "more than " + std::to_string(kHexInputLimit) + " bytes";
            return false;
        }
        if (got < sizeof block) break;
    }
    if (std::ferror(stream)) {
        error = std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

std::string UnsoundRecords(const std::string& path, const LoadFacts& facts) {
    if (facts.skippedLines > 0)
        return path + ":" + std::to_string(facts.firstSkippedLine) +
               ": not a record of the format, skipped";
    if (facts.conflictingBytes > 0)
        return path + ":" + std::to_string(facts.firstConflictLine) + ": gives address " +
               HexText(facts.firstConflictAddress, 4) + " a second, different value (" +
               HexText(facts.firstConflictValues[0], 2) + ", then " +
               HexText(facts.firstConflictValues[1], 2) + ")";
    if (facts.linesAfterEnd > 0)
        return path + ":" + std::to_string(facts.firstLineAfterEnd) +
               ": after the end record on line " + std::to_string(facts.endRecordLine) +
               ", not read";
    return {};
}

bool WriteImage(std::FILE* stream, const ProgramState& state, bool cutAtEnd,
                const std::vector<PositionRange>* runs) {
    const std::int32_t end = std::min<std::int32_t>(state.Window.DeviceEnd, kBufferSize - 1);
    if (HasBinaryRoutines(state.FileType)) {
        for (std::int32_t i = 0; i <= end; ++i)
            std::fputc(state.Buffer[i], stream);
    } else {
        const std::string text = HexFileText(state.Buffer, state.FileType, end, cutAtEnd, runs);
        std::fwrite(text.data(), 1, text.size(), stream);
    }
    return std::fflush(stream) == 0 && !std::ferror(stream);
}

} // namespace velmar::cli

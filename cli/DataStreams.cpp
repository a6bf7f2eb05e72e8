#include "DataStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "buffer/FileType.h"
#include "buffer/HexReader.h"
#include "buffer/HexWriter.h"

namespace velmar::cli {

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool IsHexDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

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

int DetectFormat(std::string_view bytes) {
    // A UTF-8 byte-order mark and a DOS end-of-file mark are no data.
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (const auto eof = bytes.find('\x1A'); eof != std::string_view::npos)
        bytes = bytes.substr(0, eof);
    bool hexOnly = true;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x7F || (c < 0x20 && !IsBlank(c))) return BinaryFileType;
        if (!IsBlank(c) && !IsHexDigit(c)) hexOnly = false;
    }
    const auto first = std::find_if(bytes.begin(), bytes.end(),
                                    [](char c) { return !IsBlank(static_cast<unsigned char>(c)); });
    if (first == bytes.end()) return BinaryFileType;
    if (*first == ':') return IntelHexFileType;
    if (*first == 'S' && first + 1 != bytes.end() && first[1] >= '0' && first[1] <= '9')
        return MotorolaHexFileType;
    return hexOnly ? AsciiHexFileType : BinaryFileType;
}

const char* FormatDescription(int fileType) {
    switch (fileType) {
    case IntelHexFileType:
        return "Intel hex";
    case MotorolaHexFileType:
        return "Motorola S-record";
    case AsciiHexFileType:
        return "ASCII hex";
    default:
        return "binary";
    }
}

bool WriteImage(std::FILE* stream, const ProgramState& state, bool cutAtEnd) {
    const std::int32_t end = std::min<std::int32_t>(state.Window.DeviceEnd, kBufferSize - 1);
    if (state.FileType == BinaryFileType) {
        for (std::int32_t i = 0; i <= end; ++i)
            std::fputc(state.Buffer[i], stream);
    } else {
        const std::string text = HexFileText(state.Buffer, state.FileType, end, cutAtEnd);
        std::fwrite(text.data(), 1, text.size(), stream);
    }
    return std::fflush(stream) == 0 && !std::ferror(stream);
}

} // namespace velmar::cli

#include "BinaryFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "FileReplacement.h"
#include "InputFile.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#define VELMAR_POSIX_FILES 1
#elif defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace velmar {

std::int64_t SavedLength(std::int32_t deviceEnd) {
    if (deviceEnd < 0) return 0;
    return deviceEnd >= kBufferSize ? kBufferSize : std::int64_t{deviceEnd} + 1;
}

std::int64_t UnsavedLength(std::int32_t deviceEnd) {
    return deviceEnd >= kBufferSize ? std::int64_t{deviceEnd} - (kBufferSize - 1) : 0;
}

namespace {

// Bytes of `stream` after its current position, when it is a regular file.
std::int64_t RemainingInRegularFile(std::FILE* stream) {
#ifdef VELMAR_POSIX_FILES
    struct stat info {};
    if (::fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    const off_t at = ftello(stream);
    if (at < 0) return -1;
    return std::max<std::int64_t>(0, std::int64_t{info.st_size} - at);
#elif defined(_WIN32)
    struct _stat64 info {};
    if (_fstat64(_fileno(stream), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return -1;
    const long long at = _ftelli64(stream);
    if (at < 0) return -1;
    return std::max<std::int64_t>(0, std::int64_t{info.st_size} - at);
#else
    (void)stream;
    return -1;
#endif
}

} // namespace

BinaryFileResult LoadBinaryStream(std::FILE* stream, DataBuffer& buffer,
                                  const AddressWindow& window) {
    BinaryFileResult result;
    std::array<std::uint8_t, kBinaryBlockSize> block;
    // Every buffer position from BufferStart on, and one byte to tell that
    // the input is longer.
    const std::int64_t limit =
        std::max<std::int64_t>(1, std::int64_t{kBufferSize} + 1 - std::int64_t{window.BufferStart});
    std::int64_t count = 0;
    while (count < limit) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::int64_t>(block.size(), limit - count));
        errno = 0;
        const std::size_t got = std::fread(block.data(), 1, want, stream);
        for (std::size_t j = 0; j < got; ++j) {
            const std::int64_t position =
                std::int64_t{window.BufferStart} + count + static_cast<std::int64_t>(j);
            if (DataBuffer::Contains(position))
                buffer[static_cast<std::int32_t>(position)] = block[j];
            else
                ++result.droppedBytes;
        }
        count += static_cast<std::int64_t>(got);
        if (got < want) {
            if (std::ferror(stream)) {
                result.systemError = std::strerror(errno ? errno : EIO);
                result.bytes = count;
                return result;
            }
            break;
        }
    }
    if (count == limit) {
        // Stopped at the bound: a regular file tells how much more it holds.
        const std::int64_t rest = RemainingInRegularFile(stream);
        if (rest >= 0)
            result.droppedBytes += rest;
        else
            result.countUnknown = true;
    }
    result.bytes = count;
    result.ok = true;
    return result;
}

BinaryFileResult LoadBinaryFile(const std::string& path, DataBuffer& buffer,
                                const AddressWindow& window) {
    std::string error;
    const InputFile stream = OpenInputFile(path, error);
    if (!stream) {
        BinaryFileResult result;
        result.systemError = error;
        return result;
    }
    return LoadBinaryStream(stream.get(), buffer, window);
}

BinaryFileResult SaveBinaryFile(const std::string& path, const DataBuffer& buffer,
                                const AddressWindow& window) {
    BinaryFileResult result;
    result.droppedBytes = UnsavedLength(window.DeviceEnd);
    const std::int64_t length = SavedLength(window.DeviceEnd);
    FileReplacement file(path);
    if (!file.Open() || !file.Write(buffer.data(), static_cast<std::size_t>(length)) ||
        !file.Commit()) {
        result.systemError = file.Error();
        return result;
    }
    result.bytes = length;
    result.ok = true;
    return result;
}

} // namespace velmar

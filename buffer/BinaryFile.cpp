#include "BinaryFile.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "FileReplacement.h"

namespace velmar {

std::int64_t SavedLength(std::int32_t deviceEnd) {
    if (deviceEnd < 0) return 0;
    return deviceEnd >= kBufferSize ? kBufferSize : std::int64_t{deviceEnd} + 1;
}

std::int64_t UnsavedLength(std::int32_t deviceEnd) {
    return deviceEnd >= kBufferSize ? std::int64_t{deviceEnd} - (kBufferSize - 1) : 0;
}

BinaryFileResult LoadBinaryStream(std::FILE* stream, DataBuffer& buffer,
                                  const AddressWindow& window) {
    BinaryFileResult result;
    std::array<std::uint8_t, kBinaryBlockSize> block;
    std::int64_t count = 0;
    for (;;) {
        errno = 0;
        const std::size_t got = std::fread(block.data(), 1, block.size(), stream);
        for (std::size_t j = 0; j < got; ++j) {
            const std::int64_t position =
                std::int64_t{window.BufferStart} + count + static_cast<std::int64_t>(j);
            if (DataBuffer::Contains(position))
                buffer[static_cast<std::int32_t>(position)] = block[j];
            else
                ++result.droppedBytes;
        }
        count += static_cast<std::int64_t>(got);
        if (got < block.size()) {
            if (std::ferror(stream)) {
                result.systemError = std::strerror(errno ? errno : EIO);
                result.bytes = count;
                return result;
            }
            break;
        }
    }
    result.bytes = count;
    result.ok = true;
    return result;
}

BinaryFileResult LoadBinaryFile(const std::string& path, DataBuffer& buffer,
                                const AddressWindow& window) {
    errno = 0;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream) {
        BinaryFileResult result;
        result.systemError = std::strerror(errno ? errno : ENOENT);
        return result;
    }
    BinaryFileResult result = LoadBinaryStream(stream, buffer, window);
    std::fclose(stream);
    return result;
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

#pragma once
// Plain binary data files: the raw image, no header, no trailer.
// A load puts file byte k at buffer position BufferStart + k; a save writes
// positions 0..DeviceEnd.

#include <cstdint>
#include <cstdio>
#include <string>

#include "AddressWindow.h"
#include "DataBuffer.h"

namespace velmar {

constexpr std::size_t kBinaryBlockSize = 32768;

struct BinaryFileResult {
    bool ok = false;
    std::string systemError;       // why the file could not be read or written
    std::int64_t bytes = 0;        // bytes read from / written to the file
    std::int64_t droppedBytes = 0; // file bytes with no place in the buffer, or
                                   // positions up to DeviceEnd that were not saved
    bool countUnknown = false;     // the input ran past the buffer and is not a
                                   // regular file: droppedBytes is a lower bound
};

// The file is taken up to the end of the buffer and one byte more, at most
// kBufferSize + 1 - BufferStart bytes, so that an endless input (a device, a
// FIFO) ends too. Bytes past the buffer are dropped and counted: exactly for
// a regular file, by its size. Bytes read before a read error stay stored.
BinaryFileResult LoadBinaryFile(const std::string& path, DataBuffer& buffer,
                                const AddressWindow& window);
BinaryFileResult LoadBinaryStream(std::FILE* stream, DataBuffer& buffer,
                                  const AddressWindow& window);

// Writes DeviceEnd + 1 bytes in one block, at most up to position 0xFFFF.
BinaryFileResult SaveBinaryFile(const std::string& path, const DataBuffer& buffer,
                                const AddressWindow& window);

// How many of the positions 0..deviceEnd a save writes, and how many it
// cannot because they lie past the buffer.
std::int64_t SavedLength(std::int32_t deviceEnd);
std::int64_t UnsavedLength(std::int32_t deviceEnd);

} // namespace velmar

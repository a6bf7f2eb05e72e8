#pragma once
// The hex file writer: buffer positions 0..DeviceEnd as Intel hex, Motorola
// S2 records or ASCII hex lines, CR LF line ends, upper-case digits. The
// address of a byte is its buffer position.

#include <cstdint>
#include <string>

#include "AddressWindow.h"
#include "DataBuffer.h"
#include "FrontPanel.h"

namespace velmar {

struct HexSaveResult {
    bool ok = false;
    std::string systemError;       // why the file could not be written
    std::int64_t droppedBytes = 0; // positions up to DeviceEnd past the buffer, not written
};

// The whole file text. Writing stops at position 0xFFFF even when deviceEnd
// lies beyond it. A fileType outside 1..3 gives an empty text. `cutAtEnd`
// ends the last Intel record at deviceEnd too, for an end taken from the
// data, past which nothing may be written.
std::string HexFileText(const DataBuffer& buffer, int fileType, std::int32_t deviceEnd,
                        bool cutAtEnd = false);

// Writes "Saving Buffer to Hex File...." (and lets the panel paint it), then
// the file through a temporary beside it, then "Hex File Saved...." on
// success. File errors are only returned.
HexSaveResult SaveHexFile(const std::string& path, int fileType, const DataBuffer& buffer,
                          const AddressWindow& window, FrontPanel& panel, bool cutAtEnd = false);

} // namespace velmar

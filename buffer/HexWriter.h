#pragma once
// The hex file writer: buffer positions 0..DeviceEnd as Intel hex, Motorola
// S2 records or ASCII hex lines, CR LF line ends, upper-case digits. The
// address of a byte is its buffer position.

#include <cstdint>
#include <string>
#include <vector>

#include "AddressWindow.h"
#include "DataBuffer.h"
#include "DataFormats.h"
#include "FrontPanel.h"

namespace velmar {

struct HexSaveResult {
    bool ok = false;
    std::string systemError;       // why the file could not be written
    std::int64_t droppedBytes = 0; // positions up to DeviceEnd past the buffer, not written
};

// A run of buffer positions, first..last.
struct PositionRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
};

// The runs of positions up to `end` that `stored` marks.
std::vector<PositionRange> StoredRanges(const std::vector<bool>& stored, std::int32_t end);

// Intel hex or Motorola S2 records for the given runs only, nothing between
// them, and the format's end record; ASCII hex has no addresses to leave a
// gap with, so any other fileType gives an empty text.
std::string HexRunsText(const DataBuffer& buffer, FileType fileType,
                        const std::vector<PositionRange>& ranges);

// The whole file text. Writing stops at position 0xFFFF even when deviceEnd
// lies beyond it. A fileType of no hex format gives an empty text. `cutAtEnd`
// ends the last Intel record at deviceEnd too, for an end taken from the
// data, past which nothing may be written. With `runs`: HexRunsText.
std::string HexFileText(const DataBuffer& buffer, FileType fileType, std::int32_t deviceEnd,
                        bool cutAtEnd = false, const std::vector<PositionRange>* runs = nullptr);

// Writes "Saving Buffer to Hex File...." (and lets the panel paint it), then
// the file through a temporary beside it, then "Hex File Saved...." on
// success. File errors are only returned. With `runs`, only those positions
// are written (HexRunsText).
HexSaveResult SaveHexFile(const std::string& path, FileType fileType, const DataBuffer& buffer,
                          const AddressWindow& window, FrontPanel& panel, bool cutAtEnd = false,
                          const std::vector<PositionRange>* runs = nullptr);

} // namespace velmar

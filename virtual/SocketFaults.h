#pragma once
// What can be wrong with the part in the socket or its contacts: a stuck data
// line, an open address line, an empty socket, a part the wrong way round,
// an incompletely erased part, cells that do not take programming.

#include <cstdint>

namespace velmar {

struct SocketFaults {
    int StuckDataBit = -1; // this data line reads StuckDataValue
    bool StuckDataValue = false;
    int OpenAddressLine = -1;   // this address line reads as 0
    bool NoChip = false;        // the bus floats to 0xFF; nothing takes programming
    bool Reversed = false;      // reads garbage, programs nothing
    int UnderErasedPercent = 0; // share of cells that keep one bit programmed when erased
    int WeakCellsPercent = 0;   // share of cells that pass programming but keep their value

    bool Any() const {
        return StuckDataBit >= 0 || OpenAddressLine >= 0 || NoChip || Reversed ||
               UnderErasedPercent > 0 || WeakCellsPercent > 0;
    }
};

// A fixed pseudo-random word per cell and purpose, so that a faulty part
// shows the same faults on every read and every run.
std::uint32_t CellNoise(std::uint32_t cell, std::uint32_t purpose);

// True for `percent` of all cells, the same cells every time.
bool CellChosen(std::uint32_t cell, std::uint32_t purpose, int percent);

} // namespace velmar

#pragma once
// Names the most likely cause of a failed verify, blank check or program from
// what the part should hold and what it read, the way a person at the bench
// would. What the data itself explains comes first: a blank part, the image
// at another address, another image, a fill value that differs, a block the
// programmer refused. Only a pattern the data cannot explain names the
// hardware: a stuck data line, an open address line, an unerased or
// under-programmed part, an empty or reversed socket, or unstable cells.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmar {

enum class FailureCause {
    DataLine,
    AddressLine,
    NotErased,
    UnderProgrammed,
    NoChip,  // every byte reads one bus value
    Garbled, // differences both ways everywhere, no pattern
    Unstable,
    // The part is sound; what it holds is not what the buffer holds.
    Blank,        // every byte reads the erased value
    Shifted,      // the image at another address (offset, buffer start)
    OtherImage,   // other programmed data
    FillSlip,     // differs only where the image holds its fill value
    RefusedBlock, // the differences lie in the block the programmer refused
};

// One read of a device range next to what it should have held, byte i at
// device address Start + i.
struct ReadComparison {
    std::int32_t Start = 0;
    std::vector<std::uint8_t> Expected;
    std::vector<std::uint8_t> Found;
    std::uint8_t ErasedValue = 0xFF;
    int AddressBits = 16; // the part's address lines
    // Expected was just programmed into the part: it cannot be another file.
    bool AfterProgramming = false;
    // The 256-byte block at this device address was refused by the
    // programmer, and the read ends with it.
    std::optional<std::int32_t> RefusedBlock;
};

struct Diagnosis {
    FailureCause Cause;
    std::string Text;     // the cause and what to do about it
    std::string Evidence; // what in the reads points there
};

// The finding from one read; none when the bytes agree or show no pattern
// worth naming. A hardware cause that a few changed bytes of the file would
// explain as well ends ", or the file differs".
std::optional<Diagnosis> DiagnoseFailure(const ReadComparison& run);
// True when a second read of the range could change the finding: scattered
// differences may be cells that read differently each time.
bool WantsSecondRead(const ReadComparison& run);
// The finding once the range was read again (`again` as long as Found).
std::optional<Diagnosis> DiagnoseFailure(const ReadComparison& run,
                                         const std::vector<std::uint8_t>& again);

// The differing bytes of a comparison, as a run's summary line counts them.
struct DifferenceCount {
    long Bytes = 0;
    long Bits = 0;
    std::int32_t First = 0; // device addresses, when Bytes > 0
    std::int32_t Last = 0;
};
DifferenceCount CountDifferences(const ReadComparison& run);

// "diagnosis: " + text + " (" + evidence + ")"
std::string DiagnosisLine(const Diagnosis& diagnosis);

// Address lines of a part whose last address is `deviceEnd`.
int AddressBitsOf(std::int32_t deviceEnd);

} // namespace velmar

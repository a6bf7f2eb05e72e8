#pragma once
// The part in the programmer's socket: its cells, erased value, address
// width and lock bits. Knows nothing of packets; the firmware model drives it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SocketFaults.h"

namespace velmar {

// Lock bits as the security sequences set them.
enum : std::uint8_t {
    LockBit1 = 0x01,
    LockBit2 = 0x02, // programming disabled, reads give 0xFF
    LockBit3 = 0x04, // reads give 0xFF
};

class SocketChip {
  public:
    // A fresh erased part; family 0 leaves the erased value at 0xFF.
    void Seat(int family, std::uint32_t size);
    // Keeps the contents, changes what the part is (chip file loaded before
    // the family was known).
    void SetFamily(int family) { family_ = family; }

    int Family() const { return family_; }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(cells_.size()); }
    std::uint8_t Erased() const;
    bool IsFlash() const { return family_ == 5 || family_ == 6; }

    std::vector<std::uint8_t>& Cells() { return cells_; }
    const std::vector<std::uint8_t>& Cells() const { return cells_; }
    std::uint8_t Locks() const { return locks_; }
    void SetLocks(std::uint8_t bits) { locks_ = bits & 0x07; }

    // Address lines above the part's width are not connected; a folded
    // address past the end of a part whose size is not a power of two
    // (12K, 20K, 10K) has no cell. -1 then.
    long Fold(std::uint32_t address) const;

    // What the data lines show: 0xFF for a missing cell or while lock bit 2
    // or 3 forbids reading.
    std::uint8_t Read(std::uint32_t address) const;
    // One programming attempt. A cell only moves away from the erased value
    // (EPROM and flash alike: 0xFF parts can only clear bits, 0x00 parts only
    // set them). True when the cell now holds `value`.
    bool Program(std::uint32_t address, std::uint8_t value);
    // Flash chip erase: every cell 0xFF (but under-erased ones) and the lock
    // bits cleared.
    void Erase();

    bool Load(const std::string& path);
    // A chip file's bytes: 1 to 64 KiB, none when unreadable, a folder, empty
    // or longer; `problem` then says which, naming the file.
    static std::optional<std::vector<std::uint8_t>> ReadFile(const std::string& path,
                                                             std::string* problem = nullptr);
    bool Save(const std::string& path) const;

    bool Dirty = false;
    SocketFaults Faults;
    // Why the part is damaged ("seated under programming voltage"); empty
    // for a sound part. A damaged part's cells take no programming.
    std::string Damage;

  private:
    // The erased value, with a bit left programmed in an under-erased cell.
    std::uint8_t ErasedCell(std::uint32_t cell, std::uint8_t erased) const;

    int family_ = 0;
    std::vector<std::uint8_t> cells_ = std::vector<std::uint8_t>(0x10000, 0xFF);
    std::uint8_t locks_ = 0;
};

} // namespace velmar

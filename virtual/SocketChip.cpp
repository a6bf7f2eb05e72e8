#include "SocketChip.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ChipTypes.h"

namespace velmar {

namespace {
std::uint32_t AddressWidth(std::uint32_t size) {
    std::uint32_t width = 1;
    while (width < size)
        width <<= 1;
    return width;
}

// Purposes of the per-cell noise.
enum : std::uint32_t { kUnderErased = 1, kWeakCell = 2, kGarbage = 3 };
} // namespace

std::uint32_t CellNoise(std::uint32_t cell, std::uint32_t purpose) {
    std::uint32_t x = cell * 0x9E3779B1u ^ purpose * 0x85EBCA77u;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    x *= 0x297A2D39u;
    return x ^ (x >> 15);
}

bool CellChosen(std::uint32_t cell, std::uint32_t purpose, int percent) {
    return percent > 0 && static_cast<int>(CellNoise(cell, purpose) % 100) < percent;
}

void SocketChip::Seat(int family, std::uint32_t size) {
    family_ = family;
    if (size == 0 || size > 0x10000) size = 0x10000;
    cells_.resize(size);
    for (std::uint32_t i = 0; i < size; ++i)
        cells_[i] = ErasedCell(i, Erased());
    locks_ = 0;
    Dirty = false;
    Damage.clear();
}

std::uint8_t SocketChip::ErasedCell(std::uint32_t cell, std::uint8_t erased) const {
    if (!CellChosen(cell, kUnderErased, Faults.UnderErasedPercent)) return erased;
    const std::uint8_t bit =
        static_cast<std::uint8_t>(1u << (CellNoise(cell, kUnderErased) >> 8 & 7));
    return static_cast<std::uint8_t>(erased ^ bit);
}

std::uint8_t SocketChip::Erased() const {
    return family_ == 0 ? 0xFF : ErasedValueOf(family_);
}

long SocketChip::Fold(std::uint32_t address) const {
    if (cells_.empty()) return -1;
    const std::uint32_t folded = address & (AddressWidth(Size()) - 1);
    if (folded >= Size()) return -1;
    return static_cast<long>(folded);
}

std::uint8_t SocketChip::Read(std::uint32_t address) const {
    if (Faults.NoChip) return 0xFF;
    if (Faults.Reversed) return static_cast<std::uint8_t>(CellNoise(address, kGarbage));
    if (Faults.OpenAddressLine >= 0) address &= ~(1u << Faults.OpenAddressLine);
    std::uint8_t value = 0xFF;
    if (!(locks_ & (LockBit2 | LockBit3))) {
        const long cell = Fold(address);
        if (cell >= 0) value = cells_[static_cast<std::size_t>(cell)];
    }
    if (Faults.StuckDataBit >= 0) {
        const std::uint8_t line = static_cast<std::uint8_t>(1u << Faults.StuckDataBit);
        value = Faults.StuckDataValue ? static_cast<std::uint8_t>(value | line)
                                      : static_cast<std::uint8_t>(value & ~line);
    }
    return value;
}

bool SocketChip::Program(std::uint32_t address, std::uint8_t value) {
    if (Faults.NoChip) return value == 0xFF; // the floating bus reads 0xFF
    if (Faults.Reversed) return false;
    const long cell = Fold(address);
    if (cell < 0) return value == 0xFF; // nothing there; the bus reads 0xFF
    if (locks_ & LockBit2) return false;
    if (!Damage.empty()) return cells_[static_cast<std::size_t>(cell)] == value;
    // A weak cell passes the programmer's check and reads its old value later.
    if (CellChosen(static_cast<std::uint32_t>(cell), kWeakCell, Faults.WeakCellsPercent))
        return true;
    std::uint8_t& c = cells_[static_cast<std::size_t>(cell)];
    const std::uint8_t before = c;
    c = Erased() == 0x00 ? static_cast<std::uint8_t>(c | value)
                         : static_cast<std::uint8_t>(c & value);
    if (c != before) Dirty = true;
    return c == value;
}

void SocketChip::Erase() {
    for (std::uint32_t i = 0; i < Size(); ++i)
        cells_[i] = ErasedCell(i, 0xFF);
    locks_ = 0;
    Dirty = true;
}

std::optional<std::vector<std::uint8_t>> SocketChip::ReadFile(const std::string& path,
                                                              std::string* problem) {
    const auto fail = [&](std::string why) -> std::optional<std::vector<std::uint8_t>> {
        if (problem) *problem = std::move(why);
        return std::nullopt;
    };
    std::error_code ec;
    // A folder opens on some systems and then reads as nothing.
    if (std::filesystem::is_directory(path, ec))
        return fail("cannot read " + path + ": " + std::strerror(EISDIR));
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot read " + path + ": " + std::strerror(errno ? errno : ENOENT));
    // One byte more than a chip holds tells a file too long; an endless
    // input (/dev/zero) ends there too.
    std::vector<std::uint8_t> bytes(0x10001);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) return fail("cannot read " + path);
    if (bytes.empty()) return fail(path + " is empty");
    if (bytes.size() > 0x10000)
        return fail(path + " is longer than 64 KiB, more than any part holds");
    return bytes;
}

bool SocketChip::Load(const std::string& path) {
    std::optional<std::vector<std::uint8_t>> bytes = ReadFile(path);
    if (!bytes) return false;
    cells_ = std::move(*bytes);
    Dirty = false;
    return true;
}

bool SocketChip::Save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(cells_.data()),
              static_cast<std::streamsize>(cells_.size()));
    return static_cast<bool>(out);
}

} // namespace velmar

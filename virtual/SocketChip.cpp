#include "SocketChip.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "VirtualProgrammer.h"

namespace velmar {

namespace {
std::uint32_t AddressWidth(std::uint32_t size) {
    std::uint32_t width = 1;
    while (width < size)
        width <<= 1;
    return width;
}
} // namespace

void SocketChip::Seat(int family, std::uint32_t size) {
    family_ = family;
    if (size == 0 || size > 0x10000) size = 0x10000;
    cells_.assign(size, Erased());
    locks_ = 0;
    Dirty = false;
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
    if (locks_ & (LockBit2 | LockBit3)) return 0xFF;
    const long cell = Fold(address);
    return cell < 0 ? 0xFF : cells_[static_cast<std::size_t>(cell)];
}

bool SocketChip::Program(std::uint32_t address, std::uint8_t value) {
    const long cell = Fold(address);
    if (cell < 0) return value == 0xFF; // nothing there; the bus reads 0xFF
    if (locks_ & LockBit2) return false;
    std::uint8_t& c = cells_[static_cast<std::size_t>(cell)];
    const std::uint8_t before = c;
    c = Erased() == 0x00 ? static_cast<std::uint8_t>(c | value)
                         : static_cast<std::uint8_t>(c & value);
    if (c != before) Dirty = true;
    return c == value;
}

void SocketChip::Erase() {
    for (auto& c : cells_)
        c = 0xFF;
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

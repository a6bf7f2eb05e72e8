#pragma once
// The 64 KiB image every file, editor and device operation works on.

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmar {

constexpr std::int32_t kBufferSize = 0x10000;

class DataBuffer {
  public:
    DataBuffer() { bytes_.fill(0); }

    static constexpr bool Contains(std::int64_t position) {
        return position >= 0 && position < kBufferSize;
    }
    // Callers check Contains() first; positions outside the buffer are a bug.
    std::uint8_t& operator[](std::int32_t position) { return bytes_.at(static_cast<std::size_t>(position)); }
    std::uint8_t operator[](std::int32_t position) const { return bytes_.at(static_cast<std::size_t>(position)); }

    void Fill(std::uint8_t value) { bytes_.fill(value); }
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }

  private:
    std::array<std::uint8_t, kBufferSize> bytes_;
};

} // namespace velmar

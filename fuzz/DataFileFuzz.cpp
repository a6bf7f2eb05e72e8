// libFuzzer target for the data-file readers. The first six bytes choose the
// format and the address window; the rest is the file.
//   byte 0: 0 binary, 1 Intel, 2 Motorola, 3 ASCII hex, 4 an unknown type
//   byte 1: DeviceLimit from a list of real and odd values
//   bytes 2-3: HexOffset (signed), bytes 4-5: BufferStart / 16
// Every buffer access is bounds-checked by DataBuffer, so a stray position
// aborts; AddressSanitizer catches everything else.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "buffer/BinaryFile.h"
#include "buffer/HexReader.h"
#include "buffer/HexWriter.h"

namespace {

constexpr std::array<std::int32_t, 14> kLimits{0,      0x3FF,   0x7FF,  0xFFF,     0x1FFF,
                                               0x27FF, 0x2FFF,  0x3FFF, 0x4FFF,    0x7FFF,
                                               0xFFFF, 0xFFFFF, -1,     0x7FFFFFFF};

// Reading our own output back must give the same bytes.
void CheckRoundTrip(const velmar::DataBuffer& buffer, velmar::FileType fileType) {
    const std::int32_t end = 0x3FF;
    const std::string text = velmar::HexFileText(buffer, fileType, end);
    std::FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    if (!stream) return;
    velmar::DataBuffer back;
    velmar::AddressWindow window;
    window.DeviceLimit = 0xFFFF;
    velmar::FrontPanel panel;
    const velmar::HexLoadResult r = velmar::LoadHexStream(stream, fileType, back, window, panel);
    std::fclose(stream);
    if (!r.ok || r.badChecksumRecords != 0 || std::memcmp(back.data(), buffer.data(), end + 1) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size <= 6) return 0; // empty files are covered by the unit tests
    const int mode = data[0] % 5;
    velmar::AddressWindow window;
    window.DeviceLimit = kLimits[data[1] % kLimits.size()];
    window.HexOffset = static_cast<std::int16_t>(data[2] | (data[3] << 8)) * 17;
    window.BufferStart = (data[4] | (data[5] << 8)) * 16;
    data += 6;
    size -= 6;

    // fmemopen wants a writable buffer even for reading.
    std::string file(reinterpret_cast<const char*>(data), size);
    std::FILE* stream = fmemopen(file.data(), size, "rb");
    if (!stream) return 0;
    velmar::DataBuffer buffer;
    velmar::FrontPanel panel;
    if (mode == 0) {
        const velmar::BinaryFileResult r = velmar::LoadBinaryStream(stream, buffer, window);
        // Read up to one byte past the buffer, no further.
        const std::int64_t bound = std::max<std::int64_t>(1, 0x10001 - window.BufferStart);
        if (r.ok && r.bytes != std::min<std::int64_t>(static_cast<std::int64_t>(size), bound))
            std::abort();
        if (r.ok && r.countUnknown != (static_cast<std::int64_t>(size) >= bound)) std::abort();
    } else {
        const auto fileType = static_cast<velmar::FileType>(mode == 4 ? 9 : mode);
        const velmar::HexLoadResult r =
            velmar::LoadHexStream(stream, fileType, buffer, window, panel);
        if (r.droppedBytes < 0 || r.badChecksumRecords < 0) std::abort();
        if (mode != 4) CheckRoundTrip(buffer, fileType);
    }
    std::fclose(stream);
    return 0;
}

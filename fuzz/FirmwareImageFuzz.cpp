// libFuzzer target for the firmware image reader and the update that streams
// it: the input is the image file, the programmer a stand-in that answers
// every packet at once. Only a whole, signed image that fits the buffer may
// send anything, and then exactly its records, the query and the exit.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/CommandLink.h"
#include "link/D2XXUnit.h"
#include "link/FirmwareUpdate.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const char* const kInvalid = "Invalid File Type...\r\nCan Not Update Units With This File......";
const std::uint8_t kSignature[12] = {'U', 'p', 'd', 'a', 't', 'e', ' ', 'F', 'i', 'l', 'e', 0x06};

// The programmer: records are acknowledged, the checksum query answered
// with the sum of the payloads received.
struct StandIn {
    std::vector<Bytes> writes;
    Bytes queued;
    unsigned sum = 0;
} programmer;

velmar::FT_STATUS Write(velmar::FT_HANDLE, void* buffer, velmar::DWORD count,
                        velmar::DWORD* written) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    programmer.writes.emplace_back(bytes, bytes + count);
    if (count == 74) {
        for (int i = 8; i < 74; ++i)
            programmer.sum += bytes[i];
        programmer.queued.insert(programmer.queued.end(), {bytes[0], 0, 0, 0, 0, 0, 0, bytes[0]});
    } else if (count == 8 && bytes[0] == 0xAA) {
        programmer.queued.insert(programmer.queued.end(),
                                 {0xAA, 0x43, static_cast<std::uint8_t>(programmer.sum >> 8),
                                  static_cast<std::uint8_t>(programmer.sum), 0, 0, 0, 0});
    }
    *written = count;
    return velmar::FT_OK;
}

velmar::FT_STATUS Read(velmar::FT_HANDLE, void* buffer, velmar::DWORD count, velmar::DWORD* got) {
    const std::size_t n = std::min<std::size_t>(count, programmer.queued.size());
    std::memcpy(buffer, programmer.queued.data(), n);
    programmer.queued.erase(programmer.queued.begin(), programmer.queued.begin() + n);
    *got = static_cast<velmar::DWORD>(n);
    return velmar::FT_OK;
}

velmar::FT_STATUS Queue(velmar::FT_HANDLE, velmar::DWORD* count) {
    *count = static_cast<velmar::DWORD>(programmer.queued.size());
    return velmar::FT_OK;
}

const velmar::D2XXBackend kStandIn = {
    "stand-in",
    [](void*, void*, velmar::DWORD) -> velmar::FT_STATUS { return velmar::FT_OK; },
    [](void*, velmar::DWORD, velmar::FT_HANDLE*) -> velmar::FT_STATUS { return velmar::FT_OK; },
    [](velmar::FT_HANDLE) -> velmar::FT_STATUS { return velmar::FT_OK; },
    [](velmar::FT_HANDLE) -> velmar::FT_STATUS { return velmar::FT_OK; },
    [](velmar::FT_HANDLE, velmar::ULONG, velmar::ULONG) -> velmar::FT_STATUS {
        return velmar::FT_OK;
    },
    Queue,
    Write,
    Read,
    [](velmar::FT_HANDLE, velmar::UCHAR) -> velmar::FT_STATUS { return velmar::FT_OK; },
};

class Panel : public velmar::FrontPanel {
  public:
    explicit Panel(std::string path) : path_(std::move(path)) {}
    bool ShowMessage(velmar::BoxKind, std::string_view text, velmar::BoxAbout) override {
        boxes.emplace_back(text);
        return false;
    }
    std::optional<std::string> ChooseFirmwareFile() override { return path_; }
    std::vector<std::string> boxes;

  private:
    std::string path_;
};

// One image file per fuzzing process, removed when it ends.
struct ImageFile {
    const std::string path = "/tmp/velmar-firmware-fuzz-" + std::to_string(::getpid()) + ".bin";
    ~ImageFile() { std::remove(path.c_str()); }
};

const std::string& ImagePath() {
    static const ImageFile file;
    return file.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(ImagePath().c_str(), "wb");
    if (!file) return 0;
    const bool stored = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !stored) return 0;

    programmer = StandIn();
    Panel panel(ImagePath());
    velmar::D2XXUnit d2xx(kStandIn, panel);
    velmar::AddressWindow window;
    velmar::TransferState transfer;
    velmar::CommandLink link(d2xx, panel, window, transfer);
    link.LinkState = velmar::LinkState::Answered;
    velmar::UpdateFirmware(d2xx, link, panel);
    if (link.PacketLength != 8) std::abort();

    const bool accepted = size >= 16 && size <= 9215 && std::memcmp(data + 2, kSignature, 12) == 0;
    if (!accepted) {
        if (!programmer.writes.empty() || panel.boxes != std::vector<std::string>{kInvalid})
            std::abort();
        return 0;
    }
    // Every record but the last, each whole inside the file.
    std::size_t records = 0;
    const long q = (static_cast<long>(size) - 16) / 73;
    for (long k = 0; k + 2 <= q && 16 + 74 * (k + 1) <= static_cast<long>(size); ++k)
        ++records;
    if (programmer.writes.size() != records + 2) std::abort();
    for (std::size_t k = 0; k < records; ++k) {
        Bytes expected(data + 16 + 74 * k, data + 16 + 74 * (k + 1));
        expected[7] = velmar::CommandLink::PacketChecksum(expected.data());
        if (programmer.writes[k] != expected) std::abort();
    }
    if (programmer.writes[records] != Bytes{0xAA, 0x43, 0, 0, 0, 0, 0, 0xED}) std::abort();
    if (programmer.writes[records + 1] != Bytes{0x52, 0, 0, 0, 0, 0, 0, 0x52}) std::abort();
    const bool good =
        ((programmer.sum >> 8) & 0xFF) == data[14] && (programmer.sum & 0xFF) == data[15];
    if (panel.boxes != std::vector<std::string>{good ? "Good Update..." : "Warning: Bad Update..."})
        std::abort();
    return 0;
}

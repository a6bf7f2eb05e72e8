#include "FirmwareUpdate.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <optional>

#include "buffer/HexText.h"

namespace velmar {

namespace {
const char* const kUpdatingCaption = "Updating Programmer Flash Code....";
const char* const kInvalidFile =
    "Invalid File Type...\r\nCan Not Update Units With This File......";
const std::uint8_t kUpdateSignature[12] = {'U', 'p', 'd', 'a', 't', 'e',
                                           ' ', 'F', 'i', 'l', 'e', 0x06};
constexpr int kRecordSize = 74;
constexpr int kHeaderSize = 16;
constexpr int kSignatureOffset = 2;
constexpr int kChecksumOffset = 14;

std::string Hex2(std::uint8_t value) {
    return HexText(value, 2);
}

void SendRecord(D2XXUnit& d2xx, CommandLink& link, FrontPanel& panel,
                const std::vector<std::uint8_t>& image, std::size_t record) {
    const std::size_t start = kHeaderSize + kRecordSize * record;
    std::memcpy(d2xx.TxBuffer.data(), image.data() + start, kRecordSize);

    // The caption shows the value of the record that follows; the last record
    // of a full image has none, so it shows its own.
    std::size_t shown = start + kRecordSize;
    if (shown + 3 >= image.size()) shown = start;
    panel.Progress(ProgressOf::FirmwareRecord, image[shown + 2] * 256 + image[shown + 3]);

    d2xx.TxBuffer[7] = CommandLink::PacketChecksum(d2xx.TxBuffer.data());
    link.WriteRequest(kRecordSize, true, "USB Device Write TimeOut 1...");
    link.AwaitReply();
}

void LoadPacket(D2XXUnit& d2xx, std::initializer_list<std::uint8_t> bytes) {
    std::size_t i = 0;
    for (std::uint8_t b : bytes)
        d2xx.TxBuffer[i++] = b;
}
} // namespace

std::vector<std::uint8_t> ReadFirmwareImage(const std::string& path, bool& tooLong) {
    std::vector<std::uint8_t> image(kFirmwareImageSize + 1);
    std::ifstream in(path, std::ios::binary);
    std::streamsize n = 0;
    if (in) {
        in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
        n = in.gcount();
    }
    tooLong = n > kFirmwareImageSize;
    image.resize(static_cast<std::size_t>(std::min<std::streamsize>(n, kFirmwareImageSize)));
    return image;
}

bool HasUpdateSignature(const std::vector<std::uint8_t>& image) {
    if (image.size() < kSignatureOffset + sizeof kUpdateSignature) return false;
    return std::memcmp(image.data() + kSignatureOffset, kUpdateSignature,
                       sizeof kUpdateSignature) == 0;
}

FirmwareUpdateOutcome UpdateFirmware(D2XXUnit& d2xx, CommandLink& link, FrontPanel& panel) {
    FirmwareUpdateOutcome outcome = FirmwareUpdateOutcome::NoFileChosen;
    panel.Status(kUpdatingCaption);
    const std::optional<std::string> path = panel.ChooseFirmwareFile();
    if (path) {
        bool tooLong = false;
        const std::vector<std::uint8_t> image = ReadFirmwareImage(*path, tooLong);
        // A cut image would leave the programmer without working firmware;
        // one without the whole header has no checksum to compare.
        if (tooLong || image.size() < kHeaderSize || !HasUpdateSignature(image)) {
            panel.ShowMessage(BoxKind::Warning, kInvalidFile);
            outcome = FirmwareUpdateOutcome::InvalidFile;
            panel.Outcome(Task::FirmwareUpdate, false, 0);
        } else {
            // Every record and the checksum query must be answered, and the
            // exit written, for the update to count as good.
            const unsigned faultMark = link.LinkFaults;
            link.PacketLength = kRecordSize;
            const long n = static_cast<long>(image.size());
            const long q = (n - kHeaderSize) / 73;
            // Every record but the last feeds the programmer; only whole
            // records inside the bytes read ever go out.
            for (long k = 0; k + 2 <= q; ++k) {
                const long end = kHeaderSize + kRecordSize * (k + 1);
                if (end > n) break;
                SendRecord(d2xx, link, panel, image, static_cast<std::size_t>(k));
            }

            link.PacketLength = 8;
            LoadPacket(d2xx, {FlashChecksumQuery, 0x43, 0, 0, 0, 0, 0, 0xED});
            link.WriteRequest(8, true, "USB Device Write TimeOut 2...");
            link.AwaitReply();

            const auto& reply = d2xx.ReplyBuffer;
            for (int i = 0; i < 8; ++i)
                panel.DiagnosticLine(DiagnosticOf::FirmwareCheck, Hex2(reply[i]));
            panel.DiagnosticLine(DiagnosticOf::FirmwareCheck, "Expected - " +
                                                                  Hex2(image[kChecksumOffset]) +
                                                                  Hex2(image[kChecksumOffset + 1]));
            panel.DiagnosticLine(DiagnosticOf::FirmwareCheck,
                                 "Found    - " + Hex2(reply[2]) + Hex2(reply[3]));
            const bool sameSum =
                reply[2] == image[kChecksumOffset] && reply[3] == image[kChecksumOffset + 1];

            // Written before the verdict is shown: the new firmware only
            // runs once the programmer has left its update mode.
            LoadPacket(d2xx, {FlashExit, 0, 0, 0, 0, 0, 0, 0x52});
            if (d2xx.WriteTxBuffer(8) != 8) ++link.LinkFaults;
            const bool good = sameSum && link.LinkFaults == faultMark;
            panel.ShowMessage(BoxKind::Warning, good ? "Good Update..." : "Warning: Bad Update...");
            outcome = good ? FirmwareUpdateOutcome::GoodUpdate : FirmwareUpdateOutcome::BadUpdate;
            panel.Outcome(Task::FirmwareUpdate, good, 0);
        }
    } else {
        panel.Outcome(Task::FirmwareUpdate, false, 0);
    }
    link.PacketLength = 8;
    return outcome;
}

} // namespace velmar

// The firmware update on the recording D2XX table.

#include <gtest/gtest.h>

#include <fstream>

#include "LinkRig.h"
#include "link/FirmwareUpdate.h"

namespace velmar {
namespace {

using test::Fake;
using test::LinkRig;
using Bytes = std::vector<std::uint8_t>;

const char* const kInvalid = "Invalid File Type...\r\nCan Not Update Units With This File......";

// Header, then `records` records whose bytes 2 and 3 are 0x10+k and 0x20+k
// and whose byte 7 is not yet a checksum.
Bytes Image(int records, std::uint8_t hi = 0x12, std::uint8_t lo = 0x34) {
    Bytes image = {0xEE, 0xFF, 'U', 'p', 'd', 'a', 't', 'e', ' ', 'F', 'i', 'l', 'e', 0x06, hi, lo};
    for (int k = 0; k < records; ++k)
        for (int i = 0; i < 74; ++i) {
            std::uint8_t b = static_cast<std::uint8_t>(k * 3 + i);
            if (i == 2) b = static_cast<std::uint8_t>(0x10 + k);
            if (i == 3) b = static_cast<std::uint8_t>(0x20 + k);
            if (i == 7) b = 0xEE;
            image.push_back(b);
        }
    return image;
}

std::string Store(const Bytes& bytes, const std::string& name) {
    const std::string path = ::testing::TempDir() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Acknowledges records and answers the checksum query with hi, lo.
void Programmer(std::uint8_t hi, std::uint8_t lo) {
    Fake().firmware = [hi, lo](const Bytes& packet) {
        if (packet.size() == 74) Fake().Queue({packet[0], 0, 0, 0, 0, 0, 0, packet[0]});
        if (packet.size() == 8 && packet[0] == 0xAA)
            Fake().Queue({0xAA, 0x43, hi, lo, 0, 0, 0, 0x77});
    };
}

struct UpdateRig : LinkRig {
    std::vector<FirmwareUpdateOutcome> outcomes;
    void Run(const Bytes& image, const std::string& name) {
        panel.files.push_back(Store(image, name));
        link.LinkState = LinkState::Answered;
        outcomes.push_back(UpdateFirmware(d2xx, link, panel));
    }
    std::vector<std::string> Tail(std::size_t n) const {
        const auto& d = panel.diagnostics;
        return std::vector<std::string>(d.end() - static_cast<long>(std::min(n, d.size())),
                                        d.end());
    }
};

TEST(UpdateFirmware, CancelAndRejectedFilesSendNothing) {
    UpdateRig rig;
    rig.link.PacketLength = 264;
    UpdateFirmware(rig.d2xx, rig.link, rig.panel);
    EXPECT_EQ(rig.panel.fileChoices, 1);
    EXPECT_EQ(rig.panel.Status(), "Updating Programmer Flash Code....");
    EXPECT_EQ(rig.link.PacketLength, 8);
    EXPECT_TRUE(rig.panel.boxes.empty());

    Bytes wrongMark = Image(3);
    wrongMark[13] = 0x07;
    rig.Run(wrongMark, "mark07.bin");
    Bytes tooShort = Image(0);
    tooShort.resize(13);
    rig.Run(tooShort, "short.bin");
    rig.panel.files.push_back(::testing::TempDir() + "/no-such-firmware.bin");
    UpdateFirmware(rig.d2xx, rig.link, rig.panel);

    // Longer than the image buffer: refused whole, not cut.
    Bytes oversized = Image(124);
    oversized.resize(9216, 0xAB);
    rig.Run(oversized, "oversized.bin");

    ASSERT_EQ(rig.panel.boxes.size(), 4u);
    for (const auto& box : rig.panel.boxes) {
        EXPECT_EQ(box.kind, BoxKind::Warning);
        EXPECT_EQ(box.text, kInvalid);
    }
    EXPECT_TRUE(Fake().writes.empty());
    EXPECT_EQ(rig.link.PacketLength, 8);
    // Cancelled or refused, every update ends as failed.
    EXPECT_EQ(rig.panel.OutcomesOf(Task::FirmwareUpdate), std::vector<bool>(5, false));
}

TEST(UpdateFirmware, ImageWithoutTheWholeHeaderIsRefused) {
    // The signature is whole but the checksum bytes 14 and 15 are not there.
    UpdateRig rig;
    Programmer(0x12, 0x34);
    for (std::size_t size : {14u, 15u}) {
        Bytes image = Image(0);
        image.resize(size);
        ASSERT_TRUE(HasUpdateSignature(image));
        rig.Run(image, "header" + std::to_string(size) + ".bin");
    }
    ASSERT_EQ(rig.panel.boxes.size(), 2u);
    for (const auto& box : rig.panel.boxes) {
        EXPECT_EQ(box.kind, BoxKind::Warning);
        EXPECT_EQ(box.text, kInvalid);
    }
    EXPECT_TRUE(Fake().writes.empty());
    EXPECT_TRUE(rig.panel.diagnostics.empty());

    // Sixteen bytes are a header without records: the query and the exit.
    rig.Run(Image(0), "header16.bin");
    ASSERT_EQ(Fake().writes.size(), 2u);
    EXPECT_EQ(rig.panel.boxes.back().text, "Good Update...");
}

TEST(UpdateFirmware, ThreeRecordFileSendsTwoWithTheFollowingRecordsValue) {
    UpdateRig rig;
    Programmer(0x12, 0x34);
    const Bytes image = Image(3);
    ASSERT_EQ(image.size(), 238u);
    rig.Run(image, "three.bin");

    ASSERT_EQ(Fake().writes.size(), 4u);
    for (int k = 0; k < 2; ++k) {
        Bytes expected(image.begin() + 16 + 74 * k, image.begin() + 16 + 74 * (k + 1));
        expected[7] = CommandLink::PacketChecksum(expected.data());
        EXPECT_EQ(Fake().writes[k], expected) << "record " << k;
    }
    EXPECT_EQ(Fake().writes[2], (Bytes{0xAA, 0x43, 0, 0, 0, 0, 0, 0xED}));
    EXPECT_EQ(Fake().writes[3], (Bytes{0x52, 0, 0, 0, 0, 0, 0, 0x52}));
    EXPECT_EQ(rig.panel.ProgressValues(ProgressOf::FirmwareRecord),
              (std::vector<std::int64_t>{0x1121, 0x1222}));
    EXPECT_EQ(Fake().Count("FT_Read"), 3); // the exit command is not awaited
    EXPECT_EQ(rig.link.PacketLength, 8);

    EXPECT_EQ(rig.Tail(10), (std::vector<std::string>{"AA", "43", "12", "34", "00", "00", "00",
                                                      "77", "Expected - 1234", "Found    - 1234"}));
    ASSERT_EQ(rig.panel.boxes.size(), 1u);
    EXPECT_EQ(rig.panel.boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(rig.panel.boxes[0].text, "Good Update...");
    EXPECT_EQ(rig.panel.OutcomesOf(Task::FirmwareUpdate), std::vector<bool>{true});
}

TEST(UpdateFirmware, BadChecksumStillLeavesUpdateMode) {
    UpdateRig rig;
    Programmer(0x12, 0x35);
    rig.Run(Image(2, 0x12, 0x34), "bad.bin");
    EXPECT_EQ(rig.Tail(2), (std::vector<std::string>{"Expected - 1234", "Found    - 1235"}));
    ASSERT_EQ(rig.panel.boxes.size(), 1u);
    EXPECT_EQ(rig.panel.boxes[0].text, "Warning: Bad Update...");
    EXPECT_EQ(rig.panel.OutcomesOf(Task::FirmwareUpdate), std::vector<bool>{false});
    ASSERT_FALSE(Fake().writes.empty());
    EXPECT_EQ(Fake().writes.back(), (Bytes{0x52, 0, 0, 0, 0, 0, 0, 0x52}));
    // Two records make one send.
    EXPECT_EQ(Fake().writes.size(), 3u);
}

TEST(UpdateFirmware, SmallFilesSendOnlyTheQueryAndTheExit) {
    UpdateRig rig;
    Programmer(0xAB, 0xCD);
    rig.Run(Image(1, 0xAB, 0xCD), "one.bin"); // 90 bytes
    ASSERT_EQ(Fake().writes.size(), 2u);
    EXPECT_EQ(Fake().writes[0][0], 0xAA);
    EXPECT_EQ(Fake().writes[1][0], 0x52);
    EXPECT_TRUE(rig.panel.progress.empty());
    EXPECT_EQ(rig.panel.boxes[0].text, "Good Update...");
}

TEST(UpdateFirmware, TimeOutsDoNotStopTheRecords) {
    UpdateRig rig;
    rig.link.ReplyTimeoutMs = 30;
    rig.d2xx.ReplyBuffer[2] = 0x99;
    rig.Run(Image(5), "silent.bin");
    // Four records, the query and the exit all go out.
    EXPECT_EQ(Fake().writes.size(), 6u);
    EXPECT_EQ(rig.transfer.StopFlag, TransferStop::Stopped);
    ASSERT_FALSE(rig.panel.linkLosses.empty());
    EXPECT_EQ(rig.panel.linkLosses.back(), (test::RecordedLinkLoss{0, 5}));
    // The later waits end on their first turn, reading nothing: with nothing
    // queued no read is made at all.
    EXPECT_EQ(Fake().Count("FT_Read"), 0);
    EXPECT_EQ(rig.Tail(4),
              (std::vector<std::string>{"55", "00", "Expected - 1234", "Found    - 9900"}));
    EXPECT_EQ(rig.panel.boxes.back().text, "Warning: Bad Update...");
    // A checksum that matched by chance does not make a silent update good.
    EXPECT_EQ(rig.panel.OutcomesOf(Task::FirmwareUpdate), std::vector<bool>{false});
}

TEST(UpdateFirmware, LargeImagesStayInsideTheBytesRead) {
    {
        // 120 whole records: every one goes out; the last shows its own value.
        UpdateRig rig;
        Programmer(0x12, 0x34);
        rig.Run(Image(120), "large.bin");
        EXPECT_EQ(Fake().writes.size(), 122u);
        const auto shown = rig.panel.ProgressValues(ProgressOf::FirmwareRecord);
        ASSERT_EQ(shown.size(), 120u);
        EXPECT_EQ(shown[118], 0x8797); // record 119
        EXPECT_EQ(shown[119], 0x8797);
    }
    {
        // A full 9215-byte buffer: the partial record at its end is not sent.
        UpdateRig rig;
        Programmer(0x12, 0x34);
        Bytes image = Image(124);
        image.resize(9215, 0x5C);
        rig.Run(image, "full.bin");
        EXPECT_EQ(Fake().writes.size(), 126u);
        EXPECT_EQ(Fake().writes[123][2], 0x10 + 123);
        EXPECT_EQ(rig.panel.ProgressValues(ProgressOf::FirmwareRecord).back(), 0x5C5C);
        EXPECT_EQ(rig.panel.boxes.back().text, "Good Update...");
    }
}

TEST(FirmwareImageFile, ReadsAtMostTheBufferAndTellsWhenLonger) {
    bool tooLong = true;
    const Bytes image = Image(2);
    EXPECT_EQ(ReadFirmwareImage(Store(image, "plain.bin"), tooLong), image);
    EXPECT_FALSE(tooLong);
    EXPECT_TRUE(HasUpdateSignature(image));

    Bytes big(9300, 1);
    EXPECT_EQ(ReadFirmwareImage(Store(big, "big.bin"), tooLong).size(), 9215u);
    EXPECT_TRUE(tooLong);
    big.resize(9215);
    EXPECT_EQ(ReadFirmwareImage(Store(big, "exact.bin"), tooLong).size(), 9215u);
    EXPECT_FALSE(tooLong);
    EXPECT_TRUE(ReadFirmwareImage("/nonexistent/firmware.bin", tooLong).empty());
    EXPECT_FALSE(HasUpdateSignature(Bytes(image.begin(), image.begin() + 13)));
}

TEST(UpdateFirmware, ResultNamesHowTheUpdateEnded) {
    UpdateRig rig;
    EXPECT_EQ(UpdateFirmware(rig.d2xx, rig.link, rig.panel), FirmwareUpdateOutcome::NoFileChosen);
    Bytes wrongMark = Image(3);
    wrongMark[13] = 0x07;
    rig.Run(wrongMark, "mark07.bin");
    Programmer(0x12, 0x34);
    rig.Run(Image(2, 0x12, 0x34), "good.bin");
    rig.Run(Image(2, 0x12, 0x35), "bad.bin");
    EXPECT_EQ(rig.outcomes, (std::vector<FirmwareUpdateOutcome>{FirmwareUpdateOutcome::InvalidFile,
                                                                FirmwareUpdateOutcome::GoodUpdate,
                                                                FirmwareUpdateOutcome::BadUpdate}));
}

} // namespace
} // namespace velmar

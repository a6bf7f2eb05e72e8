// The programmer search and the firmware update against the virtual
// programmer.

#include <gtest/gtest.h>

#include <fstream>

#include "buffer/HexText.h"
#include "link/CommandLink.h"
#include "link/D2XXUnit.h"
#include "link/FirmwareUpdate.h"
#include "link/ProgrammerSearch.h"
#include "tests/support/RecordingPanel.h"
#include "virtual/FirmwareImage.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar {
namespace {

const char* const kNotFound = "The Brindle Programmer Could Not Be Found....";
using Lines = std::vector<std::string>;

class Discovery : public ::testing::Test {
  protected:
    void Start(const VirtualOptions& options = VirtualOptions()) {
        V().Reset(options);
        link.ReplyTimeoutMs = 300;
    }
    static VirtualProgrammer& V() { return VirtualProgrammer::Instance(); }
    VirtualOptions Firmware(int major, int minor) {
        VirtualOptions o;
        o.FirmwareMajor = major;
        o.FirmwareMinor = minor;
        return o;
    }
    void Search() { failFlag = FindProgrammer(d2xx, link, panel).Found() ? 0 : 1; }
    std::string ImageFile(const std::vector<std::uint8_t>& image, const std::string& name) {
        const std::string path = ::testing::TempDir() + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        return path;
    }
    Lines Tail(std::size_t n) const {
        const auto& d = panel.diagnostics;
        return Lines(d.end() - static_cast<long>(std::min(n, d.size())), d.end());
    }

    test::RecordingPanel panel;
    D2XXUnit d2xx{VirtualBackend(), panel};
    AddressWindow window;
    TransferState transfer;
    CommandLink link{d2xx, panel, window, transfer};
    int failFlag = -1;
};

TEST_F(Discovery, CurrentFirmwareIsFoundWithoutQuestion) {
    Start();
    Search();
    EXPECT_EQ(panel.Status(), "Usb Programmer Found - FirmWare Version 1.23");
    EXPECT_EQ(link.LinkState, LinkState::Answered);
    EXPECT_EQ(failFlag, 0);
    EXPECT_TRUE(panel.boxes.empty());
    EXPECT_EQ(V().Trace(), (Lines{"56 00 00 00 00 00 00 56"}));
    EXPECT_TRUE(V().Faults().empty());
    EXPECT_TRUE(V().IsOpen());
    EXPECT_EQ(V().ReadTimeoutMs(), 40u);
    EXPECT_EQ(V().LatencyMs(), 2);
    EXPECT_EQ(d2xx.DeviceString, "Brindle Programmer");
}

TEST_F(Discovery, VersionsBelowRequiredAskForTheUpdate) {
    Start(Firmware(1, 22));
    Search();
    EXPECT_EQ(panel.Status(), "Usb Programmer Found - FirmWare Version 1.22");
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].kind, BoxKind::Question);
    EXPECT_EQ(panel.boxes[0].text, "This Software Requires Firmware Version - 1.23\r\nDo You Want "
                                   "to Flash Update the Programmer ?");
    EXPECT_EQ(link.LinkState, LinkState::Answered);
    EXPECT_EQ(panel.fileChoices, 0); // answered No
}

TEST_F(Discovery, NewerMajorVersionNeedsNoUpdate) {
    Start(Firmware(2, 0));
    Search();
    EXPECT_EQ(panel.Status(), "Usb Programmer Found - FirmWare Version 2.00");
    EXPECT_TRUE(panel.boxes.empty());
}

TEST_F(Discovery, NoOrTwoDevicesAreNotFound) {
    for (int devices : {0, 2}) {
        VirtualOptions o;
        o.Devices = devices;
        Start(o);
        panel.boxes.clear();
        Search();
        ASSERT_EQ(panel.boxes.size(), 1u) << devices;
        EXPECT_EQ(panel.boxes[0].text, kNotFound);
        EXPECT_EQ(panel.boxes[0].kind, BoxKind::Information);
        EXPECT_FALSE(V().IsOpen());
        EXPECT_TRUE(V().Trace().empty());
        EXPECT_EQ(link.LinkState, LinkState::Closed);
        EXPECT_EQ(failFlag, 1);
    }
}

TEST_F(Discovery, SilentProgrammerLeavesLinkStateOne) {
    VirtualOptions o;
    o.NoReplyFrom = 1;
    Start(o);
    Search();
    EXPECT_EQ(link.LinkState, LinkState::Opened);
    EXPECT_EQ(failFlag, 1);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].text, kNotFound);
    ASSERT_FALSE(panel.linkLosses.empty());
    EXPECT_EQ(panel.linkLosses.back(), (test::RecordedLinkLoss{0, 5}));
    EXPECT_EQ(d2xx.ReplyBuffer[6], 0x55);
}

TEST_F(Discovery, RetryFindsTheProgrammerOncePlugged) {
    VirtualOptions o;
    o.Devices = 0;
    Start(o);
    Search();
    EXPECT_EQ(link.LinkState, LinkState::Closed);
    V().SetDeviceCount(1);
    Search();
    EXPECT_EQ(link.LinkState, LinkState::Answered);
    EXPECT_EQ(failFlag, 0);
    EXPECT_EQ(panel.boxes.size(), 1u);

    // Unplugged again: the closed handle is never used.
    V().SetDeviceCount(0);
    Search();
    EXPECT_EQ(link.LinkState, LinkState::Closed);
    EXPECT_FALSE(V().IsOpen());
}

TEST_F(Discovery, UpdateFromOldFirmwareEndsGood) {
    Start(Firmware(1, 22));
    const auto image = MakeFirmwareImage(1, 23, 16);
    panel.answers.push_back(true);
    panel.files.push_back(ImageFile(image, "good-update.bin"));
    Search();

    ASSERT_EQ(panel.boxes.size(), 2u);
    EXPECT_EQ(panel.boxes[1].kind, BoxKind::Warning);
    EXPECT_EQ(panel.boxes[1].text, "Good Update...");
    const std::string expected = "Expected - " + HexText(image[14], 2) + HexText(image[15], 2);
    const std::string found = "Found    - " + HexText(image[14], 2) + HexText(image[15], 2);
    EXPECT_EQ(Tail(2), (Lines{expected, found}));
    EXPECT_EQ(panel.diagnostics.size(), 10u);
    EXPECT_EQ(panel.Status(), "Updating Programmer Flash Code....");
    EXPECT_EQ(link.PacketLength, 8);
    EXPECT_TRUE(V().Faults().empty());
    // The version record and the 16 code records; the end record stays home.
    const std::size_t records = (image.size() - 16) / 74;
    EXPECT_EQ(V().Trace().size(), 1 + (records - 1) + 2);
    EXPECT_EQ(V().Trace().back(), "52 00 00 00 00 00 00 52");
    EXPECT_EQ(V().FirmwareVersion(), 0x0117);
}

TEST_F(Discovery, BadAndSilentUpdatesEndBad) {
    VirtualOptions o = Firmware(1, 20);
    o.BadUpdate = true;
    Start(o);
    const auto image = MakeFirmwareImage(1, 23, 4);
    panel.answers.push_back(true);
    panel.files.push_back(ImageFile(image, "bad-update.bin"));
    Search();
    ASSERT_EQ(panel.boxes.size(), 2u);
    EXPECT_EQ(panel.boxes[1].text, "Warning: Bad Update...");
    EXPECT_NE(Tail(2)[0].substr(11), Tail(2)[1].substr(11));
    EXPECT_EQ(V().Trace().back(), "52 00 00 00 00 00 00 52");

    // The programmer stops answering after the version query.
    o = Firmware(1, 20);
    o.NoReplyFrom = 2;
    Start(o);
    panel.boxes.clear();
    panel.diagnostics.clear();
    panel.answers.push_back(true);
    panel.files.push_back(ImageFile(image, "silent-update.bin"));
    Search();
    ASSERT_FALSE(panel.linkLosses.empty());
    EXPECT_EQ(panel.linkLosses.back(), (test::RecordedLinkLoss{0, 5}));
    EXPECT_EQ(panel.boxes.back().text, "Warning: Bad Update...");
    EXPECT_EQ(transfer.StopFlag, TransferStop::Stopped);
    // Every record still went out, then the query and the exit.
    const std::size_t records = (image.size() - 16) / 74;
    EXPECT_EQ(V().Trace().size(), 1 + (records - 1) + 2);
}

TEST_F(Discovery, RefusedFilesSendNothing) {
    Start(Firmware(1, 22));
    auto wrong = MakeFirmwareImage(1, 23, 2);
    wrong[13] = 0x07;
    auto oversized = MakeFirmwareImage(1, 23, 2);
    oversized.resize(9216, 0);
    for (const auto& [bytes, name] :
         {std::pair{wrong, "mark07.bin"}, std::pair{oversized, "big.bin"}}) {
        panel.answers.push_back(true);
        panel.files.push_back(ImageFile(bytes, name));
    }
    Search();
    Search();
    panel.answers.push_back(true); // and a cancelled dialog
    Search();
    const auto warnings = panel.BoxesOf(BoxKind::Warning);
    ASSERT_EQ(warnings.size(), 2u);
    for (const auto& w : warnings)
        EXPECT_EQ(w.text, "Invalid File Type...\r\nCan Not Update Units With This File......");
    // Only the three version queries went out.
    EXPECT_EQ(V().Trace(), (Lines(3, "56 00 00 00 00 00 00 56")));
    EXPECT_EQ(link.PacketLength, 8);
}

} // namespace
} // namespace velmar

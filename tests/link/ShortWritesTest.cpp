// Writes the programmer takes only part of, against the virtual programmer:
// the wrapper tells the count, the command link reports each and still
// awaits the reply, the firmware update names the kind of packet.

#include <gtest/gtest.h>

#include <fstream>

#include "link/CommandLink.h"
#include "link/D2XXUnit.h"
#include "link/FirmwareUpdate.h"
#include "tests/support/RecordingPanel.h"
#include "virtual/FirmwareImage.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar {
namespace {

class ShortWrites : public ::testing::Test {
  protected:
    ShortWrites() {
        V().Reset();
        d2xx.Open_USB_Device_By_Serial_Number("");
        d2xx.SetDeviceTimeouts(2, 0);
        link.ReplyTimeoutMs = 30;
    }
    static VirtualProgrammer& V() { return VirtualProgrammer::Instance(); }
    // The next packet written comes up short.
    static void CutNext() { V().SetShortWrite(V().PacketCount() + 1); }

    test::RecordingPanel panel;
    D2XXUnit d2xx{VirtualBackend(), panel};
    AddressWindow window;
    TransferState transfer;
    CommandLink link{d2xx, panel, window, transfer};
};

TEST_F(ShortWrites, TheWrapperReturnsTheCountTaken) {
    for (std::uint8_t i = 0; i < 9; ++i)
        d2xx.TxBuffer[i] = static_cast<std::uint8_t>(i + 1);
    CutNext();
    EXPECT_EQ(d2xx.WriteTxBuffer(9), 4u);
    EXPECT_EQ(V().Trace(), (std::vector<std::string>{"01 02 03 04"}));
    EXPECT_TRUE(panel.boxes.empty());
}

TEST_F(ShortWrites, AShortWriteIsReportedAndStillAwaited) {
    link.LinkState = LinkState::Opened;
    CutNext();
    d2xx.TxBuffer[0] = 0x56;
    link.SendPacket();
    ASSERT_EQ(panel.report.size(), 1u);
    EXPECT_EQ(panel.report[0], "USB Device Write TimeOut ...");
    EXPECT_EQ(V().PacketCount(), 1); // not repeated
    // The reply is awaited until the wait gives up: the programmer dropped
    // the piece and never answers it.
    ASSERT_EQ(panel.linkLosses.size(), 1u);
    EXPECT_EQ(panel.linkLosses[0], (test::RecordedLinkLoss{0, 5}));
    EXPECT_EQ(d2xx.ReplyBuffer[6], 0x55);

    CutNext();
    d2xx.TxBuffer[0] = 0x94;
    link.SendPacket();
    EXPECT_EQ(panel.report.size(), 2u);
}

TEST_F(ShortWrites, TheFirmwareUpdateReportsThemPerKind) {
    const std::vector<std::uint8_t> image = MakeFirmwareImage(1, 23, 1); // three records
    const std::string path = ::testing::TempDir() + "/short-writes.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    panel.files.push_back(path);
    link.LinkState = LinkState::Answered;
    // Every packet comes up short: each wait cuts the one after it.
    CutNext();
    panel.onPump = [] { CutNext(); };
    UpdateFirmware(d2xx, link, panel);
    EXPECT_EQ(panel.report, (std::vector<std::string>{"USB Device Write TimeOut 2...",
                                                      "USB Device Write TimeOut 1...",
                                                      "USB Device Write TimeOut 1..."}));
    EXPECT_EQ(V().PacketCount(), 4);
    EXPECT_EQ(V().Faults().size(), 4u); // one dropped piece each
}

} // namespace
} // namespace velmar

// The libftdi1 backend, driven through the real libftdi1 down to a libusb
// stand-in that plays the bridges.

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "UsbStandIn.h"
#include "link/CommandLink.h"
#include "link/D2XXUnit.h"
#include "link/FtdiBackend.h"
#include "link/ProgrammerSearch.h"
#include "tests/support/RecordingPanel.h"

namespace velmar {
namespace {

using test::Bus;
using test::StandInDevice;

const D2XXBackend& B() {
    return FtdiBackend();
}

class FtdiBackendTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ResetBus(); }
    void TearDown() override {
        for (FT_HANDLE h : open_)
            B().Close(h);
        // Every libusb object libftdi1 took was given back.
        EXPECT_EQ(Bus().liveHandles, 0);
        EXPECT_EQ(Bus().liveContexts, 0);
        EXPECT_EQ(Bus().liveDeviceRefs, 0);
        EXPECT_EQ(Bus().liveConfigDescriptors, 0);
    }

    StandInDevice& Plug(std::string serial = "BP000001", std::uint16_t pid = 0x6001,
                        std::uint16_t vid = 0x0403) {
        StandInDevice d;
        d.serial = std::move(serial);
        d.productId = pid;
        d.vendorId = vid;
        Bus().devices.push_back(d);
        return Bus().devices.back();
    }

    FT_HANDLE Open(const char* serial = "") {
        FT_HANDLE h = nullptr;
        EXPECT_EQ(B().OpenEx(const_cast<char*>(serial), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
        if (h) open_.push_back(h);
        return h;
    }

    void Forget(FT_HANDLE h) { std::erase(open_, h); }

    std::vector<FT_HANDLE> open_;
};

// Answers the version query as firmware 1.23 does.
void VersionFirmware(StandInDevice& d, const std::uint8_t* data, int length) {
    for (int i = 0; i + 8 <= length; i += 8)
        if (data[i] == 0x56) d.Reply({0x56, 1, 23, 0, 0, 0, 0, 0x6E});
}

TEST_F(FtdiBackendTest, CountsOneDevicePerChannelAndListsItsTexts) {
    Plug("BP000001");
    Plug("AB9", 0x6010).description = "Dual RS232";
    Plug("XX", 0x1234, 0x1234); // not an FTDI bridge

    // The dual-channel chip counts as two devices, as the vendor counts it.
    DWORD count = 99;
    ASSERT_EQ(B().ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 3u);

    char text[64];
    ASSERT_EQ(B().ListDevices(reinterpret_cast<void*>(0), text,
                              FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_OK);
    EXPECT_STREQ(text, "BP000001");
    ASSERT_EQ(B().ListDevices(reinterpret_cast<void*>(1), text,
                              FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
              FT_OK);
    EXPECT_STREQ(text, "Dual RS232 A");
    EXPECT_EQ(B().ListDevices(reinterpret_cast<void*>(3), text,
                              FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER),
              FT_DEVICE_NOT_FOUND);

    // A long description never runs past the vendor's 64-byte buffer.
    Bus().devices[0].description = std::string(80, 'D');
    char guarded[80];
    std::memset(guarded, 0x7E, sizeof guarded);
    ASSERT_EQ(B().ListDevices(reinterpret_cast<void*>(0), guarded,
                              FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
              FT_OK);
    EXPECT_EQ(std::strlen(guarded), 63u);
    EXPECT_EQ(guarded[64], 0x7E);
}

TEST_F(FtdiBackendTest, NoBridgeCountsZeroAndOpensNothing) {
    DWORD count = 99;
    ASSERT_EQ(B().ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 0u);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(B().OpenEx(const_cast<char*>(""), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
}

TEST_F(FtdiBackendTest, OpensBySerialOrTheSingleBridgeAndRefusesStaleHandles) {
    Plug("FIRST");
    Plug("SECOND");
    FT_HANDLE none = nullptr;
    EXPECT_EQ(B().OpenEx(const_cast<char*>("THIRD"), FT_OPEN_BY_SERIAL_NUMBER, &none),
              FT_DEVICE_NOT_FOUND);

    FT_HANDLE second = Open("SECOND");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Bus().devices[0].opens, 0);
    EXPECT_EQ(Bus().devices[1].opens, 1);
    // libftdi1 resets the chip on open.
    ASSERT_FALSE(Bus().devices[1].controls.empty());
    EXPECT_EQ(Bus().devices[1].controls[0].request, 0x00);

    ASSERT_EQ(B().Close(second), FT_OK);
    Forget(second);
    EXPECT_EQ(Bus().devices[1].opens, 0);
    DWORD n = 0;
    std::uint8_t byte = 0x24;
    EXPECT_EQ(B().Close(second), FT_INVALID_HANDLE);
    EXPECT_EQ(B().Write(second, &byte, 1, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(B().GetQueueStatus(second, &n), FT_INVALID_HANDLE);
    EXPECT_EQ(B().GetQueueStatus(nullptr, &n), FT_INVALID_HANDLE);

    Bus().devices.pop_back();
    FT_HANDLE single = Open("");
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(Bus().devices[0].opens, 1);
}

TEST_F(FtdiBackendTest, QueueHoldsReplyBytesUntilRead) {
    StandInDevice& d = Plug();
    d.firmware = VersionFirmware;
    FT_HANDLE h = Open();
    ASSERT_EQ(B().SetTimeouts(h, 30, 0), FT_OK);

    std::uint8_t packet[8] = {0x56, 0, 0, 0, 0, 0, 0, 0x56};
    DWORD n = 0;
    ASSERT_EQ(B().Write(h, packet, 8, &n), FT_OK);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(d.received, std::vector<std::uint8_t>(packet, packet + 8));

    DWORD queued = 0;
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 8u);
    // Status bytes of the bridge never reach the queue.
    std::uint8_t reply[32768] = {};
    ASSERT_EQ(B().Read(h, reply, 3, &n), FT_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(reply[0], 0x56);
    EXPECT_EQ(reply[1], 1);
    EXPECT_EQ(reply[2], 23);
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 5u);

    // Asking for the whole buffer ends at the read time-out with what came.
    ASSERT_EQ(B().Read(h, reply, sizeof reply, &n), FT_OK);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(reply[3], 0);
    EXPECT_EQ(reply[4], 0x6E);
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);
}

TEST_F(FtdiBackendTest, LongRepliesCrossPacketsIntact) {
    StandInDevice& d = Plug();
    FT_HANDLE h = Open();
    ASSERT_EQ(B().SetTimeouts(h, 2000, 0), FT_OK);
    std::vector<std::uint8_t> sent(2056);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<std::uint8_t>(i * 7 + 3);
    d.Reply(sent);

    std::vector<std::uint8_t> got(sent.size() + 100, 0);
    DWORD n = 0;
    ASSERT_EQ(B().Read(h, got.data(), static_cast<DWORD>(sent.size()), &n), FT_OK);
    ASSERT_EQ(n, sent.size());
    got.resize(n);
    EXPECT_EQ(got, sent);
}

TEST_F(FtdiBackendTest, ReadWaitsForLateBytesOnlyUntilItsTimeout) {
    StandInDevice& d = Plug();
    FT_HANDLE h = Open();
    std::uint8_t buf[64] = {};
    DWORD n = 0;

    // Arrives within the time-out: the read waits for it.
    ASSERT_EQ(B().SetTimeouts(h, 1500, 0), FT_OK);
    d.Reply({1, 2, 3, 4, 5, 6, 7, 8}, 60);
    ASSERT_EQ(B().Read(h, buf, 8, &n), FT_OK);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(buf[7], 8);

    // Arrives after it: the read returns empty, the bytes stay for later.
    ASSERT_EQ(B().SetTimeouts(h, 10, 0), FT_OK);
    d.Reply({9, 10, 11, 12, 13, 14, 15, 16}, 900);
    ASSERT_EQ(B().Read(h, buf, 8, &n), FT_OK);
    EXPECT_EQ(n, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(950));
    DWORD queued = 0;
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 8u);
    ASSERT_EQ(B().Read(h, buf, 8, &n), FT_OK);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(buf[0], 9);
}

TEST_F(FtdiBackendTest, LatencyResetAndUnplug) {
    StandInDevice& d = Plug();
    FT_HANDLE h = Open();

    ASSERT_EQ(B().SetLatencyTimer(h, 2), FT_OK);
    EXPECT_EQ(d.latencyMs, 2);
    EXPECT_EQ(d.controls.back().request, 0x09);
    EXPECT_EQ(d.controls.back().value, 2);
    EXPECT_EQ(B().SetLatencyTimer(h, 0), FT_INVALID_PARAMETER);

    // Reset empties both the bridge and the host queue.
    d.Reply({1, 2, 3});
    DWORD queued = 0;
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 3u);
    d.Reply({4, 5});
    ASSERT_EQ(B().ResetDevice(h), FT_OK);
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);

    d.unplugged = true;
    EXPECT_EQ(B().GetQueueStatus(h, &queued), FT_IO_ERROR);
    std::uint8_t byte = 0x24;
    DWORD n = 77;
    EXPECT_EQ(B().Write(h, &byte, 1, &n), FT_IO_ERROR);
    EXPECT_EQ(n, 0u);
    std::uint8_t buf[8];
    ASSERT_EQ(B().SetTimeouts(h, 10, 0), FT_OK);
    EXPECT_EQ(B().Read(h, buf, 8, &n), FT_IO_ERROR);
}

TEST_F(FtdiBackendTest, ProgrammerSearchRunsThroughLibftdi) {
    StandInDevice& d = Plug("BP123");
    d.description = "Brindle Programmer";
    d.firmware = VersionFirmware;

    test::RecordingPanel panel;
    D2XXUnit d2xx(FtdiBackend(), panel);
    AddressWindow window;
    TransferState transfer;
    CommandLink link(d2xx, panel, window, transfer);
    link.ReplyTimeoutMs = 2000;
    int failFlag = -1;
    FindProgrammer(d2xx, link, panel, failFlag);

    EXPECT_TRUE(panel.boxes.empty());
    EXPECT_EQ(link.LinkState, 2);
    EXPECT_EQ(failFlag, 0);
    EXPECT_EQ(panel.Caption(Control::Banner), "Usb Programmer Found - FirmWare Version 1.23");
    EXPECT_EQ(d2xx.DeviceString, "Brindle Programmer");
    EXPECT_EQ(d.latencyMs, 2);
    EXPECT_EQ(d.received, (std::vector<std::uint8_t>{0x56, 0, 0, 0, 0, 0, 0, 0x56}));
    EXPECT_EQ(d2xx.ReplyBuffer[1], 1);
    EXPECT_EQ(d2xx.ReplyBuffer[2], 23);

    // Unplugged: the next search closes the handle, finds nothing, and the
    // link counts as absent.
    d.unplugged = true;
    FindProgrammer(d2xx, link, panel, failFlag);
    EXPECT_EQ(link.LinkState, 0);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].text, "The Brindle Programmer Could Not Be Found....");
    EXPECT_EQ(Bus().devices[0].opens, 0);
}

} // namespace
} // namespace velmar

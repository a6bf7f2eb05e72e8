// The libftdi1 backend, driven through the real libftdi1 down to a libusb
// stand-in that plays the bridges.

#include <gtest/gtest.h>

#include <libusb-1.0/libusb.h>

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
        // Nothing the door did would misbehave on real libusb.
        EXPECT_TRUE(Bus().faults.empty()) << ::testing::PrintToString(Bus().faults);
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
    failFlag = FindProgrammer(d2xx, link, panel).Found() ? 0 : 1;

    EXPECT_TRUE(panel.boxes.empty());
    EXPECT_EQ(link.LinkState, LinkState::Answered);
    EXPECT_EQ(failFlag, 0);
    EXPECT_EQ(panel.Status(), "Usb Programmer Found - FirmWare Version 1.23");
    EXPECT_EQ(d2xx.DeviceString, "Brindle Programmer");
    EXPECT_EQ(d.latencyMs, 2);
    EXPECT_EQ(d.received, (std::vector<std::uint8_t>{0x56, 0, 0, 0, 0, 0, 0, 0x56}));
    EXPECT_EQ(d2xx.ReplyBuffer[1], 1);
    EXPECT_EQ(d2xx.ReplyBuffer[2], 23);

    // Unplugged: the next search closes the handle, finds nothing, and the
    // link counts as absent.
    d.unplugged = true;
    failFlag = FindProgrammer(d2xx, link, panel).Found() ? 0 : 1;
    EXPECT_EQ(link.LinkState, LinkState::Closed);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].text, "The Brindle Programmer Could Not Be Found....");
    EXPECT_EQ(Bus().devices[0].opens, 0);
}

// The window's search over the libftdi1 door, with a short reply limit.
struct SearchRig {
    test::RecordingPanel panel;
    D2XXUnit d2xx{FtdiBackend(), panel};
    AddressWindow window;
    TransferState transfer;
    CommandLink link{d2xx, panel, window, transfer};
    int failFlag = -1;
    SearchRig() { link.ReplyTimeoutMs = 300; }
    void Search() { failFlag = FindProgrammer(d2xx, link, panel).Found() ? 0 : 1; }
    int BoxesMentioning(const std::string& words) const {
        int n = 0;
        for (const auto& box : panel.boxes)
            if (box.text.find(words) != std::string::npos) ++n;
        return n;
    }
};

const char* const kNotFound = "The Brindle Programmer Could Not Be Found....";

std::string ListText(DWORD index, DWORD which, FT_STATUS* status = nullptr) {
    char text[64];
    std::memset(text, 0x7E, sizeof text);
    const FT_STATUS s = B().ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)),
                                        text, FT_LIST_BY_INDEX | which);
    if (status) *status = s;
    return s == FT_OK ? std::string(text) : std::string("<failed>");
}

TEST_F(FtdiBackendTest, BridgeWithoutSerialStringListsEmptyAndIsFound) {
    StandInDevice& d = Plug("");
    d.serialIndex = 0; // no EEPROM: the descriptor names no serial string
    d.description = "Brindle Programmer";
    d.firmware = VersionFirmware;

    FT_STATUS status = 99;
    EXPECT_EQ(ListText(0, FT_OPEN_BY_SERIAL_NUMBER, &status), "");
    EXPECT_EQ(status, FT_OK);
    // Only the string asked for is fetched, and index 0 never.
    EXPECT_TRUE(d.stringReads.empty());
    EXPECT_EQ(ListText(0, FT_OPEN_BY_DESCRIPTION), "Brindle Programmer");
    EXPECT_EQ(d.stringReads, std::vector<int>{2});

    SearchRig rig;
    rig.Search();
    EXPECT_TRUE(rig.panel.boxes.empty());
    EXPECT_EQ(rig.link.LinkState, LinkState::Answered);
    EXPECT_EQ(rig.d2xx.DeviceString, "Brindle Programmer");
    rig.d2xx.CloseAtExit();
}

TEST_F(FtdiBackendTest, OpenFailuresKeepTheirCauseAndTheSearchSaysItOnce) {
    StandInDevice& d = Plug("BP1");
    d.accessDenied = true;

    // Listing does not fail on a bridge it may not open.
    EXPECT_EQ(ListText(0, FT_OPEN_BY_SERIAL_NUMBER), "");
    FT_HANDLE h = nullptr;
    EXPECT_EQ(B().OpenEx(const_cast<char*>(""), FT_OPEN_BY_SERIAL_NUMBER, &h),
              FT_DEVICE_NOT_OPENED);
    const std::string access = BridgeProblem();
    EXPECT_NE(access.find("LIBUSB_ERROR_ACCESS"), std::string::npos) << access;
    EXPECT_NE(access.find("libftdi: "), std::string::npos) << access;
    EXPECT_NE(access.find("install velmar's udev rule (60-velmar.rules) or run as root"),
              std::string::npos)
        << access;

    SearchRig rig;
    rig.Search();
    EXPECT_EQ(rig.d2xx.OpenProblem, access);
    ASSERT_FALSE(rig.panel.boxes.empty());
    EXPECT_EQ(rig.panel.boxes.back().text, std::string(kNotFound) + "\r\n" + access);
    EXPECT_EQ(rig.BoxesMentioning("udev rule"), 1);
    EXPECT_EQ(rig.BoxesMentioning("GetFTDevice"), 0);
    EXPECT_EQ(rig.link.LinkState, LinkState::Opened);

    // Held by another program: busy, with its own fix.
    d.accessDenied = false;
    d.claimedElsewhere = true;
    rig.panel.boxes.clear();
    rig.Search();
    const std::string busy = rig.d2xx.OpenProblem;
    EXPECT_NE(busy.find("LIBUSB_ERROR_BUSY"), std::string::npos) << busy;
    EXPECT_NE(busy.find("close the other program"), std::string::npos) << busy;
    EXPECT_EQ(rig.panel.boxes.back().text, std::string(kNotFound) + "\r\n" + busy);
    EXPECT_EQ(d.opens, 0);

    // Fixed: found, and no old cause shown.
    d.claimedElsewhere = false;
    d.firmware = VersionFirmware;
    rig.panel.boxes.clear();
    rig.Search();
    EXPECT_EQ(rig.link.LinkState, LinkState::Answered);
    EXPECT_TRUE(rig.d2xx.OpenProblem.empty());
    EXPECT_EQ(rig.BoxesMentioning("USB bridge"), 0);
    rig.d2xx.CloseAtExit();
}

TEST_F(FtdiBackendTest, QueuePollNeverWaitsForTheLatencyTimer) {
    StandInDevice& d = Plug();
    FT_HANDLE h = Open();
    ASSERT_EQ(B().SetLatencyTimer(h, 16), FT_OK);
    const int waitsBefore = Bus().blockingWaits;
    DWORD queued = 99;
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
        EXPECT_EQ(queued, 0u);
    }
    // Nothing waited: each poll only looked at the pending transfer.
    EXPECT_EQ(Bus().blockingWaits, waitsBefore);
    EXPECT_EQ(d.bulkInCalls, 0);
    EXPECT_LE(d.inSubmits, 51);

    // A reply shows up once the bridge lets it go; status bytes never count.
    d.Reply({1, 2, 3, 4, 5, 6, 7, 8});
    for (int turn = 0; queued == 0; ++turn) {
        ASSERT_LT(turn, 5000) << "the reply never reached the queue";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    }
    EXPECT_EQ(queued, 8u);
    EXPECT_EQ(Bus().blockingWaits, waitsBefore);
}

TEST_F(FtdiBackendTest, NoDeliveredByteIsLostOnATimeoutOrAnError) {
    StandInDevice& d = Plug();
    FT_HANDLE h = Open();
    ASSERT_EQ(B().SetTimeouts(h, 2000, 0), FT_OK);
    std::vector<std::uint8_t> sent(300);
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = static_cast<std::uint8_t>(i * 5 + 1);

    // A transfer ends in a time-out after 100 bytes: they are kept.
    d.Reply(sent);
    d.inFault = test::InFault{100, LIBUSB_ERROR_TIMEOUT};
    std::vector<std::uint8_t> got(sent.size());
    DWORD n = 0;
    ASSERT_EQ(B().Read(h, got.data(), static_cast<DWORD>(got.size()), &n), FT_OK);
    ASSERT_EQ(n, sent.size());
    EXPECT_EQ(got, sent);

    // An I/O error after 70 bytes: the read reports it with those bytes, the
    // rest of the stream follows.
    d.Reply(sent);
    d.inFault = test::InFault{70, LIBUSB_ERROR_IO};
    std::fill(got.begin(), got.end(), 0);
    EXPECT_EQ(B().Read(h, got.data(), static_cast<DWORD>(got.size()), &n), FT_IO_ERROR);
    ASSERT_EQ(n, 70u);
    DWORD more = 0;
    ASSERT_EQ(B().Read(h, got.data() + n, static_cast<DWORD>(got.size() - n), &more), FT_OK);
    EXPECT_EQ(n + more, sent.size());
    EXPECT_EQ(got, sent);

    // The queue query counts delivered bytes first, then reports the error once.
    d.Reply({9, 8, 7});
    d.inFault = test::InFault{3, LIBUSB_ERROR_IO};
    DWORD queued = 0;
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 3u);
    std::uint8_t three[3] = {};
    ASSERT_EQ(B().Read(h, three, 3, &n), FT_OK);
    EXPECT_EQ(three[2], 7);
    EXPECT_EQ(B().GetQueueStatus(h, &queued), FT_IO_ERROR);
    ASSERT_EQ(B().GetQueueStatus(h, &queued), FT_OK);
    EXPECT_EQ(queued, 0u);
}

TEST_F(FtdiBackendTest, ControlRequestsAlwaysHaveALimitAndBulkWritesNone) {
    StandInDevice& d = Plug();
    FT_HANDLE h = Open();
    ASSERT_EQ(B().SetTimeouts(h, 40, 0), FT_OK);
    ASSERT_EQ(B().ResetDevice(h), FT_OK);
    ASSERT_EQ(B().SetLatencyTimer(h, 2), FT_OK);
    std::uint8_t packet[8] = {0x24, 0, 0, 0, 0, 0, 0, 0x24};
    DWORD n = 0;
    ASSERT_EQ(B().Write(h, packet, 8, &n), FT_OK);
    ASSERT_FALSE(d.controls.empty());
    for (const auto& c : d.controls) {
        EXPECT_GT(c.timeoutMs, 0u) << "request " << int(c.request);
        EXPECT_LE(c.timeoutMs, 1000u) << "request " << int(c.request);
    }
    EXPECT_EQ(d.writeTimeouts, std::vector<unsigned>{0});

    // A wedged bridge fails the request instead of hanging the program.
    d.controlsWedged = true;
    EXPECT_EQ(B().ResetDevice(h), FT_IO_ERROR);
    EXPECT_EQ(B().SetLatencyTimer(h, 2), FT_IO_ERROR);
    EXPECT_EQ(d.unlimitedControls, 0);
    d.controlsWedged = false;

    // The write limit stays the caller's.
    ASSERT_EQ(B().SetTimeouts(h, 40, 500), FT_OK);
    ASSERT_EQ(B().Write(h, packet, 8, &n), FT_OK);
    EXPECT_EQ(d.writeTimeouts.back(), 500u);
}

TEST_F(FtdiBackendTest, TheSerialDriverIsGivenBackWhenTheBridgeIsClosed) {
    StandInDevice& d = Plug("FT0CABLE");
    d.kernelDriver[0] = true; // ftdi_sio: the user's /dev/ttyUSB0

    FT_HANDLE h = Open();
    EXPECT_FALSE(d.kernelDriver[0]);
    EXPECT_EQ(d.driverDetaches, 1);
    ASSERT_EQ(B().Close(h), FT_OK);
    Forget(h);
    EXPECT_TRUE(d.kernelDriver[0]);
    EXPECT_EQ(d.driverAttaches, 1);
    EXPECT_EQ(Bus().liveTransfers, 0);

    // A search opens a lone serial cable; the front end's end gives it back.
    SearchRig rig;
    rig.Search();
    EXPECT_EQ(rig.link.LinkState, LinkState::Opened);
    EXPECT_FALSE(d.kernelDriver[0]);
    rig.d2xx.CloseAtExit();
    EXPECT_TRUE(d.kernelDriver[0]);
    EXPECT_EQ(d.opens, 0);
    // Once only, and nothing for a unit that never opened.
    rig.d2xx.CloseAtExit();
    EXPECT_EQ(d.driverAttaches, 2);
    SearchRig none;
    none.d2xx.CloseAtExit();
    EXPECT_TRUE(none.panel.boxes.empty());
}

TEST_F(FtdiBackendTest, DualChannelChipCountsAsTwoDevicesAsTheVendorCountsIt) {
    StandInDevice& d = Plug("FT4X", 0x6010);
    d.bcdDevice = 0x0700; // FT2232H
    d.description = "Dual RS232-HS";
    d.firmware = VersionFirmware;

    DWORD count = 0;
    ASSERT_EQ(B().ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(ListText(0, FT_OPEN_BY_SERIAL_NUMBER), "FT4XA");
    EXPECT_EQ(ListText(1, FT_OPEN_BY_SERIAL_NUMBER), "FT4XB");
    EXPECT_EQ(ListText(1, FT_OPEN_BY_DESCRIPTION), "Dual RS232-HS B");

    // With only this chip attached the search finds no single device and
    // sends nothing.
    SearchRig rig;
    rig.Search();
    ASSERT_EQ(rig.panel.boxes.size(), 1u);
    EXPECT_EQ(rig.panel.boxes[0].text, kNotFound);
    EXPECT_TRUE(d.claimedInterfaces.empty());
    EXPECT_TRUE(d.received.empty());

    // Opened by its channel's serial, channel B is the one used.
    FT_HANDLE h = Open("FT4XB");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(d.claimedInterfaces, std::vector<int>{1});
    std::uint8_t packet[8] = {0x56, 0, 0, 0, 0, 0, 0, 0x56};
    DWORD n = 0;
    ASSERT_EQ(B().Write(h, packet, 8, &n), FT_OK);
    EXPECT_EQ(d.lastOutEndpoint, 0x04);
    ASSERT_EQ(B().SetTimeouts(h, 1000, 0), FT_OK);
    std::uint8_t reply[8] = {};
    ASSERT_EQ(B().Read(h, reply, 8, &n), FT_OK);
    EXPECT_EQ(n, 8u);
    EXPECT_EQ(d.lastInEndpoint, 0x83);
}

TEST_F(FtdiBackendTest, HighSpeedBridgesStripStatusBytesPer512BytePacket) {
    for (const std::uint16_t pid : {std::uint16_t{0x6014}, std::uint16_t{0x6010}}) {
        SCOPED_TRACE(pid);
        test::ResetBus();
        StandInDevice& d = Plug("HS1", pid);
        d.bcdDevice = pid == 0x6014 ? 0x0900 : 0x0700;
        ASSERT_EQ(d.PacketSize(), 512);
        FT_HANDLE h = Open(pid == 0x6010 ? "HS1A" : "HS1");
        ASSERT_NE(h, nullptr);
        ASSERT_EQ(B().SetTimeouts(h, 2000, 0), FT_OK);
        std::vector<std::uint8_t> sent(3 * 510 + 77);
        for (std::size_t i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<std::uint8_t>(i * 13 + 5);
        d.Reply(sent);
        std::vector<std::uint8_t> got(sent.size());
        DWORD n = 0;
        ASSERT_EQ(B().Read(h, got.data(), static_cast<DWORD>(got.size()), &n), FT_OK);
        ASSERT_EQ(n, sent.size());
        EXPECT_EQ(got, sent);
        ASSERT_EQ(B().Close(h), FT_OK);
        Forget(h);
    }
}

} // namespace
} // namespace velmar

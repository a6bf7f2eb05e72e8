// The libusb stand-in keeps libusb's own rules, so a door that breaks one
// fails its tests here instead of on a real bus: each case plays a broken
// door through plain libusb calls and reads the stand-in's fault record.

#include <gtest/gtest.h>

#include <libusb-1.0/libusb.h>

#include <string>

#include "UsbStandIn.h"

namespace velmar {
namespace {

using test::Bus;
using test::StandInDevice;

bool Recorded(const std::string& part) {
    for (const std::string& fault : Bus().faults)
        if (fault.find(part) != std::string::npos) return true;
    return false;
}

struct Completion {
    int done = 0;
    int length = -1;
    libusb_transfer_status status = LIBUSB_TRANSFER_ERROR;
};

void LIBUSB_CALL OnDone(libusb_transfer* t) {
    auto* c = static_cast<Completion*>(t->user_data);
    c->done = 1;
    c->length = t->actual_length;
    c->status = t->status;
}

class UsbStandInRules : public ::testing::Test {
  protected:
    void SetUp() override {
        test::ResetBus();
        Bus().devices.push_back(StandInDevice{});
        Bus().devices.back().latencyMs = 2;
    }
    void TearDown() override { test::ResetBus(); }

    // The first device as listed in `ctx`, opened there.
    libusb_device_handle* OpenIn(libusb_context* ctx, libusb_device** device = nullptr) {
        libusb_device** list = nullptr;
        EXPECT_EQ(libusb_get_device_list(ctx, &list), 1);
        libusb_device* dev = list[0];
        libusb_device_handle* h = nullptr;
        EXPECT_EQ(libusb_open(dev, &h), 0);
        libusb_free_device_list(list, 1);
        if (device) *device = dev;
        return h;
    }

    libusb_transfer* SubmitIn(libusb_device_handle* h, Completion& c) {
        libusb_transfer* t = libusb_alloc_transfer(0);
        libusb_fill_bulk_transfer(t, h, 0x81, buffer_, sizeof buffer_, OnDone, &c, 0);
        EXPECT_EQ(libusb_submit_transfer(t), 0);
        return t;
    }

    static void Events(libusb_context* ctx, int ms, Completion& c) {
        timeval tv{0, ms * 1000};
        libusb_handle_events_timeout_completed(ctx, &tv, &c.done);
    }

    unsigned char buffer_[512]{};
};

TEST_F(UsbStandInRules, ContextsOwnTheirDevicesHandlesAndEvents) {
    libusb_context* listing = nullptr;
    libusb_context* other = nullptr;
    ASSERT_EQ(libusb_init(&listing), 0);
    ASSERT_EQ(libusb_init(&other), 0);
    libusb_device_handle* h = OpenIn(listing);
    Bus().devices[0].Reply({1, 2, 3});

    // Events of another context never end this handle's transfer.
    Completion c;
    libusb_transfer* t = SubmitIn(h, c);
    Events(other, 20, c);
    EXPECT_EQ(c.done, 0);
    EXPECT_TRUE(Bus().faults.empty());
    Events(listing, 20, c);
    ASSERT_EQ(c.done, 1);
    EXPECT_EQ(c.length, 5); // status bytes and the three data bytes

    // Ending the context under an open handle (the listing-context fault),
    // then using the handle and the device: each is recorded.
    libusb_exit(listing);
    EXPECT_TRUE(Recorded("libusb_exit while a handle opened from its context is open"));
    libusb_fill_bulk_transfer(t, h, 0x81, buffer_, sizeof buffer_, OnDone, &c, 0);
    libusb_submit_transfer(t);
    EXPECT_TRUE(Recorded("libusb_submit_transfer on a device after its context's libusb_exit"));
    libusb_close(h);
    EXPECT_TRUE(Recorded("libusb_close on a device after its context's libusb_exit"));
    libusb_free_transfer(t);
    libusb_exit(other);
}

TEST_F(UsbStandInRules, OpenAfterExitAndHandleMisuseAreFaults) {
    libusb_context* ctx = nullptr;
    ASSERT_EQ(libusb_init(&ctx), 0);
    libusb_device** list = nullptr;
    ASSERT_EQ(libusb_get_device_list(ctx, &list), 1);
    libusb_device* dev = libusb_ref_device(list[0]);
    libusb_free_device_list(list, 1);
    libusb_device_handle* h = nullptr;
    ASSERT_EQ(libusb_open(dev, &h), 0);
    libusb_close(h);
    EXPECT_TRUE(Bus().faults.empty());

    libusb_close(h);
    EXPECT_TRUE(Recorded("libusb_close on a handle closed before"));
    libusb_claim_interface(h, 0);
    EXPECT_TRUE(Recorded("libusb_claim_interface on a handle after its libusb_close"));

    libusb_unref_device(dev);
    libusb_exit(ctx);
    libusb_device_handle* late = nullptr;
    EXPECT_NE(libusb_open(dev, &late), 0);
    EXPECT_TRUE(Recorded("libusb_open on a device after its context's libusb_exit"));
}

TEST_F(UsbStandInRules, PendingTransfersMustEndBeforeTheyAreFreedOrTheirHandleCloses) {
    libusb_context* ctx = nullptr;
    ASSERT_EQ(libusb_init(&ctx), 0);
    libusb_device_handle* h = OpenIn(ctx);
    Bus().devices[0].latencyMs = 10000; // nothing ends it on its own
    Completion c;
    libusb_transfer* t = SubmitIn(h, c);
    libusb_free_transfer(t);
    EXPECT_TRUE(Recorded("libusb_free_transfer on a pending transfer"));
    libusb_close(h);
    EXPECT_TRUE(Recorded("libusb_close while a transfer on the handle is pending"));
    libusb_exit(ctx);
    EXPECT_TRUE(Recorded("libusb_exit while a transfer of its context is pending"));
}

TEST_F(UsbStandInRules, AnIdleBridgeSendsStatusOnlyPacketsAndFullPacketsWaitForAShortOne) {
    libusb_context* ctx = nullptr;
    ASSERT_EQ(libusb_init(&ctx), 0);
    libusb_device_handle* h = OpenIn(ctx);
    StandInDevice& d = Bus().devices[0];

    // Nothing to send: each latency period ends a transfer with two bytes.
    Completion idle;
    libusb_transfer* t = SubmitIn(h, idle);
    Events(ctx, 200, idle);
    ASSERT_EQ(idle.done, 1);
    EXPECT_EQ(idle.length, 2);
    EXPECT_EQ(d.statusOnlyPackets, 1);

    // Exactly one full packet of data does not end the transfer: it is
    // ended by the status-only packet the next latency period brings.
    d.latencyMs = 30;
    d.lastPacket = std::chrono::steady_clock::now();
    d.Reply(std::vector<std::uint8_t>(62, 0x5A));
    Completion full;
    libusb_fill_bulk_transfer(t, h, 0x81, buffer_, sizeof buffer_, OnDone, &full, 0);
    ASSERT_EQ(libusb_submit_transfer(t), 0);
    Events(ctx, 5, full);
    EXPECT_EQ(full.done, 0);
    Events(ctx, 500, full);
    ASSERT_EQ(full.done, 1);
    EXPECT_EQ(full.length, 64 + 2);
    EXPECT_EQ(buffer_[64], 0x31); // the closing packet is status only
    EXPECT_EQ(d.statusOnlyPackets, 2);

    libusb_free_transfer(t);
    libusb_close(h);
    libusb_exit(ctx);
    EXPECT_TRUE(Bus().faults.empty()) << ::testing::PrintToString(Bus().faults);
}

} // namespace
} // namespace velmar

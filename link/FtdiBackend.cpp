#include "FtdiBackend.h"
#include "FtdiChannels.h"

#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "D2XXUnit.h"

namespace velmar {

namespace {

using Clock = std::chrono::steady_clock;

// The vendor's listing buffers are 64 bytes; never write more than that.
constexpr std::size_t kListTextMax = 63;
// Reset, purge and latency requests: a wedged bridge must not hang the
// program, whatever the D2XX write time-out says.
constexpr int kControlTimeoutMs = 1000;
// One bulk-in transfer: a multiple of both packet sizes (64 and 512).
constexpr int kInTransferSize = 16384;
// The longest single wait of a read without a time-out.
constexpr auto kLongestWait = std::chrono::seconds(1);

// Why the last open could not reach a bridge, in words for the user.
std::string& Problem() {
    static std::string problem;
    return problem;
}

// An open bridge. libftdi has no receive-queue query, so one bulk-in
// transfer is kept pending: whatever the bridge sends lands in `queue`, where
// the queue query counts it and the read takes it from. A poll only looks
// whether that transfer has ended, so it never waits for the latency timer.
struct Bridge {
    ftdi_context* ctx = nullptr;
    libusb_transfer* in = nullptr;
    std::vector<unsigned char> inBuffer;
    bool inFlight = false;
    int completed = 0;
    int failure = 0; // libusb error that ended the stream, reported once
    int packetSize = 64;
    std::deque<std::uint8_t> queue;
    ULONG readTimeoutMs = 0; // 0: wait until the count has arrived
    ULONG writeTimeoutMs = 0;
};

// Handles handed out and not yet closed; anything else is refused, so a
// stale handle never reaches libftdi.
std::set<Bridge*>& LiveBridges() {
    static std::set<Bridge*> live;
    return live;
}

Bridge* Lookup(FT_HANDLE handle) {
    auto* bridge = static_cast<Bridge*>(handle);
    return LiveBridges().count(bridge) ? bridge : nullptr;
}

int ErrorOfStatus(libusb_transfer_status status) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED:
    case LIBUSB_TRANSFER_TIMED_OUT:
    case LIBUSB_TRANSFER_CANCELLED:
        return 0;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return LIBUSB_ERROR_NO_DEVICE;
    case LIBUSB_TRANSFER_STALL:
        return LIBUSB_ERROR_PIPE;
    case LIBUSB_TRANSFER_OVERFLOW:
        return LIBUSB_ERROR_OVERFLOW;
    default:
        return LIBUSB_ERROR_IO;
    }
}

// Every packet starts with the bridge's two status bytes; only the last
// packet of a transfer may be short. Whatever arrived is kept, even when the
// transfer ended in a time-out or an error.
void LIBUSB_CALL OnInTransfer(libusb_transfer* t) {
    auto* bridge = static_cast<Bridge*>(t->user_data);
    bridge->inFlight = false;
    bridge->completed = 1;
    for (int at = 0; at < t->actual_length; at += bridge->packetSize) {
        const int end = std::min(at + bridge->packetSize, t->actual_length);
        if (end - at > 2)
            bridge->queue.insert(bridge->queue.end(), t->buffer + at + 2, t->buffer + end);
    }
    if (const int error = ErrorOfStatus(t->status)) bridge->failure = error;
}

bool Submit(Bridge& bridge) {
    if (bridge.inFlight) return true;
    if (bridge.failure) return false;
    bridge.completed = 0;
    libusb_fill_bulk_transfer(
        bridge.in, bridge.ctx->usb_dev, static_cast<unsigned char>(bridge.ctx->out_ep),
        bridge.inBuffer.data(), static_cast<int>(bridge.inBuffer.size()), OnInTransfer, &bridge, 0);
    const int r = libusb_submit_transfer(bridge.in);
    if (r != 0) {
        bridge.failure = r;
        return false;
    }
    bridge.inFlight = true;
    return true;
}

// Handles USB events for at most `wait` (0: only what has already happened).
void HandleEvents(Bridge& bridge, std::chrono::microseconds wait) {
    timeval tv{};
    tv.tv_sec = static_cast<long>(wait.count() / 1000000);
    tv.tv_usec = static_cast<long>(wait.count() % 1000000);
    libusb_handle_events_timeout_completed(bridge.ctx->usb_ctx, &tv, &bridge.completed);
}

// Takes what has arrived without waiting, and keeps the transfer pending.
void Poll(Bridge& bridge) {
    Submit(bridge);
    HandleEvents(bridge, std::chrono::microseconds(0));
    Submit(bridge);
}

// Ends the pending transfer; false when it would not end (then its memory
// must not be freed).
bool StopIn(Bridge& bridge) {
    if (!bridge.inFlight) return true;
    libusb_cancel_transfer(bridge.in);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kControlTimeoutMs);
    while (bridge.inFlight && Clock::now() < deadline)
        HandleEvents(bridge, std::chrono::milliseconds(100));
    return !bridge.inFlight;
}

void CopyListText(const std::string& text, void* out) {
    const std::size_t n = std::min(text.size(), kListTextMax);
    std::memcpy(out, text.data(), n);
    static_cast<char*>(out)[n] = 0;
}

FT_STATUS ListDevices(void* arg1, void* arg2, DWORD flags) {
    Scan scan;
    const int count = scan.Run();
    if (count < 0) return FT_IO_ERROR;
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return FT_INVALID_PARAMETER;
        *static_cast<DWORD*>(arg1) = static_cast<DWORD>(count);
        return FT_OK;
    }
    if (flags & FT_LIST_BY_INDEX) {
        if (!arg2) return FT_INVALID_PARAMETER;
        const auto index = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(arg1));
        if (index >= scan.Channels().size()) return FT_DEVICE_NOT_FOUND;
        const Channel& channel = scan.Channels()[index];
        if (flags & FT_OPEN_BY_SERIAL_NUMBER)
            CopyListText(ChannelText(channel, true), arg2);
        else if (flags & FT_OPEN_BY_DESCRIPTION)
            CopyListText(ChannelText(channel, false), arg2);
        else
            return FT_INVALID_PARAMETER;
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

// libftdi keeps only its own text; the libusb code is found by trying the
// steps it failed in once more: open, then claim the interface.
int DiagnoseOpen(libusb_device* dev, int interface) {
    libusb_device_handle* h = nullptr;
    int r = libusb_open(dev, &h);
    if (r != 0) return r;
    libusb_set_auto_detach_kernel_driver(h, 1);
    r = libusb_claim_interface(h, interface);
    if (r == 0) libusb_release_interface(h, interface);
    libusb_close(h);
    return r;
}

std::string ExplainOpenFailure(int usbError, const std::string& driverText) {
    std::string cause = driverText.empty() ? std::string() : "libftdi: " + driverText;
    if (usbError != 0)
        cause = std::string(libusb_error_name(usbError)) + (cause.empty() ? "" : "; " + cause);
    const std::string why = cause.empty() ? std::string() : " (" + cause + ")";
    if (usbError == LIBUSB_ERROR_ACCESS)
        return "No permission to use the programmer's USB bridge" + why +
               ": install velmar's udev rule (60-velmar.rules) or run as root, then unplug and "
               "replug the programmer.";
    if (usbError == LIBUSB_ERROR_BUSY) return BusyBridgeText(why);
    return "The programmer's USB bridge could not be opened" + why +
           ": unplug and replug the programmer.";
}

void FreeBridge(Bridge* bridge) {
    if (bridge->in) libusb_free_transfer(bridge->in);
    if (bridge->ctx) ftdi_free(bridge->ctx);
    delete bridge;
}

// Lists the bridges in the bridge's own context and opens the one wanted
// there. The listing ends here; the opened handle keeps its device.
FT_STATUS OpenChannel(Bridge& bridge, const std::string& wanted) {
    ftdi_context* ctx = bridge.ctx;
    Scan scan(ctx); // in the bridge's own context, which handles its events later
    if (scan.Run() < 0) return FT_IO_ERROR;
    const Channel* chosen = nullptr;
    for (const Channel& channel : scan.Channels())
        if (wanted.empty() || ChannelText(channel, true) == wanted) {
            chosen = &channel;
            break;
        }
    if (!chosen) return FT_DEVICE_NOT_FOUND;
    // Give the serial driver back at close: releasing the interface
    // reattaches it.
    ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    ctx->usb_read_timeout = kControlTimeoutMs;
    ctx->usb_write_timeout = kControlTimeoutMs;
    const auto channelInterface = static_cast<ftdi_interface>(INTERFACE_A + chosen->interface);
    if (ftdi_set_interface(ctx, channelInterface) != 0 ||
        ftdi_usb_open_dev(ctx, chosen->dev) != 0) {
        const std::string text = ftdi_get_error_string(ctx);
        Problem() = ExplainOpenFailure(DiagnoseOpen(chosen->dev, chosen->interface), text);
        return FT_DEVICE_NOT_OPENED;
    }
    bridge.packetSize = ctx->max_packet_size > 2 ? static_cast<int>(ctx->max_packet_size) : 64;
    return FT_OK;
}

// An empty serial opens the first channel found (the search counted exactly
// one). The context made here lives as long as the bridge.
FT_STATUS OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {
    Problem().clear();
    if (!handle || !(flags & FT_OPEN_BY_SERIAL_NUMBER)) return FT_INVALID_PARAMETER;
    const std::string wanted = arg1 ? static_cast<const char*>(arg1) : "";
    auto* bridge = new Bridge;
    bridge->ctx = ftdi_new();
    bridge->in = libusb_alloc_transfer(0);
    if (!bridge->ctx || !bridge->in) {
        FreeBridge(bridge);
        return FT_INSUFFICIENT_RESOURCES;
    }
    if (const FT_STATUS status = OpenChannel(*bridge, wanted); status != FT_OK) {
        FreeBridge(bridge);
        return status;
    }
    bridge->inBuffer.resize(kInTransferSize);
    LiveBridges().insert(bridge);
    *handle = bridge;
    return FT_OK;
}

FT_STATUS Close(FT_HANDLE handle) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    LiveBridges().erase(bridge);
    if (!StopIn(*bridge)) {
        // A transfer that never ended still belongs to libusb, and so do its
        // handle and context: ending them under it would be worse than
        // leaving them.
        return FT_IO_ERROR;
    }
    // Closing a handle alone gives nothing back to the kernel driver.
    libusb_release_interface(bridge->ctx->usb_dev, bridge->ctx->interface);
    ftdi_usb_close(bridge->ctx);
    FreeBridge(bridge);
    return FT_OK;
}

FT_STATUS ResetDevice(FT_HANDLE handle) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    StopIn(*bridge);
    const bool reset = ftdi_usb_reset(bridge->ctx) == 0 && ftdi_tcioflush(bridge->ctx) == 0;
    bridge->queue.clear();
    bridge->failure = 0;
    return reset ? FT_OK : FT_IO_ERROR;
}

FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    bridge->readTimeoutMs = readMs;
    bridge->writeTimeoutMs = writeMs;
    return FT_OK;
}

// An error ends the stream once; the bytes that came before it stay queued.
FT_STATUS TakeFailure(Bridge& bridge) {
    bridge.failure = 0;
    return FT_IO_ERROR;
}

FT_STATUS GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    if (!rxBytes) return FT_INVALID_PARAMETER;
    Poll(*bridge);
    if (bridge->queue.empty() && bridge->failure) return TakeFailure(*bridge);
    *rxBytes = static_cast<DWORD>(bridge->queue.size());
    return FT_OK;
}

// Bulk writes keep the D2XX write time-out, 0 meaning no limit. A time-out
// reports the bytes that went out, as the vendor's driver does.
FT_STATUS Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) {
    if (written) *written = 0;
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    if (!buffer || !written) return FT_INVALID_PARAMETER;
    if (count == 0) return FT_OK;
    int sent = 0;
    const int r = libusb_bulk_transfer(
        bridge->ctx->usb_dev, static_cast<unsigned char>(bridge->ctx->in_ep),
        static_cast<unsigned char*>(buffer), static_cast<int>(std::min<DWORD>(count, 0x7FFFFFFF)),
        &sent, bridge->writeTimeoutMs);
    *written = static_cast<DWORD>(std::max(sent, 0));
    return r == 0 || r == LIBUSB_ERROR_TIMEOUT ? FT_OK : FT_IO_ERROR;
}

// Returns once `count` bytes have been handed over or the read time-out has
// passed; bytes beyond `count` stay queued for the next read.
FT_STATUS Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
    if (read) *read = 0;
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    if (!buffer || !read) return FT_INVALID_PARAMETER;
    auto* out = static_cast<std::uint8_t*>(buffer);
    const bool limited = bridge->readTimeoutMs > 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(bridge->readTimeoutMs);
    DWORD got = 0;
    for (;;) {
        const DWORD take = std::min<DWORD>(count - got, static_cast<DWORD>(bridge->queue.size()));
        std::copy_n(bridge->queue.begin(), take, out + got);
        bridge->queue.erase(bridge->queue.begin(), bridge->queue.begin() + take);
        got += take;
        *read = got;
        if (got >= count) return FT_OK;
        if (bridge->failure) return TakeFailure(*bridge);
        const Clock::time_point now = Clock::now();
        if (limited && now >= deadline) return FT_OK;
        if (!Submit(*bridge)) continue;
        auto wait = std::chrono::duration_cast<std::chrono::microseconds>(kLongestWait);
        if (limited)
            wait = std::min(wait,
                            std::chrono::duration_cast<std::chrono::microseconds>(deadline - now));
        HandleEvents(*bridge, wait);
    }
}

FT_STATUS SetLatencyTimer(FT_HANDLE handle, UCHAR milliseconds) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    if (milliseconds == 0) return FT_INVALID_PARAMETER;
    if (ftdi_set_latency_timer(bridge->ctx, milliseconds) != 0) return FT_IO_ERROR;
    return FT_OK;
}

} // namespace

const D2XXBackend& FtdiBackend() {
    static const D2XXBackend table{"libftdi1",  ListDevices,    OpenEx, Close, ResetDevice,
                                   SetTimeouts, GetQueueStatus, Write,  Read,  SetLatencyTimer};
    return table;
}

std::string BridgeProblem() {
    return Problem();
}

} // namespace velmar

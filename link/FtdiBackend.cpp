#include "FtdiBackend.h"

#include <libftdi1/ftdi.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <set>
#include <string>

namespace velmar {

namespace {

using Clock = std::chrono::steady_clock;

// The vendor's listing buffers are 64 bytes; never write more than that.
constexpr std::size_t kListTextMax = 63;
// libftdi reads in chunks of this size; one drain takes what one chunk holds.
constexpr int kDrainChunk = 4096;

// An open bridge. libftdi has no receive-queue query, so every byte the bridge
// has sent is moved into `queue`, where the queue query counts it and the
// read takes it from.
struct Bridge {
    ftdi_context* ctx = nullptr;
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

// A libftdi context used only for one listing or open attempt.
struct Context {
    ftdi_context* ctx = ftdi_new();
    ftdi_device_list* list = nullptr;
    ~Context() {
        if (list) ftdi_list_free(&list);
        if (ctx) ftdi_free(ctx);
    }
    // Every attached bridge with the usual FTDI ids, one per USB device.
    int FindAll() {
        if (!ctx) return -1;
        return ftdi_usb_find_all(ctx, &list, 0, 0);
    }
    libusb_device* At(DWORD index) const {
        ftdi_device_list* node = list;
        for (DWORD i = 0; node && i < index; ++i)
            node = node->next;
        return node ? node->dev : nullptr;
    }
};

bool ReadStrings(Context& c, libusb_device* dev, std::string* description, std::string* serial) {
    char desc[128] = {};
    char ser[128] = {};
    if (ftdi_usb_get_strings(c.ctx, dev, nullptr, 0, desc, sizeof desc, ser, sizeof ser) != 0)
        return false;
    if (description) *description = desc;
    if (serial) *serial = ser;
    return true;
}

void CopyListText(const std::string& text, void* out) {
    const std::size_t n = std::min(text.size(), kListTextMax);
    std::memcpy(out, text.data(), n);
    static_cast<char*>(out)[n] = 0;
}

FT_STATUS ListDevices(void* arg1, void* arg2, DWORD flags) {
    Context c;
    const int count = c.FindAll();
    if (count < 0) return FT_IO_ERROR;
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return FT_INVALID_PARAMETER;
        *static_cast<DWORD*>(arg1) = static_cast<DWORD>(count);
        return FT_OK;
    }
    if (flags & FT_LIST_BY_INDEX) {
        if (!arg2) return FT_INVALID_PARAMETER;
        const auto index = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(arg1));
        libusb_device* dev = c.At(index);
        if (!dev) return FT_DEVICE_NOT_FOUND;
        std::string description, serial;
        if (!ReadStrings(c, dev, &description, &serial)) return FT_DEVICE_NOT_OPENED;
        if (flags & FT_OPEN_BY_SERIAL_NUMBER)
            CopyListText(serial, arg2);
        else if (flags & FT_OPEN_BY_DESCRIPTION)
            CopyListText(description, arg2);
        else
            return FT_INVALID_PARAMETER;
        return FT_OK;
    }
    return FT_INVALID_PARAMETER;
}

// An empty serial opens the first bridge found (the search counted exactly one).
FT_STATUS OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {
    if (!handle || !(flags & FT_OPEN_BY_SERIAL_NUMBER)) return FT_INVALID_PARAMETER;
    const std::string wanted = arg1 ? static_cast<const char*>(arg1) : "";
    Context c;
    const int count = c.FindAll();
    if (count < 0) return FT_IO_ERROR;
    libusb_device* chosen = nullptr;
    for (int i = 0; i < count && !chosen; ++i) {
        libusb_device* dev = c.At(static_cast<DWORD>(i));
        if (wanted.empty()) {
            chosen = dev;
            break;
        }
        std::string serial;
        if (ReadStrings(c, dev, nullptr, &serial) && serial == wanted) chosen = dev;
    }
    if (!chosen) return FT_DEVICE_NOT_FOUND;

    auto* bridge = new Bridge;
    bridge->ctx = ftdi_new();
    if (!bridge->ctx || ftdi_usb_open_dev(bridge->ctx, chosen) != 0) {
        if (bridge->ctx) ftdi_free(bridge->ctx);
        delete bridge;
        return FT_DEVICE_NOT_OPENED;
    }
    LiveBridges().insert(bridge);
    *handle = bridge;
    return FT_OK;
}

FT_STATUS Close(FT_HANDLE handle) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    LiveBridges().erase(bridge);
    ftdi_usb_close(bridge->ctx);
    ftdi_free(bridge->ctx);
    delete bridge;
    return FT_OK;
}

FT_STATUS ResetDevice(FT_HANDLE handle) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    const bool reset = ftdi_usb_reset(bridge->ctx) == 0 && ftdi_tcioflush(bridge->ctx) == 0;
    bridge->queue.clear();
    return reset ? FT_OK : FT_IO_ERROR;
}

FT_STATUS SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    bridge->readTimeoutMs = readMs;
    bridge->writeTimeoutMs = writeMs;
    // libusb takes 0 as "no limit", as the vendor does for writes.
    bridge->ctx->usb_write_timeout = static_cast<int>(std::min<ULONG>(writeMs, 0x7FFFFFFF));
    return FT_OK;
}

// Moves what the bridge has sent into the host queue. One call returns once
// the bridge answers with no data (after at most its latency time).
bool Drain(Bridge& bridge) {
    std::uint8_t chunk[kDrainChunk];
    const int got = ftdi_read_data(bridge.ctx, chunk, sizeof chunk);
    if (got < 0) return false;
    bridge.queue.insert(bridge.queue.end(), chunk, chunk + got);
    return true;
}

FT_STATUS GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    if (!rxBytes) return FT_INVALID_PARAMETER;
    if (!Drain(*bridge)) return FT_IO_ERROR;
    *rxBytes = static_cast<DWORD>(bridge->queue.size());
    return FT_OK;
}

FT_STATUS Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) {
    if (written) *written = 0;
    Bridge* bridge = Lookup(handle);
    if (!bridge) return FT_INVALID_HANDLE;
    if (!buffer || !written) return FT_INVALID_PARAMETER;
    if (count == 0) return FT_OK;
    const int sent = ftdi_write_data(bridge->ctx, static_cast<const unsigned char*>(buffer),
                                     static_cast<int>(std::min<DWORD>(count, 0x7FFFFFFF)));
    if (sent < 0) return FT_IO_ERROR;
    *written = static_cast<DWORD>(sent);
    return FT_OK;
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
        if (limited && Clock::now() >= deadline) return FT_OK;
        if (!Drain(*bridge)) return FT_IO_ERROR;
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

} // namespace velmar

#include "UsbStandIn.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <list>
#include <thread>

// The opaque libusb types, as this stand-in sees them.
struct libusb_context {
    int unused = 0;
};
struct libusb_device {
    std::size_t index = 0; // into Bus().devices
    int refs = 0;
};
struct libusb_device_handle {
    libusb_device* device = nullptr;
    unsigned claimed = 0;  // interface bits claimed through this handle
    unsigned detached = 0; // interface bits whose driver this handle detached
    bool autoDetach = false;
};

namespace velmar::test {

namespace {
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kStatus0 = 0x31; // modem status
constexpr std::uint8_t kStatus1 = 0x60; // line status: transmitter empty
constexpr int kMaxChannels = 4;

std::deque<libusb_device>& DeviceObjects() {
    static std::deque<libusb_device> objects;
    return objects;
}

StandInDevice* DeviceOf(libusb_device* dev) {
    if (!dev || dev->index >= Bus().devices.size()) return nullptr;
    return &Bus().devices[dev->index];
}

StandInDevice* DeviceOf(libusb_device_handle* handle) {
    return handle ? DeviceOf(handle->device) : nullptr;
}

// One config; per interface a bulk-in and a bulk-out endpoint.
struct ConfigHolder {
    libusb_config_descriptor config{};
    libusb_interface interfaces[kMaxChannels]{};
    libusb_interface_descriptor altsettings[kMaxChannels]{};
    libusb_endpoint_descriptor endpoints[kMaxChannels][2]{};
};

struct InFlight {
    libusb_transfer* transfer;
    Clock::time_point submitted;
    bool cancelled = false;
};

std::list<InFlight>& Transfers() {
    static std::list<InFlight> transfers;
    return transfers;
}

std::size_t ReadyCount(const StandInDevice& d, Clock::time_point now) {
    std::size_t n = 0;
    for (const auto& p : d.pending) {
        if (p.due > now) break;
        ++n;
    }
    return n;
}

// The chip answers an IN request when a full packet is waiting or its
// latency timer has expired (with whatever it holds, perhaps nothing but the
// status bytes). Returns false when it would still answer with NAK. `error`
// is set when a scripted fault ends the transfer.
bool SendIn(StandInDevice& d, unsigned char* data, int length, int& out, int& error) {
    const auto now = Clock::now();
    const int payload = d.PacketSize() - 2;
    out = 0;
    error = 0;
    std::size_t allowed = ReadyCount(d, now);
    if (d.inFault) {
        allowed = std::min<std::size_t>(allowed, static_cast<std::size_t>(d.inFault->afterBytes));
        error = d.inFault->error;
        d.inFault.reset();
    } else {
        const bool fullPacket = allowed >= static_cast<std::size_t>(payload);
        const bool expired = now >= d.lastPacket + std::chrono::milliseconds(d.latencyMs);
        if (!fullPacket && !expired) return false;
    }
    while (out + 2 <= length) {
        data[out++] = kStatus0;
        data[out++] = kStatus1;
        int inPacket = 0;
        while (inPacket < payload && out < length && allowed > 0) {
            data[out++] = d.pending.front().byte;
            d.pending.pop_front();
            --allowed;
            ++inPacket;
        }
        // A short packet ends the transfer.
        if (inPacket < payload || allowed == 0) break;
    }
    if (out == 2) d.statusOnlyPackets++;
    d.lastPacket = now;
    return true;
}

// When the chip may next answer an IN request.
Clock::time_point NextAnswer(const StandInDevice& d) {
    auto next = d.lastPacket + std::chrono::milliseconds(d.latencyMs);
    for (const auto& p : d.pending)
        if (p.due > Clock::now()) {
            next = std::min(next, p.due);
            break;
        }
    return next;
}

libusb_transfer_status TransferStatus(int error) {
    switch (error) {
    case 0:
        return LIBUSB_TRANSFER_COMPLETED;
    case LIBUSB_ERROR_TIMEOUT:
        return LIBUSB_TRANSFER_TIMED_OUT;
    case LIBUSB_ERROR_NO_DEVICE:
        return LIBUSB_TRANSFER_NO_DEVICE;
    case LIBUSB_ERROR_PIPE:
        return LIBUSB_TRANSFER_STALL;
    case LIBUSB_ERROR_OVERFLOW:
        return LIBUSB_TRANSFER_OVERFLOW;
    default:
        return LIBUSB_TRANSFER_ERROR;
    }
}

// Ends every transfer that can end now; true when one did.
bool CompleteTransfers() {
    std::vector<libusb_transfer*> done;
    for (auto it = Transfers().begin(); it != Transfers().end();) {
        libusb_transfer* t = it->transfer;
        StandInDevice* d = DeviceOf(t->dev_handle);
        bool finished = true;
        if (it->cancelled) {
            t->status = LIBUSB_TRANSFER_CANCELLED;
            t->actual_length = 0;
        } else if (!d || d->unplugged) {
            t->status = LIBUSB_TRANSFER_NO_DEVICE;
            t->actual_length = 0;
        } else {
            int out = 0, error = 0;
            if (SendIn(*d, t->buffer, t->length, out, error)) {
                t->status = TransferStatus(error);
                t->actual_length = out;
            } else if (t->timeout > 0 &&
                       Clock::now() >= it->submitted + std::chrono::milliseconds(t->timeout)) {
                t->status = LIBUSB_TRANSFER_TIMED_OUT;
                t->actual_length = 0;
            } else {
                finished = false;
            }
        }
        if (finished) {
            done.push_back(t);
            it = Transfers().erase(it);
        } else {
            ++it;
        }
    }
    for (libusb_transfer* t : done)
        t->callback(t);
    return !done.empty();
}
} // namespace

void StandInDevice::Reply(const std::vector<std::uint8_t>& bytes, int delayMs) {
    const auto due = Clock::now() + std::chrono::milliseconds(delayMs);
    for (std::uint8_t b : bytes)
        pending.push_back({due, b});
}

int StandInDevice::PacketSize() const {
    return bcdDevice == 0x0700 || bcdDevice == 0x0800 || bcdDevice == 0x0900 ? 512 : 64;
}

int StandInDevice::Channels() const {
    if (vendorId != 0x0403) return 1;
    if (productId == 0x6010) return 2;
    if (productId == 0x6011) return 4;
    return 1;
}

StandInBus& Bus() {
    static StandInBus bus;
    return bus;
}

void ResetBus() {
    Bus() = StandInBus();
    DeviceObjects().clear();
    Transfers().clear();
}

} // namespace velmar::test

using velmar::test::Bus;
using velmar::test::ConfigHolder;
using velmar::test::DeviceObjects;
using velmar::test::DeviceOf;
using velmar::test::StandInDevice;

extern "C" {

int libusb_init(libusb_context** ctx) {
    if (ctx) *ctx = new libusb_context;
    ++Bus().liveContexts;
    return 0;
}

void libusb_exit(libusb_context* ctx) {
    delete ctx;
    --Bus().liveContexts;
}

const char* libusb_error_name(int code) {
    switch (code) {
    case LIBUSB_SUCCESS:
        return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    default:
        return "LIBUSB_ERROR_OTHER";
    }
}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
    auto& objects = DeviceObjects();
    while (objects.size() < Bus().devices.size())
        objects.push_back({objects.size(), 0});
    std::size_t plugged = 0;
    for (const auto& d : Bus().devices)
        if (!d.unplugged) ++plugged;
    auto** out = new libusb_device*[plugged + 1];
    std::size_t n = 0;
    for (std::size_t i = 0; i < Bus().devices.size(); ++i) {
        if (Bus().devices[i].unplugged) continue;
        objects[i].refs++;
        ++Bus().liveDeviceRefs;
        out[n++] = &objects[i];
    }
    out[n] = nullptr;
    *list = out;
    return static_cast<ssize_t>(n);
}

void libusb_free_device_list(libusb_device** list, int unref) {
    if (!list) return;
    if (unref)
        for (libusb_device** p = list; *p; ++p) {
            (*p)->refs--;
            --Bus().liveDeviceRefs;
        }
    delete[] list;
}

libusb_device* libusb_ref_device(libusb_device* dev) {
    dev->refs++;
    ++Bus().liveDeviceRefs;
    return dev;
}

void libusb_unref_device(libusb_device* dev) {
    dev->refs--;
    --Bus().liveDeviceRefs;
}

int libusb_get_device_descriptor(libusb_device* dev, libusb_device_descriptor* desc) {
    StandInDevice* d = DeviceOf(dev);
    if (!d) return LIBUSB_ERROR_NO_DEVICE;
    std::memset(desc, 0, sizeof *desc);
    desc->bLength = LIBUSB_DT_DEVICE_SIZE;
    desc->bDescriptorType = LIBUSB_DT_DEVICE;
    desc->bcdUSB = 0x0200;
    desc->bMaxPacketSize0 = 8;
    desc->idVendor = d->vendorId;
    desc->idProduct = d->productId;
    desc->bcdDevice = d->bcdDevice;
    desc->iManufacturer = 1;
    desc->iProduct = 2;
    desc->iSerialNumber = d->serialIndex;
    desc->bNumConfigurations = 1;
    return 0;
}

int libusb_get_config_descriptor(libusb_device* dev, uint8_t index,
                                 libusb_config_descriptor** config) {
    StandInDevice* d = DeviceOf(dev);
    if (!d || index != 0) return LIBUSB_ERROR_NOT_FOUND;
    auto* h = new ConfigHolder;
    const int channels = d->Channels();
    const auto packet = static_cast<std::uint16_t>(d->PacketSize());
    for (int i = 0; i < channels; ++i) {
        auto* ep = h->endpoints[i];
        ep[0].bEndpointAddress = static_cast<std::uint8_t>(0x81 + 2 * i);
        ep[0].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        ep[0].wMaxPacketSize = packet;
        ep[1].bEndpointAddress = static_cast<std::uint8_t>(0x02 + 2 * i);
        ep[1].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        ep[1].wMaxPacketSize = packet;
        h->altsettings[i].bInterfaceNumber = static_cast<std::uint8_t>(i);
        h->altsettings[i].bNumEndpoints = 2;
        h->altsettings[i].bInterfaceClass = 0xFF;
        h->altsettings[i].endpoint = ep;
        h->interfaces[i].altsetting = &h->altsettings[i];
        h->interfaces[i].num_altsetting = 1;
    }
    h->config.bNumInterfaces = static_cast<std::uint8_t>(channels);
    h->config.bConfigurationValue = 1;
    h->config.interface = h->interfaces;
    *config = &h->config;
    ++Bus().liveConfigDescriptors;
    return 0;
}

void libusb_free_config_descriptor(libusb_config_descriptor* config) {
    if (!config) return;
    // `config` is the first member of its holder.
    delete reinterpret_cast<ConfigHolder*>(config);
    --Bus().liveConfigDescriptors;
}

uint8_t libusb_get_bus_number(libusb_device*) {
    return 1;
}
uint8_t libusb_get_device_address(libusb_device* dev) {
    return static_cast<uint8_t>(dev->index + 2);
}

int libusb_open(libusb_device* dev, libusb_device_handle** handle) {
    StandInDevice* d = DeviceOf(dev);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (d->accessDenied) return LIBUSB_ERROR_ACCESS;
    *handle = new libusb_device_handle{dev};
    d->opens++;
    ++Bus().liveHandles;
    return 0;
}

// Closing drops the claims, but gives no interface back to its kernel driver.
void libusb_close(libusb_device_handle* handle) {
    if (!handle) return;
    if (StandInDevice* d = DeviceOf(handle)) {
        d->opens--;
        for (int i = 0; i < velmar::test::kMaxChannels; ++i)
            if (handle->claimed & (1u << i)) d->claimed[i] = false;
    }
    delete handle;
    --Bus().liveHandles;
}

int libusb_get_configuration(libusb_device_handle*, int* config) {
    *config = 1;
    return 0;
}
int libusb_set_configuration(libusb_device_handle*, int) {
    return 0;
}

int libusb_claim_interface(libusb_device_handle* handle, int interface) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (interface < 0 || interface >= d->Channels()) return LIBUSB_ERROR_NOT_FOUND;
    const unsigned bit = 1u << interface;
    if (handle->claimed & bit) return 0;
    if (d->claimedElsewhere || d->claimed[interface]) return LIBUSB_ERROR_BUSY;
    if (d->kernelDriver[interface]) {
        if (!handle->autoDetach) return LIBUSB_ERROR_BUSY;
        d->kernelDriver[interface] = false;
        d->driverDetaches++;
        handle->detached |= bit;
    }
    d->claimed[interface] = true;
    handle->claimed |= bit;
    d->claimedInterfaces.push_back(interface);
    return 0;
}

// With automatic detach on, releasing gives the interface back to the
// driver that was detached for the claim.
int libusb_release_interface(libusb_device_handle* handle, int interface) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || interface < 0 || interface >= d->Channels()) return LIBUSB_ERROR_NOT_FOUND;
    const unsigned bit = 1u << interface;
    if (!(handle->claimed & bit)) return LIBUSB_ERROR_NOT_FOUND;
    handle->claimed &= ~bit;
    d->claimed[interface] = false;
    if (handle->autoDetach && (handle->detached & bit)) {
        handle->detached &= ~bit;
        d->kernelDriver[interface] = true;
        d->driverAttaches++;
    }
    return 0;
}

int libusb_kernel_driver_active(libusb_device_handle* handle, int interface) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || interface < 0 || interface >= d->Channels()) return LIBUSB_ERROR_NOT_FOUND;
    return d->kernelDriver[interface] ? 1 : 0;
}

int libusb_detach_kernel_driver(libusb_device_handle* handle, int interface) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || interface < 0 || interface >= d->Channels() || !d->kernelDriver[interface])
        return LIBUSB_ERROR_NOT_FOUND;
    d->kernelDriver[interface] = false;
    d->driverDetaches++;
    return 0;
}

int libusb_attach_kernel_driver(libusb_device_handle* handle, int interface) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || interface < 0 || interface >= d->Channels()) return LIBUSB_ERROR_NOT_FOUND;
    if (d->kernelDriver[interface] || d->claimed[interface]) return LIBUSB_ERROR_BUSY;
    d->kernelDriver[interface] = true;
    d->driverAttaches++;
    return 0;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    handle->autoDetach = enable != 0;
    return 0;
}

int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                            uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                            unsigned int timeout) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    d->controls.push_back({requestType, request, value, index, timeout});
    if (d->controlsWedged) {
        // A real caller without a limit would hang here for ever.
        if (timeout == 0) d->unlimitedControls++;
        return LIBUSB_ERROR_TIMEOUT;
    }
    if (request == 0x00 && (value == 0 || value == 2)) d->pending.clear(); // reset / purge to host
    if (request == 0x09) d->latencyMs = value & 0xFF;
    if (requestType & LIBUSB_ENDPOINT_IN) {
        if (request == 0x0A && length >= 1) {
            data[0] = static_cast<unsigned char>(d->latencyMs);
            return 1;
        }
        std::memset(data, 0, length);
        return length;
    }
    return 0;
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout) {
    *transferred = 0;
    StandInDevice* d = DeviceOf(handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (!(endpoint & LIBUSB_ENDPOINT_IN)) {
        d->lastOutEndpoint = endpoint;
        d->received.insert(d->received.end(), data, data + length);
        d->writeTimeouts.push_back(timeout);
        *transferred = length;
        if (d->firmware) d->firmware(*d, data, length);
        return 0;
    }
    d->bulkInCalls++;
    d->lastInEndpoint = endpoint;
    const auto deadline = velmar::test::Clock::now() + std::chrono::milliseconds(timeout);
    for (;;) {
        int out = 0, error = 0;
        if (velmar::test::SendIn(*d, data, length, out, error)) {
            *transferred = out;
            return error;
        }
        if (timeout > 0 && velmar::test::Clock::now() >= deadline) return LIBUSB_ERROR_TIMEOUT;
        auto until = velmar::test::NextAnswer(*d);
        if (timeout > 0) until = std::min(until, deadline);
        std::this_thread::sleep_until(until);
    }
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                       unsigned char* data, int length) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    d->stringReads.push_back(index);
    // libusb refuses index 0: it is the language table, not a string.
    if (index == 0 || length <= 0) return LIBUSB_ERROR_INVALID_PARAM;
    std::string text = index == 1   ? "FTDI"
                       : index == 2 ? d->description
                       : index == 3 ? d->serial
                                    : "";
    const int n = std::min<int>(static_cast<int>(text.size()), length - 1);
    std::memcpy(data, text.data(), static_cast<std::size_t>(n));
    data[n] = 0;
    return n;
}

// --- asynchronous bulk-in -------------------------------------------------

libusb_transfer* libusb_alloc_transfer(int isoPackets) {
    const std::size_t size = sizeof(libusb_transfer) + sizeof(libusb_iso_packet_descriptor) *
                                                           static_cast<std::size_t>(isoPackets);
    auto* t = static_cast<libusb_transfer*>(std::calloc(1, size));
    ++Bus().liveTransfers;
    return t;
}

void libusb_free_transfer(libusb_transfer* t) {
    if (!t) return;
    std::free(t);
    --Bus().liveTransfers;
}

int libusb_submit_transfer(libusb_transfer* t) {
    StandInDevice* d = DeviceOf(t->dev_handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (!(t->endpoint & LIBUSB_ENDPOINT_IN) || t->type != LIBUSB_TRANSFER_TYPE_BULK)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    for (const auto& f : velmar::test::Transfers())
        if (f.transfer == t) return LIBUSB_ERROR_BUSY;
    d->inSubmits++;
    d->lastInEndpoint = t->endpoint;
    velmar::test::Transfers().push_back({t, velmar::test::Clock::now()});
    return 0;
}

int libusb_cancel_transfer(libusb_transfer* t) {
    for (auto& f : velmar::test::Transfers())
        if (f.transfer == t) {
            if (f.cancelled) return LIBUSB_ERROR_NOT_FOUND;
            f.cancelled = true;
            return 0;
        }
    return LIBUSB_ERROR_NOT_FOUND;
}

int libusb_handle_events_timeout_completed(libusb_context*, struct timeval* tv, int* completed) {
    using velmar::test::Clock;
    const auto limit =
        tv ? std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec)
           : std::chrono::microseconds(0);
    const auto deadline = Clock::now() + limit;
    bool waited = false;
    for (;;) {
        if (velmar::test::CompleteTransfers()) return 0;
        if (completed && *completed) return 0;
        const auto now = Clock::now();
        if (now >= deadline) return 0;
        auto until = deadline;
        for (const auto& f : velmar::test::Transfers())
            if (StandInDevice* d = DeviceOf(f.transfer->dev_handle))
                until = std::min(until, velmar::test::NextAnswer(*d));
        if (!waited) {
            ++Bus().blockingWaits;
            waited = true;
        }
        std::this_thread::sleep_until(std::max(until, now + std::chrono::microseconds(50)));
    }
}

int libusb_handle_events_timeout(libusb_context* ctx, struct timeval* tv) {
    return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

} // extern "C"

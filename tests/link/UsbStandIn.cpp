#include "UsbStandIn.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <list>
#include <thread>

// The opaque libusb types, as this stand-in sees them. None is ever freed
// before the bus is reset, so a use after libusb would have freed it is
// recorded as a fault instead of reading freed memory.
struct libusb_context {
    bool alive = true;
};
struct libusb_device {
    libusb_context* ctx = nullptr; // a device object belongs to the context that listed it
    std::size_t index = 0;         // into Bus().devices
    int refs = 0;
};
struct libusb_device_handle {
    libusb_device* device = nullptr;
    bool open = true;
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

std::deque<libusb_context>& Contexts() {
    static std::deque<libusb_context> contexts;
    return contexts;
}

// The default context (a null libusb_context*), once libusb_init(NULL) made it.
libusb_context*& DefaultContext() {
    static libusb_context* context = nullptr;
    return context;
}

std::deque<libusb_device>& DeviceObjects() {
    static std::deque<libusb_device> objects;
    return objects;
}

std::deque<libusb_device_handle>& Handles() {
    static std::deque<libusb_device_handle> handles;
    return handles;
}

void Fault(const std::string& what) {
    Bus().faults.push_back(what);
}

// The context a call names; a null pointer is the default context.
libusb_context* ContextOf(libusb_context* ctx, const char* call) {
    if (!ctx) ctx = DefaultContext();
    if (!ctx) {
        Fault(std::string(call) + " on the default context, which libusb_init(NULL) never made");
        return nullptr;
    }
    if (!ctx->alive) Fault(std::string(call) + " on a context after its libusb_exit");
    return ctx;
}

// A device object that libusb would have freed is a fault to touch.
bool Usable(libusb_device* dev, const char* call) {
    if (!dev) {
        Fault(std::string(call) + " with no device");
        return false;
    }
    if (!dev->ctx->alive) {
        Fault(std::string(call) + " on a device after its context's libusb_exit");
        return false;
    }
    return true;
}

bool Usable(libusb_device_handle* handle, const char* call) {
    if (!handle) {
        Fault(std::string(call) + " with no handle");
        return false;
    }
    if (!handle->open) {
        Fault(std::string(call) + " on a handle after its libusb_close");
        return false;
    }
    return Usable(handle->device, call);
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

// A submitted bulk-in transfer: the packets the bridge has put into it so
// far. It ends with a short packet, a full buffer, a cancel or its time-out.
struct InFlight {
    libusb_transfer* transfer;
    Clock::time_point submitted;
    bool cancelled = false;
    int filled = 0;
};

std::list<InFlight>& Transfers() {
    static std::list<InFlight> transfers;
    return transfers;
}

// Every transfer allocated since the bus was reset; freed ones stay listed
// (and allocated) so that a second free or a late use is seen.
struct TransferRecord {
    libusb_transfer* transfer;
    bool freed = false;
};
// Never destroyed: a process may end with transfers freed but kept here.
std::vector<TransferRecord>& TransferRecords() {
    static auto* records = new std::vector<TransferRecord>;
    return *records;
}

TransferRecord* RecordOf(libusb_transfer* t) {
    for (TransferRecord& r : TransferRecords())
        if (r.transfer == t) return &r;
    return nullptr;
}

bool Pending(libusb_transfer* t) {
    for (const InFlight& f : Transfers())
        if (f.transfer == t) return true;
    return false;
}

std::size_t ReadyCount(const StandInDevice& d, Clock::time_point now) {
    std::size_t n = 0;
    for (const auto& p : d.pending) {
        if (p.due > now) break;
        ++n;
    }
    return n;
}

// The bridge answers IN requests with a packet when it holds a full packet's
// payload or its latency timer has expired (then with whatever it holds,
// perhaps nothing but the two status bytes); otherwise it NAKs. A short
// packet or a full buffer ends the transfer; full packets do not, so data
// that ends on a packet boundary waits in the transfer for the next
// status-only packet. `filled` carries the bytes already in the transfer.
// Returns true when the transfer has ended; `error` is set when a scripted
// fault ends it.
bool SendIn(StandInDevice& d, unsigned char* data, int length, int& filled, int& error) {
    if (d.pump) d.pump(d);
    const auto now = Clock::now();
    const int packet = d.PacketSize();
    const int payload = packet - 2;
    error = 0;
    std::size_t ready = ReadyCount(d, now);
    const bool faulted = d.inFault.has_value();
    if (faulted) {
        ready = std::min<std::size_t>(ready, static_cast<std::size_t>(d.inFault->afterBytes));
        error = d.inFault->error;
        d.inFault.reset();
    }
    for (;;) {
        if (filled + 2 > length) return true;
        const bool full = ready >= static_cast<std::size_t>(payload) && filled + packet <= length;
        const bool expired = now >= d.lastPacket + std::chrono::milliseconds(d.latencyMs);
        if (!faulted && !full && !expired) return false;
        data[filled++] = kStatus0;
        data[filled++] = kStatus1;
        int inPacket = 0;
        while (inPacket < payload && filled < length && ready > 0) {
            data[filled++] = d.pending.front().byte;
            d.pending.pop_front();
            --ready;
            ++inPacket;
        }
        d.lastPacket = now;
        if (inPacket == 0) d.statusOnlyPackets++;
        if (inPacket < payload || filled == length) return true;
        if (faulted && ready == 0) return true;
    }
}

// When the bridge may next answer an IN request.
Clock::time_point NextAnswer(StandInDevice& d) {
    if (d.pump) d.pump(d);
    auto next = d.lastPacket + std::chrono::milliseconds(d.latencyMs);
    for (const auto& p : d.pending)
        if (p.due > Clock::now()) {
            next = std::min(next, p.due);
            break;
        }
    if (d.nextEvent) next = std::min(next, d.nextEvent());
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

libusb_context* ContextOfTransfer(const libusb_transfer* t) {
    return t->dev_handle && t->dev_handle->device ? t->dev_handle->device->ctx : nullptr;
}

// Ends every transfer of `ctx` that can end now, as libusb does while that
// context handles events (and only then); true when one did.
bool CompleteTransfers(libusb_context* ctx) {
    std::vector<libusb_transfer*> done;
    for (auto it = Transfers().begin(); it != Transfers().end();) {
        libusb_transfer* t = it->transfer;
        if (ContextOfTransfer(t) != ctx) {
            ++it;
            continue;
        }
        StandInDevice* d = DeviceOf(t->dev_handle);
        bool finished = true;
        t->actual_length = it->filled;
        if (it->cancelled) {
            t->status = LIBUSB_TRANSFER_CANCELLED;
        } else if (!d || d->unplugged) {
            t->status = LIBUSB_TRANSFER_NO_DEVICE;
        } else {
            int error = 0;
            if (SendIn(*d, t->buffer, t->length, it->filled, error)) {
                t->status = TransferStatus(error);
                t->actual_length = it->filled;
            } else if (t->timeout > 0 &&
                       Clock::now() >= it->submitted + std::chrono::milliseconds(t->timeout)) {
                t->status = LIBUSB_TRANSFER_TIMED_OUT;
                t->actual_length = it->filled;
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
    Handles().clear();
    Contexts().clear();
    DefaultContext() = nullptr;
    Transfers().clear();
    for (const TransferRecord& r : TransferRecords())
        std::free(r.transfer);
    TransferRecords().clear();
}

} // namespace velmar::test

using velmar::test::Bus;
using velmar::test::ConfigHolder;
using velmar::test::ContextOf;
using velmar::test::DeviceObjects;
using velmar::test::DeviceOf;
using velmar::test::Fault;
using velmar::test::StandInDevice;
using velmar::test::Usable;

extern "C" {

int libusb_init(libusb_context** ctx) {
    auto& contexts = velmar::test::Contexts();
    if (!ctx && velmar::test::DefaultContext()) return 0; // the default context is shared
    libusb_context* made = &contexts.emplace_back();
    if (ctx)
        *ctx = made;
    else
        velmar::test::DefaultContext() = made;
    ++Bus().liveContexts;
    return 0;
}

// libusb frees the context here: everything opened from it must be closed
// first, and nothing of it may be used afterwards.
void libusb_exit(libusb_context* ctx) {
    libusb_context* context = ctx ? ctx : velmar::test::DefaultContext();
    if (!context || !context->alive) {
        Fault("libusb_exit on a context that is not initialised");
        return;
    }
    for (const libusb_device_handle& h : velmar::test::Handles())
        if (h.open && h.device->ctx == context)
            Fault("libusb_exit while a handle opened from its context is open");
    for (const auto& f : velmar::test::Transfers())
        if (velmar::test::ContextOfTransfer(f.transfer) == context)
            Fault("libusb_exit while a transfer of its context is pending");
    context->alive = false;
    if (!ctx) velmar::test::DefaultContext() = nullptr;
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

// Each context has device objects of its own, as in libusb.
ssize_t libusb_get_device_list(libusb_context* ctx, libusb_device*** list) {
    libusb_context* context = ContextOf(ctx, "libusb_get_device_list");
    if (!context) return LIBUSB_ERROR_INVALID_PARAM;
    auto& objects = DeviceObjects();
    auto objectOf = [&](std::size_t index) -> libusb_device* {
        for (libusb_device& o : objects)
            if (o.ctx == context && o.index == index) return &o;
        return &objects.emplace_back(libusb_device{context, index, 0});
    };
    std::size_t plugged = 0;
    for (const auto& d : Bus().devices)
        if (!d.unplugged) ++plugged;
    auto** out = new libusb_device*[plugged + 1];
    std::size_t n = 0;
    for (std::size_t i = 0; i < Bus().devices.size(); ++i) {
        if (Bus().devices[i].unplugged) continue;
        libusb_device* object = objectOf(i);
        object->refs++;
        ++Bus().liveDeviceRefs;
        out[n++] = object;
    }
    out[n] = nullptr;
    *list = out;
    return static_cast<ssize_t>(n);
}

void libusb_free_device_list(libusb_device** list, int unref) {
    if (!list) return;
    if (unref)
        for (libusb_device** p = list; *p; ++p) {
            Usable(*p, "libusb_free_device_list");
            (*p)->refs--;
            --Bus().liveDeviceRefs;
        }
    delete[] list;
}

libusb_device* libusb_ref_device(libusb_device* dev) {
    Usable(dev, "libusb_ref_device");
    dev->refs++;
    ++Bus().liveDeviceRefs;
    return dev;
}

void libusb_unref_device(libusb_device* dev) {
    Usable(dev, "libusb_unref_device");
    dev->refs--;
    --Bus().liveDeviceRefs;
}

int libusb_get_device_descriptor(libusb_device* dev, libusb_device_descriptor* desc) {
    if (!Usable(dev, "libusb_get_device_descriptor")) return LIBUSB_ERROR_NO_DEVICE;
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
    if (!Usable(dev, "libusb_get_config_descriptor")) return LIBUSB_ERROR_NO_DEVICE;
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
    if (!Usable(dev, "libusb_open")) return LIBUSB_ERROR_NO_DEVICE;
    StandInDevice* d = DeviceOf(dev);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (d->accessDenied) return LIBUSB_ERROR_ACCESS;
    *handle = &velmar::test::Handles().emplace_back(libusb_device_handle{dev});
    d->opens++;
    ++Bus().liveHandles;
    return 0;
}

// Closing drops the claims, but gives no interface back to its kernel driver.
void libusb_close(libusb_device_handle* handle) {
    if (!handle) return;
    if (!handle->open) {
        Fault("libusb_close on a handle closed before");
        return;
    }
    Usable(handle->device, "libusb_close");
    for (const auto& f : velmar::test::Transfers())
        if (f.transfer->dev_handle == handle)
            Fault("libusb_close while a transfer on the handle is pending");
    if (StandInDevice* d = DeviceOf(handle)) {
        d->opens--;
        for (int i = 0; i < velmar::test::kMaxChannels; ++i)
            if (handle->claimed & (1u << i)) d->claimed[i] = false;
    }
    handle->open = false;
    handle->claimed = 0;
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
    if (!Usable(handle, "libusb_claim_interface")) return LIBUSB_ERROR_NO_DEVICE;
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
    if (!Usable(handle, "libusb_release_interface")) return LIBUSB_ERROR_NO_DEVICE;
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
    if (!Usable(handle, "libusb_kernel_driver_active")) return LIBUSB_ERROR_NO_DEVICE;
    StandInDevice* d = DeviceOf(handle);
    if (!d || interface < 0 || interface >= d->Channels()) return LIBUSB_ERROR_NOT_FOUND;
    return d->kernelDriver[interface] ? 1 : 0;
}

int libusb_detach_kernel_driver(libusb_device_handle* handle, int interface) {
    if (!Usable(handle, "libusb_detach_kernel_driver")) return LIBUSB_ERROR_NO_DEVICE;
    StandInDevice* d = DeviceOf(handle);
    if (!d || interface < 0 || interface >= d->Channels() || !d->kernelDriver[interface])
        return LIBUSB_ERROR_NOT_FOUND;
    d->kernelDriver[interface] = false;
    d->driverDetaches++;
    return 0;
}

int libusb_attach_kernel_driver(libusb_device_handle* handle, int interface) {
    if (!Usable(handle, "libusb_attach_kernel_driver")) return LIBUSB_ERROR_NO_DEVICE;
    StandInDevice* d = DeviceOf(handle);
    if (!d || interface < 0 || interface >= d->Channels()) return LIBUSB_ERROR_NOT_FOUND;
    if (d->kernelDriver[interface] || d->claimed[interface]) return LIBUSB_ERROR_BUSY;
    d->kernelDriver[interface] = true;
    d->driverAttaches++;
    return 0;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    if (!Usable(handle, "libusb_set_auto_detach_kernel_driver")) return LIBUSB_ERROR_NO_DEVICE;
    handle->autoDetach = enable != 0;
    return 0;
}

int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                            uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                            unsigned int timeout) {
    if (!Usable(handle, "libusb_control_transfer")) return LIBUSB_ERROR_NO_DEVICE;
    StandInDevice* d = DeviceOf(handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    d->controls.push_back({requestType, request, value, index, timeout});
    if (d->onControl) d->onControl(*d, d->controls.back());
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
    if (!Usable(handle, "libusb_bulk_transfer")) return LIBUSB_ERROR_NO_DEVICE;
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
    int filled = 0;
    for (;;) {
        int error = 0;
        if (velmar::test::SendIn(*d, data, length, filled, error)) {
            *transferred = filled;
            return error;
        }
        if (timeout > 0 && velmar::test::Clock::now() >= deadline) {
            *transferred = filled;
            return LIBUSB_ERROR_TIMEOUT;
        }
        auto until = velmar::test::NextAnswer(*d);
        if (timeout > 0) until = std::min(until, deadline);
        std::this_thread::sleep_until(until);
    }
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                       unsigned char* data, int length) {
    if (!Usable(handle, "libusb_get_string_descriptor_ascii")) return LIBUSB_ERROR_NO_DEVICE;
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
    velmar::test::TransferRecords().push_back({t});
    ++Bus().liveTransfers;
    return t;
}

// libusb forbids freeing a transfer that is still pending.
void libusb_free_transfer(libusb_transfer* t) {
    if (!t) return;
    velmar::test::TransferRecord* record = velmar::test::RecordOf(t);
    if (!record || record->freed) {
        Fault("libusb_free_transfer on a transfer freed before");
        return;
    }
    if (velmar::test::Pending(t)) {
        Fault("libusb_free_transfer on a pending transfer");
        return;
    }
    record->freed = true;
    --Bus().liveTransfers;
}

int libusb_submit_transfer(libusb_transfer* t) {
    velmar::test::TransferRecord* record = velmar::test::RecordOf(t);
    if (!record || record->freed) {
        Fault("libusb_submit_transfer on a freed transfer");
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    if (!Usable(t->dev_handle, "libusb_submit_transfer")) return LIBUSB_ERROR_NO_DEVICE;
    StandInDevice* d = DeviceOf(t->dev_handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    if (!(t->endpoint & LIBUSB_ENDPOINT_IN) || t->type != LIBUSB_TRANSFER_TYPE_BULK)
        return LIBUSB_ERROR_NOT_SUPPORTED;
    if (velmar::test::Pending(t)) return LIBUSB_ERROR_BUSY;
    d->inSubmits++;
    d->lastInEndpoint = t->endpoint;
    velmar::test::Transfers().push_back({t, velmar::test::Clock::now()});
    return 0;
}

int libusb_cancel_transfer(libusb_transfer* t) {
    for (auto& f : velmar::test::Transfers())
        if (f.transfer == t) {
            Usable(t->dev_handle, "libusb_cancel_transfer");
            if (f.cancelled) return LIBUSB_ERROR_NOT_FOUND;
            f.cancelled = true;
            return 0;
        }
    return LIBUSB_ERROR_NOT_FOUND;
}

// Only the transfers of the context named here can end here.
int libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv, int* completed) {
    using velmar::test::Clock;
    libusb_context* context = ContextOf(ctx, "libusb_handle_events");
    if (!context) return LIBUSB_ERROR_INVALID_PARAM;
    const auto limit =
        tv ? std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec)
           : std::chrono::microseconds(0);
    const auto deadline = Clock::now() + limit;
    bool waited = false;
    for (;;) {
        if (velmar::test::CompleteTransfers(context)) return 0;
        if (completed && *completed) return 0;
        const auto now = Clock::now();
        if (now >= deadline) return 0;
        auto until = deadline;
        for (const auto& f : velmar::test::Transfers())
            if (velmar::test::ContextOfTransfer(f.transfer) == context)
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

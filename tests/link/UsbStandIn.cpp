#include "UsbStandIn.h"

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <cstring>
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
    int claimed = -1;
};

namespace velmar::test {

namespace {
constexpr std::uint8_t kStatus0 = 0x31; // modem status
constexpr std::uint8_t kStatus1 = 0x60; // line status: transmitter empty
constexpr int kPacketSize = 64;

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

// One config, one interface, bulk-in 0x81 and bulk-out 0x02 of 64 bytes.
struct ConfigHolder {
    libusb_config_descriptor config{};
    libusb_interface interface {};
    libusb_interface_descriptor altsetting{};
    libusb_endpoint_descriptor endpoints[2]{};
};
} // namespace

void StandInDevice::Reply(const std::vector<std::uint8_t>& bytes, int delayMs) {
    const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
    for (std::uint8_t b : bytes)
        pending.push_back({due, b});
}

StandInBus& Bus() {
    static StandInBus bus;
    return bus;
}

void ResetBus() {
    Bus() = StandInBus();
    DeviceObjects().clear();
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
    desc->iSerialNumber = 3;
    desc->bNumConfigurations = 1;
    return 0;
}

int libusb_get_config_descriptor(libusb_device* dev, uint8_t index,
                                 libusb_config_descriptor** config) {
    if (!DeviceOf(dev) || index != 0) return LIBUSB_ERROR_NOT_FOUND;
    auto* h = new ConfigHolder;
    h->endpoints[0].bEndpointAddress = 0x81;
    h->endpoints[0].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    h->endpoints[0].wMaxPacketSize = velmar::test::kPacketSize;
    h->endpoints[1].bEndpointAddress = 0x02;
    h->endpoints[1].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    h->endpoints[1].wMaxPacketSize = velmar::test::kPacketSize;
    h->altsetting.bNumEndpoints = 2;
    h->altsetting.bInterfaceClass = 0xFF;
    h->altsetting.endpoint = h->endpoints;
    h->interface.altsetting = &h->altsetting;
    h->interface.num_altsetting = 1;
    h->config.bNumInterfaces = 1;
    h->config.bConfigurationValue = 1;
    h->config.interface = &h->interface;
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
    *handle = new libusb_device_handle{dev, -1};
    d->opens++;
    ++Bus().liveHandles;
    return 0;
}

void libusb_close(libusb_device_handle* handle) {
    if (!handle) return;
    if (StandInDevice* d = DeviceOf(handle)) d->opens--;
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
    handle->claimed = interface;
    return 0;
}
int libusb_release_interface(libusb_device_handle* handle, int) {
    handle->claimed = -1;
    return 0;
}
int libusb_detach_kernel_driver(libusb_device_handle*, int) {
    return LIBUSB_ERROR_NOT_FOUND;
}
int libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int) {
    return 0;
}

int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                            uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                            unsigned int) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    d->controls.push_back({requestType, request, value, index});
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
        d->received.insert(d->received.end(), data, data + length);
        *transferred = length;
        if (d->firmware) d->firmware(*d, data, length);
        return 0;
    }
    d->bulkInCalls++;
    using Clock = std::chrono::steady_clock;
    auto ready = [d] { return !d->pending.empty() && d->pending.front().due <= Clock::now(); };
    if (!ready()) {
        // An idle bridge answers with its status bytes once its latency
        // time has passed.
        int wait = d->latencyMs;
        if (timeout > 0) wait = std::min<int>(wait, static_cast<int>(timeout));
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    int out = 0;
    while (out + 2 <= length) {
        data[out++] = velmar::test::kStatus0;
        data[out++] = velmar::test::kStatus1;
        int inPacket = 2;
        while (inPacket < velmar::test::kPacketSize && out < length && ready()) {
            data[out++] = d->pending.front().byte;
            d->pending.pop_front();
            ++inPacket;
        }
        // A short packet ends the transfer.
        if (inPacket < velmar::test::kPacketSize) break;
        if (!ready()) break;
    }
    if (out == 2) d->statusOnlyPackets++;
    *transferred = out;
    return 0;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                       unsigned char* data, int length) {
    StandInDevice* d = DeviceOf(handle);
    if (!d || d->unplugged) return LIBUSB_ERROR_NO_DEVICE;
    std::string text = index == 1   ? "FTDI"
                       : index == 2 ? d->description
                       : index == 3 ? d->serial
                                    : "";
    if (length <= 0) return LIBUSB_ERROR_INVALID_PARAM;
    const int n = std::min<int>(static_cast<int>(text.size()), length - 1);
    std::memcpy(data, text.data(), static_cast<std::size_t>(n));
    data[n] = 0;
    return n;
}

// The asynchronous calls are not used by the backend.
libusb_transfer* libusb_alloc_transfer(int) {
    return nullptr;
}
void libusb_free_transfer(libusb_transfer*) {}
int libusb_submit_transfer(libusb_transfer*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}
int libusb_cancel_transfer(libusb_transfer*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}
int libusb_handle_events_timeout(libusb_context*, struct timeval*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}
int libusb_handle_events_timeout_completed(libusb_context*, struct timeval*, int*) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

} // extern "C"

#include "FtdiChannels.h"

#include <algorithm>

namespace velmar {

Scan::~Scan() {
    if (list_) ftdi_list_free(&list_);
    if (owned_ && ctx_) ftdi_free(ctx_);
}

int Scan::Run() {
    if (!ctx_ || ftdi_usb_find_all(ctx_, &list_, 0, 0) < 0) return -1;
    for (ftdi_device_list* node = list_; node; node = node->next) {
        int count = 1;
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_config_descriptor(node->dev, 0, &config) == 0) {
            count = std::max<int>(1, config->bNumInterfaces);
            libusb_free_config_descriptor(config);
        }
        for (int i = 0; i < count; ++i)
            channels_.push_back({node->dev, i, count});
    }
    return static_cast<int>(channels_.size());
}

namespace {
// One string descriptor. Index 0 means the device has no such string (libusb
// refuses to fetch it): the empty text, as the vendor's driver lists it. A
// bridge that cannot be opened lists with empty texts too.
std::string ReadString(libusb_device* dev, std::uint8_t index) {
    if (index == 0) return std::string();
    libusb_device_handle* h = nullptr;
    if (libusb_open(dev, &h) != 0) return std::string();
    unsigned char text[256] = {};
    const int n = libusb_get_string_descriptor_ascii(h, index, text, sizeof text);
    libusb_close(h);
    if (n <= 0) return std::string();
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n));
}

} // namespace

std::string ChannelText(const Channel& channel, bool serial) {
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(channel.dev, &desc) != 0) return std::string();
    std::string text = ReadString(channel.dev, serial ? desc.iSerialNumber : desc.iProduct);
    if (channel.channels > 1) {
        if (!serial) text += ' ';
        text += static_cast<char>('A' + channel.interface);
    }
    return text;
}

} // namespace velmar

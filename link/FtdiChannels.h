#pragma once
// FTDI bridges on the bus as the vendor's driver lists them: one device per
// channel, with the channel's serial and description.

#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velmar {

// One listed device: a channel (interface) of a USB device.
struct Channel {
    libusb_device* dev = nullptr;
    int interface = 0;
    int channels = 1;
};

// The channels of every attached bridge, listed in a libftdi context. A
// libusb device and every handle opened from it belong to the context that
// listed it: its transfers complete only when that context handles events,
// and the context must outlive them. So a listing for an open is made in the
// bridge's own context, and a context of its own serves only a listing whose
// handles are all closed before it ends.
class Scan {
  public:
    explicit Scan(ftdi_context* context) : ctx_(context) {}
    Scan() : ctx_(ftdi_new()), owned_(true) {}
    ~Scan();
    Scan(const Scan&) = delete;
    Scan& operator=(const Scan&) = delete;

    // Every channel of every attached bridge with the usual FTDI ids; -1 when
    // the bus cannot be listed.
    int Run();
    const std::vector<Channel>& Channels() const { return channels_; }

  private:
    ftdi_context* ctx_ = nullptr;
    bool owned_ = false;
    ftdi_device_list* list_ = nullptr;
    std::vector<Channel> channels_;
};

// The channel's serial number or description; channels of a multi-channel
// chip are told apart by a letter, as the vendor names them ("FT1A",
// "Dual RS232 A"). A bridge that cannot be opened lists with empty texts.
std::string ChannelText(const Channel& channel, bool serial);

} // namespace velmar

#pragma once
// What the USB bus says about each FTDI bridge, for `velmar-cli doctor`:
// ids, texts, whether this user may open it, its device node, the udev rule,
// a kernel driver bound to it, another program's claim. Looks only: nothing
// is detached or kept claimed.

#include <cstdint>
#include <string>
#include <vector>

namespace velmar {

struct BridgeInspection {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string chip; // "FT232R", "FT232H", ...
    int bus = 0;
    int address = 0;
    int channel = 0; // 0 = A
    int channels = 1;
    std::string serial;      // as the D2XX listing names the channel
    std::string description; // likewise
    int openError = 0;       // libusb error of an open, 0 when it opened
    bool kernelDriver = false;
    bool claimedElsewhere = false;
    // The device node (usbfs), when there is one to look at.
    std::string node;
    bool nodeFound = false;
    std::string nodeOwner; // "root:plugdev"
    unsigned nodeMode = 0;
    bool nodeWritable = false;
    // A udev rule named 60-velmar.rules, and whether a line of it names these ids.
    std::string rulePath;
    bool ruleMatches = false;
};

struct UsbInspection {
    std::string libusbVersion; // "1.0.26"
    std::string libftdiVersion;
    bool listed = false; // false: libusb could not list the bus
    std::vector<BridgeInspection> bridges;
};

// Where device nodes and udev rules are looked for; `root` is put before
// every path (tests point it at a folder of their own).
UsbInspection InspectUsb(const std::string& root = "");

// libusb's name of an error code.
std::string UsbErrorName(int error);

} // namespace velmar

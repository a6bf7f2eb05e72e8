#include "UsbInspection.h"

#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "FtdiChannels.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmar {

namespace {

std::string ChipName(std::uint16_t bcdDevice) {
    switch (bcdDevice) {
    case 0x0200:
        return "FT232AM";
    case 0x0400:
        return "FT232BM";
    case 0x0500:
        return "FT2232C";
    case 0x0600:
        return "FT232R";
    case 0x0700:
        return "FT2232H";
    case 0x0800:
        return "FT4232H";
    case 0x0900:
        return "FT232H";
    case 0x1000:
        return "FT-X";
    default:
        return "FTDI chip";
    }
}

// The claim another program holds shows as a busy interface; a kernel
// driver is reported by itself and never detached here.
void LookAtHandle(libusb_device* dev, BridgeInspection& b) {
    libusb_device_handle* h = nullptr;
    b.openError = libusb_open(dev, &h);
    if (b.openError != 0) return;
    b.kernelDriver = libusb_kernel_driver_active(h, b.channel) == 1;
    if (!b.kernelDriver) {
        const int r = libusb_claim_interface(h, b.channel);
        b.claimedElsewhere = r == LIBUSB_ERROR_BUSY;
        if (r == 0) libusb_release_interface(h, b.channel);
    }
    libusb_close(h);
}

void LookAtNode(const std::string& root, BridgeInspection& b) {
    char path[64];
    std::snprintf(path, sizeof path, "/dev/bus/usb/%03d/%03d", b.bus, b.address);
    b.node = path;
    struct stat st {};
    if (stat((root + path).c_str(), &st) != 0) return;
    b.nodeFound = true;
    b.nodeMode = st.st_mode & 07777;
    const passwd* user = getpwuid(st.st_uid);
    const group* grp = getgrgid(st.st_gid);
    b.nodeOwner = (user ? std::string(user->pw_name) : std::to_string(st.st_uid)) + ":" +
                  (grp ? std::string(grp->gr_name) : std::to_string(st.st_gid));
    b.nodeWritable = access((root + path).c_str(), R_OK | W_OK) == 0;
}

// A rule line that names both ids (as 60-velmar.rules writes them).
bool RuleNames(const std::string& line, std::uint16_t vendor, std::uint16_t product) {
    char ids[2][40];
    std::snprintf(ids[0], sizeof ids[0], "ATTR{idVendor}==\"%04x\"", vendor);
    std::snprintf(ids[1], sizeof ids[1], "ATTR{idProduct}==\"%04x\"", product);
    const std::string::size_type hash = line.find('#');
    const std::string live = line.substr(0, hash);
    return live.find(ids[0]) != std::string::npos && live.find(ids[1]) != std::string::npos;
}

void LookForRule(const std::string& root, BridgeInspection& b) {
    // udev's own order: /etc overrides /run overrides the packaged ones.
    for (const char* dir : {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
                            "/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
        const std::string path = std::string(dir) + "/60-velmar.rules";
        std::ifstream in(root + path);
        if (!in) continue;
        b.rulePath = path;
        for (std::string line; std::getline(in, line);)
            if (RuleNames(line, b.vendorId, b.productId)) b.ruleMatches = true;
        return;
    }
}

} // namespace

std::string UsbErrorName(int error) {
    return libusb_error_name(error);
}

UsbInspection InspectUsb(const std::string& root) {
    UsbInspection report;
    const libusb_version* usb = libusb_get_version();
    report.libusbVersion = std::to_string(usb->major) + "." + std::to_string(usb->minor) + "." +
                           std::to_string(usb->micro);
    report.libftdiVersion = ftdi_get_library_version().version_str;

    Scan scan;
    report.listed = scan.Run() >= 0;
    for (const Channel& channel : scan.Channels()) {
        BridgeInspection b;
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(channel.dev, &desc) == 0) {
            b.vendorId = desc.idVendor;
            b.productId = desc.idProduct;
            b.chip = ChipName(desc.bcdDevice);
        }
        b.bus = libusb_get_bus_number(channel.dev);
        b.address = libusb_get_device_address(channel.dev);
        b.channel = channel.interface;
        b.channels = channel.channels;
        b.serial = ChannelText(channel, true);
        b.description = ChannelText(channel, false);
        LookAtHandle(channel.dev, b);
        LookAtNode(root, b);
        LookForRule(root, b);
        report.bridges.push_back(b);
    }
    return report;
}

} // namespace velmar

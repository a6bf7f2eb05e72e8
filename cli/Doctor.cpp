#include "Doctor.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Operations.h"
#include "SerialBackend.h"
#include "link/VendorLibrary.h"

#if VELMAR_HAVE_LIBFTDI
#include "link/UsbInspection.h"
#endif

namespace velmar::cli {

namespace {

void Line(const std::string& text) {
    std::printf("%s\n", text.c_str());
}

// A problem is always followed by its one fix.
void Problem(const std::string& what, const std::string& fix) {
    Line("  problem: " + what);
    Line("  fix: " + fix);
}

// The version query; true when the programmer answered.
bool Ask(const D2XXBackend& backend, const std::string& serial, std::string& firmware) {
    const BridgeAnswer answer = AskBridge(backend, serial);
    if (!answer.firmware.empty()) {
        Line("  version query: answered, firmware " + answer.firmware);
        firmware = answer.firmware;
        return true;
    }
    if (!answer.opened) {
        Line("  version query: not sent, the bridge could not be opened");
        if (!answer.openProblem.empty()) Problem(answer.openProblem, "as the line above says.");
        return false;
    }
    Line("  version query: no answer");
    Problem("the bridge opened but did not answer the version query",
            "unplug and replug the programmer and check that it has power; a bridge that never "
            "answers is not a Brindle Programmer (an ordinary FTDI cable, say).");
    return false;
}

#if VELMAR_HAVE_LIBFTDI
constexpr int kAccessDenied = -3; // LIBUSB_ERROR_ACCESS

// "0403:6001", as lsusb and udev rules write them.
std::string UsbIds(const BridgeInspection& b) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", b.vendorId, b.productId);
    return text;
}

void ExplainNoAccess(const BridgeInspection& b, const std::string& ids) {
    const std::string what =
        "this user may not open the bridge (" + UsbErrorName(b.openError) + ")";
    if (b.rulePath.empty())
        Problem(what, "install velmar's udev rule and replug: sudo cp packaging/60-velmar.rules "
                      "/etc/udev/rules.d/ (from velmar's source; the Debian package installs it "
                      "itself) && sudo udevadm control --reload-rules, then unplug and replug "
                      "the programmer.");
    else if (!b.ruleMatches)
        Problem(what, b.rulePath + " does not name " + ids +
                          ": install the package's rule in its place and replug the programmer.");
    else
        Problem(what, "the rule is installed: unplug and replug the programmer; over SSH, where "
                      "uaccess grants nothing, run as root or add a rule with GROUP=\"plugdev\", "
                      "MODE=\"0660\" and put the user in plugdev.");
}

// One bridge as the bus shows it, then its version query. True when it
// answered as the programmer.
bool ReportBridge(const BridgeInspection& b, std::size_t index, bool vendorDriver,
                  const D2XXBackend& backend, std::string& firmware) {
    const std::string ids = UsbIds(b);
    char where[48];
    std::snprintf(where, sizeof where, "bus %03d device %03d", b.bus, b.address);
    Line("bridge " + std::to_string(index + 1) + ": " + ids + " " + b.chip + ", serial " +
         (b.serial.empty() ? "(unreadable)" : b.serial) + ", \"" + b.description + "\", channel " +
         std::string(1, static_cast<char>('A' + b.channel)) + ", " + where);

    if (b.nodeFound) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", b.nodeMode);
        Line("  device node " + b.node + ": " + b.nodeOwner + " " + mode + ", " +
             (b.nodeWritable ? "this user can read and write it" : "this user cannot write it"));
    } else {
        Line("  device node " + b.node + ": not found");
    }
    if (b.rulePath.empty())
        Line("  udev rule 60-velmar.rules: not installed");
    else
        Line("  udev rule " + b.rulePath + ": " +
             (b.ruleMatches ? "names " + ids : "does not name " + ids));
    if (b.openError != 0 && b.openError != kAccessDenied) {
        Line("  open: " + UsbErrorName(b.openError));
    }
    if (b.openError == kAccessDenied) {
        ExplainNoAccess(b, ids);
        return false;
    }
    if (b.kernelDriver) {
        Line("  kernel driver: ftdi_sio holds the channel");
        if (vendorDriver) {
            Problem("the vendor's D2XX library cannot open a bridge that ftdi_sio holds",
                    "unload it: sudo rmmod ftdi_sio usbserial, then run again.");
            return false;
        }
        Line("  (the libftdi1 door detaches it while it uses the bridge and gives it back)");
    } else {
        Line("  kernel driver: none bound");
    }
    if (b.claimedElsewhere) {
        Line("  other programs: one holds the bridge");
        Problem("another program has claimed the bridge",
                "close the other program (another velmar, a serial terminal), then run again.");
        return false;
    }
    Line("  other programs: none holds it");
    return Ask(backend, b.serial, firmware);
}
#endif

// A bridge as a D2XX listing names it, then its version query.
bool ReportListedBridge(const Bridge& bridge, std::size_t index, const D2XXBackend& backend,
                        std::string& firmware) {
    Line("bridge " + std::to_string(index + 1) + ": serial " + bridge.serial + ", \"" +
         bridge.description + "\"");
    return Ask(backend, bridge.serial, firmware);
}

// The vendor's library is the driver: the bridges are the ones it lists, and
// the version query goes through it, as every command's does. What the USB
// bus shows of a bridge of the same serial number is added where libusb can
// tell it; a bus that shows bridges the library does not list explains why.
int VendorDoctor(const D2XXBackend& backend, std::string& firmware) {
    int answered = 0;
    const std::vector<Bridge> bridges = ListBridges(backend);
    Line("bridges: " + std::to_string(bridges.size()) + ", as the vendor's library lists them");
#if VELMAR_HAVE_LIBFTDI
    const char* root = std::getenv("VELMAR_DOCTOR_ROOT");
    const UsbInspection usb = InspectUsb(root ? root : "");
    for (std::size_t i = 0; i < bridges.size(); ++i) {
        const BridgeInspection* onBus = nullptr;
        for (const BridgeInspection& b : usb.bridges)
            if (!b.serial.empty() && b.serial == bridges[i].serial) onBus = &b;
        if (onBus != nullptr) {
            if (ReportBridge(*onBus, i, true, backend, firmware)) ++answered;
        } else if (ReportListedBridge(bridges[i], i, backend, firmware)) {
            ++answered;
        }
    }
    if (bridges.empty() && usb.listed && !usb.bridges.empty()) {
        Line("bridges on the USB bus: " + std::to_string(usb.bridges.size()));
        // Each report names its problem and fix.
        for (std::size_t i = 0; i < usb.bridges.size(); ++i)
            if (ReportBridge(usb.bridges[i], i, true, backend, firmware)) ++answered;
        return answered;
    }
#else
    for (std::size_t i = 0; i < bridges.size(); ++i)
        if (ReportListedBridge(bridges[i], i, backend, firmware)) ++answered;
#endif
    if (!bridges.empty()) return answered;
#if VELMAR_HAVE_LIBFTDI
    Problem("no FTDI bridge is listed by the vendor's D2XX library",
            "plug the programmer in (if it is, try another cable or USB port), then run "
            "velmar-cli doctor again.");
#else
    Problem("no FTDI bridge is listed by the D2XX driver",
            "plug the programmer in, and check that Windows shows it (Device Manager, USB "
            "Serial Converter); install the vendor's D2XX driver if it does not.");
#endif
    return answered;
}

int Result(int answered, const std::string& firmware) {
    if (answered > 0) {
        Line("result: a programmer answered (firmware " + firmware + ")");
        return ExitSuccess;
    }
    Line("result: no programmer answered");
    return ExitFailed;
}

} // namespace

int RunDoctor(const D2XXBackend& backend, bool virtualProgrammer) {
    int answered = 0;
    std::string firmware;
    if (virtualProgrammer) {
        Line("driver: the virtual programmer, in-process (--virtual)");
        const std::vector<Bridge> bridges = ListBridges(backend);
        Line("bridges: " + std::to_string(bridges.size()));
        for (std::size_t i = 0; i < bridges.size(); ++i) {
            Line("bridge " + std::to_string(i + 1) + ": virtual, serial " + bridges[i].serial +
                 ", \"" + bridges[i].description + "\"");
            if (Ask(backend, bridges[i].serial, firmware)) ++answered;
        }
        if (bridges.empty())
            Problem("no virtual bridge is attached (devices=0)", "drop devices=0 from --virtual.");
        return Result(answered, firmware);
    }

    if (const std::string missing = HardwareProblem(); !missing.empty()) {
        Line("driver: none");
        Problem("no USB driver can be used: " + missing,
                "install the vendor's D2XX driver, as the line above says.");
        return Result(0, firmware);
    }
    if (std::string(backend.name) == "vendor") {
        Line("driver: the vendor's D2XX library " + VendorLibraryOrigin());
        answered = VendorDoctor(backend, firmware);
        return Result(answered, firmware);
    }
#if VELMAR_HAVE_LIBFTDI
    const char* root = std::getenv("VELMAR_DOCTOR_ROOT");
    const UsbInspection usb = InspectUsb(root ? root : "");
    Line("driver: libftdi1 " + usb.libftdiVersion + " on libusb " + usb.libusbVersion +
         " (the vendor's " + VendorLibraryName() + " is not loaded: " + VendorLibraryError() +
         ")");
    if (!usb.listed) {
        Problem("libusb cannot list the USB bus",
                "run where the USB bus is reachable (in a container, pass /dev/bus/usb through).");
        return Result(0, firmware);
    }
    Line("bridges: " + std::to_string(usb.bridges.size()));
    for (std::size_t i = 0; i < usb.bridges.size(); ++i)
        if (ReportBridge(usb.bridges[i], i, false, backend, firmware)) ++answered;
    if (usb.bridges.empty())
        Problem("no FTDI bridge is on the bus",
                "plug the programmer in (if it is, try another cable or USB port), then run "
                "velmar-cli doctor again.");
#else
    // Without libftdi1 the vendor's library is the only driver (see above).
    Problem("no USB driver can be used", "install the vendor's D2XX driver.");
#endif
    return Result(answered, firmware);
}

} // namespace velmar::cli

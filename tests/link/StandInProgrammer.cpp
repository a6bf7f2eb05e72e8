// velmar-cli with the real libftdi1 door on the libusb stand-in: the
// executable exports the stand-in's libusb_* functions, and before main runs
// this file plugs one FTDI bridge into the stand-in bus with the virtual
// programmer's firmware and chip behind its endpoints. The point is the door
// and libusb; the firmware is the one every other test uses.
//
// Set up from the environment:
//   VELMAR_STANDIN          comma list: bridge=ft232r|ft232h|none, access=denied,
//                           claimed=elsewhere, sio=bound, firmware=silent
//   VELMAR_STANDIN_VIRTUAL  the virtual programmer's options (as --virtual=)
//   VELMAR_STANDIN_FAULTS   file that gets the stand-in's fault record at exit,
//                           one line per call real libusb forbids
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "UsbStandIn.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::test {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool Has(const std::string& list, const std::string& item) {
    return ("," + list + ",").find("," + item + ",") != std::string::npos;
}

struct StandInProgrammer {
    FT_HANDLE port = nullptr;

    StandInProgrammer() {
        const std::string setup = Env("VELMAR_STANDIN");
        ResetBus();
        std::atexit(ReportFaults);
        if (Has(setup, "bridge=none")) return;
        VirtualOptions options;
        std::string error;
        if (!ParseVirtualOptions(Env("VELMAR_STANDIN_VIRTUAL"), options, error)) {
            std::fprintf(stderr, "stand-in: %s\n", error.c_str());
            std::exit(2);
        }
        VirtualProgrammer& programmer = VirtualProgrammer::Instance();
        programmer.Reset(options);

        StandInDevice bridge;
        if (Has(setup, "bridge=ft232h")) {
            bridge.productId = 0x6014;
            bridge.bcdDevice = 0x0900;
        }
        bridge.serial = options.Serial;
        bridge.description = options.Description;
        bridge.accessDenied = Has(setup, "access=denied");
        bridge.claimedElsewhere = Has(setup, "claimed=elsewhere");
        bridge.kernelDriver[0] = Has(setup, "sio=bound");
        Bus().devices.push_back(bridge);
        if (Has(setup, "firmware=silent")) return;

        std::string serial = options.Serial;
        if (programmer.OpenEx(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, &port) != FT_OK) {
            std::fprintf(stderr, "stand-in: the virtual programmer would not open\n");
            std::exit(2);
        }
        // The stand-in's bridge keeps the latency timer; the firmware's own
        // model of it is set as short as it goes.
        programmer.SetLatencyTimer(port, 2);
        programmer.SetTimeouts(port, 1, 1);
        StandInDevice& device = Bus().devices.back();
        device.firmware = [this](StandInDevice&, const std::uint8_t* data, int length) {
            DWORD written = 0;
            VirtualProgrammer::Instance().Write(port, const_cast<std::uint8_t*>(data),
                                                static_cast<DWORD>(length), &written);
        };
        device.pump = [this](StandInDevice& d) {
            VirtualProgrammer& firmware = VirtualProgrammer::Instance();
            DWORD queued = 0;
            if (firmware.GetQueueStatus(port, &queued) != FT_OK || queued == 0) return;
            std::vector<std::uint8_t> bytes(queued);
            DWORD read = 0;
            firmware.Read(port, bytes.data(), queued, &read);
            bytes.resize(read);
            d.Reply(bytes);
        };
        // A reset of the bridge empties the firmware's reply queue too.
        device.onControl = [this](StandInDevice&, const ControlRequest& request) {
            if (request.request == 0x00 && request.value == 0)
                VirtualProgrammer::Instance().ResetDevice(port);
        };
    }

    static void ReportFaults() {
        const std::string path = Env("VELMAR_STANDIN_FAULTS");
        if (path.empty()) return;
        std::FILE* out = std::fopen(path.c_str(), "w");
        if (!out) return;
        for (const std::string& fault : Bus().faults)
            std::fprintf(out, "%s\n", fault.c_str());
        if (Bus().liveHandles != 0) std::fprintf(out, "a handle was left open\n");
        if (Bus().liveContexts != 0) std::fprintf(out, "a context was left initialised\n");
        std::fclose(out);
    }
};

StandInProgrammer standIn;

} // namespace
} // namespace velmar::test

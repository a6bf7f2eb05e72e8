// velmar-virtual-programmer: the virtual programmer's firmware and chip
// behind a Unix socket, as a plain byte stream the way the programmer's
// controller sees its USB bridge. QEMU's emulated FTDI bridge
// (`-device usb-serial,chardev=...`) connects to it, so a real kernel, its
// serial driver, libusb and libftdi1 stand between velmar and this firmware.
//
//   velmar-virtual-programmer --socket PATH [--pull-at HEX] [OPTIONS]
//
// OPTIONS are the virtual programmer's (as velmar-cli --virtual=OPTIONS).
// stdout says "listening PATH" once connections are taken and
// "pulled at HHHH" when --pull-at's block arrived; stderr gets every fault
// the framing or the firmware found, one line each.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "StreamProgrammer.h"
#include "VirtualProgrammer.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void Stop(int) {
    g_stop = 1;
}

int Usage() {
    std::fprintf(stderr, "usage: velmar-virtual-programmer --socket PATH [--pull-at HEX] "
                         "[OPTIONS]\n");
    return 2;
}

bool SendAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

// New fault lines since the last look, on stderr.
void ReportFaults(const std::vector<std::string>& faults, std::size_t& shown, const char* what) {
    for (; shown < faults.size(); ++shown)
        std::fprintf(stderr, "velmar-virtual-programmer: %s: %s\n", what, faults[shown].c_str());
}

} // namespace

int main(int argc, char** argv) {
    std::string socketPath;
    std::string optionText;
    long pullAt = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--socket" && i + 1 < argc) {
            socketPath = argv[++i];
        } else if (arg == "--pull-at" && i + 1 < argc) {
            char* end = nullptr;
            pullAt = std::strtol(argv[++i], &end, 16);
            if (!end || *end != '\0' || pullAt < 0 || pullAt > 0xFFFF) return Usage();
        } else if (!arg.empty() && arg[0] != '-' && optionText.empty()) {
            optionText = arg;
        } else {
            return Usage();
        }
    }
    if (socketPath.empty()) return Usage();

    velmar::VirtualOptions options;
    std::string error;
    if (!velmar::ParseVirtualOptions(optionText, options, error)) {
        std::fprintf(stderr, "velmar-virtual-programmer: %s\n", error.c_str());
        return 2;
    }
    velmar::StreamProgrammer programmer;
    programmer.PullAt = pullAt;
    if (!programmer.Start(options, error)) {
        std::fprintf(stderr, "velmar-virtual-programmer: %s\n", error.c_str());
        return 2;
    }

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "velmar-virtual-programmer: socket path too long\n");
        return 2;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    unlink(socketPath.c_str());
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0) {
        std::fprintf(stderr, "velmar-virtual-programmer: %s: %s\n", socketPath.c_str(),
                     std::strerror(errno));
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = Stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::printf("listening %s\n", socketPath.c_str());
    std::fflush(stdout);

    velmar::VirtualProgrammer& model = velmar::VirtualProgrammer::Instance();
    std::size_t framingShown = 0;
    std::size_t firmwareShown = 0;
    bool pullSaid = false;
    int client = -1;
    std::vector<std::uint8_t> buffer(4096);
    while (!g_stop) {
        pollfd watched{client >= 0 ? client : listener, POLLIN, 0};
        // The timing model's replies fall due while nothing arrives.
        const int wait = client >= 0 && model.Options().Timing ? 1 : 200;
        const int ready = poll(&watched, 1, wait);
        if (ready < 0 && errno != EINTR) break;
        if (client < 0) {
            if (ready > 0) {
                client = accept(listener, nullptr, nullptr);
                programmer.Reconnect();
            }
            continue;
        }
        std::vector<std::uint8_t> reply;
        if (ready > 0) {
            const ssize_t n = recv(client, buffer.data(), buffer.size(), 0);
            if (n <= 0) {
                if (n < 0 && errno == EINTR) continue;
                close(client);
                client = -1;
                continue;
            }
            reply = programmer.Take(buffer.data(), static_cast<std::size_t>(n));
        } else {
            reply = programmer.Ready();
        }
        ReportFaults(programmer.Framer().Faults(), framingShown, "framing");
        if (model.Faults().size() < firmwareShown) firmwareShown = 0; // powered up afresh
        ReportFaults(model.Faults(), firmwareShown, "firmware");
        if (programmer.Pulled() && !pullSaid) {
            std::printf("pulled at %04lX\n", pullAt);
            std::fflush(stdout);
            pullSaid = true;
        }
        if (!reply.empty() && !SendAll(client, reply)) {
            close(client);
            client = -1;
        }
    }
    model.Finish();
    if (client >= 0) close(client);
    close(listener);
    unlink(socketPath.c_str());
    return 0;
}

// Whole-process timing of velmar-cli on the virtual programmer with its
// timing model on: verify, and program with automatic verify, of a 32 KiB
// 87C58H image. Each run is compared with its floor, the time the model and
// the operation itself make unavoidable:
//   - the host's required sleeps (100 ms read set-up; 100 ms after programming),
//   - the bytes on the wire (64 us per 62-byte USB packet, both ways),
//   - the firmware's work (2 us per byte read, 2.5 ms per 87C5x byte programmed),
//   - the bridge holding a short reply tail for its latency timer (2 ms, as
//     the search sets it).
// The constants are those of virtual/VirtualProgrammer.cpp and
// virtual/ProgrammerFirmware.cpp. Apart from the floor the report names two
// costs that are not the operation's: the 40 ms read time-out that every
// 8-byte acknowledgement read through AwaitReply lasts (the idle commands
// and the version query: the command link's documented behaviour; block
// replies are read as they arrive), and the start of the process itself
// (velmar-cli --version). Usage: velmar-operations-bench [runs [verify-only]]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr long kUsbPayload = 62;
constexpr long kUsbPacketMicros = 64;
constexpr long kReadMicrosPerByte = 2;
constexpr long kProgramMicrosPerByte = 2500; // family 4
constexpr long kLatencyMicros = 2000;
constexpr long kReadSetupSleepMicros = 100000;
constexpr long kAfterProgramSleepMicros = 100000;
constexpr long kAckReadTimeoutMicros = 40000;
constexpr std::uint8_t kErased = 0xFF;

using Bytes = std::vector<unsigned char>;

long WireMicros(long bytes) {
    return (bytes + kUsbPayload - 1) / kUsbPayload * kUsbPacketMicros;
}

// A reply: its whole 62-byte packets at once, a short tail after the latency.
long ReplyMicros(long bytes) {
    const long full = bytes / kUsbPayload * kUsbPayload;
    long t = WireMicros(full);
    if (full < bytes) t += kLatencyMicros + WireMicros(bytes - full);
    return t;
}

std::vector<unsigned> HexBytes(const std::string& line, long& extra) {
    std::vector<unsigned> bytes;
    std::istringstream in(line);
    extra = 0;
    for (std::string word; in >> word;) {
        if (word[0] == '+')
            extra = std::stol(word.substr(1));
        else
            bytes.push_back(static_cast<unsigned>(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

struct Floor {
    long micros = 0;        // sleeps, wire, firmware work, latency
    long ackWaitMicros = 0; // the read time-out of acknowledgements
};

// The floor of one run from its packet trace and the image it programmed.
Floor FloorOf(const std::string& tracePath, const Bytes& image, bool programmed) {
    std::ifstream trace(tracePath);
    Floor floor;
    long& total = floor.micros;
    total = kReadSetupSleepMicros + (programmed ? kAfterProgramSleepMicros : 0);
    for (std::string line; std::getline(trace, line);) {
        long extra = 0;
        const std::vector<unsigned> p = HexBytes(line, extra);
        if (p.size() < 8) continue;
        total += WireMicros(8 + extra);
        if (p[0] >= 0x80) continue; // not answered
        long replyBytes = 8;
        if (p[0] != 0x32 && p[0] != 0x41) floor.ackWaitMicros += kAckReadTimeoutMicros;
        if (p[0] == 0x32) {
            const long count = static_cast<long>(p[5] << 8 | p[6]);
            total += kReadMicrosPerByte * count;
            replyBytes += count;
        } else if (p[0] == 0x41) {
            const std::size_t at = p[2] | p[3] << 8;
            for (std::size_t i = at; i < at + 256 && i < image.size(); ++i)
                if (image[i] != kErased) total += kProgramMicrosPerByte;
        }
        total += ReplyMicros(replyBytes);
    }
    return floor;
}

struct Measure {
    double wallMs = 0;
    double cpuMs = 0;
    int exitCode = -1;
};

double CpuMsOfChildren() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

Measure Run(const std::vector<std::string>& args) {
    Measure m;
    const double cpu0 = CpuMsOfChildren();
    const auto t0 = std::chrono::steady_clock::now();
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(VELMAR_CLI));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
        if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(127);
        execv(VELMAR_CLI, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    m.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    m.cpuMs = CpuMsOfChildren() - cpu0;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void Report(const char* what, const Measure& m, const Floor& floor, double startMs) {
    const double floorMs = floor.micros / 1e3;
    const double ackMs = floor.ackWaitMicros / 1e3;
    const double hostMs = m.wallMs - floorMs - ackMs - startMs;
    std::printf("%-15s exit %d  wall %8.1f ms  floor %8.1f ms  (+%4.0f %%)  ack waits %5.1f ms  "
                "start %4.1f ms  host rest %6.1f ms (%5.2f %% of floor)  cpu %6.1f ms (%4.2f %% "
                "of wall)\n",
                what, m.exitCode, m.wallMs, floorMs, 100.0 * (m.wallMs - floorMs) / floorMs, ackMs,
                startMs, hostMs, 100.0 * hostMs / floorMs, m.cpuMs, 100.0 * m.cpuMs / m.wallMs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmar-ops-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "image.bin").string();
    const std::string chip = (dir / "chip.bin").string();
    const std::string trace = (dir / "trace.txt").string();

    Bytes data(0x8000);
    std::mt19937 gen(58);
    for (auto& b : data)
        b = static_cast<unsigned char>(gen());
    WriteFile(image, data);
    WriteFile(chip, data);

    std::printf("velmar-cli, 87C58H, 32 KiB, virtual programmer with timing on\n");
    std::fflush(stdout);
    double startMs = 0;
    for (int i = 0; i < 10; ++i)
        startMs += Run({"--version"}).wallMs / 10;
    for (int i = 0; i < runs; ++i) {
        const Measure m = Run({"--virtual=timing=on,chip=" + chip, "--trace", trace, "--device",
                               "87C58H", "verify", image});
        Report("verify", m, FloorOf(trace, data, false), startMs);
    }
    if (argc > 2 && std::string(argv[2]) == "verify-only") {
        std::filesystem::remove_all(dir);
        return 0;
    }
    // Programming takes the model's 2.5 ms per byte: about 82 s a run.
    const Measure m =
        Run({"--virtual=timing=on", "--trace", trace, "--device", "87C58H", "program", image});
    Report("program+verify", m, FloorOf(trace, data, true), startMs);

    std::filesystem::remove_all(dir);
    return 0;
}

// Verify, and program with automatic verify, of a 32 KiB 87C58H image on the
// virtual programmer with its timing model on, in process: wall time and CPU
// time of each, against the floor that the operation cannot go below:
//   - the sleeps the sequences require (100 ms read set-up, 100 ms after
//     programming),
//   - the bytes on the wire (64 us per 62-byte USB packet, both ways),
//   - the firmware's work (2 us per byte read, 2.5 ms per 87C5x byte that is
//     programmed away from 0xFF),
//   - the bridge holding a short reply tail for its latency timer (2 ms, as
//     the programmer search sets it).
// The model constants are those of virtual/VirtualProgrammer.cpp and
// virtual/ProgrammerFirmware.cpp. Also measures one read block awaited the
// plain way (whole-buffer read, ended by the 40 ms read time-out) against the
// counted wait the read loop uses.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

#include "devices/AccessSequences.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "link/ProgrammerSearch.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar;

namespace {

constexpr long kUsbPayload = 62;
constexpr long kUsbPacketMicros = 64;
constexpr long kReadMicrosPerByte = 2;
constexpr long kProgramMicrosPerByte = 2500;
constexpr long kLatencyMicros = 2000;
constexpr int kRow87C58H = 12;
constexpr int kSize = 0x8000;
constexpr int kBlock = 2048;

long Wire(long bytes) { return (bytes + kUsbPayload - 1) / kUsbPayload * kUsbPacketMicros; }
// A reply: its whole USB packets, then a short tail after the latency timer.
long Reply(long bytes) {
    const long full = bytes / kUsbPayload * kUsbPayload;
    long t = Wire(full);
    if (full < bytes) t += kLatencyMicros + Wire(bytes - full);
    return t;
}
long IdleFloor() { return Wire(8) + Reply(8); }
long ReadFloor() {
    const long perBlock = Wire(8) /* latches */ + Wire(8) + kReadMicrosPerByte * kBlock + Reply(8 + kBlock);
    return 100000 + (kSize / kBlock) * perBlock;
}
long VerifyFloor() { return 2 * IdleFloor() + Wire(8) /* voltage */ + Wire(8) /* set-up */ + ReadFloor(); }
long ProgramFloor(const std::vector<std::uint8_t>& image) {
    long t = 2 * IdleFloor() + Wire(8) + Wire(8);
    for (int block = 0; block < kSize / 256; ++block) {
        long pulses = 0;
        for (int i = 0; i < 256; ++i)
            if (image[static_cast<std::size_t>(block * 256 + i)] != 0xFF) pulses += kProgramMicrosPerByte;
        t += Wire(block == 0 ? 8 : 264) + Wire(264) + pulses + Reply(8);
    }
    return t + IdleFloor() + 100000 + VerifyFloor();
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Session {
    SilentPanel panel;
    std::unique_ptr<ProgramState> state;
    Session() {
        VirtualOptions options;
        options.Timing = true;
        options.Family = 4;
        options.Size = kSize;
        VirtualProgrammer::Instance().Reset(options);
        state = std::make_unique<ProgramState>(VirtualBackend());
        state->Panel.Attach(&panel);
        FindProgrammer(state->D2XX, state->Link, state->Panel, state->FailFlag);
        Device_BoxClick(*state, kRow87C58H);
    }
};

template <typename F> void Measure(const char* name, long floorMicros, F&& run) {
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = CpuSeconds();
    run();
    const double cpu = CpuSeconds() - c0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double floor = static_cast<double>(floorMicros) / 1e6;
    std::printf("%-26s wall %8.3f s  floor %8.3f s  overhead %6.2f %%  cpu %6.3f s (%5.2f %% of wall)\n",
                name, wall, floor, 100.0 * (wall - floor) / floor, cpu, 100.0 * cpu / wall);
}

} // namespace

int main() {
    std::mt19937 random(58);
    std::vector<std::uint8_t> image(kSize);
    for (auto& b : image) b = static_cast<std::uint8_t>(random());

    {
        Session s;
        VirtualProgrammer::Instance().Chip() = image;
        for (int a = 0; a < kSize; ++a) s.state->Buffer[a] = image[static_cast<std::size_t>(a)];
        Measure("verify 87C58H 32 KiB", VerifyFloor(), [&] { VerifyClick(*s.state); });
        if (s.state->FailFlag != 0) std::printf("  verify did not pass!\n");
    }
    {
        Session s;
        for (int a = 0; a < kSize; ++a) s.state->Buffer[a] = image[static_cast<std::size_t>(a)];
        Measure("program+verify 87C58H", ProgramFloor(image), [&] { ProgrammClick(*s.state); });
        if (s.state->FailFlag != 0) std::printf("  program+verify did not pass!\n");
    }
    {
        // One read block, awaited both ways, 16 times each.
        Session s;
        ProgramState& st = *s.state;
        const long floor = 16 * (Wire(8) + kReadMicrosPerByte * kBlock + Reply(8 + kBlock));
        Measure("16 blocks, counted wait", floor, [&] {
            for (int i = 0; i < 16; ++i) SendReadBlock(st);
        });
        Measure("16 blocks, plain wait", floor, [&] {
            for (int i = 0; i < 16; ++i) {
                std::uint8_t* p = st.Link.CommandPacket();
                p[0] = ReadBlock;
                p[5] = kBlock >> 8;
                p[6] = 0;
                st.Link.SendPacket(); // AwaitReply: reads until the 40 ms read time-out
            }
        });
    }
    return 0;
}

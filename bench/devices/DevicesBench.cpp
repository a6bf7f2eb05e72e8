// Verify, and program with automatic verify, of an 87C58H (32 KiB) and an
// 89C52 (8 KiB) on the virtual programmer with its timing model on, in
// process: wall time and CPU time of each run against its floor (the packet
// trace's floor, bench/common/TraceFloor.h, plus the sleeps the sequences
// asked for). Also the cost of what precedes an operation: the programmer
// search and the device selection. One line per figure, tab-separated, for
// bench/run:  in <run> <wall s> <floor s> <cpu s> <pass 0|1>
//             phase <name> <wall ms>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "bench/common/TraceFloor.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "link/ProgrammerSearch.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar;
using Clock = std::chrono::steady_clock;

namespace {

struct Part {
    const char* name;
    int row;
    int family;
    std::size_t size;
};
constexpr Part kParts[] = {{"87C58H", 12, 4, 0x8000}, {"89C52", 20, 5, 0x2000}};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Session {
    FrontPanel panel;
    std::unique_ptr<ProgramState> state;
    long sleptMicros = 0;

    explicit Session(const Part& part, bool report) {
        VirtualOptions options;
        options.Timing = true;
        options.Family = part.family;
        options.Size = static_cast<std::uint32_t>(part.size);
        VirtualProgrammer::Instance().Reset(options);
        state = std::make_unique<ProgramState>(VirtualBackend());
        state->Panel.Attach(&panel);
        state->Link.Sleeper = [this](int ms) {
            sleptMicros += ms * 1000L;
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        };
        auto t0 = Clock::now();
        tasks::FindProgrammer(*state);
        const double search = Since(t0);
        t0 = Clock::now();
        SelectDevice(*state, part.row);
        const double select = Since(t0);
        if (report) {
            std::printf("phase\tsearch\t%.2f\n", search * 1e3);
            std::printf("phase\tselect\t%.2f\n", select * 1e3);
        }
        VirtualProgrammer::Instance().ClearTrace();
        sleptMicros = 0;
    }
};

template <typename F>
void Measure(const std::string& name, Session& s, const std::vector<std::uint8_t>& image,
             int family, F&& run) {
    const auto t0 = Clock::now();
    const double c0 = CpuSeconds();
    run();
    const double cpu = CpuSeconds() - c0;
    const double wall = Since(t0);
    const long floor =
        bench::TraceFloorMicros(VirtualProgrammer::Instance().Trace(), image, family) +
        s.sleptMicros;
    const bool pass = !s.state->FailFlag && VirtualProgrammer::Instance().Faults().empty();
    std::printf("in\t%s\t%.4f\t%.4f\t%.4f\t%d\n", name.c_str(), wall,
                static_cast<double>(floor) / 1e6, cpu, pass ? 1 : 0);
    std::fflush(stdout);
}

} // namespace

int main() {
    bool first = true;
    for (const Part& part : kParts) {
        const std::vector<std::uint8_t> image = bench::BenchImage(part.size, 58);
        {
            Session s(part, first);
            first = false;
            VirtualProgrammer::Instance().Chip() = image;
            for (std::size_t a = 0; a < part.size; ++a)
                s.state->Buffer[static_cast<std::int32_t>(a)] = image[a];
            Measure(std::string("verify ") + part.name, s, image, part.family,
                    [&] { tasks::Verify(*s.state); });
        }
        {
            Session s(part, false);
            for (std::size_t a = 0; a < part.size; ++a)
                s.state->Buffer[static_cast<std::int32_t>(a)] = image[a];
            Measure(std::string("program+verify ") + part.name, s, image, part.family,
                    [&] { tasks::Program(*s.state); });
        }
    }
    return 0;
}

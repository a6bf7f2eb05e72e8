// Whole-process timing of velmar-cli on the virtual programmer with its
// timing model on: verify, and program with automatic verify, of an 87C58H
// (32 KiB) and an 89C52 (8 KiB). Each run is set against its floor: the
// packet trace's floor (bench/common/TraceFloor.h: the search's version
// query, the selection's voltage and idle packets and the operation's, all
// where a reply is awaited) plus the sleeps the sequences require (100 ms
// read set-up, 100 ms after programming). Also what a process costs that
// only starts and ends (velmar-cli --version) and one that only finds the
// programmer (probe). One line per figure, tab-separated, for bench/run:
//   whole <run> <wall s> <floor s> <cpu s> <pass 0|1>
//   phase <name> <wall ms>
// Usage: cli_operations_bench [runs]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/common/TraceFloor.h"

namespace {

struct Part {
    const char* name;
    int family;
    std::size_t size;
};
constexpr Part kParts[] = {{"87C58H", 4, 0x8000}, {"89C52", 5, 0x2000}};
constexpr long kReadSetupSleepMicros = 100000;
constexpr long kAfterProgramSleepMicros = 100000;

struct Measure {
    double wall = 0; // seconds
    double cpu = 0;
    int exitCode = -1;
};

double CpuOfChildren() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

Measure Run(const std::vector<std::string>& args) {
    Measure m;
    const double cpu0 = CpuOfChildren();
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
    m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    m.cpu = CpuOfChildren() - cpu0;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

double MedianWallMs(const std::vector<std::string>& args, int runs) {
    std::vector<double> walls;
    for (int i = 0; i < runs; ++i)
        walls.push_back(Run(args).wall * 1e3);
    std::sort(walls.begin(), walls.end());
    return walls[walls.size() / 2];
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void Report(const std::string& name, const Measure& m, const std::string& trace,
            const std::vector<std::uint8_t>& image, int family, long sleeps) {
    const long floor = velmar::bench::TraceFloorMicros(Lines(trace), image, family) + sleeps;
    std::printf("whole\t%s\t%.4f\t%.4f\t%.4f\t%d\n", name.c_str(), m.wall,
                static_cast<double>(floor) / 1e6, m.cpu, m.exitCode == 0 ? 1 : 0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velmar-ops-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string imagePath = (dir / "image.bin").string();
    const std::string chip = (dir / "chip.bin").string();
    const std::string trace = (dir / "trace.txt").string();

    std::printf("phase\tprocess\t%.2f\n", MedianWallMs({"--version"}, 11));
    std::printf("phase\tprobe\t%.2f\n", MedianWallMs({"--virtual=timing=on", "probe"}, 11));
    for (const Part& part : kParts) {
        const std::vector<std::uint8_t> image = velmar::bench::BenchImage(part.size, 58);
        WriteFile(imagePath, image);
        WriteFile(chip, image);
        for (int i = 0; i < runs; ++i) {
            const Measure m = Run({"--virtual=timing=on,chip=" + chip, "--trace", trace, "--device",
                                   part.name, "verify", imagePath});
            Report(std::string("verify ") + part.name, m, trace, image, part.family,
                   kReadSetupSleepMicros);
        }
        const Measure m = Run(
            {"--virtual=timing=on", "--trace", trace, "--device", part.name, "program", imagePath});
        Report(std::string("program+verify ") + part.name, m, trace, image, part.family,
               kAfterProgramSleepMicros + kReadSetupSleepMicros);
    }
    std::filesystem::remove_all(dir);
    return 0;
}

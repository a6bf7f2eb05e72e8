// process_timer REPS COMMAND [ARGS...]: runs COMMAND REPS times, one after
// the other, and prints the median and mean wall time of one whole run in
// milliseconds. The command's output goes to /dev/null. Exits 1 if any run
// fails.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

extern char** environ;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: process_timer REPS COMMAND [ARGS...]\n");
        return 2;
    }
    const int reps = std::atoi(argv[1]);
    std::vector<double> times;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    for (int i = 0; i < reps; ++i) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[2], &quiet, nullptr, argv + 2, environ) != 0) {
            std::perror("posix_spawnp");
            return 1;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "run %d of %s failed\n", i, argv[2]);
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double mean =
        std::accumulate(times.begin(), times.end(), 0.0) / static_cast<double>(times.size());
    std::printf("%.3f %.3f\n", median, mean);
    return 0;
}

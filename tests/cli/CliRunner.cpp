#include "CliRunner.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "tests/support/ProcessRunner.h"

namespace velmar::clitest {

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CliRun Run(const std::string& program, const std::vector<std::string>& args, int interruptAfterMs,
           const std::vector<std::string>& env, const std::string& inputPath = {}) {
    ScratchDir scratch;
    test::ProcessOptions options;
    options.outPath = scratch.Path("stdout");
    options.errPath = scratch.Path("stderr");
    options.inPath = inputPath;
    options.env = env;
    options.interruptAfterMs = interruptAfterMs;
    CliRun run;
    run.exitCode = test::RunProcess(program, args, options);
    run.out = Slurp(options.outPath);
    run.err = Slurp(options.errPath);
    return run;
}

} // namespace

CliRun RunCli(const std::vector<std::string>& args) {
    return RunCli(args, -1);
}

CliRun RunCli(const std::vector<std::string>& args, int interruptAfterMs,
              const std::vector<std::string>& env) {
    return Run(VELMAR_CLI, args, interruptAfterMs, env);
}

CliRun RunCliWithInput(const std::vector<std::string>& args, const std::string& inputPath) {
    return Run(VELMAR_CLI, args, -1, {}, inputPath);
}

CliRun RunCliWithDropIn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
#if defined(_WIN32)
    // Windows loads the DLL beside the program: the build keeps a copy there.
    const std::string program = std::string(VELMAR_DROPIN_DIR) + "/" +
                                std::filesystem::path(VELMAR_CLI).filename().string();
    return Run(program, args, -1, env);
#else
    std::vector<std::string> all = env;
    all.push_back(std::string("LD_LIBRARY_PATH=") + VELMAR_DROPIN_DIR);
    return Run(VELMAR_CLI, args, -1, all);
#endif
}

Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes b(size);
    for (auto& x : b)
        x = static_cast<unsigned char>(gen());
    return b;
}

ScratchDir::ScratchDir() {
    std::random_device seed;
    for (;;) {
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() /
            ("velmar-cli-test-" + std::to_string(seed()) + std::to_string(seed()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) { // false when it exists
            dir_ = candidate.generic_string();
            return;
        }
        if (ec) std::abort();
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace velmar::clitest

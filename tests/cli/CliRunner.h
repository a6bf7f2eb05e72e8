#pragma once
// Runs the built velmar-cli as a child process and collects what it printed.

#include <string>
#include <vector>

namespace velmar::clitest {

using Bytes = std::vector<unsigned char>;

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::vector<std::string>& args);
// The same, with SIGINT sent `interruptAfterMs` after the start (-1: never)
// and the environment variables `env` ("NAME=value") added.
CliRun RunCli(const std::vector<std::string>& args, int interruptAfterMs,
              const std::vector<std::string>& env = {});

// The same with standard input read from `inputPath`.
CliRun RunCliWithInput(const std::vector<std::string>& args, const std::string& inputPath);

// The hardware path (--usb) with the virtual programmer's drop-in vendor
// library where the system's loader finds it, and `env` added.
CliRun RunCliWithDropIn(const std::vector<std::string>& args,
                        const std::vector<std::string>& env = {});

// A fresh directory for one test's files, removed with the object.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  private:
    std::string dir_;
};

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<unsigned char> ReadBytes(const std::string& path);
// `size` bytes of a fixed pseudo-random sequence, the same for the same seed.
Bytes RandomBytes(std::size_t size, unsigned seed);
void WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<std::string> ReadLines(const std::string& path);

} // namespace velmar::clitest

// velmar-cli with FIFOs and devices for its files: every input is opened
// once, an endless input ends, and an output node is written, not replaced.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CliRunner.h"
#include "tests/support/UnixSocket.h"
#include "virtual/FirmwareImage.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar::clitest;

namespace {

// Feeds `bytes` to the first reader of a FIFO. A later reader, which a
// program that opens its input twice would be, gets an empty file instead
// of waiting for a writer for ever: the test then fails, it does not hang.
class FifoFeeder {
  public:
    FifoFeeder(std::string path, Bytes bytes) : path_(std::move(path)), bytes_(std::move(bytes)) {
        if (::mkfifo(path_.c_str(), 0600) != 0) return;
        thread_ = std::thread([this] {
            // A reader that leaves early gives EPIPE here, not a signal.
            sigset_t pipeSignal;
            sigemptyset(&pipeSignal);
            sigaddset(&pipeSignal, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
            int fd = ::open(path_.c_str(), O_WRONLY);
            if (fd < 0) return;
            std::size_t at = 0;
            while (at < bytes_.size()) {
                const ssize_t n = ::write(fd, bytes_.data() + at, bytes_.size() - at);
                if (n <= 0) break;
                at += static_cast<std::size_t>(n);
            }
            ::close(fd);
            while (!finishing_) {
                fd = ::open(path_.c_str(), O_WRONLY);
                if (fd >= 0) ::close(fd);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~FifoFeeder() { Finish(); }
    bool Made() const { return thread_.joinable(); }
    void Finish() {
        finishing_ = true;
        // A reader of our own lets a waiting open return.
        const int release = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        if (thread_.joinable()) thread_.join();
        if (release >= 0) ::close(release);
    }

  private:
    std::string path_;
    Bytes bytes_;
    std::thread thread_;
    std::atomic<bool> finishing_{false};
};

Bytes Pattern(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i)
        b[i] = static_cast<unsigned char>(i * 7 + 5);
    return b;
}

} // namespace

TEST(CliFileNodes, InputsAreOpenedOnceAndEndlessInputsEnd) {
    ScratchDir dir;

    // The data file of program, from a FIFO.
    const Bytes data = Pattern(0x1000);
    const std::string chip = dir.Path("chip.bin");
    FifoFeeder image(dir.Path("image.bin"), data);
    ASSERT_TRUE(image.Made());
    CliRun run = RunCli(
        {"--virtual=save-chip=" + chip, "--device", "87C51H", "program", dir.Path("image.bin")});
    image.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip), data);

    // The firmware image, from a FIFO.
    FifoFeeder firmware(dir.Path("firmware.bin"), velmar::MakeFirmwareImage(1, 23, 4));
    ASSERT_TRUE(firmware.Made());
    run = RunCli({"--virtual=firmware=1.22", "firmware", dir.Path("firmware.bin")});
    firmware.Finish();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "Good Update...")) << run.err;

    // An endless binary input ends one byte past the buffer; with no device
    // the data past FFFF are only cut when asked.
    const std::string out = dir.Path("zeros.bin");
    run = RunCli({"convert", "--from", "binary", "--to", "binary", "/dev/zero", out});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    run = RunCli({"convert", "--fold", "--from", "binary", "--to", "binary", "/dev/zero", out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "\"/dev/zero\" runs past buffer position FFFF")) << run.err;
    EXPECT_EQ(ReadBytes(out), Bytes(0x10000, 0));
    run = RunCli({"--virtual", "--device", "87C51H", "--format", "binary", "verify", "/dev/zero"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
}

TEST(CliFileNodes, OutputsIntoFifosAndDevicesAndNeverSockets) {
    ScratchDir dir;
    const Bytes data = Pattern(0x1000);
    const std::string chip = dir.Path("chip.bin");
    WriteBytes(chip, data);

    // read into a FIFO: the chip's bytes arrive, the FIFO stays.
    const std::string fifo = dir.Path("out.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    CliRun run = RunCli(
        {"--virtual=chip=" + chip, "--device", "87C51H", "--format", "binary", "read", fifo});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    Bytes got(0x2000);
    const ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    EXPECT_EQ(got, data);
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    // A character device: a null device node of the test's own where it may
    // make one, else /dev/null itself, which a user cannot replace.
    std::string device = dir.Path("null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        device = ::geteuid() != 0 ? "/dev/null" : "";
    if (!device.empty()) {
        run = RunCli({"convert", "--from", "binary", "--to", "intel", chip, device});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        ASSERT_EQ(::lstat(device.c_str(), &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode));
    }

    // A socket is refused before the programmer is asked anything.
    const std::string socketPath = dir.Path("out.sock");
    const int sock = velmar::test::BindUnixSocket(socketPath);
    ASSERT_GE(sock, 0) << socketPath;
    const std::string trace = dir.Path("trace.txt");
    run = RunCli({"--virtual=chip=" + chip, "--trace", trace, "--device", "87C51H", "--format",
                  "binary", "read", socketPath});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(Has(run.err, "it is a socket, not a regular file")) << run.err;
    EXPECT_TRUE(ReadBytes(trace).empty());
    run = RunCli({"convert", "--from", "binary", "--to", "binary", chip, socketPath});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    ASSERT_EQ(::lstat(socketPath.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    ::close(sock);
}

// Saves whose target is not a regular file: FIFOs and character devices are
// written in place, sockets and block devices refused, and a regular file is
// still replaced whole with its permissions.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "buffer/BinaryFile.h"
#include "buffer/DataFormats.h"
#include "buffer/FileReplacement.h"
#include "buffer/HexWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnixSocket.h"

namespace velmar {
namespace {

mode_t KindOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & S_IFMT;
}

// The reading end of a FIFO, opened first so that a writer never waits;
// what was written is collected after the save (it fits the pipe buffer).
class FifoReader {
  public:
    explicit FifoReader(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    }
    ~FifoReader() { Close(); }
    bool Opened() const { return fd_ >= 0; }
    std::string Drain() {
        std::string got;
        char block[4096];
        ssize_t n = 0;
        while ((n = ::read(fd_, block, sizeof block)) > 0)
            got.append(block, static_cast<std::size_t>(n));
        return got;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

std::size_t Entries(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

class OutputNodesTest : public ::testing::Test {
  protected:
    OutputNodesTest() {
        for (int i = 0; i < kBufferSize; ++i)
            buffer[i] = static_cast<std::uint8_t>(i * 5 + 1);
        window.DeviceEnd = 0x3FF;
    }
    std::string Expected() const {
        return std::string(reinterpret_cast<const char*>(buffer.data()), 0x400);
    }
    test::TempDir dir;
    DataBuffer buffer;
    AddressWindow window;
    FrontPanel panel;
};

TEST_F(OutputNodesTest, SavesNeverReplaceWhatIsNotARegularFile) {
    // A FIFO, also behind a symbolic link: written in place, still a FIFO.
    const std::string fifo = dir.File("out.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    {
        FifoReader reader(fifo);
        ASSERT_TRUE(reader.Opened());
        const BinaryFileResult r = SaveBinaryFile(fifo, buffer, window);
        EXPECT_TRUE(r.ok) << r.systemError;
        EXPECT_EQ(reader.Drain(), Expected());
    }
    const std::string link = dir.File("link.hex");
    std::filesystem::create_symlink(fifo, link);
    {
        FifoReader reader(fifo);
        const HexSaveResult r = SaveHexFile(link, IntelHexFileType, buffer, window, panel);
        EXPECT_TRUE(r.ok) << r.systemError;
        EXPECT_EQ(reader.Drain(), HexFileText(buffer, IntelHexFileType, window.DeviceEnd));
    }
    EXPECT_EQ(KindOf(fifo), S_IFIFO);
    EXPECT_EQ(KindOf(link), S_IFLNK);
    EXPECT_EQ(OutputProblem(fifo), "");

    // A reader that went away: a broken pipe is an error, not a signal.
    {
        FifoReader reader(fifo);
        FileReplacement file(fifo);
        ASSERT_TRUE(file.Open()) << file.Error();
        EXPECT_TRUE(file.WritesStraight());
        reader.Close();
        EXPECT_FALSE(file.Write("x", 1));
        EXPECT_EQ(file.Error(), std::strerror(EPIPE));
    }

    // A character device: a node of its own where the test may make one
    // (the null device), else /dev/null itself, which a user cannot replace.
    std::string device = dir.File("null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        device = ::geteuid() != 0 ? "/dev/null" : "";
    if (!device.empty()) {
        EXPECT_TRUE(SaveBinaryFile(device, buffer, window).ok);
        EXPECT_TRUE(SaveHexFile(device, MotorolaHexFileType, buffer, window, panel).ok);
        EXPECT_EQ(KindOf(device), S_IFCHR);
    }

    // A socket and a block device: refused, left as they are.
    const std::string socketPath = dir.File("out.sock");
    const int sock = test::BindUnixSocket(socketPath);
    ASSERT_GE(sock, 0) << socketPath;
    BinaryFileResult refused = SaveBinaryFile(socketPath, buffer, window);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.systemError, "it is a socket, not a regular file");
    EXPECT_EQ(OutputProblem(socketPath), "it is a socket, not a regular file");
    EXPECT_EQ(KindOf(socketPath), S_IFSOCK);
    ::close(sock);

    const std::string block = dir.File("disk");
    if (::mknod(block.c_str(), S_IFBLK | 0600, makedev(7, 200)) == 0) {
        const HexSaveResult r = SaveHexFile(block, AsciiHexFileType, buffer, window, panel);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.systemError, "it is a block device, not a regular file");
        EXPECT_EQ(KindOf(block), S_IFBLK);
    }

    // Nothing was left beside the targets.
    const std::size_t made =
        3 + (device == dir.File("null") ? 1 : 0) + (KindOf(block) == S_IFBLK ? 1 : 0);
    EXPECT_EQ(Entries(dir.Path()), made);

    // A regular file is replaced whole and keeps its permissions.
    const std::string plain = dir.File("plain.bin");
    test::WriteFile(plain, "old");
    ::chmod(plain.c_str(), 0640);
    EXPECT_TRUE(SaveBinaryFile(plain, buffer, window).ok);
    EXPECT_EQ(test::ReadFile(plain), Expected());
    struct stat info {};
    ASSERT_EQ(::stat(plain.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(KindOf(plain), S_IFREG);
    EXPECT_EQ(OutputProblem(dir.File("no/such/out.bin")), std::strerror(ENOENT));
}

} // namespace
} // namespace velmar

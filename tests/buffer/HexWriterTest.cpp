#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include <csignal>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "buffer/HexWriter.h"
#include "tests/support/RecordingPanel.h"
#include "tests/support/TempDir.h"

namespace velmar {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string Join(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines)
        text += std::string(line) + "\r\n";
    return text;
}

class HexWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        buffer.Fill(0xFF);
        buffer[0] = 0x00;
        buffer[1] = 0x01;
        buffer[2] = 0x02;
    }
    DataBuffer buffer;
};

TEST_F(HexWriterTest, OneKilobyteDeviceInEveryFormat) {
    EXPECT_EQ(HexFileText(buffer, IntelHexFileType, 0x3FF), test::DataFile("window1k_intel.hex"));
    EXPECT_EQ(HexFileText(buffer, MotorolaHexFileType, 0x3FF),
              test::DataFile("window1k_motorola.s28"));
    EXPECT_EQ(HexFileText(buffer, AsciiHexFileType, 0x3FF), test::DataFile("window1k_ascii.txt"));

    const auto intel = Lines(HexFileText(buffer, IntelHexFileType, 0x3FF));
    ASSERT_EQ(intel.size(), 66u);
    EXPECT_EQ(intel[1], ":10000000000102FFFFFFFFFFFFFFFFFFFFFFFFFFFA");
    EXPECT_EQ(intel[1].size(), 43u);
    EXPECT_EQ(intel[64], ":1003F000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0D");
    const auto motorola = Lines(HexFileText(buffer, MotorolaHexFileType, 0x3FF));
    ASSERT_EQ(motorola.size(), 65u);
    EXPECT_EQ(motorola[0].size(), 44u);
    EXPECT_EQ(motorola[63], "S2140003F0FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF08");
    const auto ascii = Lines(HexFileText(buffer, AsciiHexFileType, 0x3FF));
    ASSERT_EQ(ascii.size(), 64u);
    EXPECT_EQ(ascii[0], "000102FFFFFFFFFFFFFFFFFFFFFFFFFF");
}

TEST_F(HexWriterTest, EndInsideASixteenByteLine) {
    EXPECT_EQ(HexFileText(buffer, IntelHexFileType, 0x12),
              Join({":020000020000FC", ":10000000000102FFFFFFFFFFFFFFFFFFFFFFFFFFFA",
                    ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0", ":00000001FF"}));
    EXPECT_EQ(HexFileText(buffer, MotorolaHexFileType, 0x12),
              Join({"S214000000000102FFFFFFFFFFFFFFFFFFFFFFFFFFF5", "S207000010FFFFFFEB",
                    "S804000000FB"}));
    EXPECT_EQ(HexFileText(buffer, AsciiHexFileType, 0x12),
              Join({"000102FFFFFFFFFFFFFFFFFFFFFFFFFF", "FFFFFF"}));
}

TEST_F(HexWriterTest, EndZeroStillWritesOneRecord) {
    buffer.Fill(0);
    EXPECT_EQ(
        HexFileText(buffer, IntelHexFileType, 0),
        Join({":020000020000FC", ":1000000000000000000000000000000000000000F0", ":00000001FF"}));
    EXPECT_EQ(HexFileText(buffer, MotorolaHexFileType, 0),
              Join({"S20500000000FA", "S804000000FB"}));
    EXPECT_EQ(HexFileText(buffer, AsciiHexFileType, 0), Join({"00"}));
    EXPECT_EQ(HexFileText(buffer, BinaryFileType, 0x3FF), "");
    EXPECT_EQ(HexFileText(buffer, FileType{4}, 0x3FF), "");
}

TEST_F(HexWriterTest, EndPastTheBufferStopsAtItsLastPosition) {
    buffer[0xFFFF] = 0x5A;
    for (std::int32_t end : {0xFFFF, 0xFFFFF}) {
        const auto intel = Lines(HexFileText(buffer, IntelHexFileType, end));
        ASSERT_EQ(intel.size(), 4096u + 3u);
        EXPECT_EQ(intel[4096].substr(0, 9), ":10FFF000");
        EXPECT_EQ(intel[4097], ":020000021000EC"); // the next segment, written at the boundary
        EXPECT_EQ(intel[4098], ":00000001FF");
        const auto motorola = Lines(HexFileText(buffer, MotorolaHexFileType, end));
        ASSERT_EQ(motorola.size(), 4097u);
        EXPECT_EQ(motorola[4095].substr(0, 10), "S21400FFF0");
        EXPECT_EQ(motorola[4095].substr(40), "5A" + motorola[4095].substr(42));
        const auto ascii = Lines(HexFileText(buffer, AsciiHexFileType, end));
        ASSERT_EQ(ascii.size(), 4096u);
        EXPECT_EQ(ascii.back(), "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF5A");
    }
}

TEST_F(HexWriterTest, SaveReplacesThroughATemporaryFile) {
    test::TempDir dir;
    test::RecordingPanel panel;
    AddressWindow window;
    window.DeviceEnd = 0x3FF;
    const std::string path = dir.File("out.hex");
    test::WriteFile(path, std::string(100000, 'x'));
    HexSaveResult r = SaveHexFile(path, MotorolaHexFileType, buffer, window, panel);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.droppedBytes, 0);
    EXPECT_EQ(test::ReadFile(path),
              test::DataFile("window1k_motorola.s28")); // replaced, not appended
    EXPECT_EQ(panel.statuses,
              (std::vector<std::string>{"Saving Buffer to Hex File....", "Hex File Saved...."}));
    EXPECT_EQ(panel.pumps, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    window.DeviceEnd = 0xFFFFF;
    r = SaveHexFile(path, AsciiHexFileType, buffer, window, panel);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.droppedBytes, 0xF0000);
    EXPECT_EQ(test::ReadFile(path).size(), 4096u * 34u);
}

TEST_F(HexWriterTest, FailedSaveKeepsTheOldFile) {
    test::TempDir dir;
    test::RecordingPanel panel;
    AddressWindow window;
    window.DeviceEnd = 0x3FF;
    const std::string path = dir.File("keep.hex");
    test::WriteFile(path, "old contents");

#if defined(_WIN32)
    // Windows keeps no write bit on folders; a read-only file is refused instead.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    panel.statuses.clear();
    const HexSaveResult r = SaveHexFile(path, IntelHexFileType, buffer, window, panel);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.systemError.empty());
    EXPECT_EQ(test::ReadFile(path), "old contents");
    EXPECT_EQ(panel.statuses, std::vector<std::string>{"Saving Buffer to Hex File...."});
#else
    // A directory that cannot be written.
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read |
                                                 std::filesystem::perms::owner_exec);
    panel.statuses.clear();
    const HexSaveResult r = SaveHexFile(path, IntelHexFileType, buffer, window, panel);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
    if (::geteuid() != 0) {
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.systemError.empty());
        EXPECT_EQ(test::ReadFile(path), "old contents");
        EXPECT_EQ(panel.statuses, std::vector<std::string>{"Saving Buffer to Hex File...."});
    }
    // A file cut short on the way (the file size limit stands in for a full disk).
    {
        rlimit old{};
        test::WriteFile(path, "old contents");
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 1000; // the file is near 3,000 bytes
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        panel.statuses.clear();
        const HexSaveResult cut = SaveHexFile(path, IntelHexFileType, buffer, window, panel);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(cut.ok);
        EXPECT_FALSE(cut.systemError.empty());
        EXPECT_EQ(test::ReadFile(path), "old contents");
        EXPECT_EQ(panel.statuses, std::vector<std::string>{"Saving Buffer to Hex File...."});
    }
#endif // the file size limit has no Windows counterpart
    // No such folder.
    EXPECT_FALSE(SaveHexFile(dir.File("none/out.hex"), IntelHexFileType, buffer, window, panel).ok);
    // A directory in the way of the file.
    const HexSaveResult d =
        SaveHexFile(dir.Path().string(), IntelHexFileType, buffer, window, panel);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

} // namespace
} // namespace velmar

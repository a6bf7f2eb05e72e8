#include <gtest/gtest.h>

#include <QTemporaryDir>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "SettingsFile.h"
#include "UiFixture.h"

namespace velmar::test {
namespace {

TEST(SettingsLines, MissingAndMalformedLinesCountAsOne) {
    // Eight lines: line 9 is taken as empty, not as a file named "1".
    StoredSettings s = InterpretSettingsLines({"8", "1", "2", "1", "0", "0", "4095", "0"});
    EXPECT_EQ(s.SelectedRow, 8);
    EXPECT_EQ(s.FileType, 1);
    EXPECT_EQ(s.VppSetting, 2);
    EXPECT_EQ(s.DeviceEnd, 4095);
    EXPECT_EQ(s.LastFile, "");

    s = InterpretSettingsLines({"x", "", "$10", " 7 ", "-12", "2147483648", "12a", "+3", "C:\\a b.hex"});
    EXPECT_EQ(s.SelectedRow, 1);
    EXPECT_EQ(s.FileType, 1);
    EXPECT_EQ(s.VppSetting, 1);
    EXPECT_EQ(s.AutoVerify, 7);
    EXPECT_EQ(s.BufferStart, -12);
    EXPECT_EQ(s.DeviceStart, 1);
    EXPECT_EQ(s.DeviceEnd, 1);
    EXPECT_EQ(s.HexOffset, 3);
    EXPECT_EQ(s.LastFile, "C:\\a b.hex");

    s = InterpretSettingsLines({});
    EXPECT_EQ(s.SelectedRow, 1);
    EXPECT_EQ(s.HexOffset, 1);
    EXPECT_EQ(s.LastFile, "");

    EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseDecimal("2147483647"), INT32_MAX);
    EXPECT_FALSE(ParseDecimal("-"));
    EXPECT_FALSE(ParseDecimal("1 2"));
}

TEST(SettingsFile, ReadsAtMostNineteenLinesWithAnyLineEnd) {
    QTemporaryDir dir;
    const std::string path = SettingsPath(dir.path().toStdString());
    EXPECT_EQ(std::filesystem::path(path).filename(), "Win_Velmar.Cfg");
    EXPECT_FALSE(ReadSettingsLines(path).has_value());

    std::string text;
    for (int i = 1; i <= 25; ++i) text += std::to_string(i) + (i % 3 == 0 ? "\n" : i % 3 == 1 ? "\r\n" : "\r");
    WriteFile(path, text);
    auto lines = ReadSettingsLines(path);
    ASSERT_TRUE(lines);
    ASSERT_EQ(lines->size(), 19u);
    EXPECT_EQ((*lines)[0], "1");
    EXPECT_EQ((*lines)[1], "2");
    EXPECT_EQ((*lines)[2], "3");
    EXPECT_EQ((*lines)[18], "19");

    WriteFile(path, "5\r\n\r\nlast");
    lines = ReadSettingsLines(path);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{"5", "", "last"}));

    WriteFile(path, "");
    lines = ReadSettingsLines(path);
    ASSERT_TRUE(lines);
    EXPECT_TRUE(lines->empty());
}

TEST(SettingsFile, WritesNineDecimalLinesAndReplacesTheOldFile) {
    QTemporaryDir dir;
    const std::string path = SettingsPath(dir.path().toStdString());
    WriteFile(path, std::string(500, 'x'));
    StoredSettings s{8, 1, 2, 1, 0, -1, 4095, 0x12345, "/home/u/Image.Hex"};
    ASSERT_TRUE(WriteSettingsFile(path, s));
    EXPECT_EQ(ReadFile(path), "8\r\n1\r\n2\r\n1\r\n0\r\n-1\r\n4095\r\n74565\r\n/home/u/Image.Hex\r\n");
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path().toStdString()),
                            std::filesystem::directory_iterator()),
              1);

    // Round trip.
    const auto back = InterpretSettingsLines(*ReadSettingsLines(path));
    EXPECT_EQ(FormatSettings(back), FormatSettings(s));

    // A name that cannot be one line is dropped, the file stays nine lines.
    s.LastFile = "a\nb";
    ASSERT_TRUE(WriteSettingsFile(path, s));
    const auto lines = ReadSettingsLines(path);
    ASSERT_EQ(lines->size(), 9u);
    EXPECT_EQ(lines->back(), "");
    EXPECT_EQ((*lines)[7], "74565");

    // A directory that cannot be written: false, and nothing else happens.
    EXPECT_FALSE(WriteSettingsFile(dir.path().toStdString() + "/missing/Win_Velmar.Cfg", s));
}

TEST(SettingsFile, EndlessFilesAndFifosNeitherHangNorGetReplaced) {
#ifndef _WIN32
    // An endless file ends at the first overlong line.
    const auto endless = ReadSettingsLines("/dev/zero");
    ASSERT_TRUE(endless);
    EXPECT_TRUE(endless->empty());
#endif

    QTemporaryDir dir;
    const std::string path = SettingsPath(dir.path().toStdString());
    const std::string numbers = "8\r\n1\r\n2\r\n1\r\n0\r\n0\r\n4095\r\n0\r\n";
    WriteFile(path, numbers + std::string(kSettingsLineLimit, 'a') + "\r\n");
    EXPECT_EQ(ReadSettingsLines(path)->size(), 9u);
    WriteFile(path, numbers + std::string(kSettingsLineLimit + 1, 'a') + "\r\n9\r\n");
    const auto cut = ReadSettingsLines(path);
    ASSERT_EQ(cut->size(), 8u);
    EXPECT_EQ(InterpretSettingsLines(*cut).LastFile, "");
    EXPECT_EQ(InterpretSettingsLines(*cut).DeviceEnd, 4095);

    // A name too long to be read back is not written.
    StoredSettings s{8, 1, 2, 1, 0, 0, 4095, 0, std::string(kSettingsLineLimit + 1, 'n')};
    EXPECT_EQ(FormatSettings(s), numbers + "\r\n");

#ifdef _WIN32
    GTEST_SKIP() << "Windows has no endless device file and no FIFO in the file system: "
                    "only the line limits were checked";
#else
    // A FIFO in the settings file's place is written into, not replaced.
    const std::string fifo = dir.path().toStdString() + "/settings.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    s.LastFile = "/home/u/Image.Hex";
    EXPECT_TRUE(WriteSettingsFile(fifo, s));
    std::string got(4096, '\0');
    const ssize_t n = ::read(reader, got.data(), got.size());
    ::close(reader);
    got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    EXPECT_EQ(got, FormatSettings(s));
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
#endif
}

} // namespace
} // namespace velmar::test

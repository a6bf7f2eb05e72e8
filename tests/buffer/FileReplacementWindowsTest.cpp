// The safe save's Windows side: an exclusive temporary file, read-only files
// refused, symbolic links written through, any file name.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "buffer/FileReplacement.h"
#include "buffer/WideText.h"
#include "tests/support/TempDir.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> TempFiles(const fs::path& dir) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".tmp") found.push_back(entry.path());
    return found;
}

std::string ReadWide(const fs::path& path) {
    std::FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return "<missing>";
    std::string bytes;
    for (int c; (c = std::fgetc(f)) != EOF;)
        bytes.push_back(static_cast<char>(c));
    std::fclose(f);
    return bytes;
}

void WriteWide(const fs::path& path, const std::string& bytes) {
    std::FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool Save(const std::string& path, const std::string& bytes, std::string* error = nullptr) {
    FileReplacement file(path);
    const bool ok = file.Open() && file.Write(bytes.data(), bytes.size()) && file.Commit();
    if (error) *error = file.Error();
    return ok;
}

TEST(FileReplacementWindows, TemporaryFileIsExclusiveAndNeverLeftBehind) {
    test::TempDir dir;
    const fs::path target = dir.Path() / "data.hex";
    WriteWide(target, "old");
    {
        FileReplacement file(target.string());
        ASSERT_TRUE(file.Open()) << file.Error();
        const auto temps = TempFiles(dir.Path());
        ASSERT_EQ(temps.size(), 1u);
        EXPECT_EQ(temps[0].parent_path(), target.parent_path());
        // Created new and held without sharing: nobody else writes into it.
        const HANDLE other =
            CreateFileW(temps[0].c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(other, INVALID_HANDLE_VALUE);
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
        ASSERT_TRUE(file.Write("new", 3));
        // Not committed: the old file stays, the temporary file goes.
    }
    EXPECT_EQ(ReadWide(target), "old");
    EXPECT_TRUE(TempFiles(dir.Path()).empty());

    ASSERT_TRUE(Save(target.string(), "new"));
    EXPECT_EQ(ReadWide(target), "new");
    EXPECT_TRUE(TempFiles(dir.Path()).empty());
    // A file that did not exist is created.
    ASSERT_TRUE(Save((dir.Path() / "fresh.bin").string(), std::string("\r\n\x1A", 3)));
    EXPECT_EQ(ReadWide(dir.Path() / "fresh.bin"), std::string("\r\n\x1A", 3));
}

TEST(FileReplacementWindows, ReadOnlyTargetIsRefusedAndKept) {
    test::TempDir dir;
    const fs::path target = dir.Path() / "locked.bin";
    WriteWide(target, "keep me");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    std::string error;
    EXPECT_FALSE(Save(target.string(), "replaced", &error));
    EXPECT_EQ(error, "Permission denied");
    EXPECT_EQ(ReadWide(target), "keep me");
    EXPECT_TRUE(TempFiles(dir.Path()).empty());
    EXPECT_NE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A folder in the file's place is refused as well.
    EXPECT_FALSE(Save(dir.Path().string(), "x", &error));
    EXPECT_EQ(error, "Is a directory");
}

TEST(FileReplacementWindows, NamesBeyondTheAnsiCodePage) {
    test::TempDir dir;
    const fs::path target = dir.Path() / L"Pr\u00fcfung-\u03a9-\u65e5\u672c.hex";
    ASSERT_TRUE(Save(Utf8FromWide(target.wstring()), "first"));
    EXPECT_EQ(ReadWide(target), "first");
    ASSERT_TRUE(Save(Utf8FromWide(target.wstring()), "second"));
    EXPECT_EQ(ReadWide(target), "second");
    EXPECT_TRUE(TempFiles(dir.Path()).empty());
}

// Bytes that are not UTF-8 name no file: refused, not guessed at.
TEST(FileReplacementWindows, NameThatIsNotUtf8IsRefused) {
    test::TempDir dir;
    const std::string bad = Utf8FromWide(dir.Path().wstring()) + "\\bad-\xFF.hex";
    std::string error;
    EXPECT_FALSE(Save(bad, "x", &error));
    EXPECT_EQ(error, std::strerror(EILSEQ));
    EXPECT_EQ(OutputProblem(bad), std::strerror(EILSEQ));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(FileReplacementWindows, SymbolicLinkIsWrittenThrough) {
    test::TempDir dir;
    const fs::path real = dir.Path() / "real.bin";
    const fs::path link = dir.Path() / "link.bin";
    WriteWide(real, "old");
    if (!CreateSymbolicLinkW(link.c_str(), real.c_str(),
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        GTEST_SKIP() << "symbolic links: this account may not create them (Windows "
                        "developer mode or administrator rights)";
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        GTEST_SKIP() << "symbolic links: CreateSymbolicLinkW reported success but made no "
                        "link (Wine)";
    ASSERT_TRUE(Save(link.string(), "new"));
    EXPECT_EQ(ReadWide(real), "new");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_TRUE(TempFiles(dir.Path()).empty());
}

} // namespace
} // namespace velmar

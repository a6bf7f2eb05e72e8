// Windows console conventions of velmar-cli: Ctrl-C and Ctrl-Break act as the
// Quit button once, a second one ends the process; folders are checked for
// writing by trying.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <io.h>
#include <string>
#include <vector>

#include "buffer/TemporaryFile.h"
#include "cli/ConsolePanel.h"
#include "cli/Platform.h"

namespace velmar::cli {
namespace {

int gCalls = 0;
void Count() {
    ++gCalls;
}

TEST(CliPlatformWindows, CtrlCAndCtrlBreakActOnceThenEndTheProcess) {
    for (DWORD first : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}}) {
        gCalls = 0;
        platform::InstallInterruptHandler(Count);
        EXPECT_TRUE(platform::HandleConsoleEvent(first));
        EXPECT_EQ(gCalls, 1);
        // The second is left to Windows' default handler, which ends the process.
        EXPECT_FALSE(platform::HandleConsoleEvent(CTRL_C_EVENT));
        EXPECT_FALSE(platform::HandleConsoleEvent(CTRL_BREAK_EVENT));
        EXPECT_EQ(gCalls, 1);
    }
    platform::InstallInterruptHandler(nullptr);

    // Through the panel: the event stops an operation that offers Quit.
    std::FILE* out = velmar::OpenTemporaryFile();
    std::FILE* err = velmar::OpenTemporaryFile();
    ASSERT_TRUE(out && err);
    {
        ConsolePanel panel(out, err, false);
        int stops = 0;
        panel.SetStopRequest([&stops] { ++stops; });
        ConsolePanel::InstallInterruptHandler();
        panel.EnterBusyState();
        panel.QuitOffered();
        EXPECT_TRUE(platform::HandleConsoleEvent(CTRL_BREAK_EVENT));
        panel.PumpEvents();
        EXPECT_EQ(stops, 1);
        panel.LeaveBusyState(true);
    }
    SetConsoleCtrlHandler(nullptr, FALSE);
    std::fclose(out);
    std::fclose(err);
}

TEST(CliPlatformWindows, FolderWritableByTrying) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    int error = 0;
    EXPECT_TRUE(platform::DirectoryWritable(dir.string(), error));
    // The probe file is gone again.
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().rfind(".velmar-write-probe-", 0),
                  std::string::npos);
    EXPECT_FALSE(platform::DirectoryWritable((dir / "no-such-folder-velmar").string(), error));
    EXPECT_EQ(error, ENOENT);
}

// A loaded file is read through a temporary file: in the user's temporary
// folder (msvcrt's tmpfile() uses the drive's root, closed to most users),
// one per stream, and gone when closed.
TEST(CliPlatformWindows, MemoryStreamsLiveInTheTemporaryFolder) {
    std::vector<std::string> contents;
    std::vector<std::FILE*> streams;
    for (int i = 0; i < 20; ++i) {
        contents.push_back(std::string(1000 + i, static_cast<char>('a' + i)));
        streams.push_back(platform::OpenMemoryStream(contents.back()));
        ASSERT_NE(streams.back(), nullptr);
    }
    wchar_t folder[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, folder), 0u);
    const auto temporary = std::filesystem::canonical(folder);
    std::vector<std::filesystem::path> paths;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(streams[i])));
        wchar_t name[MAX_PATH + 1];
        const DWORD n = GetFinalPathNameByHandleW(h, name, MAX_PATH + 1, 0);
        ASSERT_GT(n, 0u);
        ASSERT_LE(n, DWORD{MAX_PATH});
        std::wstring path(name, n);
        if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
        paths.push_back(std::filesystem::path(path));
        EXPECT_EQ(std::filesystem::canonical(paths.back().parent_path()), temporary);
        std::string back(contents[i].size() + 1, '\0');
        EXPECT_EQ(std::fread(back.data(), 1, back.size(), streams[i]), contents[i].size());
        back.resize(contents[i].size());
        EXPECT_EQ(back, contents[i]);
    }
    for (std::FILE* s : streams)
        std::fclose(s);
    for (const auto& p : paths)
        EXPECT_FALSE(std::filesystem::exists(p)) << p;
}

} // namespace
} // namespace velmar::cli

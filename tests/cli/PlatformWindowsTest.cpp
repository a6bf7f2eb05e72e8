// Windows console conventions of velmar-cli: Ctrl-C and Ctrl-Break act as the
// Quit button once, a second one ends the process; folders are checked for
// writing by trying.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

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
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
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

} // namespace
} // namespace velmar::cli

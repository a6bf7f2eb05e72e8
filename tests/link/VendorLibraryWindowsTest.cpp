// Windows loads the vendor DLL from the program's folder and the system
// folder only: a copy in the working directory or on PATH is never taken.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "link/VendorLibrary.h"
#include "tests/support/Portable.h"

namespace velmar {
namespace {

namespace fs = std::filesystem;

fs::path ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

TEST(VendorLibraryWindows, OnlyTheProgramFolderAndTheSystemFolderAreSearched) {
    const std::string name = "velmar-search-" + std::to_string(GetCurrentProcessId()) + ".dll";
    const fs::path planted =
        fs::temp_directory_path() / ("velmar-plant-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(planted);
    fs::copy_file(MINI_FULL, planted / name, fs::copy_options::overwrite_existing);

    // In the working directory and on PATH: refused.
    const fs::path oldDir = fs::current_path();
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    fs::current_path(planted);
    test::SetEnv("PATH", planted.string() + ";" + savedPath);
    EXPECT_EQ(LoadVendorLibrary(name.c_str()), nullptr);
    EXPECT_NE(VendorLibraryError().find("not found in the program's folder or the system folder"),
              std::string::npos)
        << VendorLibraryError();
    fs::current_path(oldDir);
    test::SetEnv("PATH", savedPath);

    // Beside the program: taken.
    const fs::path beside = ProgramFolder() / name;
    fs::copy_file(MINI_FULL, beside, fs::copy_options::overwrite_existing);
    EXPECT_NE(LoadVendorLibrary(name.c_str()), nullptr) << VendorLibraryError();

    std::error_code ignored;
    fs::remove_all(planted, ignored);
    // Still loaded, so it cannot go now; MoveFileEx removes it at the next restart,
    // and the name is never reused.
    if (!fs::remove(beside, ignored))
        MoveFileExW(beside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

} // namespace
} // namespace velmar

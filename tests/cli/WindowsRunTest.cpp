// velmar-cli.exe on Windows: the missing vendor driver is named as such, the
// drop-in beside the program is found, and file names beyond the ANSI code
// page reach the files.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "CliRunner.h"

namespace velmar::clitest {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliWindows, VendorDriverMissingOrBesideTheProgram) {
    // The built velmar-cli.exe has no ftd2xx.dll beside it.
    CliRun run = RunCli({"probe"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "velmar-cli: the FTDI D2XX driver ftd2xx.dll cannot be used: not "
                             "found in the program's folder or the system folder."))
        << run.err;
    EXPECT_FALSE(Has(run.err, "Could Not Be Found")) << run.err;

    run = RunCliWithDropIn({"probe"}, {"VELMAR_VIRTUAL_OPTIONS="});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Usb Programmer Found - FirmWare Version 1.23\n");
}

TEST(CliWindows, FileNamesBeyondTheAnsiCodePage) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    // The program's manifest makes every narrow call take UTF-8.
    const std::string in = dir.Path("Pr\xC3\xBC"
                                    "fung-\xCE\xA9.bin");
    const std::string out = dir.Path("\xE6\x97\xA5\xE6\x9C\xAC.bin");
    const fs::path wideIn = fs::path(dir.Path("")) / L"Pr\u00fcfung-\u03a9.bin";
    const fs::path wideOut = fs::path(dir.Path("")) / L"\u65e5\u672c.bin";
    std::vector<unsigned char> image(0x2000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7 + 3);
    {
        std::ofstream file(wideIn, std::ios::binary);
        file.write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
    }
    const std::string chip = dir.Path("chip.bin");
    CliRun run = RunCli({"--virtual=save-chip=" + chip, "--device", "89C52", "program", in});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip), image);
    run = RunCli({"--virtual=chip=" + chip, "--device", "89C52", "read", out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::ifstream back(wideOut, std::ios::binary);
    EXPECT_EQ(std::vector<unsigned char>(std::istreambuf_iterator<char>(back), {}), image);
}

} // namespace
} // namespace velmar::clitest

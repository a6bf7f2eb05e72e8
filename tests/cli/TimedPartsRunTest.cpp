// Every catalogue part through velmar-cli on the virtual programmer with its
// timing model on: program, verify and read back, each a run of its own on
// the chip the run before left. Slow by nature (an 874X block takes 12.8 s,
// the 8741 its host-timed pulses).
#include <gtest/gtest.h>

#include <filesystem>

#include "CliRunner.h"
#include "tests/support/TimedPartImage.h"

using namespace velmar::clitest;

namespace {

class TimedPartOnCli : public ::testing::TestWithParam<int> {};

TEST_P(TimedPartOnCli, ProgramsVerifiesAndReadsBack) {
    const int row = GetParam();
    const std::string part = velmar::test::PartName(row);
    const std::vector<std::uint8_t> image = velmar::test::WorstFirstBlockImage(row);
    ScratchDir dir;
    const std::string imageFile = dir.Path("image.bin");
    const std::string chip = dir.Path("chip.bin");
    const std::string back = dir.Path("back.bin");
    WriteBytes(imageFile, Bytes(image.begin(), image.end()));

    CliRun run =
        RunCli({"--virtual=timing=on,save-chip=" + chip, "--device", part, "program", imageFile});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "Eprom is Programmed...............")) << run.err;
    EXPECT_TRUE(Has(run.err, "Device Verified to Buffer....")) << run.err;
    EXPECT_FALSE(Has(run.err, "Device no longer present")) << run.err;
    ASSERT_EQ(ReadBytes(chip), Bytes(image.begin(), image.end()));

    run = RunCli({"--virtual=timing=on,chip=" + chip, "--device", part, "verify", imageFile});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");

    run = RunCli({"--virtual=timing=on,chip=" + chip, "--device", part, "read", back});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(back), Bytes(image.begin(), image.end()));
}

// The 8741, programmed byte by byte under the host's timing: a second part
// is seated only after the first run's idle took the voltage off the socket
// (a part seated under it would be damaged and fail, and leave a note).
TEST(TimedPartOnCliRepeat, The8741IsChangedOnlyWithTheSocketDead) {
    ScratchDir dir;
    Bytes image(256);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7 + 1);
    WriteBytes(dir.Path("image.bin"), image);
    const std::string enter = dir.Path("enter.txt");
    WriteBytes(enter, Bytes{'\n', '\n'});
    const CliRun run =
        RunCliWithInput({"-q", "--virtual=swap=on,save-parts=" + dir.Path("."), "--device", "8741A",
                         "--repeat", "2", "program", dir.Path("image.bin")},
                        enter);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "parts 2, passed 2, failed 0, yield 100.0%")) << run.err;
    for (const char* part : {"part-1", "part-2"}) {
        const Bytes chip = ReadBytes(dir.Path(std::string(part) + ".bin"));
        ASSERT_GE(chip.size(), image.size()) << part;
        EXPECT_EQ(Bytes(chip.begin(), chip.begin() + 256), image) << part;
        EXPECT_FALSE(std::filesystem::exists(dir.Path(std::string(part) + ".txt"))) << part;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPart, TimedPartOnCli, ::testing::ValuesIn(velmar::test::DeviceRows()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return velmar::test::PartTestName(info.param);
                         });

} // namespace

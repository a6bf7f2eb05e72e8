// Every catalogue part through velmar-cli on the virtual programmer with its
// timing model on: program, verify and read back, each a run of its own on
// the chip the run before left. Slow by nature (an 874X block takes 12.8 s,
// the 8741 its host-timed pulses).
#include <gtest/gtest.h>

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

INSTANTIATE_TEST_SUITE_P(EveryPart, TimedPartOnCli, ::testing::ValuesIn(velmar::test::DeviceRows()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return velmar::test::PartTestName(info.param);
                         });

} // namespace

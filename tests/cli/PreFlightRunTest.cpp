// program's pre-flight: a part that cannot take the image is never touched,
// --changed-only writes only the blocks that differ, and an image that does
// not start where the part's code starts is named before anything is sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "CliRunner.h"

using namespace velmar::clitest;

namespace {

long ProgramBlocks(const std::string& trace) {
    const auto lines = ReadLines(trace);
    return std::count_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return l.rfind("41 ", 0) == 0; });
}

TEST(CliPreFlight, APartThatCannotTakeTheImageIsRefused) {
    ScratchDir dir;
    Bytes image = RandomBytes(0x1000, 4);
    image[0x0123] = 0x7E;
    image[0x0800] = 0x01;
    WriteBytes(dir.Path("image.bin"), image);
    Bytes used(0x1000, 0xFF);
    used[0x0123] = 0x5A; // bits the image needs at 1 are 0
    used[0x0800] = 0x00;
    WriteBytes(dir.Path("used.bin"), used);
    const std::string options =
        "--virtual=chip=" + dir.Path("used.bin") + ",trace=" + dir.Path("t");
    CliRun run =
        RunCli({options, "--device", "87C51H", "program", "--precheck", dir.Path("image.bin")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "2 bytes cannot take the image: the part is not blank where the "
                             "image needs erased bits; first 0123: holds 5A, image 7E"))
        << run.err;
    EXPECT_EQ(ProgramBlocks(dir.Path("t")), 0);

    // A blank part: how much already holds the image, then the whole run.
    run = RunCli({"--virtual=trace=" + dir.Path("t"), "--device", "87C51H", "program", "--precheck",
                  dir.Path("image.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, " of 4096 bytes already hold the image")) << run.err;
    EXPECT_EQ(ProgramBlocks(dir.Path("t")), 16);
}

TEST(CliPreFlight, ChangedOnlyProgramsTheBlocksThatDiffer) {
    ScratchDir dir;
    const Bytes image = RandomBytes(0x2000, 5);
    WriteBytes(dir.Path("image.bin"), image);
    Bytes part = image;
    std::fill(part.begin() + 0x0300, part.begin() + 0x0500, 0xFF); // two blocks erased
    part[0x1FFF] = 0xFF;                                           // and one byte
    WriteBytes(dir.Path("part.bin"), part);
    const std::string options = "--virtual=chip=" + dir.Path("part.bin") +
                                ",save-chip=" + dir.Path("after.bin") + ",trace=" + dir.Path("t");
    CliRun run =
        RunCli({options, "--device", "87C52H", "program", "--changed-only", dir.Path("image.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ProgramBlocks(dir.Path("t")), 3);
    EXPECT_TRUE(Has(run.err, "skipped 29 of 32 blocks that already hold the image")) << run.err;
    EXPECT_EQ(ReadBytes(dir.Path("after.bin")), image);
}

TEST(CliPreFlight, AnImageAwayFromTheResetVectorIsNamedFirst) {
    ScratchDir dir;
    Bytes late(0x2100, 0xFF);
    late[0x2000] = 0x02;
    WriteBytes(dir.Path("late.bin"), late);
    const std::string trace = "--virtual=trace=" + dir.Path("t");
    CliRun run = RunCli({trace, "--device", "89C55", "program", "--strict", dir.Path("late.bin")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "the image's data start at 2000, the part's code starts at 0000: "
                             "wrong --offset?"))
        << run.err;
    EXPECT_TRUE(ReadLines(dir.Path("t")).empty()); // the programmer was not touched

    Bytes noVector = RandomBytes(0x100, 6);
    std::fill(noVector.begin(), noVector.begin() + 3, 0xFF);
    WriteBytes(dir.Path("vector.bin"), noVector);
    run = RunCli({"--virtual", "--device", "87C51H", "program", dir.Path("vector.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err; // without --strict a warning only
    EXPECT_TRUE(Has(run.err, "warning: the image's reset vector (0000-0002) holds only FF"))
        << run.err;
}

} // namespace

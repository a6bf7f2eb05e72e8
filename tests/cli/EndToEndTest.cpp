// A real 8051 program, compiled with sdcc at build time, programmed and
// verified into every part of families 2 to 6 on the virtual programmer and
// read back: the chip must hold exactly the buffer the hex file gave.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "devices/DeviceCatalogue.h"

using namespace velmar::clitest;

namespace {

const std::string kImage = std::string(VELMAR_SDCC_DIR) + "/echo7seg.ihx";

// The image as the peer tool srec_cat sees it, placed in a buffer of `pad`
// bytes (the part's erased value, which the buffer holds before a load).
Bytes PeerImage(const ScratchDir& dir, std::size_t size, unsigned char pad = 0x00) {
#if defined(_WIN32)
    // srec_cat ran on the build machine (tests/cli/CMakeLists.txt).
    (void)dir;
    const std::string out = kImage + ".peer.bin";
#else
    const std::string out = dir.Path("peer.bin");
    const std::string command =
        "srec_cat '" + kImage + "' -intel -o '" + out + "' -binary 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
#endif
    Bytes image = ReadBytes(out);
    if (size > 0) image.resize(size, pad);
    return image;
}

std::vector<std::string> DevicesOfFamilies2To6() {
    std::vector<std::string> names;
    for (const auto& row : velmar::DeviceCatalogue()) {
        if (!row.IsDevice || row.Can().ProgramsBytewise) continue;
        std::string name(row.Caption);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        names.push_back(name);
    }
    return names;
}

class EndToEnd : public testing::TestWithParam<std::string> {};

} // namespace

TEST(EndToEndImage, IsRealCodeThatFitsEveryPart) {
    ScratchDir dir;
    const Bytes image = PeerImage(dir, 0);
    ASSERT_FALSE(image.empty()) << "srec_cat could not read " << kImage;
    EXPECT_LE(image.size(), 1024u);
    EXPECT_GE(image.size(), 200u);
    EXPECT_EQ(image[0], 0x02); // LJMP to the start-up code
    EXPECT_EQ(DevicesOfFamilies2To6().size(), 20u);
}

TEST_P(EndToEnd, ProgramVerifyAndReadBack) {
    const std::string device = GetParam();
    const auto row = velmar::FindCatalogueRow(device);
    ASSERT_TRUE(row.has_value());
    const auto& part = velmar::DeviceCatalogue()[static_cast<std::size_t>(*row)];
    const std::size_t size = static_cast<std::size_t>(part.DeviceEnd) + 1;

    ScratchDir dir;
    const Bytes expected = PeerImage(dir, size, part.Can().ErasedValue);
    ASSERT_EQ(expected.size(), size);
    const std::string chip = dir.Path("chip.bin");

    CliRun run = RunCli({"--virtual=save-chip=" + chip, "--device", device, "program", kImage});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Eprom is Programmed..............."), std::string::npos);
    EXPECT_NE(run.err.find("Device Verified to Buffer...."), std::string::npos);
    EXPECT_EQ(run.out, "");
    ASSERT_EQ(ReadBytes(chip), expected);

    run = RunCli({"--virtual=chip=" + chip, "--device", device, "verify", kImage});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");

    const std::string back = dir.Path("back.bin");
    run = RunCli({"--virtual=chip=" + chip, "--device", device, "read", back});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(back), expected);
}

INSTANTIATE_TEST_SUITE_P(EveryPart, EndToEnd, testing::ValuesIn(DevicesOfFamilies2To6()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

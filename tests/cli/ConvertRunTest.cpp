// velmar-cli convert against the peer tool srec_cat, whole files through the
// command line: what one writes the other reads back to the same bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "CliRunner.h"

using namespace velmar::clitest;

namespace {

const std::string kImage = std::string(VELMAR_SDCC_DIR) + "/echo7seg.ihx";
constexpr std::size_t k87C51HSize = 0x1000;

bool SrecCat(const std::string& args) {
    return std::system(("srec_cat " + args + " 2>/dev/null").c_str()) == 0;
}

// srec_cat's own reading of a file as a binary image from address 0, padded
// with zeros to the device size.
Bytes PeerBinary(const ScratchDir& dir, const std::string& file, const std::string& format) {
    const std::string out = dir.Path("peer-" + format + ".bin");
    if (!SrecCat("'" + file + "' -" + format + " -o '" + out + "' -binary")) return {};
    Bytes bytes = ReadBytes(out);
    bytes.resize(k87C51HSize, 0x00);
    return bytes;
}

} // namespace

TEST(CliConvert, OurHexFilesReadBackBySrecCat) {
#if defined(_WIN32)
    GTEST_SKIP()
        << "srec_cat cross-check: srec_cat is a Linux tool; the Linux build runs this check";
#endif
    ScratchDir dir;
    const Bytes expected = PeerBinary(dir, kImage, "intel");
    ASSERT_EQ(expected.size(), k87C51HSize);

    const std::string bin = dir.Path("image.bin");
    CliRun run =
        RunCli({"convert", "--from", "intel", "--to", "binary", "--device", "87C51H", kImage, bin});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(bin), expected);

    const std::string s28 = dir.Path("image.s28");
    run =
        RunCli({"convert", "--from", "binary", "--to", "motorola", "--device", "87C51H", bin, s28});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadLines(s28).back(), "S804000000FB\r");
    EXPECT_EQ(PeerBinary(dir, s28, "motorola"), expected);

    const std::string hex = dir.Path("image.hex");
    run =
        RunCli({"convert", "--from", "motorola", "--to", "intel", "--device", "87C51H", s28, hex});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(PeerBinary(dir, hex, "intel"), expected);
}

TEST(CliConvert, SrecCatFilesLoadAsSrecCatReadsThem) {
#if defined(_WIN32)
    GTEST_SKIP()
        << "srec_cat cross-check: srec_cat is a Linux tool; the Linux build runs this check";
#endif
    ScratchDir dir;
    const Bytes expected = PeerBinary(dir, kImage, "intel");
    ASSERT_EQ(expected.size(), k87C51HSize);

    // S19 with srec_cat's S0 header and S5 count, and Intel with 16-byte lines.
    const std::string s19 = dir.Path("peer.s19");
    ASSERT_TRUE(SrecCat("'" + kImage + "' -intel -o '" + s19 + "' -motorola"));
    const std::string ihx = dir.Path("peer.hex");
    ASSERT_TRUE(SrecCat("'" + kImage + "' -intel -o '" + ihx + "' -intel -output_block_size=16"));

    for (const auto& [file, format] :
         std::vector<std::pair<std::string, std::string>>{{s19, "motorola"}, {ihx, "intel"}}) {
        const std::string out = dir.Path(format + ".bin");
        const CliRun run = RunCli(
            {"convert", "--from", format, "--to", "binary", "--device", "87C51H", file, out});
        EXPECT_EQ(run.exitCode, 0) << format << "\n" << run.err;
        EXPECT_EQ(ReadBytes(out), expected) << format;
    }

    // ASCII hex has no peer: it must at least come back as it went out.
    const std::string ascii = dir.Path("image.txt");
    const std::string back = dir.Path("back.bin");
    ASSERT_EQ(
        RunCli({"convert", "--from", "intel", "--to", "ascii", "--device", "87C51H", kImage, ascii})
            .exitCode,
        0);
    ASSERT_EQ(
        RunCli({"convert", "--from", "ascii", "--to", "binary", "--device", "87C51H", ascii, back})
            .exitCode,
        0);
    EXPECT_EQ(ReadBytes(back), expected);
}

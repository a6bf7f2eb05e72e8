#include <gtest/gtest.h>

#include <filesystem>

#include "cli/Arguments.h"
#include "cli/Convert.h"
#include "cli/Operations.h"
#include "cli/UsageText.h"
#include "tests/support/TempDir.h"

namespace velmar {
namespace {

class ConvertTest : public ::testing::Test {
  protected:
    // As velmar-cli runs "convert ARGS": a line it refuses exits 2.
    int Convert(std::vector<std::string> args) {
        args.insert(args.begin(), "convert");
        const cli::ParseResult parsed = cli::ParseArguments(args);
        if (!parsed.error.empty()) return cli::ExitUsage;
        if (parsed.arguments.command == cli::Command::Help) return cli::ExitSuccess;
        return cli::RunConvert(parsed.arguments.convert, parsed.arguments.verbosity);
    }
    std::string F(const std::string& name) const { return dir.File(name); }
    std::string Fixture(const std::string& name) const {
        return std::string(VELMAR_FIXTURES) + "/formats/" + name;
    }

    test::TempDir dir;
};

TEST_F(ConvertTest, FilesRoundTripBetweenFormats) {
    ASSERT_EQ(Convert({"--from", "intel", "--to", "binary", "--device", "8741a",
                       Fixture("window1k_intel.hex"), F("a.bin")}),
              0);
    std::string expected(1024, '\xFF');
    expected[0] = 0;
    expected[1] = 1;
    expected[2] = 2;
    EXPECT_EQ(test::ReadFile(F("a.bin")), expected);

    ASSERT_EQ(Convert({"--from=binary", "--to=motorola", "--device=8741A", F("a.bin"), F("a.s28")}),
              0);
    EXPECT_EQ(test::ReadFile(F("a.s28")), test::DataFile("window1k_motorola.s28"));
    ASSERT_EQ(Convert({"--from", "motorola", "--to", "ascii", "--device", "8748", F("a.s28"),
                       F("a.txt")}),
              0);
    EXPECT_EQ(test::ReadFile(F("a.txt")), test::DataFile("window1k_ascii.txt"));
    ASSERT_EQ(
        Convert({"--from", "ascii", "--to", "intel", "--device", "8748H", F("a.txt"), F("a.hex")}),
        0);
    EXPECT_EQ(test::ReadFile(F("a.hex")), test::DataFile("window1k_intel.hex"));
}

TEST_F(ConvertTest, EndAndLimitDefaults) {
    test::WriteFile(F("in.bin"), "\x01\x02\x03");
    ASSERT_EQ(Convert({"--from", "binary", "--to", "binary", F("in.bin"), F("none.bin")}), 0);
    // No device: up to the highest address the input stored.
    EXPECT_EQ(test::ReadFile(F("none.bin")), "\x01\x02\x03");
    ASSERT_EQ(
        Convert({"--from", "binary", "--to", "binary", "--limit", "0", F("in.bin"), F("zero.bin")}),
        0);
    EXPECT_EQ(test::ReadFile(F("zero.bin")), "\x01\x02\x03");
    ASSERT_EQ(
        Convert({"--from", "binary", "--to", "binary", "--end", "0", F("in.bin"), F("end0.bin")}),
        0);
    EXPECT_EQ(test::ReadFile(F("end0.bin")), "\x01");
    ASSERT_EQ(Convert({"--from", "binary", "--to", "binary", "--device", "89S8252", F("in.bin"),
                       F("dev.bin")}),
              0);
    EXPECT_EQ(test::ReadFile(F("dev.bin")).size(), 0x2800u);
    ASSERT_EQ(Convert({"--from", "binary", "--to", "motorola", "--device", "87C58H", "--end",
                       "0x12", F("in.bin"), F("end.s28")}),
              0);
    EXPECT_EQ(
        test::ReadFile(F("end.s28")),
        "S21400000001020300000000000000000000000000E5\r\nS207000010000000E8\r\nS804000000FB\r\n");
}

TEST_F(ConvertTest, OffsetBufferStartAndFold) {
    test::WriteFile(F("in.hex"), ":01480000BBFC\n:01801000CCA3\n:00000001FF\n");
    // A 20 KiB part keeps its own addresses; others fold into the mask.
    ASSERT_EQ(Convert({"--from", "intel", "--to", "binary", "--device", "89C55", F("in.hex"),
                       F("c55.bin")}),
              0);
    const std::string c55 = test::ReadFile(F("c55.bin"));
    ASSERT_EQ(c55.size(), 0x5000u);
    EXPECT_EQ(static_cast<unsigned char>(c55[0x4800]), 0xBB);
    EXPECT_EQ(static_cast<unsigned char>(c55[0x0010]), 0xCC);
    ASSERT_EQ(Convert({"--from", "intel", "--to", "binary", "--limit", "FFF", "--offset", "20",
                       F("in.hex"), F("o.bin")}),
              0);
    const std::string folded = test::ReadFile(F("o.bin"));
    ASSERT_EQ(folded.size(), 0x821u);                           // up to the highest address stored
    EXPECT_EQ(static_cast<unsigned char>(folded[0x820]), 0xBB); // 0x4820 folded
    EXPECT_EQ(static_cast<unsigned char>(folded[0x030]), 0xCC);

    test::WriteFile(F("two.bin"), "\x11\x22");
    ASSERT_EQ(Convert({"--from", "binary", "--to", "ascii", "--limit", "0xFF", "--buffer-start",
                       "0E", F("two.bin"), F("two.txt")}),
              0);
    const std::string expected = std::string(28, '0') + "1122\r\n";
    EXPECT_EQ(test::ReadFile(F("two.txt")), expected);
}

TEST_F(ConvertTest, ExitStatus) {
    test::WriteFile(F("good.hex"), ":0100000011EE\n");
    EXPECT_EQ(Convert({"--help"}), 0);
    EXPECT_EQ(Convert({}), 2);
    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", F("good.hex")}), 2);
    EXPECT_EQ(Convert({"--from", "elf", "--to", "binary", F("good.hex"), F("o.bin")}), 2);
    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", "--device", "8741A", "--limit", "3FF",
                       F("good.hex"), F("o.bin")}),
              2);
    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", "--device", "Z80", F("good.hex"),
                       F("o.bin")}),
              2);
    EXPECT_EQ(
        Convert({"--from", "intel", "--to", "binary", "--limit", "G", F("good.hex"), F("o.bin")}),
        2);
    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", "--limit", "123456", F("good.hex"),
                       F("o.bin")}),
              2);
    EXPECT_EQ(
        Convert({"--from", "intel", "--to", "binary", "--bogus", "1", F("good.hex"), F("o.bin")}),
        2);
    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", "--end"}), 2);
    EXPECT_FALSE(std::filesystem::exists(F("o.bin")));

    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", F("missing.hex"), F("o.bin")}), 2);
    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", F("good.hex"), dir.Path().string()}),
              2);
    EXPECT_FALSE(std::filesystem::exists(F("o.bin")));

    test::WriteFile(F("broken.hex"), ":01000000G1EE\n");
    EXPECT_EQ(Convert({"--from", "intel", "--to", "binary", F("broken.hex"), F("o.bin")}), 1);
    EXPECT_FALSE(std::filesystem::exists(F("o.bin")));

    test::WriteFile(F("sum.hex"), ":0100000011FF\n");
    EXPECT_EQ(
        Convert({"--from", "intel", "--to", "binary", "--limit", "3FF", F("sum.hex"), F("o.bin")}),
        1);
    EXPECT_EQ(test::ReadFile(F("o.bin")).substr(0, 1), "\x11"); // still written

    EXPECT_EQ(
        Convert({"--from", "intel", "--to", "binary", "--limit", "3FF", F("good.hex"), F("o.bin")}),
        0);
    EXPECT_NE(cli::UsageText().find("0xFFFFF without a device"), std::string::npos);
}

// Hex to hex writes only what the input stored; --fill fills the gaps, and
// binary and ASCII hex, which have no addresses, keep the buffer's fill.
TEST_F(ConvertTest, HexGapsStayGapsUnlessFilled) {
    test::WriteFile(F("sparse.hex"), ":020010001122BB\n:0100230033A9\n:00000001FF\n");
    ASSERT_EQ(Convert({"--to", "intel", "--device", "89C52", F("sparse.hex"), F("o.hex")}), 0);
    EXPECT_EQ(test::ReadFile(F("o.hex")),
              ":020000020000FC\r\n:020010001122BB\r\n:0100230033A9\r\n:00000001FF\r\n");
    ASSERT_EQ(Convert({"--to", "motorola", F("sparse.hex"), F("o.s28")}), 0);
    EXPECT_EQ(test::ReadFile(F("o.s28")), "S2060000101122B6\r\nS20500002333A4\r\nS804000000FB\r\n");

    ASSERT_EQ(
        Convert({"--to", "intel", "--fill", "FF", "--end", "1F", F("sparse.hex"), F("f.hex")}), 0);
    EXPECT_EQ(test::ReadFile(F("f.hex")),
              ":020000020000FC\r\n:10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
              ":100010001122FFFFFFFFFFFFFFFFFFFFFFFFFFFFBB\r\n:00000001FF\r\n");
    ASSERT_EQ(Convert({"--to", "binary", F("sparse.hex"), F("z.bin")}), 0);
    EXPECT_EQ(test::ReadFile(F("z.bin")),
              std::string(16, '\0') + "\x11\x22" + std::string(17, '\0') + "\x33");
    ASSERT_EQ(Convert({"--to", "binary", "--fill", "ff", F("sparse.hex"), F("f.bin")}), 0);
    EXPECT_EQ(test::ReadFile(F("f.bin")).substr(0x12), std::string(17, '\xFF') + "\x33");
    ASSERT_EQ(Convert({"--to", "ascii", "--end", "0F", F("sparse.hex"), F("a.txt")}), 0);
    EXPECT_EQ(test::ReadFile(F("a.txt")), std::string(32, '0') + "\r\n");
    EXPECT_EQ(Convert({"--to", "intel", "--fill", "100", F("sparse.hex"), F("x.hex")}), 2);

    // Past FFFF with no device to fold onto: refused unless --fold.
    test::WriteFile(F("far.hex"),
                    ":020000040001F9\n:01001000559A\n:020000040000FA\n:0100000011EE\n");
    EXPECT_EQ(Convert({"--to", "binary", F("far.hex"), F("far.bin")}), 1);
    EXPECT_FALSE(std::filesystem::exists(F("far.bin")));
    ASSERT_EQ(Convert({"--to", "binary", "--fold", F("far.hex"), F("far.bin")}), 0);
    EXPECT_EQ(test::ReadFile(F("far.bin")), "\x11" + std::string(15, '\0') + "\x55");
    test::WriteFile(F("long.bin"), std::string(0x10001, '\x42'));
    EXPECT_EQ(Convert({"--to", "intel", F("long.bin"), F("long.hex")}), 1);
    EXPECT_EQ(Convert({"--to", "intel", "--fold", F("long.bin"), F("long.hex")}), 0);
}

// Lines that are no records, or records that disagree, stop convert unless
// --skip-bad-lines; text is not converted as binary unless --from says so.
TEST_F(ConvertTest, UnsoundInputIsRefusedUnlessAsked) {
    test::WriteFile(F("junk.hex"), ":0100000011EE\n  :0100010022DC\nnot a record\n");
    EXPECT_EQ(Convert({"--to", "binary", F("junk.hex"), F("o.bin")}), 1);
    EXPECT_FALSE(std::filesystem::exists(F("o.bin")));
    ASSERT_EQ(Convert({"--to", "binary", "--skip-bad-lines", F("junk.hex"), F("o.bin")}), 0);
    EXPECT_EQ(test::ReadFile(F("o.bin")), "\x11\x22");
    test::WriteFile(F("twice.hex"), ":0100000011EE\n:0100000022DD\n");
    EXPECT_EQ(Convert({"--to", "binary", F("twice.hex"), F("t.bin")}), 1);
    EXPECT_FALSE(std::filesystem::exists(F("t.bin")));

    test::WriteFile(F("notes.txt"), "Remember to erase the part first.\n");
    EXPECT_EQ(Convert({"--to", "intel", F("notes.txt"), F("n.hex")}), 1);
    EXPECT_FALSE(std::filesystem::exists(F("n.hex")));
    EXPECT_EQ(Convert({"--from", "binary", "--to", "intel", F("notes.txt"), F("n.hex")}), 0);
}

} // namespace
} // namespace velmar

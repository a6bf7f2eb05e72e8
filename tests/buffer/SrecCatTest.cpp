// Cross-checks against srecord's srec_cat, an independent reader and writer
// of the same formats.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <tuple>

#include "buffer/HexReader.h"
#include "buffer/HexWriter.h"
#include "tests/support/RecordingPanel.h"
#include "tests/support/TempDir.h"

namespace velmar {
namespace {

class SrecCatTest : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(_WIN32)
        GTEST_SKIP()
            << "srec_cat cross-check: srec_cat is a Linux tool; the Linux build runs this check";
#endif
        ASSERT_EQ(std::system("command -v srec_cat >/dev/null 2>&1"), 0)
            << "srec_cat is not installed (scripts/setup)";
        std::mt19937 random(11);
        for (int i = 0; i < kBufferSize; ++i)
            image[i] = static_cast<std::uint8_t>(random());
    }
    static void Run(const std::string& command) {
        ASSERT_EQ(std::system((command + " 2>&1").c_str()), 0) << command;
    }
    std::string Q(const std::string& name) const {
        return "'" + dir.File(name) + "'";
    }

    // srec_cat's binary image of `file`, read in `format`.
    std::string SrecBinary(const std::string& file, const std::string& format) {
        Run("srec_cat " + Q(file) + " " + format + " -o " + Q("srec.bin") + " -Binary");
        return test::ReadFile(dir.File("srec.bin"));
    }

    // Our buffer after loading `file` into zeros with no fold in the way.
    DataBuffer Ours(const std::string& file, int fileType, HexLoadResult* out = nullptr) {
        DataBuffer buffer;
        AddressWindow window;
        window.DeviceLimit = 0xFFFFF;
        const HexLoadResult r =
            LoadHexFile(dir.File(file), static_cast<FileType>(fileType), buffer, window, panel);
        EXPECT_TRUE(r.ok) << file;
        EXPECT_EQ(r.badChecksumRecords, 0) << file;
        if (out) *out = r;
        return buffer;
    }

    test::TempDir dir;
    test::RecordingPanel panel;
    DataBuffer image;
};

TEST_F(SrecCatTest, ReadsOurOutputBackToTheSameBytes) {
    for (std::int32_t end : {0x12, 0x3FF, 0x4FFF, 0x7FFF, 0xFFFF}) {
        SCOPED_TRACE(end);
        test::WriteFile(dir.File("ours.hex"), HexFileText(image, IntelHexFileType, end));
        const std::string intel = SrecBinary("ours.hex", "-Intel");
        // The Intel writer runs on to the end of the 16-byte record holding the end.
        const std::size_t intelLength = static_cast<std::size_t>(end / 16 + 1) * 16;
        ASSERT_EQ(intel.size(), intelLength);
        EXPECT_EQ(0, std::memcmp(intel.data(), image.data(), intelLength));

        test::WriteFile(dir.File("ours.s28"), HexFileText(image, MotorolaHexFileType, end));
        const std::string motorola = SrecBinary("ours.s28", "-Motorola");
        ASSERT_EQ(motorola.size(), static_cast<std::size_t>(end) + 1);
        EXPECT_EQ(0, std::memcmp(motorola.data(), image.data(), motorola.size()));
    }
}

TEST_F(SrecCatTest, SrecCatFilesLoadAsItsOwnBinary) {
    test::WriteFile(dir.File("image.bin"),
                    std::string(reinterpret_cast<const char*>(image.data()), 0x5000));
    struct Case {
        const char* name;
        const char* options;
        int fileType;
    };
    const Case cases[] = {
        {"default.hex", "-Intel", 1}, // 32-byte records, linear address record
        {"sixteen.hex", "-Intel -Output_Block_Size=16", 1}, // 16-byte records
        {"records.s19", "-Motorola -address-length=2", 2},  // S0 header, S1, S5 count
        {"records.s28", "-Motorola -address-length=3", 2},  // S2
        {"records.s37", "-Motorola -address-length=4", 2},  // S3
        {"ended.s19", "-Motorola -address-length=2 -execution-start-address=0", 2}, // with S9
        // The longest records each format allows.
        {"long.hex", "-Intel -Output_Block_Size=255", 1},
        {"long.s19", "-Motorola -address-length=2 -Output_Block_Size=252", 2},
        {"long.s37", "-Motorola -address-length=4 -Output_Block_Size=250", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Run("srec_cat " + Q("image.bin") + " -Binary -o " + Q(c.name) + " " + c.options);
        const std::string reference = SrecBinary(c.name, c.fileType == 1 ? "-Intel" : "-Motorola");
        ASSERT_EQ(reference.size(), 0x5000u);
        const DataBuffer ours = Ours(c.name, c.fileType);
        EXPECT_EQ(0, std::memcmp(ours.data(), reference.data(), reference.size()));
        EXPECT_EQ(ours[0x5000], 0);
    }
    // The header and count records were really there and skipped.
    EXPECT_EQ(test::ReadFile(dir.File("records.s19")).rfind("S0", 0), 0u);
    EXPECT_NE(test::ReadFile(dir.File("records.s19")).find("\nS5"), std::string::npos);
}

TEST_F(SrecCatTest, LinearAddressRecordsAcrossSixtyFourKilobytes) {
    // 8 KiB at 0xF000: half below 0x10000, half in the next linear segment.
    test::WriteFile(dir.File("span.bin"),
                    std::string(reinterpret_cast<const char*>(image.data()), 0x2000));
    Run("srec_cat " + Q("span.bin") + " -Binary -offset 0xF000 -o " + Q("span.hex") +
        " -Intel -Output_Block_Size=16");
    Run("srec_cat " + Q("span.bin") + " -Binary -offset 0xF000 -o " + Q("span.s37") +
        " -Motorola -address-length=4");
    EXPECT_NE(test::ReadFile(dir.File("span.hex")).find(":020000040001F9"), std::string::npos);
    for (const auto& [file, type] : {std::pair{"span.hex", 1}, std::pair{"span.s37", 2}}) {
        SCOPED_TRACE(file);
        HexLoadResult r;
        const DataBuffer ours = Ours(file, type, &r);
        EXPECT_EQ(r.droppedBytes, 0x1000); // the half past the buffer
        EXPECT_EQ(0, std::memcmp(ours.data() + 0xF000, image.data(), 0x1000));
        EXPECT_EQ(ours[0], 0); // nothing wrapped round
    }
}

// A file with lines that are no records: srec_cat warns, and so do we. The
// records both read give the same bytes; the indented record srec_cat passes
// over as garbage is read here.
TEST_F(SrecCatTest, LinesThatAreNoRecordsAreNotPassedOverInSilence) {
    test::WriteFile(dir.File("junk.hex"), ":0100000011EE\n"
                                          "  :0100010022DC\n"
                                          "this line is no record\n"
                                          ":0100020033CA\n"
                                          ":00000001FF\n");
    const std::string said = dir.File("said.txt");
    EXPECT_EQ(std::system(("srec_cat " + Q("junk.hex") + " -Intel -o " + Q("srec.bin") +
                           " -Binary >'" + said + "' 2>&1")
                              .c_str()),
              0);
    EXPECT_NE(test::ReadFile(said).find("warning"), std::string::npos) << test::ReadFile(said);
    const std::string reference = test::ReadFile(dir.File("srec.bin"));
    HexLoadResult r;
    const DataBuffer ours = Ours("junk.hex", 1, &r);
    EXPECT_GT(r.skippedLines, 0);
    ASSERT_EQ(reference.size(), 3u);
    EXPECT_EQ(ours[0], static_cast<std::uint8_t>(reference[0]));
    EXPECT_EQ(ours[2], static_cast<std::uint8_t>(reference[2]));
    EXPECT_EQ(ours[1], 0x22);
}

// Ranges with gaps between them come back as the same ranges: srec_cat's
// own rewrite of our records equals its rewrite of the input.
TEST_F(SrecCatTest, GapsBetweenRangesStayGaps) {
    test::WriteFile(dir.File("a.bin"),
                    std::string(reinterpret_cast<const char*>(image.data()), 0x123));
    test::WriteFile(dir.File("b.bin"),
                    std::string(reinterpret_cast<const char*>(image.data()) + 0x500, 0x45));
    Run("srec_cat " + Q("a.bin") + " -Binary -offset 0x10 " + Q("b.bin") +
        " -Binary -offset 0x7F01 -o " + Q("sparse.hex") + " -Intel");
    for (const auto& [name, fileType, format] :
         {std::tuple{"ours.hex", 1, "-Intel"}, std::tuple{"ours.s28", 2, "-Motorola"}}) {
        SCOPED_TRACE(name);
        HexLoadResult r;
        const DataBuffer ours = Ours("sparse.hex", 1, &r);
        test::WriteFile(dir.File(name), HexRunsText(ours, static_cast<FileType>(fileType),
                                                    StoredRanges(r.storedAt, kBufferSize - 1)));
        Run("srec_cat " + Q("sparse.hex") + " -Intel -o " + Q("theirs.txt") + " -Intel");
        Run("srec_cat " + Q(name) + " " + format + " -o " + Q("back.txt") + " -Intel");
        // Our S8 end record carries a start address, which srec_cat keeps.
        std::string back = test::ReadFile(dir.File("back.txt"));
        if (const auto start = back.find(":0400000500000000F7\n"); start != std::string::npos)
            back.erase(start, 20);
        EXPECT_EQ(back, test::ReadFile(dir.File("theirs.txt")));
    }
}

} // namespace
} // namespace velmar

// velmar-cli's diagnosis on the virtual programmer: a part that holds what a
// wrong file, offset, buffer start or fill would not expect is not a fault
// of the part, and a block the programmer refused is named, counted on the
// part line as the diagnosis counts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CliRunner.h"

using namespace velmar::clitest;

namespace {

// Intel HEX records of `data` at `address`, without the end record.
std::string HexRecords(const Bytes& data, unsigned address) {
    std::string text;
    for (std::size_t i = 0; i < data.size(); i += 16) {
        const std::size_t n = std::min<std::size_t>(16, data.size() - i);
        const unsigned at = address + static_cast<unsigned>(i);
        unsigned sum = static_cast<unsigned>(n) + (at >> 8 & 0xFF) + (at & 0xFF);
        char head[16];
        std::snprintf(head, sizeof head, ":%02X%04X00", static_cast<unsigned>(n), at & 0xFFFF);
        text += head;
        for (std::size_t k = 0; k < n; ++k) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02X", data[i + k]);
            text += byte;
            sum += data[i + k];
        }
        char check[4];
        std::snprintf(check, sizeof check, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += check;
    }
    return text;
}

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

// The diagnosis line of a run, or "" when it has none.
std::string DiagnosisOf(const CliRun& run) {
    const std::size_t at = run.err.find("diagnosis: ");
    if (at == std::string::npos) return "";
    return run.err.substr(at, run.err.find('\n', at) - at);
}

// The causes only a fault of the part would give; any of them must come
// with "or the file differs" when the image differs.
bool BlamesThePartForCertain(const std::string& line) {
    for (const char* cause : {"data line D", "address line A", "not fully erased", "Vpp too low",
                              "no part in the socket", "reads differently"})
        if (Has(line, cause) && !Has(line, ", or the file differs (")) return true;
    return false;
}

} // namespace

TEST(CliDiagnosis, ImageDiffersHardwareHealthy) {
    ScratchDir dir;
    // 1.5K of image at 0000 in a 4K 87C51H, programmed through the programmer.
    const Bytes code = RandomBytes(0x600, 30);
    const std::string image = dir.Path("image.hex");
    WriteText(image, HexRecords(code, 0) + ":00000001FF\n");
    const std::string chip = dir.Path("chip.bin");
    ASSERT_EQ(
        RunCli({"--virtual=save-chip=" + chip, "--device", "87C51H", "program", image}).exitCode,
        0);
    const std::string part = "--virtual=chip=" + chip;

    auto verify = [&](std::vector<std::string> options, const std::string& file,
                      const std::string& with = "") {
        std::vector<std::string> args = {with.empty() ? part : with, "--device", "87C51H"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back("verify");
        args.push_back(file);
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_FALSE(BlamesThePartForCertain(DiagnosisOf(run))) << run.err;
        return DiagnosisOf(run);
    };

    // A wrong --offset, and a wrong buffer start: by how much.
    EXPECT_EQ(verify({"--offset", "800"}, image)
                  .rfind("diagnosis: the part holds the image shifted by 0800 bytes: check "
                         "--offset or the buffer start (",
                         0),
              0u);
    EXPECT_EQ(verify({"--buffer-start", "100"}, image)
                  .rfind("diagnosis: the part holds the image shifted by 0100 bytes: ", 0),
              0u);

    // Another program in the part.
    const std::string other = dir.Path("other.hex");
    WriteText(other, HexRecords(RandomBytes(0x500, 31), 0) + ":00000001FF\n");
    EXPECT_EQ(verify({}, other).rfind("diagnosis: the part holds another image: check the file, "
                                      "or erase the part and program it (",
                                      0),
              0u);

    // A part not programmed yet.
    EXPECT_EQ(verify({}, image, "--virtual")
                  .rfind("diagnosis: the part is blank: not programmed yet (every one of the "
                         "4096 bytes reads FF, the erased value; ",
                         0),
              0u);

    // A file with a gap, programmed with the erased fill, verified with --fill 00.
    const std::string gap = dir.Path("gap.hex");
    WriteText(gap, HexRecords(Bytes(code.begin(), code.begin() + 0x400), 0) +
                       HexRecords(Bytes(code.begin() + 0x500, code.end()), 0x800) +
                       ":00000001FF\n");
    const std::string gapChip = dir.Path("gap.bin");
    ASSERT_EQ(
        RunCli({"--virtual=save-chip=" + gapChip, "--device", "87C51H", "program", gap}).exitCode,
        0);
    EXPECT_EQ(verify({"--fill", "00"}, gap, "--virtual=chip=" + gapChip)
                  .rfind("diagnosis: the part differs only where the image has the fill value "
                         "00: check --fill (the part holds FF there) (",
                         0),
              0u);

    // One byte of the file changed: the part may be at fault, or the file.
    Bytes changed = code;
    changed[0x123] = static_cast<unsigned char>(changed[0x123] ^ 0x10);
    const std::string edited = dir.Path("edited.hex");
    WriteText(edited, HexRecords(changed, 0) + ":00000001FF\n");
    const std::string line = verify({}, edited);
    EXPECT_TRUE(line.empty() || Has(line, ", or the file differs (")) << line;
}

TEST(CliDiagnosis, ARefusedBlockIsNamedAndCountedOnThePartLine) {
    ScratchDir dir;
    const std::string image = dir.Path("image.bin");
    Bytes code = RandomBytes(0x1000, 32);
    for (auto& b : code)
        if (b == 0xFF) b = 0x7E; // every byte of the refused block's rest differs
    WriteBytes(image, code);

    // The programmer gives up at 0150: block 0100 did not program.
    CliRun run = RunCli({"--virtual=fail-block=0150", "--device", "87C51H", "program", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(DiagnosisOf(run).rfind("diagnosis: block 0100 did not program: ", 0), 0u) << run.err;
    EXPECT_TRUE(Has(run.err, " in 176 bytes from 0150 to 01FF ")) << run.err;
    EXPECT_FALSE(BlamesThePartForCertain(DiagnosisOf(run))) << run.err;

    // On a production line the part line counts those bytes too, and so
    // does the part's record.
    const std::string log = dir.Path("line.jsonl");
    run =
        RunCli({"--virtual=fail-block=0150", "--device", "87C51H", "--log", log, "program", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "part 1: failed (176 differing bytes, ")) << run.err;
    EXPECT_TRUE(Has(run.err, ", first 0150, last 01FF)\n")) << run.err;
    EXPECT_TRUE(Has(DiagnosisOf(run), " in 176 bytes from 0150 to 01FF ")) << run.err;
    const std::vector<std::string> records = ReadLines(log);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(Has(records[0], "\"differences\":176,\"first_difference\":336")) << records[0];
}

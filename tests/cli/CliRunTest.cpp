// velmar-cli as a script sees it: exit status, standard output, the error
// stream, the packet trace and the chip left in the virtual programmer.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "tests/support/ProcessRunner.h"
#include "virtual/FirmwareImage.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar::clitest;

namespace {

const std::string kFound = "Usb Programmer Found - FirmWare Version ";
const std::string kNotFound = "The Brindle Programmer Could Not Be Found....";

// The sentences in the order they were written.
bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const auto& p : parts) {
        at = text.find(p, at);
        if (at == std::string::npos) return false;
        at += p.size();
    }
    return true;
}

long Count(const std::vector<std::string>& lines, const std::string& head) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.rfind(head, 0) == 0; });
}

} // namespace

TEST(CliUsage, BadLinesExitTwoAndSendNothing) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
             {},
             {"--bogus"},
             {"--virtual", "--device", "87C51X", "blank"},
             {"--virtual", "--device", "87C51H", "lock", "0"},
             // A file to be written needs a format its name or --format gives.
             {"--virtual", "--device", "87C51H", "read", dir.Path("image.txt")},
             {"--virtual=colour=blue", "probe"},
         }) {
        const CliRun run = RunCli(line);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_TRUE(Has(run.err, "velmar-cli: ")) << run.err;
        EXPECT_TRUE(Has(run.err, "--help")) << run.err;
        EXPECT_EQ(run.out, "");
    }

    // Files that cannot be read or written: refused before any packet.
    for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
             {"--virtual", "--trace", trace, "--device", "87C51H", "verify", dir.Path("no.bin")},
             // A file to be loaded whose extension does not tell is read to
             // judge its contents.
             {"--virtual", "--trace", trace, "--device", "87C51H", "verify", dir.Path("image.txt")},
             {"--virtual", "--trace", trace, "--device", "87C51H", "read",
              dir.Path("no/such/dir/out.bin")},
             {"--virtual", "--trace", trace, "firmware", dir.Path("no-firmware.bin")},
             {"--virtual=chip=" + dir.Path("no-chip.bin"), "--trace", trace, "probe"},
         }) {
        const CliRun run = RunCli(line);
        EXPECT_EQ(run.exitCode, 2) << line.back() << "\n" << run.err;
        EXPECT_TRUE(Has(run.err, "cannot")) << run.err;
        EXPECT_TRUE(ReadLines(trace).empty()) << line.back();
    }
}

TEST(CliUsage, HelpAndVersion) {
    CliRun run = RunCli({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    for (const char* word : {"probe", "firmware FILE", "--device NAME", "lock N", "convert",
                             "--buffer-start HEX", "timing=on", "Exit status"})
        EXPECT_TRUE(Has(run.out, word)) << word;
    run = RunCli({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "velmar-cli " VELMAR_VERSION "\n");
}

// convert is described in the one usage text, and its refusals end with its
// own usage line rather than the pointer to --help.
TEST(CliUsage, ConvertHelpAndRefusals) {
    const CliRun help = RunCli({"--help"});
    const CliRun convertHelp = RunCli({"-v", "convert", "--from", "intel", "--help"});
    EXPECT_EQ(convertHelp.exitCode, 0);
    EXPECT_EQ(convertHelp.out, help.out);
    for (const char* line : {"  velmar-cli --help | --version\n",
                             "usage: velmar-cli [-q|-v] convert [--from FMT] [--to FMT]\n",
                             "  --limit HEX         fold mask of hex record addresses (DeviceLimit);\n"})
        EXPECT_TRUE(Has(help.out, line)) << line;

    CliRun run = RunCli({"convert", "--from", "elf", "a.hex", "b.bin"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "velmar-cli: convert: unknown format 'elf'\n"
                       "velmar-cli: usage: velmar-cli convert [--from FMT] [--to FMT] "
                       "[--device NAME | --limit HEX] [--offset HEX] [--buffer-start HEX] "
                       "[--end HEX] [--fill XX] [--fold] [--skip-bad-lines] IN OUT\n");
    run = RunCli({"-q", "--from", "intel"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "velmar-cli: unknown option --from\nvelmar-cli: try: velmar-cli --help\n");
}

TEST(CliProbe, FoundOldAndMissingProgrammer) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    CliRun run = RunCli({"--virtual", "--trace", trace, "probe"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kFound + "1.23\n");
    EXPECT_EQ(ReadLines(trace), std::vector<std::string>{"56 00 00 00 00 00 00 56"});

    run = RunCli({"--virtual=firmware=2.5", "probe"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kFound + "2.05\n");

    // An old firmware is offered the update; probe declines and reports it.
    run = RunCli({"--virtual=firmware=1.22", "--trace", trace, "probe"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kFound + "1.22\n");
    EXPECT_TRUE(InOrder(run.err, {"This Software Requires Firmware Version - 1.23\n"
                                  "Do You Want to Flash Update the Programmer ?",
                                  "(answered No)"}))
        << run.err;
    EXPECT_EQ(ReadLines(trace).size(), 1u);

    for (const char* devices : {"devices=0", "devices=2"}) {
        run = RunCli({std::string("--virtual=") + devices, "--trace", trace, "probe"});
        EXPECT_EQ(run.exitCode, 1) << devices;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(Has(run.err, kNotFound)) << run.err;
        EXPECT_TRUE(ReadLines(trace).empty()) << devices;
    }
}

TEST(CliFirmware, GoodBadAndRefusedImages) {
    ScratchDir dir;
    const std::string good = dir.Path("good.bin");
    const Bytes image = velmar::MakeFirmwareImage(1, 23, 4);
    WriteBytes(good, image);
    const std::string trace = dir.Path("trace.txt");

    // Offered by the search for an old firmware, answered Yes.
    CliRun run = RunCli({"--virtual=firmware=1.22", "--trace", trace, "firmware", good});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(InOrder(run.err, {"(answered Yes)", "Updating Programmer Flash Code....",
                                  "Expected - ", "Found    - ", "Good Update..."}))
        << run.err;
    std::vector<std::string> lines = ReadLines(trace);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "56 00 00 00 00 00 00 56");
    const long records = static_cast<long>((image.size() - 16) / 73) - 1;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return Has(l, " +66"); }),
              records);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "AA 43 00 00 00 00 00 ED");
    EXPECT_EQ(lines.back(), "52 00 00 00 00 00 00 52");

    // A current firmware is not offered the update; the command runs it anyway.
    run = RunCli({"--virtual", "firmware", good});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "Good Update...")) << run.err;

    // The file's checksum does not match what the programmer received.
    Bytes wrong = image;
    wrong[14] ^= 0x5A;
    const std::string bad = dir.Path("bad.bin");
    WriteBytes(bad, wrong);
    run = RunCli({"--virtual=firmware=1.22", "firmware", bad});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "Warning: Bad Update...")) << run.err;

    // A wrong signature: nothing after the version query is sent.
    Bytes unsigned_ = image;
    unsigned_[13] = 0x07;
    const std::string foreign = dir.Path("foreign.bin");
    WriteBytes(foreign, unsigned_);
    run = RunCli({"--virtual=firmware=1.22", "--trace", trace, "firmware", foreign});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "velmar-cli: Invalid File Type...\n"
                             "velmar-cli: Can Not Update Units With This File......"))
        << run.err;
    EXPECT_EQ(ReadLines(trace), std::vector<std::string>{"56 00 00 00 00 00 00 56"});

    run = RunCli({"--virtual=devices=0", "firmware", good});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, kNotFound));
}

TEST(CliTrace, BlankCheckOfAn87C51HPacketForPacket) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    const CliRun run = RunCli({"--virtual", "--trace", trace, "--device", "87c51h", "blank"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(
        InOrder(run.err, {"Checking to see if Device is erased....", "Device is Erased...."}))
        << run.err;
    const std::vector<std::string> expected = {
        "56 00 00 00 00 00 00 56", // version query
        "90 3F B0 00 00 00 00 7F", // selection: Vpp 12.5
        "24 3F B0 00 00 00 00 13", // idle of the selection's frame end
        "24 3F B0 00 00 00 00 13", // idle of the operation's frame start
        "90 3F B0 00 00 00 00 7F", // read set-up: voltage
        "92 00 00 00 F7 3F B0 78", // read mode
        "92 00 00 00 F7 3F B0 78", // block 0x0000
        "32 04 00 00 00 08 00 3E",
        "92 00 00 08 F7 3F B0 80", // block 0x0800
        "32 04 00 08 00 08 00 46",
        "24 04 00 08 00 08 00 38", // idle of the frame end
    };
    EXPECT_EQ(ReadLines(trace), expected);
}

TEST(CliTrace, ProgramBlocksOfAn89C52AndTraceFileRefreshed) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    WriteBytes(trace, Bytes{'o', 'l', 'd', '\n'});
    const std::string image = dir.Path("image.bin");
    WriteBytes(image, RandomBytes(0x2000, 7));
    const CliRun run =
        RunCli({"--virtual", "--trace", trace, "--device", "89C52", "program", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = ReadLines(trace);
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(lines[0], "56 00 00 00 00 00 00 56");
    EXPECT_EQ(lines[1], "90 3F 30 00 00 00 00 FF");
    EXPECT_EQ(Count(lines, "41 05 "), 32);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return Has(l, "+256"); }),
              32 + 31); // each block, and each latch packet after the first block
    EXPECT_NE(std::find(lines.begin(), lines.end(), "41 05 00 00 40 FF 3F C4 +256"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "41 05 00 10 40 FD 3F D2 +256"), lines.end());
    // The automatic verify reads it back: 4 blocks of 2048.
    EXPECT_EQ(Count(lines, "32 05 "), 4);
    EXPECT_EQ(Count(lines, "old"), 0);
}

TEST(CliOperations, ProgramVerifyAndDifferences) {
    ScratchDir dir;
    const Bytes data = RandomBytes(0x1000, 1);
    const std::string image = dir.Path("image.bin");
    WriteBytes(image, data);
    const std::string chip = dir.Path("chip.bin");

    CliRun run = RunCli({"--virtual=save-chip=" + chip, "--device", "87C51H", "program", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(
        InOrder(run.err, {kFound + "1.23", "Programming Device from Buffer....",
                          "Eprom is Programmed...............", "Verifying Device to Buffer....",
                          "Device Verified to Buffer...."}))
        << run.err;
    EXPECT_EQ(ReadBytes(chip), data);

    // One byte differs: its line on stdout, exit 1.
    Bytes other = data;
    other[0x100] = 0x02;
    Bytes chipBytes = data;
    chipBytes[0x100] = 0xFF;
    chipBytes[0x0FFF] = static_cast<unsigned char>(data[0x0FFF] ^ 0x81);
    WriteBytes(chip, chipBytes);
    const std::string otherImage = dir.Path("other.bin");
    WriteBytes(otherImage, other);
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "verify", otherImage});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    char last[64];
    std::snprintf(last, sizeof last, "0FFF  EXPECTED-%02X FOUND-%02X\n", data[0x0FFF],
                  chipBytes[0x0FFF]);
    EXPECT_EQ(run.out, "0100  EXPECTED-02 FOUND-FF\n" + std::string(last));
    EXPECT_TRUE(Has(run.err, "Device Did NOT Verify to Buffer....")) << run.err;

    // The programmed chip is not blank; an erased one is.
    WriteBytes(chip, data);
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "Device is NOT Erased...."));
    EXPECT_TRUE(Has(run.out, "0000  EXPECTED-FF FOUND-"));
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'),
              std::count_if(data.begin(), data.end(), [](unsigned char b) { return b != 0xFF; }));
}

TEST(CliOperations, ProgramFailureStopsBeforeVerify) {
    ScratchDir dir;
    const std::string image = dir.Path("image.bin");
    WriteBytes(image, RandomBytes(0x2000, 2));
    CliRun run = RunCli({"--virtual=fail-block=0x0300", "--device", "87C52H", "program", image});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "Eprom DID NOT Program.............")) << run.err;
    EXPECT_FALSE(Has(run.err, "Verifying Device to Buffer...."));

    // An EPROM cell cannot go back to 1: the block fails on a used chip.
    const std::string chip = dir.Path("chip.bin");
    WriteBytes(chip, Bytes(0x2000, 0x00));
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C52H", "program", image});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "Eprom DID NOT Program.............")) << run.err;
}

TEST(CliOperations, CompareReadEraseAndLock) {
    ScratchDir dir;
    const std::string chip = dir.Path("chip.bin");
    const std::string image = dir.Path("image.bin");

    WriteBytes(chip, Bytes(0x1000, 0xFF));
    WriteBytes(image, Bytes(0x1000, 0xF0));
    CliRun run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "compare", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "Device Can be Reprogrammed...."));

    WriteBytes(chip, Bytes(0x1000, 0xF0));
    WriteBytes(image, Bytes(0x1000, 0xFF));
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "compare", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "Device CAN NOT be Reprogrammed...."));
    EXPECT_EQ(run.out, "");

    // read: the chip lands in the file; binary saves start at buffer 0.
    const Bytes contents = RandomBytes(0x1000, 3);
    WriteBytes(chip, contents);
    const std::string out = dir.Path("out.bin");
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "read", out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(
        InOrder(run.err, {"Moving Device to Buffer....", "Device Has Been Moved to Buffer...."}));
    EXPECT_EQ(ReadBytes(out), contents);

    run = RunCli(
        {"--virtual=chip=" + chip, "--device", "87C51H", "--buffer-start", "100", "read", out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Whatever --buffer-start is, the file holds the device's bytes in order.
    EXPECT_EQ(ReadBytes(out), contents);

    // Hex out, hex back in: verify agrees with the chip.
    const std::string hex = dir.Path("out.s28");
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "read", hex});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadLines(hex).front().substr(0, 2), "S2");
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "verify", hex});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");

    // Erase a flash part: every byte back to FF.
    const std::string saved = dir.Path("saved.bin");
    WriteBytes(chip, RandomBytes(0x2000, 4));
    run = RunCli({"--virtual=chip=" + chip + ",save-chip=" + saved, "--device", "89C52", "erase"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(InOrder(run.err, {"Erasing Flash Device........",
                                  "Device has been Erase, Do a Blank Check........"}));
    EXPECT_EQ(ReadBytes(saved), Bytes(0x2000, 0xFF));

    const std::string trace = dir.Path("trace.txt");
    run = RunCli({"--virtual", "--trace", trace, "--device", "87C51FA", "lock", "3"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "Security Bit #3 has been programmed..."));
    const std::vector<std::string> lines = ReadLines(trace);
    EXPECT_EQ(Count(lines, "48 00 00 00 00 00 00 48"), 3);
    EXPECT_EQ(Count(lines, "92 00 00 10 BE 3F B0 "), 1);
}

TEST(CliOperations, NoProgrammerAndOldFirmware) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    CliRun run = RunCli({"--virtual=devices=0", "--trace", trace, "--device", "89S52", "blank"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, kNotFound));
    EXPECT_TRUE(ReadLines(trace).empty());

    // Unplugged while the first block is read: the run stops and fails.
    const std::string image = dir.Path("image.bin");
    WriteBytes(image, Bytes(0x1000, 0xFF));
    run = RunCli(
        {"--virtual=unplug-from=8", "--trace", trace, "--device", "87C51H", "verify", image});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "Device no longer present ... PortStatus-")) << run.err;
    EXPECT_FALSE(Has(run.err, "Device Verified to Buffer....")) << run.err;
    EXPECT_EQ(ReadLines(trace).size(), 8u);

    // The update is declined and the operation runs on the old firmware.
    run = RunCli({"--virtual=firmware=1.22", "--device", "89S52", "blank"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(InOrder(run.err, {"(answered No)", "Device is Erased...."})) << run.err;
}

TEST(CliOperations, InterruptStopsAProgramRunLikeQuit) {
    if (!velmar::test::CanInterruptChildren())
        GTEST_SKIP() << "Ctrl-Break to a child: no console to send it through (Wine without a "
                        "console); the console handler itself is tested by CliPlatformWindows";
    ScratchDir dir;
    const std::string image = dir.Path("image.bin");
    WriteBytes(image, RandomBytes(0x8000, 5));
    const std::string trace = dir.Path("trace.txt");
    // With the timing model on the 87C58H takes over a minute to program.
    const CliRun run = RunCli(
        {"--virtual=timing=on", "--trace", trace, "--device", "87C58H", "program", image}, 1500);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(InOrder(run.err, {"Programming Device from Buffer....", "(interrupted: Quit)",
                                  "Eprom DID NOT Program............."}))
        << run.err;
    EXPECT_FALSE(Has(run.err, "Verifying"));
    const std::vector<std::string> lines = ReadLines(trace);
    ASSERT_FALSE(lines.empty());
    EXPECT_LT(Count(lines, "41 04 "), 128);
    EXPECT_EQ(lines.back().substr(0, 3), "24 "); // the programmer is left idle
}

// --usb goes through the vendor library; pointed at the virtual programmer's
// drop-in copy of it, the hardware path traces exactly what --virtual does.
TEST(CliTrace, UsbPathTracesLikeTheVirtualProgrammer) {
    ScratchDir dir;
    const std::string options = dir.Path("options.txt");
    const std::string text = "timing=off,chip-type=87C51H\n";
    WriteBytes(options, Bytes(text.begin(), text.end()));
    const std::string usbTrace = dir.Path("usb.txt");
    const CliRun usb =
        RunCliWithDropIn({"--usb", "--trace", usbTrace, "--device", "87C51H", "blank"},
                         {"VELMAR_VIRTUAL_OPTIONS=" + options});
    EXPECT_EQ(usb.exitCode, 0) << usb.err;
    EXPECT_TRUE(Has(usb.err, "Device is Erased....")) << usb.err;

    const std::string virtualTrace = dir.Path("virtual.txt");
    const CliRun inProcess =
        RunCli({"--virtual", "--trace", virtualTrace, "--device", "87C51H", "blank"});
    EXPECT_EQ(inProcess.exitCode, 0) << inProcess.err;
    EXPECT_EQ(ReadLines(usbTrace).size(), 11u);
    EXPECT_EQ(ReadLines(usbTrace), ReadLines(virtualTrace));
}

TEST(CliOperations, MalformedOrDamagedHexIsNeverProgrammed) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    const std::string bad = dir.Path("bad.hex");
    const std::string malformed = ":10000000G1\r\n:00000001FF\r\n";
    WriteBytes(bad, Bytes(malformed.begin(), malformed.end()));
    CliRun run = RunCli({"--virtual", "--trace", trace, "--device", "89C51", "program", bad});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "is not a valid integer value.")) << run.err;
    // Refused before the programmer is touched: not a packet.
    EXPECT_EQ(ReadLines(trace).size(), 0u);

    // One record whose checksum byte is wrong: stored, reported, not programmed.
    const std::string damaged = dir.Path("damaged.hex");
    const std::string text = ":0400000001020304F1\r\n:00000001FF\r\n";
    WriteBytes(damaged, Bytes(text.begin(), text.end()));
    run = RunCli({"--virtual", "--trace", trace, "--device", "89C51", "program", damaged});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "wrong checksum")) << run.err;
    EXPECT_EQ(Count(ReadLines(trace), "41 "), 0);

    const std::string good = dir.Path("good.hex");
    const std::string fixed = ":0400000001020304F2\r\n:00000001FF\r\n";
    WriteBytes(good, Bytes(fixed.begin(), fixed.end()));
    run = RunCli({"--virtual", "--trace", trace, "--device", "89C51", "program", good});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Count(ReadLines(trace), "41 05 "), 16);
}

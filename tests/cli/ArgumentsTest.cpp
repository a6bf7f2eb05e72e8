// The command line as velmar-cli reads it: what each word means and which
// lines are refused before anything reaches the programmer.
#include <gtest/gtest.h>

#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "cli/Arguments.h"

using velmar::FileTypeFromExtension;
using velmar::FileTypeFromName;
using velmar::cli::Command;
using velmar::cli::Operation;
using velmar::cli::ParseAddress;
using velmar::cli::ParseArguments;
using velmar::cli::ParseResult;

namespace {

ParseResult Parse(std::vector<std::string> args) {
    return ParseArguments(args);
}

} // namespace

TEST(Arguments, DeviceOperationLine) {
    ParseResult r =
        Parse({"--virtual=firmware=1.22,timing=on", "--trace", "t.txt", "--device", "87c51h",
               "--format", "Intel", "--buffer-start", "1a00", "program", "image.dat"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.command, Command::Device);
    EXPECT_TRUE(r.arguments.useVirtual);
    EXPECT_EQ(r.arguments.virtualOptions, "firmware=1.22,timing=on");
    EXPECT_EQ(r.arguments.tracePath, "t.txt");
    EXPECT_EQ(r.arguments.catalogueRow, 9);
    EXPECT_EQ(r.arguments.operation, Operation::Program);
    EXPECT_EQ(r.arguments.fileType, 1);
    EXPECT_EQ(r.arguments.bufferStart, 0x1A00);
    EXPECT_EQ(r.arguments.dataPath, "image.dat");

    r = Parse({"--device=8742", "--trace=x", "blank"});
    ASSERT_EQ(r.error, "");
    EXPECT_FALSE(r.arguments.useVirtual);
    EXPECT_EQ(r.arguments.catalogueRow, 2);
    EXPECT_EQ(r.arguments.tracePath, "x");
    EXPECT_FALSE(r.arguments.fileType.has_value());

    r = Parse({"--virtual", "--device", "89S52", "lock", "3"});
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.arguments.useVirtual);
    EXPECT_EQ(r.arguments.virtualOptions, "");
    EXPECT_EQ(r.arguments.operation, Operation::Lock);
    EXPECT_EQ(r.arguments.lockBit, 3);
}

TEST(Arguments, CommandsWithoutDevice) {
    EXPECT_EQ(Parse({"--help"}).arguments.command, Command::Help);
    EXPECT_EQ(Parse({"--version"}).arguments.command, Command::Version);
    ParseResult r = Parse({"--virtual=devices=0", "probe"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.command, Command::Probe);
    r = Parse({"--usb", "firmware", "fw.bin"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.command, Command::Firmware);
    EXPECT_EQ(r.arguments.firmwarePath, "fw.bin");
    r = Parse({"convert", "--from", "intel", "--to", "binary", "a.hex", "b.bin"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.command, Command::Convert);
    EXPECT_EQ(r.arguments.convert.from, 1);
    EXPECT_EQ(r.arguments.convert.to, 0);
    EXPECT_EQ(r.arguments.convert.in, "a.hex");
    EXPECT_EQ(r.arguments.convert.out, "b.bin");
}

TEST(Arguments, RefusedLines) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--usb", "--virtual", "probe"},
        {"probe", "extra"},
        {"--device", "87C51H", "probe"},
        {"firmware"},
        {"firmware", "a", "b"},
        {"read", "x.bin"},                        // no device
        {"--device", "8751", "read", "x.bin"},    // no such device
        {"--device", "87C51H", "read"},           // no file
        {"--device", "87C51H", "blank", "x.bin"}, // blank takes none
        {"--device", "87C51H", "read", "x.txt"},  // unknown extension
        {"--device", "87C51H", "read", "noext"},
        {"--device", "87C51H", "--format", "srec", "read", "x.bin"},
        {"--device", "87C51H", "--buffer-start", "100000", "read", "x.bin"},
        {"--device", "87C51H", "--buffer-start", "12G", "read", "x.bin"},
        {"--device", "87C51H", "lock", "4"},
        {"--device", "87C51H", "lock"},
        {"--device", "8748", "lock", "1"}, // no security bits
        {"--device", "87C51H", "erase"},   // not a flash part
        {"--device", "87C51H", "format"},
        {"--device", "87C51H", "--speed", "blank"},
        {"--device"},
        {"--trace"},
        {"--device", "87C51H", "convert"},
    };
    for (const auto& line : bad) {
        std::string joined;
        for (const auto& w : line)
            joined += w + " ";
        EXPECT_NE(Parse(line).error, "") << joined;
    }
    EXPECT_EQ(Parse({"--device", "89C55", "erase"}).error, "");
    EXPECT_EQ(Parse({"--device", "8751H", "lock", "1"}).error, "");
}

TEST(Arguments, FormatsAndAddresses) {
    EXPECT_EQ(FileTypeFromName("binary"), 0);
    EXPECT_EQ(FileTypeFromName("MOTOROLA"), 2);
    EXPECT_EQ(FileTypeFromName("ascii"), 3);
    EXPECT_FALSE(FileTypeFromName("hex"));
    EXPECT_EQ(FileTypeFromExtension("a/b.BIN"), 0);
    EXPECT_EQ(FileTypeFromExtension("x.hex"), 1);
    EXPECT_EQ(FileTypeFromExtension("x.ihx"), 1);
    for (const char* ext : {"s19", "s28", "s37", "srec", "mot", "S19"})
        EXPECT_EQ(FileTypeFromExtension(std::string("f.") + ext), 2) << ext;
    EXPECT_FALSE(FileTypeFromExtension("dir.hex/file"));
    EXPECT_FALSE(FileTypeFromExtension("file.txt"));
    EXPECT_EQ(ParseAddress("0"), 0);
    EXPECT_EQ(ParseAddress("FFFFF"), 0xFFFFF);
    EXPECT_EQ(ParseAddress("0x1a00"), 0x1A00);
    EXPECT_FALSE(ParseAddress(""));
    EXPECT_FALSE(ParseAddress("0x"));
    EXPECT_FALSE(ParseAddress("100000"));
    EXPECT_FALSE(ParseAddress("-1"));
}

// Found by the command-line fuzzer: an empty FILE with --format was taken,
// and found missing only after the programmer had been searched.
TEST(Arguments, EmptyFileNameIsRefused) {
    EXPECT_NE(Parse({"--virtual", "--device", "87C51H", "program", ""}).error, "");
    EXPECT_NE(Parse({"--device", "87C51H", "--format", "binary", "verify", ""}).error, "");
    EXPECT_NE(Parse({"--device", "87C51H", "--format", "intel", "read", ""}).error, "");
    EXPECT_NE(Parse({"firmware", ""}).error, "");
    EXPECT_EQ(Parse({"--device", "87C51H", "--format", "binary", "verify", "-"}).error, "");
}

TEST(Arguments, ConvertLine) {
    ParseResult r = Parse({"-q", "-v", "convert", "--from=Intel", "--to", "motorola", "--device",
                           "87c51h", "--offset", "0x20", "--buffer-start=0E", "--end", "FFF",
                           "--fold", "-", "out.s28"});
    ASSERT_EQ(r.error, "");
    const velmar::cli::ConvertArguments& c = r.arguments.convert;
    EXPECT_EQ(r.arguments.command, Command::Convert);
    EXPECT_EQ(r.arguments.verbosity, 1);
    EXPECT_EQ(c.from, 1);
    EXPECT_TRUE(c.fromGiven);
    EXPECT_EQ(c.to, 2);
    EXPECT_EQ(c.device, "87c51h");
    EXPECT_EQ(c.catalogueRow, 9);
    EXPECT_EQ(c.offset, 0x20);
    EXPECT_EQ(c.bufferStart, 0x0E);
    EXPECT_EQ(c.end, 0xFFF);
    EXPECT_FALSE(c.limit);
    EXPECT_TRUE(c.fold);
    EXPECT_EQ(c.in, "-");
    EXPECT_EQ(c.out, "out.s28");

    // Formats from the extensions; IN's left to its contents when they say
    // nothing; a later -q overrides.
    r = Parse({"convert", "-v", "in.S19", "--limit", "3ff", "out.bin", "-q"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.convert.from, 2);
    EXPECT_FALSE(r.arguments.convert.fromGiven);
    EXPECT_EQ(r.arguments.convert.to, 0);
    EXPECT_EQ(r.arguments.convert.limit, 0x3FF);
    EXPECT_EQ(r.arguments.verbosity, -1);
    r = Parse({"convert", "image.dat", "-"});
    EXPECT_EQ(r.error, "convert: --to is required when OUT's extension does not tell the format");
    r = Parse({"convert", "--to", "ascii", "image.dat", "-"});
    ASSERT_EQ(r.error, "");
    EXPECT_FALSE(r.arguments.convert.from);

    // Help wherever it comes, once the words before it were understood.
    EXPECT_EQ(Parse({"-v", "convert", "--from", "intel", "--help"}).arguments.command,
              Command::Help);
    EXPECT_EQ(Parse({"convert", "-h"}).error, "");
    EXPECT_EQ(Parse({"convert", "--from", "elf", "--help"}).error, "convert: unknown format 'elf'");
    // Only a leading -q or -v reaches convert; anything else before it is refused.
    EXPECT_EQ(Parse({"--virtual", "convert", "a.hex", "b.bin"}).error, "convert takes no --virtual");
}

// An option before convert is refused by what it is: one convert has no use
// for is named as such, one of convert's own is sent after the word; never an
// option that was not given.
TEST(Arguments, OptionsBeforeConvertAreNamedAsGiven) {
    const std::string usage =
        "usage: velmar-cli convert [--from FMT] [--to FMT] [--device NAME | --limit HEX] "
        "[--offset HEX] [--buffer-start HEX] [--end HEX] [--fill XX] [--fold] [--skip-bad-lines] "
        "IN OUT";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--json", "convert", "a.hex", "b.bin"},
         "give --json after the word convert, where its options go"},
        {{"-v", "--json", "convert", "a.hex", "b.bin"},
         "give --json after the word convert, where its options go"},
        {{"--fill", "FF", "--device", "89C52", "convert", "a.hex", "b.bin"},
         "give --fill after the word convert, where its options go"},
        {{"--json", "--trace", "t.txt", "convert", "a.hex", "b.bin"}, "convert takes no --trace"},
        {{"--usb", "convert", "a.hex", "b.bin"}, "convert takes no --usb"},
        {{"--serial", "BP1", "convert", "a.hex", "b.bin"}, "convert takes no --serial"},
        {{"--precheck", "convert", "a.hex", "b.bin"}, "convert takes no --precheck"},
    };
    for (const auto& [line, problem] : cases) {
        const ParseResult r = Parse(line);
        EXPECT_EQ(r.error, problem) << line.front();
        EXPECT_EQ(r.hint, usage) << line.front();
        EXPECT_EQ(r.arguments.command, Command::Convert) << line.front();
    }
}

TEST(Arguments, ConvertRefusalsSayWhatAndHowToAsk) {
    const std::string usage =
        "usage: velmar-cli convert [--from FMT] [--to FMT] [--device NAME | --limit HEX] "
        "[--offset HEX] [--buffer-start HEX] [--end HEX] [--fill XX] [--fold] [--skip-bad-lines] "
        "IN OUT";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"convert"}, "expected IN and OUT"},
        {{"convert", "a.hex", "b.bin", "c.bin"}, "expected IN and OUT"},
        {{"convert", "--end"}, "--end needs a value"},
        {{"convert", "--bogus", "1", "a.hex", "b.bin"}, "unknown option --bogus"},
        {{"convert", "--fold=1", "a.hex", "b.bin"}, "unknown option --fold"},
        {{"convert", "--to", "hex", "a.hex", "b.bin"}, "unknown format 'hex'"},
        {{"convert", "--limit", "G", "a.hex", "b.bin"},
         "'G' is not a hexadecimal address for --limit"},
        {{"convert", "--offset=0x", "a.hex", "b.bin"},
         "'0x' is not a hexadecimal address for --offset"},
        {{"convert", "--end", "100000", "a.hex", "b.bin"},
         "'100000' is not a hexadecimal address for --end"},
        {{"convert", "--device", "8741A", "--limit", "3FF", "a.hex", "b.bin"},
         "--device and --limit exclude each other"},
        {{"convert", "--device=Z80", "a.hex", "b.bin"}, "unknown device 'Z80'"},
        {{"convert", "--device=", "a.hex", "b.bin"}, "unknown device ''"},
    };
    for (const auto& [line, problem] : cases) {
        const ParseResult r = Parse(line);
        EXPECT_EQ(r.error, "convert: " + problem) << line.back();
        EXPECT_EQ(r.hint, usage) << line.back();
    }
    EXPECT_EQ(Parse({"--bogus"}).hint, "try: velmar-cli --help");
}

// --buffer-start means the same digits to a device operation and to
// convert.
TEST(Arguments, OneAddressRuleForEveryCommand) {
    for (const char* text : {"0", "1a00", "0X1A00", "FFFF", "0x0ffff"}) {
        const ParseResult device =
            Parse({"--device", "87C51H", "--buffer-start", text, "verify", "a.bin"});
        const ParseResult convert = Parse({"convert", "--buffer-start", text, "a.bin", "b.bin"});
        ASSERT_EQ(device.error, "") << text;
        ASSERT_EQ(convert.error, "") << text;
        EXPECT_EQ(device.arguments.bufferStart, convert.arguments.convert.bufferStart) << text;
        EXPECT_EQ(device.arguments.bufferStart, ParseAddress(text)) << text;
    }
    for (const char* text : {"0x", "x1", "100000", "12G", "-1", " 1"}) {
        EXPECT_NE(Parse({"--device", "87C51H", "--buffer-start", text, "verify", "a.bin"}).error,
                  "")
            << text;
        EXPECT_NE(Parse({"convert", "--buffer-start", text, "a.bin", "b.bin"}).error, "") << text;
    }
}

// The hex offset takes what the window's Hex Offset takes, five digits, for
// convert and the device operations alike (D0000 brings 30000 down to 0);
// past 20 bits it is refused by both.
TEST(Arguments, TheHexOffsetTakesFiveDigitsAsTheWindowDoes) {
    for (const char* text : {"0", "FFFF", "10000", "D0000", "0xFFFFF"}) {
        const ParseResult device =
            Parse({"--device", "87C51H", "--offset", text, "program", "a.hex"});
        const ParseResult convert = Parse({"convert", "--offset", text, "a.hex", "b.bin"});
        ASSERT_EQ(device.error, "") << text;
        ASSERT_EQ(convert.error, "") << text;
        EXPECT_EQ(device.arguments.hexOffset, ParseAddress(text)) << text;
        EXPECT_EQ(convert.arguments.convert.offset, ParseAddress(text)) << text;
    }
    EXPECT_EQ(Parse({"--device", "87C51H", "--offset", "100000", "compare", "a.hex"}).error,
              "--offset takes a hexadecimal address from 0 to FFFFF, not 100000");
    EXPECT_EQ(Parse({"convert", "--offset", "100000", "a.hex", "b.bin"}).error,
              "convert: '100000' is not a hexadecimal address for --offset");
    // The buffer start stays within the buffer.
    EXPECT_EQ(Parse({"convert", "--buffer-start", "10000", "a.hex", "b.bin"}).error,
              "convert: --buffer-start takes a hexadecimal address from 0 to FFFF, not 10000");
}

// disasm takes a part or an instruction set, and its options stay its own;
// the pre-flight options go with program alone.
TEST(Arguments, DisasmAndPreFlightLines) {
    ParseResult r = Parse({"disasm", "--device", "8748", "--from", "10", "--to=3FF", "a.hex"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.command, Command::Disasm);
    EXPECT_TRUE(r.arguments.disasm.mcs48);
    EXPECT_EQ(r.arguments.disasm.from, 0x10);
    EXPECT_EQ(r.arguments.disasm.to, 0x3FF);
    EXPECT_EQ(r.arguments.fileType, 1);
    r = Parse({"--virtual", "--device", "89S52", "disasm", "--read"});
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.arguments.disasm.read);
    EXPECT_FALSE(r.arguments.disasm.mcs48);
    EXPECT_EQ(Parse({"disasm", "--cpu", "8048", "a.bin"}).arguments.deviceName, "8749H");

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"disasm", "a.bin"}, "disasm needs --device NAME or --cpu 8048|8051"},
        {{"disasm", "--cpu", "8049", "a.bin"}, "--cpu takes 8048 or 8051, not 8049"},
        {{"--device", "8748", "disasm", "--cpu", "8051", "a.bin"},
         "disasm takes --device NAME or --cpu, not both"},
        {{"disasm", "--cpu", "8051", "--read"}, "disasm --read needs --device NAME"},
        {{"disasm", "--device", "87C51H", "--read", "a.bin"}, "disasm --read takes no file"},
        {{"disasm", "--device", "87C51H", "--from", "200", "--to", "100", "a.bin"},
         "--from lies past --to"},
        {{"--device", "87C51H", "--from", "10", "verify", "a.bin"}, "unknown option --from"},
        {{"--device", "87C51H", "--precheck", "verify", "a.bin"}, "--precheck goes with program"},
        {{"--device", "87C51H", "--hash", "disasm", "a.bin"},
         "disasm takes no --buffer-start, --fill, --passes, --hash, --max-diffs, --precheck, "
         "--changed-only or --strict"},
        {{"--offset", "100", "disasm", "--device", "87C51H", "a.hex"},
         "--offset goes with program, verify or compare"},
    };
    for (const auto& [line, error] : refused)
        EXPECT_EQ(Parse(line).error, error) << line.front();
    r = Parse({"--device", "87C51H", "program", "--precheck", "--changed-only", "--strict", "a"});
    ASSERT_EQ(r.error, "");
    EXPECT_TRUE(r.arguments.precheck && r.arguments.changedOnly && r.arguments.strict);
}

// A device operation's buffer start lies within the 64 KiB buffer, its hex
// offset within 20 bits, and no value is ignored for being empty or unknown.
TEST(Arguments, DeviceAddressesFitTheBufferAndEmptyValuesAreRefused) {
    const ParseResult offset =
        Parse({"--device", "89C52", "--offset=2000", "--buffer-start", "1000", "program", "a"});
    ASSERT_EQ(offset.error, "");
    EXPECT_EQ(offset.arguments.hexOffset, 0x2000);
    EXPECT_EQ(offset.arguments.bufferStart, 0x1000);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--device", "89C52", "--buffer-start", "FFFFF", "blank"},
         "--buffer-start takes a hexadecimal address from 0 to FFFF, not FFFFF"},
        {{"--device", "89C52", "--offset", "100000", "verify", "a"},
         "--offset takes a hexadecimal address from 0 to FFFFF, not 100000"},
        {{"--device", "89C52", "--buffer-start", "", "blank"}, "--buffer-start needs a value"},
        {{"--device", "89C52", "--format=", "verify", "a"}, "--format needs a value"},
        {{"--device", "89C52", "--offset", "10", "read", "a.bin"},
         "--offset goes with program, verify or compare"},
        {{"-x"}, "unknown option -x"},
        {{"-vvv", "probe"}, "unknown option -vvv"},
        {{"--virtual", "--device", "89C52", "blank", "-v2"}, "unknown option -v2"},
        {{"convert", "--buffer-start", "FFFFF", "a.bin", "b.hex"},
         "convert: --buffer-start takes a hexadecimal address from 0 to FFFF, not FFFFF"},
    };
    for (const auto& [line, error] : refused)
        EXPECT_EQ(Parse(line).error, error) << line.back();
    // "-" alone is standard input, not an option.
    EXPECT_EQ(Parse({"--device", "89C52", "verify", "-"}).error, "");
}

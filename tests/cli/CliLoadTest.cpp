// What velmar-cli loads before it touches a chip: files without data, data
// past the part, the fill under the file, the bytes a read saves, convert's
// own outputs and the error lines that name the place.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CliRunner.h"

using namespace velmar::clitest;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

// Every line of the error stream that is not one of the window's sentences
// is an error line and carries the program's name.
void ExpectErrorLinesNamed(const std::string& err, const std::vector<std::string>& sentences) {
    std::size_t start = 0;
    while (start < err.size()) {
        std::size_t end = err.find('\n', start);
        if (end == std::string::npos) end = err.size();
        const std::string line = err.substr(start, end - start);
        bool sentence = false;
        for (const auto& s : sentences)
            sentence = sentence || line == s;
        EXPECT_TRUE(sentence || line.rfind("velmar-cli: ", 0) == 0) << line;
        start = end + 1;
    }
}

} // namespace

TEST(CliLoad, FilesWithoutDataNeverReachTheProgrammer) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    // Lines that are no records name the first of them instead.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"empty.hex", ""},
        {"text.hex", "Hello, this is not an image.\n"},
        {"end.hex", ":00000001FF\n"},
        {"lower.s19", "s1070010010203E2\ns9030000FC\n"},
        {"bom.hex", "\xEF\xBB\xBF"},
        {"empty.bin", ""},
    };
    for (const auto& [name, text] : files) {
        WriteText(dir.Path(name), text);
        const std::string said = name == "text.hex" || name == "lower.s19"
                                     ? dir.Path(name) + ":1: not a record of the format"
                                     : dir.Path(name) + " holds no data";
        for (const char* op : {"program", "verify", "compare"}) {
            const CliRun run =
                RunCli({"--virtual", "--trace", trace, "--device", "87C51H", op, dir.Path(name)});
            EXPECT_EQ(run.exitCode, 1) << name << " " << op << "\n" << run.err;
            EXPECT_TRUE(ReadLines(trace).empty()) << name << " " << op;
            EXPECT_TRUE(Has(run.err, "velmar-cli: " + said)) << run.err;
        }
    }
    const CliRun run = RunCli({"--virtual", "--device", "87C51H", "program", dir.Path("end.hex")});
    EXPECT_TRUE(
        Has(run.err, "velmar-cli: No data records were found in " + dir.Path("end.hex") + ".\n"))
        << run.err;

    // Random bytes read as Intel: refused one way or the other, never programmed.
    WriteBytes(dir.Path("noise.hex"), RandomBytes(1 << 20, 9));
    const CliRun noise = RunCli(
        {"--virtual", "--trace", trace, "--device", "87C51H", "program", dir.Path("noise.hex")});
    EXPECT_EQ(noise.exitCode, 1) << noise.err;
    EXPECT_TRUE(ReadLines(trace).empty());

    // A byte-order mark before real records is text, not a malformed line.
    WriteText(dir.Path("marked.hex"), "\xEF\xBB\xBF:0400000001020304F2\r\n:00000001FF\r\n");
    const std::string chip = dir.Path("chip.bin");
    const CliRun marked = RunCli(
        {"--virtual=save-chip=" + chip, "--device", "87C51H", "program", dir.Path("marked.hex")});
    EXPECT_EQ(marked.exitCode, 0) << marked.err;
    Bytes expected(0x1000, 0xFF);
    for (int i = 0; i < 4; ++i)
        expected[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i + 1);
    EXPECT_EQ(ReadBytes(chip), expected);
}

TEST(CliLoad, DataBeyondThePartAreRefusedUnlessFolded) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    const std::string chip = dir.Path("chip.bin");
    // An 8 KiB part: 0x3000 folds onto 0x1000, over the program.
    const std::string far = dir.Path("far.hex");
    WriteText(far, ":0100000011EE\n:02300000AABB69\n:00000001FF\n");
    const std::string linear = dir.Path("linear.hex");
    WriteText(linear, ":020000040001F9\n:01001000559A\n:00000001FF\n");
    const std::string s2 = dir.Path("high.s28");
    WriteText(s2, "S2050100105594\nS804000000FB\n");
    for (const auto& [file, first] : std::vector<std::pair<std::string, std::string>>{
             {far, "03000"}, {linear, "10010"}, {s2, "10010"}}) {
        for (const char* op : {"program", "verify", "compare"}) {
            const CliRun run =
                RunCli({"--virtual", "--trace", trace, "--device", "87C52H", op, file});
            EXPECT_EQ(run.exitCode, 1) << file << " " << op << "\n" << run.err;
            EXPECT_TRUE(Has(run.err, "data at address " + first + " lie beyond")) << run.err;
            // Refused, so not folded: no warning says it was.
            EXPECT_FALSE(Has(run.err, "were folded onto lower addresses.")) << run.err;
            EXPECT_TRUE(ReadLines(trace).empty());
        }
    }
    CliRun run =
        RunCli({"--virtual=save-chip=" + chip, "--device", "87C52H", "--fold", "program", far});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip)[0x1000], 0xAA);

    // convert was asked for the size: it folds, says so, and succeeds.
    run = RunCli({"convert", "--from", "intel", "--to", "binary", "--device", "87C52H", far,
                  dir.Path("far.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "velmar-cli: 2 bytes lay beyond the device's end and were folded "
                             "onto lower addresses."))
        << run.err;
    EXPECT_EQ(ReadBytes(dir.Path("far.bin")).at(0x1001), 0xBB);

    // A binary file longer than the part (item of its own, same rule).
    const std::string longBin = dir.Path("long.bin");
    WriteBytes(longBin, RandomBytes(0x1000 + 1, 3));
    run = RunCli({"--virtual", "--trace", trace, "--device", "87C51H", "program", longBin});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "data at address 01000 lie beyond")) << run.err;
    EXPECT_TRUE(ReadLines(trace).empty());
    run =
        RunCli({"--virtual=save-chip=" + chip, "--device", "87C51H", "--fold", "program", longBin});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Bytes longBytes = ReadBytes(longBin);
    EXPECT_EQ(ReadBytes(chip), Bytes(longBytes.begin(), longBytes.end() - 1));
    run = RunCli({"convert", "--from", "binary", "--to", "intel", "--device", "87C51H", longBin,
                  dir.Path("long.hex")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    run = RunCli({"convert", "--from", "binary", "--to", "binary", "--device", "87C51H", "--end",
                  "7FF", longBin, dir.Path("half.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(dir.Path("half.bin")).size(), 0x800u);
}

// Any format to any format, then program and read on several parts: the
// input's bytes come back.
TEST(CliLoad, ConvertOutputsProgramBackToTheInput) {
    ScratchDir dir;
    const Bytes input = RandomBytes(1000, 11);
    const std::string bin = dir.Path("in.bin");
    WriteBytes(bin, input);
    const std::vector<std::string> formats = {"binary", "intel", "motorola", "ascii"};
    std::vector<std::string> sources;
    for (const auto& f : formats) {
        const std::string out = dir.Path("src." + f);
        const CliRun run = RunCli({"convert", "--from", "binary", "--to", f, bin, out});
        ASSERT_EQ(run.exitCode, 0) << f << run.err;
        sources.push_back(out);
    }
    EXPECT_EQ(ReadBytes(sources[0]), input); // no --end: ends at the input's last byte
    std::vector<std::pair<std::string, std::string>> outputs; // file, format
    for (std::size_t from = 0; from < formats.size(); ++from) {
        for (std::size_t to = 0; to < formats.size(); ++to) {
            const std::string out = dir.Path(formats[from] + "-to." + formats[to]);
            const CliRun run = RunCli(
                {"convert", "--from", formats[from], "--to", formats[to], sources[from], out});
            ASSERT_EQ(run.exitCode, 0) << formats[from] << " " << formats[to] << run.err;
            // Whatever the source format, the same output.
            EXPECT_EQ(ReadBytes(out), ReadBytes(sources[to])) << formats[from] << formats[to];
            if (from == (to + 1) % formats.size()) outputs.push_back({out, formats[to]});
        }
    }
    ASSERT_EQ(outputs.size(), formats.size());
    const std::vector<std::string> devices = {"8748H", "87C51H", "89S53", "89C55"};
    for (std::size_t d = 0; d < devices.size(); ++d) {
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            if ((d + k) % 2 != 0) continue; // every part, every format, not every pair
            const std::string back = dir.Path("back.bin");
            const std::string chip = dir.Path("chip.bin");
            const auto& [file, format] = outputs[k];
            CliRun run = RunCli({"--virtual=save-chip=" + chip, "--device", devices[d], "--format",
                                 format, "program", file});
            ASSERT_EQ(run.exitCode, 0) << devices[d] << " " << file << "\n" << run.err;
            run = RunCli({"--virtual=chip=" + chip, "--device", devices[d], "read", back});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const Bytes read = ReadBytes(back);
            ASSERT_GE(read.size(), input.size());
            EXPECT_EQ(Bytes(read.begin(), read.begin() + static_cast<long>(input.size())), input)
                << devices[d] << " " << file;
        }
    }
}

TEST(CliLoad, TheBufferHoldsTheErasedValueUnderTheFile) {
    ScratchDir dir;
    const std::string chip = dir.Path("chip.bin");
    const std::string hex = dir.Path("small.hex");
    WriteText(hex, ":0400000001020304F2\n:00000001FF\n");

    // A part programmed by another tool: the file's bytes, the rest erased.
    Bytes programmed(0x1000, 0xFF);
    for (int i = 0; i < 4; ++i)
        programmed[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i + 1);
    WriteBytes(chip, programmed);
    CliRun run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "verify", hex});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "--fill", "0", "verify", hex});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.out, "0004  EXPECTED-00 FOUND-FF")) << run.out;

    // Programming leaves the rest of a part erased, or --fill's value.
    run = RunCli({"--virtual=save-chip=" + chip, "--device", "87C51H", "program", hex});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip), programmed);
    run = RunCli({"--virtual=save-chip=" + chip, "--device", "8748H", "program", hex});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    Bytes small(0x400, 0x00);
    std::copy(programmed.begin(), programmed.begin() + 4, small.begin());
    EXPECT_EQ(ReadBytes(chip), small);
    run = RunCli({"--virtual=save-chip=" + chip, "--device", "89C51", "--fill=5A", "program", hex});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip).at(0x800), 0x5A);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--virtual", "--device", "87C51H", "--fill", "100", "program", hex},
             {"--virtual", "--device", "87C51H", "--fill", "FF", "blank"},
             {"--virtual", "--device", "87C51H", "--fold", "read", dir.Path("x.bin")}}) {
        run = RunCli(bad);
        EXPECT_EQ(run.exitCode, 2) << run.err;
    }
    run = RunCli({"--help"});
    EXPECT_TRUE(Has(run.out, "--fill XX")) << run.out;
    EXPECT_TRUE(Has(run.out, "--fold")) << run.out;
    EXPECT_TRUE(Has(run.out, "erased value")) << run.out;
}

TEST(CliLoad, ReadSavesTheDeviceBytesWhateverTheBufferStart) {
    ScratchDir dir;
    const std::string chip = dir.Path("chip.bin");
    const Bytes contents = RandomBytes(0x2000, 21);
    WriteBytes(chip, contents);
    for (const char* start : {"0", "100", "3000", "E000"}) {
        for (const char* name : {"out.bin", "out.hex", "out.s28"}) {
            const std::string out = dir.Path(name);
            CliRun run = RunCli({"--virtual=chip=" + chip, "--device", "87C52H", "--buffer-start",
                                 start, "read", out});
            ASSERT_EQ(run.exitCode, 0) << start << run.err;
            const std::string bin = dir.Path("as.bin");
            run = RunCli({"convert", "--from",
                          std::string(name) == "out.bin"   ? "binary"
                          : std::string(name) == "out.hex" ? "intel"
                                                           : "motorola",
                          "--to", "binary", "--device", "87C52H", out, bin});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(ReadBytes(bin), contents) << start << " " << name;
        }
    }
    // A start that leaves no room for the part is refused before any packet.
    const std::string trace = dir.Path("trace.txt");
    const CliRun run = RunCli({"--virtual", "--trace", trace, "--device", "87C52H",
                               "--buffer-start", "F000", "read", dir.Path("o.bin")});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_TRUE(ReadLines(trace).empty());
}

// A line that is no record, or a record that gives an address a second
// value, stops program, verify and compare before the programmer is touched;
// an indented record is read.
TEST(CliLoad, SkippedLinesAndDisagreeingRecordsAreRefused) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    const std::string junk = dir.Path("junk.hex");
    WriteText(junk, ":0100000011EE\n\n:0100000922D4\nS1040001339F\n:00000001FF\n");
    const std::string twice = dir.Path("twice.s19");
    WriteText(twice, "S104001011DA\nS104001022C9\nS9030000FC\n");
    for (const char* op : {"program", "verify", "compare"}) {
        CliRun run = RunCli({"--virtual", "--trace", trace, "--device", "89C52", op, junk});
        EXPECT_EQ(run.exitCode, 1) << op << "\n" << run.err;
        EXPECT_TRUE(Has(run.err, "velmar-cli: " + junk +
                                     ":3: not a record of the format, skipped; "
                                     "nothing done\n"))
            << run.err;
        run = RunCli({"--virtual", "--trace", trace, "--device", "89C52", op, twice});
        EXPECT_EQ(run.exitCode, 1) << op << "\n" << run.err;
        EXPECT_TRUE(Has(run.err, twice + ":2: gives address 0010 a second, different value (11, then 22)"))
            << run.err;
        EXPECT_TRUE(ReadLines(trace).empty()) << op;
    }
    const std::string chip = dir.Path("chip.bin");
    const std::string indented = dir.Path("indented.hex");
    WriteText(indented, "\t:0100000011EE\n   :0100010022DC\n:00000001FF\n");
    const CliRun run =
        RunCli({"--virtual=save-chip=" + chip, "--device", "89C52", "program", indented});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip).at(1), 0x22);
}

// Two files run together: what follows the first end record is refused as
// every unread line is, naming where it starts; convert writes what was read
// only when asked to. Blank lines after the end are no reason.
TEST(CliLoad, RecordsAfterTheEndRecordAreRefusedAsUnread) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    const std::string two = dir.Path("two.hex");
    WriteText(two, ":0100000011EE\n:00000001FF\n:0100100022CD\n:00000001FF\n");
    const std::string said = "velmar-cli: " + two + ":3: after the end record on line 2, not read";
    for (const char* op : {"program", "verify", "compare"}) {
        const CliRun run = RunCli({"--virtual", "--trace", trace, "--device", "89C52", op, two});
        EXPECT_EQ(run.exitCode, 1) << op << "\n" << run.err;
        EXPECT_TRUE(Has(run.err, said + "; nothing done\n")) << run.err;
        EXPECT_TRUE(ReadLines(trace).empty()) << op;
    }
    const std::string s19 = dir.Path("two.s19");
    WriteText(s19, "S1040000AA51\nS9030000FC\n\nS1040010BB30\nS9030000FC\n");
    CliRun run = RunCli({"--virtual", "--device", "89C52", "program", s19});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, s19 + ":4: after the end record on line 2, not read; nothing done"))
        << run.err;

    const std::string out = dir.Path("out.bin");
    run = RunCli({"convert", "--to", "binary", two, out});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, said + "; nothing written (--skip-bad-lines writes what was read)"))
        << run.err;
    run = RunCli({"convert", "--to", "binary", "--skip-bad-lines", two, out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(out), Bytes{0x11});

    const std::string chip = dir.Path("chip.bin");
    const std::string blanks = dir.Path("blanks.hex");
    WriteText(blanks, ":0100000011EE\n:00000001FF\n\r\n\n");
    run = RunCli({"--virtual=save-chip=" + chip, "--device", "89C52", "program", blanks});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip).at(0), 0x11);
}

// The offset takes five digits, as the window's Hex Offset does, and wraps at
// 20 bits: D0000 brings a file linked at 30000 down to 0 for convert, the
// device operations and a job alike, with no word of data beyond the part.
TEST(CliLoad, AFiveDigitOffsetBringsAFileDownAsTheWindowDoes) {
    ScratchDir dir;
    const std::string high = dir.Path("high.hex");
    WriteText(high, ":020000040003F7\n:0400000001020304F2\n:00000001FF\n");
    const std::string out = dir.Path("out.bin");
    CliRun run = RunCli({"convert", "--offset", "D0000", "--to", "binary", high, out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(out), (Bytes{1, 2, 3, 4}));

    const std::string chip = dir.Path("chip.bin");
    run = RunCli({"--virtual=save-chip=" + chip, "--device", "89C52", "--offset", "D0000",
                  "program", high});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_FALSE(Has(run.err, "beyond")) << run.err;
    const Bytes held = ReadBytes(chip);
    ASSERT_GE(held.size(), 4u);
    EXPECT_EQ(Bytes(held.begin(), held.begin() + 4), (Bytes{1, 2, 3, 4}));
    run = RunCli({"--virtual=chip=" + chip, "--device", "89C52", "--offset", "0xD0000",
                  "verify", high});
    EXPECT_EQ(run.exitCode, 0) << run.err;

#ifndef _WIN32
    run = RunCli({"--device", "89C52", "--offset", "D0000", "job", "new", high});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "offset = 'D0000'")) << run.out;
    const std::string job = dir.Path("line.toml");
    WriteText(job, run.out);
    run = RunCli({"job", "check", job});
    EXPECT_EQ(run.exitCode, 0) << run.err;
#endif
}

// Text never goes onto a chip as binary by accident, nor random bytes as
// hex; --format takes the file as asked.
TEST(CliLoad, TextIsNotProgrammedAsBinaryUnlessAsked) {
    ScratchDir dir;
    const std::string trace = dir.Path("trace.txt");
    const std::string english = dir.Path("notes.txt");
    WriteText(english, "Erase the part before you program it.\n");
    const std::string utf16 = dir.Path("wide.txt");
    WriteText(utf16, std::string("\xFF\xFE"
                                 "0\0"
                                 "0\0 \0"
                                 "1\0\n\0",
                                 12));
    const std::string spaced = dir.Path("spaced");
    WriteText(spaced, "00 01 02 03\n");
    const std::string noise = dir.Path("noise.hex");
    WriteBytes(noise, RandomBytes(4096, 5));
    for (const std::string& file : {english, utf16, spaced}) {
        const CliRun run =
            RunCli({"--virtual", "--trace", trace, "--device", "89C52", "program", file});
        EXPECT_EQ(run.exitCode, 1) << file << "\n" << run.err;
        EXPECT_EQ(run.err, "velmar-cli: " + file +
                               " looks like text, not a binary image or a hex format; give "
                               "--format binary to program it as bytes\n");
        EXPECT_TRUE(ReadLines(trace).empty());
    }
    CliRun run = RunCli({"--virtual", "--device", "89C52", "verify", noise});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, noise + " is named as a hex file but is not text")) << run.err;

    const std::string chip = dir.Path("chip.bin");
    run = RunCli({"--virtual=save-chip=" + chip, "--device", "89C52", "--format", "binary",
                  "program", spaced});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(chip).at(2), ' ');
}

TEST(CliLoad, ErrorsNameTheFileAndLine) {
    ScratchDir dir;
    const std::string image = dir.Path("image.hex");
    std::string text;
    for (int i = 0; i < 11; ++i)
        text += ":00000003FD\n";
    text += ":010000000G\n";
    WriteText(image, text);
    CliRun run = RunCli({"--virtual", "--device", "89C52", "program", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "velmar-cli: " + image + ":12: '$0G' is not a valid integer value.\n"))
        << run.err;

    // A field holding a line end or a NUL is shown escaped.
    WriteText(image, std::string(":02000000110\n:00000001FF\n"));
    run = RunCli({"--virtual", "--device", "89C52", "program", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "velmar-cli: " + image + ":1: '$0\\n' is not a valid integer value."))
        << run.err;
    WriteText(image, std::string(":0100000\0\0\n", 11));
    run = RunCli({"--virtual", "--device", "89C52", "verify", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, image + ":1: '$0\\0' is not a valid integer value.")) << run.err;
    EXPECT_EQ(run.err.find('\0'), std::string::npos);
    ExpectErrorLinesNamed(run.err, {"Loading Buffer from Hex File...."});

#if !defined(_WIN32) // Windows names hold no line ends.
    // A file name with a line end in it stays on one line.
    const std::string odd = dir.Path("two\nlines.hex");
    WriteText(odd, ":00000001FF\n");
    run = RunCli({"--virtual", "--device", "89C52", "program", odd});
    EXPECT_EQ(run.exitCode, 1);
    ExpectErrorLinesNamed(run.err, {"Loading Buffer from Hex File....", "Hex File Loaded...."});
#endif

    // convert's errors carry the name too.
    run = RunCli({"convert", "--from", "intel", "--to", "binary", image, dir.Path("o.bin")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "velmar-cli: " + image + ":1: ")) << run.err;
    run = RunCli({"convert", "--from", "elf"});
    EXPECT_EQ(run.exitCode, 2);
    ExpectErrorLinesNamed(run.err, {});
}

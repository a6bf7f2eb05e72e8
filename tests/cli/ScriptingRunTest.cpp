// velmar-cli for scripts, dump archivists and production lines: one group
// per behaviour, through the command line against the virtual programmer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliRunner.h"
#include "cli/Arguments.h"
#include "cli/CommandOptions.h"
#include "cli/DumpIdentity.h"
#include "devices/DeviceCatalogue.h"

using namespace velmar::clitest;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Identity(const Bytes& bytes) {
    return velmar::cli::IdentityLine(bytes.data(), bytes.size());
}

// velmar-cli with its error stream on a pseudo-terminal; what the terminal
// received, read while the child runs.
CliRun RunOnTerminal(const std::vector<std::string>& args) {
    CliRun run;
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return run;
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(slave, 2);
        close(master);
        std::vector<char*> argv{const_cast<char*>(VELMAR_CLI)};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(VELMAR_CLI, argv.data());
        _exit(127);
    }
    close(slave);
    char block[4096];
    for (;;) {
        const ssize_t got = read(master, block, sizeof block);
        if (got > 0) {
            run.err.append(block, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        break; // EIO once the child closed the terminal
    }
    close(master);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

const std::string kChip = "--virtual=chip=";

} // namespace

// 1. Progress: a bar redrawn in place on a terminal, parseable lines on request.
TEST(CliProgress, BarOnATerminalLinesOnRequest) {
    ScratchDir dir;
    const std::string image = dir.Path("image.bin");
    WriteBytes(image, RandomBytes(0x8000, 1));
    const CliRun run = RunOnTerminal({"--virtual", "--device", "87C58H", "program", image});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Each phase ends as one full bar with its elapsed time.
    const std::string full = "|" + std::string(20, '#') + "| 100%  32.0/32.0 KiB  in ";
    EXPECT_TRUE(Has(run.err, "Program " + full)) << run.err;
    EXPECT_TRUE(Has(run.err, "Verify " + full)) << run.err;
    // Redraws never go backwards within a phase.
    std::string phase;
    int last = -1;
    int frames = 0;
    std::istringstream pieces(run.err);
    for (std::string piece; std::getline(pieces, piece, '\r');) {
        const std::size_t bar = piece.find(" |");
        if (bar == std::string::npos || piece.size() < bar + 28) continue;
        const std::string name = piece.substr(0, bar);
        if (name != "Program" && name != "Verify") continue;
        const int percent = std::atoi(piece.c_str() + bar + 24);
        if (name != phase) {
            phase = name;
            last = -1;
        }
        EXPECT_GE(percent, last) << piece;
        last = percent;
        ++frames;
    }
    // 128 program blocks and 16 read blocks: far fewer frames than steps.
    EXPECT_GE(frames, 2);
    EXPECT_LT(frames, 40) << run.err;
    EXPECT_FALSE(Has(run.err, "progress program")) << run.err;

    const CliRun lines =
        RunCli({"--virtual", "--progress=lines", "--device", "87C58H", "program", image});
    ASSERT_EQ(lines.exitCode, 0) << lines.err;
    std::vector<int> tenths;
    for (const auto& line : Lines(lines.err)) {
        char name[16] = {};
        int percent = 0;
        long done = 0, total = 0;
        if (std::sscanf(line.c_str(), "progress %15s %d %ld %ld", name, &percent, &done, &total) !=
            4)
            continue;
        EXPECT_EQ(total, 32768);
        EXPECT_EQ(done * 100 / total, percent) << line;
        if (std::string(name) == "program") tenths.push_back(percent / 10);
    }
    EXPECT_EQ(tenths, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) << lines.err;
    EXPECT_TRUE(Has(lines.err, "progress verify 100 32768 32768")) << lines.err;
    // Not a terminal and not asked for: no progress at all.
    const CliRun plain = RunCli({"--virtual", "--device", "87C58H", "program", image});
    EXPECT_FALSE(Has(plain.err, "progress") || Has(plain.err, "|#")) << plain.err;
}

// 2. Verbosity.
TEST(CliVerbosity, QuietVerboseAndTrace) {
    ScratchDir dir;
    const std::string image = dir.Path("image.bin");
    const std::string chip = dir.Path("chip.bin");
    Bytes bytes = RandomBytes(4096, 2);
    WriteBytes(image, bytes);
    bytes[0x123] ^= 0x10;
    WriteBytes(chip, bytes);

    CliRun run = RunCli({"-q", kChip + chip, "--device", "87C51H", "verify", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.out, "0123  EXPECTED-")) << run.out;
    EXPECT_EQ(Lines(run.out).size(), 1u);
    // Errors only: the red banner as an error line and the summary.
    for (const auto& line : Lines(run.err))
        EXPECT_TRUE(line.rfind("velmar-cli: ", 0) == 0 || Has(line, "differing")) << line;
    EXPECT_TRUE(Has(run.err, "velmar-cli: Device Did NOT Verify to Buffer....")) << run.err;
    EXPECT_TRUE(Has(run.err, "1 differing byte, 1 differing bit, first 0123, last 0123"));

    run = RunCli({"-q", "--virtual", "--device", "87C51H", "program", image});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");

    run = RunCli({"-v", "--virtual", "--device", "87C51H", "program", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const char* part : {"programmer: Brindle Programmer, serial BP123001, firmware 1.23",
                             "device: 87C51H, addresses 0000-0FFF, buffer start 0000", "Vpp",
                             "file: ", "binary (from the extension)", "file data: 4096 bytes"})
        EXPECT_TRUE(Has(run.err, part)) << part << "\n" << run.err;
    EXPECT_FALSE(Has(run.err, "24 00 00 00 00 00 00 24"));

    const std::string trace = dir.Path("trace.txt");
    run = RunCli({"-vv", "--virtual", "--trace", trace, "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> traced = velmar::clitest::ReadLines(trace);
    ASSERT_FALSE(traced.empty());
    // Every packet of the trace file is on the error stream, in order.
    std::size_t at = 0;
    for (const auto& line : traced) {
        at = run.err.find(line, at);
        ASSERT_NE(at, std::string::npos) << line;
    }
    EXPECT_TRUE(Has(run.err, "programmer: "));
    EXPECT_EQ(RunCli({"-q", "-v", "--virtual", "--device", "87C51H", "blank"}).exitCode, 2);
}

// 3. Difference reports that scale.
TEST(CliDifferences, SummaryAndMaxDiffs) {
    ScratchDir dir;
    const std::string chip = dir.Path("chip.bin");
    Bytes bytes(4096, 0xFF);
    bytes[0x010] = 0x00;
    bytes[0x800] = 0xFE;
    bytes[0xFFF] = 0x0F;
    WriteBytes(chip, bytes);
    CliRun run = RunCli({kChip + chip, "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(Lines(run.out).size(), 3u);
    EXPECT_TRUE(Has(run.err, "3 differing bytes, 13 differing bits, first 0010, last 0FFF\n"))
        << run.err;

    run = RunCli({kChip + chip, "--max-diffs", "1", "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "0010  EXPECTED-FF FOUND-00\n");
    EXPECT_TRUE(Has(run.err, "3 differing bytes, 13 differing bits, first 0010, last 0FFF "
                             "(2 lines not shown, --max-diffs)"))
        << run.err;

    // A wholly wrong 87C58H: every line by default off a terminal.
    const std::string zeros = dir.Path("zeros.bin");
    WriteBytes(zeros, Bytes(0x8000, 0x00));
    run = RunCli({kChip + zeros, "--device", "87C58H", "blank"});
    EXPECT_EQ(Lines(run.out).size(), 32768u);
    EXPECT_TRUE(Has(run.err, "32768 differing bytes, 262144 differing bits, first 0000, "
                             "last 7FFF\n"));
    run = RunCli({"--virtual", "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Has(run.err, "0 differing bytes\n")) << run.err;
    EXPECT_EQ(RunCli({"--virtual", "--max-diffs", "x", "--device", "87C51H", "blank"}).exitCode, 2);
}

// 4. Standard streams.
TEST(CliStreams, DashReadsStandardInputAndWritesStandardOutput) {
    ScratchDir dir;
    const std::string image = dir.Path("image.bin");
    const std::string saved = dir.Path("saved.bin");
    const Bytes bytes = RandomBytes(4096, 4);
    WriteBytes(image, bytes);

    CliRun run = RunCliWithInput({"--virtual=save-chip=" + saved, "--device", "87C51H", "program",
                                  "--format", "binary", "-"},
                                 image);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(saved), bytes);

    run = RunCli({kChip + image, "--device", "87C51H", "read", "--format", "binary", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), bytes);
    EXPECT_TRUE(Has(run.err, Identity(bytes)));

    run = RunCli({kChip + image, "--device", "87C51H", "read", "--format", "intel", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string hex = dir.Path("image.hex");
    WriteText(hex, run.out);
    EXPECT_TRUE(Has(run.out, "\n:10000000")) << run.out.substr(0, 40);
    // Intel from standard input, detected, back to binary on standard output.
    run = RunCliWithInput({"convert", "--to", "binary", "-", "-"}, hex);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), bytes);
    run = RunCliWithInput({"--virtual", "--device", "87C51H", "verify", "-"}, "/dev/null");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "standard input holds no data")) << run.err;
    // Writing needs a format.
    EXPECT_EQ(RunCli({"--virtual", "--device", "87C51H", "read", "-"}).exitCode, 2);
}

// 5. Format detection by content.
TEST(CliFormats, DetectedByContentExplicitWins) {
    ScratchDir dir;
    const std::string chip = dir.Path("chip.bin");
    Bytes bytes(4096, 0xFF);
    for (int i = 0; i < 16; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(0x30 + i);
    WriteBytes(chip, bytes);
    const std::string ascii = "303132333435363738393A3B3C3D3E3F\r\n";
    const struct {
        std::string name, text, said;
    } files[] = {
        {"a.rom", "\r\n:10000000303132333435363738393A3B3C3D3E3F78\r\n:00000001FF\r\n",
         "Intel hex"},
        {"a.dat", "S1130000303132333435363738393A3B3C3D3E3F74\nS9030000FC\n", "Motorola S-record"},
        {"a", ascii, "ASCII hex"},
        {"a.img", std::string(bytes.begin(), bytes.begin() + 17), "binary"},
    };
    for (const auto& f : files) {
        const std::string path = dir.Path(f.name);
        WriteText(path, f.text);
        const CliRun run =
            RunCli({"-v", kChip + chip, "--device", "87C51H", "--fill", "FF", "verify", path});
        EXPECT_TRUE(Has(run.err, f.said + " (detected from its contents)")) << f.name << run.err;
        EXPECT_EQ(run.exitCode, 0) << f.name << "\n" << run.err;
    }
    // An explicit format wins: the Intel text taken as binary differs.
    const CliRun run = RunCli({"-v", kChip + chip, "--device", "87C51H", "--format", "binary",
                               "verify", dir.Path("a.rom")});
    EXPECT_TRUE(Has(run.err, "binary (from --format)")) << run.err;
    EXPECT_EQ(run.exitCode, 1);
}

// 6. Dump identity.
TEST(CliIdentity, ReadAndHash) {
    ScratchDir dir;
    const std::string chip = dir.Path("chip.bin");
    const Bytes bytes = RandomBytes(0x2000, 6);
    WriteBytes(chip, bytes);
    CliRun run = RunCli({kChip + chip, "--device", "87C52H", "read", dir.Path("out.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, Identity(bytes) + "\n")) << run.err;
    EXPECT_EQ(ReadBytes(dir.Path("out.bin")), bytes);

    // --hash: the buffer range compared, here from buffer position 1000.
    const std::string image = dir.Path("image.bin");
    WriteBytes(image, bytes);
    run = RunCli(
        {kChip + chip, "--device", "87C52H", "--buffer-start", "1000", "--hash", "verify", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "buffer 1000-2FFF: " + Identity(bytes))) << run.err;
    run = RunCli({"-q", kChip + chip, "--device", "87C52H", "--hash", "compare", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, Identity(bytes))) << run.err;
    EXPECT_EQ(RunCli({"--virtual", "--device", "87C52H", "--hash", "blank"}).exitCode, 2);
}

// 7. Weak-bit detection.
TEST(CliWeakBits, PassesFindUnstableBits) {
    ScratchDir dir;
    const std::string chip = dir.Path("chip.bin");
    const Bytes bytes = RandomBytes(4096, 7);
    WriteBytes(chip, bytes);
    const std::string out = dir.Path("out.bin");
    CliRun run = RunCli({"--virtual=chip=" + chip + ",weak-bits=0010:FF;0ABC:F0", "--device",
                         "87C51H", "read", "--passes", "5", out});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0].rfind("0010  UNSTABLE-", 0), 0u);
    EXPECT_EQ(lines[1].rfind("0ABC  UNSTABLE-", 0), 0u);
    // Only masked bits move; every other byte is the chip's.
    EXPECT_EQ(std::stoi(lines[1].substr(15, 2), nullptr, 16) & 0x0F, 0);
    const Bytes read = ReadBytes(out);
    ASSERT_EQ(read.size(), bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 0x010) continue;
        EXPECT_EQ(read[i] & (i == 0xABC ? 0x0F : 0xFF), bytes[i] & (i == 0xABC ? 0x0F : 0xFF)) << i;
    }
    // The file holds the majority the list names.
    char majority[3];
    std::snprintf(majority, sizeof majority, "%02X", read[0x10]);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 2), majority);
    EXPECT_TRUE(Has(run.err, "2 addresses with")) << run.err;

    run = RunCli({kChip + chip, "--device", "87C51H", "read", "--passes", "3", out});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(ReadBytes(out), bytes);
    EXPECT_EQ(RunCli({"--virtual", "--device", "87C51H", "read", "--passes", "10", out}).exitCode,
              2);
    EXPECT_EQ(RunCli({"--virtual=weak-bits=10", "--device", "87C51H", "read", out}).exitCode, 2);
}

// 8. Several programmers.
TEST(CliProgrammers, ListSerialAndTwoAtOnce) {
    ScratchDir dir;
    CliRun run = RunCli({"--virtual=programmers=3,devices=2", "list"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "0  BP123001  Brindle Programmer  programmer, firmware 1.23\n"
                       "1  BP123002  Brindle Programmer  programmer, firmware 1.23\n"
                       "2  BP123003  Brindle Programmer  programmer, firmware 1.23\n"
                       "3  FT4Q7Z2K  FT232R USB UART  no answer\n");
    // Without --serial the window's search finds no single programmer.
    EXPECT_EQ(RunCli({"--virtual=programmers=2", "probe"}).exitCode, 1);
    EXPECT_EQ(RunCli({"--virtual=programmers=2", "--serial", "BP123002", "probe"}).exitCode, 0);
    EXPECT_EQ(RunCli({"--virtual=programmers=2", "--serial", "BP999999", "probe"}).exitCode, 1);

    // Two processes, two programmers, at once; then each chip read back.
    const std::string state = dir.Path("state");
    std::filesystem::create_directory(state);
    const std::string options = "--virtual=programmers=2,timing=on,state-dir=" + state;
    const Bytes first = RandomBytes(4096, 81), second = RandomBytes(4096, 82);
    WriteBytes(dir.Path("first.bin"), first);
    WriteBytes(dir.Path("second.bin"), second);
    CliRun a, b;
    std::thread one([&] {
        a = RunCli({options, "--serial", "BP123001", "--device", "87C51H", "program",
                    dir.Path("first.bin")});
    });
    std::thread two([&] {
        b = RunCli({options, "--serial", "BP123002", "--device", "87C51H", "program",
                    dir.Path("second.bin")});
    });
    one.join();
    two.join();
    EXPECT_EQ(a.exitCode, 0) << a.err;
    EXPECT_EQ(b.exitCode, 0) << b.err;
    run = RunCli({"--virtual=programmers=2,state-dir=" + state, "--serial", "BP123001", "--device",
                  "87C51H", "verify", dir.Path("first.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    run = RunCli({"--virtual=programmers=2,state-dir=" + state, "--serial", "BP123002", "--device",
                  "87C51H", "verify", dir.Path("second.bin")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadBytes(state + "/virtual-chip-BP123001-4.bin"), first);
    EXPECT_EQ(ReadBytes(state + "/virtual-chip-BP123002-4.bin"), second);
}

// 9. Bash completion.
namespace {

constexpr const char* kRule = "200:le16:1";

// What the completion offers for the line `words`, the cursor on word
// `current`, one word a line.
std::string Complete(const std::string& words, int current) {
    ScratchDir dir;
    const std::string script = dir.Path("complete.sh");
    WriteText(script, "source '" VELMAR_COMPLETION "'\nCOMP_WORDS=(" + words +
                          ")\nCOMP_CWORD=" + std::to_string(current) +
                          "\n_velmar_cli\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n");
    std::string out;
    if (std::FILE* shell = popen(("bash --norc --noprofile '" + script + "'").c_str(), "r")) {
        char block[4096];
        for (std::size_t got; (got = std::fread(block, 1, sizeof block, shell)) > 0;)
            out.append(block, got);
        pclose(shell);
    }
    return out;
}

} // namespace

TEST(CliCompletion, CommandsOptionsDevicesFormats) {
    EXPECT_EQ(Complete("velmar-cli --virtual pro", 2), "program\nprobe\n");
    EXPECT_EQ(Complete("velmar-cli --device 87C5 blank", 2).find("87C51H\n87C52H"), 0u);
    EXPECT_EQ(Complete("velmar-cli --format ''", 2), "binary\nintel\nmotorola\nascii\n");
    EXPECT_TRUE(Has(Complete("velmar-cli --max", 1), "--max-diffs"));
    EXPECT_TRUE(Has(Complete("velmar-cli convert --fr", 2), "--from"));
    // Every device of the catalogue is offered.
    const std::string all = Complete("velmar-cli --device ''", 2);
    for (const auto& row : velmar::DeviceCatalogue()) {
        if (!row.IsDevice) continue;
        std::string name(row.Caption);
        while (!name.empty() && name.back() == ' ')
            name.pop_back();
        EXPECT_TRUE(Has(all, name + "\n")) << name;
    }
}

// For each command, the options offered after it are exactly those its
// parser takes: each option of the tables, with a value that suits it, is
// added to lines of that command that parse.
TEST(CliCompletion, OffersEachCommandTheOptionsItTakes) {
    using Words = std::vector<std::string>;
    const std::vector<std::pair<std::string, std::vector<Words>>> commands = {
        {"read", {{"--device", "89C52", "read", "out.bin"}}},
        {"verify", {{"--device", "89C52", "verify", "in.bin"}}},
        {"compare", {{"--device", "89C52", "compare", "in.bin"}}},
        {"program", {{"--device", "89C52", "program", "in.bin"}}},
        {"blank", {{"--device", "89C52", "blank"}}},
        {"erase", {{"--device", "89C52", "erase"}}},
        {"lock", {{"--device", "89C52", "lock", "1"}}},
        {"probe", {{"probe"}}},
        {"firmware", {{"firmware", "fw.hex"}}},
        {"list", {{"list"}}},
        {"doctor", {{"doctor"}}},
        {"disasm",
         {{"--device", "89C52", "disasm", "in.bin"},
          {"--cpu", "8051", "disasm", "in.bin"},
          {"--device", "89C52", "--read", "disasm"}}},
        {"job new", {{"--device", "89C52", "job", "new", "in.bin"}}},
        {"job check", {{"job", "check", "line.toml"}}},
        {"job run", {{"job", "run", "line.toml"}}},
        {"convert", {{"convert", "in.bin", "out.hex"}}},
    };
    // A value each option takes (convert's --from and --to name formats,
    // disasm's addresses); the flags stand alone.
    const std::multimap<std::string, std::string> given = {
        {"--trace", "t.log"},    {"--serial", "BP1"},        {"--progress", "lines"},
        {"--device", "89C52"},   {"--format", "binary"},     {"--buffer-start", "0"},
        {"--max-diffs", "3"},    {"--passes", "2"},          {"--fill", "FF"},
        {"--offset", "0"},       {"--cpu", "8051"},          {"--from", "binary"},
        {"--to", "intel"},       {"--log", "u.log"},         {"--log-csv", "u.csv"},
        {"--serial-state", "s"}, {"--lock-bits", "1"},       {"--limit", "100"},
        {"--end", "FF"},         {"--serial-number", kRule}, {"--from", "0"},
        {"--to", "FF"},
    };
    // A row with a value and no sample here reads as refused everywhere.
    std::set<std::string> options{"--help"};
    for (const velmar::cli::CommandOption& o : velmar::cli::CommandOptionRows())
        options.insert(o.name);
    for (const auto& [name, value] : velmar::cli::ConvertOptionKinds())
        options.insert(name);
    // Some options need another beside them to make a line.
    const std::vector<Words> companions = {{}, {"--repeat"}, {"--serial-number", kRule}};
    for (const auto& [command, lines] : commands) {
        for (const Words& line : lines)
            ASSERT_EQ(velmar::cli::ParseArguments(line).error, "") << command;
        std::string typed = "velmar-cli";
        for (const std::string& word : lines[0])
            typed += " " + word;
        const std::vector<std::string> offered =
            Lines(Complete(typed + " -", static_cast<int>(lines[0].size()) + 1));
        for (const std::string& option : options) {
            bool takes = false;
            std::vector<Words> forms;
            for (auto [at, end] = given.equal_range(option); at != end; ++at)
                forms.push_back({option, at->second});
            if (forms.empty()) forms.push_back({option});
            for (const Words& line : lines)
                for (const Words& form : forms)
                    for (const Words& beside : companions) {
                        Words words = line;
                        words.insert(words.end(), form.begin(), form.end());
                        words.insert(words.end(), beside.begin(), beside.end());
                        takes = takes || velmar::cli::ParseArguments(words).error.empty();
                    }
            const bool isOffered =
                std::find(offered.begin(), offered.end(), option) != offered.end();
            EXPECT_EQ(isOffered, takes) << command << " " << option;
        }
    }
}

// What velmar-cli says must be so: no success around the buffer start, no
// sentence before its outcome is known, no virtual programmer that pretends,
// and completion as a real shell splits the line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar::clitest;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

// Sixteen bytes 00..0F at address 0000.
const std::string kSmallHex = ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n";

} // namespace

TEST(CliBufferStart, NoFalseSuccessAroundTheBufferStart) {
    ScratchDir dir;
    const std::string image = dir.Path("small.hex");
    WriteText(image, kSmallHex);
    const std::string trace = dir.Path("trace.txt");

    // Hex records load at their own address: a blank part does not verify
    // against the fill at buffer 1000 onwards.
    CliRun run = RunCli({"--virtual", "--trace", trace, "--device", "89C52", "--buffer-start",
                         "1000", "verify", image});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "velmar-cli: none of " + image +
                                 "'s data lies in buffer positions 1000-2FFF, which the 89C52 "
                                 "uses; give --offset or --buffer-start\n"))
        << run.err;
    EXPECT_TRUE(ReadLines(trace).empty());

    // --offset moves the records to where the device's range starts.
    const std::string chip = dir.Path("chip.bin");
    run = RunCli({"--virtual=save-chip=" + chip, "--device", "89C52", "--buffer-start", "1000",
                  "--offset", "1000", "program", image});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Bytes programmed = ReadBytes(chip);
    ASSERT_EQ(programmed.size(), 0x2000u);
    for (int i = 0; i < 0x10; ++i)
        EXPECT_EQ(programmed[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(programmed[0x10], 0xFF);

    // A device range past the buffer is refused before any packet, whatever
    // the operation.
    for (const std::vector<std::string>& operation :
         {std::vector<std::string>{"program", image}, {"verify", image}, {"blank"}, {"erase"}}) {
        std::vector<std::string> args = {"--virtual", "--trace",        trace, "--device",
                                         "89C52",     "--buffer-start", "F000"};
        args.insert(args.end(), operation.begin(), operation.end());
        run = RunCli(args);
        EXPECT_EQ(run.exitCode, 2) << operation.front();
        EXPECT_TRUE(Has(run.err, "--buffer-start F000 leaves no room")) << run.err;
        EXPECT_TRUE(ReadLines(trace).empty()) << operation.front();
    }
}

TEST(CliHonesty, SummariesAndNotFoundSayWhatIsKnown) {
    // A stopped blank check says how far its count goes.
    CliRun run = RunCli({"--virtual=unplug-from=9", "--device", "87C52H", "blank"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "\n0 differing bytes in 0000-07FF, stopped at 0800\n")) << run.err;

    // A serial that names no programmer is named, and so is the way to look.
    run = RunCli({"--virtual=devices=2", "--serial", "BP999999", "probe"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "velmar-cli: no USB bridge with serial BP999999 is attached; "
                             "velmar-cli list shows every bridge and which answer\n"))
        << run.err;
    run = RunCli({"--virtual=devices=2", "probe"});
    EXPECT_TRUE(Has(run.err, "2 USB bridges are attached and none was asked; give --serial SN "
                             "(velmar-cli list shows"))
        << run.err;
}

TEST(CliHonesty, OutputsEndInAnErrorNotASilentLoss) {
    ScratchDir dir;
    // A file-size limit: an error line, and no temporary file left behind.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const CliRun limited = RunCli({"--virtual", "--device", "87C58H", "read", dir.Path("big.bin")});
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(limited.exitCode, 2) << limited.err;
    EXPECT_TRUE(Has(limited.err, "velmar-cli: ")) << limited.err;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("")))
        EXPECT_EQ(entry.path().filename().string().find(".big.bin"), std::string::npos)
            << entry.path();

    // A dangling symbolic link stays one.
    const std::string link = dir.Path("out.bin");
    ASSERT_EQ(symlink(dir.Path("missing/target.bin").c_str(), link.c_str()), 0);
    const CliRun dangling = RunCli({"--virtual", "--device", "87C51H", "read", link});
    EXPECT_EQ(dangling.exitCode, 2);
    EXPECT_TRUE(Has(dangling.err, link + " is a symbolic link to a missing file")) << dangling.err;
    EXPECT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)));
}

TEST(CliVirtual, TheVirtualProgrammerIsHonestToo) {
    ScratchDir dir;
    // Chip contents that cannot be had are not an erased part.
    WriteBytes(dir.Path("long.bin"), Bytes(0x10001, 0x55));
    std::filesystem::create_directory(dir.Path("folder"));
    for (const std::string& chip : {dir.Path("long.bin"), dir.Path("folder"), dir.Path("none")}) {
        const CliRun run = RunCli({"--virtual=chip=" + chip, "--device", "87C51H", "blank"});
        EXPECT_EQ(run.exitCode, 2) << chip;
        EXPECT_TRUE(Has(run.err, "velmar-cli: --virtual: chip=")) << run.err;
    }
    CliRun run = RunCli({"--virtual=state-dir=" + dir.Path("gone"), "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, dir.Path("gone") + " is not a folder")) << run.err;

    // While this process holds the programmer kept in the state folder,
    // another finds it busy, as a bridge another program holds.
    velmar::VirtualOptions options;
    options.StateDir = dir.Path("");
    velmar::VirtualProgrammer& here = velmar::VirtualProgrammer::Instance();
    here.Reset(options);
    char serial[] = "BP123001";
    velmar::FT_HANDLE handle = nullptr;
    ASSERT_EQ(here.OpenEx(serial, velmar::FT_OPEN_BY_SERIAL_NUMBER, &handle), velmar::FT_OK);
    run = RunCli({"--virtual=state-dir=" + dir.Path(""), "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "The Brindle Programmer Could Not Be Found....\nThe programmer's "
                             "USB bridge is busy, another program or driver holds it"))
        << run.err;
    here.Close(handle);
    run = RunCli({"--virtual=state-dir=" + dir.Path(""), "--device", "87C51H", "blank"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    here.Reset();
}

// Tab pressed in an interactive bash, which splits the line itself ("=" is
// a word break there); the completed line is printed back one word a line.
TEST(CliCompletion, CompletesInARealShell) {
    const auto Completed = [](const std::string& typed) {
        int master = -1;
        const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            setenv("INPUTRC", "/dev/null", 1);
            setenv("TERM", "dumb", 1);
            setenv("PS1", "$ ", 1);
            execlp("bash", "bash", "--norc", "--noprofile", "-i", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ctrl-A, then the line becomes printf's arguments.
        const std::string input =
            "source '" VELMAR_COMPLETION "'\n" + typed + "\t\x01printf '<%s>\\n' \nexit\n";
        const ssize_t sent = write(master, input.data(), input.size());
        EXPECT_EQ(sent, static_cast<ssize_t>(input.size()));
        std::string out;
        char block[4096];
        for (;;) {
            const ssize_t got = read(master, block, sizeof block);
            if (got > 0) {
                out.append(block, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            break;
        }
        close(master);
        int status = 0;
        waitpid(pid, &status, 0);
        return out;
    };
    EXPECT_TRUE(Has(Completed("velmar-cli --device=8751"), "<--device=8751H>")) << "device";
    EXPECT_TRUE(Has(Completed("velmar-cli --format=mo"), "<--format=motorola>")) << "format";
    EXPECT_TRUE(Has(Completed("velmar-cli --progress=l"), "<--progress=lines>")) << "progress";
    EXPECT_TRUE(Has(Completed("velmar-cli --device 89S82"), "<89S8252>")) << "separate value";
}

// A cable pulled in the middle of an operation: one sentence that says
// where and what the part holds, the lost link said once, nothing more sent
// (no closing idle, so no write time-out), no file for an unfinished read,
// exit 1.
TEST(CliUnplugged, StopsAtOnceWithOneSentence) {
    ScratchDir dir;
    const std::string image = dir.Path("image.bin");
    Bytes data(0x2000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    WriteBytes(image, data);
    const std::string trace = dir.Path("trace.txt");
    const std::string chip = dir.Path("chip.bin");

    // The search and the frame's opening take six packets, then per block
    // a SetLatches and its ProgramBlock: packet 16 is the block at 0400.
    CliRun run = RunCli({"--virtual=chip-type=89C52,unplug-from=16,save-chip=" + chip, "--trace",
                         trace, "--device", "89C52", "program", image});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::string sentence =
        "velmar-cli: the programmer was unplugged at block 0400: the part holds the new data "
        "from 0000 up to 03FF, not from 0400 on (block 0400 perhaps in part)\n";
    EXPECT_TRUE(Has(run.err, sentence)) << run.err;
    const auto count = [](const std::string& text, const std::string& part) {
        std::size_t n = 0;
        for (std::size_t at = text.find(part); at != std::string::npos;
             at = text.find(part, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(run.err, "unplugged"), 1u) << run.err;
    EXPECT_EQ(count(run.err, "Device no longer present ... PortStatus-4 USB-0"), 1u) << run.err;
    EXPECT_EQ(count(run.err, "General IO Error"), 1u) << run.err;
    EXPECT_FALSE(Has(run.err, "Write TimeOut")) << run.err;
    EXPECT_TRUE(Has(run.err, "Eprom DID NOT Program.............")) << run.err;
    // The ProgramBlock at 0400 is the last packet sent.
    const std::vector<std::string> sent = ReadLines(trace);
    ASSERT_EQ(sent.size(), 16u);
    EXPECT_EQ(sent.back().substr(0, 12), "41 05 00 04 ");
    // What the sentence says the part holds.
    const Bytes held = ReadBytes(chip);
    ASSERT_EQ(held.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 0x400, held.begin()));
    EXPECT_TRUE(
        std::all_of(held.begin() + 0x500, held.end(), [](std::uint8_t b) { return b == 0xFF; }));

    // A read pulled at its second block (packet 10) writes no file.
    const std::string out = dir.Path("read.bin");
    run = RunCli({"--virtual=chip-type=89C52,unplug-from=10", "--trace", trace, "--device", "89C52",
                  "read", out});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "velmar-cli: the programmer was unplugged at block 0800: the part was "
                             "not changed; it was read up to 07FF only\n"))
        << run.err;
    EXPECT_TRUE(Has(run.err, "Move Device Stopped at 0800....")) << run.err;
    EXPECT_EQ(count(run.err, "Device no longer present"), 1u) << run.err;
    EXPECT_FALSE(Has(run.err, "Write TimeOut")) << run.err;
    EXPECT_EQ(ReadLines(trace).size(), 10u);
    EXPECT_FALSE(std::filesystem::exists(out));

    // The next run finds the programmer again.
    run = RunCli({"--virtual=chip-type=89C52", "probe"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

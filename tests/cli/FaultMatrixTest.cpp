// Every operation of velmar-cli against every fault the virtual programmer
// can inject, at the first, a middle and the last packet of the operation:
// a run ends with its success sentence and exit status 0 only when the fault
// cost it nothing (every awaited reply came whole), the input file is never
// touched, and an output file is either complete or the old one.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/ConsolePanel.h"
#include "cli/Operations.h"
#include "devices/ProgramState.h"
#include "virtual/FirmwareImage.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::cli {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

enum class Op { Read, Verify, Blank, Compare, Program, Erase, Lock1, Lock2, Lock3, Firmware };
enum class Fault { NoReplyAt, NoReplyFrom, UnplugFrom, ShortWrite, FailBlock, LongReply };
enum class Where { First, Middle, Last };

// A 4 KiB flash part: it reads, programs, erases and locks, in few packets.
constexpr std::uint32_t kSize = 0x1000;
constexpr int kFamily = 5;

const char* Name(Op op) {
    static const char* const names[] = {"read",  "verify", "blank", "compare", "program",
                                        "erase", "lock1",  "lock2", "lock3",   "firmware"};
    return names[static_cast<int>(op)];
}
const char* Name(Fault fault) {
    static const char* const names[] = {"NoReplyAt",  "NoReplyFrom", "UnplugFrom",
                                        "ShortWrite", "FailBlock",   "LongReply"};
    return names[static_cast<int>(fault)];
}
const char* Name(Where where) {
    static const char* const names[] = {"First", "Middle", "Last"};
    return names[static_cast<int>(where)];
}

std::string Success(Op op) {
    switch (op) {
    case Op::Read:
        return "Device Has Been Moved to Buffer....";
    case Op::Verify:
    case Op::Program:
        return "Device Verified to Buffer....";
    case Op::Blank:
        return "Device is Erased....";
    case Op::Compare:
        return "Device Can be Reprogrammed....";
    case Op::Erase:
        return "Device has been Erase, Do a Blank Check........";
    case Op::Lock1:
    case Op::Lock2:
    case Op::Lock3:
        return "Security Bit #" + std::to_string(static_cast<int>(op) - 5) +
               " has been programmed...";
    case Op::Firmware:
        return "Good Update...";
    }
    return {};
}

Bytes Image() {
    Bytes image(kSize);
    for (std::uint32_t a = 0; a < kSize; ++a)
        image[a] = static_cast<std::uint8_t>((a * 2654435761u) >> 13);
    return image;
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

struct Scratch {
    Scratch() {
        std::random_device seed;
        for (;;) {
            const auto candidate = std::filesystem::temp_directory_path() /
                                   ("velmar-matrix-" + std::to_string(seed()));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) { // false when it exists
                dir = candidate.generic_string();
                return;
            }
            if (ec) std::abort();
        }
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string Path(const char* name) const { return dir + "/" + name; }
    std::string dir;
};

struct Outcome {
    int exit = -1;
    std::string sentence; // the banner, or the update's verdict
    Lines trace;
    Lines faults;
    Bytes input;  // the data or firmware file after the run
    Bytes output; // read's output file after the run
};

const Bytes kOldOutput(16, 'O');

Outcome RunOnce(Op op, VirtualOptions options) {
    const Scratch scratch;
    const Bytes image = Image();
    const std::string input = scratch.Path(op == Op::Firmware ? "firmware.bin" : "image.bin");
    const std::string output = scratch.Path("read.bin");
    WriteFile(input, op == Op::Firmware ? MakeFirmwareImage(1, 24, 3) : image);
    WriteFile(output, kOldOutput);

    options.Family = kFamily;
    options.Size = kSize;
    VirtualProgrammer& vp = VirtualProgrammer::Instance();
    vp.Reset(options);
    if (op == Op::Read || op == Op::Verify || op == Op::Compare) vp.Chip() = image;

    std::vector<std::string> line = {"--virtual", "--device", "89C51"};
    switch (op) {
    case Op::Read:
        line.insert(line.end(), {"read", output});
        break;
    case Op::Verify:
    case Op::Compare:
    case Op::Program:
        line.insert(line.end(), {Name(op), input});
        break;
    case Op::Blank:
    case Op::Erase:
        line.push_back(Name(op));
        break;
    case Op::Lock1:
    case Op::Lock2:
    case Op::Lock3:
        line.insert(line.end(), {"lock", std::to_string(static_cast<int>(op) - 5)});
        break;
    case Op::Firmware:
        line = {"--virtual", "firmware", input};
        break;
    }
    const ParseResult parsed = ParseArguments(line);
    EXPECT_TRUE(parsed.error.empty()) << parsed.error;

    std::FILE* quiet = std::fopen("/dev/null", "w");
    Outcome out;
    {
        ConsolePanel panel(quiet, quiet, false);
        auto state = std::make_unique<ProgramState>(VirtualBackend());
        state->Panel.Attach(&panel);
        state->Link.ReplyTimeoutMs = 20;
        state->Link.Sleeper = [](int) {};
        out.exit = op == Op::Firmware ? RunFirmware(*state, panel, input)
                                      : RunDeviceOperation(*state, panel, parsed.arguments);
        out.sentence = op == Op::Firmware ? (panel.Showed("Good Update...") ? "Good Update..." : "")
                                          : panel.Banner();
        state->Panel.Attach(nullptr);
    }
    std::fclose(quiet);
    out.trace = vp.Trace();
    out.faults = vp.Faults();
    out.input = ReadFile(input);
    out.output = ReadFile(output);
    return out;
}

// The packets whose reply the host awaits: commands below 0x80 (but the
// flash exit), the checksum query, program blocks and firmware records.
bool Awaited(const std::string& line) {
    const int code = std::stoi(line.substr(0, 2), nullptr, 16);
    const std::size_t plus = line.find('+');
    if (plus != std::string::npos) {
        const int extra = std::stoi(line.substr(plus + 1));
        return code == 0x41 || extra == 66;
    }
    return (code < 0x80 && code != 0x52) || code == 0xAA;
}

// The faultless run of each operation, and where in it the operation begins:
// after the search and the device selection (version, voltage, idle), or for
// the firmware update after the version query.
struct Clean {
    Outcome run;
    long first = 0;
    long last = 0;
};

const Clean& CleanRun(Op op) {
    static std::map<Op, Clean> runs;
    auto it = runs.find(op);
    if (it != runs.end()) return it->second;
    Clean clean;
    clean.run = RunOnce(op, VirtualOptions());
    clean.last = static_cast<long>(clean.run.trace.size());
    if (op == Op::Firmware) {
        clean.first = 2;
    } else {
        int idles = 0;
        for (std::size_t i = 0; i < clean.run.trace.size(); ++i)
            if (clean.run.trace[i].rfind("24 ", 0) == 0 && ++idles == 2) {
                clean.first = static_cast<long>(i) + 1;
                break;
            }
    }
    return runs.emplace(op, clean).first->second;
}

using Case = std::tuple<Op, Fault, Where>;

class FaultMatrix : public testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, NoSuccessUnlessEveryReplyCame) {
    const auto [op, fault, where] = GetParam();
    const Clean& clean = CleanRun(op);
    ASSERT_EQ(clean.run.exit, 0) << "the faultless run must pass";
    ASSERT_EQ(clean.run.sentence, Success(op));
    ASSERT_GT(clean.first, 0);
    ASSERT_LE(clean.first, clean.last);

    const long packet = where == Where::First  ? clean.first
                        : where == Where::Last ? clean.last
                                               : (clean.first + clean.last) / 2;
    const Lines& trace = clean.run.trace;
    auto awaitedAt = [&](long n) { return Awaited(trace[static_cast<std::size_t>(n - 1)]); };

    VirtualOptions options;
    bool bites = false;
    switch (fault) {
    case Fault::NoReplyAt:
        options.NoReplyAt = packet;
        bites = awaitedAt(packet);
        break;
    case Fault::NoReplyFrom:
        options.NoReplyFrom = packet;
        for (long n = packet; n <= clean.last; ++n)
            bites = bites || awaitedAt(n);
        break;
    case Fault::UnplugFrom:
        options.UnplugFrom = packet;
        bites = packet < clean.last || awaitedAt(packet);
        break;
    case Fault::ShortWrite:
        options.ShortWriteAt = packet;
        bites = true;
        break;
    case Fault::FailBlock:
        options.FailBlock = where == Where::First    ? 0
                            : where == Where::Middle ? kSize / 2
                                                     : kSize - 1;
        bites = op == Op::Program;
        break;
    case Fault::LongReply:
        options.LongReplyAt = packet;
        bites = awaitedAt(packet);
        break;
    }

    const Outcome run = RunOnce(op, options);
    SCOPED_TRACE(std::string("packet ") + std::to_string(packet) + " " + trace[packet - 1] +
                 (bites ? " (costs a reply)" : " (costs nothing)") + ", sentence: " + run.sentence);
    if (bites) {
        EXPECT_EQ(run.exit, ExitFailed);
        EXPECT_NE(run.sentence, Success(op));
    } else {
        EXPECT_EQ(run.exit, ExitSuccess);
        EXPECT_EQ(run.sentence, Success(op));
    }
    EXPECT_EQ(run.input, clean.run.input); // never touched
    if (op == Op::Read) {
        if (run.exit == ExitSuccess)
            EXPECT_EQ(run.output, Image());
        else
            EXPECT_EQ(run.output, kOldOutput);
    } else {
        EXPECT_EQ(run.output, kOldOutput);
    }
    // No reply byte was ever read as the reply to a later request.
    for (const std::string& f : run.faults)
        EXPECT_EQ(f.find("read as its reply"), std::string::npos) << f;
}

INSTANTIATE_TEST_SUITE_P(
    EveryOperationEveryFault, FaultMatrix,
    testing::Combine(testing::Values(Op::Read, Op::Verify, Op::Blank, Op::Compare, Op::Program,
                                     Op::Erase, Op::Lock1, Op::Lock2, Op::Lock3, Op::Firmware),
                     testing::Values(Fault::NoReplyAt, Fault::NoReplyFrom, Fault::UnplugFrom,
                                     Fault::ShortWrite, Fault::FailBlock, Fault::LongReply),
                     testing::Values(Where::First, Where::Middle, Where::Last)),
    [](const testing::TestParamInfo<Case>& info) {
        return std::string(Name(std::get<0>(info.param))) + "_" + Name(std::get<1>(info.param)) +
               "_" + Name(std::get<2>(info.param));
    });

} // namespace
} // namespace velmar::cli

// Whole velmar-cli operations through the real libftdi1 door into the libusb
// stand-in, with the virtual programmer's firmware and chip behind the
// bridge: the chip, the files, the packets sent, the output and the exit
// status must be those of the same run on --virtual, and the stand-in must
// have seen nothing real libusb forbids.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/ProcessRunner.h"

namespace velmar {
namespace {

using Bytes = std::vector<unsigned char>;

struct CliRun {
    int exit = -1;
    std::string out, err, trace, faults;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes ReadBytes(const std::string& path) {
    const std::string text = Slurp(path);
    return Bytes(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Part {
    const char* name;
    std::size_t size;
};

class StandInRun : public ::testing::TestWithParam<std::tuple<Part, const char*>> {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("velmar-standin-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(dir_);
        const Part& part = std::get<0>(GetParam());
        std::mt19937 random(7);
        image_.resize(part.size);
        for (auto& b : image_)
            b = static_cast<unsigned char>(random());
        WriteBytes(Path("image.bin"), image_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // One run of `args`, through the door (`door`) or on --virtual, with the
    // chip starting as `chip` (none: erased) and saved to `tag`.chip.
    CliRun Once(bool door, const std::string& tag, const std::vector<std::string>& args,
             const Bytes* chip) const {
        const Part& part = std::get<0>(GetParam());
        std::string options = std::string("chip-type=") + part.name + ",save-chip=" + Path(tag + ".chip");
        if (chip) {
            WriteBytes(Path(tag + ".start"), *chip);
            options += ",chip=" + Path(tag + ".start");
        }
        std::vector<std::string> all;
        test::ProcessOptions o;
        o.outPath = Path(tag + ".out");
        o.errPath = Path(tag + ".err");
        std::string program = VELMAR_CLI;
        if (door) {
            program = VELMAR_CLI_ON_STANDIN;
            all = {"--usb", "--trace", Path(tag + ".trace")};
            o.env = {std::string("VELMAR_STANDIN=bridge=") + std::get<1>(GetParam()),
                     "VELMAR_STANDIN_VIRTUAL=" + options,
                     "VELMAR_STANDIN_FAULTS=" + Path(tag + ".faults"), "LD_LIBRARY_PATH="};
        } else {
            all = {"--virtual=" + options, "--trace", Path(tag + ".trace")};
        }
        all.insert(all.end(), args.begin(), args.end());
        CliRun run;
        run.exit = test::RunProcess(program, all, o);
        run.out = Slurp(o.outPath);
        run.err = Slurp(o.errPath);
        run.trace = Slurp(Path(tag + ".trace"));
        run.faults = Slurp(Path(tag + ".faults"));
        return run;
    }

    // The door's run and the virtual one side by side (host-timed parts
    // spend their time asleep); both must agree in every respect.
    CliRun Both(const std::string& tag, const std::vector<std::string>& args,
             const Bytes* chip = nullptr) {
        auto door = std::async(std::launch::async, [&] { return Once(true, tag + "-door", args, chip); });
        const CliRun plain = Once(false, tag + "-virtual", args, chip);
        const CliRun through = door.get();
        const std::string what = "velmar-cli " + ::testing::PrintToString(args);
        EXPECT_EQ(through.faults, "") << what;
        EXPECT_EQ(through.exit, plain.exit) << what << "\n" << through.err;
        EXPECT_EQ(through.out, plain.out) << what;
        EXPECT_EQ(through.err, plain.err) << what;
        EXPECT_EQ(through.trace, plain.trace) << what;
        // A refused command (erase or lock on a part without them) never
        // reaches the programmer; every other one leaves the same chip.
        if (!plain.trace.empty()) {
            EXPECT_EQ(ReadBytes(Path(tag + "-door.chip")), ReadBytes(Path(tag + "-virtual.chip")))
                << what;
        }
        return through;
    }

    std::filesystem::path dir_;
    Bytes image_;
};

TEST_P(StandInRun, EveryOperationAgreesWithTheVirtualProgrammer) {
    const Part& part = std::get<0>(GetParam());
    const std::string device = part.name;
    const std::vector<std::string> dev = {"--device", device};
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> args = dev;
        args.insert(args.end(), tail.begin(), tail.end());
        return args;
    };

    // program: the chip holds the image.
    const CliRun programmed = Both("program", with({"program", Path("image.bin")}));
    EXPECT_EQ(programmed.exit, 0) << programmed.err;
    EXPECT_FALSE(programmed.trace.empty());
    EXPECT_EQ(ReadBytes(Path("program-door.chip")), image_);

    // read: the file holds the chip.
    const CliRun read = Both("read", with({"read", Path("read.bin")}), &image_);
    EXPECT_EQ(read.exit, 0) << read.err;
    EXPECT_EQ(ReadBytes(Path("read.bin")), image_);

    // verify against a chip with three differing bytes: exactly those three.
    Bytes spoiled = image_;
    const std::size_t at[3] = {0x0005, part.size / 2, part.size - 1};
    for (std::size_t a : at)
        spoiled[a] ^= 0x24;
    const CliRun verified = Both("verify", with({"verify", Path("image.bin")}), &spoiled);
    EXPECT_EQ(verified.exit, 1);
    int lines = 0;
    for (std::size_t a : at) {
        char address[8];
        std::snprintf(address, sizeof address, "%04zX", a);
        EXPECT_NE(verified.out.find(address), std::string::npos) << verified.out;
    }
    for (char c : verified.out)
        lines += c == '\n';
    EXPECT_EQ(lines, 3) << verified.out;

    Both("blank", with({"blank"}), &image_);
    Both("compare", with({"compare", Path("image.bin")}), &spoiled);
    Both("erase", with({"erase"}), &image_);
    for (const char* bit : {"1", "2", "3"})
        Both(std::string("lock") + bit, with({"lock", bit}), &image_);
}

const Part kParts[] = {
    {"8741A", 0x400}, // byte by byte, timed by the host
    {"8748H", 0x400},
    {"87C58H", 0x8000},
    {"89C52", 0x2000},
};

INSTANTIATE_TEST_SUITE_P(
    PartsAndBridges, StandInRun,
    ::testing::Combine(::testing::ValuesIn(kParts), ::testing::Values("ft232r", "ft232h")),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param);
    });

// The version query through a bridge of each packet size, and a search that
// finds no bridge.
TEST(StandInProbe, FindsTheProgrammerThroughEitherBridgeAndNothingWithoutOne) {
    for (const char* bridge : {"ft232r", "ft232h", "none"}) {
        const std::string faults = std::filesystem::temp_directory_path() / "velmar-standin-probe";
        test::ProcessOptions o;
        const std::string out = faults + ".out";
        o.outPath = out;
        o.env = {std::string("VELMAR_STANDIN=bridge=") + bridge, "VELMAR_STANDIN_FAULTS=" + faults};
        const int exit = test::RunProcess(VELMAR_CLI_ON_STANDIN, {"--usb", "probe"}, o);
        const bool present = std::string(bridge) != "none";
        EXPECT_EQ(exit, present ? 0 : 1) << bridge;
        EXPECT_EQ(Slurp(out), present ? "Usb Programmer Found - FirmWare Version 1.23\n" : "") << bridge;
        EXPECT_EQ(Slurp(faults), "") << bridge;
        std::filesystem::remove(faults);
        std::filesystem::remove(out);
    }
}

} // namespace
} // namespace velmar

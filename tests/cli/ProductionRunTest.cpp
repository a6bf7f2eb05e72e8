// velmar-cli on a production line, run as a script runs it on the virtual
// programmer: --json for every command, repeated runs with serial numbers,
// logs and the state file against the chips, stopped runs, job files and
// two processes sharing one serial state.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "ProductionFixtures.h"
#include "tests/support/JsonSchemaCheck.h"
#include "tests/support/ProcessRunner.h"
#include "virtual/FirmwareImage.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar::clitest;
using nlohmann::json;

namespace {

const std::string kDevice = "87C51H"; // 4 KiB, addresses 0000-0FFF

json Schema() {
    std::ifstream in(std::string(VELMAR_SOURCE_DIR) + "/docs/velmar-cli-result.schema.json");
    return json::parse(in);
}

std::string WriteInput(const ScratchDir& dir, const std::string& name, const std::string& text) {
    WriteBytes(dir.Path(name), Bytes(text.begin(), text.end()));
    return dir.Path(name);
}

std::string ChipBytesAt(const std::string& chip, std::size_t address, std::size_t count) {
    const Bytes bytes = ReadBytes(chip);
    if (bytes.size() < address + count) return "(short chip)";
    return std::string(bytes.begin() + static_cast<long>(address),
                       bytes.begin() + static_cast<long>(address + count));
}

} // namespace

TEST(CliJson, EveryCommandPrintsOneObjectTheSchemaAccepts) {
    ScratchDir dir;
    const json schema = Schema();
    const std::string image = WriteImage(dir);
    Bytes other = ReadBytes(image);
    other.resize(0x1000, 0xFF);
    for (std::size_t i = 0x20; i < 0x25; ++i)
        other[i] ^= 0x11;
    WriteBytes(dir.Path("other.bin"), other);
    WriteBytes(dir.Path("fw.bin"), velmar::MakeFirmwareImage(1, 24, 4));
    const std::string job = dir.Path("job.toml");
    const std::string v = "--virtual";
    struct Case {
        std::vector<std::string> line;
        std::string result;
    };
    const std::vector<Case> cases = {
        {{v, "probe"}, "ok"},
        {{"--virtual=devices=0", "probe"}, "no-programmer"},
        {{v, "list"}, "ok"},
        {{v, "firmware", dir.Path("fw.bin")}, "ok"},
        {{v, "--device", kDevice, "read", dir.Path("read.bin")}, "ok"},
        {{v, "--device", kDevice, "blank"}, "ok"},
        {{v, "--device", kDevice, "program", image}, "ok"},
        {{v + "=chip=" + dir.Path("other.bin"), "--device", kDevice, "--max-diffs", "2", "verify",
          image},
         "failed"},
        {{v, "--device", kDevice, "compare", image}, "ok"},
        {{v, "--device", "89C51", "erase"}, "ok"},
        {{v, "--device", kDevice, "lock", "1"}, "ok"},
        {{"convert", "--to", "intel", image, dir.Path("image.hex")}, "ok"},
        {{"--device", kDevice, "--serial-number", "0FF0:le16:1", "job", "new", image}, "ok"},
        {{"job", "check", dir.Path("missing.toml")}, "bad-input"},
        {{"--bogus"}, "bad-input"},
        {{v, "doctor"}, "bad-input"},
        {{v + "=stuck-data=3:0", "--device", kDevice, "program", image}, "failed"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> line = c.line;
        line.insert(line.begin() + (line.front() == "convert" ? 1 : 0), "--json");
        const CliRun run = RunCli(line);
        SCOPED_TRACE(line.back() + ": " + run.err);
        ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
        const json object = json::parse(run.out);
        EXPECT_EQ(velmar::test::SchemaProblems(schema, object), std::vector<std::string>{});
        EXPECT_EQ(object["result"], c.result);
        EXPECT_EQ(object["exit_code"], run.exitCode);
        if (c.line.back() == "verify") {
            // Five differing bytes, two of them listed; the rest counted.
            EXPECT_EQ(object["differences"]["count"], 5);
            EXPECT_EQ(object["differences"]["first"], 0x20);
            ASSERT_EQ(object["differences"]["list"].size(), 2u);
            EXPECT_EQ(object["differences"]["list"][1]["address"], 0x21);
            EXPECT_EQ(object["data"]["bytes"], 0x1000);
            EXPECT_TRUE(object["file"].contains("sha1"));
        }
        // The diagnosis line, as it follows the summary on stderr.
        EXPECT_EQ(object.contains("diagnosis"), c.line[0].find("stuck-data") != std::string::npos);
        if (object.contains("diagnosis")) {
            EXPECT_TRUE(Has(run.err, object["diagnosis"].get<std::string>()));
        }
        if (c.line.back() == "probe" && c.result == "ok") {
            EXPECT_EQ(object["programmer"]["serial"], "BP123001");
        }
        if (c.line.size() > 1 && c.line[c.line.size() - 2] == "new") {
            const std::string text = object["job_toml"].get<std::string>();
            WriteBytes(job, Bytes(text.begin(), text.end()));
        }
    }
    // The job written by job new runs; its object carries the part.
    const CliRun run = RunCli({"--json", "--virtual", "job", "run", job});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json object = json::parse(run.out);
    EXPECT_EQ(velmar::test::SchemaProblems(schema, object), std::vector<std::string>{});
    ASSERT_EQ(object["parts"].size(), 1u);
    EXPECT_EQ(object["parts"][0]["serial_number"], 1);

    if (velmar::test::CanInterruptChildren()) {
        // Stopped by Ctrl-C: the part is stopped, its number spoiled. With
        // the timing model on, the 87C58H takes over a minute to program.
        Bytes big(0x7F00);
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = static_cast<unsigned char>(i ^ (i >> 8));
        WriteBytes(dir.Path("big.bin"), big);
        const CliRun stopped = RunCli({"--json", "--virtual=timing=on", "--device", "87C58H",
                                       "--serial-number", "7FF0:le16:50", "--serial-state",
                                       dir.Path("stop.json"), "program", dir.Path("big.bin")},
                                      800);
        EXPECT_EQ(stopped.exitCode, 1) << stopped.err;
        const json s = json::parse(stopped.out);
        EXPECT_EQ(velmar::test::SchemaProblems(schema, s), std::vector<std::string>{});
        EXPECT_EQ(s["result"], "stopped");
        EXPECT_EQ(State(dir.Path("stop.json"))["spoiled"], json::array({50}));
    }
}

TEST(CliRepeat, FivePartsInEachOfThreeFormatsHoldTheirOwnNumbers) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const std::string enter = WriteInput(dir, "enter.txt", "\n\n\n\n\n\n\n");
    struct Format {
        std::string rule;
        std::vector<std::string> chips; // the bytes at 0FF0 of parts 1..5
    };
    const std::vector<Format> formats = {
        {"0FF0:le16:0x1234:3",
         {"\x34\x12", "\x37\x12", "\x3A\x12", "\x3D\x12", std::string("\x40\x12", 2)}},
        {"0FF0:bcd4:1998",
         {"\x19\x98", "\x19\x99", std::string("\x20\x00", 2), "\x20\x01", "\x20\x02"}},
        {"0FF0:ascii8:99", {"00000099", "00000100", "00000101", "00000102", "00000103"}},
    };
    for (const Format& f : formats) {
        SCOPED_TRACE(f.rule);
        const std::string parts = dir.Path("parts-" + f.rule.substr(5, 4));
        std::filesystem::create_directory(parts);
        const std::string log = parts + ".jsonl";
        const std::string state = parts + ".json";
        const CliRun run = RunCliWithInput(
            {"-q", "--virtual=swap=on,save-parts=" + parts, "--device", kDevice, "--repeat", "5",
             "--serial-number", f.rule, "--serial-state", state, "--log", log, "program", image},
            enter);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Has(run.err, "Insert part 5 and press Enter, q to stop")) << run.err;
        EXPECT_TRUE(Has(run.err, "parts 5, passed 5, failed 0, yield 100.0%")) << run.err;
        const std::vector<json> lines = JsonLines(log);
        ASSERT_EQ(lines.size(), 5u);
        std::vector<std::uint64_t> numbers;
        for (std::size_t i = 0; i < 5; ++i) {
            const std::string chip = parts + "/part-" + std::to_string(i + 1) + ".bin";
            EXPECT_EQ(ChipBytesAt(chip, 0x0FF0, f.chips[i].size()), f.chips[i]) << i;
            EXPECT_EQ(ChipBytesAt(chip, 0, 4), ChipBytesAt(image, 0, 4));
            EXPECT_EQ(lines[i]["sequence"], i + 1);
            EXPECT_EQ(lines[i]["result"], "ok");
            EXPECT_EQ(lines[i]["device"], kDevice);
            numbers.push_back(lines[i]["serial_number"].get<std::uint64_t>());
        }
        const std::uint64_t step = numbers[1] - numbers[0];
        EXPECT_EQ(State(state)["next"], numbers.back() + step);
    }
    // Without a key no part starts: the blank checks that found one are refused.
    const CliRun changed = RunCli({"-q", "--virtual=swap=on", "--device", kDevice, "--repeat", "2",
                                   "--repeat-when-changed", "--serial-number", "0FF0:be16:7",
                                   "--serial-state", dir.Path("changed.json"), "program", image});
    EXPECT_EQ(changed.exitCode, 2) << changed.err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("changed.json")));
}

const std::string kUnderVoltage =
    "velmar-cli: --repeat-when-changed is refused: it found each new part by blank-checking the "
    "socket every half second, which keeps programming voltage on the socket while parts are "
    "taken out and put in and can latch them up or destroy them; press Enter at each part's "
    "prompt instead\n";

// Parts are changed only while the socket is dead: a run of a part of each
// family passes every part, and none left the note of a damaged one. (The
// 8741's host-timed pulses take half a minute a part: its run is with the
// slow tests, TimedPartsRunTest.cpp.)
TEST(CliRepeat, NoPartIsEverSeatedUnderVoltage) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const std::string enter = WriteInput(dir, "enter.txt", "\n\n\n");
    for (const std::string device : {"8748", "8751H", "87C51H", "89C51", "89S52"}) {
        SCOPED_TRACE(device);
        const std::string parts = dir.Path("parts-" + device);
        std::filesystem::create_directory(parts);
        const CliRun run = RunCliWithInput({"-q", "--virtual=swap=on,save-parts=" + parts,
                                            "--device", device, "--repeat", "3", "program", image},
                                           enter);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(Has(run.err, "parts 3, passed 3, failed 0, yield 100.0%")) << run.err;
        for (int n = 1; n <= 3; ++n) {
            const std::string part = parts + "/part-" + std::to_string(n);
            EXPECT_EQ(ChipBytesAt(part + ".bin", 0, 256), ChipBytesAt(image, 0, 256)) << n;
            EXPECT_FALSE(std::filesystem::exists(part + ".txt")) << ReadLines(part + ".txt")[0];
        }
        EXPECT_FALSE(std::filesystem::exists(parts + "/part-4.bin"));
    }
}

// --repeat-when-changed stays only to say why it is gone: on program, job
// run and job new it is refused before anything reaches the programmer.
TEST(CliRepeat, RepeatWhenChangedIsRefusedAndSendsNothing) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const std::string job = dir.Path("line.toml");
    ASSERT_EQ(RunCli({"--device", kDevice, "--repeat", "2", "job", "new", image, job}).exitCode, 0);
    const std::string trace = dir.Path("trace.txt");
    const std::string virtualOptions = "--virtual=swap=on,trace=" + trace;
    const std::vector<std::vector<std::string>> lines = {
        {virtualOptions, "--device", kDevice, "--repeat", "2", "--repeat-when-changed", "program",
         image},
        {virtualOptions, "--device", kDevice, "--repeat-when-changed", "program", image},
        {virtualOptions, "--repeat-when-changed", "job", "run", job},
        {virtualOptions, "--json", "--repeat-when-changed", "job", "run", job},
        {"--device", kDevice, "--repeat-when-changed", "job", "new", image, dir.Path("new.toml")},
    };
    for (const std::vector<std::string>& line : lines) {
        SCOPED_TRACE(line[line.size() - 2] + " " + line.back());
        const CliRun run = RunCliWithInput(line, WriteInput(dir, "enter.txt", "\n\n"));
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), kUnderVoltage);
        EXPECT_FALSE(Has(run.err, "Insert part")) << run.err;
        EXPECT_TRUE(!std::filesystem::exists(trace) || ReadBytes(trace).empty())
            << ReadLines(trace).size() << " packets sent";
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path("new.toml")));
}

TEST(CliRepeat, StoppedAndFailedRunsNeverReuseANumber) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const std::string state = dir.Path("state.json");
    const std::string log = dir.Path("log.jsonl");
    const std::vector<std::string> common = {
        "--device", kDevice,     "--repeat", "--serial-number", "0FF0:le16:500", "--serial-state",
        state,      "--log-csv", log};
    const auto line = [&](const std::string& virtualOptions) {
        std::vector<std::string> l = {"-q", "--virtual=" + virtualOptions};
        l.insert(l.end(), common.begin(), common.end());
        l.insert(l.end(), {"program", image});
        return l;
    };
    // Two parts, then q.
    CliRun run = RunCliWithInput(line("swap=on"), WriteInput(dir, "a.txt", "\n\nq\n"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // A part whose block fails: its number is spoiled and the run goes on.
    run = RunCliWithInput(line("swap=on,fail-block=0"), WriteInput(dir, "b.txt", "\n\n"));
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "parts 2, passed 0, failed 2, yield 0.0%")) << run.err;
    // The end of input ends the third run after one part.
    run = RunCliWithInput(line("swap=on"), WriteInput(dir, "c.txt", "\n"));
    EXPECT_EQ(run.exitCode, 0) << run.err;

    const std::vector<std::string> rows = ReadLines(log);
    ASSERT_EQ(rows.size(), 6u); // the header and five parts
    const json s = State(state);
    EXPECT_EQ(s["next"], 505);
    EXPECT_EQ(s["spoiled"], json::array({502, 503}));
    EXPECT_EQ(s["last_passed"], 504);
    EXPECT_TRUE(Has(rows[3], ",502,failed,")) << rows[3];
    EXPECT_TRUE(Has(rows[5], ",504,ok,")) << rows[5];
    // A lost programmer ends the run; the part it left spoils its number.
    run = RunCliWithInput(line("swap=on,unplug-from=40"), WriteInput(dir, "lost.txt", "\n\n"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "parts 1, passed 0, failed 1")) << run.err;
    EXPECT_EQ(State(state)["spoiled"], json::array({502, 503, 505}));
    // An unwritable log is refused before the first part.
    std::vector<std::string> bad = line("swap=on");
    bad[std::find(bad.begin(), bad.end(), log) - bad.begin()] = dir.Path("no/log.csv");
    run = RunCliWithInput(bad, WriteInput(dir, "d.txt", "\n"));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(Has(run.err, "Insert part")) << run.err;
    EXPECT_EQ(State(state)["next"], 506);
}

TEST(CliJob, TwentyPartsFromAJobAgreeWithTheirChipsAndAChangedImageIsRefused) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    // The log named from the shell's folder; the job holds it from its own.
    const std::string job = dir.Path("line.toml");
    CliRun run =
        RunCli({"--device", kDevice, "--serial-number", "0FF8:hex8:0xA0", "--repeat", "20", "--log",
                dir.Path("line.jsonl"), "--lock-bits", "1", "job", "new", image, job});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = RunCli({"job", "check", job});
    EXPECT_EQ(run.exitCode, 0) << run.err;

    const std::string parts = dir.Path("parts");
    std::filesystem::create_directory(parts);
    run = RunCliWithInput({"-q", "--virtual=swap=on,save-parts=" + parts, "job", "run", job},
                          WriteInput(dir, "enter.txt", std::string(25, '\n')));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "parts 20, passed 20, failed 0, yield 100.0%")) << run.err;
    // The log and the state file lie beside the job, and agree with the chips.
    const std::vector<json> lines = JsonLines(dir.Path("line.jsonl"));
    ASSERT_EQ(lines.size(), 20u);
    std::set<std::string> images;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        char expected[9];
        std::snprintf(expected, sizeof expected, "%08X", static_cast<unsigned>(0xA0 + i));
        const std::string chip = parts + "/part-" + std::to_string(i + 1) + ".bin";
        EXPECT_EQ(ChipBytesAt(chip, 0x0FF8, 8), expected) << i;
        EXPECT_EQ(lines[i]["serial_number"], 0xA0 + i);
        EXPECT_EQ(lines[i]["job"], "image");
        images.insert(lines[i]["image_sha1"].get<std::string>());
    }
    EXPECT_EQ(images.size(), 20u); // each part verified against its own image
    EXPECT_EQ(State(dir.Path("line.serial.json"))["next"], 0xA0 + 20);

    Bytes changed = ReadBytes(image);
    changed[3] ^= 1;
    WriteBytes(image, changed);
    for (const std::vector<std::string>& line :
         {std::vector<std::string>{"job", "check", job},
          std::vector<std::string>{"--virtual", "job", "run", job}}) {
        run = RunCliWithInput(line, WriteInput(dir, "one.txt", "\n"));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(Has(run.err, "image.bin changed since the job was approved: SHA-1 "))
            << run.err;
    }
    EXPECT_EQ(JsonLines(dir.Path("line.jsonl")).size(), 20u);
}

TEST(CliJob, TwoProgrammersShareOneSerialStateAndWriteDisjointNumbers) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    CliRun made = RunCli({"--device", kDevice, "--serial-number", "0FF0:le32:1", "--repeat", "6",
                          "job", "new", image});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const std::string job = dir.Path("line.toml");
    WriteBytes(job, Bytes(made.out.begin(), made.out.end()));
    const std::string enter = WriteInput(dir, "enter.txt", std::string(6, '\n'));
    CliRun runs[2];
    std::thread programmers[2];
    for (int k = 0; k < 2; ++k)
        programmers[k] = std::thread([&, k] {
            const std::string serial = "BP12300" + std::to_string(k + 1);
            runs[k] = RunCliWithInput({"-q", "--virtual=programmers=2,swap=on", "--serial", serial,
                                       "--log", dir.Path(serial + ".jsonl"), "job", "run", job},
                                      enter);
        });
    for (auto& p : programmers)
        p.join();
    std::vector<std::uint64_t> all;
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(runs[k].exitCode, 0) << runs[k].err;
        const std::string serial = "BP12300" + std::to_string(k + 1);
        for (const json& line : JsonLines(dir.Path(serial + ".jsonl"))) {
            EXPECT_EQ(line["programmer"], serial);
            all.push_back(line["serial_number"].get<std::uint64_t>());
        }
    }
    std::sort(all.begin(), all.end());
    std::vector<std::uint64_t> expected(12);
    for (std::size_t i = 0; i < expected.size(); ++i)
        expected[i] = i + 1;
    EXPECT_EQ(all, expected);
    EXPECT_EQ(State(dir.Path("line.serial.json"))["next"], 13);
}

TEST(CliRepeat, TheSerialNumberStaysInsideThePartAndOffTheFilesData) {
    ScratchDir dir;
    // The file stores FF at 0FF0-0FF1: erased-looking, but data all the same.
    WriteInput(dir, "ff.hex", ":020FF000FFFF01\n:00000001FF\n");
    const auto run = [&](const std::string& rule, bool overwrite) {
        // A state holds the numbers of one rule only.
        std::string state = rule;
        std::replace(state.begin(), state.end(), ':', '-');
        std::vector<std::string> line = {
            "-q", "--virtual",      "--device",                 kDevice, "--serial-number",
            rule, "--serial-state", dir.Path(state + ".json")};
        if (overwrite) line.push_back("--serial-overwrite");
        line.insert(line.end(), {"program", dir.Path("ff.hex")});
        return RunCli(line);
    };
    CliRun r = run("0FF1:le16:1", false);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "would overwrite data of " + dir.Path("ff.hex") + " (at 0FF1)"))
        << r.err;
    r = run("0FFF:le16:1", true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r.err, "the serial number at 0FFF-1000 lies outside the 87C51H")) << r.err;
    EXPECT_EQ(run("0FF2:le16:1", false).exitCode, 0);
    EXPECT_EQ(run("0FF0:le16:2", true).exitCode, 0);
}

TEST(CliJob, TheJobsOffsetMovesHexRecordsAsOffsetDoes) {
    ScratchDir dir;
    const std::string hex = WriteInput(dir, "image.hex", ":0400000001020304F2\n:00000001FF\n");
    CliRun run = RunCli({"--device", kDevice, "--offset", "0100", "job", "new", hex});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "offset = '0100'")) << run.out;
    const std::string job = WriteInput(dir, "line.toml", run.out);
    const std::string chip = dir.Path("chip.bin");
    run = RunCli({"-q", "--virtual=save-chip=" + chip, "job", "run", job});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ChipBytesAt(chip, 0x100, 4), "\x01\x02\x03\x04");
    // Past 20 bits, as --offset 100000 is.
    const Bytes jobBytes = ReadBytes(job);
    std::string text(jobBytes.begin(), jobBytes.end());
    text.replace(text.find("'0100'"), 6, "'100000'");
    const std::string far = WriteInput(dir, "far.toml", text);
    run = RunCli({"job", "check", far});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "offset takes a hexadecimal address from 0 to FFFFF")) << run.err;
}

TEST(CliRepeat, EveryFreshPartKeepsTheSocketsFaultsAndNamesItsCause) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const CliRun run = RunCliWithInput({"--json", "--virtual=swap=on,weak-cells=50", "--device",
                                        kDevice, "--repeat", "2", "program", image},
                                       WriteInput(dir, "enter.txt", "\n\n"));
    EXPECT_EQ(run.exitCode, 1);
    const json object = json::parse(run.out);
    ASSERT_EQ(object["parts"].size(), 2u);
    for (const json& part : object["parts"])
        EXPECT_EQ(part["result"], "failed");
    ASSERT_TRUE(object.contains("diagnosis")) << run.err;
    const std::string line = object["diagnosis"].get<std::string>();
    std::size_t lines = 0;
    for (std::size_t at = run.err.find(line); at != std::string::npos;
         at = run.err.find(line, at + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << run.err;
}

TEST(CliJob, AJobsPrecheckRefusesAPartThatCannotTakeTheImage) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    CliRun run = RunCli({"--device", kDevice, "--precheck", "job", "new", image});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "precheck = true")) << run.out;
    const std::string job = WriteInput(dir, "line.toml", run.out);
    const std::string chip = dir.Path("chip.bin");
    WriteBytes(chip, Bytes(0x1000, 0x00));
    run = RunCli({"--virtual=chip=" + chip + ",save-chip=" + chip, "job", "run", job});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Has(run.err, "cannot take the image")) << run.err;
    EXPECT_EQ(ReadBytes(chip), Bytes(0x1000, 0x00)); // nothing programmed
    EXPECT_NE(RunCli({"--precheck", "job", "run", job}).exitCode, 0);
}

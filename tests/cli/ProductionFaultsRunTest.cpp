// velmar-cli on a production line when things go wrong: serial states that
// vanish, move, are named twice or are not states at all, signals and kills
// in the middle of a part, torn and full logs, two processes on one log.
// Each run is watched through its error stream, so a signal or a change to
// the state lands at a known point of the run, not after a guessed delay.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "ProductionFixtures.h"

using namespace velmar::clitest;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const std::string kDevice = "87C51H"; // 4 KiB; the serial numbers go to 0FF0

std::string WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
    return path;
}

std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A velmar-cli run whose standard input is a pipe the test writes (`input`
// first), and whose error stream the test reads as it comes: `at` is called
// once `marker` shows there, with the child's pid and the input's write end.
// Standard input is closed after it (or at the end, when the marker never
// came).
struct Watched {
    int exitCode = -1;
    bool markerSeen = false;
    std::string out, err;
};

Watched RunWatched(const std::vector<std::string>& args, const std::string& marker,
                   const std::function<void(pid_t, int)>& at, const std::string& input = "") {
    ScratchDir scratch;
    const std::string outPath = scratch.Path("stdout");
    int in[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::close(in[1]);
        ::close(err[0]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(VELMAR_CLI));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(VELMAR_CLI, argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(err[1]);
    Watched run;
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) return run;
    int writeEnd = in[1];
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(err[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        run.err.append(chunk, static_cast<std::size_t>(n));
        if (!run.markerSeen && run.err.find(marker) != std::string::npos) {
            run.markerSeen = true;
            at(pid, writeEnd);
            ::close(writeEnd);
            writeEnd = -1;
        }
    }
    if (writeEnd >= 0) ::close(writeEnd);
    ::close(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    run.out = ReadText(outPath);
    return run;
}

void Send(int fd, const std::string& text) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    ASSERT_EQ(n, static_cast<ssize_t>(text.size()));
}

std::vector<std::string> Program(const std::string& virtualOptions,
                                 const std::vector<std::string>& production,
                                 const std::string& image) {
    std::vector<std::string> line = {"-q", "--virtual" + virtualOptions, "--device", kDevice};
    line.insert(line.end(), production.begin(), production.end());
    line.insert(line.end(), {"program", image});
    return line;
}

} // namespace

TEST(CliSerialState, AStateThatVanishesMovesOrIsNamedTwiceNeverRepeatsANumber) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const std::string state = dir.Path("line.serial.json");
    const std::string log = dir.Path("line.jsonl");
    const std::vector<std::string> serial = {"--serial-number", "0FF0:le16:1000", "--serial-state",
                                             state,             "--log",          log};
    const std::string chip = dir.Path("chip.bin");
    CliRun run = RunCli(Program("", serial, image));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = RunCli(Program("", serial, image));
    ASSERT_EQ(run.exitCode, 0) << run.err;

    // Deleted between runs: the log knows 1001 is in a part.
    fs::remove(state);
    run = RunCli(Program("=save-chip=" + chip, serial, image));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, log + " holds serial numbers up to 1001, but " + state +
                                 " is missing: restore it, or give --serial-resume to continue "
                                 "after 1001"))
        << run.err;
    const Bytes erased = ReadBytes(chip); // nothing programmed
    ASSERT_FALSE(erased.empty());
    EXPECT_EQ(std::count(erased.begin(), erased.end(), erased[0]),
              static_cast<long>(erased.size()));
    EXPECT_FALSE(fs::exists(state));
    std::vector<std::string> resume = serial;
    resume.push_back("--serial-resume");
    run = RunCli(Program("", resume, image));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonLines(log).back()["serial_number"], 1002);

    // Put back from an old copy that is behind the log.
    const std::string behind = ReadText(state);
    run = RunCli(Program("", serial, image));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    WriteText(state, behind);
    run = RunCli(Program("", serial, image));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "holds serial numbers up to 1003, but " + state +
                                 " would hand out 1003 next"))
        << run.err;
    EXPECT_EQ(ReadText(state), behind);

    // Deleted during a run, after its first part: the run stops, it does
    // not start again at 1000.
    fs::remove(log);
    const std::vector<std::string> three = {
        "--repeat", "3", "--serial-number", "0FF0:le16:1000", "--serial-state", state, "--log",
        log};
    Watched watched = RunWatched(Program("=swap=on", three, image), "Insert part 2",
                                 [&](pid_t, int input) {
                                     fs::remove(state);
                                     Send(input, "\n\n");
                                 },
                                 "\n");
    ASSERT_TRUE(watched.markerSeen) << watched.err;
    EXPECT_EQ(watched.exitCode, 2);
    EXPECT_TRUE(Has(watched.err, state + " disappeared during the run")) << watched.err;
    EXPECT_EQ(JsonLines(log).size(), 1u);
    EXPECT_FALSE(fs::exists(state));

    // Replaced during a run by a state of its own (another id).
    WriteText(state, behind);
    watched = RunWatched(Program("=swap=on", {"--repeat", "3", "--serial-number", "0FF0:le16:1000",
                                              "--serial-state", state},
                                 image),
                         "Insert part 2",
                         [&](pid_t, int input) {
                             json other = State(state);
                             other["id"] = "another";
                             WriteText(state, other.dump());
                             Send(input, "\n\n");
                         },
                         "\n");
    EXPECT_EQ(watched.exitCode, 2);
    EXPECT_TRUE(Has(watched.err, state + " was replaced during the run")) << watched.err;

    // Another rule's state: refused, not read as this rule's numbers.
    const std::string wide = dir.Path("wide.json");
    WriteText(wide, R"({"rule":"0FF0:le32:1000:1","next":1000,"spoiled":[70000]})");
    run = RunCli(Program("", {"--serial-number", "0FF0:le16:1000", "--serial-state", wide,
                              "--reuse-failed"},
                         image));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "holds the serial numbers of 0FF0:le32:1000:1, not of "
                             "0FF0:le16:1000:1"))
        << run.err;
    // A spoiled number the format cannot hold is never written.
    WriteText(wide, R"({"rule":"0FF0:le16:1000:1","next":1000,"spoiled":[70000]})");
    run = RunCli(Program("=save-chip=" + chip, {"--serial-number", "0FF0:le16:1000",
                                                "--serial-state", wide, "--reuse-failed"},
                         image));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "serial number 1000: passed")) << run.err;
    EXPECT_EQ(ReadBytes(chip)[0xFF0] | ReadBytes(chip)[0xFF1] << 8, 1000);
    EXPECT_EQ(State(wide)["spoiled"], json::array({70000}));

    // A refused run leaves no state: the corrected one starts at START.
    const std::string fresh = dir.Path("fresh.json");
    run = RunCli(Program("", {"--serial-number", "0FFF:le16:7", "--serial-state", fresh}, image));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(fs::exists(fresh));
    run = RunCli(Program("", {"--serial-number", "0FF0:le16:7", "--serial-state", fresh}, image));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "serial number 7: passed")) << run.err;

    // One state under two names, used at once: one lock, disjoint numbers,
    // and the link stays a link.
    const std::string real = dir.Path("real.json");
    const std::string link = dir.Path("link.json");
    fs::create_symlink(real, link);
    const std::string enter = WriteText(dir.Path("enter.txt"), std::string(30, '\n'));
    CliRun runs[2];
    std::thread programmers[2];
    for (int k = 0; k < 2; ++k)
        programmers[k] = std::thread([&, k] {
            runs[k] = RunCliWithInput(
                Program("=swap=on", {"--repeat", "30", "--serial-number", "0FF0:le32:1", "--serial-state",
                             k == 0 ? real : link, "--log", dir.Path("twice" + std::to_string(k))},
                        image),
                enter);
        });
    for (auto& p : programmers)
        p.join();
    std::vector<std::uint64_t> all;
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(runs[k].exitCode, 0) << runs[k].err;
        for (const json& line : JsonLines(dir.Path("twice" + std::to_string(k))))
            all.push_back(line["serial_number"].get<std::uint64_t>());
    }
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), 60u);
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(State(link)["next"], 61);
}

TEST(CliSerialState, AJobMovedWithoutItsStateRefusesToStartAgain) {
    ScratchDir dir;
    WriteImage(dir);
    fs::create_directory(dir.Path("old"));
    fs::rename(dir.Path("image.bin"), dir.Path("old/image.bin"));
    CliRun run = RunCli({"--device", kDevice, "--serial-number", "0FF0:le16:1000", "--repeat", "2",
                         "--log", dir.Path("old/line.jsonl"), "job", "new",
                         dir.Path("old/image.bin"), dir.Path("old/line.toml")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // Written beside the job, its names are relative to the job's folder.
    const std::string job = ReadText(dir.Path("old/line.toml"));
    ASSERT_NE(job.find("'image.bin'"), std::string::npos) << job;
    ASSERT_NE(job.find("'line.jsonl'"), std::string::npos) << job;
    const std::string enter = WriteText(dir.Path("enter.txt"), "\n\n");
    run = RunCliWithInput({"-q", "--virtual=swap=on", "job", "run", dir.Path("old/line.toml")},
                          enter);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The job, its image and its log move; the state stays behind.
    fs::create_directory(dir.Path("new"));
    for (const char* name : {"line.toml", "image.bin", "line.jsonl"})
        fs::rename(dir.Path(std::string("old/") + name), dir.Path(std::string("new/") + name));
    run = RunCliWithInput({"-q", "--virtual=swap=on", "job", "run", dir.Path("new/line.toml")},
                          enter);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "line.jsonl holds serial numbers up to 1001, but ")) << run.err;
    EXPECT_TRUE(Has(run.err, "line.serial.json is missing")) << run.err;
    EXPECT_EQ(JsonLines(dir.Path("new/line.jsonl")).size(), 2u);
    // Put back, it goes on after 1001.
    fs::rename(dir.Path("old/line.serial.json"), dir.Path("new/line.serial.json"));
    run = RunCliWithInput({"-q", "--virtual=swap=on", "job", "run", dir.Path("new/line.toml")},
                          enter);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(JsonLines(dir.Path("new/line.jsonl")).back()["serial_number"], 1003);
}

TEST(CliSerialState, AStateThatIsNoStateIsRefusedNeverResetAndAHeldLockSaysForWhom) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const auto refused = [&](const std::string& state, const std::string& sentence) {
        SCOPED_TRACE(state);
        const CliRun run = RunCli(
            Program("", {"--serial-number", "0FF0:le16:1", "--serial-state", state}, image));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(Has(run.err, sentence)) << run.err;
        EXPECT_FALSE(Has(run.err, "passed")) << run.err;
    };
    fs::create_directory(dir.Path("folder.json"));
    refused(dir.Path("folder.json"), "folder.json is not a regular file");
    ASSERT_EQ(::mkfifo(dir.Path("fifo.json").c_str(), 0644), 0);
    refused(dir.Path("fifo.json"), "fifo.json is not a regular file");
    const std::vector<std::pair<std::string, std::string>> invalid = {
        {R"({"next": -5})", "\"next\" is not a number of 0 or more"},
        {R"({"next": 1.5})", "\"next\" is not a number of 0 or more"},
        {R"({"spoiled": [3]})", "\"next\" is not a number of 0 or more"},
        {R"({"next": 4, "spoiled": ["x"]})", "\"spoiled\" is not a list of numbers"},
        {R"({"next": 4, "taken": [{"number": 3}]})",
         "an entry of \"taken\" lacks its number, pid or host"},
        {"{\"next\": 4, \"spoi", "not a JSON object"},
        {"", "not a JSON object"},
    };
    for (const auto& [text, problem] : invalid) {
        const std::string state = WriteText(dir.Path("bad.json"), text);
        refused(state, "is not a serial-number state file (" + problem + "); nothing done");
        EXPECT_EQ(ReadText(state), text);
    }
    // Another job's state.
    WriteText(dir.Path("job.json"), R"({"job":"pump","next":4})");
    refused(dir.Path("job.json"), "belongs to job 'pump', not to a run without a job");

    // A lock another process holds: the run says whose, waits, then goes on.
    const std::string state = dir.Path("held.json");
    // O_CLOEXEC: a child that inherited it would hold the lock on.
    const int lock = ::open((state + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const std::string note = "pid 4711 on bench-2\n";
    ASSERT_EQ(::write(lock, note.data(), note.size()), static_cast<ssize_t>(note.size()));
    const Watched run = RunWatched(
        Program("", {"--serial-number", "0FF0:le16:1", "--serial-state", state}, image),
        "another run holds its lock", [&](pid_t, int) { ::close(lock); });
    EXPECT_TRUE(run.markerSeen) << run.err;
    EXPECT_TRUE(Has(run.err, "waiting for " + state + ": another run holds its lock (pid 4711 on "
                                                      "bench-2)"))
        << run.err;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(State(state)["next"], 2);
}

TEST(CliRecord, EveryPartIsOnRecordWhenTheStateFailsOrASignalComes) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const std::string state = dir.Path("state.json");
    const std::string log = dir.Path("line.jsonl");

    // The state taken away while the part is programmed: the part, which
    // holds its number and passed, is logged all the same.
    Watched run = RunWatched(
        {"--virtual=timing=on", "--device", "87C52H", "--serial-number", "0FF0:le16:1002",
         "--serial-state", state, "--log", log, "program", image},
        "Programming Device", [&](pid_t, int) {
            fs::remove(state);
            fs::create_directory(state);
        });
    ASSERT_TRUE(run.markerSeen) << run.err;
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "part 1, serial number 1002: passed")) << run.err;
    std::vector<json> lines = JsonLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["serial_number"], 1002);
    EXPECT_EQ(lines[0]["result"], "ok");
    fs::remove(state);

    // SIGTERM and SIGHUP in the middle of a part stop it as Ctrl-C does:
    // stopped, logged, spoiled, the object printed, no link fault.
    Bytes big(0x7F00);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i ^ (i >> 8));
    WriteBytes(dir.Path("big.bin"), big);
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        fs::remove(log);
        fs::remove(state);
        run = RunWatched({"--json", "--virtual=timing=on", "--device", "87C58H", "--serial-number",
                          "7FF0:le16:50", "--serial-state", state, "--log", log, "program",
                          dir.Path("big.bin")},
                         "Programming Device", [&](pid_t pid, int) { ::kill(pid, signal); });
        ASSERT_TRUE(run.markerSeen) << run.err;
        EXPECT_EQ(run.exitCode, 1) << run.err;
        const json object = json::parse(run.out);
        EXPECT_EQ(object["result"], "stopped");
        EXPECT_EQ(object["link_faults"], 0);
        EXPECT_FALSE(Has(run.err, "Late reply dropped")) << run.err;
        lines = JsonLines(log);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["result"], "stopped");
        EXPECT_EQ(lines[0]["link_faults"], 0);
        EXPECT_EQ(State(state)["spoiled"], json::array({50}));
        EXPECT_EQ(State(state)["taken"], json::array());
    }

    // Ctrl-C or SIGTERM at the prompt ends the run at once, as stopped.
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        run = RunWatched(
            {"--json", "-q", "--virtual=swap=on", "--device", kDevice, "--repeat", "program", image},
            "Insert part 2",
            [&](pid_t pid, int) {
                ::kill(pid, signal);
                // The end of input, which follows, must not be what ends it.
                ::usleep(200 * 1000);
            },
            "\n");
        ASSERT_TRUE(run.markerSeen) << run.err;
        EXPECT_EQ(run.exitCode, 1) << run.err;
        const json object = json::parse(run.out);
        EXPECT_EQ(object["result"], "stopped");
        EXPECT_EQ(object["parts"].size(), 1u);
    }

    // No programmer: the object's error says so, not the load's banner.
    const std::string hex = WriteText(dir.Path("image.hex"), ":0400000001020304F2\n:00000001FF\n");
    for (const char* repeat : {"--repeat", "--log"}) {
        SCOPED_TRACE(repeat);
        const CliRun none =
            RunCli({"--json", "--virtual=devices=0", "--device", kDevice, repeat,
                    repeat == std::string("--log") ? dir.Path("none.jsonl") : "2", "program", hex});
        EXPECT_EQ(none.exitCode, 1);
        const json object = json::parse(none.out);
        EXPECT_EQ(object["result"], "no-programmer");
        EXPECT_EQ(object["error"], "The Brindle Programmer Could Not Be Found....");
    }

    // q and quit, in any case and with blanks, end the run; a count of 0
    // is no limit, as a job's repeat = 0.
    for (const char* answer : {" q ", "quit", "QUIT\r", "\tQ"}) {
        SCOPED_TRACE(answer);
        const CliRun quit = RunCliWithInput(
            {"-q", "--virtual=swap=on", "--device", kDevice, "--repeat", "0", "program", image},
            WriteText(dir.Path("answers.txt"), "\n\n" + std::string(answer) + "\n\n\n"));
        EXPECT_EQ(quit.exitCode, 0) << quit.err;
        EXPECT_TRUE(Has(quit.err, "parts 2, passed 2")) << quit.err;
    }
}

TEST(CliRecord, AKilledRunsNumberIsReportedAndNeverHandedOutAgain) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    const std::string state = dir.Path("state.json");
    const std::vector<std::string> serial = {"--serial-number", "0FF0:le16:1002", "--serial-state",
                                             state, "--reuse-failed"};
    const Watched killed = RunWatched(
        {"--virtual=timing=on", "--device", "87C52H", "--serial-number", "0FF0:le16:1002",
         "--serial-state", state, "program", image},
        "Programming Device", [&](pid_t pid, int) { ::kill(pid, SIGKILL); });
    ASSERT_TRUE(killed.markerSeen) << killed.err;
    EXPECT_EQ(killed.exitCode, -SIGKILL);
    // On the disk as taken before the part was touched.
    ASSERT_EQ(State(state)["taken"].size(), 1u);
    EXPECT_EQ(State(state)["taken"][0]["number"], 1002);

    const CliRun next = RunCli(Program("", serial, image));
    ASSERT_EQ(next.exitCode, 0) << next.err;
    EXPECT_TRUE(Has(next.err, "serial number 1002 was taken by a run that ended without a record"))
        << next.err;
    EXPECT_TRUE(Has(next.err, "serial number 1003: passed")) << next.err;
    const json s = State(state);
    EXPECT_EQ(s["unrecorded"], json::array({1002}));
    EXPECT_EQ(s["taken"], json::array());
    EXPECT_EQ(s["spoiled"], json::array());
}

TEST(CliLog, TornFullAndSharedLogsKeepEveryRecord) {
    ScratchDir dir;
    const std::string image = WriteImage(dir);
    // A last line cut short: ended before the next record.
    const std::string log = WriteText(dir.Path("torn.jsonl"), "{\"time\":\"2026-01-0");
    const std::string csv =
        WriteText(dir.Path("torn.csv"), "time,host,programmer,device,job,image_sha1,"
                                        "serial_number,result,differences,first_difference,"
                                        "duration_ms,link_faults,sequence\n2026-01-0");
    CliRun run = RunCli(Program("", {"--log", log, "--log-csv", csv}, image));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = ReadLines(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "{\"time\":\"2026-01-0");
    EXPECT_EQ(json::parse(lines[1])["result"], "ok");
    lines = ReadLines(csv);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(Has(lines[2], ",ok,")) << lines[2];

    // A full disk: exit 2 and a sentence, the part's number settled.
    for (const std::string option : {"--log", "--log-csv"}) {
        SCOPED_TRACE(option);
        const std::string state = dir.Path("full" + option + ".json");
        run = RunCli(Program("", {option, "/dev/full", "--serial-number", "0FF0:le16:9",
                                  "--serial-state", state},
                             image));
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(Has(run.err, "cannot write /dev/full: No space left on device")) << run.err;
    }
    const std::string state = dir.Path("full.json");
    run = RunCli(
        Program("", {"--log", "/dev/full", "--serial-number", "0FF0:le16:9", "--serial-state", state},
                image));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "part 1 is not on record there")) << run.err;
    EXPECT_EQ(State(state)["last_passed"], 9);

    // Two processes starting one CSV log: one header, every row whole.
    for (int round = 0; round < 3; ++round) {
        const std::string shared = dir.Path("shared" + std::to_string(round) + ".csv");
        const std::string enter = WriteText(dir.Path("enter.txt"), std::string(4, '\n'));
        CliRun runs[2];
        std::thread programmers[2];
        for (int k = 0; k < 2; ++k)
            programmers[k] = std::thread([&, k] {
                runs[k] = RunCliWithInput(
                    Program("", {"--repeat", "4", "--log-csv", shared}, image), enter);
            });
        for (auto& p : programmers)
            p.join();
        for (const CliRun& r : runs)
            ASSERT_EQ(r.exitCode, 0) << r.err;
        lines = ReadLines(shared);
        ASSERT_EQ(lines.size(), 9u);
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.starts_with("time,"); }),
                  1);
        EXPECT_TRUE(lines[0].starts_with("time,host,"));
    }
}

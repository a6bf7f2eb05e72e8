// What velmar-cli writes, tried as a careless operator and a full disk
// would: jobs that job run would refuse are refused by job new and job check
// with job run's own sentence, job files name their files from their own
// folder, an output that is an input is refused before anything happens, and
// standard output or a trace that cannot be written ends the command with 2.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "cli/DumpIdentity.h"
#include "tests/support/ProcessRunner.h"

using namespace velmar::clitest;
namespace fs = std::filesystem;

namespace {

const std::string kDevice = "87C51H"; // 0000-0FFF

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// velmar-cli in `workDir`, standard output to `outPath` (a file of its own
// when empty).
Outcome RunIn(const ScratchDir& dir, const std::string& workDir,
              const std::vector<std::string>& args, const std::string& outPath = "") {
    velmar::test::ProcessOptions options;
    options.workDir = workDir;
    options.outPath = outPath.empty() ? dir.Path(".out") : outPath;
    options.errPath = dir.Path(".err");
    Outcome run;
    run.exitCode = velmar::test::RunProcess(VELMAR_CLI, args, options);
    if (outPath.empty()) run.out = Slurp(options.outPath);
    run.err = Slurp(options.errPath);
    return run;
}

std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n')
        trimmed.pop_back();
    return trimmed.substr(trimmed.rfind('\n') == std::string::npos ? 0 : trimmed.rfind('\n') + 1);
}

void WriteText(const std::string& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

Bytes Image() {
    Bytes image(256);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<unsigned char>(i * 7 + 1);
    return image;
}

std::string Sha1(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return velmar::cli::Sha1Text(bytes.data(), bytes.size());
}

TEST(JobRefusals, JobNewAndJobCheckRefuseEachJobThatJobRunRefusesWithoutAProgrammer) {
    ScratchDir dir;
    WriteBytes(dir.Path("image.bin"), Image());
    WriteText(dir.Path("notes.txt"), "Notes on the board, not an image.\n");
    // A record at 2000: past the 87C51H's end.
    WriteText(dir.Path("past.hex"), ":0100000055AA\n:01200000AA35\n:00000001FF\n");
    // Code from 0100 on, where the part starts at 0000: a warning.
    WriteText(dir.Path("origin.hex"), ":03010000758160A6\n:00000001FF\n");
    struct Case {
        std::string name, file;
        std::vector<std::string> options; // job new's
        std::string toml;                 // the same, in a job
        std::string said;                 // part of the sentence
    };
    const std::vector<Case> cases = {
        {"serial number outside the part",
         "image.bin",
         {"--serial-number", "1FFE:le16:1"},
         "[serial_number]\naddress = '1FFE'\nformat = 'le16'\nstart = 1\n",
         "lies outside"},
        {"serial number over the file's data",
         "image.bin",
         {"--serial-number", "0010:le16:1"},
         "[serial_number]\naddress = '0010'\nformat = 'le16'\nstart = 1\n",
         "would overwrite data"},
        {"buffer start past the part",
         "image.bin",
         {"--buffer-start", "F800"},
         "buffer_start = 'F800'\n",
         "leaves no room"},
        {"a text image", "notes.txt", {}, "", "give --format binary"},
        {"data past the part", "past.hex", {}, "", "beyond the 87C51H's end"},
        {"a log in no folder",
         "image.bin",
         {"--log", dir.Path("none/line.jsonl")},
         "log = 'none/line.jsonl'\n",
         "cannot write"},
        {"--strict and a warning", "origin.hex", {"--strict"}, "strict = true\n", "(--strict)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir.Path(c.file);
        std::vector<std::string> line = {"--device", kDevice};
        line.insert(line.end(), c.options.begin(), c.options.end());
        line.insert(line.end(), {"job", "new", file});
        const Outcome made = RunIn(dir, dir.Path(""), line);
        EXPECT_NE(made.exitCode, 0) << made.err;
        EXPECT_EQ(made.out, "") << "a job that job run refuses was written";

        const std::string job = dir.Path("job.toml");
        WriteText(job, "device = '" + kDevice + "'\nfile = '" + c.file + "'\nsha1 = '" +
                           Sha1(file) + "'\n" + c.toml);
        const Outcome checked = RunIn(dir, dir.Path(""), {"job", "check", job});
        const Outcome ran = RunIn(dir, dir.Path(""), {"--virtual", "job", "run", job});
        EXPECT_NE(ran.exitCode, 0) << ran.err;
        EXPECT_NE(LastLine(ran.err).find(c.said), std::string::npos) << ran.err;
        // The same refusal, by the same code: sentence and exit status.
        EXPECT_EQ(checked.exitCode, ran.exitCode) << checked.err;
        EXPECT_EQ(LastLine(checked.err), LastLine(ran.err));
        EXPECT_EQ(LastLine(made.err), LastLine(ran.err));
        EXPECT_EQ(checked.out, "");
    }
    // What a job cannot hold is refused, not dropped; --fold it holds.
    const Outcome overwrite = RunIn(dir, dir.Path(""),
                                    {"--device", kDevice, "--serial-number", "0010:le16:1",
                                     "--serial-overwrite", "job", "new", dir.Path("image.bin")});
    EXPECT_EQ(overwrite.exitCode, 2);
    EXPECT_NE(overwrite.err.find("--serial-overwrite is not kept in a job: give it to job run"),
              std::string::npos)
        << overwrite.err;
    const Outcome folded = RunIn(
        dir, dir.Path(""),
        {"--device", kDevice, "--fold", "job", "new", dir.Path("past.hex"), dir.Path("fold.toml")});
    ASSERT_EQ(folded.exitCode, 0) << folded.err;
    EXPECT_NE(Slurp(dir.Path("fold.toml")).find("fold = true"), std::string::npos);
    EXPECT_EQ(RunIn(dir, dir.Path(""), {"--virtual", "job", "run", dir.Path("fold.toml")}).exitCode,
              0);
}

TEST(JobRefusals, MisspeltKeysAndTablesStopJobCheckAndJobRun) {
    ScratchDir dir;
    WriteBytes(dir.Path("image.bin"), Image());
    const std::string head = "device = '" + kDevice + "'\nfile = 'image.bin'\nsha1 = '" +
                             Sha1(dir.Path("image.bin")) + "'\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"lockbits = [1]\n", "did you mean lock_bits?"},
        {"pre_check = true\n", "did you mean precheck?"},
        {"[serial]\naddress = '0FF0'\nformat = 'le16'\nstart = 1\n",
         "did you mean [serial_number]?"},
    };
    for (const auto& [body, said] : cases) {
        SCOPED_TRACE(body);
        WriteText(dir.Path("job.toml"), head + body);
        for (const std::vector<std::string>& line :
             {std::vector<std::string>{"job", "check", dir.Path("job.toml")},
              std::vector<std::string>{"--virtual", "job", "run", dir.Path("job.toml")}}) {
            const Outcome run = RunIn(dir, dir.Path(""), line);
            EXPECT_EQ(run.exitCode, 2) << run.err;
            EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find("part 1"), std::string::npos) << "a part was programmed";
        }
    }
}

TEST(JobNames, AJobNamesItsFilesFromItsOwnFolderAndRefusesNamesItCannotHold) {
    ScratchDir dir;
    fs::create_directories(dir.Path("sub"));
    fs::create_directories(dir.Path("jobs"));
    fs::create_directories(dir.Path("logs"));
    WriteBytes(dir.Path("sub/image.bin"), Image());
    // Written from the shell's folder, the job in a folder of its own.
    Outcome made = RunIn(dir, dir.Path(""),
                         {"--device", kDevice, "--log", "logs/line.jsonl", "job", "new",
                          "sub/image.bin", "jobs/line.toml"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_EQ(made.out, "");
    const std::string toml = Slurp(dir.Path("jobs/line.toml"));
    EXPECT_NE(toml.find("file = '../sub/image.bin'"), std::string::npos) << toml;
    EXPECT_NE(toml.find("log = '../logs/line.jsonl'"), std::string::npos) << toml;
    // Checked from the job's folder, from elsewhere, and moved with its files.
    EXPECT_EQ(RunIn(dir, dir.Path("jobs"), {"job", "check", "line.toml"}).exitCode, 0);
    EXPECT_EQ(RunIn(dir, dir.Path("sub"), {"job", "check", "../jobs/line.toml"}).exitCode, 0);
    fs::create_directories(dir.Path("moved"));
    fs::rename(dir.Path("jobs"), dir.Path("moved/jobs"));
    fs::rename(dir.Path("sub"), dir.Path("moved/sub"));
    fs::rename(dir.Path("logs"), dir.Path("moved/logs"));
    EXPECT_EQ(RunIn(dir, dir.Path(""), {"job", "check", "moved/jobs/line.toml"}).exitCode, 0);

    // On standard output the job's folder is unknown: names are whole, and
    // the job works wherever it is saved.
    made = RunIn(dir, dir.Path("moved"), {"--device", kDevice, "job", "new", "sub/image.bin"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_NE(made.out.find(
                  "file = '" +
                  fs::path(dir.Path("moved/sub/image.bin")).lexically_normal().generic_string() +
                  "'"),
              std::string::npos)
        << made.out;
    WriteText(dir.Path("elsewhere.toml"), made.out);
    EXPECT_EQ(RunIn(dir, dir.Path(""), {"job", "check", "elsewhere.toml"}).exitCode, 0);

    // Names a job cannot hold as they are: refused, no job written.
    for (const std::string& name : {std::string("bad\xFF.bin"), std::string("bad\x01.bin")}) {
        WriteBytes(dir.Path(name), Image());
        const Outcome refused =
            RunIn(dir, dir.Path(""), {"--device", kDevice, "job", "new", name, "bad.toml"});
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_NE(refused.err.find("cannot be named in a job as it is"), std::string::npos)
            << refused.err;
        EXPECT_FALSE(fs::exists(dir.Path("bad.toml")));
    }
}

TEST(OutputWrites, AWriteErrorOnStandardOutputOrTheTraceEndsTheCommandWithExit2) {
    ScratchDir dir;
    WriteBytes(dir.Path("image.bin"), Image());
    Bytes chip = Image();
    chip[5] ^= 0xFF;
    WriteBytes(dir.Path("chip.bin"), chip);
    const std::string image = dir.Path("image.bin");
    const std::vector<std::vector<std::string>> onStdout = {
        {"--json", "--virtual", "probe"},
        {"--json", "--virtual", "--device", kDevice, "program", image},
        {"--device", kDevice, "job", "new", image},
        {"disasm", "--cpu", "8051", image},
        {"--virtual=chip=" + dir.Path("chip.bin"), "--device", kDevice, "verify", image},
        {"--virtual", "list"},
        {"--virtual", "probe"},
        {"--virtual", "--device", kDevice, "--format", "binary", "read", "-"},
        {"convert", "--to", "binary", image, "-"},
        {"--help"},
    };
    for (const auto& line : onStdout) {
        SCOPED_TRACE(line.front() + " ... " + line.back());
        const Outcome run = RunIn(dir, dir.Path(""), line, "/dev/full");
        EXPECT_EQ(run.exitCode, 2) << run.err;
        const std::string said = "cannot write standard output";
        const std::size_t at = run.err.find(said);
        EXPECT_NE(at, std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(said, at + 1), std::string::npos) << "said twice: " << run.err;
    }
    // The trace, on the virtual programmer and on the hardware's path.
    for (const auto& line : {std::vector<std::string>{"--virtual", "--trace", "/dev/full", "probe"},
                             std::vector<std::string>{"--virtual=trace=/dev/full", "probe"},
                             std::vector<std::string>{"--virtual", "--trace", "/dev/full",
                                                      "--device", kDevice, "blank"}}) {
        const Outcome run = RunIn(dir, dir.Path(""), line);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("cannot write the trace /dev/full"), std::string::npos) << run.err;
    }
    const CliRun usb = RunCliWithDropIn({"--usb", "--trace", "/dev/full", "probe"});
    EXPECT_EQ(usb.exitCode, 2) << usb.err;
    EXPECT_TRUE(Has(usb.err, "cannot write the trace /dev/full")) << usb.err;
}

TEST(OutputWrites, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWrittenOrSent) {
    ScratchDir dir;
    WriteBytes(dir.Path("victim.bin"), Image());
    const std::string victim = dir.Path("victim.bin");
    ASSERT_EQ(::symlink(victim.c_str(), dir.Path("soft.jsonl").c_str()), 0);
    ASSERT_EQ(::link(victim.c_str(), dir.Path("hard.jsonl").c_str()), 0);
    WriteText(dir.Path("line.toml"), "device = '" + kDevice + "'\nfile = 'victim.bin'\nsha1 = '" +
                                         Sha1(victim) + "'\nlog = 'victim.bin'\n");
    WriteText(dir.Path("plain.toml"),
              "device = '" + kDevice + "'\nfile = 'victim.bin'\nsha1 = '" + Sha1(victim) + "'\n");
    const std::string trace = dir.Path("sent.trace");
    const std::vector<std::vector<std::string>> lines = {
        {"--log", victim, "--device", kDevice, "program", victim},
        {"--log", dir.Path("soft.jsonl"), "--device", kDevice, "program", victim},
        {"--log-csv", dir.Path("hard.jsonl"), "--device", kDevice, "program", victim},
        {"--trace", victim, "--device", kDevice, "verify", victim},
        {"--trace", victim, "firmware", victim},
        {"job", "run", dir.Path("line.toml")},
        {"--log", dir.Path("plain.toml"), "job", "run", dir.Path("plain.toml")},
        {"--virtual=save-chip=" + victim, "--device", kDevice, "verify", victim},
    };
    for (std::vector<std::string> line : lines) {
        SCOPED_TRACE(line[0] + " " + line[1] + " ... " + line.back());
        const Bytes before = ReadBytes(line.back());
        if (line[0].rfind("--virtual=", 0) == 0)
            line[0] += ",trace=" + trace;
        else
            line.insert(line.begin(), "--virtual=trace=" + trace);
        const Outcome run = RunIn(dir, dir.Path(""), line);
        EXPECT_EQ(run.exitCode, 2) << run.err;
        EXPECT_NE(run.err.find("this command reads; nothing done"), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(victim), Image()) << "the input was written";
        EXPECT_EQ(ReadBytes(line.back()), before);
        EXPECT_FALSE(fs::exists(trace)) << "the programmer was started";
    }
    // job new: the job over its own image.
    const Outcome run =
        RunIn(dir, dir.Path(""), {"--device", kDevice, "job", "new", victim, victim});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    EXPECT_EQ(ReadBytes(victim), Image());
}

TEST(JsonErrors, AControlCharacterInAFileNameStaysInsideTheErrorText) {
    ScratchDir dir;
    const std::string target = dir.Path("full\nx.hex");
    ASSERT_EQ(::symlink("/dev/full", target.c_str()), 0);
    const Outcome run =
        RunIn(dir, dir.Path(""), {"--json", "--virtual", "--device", kDevice, "read", target});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    const nlohmann::json object = nlohmann::json::parse(run.out);
    const std::string error = object["error"].get<std::string>();
    EXPECT_NE(error.find("full\\nx.hex"), std::string::npos) << error;
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
}

} // namespace

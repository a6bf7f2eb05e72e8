// Job files read in-process: keys no job knows are refused with the key they
// were likely meant as, and the image a job programs is the one its pin was
// checked on, even when the file is replaced in between.
#include <gtest/gtest.h>

#include <memory>

#include "CliRunner.h"
#include "cli/Arguments.h"
#include "cli/DumpIdentity.h"
#include "cli/JobFile.h"
#include "cli/RepeatRun.h"
#include "cli/VirtualSession.h"
#include "devices/ProgramState.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar;
using namespace velmar::cli;
using velmar::clitest::Bytes;
using velmar::clitest::ScratchDir;

namespace {

std::string Sha1Of(const Bytes& bytes) {
    return Sha1Text(bytes.data(), bytes.size());
}

void WriteText(const std::string& path, const std::string& text) {
    velmar::clitest::WriteBytes(path, Bytes(text.begin(), text.end()));
}

// The error ReadJob gives for a job of `body` after a sound head; "" when read.
std::string JobError(const ScratchDir& dir, const std::string& body) {
    const Bytes image(16, 0x5A);
    velmar::clitest::WriteBytes(dir.Path("image.bin"), image);
    const std::string path = dir.Path("job.toml");
    WriteText(path,
              "device = '89C51'\nfile = 'image.bin'\nsha1 = '" + Sha1Of(image) + "'\n" + body);
    Job job;
    std::string error;
    return ReadJob(path, job, error) ? "" : error;
}

TEST(JobFile, KeysNoJobKnowsAreRefusedNamingTheNearestKnownOne) {
    ScratchDir dir;
    // Sound keys, and the table's own keys, read as before.
    EXPECT_EQ(JobError(dir, "lock_bits = [1]\nprecheck = true\n[serial_number]\naddress = '0FF0'\n"
                            "format = 'le16'\nstart = 1\n"),
              "");
    struct Case {
        std::string body, said;
    };
    const std::vector<Case> cases = {
        {"lockbits = [1]\n", "job.toml:4: unknown key 'lockbits'; did you mean lock_bits?"},
        {"pre_check = true\n", "job.toml:4: unknown key 'pre_check'; did you mean precheck?"},
        {"Strict = true\n", "unknown key 'Strict'; did you mean strict?"},
        {"chnaged_only = true\n", "unknown key 'chnaged_only'; did you mean changed_only?"},
        {"\n[serial]\naddress = '0FF0'\n",
         "job.toml:5: unknown table [serial]; did you mean [serial_number]?"},
        {"[serial_number]\naddress = '0FF0'\nformat = 'le16'\nstart = 1\nsetp = 2\n",
         "job.toml:8: unknown key 'setp' in [serial_number]; did you mean step?"},
        {"serial.address = '0FF0'\n", "unknown table [serial]; did you mean [serial_number]?"},
        {"serial_numbr = 1\n", "unknown key 'serial_numbr'; did you mean [serial_number]?"},
        // Nothing near: the keys a job takes, rather than a wild guess.
        {"colour = 'red'\n", "unknown key 'colour'; a job takes name, device, file"},
        {"[extras]\n", "unknown table [extras]; a job's only table is [serial_number]"},
    };
    for (const Case& c : cases) {
        const std::string error = JobError(dir, c.body);
        EXPECT_NE(error.find(c.said), std::string::npos) << c.body << "\ngave: " << error;
    }
}

TEST(JobFile, TheBytesPinnedAreTheBytesProgrammedWhenTheFileIsReplacedAfterTheCheck) {
    ScratchDir dir;
    Bytes approved(256), other(256);
    for (std::size_t i = 0; i < approved.size(); ++i) {
        approved[i] = static_cast<unsigned char>(i * 7 + 1);
        other[i] = static_cast<unsigned char>(0xA5 ^ i);
    }
    const std::string image = dir.Path("image.bin");
    velmar::clitest::WriteBytes(image, approved);
    const std::string jobPath = dir.Path("line.toml");
    WriteText(jobPath, "device = '89C51'\nfile = 'image.bin'\nsha1 = '" + Sha1Of(approved) + "'\n");

    const ParseResult parsed = ParseArguments({"--virtual", "-q", "job", "run", jobPath});
    ASSERT_EQ(parsed.error, "");
    Job job;
    Arguments run;
    std::string error;
    ASSERT_TRUE(ReadJob(jobPath, job, error)) << error;
    // A writer replaces the image right after its SHA-1 was found right.
    int replaced = 0;
    JobPinTestHook() = [&] {
        velmar::clitest::WriteBytes(image, other);
        ++replaced;
    };
    const bool pinned = JobRunArguments(job, parsed.arguments, run, error);
    JobPinTestHook() = nullptr;
    ASSERT_TRUE(pinned) << error;
    ASSERT_EQ(replaced, 1);
    ASSERT_EQ(velmar::clitest::ReadBytes(image), other);

    // The run programs a part on the virtual programmer, in this process.
    VirtualSession session;
    ASSERT_TRUE(session.Start(run, error)) << error;
    auto state = std::make_unique<ProgramState>(session.Backend());
    ConsolePanel panel(stderr, stderr, false);
    panel.SetVerbosity(-1);
    state->Panel.Attach(&panel);
    const int status = RunProduction(*state, panel, run, session.PartSwap());
    state->Panel.Attach(nullptr);
    state->D2XX.CloseAtExit();
    EXPECT_EQ(status, 0);
    const std::vector<std::uint8_t>& chip = VirtualProgrammer::Instance().Chip();
    ASSERT_GE(chip.size(), approved.size());
    EXPECT_TRUE(std::equal(approved.begin(), approved.end(), chip.begin()))
        << "the part holds bytes the job never approved";
    EXPECT_EQ(panel.Report().parts.size(), 1u);
    if (!panel.Report().parts.empty()) {
        EXPECT_EQ(panel.Report().parts[0].result, "ok");
    }
}

} // namespace

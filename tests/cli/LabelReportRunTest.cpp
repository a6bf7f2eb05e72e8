// velmar-cli sum against Debian's crc32 and Python's own zlib, binascii and
// hashlib, the same checksums from program and read, and velmar-cli report
// over the logs of real runs on the virtual programmer.
#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "tests/support/JsonSchemaCheck.h"
#include "tests/support/ProcessRunner.h"

using namespace velmar::clitest;
using nlohmann::json;

namespace {

json Schema() {
    std::ifstream in(std::string(VELMAR_SOURCE_DIR) + "/docs/velmar-cli-result.schema.json");
    return json::parse(in);
}

std::string Slurp(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// The peers' checksums of a file, as sum --json names them.
const char kPeerScript[] = R"(import binascii, hashlib, json, sys, zlib
data = open(sys.argv[1], 'rb').read()
words = sum(data[i] | (data[i + 1] << 8 if i + 1 < len(data) else 0) for i in range(0, len(data), 2))
print(json.dumps({'bytes': len(data), 'byte_sum': '%04x' % (sum(data) & 0xFFFF),
                  'word_sum': '%04x' % (words & 0xFFFF),
                  'crc16': '%04x' % binascii.crc_hqx(data, 0xFFFF),
                  'crc32': '%08x' % (zlib.crc32(data) & 0xFFFFFFFF),
                  'sha1': hashlib.sha1(data).hexdigest()}))
)";

json PeerSums(const ScratchDir& dir, const std::string& path) {
    const std::string script = dir.Path("peer.py");
    WriteBytes(script, Bytes(kPeerScript, kPeerScript + sizeof kPeerScript - 1));
    velmar::test::ProcessOptions options;
    options.outPath = dir.Path("peer.out");
    EXPECT_EQ(velmar::test::RunProcess(VELMAR_PYTHON3, {script, path}, options), 0);
    json sums = json::parse(Slurp(options.outPath));
    // Debian's crc32 (libarchive-zip-perl) agrees with zlib's.
    options.outPath = dir.Path("crc32.out");
    EXPECT_EQ(velmar::test::RunProcess(VELMAR_CRC32_TOOL, {path}, options), 0);
    const std::string crc = Slurp(options.outPath).substr(0, 8);
    EXPECT_EQ(crc, sums["crc32"]);
    return sums;
}

// `object` without the keys first and last, and the excluded ones.
json SetOf(json object) {
    for (const char* key : {"first", "last", "excluded", "less_excluded", "window_byte_sum"})
        object.erase(key);
    return object;
}

std::string HexByte(unsigned value) {
    static const char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4 & 0xF], kDigits[value & 0xF]};
}

// Intel records of 16 bytes from `address`.
std::string IntelRecords(unsigned address, const Bytes& data) {
    std::string text;
    for (std::size_t at = 0; at < data.size(); at += 16) {
        const std::size_t n = std::min<std::size_t>(16, data.size() - at);
        const unsigned a = address + static_cast<unsigned>(at);
        unsigned sum = static_cast<unsigned>(n) + (a >> 8) + (a & 0xFF);
        text +=
            ":" + HexByte(static_cast<unsigned>(n)) + HexByte(a >> 8) + HexByte(a & 0xFF) + "00";
        for (std::size_t i = 0; i < n; ++i) {
            text += HexByte(data[at + i]);
            sum += data[at + i];
        }
        text += HexByte((0x100 - (sum & 0xFF)) & 0xFF) + "\n";
    }
    return text;
}

} // namespace

TEST(CliSum, ChecksumsAgreeWithCrc32AndPython) {
    ScratchDir dir;
    const json schema = Schema();
    const Bytes image = RandomBytes(0x1000, 33); // the 87C51H's 4 KiB
    WriteBytes(dir.Path("image.bin"), image);

    // The device's range, and the same less a serial number at 0FF0-0FF3.
    CliRun run = RunCli(
        {"--json", "--device", "87C51H", "--exclude", "0FF0-0FF3", "sum", dir.Path("image.bin")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json object = json::parse(run.out);
    EXPECT_EQ(velmar::test::SchemaProblems(schema, object), std::vector<std::string>{});
    EXPECT_EQ(object["command"], "sum");
    const json& sums = object["checksums"];
    EXPECT_EQ(sums["first"], 0);
    EXPECT_EQ(sums["last"], 0xFFF);
    EXPECT_EQ(SetOf(sums), PeerSums(dir, dir.Path("image.bin")));
    Bytes less(image.begin(), image.begin() + 0xFF0);
    less.insert(less.end(), image.begin() + 0xFF4, image.end());
    WriteBytes(dir.Path("less.bin"), less);
    EXPECT_EQ(sums["less_excluded"], PeerSums(dir, dir.Path("less.bin")));
    EXPECT_EQ(sums["excluded"], json::parse(R"([{"first":4080,"last":4083}])"));

    // As text: both sets, the second labelled with what it leaves out.
    run = RunCli({"--device", "87c51h", "--exclude", "0FF0-0FF3", "sum", dir.Path("image.bin")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "0000-0FFF, 4096 bytes\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "  CRC-32     " + sums["crc32"].get<std::string>() + "\n"));
    EXPECT_TRUE(Has(run.out, "without 0FF0-0FF3, 4092 bytes\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "  SHA-1      " + sums["less_excluded"]["sha1"].get<std::string>()));

    // program, verify and read give the image's checksums too; read's come
    // from the chip.
    for (const std::vector<std::string>& line :
         {std::vector<std::string>{"--virtual=save-chip=" + dir.Path("chip.bin"), "--json",
                                   "--device", "87C51H", "program", dir.Path("image.bin")},
          std::vector<std::string>{"--virtual=chip=" + dir.Path("chip.bin"), "--json", "--device",
                                   "87C51H", "verify", dir.Path("image.bin")},
          std::vector<std::string>{"--virtual=chip=" + dir.Path("chip.bin"), "--json", "--device",
                                   "87C51H", "read", dir.Path("back.hex")}}) {
        SCOPED_TRACE(line[line.size() - 2]);
        const CliRun done = RunCli(line);
        ASSERT_EQ(done.exitCode, 0) << done.err;
        const json o = json::parse(done.out);
        EXPECT_EQ(velmar::test::SchemaProblems(schema, o), std::vector<std::string>{});
        EXPECT_EQ(SetOf(o["checksums"]), SetOf(sums));
    }

    // No device: a hex file's data from its lowest address to its highest,
    // 8000-8FFE (an odd count, the last word a byte alone), the gap between
    // its records filled with --fill.
    Bytes first = RandomBytes(0x100, 5), second = RandomBytes(0xDFF, 6);
    WriteBytes(dir.Path("split.hex"), [&] {
        const std::string text =
            IntelRecords(0x8000, first) + IntelRecords(0x8200, second) + ":00000001FF\n";
        return Bytes(text.begin(), text.end());
    }());
    Bytes expected = first;
    expected.resize(0x200, 0x5A);
    expected.insert(expected.end(), second.begin(), second.end());
    WriteBytes(dir.Path("expected.bin"), expected);
    run = RunCli({"--json", "--fill", "5A", "sum", dir.Path("split.hex")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json hex = json::parse(run.out);
    EXPECT_EQ(velmar::test::SchemaProblems(schema, hex), std::vector<std::string>{});
    EXPECT_EQ(hex["checksums"]["first"], 0x8000);
    EXPECT_EQ(hex["checksums"]["last"], 0x8FFE);
    EXPECT_EQ(SetOf(hex["checksums"]), PeerSums(dir, dir.Path("expected.bin")));
    EXPECT_EQ(hex["file"]["format"], "intel");

    // Refusals: an exclusion outside the range, a file the loader refuses.
    run = RunCli({"--device", "87C51H", "--exclude", "0FF0-1000", "sum", dir.Path("image.bin")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "--exclude 0FF0-1000 reaches outside the range summed, 0000-0FFF"))
        << run.err;
    EXPECT_EQ(run.out, "");
    WriteBytes(dir.Path("bad.hex"), Bytes{':', '1', '0', 'Z', '\n'});
    run = RunCli({"sum", dir.Path("bad.hex")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.out, "");
    run = RunCli({"--device", "87C51H", "sum", dir.Path("missing.bin")});
    EXPECT_EQ(run.exitCode, 2) << run.err;
    // Longer than the device: refused as program refuses it.
    WriteBytes(dir.Path("long.bin"), RandomBytes(0x1001, 2));
    run = RunCli({"--device", "87C51H", "sum", dir.Path("long.bin")});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(Has(run.err, "lie beyond the 87C51H's end")) << run.err;
}

TEST(CliReport, ReportsTheLogsOfRealRuns) {
    ScratchDir dir;
    const json schema = Schema();
    WriteBytes(dir.Path("image.bin"), RandomBytes(0x400, 9));
    const std::string enter = dir.Path("enter.txt");
    WriteBytes(enter, Bytes{'\n', '\n', '\n'});
    const std::string log1 = dir.Path("one.jsonl"), log2 = dir.Path("two.jsonl");
    CliRun run = RunCliWithInput({"-q", "--virtual=swap=on", "--device", "87C51H", "--repeat", "3",
                                  "--log", log1, "program", dir.Path("image.bin")},
                                 enter);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = RunCli({"-q", "--virtual=fail-block=0100", "--device", "87C51H", "--log", log2, "program",
                  dir.Path("image.bin")});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    // A station that lost power mid-line.
    {
        std::ofstream torn(log2, std::ios::binary | std::ios::app);
        torn << R"({"time":"2026-12-08T10:00:00Z","host":"b","progr)";
    }

    run = RunCli({"report", log1, log2});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "velmar-cli: warning: " + log2 +
                                 ":2: not JSON (a torn or malformed line), the log's last line "
                                 "unfinished; line skipped"))
        << run.err;
    EXPECT_TRUE(Has(run.out, "BP123001  4      3      1      75.0%")) << run.out;
    EXPECT_TRUE(Has(run.out, "failures by cause:\n  1  unknown (BP123001 1)\n")) << run.out;

    run = RunCli({"--json", "report", "--target", "600/h", "--handling", "8s", log1, log2});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json object = json::parse(run.out);
    EXPECT_EQ(velmar::test::SchemaProblems(schema, object), std::vector<std::string>{});
    const json& r = object["report"];
    EXPECT_EQ(r["line"]["parts"], 4);
    EXPECT_EQ(r["line"]["passed"], 3);
    EXPECT_EQ(r["line"]["runs"], 2); // the second log's part numbers start again
    ASSERT_EQ(r["sites"].size(), 1u);
    EXPECT_EQ(r["sites"][0]["site"], "BP123001");
    ASSERT_EQ(r["skipped"].size(), 1u);
    EXPECT_EQ(r["skipped"][0]["line"], 2);
    // Parts of well under a second each: one site reaches 600/h round-robin
    // only if 8 s of handling allow it, which they do not (450/h at most).
    EXPECT_GE(r["plan"]["round_robin_sites"].get<int>(), 2);
    EXPECT_GE(r["plan"]["gang_sites"].get<int>(), r["plan"]["round_robin_sites"].get<int>());

    // At the end of a job run with --report: the same figures from the
    // run's own parts, agreeing with its summary and its log.
    const std::string job = dir.Path("line.toml");
    run = RunCli({"--device", "87C51H", "--serial-number", "0FF0:le16:1", "--repeat", "3", "--log",
                  dir.Path("line.jsonl"), "job", "new", dir.Path("image.bin")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    WriteBytes(job, Bytes(run.out.begin(), run.out.end()));
    run = RunCliWithInput({"--json", "--virtual=swap=on", "--report", "job", "run", job}, enter);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json ran = json::parse(run.out);
    EXPECT_EQ(velmar::test::SchemaProblems(schema, ran), std::vector<std::string>{});
    EXPECT_EQ(ran["report"]["line"]["parts"], ran["summary"]["parts"]);
    EXPECT_EQ(ran["report"]["line"]["passed"], 3);
    EXPECT_EQ(ran["report"]["sites"][0]["site"], "BP123001");
    const CliRun fromLog = RunCli({"--json", "report", dir.Path("line.jsonl")});
    ASSERT_EQ(fromLog.exitCode, 0) << fromLog.err;
    EXPECT_EQ(json::parse(fromLog.out)["report"]["line"], ran["report"]["line"]);
    run = RunCliWithInput({"--virtual=swap=on", "--report", "job", "run", job}, enter);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "yield 100.0%, ")) << run.err;
    EXPECT_TRUE(Has(run.err, "\nline      3      3      0      100.0%")) << run.err;
    EXPECT_EQ(RunCli({"--report", "job", "check", job}).exitCode, 2);
    EXPECT_TRUE(Has(RunCli({"--report", "job", "check", job}).err, "--report goes with job run"));

    // Nothing to report, and a log that cannot be read.
    WriteBytes(dir.Path("junk.jsonl"), Bytes{'{', '\n'});
    run = RunCli({"--json", "report", dir.Path("junk.jsonl")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(json::parse(run.out)["result"], "failed");
    EXPECT_TRUE(Has(run.err, "junk.jsonl:1: not JSON")) << run.err;
    run = RunCli({"report", dir.Path("missing.jsonl")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(Has(run.err, "cannot read " + dir.Path("missing.jsonl"))) << run.err;
}

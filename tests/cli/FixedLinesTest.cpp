// velmar-cli's standard output, standard error, exit status and the files it
// writes, byte for byte, on a fixed list of command lines. Each line runs in
// a fresh working folder holding the same input files, named by relative
// paths, so nothing in the output depends on where the test runs. Each line's
// record is tests/fixtures/cli-outputs/NAME.txt; scripts/record-cli-outputs
// writes them anew from the present binary, to be run only on purpose, when a
// change of output is meant. A record holds the line, its exit status, then
// standard output, standard error and every file the line wrote or changed,
// each with its byte count: text as it is, other bytes by their SHA-1.
//
// Normalised before the comparison, and nothing else: the version after
// "velmar-cli " (<version>), the run time of a --json object
// ("duration_ms":<ms>, "ms_per_part":<ms>) and of the production summary
// (<s> s per part), and the time stamp, host name and run time of each part
// and unit log line.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "CliRunner.h"
#include "cli/DumpIdentity.h"
#include "tests/support/ProcessRunner.h"
#include "virtual/FirmwareImage.h"

using namespace velmar::clitest;
namespace fs = std::filesystem;

namespace {

struct Line {
    std::string name; // the record's file name, without .txt
    std::vector<std::string> args;
    std::string input = {}; // standard input: a file of the working folder
};

using Files = std::map<std::string, std::string>; // relative name, contents

// LJMP 0100h; at 0100h MOV SP,#60h, MOV A,#55h, MOV P1,A, SJMP $.
const std::string kProgramHex = ":03000000020100FA\n"
                                ":090100007581607455F59080FED4\n"
                                ":00000001FF\n";

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string Sha1Of(const std::string& bytes) {
    return velmar::cli::Sha1Text(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string JobToml(const std::string& sha1) {
    return "device = '89C51'\nfile = 'image.hex'\nname = 'image'\nsha1 = '" + sha1 + "'\n";
}

// The working folder every line starts from.
Files Inputs() {
    Files in;
    const Bytes image = RandomBytes(2048, 23);
    in["image.bin"] = Text(image);
    // The chip holds the image but for three bytes, then is erased.
    Bytes chip = image;
    chip.resize(4096, 0xFF);
    chip[0x010] ^= 0x01;
    chip[0x123] ^= 0x80;
    chip[0x7FF] = 0x00;
    in["chip.bin"] = Text(chip);
    in["image.hex"] = kProgramHex;
    in["image.dat"] = kProgramHex;
    in["image.s19"] = "S1060000020100F6\nS10C01007581607455F59080FED0\nS9030000FC\n";
    in["broken.hex"] = ":03000000020100FA\n:0901000075816074GGF59080FED4\n:00000001FF\n";
    in["clash.hex"] = ":020000001234B8\n:020000001235B7\n:00000001FF\n";
    in["badsum.hex"] = ":03000000020100FB\n:00000001FF\n";
    in["notes.hex"] = "Notes on the board, not an image.\n";
    in["notes.txt"] = "Notes on the board, not an image.\n";
    in["empty.hex"] = "";
    in["job.toml"] = JobToml(Sha1Of(kProgramHex));
    in["stale.toml"] = JobToml(std::string(40, '0'));
    in["firmware.bin"] = Text(velmar::MakeFirmwareImage(1, 24, 3));
    in["two-parts.txt"] = "\n\nq\n";
    in["quit.txt"] = "q\n";
    return in;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool IsText(const std::string& bytes) {
    for (unsigned char c : bytes)
        if ((c < 0x20 && c != '\n' && c != '\r' && c != '\t') || c >= 0x7F) return false;
    return true;
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// The value after each `key` up to the first `end` character replaced.
void ReplaceValues(std::string& text, const std::string& key, const std::string& ends,
                   const std::string& with) {
    for (std::size_t at = text.find(key); at != std::string::npos;
         at = text.find(key, at + key.size() + with.size())) {
        const std::size_t from = at + key.size();
        const std::size_t to = text.find_first_of(ends, from);
        text.replace(from, (to == std::string::npos ? text.size() : to) - from, with);
    }
}

// "parts 2, ..., 0.20 s per part": the time before " s per part".
void ReplaceTimePerPart(std::string& text) {
    const std::string tail = " s per part";
    for (std::size_t at = text.find(tail); at != std::string::npos; at = text.find(tail, at + 1)) {
        std::size_t from = at;
        while (from > 0 &&
               (std::isdigit(static_cast<unsigned char>(text[from - 1])) || text[from - 1] == '.'))
            --from;
        text.replace(from, at - from, "<s>");
        at = from + 3;
    }
}

// CSV unit logs: the columns time, host and duration_ms of every row.
std::string NormaliseCsv(const std::string& text) {
    std::istringstream in(text);
    std::string out, line;
    std::map<std::size_t, std::string> columns; // index, name
    for (bool header = true; std::getline(in, line); header = false) {
        std::vector<std::string> cells;
        std::stringstream cellStream(line);
        for (std::string cell; std::getline(cellStream, cell, ',');)
            cells.push_back(cell);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (header && (cells[i] == "time" || cells[i] == "host" || cells[i] == "duration_ms"))
                columns[i] = cells[i];
            else if (!header && columns.count(i))
                cells[i] = "<" + columns[i] + ">";
            out += (i ? "," : "") + cells[i];
        }
        out += "\n";
    }
    return out;
}

std::string Normalise(std::string text, const std::string& name) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".csv") return NormaliseCsv(text);
    ReplaceAll(text, "velmar-cli " VELMAR_VERSION, "velmar-cli <version>");
    ReplaceValues(text, "\"duration_ms\":", ",}", "<ms>");
    ReplaceValues(text, "\"ms_per_part\":", ",}", "<ms>");
    ReplaceValues(text, "\"time\":\"", "\"", "<time>");
    ReplaceValues(text, "\"host\":\"", "\"", "<host>");
    // The serial state's own id, and who took its numbers or holds its lock.
    ReplaceValues(text, "\"id\": \"", "\"", "<id>");
    ReplaceValues(text, "\"host\": \"", "\"", "<host>");
    ReplaceValues(text, "\"pid\": ", ",\n", "<pid>");
    if (name.size() > 5 && name.substr(name.size() - 5) == ".lock" && text.starts_with("pid "))
        text = "pid <pid> on <host>\n";
    ReplaceTimePerPart(text);
    return text;
}

// One stream or file as the record shows it: text as it is, other bytes by
// their count and SHA-1.
std::string Block(const std::string& title, const std::string& bytes) {
    if (!IsText(bytes))
        return title + " " + std::to_string(bytes.size()) + " bytes, SHA-1 " + Sha1Of(bytes) + "\n";
    return title + " " + std::to_string(bytes.size()) + " bytes\n" + bytes +
           (bytes.empty() || bytes.back() == '\n' ? "" : "\n(no line end)\n");
}

std::string CommandLine(const Line& line) {
    std::string text = "$ velmar-cli";
    for (const std::string& a : line.args)
        text += " " + (a.empty() || a.find(' ') != std::string::npos ? "'" + a + "'" : a);
    if (!line.input.empty()) text += " < " + line.input;
    return text + "\n";
}

// Runs the line in a fresh working folder and renders what it did.
std::string Record(const Line& line) {
    ScratchDir scratch;
    const fs::path work = scratch.Path("work");
    fs::create_directory(work);
    const Files inputs = Inputs();
    for (const auto& [name, bytes] : inputs)
        WriteBytes((work / name).string(), Bytes(bytes.begin(), bytes.end()));
    velmar::test::ProcessOptions options;
    options.workDir = work.string();
    options.outPath = scratch.Path("stdout");
    options.errPath = scratch.Path("stderr");
    if (!line.input.empty()) options.inPath = (work / line.input).string();
    const int status = velmar::test::RunProcess(VELMAR_CLI, line.args, options);

    std::string record = CommandLine(line) + "exit " + std::to_string(status) + "\n";
    record += Block("stdout", Normalise(Slurp(options.outPath), "stdout"));
    record += Block("stderr", Normalise(Slurp(options.errPath), "stderr"));
    std::set<std::string> seen;
    std::map<std::string, std::string> written; // sorted by name
    for (const auto& entry : fs::recursive_directory_iterator(work)) {
        const std::string name = fs::relative(entry.path(), work).generic_string();
        seen.insert(name);
        if (!entry.is_regular_file()) continue;
        const std::string bytes = Slurp(entry.path());
        const auto input = inputs.find(name);
        if (input == inputs.end() || input->second != bytes) written[name] = bytes;
    }
    for (const auto& [name, bytes] : written)
        record += Block("file " + name, Normalise(bytes, name));
    for (const auto& [name, bytes] : inputs)
        if (!seen.count(name)) record += "removed " + name + "\n";
    return record;
}

fs::path RecordPath(const std::string& name) {
    return fs::path(VELMAR_FIXTURES) / "cli-outputs" / (name + ".txt");
}

bool Recording() {
    const char* record = std::getenv("VELMAR_RECORD_OUTPUTS");
    return record != nullptr && std::string(record) == "1";
}

// Most of a line's time is the programmer's waits, so several run at once.
std::vector<std::string> RecordAll(const std::vector<Line>& lines) {
    std::vector<std::string> records(lines.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 6; ++i)
        workers.emplace_back([&] {
            for (std::size_t n = next++; n < lines.size(); n = next++)
                records[n] = Record(lines[n]);
        });
    for (std::thread& worker : workers)
        worker.join();
    return records;
}

void Check(const std::vector<Line>& lines) {
    const std::vector<std::string> records = RecordAll(lines);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const Line& line = lines[n];
        SCOPED_TRACE(line.name);
        const std::string& actual = records[n];
        if (Recording()) {
            fs::create_directories(RecordPath(line.name).parent_path());
            std::ofstream(RecordPath(line.name), std::ios::binary) << actual;
            continue;
        }
        ASSERT_TRUE(fs::exists(RecordPath(line.name)))
            << "no record; scripts/record-cli-outputs writes it";
        EXPECT_EQ(Slurp(RecordPath(line.name)), actual)
            << "velmar-cli's output changed; when that is meant, scripts/record-cli-outputs";
    }
}

using V = std::vector<std::string>;

const std::vector<Line> kInformation = {
    {"help", V{"--help"}},
    {"help-short", V{"-h"}},
    {"help-convert", V{"convert", "--help"}},
    {"version", V{"--version"}},
    {"probe", V{"--virtual", "probe"}},
    {"probe-json", V{"--virtual", "--json", "probe"}},
    {"probe-old-firmware", V{"--virtual=firmware=1.22", "probe"}},
    {"probe-none", V{"--virtual=devices=0", "probe"}},
    {"probe-serial", V{"--virtual=programmers=2", "--serial", "BP123002", "probe"}},
    {"probe-serial-missing", V{"--virtual", "--serial", "NOPE", "probe"}},
    {"list", V{"--virtual", "list"}},
    {"list-json", V{"--virtual", "--json", "list"}},
    {"list-two", V{"--virtual=programmers=2", "list"}},
    {"list-none", V{"--virtual=devices=0", "list"}},
    {"doctor", V{"--virtual", "doctor"}},
    {"doctor-none", V{"--virtual=devices=0", "doctor"}},
    {"firmware", V{"--virtual=firmware=1.22", "firmware", "firmware.bin"}},
    {"firmware-bad-update", V{"--virtual=bad-update=on", "firmware", "firmware.bin"}},
};

const std::vector<Line> kDeviceOperations = {
    {"read-89c51-hex", V{"--virtual=chip=chip.bin", "--device", "89C51", "read", "out.hex"}},
    {"read-8748-bin", V{"--virtual", "--device", "8748", "read", "out.bin"}},
    {"read-stdout",
     V{"--virtual=chip=chip.bin", "--device", "89c51", "--format", "binary", "read", "-"}},
    {"read-stdout-ascii", V{"--virtual", "--device", "8741A", "--format", "ascii", "read", "-"}},
    {"read-passes",
     V{"--virtual=chip=chip.bin", "--device", "89C51", "--passes", "2", "read", "out.s19"}},
    {"read-json", V{"--virtual", "--json", "--device", "87C51H", "--hash", "read", "out.hex"}},
    {"verify-same", V{"--virtual=chip=chip.bin", "--device", "89C51", "verify", "chip.bin"}},
    {"verify-differs", V{"--virtual=chip=chip.bin", "--device", "89C51", "verify", "image.bin"}},
    {"verify-differs-q",
     V{"-q", "--virtual=chip=chip.bin", "--device", "89C51", "verify", "image.bin"}},
    {"verify-differs-v",
     V{"-v", "--virtual=chip=chip.bin", "--device", "89C51", "verify", "image.bin"}},
    {"verify-differs-json",
     V{"--virtual=chip=chip.bin", "--json", "--device", "89C51", "verify", "image.bin"}},
    {"verify-max-diffs", V{"--virtual=chip=chip.bin", "--device", "89C51", "--max-diffs", "1",
                           "--hash", "verify", "image.bin"}},
    {"verify-8748-trace",
     V{"--virtual", "--trace", "run.trace", "--device", "8748", "verify", "image.hex"}},
    {"verify-8749h-vv", V{"--virtual", "-vv", "--device", "8749H", "verify", "image.s19"}},
    {"verify-load-options",
     V{"--virtual", "--device", "87C51H", "--buffer-start", "100", "--offset", "10", "--fill", "FF",
       "--format", "intel", "verify", "image.dat"}},
    {"blank-erased", V{"--virtual", "--device", "89C51", "blank"}},
    {"blank-not-erased",
     V{"--virtual=chip=chip.bin", "--device", "89C51", "--max-diffs", "4", "blank"}},
    {"blank-8748-q", V{"-q", "--virtual", "--device", "8748", "blank"}},
    {"compare-fits", V{"--virtual", "--device", "87C51H", "compare", "image.hex"}},
    {"compare-conflicts",
     V{"--virtual=chip=chip.bin", "--device", "87C51H", "compare", "image.hex"}},
    {"program-hex",
     V{"--virtual=save-chip=saved.bin", "--device", "89C51", "program", "image.hex"}},
    {"program-8748-s19", V{"--virtual", "--device", "8748", "program", "image.s19"}},
    {"program-progress-lines",
     V{"--virtual", "--progress=lines", "--device", "89S52", "program", "image.bin"}},
    {"program-json", V{"--virtual", "--json", "--device", "87C51H", "program", "image.hex"}},
    {"program-precheck",
     V{"--virtual=chip=chip.bin", "--device", "89C51", "--precheck", "program", "image.bin"}},
    {"program-changed-only",
     V{"--virtual=chip=chip.bin", "--device", "89C51", "--changed-only", "program", "chip.bin"}},
    {"program-strict", V{"--virtual", "--device", "89C51", "--strict", "--buffer-start", "200",
                         "program", "image.bin"}},
    {"program-fail-block",
     V{"--virtual=fail-block=0100", "--device", "87C51H", "program", "image.bin"}},
    {"program-no-programmer",
     V{"--virtual=devices=0", "--device", "89C51", "program", "image.hex"}},
    {"program-fold", V{"--virtual", "--device", "8748", "--fold", "program", "image.bin"}},
    {"erase", V{"--virtual=chip=chip.bin", "--device", "89C51", "erase"}},
    {"lock-89c51", V{"--virtual", "--device", "89C51", "lock", "1"}},
    {"lock-87c51h-json", V{"--virtual", "--json", "--device", "87C51H", "lock", "3"}},
};

const std::vector<Line> kConvertAndDisasm = {
    {"sum-89c51-exclude", V{"--device", "89C51", "--exclude", "0FF0-0FF3", "sum", "image.hex"}},
    {"sum-buffer-start", V{"--device", "87C51H", "--buffer-start", "100", "sum", "image.bin"}},
    {"sum-no-device-json", V{"--json", "sum", "image.hex"}},
    {"convert-hex-bin", V{"convert", "image.hex", "out.bin"}},
    {"convert-bin-hex", V{"convert", "--device", "89C51", "image.bin", "out.hex"}},
    {"convert-hex-s19", V{"-v", "convert", "image.dat", "out.s19"}},
    {"convert-ascii-stdout", V{"convert", "--to", "ascii", "--end", "10F", "image.hex", "-"}},
    {"convert-options", V{"convert", "--from", "intel", "--to", "intel", "--limit", "FF",
                          "--offset", "20", "--fill", "EE", "image.dat", "out.txt"}},
    {"convert-json", V{"convert", "--json", "image.s19", "out.bin"}},
    {"convert-skip-bad-lines", V{"convert", "--skip-bad-lines", "clash.hex", "out.hex"}},
    {"convert-clash", V{"convert", "clash.hex", "out.hex"}},
    {"convert-broken", V{"convert", "broken.hex", "out.bin"}},
    {"convert-bad-checksum", V{"convert", "badsum.hex", "out.bin"}},
    {"convert-text-as-binary", V{"convert", "notes.txt", "out.hex"}},
    {"convert-missing", V{"convert", "missing.hex", "out.bin"}},
    {"convert-unknown-format", V{"convert", "--from", "elf", "image.hex", "out.bin"}},
    {"convert-one-file", V{"convert", "image.hex"}},
    {"convert-no-out-format", V{"convert", "image.hex", "out.dat"}},
    {"convert-bad-fill", V{"convert", "--fill", "123", "image.hex", "out.bin"}},
    {"convert-bad-address", V{"convert", "--offset", "100000", "image.hex", "out.bin"}},
    {"convert-device-and-limit",
     V{"convert", "--device", "89C51", "--limit", "FFF", "image.hex", "out.bin"}},
    {"convert-unknown-option", V{"convert", "--frob", "x", "image.hex", "out.bin"}},
    {"convert-missing-value", V{"convert", "image.hex", "out.bin", "--to"}},
    {"convert-unknown-device", V{"convert", "--device", "Z80", "image.hex", "out.bin"}},
    {"convert-json-stdout", V{"convert", "--json", "image.hex", "-"}},
    {"convert-after-virtual", V{"--virtual", "convert", "image.hex", "out.bin"}},
    {"disasm-8051", V{"disasm", "--cpu", "8051", "image.hex"}},
    {"disasm-8748", V{"disasm", "--device", "8748", "--to", "0110", "image.hex"}},
    {"disasm-range", V{"disasm", "--device", "89C51", "--from", "100", "--to", "108", "image.hex"}},
    {"disasm-read",
     V{"--virtual=chip=chip.bin", "disasm", "--device", "89C51", "--read", "--to", "20"}},
    {"disasm-json", V{"disasm", "--json", "--cpu", "8051", "image.hex"}},
    {"disasm-bad-cpu", V{"disasm", "--cpu", "Z80", "image.hex"}},
    {"disasm-hash", V{"disasm", "--hash", "--cpu", "8051", "image.hex"}},
    {"disasm-offset", V{"disasm", "--offset", "10", "--cpu", "8051", "image.hex"}},
    {"disasm-no-part", V{"disasm", "image.hex"}},
};

const std::vector<Line> kProduction = {
    {"repeat-two-parts",
     V{"--virtual=swap=on", "--device", "89C51", "--repeat", "3", "--log", "parts.jsonl", "program",
       "image.hex"},
     "two-parts.txt"},
    {"repeat-quit", V{"--virtual", "--device", "89C51", "--repeat", "program", "image.hex"},
     "quit.txt"},
    {"serial-number",
     V{"--virtual=swap=on", "--device", "89C51", "--repeat", "2", "--serial-number", "200:bcd4:42",
       "--serial-state", "numbers.json", "--log-csv", "parts.csv", "program", "image.hex"},
     "two-parts.txt"},
    {"lock-bits-json",
     V{"--virtual", "--json", "--device", "89C51", "--lock-bits", "1,2", "program", "image.hex"}},
    {"job-new", V{"--device", "89C51", "--serial-number", "200:le16:1", "--lock-bits", "1", "job",
                  "new", "image.hex", "line.toml"}},
    {"job-check", V{"job", "check", "job.toml"}},
    {"job-check-stale", V{"job", "check", "stale.toml"}},
    {"job-check-missing", V{"job", "check", "missing.toml"}},
    {"job-run", V{"--virtual", "job", "run", "job.toml"}},
    {"job-run-json", V{"--virtual", "--json", "job", "run", "job.toml"}},
    {"job-unknown-verb", V{"job", "start", "job.toml"}},
    {"job-check-device", V{"--device", "89C51", "job", "check", "job.toml"}},
    {"job-two-files", V{"job", "check", "job.toml", "stale.toml"}},
    {"repeat-bad-count", V{"--device", "89C51", "--repeat=x", "program", "image.hex"}},
    {"repeat-with-verify", V{"--device", "89C51", "--repeat", "2", "verify", "image.hex"}},
    {"repeat-when-changed-alone",
     V{"--device", "89C51", "--repeat-when-changed", "program", "image.hex"}},
    {"serial-number-bad",
     V{"--device", "89C51", "--serial-number", "200:le17:1", "program", "image.hex"}},
    {"serial-state-alone",
     V{"--device", "89C51", "--serial-state", "n.json", "program", "image.hex"}},
    {"lock-bits-bad", V{"--device", "89C51", "--lock-bits", "1,4", "program", "image.hex"}},
    {"lock-bits-no-bits", V{"--device", "8748", "--lock-bits", "1", "program", "image.hex"}},
    {"log-empty", V{"--device", "89C51", "--log=", "program", "image.hex"}},
};

const std::vector<Line> kArgumentErrors = {
    {"no-arguments", V{}},
    {"unknown-option", V{"--virtual", "--bogus", "probe"}},
    {"unknown-command", V{"--virtual", "frobnicate"}},
    {"no-command", V{"--virtual"}},
    {"no-operation", V{"--virtual", "--device", "89C51"}},
    {"missing-value-device", V{"--virtual", "verify", "image.hex", "--device"}},
    {"missing-value-trace", V{"--virtual", "probe", "--trace"}},
    {"empty-trace", V{"--virtual", "--trace=", "probe"}},
    {"empty-format", V{"--device", "89C51", "--format=", "verify", "image.hex"}},
    {"bad-max-diffs", V{"--device", "89C51", "--max-diffs", "many", "verify", "image.hex"}},
    {"bad-passes", V{"--device", "89C51", "--passes", "10", "read", "out.hex"}},
    {"bad-progress", V{"--device", "89C51", "--progress=bar", "verify", "image.hex"}},
    {"bad-buffer-start", V{"--device", "89C51", "--buffer-start", "10000", "verify", "image.hex"}},
    {"bad-offset", V{"--device", "89C51", "--offset", "xyz", "verify", "image.hex"}},
    {"bad-fill", V{"--device", "89C51", "--fill", "0x1", "verify", "image.hex"}},
    {"bad-serial", V{"--serial", std::string(50, 'S'), "probe"}},
    {"bad-format", V{"--device", "89C51", "--format", "elf", "verify", "image.hex"}},
    {"unknown-device", V{"--device", "Z80", "verify", "image.hex"}},
    {"usb-and-virtual", V{"--usb", "--virtual", "probe"}},
    {"quiet-and-verbose", V{"-q", "-v", "--virtual", "probe"}},
    {"probe-with-device", V{"--virtual", "--device", "89C51", "probe"}},
    {"probe-with-file", V{"--virtual", "probe", "image.hex"}},
    {"list-with-serial", V{"--virtual", "--serial", "BP123001", "list"}},
    {"doctor-json", V{"--virtual", "--json", "doctor"}},
    {"doctor-with-file", V{"--virtual", "doctor", "x"}},
    {"firmware-no-file", V{"--virtual", "firmware"}},
    {"verify-no-device", V{"--virtual", "verify", "image.hex"}},
    {"verify-no-file", V{"--virtual", "--device", "89C51", "verify"}},
    {"blank-with-file", V{"--virtual", "--device", "89C51", "blank", "image.hex"}},
    {"read-no-format", V{"--virtual", "--device", "89C51", "read", "out.dat"}},
    {"read-json-stdout", V{"--json", "--device", "89C51", "--format", "intel", "read", "-"}},
    {"lock-bad-bit", V{"--virtual", "--device", "89C51", "lock", "4"}},
    {"lock-no-bits", V{"--virtual", "--device", "8748", "lock", "1"}},
    {"erase-eprom", V{"--virtual", "--device", "87C51H", "erase"}},
    {"passes-with-verify", V{"--device", "89C51", "--passes", "3", "verify", "image.hex"}},
    {"hash-with-blank", V{"--device", "89C51", "--hash", "blank"}},
    {"precheck-with-verify", V{"--device", "89C51", "--precheck", "verify", "image.hex"}},
    {"strict-with-read", V{"--device", "89C51", "--strict", "read", "out.hex"}},
    {"fill-with-read", V{"--device", "89C51", "--fill", "00", "read", "out.hex"}},
    {"fold-with-blank", V{"--device", "89C51", "--fold", "blank"}},
    {"offset-with-erase", V{"--device", "89C51", "--offset", "10", "erase"}},
    {"cpu-with-verify", V{"--device", "89C51", "--cpu", "8051", "verify", "image.hex"}},
    {"read-with-program", V{"--device", "89C51", "--read", "program", "image.hex"}},
    {"virtual-unknown-key", V{"--virtual=bogus=1", "probe"}},
    {"virtual-no-value", V{"--virtual=timing", "probe"}},
    {"virtual-bad-switch", V{"--virtual=timing=maybe", "probe"}},
    {"virtual-bad-hex", V{"--virtual=fail-block=zz", "probe"}},
    {"virtual-bad-count", V{"--virtual=devices=3", "probe"}},
    {"virtual-bad-parts", V{"--virtual=split-reply=1:2:3:4", "probe"}},
    {"virtual-bad-chip-type", V{"--virtual=chip-type=Z80", "probe"}},
    {"virtual-empty-file", V{"--virtual=save-chip=", "probe"}},
    {"virtual-bad-weak-bits", V{"--virtual=weak-bits=10:0", "probe"}},
    {"virtual-bad-firmware", V{"--virtual=firmware=one", "probe"}},
};

const std::vector<Line> kFileErrors = {
    {"verify-missing-file", V{"--virtual", "--device", "89C51", "verify", "missing.hex"}},
    {"program-broken", V{"--virtual", "--device", "89C51", "program", "broken.hex"}},
    {"program-clash", V{"--virtual", "--device", "89C51", "program", "clash.hex"}},
    {"program-bad-checksum", V{"--virtual", "--device", "89C51", "program", "badsum.hex"}},
    {"program-empty", V{"--virtual", "--device", "89C51", "program", "empty.hex"}},
    {"program-text-as-hex", V{"--virtual", "--device", "89C51", "program", "notes.hex"}},
    {"program-text-judged", V{"--virtual", "--device", "89C51", "program", "notes.txt"}},
    {"program-too-long", V{"--virtual", "--device", "8748", "program", "image.bin"}},
    {"program-outside-device", V{"--virtual", "--device", "89C51", "--buffer-start", "1000",
                                 "--format", "intel", "program", "image.hex"}},
    {"read-into-missing-folder", V{"--virtual", "--device", "89C51", "read", "no-folder/out.hex"}},
    {"trace-into-missing-folder", V{"--virtual", "--trace", "no-folder/run.trace", "probe"}},
    {"virtual-chip-missing", V{"--virtual=chip=missing.bin", "probe"}},
    {"virtual-chip-empty", V{"--virtual=chip=empty.hex", "probe"}},
    {"firmware-missing", V{"--virtual", "firmware", "missing.bin"}},
    {"job-new-missing-file", V{"--device", "89C51", "job", "new", "missing.hex"}},
    {"disasm-missing-file", V{"disasm", "--cpu", "8048", "missing.hex"}},
};

TEST(FixedLines, HelpVersionSearchAndFirmware) {
    Check(kInformation);
}

TEST(FixedLines, DeviceOperationsOnBothSets) {
    Check(kDeviceOperations);
}

TEST(FixedLines, ConvertAndDisasm) {
    Check(kConvertAndDisasm);
}

TEST(FixedLines, ProductionWords) {
    Check(kProduction);
}

TEST(FixedLines, ArgumentErrors) {
    Check(kArgumentErrors);
}

TEST(FixedLines, FileErrors) {
    Check(kFileErrors);
}

// A record no line writes any more would go on passing unseen.
TEST(FixedLines, EveryRecordHasItsLine) {
    std::set<std::string> names;
    for (const auto* lines : {&kInformation, &kDeviceOperations, &kConvertAndDisasm, &kProduction,
                              &kArgumentErrors, &kFileErrors})
        for (const Line& line : *lines)
            EXPECT_TRUE(names.insert(line.name).second) << "two lines named " << line.name;
    for (const auto& entry : fs::directory_iterator(RecordPath("x").parent_path()))
        EXPECT_TRUE(names.count(entry.path().stem().string()))
            << entry.path().filename() << " belongs to no line";
}

} // namespace

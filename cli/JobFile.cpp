#include "JobFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <toml++/toml.h>

#include "DataStreams.h"
#include "DumpIdentity.h"
#include "Operations.h"
#include "OutputGuard.h"
#include "RepeatRun.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "buffer/FileReplacement.h"
#include "buffer/FormatDetection.h"
#include "buffer/HexText.h"
#include "buffer/InputFile.h"
#include "buffer/TextCase.h"
#include "devices/DeviceCatalogue.h"

namespace velmar::cli {

namespace {

// Relative names in a job are taken from the job file's folder.
std::string Beside(const std::string& jobPath, const std::string& name) {
    if (name.empty() || std::filesystem::path(name).is_absolute()) return name;
    return (std::filesystem::path(jobPath).parent_path() / name).string();
}

bool Address(const toml::table& t, const char* key, std::optional<std::int32_t>& out,
             std::string& error) {
    const toml::node* node = t.get(key);
    if (node == nullptr) return true;
    const std::optional<std::string> text = node->value<std::string>();
    out = text ? ParseAddress(*text) : std::nullopt;
    // As on the command line.
    const std::int32_t highest =
        std::string(key) == "offset" ? kHighestHexOffset : kHighestBufferStart;
    if (out && *out > highest) out.reset();
    if (!out)
        error = std::string(key) + " takes a hexadecimal address from 0 to " +
                HexText(highest, 4) + " in quotes";
    return out.has_value();
}

bool Text(const toml::table& t, const char* key, std::string& out, std::string& error) {
    const toml::node* node = t.get(key);
    if (node == nullptr) return true;
    const std::optional<std::string> text = node->value<std::string>();
    if (!text) error = std::string(key) + " takes a text in quotes";
    out = text.value_or("");
    return text.has_value();
}

bool Flag(const toml::table& t, const char* key, bool& out, std::string& error) {
    const toml::node* node = t.get(key);
    if (node == nullptr) return true;
    const std::optional<bool> value = node->value<bool>();
    if (!value) error = std::string(key) + " takes true or false";
    out = value.value_or(false);
    return value.has_value();
}

bool ReadSerial(const toml::table& t, Job& job, std::string& error) {
    const toml::node* node = t.get("serial_number");
    if (node == nullptr) return true;
    const toml::table* s = node->as_table();
    if (s == nullptr) return error = "serial_number is a table", false;
    std::string address, format;
    if (!Text(*s, "address", address, error) || !Text(*s, "format", format, error) ||
        !Text(*s, "state", job.serialState, error))
        return false;
    const std::optional<std::int64_t> start = (*s)["start"].value<std::int64_t>();
    const std::int64_t step = (*s)["step"].value<std::int64_t>().value_or(1);
    if (!start || *start < 0 || step < 1)
        return error = "serial_number needs a start of 0 or more and a step of 1 or more", false;
    const std::string rule =
        address + ":" + format + ":" + std::to_string(*start) + ":" + std::to_string(step);
    job.serial = ParseSerialRule(rule, error);
    return job.serial.has_value();
}

// The keys a job knows; a table's keys follow its name.
const std::vector<std::string> kJobKeys = {
    "name",      "device", "file", "sha1",    "format",   "offset",       "buffer_start", "fill",
    "lock_bits", "repeat", "log",  "log_csv", "precheck", "changed_only", "strict",       "fold"};
const std::vector<std::string> kJobTables = {"serial_number"};
const std::vector<std::string> kSerialKeys = {"address", "format", "start", "step", "state"};

// Edits (insert, delete, change, swap two neighbours) from one name to the
// other, letter case aside.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    const std::string x = Lower(a), y = Lower(b);
    std::vector<std::vector<std::size_t>> d(x.size() + 1, std::vector<std::size_t>(y.size() + 1));
    for (std::size_t i = 0; i <= x.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= y.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= x.size(); ++i)
        for (std::size_t j = 1; j <= y.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && x[i - 1] == y[j - 2] && x[i - 2] == y[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[x.size()][y.size()];
}

// The known name an unknown one was most likely meant as: the fewest edits,
// at most two or a third of its length, or else the known name it begins
// (`serial` for serial_number); "" when none is near.
std::string NearestName(const std::string& name, const std::vector<std::string>& known) {
    std::string best;
    std::size_t bestDistance = std::string::npos;
    for (const std::string& candidate : known) {
        const std::size_t distance = EditDistance(name, candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    if (bestDistance <= std::max<std::size_t>(2, name.size() / 3)) return best;
    for (const std::string& candidate : known)
        if (name.size() >= 3 && Lower(candidate).rfind(Lower(name), 0) == 0) return candidate;
    return "";
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// A key no job knows would be ignored in silence and its part made without
// it (unlocked, unnumbered): refused, with the key it was likely meant as.
bool UnknownKeys(const toml::table& t, const std::string& path, std::string& error) {
    for (const auto& [key, node] : t) {
        const std::string name(key.str());
        const std::string where = path + ":" + std::to_string(key.source().begin.line) + ": ";
        if (std::find(kJobKeys.begin(), kJobKeys.end(), name) != kJobKeys.end()) continue;
        if (std::find(kJobTables.begin(), kJobTables.end(), name) != kJobTables.end()) {
            const toml::table* inner = node.as_table();
            if (inner == nullptr) continue; // "serial_number is a table" says the rest
            for (const auto& [innerKey, innerNode] : *inner) {
                const std::string innerName(innerKey.str());
                if (std::find(kSerialKeys.begin(), kSerialKeys.end(), innerName) !=
                    kSerialKeys.end())
                    continue;
                const std::string near = NearestName(innerName, kSerialKeys);
                error = path + ":" + std::to_string(innerKey.source().begin.line) +
                        ": unknown key '" + innerName + "' in [" + name + "]; " +
                        (near.empty() ? "[" + name + "] takes " + JoinNames(kSerialKeys)
                                      : "did you mean " + near + "?");
                return false;
            }
            continue;
        }
        if (node.is_table()) {
            const std::string near = NearestName(name, kJobTables);
            error = where + "unknown table [" + name + "]; " +
                    (near.empty() ? "a job's only table is [serial_number]"
                                  : "did you mean [" + near + "]?");
        } else {
            std::vector<std::string> known = kJobKeys;
            known.insert(known.end(), kJobTables.begin(), kJobTables.end());
            const std::string near = NearestName(name, known);
            const bool table =
                std::find(kJobTables.begin(), kJobTables.end(), near) != kJobTables.end();
            error = where + "unknown key '" + name + "'; " +
                    (near.empty() ? "a job takes " + JoinNames(kJobKeys) + " and [serial_number]"
                     : table      ? "did you mean [" + near + "]?"
                                  : "did you mean " + near + "?");
        }
        return false;
    }
    return true;
}

bool Check(const Job& job, std::string& error) {
    const std::optional<int> row = FindCatalogueRow(job.device);
    if (!row) return error = "unknown device '" + job.device + "'", false;
    if (job.file.empty()) return error = "the job names no file", false;
    if (job.sha1.size() != 40 ||
        job.sha1.find_first_not_of("0123456789abcdef") != std::string::npos)
        return error = "sha1 takes the image's SHA-1 in 40 hexadecimal digits", false;
    const int lockBits = DeviceCatalogue()[static_cast<std::size_t>(*row)].Can().LockBits;
    for (int bit : job.lockBits)
        if (bit < 1 || bit > lockBits)
            return error = "the " + job.device + " has no lock bit " + std::to_string(bit), false;
    return true;
}

} // namespace

namespace {

// The image's bytes, read once: the pin is checked on them and they are what
// is loaded, so a file replaced in between is never the one programmed.
bool ReadImageBytes(const std::string& path, std::string& bytes, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "cannot read " + path;
        return false;
    }
    InputFile file = OpenInputFile(path, error);
    if (!file || !ReadWholeStream(file.get(), bytes, error)) {
        error = "cannot read " + path + ": " + error;
        return false;
    }
    return true;
}

std::string Sha1OfBytes(const std::string& bytes) {
    return Sha1Text(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// A file listing never reaches a programmer, nor does a job's check.
const D2XXBackend kNoProgrammer{"none",  nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr};

// What job run refuses before it touches a programmer, found without one:
// a log over an input or where it cannot be written, the image as it loads
// (a text image, data past the part, a buffer start past it, --strict's
// warnings), and where the serial number goes. The same code job run runs;
// its exit status.
int CheckWithoutProgrammer(const Arguments& run) {
    if (const std::string problem = OutputOverInput(run); !problem.empty()) {
        Complain(stderr, problem);
        return ExitUsage;
    }
    // The logs are opened first of all by a run; found here without writing.
    for (const std::string* log : {&run.production.logPath, &run.production.logCsvPath})
        if (const std::string problem = log->empty() ? "" : OutputProblem(*log); !problem.empty()) {
            Complain(stderr, "cannot write " + *log + ": " + problem);
            return ExitUsage;
        }
    // Only what is wrong is said: no "Loading Buffer..." sentences.
    struct CheckPanel : ConsolePanel {
        using ConsolePanel::ConsolePanel;
        void Status(std::string_view) override {}
    };
    ProgramState state(kNoProgrammer);
    CheckPanel panel(stderr, stderr, false);
    panel.SetVerbosity(run.verbosity);
    state.Panel.Attach(&panel);
    int status = PrepareImage(state, panel, run);
    if (status < 0 && run.production.serialRule) {
        const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(run.catalogueRow)];
        const std::string problem =
            SerialPlacementProblem(state, run, run.fill.value_or(row.Can().ErasedValue));
        if (!problem.empty()) {
            Complain(stderr, problem);
            status = ExitUsage;
        }
    }
    state.Panel.Attach(nullptr);
    return status < 0 ? ExitSuccess : status;
}

// UTF-8 as the standard has it: no overlong forms, surrogates or values
// past U+10FFFF.
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t more = 0;
        std::uint32_t value = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
            more = 1, value = c & 0x1F, least = 0x80;
        else if ((c & 0xF0) == 0xE0)
            more = 2, value = c & 0x0F, least = 0x800;
        else if ((c & 0xF8) == 0xF0)
            more = 3, value = c & 0x07, least = 0x10000;
        else
            return false;
        if (i + more >= text.size()) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += more + 1;
    }
    return true;
}

// A name a job can hold as it is: TOML text is UTF-8, and a control
// character would be a different name to whoever reads the job.
bool WritableName(const std::string& name, std::string& error) {
    if (!IsUtf8(name)) {
        error = name + " cannot be named in a job as it is: the name is not UTF-8; rename it";
        return false;
    }
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) {
            error = name + " cannot be named in a job as it is: the name holds control "
                           "characters; rename it";
            return false;
        }
    return true;
}

// A name as the job holds it: relative to the job's folder, as job run reads
// it. A job printed on standard output has no folder known here: there the
// name is written whole, so that the job finds its files wherever it is kept.
std::string NameInJob(const std::string& name, const std::string& jobPath) {
    namespace fs = std::filesystem;
    if (name.empty()) return name;
    std::error_code ec;
    const fs::path whole = fs::absolute(fs::path(name), ec).lexically_normal();
    if (ec) return name;
    if (jobPath.empty()) return whole.generic_string();
    const fs::path folder = fs::absolute(fs::path(jobPath), ec).lexically_normal().parent_path();
    if (ec) return whole.generic_string();
    const fs::path relative = whole.lexically_relative(folder);
    return relative.empty() ? whole.generic_string() : relative.generic_string();
}

} // namespace

std::function<void()>& JobPinTestHook() {
    static std::function<void()> hook;
    return hook;
}

bool FileSha1(const std::string& path, std::string& sha1, std::string& error) {
    std::string bytes;
    if (!ReadImageBytes(path, bytes, error)) return false;
    sha1 = Sha1OfBytes(bytes);
    return true;
}

bool ReadJob(const std::string& path, Job& job, std::string& error) {
    toml::table t;
    try {
        t = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        std::ostringstream where;
        where << e.source().begin.line;
        error = path + ":" + where.str() + ": " + std::string(e.description());
        return false;
    }
    if (!UnknownKeys(t, path, error)) return false;
    std::string format, fill;
    if (!Text(t, "name", job.name, error) || !Text(t, "device", job.device, error) ||
        !Text(t, "file", job.file, error) || !Text(t, "sha1", job.sha1, error) ||
        !Text(t, "format", format, error) || !Text(t, "fill", fill, error) ||
        !Text(t, "log", job.log, error) || !Text(t, "log_csv", job.logCsv, error) ||
        !Address(t, "offset", job.offset, error) ||
        !Address(t, "buffer_start", job.bufferStart, error) || !ReadSerial(t, job, error) ||
        !Flag(t, "precheck", job.precheck, error) ||
        !Flag(t, "changed_only", job.changedOnly, error) || !Flag(t, "strict", job.strict, error) ||
        !Flag(t, "fold", job.fold, error)) {
        error = path + ": " + error;
        return false;
    }
    job.sha1 = Lower(job.sha1);
    if (!format.empty() && !(job.format = FileTypeFromName(format))) {
        error = path + ": unknown format '" + format + "'";
        return false;
    }
    if (!fill.empty()) {
        const std::optional<std::uint32_t> value = ParseHex(fill, 2);
        if (!value) {
            error = path + ": fill takes one or two hexadecimal digits";
            return false;
        }
        job.fill = static_cast<std::uint8_t>(*value);
    }
    if (const toml::node* node = t.get("repeat")) {
        const std::optional<std::int64_t> n = node->value<std::int64_t>();
        if (!n || *n < 0 || *n > 1000000) {
            error = path + ": repeat takes a count of parts (0: until q)";
            return false;
        }
        job.repeat = static_cast<long>(*n);
    }
    if (const toml::node* node = t.get("lock_bits")) {
        const toml::array* bits = node->as_array();
        for (std::size_t i = 0; bits != nullptr && i < bits->size(); ++i)
            job.lockBits.push_back(static_cast<int>((*bits)[i].value<std::int64_t>().value_or(0)));
        if (bits == nullptr) job.lockBits.push_back(0);
    }
    if (!Check(job, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::string JobToml(const Job& job) {
    toml::table t;
    t.insert("name", job.name);
    t.insert("device", job.device);
    t.insert("file", job.file);
    t.insert("sha1", job.sha1);
    if (job.format) t.insert("format", std::string(DataFormatOf(*job.format).CliName));
    if (job.offset) t.insert("offset", HexText(*job.offset, 4));
    if (job.bufferStart) t.insert("buffer_start", HexText(*job.bufferStart, 4));
    if (job.fill) t.insert("fill", HexText(*job.fill, 2));
    if (!job.lockBits.empty()) {
        toml::array bits;
        for (int bit : job.lockBits)
            bits.push_back(bit);
        t.insert("lock_bits", bits);
    }
    if (job.repeat) t.insert("repeat", static_cast<std::int64_t>(*job.repeat));
    if (!job.log.empty()) t.insert("log", job.log);
    if (!job.logCsv.empty()) t.insert("log_csv", job.logCsv);
    if (job.precheck) t.insert("precheck", true);
    if (job.changedOnly) t.insert("changed_only", true);
    if (job.strict) t.insert("strict", true);
    if (job.fold) t.insert("fold", true);
    if (job.serial) {
        toml::table s;
        s.insert("address", HexText(job.serial->address, 4));
        s.insert("format", SerialFormatName(job.serial->format));
        s.insert("start", static_cast<std::int64_t>(job.serial->start));
        s.insert("step", static_cast<std::int64_t>(job.serial->step));
        if (!job.serialState.empty()) s.insert("state", job.serialState);
        t.insert("serial_number", s);
    }
    std::ostringstream out;
    out << "# velmar-cli job: run with \"velmar-cli job run FILE\"\n" << t << "\n";
    return out.str();
}

bool JobRunArguments(const Job& job, const Arguments& commandLine, Arguments& run,
                     std::string& error) {
    const std::string& jobPath = commandLine.production.jobPath;
    const std::string image = Beside(jobPath, job.file);
    auto bytes = std::make_shared<std::string>();
    if (!ReadImageBytes(image, *bytes, error)) return false;
    const std::string sha1 = Sha1OfBytes(*bytes);
    if (sha1 != job.sha1) {
        error = job.file + " changed since the job was approved: SHA-1 " + sha1 +
                ", the job holds " + job.sha1;
        return false;
    }
    if (JobPinTestHook()) JobPinTestHook()();
    run = commandLine;
    run.command = Command::Device;
    run.operation = Operation::Program;
    run.deviceName = job.device;
    run.catalogueRow = *FindCatalogueRow(job.device);
    run.dataPath = image;
    run.imageBytes = bytes;
    run.fileType = job.format;
    run.formatGiven = job.format.has_value();
    if (!job.format) run.fileType = FileTypeFromExtension(image);
    run.bufferStart = job.bufferStart;
    run.fill = job.fill;
    run.precheck = job.precheck;
    run.changedOnly = job.changedOnly;
    run.strict = job.strict;
    run.fold = job.fold;
    ProductionArguments& p = run.production;
    run.hexOffset = job.offset;
    p.serialRule = job.serial;
    p.lockBits = job.lockBits;
    p.jobName = job.name;
    if (!p.repeat) p.repeat = job.repeat;
    if (p.logPath.empty()) p.logPath = Beside(jobPath, job.log);
    if (p.logCsvPath.empty()) p.logCsvPath = Beside(jobPath, job.logCsv);
    if (p.serialState.empty()) p.serialState = Beside(jobPath, job.serialState);
    return true;
}

int RunJobNew(const Arguments& a, RunReport& report) {
    std::string error;
    if (a.dataPath == "-") {
        Complain(stderr, "a job needs an image file, not -");
        return ExitUsage;
    }
    const ProductionArguments& p = a.production;
    // How a run goes, not what it programs: job run takes these itself, and
    // a job that dropped them in silence would not do what was asked.
    for (const auto& [given, option] : {std::pair{p.serialOverwrite, "--serial-overwrite"},
                                        std::pair{p.reuseFailed, "--reuse-failed"}})
        if (given) {
            Complain(stderr, std::string(option) + " is not kept in a job: give it to job run");
            return ExitUsage;
        }
    for (const std::string* name : {&a.dataPath, &p.logPath, &p.logCsvPath, &p.serialState})
        if (!WritableName(*name, error)) {
            Complain(stderr, error);
            return ExitUsage;
        }
    // The job file itself, when named; else ("-" too) the job goes to
    // standard output.
    const std::string jobPath = p.jobPath == "-" ? "" : p.jobPath;
    Job job;
    job.name = std::filesystem::path(a.dataPath).stem().string();
    job.device = a.deviceName;
    job.file = NameInJob(a.dataPath, jobPath);
    std::string bytes;
    if (!ReadImageBytes(a.dataPath, bytes, error)) {
        Complain(stderr, error);
        return ExitUsage;
    }
    job.sha1 = Sha1OfBytes(bytes);
    report.fileName = a.dataPath;
    report.fileSha1 = job.sha1;
    job.format = a.formatGiven ? a.fileType : std::nullopt;
    job.offset = a.hexOffset;
    job.bufferStart = a.bufferStart;
    job.fill = a.fill;
    job.precheck = a.precheck;
    job.changedOnly = a.changedOnly;
    job.strict = a.strict;
    job.fold = a.fold;
    job.serial = p.serialRule;
    job.serialState = NameInJob(p.serialState, jobPath);
    job.repeat = p.repeat;
    job.lockBits = p.lockBits;
    job.log = NameInJob(p.logPath, jobPath);
    job.logCsv = NameInJob(p.logCsvPath, jobPath);

    // A job is written only when job run would start it.
    Arguments base;
    base.verbosity = a.verbosity;
    base.production.json = p.json;
    base.production.job = JobVerb::New;
    base.production.jobPath = jobPath;
    Arguments run;
    if (!JobRunArguments(job, base, run, error)) {
        Complain(stderr, error);
        return ExitUsage;
    }
    if (const int status = CheckWithoutProgrammer(run); status != ExitSuccess) return status;

    const std::string text = JobToml(job);
    report.jobText = text; // --json carries the job inside its object
    if (!jobPath.empty()) {
        FileReplacement out(jobPath);
        if (!out.Open() || !out.Write(text.data(), text.size()) || !out.Commit()) {
            Complain(stderr, "cannot write " + jobPath + ": " + out.Error());
            return ExitUsage;
        }
    } else if (!p.json) {
        errno = 0;
        if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
            Complain(stderr, std::string("cannot write standard output: ") +
                                 std::strerror(errno != 0 ? errno : EIO));
            return ExitUsage;
        }
    }
    return ExitSuccess;
}

int RunJobCheck(const Arguments& a, RunReport& report) {
    Job job;
    Arguments run;
    std::string error;
    if (!ReadJob(a.production.jobPath, job, error) || !JobRunArguments(job, a, run, error)) {
        Complain(stderr, error);
        return ExitUsage;
    }
    report.device = job.device;
    report.jobName = job.name;
    report.fileName = run.dataPath;
    report.fileSha1 = job.sha1;
    if (const int status = CheckWithoutProgrammer(run); status != ExitSuccess) return status;
    if (!a.production.json)
        std::printf("%s: %s, %s (SHA-1 %s)%s: ok\n", Printable(a.production.jobPath).c_str(),
                    job.device.c_str(), Printable(job.file).c_str(), job.sha1.c_str(),
                    job.serial ? (", serial numbers " + SerialRuleText(*job.serial)).c_str() : "");
    std::fflush(stdout);
    return ExitSuccess;
}

} // namespace velmar::cli

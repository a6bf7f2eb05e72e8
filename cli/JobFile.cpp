#include "JobFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <toml++/toml.h>

#include "DumpIdentity.h"
#include "Operations.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "buffer/HexText.h"
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

bool FileSha1(const std::string& path, std::string& sha1, std::string& error) {
    std::error_code ec;
    std::ifstream in(path, std::ios::binary);
    if (!std::filesystem::is_regular_file(path, ec) || !in) {
        error = "cannot read " + path;
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    sha1 = Sha1Text(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
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
    std::string format, fill;
    if (!Text(t, "name", job.name, error) || !Text(t, "device", job.device, error) ||
        !Text(t, "file", job.file, error) || !Text(t, "sha1", job.sha1, error) ||
        !Text(t, "format", format, error) || !Text(t, "fill", fill, error) ||
        !Text(t, "log", job.log, error) || !Text(t, "log_csv", job.logCsv, error) ||
        !Address(t, "offset", job.offset, error) ||
        !Address(t, "buffer_start", job.bufferStart, error) || !ReadSerial(t, job, error) ||
        !Flag(t, "precheck", job.precheck, error) ||
        !Flag(t, "changed_only", job.changedOnly, error) || !Flag(t, "strict", job.strict, error)) {
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
    std::string sha1;
    if (!FileSha1(image, sha1, error)) return false;
    if (sha1 != job.sha1) {
        error = job.file + " changed since the job was approved: SHA-1 " + sha1 +
                ", the job holds " + job.sha1;
        return false;
    }
    run = commandLine;
    run.command = Command::Device;
    run.operation = Operation::Program;
    run.deviceName = job.device;
    run.catalogueRow = *FindCatalogueRow(job.device);
    run.dataPath = image;
    run.fileType = job.format;
    run.formatGiven = job.format.has_value();
    if (!job.format) run.fileType = FileTypeFromExtension(image);
    run.bufferStart = job.bufferStart;
    run.fill = job.fill;
    run.precheck = job.precheck;
    run.changedOnly = job.changedOnly;
    run.strict = job.strict;
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
    Job job;
    job.name = std::filesystem::path(a.dataPath).stem().string();
    job.device = a.deviceName;
    job.file = a.dataPath;
    std::string error;
    if (a.dataPath == "-" || !FileSha1(a.dataPath, job.sha1, error)) {
        Complain(stderr, a.dataPath == "-" ? "a job needs an image file, not -" : error);
        return ExitUsage;
    }
    report.fileName = a.dataPath;
    report.fileSha1 = job.sha1;
    job.format = a.formatGiven ? a.fileType : std::nullopt;
    job.offset = a.hexOffset;
    job.bufferStart = a.bufferStart;
    job.fill = a.fill;
    job.precheck = a.precheck;
    job.changedOnly = a.changedOnly;
    job.strict = a.strict;
    job.serial = a.production.serialRule;
    job.serialState = a.production.serialState;
    job.repeat = a.production.repeat;
    job.lockBits = a.production.lockBits;
    job.log = a.production.logPath;
    job.logCsv = a.production.logCsvPath;
    const std::string text = JobToml(job);
    report.jobText = text; // --json carries the job inside its object
    if (!a.production.json) std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
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
    if (!a.production.json)
        std::printf("%s: %s, %s (SHA-1 %s)%s: ok\n", a.production.jobPath.c_str(),
                    job.device.c_str(), job.file.c_str(), job.sha1.c_str(),
                    job.serial ? (", serial numbers " + SerialRuleText(*job.serial)).c_str() : "");
    std::fflush(stdout);
    return ExitSuccess;
}

} // namespace velmar::cli

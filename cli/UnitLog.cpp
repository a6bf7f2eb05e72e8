#include "UnitLog.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform.h"

namespace velmar::cli {

namespace {

// The columns of both logs, in order.
struct Column {
    const char* name;
    nlohmann::ordered_json (*value)(const UnitLogContext&, const PartRecord&);
};

const std::vector<Column>& Columns() {
    using json = nlohmann::ordered_json;
    using C = const UnitLogContext&;
    using P = const PartRecord&;
    static const std::vector<Column> columns = {
        {"time", [](C, P p) { return json(p.time); }},
        {"host", [](C c, P) { return json(c.host); }},
        {"programmer", [](C c, P) { return json(c.programmerSerial); }},
        {"device", [](C c, P) { return json(c.device); }},
        {"job", [](C c, P) { return json(c.jobName); }},
        {"image_sha1", [](C, P p) { return json(p.imageSha1); }},
        {"serial_number",
         [](C, P p) { return p.serialNumber ? json(*p.serialNumber) : json(nullptr); }},
        {"result", [](C, P p) { return json(p.result); }},
        {"differences", [](C, P p) { return json(p.differences); }},
        {"first_difference",
         [](C, P p) { return p.firstDifference ? json(*p.firstDifference) : json(nullptr); }},
        {"duration_ms", [](C, P p) { return json(p.durationMs); }},
        {"link_faults", [](C, P p) { return json(p.linkFaults); }},
        {"sequence", [](C, P p) { return json(p.sequence); }},
    };
    return columns;
}

// A CSV field: quoted when it holds a comma, a quote or a line end. A text
// a spreadsheet would run as a formula gets a leading quote, which makes it
// text there.
std::string CsvField(const nlohmann::ordered_json& value) {
    if (value.is_null()) return "";
    std::string text = value.is_string()
                           ? value.get<std::string>()
                           : value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (value.is_string() && !text.empty() && std::strchr("=+-@\t\r", text[0]) != nullptr)
        text.insert(0, 1, '\'');
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

bool OpenAppend(const std::string& path, std::FILE*& file, std::string& error) {
    if (path.empty()) return true;
    // Read as well: the last byte tells whether the last line was ended.
    file = std::fopen(path.c_str(), "a+b");
    if (file != nullptr) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

// The bytes the file holds; -1 when it cannot be told (a FIFO).
long SizeOf(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return -1;
    return std::ftell(file);
}

// Appends the line under the file's lock, so that lines of processes that
// share the log never mix. A last line cut short (a full disk, a crash) is
// ended first: the new line must not be read as its rest.
bool Put(std::FILE* file, const std::string& path, const std::string& line, std::string& error,
         bool headerOnly = false) {
    platform::FileLock lock;
    int ignored = 0;
    const bool locked = lock.Lock(path, ignored); // a file system without locks still logs
    (void)locked;
    std::string text = line + "\n";
    const long size = SizeOf(file);
    if (headerOnly && size != 0) return true; // another process wrote the header first
    if (size > 0 && std::fseek(file, size - 1, SEEK_SET) == 0) {
        const int last = std::fgetc(file);
        if (last != EOF && last != '\n') text.insert(0, 1, '\n');
    }
    std::fseek(file, 0, SEEK_END);
    errno = 0;
    if (std::fputs(text.c_str(), file) >= 0 && platform::SyncToDisk(file)) return true;
    error = "cannot write " + path + ": " + std::strerror(errno != 0 ? errno : EIO);
    std::clearerr(file);
    return false;
}

} // namespace

UnitLog::~UnitLog() {
    if (json_) std::fclose(json_);
    if (csv_) std::fclose(csv_);
}

bool UnitLog::Open(const std::string& jsonPath, const std::string& csvPath, std::string& error) {
    jsonPath_ = jsonPath;
    csvPath_ = csvPath;
    if (!OpenAppend(jsonPath, json_, error) || !OpenAppend(csvPath, csv_, error)) return false;
    // A new CSV file starts with its header, written once however many
    // processes start it at once.
    return csv_ == nullptr || SizeOf(csv_) != 0 ||
           Put(csv_, csvPath_, UnitLogCsvHeader(), error, true);
}

bool UnitLog::Append(const UnitLogContext& context, const PartRecord& part, std::string& error) {
    // Both logs are tried whatever happened to the other.
    bool ok = true;
    if (json_ != nullptr) {
        nlohmann::ordered_json line;
        for (const Column& column : Columns())
            line[column.name] = column.value(context, part);
        ok = Put(json_, jsonPath_,
                 line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), error);
    }
    std::string csvError;
    if (csv_ != nullptr && !Put(csv_, csvPath_, UnitLogCsvRow(context, part), csvError)) {
        error = ok ? csvError : error + "; " + csvError;
        ok = false;
    }
    return ok;
}

namespace {

// The fields of one CSV line as written above (quotes doubled inside quotes).
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::optional<std::uint64_t> Digits(const std::string& text) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoull(text);
}

} // namespace

std::optional<std::uint64_t> HighestLoggedSerial(const std::string& path, bool csv,
                                                 const std::string& job) {
    std::string text;
    int ignored = 0;
    if (path.empty() || platform::ReadRegularFile(path, text, ignored) != platform::ReadOutcome::Read)
        return std::nullopt;
    std::optional<std::uint64_t> highest;
    const auto note = [&](std::uint64_t n) { highest = std::max(highest.value_or(n), n); };
    std::size_t jobColumn = 0, serialColumn = 0;
    bool header = csv;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!csv) {
            // A torn line does not parse and holds no number that counts.
            const nlohmann::json o = nlohmann::json::parse(line, nullptr, false);
            if (o.is_object() && o.contains("serial_number") &&
                o["serial_number"].is_number_unsigned() &&
                (o.contains("job") && o["job"].is_string() ? o["job"].get<std::string>() : "") ==
                    job)
                note(o["serial_number"].get<std::uint64_t>());
            continue;
        }
        const std::vector<std::string> fields = CsvFields(line);
        if (header) {
            header = false;
            const auto at = [&](const char* name) {
                return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), name) -
                                                fields.begin());
            };
            jobColumn = at("job");
            serialColumn = at("serial_number");
            continue;
        }
        if (jobColumn >= fields.size() || serialColumn >= fields.size()) continue;
        std::string jobName = fields[jobColumn];
        if (!jobName.empty() && jobName[0] == '\'' && jobName.size() > 1 &&
            std::strchr("=+-@\t\r", jobName[1]) != nullptr)
            jobName.erase(0, 1);
        if (jobName != job) continue;
        if (const auto n = Digits(fields[serialColumn])) note(*n);
    }
    return highest;
}

std::string UnitLogCsvHeader() {
    std::string header;
    for (const Column& column : Columns())
        header += (header.empty() ? "" : ",") + std::string(column.name);
    return header;
}

std::string UnitLogCsvRow(const UnitLogContext& context, const PartRecord& part) {
    std::string row;
    bool first = true;
    for (const Column& column : Columns()) {
        if (!first) row += ",";
        first = false;
        row += CsvField(column.value(context, part));
    }
    return row;
}

} // namespace velmar::cli

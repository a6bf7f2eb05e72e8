#include "UnitLog.h"

#include <cerrno>
#include <cstring>
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

// A CSV field: quoted when it holds a comma, a quote or a line end.
std::string CsvField(const nlohmann::ordered_json& value) {
    if (value.is_null()) return "";
    std::string text = value.is_string()
                           ? value.get<std::string>()
                           : value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
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
    file = std::fopen(path.c_str(), "ab");
    if (file != nullptr) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

bool Put(std::FILE* file, const std::string& path, const std::string& line, std::string& error) {
    if (std::fputs((line + "\n").c_str(), file) >= 0 && platform::SyncToDisk(file)) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
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
    // A new CSV file starts with its header.
    if (csv_ != nullptr && std::fseek(csv_, 0, SEEK_END) == 0 && std::ftell(csv_) == 0)
        return Put(csv_, csvPath_, UnitLogCsvHeader(), error);
    return true;
}

bool UnitLog::Append(const UnitLogContext& context, const PartRecord& part, std::string& error) {
    if (json_ != nullptr) {
        nlohmann::ordered_json line;
        for (const Column& column : Columns())
            line[column.name] = column.value(context, part);
        if (!Put(json_, jsonPath_,
                 line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), error))
            return false;
    }
    return csv_ == nullptr || Put(csv_, csvPath_, UnitLogCsvRow(context, part), error);
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

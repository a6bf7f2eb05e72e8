#include "JsonReport.h"

#include <nlohmann/json.hpp>

#include "LogReport.h"

namespace velmar::cli {

namespace {

using json = nlohmann::ordered_json;

// Text that may come from a file or a bridge: bytes that are not UTF-8 are
// replaced rather than refused.
constexpr auto kReplace = json::error_handler_t::replace;

void PutIfSet(json& object, const char* key, const std::string& text) {
    if (!text.empty()) object[key] = text;
}

template <typename T> void PutIfSet(json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

json PartJson(const PartRecord& part) {
    json o;
    o["sequence"] = part.sequence;
    o["time"] = part.time;
    o["image_sha1"] = part.imageSha1;
    PutIfSet(o, "serial_number", part.serialNumber);
    o["result"] = part.result;
    o["differences"] = part.differences;
    PutIfSet(o, "first_difference", part.firstDifference);
    o["duration_ms"] = part.durationMs;
    o["link_faults"] = part.linkFaults;
    return o;
}

json ReportJson(const RunReport& r) {
    json o;
    o["command"] = r.command;
    PutIfSet(o, "device", r.device);
    PutIfSet(o, "job", r.jobName);
    PutIfSet(o, "job_toml", r.jobText);
    if (!r.programmerSerial.empty() || !r.programmerFirmware.empty())
        o["programmer"] = {{"serial", r.programmerSerial}, {"firmware", r.programmerFirmware}};
    if (!r.fileName.empty()) {
        json file = {{"name", r.fileName}};
        PutIfSet(file, "format", r.fileFormat);
        PutIfSet(file, "sha1", r.fileSha1);
        o["file"] = file;
    }
    if (r.rangeFirst && r.rangeLast) {
        o["range"] = {{"first", *r.rangeFirst}, {"last", *r.rangeLast}};
        PutIfSet(o["range"], "buffer_start", r.bufferStart);
    }
    o["result"] = r.result;
    o["exit_code"] = r.exitCode;
    json differences = {{"count", r.differences}, {"bits", r.differingBits}};
    PutIfSet(differences, "first", r.firstDifference);
    PutIfSet(differences, "last", r.lastDifference);
    differences["list"] = json::array();
    for (const DifferenceRecord& d : r.differenceList)
        differences["list"].push_back(
            {{"address", d.address}, {"expected", d.expected}, {"found", d.found}});
    o["differences"] = differences;
    if (!r.dataSha1.empty())
        o["data"] = {{"bytes", r.dataBytes}, {"crc32", r.dataCrc32}, {"sha1", r.dataSha1}};
    if (r.checksums) o["checksums"] = ChecksumsJson(*r.checksums);
    if (r.lineReport) o["report"] = LineReportJson(*r.lineReport);
    o["duration_ms"] = r.durationMs;
    o["link_faults"] = r.linkFaults;
    PutIfSet(o, "error", r.error);
    PutIfSet(o, "diagnosis", r.diagnosis);
    if (!r.bridges.empty() || r.command == "list") {
        o["bridges"] = json::array();
        for (const BridgeRecord& b : r.bridges) {
            json bridge = {
                {"index", b.index}, {"serial", b.serial}, {"description", b.description}};
            PutIfSet(bridge, "firmware", b.firmware);
            o["bridges"].push_back(bridge);
        }
    }
    if (r.production || !r.parts.empty()) {
        o["parts"] = json::array();
        for (const PartRecord& part : r.parts)
            o["parts"].push_back(PartJson(part));
        const RunSummary s = Summarize(r.parts);
        o["summary"] = {{"parts", s.parts},
                        {"passed", s.passed},
                        {"failed", s.failed},
                        {"yield", s.yield},
                        {"ms_per_part", s.msPerPart}};
    }
    return o;
}

} // namespace

std::string ReportJsonText(const RunReport& report) {
    return ReportJson(report).dump(-1, ' ', false, kReplace);
}

std::string PartJsonText(const PartRecord& part) {
    return PartJson(part).dump(-1, ' ', false, kReplace);
}

bool PrintReportJson(std::FILE* out, const RunReport& report) {
    const std::string text = ReportJsonText(report) + "\n";
    return std::fputs(text.c_str(), out) >= 0 && std::fflush(out) == 0 && !std::ferror(out);
}

} // namespace velmar::cli

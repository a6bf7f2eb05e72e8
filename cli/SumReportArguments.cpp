#include "SumReportArguments.h"

#include <cmath>
#include <cstdlib>
#include <tuple>

#include "Arguments.h"
#include "CommandOptions.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "devices/DeviceCatalogue.h"

namespace velmar::cli {

namespace {

// A positive decimal number (digits, at most one point) and what follows it.
std::optional<double> LeadingNumber(const std::string& text, std::string& unit) {
    std::size_t end = 0;
    bool point = false, digits = false;
    for (; end < text.size(); ++end) {
        if (text[end] == '.' && !point)
            point = true;
        else if (text[end] >= '0' && text[end] <= '9')
            digits = true;
        else
            break;
    }
    if (!digits || end > 12) return std::nullopt;
    unit = text.substr(end);
    const double value = std::strtod(text.substr(0, end).c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

// The first option given that `taker` does not take.
const CommandOption* FirstNotTaken(const TypedOptions& s, unsigned taker) {
    for (const CommandOption* o : s.given)
        if (!(o->takers & taker)) return o;
    return nullptr;
}

} // namespace

std::string AddExclude(SumArguments& sum, const std::string& value) {
    AddressSpan span;
    std::string problem = ParseExclude(value, span);
    if (problem.empty()) sum.excluded.push_back(span);
    return problem;
}

std::string SetTarget(LogReportArguments& report, const std::string& value) {
    std::string unit;
    const std::optional<double> n = LeadingNumber(value, unit);
    const double per = unit == "/h" || unit.empty() ? 1
                       : unit == "/min"             ? 60
                       : unit == "/s"               ? 3600
                                                    : 0;
    if (!n || *n <= 0 || per == 0)
        return "--target takes parts per hour, such as 600/h (or N/min, N/s), not " + value;
    report.targetPerHour = *n * per;
    return "";
}

std::string SetHandling(LogReportArguments& report, const std::string& value) {
    std::string unit;
    const std::optional<double> n = LeadingNumber(value, unit);
    const double scale = unit == "s" || unit.empty() ? 1 : unit == "ms" ? 0.001 : 0;
    if (!n || scale == 0 || *n * scale > 86400)
        return "--handling takes the seconds per part, such as 8s or 800ms, not " + value;
    report.handlingSeconds = *n * scale;
    return "";
}

void CheckSumLine(const std::vector<std::string>& words, const TypedOptions& s,
                  ParseResult& result) {
    Arguments& a = s.a;
    std::string& error = result.error;
    a.command = Command::Sum;
    if (const CommandOption* o = FirstNotTaken(s, kSum)) {
        error = std::string("sum takes no ") + o->name + "; it reads only FILE";
        return;
    }
    if (words.size() != 2 || words[1].empty()) {
        error = "sum needs exactly one FILE";
        return;
    }
    a.dataPath = words[1];
    if (s.Given("--device")) {
        const std::optional<int> row = FindCatalogueRow(a.deviceName);
        if (!row) {
            error = "unknown device " + a.deviceName;
            return;
        }
        a.catalogueRow = *row;
    }
    if (!TakeFormat(s.Given("--format"), s.format, a, error)) return;
    if (s.Given("--fill")) {
        a.fill = ParseFill(s.fill);
        if (!a.fill) {
            error = FillProblem(s.fill);
            return;
        }
    }
    for (const auto& [name, text, value] :
         {std::tuple{"--buffer-start", &s.bufferStart, &a.bufferStart},
          std::tuple{"--offset", &s.hexOffset, &a.hexOffset}}) {
        if (!s.Given(name)) continue;
        *value = ParseAddress(*text);
        if (!*value || **value >= kBufferSize) {
            error = std::string(name) + " takes a hexadecimal address from 0 to FFFF, not " + *text;
            return;
        }
    }
    // The device's bytes must all have their buffer position.
    if (a.catalogueRow >= 0 && a.bufferStart &&
        *a.bufferStart + DeviceCatalogue()[static_cast<std::size_t>(a.catalogueRow)].DeviceEnd >=
            kBufferSize)
        error = "--buffer-start leaves no room for the " + a.deviceName + " in the 64 KiB buffer";
}

void CheckReportLine(const std::vector<std::string>& words, const TypedOptions& s,
                     ParseResult& result) {
    Arguments& a = s.a;
    std::string& error = result.error;
    a.command = Command::Report;
    if (const CommandOption* o = FirstNotTaken(s, kReportLogs)) {
        error = std::string("report takes no ") + o->name + "; it reads only logs";
        return;
    }
    if (words.size() < 2) {
        error = "report needs one or more LOG.jsonl files";
        return;
    }
    a.logReport.logs.assign(words.begin() + 1, words.end());
    if (a.logReport.targetPerHour.has_value() != a.logReport.handlingSeconds.has_value())
        error = "--target and --handling go together";
}

} // namespace velmar::cli

#include "LogReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

namespace velmar::cli {

namespace {

using json = nlohmann::ordered_json;

// Days from 1970-01-01 to the date, proleptic Gregorian.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool Digits(const std::string& text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::string Cause(const LoggedPart& part, const std::string& diagnosis) {
    if (part.result == "ok") return "";
    if (!diagnosis.empty()) return diagnosis;
    return part.result == "stopped" ? "stopped" : "unknown";
}

// A column as text: a string as it is, a number in decimal.
std::optional<std::string> TextColumn(const nlohmann::json& line, const char* key) {
    const auto it = line.find(key);
    if (it == line.end() || it->is_null()) return std::nullopt;
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number_integer()) return std::to_string(it->get<long long>());
    return std::nullopt;
}

// The parts of one log line; the problem, or "".
std::string PartOfLine(const std::string& text, LoggedPart& part) {
    const nlohmann::json line = nlohmann::json::parse(text, nullptr, false);
    if (line.is_discarded()) return "not JSON (a torn or malformed line)";
    if (!line.is_object()) return "not a part's record";
    const auto result = line.find("result");
    if (result == line.end() || !result->is_string()) return "no result";
    part.result = result->get<std::string>();
    if (part.result != "ok" && part.result != "failed" && part.result != "stopped")
        return "result " + part.result + " is none of ok, failed, stopped";
    const auto time = line.find("time");
    const std::optional<std::int64_t> start = time != line.end() && time->is_string()
                                                  ? ParseUtcTime(time->get<std::string>())
                                                  : std::nullopt;
    if (!start) return "no time of the form 2026-01-31T12:00:00Z";
    part.startMs = *start;
    const auto duration = line.find("duration_ms");
    if (duration == line.end() || !duration->is_number_integer() || duration->get<long long>() < 0)
        return "no duration_ms";
    part.durationMs = static_cast<long>(duration->get<long long>());
    const auto sequence = line.find("sequence");
    if (sequence == line.end() || !sequence->is_number_integer()) return "no sequence";
    part.sequence = static_cast<long>(sequence->get<long long>());
    const std::optional<std::string> site = TextColumn(line, "site");
    const std::optional<std::string> programmer = TextColumn(line, "programmer");
    if (!site && !programmer) return "neither site nor programmer";
    part.site = site ? *site : *programmer;
    if (part.site.empty()) part.site = "(unnamed)";
    part.cause = Cause(part, TextColumn(line, "diagnosis").value_or(""));
    return "";
}

std::vector<CauseCount> CountCauses(const std::vector<const LoggedPart*>& parts) {
    std::map<std::string, long> counts;
    for (const LoggedPart* part : parts)
        if (part->result != "ok") ++counts[part->cause];
    std::vector<CauseCount> causes;
    for (const auto& [cause, n] : counts)
        causes.push_back({cause, n});
    std::stable_sort(causes.begin(), causes.end(),
                     [](const CauseCount& a, const CauseCount& b) { return a.parts > b.parts; });
    return causes;
}

struct Interval {
    std::int64_t from = 0, to = 0;
};

// The figures of one site's parts, sorted by start; its runs' spans go to
// `runs`.
// Failed, yield and the time figures, once parts, passed and the parts'
// durations are counted.
void CompleteFigures(Figures& f, const std::vector<long>& durations) {
    f.failed = f.parts - f.passed;
    if (f.parts == 0) return;
    f.yield = static_cast<double>(f.passed) / static_cast<double>(f.parts);
    f.medianMs = MedianOf(durations);
    f.p95Ms = PercentileOf(durations, 95);
    double total = 0;
    for (long d : durations)
        total += static_cast<double>(d);
    f.meanMs = total / static_cast<double>(f.parts);
}

Figures SiteFigures(const std::vector<const LoggedPart*>& parts, std::vector<Interval>& runs) {
    Figures f;
    std::vector<long> durations;
    const LoggedPart* previous = nullptr;
    for (const LoggedPart* part : parts) {
        ++f.parts;
        f.passed += part->result == "ok";
        durations.push_back(part->durationMs);
        const std::int64_t end = part->startMs + part->durationMs;
        if (previous == nullptr || part->sequence <= previous->sequence) {
            runs.push_back({part->startMs, end});
            ++f.runs;
        } else {
            // The socket stood empty or full and idle: the operator's time.
            const std::int64_t gap = part->startMs - (previous->startMs + previous->durationMs);
            f.waitMs += static_cast<long>(std::max<std::int64_t>(gap, 0));
            runs.back().to = std::max(runs.back().to, end);
        }
        previous = part;
    }
    CompleteFigures(f, durations);
    return f;
}

// The time covered by any of `runs`.
std::int64_t UnionLength(std::vector<Interval> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Interval& a, const Interval& b) { return a.from < b.from; });
    std::int64_t total = 0, from = 0, to = 0;
    bool open = false;
    for (const Interval& run : runs) {
        if (open && run.from <= to) {
            to = std::max(to, run.to);
            continue;
        }
        if (open) total += to - from;
        from = run.from;
        to = run.to;
        open = true;
    }
    if (open) total += to - from;
    return total;
}

double PerHour(long parts, std::int64_t ms) {
    return ms > 0 ? static_cast<double>(parts) * 3600000.0 / static_cast<double>(ms) : 0;
}

SitePlan Plan(const std::vector<long>& durations, double meanMs, double target, double handling) {
    SitePlan plan;
    plan.targetPerHour = target;
    plan.handlingSeconds = handling;
    plan.operatorPerHour = handling > 0 ? 3600 / handling : 0;
    // A cycle never counts as shorter than a millisecond.
    const auto rate = [&](int n, double partMs) {
        return n * 3600.0 / std::max(handling + partMs / 1000.0, 0.001);
    };
    std::vector<PlanRow> rows;
    for (int n = 1; n <= kMaxPlannedSites; ++n) {
        const PlanRow row{n, rate(n, meanMs), rate(n, ExpectedMaximum(durations, n))};
        if (!plan.roundRobinSites && row.roundRobinPerHour >= target) plan.roundRobinSites = n;
        if (!plan.gangSites && row.gangPerHour >= target) plan.gangSites = n;
        rows.push_back(row);
        if (plan.roundRobinSites && plan.gangSites) break;
    }
    // Enough rows to show both answers; all of them when one is out of reach.
    plan.rows = rows;
    return plan;
}

std::string Hours(double perHour) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f/h", perHour);
    return text;
}

std::string Seconds(long ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string Percent(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", share * 100.0);
    return text;
}

std::string Duration(long ms) {
    const long seconds = (ms + 500) / 1000;
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%ld h %02ld min", seconds / 3600, seconds / 60 % 60);
    else if (seconds >= 60)
        std::snprintf(text, sizeof text, "%ld min %02ld s", seconds / 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%ld s", seconds);
    return text;
}

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string FiguresRow(const std::string& name, const Figures& f, std::size_t width) {
    return Padded(name, width) + Padded(std::to_string(f.parts), 7) +
           Padded(std::to_string(f.passed), 7) + Padded(std::to_string(f.failed), 7) +
           Padded(Percent(f.yield), 8) + Padded(Seconds(f.medianMs), 9) +
           Padded(Seconds(f.p95Ms), 9) + Padded(Hours(f.unitsPerHour), 9) + Duration(f.waitMs) +
           "\n";
}

json FiguresJson(const Figures& f) {
    return {{"parts", f.parts},        {"passed", f.passed},
            {"failed", f.failed},      {"yield", f.yield},
            {"median_ms", f.medianMs}, {"p95_ms", f.p95Ms},
            {"mean_ms", f.meanMs},     {"units_per_hour", f.unitsPerHour},
            {"run_ms", f.runMs},       {"wait_ms", f.waitMs},
            {"runs", f.runs}};
}

json CausesJson(const std::vector<CauseCount>& causes) {
    json list = json::array();
    for (const CauseCount& c : causes)
        list.push_back({{"cause", c.cause}, {"parts", c.parts}});
    return list;
}

} // namespace

std::optional<std::int64_t> ParseUtcTime(const std::string& text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' ||
        !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) ||
        text[10] != 'T' || !Digits(text, 11, 2, hour) || text[13] != ':' ||
        !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    std::size_t at = 19;
    long ms = 0;
    if (text[at] == '.') {
        long scale = 100;
        ++at;
        const std::size_t digits = at;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
            ms += (text[at] - '0') * scale;
        if (at == digits) return std::nullopt;
    }
    if (at + 1 != text.size() || text[at] != 'Z') return std::nullopt;
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return ((days * 24 + hour) * 60 + minute) * 60000 + std::int64_t{second} * 1000 + ms;
}

LoggedPart LoggedPartOf(const std::string& site, const PartRecord& record,
                        const std::string& diagnosis) {
    LoggedPart part;
    part.site = site;
    part.result = record.result;
    part.cause = Cause(part, diagnosis);
    part.startMs = ParseUtcTime(record.time).value_or(0);
    part.durationMs = record.durationMs;
    part.sequence = record.sequence;
    return part;
}

void ReadLogText(const std::string& name, const std::string& text, std::vector<LoggedPart>& parts,
                 std::vector<SkippedLine>& skipped) {
    std::size_t at = 0;
    long number = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        const bool torn = end == std::string::npos; // the last line, never finished
        if (torn) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        LoggedPart part;
        const std::string problem =
            line.find_first_not_of(" \t") == std::string::npos ? "empty" : PartOfLine(line, part);
        if (problem.empty())
            parts.push_back(part);
        else
            skipped.push_back(
                {name, number, torn ? problem + ", the log's last line unfinished" : problem});
    }
}

long MedianOf(std::vector<long> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    // Even counts: the mean of the two middle values, rounded down.
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long PercentileOf(std::vector<long> values, int percent) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank: the smallest value at or above `percent` of them.
    const std::size_t rank = (values.size() * static_cast<std::size_t>(percent) + 99) / 100;
    return values[std::max<std::size_t>(rank, 1) - 1];
}

double ExpectedMaximum(std::vector<long> values, int draws) {
    if (values.empty() || draws < 1) return 0;
    std::sort(values.begin(), values.end());
    // P(max <= i-th smallest) = (i/n)^draws; each value weighs the step it adds.
    const double n = static_cast<double>(values.size());
    double expected = 0, below = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double upTo = std::pow(static_cast<double>(i + 1) / n, draws);
        expected += static_cast<double>(values[i]) * (upTo - below);
        below = upTo;
    }
    return expected;
}

LineReport MakeLineReport(std::vector<LoggedPart> parts, std::optional<double> targetPerHour,
                          std::optional<double> handlingSeconds) {
    LineReport report;
    // By start within each site; parts logged in the same second keep their
    // order in the logs.
    std::stable_sort(parts.begin(), parts.end(), [](const LoggedPart& a, const LoggedPart& b) {
        return a.startMs < b.startMs;
    });
    std::map<std::string, std::vector<const LoggedPart*>> bySite;
    std::vector<const LoggedPart*> all;
    for (const LoggedPart& part : parts) {
        bySite[part.site].push_back(&part);
        all.push_back(&part);
    }
    std::vector<Interval> runs;
    std::vector<long> durations;
    for (const auto& [site, siteParts] : bySite) {
        std::vector<Interval> siteRuns;
        SiteReport s{site, SiteFigures(siteParts, siteRuns), CountCauses(siteParts)};
        s.figures.runMs = static_cast<long>(UnionLength(siteRuns));
        s.figures.unitsPerHour = PerHour(s.figures.parts, s.figures.runMs);
        report.line.waitMs += s.figures.waitMs;
        report.line.runs += s.figures.runs;
        runs.insert(runs.end(), siteRuns.begin(), siteRuns.end());
        report.sites.push_back(s);
    }
    for (const LoggedPart* part : all) {
        ++report.line.parts;
        report.line.passed += part->result == "ok";
        durations.push_back(part->durationMs);
    }
    Figures& line = report.line;
    CompleteFigures(line, durations);
    // The line's rate: its parts over the time any site was running.
    line.runMs = static_cast<long>(UnionLength(runs));
    line.unitsPerHour = PerHour(line.parts, line.runMs);
    report.causes = CountCauses(all);
    if (targetPerHour && handlingSeconds && line.parts > 0)
        report.plan = Plan(durations, line.meanMs, *targetPerHour, *handlingSeconds);
    return report;
}

std::string SkippedLineText(const SkippedLine& s) {
    return s.file + ":" + std::to_string(s.line) + ": " + s.reason + "; line skipped";
}

std::string LineReportText(const LineReport& r) {
    std::size_t width = 6;
    for (const SiteReport& s : r.sites)
        width = std::max(width, s.site.size() + 2);
    std::string text = Padded("site", width) + "parts  passed failed yield   median   p95      " +
                       "units/h  waited\n";
    for (const SiteReport& s : r.sites)
        text += FiguresRow(s.site, s.figures, width);
    text += FiguresRow("line", r.line, width);
    if (!r.causes.empty()) {
        text += "failures by cause:\n";
        for (const CauseCount& c : r.causes) {
            std::string where;
            for (const SiteReport& s : r.sites)
                for (const CauseCount& sc : s.causes)
                    if (sc.cause == c.cause)
                        where +=
                            (where.empty() ? "" : ", ") + s.site + " " + std::to_string(sc.parts);
            text += "  " + std::to_string(c.parts) + "  " + c.cause + " (" + where + ")\n";
        }
    }
    if (!r.plan) return text;
    const SitePlan& p = *r.plan;
    char head[160];
    std::snprintf(head, sizeof head, "for %s at %.1f s handling per part:\n",
                  Hours(p.targetPerHour).c_str(), p.handlingSeconds);
    text += head;
    text += "  sites  round-robin  gang\n";
    for (const PlanRow& row : p.rows) {
        // Past a dozen sites only the rows of the answers.
        if (row.sites > 12 && row.sites != p.roundRobinSites && row.sites != p.gangSites &&
            row.sites != static_cast<int>(p.rows.size()))
            continue;
        char line[96];
        std::snprintf(line, sizeof line, "  %-5d  %-11s  %s\n", row.sites,
                      Hours(row.roundRobinPerHour).c_str(), Hours(row.gangPerHour).c_str());
        text += line;
    }
    const auto answer = [](const std::optional<int>& n) {
        return n ? std::to_string(*n) + (*n == 1 ? " site" : " sites")
                 : "more than " + std::to_string(kMaxPlannedSites) + " sites";
    };
    text += "  " + Hours(p.targetPerHour) + " needs " + answer(p.roundRobinSites) +
            " round-robin, " + answer(p.gangSites) + " in a lock-step gang\n";
    if (p.operatorPerHour > 0 && p.operatorPerHour < p.targetPerHour)
        text += "  one operator handles at most " + Hours(p.operatorPerHour) +
                " at this handling time: the target needs more hands or a handler\n";
    return text;
}

nlohmann::ordered_json LineReportJson(const LineReport& r) {
    json o;
    o["sites"] = json::array();
    for (const SiteReport& s : r.sites) {
        json site = {{"site", s.site}};
        site.update(FiguresJson(s.figures));
        site["causes"] = CausesJson(s.causes);
        o["sites"].push_back(site);
    }
    o["line"] = FiguresJson(r.line);
    o["causes"] = CausesJson(r.causes);
    if (r.plan) {
        const SitePlan& p = *r.plan;
        json plan = {{"target_per_hour", p.targetPerHour},
                     {"handling_s", p.handlingSeconds},
                     {"round_robin_sites", p.roundRobinSites ? json(*p.roundRobinSites) : json()},
                     {"gang_sites", p.gangSites ? json(*p.gangSites) : json()},
                     {"operator_per_hour", p.operatorPerHour}};
        plan["rows"] = json::array();
        for (const PlanRow& row : p.rows)
            plan["rows"].push_back({{"sites", row.sites},
                                    {"round_robin_per_hour", row.roundRobinPerHour},
                                    {"gang_per_hour", row.gangPerHour}});
        o["plan"] = plan;
    }
    o["skipped"] = json::array();
    for (const SkippedLine& s : r.skipped)
        o["skipped"].push_back({{"file", s.file}, {"line", s.line}, {"reason", s.reason}});
    return o;
}

} // namespace velmar::cli

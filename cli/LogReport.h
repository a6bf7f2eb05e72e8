#pragma once
// The job report: parts, passed and failed per site and per failure cause,
// yield, time per part, units per hour and the time sites stood waiting for
// the operator, from per-part logs (several stations and days together) or
// from a run's own parts; and, given a target rate and a handling time, how
// many sites reach it round-robin and in a lock-step gang.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "RunReport.h"

namespace velmar::cli {

// One part as the report needs it.
struct LoggedPart {
    std::string site;         // the log's site column, else the programmer's serial
    std::string result;       // ok, failed, stopped
    std::string cause;        // failed or stopped: the diagnosis, else "stopped" or "unknown"
    std::int64_t startMs = 0; // UTC milliseconds since 1970
    long durationMs = 0;
    long sequence = 0; // a run's parts count from 1; a lower or equal one starts a new run
};

// A run's own part as its log line holds it, at `site`; `diagnosis` is the
// cause the panel named for it, if any.
LoggedPart LoggedPartOf(const std::string& site, const PartRecord& part,
                        const std::string& diagnosis = {});

// A log line skipped: where and why.
struct SkippedLine {
    std::string file;
    long line = 0;
    std::string reason;
};

// The parts of one log's text, in file order; a line that is not a part's
// record (torn, malformed, missing a column) is skipped and noted.
void ReadLogText(const std::string& name, const std::string& text, std::vector<LoggedPart>& parts,
                 std::vector<SkippedLine>& skipped);

// "2026-12-08T18:55:17Z" (a fraction of seconds allowed) in UTC
// milliseconds since 1970; none when malformed.
std::optional<std::int64_t> ParseUtcTime(const std::string& text);

// What a run of many parts measures.
struct Figures {
    long parts = 0, passed = 0, failed = 0; // failed includes stopped parts
    double yield = 0;                       // passed / parts
    long medianMs = 0, p95Ms = 0;           // time per part
    double meanMs = 0;
    double unitsPerHour = 0; // parts over the time the runs lasted
    long runMs = 0;          // that time
    long waitMs = 0;         // between a part's end and the next part's start
    long runs = 0;
};

struct CauseCount {
    std::string cause;
    long parts = 0;
};

struct SiteReport {
    std::string site;
    Figures figures;
    std::vector<CauseCount> causes; // most frequent first
};

// Sites needed for a target rate: each site's cycle round-robin is the
// handling plus its own part's time (the mean); a gang's cycle is the
// handling plus the slowest of its parts (the expected maximum of N draws
// from the measured times).
struct PlanRow {
    int sites = 0;
    double roundRobinPerHour = 0, gangPerHour = 0;
};

struct SitePlan {
    double targetPerHour = 0, handlingSeconds = 0;
    std::optional<int> roundRobinSites, gangSites; // none: not within kMaxPlannedSites
    std::vector<PlanRow> rows;                     // 1 up to the larger of the two
    double operatorPerHour = 0;                    // one operator's handling alone
};

constexpr int kMaxPlannedSites = 64;

struct LineReport {
    std::vector<SiteReport> sites; // by name
    Figures line;
    std::vector<CauseCount> causes;
    std::optional<SitePlan> plan;
    std::vector<SkippedLine> skipped;
};

LineReport MakeLineReport(std::vector<LoggedPart> parts, std::optional<double> targetPerHour = {},
                          std::optional<double> handlingSeconds = {});

// The median and the 95th percentile (nearest rank) of `values`.
long MedianOf(std::vector<long> values);
long PercentileOf(std::vector<long> values, int percent);
// The expected largest of `draws` values drawn from `values` (with replacement).
double ExpectedMaximum(std::vector<long> values, int draws);

std::string LineReportText(const LineReport& report);
nlohmann::ordered_json LineReportJson(const LineReport& report);

// "a.jsonl:7: ... skipped": the warning for a skipped line.
std::string SkippedLineText(const SkippedLine& skipped);

} // namespace velmar::cli

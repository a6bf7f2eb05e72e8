// The label checksums against known values and the window's own sum, and the
// job report's figures against small logs computed by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/ImageChecksums.h"
#include "cli/LogReport.h"
#include "cli/RunReport.h"

using namespace velmar;
using namespace velmar::cli;

namespace {

std::vector<std::uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

} // namespace

TEST(ImageChecksums, KnownValuesWordOrderAndTheWindowsSum) {
    const std::vector<std::uint8_t> check = Text("123456789");
    const ChecksumSet s = ChecksumsOf(check);
    EXPECT_EQ(s.crc16, 0x29B1);      // CRC-16/CCITT-FALSE's check value
    EXPECT_EQ(s.crc32, 0xCBF43926u); // zlib's
    EXPECT_EQ(s.sha1, "f7c3bc1d808e04732adf679965ccc34ca7ae3441");
    EXPECT_EQ(s.byteSum, 0x01DD);
    // Little-endian words 3231 3433 3635 3837, and the odd 39 alone as 0039.
    EXPECT_EQ(s.wordSum, 0xD509);
    EXPECT_EQ(WordSum16(check.data(), 8), 0xD4D0);
    const std::vector<std::uint8_t> high = {0x00, 0x01};
    EXPECT_EQ(WordSum16(high.data(), 2), 0x0100); // not 0x0001: the second byte is high
    EXPECT_EQ(ChecksumsOf({}).crc16, 0xFFFF);

    // The byte sum is the window's Check Sum over the same range: the
    // window's own examples, and its wrap past 16 bits.
    DataBuffer buffer;
    buffer.Fill(0xFF);
    AddressWindow w;
    w.DeviceEnd = 0x3FF;
    w.DeviceLimit = 0x3FF;
    buffer[1] = 1;
    buffer[2] = 2;
    buffer[0] = 0;
    ImageChecksums sums = ChecksumsOfWindow(buffer, w);
    EXPECT_EQ(sums.all.byteSum, 0xF906);
    EXPECT_EQ(sums.all.byteSum, ComputeChecksumValue(buffer, w));
    EXPECT_FALSE(sums.windowByteSum);
    w.DeviceEnd = 0xFFFF;
    w.DeviceLimit = 0xFFFF;
    buffer.Fill(0x01);
    EXPECT_EQ(ChecksumsOfWindow(buffer, w).all.byteSum, 0); // 65,536 ones wrap to 0

    // Shifted by a buffer start the device's bytes are summed; the window's
    // button still sums positions from DeviceStart, and says so.
    buffer.Fill(0);
    w.DeviceEnd = 0xFF;
    w.BufferStart = 0x100;
    for (int p = 0x100; p <= 0x1FF; ++p)
        buffer[p] = 2;
    buffer[0x10] = 7;
    sums = ChecksumsOfWindow(buffer, w);
    EXPECT_EQ(sums.first, 0);
    EXPECT_EQ(sums.last, 0xFF);
    EXPECT_EQ(sums.all.byteSum, 0x200);
    ASSERT_TRUE(sums.windowByteSum);
    EXPECT_EQ(*sums.windowByteSum, 7);
    EXPECT_NE(ChecksumText(sums).find("CheckSum=0007"), std::string::npos);
}

TEST(ImageChecksums, ExcludedBytesLeaveTheRestAsOneStream) {
    std::vector<std::uint8_t> image(0x100);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + 5);
    // Addresses 0x1000-0x10FF; the serial number at 10F0-10F3 and a byte at the start.
    const std::vector<AddressSpan> excluded = {{0x10F0, 0x10F3}, {0x1000, 0x1000}};
    const ImageChecksums sums = ChecksumsOfRange(0x1000, image, excluded);
    EXPECT_EQ(sums.first, 0x1000);
    EXPECT_EQ(sums.last, 0x10FF);
    std::vector<std::uint8_t> kept; // all but 00 and F0-F3, in order
    for (std::size_t i = 1; i < image.size(); ++i)
        if (i < 0xF0 || i > 0xF3) kept.push_back(image[i]);
    ASSERT_TRUE(sums.less);
    EXPECT_EQ(sums.less->bytes, 251);
    const ChecksumSet expected = ChecksumsOf(kept);
    EXPECT_EQ(sums.less->byteSum, expected.byteSum);
    EXPECT_EQ(sums.less->wordSum, expected.wordSum);
    EXPECT_EQ(sums.less->crc16, expected.crc16);
    EXPECT_EQ(sums.less->crc32, expected.crc32);
    EXPECT_EQ(sums.less->sha1, expected.sha1);
    EXPECT_NE(sums.less->sha1, sums.all.sha1);
    // Two images differing only in the excluded bytes share the second set.
    std::vector<std::uint8_t> other = image;
    other[0xF1] ^= 0x5A;
    other[0] = 0;
    const ImageChecksums again = ChecksumsOfRange(0x1000, other, excluded);
    EXPECT_EQ(again.less->sha1, sums.less->sha1);
    EXPECT_NE(again.all.sha1, sums.all.sha1);
    EXPECT_FALSE(ChecksumsOfRange(0, image, {}).less);

    AddressSpan span;
    EXPECT_EQ(ParseExclude("0FF0-0FF1", span), "");
    EXPECT_EQ(span.first, 0xFF0);
    EXPECT_EQ(span.last, 0xFF1);
    EXPECT_EQ(ParseExclude("0x10-0x10", span), "");
    for (const std::string bad : {"0FF1-0FF0", "0FF0", "-5", "5-", "G-H", "0-100000", ""})
        EXPECT_NE(ParseExclude(bad, span), "") << bad;
    EXPECT_EQ(ExcludeProblem(excluded, 0x1000, 0x10FF), "");
    EXPECT_EQ(ExcludeProblem({{0x10FF, 0x1100}}, 0x1000, 0x10FF),
              "--exclude 10FF-1100 reaches outside the range summed, 1000-10FF");
}

namespace {

// Two sites, computed by hand:
// BP123001 (no site column): one run, 10 12 11 30 s, gaps 2 6 4 s, from
// 10:00:00 to 10:01:15; 3 passed, 1 failed with a diagnosis.
// site 2: a run of 20 20 s (gap 5 s, 10:00:00 to 10:00:45, the second
// stopped) and the next day a run of one failed 20 s part with no diagnosis.
const std::string kStation1 =
    R"({"time":"2026-12-08T10:00:00Z","host":"a","programmer":"BP123001","result":"ok","duration_ms":10000,"sequence":1}
{"time":"2026-12-08T10:00:12Z","host":"a","programmer":"BP123001","result":"ok","duration_ms":12000,"sequence":2}
{"time":"2026-12-08T10:00:30Z","host":"a","programmer":"BP123001","result":"failed","duration_ms":11000,"sequence":3,"diagnosis":"the part does not take a 0 at 0010"}
{"time":"2026-12-08T10:00:45Z","host":"a","programmer":"BP123001","result":"ok","duration_ms":30000,"sequence":4}
)";
const std::string kStation2 =
    R"({"time":"2026-12-08T10:00:00Z","host":"b","programmer":"BP123009","site":2,"result":"ok","duration_ms":20000,"sequence":1}
{"time":"2026-12-08T10:00:25Z","host":"b","programmer":"BP123009","site":2,"result":"stopped","duration_ms":20000,"sequence":2}
not a record
{"time":"2026-12-08T10:01:00Z","host":"b","programmer":"BP123009","site":2,"result":"ok","sequence":3}

{"time":"2026-12-09T08:00:00Z","host":"b","programmer":"BP123009","site":2,"result":"failed","duration_ms":20000,"sequence":1}
{"time":"2026-12-09T08:00:30Z","host":"b","programmer":"BP123009","site":2,"res)";

} // namespace

TEST(LogReport, FiguresOfTwoStationsOverTwoDays) {
    std::vector<LoggedPart> parts;
    std::vector<SkippedLine> skipped;
    ReadLogText("one.jsonl", kStation1, parts, skipped);
    ReadLogText("two.jsonl", kStation2, parts, skipped);
    // The malformed line, the one without a duration, the empty one and the
    // torn last line: each named by file and line.
    ASSERT_EQ(skipped.size(), 4u);
    EXPECT_EQ(SkippedLineText(skipped[0]),
              "two.jsonl:3: not JSON (a torn or malformed line); line skipped");
    EXPECT_EQ(skipped[1].line, 4);
    EXPECT_EQ(skipped[1].reason, "no duration_ms");
    EXPECT_EQ(skipped[2].line, 5);
    EXPECT_EQ(skipped[3].line, 7);
    EXPECT_NE(skipped[3].reason.find("unfinished"), std::string::npos);

    const LineReport r = MakeLineReport(parts, 600.0, 8.0);
    ASSERT_EQ(r.sites.size(), 2u);
    const Figures& a = r.sites[1].figures; // sorted by name: "2" first
    EXPECT_EQ(r.sites[1].site, "BP123001");
    EXPECT_EQ(a.parts, 4);
    EXPECT_EQ(a.passed, 3);
    EXPECT_EQ(a.failed, 1);
    EXPECT_DOUBLE_EQ(a.yield, 0.75);
    EXPECT_EQ(a.medianMs, 11500); // 10 11 | 12 30
    EXPECT_EQ(a.p95Ms, 30000);
    EXPECT_EQ(a.waitMs, 12000);
    EXPECT_EQ(a.runs, 1);
    EXPECT_EQ(a.runMs, 75000);
    EXPECT_DOUBLE_EQ(a.unitsPerHour, 4 * 3600.0 / 75);

    const Figures& b = r.sites[0].figures;
    EXPECT_EQ(r.sites[0].site, "2");
    EXPECT_EQ(b.parts, 3);
    EXPECT_EQ(b.passed, 1);
    EXPECT_EQ(b.runs, 2);
    EXPECT_EQ(b.waitMs, 5000); // not the night between the runs
    EXPECT_EQ(b.runMs, 65000);
    ASSERT_EQ(r.sites[0].causes.size(), 2u);

    // The line: 10 11 12 20 20 20 30 s; the runs cover 75 s + 20 s.
    EXPECT_EQ(r.line.parts, 7);
    EXPECT_EQ(r.line.passed, 4);
    EXPECT_EQ(r.line.failed, 3);
    EXPECT_DOUBLE_EQ(r.line.yield, 4.0 / 7);
    EXPECT_EQ(r.line.medianMs, 20000);
    EXPECT_EQ(r.line.p95Ms, 30000);
    EXPECT_EQ(r.line.runMs, 95000);
    EXPECT_DOUBLE_EQ(r.line.unitsPerHour, 7 * 3600.0 / 95);
    EXPECT_EQ(r.line.waitMs, 17000);
    ASSERT_EQ(r.causes.size(), 3u);
    // One part each: ties go by name.
    EXPECT_EQ(r.causes[0].cause, "stopped");
    EXPECT_EQ(r.causes[1].cause, "the part does not take a 0 at 0010");
    EXPECT_EQ(r.causes[2].cause, "unknown");

    // 600/h at 8 s handling: a site's cycle is 8 + 123/7 s round-robin
    // (140.8/h, 5 sites reach 703.9/h); a gang waits for its slowest part
    // (6 sites: 8 + 25.98 s, 635.6/h; 5 reach only 541.3/h).
    ASSERT_TRUE(r.plan);
    EXPECT_EQ(r.plan->roundRobinSites, 5);
    EXPECT_EQ(r.plan->gangSites, 6);
    ASSERT_EQ(r.plan->rows.size(), 6u);
    EXPECT_NEAR(r.plan->rows[0].roundRobinPerHour, 140.782, 0.001);
    EXPECT_NEAR(r.plan->rows[0].gangPerHour, 140.782, 0.001);
    EXPECT_NEAR(r.plan->rows[4].gangPerHour, 541.260, 0.001);
    EXPECT_NEAR(r.plan->rows[5].gangPerHour, 635.590, 0.001);
    EXPECT_DOUBLE_EQ(r.plan->operatorPerHour, 450);

    const std::string text = LineReportText(r);
    EXPECT_NE(text.find("600/h needs 5 sites round-robin, 6 sites in a lock-step gang"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("one operator handles at most 450/h"), std::string::npos);
}

TEST(LogReport, StatisticsAndTimes) {
    EXPECT_EQ(MedianOf({}), 0);
    EXPECT_EQ(MedianOf({5}), 5);
    EXPECT_EQ(MedianOf({9, 1, 5}), 5);
    EXPECT_EQ(MedianOf({4, 1, 3, 2}), 2); // (2 + 3) / 2, rounded down
    std::vector<long> hundred(100);
    for (std::size_t i = 0; i < hundred.size(); ++i)
        hundred[i] = static_cast<long>(100 - i); // 100 down to 1
    EXPECT_EQ(PercentileOf(hundred, 95), 95);
    EXPECT_EQ(PercentileOf({7, 3}, 95), 7);
    EXPECT_EQ(PercentileOf(std::vector<long>(19, 1), 95), 1);
    std::vector<long> twenty(20, 1);
    twenty.back() = 50;
    EXPECT_EQ(PercentileOf(twenty, 95), 1); // rank 19 of 20
    twenty[18] = 50;
    EXPECT_EQ(PercentileOf(twenty, 95), 50);
    // Two draws from {1, 2}: maxima 1, 2, 2, 2.
    EXPECT_DOUBLE_EQ(ExpectedMaximum({2, 1}, 2), 1.75);
    EXPECT_DOUBLE_EQ(ExpectedMaximum({3, 3, 3}, 5), 3);
    EXPECT_DOUBLE_EQ(ExpectedMaximum({4, 8}, 1), 6);

    EXPECT_EQ(ParseUtcTime("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(ParseUtcTime("2000-03-01T00:00:01Z"), 951868801000LL);
    EXPECT_EQ(ParseUtcTime("2026-12-08T10:00:00.25Z"), *ParseUtcTime("2026-12-08T10:00:00Z") + 250);
    for (const std::string bad :
         {"2026-12-08 10:00:00Z", "2026-12-08T10:00:00", "2026-13-08T10:00:00Z",
          "2026-12-08T10:00:00Zx", "2026-12-08T10:00:00.Z", ""})
        EXPECT_FALSE(ParseUtcTime(bad)) << bad;

    // A run's own parts: the same figures as from its log.
    PartRecord record;
    record.sequence = 1;
    record.time = "2026-12-08T10:00:00Z";
    record.result = "failed";
    record.durationMs = 4000;
    const LoggedPart part = LoggedPartOf("BP123001", record);
    EXPECT_EQ(part.cause, "unknown");
    EXPECT_EQ(LoggedPartOf("BP123001", record, "a blank part").cause, "a blank part");
    EXPECT_EQ(part.startMs, *ParseUtcTime(record.time));
    const LineReport r = MakeLineReport({part});
    EXPECT_EQ(r.line.parts, 1);
    EXPECT_EQ(r.line.failed, 1);
    EXPECT_EQ(r.line.runMs, 4000);
    EXPECT_DOUBLE_EQ(r.line.unitsPerHour, 900);
    EXPECT_FALSE(r.plan);

    // Out of reach: every row is computed, a dozen and the last are shown.
    const LineReport far = MakeLineReport({part}, 1e6, 1.0);
    ASSERT_TRUE(far.plan);
    EXPECT_FALSE(far.plan->roundRobinSites);
    EXPECT_EQ(far.plan->rows.size(), static_cast<std::size_t>(kMaxPlannedSites));
    EXPECT_NEAR(far.plan->rows.back().roundRobinPerHour, 64 * 3600.0 / 5, 1e-9);
    const std::string text = LineReportText(far);
    EXPECT_NE(text.find("\n  12     "), std::string::npos) << text;
    EXPECT_EQ(text.find("\n  13     "), std::string::npos) << text;
    EXPECT_NE(text.find("\n  64     46080/h"), std::string::npos) << text;
    EXPECT_NE(text.find("needs more than 64 sites round-robin, more than 64 sites in a lock-step"),
              std::string::npos);
}

TEST(LogReport, OptionValues) {
    LogReportArguments a;
    EXPECT_EQ(SetTarget(a, "600/h"), "");
    EXPECT_DOUBLE_EQ(*a.targetPerHour, 600);
    EXPECT_EQ(SetTarget(a, "12/min"), "");
    EXPECT_DOUBLE_EQ(*a.targetPerHour, 720);
    EXPECT_EQ(SetHandling(a, "8s"), "");
    EXPECT_DOUBLE_EQ(*a.handlingSeconds, 8);
    EXPECT_EQ(SetHandling(a, "1500ms"), "");
    EXPECT_DOUBLE_EQ(*a.handlingSeconds, 1.5);
    for (const std::string bad : {"0/h", "600/day", "/h", "-5/h", "1.2.3/h"})
        EXPECT_NE(SetTarget(a, bad), "") << bad;
    for (const std::string bad : {"8 s", "8min", "x", "100000s"})
        EXPECT_NE(SetHandling(a, bad), "") << bad;

    const auto parse = [](std::vector<std::string> line) { return ParseArguments(line); };
    ParseResult p =
        parse({"report", "--target", "600/h", "--handling", "8s", "a.jsonl", "b.jsonl"});
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.arguments.command, Command::Report);
    EXPECT_EQ(p.arguments.logReport.logs, (std::vector<std::string>{"a.jsonl", "b.jsonl"}));
    EXPECT_EQ(parse({"report", "--target", "600/h", "a.jsonl"}).error,
              "--target and --handling go together");
    EXPECT_EQ(parse({"report"}).error, "report needs one or more LOG.jsonl files");
    EXPECT_EQ(parse({"--virtual", "report", "a"}).error,
              "report takes no --virtual; it reads only logs");
    p = parse({"--device", "87C51H", "--exclude", "FF0-FF1", "--exclude", "0-0", "sum", "x.hex"});
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.arguments.command, Command::Sum);
    EXPECT_EQ(p.arguments.sum.excluded.size(), 2u);
    EXPECT_EQ(parse({"sum", "x.bin"}).arguments.catalogueRow, -1);
    EXPECT_EQ(parse({"--device", "87C51H", "--exclude", "0-1", "program", "x.bin"}).error,
              "unknown option --exclude");
    EXPECT_EQ(parse({"--handling", "8s", "sum", "x.bin"}).error, "unknown option --handling");
    EXPECT_TRUE(parse({"--report", "job", "run", "j.toml"}).arguments.logReport.atEndOfRun);
    for (const std::vector<std::string>& line :
         {std::vector<std::string>{"--report", "job", "check", "j.toml"},
          {"--report", "--device", "87C51H", "program", "x.bin"},
          {"--report", "report", "a.jsonl"}})
        EXPECT_EQ(parse(line).error, "--report goes with job run") << line[2];
    EXPECT_EQ(parse({"--max-diffs", "3", "sum", "x.bin"}).error,
              "sum takes no --max-diffs; it reads only FILE");
    EXPECT_EQ(parse({"--device", "87C58H", "--buffer-start", "9000", "sum", "x.bin"}).error,
              "--buffer-start leaves no room for the 87C58H in the 64 KiB buffer");
}

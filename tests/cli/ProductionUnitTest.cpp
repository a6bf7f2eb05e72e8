// The production line's parts that need no programmer: the command line's
// words, the serial-number encodings, the shared state file, the log's CSV
// and the result object against its schema.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "cli/Arguments.h"
#include "cli/JsonReport.h"
#include "cli/SerialState.h"
#include "cli/UnitLog.h"
#include "tests/support/JsonSchemaCheck.h"

using namespace velmar::cli;
using velmar::clitest::ScratchDir;

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", b);
        text += two;
    }
    return text;
}

SerialRule Rule(const std::string& text) {
    std::string error;
    const std::optional<SerialRule> rule = ParseSerialRule(text, error);
    EXPECT_TRUE(rule) << error;
    return rule.value_or(SerialRule{});
}

} // namespace

TEST(ProductionArguments, LinesAndTheirRefusals) {
    ParseResult r = ParseArguments({"--virtual", "--device", "89C51", "--json", "--repeat", "5",
                                    "--serial-number", "7FF0:bcd8:0x10:2", "--log=a.jsonl",
                                    "--lock-bits", "1,2", "program", "image.hex"});
    ASSERT_EQ(r.error, "");
    const ProductionArguments& p = r.arguments.production;
    EXPECT_TRUE(p.json);
    EXPECT_EQ(p.repeat, 5);
    ASSERT_TRUE(p.serialRule);
    EXPECT_EQ(SerialRuleText(*p.serialRule), "7FF0:bcd8:16:2");
    EXPECT_EQ(p.lockBits, (std::vector<int>{1, 2}));
    EXPECT_EQ(r.arguments.dataPath, "image.hex");

    // --repeat alone runs until q; the word after it is then the file.
    r = ParseArguments({"--device", "89C51", "--repeat", "program", "image.hex"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.production.repeat, 0);

    r = ParseArguments({"--virtual", "--serial", "BP123002", "job", "run", "line.toml"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.arguments.command, Command::Job);
    EXPECT_EQ(r.arguments.production.job, JobVerb::Run);
    EXPECT_EQ(r.arguments.production.jobPath, "line.toml");

    for (const std::vector<std::string>& line : std::vector<std::vector<std::string>>{
             {"--device", "89C51", "--repeat", "verify", "image.hex"},
             {"--device", "89C51", "--serial-number", "0FF0:le24:1", "program", "image.hex"},
             {"--device", "89C51", "--serial-number", "0FF0:bcd4:10000", "program", "i.hex"},
             {"--device", "89C51", "--serial-state", "s.json", "program", "image.hex"},
             {"--device", "87C51H", "--lock-bits", "4", "program", "image.hex"},
             {"--device", "8748", "--lock-bits", "1", "program", "image.hex"},
             {"--device", "89C51", "--json", "read", "-"},
             {"--device", "89C51", "job", "run", "line.toml"},
             {"job", "start", "line.toml"},
             {"--repeat", "probe"},
         })
        EXPECT_NE(ParseArguments(line).error, "") << line.back();
}

TEST(SerialNumber, EveryFormatWritesItsBytes) {
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Le16, 0x1234)), "3412");
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Be16, 0x1234)), "1234");
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Le32, 0x12345678)), "78563412");
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Be32, 0x12345678)), "12345678");
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Bcd4, 4021)), "4021");
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Bcd8, 9087)), "00009087");
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Ascii8, 4021)), "3030303034303231");
    EXPECT_EQ(Hex(EncodeSerial(SerialFormat::Hex8, 0xBEEF)), "3030303042454546");
    EXPECT_TRUE(SerialFits(SerialFormat::Bcd4, 9999));
    EXPECT_FALSE(SerialFits(SerialFormat::Bcd4, 10000));
    EXPECT_FALSE(SerialFits(SerialFormat::Le16, 0x10000));
    EXPECT_EQ(Rule("0x1F00:hex8:0x10").address, 0x1F00);
}

TEST(SerialState, NumbersAreNeverHandedOutTwice) {
    ScratchDir dir;
    const std::string path = dir.Path("line.serial.json");
    std::string error;
    {
        SerialState state;
        ASSERT_TRUE(state.Open(path, Rule("0000:le16:100:5"), error)) << error;
        EXPECT_EQ(state.Claim(false, error), 100u);
        EXPECT_EQ(state.Claim(false, error), 105u);
        ASSERT_TRUE(state.Settle(100, true, error));
        ASSERT_TRUE(state.Settle(105, false, error));
    }
    // A new run goes on where the file says, whatever START it is given;
    // the spoiled number comes back only when asked for.
    SerialState again;
    ASSERT_TRUE(again.Open(path, Rule("0000:le16:100:5"), error)) << error;
    EXPECT_EQ(again.Claim(false, error), 110u);
    EXPECT_EQ(again.Claim(true, error), 105u);
    EXPECT_EQ(again.Claim(true, error), 115u);

    // Threads stand in for processes: every claim is unique.
    std::vector<std::uint64_t> claimed[2];
    std::thread workers[2];
    for (int t = 0; t < 2; ++t)
        workers[t] = std::thread([&, t] {
            SerialState mine;
            std::string problem;
            if (!mine.Open(path, Rule("0000:le16:100:5"), problem)) return;
            for (int i = 0; i < 20; ++i)
                claimed[t].push_back(mine.Claim(false, problem).value_or(0));
        });
    for (auto& w : workers)
        w.join();
    std::vector<std::uint64_t> all = claimed[0];
    all.insert(all.end(), claimed[1].begin(), claimed[1].end());
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), 40u);
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.front(), 120u);

    std::ofstream(path) << "not json";
    EXPECT_FALSE(SerialState().Open(path, Rule("0000:le16:1"), error));
    // The numbers of a format run out rather than wrap round.
    SerialState full;
    ASSERT_TRUE(full.Open(dir.Path("full.json"), Rule("0000:bcd4:9999"), error));
    EXPECT_EQ(full.Claim(false, error), 9999u);
    EXPECT_FALSE(full.Claim(false, error));
}

TEST(UnitLog, CsvRowsMatchTheHeaderAndQuoteWhatNeedsIt) {
    UnitLogContext context{"host,1", "BP1", "89C51", "job \"a\""};
    PartRecord part;
    part.sequence = 3;
    part.time = "2026-01-02T03:04:05Z";
    part.imageSha1 = std::string(40, 'a');
    part.serialNumber = 77;
    part.result = "failed";
    part.differences = 2;
    part.firstDifference = 0x10;
    EXPECT_EQ(UnitLogCsvHeader(), "time,host,programmer,device,job,image_sha1,serial_number,"
                                  "result,differences,first_difference,duration_ms,link_faults,"
                                  "sequence");
    EXPECT_EQ(UnitLogCsvRow(context, part), "2026-01-02T03:04:05Z,\"host,1\",BP1,89C51,"
                                            "\"job \"\"a\"\"\"," +
                                                std::string(40, 'a') + ",77,failed,2,16,0,0,3");
    ScratchDir dir;
    UnitLog log;
    std::string error;
    EXPECT_FALSE(log.Open(dir.Path("no/such/dir.jsonl"), "", error));
    EXPECT_NE(error, "");
}

TEST(UnitLog, CsvCellsASpreadsheetWouldRunAreTextAndTheLogsHighestNumberIsFound) {
    PartRecord part;
    part.sequence = 1;
    part.time = "2026-01-02T03:04:05Z";
    part.serialNumber = 5;
    part.result = "ok";
    const std::vector<std::pair<std::string, std::string>> cells = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1", "'+1"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tcmd", "'\tcmd"},
        {"\rcmd", "\"'\rcmd\""},
        {"line-1", "line-1"},
    };
    for (const auto& [job, cell] : cells) {
        const std::string row = UnitLogCsvRow({"h", "BP1", "89C51", job}, part);
        EXPECT_NE(row.find(",89C51," + cell + ","), std::string::npos) << row;
    }

    ScratchDir dir;
    const std::string jsonl = dir.Path("line.jsonl");
    std::ofstream(jsonl) << R"({"job":"a","serial_number":7})" << "\n"
                         << R"({"job":"b","serial_number":900})" << "\n"
                         << R"({"job":"a","serial_number":12})" << "\n"
                         << R"({"job":"a","serial_number":null})" << "\n"
                         << R"({"job":null,"serial_number":40})" << "\n"
                         << R"({"job":"a","serial_num)";
    EXPECT_EQ(HighestLoggedSerial(jsonl, false, "a"), 12u);
    EXPECT_EQ(HighestLoggedSerial(jsonl, false, ""), 40u);
    EXPECT_EQ(HighestLoggedSerial(jsonl, false, "c"), std::nullopt);
    EXPECT_EQ(HighestLoggedSerial(dir.Path("none.jsonl"), false, "a"), std::nullopt);
    const std::string csv = dir.Path("line.csv");
    std::ofstream(csv) << UnitLogCsvHeader() << "\n"
                       << UnitLogCsvRow({"h", "BP1", "89C51", "=a,b"}, part) << "\n"
                       << UnitLogCsvRow({"h", "BP1", "89C51", "other"}, [&] {
                              PartRecord p = part;
                              p.serialNumber = 99;
                              return p;
                          }()) << "\n"
                       << "2026-01-0";
    EXPECT_EQ(HighestLoggedSerial(csv, true, "=a,b"), 5u);
    EXPECT_EQ(HighestLoggedSerial(csv, true, "other"), 99u);
}

TEST(SerialState, OneStateUnderTwoNamesIsOneStateAndAReplacedOneStopsTheRun) {
    ScratchDir dir;
    const std::string real = dir.Path("real.json");
    const std::string link = dir.Path("link.json");
    std::error_code made;
    std::filesystem::create_symlink("real.json", link, made); // relative, to a file not made yet
    if (made)
        GTEST_SKIP() << "symbolic links: this system cannot make one here (" << made.message()
                     << ")";
    std::string error;
    SerialState viaLink, viaReal;
    ASSERT_TRUE(viaLink.Open(link, Rule("0000:le16:1"), error)) << error;
    ASSERT_TRUE(viaReal.Open(real, Rule("0000:le16:1"), error)) << error;
    EXPECT_FALSE(std::filesystem::exists(real)); // opening creates nothing
    EXPECT_EQ(viaLink.Claim(false, error), 1u);
    EXPECT_EQ(viaReal.Claim(false, error), 2u);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_FALSE(std::filesystem::exists(link + ".lock"));
    ASSERT_TRUE(viaLink.Settle(1, true, error)) << error;

    // Written anew by someone else (another id): the runs that knew the old
    // one stop; a run that starts now takes it as it is.
    {
        std::ofstream(real) << R"({"next": 1})";
    }
    EXPECT_FALSE(viaLink.Claim(false, error));
    EXPECT_NE(error.find("was replaced during the run"), std::string::npos) << error;
    EXPECT_FALSE(viaReal.Settle(2, true, error));
    std::filesystem::remove(real);
    EXPECT_FALSE(viaReal.Claim(false, error));
    EXPECT_NE(error.find("disappeared during the run"), std::string::npos) << error;
    SerialState later;
    ASSERT_TRUE(later.Open(link, Rule("0000:le16:1"), error)) << error;
    EXPECT_EQ(later.Claim(false, error), 1u);

    // The log is ahead of a fresh state: refused, or continued after it.
    SerialStateOwner owner;
    owner.logged = 40;
    owner.logName = "line.jsonl";
    SerialState refused;
    EXPECT_FALSE(refused.Open(dir.Path("fresh.json"), Rule("0000:le16:1:3"), owner, error));
    EXPECT_EQ(error, "line.jsonl holds serial numbers up to 40, but " + dir.Path("fresh.json") +
                         " is missing: restore it, or give --serial-resume to continue after 40");
    owner.resume = true;
    SerialState resumed;
    ASSERT_TRUE(resumed.Open(dir.Path("fresh.json"), Rule("0000:le16:1:3"), owner, error));
    EXPECT_EQ(resumed.Claim(false, error), 43u);
    // Numbers below START in the log are no conflict.
    owner = {};
    owner.logged = 40;
    SerialState above;
    EXPECT_TRUE(above.Open(dir.Path("above.json"), Rule("0000:le16:100"), owner, error)) << error;
}

TEST(JsonReport, ProductionReportMeetsTheSchema) {
    std::ifstream in(std::string(VELMAR_SOURCE_DIR) + "/docs/velmar-cli-result.schema.json");
    const nlohmann::json schema = nlohmann::json::parse(in);
    RunReport report;
    report.command = "job run";
    report.result = "failed";
    report.exitCode = 1;
    report.bridges.push_back({0, "BP1", "Brindle Programmer", "1.23"});
    report.differenceList.push_back({0x10, 0xFF, 0x12});
    PartRecord part;
    part.sequence = 1;
    part.time = "2026-01-02T03:04:05Z";
    part.imageSha1 = std::string(40, '0');
    part.result = "ok";
    report.parts = {part, part};
    report.parts[1].result = "failed";
    const nlohmann::json object = nlohmann::json::parse(ReportJsonText(report));
    EXPECT_EQ(velmar::test::SchemaProblems(schema, object), std::vector<std::string>{});
    EXPECT_EQ(object["summary"]["yield"], 0.5);
    // The schema is not a blank cheque.
    nlohmann::json broken = object;
    broken["result"] = "fine";
    broken["differences"]["list"][0]["found"] = 256;
    broken["extra"] = 1;
    EXPECT_EQ(velmar::test::SchemaProblems(schema, broken).size(), 3u);
}

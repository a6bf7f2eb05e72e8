#include <algorithm>

#include "Arguments.h"
#include "OptionTable.h"
#include "UsageText.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "devices/DeviceCatalogue.h"

namespace velmar::cli {

namespace {

// A hexadecimal address option; the buffer start lies within the buffer,
// where past its end every byte would be dropped and OUT empty.
std::string SetAddress(std::optional<std::int32_t>& target, const std::string& name,
                       const std::string& value, bool withinBuffer) {
    const std::optional<std::int32_t> number = ParseAddress(value);
    if (!number) return "'" + value + "' is not a hexadecimal address for " + name;
    if (withinBuffer && *number > kHighestBufferStart)
        return name + " takes a hexadecimal address from 0 to FFFF, not " + value;
    target = number;
    return "";
}

std::string SetFormat(std::optional<FileType>& target, const std::string& value) {
    const std::optional<FileType> format = FileTypeFromName(value);
    if (!format) return "unknown format '" + value + "'";
    target = format;
    return "";
}

struct ConvertOption {
    const char* name;
    OptionValue value;
    // What it sets; the problem with its value, or "".
    std::string (*set)(ConvertArguments& c, const std::string& name, const std::string& value);
};

// The setters' parameters, short so that a row fits its line.
using C = ConvertArguments;
using S = const std::string&;

const ConvertOption kConvertOptions[] = {
    {"--fold", OptionValue::None, [](C& c, S, S) { return c.fold = true, std::string(); }},
    {"--json", OptionValue::None, [](C& c, S, S) { return c.json = true, std::string(); }},
    {"--skip-bad-lines", OptionValue::None,
     [](C& c, S, S) { return c.skipBadLines = true, std::string(); }},
    {"--from", OptionValue::Required,
     [](C& c, S, S v) {
         const std::string problem = SetFormat(c.from, v);
         c.fromGiven = c.fromGiven || problem.empty();
         return problem;
     }},
    {"--to", OptionValue::Required, [](C& c, S, S v) { return SetFormat(c.to, v); }},
    {"--device", OptionValue::Required, [](C& c, S, S v) { return c.device = v, std::string(); }},
    {"--fill", OptionValue::Required,
     [](C& c, S, S v) { return (c.fill = ParseFill(v)) ? std::string() : FillProblem(v); }},
    {"--limit", OptionValue::Required,
     [](C& c, S n, S v) { return SetAddress(c.limit, n, v, false); }},
    {"--offset", OptionValue::Required,
     [](C& c, S n, S v) { return SetAddress(c.offset, n, v, false); }},
    {"--buffer-start", OptionValue::Required,
     [](C& c, S n, S v) { return SetAddress(c.bufferStart, n, v, true); }},
    {"--end", OptionValue::Required, [](C& c, S n, S v) { return SetAddress(c.end, n, v, false); }},
};

} // namespace

std::vector<std::pair<std::string, OptionValue>> ConvertOptionKinds() {
    std::vector<std::pair<std::string, OptionValue>> kinds;
    for (const ConvertOption& o : kConvertOptions)
        kinds.emplace_back(o.name, o.value);
    for (const char* word : kVerbosityWords)
        kinds.emplace_back(word, OptionValue::None);
    return kinds;
}

void ParseConvert(const std::vector<std::string>& args, std::size_t next, ParseResult& result) {
    Arguments& a = result.arguments;
    ConvertArguments& c = a.convert;
    a.command = Command::Convert;
    result.hint = ConvertUsageLine();
    const auto fail = [&](const std::string& problem) { result.error = "convert: " + problem; };
    std::vector<std::string> files;
    WordCursor cursor(args, next);
    while (!cursor.Done()) {
        const std::string& word = cursor.Take();
        if (word == "--help" || word == "-h") {
            a.command = Command::Help;
            return;
        }
        if (IsVerbosity(word)) {
            a.verbosity = VerbosityOf(word);
            continue;
        }
        if (word.compare(0, 2, "--") != 0 || word == "--") {
            files.push_back(word);
            continue;
        }
        const auto* row = std::find_if(
            std::begin(kConvertOptions), std::end(kConvertOptions),
            [&](const ConvertOption& o) { return NamesOption(word, o.name, o.value); });
        // Every other option takes a value, whether or not it is known.
        const std::string name =
            row != std::end(kConvertOptions) ? row->name : word.substr(0, word.find('='));
        const OptionValue kind =
            row != std::end(kConvertOptions) ? row->value : OptionValue::Required;
        std::string value, error;
        if (!cursor.TakeValue(name, kind, word, value, error)) return fail(error);
        if (row == std::end(kConvertOptions)) return fail("unknown option " + name);
        if (const std::string problem = row->set(c, name, value); !problem.empty())
            return fail(problem);
    }
    if (c.device && c.limit) return fail("--device and --limit exclude each other");
    if (c.json && files.size() == 2 && files[1] == "-")
        return fail("--json takes standard output; OUT cannot be -");
    if (files.size() != 2) return fail("expected IN and OUT");
    c.in = files[0];
    c.out = files[1];
    // OUT's format from --to or its extension; IN's from --from, its
    // extension or, when it is loaded, its contents.
    if (!c.to && c.out != "-") c.to = FileTypeFromExtension(c.out);
    if (!c.to) return fail("--to is required when OUT's extension does not tell the format");
    if (!c.from && c.in != "-") c.from = FileTypeFromExtension(c.in);
    if (c.device) {
        const std::optional<int> row = FindCatalogueRow(*c.device);
        if (!row) return fail("unknown device '" + *c.device + "'");
        c.catalogueRow = *row;
    }
}

} // namespace velmar::cli

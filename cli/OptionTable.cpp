#include "OptionTable.h"

#include <algorithm>
#include <iterator>

#include "Arguments.h"
#include "buffer/TextCase.h"

namespace velmar::cli {

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

bool NamesOption(const std::string& word, const char* name, OptionValue value) {
    if (word == name) return true;
    return value != OptionValue::None && StartsWith(word, std::string(name) + "=");
}

bool WordCursor::TakeValue(const std::string& name, OptionValue kind, const std::string& word,
                           std::string& value, std::string& error) {
    if (kind == OptionValue::None) return true;
    const bool attached = word.size() > name.size() && word[name.size()] == '=';
    if (attached) value = word.substr(name.size() + 1);
    switch (kind) {
    case OptionValue::Attached:
        return true;
    case OptionValue::OptionalCount:
        // Alone: until the end; a following count is this option's.
        if (!attached)
            // 0 as well: no limit, as a job's repeat = 0.
            value = !Done() && ParseCount(args_[next_], 0, 1000000) ? Take() : std::string("0");
        return true;
    default:
        break;
    }
    if (!attached) {
        if (Done()) {
            error = name + " needs a value";
            return false;
        }
        value = Take();
    }
    // An empty value would otherwise read as the option not given at all.
    if (kind == OptionValue::NonEmpty && value.empty()) {
        error = name + " needs a value";
        return false;
    }
    return true;
}

std::optional<long> ParseCount(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

bool IsVerbosity(const std::string& word) {
    return std::find(std::begin(kVerbosityWords), std::end(kVerbosityWords), word) !=
           std::end(kVerbosityWords);
}

int VerbosityOf(const std::string& word) {
    return word == "-q" ? -1 : static_cast<int>(word.size()) - 1;
}

std::optional<std::uint8_t> ParseFill(const std::string& text) {
    if (text.size() > 2 || SameIgnoringCase(text, "0x")) return std::nullopt;
    const std::optional<std::int32_t> value = ParseAddress(text);
    if (!value) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

std::string FillProblem(const std::string& text) {
    return "--fill takes one or two hexadecimal digits, not " + text;
}

} // namespace velmar::cli

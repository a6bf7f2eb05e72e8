#pragma once
// What the option tables of velmar-cli's command lines share: the kinds of
// value an option takes, reading a row's value from the words that follow,
// and the value rules more than one table uses.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmar::cli {

enum class OptionValue {
    None,          // a flag: the word itself, nothing after it
    Attached,      // only as NAME=VALUE, or the name alone without one
    Required,      // NAME VALUE or NAME=VALUE; the value may be empty
    NonEmpty,      // the same, and an empty value counts as missing
    OptionalCount, // NAME=N, NAME N when the next word is a count, or NAME alone
};

bool StartsWith(const std::string& text, const std::string& head);

// A table row's option is `word` when a flag is the whole word and an option
// with a value is the word or its head before "=".
bool NamesOption(const std::string& word, const char* name, OptionValue value);

// The words of a line, taken one by one.
class WordCursor {
  public:
    explicit WordCursor(const std::vector<std::string>& args, std::size_t first = 0)
        : args_(args), next_(first) {}
    bool Done() const { return next_ >= args_.size(); }
    const std::string& Take() { return args_[next_++]; }

    // The value of option `name`, given as `word`, by its kind: from "=..."
    // or the next word (none for a flag, or an Attached option named alone).
    // False with "NAME needs a value" in `error` when it is missing.
    bool TakeValue(const std::string& name, OptionValue kind, const std::string& word,
                   std::string& value, std::string& error);

  private:
    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
};

// A decimal count within [low, high].
std::optional<long> ParseCount(const std::string& text, long low, long high);

// -q, -v, -vv and the verbosity each sets (-1, 1, 2).
constexpr const char* kVerbosityWords[] = {"-q", "-v", "-vv"};
bool IsVerbosity(const std::string& word);
int VerbosityOf(const std::string& word);

// --fill's value: one or two hexadecimal digits; the sentence refusing `text`.
std::optional<std::uint8_t> ParseFill(const std::string& text);
std::string FillProblem(const std::string& text);

} // namespace velmar::cli

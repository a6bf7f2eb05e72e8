#pragma once
// The options of every velmar-cli command but convert, as one table: each
// row names an option, the kind of value it takes, the commands that take it
// and what it sets. The refusals of options a command does not take are
// drawn from the table.

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Arguments.h"
#include "OptionTable.h"

namespace velmar::cli {

// The commands an option goes with, one bit each.
enum Taker : unsigned {
    kProbe = 1u << 0,
    kFirmware = 1u << 1,
    kList = 1u << 2,
    kDoctor = 1u << 3,
    kDisasm = 1u << 4,
    kJob = 1u << 5, // job check and run; job new is program
    // The operations, in the order a refusal names them.
    kProgram = 1u << 6,
    kVerify = 1u << 7,
    kCompare = 1u << 8,
    kRead = 1u << 9,
    kBlank = 1u << 10,
    kErase = 1u << 11,
    kLock = 1u << 12,
    // Commands that never reach a programmer.
    kSum = 1u << 13,
    kReportLogs = 1u << 14, // report LOG...
};
constexpr unsigned kOperationTakers =
    kProgram | kVerify | kCompare | kRead | kBlank | kErase | kLock;
constexpr unsigned kLoads = kProgram | kVerify | kCompare;
constexpr unsigned kEveryCommand = (kLock << 1) - 1;

// A command's name and its bit; "job" is job check and run.
struct CommandTaker {
    const char* name;
    Taker taker;
};

// Every command of the table, the operations first in the order a refusal
// names them.
std::span<const CommandTaker> CommandTakers();

// The bit of command `verb`, or none.
std::optional<Taker> TakerNamed(const std::string& verb);

// Which sentence refuses an option a command does not take.
enum class OptionGroup {
    Programmer, // how the programmer is reached: every command takes these
    Report,     // what is printed: their commands say themselves
    Device,     // the part, its file and the comparison
    Disasm,     // disasm's own: unknown anywhere else
    Production, // the production words: CheckProductionArguments
    Own,        // one command's own: unknown anywhere else
};

struct TypedOptions;

struct CommandOption {
    const char* name;
    OptionValue value;
    OptionGroup group;
    unsigned takers;
    // What it sets from its value; the problem with the value, or "".
    std::string (*set)(TypedOptions& s, const std::string& name, const std::string& value);
};

// A line's options as typed; their values are judged once the command is
// known.
struct TypedOptions {
    Arguments& a;
    std::vector<const CommandOption*> given; // in the order typed
    std::string format, bufferStart, hexOffset, fill, cpu, from, to;

    bool Given(const std::string& name) const {
        return std::any_of(given.begin(), given.end(),
                           [&](const CommandOption* o) { return name == o->name; });
    }
};

// Every row, in the table's order.
std::span<const CommandOption> CommandOptionRows();

// The row naming `word`, or none.
const CommandOption* FindCommandOption(const std::string& word);

// The first option of `group` given and not taken by `taker`, in the
// table's order (the order its refusals are checked in), among those `which`
// accepts.
const CommandOption* FirstRefused(const TypedOptions& s, OptionGroup group, unsigned taker,
                                  bool (*which)(const CommandOption&) = nullptr);

// "--hash goes with verify, compare or read": the operations that take it.
std::string GoesWith(const CommandOption& o);

} // namespace velmar::cli

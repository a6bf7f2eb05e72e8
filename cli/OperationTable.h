#pragma once
// The device operations of velmar-cli, one row each: the word that names it,
// whether a FILE follows the word, what its progress is called and the task
// that runs it. Which options it takes, and so whether its file is loaded
// into the buffer before the programmer is searched, is the option table's.

#include <string_view>

#include "Arguments.h"
#include "devices/Tasks.h"

namespace velmar::cli {

struct OperationRow {
    Operation operation;
    std::string_view name;
    bool takesFile;
    std::string_view progressName; // empty: the progress keeps the name it has
    OperationResult (*run)(ProgramState& state, const Arguments& arguments,
                           const BlockFilter& wanted);
};

// The row of `operation`.
const OperationRow& RowOf(Operation operation);
// Whether the operation's file is loaded into the buffer first (the commands
// that take --fill, --fold and --offset).
bool LoadsFile(const OperationRow& row);
// The row named `word`; none when no row is.
const OperationRow* FindOperationRow(std::string_view word);

} // namespace velmar::cli

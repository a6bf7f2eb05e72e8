#include "OperationTable.h"

#include <array>
#include <string>

#include "CommandOptions.h"

namespace velmar::cli {

namespace {

using Wanted = const BlockFilter&;

constexpr std::array<OperationRow, 7> kOperationRows{{
    {Operation::Read, "read", true, "Read",
     [](ProgramState& s, const Arguments&, Wanted) { return tasks::Read(s); }},
    {Operation::Verify, "verify", true, "Verify",
     [](ProgramState& s, const Arguments&, Wanted) { return tasks::Verify(s); }},
    {Operation::Blank, "blank", false, "Blank",
     [](ProgramState& s, const Arguments&, Wanted) { return tasks::BlankCheck(s); }},
    {Operation::Compare, "compare", true, "Compare",
     [](ProgramState& s, const Arguments&, Wanted) { return tasks::Compare(s); }},
    {Operation::Program, "program", true, "Program",
     [](ProgramState& s, const Arguments&, Wanted w) { return tasks::Program(s, w); }},
    {Operation::Erase, "erase", false, "",
     [](ProgramState& s, const Arguments&, Wanted) { return tasks::Erase(s); }},
    {Operation::Lock, "lock", false, "",
     [](ProgramState& s, const Arguments& a, Wanted) {
         return tasks::ProgramLockBit(s, a.lockBit);
     }},
}};

} // namespace

const OperationRow& RowOf(Operation operation) {
    for (const OperationRow& row : kOperationRows)
        if (row.operation == operation) return row;
    return kOperationRows.front();
}

bool LoadsFile(const OperationRow& row) {
    return (TakerNamed(std::string(row.name)).value_or(Taker{}) & kLoads) != 0;
}

const OperationRow* FindOperationRow(std::string_view word) {
    for (const OperationRow& row : kOperationRows)
        if (word == row.name) return &row;
    return nullptr;
}

} // namespace velmar::cli

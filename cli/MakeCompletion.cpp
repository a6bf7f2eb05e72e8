// velmar-make-completion TEMPLATE OUT: the bash completion of velmar-cli,
// its device list made from the catalogue and its option lists from
// velmar-cli's option tables, so that the script offers exactly the parts
// and the commands velmar-cli takes and, for each command, its options.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/CommandOptions.h"
#include "devices/DeviceCatalogue.h"

namespace {

using namespace velmar::cli;

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string DeviceNames() {
    std::vector<std::string> names;
    for (const velmar::CatalogueRow& row : velmar::DeviceCatalogue()) {
        if (!row.IsDevice) continue;
        std::string_view name = row.Caption;
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        names.emplace_back(name);
    }
    return Joined(names);
}

// Every command: those of the option table, and convert with its own.
std::string CommandNames() {
    std::vector<std::string> names;
    for (const CommandTaker& t : CommandTakers())
        names.emplace_back(t.name);
    names.emplace_back("convert");
    return Joined(names);
}

// The options of the rows taken by `taker` among those `which` accepts;
// --help goes with every command.
std::vector<std::string> TakenBy(unsigned taker, bool (*which)(const CommandOption&) = nullptr) {
    std::vector<std::string> names;
    for (const CommandOption& o : CommandOptionRows())
        if ((o.takers & taker) && (!which || which(o))) names.emplace_back(o.name);
    names.emplace_back("--help");
    return names;
}

bool NotProduction(const CommandOption& o) {
    return o.group != OptionGroup::Production;
}

// The case arms that set `options` by the command on the line ("job" and
// its verb as one).
std::string OptionArms() {
    std::string text;
    const auto arm = [&](const std::string& pattern, const std::vector<std::string>& names) {
        text += "            " + pattern + ") options=\"" + Joined(names) + "\" ;;\n";
    };
    // job new writes the program line its job will run; job check runs no
    // part, so the production words that job run takes are refused there.
    arm("\"job new\"", TakenBy(kProgram));
    arm("\"job check\"", TakenBy(kJob, NotProduction));
    for (const CommandTaker& t : CommandTakers())
        arm(t.taker == kJob ? "job*" : t.name, TakenBy(t.taker));
    std::vector<std::string> convert;
    for (const auto& [name, value] : ConvertOptionKinds())
        convert.push_back(name);
    convert.emplace_back("--help");
    arm("convert", convert);
    // Before the command: whatever some command takes.
    arm("*", TakenBy(kEveryCommand));
    text.pop_back();
    return text;
}

// The options whose value may be the next word: nothing is offered for it
// unless the script names what it can be.
std::string ValuedOptions() {
    std::vector<std::string> names;
    const auto add = [&](const std::string& name, OptionValue value) {
        if ((value == OptionValue::Required || value == OptionValue::NonEmpty) &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const CommandOption& o : CommandOptionRows())
        add(o.name, o.value);
    for (const auto& [name, value] : ConvertOptionKinds())
        add(name, value);
    return Joined(names);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmar-make-completion TEMPLATE OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string script = text.str();
    if (!in) {
        std::fprintf(stderr, "velmar-make-completion: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::pair<std::string, std::string> fills[] = {
        {"@DEVICES@", DeviceNames()},
        {"@COMMANDS@", CommandNames()},
        {"@VALUED@", ValuedOptions()},
        {"@OPTIONS@", OptionArms()},
    };
    for (const auto& [mark, value] : fills) {
        const std::size_t at = script.find(mark);
        if (at == std::string::npos) {
            std::fprintf(stderr, "velmar-make-completion: %s has no %s\n", argv[1], mark.c_str());
            return 1;
        }
        script.replace(at, mark.size(), value);
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << script;
    return out.flush() ? 0 : 1;
}

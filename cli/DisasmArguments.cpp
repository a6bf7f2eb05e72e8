#include "Arguments.h"

#include <utility>

#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "devices/DeviceCatalogue.h"

namespace velmar::cli {

void ParseDisasm(const std::vector<std::string>& words, const std::string& format,
                 const std::string& cpu, const std::string& from, const std::string& to,
                 ParseResult& result) {
    Arguments& a = result.arguments;
    std::string& error = result.error;
    a.command = Command::Disasm;
    DisasmArguments& d = a.disasm;
    if (a.deviceName.empty() == cpu.empty()) {
        error = cpu.empty() ? "disasm needs --device NAME or --cpu 8048|8051"
                            : "disasm takes --device NAME or --cpu, not both";
        return;
    }
    if (!cpu.empty()) {
        if (cpu != "8048" && cpu != "8051") {
            error = "--cpu takes 8048 or 8051, not " + cpu;
            return;
        }
        if (d.read) {
            error = "disasm --read needs --device NAME";
            return;
        }
        d.cpuGiven = true;
        // A file is read as for the largest part of the set.
        a.deviceName = cpu == "8048" ? "8749H" : "87C58H";
    }
    const std::optional<int> row = FindCatalogueRow(a.deviceName);
    if (!row) {
        error = "unknown device " + a.deviceName;
        return;
    }
    a.catalogueRow = *row;
    const Cpu set = DeviceCatalogue()[static_cast<std::size_t>(*row)].Can().Cpu;
    if (set == Cpu::None) {
        error = "the " + a.deviceName + " holds no code to list";
        return;
    }
    d.mcs48 = set == Cpu::Mcs48;
    if (d.read ? words.size() != 1 : words.size() != 2 || words[1].empty()) {
        error = d.read ? "disasm --read takes no file" : "disasm needs exactly one FILE or --read";
        return;
    }
    if (!d.read) {
        a.dataPath = words[1];
        if (!TakeFormat(!format.empty(), format, a, error)) return;
    }
    a.operation = d.read ? Operation::Read : Operation::Verify;
    for (const auto& [text, target] : {std::pair{&from, &d.from}, std::pair{&to, &d.to}}) {
        if (text->empty()) continue;
        *target = ParseAddress(*text);
        if (!*target) {
            error = "--from and --to take one to five hexadecimal digits, not " + *text;
            return;
        }
    }
    if (d.from && d.to && *d.from > *d.to) error = "--from lies past --to";
}

} // namespace velmar::cli

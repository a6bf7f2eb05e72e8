// velmar-make-completion TEMPLATE OUT: the bash completion of velmar-cli,
// with "@DEVICES@" replaced by the catalogue's device names, so that the
// script offers exactly the parts velmar-cli takes.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "devices/DeviceCatalogue.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmar-make-completion TEMPLATE OUT\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string script = text.str();

    std::string devices;
    for (const velmar::CatalogueRow& row : velmar::DeviceCatalogue()) {
        if (!row.IsDevice) continue;
        std::string_view name = row.Caption;
        while (!name.empty() && name.back() == ' ')
            name.remove_suffix(1);
        if (!devices.empty()) devices += ' ';
        devices += name;
    }
    const std::string mark = "@DEVICES@";
    const std::size_t at = script.find(mark);
    if (!in || at == std::string::npos) {
        std::fprintf(stderr, "velmar-make-completion: %s has no %s\n", argv[1], mark.c_str());
        return 1;
    }
    script.replace(at, mark.size(), devices);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << script;
    return out.flush() ? 0 : 1;
}

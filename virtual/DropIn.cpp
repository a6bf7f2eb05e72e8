// The virtual programmer as a drop-in for the vendor's libftd2xx.so, so the
// unchanged window runs on it when the loader is pointed at its folder.
// Options come from the file named by VELMAR_VIRTUAL_OPTIONS (one line of
// key=value pairs), else DropInDefaultOptions().

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "D2XXForwarders.h"

namespace {
using namespace velmar;

VirtualProgrammer& Programmer() {
    static bool configured = false;
    VirtualProgrammer& v = VirtualProgrammer::Instance();
    if (configured) return v;
    configured = true;
    VirtualOptions options = DropInDefaultOptions();
    if (const char* path = std::getenv("VELMAR_VIRTUAL_OPTIONS"); path && *path) {
        std::ifstream in(path);
        std::string line;
        std::string error;
        if (!in) {
            std::fprintf(stderr, "velmar virtual programmer: cannot read %s\n", path);
        } else if (std::getline(in, line); !ParseVirtualOptions(line, options, error)) {
            std::fprintf(stderr, "velmar virtual programmer: %s\n", error.c_str());
            options = DropInDefaultOptions();
        }
    }
    v.Reset(options);
    return v;
}
} // namespace

extern "C" {

VELMAR_D2XX_FORWARDERS(FT_, Programmer)

} // extern "C"

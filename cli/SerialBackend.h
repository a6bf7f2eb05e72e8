#pragma once
// A D2XX table that shows the host one bridge only, the one with a given
// serial number, so that the window's search ("the single device") finds
// that programmer among several and never touches the others.

#include <string>
#include <vector>

#include "link/D2XXApi.h"

namespace velmar::cli {

// One filter per process, as there is one D2XX library.
const D2XXBackend& SerialBackend(const D2XXBackend& inner, const std::string& serial);

// The serial numbers and descriptions of every attached bridge.
struct Bridge {
    std::string serial;
    std::string description;
};
std::vector<Bridge> ListBridges(const D2XXBackend& backend);

} // namespace velmar::cli

#pragma once
// The in-process door to the virtual programmer.

#include "link/D2XXApi.h"

namespace velmar {

// The nine D2XX functions of the virtual programmer (name "virtual").
const D2XXBackend& VirtualBackend();

} // namespace velmar

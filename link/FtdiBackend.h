#pragma once
// The open-source libftdi1 driver behind the D2XX table, for machines without
// the vendor library.

#include "D2XXApi.h"

namespace velmar {

const D2XXBackend& FtdiBackend();

} // namespace velmar

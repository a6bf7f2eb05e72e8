#pragma once
// The open-source libftdi1 driver behind the D2XX table, for machines without
// the vendor library.

#include <string>

#include "D2XXApi.h"

namespace velmar {

const D2XXBackend& FtdiBackend();

// Why the last open through libftdi1 failed (permission, busy or otherwise:
// the libusb code, libftdi's text and the fix), in words for the user; empty
// when it succeeded or another backend is in use. The D2XX status stays what
// the vendor's driver returns.
std::string BridgeProblem();

} // namespace velmar

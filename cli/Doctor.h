#pragma once
// velmar-cli doctor: why the programmer is not reached, in the order a user
// would check it, each problem with its one fix.

#include "link/D2XXApi.h"

namespace velmar::cli {

// 0 when a programmer answered the version query, 1 otherwise.
int RunDoctor(const D2XXBackend& backend, bool virtualProgrammer);

} // namespace velmar::cli

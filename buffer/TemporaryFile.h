#pragma once
// A scratch file that only this process sees and that is gone once closed.

#include <cstdio>

namespace velmar {

// A new, empty file open for reading and writing in binary mode, removed
// when closed (or when the process ends); nullptr with errno set when none
// can be made.
std::FILE* OpenTemporaryFile();

} // namespace velmar

#pragma once
// File commands never reach the programmer: a program state without one.

#include "link/D2XXApi.h"

namespace velmar::test {

inline const D2XXBackend& NoProgrammer() {
    static const D2XXBackend backend{"none",  nullptr, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr};
    return backend;
}

} // namespace velmar::test

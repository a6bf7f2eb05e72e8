#pragma once
// The vendor's D2XX library, loaded at run time so that velmar starts without
// it. On Linux and macOS the loader's normal search decides which copy is used
// (LD_LIBRARY_PATH, DYLD_LIBRARY_PATH); on Windows only the program's folder
// and the system folder are searched.

#include <string>

#include "D2XXApi.h"

namespace velmar {

// The table of the loaded library, or nullptr when it cannot be loaded or
// lacks one of the eight functions velmar cannot do without. Loaded once.
const D2XXBackend* VendorBackend();

// Loads a library by file name (tests point this at a drop-in). nullptr when
// it cannot be loaded or is incomplete; the library stays loaded.
const D2XXBackend* LoadVendorLibrary(const char* fileName);

// Why the last load failed ("not found in ...", a missing function), for messages.
std::string VendorLibraryError();

// The path of the loaded vendor library and the version it reports
// ("/usr/lib/libftd2xx.so version 1.04.27"), or empty when none is loaded.
std::string VendorLibraryOrigin();

// The file name the vendor library has on this platform.
const char* VendorLibraryName();

} // namespace velmar

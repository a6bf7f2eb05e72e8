#include "D2XXApi.h"
#include "FtdiBackend.h"
#include "VendorLibrary.h"

namespace velmar {

const D2XXBackend& HardwareBackend() {
    if (const D2XXBackend* vendor = VendorBackend()) return *vendor;
    return FtdiBackend();
}

} // namespace velmar

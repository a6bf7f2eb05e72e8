#include "D2XXApi.h"
#include "VendorLibrary.h"

#if VELMAR_HAVE_LIBFTDI
#include "FtdiBackend.h"
#endif

namespace velmar {

namespace {

#if !VELMAR_HAVE_LIBFTDI
// Without libftdi1 the vendor library is the only way to the programmer. When
// it is missing every call fails; front ends say why first (HardwareProblem).
FT_STATUS NoListDevices(void* arg1, void*, DWORD flags) {
    if ((flags & FT_LIST_NUMBER_ONLY) != 0 && arg1 != nullptr) *static_cast<DWORD*>(arg1) = 0;
    return FT_DEVICE_NOT_FOUND;
}
FT_STATUS NoOpenEx(void*, DWORD, FT_HANDLE* handle) {
    if (handle) *handle = nullptr;
    return FT_DEVICE_NOT_FOUND;
}
FT_STATUS NoHandle(FT_HANDLE) {
    return FT_INVALID_HANDLE;
}
FT_STATUS NoSetTimeouts(FT_HANDLE, ULONG, ULONG) {
    return FT_INVALID_HANDLE;
}
FT_STATUS NoGetQueueStatus(FT_HANDLE, DWORD* rxBytes) {
    if (rxBytes) *rxBytes = 0;
    return FT_INVALID_HANDLE;
}
FT_STATUS NoTransfer(FT_HANDLE, void*, DWORD, DWORD* moved) {
    if (moved) *moved = 0;
    return FT_INVALID_HANDLE;
}
FT_STATUS NoLatency(FT_HANDLE, UCHAR) {
    return FT_INVALID_HANDLE;
}
const D2XXBackend kNoDriver{"none",        NoListDevices,    NoOpenEx,   NoHandle,   NoHandle,
                            NoSetTimeouts, NoGetQueueStatus, NoTransfer, NoTransfer, NoLatency};
#endif

} // namespace

const D2XXBackend& HardwareBackend() {
    if (const D2XXBackend* vendor = VendorBackend()) return *vendor;
#if VELMAR_HAVE_LIBFTDI
    return FtdiBackend();
#else
    return kNoDriver;
#endif
}

std::string HardwareProblem() {
#if VELMAR_HAVE_LIBFTDI
    return {};
#else
    if (VendorBackend()) return {};
    return "the FTDI D2XX driver " + std::string(VendorLibraryName()) +
           " cannot be used: " + VendorLibraryError() +
           ". Install the vendor's D2XX driver (ftdichip.com), or run with --virtual.";
#endif
}

} // namespace velmar

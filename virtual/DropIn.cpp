// The virtual programmer as a drop-in for the vendor's libftd2xx.so, so the
// unchanged window runs on it when the loader is pointed at its folder.
// Options come from the file named by VELMAR_VIRTUAL_OPTIONS (one line of
// key=value pairs), else DropInDefaultOptions().

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "VirtualProgrammer.h"

namespace {
using namespace velmar;

VirtualProgrammer& Programmer() {
    static bool configured = false;
    VirtualProgrammer& v = VirtualProgrammer::Instance();
    if (configured) return v;
    configured = true;
    VirtualOptions options = DropInDefaultOptions();
    if (const char* path = std::getenv("VELMAR_VIRTUAL_OPTIONS"); path && *path) {
        std::ifstream in(path);
        std::string line;
        std::string error;
        if (!in) {
            std::fprintf(stderr, "velmar virtual programmer: cannot read %s\n", path);
        } else if (std::getline(in, line); !ParseVirtualOptions(line, options, error)) {
            std::fprintf(stderr, "velmar virtual programmer: %s\n", error.c_str());
            options = DropInDefaultOptions();
        }
    }
    v.Reset(options);
    return v;
}
} // namespace

extern "C" {

FT_STATUS FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
    return Programmer().ListDevices(arg1, arg2, flags);
}
FT_STATUS FT_OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {
    return Programmer().OpenEx(arg1, flags, handle);
}
FT_STATUS FT_Close(FT_HANDLE handle) {
    return Programmer().Close(handle);
}
FT_STATUS FT_ResetDevice(FT_HANDLE handle) {
    return Programmer().ResetDevice(handle);
}
FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {
    return Programmer().SetTimeouts(handle, readMs, writeMs);
}
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    return Programmer().GetQueueStatus(handle, rxBytes);
}
FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) {
    return Programmer().Write(handle, buffer, count, written);
}
FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
    return Programmer().Read(handle, buffer, count, read);
}
FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR milliseconds) {
    return Programmer().SetLatencyTimer(handle, milliseconds);
}

} // extern "C"

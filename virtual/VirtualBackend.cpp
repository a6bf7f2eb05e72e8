// The virtual programmer as a D2XX table for the in-process door.

#include "VirtualProgrammer.h"

namespace velmar {

namespace {
VirtualProgrammer& V() {
    return VirtualProgrammer::Instance();
}

FT_STATUS ListDevices(void* a, void* b, DWORD f) {
    return V().ListDevices(a, b, f);
}
FT_STATUS OpenEx(void* a, DWORD f, FT_HANDLE* h) {
    return V().OpenEx(a, f, h);
}
FT_STATUS Close(FT_HANDLE h) {
    return V().Close(h);
}
FT_STATUS ResetDevice(FT_HANDLE h) {
    return V().ResetDevice(h);
}
FT_STATUS SetTimeouts(FT_HANDLE h, ULONG r, ULONG w) {
    return V().SetTimeouts(h, r, w);
}
FT_STATUS GetQueueStatus(FT_HANDLE h, DWORD* n) {
    return V().GetQueueStatus(h, n);
}
FT_STATUS Write(FT_HANDLE h, void* b, DWORD c, DWORD* w) {
    return V().Write(h, b, c, w);
}
FT_STATUS Read(FT_HANDLE h, void* b, DWORD c, DWORD* r) {
    return V().Read(h, b, c, r);
}
FT_STATUS SetLatencyTimer(FT_HANDLE h, UCHAR ms) {
    return V().SetLatencyTimer(h, ms);
}

const D2XXBackend kVirtualBackend = {
    "virtual",   ListDevices,    OpenEx, Close, ResetDevice,
    SetTimeouts, GetQueueStatus, Write,  Read,  SetLatencyTimer,
};
} // namespace

const D2XXBackend& VirtualBackend() {
    return kVirtualBackend;
}

} // namespace velmar

#pragma once
// The nine D2XX calls passed on to the virtual programmer, written once for
// both doors: the in-process table (VirtualBackend.cpp) and the drop-in's
// exported names (DropIn.cpp), which differ only in the functions' prefix
// and in how they get the programmer (PROGRAMMER() returns it).

#include "VirtualProgrammer.h"

// clang-format off
#define VELMAR_D2XX_FORWARDERS(PREFIX, PROGRAMMER)                                        \
    FT_STATUS PREFIX##ListDevices(void* arg1, void* arg2, DWORD flags) {                   \
        return PROGRAMMER().ListDevices(arg1, arg2, flags);                                \
    }                                                                                      \
    FT_STATUS PREFIX##OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {                 \
        return PROGRAMMER().OpenEx(arg1, flags, handle);                                   \
    }                                                                                      \
    FT_STATUS PREFIX##Close(FT_HANDLE handle) { return PROGRAMMER().Close(handle); }       \
    FT_STATUS PREFIX##ResetDevice(FT_HANDLE handle) {                                      \
        return PROGRAMMER().ResetDevice(handle);                                           \
    }                                                                                      \
    FT_STATUS PREFIX##SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {         \
        return PROGRAMMER().SetTimeouts(handle, readMs, writeMs);                          \
    }                                                                                      \
    FT_STATUS PREFIX##GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {                   \
        return PROGRAMMER().GetQueueStatus(handle, rxBytes);                               \
    }                                                                                      \
    FT_STATUS PREFIX##Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) { \
        return PROGRAMMER().Write(handle, buffer, count, written);                         \
    }                                                                                      \
    FT_STATUS PREFIX##Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {     \
        return PROGRAMMER().Read(handle, buffer, count, read);                             \
    }                                                                                      \
    FT_STATUS PREFIX##SetLatencyTimer(FT_HANDLE handle, UCHAR milliseconds) {              \
        return PROGRAMMER().SetLatencyTimer(handle, milliseconds);                         \
    }
// clang-format on

#pragma once
// The vendor's published D2XX C interface, as far as velmar uses it, and the
// table of function pointers through which every call goes. A table is filled
// by the vendor library loaded at run time, by libftdi1, or by the virtual
// programmer.

#include <cstdint>
#include <string>

namespace velmar {

using FT_HANDLE = void*;
using FT_STATUS = std::uint32_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = std::uint8_t;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_OTHER_ERROR = 18,
};

constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000u;
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;

struct D2XXBackend {
    const char* name; // "vendor", "libftdi1", "virtual"
    FT_STATUS (*ListDevices)(void* arg1, void* arg2, DWORD flags);
    FT_STATUS (*OpenEx)(void* arg1, DWORD flags, FT_HANDLE* handle);
    FT_STATUS (*Close)(FT_HANDLE handle);
    FT_STATUS (*ResetDevice)(FT_HANDLE handle);
    FT_STATUS (*SetTimeouts)(FT_HANDLE handle, ULONG readMs, ULONG writeMs);
    FT_STATUS (*GetQueueStatus)(FT_HANDLE handle, DWORD* rxBytes);
    FT_STATUS (*Write)(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written);
    FT_STATUS (*Read)(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read);
    FT_STATUS (*SetLatencyTimer)(FT_HANDLE handle, UCHAR milliseconds);
};

// The table for real hardware: the vendor library when it can be loaded
// (libftd2xx.so / ftd2xx.dll / libftd2xx.dylib), libftdi1 otherwise. A build
// without libftdi1 gets a table whose every call fails when the library is missing.
const D2XXBackend& HardwareBackend();

// Why HardwareBackend() cannot reach a programmer at all (the vendor library is
// missing and there is no other driver), or empty. Front ends show it instead
// of a search that could only find nothing.
std::string HardwareProblem();

} // namespace velmar

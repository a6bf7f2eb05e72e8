#include "VendorLibrary.h"

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace velmar {

namespace {

#if defined(_WIN32)
using LibraryHandle = HMODULE;
// Only the program's folder and the system folder: a DLL planted in the
// working directory or on PATH is never loaded.
constexpr DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
std::string LastLoadError() {
    const DWORD code = GetLastError();
    switch (code) {
    case ERROR_MOD_NOT_FOUND:
        return "not found in the program's folder or the system folder";
    case ERROR_BAD_EXE_FORMAT:
        return "it is not a 64-bit DLL";
    default:
        return "Windows error " + std::to_string(code);
    }
}
LibraryHandle OpenLibrary(const char* name) {
    return LoadLibraryExA(name, nullptr, kSearchFlags);
}
void* FindSymbol(LibraryHandle lib, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(lib, name));
}
#else
using LibraryHandle = void*;
std::string LastLoadError() {
    const char* text = dlerror();
    return text ? text : "cannot be loaded";
}
LibraryHandle OpenLibrary(const char* name) {
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}
void* FindSymbol(LibraryHandle lib, const char* name) {
    return dlsym(lib, name);
}
#endif

#if !defined(_WIN32) || defined(_WIN64)
// Bridges keep their factory latency when an old library cannot set it;
// replies are then only slower, so the search goes on without a box.
FT_STATUS LatencyUnsupported(FT_HANDLE, UCHAR) {
    return FT_OK;
}
#else
// 32-bit Windows: the DLL uses the standard call convention, the table the
// default one, so each entry goes through a thunk. One vendor DLL per process.
#define VELMAR_FTAPI __stdcall
struct StdcallTable {
    FT_STATUS(VELMAR_FTAPI* ListDevices)(void*, void*, DWORD);
    FT_STATUS(VELMAR_FTAPI* OpenEx)(void*, DWORD, FT_HANDLE*);
    FT_STATUS(VELMAR_FTAPI* Close)(FT_HANDLE);
    FT_STATUS(VELMAR_FTAPI* ResetDevice)(FT_HANDLE);
    FT_STATUS(VELMAR_FTAPI* SetTimeouts)(FT_HANDLE, ULONG, ULONG);
    FT_STATUS(VELMAR_FTAPI* GetQueueStatus)(FT_HANDLE, DWORD*);
    FT_STATUS(VELMAR_FTAPI* Write)(FT_HANDLE, void*, DWORD, DWORD*);
    FT_STATUS(VELMAR_FTAPI* Read)(FT_HANDLE, void*, DWORD, DWORD*);
    FT_STATUS(VELMAR_FTAPI* SetLatencyTimer)(FT_HANDLE, UCHAR);
} g_std;
FT_STATUS T_ListDevices(void* a, void* b, DWORD f) {
    return g_std.ListDevices(a, b, f);
}
FT_STATUS T_OpenEx(void* a, DWORD f, FT_HANDLE* h) {
    return g_std.OpenEx(a, f, h);
}
FT_STATUS T_Close(FT_HANDLE h) {
    return g_std.Close(h);
}
FT_STATUS T_ResetDevice(FT_HANDLE h) {
    return g_std.ResetDevice(h);
}
FT_STATUS T_SetTimeouts(FT_HANDLE h, ULONG r, ULONG w) {
    return g_std.SetTimeouts(h, r, w);
}
FT_STATUS T_GetQueueStatus(FT_HANDLE h, DWORD* n) {
    return g_std.GetQueueStatus(h, n);
}
FT_STATUS T_Write(FT_HANDLE h, void* b, DWORD c, DWORD* n) {
    return g_std.Write(h, b, c, n);
}
FT_STATUS T_Read(FT_HANDLE h, void* b, DWORD c, DWORD* n) {
    return g_std.Read(h, b, c, n);
}
FT_STATUS T_SetLatencyTimer(FT_HANDLE h, UCHAR ms) {
    return g_std.SetLatencyTimer ? g_std.SetLatencyTimer(h, ms) : FT_OK;
}
#endif

template <typename Fn> bool Bind(LibraryHandle lib, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(FindSymbol(lib, name));
    return slot != nullptr;
}

std::string& LoadError() {
    static std::string error;
    return error;
}

// Where the loaded library came from and the version it reports, for
// `velmar-cli doctor`.
std::string& LoadedFrom() {
    static std::string where;
    return where;
}

std::string LibraryPath(LibraryHandle lib, void* symbol) {
#if defined(_WIN32)
    (void)symbol;
    char path[1024] = {};
    const DWORD n = GetModuleFileNameA(lib, path, sizeof path);
    return std::string(path, n);
#else
    (void)lib;
    Dl_info info{};
    if (dladdr(symbol, &info) != 0 && info.dli_fname) return info.dli_fname;
    return {};
#endif
}

std::string LibraryVersion(LibraryHandle lib) {
#if defined(_WIN32) && !defined(_WIN64)
    (void)lib;
    return {};
#else
    using GetVersion = FT_STATUS (*)(DWORD*);
    auto get = reinterpret_cast<GetVersion>(FindSymbol(lib, "FT_GetLibraryVersion"));
    DWORD version = 0;
    if (!get || get(&version) != FT_OK) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%X.%02X.%02X", (version >> 16) & 0xFF, (version >> 8) & 0xFF,
                  version & 0xFF);
    return text;
#endif
}

// Tables live as long as the process, as do the libraries behind them.
std::deque<D2XXBackend>& Tables() {
    static std::deque<D2XXBackend> tables;
    return tables;
}

} // namespace

const char* VendorLibraryName() {
#if defined(_WIN32)
    return "ftd2xx.dll";
#elif defined(__APPLE__)
    return "libftd2xx.dylib";
#else
    return "libftd2xx.so";
#endif
}

const D2XXBackend* LoadVendorLibrary(const char* fileName) {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    LibraryHandle lib = OpenLibrary(fileName);
    if (!lib) {
        LoadError() = LastLoadError();
        return nullptr;
    }

    D2XXBackend table{};
    table.name = "vendor";
#if defined(_WIN32) && !defined(_WIN64)
    StdcallTable& t = g_std;
#else
    D2XXBackend& t = table;
#endif
    const bool complete = Bind(lib, "FT_ListDevices", t.ListDevices) &&
                          Bind(lib, "FT_OpenEx", t.OpenEx) && Bind(lib, "FT_Close", t.Close) &&
                          Bind(lib, "FT_ResetDevice", t.ResetDevice) &&
                          Bind(lib, "FT_SetTimeouts", t.SetTimeouts) &&
                          Bind(lib, "FT_GetQueueStatus", t.GetQueueStatus) &&
                          Bind(lib, "FT_Write", t.Write) && Bind(lib, "FT_Read", t.Read);
    if (!complete) {
        LoadError() = "it lacks one of the D2XX functions velmar needs";
        return nullptr;
    }
    Bind(lib, "FT_SetLatencyTimer", t.SetLatencyTimer);
#if defined(_WIN32) && !defined(_WIN64)
    table = D2XXBackend{"vendor",      T_ListDevices,    T_OpenEx, T_Close, T_ResetDevice,
                        T_SetTimeouts, T_GetQueueStatus, T_Write,  T_Read,  T_SetLatencyTimer};
#else
    if (!table.SetLatencyTimer) table.SetLatencyTimer = LatencyUnsupported;
#endif
    const std::string version = LibraryVersion(lib);
    LoadedFrom() = LibraryPath(lib, reinterpret_cast<void*>(t.ListDevices)) +
                   (version.empty() ? "" : " version " + version);
    Tables().push_back(table);
    return &Tables().back();
}

std::string VendorLibraryOrigin() {
    VendorBackend();
    return LoadedFrom();
}

std::string VendorLibraryError() {
    VendorBackend();
    return LoadError();
}

const D2XXBackend* VendorBackend() {
    static const D2XXBackend* const loaded = LoadVendorLibrary(VendorLibraryName());
    return loaded;
}

} // namespace velmar

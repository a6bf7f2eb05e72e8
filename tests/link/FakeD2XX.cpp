#include "FakeD2XX.h"

#include <algorithm>
#include <cstring>

#include "virtual/VirtualProgrammer.h"

namespace velmar::test {

namespace {
FT_STATUS Logged(const char* name) {
    Fake().calls.emplace_back(name);
    auto it = Fake().status.find(name);
    return it == Fake().status.end() ? FT_OK : it->second;
}

VirtualProgrammer& Devices() {
    return VirtualProgrammer::Instance();
}

FT_STATUS ListDevices(void* arg1, void* arg2, DWORD flags) {
    FakeD2XX& f = Fake();
    const FT_STATUS s = Logged("FT_ListDevices");
    f.listFlags.push_back(flags);
    if (!(flags & FT_LIST_NUMBER_ONLY))
        f.listIndexes.push_back(reinterpret_cast<std::uintptr_t>(arg1));
    if (s != FT_OK) return s;
    if (f.listedText.empty() || (flags & FT_LIST_NUMBER_ONLY))
        return Devices().ListDevices(arg1, arg2, flags);
    const std::string text = f.listedText.substr(0, 63); // the vendor's buffers are 64 bytes
    std::memcpy(arg2, text.c_str(), text.size() + 1);
    return s;
}

FT_STATUS OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {
    const FT_STATUS s = Logged("FT_OpenEx");
    Fake().openSerials.emplace_back(static_cast<const char*>(arg1));
    return s == FT_OK ? Devices().OpenEx(arg1, flags, handle) : s;
}

FT_STATUS Close(FT_HANDLE handle) {
    Fake().closes++;
    const FT_STATUS s = Logged("FT_Close");
    return s == FT_OK ? Devices().Close(handle) : s;
}

FT_STATUS ResetDevice(FT_HANDLE) {
    return Logged("FT_ResetDevice");
}

FT_STATUS SetTimeouts(FT_HANDLE, ULONG readMs, ULONG writeMs) {
    Fake().readTimeoutMs = readMs;
    Fake().writeTimeoutMs = writeMs;
    return Logged("FT_SetTimeouts");
}

FT_STATUS GetQueueStatus(FT_HANDLE, DWORD* rx) {
    FT_STATUS s = Logged("FT_GetQueueStatus");
    *rx = static_cast<DWORD>(Fake().queue.size());
    return s;
}

FT_STATUS Write(FT_HANDLE, void* buffer, DWORD count, DWORD* written) {
    FakeD2XX& f = Fake();
    FT_STATUS s = Logged("FT_Write");
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    f.writes.emplace_back(bytes, bytes + count);
    *written = count;
    if (f.firmware) f.firmware(f.writes.back());
    return s;
}

FT_STATUS Read(FT_HANDLE, void* buffer, DWORD count, DWORD* read) {
    FakeD2XX& f = Fake();
    FT_STATUS s = Logged("FT_Read");
    f.readCounts.push_back(count);
    const DWORD n = std::min<DWORD>(count, static_cast<DWORD>(f.queue.size()));
    std::copy_n(f.queue.begin(), n, static_cast<std::uint8_t*>(buffer));
    f.queue.erase(f.queue.begin(), f.queue.begin() + n);
    *read = n;
    return s;
}

FT_STATUS SetLatencyTimer(FT_HANDLE, UCHAR ms) {
    Fake().latencyMs = ms;
    return Logged("FT_SetLatencyTimer");
}
} // namespace

int FakeD2XX::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

FakeD2XX& Fake() {
    static FakeD2XX fake;
    return fake;
}

void ResetFake() {
    Fake() = FakeD2XX();
    VirtualProgrammer::Instance().Reset();
}

const D2XXBackend& FakeBackend() {
    static const D2XXBackend table{"fake",      ListDevices,    OpenEx, Close, ResetDevice,
                                   SetTimeouts, GetQueueStatus, Write,  Read,  SetLatencyTimer};
    return table;
}

} // namespace velmar::test

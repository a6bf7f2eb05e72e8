// A small vendor-library look-alike: the loader's test target. Built three
// ways: complete, without FT_SetLatencyTimer, and without FT_Read.

#include <cstdint>

using Status = std::uint32_t;

extern "C" {

Status FT_ListDevices(void* arg1, void*, std::uint32_t flags) {
    if (flags & 0x80000000u) *static_cast<std::uint32_t*>(arg1) = 7;
    return 0;
}
Status FT_OpenEx(void*, std::uint32_t, void** handle) {
    *handle = reinterpret_cast<void*>(0x1234);
    return 0;
}
Status FT_Close(void*) {
    return 0;
}
Status FT_ResetDevice(void*) {
    return 0;
}
Status FT_SetTimeouts(void*, std::uint32_t, std::uint32_t) {
    return 0;
}
Status FT_GetQueueStatus(void*, std::uint32_t* n) {
    *n = 3;
    return 0;
}
Status FT_Write(void*, void*, std::uint32_t count, std::uint32_t* written) {
    *written = count / 2;
    return 0;
}
#ifndef MINI_NO_READ
Status FT_Read(void*, void*, std::uint32_t, std::uint32_t* read) {
    *read = 0;
    return 4;
}
#endif
#ifndef MINI_NO_LATENCY
// Tells the test that the call arrived here.
Status FT_SetLatencyTimer(void*, unsigned char ms) {
    return ms == 2 ? 6 : 0;
}
#endif
}

#include "SerialBackend.h"

#include <cstdint>
#include <cstring>

namespace velmar::cli {

namespace {

const D2XXBackend* gInner = nullptr;
std::string gSerial;
D2XXBackend gTable{};

std::string ListText(const D2XXBackend& backend, DWORD index, DWORD what) {
    char text[256] = {};
    if (backend.ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)), text,
                            FT_LIST_BY_INDEX | what) != FT_OK)
        return {};
    text[sizeof text - 1] = 0;
    return text;
}

// The inner index of the chosen bridge, or -1 when it is not attached.
long ChosenIndex() {
    DWORD count = 0;
    if (gInner->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) return -1;
    for (DWORD i = 0; i < count; ++i)
        if (ListText(*gInner, i, FT_OPEN_BY_SERIAL_NUMBER) == gSerial) return static_cast<long>(i);
    return -1;
}

FT_STATUS FilteredListDevices(void* a1, void* a2, DWORD flags) {
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (a1 == nullptr) return FT_INVALID_PARAMETER;
        *static_cast<DWORD*>(a1) = ChosenIndex() >= 0 ? 1 : 0;
        return FT_OK;
    }
    if (flags & FT_LIST_BY_INDEX) {
        const long chosen = ChosenIndex();
        if (reinterpret_cast<std::uintptr_t>(a1) != 0 || chosen < 0) return FT_DEVICE_NOT_FOUND;
        return gInner->ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(chosen)), a2,
                                   flags);
    }
    return gInner->ListDevices(a1, a2, flags);
}

// "The single device" is the chosen one.
FT_STATUS FilteredOpenEx(void* a1, DWORD flags, FT_HANDLE* handle) {
    if (a1 != nullptr && static_cast<const char*>(a1)[0] == '\0') {
        std::string serial = gSerial;
        return gInner->OpenEx(serial.data(), FT_OPEN_BY_SERIAL_NUMBER, handle);
    }
    return gInner->OpenEx(a1, flags, handle);
}

} // namespace

const D2XXBackend& SerialBackend(const D2XXBackend& inner, const std::string& serial) {
    gInner = &inner;
    gSerial = serial;
    gTable = inner;
    gTable.ListDevices = FilteredListDevices;
    gTable.OpenEx = FilteredOpenEx;
    return gTable;
}

std::vector<Bridge> ListBridges(const D2XXBackend& backend) {
    std::vector<Bridge> bridges;
    DWORD count = 0;
    if (backend.ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) return bridges;
    for (DWORD i = 0; i < count; ++i)
        bridges.push_back({ListText(backend, i, FT_OPEN_BY_SERIAL_NUMBER),
                           ListText(backend, i, FT_OPEN_BY_DESCRIPTION)});
    return bridges;
}

} // namespace velmar::cli

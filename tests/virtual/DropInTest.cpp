// The drop-in libftd2xx.so, loaded the way the window's vendor-library path
// loads it: by name from its own folder, functions looked up by their D2XX
// names.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/support/Portable.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::test {
namespace {

template <typename F> F Symbol(void* library, const char* name) {
    return reinterpret_cast<F>(FindSymbol(library, name));
}

TEST(VirtualDropIn, ListsOneDeviceAndAnswersTheVersionQuery) {
    const std::string options = testing::TempDir() + "virtual-dropin.options";
    {
        std::ofstream out(options);
        out << "firmware=1.23,timing=off,state-dir=" << testing::TempDir() << "velmar-state\n";
    }
    SetEnv("VELMAR_VIRTUAL_OPTIONS", options);
    // The in-process programmer has no device; the library must not share it.
    VirtualOptions none;
    none.Devices = 0;
    VirtualProgrammer::Instance().Reset(none);

    void* library = OpenLibrary(VELMAR_DROPIN_DIR "/" VELMAR_DROPIN_NAME);
    ASSERT_NE(nullptr, library) << LibraryError();
    for (const char* name :
         {"FT_ListDevices", "FT_OpenEx", "FT_Close", "FT_ResetDevice", "FT_SetTimeouts",
          "FT_GetQueueStatus", "FT_Write", "FT_Read", "FT_SetLatencyTimer"})
        EXPECT_NE(nullptr, FindSymbol(library, name)) << name;
    EXPECT_EQ(nullptr, FindSymbol(library, "_ZN6velmar17VirtualProgrammer8InstanceEv"));

    auto list = Symbol<FT_STATUS (*)(void*, void*, DWORD)>(library, "FT_ListDevices");
    auto open = Symbol<FT_STATUS (*)(void*, DWORD, FT_HANDLE*)>(library, "FT_OpenEx");
    auto timeouts = Symbol<FT_STATUS (*)(FT_HANDLE, ULONG, ULONG)>(library, "FT_SetTimeouts");
    auto latency = Symbol<FT_STATUS (*)(FT_HANDLE, UCHAR)>(library, "FT_SetLatencyTimer");
    auto reset = Symbol<FT_STATUS (*)(FT_HANDLE)>(library, "FT_ResetDevice");
    auto write = Symbol<FT_STATUS (*)(FT_HANDLE, void*, DWORD, DWORD*)>(library, "FT_Write");
    auto read = Symbol<FT_STATUS (*)(FT_HANDLE, void*, DWORD, DWORD*)>(library, "FT_Read");
    auto close = Symbol<FT_STATUS (*)(FT_HANDLE)>(library, "FT_Close");
    ASSERT_TRUE(list && open && timeouts && latency && reset && write && read && close);

    DWORD count = 0;
    EXPECT_EQ(FT_OK, list(&count, nullptr, FT_LIST_NUMBER_ONLY));
    EXPECT_EQ(1u, count);
    char serial[50] = {};
    EXPECT_EQ(FT_OK, list(reinterpret_cast<void*>(std::uintptr_t{0}), serial,
                          FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER));
    EXPECT_STREQ("BP123001", serial);
    char empty[] = "";
    FT_HANDLE handle = nullptr;
    ASSERT_EQ(FT_OK, open(empty, FT_OPEN_BY_SERIAL_NUMBER, &handle));
    EXPECT_EQ(FT_OK, timeouts(handle, 40, 0));
    EXPECT_EQ(FT_OK, latency(handle, 2));
    EXPECT_EQ(FT_OK, reset(handle));
    std::uint8_t query[8] = {0x56, 0, 0, 0, 0, 0, 0, 0x56};
    DWORD written = 0;
    EXPECT_EQ(FT_OK, write(handle, query, 8, &written));
    EXPECT_EQ(8u, written);
    std::uint8_t reply[8] = {};
    DWORD got = 0;
    EXPECT_EQ(FT_OK, read(handle, reply, 8, &got));
    ASSERT_EQ(8u, got);
    EXPECT_EQ(1, reply[1]);
    EXPECT_EQ(23, reply[2]);
    EXPECT_EQ(0, reply[6]);
    EXPECT_EQ(FT_OK, close(handle));

    // The in-process programmer saw none of it.
    EXPECT_EQ(0, VirtualProgrammer::Instance().PacketCount());
    CloseLibrary(library);
    UnsetEnv("VELMAR_VIRTUAL_OPTIONS");
}

} // namespace
} // namespace velmar::test

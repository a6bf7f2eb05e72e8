// Loading the vendor library at run time, and the choice of hardware table.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "link/CommandLink.h"
#include "link/D2XXUnit.h"
#if VELMAR_HAVE_LIBFTDI
#include "link/FtdiBackend.h"
#endif
#include "link/ProgrammerSearch.h"
#include "link/VendorLibrary.h"
#include "tests/support/Portable.h"
#include "tests/support/RecordingPanel.h"

namespace velmar {
namespace {

TEST(VendorLibrary, BindsEveryFunctionOfACompleteLibrary) {
    const D2XXBackend* table = LoadVendorLibrary(MINI_FULL);
    ASSERT_NE(table, nullptr);
    EXPECT_STREQ(table->name, "vendor");
    DWORD count = 0;
    EXPECT_EQ(table->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 7u);
    FT_HANDLE h = nullptr;
    EXPECT_EQ(table->OpenEx(nullptr, FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    EXPECT_EQ(h, reinterpret_cast<FT_HANDLE>(0x1234));
    DWORD n = 0;
    EXPECT_EQ(table->GetQueueStatus(h, &n), FT_OK);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(table->Write(h, nullptr, 10, &n), FT_OK);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(table->Read(h, nullptr, 10, &n), FT_IO_ERROR);
    EXPECT_EQ(table->SetLatencyTimer(h, 2), FT_INVALID_PARAMETER); // reached the library
}

TEST(VendorLibrary, MissingLatencyCallFallsBackAndMissingCoreCallRefuses) {
    const D2XXBackend* old = LoadVendorLibrary(MINI_NO_LATENCY);
    ASSERT_NE(old, nullptr);
    ASSERT_NE(old->SetLatencyTimer, nullptr);
    EXPECT_EQ(old->SetLatencyTimer(nullptr, 2), FT_OK);
    DWORD count = 0;
    EXPECT_EQ(old->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 7u);

    EXPECT_EQ(LoadVendorLibrary(MINI_NO_READ), nullptr);
    EXPECT_EQ(LoadVendorLibrary("/nonexistent/libftd2xx.so"), nullptr);
}

TEST(VendorLibrary, TheDropInProgrammerAnswersThroughTheLoadedTable) {
    const std::string options = ::testing::TempDir() + "/dropin-options.txt";
    std::ofstream(options) << "firmware=2.100,timing=off,state-dir=" << ::testing::TempDir()
                           << "/dropin-state\n";
    test::SetEnv("VELMAR_VIRTUAL_OPTIONS", options);
    const D2XXBackend* table = LoadVendorLibrary(VELMAR_DROPIN_DIR "/" VELMAR_DROPIN_NAME);
    ASSERT_NE(table, nullptr);

    test::RecordingPanel panel;
    D2XXUnit d2xx(*table, panel);
    AddressWindow window;
    TransferState transfer;
    CommandLink link(d2xx, panel, window, transfer);
    link.ReplyTimeoutMs = 2000;
    FindProgrammer(d2xx, link, panel);
    EXPECT_EQ(panel.Status(), "Usb Programmer Found - FirmWare Version 2.100");
    EXPECT_EQ(link.LinkState, LinkState::Answered);
    EXPECT_TRUE(panel.boxes.empty());
}

// Run twice by CTest: once as is, once with the drop-in on the loader path.
TEST(HardwareBackendChoice, VendorLibraryWinsWhenTheLoaderFindsIt) {
    const D2XXBackend& chosen = HardwareBackend();
    const char* expected = std::getenv("VELMAR_EXPECT_BACKEND");
    if (expected) {
        EXPECT_STREQ(chosen.name, expected);
    } else {
#if VELMAR_HAVE_LIBFTDI
        // Without a vendor library the open-source driver serves.
        EXPECT_STREQ(chosen.name, VendorBackend() ? "vendor" : "libftdi1");
#else
        // Without either there is no driver, and the front ends are told why.
        EXPECT_STREQ(chosen.name, VendorBackend() ? "vendor" : "none");
        EXPECT_EQ(HardwareProblem().empty(), VendorBackend() != nullptr);
#endif
    }
#if VELMAR_HAVE_LIBFTDI
    if (std::string(chosen.name) == "libftdi1") {
        EXPECT_EQ(&chosen, &FtdiBackend());
    }
#endif
    EXPECT_EQ(&chosen, &HardwareBackend()); // loaded once
}

} // namespace
} // namespace velmar

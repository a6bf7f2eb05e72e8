// The wrapper routines: calls, labels, status texts and the name buffer.

#include <gtest/gtest.h>

#include "LinkRig.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar {
namespace {

using test::Fake;
using test::LinkRig;

TEST(D2XXStatusText, SuffixesAndEmptyBoxForUnknownCodes) {
    EXPECT_EQ(D2XXUnit::StatusText("FT_Write", 1), "FT_Write - Invalid Handle...");
    EXPECT_EQ(D2XXUnit::StatusText("FT_Close", 2), "FT_Close - Device Not Found....");
    EXPECT_EQ(D2XXUnit::StatusText("X", 3), "X - Device Not Opened...");
    EXPECT_EQ(D2XXUnit::StatusText("X", 4), "X - General IO Error...");
    EXPECT_EQ(D2XXUnit::StatusText("X", 5), "X - Insufficient Resources...");
    EXPECT_EQ(D2XXUnit::StatusText("X", 6), "X - Invalid Parameter ...");
    EXPECT_EQ(D2XXUnit::StatusText("X", 7), "");
    EXPECT_EQ(D2XXUnit::StatusText("X", 0xFFFFFFFFu), "");

    LinkRig rig;
    rig.d2xx.ReportDriverStatus("FT_Write", 0);
    EXPECT_TRUE(rig.panel.boxes.empty());

    Fake().status["FT_Write"] = FT_INVALID_HANDLE;
    rig.d2xx.WriteTxBuffer(8);
    Fake().status["FT_Write"] = 7;
    rig.d2xx.WriteTxBuffer(8);
    ASSERT_EQ(rig.panel.boxes.size(), 2u);
    EXPECT_EQ(rig.panel.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(rig.panel.boxes[0].text, "FT_Write - Invalid Handle...");
    EXPECT_EQ(rig.panel.boxes[1].kind, BoxKind::Error);
    EXPECT_EQ(rig.panel.boxes[1].text, "");
}

TEST(D2XXRoutines, EachRoutineNamesItselfInItsBox) {
    LinkRig rig;
    for (const char* f : {"FT_ListDevices", "FT_OpenEx", "FT_Close", "FT_ResetDevice",
                          "FT_SetTimeouts", "FT_GetQueueStatus", "FT_Read", "FT_SetLatencyTimer"})
        Fake().status[f] = FT_DEVICE_NOT_FOUND;
    EXPECT_EQ(rig.d2xx.GetFTDeviceCount(), FT_DEVICE_NOT_FOUND);
    rig.d2xx.GetFTDeviceSerialNo(0);
    rig.d2xx.GetFTDeviceDescription(0);
    EXPECT_EQ(rig.d2xx.Open_USB_Device_By_Serial_Number(""), FT_DEVICE_NOT_FOUND);
    rig.d2xx.CloseDevice();
    rig.d2xx.ResetDevice();
    rig.d2xx.SetDeviceTimeouts(40, 0);
    rig.d2xx.SetDeviceLatency(2);
    // Each of these finds the bridge gone, after which nothing is asked of
    // it: the next one is let through to name itself.
    rig.d2xx.Gone = false;
    rig.d2xx.GetRxQueueStatus();
    rig.d2xx.Gone = false;
    rig.d2xx.ReadRxBuffer(8);
    std::vector<std::string> texts;
    for (const auto& b : rig.panel.boxes)
        texts.push_back(b.text);
    const std::string s = " - Device Not Found....";
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "GetFTDeviceCount" + s, "GetFTDeviceSerialNo" + s,
                         "GetFTDeviceDescription" + s, "Open_USB_Device_By_Serial_Number" + s,
                         "FT_Close" + s, "FT_ResetDevice" + s, "FT_SetTimeouts" + s,
                         "FT_SetLatencyTimer" + s, "FT_GetQueueStatus" + s, "FT_Read" + s}));
    // A failed listing leaves the listed text alone.
    EXPECT_EQ(rig.d2xx.DeviceString, "");
}

TEST(D2XXRoutines, ListingAndCountCalls) {
    LinkRig rig;
    VirtualProgrammer::Instance().SetDeviceCount(0);
    EXPECT_EQ(rig.d2xx.GetFTDeviceCount(), FT_OK);
    EXPECT_EQ(rig.d2xx.DeviceCount, 0);
    EXPECT_TRUE(rig.panel.boxes.empty());

    VirtualProgrammer::Instance().SetDeviceCount(2);
    rig.d2xx.GetFTDeviceCount();
    EXPECT_EQ(rig.d2xx.DeviceCount, 2);
    rig.d2xx.GetFTDeviceSerialNo(1);
    EXPECT_EQ(rig.d2xx.DeviceString, "FT4Q7Z2K");
    rig.d2xx.GetFTDeviceDescription(0);
    EXPECT_EQ(rig.d2xx.DeviceString, "Brindle Programmer");
    EXPECT_EQ(Fake().listFlags,
              (std::vector<DWORD>{0x80000000u, 0x80000000u, 0x40000001u, 0x40000002u}));
    EXPECT_EQ(Fake().listIndexes, (std::vector<std::uintptr_t>{1, 0}));
}

TEST(D2XXNameBuffer, FortyNineCharacterLimit) {
    LinkRig rig;
    const std::string sixty(60, 'S');
    rig.d2xx.Open_USB_Device_By_Serial_Number(sixty);
    rig.d2xx.Open_USB_Device_By_Serial_Number("");
    rig.d2xx.Open_USB_Device_By_Serial_Number("AB12");
    EXPECT_EQ(Fake().openSerials, (std::vector<std::string>{std::string(49, 'S'), "", "AB12"}));
    EXPECT_EQ(rig.d2xx.NameBuffer[0], 'A');
    EXPECT_EQ(rig.d2xx.NameBuffer[4], 0);

    // A listed text of 49 characters fills the buffer to its last byte.
    Fake().listedText = std::string(48, 'x') + "Z";
    rig.d2xx.GetFTDeviceSerialNo(0);
    EXPECT_EQ(rig.d2xx.DeviceString, Fake().listedText);
    EXPECT_EQ(rig.d2xx.NameBuffer[48], 'Z');
    EXPECT_EQ(rig.d2xx.NameBuffer[49], 0);

    // A driver description longer than the buffer is cut, not overrun.
    Fake().listedText = std::string(49, 'd') + "TAIL-BEYOND-THE-BUFFER";
    rig.d2xx.GetFTDeviceDescription(0);
    EXPECT_EQ(rig.d2xx.DeviceString, std::string(49, 'd'));

    // NameBufferToString always stops at the last byte.
    rig.d2xx.NameBuffer.fill('q');
    EXPECT_EQ(rig.d2xx.NameBufferToString(), std::string(49, 'q'));
}

TEST(D2XXTransfers, WriteAndReadMoveBytesAndCountThem) {
    LinkRig rig;
    rig.SetPacket({1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(rig.d2xx.WriteTxBuffer(9), 9u);
    ASSERT_EQ(Fake().writes.size(), 1u);
    EXPECT_EQ(Fake().writes[0], (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // Never past the transmit buffer. (A short count: ShortWritesTest.cpp.)
    EXPECT_EQ(rig.d2xx.WriteTxBuffer(40000), 32768u);

    Fake().Queue({0xA1, 0xA2, 0xA3});
    EXPECT_EQ(rig.d2xx.GetRxQueueStatus(), FT_OK);
    EXPECT_EQ(rig.d2xx.RxQueueCount, 3u);
    EXPECT_EQ(rig.d2xx.ReadRxBuffer(32768), 3u);
    EXPECT_EQ(rig.d2xx.ReplyBuffer[0], 0xA1);
    EXPECT_EQ(rig.d2xx.ReplyBuffer[2], 0xA3);
    Fake().Queue({0xB1});
    EXPECT_EQ(rig.d2xx.ReadRxBuffer(8, 2), 1u);
    EXPECT_EQ(rig.d2xx.ReplyBuffer[2], 0xB1);
    EXPECT_EQ(rig.d2xx.ReadRxBuffer(8, 32768), 0u);
}

} // namespace
} // namespace velmar

// The window's captions made from the core's facts.

#include <gtest/gtest.h>

#include "ui/Captions.h"

namespace velmar::ui {
namespace {

TEST(Captions, QuitShowsFourDigitsAndFiveForALoad) {
    EXPECT_EQ(QuitCaption(ProgressOf::Device, 0x3FF), "&Quit = 03FF");
    EXPECT_EQ(QuitCaption(ProgressOf::OperationStart, 0), "&Quit = 0000");
    EXPECT_EQ(QuitCaption(ProgressOf::Device, 0x12345), "&Quit = 12345");
    EXPECT_EQ(QuitCaption(ProgressOf::FirmwareRecord, 0x8797), "&Quit = 8797");
    EXPECT_EQ(QuitCaption(ProgressOf::FileLoad, 0x10), "&Quit = 00010");
    EXPECT_EQ(QuitCaption(ProgressOf::FileLoad, 0x100), "&Quit = 00100");
}

TEST(Captions, SettingsButtons) {
    EXPECT_EQ(ChecksumCaption(0x0000), "CheckSum=0000");
    EXPECT_EQ(ChecksumCaption(0xFC00), "CheckSum=FC00");
    EXPECT_EQ(AutoVerifyCaption(true), "Auto Verify On");
    EXPECT_EQ(AutoVerifyCaption(false), "Auto Verify Off");
    EXPECT_EQ(LastFileCaption("/tmp/a.bin"), "Last File Loaded in Buffer=/tmp/a.bin");
    EXPECT_EQ(VppCaption(9), "Vpp = 12/3");
    EXPECT_EQ(VppCaption(0), "");
    EXPECT_EQ(VppCaption(11), "");
    AddressWindow w;
    w.BufferStart = 0x100;
    w.DeviceStart = 0x20;
    w.DeviceEnd = 0x1FFF;
    w.HexOffset = 0xFFFFF;
    const AddressCaptions c = WindowCaptions(w);
    EXPECT_EQ(c.bufferStart, "Buffer Start=0100");
    EXPECT_EQ(c.deviceStart, "Device Start=0020");
    EXPECT_EQ(c.deviceEnd, "Device End=1FFF");
    EXPECT_EQ(c.hexOffset, "Hex Offset=FFFFF");
}

TEST(Captions, DeviceFromItsRowAndNoDeviceOtherwise) {
    EXPECT_EQ(DeviceCaption(3), "8748 "); // the blank is kept
    EXPECT_EQ(DeviceCaption(9), "87C51H");
    EXPECT_EQ(DeviceCaption(26), "89LS8252");
    EXPECT_EQ(DeviceCaption(kNoDevice), "No Device");
    EXPECT_EQ(DeviceCaption(27), "No Device");
}

TEST(Captions, ProgramPanelGrowsWithTheDeviceCommands) {
    EXPECT_EQ(ProgramPanelHeight(false, false), 27);
    EXPECT_EQ(ProgramPanelHeight(true, false), 48);
    EXPECT_EQ(ProgramPanelHeight(true, true), 68);
}

} // namespace
} // namespace velmar::ui

#include <gtest/gtest.h>

#include "buffer/AddressWindow.h"
#include "buffer/HexText.h"

namespace velmar {
namespace {

TEST(AddressWindowTest, ChecksumSumsDeviceStartToDeviceEnd) {
    DataBuffer buffer;
    AddressWindow w;
    EXPECT_EQ(ComputeChecksumValue(buffer, w), 0x0000);
    w.DeviceEnd = 0x3FF;
    buffer.Fill(0xFF);
    EXPECT_EQ(ComputeChecksumValue(buffer, w), 0xFC00);
    buffer[0] = 0;
    buffer[1] = 1;
    buffer[2] = 2;
    EXPECT_EQ(ComputeChecksumValue(buffer, w), 0xF906);
    w.DeviceStart = 0;
    w.DeviceEnd = 0x7FFF;
    buffer.Fill(0xFF);
    EXPECT_EQ(ComputeChecksumValue(buffer, w), 0x8000);

    // Not shifted by BufferStart.
    buffer.Fill(0);
    for (int p = 0x100; p <= 0x1FF; ++p)
        buffer[p] = 1;
    buffer[0xFF] = 0x80;
    buffer[0x200] = 0x80;
    w.DeviceStart = 0x100;
    w.DeviceEnd = 0x1FF;
    w.BufferStart = 0x4000;
    EXPECT_EQ(ComputeChecksumValue(buffer, w), 0x100);
    w.DeviceStart = 0x200;
    EXPECT_EQ(ComputeChecksumValue(buffer, w), 0); // empty range

    // No device: the range reaches past the buffer and stops at its end.
    w.DeviceStart = 0;
    w.DeviceEnd = 0xFFFFF;
    buffer.Fill(1);
    EXPECT_EQ(ComputeChecksumValue(buffer, w), 0); // 65,536 ones wrap to 0
}

TEST(AddressWindowTest, ClampRepairsTheWindow) {
    AddressWindow w;
    w.DeviceLimit = 0x3FF;
    w.DeviceEnd = 0x3FF;
    w.BufferStart = 0xFFFFF;
    ClampWindowValues(w);
    EXPECT_EQ(w.BufferStart, 0);
    EXPECT_EQ(HexText(w.BufferStart, 4), "0000");
    EXPECT_EQ(HexText(w.DeviceEnd, 4), "03FF");

    w.BufferStart = 0xFFC00;
    ClampWindowValues(w);
    EXPECT_EQ(w.BufferStart, 0xFFC00);

    w.BufferStart = 0x123456;
    w.DeviceEnd = 0;
    ClampWindowValues(w);
    EXPECT_EQ(w.BufferStart, 0xFFFFF);

    w.DeviceStart = 0x500;
    w.DeviceEnd = 0x7FF;
    w.HexOffset = 0x1234567;
    ClampWindowValues(w);
    EXPECT_EQ(w.DeviceEnd, 0x3FF);
    EXPECT_EQ(w.DeviceStart, 0x3FF);
    EXPECT_EQ(w.HexOffset, 0x1234567); // not touched
    EXPECT_EQ(HexText(0x12345, 4), "12345");
}

} // namespace
} // namespace velmar

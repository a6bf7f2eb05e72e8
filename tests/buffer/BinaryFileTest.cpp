#include <gtest/gtest.h>

#include <cstring>

#include "buffer/BinaryFile.h"
#include "tests/support/TempDir.h"

namespace velmar {
namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

class BinaryFileTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    DataBuffer buffer;
    AddressWindow window;
};

TEST_F(BinaryFileTest, LoadLandsAtBufferStartAndLeavesTheRest) {
    buffer.Fill(0xEE);
    const std::string path = dir.File("in.bin");
    test::WriteFile(path, Pattern(16));
    window.BufferStart = 0x100;
    window.DeviceStart = 0x40; // plays no part
    window.HexOffset = 0x22;
    const BinaryFileResult r = LoadBinaryFile(path, buffer, window);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 16);
    EXPECT_EQ(r.droppedBytes, 0);
    EXPECT_EQ(buffer[0xFF], 0xEE);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(buffer[0x100 + i], (i * 7 + 3) & 0xFF);
    EXPECT_EQ(buffer[0x110], 0xEE);

    test::WriteFile(path, "");
    const BinaryFileResult empty = LoadBinaryFile(path, buffer, window);
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.bytes, 0);
    EXPECT_EQ(buffer[0x100], 3);
}

TEST_F(BinaryFileTest, BytesWithoutRoomAreDroppedAndCounted) {
    const std::string path = dir.File("long.bin");
    // More than two reading blocks and more than the buffer holds.
    test::WriteFile(path, Pattern(70000));
    LoadBinaryFile(path, buffer, window);
    const BinaryFileResult r = LoadBinaryFile(path, buffer, window);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 65537); // read up to one byte past the buffer
    EXPECT_EQ(r.droppedBytes, 70000 - 65536);
    EXPECT_FALSE(r.countUnknown); // a regular file tells its size
    EXPECT_EQ(buffer[0xFFFF], (0xFFFF * 7 + 3) & 0xFF);
    EXPECT_EQ(buffer[40000], (40000 * 7 + 3) & 0xFF); // from the second block

    DataBuffer fresh;
    test::WriteFile(path, Pattern(32));
    window.BufferStart = 0xFFF0;
    const BinaryFileResult tail = LoadBinaryFile(path, fresh, window);
    EXPECT_EQ(tail.droppedBytes, 16);
    EXPECT_EQ(fresh[0xFFFF], (15 * 7 + 3) & 0xFF);
    EXPECT_EQ(fresh[0], 0); // nothing wrapped round

    window.BufferStart = 0xFFFFF; // possible from the settings file
    const BinaryFileResult none = LoadBinaryFile(path, fresh, window);
    EXPECT_EQ(none.droppedBytes, 32);
}

TEST_F(BinaryFileTest, EndlessInputEndsOneBytePastTheBuffer) {
    buffer.Fill(0xEE);
    window.BufferStart = 0x100;
    const BinaryFileResult r = LoadBinaryFile("/dev/zero", buffer, window);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 0x10000 - 0x100 + 1);
    EXPECT_EQ(r.droppedBytes, 1);
    EXPECT_TRUE(r.countUnknown);
    EXPECT_EQ(buffer[0xFF], 0xEE);
    EXPECT_EQ(buffer[0x100], 0);
    EXPECT_EQ(buffer[0xFFFF], 0);

    // A file exactly as long as the room left is not cut.
    const std::string path = dir.File("fits.bin");
    test::WriteFile(path, Pattern(0x10000 - 0x100));
    const BinaryFileResult fits = LoadBinaryFile(path, buffer, window);
    EXPECT_EQ(fits.bytes, 0x10000 - 0x100);
    EXPECT_EQ(fits.droppedBytes, 0);
    EXPECT_FALSE(fits.countUnknown);
}

TEST_F(BinaryFileTest, SaveWritesZeroToDeviceEnd) {
    for (int i = 0; i < kBufferSize; ++i)
        buffer[i] = static_cast<std::uint8_t>(i * 13);
    const std::string path = dir.File("out.bin");
    window.DeviceEnd = 0x3FF;
    window.BufferStart = 0x200;
    window.DeviceStart = 0x100;
    BinaryFileResult r = SaveBinaryFile(path, buffer, window);
    EXPECT_TRUE(r.ok);
    std::string saved = test::ReadFile(path);
    ASSERT_EQ(saved.size(), 1024u);
    EXPECT_EQ(0, std::memcmp(saved.data(), buffer.data(), 1024));

    // Reloaded with BufferStart 0 it reproduces the range; with another it lands shifted.
    DataBuffer back;
    window.BufferStart = 0;
    LoadBinaryFile(path, back, window);
    EXPECT_EQ(0, std::memcmp(back.data(), buffer.data(), 1024));
    window.BufferStart = 0x10;
    LoadBinaryFile(path, back, window);
    EXPECT_EQ(0, std::memcmp(back.data() + 0x10, buffer.data(), 1024));

    window.DeviceEnd = 0xFFFFF;
    r = SaveBinaryFile(path, buffer, window);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.bytes, 65536);
    EXPECT_EQ(r.droppedBytes, 0xF0000);
    EXPECT_EQ(test::ReadFile(path).size(), 65536u);

    window.DeviceEnd = 0;
    EXPECT_TRUE(SaveBinaryFile(path, buffer, window).ok);
    EXPECT_EQ(test::ReadFile(path).size(), 1u);
}

TEST_F(BinaryFileTest, FileErrorsAreReturnedAndTheBufferUntouched) {
    buffer.Fill(0x42);
    const BinaryFileResult missing = LoadBinaryFile(dir.File("missing.bin"), buffer, window);
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.systemError.empty());
    const BinaryFileResult folder = LoadBinaryFile(dir.Path().string(), buffer, window);
    EXPECT_FALSE(folder.ok);
    EXPECT_EQ(buffer[0], 0x42);
    EXPECT_EQ(buffer[0xFFFF], 0x42);

    const std::string path = dir.File("keep.bin");
    test::WriteFile(path, "old");
    window.DeviceEnd = 0xFF;
    EXPECT_FALSE(SaveBinaryFile(dir.File("no/such/dir.bin"), buffer, window).ok);
    EXPECT_FALSE(SaveBinaryFile(dir.Path().string(), buffer, window).ok);
    EXPECT_EQ(test::ReadFile(path), "old");
}

TEST_F(BinaryFileTest, SavedAndUnsavedLengths) {
    EXPECT_EQ(SavedLength(0), 1);
    EXPECT_EQ(SavedLength(0x3FF), 0x400);
    EXPECT_EQ(SavedLength(0xFFFF), 0x10000);
    EXPECT_EQ(SavedLength(0x10000), 0x10000);
    EXPECT_EQ(SavedLength(-1), 0);
    EXPECT_EQ(UnsavedLength(0xFFFF), 0);
    EXPECT_EQ(UnsavedLength(0x10000), 1);
    EXPECT_EQ(UnsavedLength(0xFFFFF), 0xF0000);
}

} // namespace
} // namespace velmar

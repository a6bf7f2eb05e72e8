// The firmware and chip model on its own: addresses, reads, programming,
// erase, lock bits and the firmware update.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "VirtualHost.h"
#include "tests/support/ProcessRunner.h"
#include "virtual/FirmwareImage.h"
#include "virtual/SocketChip.h"

namespace velmar::test {
namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 37 + seed) ^ (i >> 8));
    return bytes;
}

TEST(VirtualAddressLines, EachLineBitReachesItsAddressBit) {
    VirtualHost host;
    V().SeatChip(4, 0x8000);
    // One marked cell per address bit; every other cell zero.
    for (int bit = 0; bit < 15; ++bit) {
        std::fill(V().Chip().begin(), V().Chip().end(), 0x00);
        const std::uint32_t address = 1u << bit;
        V().Chip()[address] = 0x5A;
        const std::vector<std::uint8_t> data = host.Read875X(4, address, 1);
        ASSERT_EQ(1u, data.size());
        EXPECT_EQ(0x5A, data[0]) << "address bit " << bit;
        EXPECT_EQ(static_cast<long>(address), V().LastReadAddress()) << "address bit " << bit;
    }
    // All lines at once: 0x7FFF.
    V().Chip()[0x7FFF] = 0xC3;
    EXPECT_EQ(0xC3, host.Read875X(4, 0x7FFF, 1)[0]);
    EXPECT_TRUE(V().Faults().empty()) << V().Faults().front();
}

TEST(VirtualAddressLines, WrongLatchByteShowsAsWrongData) {
    VirtualHost host;
    V().SeatChip(4, 0x8000);
    for (std::uint32_t a = 0; a < 0x8000; ++a)
        V().Chip()[a] = static_cast<std::uint8_t>(a >> 8);
    // Bit 12 comes from control bit 1 being clear; bit 4 of byte 3 is a
    // mode line, and with it set the part stops driving the bus.
    host.SetLatches(0x00, 0x00, 0xF5, 0x3F, 0xB0);
    EXPECT_EQ(0x10, host.ReadBlock(4, 0x00, 0x00, 1)[0]);
    host.SetLatches(0x00, 0x10, 0xF7, 0x3F, 0xB0);
    EXPECT_EQ(0xFF, host.ReadBlock(4, 0x00, 0x10, 1)[0]);
    EXPECT_EQ(1u, V().Faults().size());
    // Bit 14 only from byte 6 bit 0.
    host.SetLatches(0x00, 0x00, 0xF7, 0x3F, 0xB1);
    EXPECT_EQ(0x40, host.ReadBlock(4, 0x00, 0x00, 1)[0]);
    // The block counts on across the lines: 0x0FFF then 0x1000.
    host.SetAddress875X(0x0FFF, 0x00, 0xF7);
    const std::vector<std::uint8_t> two = host.ReadBlock(4, 0xFF, host.high, 2);
    EXPECT_EQ(0x0F, two[0]);
    EXPECT_EQ(0x10, two[1]);
}

TEST(VirtualAddressLines, LinesAboveThePartAreIgnored) {
    VirtualHost host;
    V().SeatChip(4, 0x2000); // 87C52H: A13 and A14 not connected
    V().Chip()[0x0123] = 0x77;
    EXPECT_EQ(0x77, host.Read875X(4, 0x6123, 1)[0]);
    EXPECT_EQ(0x0123, V().LastReadAddress());
    // 89S53, 12K: addresses 0x3000..0x3FFF have no cell.
    V().SeatChip(6, 0x3000);
    V().Chip()[0x2FFF] = 0x00;
    const std::vector<std::uint8_t> edge = host.Read875X(6, 0x2FFF, 2);
    EXPECT_EQ(0x00, edge[0]);
    EXPECT_EQ(0xFF, edge[1]);
}

TEST(VirtualAddressLines, ReadMismatchesAreReported) {
    VirtualHost host;
    V().SeatChip(4, 0x2000);
    host.SetAddress875X(0x0800, 0x00, 0xF7);
    host.ReadBlock(4, 0x00, 0x00, 4); // byte 3 should be 0x08
    ASSERT_EQ(1u, V().Faults().size());
    EXPECT_NE(std::string::npos, V().Faults()[0].find("high/mode byte 00"));
    // In program mode the part does not drive the bus.
    V().ClearTrace();
    V().Chip()[0] = 0x12;
    host.SetAddress875X(0, 0x40, 0xFF);
    EXPECT_EQ(0xFF, host.ReadBlock(4, 0x00, host.high, 1)[0]);
    EXPECT_FALSE(V().Faults().empty());
}

TEST(VirtualReads, FamiliesOneAndTwoCountFromTheLowByte) {
    VirtualHost host;
    V().SeatChip(2, 0x0800);
    V().Chip() = Pattern(0x800, 3);
    host.SetVpp(0x1F, 0xB0);
    host.Setup874X(0x1F, 0xB0);
    const std::vector<std::uint8_t> all = host.ReadBlock(2, 0x00, 0x00, 2048);
    EXPECT_EQ(V().Chip(), all);
    const std::vector<std::uint8_t> from10 = host.ReadBlock(2, 0x10, 0x00, 16);
    EXPECT_TRUE(std::equal(from10.begin(), from10.end(), V().Chip().begin() + 0x10));
    // Without the 874X set-up the bus floats.
    host.SetLatches(0, 0, 0xF7, 0x3F, 0xB0);
    EXPECT_EQ(std::vector<std::uint8_t>(4, 0xFF), host.ReadBlock(2, 0x00, 0x00, 4));
    EXPECT_EQ(1u, V().Faults().size());
}

TEST(VirtualReads, FamilyZeroFloatsHighAndTouchesNothing) {
    VirtualHost host;
    V().SeatChip(4, 0x1000);
    std::fill(V().Chip().begin(), V().Chip().end(), 0x00);
    EXPECT_EQ(std::vector<std::uint8_t>(2048, 0xFF), host.ReadBlock(0, 0x00, 0x00, 2048));
    EXPECT_EQ(-1, V().LastReadAddress());
    EXPECT_TRUE(V().Faults().empty());
}

TEST(VirtualReads, PartAppearsWhenTheHostNamesAFamily) {
    VirtualHost host;
    EXPECT_EQ(0, V().ChipFamily());
    host.Read875X(5, 0, 4);
    EXPECT_EQ(5, V().ChipFamily());
    EXPECT_EQ(0x5000u, V().ChipSize());
    EXPECT_EQ(0xFF, V().ErasedValue());
    host.Setup874X();
    host.ReadBlock(2, 0, 0, 4);
    EXPECT_EQ(2, V().ChipFamily());
    EXPECT_EQ(0x00, V().ErasedValue());
    EXPECT_EQ(std::vector<std::uint8_t>(0x800, 0x00), V().Chip());
}

TEST(VirtualPrograms, EveryBlockFamilyProgramsAndReadsBack) {
    for (int family = 2; family <= 6; ++family) {
        VirtualHost host;
        V().SeatChip(family, 0x1000);
        const std::vector<std::uint8_t> data = Pattern(256, static_cast<unsigned>(family));
        if (family == 2) {
            host.Setup874X();
            EXPECT_EQ(0, host.ProgramBlock(2, 0x0300, data)) << family;
            const std::vector<std::uint8_t> all = host.ReadBlock(2, 0x00, 0x00, 0x400);
            ASSERT_EQ(0x400u, all.size());
            EXPECT_TRUE(std::equal(data.begin(), data.end(), all.begin() + 0x300));
        } else {
            EXPECT_EQ(0, host.Program875X(family, 0x0300, data)) << family;
            EXPECT_EQ(data, host.Read875X(family, 0x0300, 256)) << family;
        }
        EXPECT_TRUE(std::equal(data.begin(), data.end(), V().Chip().begin() + 0x300)) << family;
        EXPECT_TRUE(V().Faults().empty()) << family << ": " << V().Faults().front();
    }
}

TEST(VirtualPrograms, EpromBitsOnlyMoveAwayFromErased) {
    VirtualHost host;
    V().SeatChip(4, 0x1000);
    std::vector<std::uint8_t> block(256, 0xFF);
    block[0] = 0xF0;
    EXPECT_EQ(0x00, host.Program875X(4, 0, block));
    block[0] = 0x0F; // would need bits 0-3 set again
    block[1] = 0x3C;
    EXPECT_EQ(0xFF, host.Program875X(4, 0, block));
    EXPECT_EQ(0x00, V().Chip()[0]); // what the pulses could do
    EXPECT_EQ(0x3C, V().Chip()[1]); // the rest of the block still programmed

    // 874X: erased 0x00, bits can only be set.
    V().SeatChip(2, 0x400);
    host.Setup874X();
    std::vector<std::uint8_t> low(256, 0x00);
    low[5] = 0x0F;
    EXPECT_EQ(0x00, host.ProgramBlock(2, 0, low));
    low[5] = 0xF0;
    EXPECT_EQ(0xFF, host.ProgramBlock(2, 0, low));
    EXPECT_EQ(0xFF, V().Chip()[5]);

    // Flash without an erase: the same rule.
    V().SeatChip(5, 0x1000);
    V().Chip()[0x10] = 0x00;
    std::vector<std::uint8_t> ones(256, 0xFF);
    EXPECT_EQ(0xFF, host.Program875X(5, 0, ones));
}

TEST(VirtualPrograms, InjectedFailingBlockStopsAtItsAddress) {
    VirtualOptions options;
    options.FailBlock = 0x0110;
    VirtualHost host(options);
    V().SeatChip(5, 0x2000);
    const std::vector<std::uint8_t> zeros(256, 0x00);
    EXPECT_EQ(0x00, host.Program875X(5, 0x0000, zeros));
    EXPECT_EQ(0xFF, host.Program875X(5, 0x0100, zeros));
    EXPECT_EQ(0x00, V().Chip()[0x010F]);
    EXPECT_EQ(0xFF, V().Chip()[0x0110]);
    EXPECT_EQ(0xFF, V().Chip()[0x01FF]);
}

TEST(VirtualPrograms, BlockOutsideProgramModeOrForFamilyOneFails) {
    VirtualHost host;
    V().SeatChip(4, 0x1000);
    host.SetAddress875X(0, 0x00, 0xF7); // read mode
    EXPECT_EQ(0xFF, host.ProgramBlock(4, 0, std::vector<std::uint8_t>(256, 0x00)));
    EXPECT_EQ(0xFF, V().Chip()[0]);
    EXPECT_EQ(0xFF, host.ProgramBlock(1, 0, std::vector<std::uint8_t>(256, 0x00)));
    EXPECT_EQ(2u, V().Faults().size());
    // A ProgramBlock head alone never gets an answer.
    host.tx[0] = 0x41;
    host.Send(8);
    EXPECT_EQ(0u, host.Queued());
}

TEST(VirtualPrograms, ByteWiseProgrammingOnThePulse) {
    VirtualHost host;
    V().SeatChip(1, 0x400);
    const std::uint8_t v1 = 0x0F;
    host.SetVpp(v1, 0xB0);
    host.Setup874X();
    host.WriteLatch(0x5F, v1 & 0xF7);
    auto programByte = [&](std::uint16_t address, std::uint8_t value) {
        host.WriteLatch(0x0F, 0xA8);
        host.WriteLatch(0x2F, static_cast<std::uint8_t>(address >> 8));
        host.WriteLatch(0x4F, static_cast<std::uint8_t>(address));
        host.WriteLatch(0x2F, static_cast<std::uint8_t>((address >> 8) | 0x10));
        host.WriteLatch(0x4F, value);
        host.WriteLatch(0x0F, 0x28);
        host.WriteLatch(0x3F, 0x90);
        host.WriteLatch(0x5F, v1 & 0xF5);
        host.WriteLatch(0x5F, v1 & 0xF7);
        host.WriteLatch(0x3F, 0xB0);
    };
    programByte(0x0000, 0x12);
    programByte(0x0201, 0xA5);
    programByte(0x03FF, 0x7E);
    EXPECT_EQ(0x12, V().Chip()[0x000]);
    EXPECT_EQ(0xA5, V().Chip()[0x201]);
    EXPECT_EQ(0x7E, V().Chip()[0x3FF]);
    EXPECT_EQ(0x00, V().Chip()[0x001]);
    EXPECT_TRUE(V().Faults().empty());
    host.Setup874X();
    EXPECT_EQ(0xA5, host.ReadBlock(1, 0x00, 0x00, 0x400)[0x201]);

    // The pulse with the program lines wrong programs nothing.
    host.WriteLatch(0x4F, 0xFF);
    host.WriteLatch(0x5F, v1 & 0xF5);
    EXPECT_EQ(0x12, V().Chip()[0x000]);
    EXPECT_EQ(1u, V().Faults().size());
}

// The flash erase as the erase button sends it.
void EraseSequence(VirtualHost& host, int family) {
    host.WriteLatch(0x0F, 0x40);
    host.WriteLatch(0x3F, 0xFF);
    host.SetLatches(0xAA, 0x40, 0xFF, 0x3F, 0x30);
    host.WriteLatch(0x4F, 0x55);
    host.WriteLatch(0x3F, 0xBF);
    host.WriteLatch(0x3F, 0x3F);
    host.WriteLatch(0x3F, 0xBF);
    host.WriteLatch(0x3F, 0xFF);
    host.SetLatches(0x00, 0x10, family == 6 ? 0xB7 : 0xF7, 0x3F, 0x30);
    host.WriteLatch(0x3F, 0xBA);
    host.WriteLatch(0x3F, 0x3A);
    host.WriteLatch(0x3F, 0xBA);
    host.WriteLatch(0x3F, 0xF7);
}

TEST(VirtualErase, FlashEraseSetsEveryCellAndClearsLocks) {
    for (int family : {5, 6}) {
        VirtualHost host;
        V().SeatChip(family, 0x2000);
        std::fill(V().Chip().begin(), V().Chip().end(), 0x00);
        V().SetLockBits(LockBit1 | LockBit3);
        EraseSequence(host, family);
        EXPECT_EQ(std::vector<std::uint8_t>(0x2000, 0xFF), V().Chip()) << family;
        EXPECT_EQ(0, V().LockBits()) << family;
        EXPECT_TRUE(V().Faults().empty()) << family;
    }
    // An EPROM takes no flash erase.
    VirtualHost host;
    V().SeatChip(4, 0x1000);
    V().Chip()[7] = 0x00;
    EraseSequence(host, 4);
    EXPECT_EQ(0x00, V().Chip()[7]);
    EXPECT_EQ(1u, V().Faults().size());
}

// Security bit k (1..3) as sent for families 3 to 5.
void LockSequence875X(VirtualHost& host, int bit) {
    static const std::uint8_t mode[] = {0x50, 0x50, 0x10};
    static const std::uint8_t control[] = {0xBF, 0xBA, 0xBE};
    host.SetLatches(0, 0x00, 0xF7, 0x3F, 0xB0);
    host.SetLatches(0, mode[bit - 1], control[bit - 1], 0x3F, 0xB0);
    for (int i = 0; i < 3; ++i) {
        host.Command(0x48);
        EXPECT_EQ(8u, host.Receive(8).size());
    }
    host.WriteLatch(0x3F, 0xF7);
}

void LockSequence89S(VirtualHost& host, int bit) {
    static const std::uint8_t value[] = {0x7F, 0xBF, 0xDF};
    host.SetLatches(0, 0x10, 0xB7, 0x3F, 0x30);
    host.WriteLatch(0x4F, value[bit - 1]);
    host.WriteLatch(0x3F, 0xBE);
    host.Command(0x48);
    EXPECT_EQ(8u, host.Receive(8).size());
    host.WriteLatch(0x3F, 0xF7);
}

TEST(VirtualLockBits, BothSequencesSetTheChosenBit) {
    for (int bit = 1; bit <= 3; ++bit) {
        VirtualHost host;
        V().SeatChip(4, 0x1000);
        LockSequence875X(host, bit);
        EXPECT_EQ(1 << (bit - 1), V().LockBits()) << bit;
        V().SeatChip(6, 0x2000);
        LockSequence89S(host, bit);
        EXPECT_EQ(1 << (bit - 1), V().LockBits()) << bit;
        EXPECT_TRUE(V().Faults().empty()) << V().Faults().front();
    }
    // The 89Sxx sequence on an 87C51 sets nothing.
    VirtualHost host;
    V().SeatChip(4, 0x1000);
    LockSequence89S(host, 1);
    EXPECT_EQ(0, V().LockBits());
    EXPECT_EQ(1u, V().Faults().size());
}

TEST(VirtualLockBits, BitsTwoAndThreeHideTheContents) {
    VirtualHost host;
    V().SeatChip(4, 0x1000);
    V().Chip()[0] = 0x12;
    V().SetLockBits(LockBit1);
    EXPECT_EQ(0x12, host.Read875X(4, 0, 1)[0]);
    V().SetLockBits(LockBit3);
    EXPECT_EQ(0xFF, host.Read875X(4, 0, 1)[0]);
    V().SetLockBits(LockBit2);
    EXPECT_EQ(0xFF, host.Read875X(4, 0, 1)[0]);
    // Lock bit 2 also stops programming.
    EXPECT_EQ(0xFF, host.Program875X(4, 0x100, std::vector<std::uint8_t>(256, 0x00)));
    EXPECT_EQ(0xFF, V().Chip()[0x100]);
}

// The update as the host runs it: every record but the last, the checksum
// query, the exit.
std::vector<std::uint8_t> RunUpdate(VirtualHost& host, const std::vector<std::uint8_t>& image) {
    const std::size_t records = (image.size() - 16) / 74;
    for (std::size_t r = 0; r + 1 < records; ++r) {
        std::vector<std::uint8_t> record(image.begin() + 16 + 74 * r,
                                         image.begin() + 16 + 74 * (r + 1));
        EXPECT_EQ(74u, host.SendRaw(record));
        EXPECT_EQ(8u, host.Receive(8).size());
    }
    host.SendRaw({0xAA, 0x43, 0, 0, 0, 0, 0, 0xED});
    std::vector<std::uint8_t> reply = host.Receive(8);
    host.SendRaw({0x52, 0, 0, 0, 0, 0, 0, 0x52});
    return reply;
}

TEST(VirtualFirmwareUpdate, GoodUpdateAnswersTheFileChecksumAndTakesItsVersion) {
    VirtualOptions options;
    options.FirmwareMinor = 22;
    VirtualHost host(options);
    const std::vector<std::uint8_t> image = MakeFirmwareImage(1, 24, 20);
    ASSERT_EQ(16u + 74u * 22u, image.size());
    EXPECT_EQ(0, std::memcmp(image.data() + 2, "Update File\x06", 12));
    const std::vector<std::uint8_t> reply = RunUpdate(host, image);
    ASSERT_EQ(8u, reply.size());
    EXPECT_EQ(image[14], reply[2]);
    EXPECT_EQ(image[15], reply[3]);
    EXPECT_EQ(0x0118, V().FirmwareVersion());
    host.Command(0x56);
    const std::vector<std::uint8_t> version = host.Receive(8);
    EXPECT_EQ(1, version[1]);
    EXPECT_EQ(24, version[2]);
    EXPECT_EQ(0, version[6]);
    EXPECT_TRUE(V().Faults().empty());
}

TEST(VirtualFirmwareUpdate, BadUpdatesKeepTheOldFirmware) {
    VirtualOptions options;
    options.FirmwareMinor = 22;
    options.BadUpdate = true;
    VirtualHost host(options);
    const std::vector<std::uint8_t> image = MakeFirmwareImage(1, 23, 8);
    std::vector<std::uint8_t> reply = RunUpdate(host, image);
    EXPECT_NE((image[14] << 8) | image[15], (reply[2] << 8) | reply[3]);
    EXPECT_EQ(0x0116, V().FirmwareVersion());

    // A record spoilt on the way (byte 7 wrong) is dropped.
    VirtualHost second(VirtualOptions{});
    V().SetFirmwareVersion(1, 5);
    std::vector<std::uint8_t> spoilt = image;
    spoilt[16 + 74 * 2 + 7] ^= 0xFF;
    reply = RunUpdate(second, spoilt);
    EXPECT_NE((image[14] << 8) | image[15], (reply[2] << 8) | reply[3]);
    EXPECT_EQ(0x0105, V().FirmwareVersion());
    EXPECT_FALSE(V().Faults().empty());
}

TEST(VirtualFirmwareUpdate, ChecksumIsThePayloadSum) {
    VirtualHost host;
    std::vector<std::uint8_t> record(74, 0);
    record[0] = 0x3A;
    record[7] = 0x3A;
    record[8] = 0x12;
    record[73] = 0xFF;
    host.SendRaw(record);
    host.SendRaw(record);
    EXPECT_EQ(2 * (0x12 + 0xFF), V().UpdateChecksum());
    EXPECT_EQ(2, V().UpdateRecordsReceived());
    // No version record: the exit keeps the running firmware.
    host.SendRaw({0x52, 0, 0, 0, 0, 0, 0, 0x52});
    EXPECT_EQ(0x0117, V().FirmwareVersion());
    EXPECT_EQ(0, V().UpdateChecksum());
}

TEST(VirtualCommands, AcknowledgementsAndFaultsOfThePacketLevel) {
    VirtualHost host;
    host.Command(0x24);
    EXPECT_EQ((std::vector<std::uint8_t>{0x24, 0, 0, 0, 0, 0, 0, 0x24}), host.Receive(8));
    host.Command(0x48);
    std::vector<std::uint8_t> pulse = host.Receive(8);
    EXPECT_EQ(0x48, pulse[0]);
    EXPECT_EQ(0, pulse[6]);
    host.Command(0x56);
    EXPECT_EQ((std::vector<std::uint8_t>{0x56, 1, 23, 0, 0, 0, 0, 0x6E}), host.Receive(8));
    // Commands from 0x80 up are never answered.
    host.SetVpp(0x3F, 0xB0);
    host.SetLatches(0, 0, 0xF7, 0x3F, 0xB0);
    host.WriteLatch(0x3F, 0xF7);
    EXPECT_EQ(0u, host.Queued());
    EXPECT_EQ(1u, V().Faults().size()); // the pulse selected no lock bit
    V().ClearTrace();

    // A wrong checksum byte: recorded, ignored, no reply.
    host.SendRaw({0x56, 0, 0, 0, 0, 0, 0, 0x57});
    EXPECT_EQ(0u, host.Queued());
    ASSERT_EQ(1u, V().Faults().size());
    EXPECT_EQ(
        "packet 7: bad checksum byte 57, expected 56: packet ignored (56 00 00 00 00 00 00 57)",
        V().Faults()[0]);
    // An unknown command: traced, reported, unanswered.
    host.Command(0x33);
    EXPECT_EQ(0u, host.Queued());
    EXPECT_EQ(2u, V().Faults().size());
    EXPECT_EQ("33 3F F7 00 F7 3F B0 4F", V().Trace().back()); // bytes 1..6 as left
}

} // namespace
} // namespace velmar::test

namespace velmar::test {
namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
}

TEST(VirtualFirmwareUpdate, ImageToolWritesWhatTheLibraryBuilds) {
    const std::string path = testing::TempDir() + "fw-tool.bin";
    const std::string tool = VELMAR_MKFIRMWARE;
    ASSERT_EQ(0, RunProcess(tool, {"--records", "3", "1.24", path}));
    EXPECT_EQ(MakeFirmwareImage(1, 24, 3), ReadFile(path));
    ASSERT_EQ(0, RunProcess(tool, {"--bad-checksum", "2.0", path}));
    std::vector<std::uint8_t> spoilt = MakeFirmwareImage(2, 0, 16);
    spoilt[15] ^= 0x01;
    EXPECT_EQ(spoilt, ReadFile(path));
    EXPECT_NE(0, RunProcess(tool, {"1.x", path}));
    EXPECT_NE(0, RunProcess(tool, {"--records", "71", "1.23", path}));
    std::remove(path.c_str());
}

} // namespace
} // namespace velmar::test

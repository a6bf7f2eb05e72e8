#pragma once
// A minimal host for the virtual programmer's tests: it writes packets the
// way the command link does (bytes not set keep the previous packet's value,
// byte 7 the sum of bytes 0..6) and reads replies through the D2XX table.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::test {

inline VirtualProgrammer& V() {
    return VirtualProgrammer::Instance();
}

class VirtualHost {
  public:
    explicit VirtualHost(const VirtualOptions& options = VirtualOptions(), bool open = true) {
        V().Reset(options);
        if (open) {
            char serial[1] = {0};
            EXPECT_EQ(FT_OK, api.OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &handle));
            EXPECT_EQ(FT_OK, api.SetTimeouts(handle, 40, 0));
        }
    }

    // Sends bytes 0..count-1 of the packet buffer after setting the checksum.
    DWORD Send(std::size_t count = 8) {
        unsigned sum = 0;
        for (int i = 0; i < 7; ++i)
            sum += tx[i];
        tx[7] = static_cast<std::uint8_t>(sum);
        DWORD written = 0;
        EXPECT_EQ(FT_OK, api.Write(handle, tx.data(), static_cast<DWORD>(count), &written));
        return written;
    }
    DWORD SendRaw(std::vector<std::uint8_t> bytes) {
        DWORD written = 0;
        EXPECT_EQ(FT_OK,
                  api.Write(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written));
        return written;
    }
    std::vector<std::uint8_t> Receive(DWORD count) {
        std::vector<std::uint8_t> bytes(count);
        DWORD got = 0;
        EXPECT_EQ(FT_OK, api.Read(handle, bytes.data(), count, &got));
        bytes.resize(got);
        return bytes;
    }
    DWORD Queued() {
        DWORD n = 0;
        EXPECT_EQ(FT_OK, api.GetQueueStatus(handle, &n));
        return n;
    }

    void Command(std::uint8_t code) {
        tx[0] = code;
        Send();
    }
    void SetVpp(std::uint8_t v1, std::uint8_t v2) {
        tx[0] = 0x90, tx[1] = v1, tx[2] = v2;
        Send();
    }
    void SetLatches(std::uint8_t low, std::uint8_t high, std::uint8_t control, std::uint8_t v1,
                    std::uint8_t v2) {
        tx[0] = 0x92, tx[1] = 0, tx[2] = low, tx[3] = high, tx[4] = control, tx[5] = v1, tx[6] = v2;
        Send();
    }
    void WriteLatch(std::uint8_t select, std::uint8_t value) {
        tx[0] = 0x94, tx[1] = select, tx[2] = value;
        Send();
    }
    // The 875X address lines as the access sequences encode an address.
    void SetAddress875X(std::uint32_t address, std::uint8_t mode, std::uint8_t control,
                        std::uint8_t v1 = 0x3F, std::uint8_t v2 = 0xB0) {
        const std::uint8_t h = static_cast<std::uint8_t>(address >> 8);
        high = static_cast<std::uint8_t>((h & 0x0F) | mode | ((h & 0x20) ? 0x80 : 0));
        this->control = (h & 0x10) ? (control & 0xFD) : (control | 0x02);
        SetLatches(static_cast<std::uint8_t>(address), high, this->control, v1,
                   static_cast<std::uint8_t>(v2 | ((h & 0x40) ? 1 : 0)));
    }
    // ReadBlock; returns the data bytes after checking the head.
    std::vector<std::uint8_t> ReadBlock(int family, std::uint8_t low, std::uint8_t highMode,
                                        unsigned size) {
        tx[0] = 0x32, tx[1] = static_cast<std::uint8_t>(family), tx[2] = low, tx[3] = highMode;
        tx[4] = 0, tx[5] = static_cast<std::uint8_t>(size >> 8),
        tx[6] = static_cast<std::uint8_t>(size);
        Send();
        std::vector<std::uint8_t> reply = Receive(8 + size);
        EXPECT_EQ(8 + size, reply.size());
        if (reply.size() < 8) return {};
        EXPECT_EQ(0x32, reply[0]);
        EXPECT_EQ(0, reply[6]);
        return std::vector<std::uint8_t>(reply.begin() + 8, reply.end());
    }
    // ReadBlock of an 875X part at `address` after setting its lines.
    std::vector<std::uint8_t> Read875X(int family, std::uint32_t address, unsigned size) {
        SetAddress875X(address, 0x00, family == 6 ? 0xB7 : 0xF7);
        return ReadBlock(family, static_cast<std::uint8_t>(address), high, size);
    }
    // ProgramBlock; returns reply byte 6.
    int ProgramBlock(int family, std::uint32_t address, const std::vector<std::uint8_t>& data,
                     std::uint8_t v1 = 0x3F) {
        tx[0] = 0x41, tx[1] = static_cast<std::uint8_t>(family);
        tx[2] = static_cast<std::uint8_t>(address), tx[3] = static_cast<std::uint8_t>(address >> 8);
        tx[4] = high, tx[5] = control, tx[6] = v1;
        for (std::size_t i = 0; i < 256; ++i)
            tx[8 + i] = i < data.size() ? data[i] : 0xFF;
        EXPECT_EQ(264u, Send(264));
        std::vector<std::uint8_t> reply = Receive(8);
        if (reply.size() != 8) return -1;
        EXPECT_EQ(0x41, reply[0]);
        return reply[6];
    }
    int Program875X(int family, std::uint32_t address, const std::vector<std::uint8_t>& data) {
        SetAddress875X(address, 0x40, 0xFF);
        return ProgramBlock(family, address, data);
    }
    // The 874X read set-up with the 25 V bytes.
    void Setup874X(std::uint8_t v1 = 0x0F, std::uint8_t v2 = 0xB0) {
        WriteLatch(0x3F, 0xF0);
        WriteLatch(0x2F, 0x30);
        WriteLatch(0x0F, 0xA8);
        WriteLatch(0x2F, 0x00);
        WriteLatch(0x3F, 0xB0);
        SetLatches(0x00, 0xA8, 0xB0, v1, v2);
    }

    const D2XXBackend& api = VirtualBackend();
    FT_HANDLE handle = nullptr;
    std::array<std::uint8_t, 264> tx{};
    std::uint8_t high = 0, control = 0;
};

} // namespace velmar::test

#include <gtest/gtest.h>

#include "FakeProgrammer.h"
#include "devices/DeviceOperations.h"
#include "tests/support/TraceFixture.h"

namespace velmar::test {
namespace {

using Lines = std::vector<std::string>;

// The difference lines the report list shows, newest first.
Lines Listed(const RecordingPanel& panel) {
    Lines out;
    for (auto it = panel.differences.rbegin(); it != panel.differences.rend(); ++it)
        out.push_back(DifferenceLine(it->address, it->expected, it->found));
    return out;
}

Lines WithoutIdle(const Lines& trace) {
    Lines out;
    for (const auto& l : trace)
        if (l.rfind("24 ", 0) != 0) out.push_back(l);
    return out;
}

void Pattern(std::vector<std::uint8_t>& chip, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) chip[i] = static_cast<std::uint8_t>(i * 13 + (i >> 8));
}

TEST(Verify, ListsDifferencesNewestFirstAndEndsRed) {
    Rig rig;
    rig.Select(10); // 87C52H
    rig.S().Buffer.Fill(0xFF);
    rig.S().Buffer[0x0100] = 0x02;
    rig.S().Buffer[0x0010] = 0x5C;
    rig.S().Buffer[0x0020] = 0x00;
    tasks::Verify(rig.S());
    EXPECT_EQ(Listed(rig.panel),
              (Lines{"0100  EXPECTED-02 FOUND-FF", "0020  EXPECTED-00 FOUND-FF",
                     "0010  EXPECTED-5C FOUND-FF"}));
    EXPECT_EQ(rig.panel.Status(), "Device Did NOT Verify to Buffer....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    EXPECT_TRUE(rig.panel.ReportListShown());
    EXPECT_EQ(rig.panel.quitOffers, 1);
    EXPECT_EQ(rig.panel.reportClears, 1);
    EXPECT_TRUE(rig.S().FailFlag);
    // The outcome names where the run stopped: past the last address.
    ASSERT_FALSE(rig.panel.outcomes.empty());
    EXPECT_EQ(rig.panel.outcomes.back().task, Task::Operation);
    EXPECT_EQ(rig.panel.outcomes.back().stoppedAt, 0x2000);
    EXPECT_EQ(rig.panel.ProgressValues(ProgressOf::Device).back(), 0x2000);

    rig.S().Buffer[0x0100] = rig.S().Buffer[0x0010] = rig.S().Buffer[0x0020] = 0xFF;
    tasks::Verify(rig.S());
    EXPECT_TRUE(rig.panel.differences.empty());
    EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
    EXPECT_FALSE(rig.panel.ReportListShown());
    EXPECT_EQ(rig.panel.LastSucceeded(), true);
}

TEST(Verify, DifferenceLinesUseFiveDigitsFromTheSecondBank) {
    EXPECT_EQ(DifferenceLine(0x01A3, 0x5C, 0xFF), "01A3  EXPECTED-5C FOUND-FF");
    EXPECT_EQ(DifferenceLine(0x10000, 0x00, 0x0A), "10000  EXPECTED-00 FOUND-0A");
    EXPECT_EQ(DifferenceLine(0x0, 0xAB, 0xCD), "0000  EXPECTED-AB FOUND-CD");
}

TEST(BlankCheck, UsesTheFamilyErasedValue) {
    Rig eprom874;
    eprom874.Select(3); // 8748
    std::fill(eprom874.fake.chip.begin(), eprom874.fake.chip.end(), 0x00);
    tasks::BlankCheck(eprom874.S());
    EXPECT_EQ(eprom874.panel.Status(), "Device is Erased....");
    EXPECT_FALSE(eprom874.panel.ReportListShown());
    EXPECT_EQ(eprom874.panel.LastSucceeded(), true);
    EXPECT_EQ(eprom874.fake.Count(ReadBlock), 1);

    Rig eprom875;
    eprom875.Select(9); // 87C51H over the same contents
    std::fill(eprom875.fake.chip.begin(), eprom875.fake.chip.end(), 0x00);
    tasks::BlankCheck(eprom875.S());
    EXPECT_EQ(eprom875.panel.Status(), "Device is NOT Erased....");
    const Lines listed = Listed(eprom875.panel);
    ASSERT_EQ(listed.size(), 0x1000u);
    EXPECT_EQ(listed.front(), "0FFF  EXPECTED-FF FOUND-00");
    EXPECT_EQ(listed.back(), "0000  EXPECTED-FF FOUND-00");
    EXPECT_TRUE(eprom875.panel.ReportListShown());
    EXPECT_EQ(eprom875.panel.LastSucceeded(), false);
}

TEST(BlankCheck, ClearsTheListOnlyAfterTheReadSetUp) {
    Rig rig;
    rig.Select(20);
    rig.panel.ReportLine("old");
    int packetsAtClear = -1;
    rig.panel.onPump = [&] {
        if (rig.panel.reportClears == 1 && packetsAtClear < 0)
            packetsAtClear = static_cast<int>(rig.fake.packets.size());
    };
    tasks::BlankCheck(rig.S());
    // Idle, voltage and the read set-up went out before the list was cleared.
    EXPECT_EQ(rig.panel.reportClears, 1);
    EXPECT_GE(packetsAtClear, 3);
    EXPECT_TRUE(rig.panel.report.empty());
}

TEST(MoveDevice, FillsTheBufferAtBufferStart) {
    Rig rig;
    rig.Select(5); // 8749H, one 2048-byte read
    Pattern(rig.fake.chip, 0x800);
    rig.S().Window.BufferStart = 0x2000;
    rig.S().Buffer[0x1FFF] = 0x11;
    rig.S().Buffer[0x2800] = 0x22;
    tasks::Read(rig.S());
    EXPECT_EQ(rig.fake.Count(ReadBlock), 1);
    for (int a = 0; a < 0x800; ++a) ASSERT_EQ(rig.S().Buffer[0x2000 + a], rig.fake.chip[a]) << a;
    EXPECT_EQ(rig.S().Buffer[0x1FFF], 0x11);
    EXPECT_EQ(rig.S().Buffer[0x2800], 0x22);
    EXPECT_EQ(rig.panel.Status(), "Device Has Been Moved to Buffer....");
    EXPECT_TRUE(rig.panel.checksum);
    EXPECT_EQ(rig.panel.LastSucceeded(), true);
}

TEST(ProgramCompare, PassFailAndTheUnshiftedAddress) {
    Rig pass;
    pass.Select(10);
    pass.S().Buffer.Fill(0xF0);
    tasks::Compare(pass.S());
    EXPECT_EQ(pass.panel.Status(), "Device Can be Reprogrammed....");
    EXPECT_EQ(pass.panel.LastSucceeded(), true);
    EXPECT_EQ(pass.fake.Count(ReadBlock), 4);
    EXPECT_TRUE(pass.panel.differences.empty());

    Rig fail;
    fail.Select(10);
    fail.S().Buffer.Fill(0xFF);
    fail.fake.chip[0x0900] = 0xF0;
    tasks::Compare(fail.S());
    EXPECT_EQ(fail.panel.Status(), "Device CAN NOT be Reprogrammed....");
    EXPECT_EQ(fail.panel.LastSucceeded(), false);
    EXPECT_EQ(fail.fake.Count(ReadBlock), 2); // stopped in the second block
    EXPECT_TRUE(fail.panel.differences.empty());
    const auto quit = fail.panel.ProgressValues(ProgressOf::Device);
    EXPECT_NE(std::find(quit.begin(), quit.end(), 0x0901), quit.end());

    // Device address a is compared with buffer position a, not BufferStart + a.
    Rig shifted;
    shifted.Select(10);
    shifted.S().Window.BufferStart = 0x1000;
    shifted.fake.chip[0x0010] = 0xF0;
    shifted.S().Buffer[0x0010] = 0xF0;
    shifted.S().Buffer[0x1010] = 0xFF;
    tasks::Compare(shifted.S());
    EXPECT_EQ(shifted.panel.Status(), "Device Can be Reprogrammed....");
}

TEST(Program, AutomaticVerifyOnAndOff) {
    Rig on;
    on.Select(19); // 89C51
    for (int i = 0; i < 0x1000; ++i) on.S().Buffer[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    tasks::Program(on.S());
    EXPECT_EQ(on.fake.Count(ProgramBlock), 16);
    EXPECT_EQ(on.fake.Count(ReadBlock), 2);
    EXPECT_EQ(on.panel.Status(), "Device Verified to Buffer....");
    EXPECT_EQ(on.panel.LastSucceeded(), true);
    const auto banners = on.panel.statuses;
    EXPECT_NE(std::find(banners.begin(), banners.end(), "Eprom is Programmed..............."),
              banners.end());
    EXPECT_EQ(on.sleeps, (std::vector<int>{100, 100})); // after programming, the verify's set-up
    EXPECT_EQ(on.panel.busyEnters, 2);

    Rig off;
    off.Select(19);
    tasks::SetAutoVerify(off.S(), !off.S().AutoVerify);
    EXPECT_EQ(off.panel.autoVerify, false);
    tasks::Program(off.S());
    EXPECT_EQ(off.fake.Count(ReadBlock), 0);
    EXPECT_EQ(off.panel.Status(), "Eprom is Programmed...............");
    EXPECT_EQ(off.panel.LastSucceeded(), true);
    EXPECT_EQ(off.sleeps, (std::vector<int>{100}));
    tasks::SetAutoVerify(off.S(), !off.S().AutoVerify);
    EXPECT_EQ(off.panel.autoVerify, true);
    EXPECT_TRUE(off.S().AutoVerify);
    EXPECT_EQ(off.panel.busyEnters, 1); // the toggle is no operation
}

TEST(Program, Family0SendsNoProgrammingAndFails) {
    Rig rig;
    rig.S().Window.DeviceEnd = 0x0FFF;
    tasks::Program(rig.S());
    EXPECT_EQ(WithoutIdle(rig.fake.Trace()), Lines{});
    EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
}

// Program, read back, verify, blank check and Move Device for one row of each family.
TEST(Families, ProgramVerifyReadAndBlankCheckRoundTrip) {
    for (int row : {1, 5, 8, 12, 24, 25}) {
        SCOPED_TRACE(row);
        Rig rig;
        rig.Select(row);
        const std::int32_t end = rig.S().Window.DeviceEnd;
        const std::uint8_t blank = rig.S().Selection.BlankValue();
        std::fill(rig.fake.chip.begin(), rig.fake.chip.end(), blank);

        tasks::BlankCheck(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device is Erased....");

        for (int a = 0; a <= end; ++a) rig.S().Buffer[a] = static_cast<std::uint8_t>(a * 7 + 3);
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device Verified to Buffer....");
        for (int a = 0; a <= end; ++a) ASSERT_EQ(rig.fake.chip[a], rig.S().Buffer[a]) << a;

        rig.S().Window.BufferStart = 0x8000;
        tasks::Read(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device Has Been Moved to Buffer....");
        for (int a = 0; a <= end; ++a) ASSERT_EQ(rig.S().Buffer[0x8000 + a], rig.fake.chip[a]) << a;

        tasks::BlankCheck(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Device is NOT Erased....");
        EXPECT_EQ(rig.panel.LastSucceeded(), false);
    }
}

TEST(Erase, FlashFamiliesFiveAndSix) {
    for (auto [row, part] : {std::pair{24, "89c55"}, std::pair{21, "89s52"}}) {
        SCOPED_TRACE(row);
        Rig rig;
        rig.Select(row);
        tasks::Erase(rig.S());
        EXPECT_EQ(WithoutIdle(rig.fake.Trace()), TraceFixture(std::string(part) + "-erase.trace"));
        EXPECT_EQ(rig.sleeps, (std::vector<int>{10, 10, 10, 10, 10, 10}));
        const auto quit = rig.panel.ProgressValues(ProgressOf::Device);
        EXPECT_NE(std::find(quit.begin(), quit.end(), 0x00AA), quit.end());
        EXPECT_EQ(rig.panel.Status(), "Device has been Erase, Do a Blank Check........");
        EXPECT_EQ(rig.panel.LastSucceeded(), true);
        EXPECT_EQ(rig.panel.quitOffers, 0);
    }
}

TEST(Security, BitsOfBothKindsAndCancel) {
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        Rig atmel;
        atmel.Select(21); // 89S52, family 6
        OfferLockBits(atmel.S());
        TakeLockBitChoice(atmel.S(), k);
        const std::string bit = std::to_string(k + 1);
        EXPECT_EQ(WithoutIdle(atmel.fake.Trace()),
                  TraceFixture("89s52-lock-bit-" + bit + ".trace"));
        EXPECT_EQ(atmel.sleeps, (std::vector<int>{1, 1}));
        EXPECT_EQ(atmel.panel.Status(),
                  "Security Bit #" + std::to_string(k + 1) + " has been programmed...");
        EXPECT_EQ(atmel.panel.LastSucceeded(), true);

        // The task alone sends what the two steps of the window send.
        Rig direct;
        direct.Select(21);
        EXPECT_TRUE(tasks::ProgramLockBit(direct.S(), k + 1).Succeeded());
        EXPECT_EQ(direct.fake.Trace(), atmel.fake.Trace());
        EXPECT_EQ(direct.panel.Status(), atmel.panel.Status());
        // No part has a fourth bit: nothing is sent for one.
        const Lines before = direct.fake.Trace();
        EXPECT_FALSE(tasks::ProgramLockBit(direct.S(), 4).Succeeded());
        const Lines after = direct.fake.Trace();
        EXPECT_EQ(WithoutIdle(Lines(after.begin() + static_cast<long>(before.size()), after.end())),
                  Lines{});
        EXPECT_EQ(direct.panel.Status(), "Security Bit #4 was NOT programmed....");

        Rig eprom;
        eprom.Select(14); // 87C51FA, family 4
        OfferLockBits(eprom.S());
        TakeLockBitChoice(eprom.S(), k);
        EXPECT_EQ(WithoutIdle(eprom.fake.Trace()),
                  TraceFixture("87c51fa-lock-bit-" + bit + ".trace"));
        EXPECT_EQ(eprom.sleeps, (std::vector<int>{1}));
        EXPECT_EQ(eprom.panel.Status(),
                  "Security Bit #" + std::to_string(k + 1) + " has been programmed...");
    }

    Rig cancel;
    cancel.Select(21);
    OfferLockBits(cancel.S());
    TakeLockBitChoice(cancel.S(), 3);
    EXPECT_EQ(WithoutIdle(cancel.fake.Trace()), Lines{});
    EXPECT_EQ(cancel.panel.busyLeaves.size(), 1u);
    EXPECT_EQ(cancel.panel.Status(), "");
}

TEST(Security, NoSequenceMeansNoSuccess) {
    Rig rig; // family 0, nothing selected yet
    OfferLockBits(rig.S());
    TakeLockBitChoice(rig.S(), 0);
    EXPECT_EQ(WithoutIdle(rig.fake.Trace()), Lines{});
    EXPECT_EQ(rig.panel.Status(), "Security Bit #1 was NOT programmed....");
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
}

} // namespace
} // namespace velmar::test

// The socket's programming voltage on the virtual programmer: which packets
// put it on and take it off, and that a part seated under it is damaged
// while one seated with it off programs as well as the first part did.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "VirtualRig.h"
#include "devices/AccessSequences.h"
#include "devices/DeviceCatalogue.h"
#include "devices/VppSelection.h"
#include "tests/support/TempDir.h"

namespace velmar::test {
namespace {

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

// The image for a catalogue row, every byte away from the erased value so
// that a cell that takes nothing shows in the verify.
void MarkedImage(VirtualRig& rig, const CatalogueRow& r, std::uint32_t seed) {
    rig.Image(seed);
    const std::uint8_t erased = rig.Vp().ErasedValue();
    for (int a = 0; a <= r.DeviceEnd; ++a)
        if (rig.S().Buffer[a] == erased) rig.S().Buffer[a] ^= 0x01;
}

TEST(VoltageRule, APartSeatedUnderVoltageIsDamagedInEveryFamily) {
    TempDir dir;
    std::set<Family> families;
    for (int row = 0; row < kCatalogueRows; ++row) {
        const CatalogueRow& r = DeviceCatalogue()[static_cast<std::size_t>(row)];
        if (!r.IsDevice || !families.insert(r.Family).second) continue;
        SCOPED_TRACE(std::string(r.Caption));
        const std::string parts = dir.File("parts-" + std::to_string(row));
        std::filesystem::create_directory(parts);
        VirtualOptions options;
        options.SavePartsDir = parts;
        VirtualRig rig(row, options);
        VirtualProgrammer& vp = rig.Vp();
        // The selection ended with the idle command: the socket is dead.
        EXPECT_FALSE(vp.ProgrammingVoltageOn());
        // A read's set-up powers it (for the 874X parts EA too); idle ends it.
        EnterReadMode(rig.S());
        EXPECT_TRUE(vp.ProgrammingVoltageOn());
        rig.S().Link.SendIdle();
        EXPECT_FALSE(vp.ProgrammingVoltageOn());

        // Part 2, seated with the voltage off: sound, and it programs.
        vp.SwapPart();
        EXPECT_EQ(vp.ChipDamage(), "");
        MarkedImage(rig, r, static_cast<std::uint32_t>(row));
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.LastSucceeded(), true) << rig.panel.Status();
        EXPECT_FALSE(vp.ProgrammingVoltageOn());
        EXPECT_EQ(vp.PartsSeatedUnderVoltage(), 0);

        // Part 3, seated after the voltage bytes went out and before the idle.
        ApplyVpp(rig.S());
        ASSERT_TRUE(vp.ProgrammingVoltageOn());
        vp.SwapPart();
        EXPECT_EQ(vp.ChipDamage(), "seated under programming voltage");
        EXPECT_EQ(vp.PartsSeatedUnderVoltage(), 1);
        ASSERT_FALSE(vp.Faults().empty());
        EXPECT_EQ(vp.Faults().back(), "part 3 seated under programming voltage: damaged");
        rig.S().Link.SendIdle();
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.LastSucceeded(), false) << rig.panel.Status();
        // Its cells took nothing.
        const std::vector<std::uint8_t>& chip = vp.Chip();
        EXPECT_EQ(std::count(chip.begin(), chip.end(), vp.ErasedValue()),
                  static_cast<long>(chip.size()));

        // Part 4 comes in with the voltage off again: sound once more, and
        // the damaged part left a note beside its contents.
        vp.SwapPart();
        EXPECT_EQ(vp.ChipDamage(), "");
        EXPECT_EQ(vp.PartsSeatedUnderVoltage(), 1);
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.LastSucceeded(), true) << rig.panel.Status();
        EXPECT_EQ(FileText(parts + "/part-3.txt"), "seated under programming voltage");
        EXPECT_TRUE(std::filesystem::exists(parts + "/part-3.bin"));
        EXPECT_FALSE(std::filesystem::exists(parts + "/part-2.txt"));
    }
    EXPECT_EQ(families.size(), 6u);
}

// Each packet kind on its own: the voltage bytes and the line set-ups put the
// voltage on, the idle command takes it off, the queries leave it.
TEST(VoltageRule, WhichPacketsPowerTheSocket) {
    VirtualRig rig(10); // 87C52H
    VirtualProgrammer& vp = rig.Vp();
    CommandLink& link = rig.S().Link;
    const auto after = [&](std::uint8_t code, bool idleFirst) {
        if (idleFirst) link.SendIdle();
        std::uint8_t* packet = link.CommandPacket();
        packet[0] = code;
        for (int i = 1; i < 7; ++i)
            packet[i] = 0;
        if (code == 0xAA) packet[1] = 0x43;
        link.SendPacket();
        return vp.ProgrammingVoltageOn();
    };
    for (const std::uint8_t code : {0x90, 0x92, 0x94, 0x32, 0x48}) {
        SCOPED_TRACE(static_cast<int>(code));
        EXPECT_TRUE(after(code, true));
    }
    // Queries keep what was there, whichever it was.
    EXPECT_FALSE(after(0x56, true));
    EXPECT_FALSE(after(0xAA, true));
    link.WriteLatch(0x0F, 0x00);
    EXPECT_TRUE(after(0x56, false));
    EXPECT_TRUE(after(0xAA, false));
    EXPECT_FALSE(after(0x24, false));
}

} // namespace
} // namespace velmar::test

#include <gtest/gtest.h>

#include "FakeProgrammer.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceSelection.h"
#include "devices/OperationFrame.h"
#include "devices/VppSelection.h"

namespace velmar::test {
namespace {

// The adapter a box was about, by its figure's name.
std::string FigureOf(const RecordedBox& box) {
    switch (box.about) {
    case BoxAbout::Adapter874X:
        return "A874X";
    case BoxAbout::Adapter875X:
        return "A875X";
    default:
        return "";
    }
}

// A click on a row of the device list, as the window's handler makes it.
void ClickRow(ProgramState& state, int row) {
    SelectDevice(state, row);
    EndOperation(state);
}

// The Vpp caption on show: the name of the last setting that has one,
// `before` while none has.
std::string VppShown(const RecordingPanel& panel, std::string before = "") {
    for (int setting : panel.vppSettings)
        if (!VppVolts(setting).empty()) before = "Vpp = " + std::string(VppVolts(setting));
    return before;
}

struct Expected {
    int row;
    const char* caption;
    std::int32_t end, limit;
    int family;
    const char* vpp;
    int blockSize;
    int blank, height;
    const char* figure; // "" for no prompt
    const char* text;
};

const char* const kInstall = "Besure to install the JUMPER on the adapter board....";
const char* const kRemove = "Besure to Remove the JUMPER on the adapter board....";

const Expected kDevices[] = {
    {1, "8741A", 0x3FF, 0x3FF, 1, "Vpp = 25", 1024, 0x00, 27, "A874X", kInstall},
    {2, "8742 ", 0x7FF, 0x7FF, 2, "Vpp = 21", 2048, 0x00, 27, "A874X", kRemove},
    {3, "8748 ", 0x3FF, 0x3FF, 2, "Vpp = 25", 1024, 0x00, 27, "A874X", kInstall},
    {4, "8748H", 0x3FF, 0x3FF, 2, "Vpp = 21", 1024, 0x00, 27, "A874X", kRemove},
    {5, "8749H", 0x7FF, 0x7FF, 2, "Vpp = 21", 2048, 0x00, 27, "A874X", kRemove},
    {8, "8751H", 0xFFF, 0xFFF, 3, "Vpp = 21", 2048, 0xFF, 48, "A875X", ""},
    {9, "87C51H", 0xFFF, 0xFFF, 4, "Vpp = 12.5", 2048, 0xFF, 48, "A875X", ""},
    {10, "87C52H", 0x1FFF, 0x1FFF, 4, "Vpp = 12.5", 2048, 0xFF, 48, "A875X", ""},
    {11, "87C54H", 0x3FFF, 0x3FFF, 4, "Vpp = 12.5", 2048, 0xFF, 48, "A875X", ""},
    {12, "87C58H", 0x7FFF, 0x7FFF, 4, "Vpp = 12.5", 2048, 0xFF, 48, "A875X", ""},
    {14, "87C51FA", 0x1FFF, 0x1FFF, 4, "Vpp = 12.5", 2048, 0xFF, 48, "A875X", ""},
    {15, "87C51FB", 0x3FFF, 0x3FFF, 4, "Vpp = 12.5", 2048, 0xFF, 48, "A875X", ""},
    {16, "87C51FC", 0x7FFF, 0x7FFF, 4, "Vpp = 12.5", 2048, 0xFF, 48, "A875X", ""},
    {19, "89C51", 0xFFF, 0xFFF, 5, "Vpp = 12", 2048, 0xFF, 68, "A875X", ""},
    {20, "89C52", 0x1FFF, 0x1FFF, 5, "Vpp = 12", 2048, 0xFF, 68, "", ""},
    {21, "89S52", 0x1FFF, 0x3FFF, 6, "Vpp = 12", 2048, 0xFF, 68, "", ""},
    {22, "89S53", 0x2FFF, 0x3FFF, 6, "Vpp = 12", 2048, 0xFF, 68, "", ""},
    {23, "89LS53", 0x2FFF, 0x3FFF, 6, "Vpp = 12", 2048, 0xFF, 68, "", ""},
    {24, "89C55", 0x4FFF, 0x4FFF, 5, "Vpp = 12", 2048, 0xFF, 68, "", ""},
    {25, "89S8252", 0x27FF, 0x3FFF, 6, "Vpp = 12", 2048, 0xFF, 68, "", ""},
    {26, "89LS8252", 0x27FF, 0x3FFF, 6, "Vpp = 12", 2048, 0xFF, 68, "", ""},
};

TEST(DeviceCatalogue, HeadersAndUnknownFamilyCodesOfferNothing) {
    for (const CatalogueRow& row : DeviceCatalogue()) {
        if (row.IsDevice) continue;
        SCOPED_TRACE(std::string(row.ListText));
        EXPECT_EQ(row.Family, Family::None);
    }
    for (const std::int32_t code : {0, -1, 7}) {
        SCOPED_TRACE(code);
        const FamilyCapabilities& can = CapabilitiesOf(code);
        EXPECT_FALSE(can.Programs);
        EXPECT_FALSE(can.CanErase);
        EXPECT_EQ(can.LockBits, 0);
        EXPECT_EQ(can.Lock, LockRun::None);
        EXPECT_EQ(can.Setup, LineSetup::None);
    }
    // The erased value of the start-up family is what its reads blank-check against.
    EXPECT_EQ(CapabilitiesOf(0).ErasedValue, 0x00);
}

TEST(DeviceSelection, EveryDeviceRowSetsItsValuesPromptAndPanel) {
    for (const Expected& e : kDevices) {
        SCOPED_TRACE(e.caption);
        Rig rig;
        RecordingPanel panel;
        rig.S().Panel.Attach(&panel);
        ClickRow(rig.S(), e.row);
        const ProgramState& s = rig.S();
        ASSERT_EQ(panel.devices, std::vector<int>{e.row});
        EXPECT_EQ(DeviceCatalogue()[static_cast<std::size_t>(e.row)].Caption, e.caption);
        EXPECT_TRUE(s.Selection.HasDevice);
        EXPECT_EQ(s.Window.DeviceStart, 0);
        EXPECT_EQ(s.Window.DeviceEnd, e.end);
        EXPECT_EQ(s.Window.DeviceLimit, e.limit);
        EXPECT_EQ(s.Selection.Row->Code(), e.family);
        EXPECT_EQ(VppShown(panel), e.vpp);
        EXPECT_EQ(s.Selection.ReadBlockSize(), e.blockSize);
        EXPECT_EQ(s.Selection.BlankValue(), e.blank);
        ASSERT_TRUE(panel.deviceCommands);
        EXPECT_EQ(panel.deviceCommands->securityBits, e.family > 2);
        EXPECT_EQ(panel.deviceCommands->erase, e.family > 4);
        EXPECT_EQ(e.height, e.family > 4 ? 68 : e.family > 2 ? 48 : 27);
        ASSERT_TRUE(panel.window);
        EXPECT_EQ(panel.window->DeviceEnd, e.end);
        // The command line asks the row itself: it must answer what the selection sets.
        const CatalogueRow& row = DeviceCatalogue()[static_cast<std::size_t>(e.row)];
        EXPECT_EQ(row.Code(), e.family);
        EXPECT_EQ(row.DeviceLimit(), e.limit);
        EXPECT_EQ(row.Can().ErasedValue, e.blank);
        EXPECT_EQ(row.Can().CanErase, e.family > 4);
        EXPECT_EQ(row.Can().LockBits > 0, e.family > 2);
        EXPECT_EQ(row.Can().ProgramsBytewise, e.family == 1);
        EXPECT_EQ(row.Can().SteppedVpp, e.family < 3);
        if (*e.figure) {
            ASSERT_EQ(panel.boxes.size(), 1u);
            EXPECT_EQ(panel.boxes[0].kind, BoxKind::Information);
            EXPECT_EQ(panel.boxes[0].text, e.text);
            EXPECT_EQ(FigureOf(panel.boxes[0]), e.figure);
        } else {
            EXPECT_TRUE(panel.boxes.empty());
        }
        // The voltage goes out once, before the idle packets of the two frame ends.
        ASSERT_GE(rig.fake.packets.size(), 3u);
        EXPECT_EQ(rig.fake.packets[0][0], SetVpp);
        EXPECT_EQ(rig.fake.Count(IdleCommand), 2);
        EXPECT_EQ(rig.fake.packets.size(), 3u);
    }
}

TEST(DeviceSelection, HeaderAndBlankRowsSelectNoDevice) {
    for (int row : {0, 6, 7, 13, 17, 18}) {
        SCOPED_TRACE(row);
        Rig rig;
        rig.S().Window.BufferStart = 0x100;
        ClickRow(rig.S(), row);
        EXPECT_EQ(rig.panel.devices.back(), kNoDevice);
        EXPECT_FALSE(rig.S().Selection.HasDevice);
        ASSERT_EQ(rig.panel.boxes.size(), 1u);
        EXPECT_EQ(rig.panel.boxes[0].text, "No Device Was Selected.");
        EXPECT_EQ(rig.panel.boxes[0].about, BoxAbout::Nothing);
        EXPECT_EQ(rig.S().Window.DeviceEnd, 0xFFFFF);
        EXPECT_EQ(rig.S().Window.DeviceLimit, 0xFFFFF);
        EXPECT_EQ(rig.S().Selection.Row->Code(), 4);
        EXPECT_EQ(rig.S().Selection.VppSetting(), 7);
        ASSERT_TRUE(rig.panel.deviceCommands);
        EXPECT_TRUE(rig.panel.deviceCommands->securityBits);
        EXPECT_FALSE(rig.panel.deviceCommands->erase);
    }
}

TEST(DeviceSelection, RowsOutsideTheListOnlyApplyDefaults) {
    Rig rig;
    rig.Select(24); // 89C55
    for (int row : {27, 100, -1}) {
        SCOPED_TRACE(row);
        ClickRow(rig.S(), row);
        EXPECT_TRUE(rig.panel.boxes.empty());
        EXPECT_TRUE(rig.panel.devices.empty()); // not rewritten
        EXPECT_TRUE(rig.S().Selection.HasDevice);
        EXPECT_EQ(rig.S().Window.DeviceEnd, 0x4FFF);
        EXPECT_EQ(rig.S().Selection.Row->Code(), 4);
        EXPECT_EQ(rig.S().Selection.VppSetting(), 7);
        EXPECT_EQ(rig.S().Selection.ReadBlockSize(), 2048);
        EXPECT_EQ(VppShown(rig.panel), "Vpp = 12.5");
    }
    // From a fresh start a row above 26 leaves "No Device" as the window set it.
    Rig fresh;
    const DeviceSelected outside = SelectDevice(fresh.S(), 40);
    EXPECT_TRUE(fresh.panel.devices.empty());
    EXPECT_FALSE(fresh.S().Selection.HasDevice);
    EXPECT_EQ(fresh.S().Selection.Row->Code(), 4);
    EXPECT_EQ(outside.Kind, RowKind::OutsideList);
    EXPECT_EQ(&outside.Row, fresh.S().Selection.Row);
}

TEST(DeviceSelection, SelectDeviceSaysWhatTheRowCameTo) {
    Rig rig;
    rig.S().Window.BufferStart = 0x100;
    const DeviceSelected device = SelectDevice(rig.S(), 21); // 89S52
    EXPECT_EQ(device.Kind, RowKind::Device);
    EXPECT_EQ(&device.Row, &DeviceCatalogue()[21]);
    EXPECT_EQ(device.Window.DeviceEnd, 0x1FFF);
    EXPECT_EQ(device.Window.DeviceLimit, 0x3FFF);
    EXPECT_EQ(device.Window.BufferStart, 0x100);
    const DeviceSelected header = SelectDevice(rig.S(), 18);
    EXPECT_EQ(header.Kind, RowKind::NoDevice);
    EXPECT_EQ(&header.Row, &NoDeviceRow());
    EXPECT_EQ(header.Window.DeviceEnd, 0xFFFFF);
    EXPECT_EQ(rig.S().Selection.SelectedRow, 18);
}

TEST(DeviceSelection, SelectionResetsDeviceStart) {
    Rig rig;
    rig.S().Window.DeviceStart = 0x0800;
    rig.Select(4); // 8748H, DeviceStart back to 0
    EXPECT_EQ(rig.S().Window.DeviceStart, 0);
    EXPECT_EQ(rig.S().Transfer.DeviceAddress, 0);
}

TEST(DeviceSelection, AClickOnARowEndsTheDeviceButtonsOperation) {
    Rig rig;
    BeginOperation(rig.S());
    EXPECT_EQ(rig.panel.busyEnters, 1);
    ClickRow(rig.S(), 20);
    EXPECT_EQ(rig.S().Selection.SelectedRow, 20);
    EXPECT_EQ(rig.panel.busyLeaves.size(), 2u); // ClampWindow's and the click's own
}

TEST(Catalogue, TextsAndLookUpByName) {
    const auto& rows = DeviceCatalogue();
    EXPECT_EQ(rows[0].ListText, "       874X Adapter");
    EXPECT_EQ(rows[1].ListText, "8741       (25V)     1K X 8 ");
    EXPECT_EQ(rows[18].ListText, "            Atmel ");
    EXPECT_EQ(rows[6].ListText, "");
    EXPECT_EQ(rows[12].ListText, "87C58H     (12.5V)  32K X 8");
    EXPECT_EQ(FindCatalogueRow("8741A"), 1);
    EXPECT_EQ(FindCatalogueRow("8742"), 2);
    EXPECT_EQ(FindCatalogueRow("87c51h"), 9);
    EXPECT_EQ(FindCatalogueRow("89LS8252"), 26);
    EXPECT_EQ(FindCatalogueRow("8741"), std::nullopt);
    EXPECT_EQ(FindCatalogueRow("875X Adapter"), std::nullopt);
    EXPECT_EQ(FindCatalogueRow(""), std::nullopt);
}

std::vector<std::string> VppBytes(const FakeProgrammer& fake) {
    std::vector<std::string> out;
    for (const auto& p : fake.packets)
        if (p[0] == SetVpp) out.push_back(HexLine(p.data() + 1, 2));
    return out;
}

TEST(Vpp, StepsForThe874XPartsOnly) {
    Rig rig;
    rig.Select(2); // 8742: setting 2
    for (const char* caption : {"Vpp = 12.5", "Vpp = 25", "Vpp = 21"}) {
        Vpp_ButClick(rig.S());
        EXPECT_EQ(VppShown(rig.panel), caption);
    }
    EXPECT_EQ(VppBytes(rig.fake), (std::vector<std::string>{"BF B0", "0F B0", "1F B0"}));
    EXPECT_EQ(rig.fake.packets.size(), 3u); // no reply awaited, nothing else

    rig.Select(9); // 87C51H: the click re-applies
    Vpp_ButClick(rig.S());
    EXPECT_EQ(rig.S().Selection.VppSetting(), 7);
    EXPECT_EQ(VppShown(rig.panel), "Vpp = 12.5");
    EXPECT_EQ(VppBytes(rig.fake), (std::vector<std::string>{"3F B0"}));
}

TEST(Vpp, EverySettingAndTheCheckSum) {
    const char* captions[] = {"", "Vpp = 25", "Vpp = 21", "Vpp = 12.5", "Vpp = 12", "Vpp = 5",
                              "Vpp = 12.5", "Vpp = 12.5", "Vpp = 12", "Vpp = 12/3", "Vpp = 3", ""};
    const char* bytes[] = {"3F 30", "0F B0", "1F B0", "BF B0", "3F 30", "3F 30",
                           "BF B0", "3F B0", "BF 30", "3F 20", "3F 00", "3F 30"};
    for (int setting = 0; setting <= 11; ++setting) {
        SCOPED_TRACE(setting);
        Rig rig;
        // Bytes 3 to 6 keep the previous packet's values.
        std::uint8_t* packet = rig.S().Link.CommandPacket();
        packet[3] = 0x01; packet[4] = 0x02; packet[5] = 0x03; packet[6] = 0x04;
        rig.S().Selection.ChosenVpp = setting;
        ApplyVpp(rig.S());
        EXPECT_EQ(VppShown(rig.panel, " Vpp = 12.5"),
                  *captions[setting] ? captions[setting] : " Vpp = 12.5");
        ASSERT_EQ(rig.fake.packets.size(), 1u);
        const auto& p = rig.fake.packets[0];
        EXPECT_EQ(HexLine(p.data(), 3), std::string("90 ") + bytes[setting]);
        EXPECT_EQ(HexLine(p.data() + 3, 4), "01 02 03 04");
        EXPECT_EQ(p[7], static_cast<std::uint8_t>(p[0] + p[1] + p[2] + 1 + 2 + 3 + 4));
    }
}

TEST(Vpp, WithoutAnAnsweringProgrammerNothingChangesOrIsSent) {
    for (LinkState linkState : {LinkState::Closed, LinkState::Opened}) {
        Rig rig;
        rig.S().Link.LinkState = linkState;
        rig.S().Selection.Row = &DeviceCatalogue()[2]; // 8742
        rig.S().Selection.ChosenVpp = 1;
        rig.S().Lines.VppCtl1 = 0x0F;
        Vpp_ButClick(rig.S());
        EXPECT_EQ(rig.S().Selection.VppSetting(), 2);
        EXPECT_EQ(rig.S().Lines.VppCtl1, 0x0F);
        EXPECT_TRUE(rig.panel.vppSettings.empty());
        EXPECT_TRUE(rig.fake.packets.empty());
    }
}

} // namespace
} // namespace velmar::test

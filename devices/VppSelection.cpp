#include "VppSelection.h"

#include <array>
#include <string_view>

#include "DeviceCatalogue.h"

namespace velmar {

namespace {

struct VppRow {
    std::uint8_t Ctl1;
    std::uint8_t Ctl2;
    std::string_view Volts; // empty: a setting without a name
};

// Index = the Vpp setting. 3 and 6 are the same; 7 shows 12.5 with another first byte.
constexpr std::array<VppRow, 11> kVppTable = {{
    {0x3F, 0x30, ""},
    {0x0F, 0xB0, "25"},
    {0x1F, 0xB0, "21"},
    {0xBF, 0xB0, "12.5"},
    {0x3F, 0x30, "12"},
    {0x3F, 0x30, "5"},
    {0xBF, 0xB0, "12.5"},
    {0x3F, 0xB0, "12.5"},
    {0xBF, 0x30, "12"},
    {0x3F, 0x20, "12/3"},
    {0x3F, 0x00, "3"},
}};

} // namespace

std::string_view VppVolts(int setting) {
    if (setting < 0 || setting >= static_cast<int>(kVppTable.size())) return {};
    return kVppTable[static_cast<std::size_t>(setting)].Volts;
}

void ApplyVpp(ProgramState& state) {
    if (!state.Link.Answered()) return;
    LineState& lines = state.Lines;
    lines.VppCtl1 = 0x3F;
    lines.VppCtl2 = 0x30;
    const int setting = state.Selection.VppSetting();
    if (setting >= 0 && setting < static_cast<int>(kVppTable.size())) {
        const VppRow& row = kVppTable[static_cast<std::size_t>(setting)];
        lines.VppCtl1 = row.Ctl1;
        lines.VppCtl2 = row.Ctl2;
        state.Panel->VppChanged(setting);
    }
    // Bytes 3 to 6 keep what the previous packet left in them.
    std::uint8_t* packet = state.Link.CommandPacket();
    packet[0] = SetVpp;
    packet[1] = lines.VppCtl1;
    packet[2] = lines.VppCtl2;
    state.Link.SendPacket();
}

void Vpp_ButClick(ProgramState& state) {
    DeviceSelection& sel = state.Selection;
    if (sel.Can().SteppedVpp) {
        switch (sel.VppSetting()) {
        case 1:
            sel.ChosenVpp = 2;
            break;
        case 2:
            sel.ChosenVpp = 3;
            break;
        case 3:
            sel.ChosenVpp = 1;
            break;
        default: break;
        }
    }
    ApplyVpp(state);
}

} // namespace velmar

#include "Captions.h"

#include "buffer/HexText.h"
#include "devices/DeviceCatalogue.h"
#include "devices/VppSelection.h"

namespace velmar::ui {

std::string QuitCaption(ProgressOf what, std::int64_t value) {
    return "&Quit = " + HexText(value, what == ProgressOf::FileLoad ? 5 : 4);
}

std::string ChecksumCaption(std::uint16_t sum) {
    return "CheckSum=" + HexText(sum, 4);
}

std::string AutoVerifyCaption(bool on) {
    return on ? "Auto Verify On" : "Auto Verify Off";
}

std::string DeviceCaption(int row) {
    if (row < 0 || row >= kCatalogueRows) return "No Device";
    return std::string(DeviceCatalogue()[static_cast<std::size_t>(row)].Caption);
}

std::string LastFileCaption(std::string_view path) {
    return "Last File Loaded in Buffer=" + std::string(path);
}

std::string VppCaption(int setting) {
    const std::string_view volts = VppVolts(setting);
    return volts.empty() ? std::string() : "Vpp = " + std::string(volts);
}

AddressCaptions WindowCaptions(const AddressWindow& w) {
    return {"Buffer Start=" + HexText(w.BufferStart, 4), "Device Start=" + HexText(w.DeviceStart, 4),
            "Device End=" + HexText(w.DeviceEnd, 4), "Hex Offset=" + HexText(w.HexOffset, 4)};
}

int ProgramPanelHeight(bool securityBits, bool erase) {
    if (erase) return 68;
    return securityBits ? 48 : 27;
}

} // namespace velmar::ui

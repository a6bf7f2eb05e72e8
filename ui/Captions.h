#pragma once
// The window's button and label texts, made from the facts the core reports.

#include <cstdint>
#include <string>
#include <string_view>

#include "buffer/AddressWindow.h"
#include "buffer/FrontPanel.h"

namespace velmar::ui {

// "&Quit = 01A3": a file load counts buffer addresses with five digits.
std::string QuitCaption(ProgressOf what, std::int64_t value);
std::string ChecksumCaption(std::uint16_t sum);
std::string AutoVerifyCaption(bool on);
// A catalogue row's caption, "No Device" for kNoDevice.
std::string DeviceCaption(int row);
std::string LastFileCaption(std::string_view path);
// "Vpp = 12.5"; empty for a setting without a name, which leaves the caption.
std::string VppCaption(int setting);

// The four address buttons, in the order Buffer Start, Device Start, Device
// End, Hex Offset.
struct AddressCaptions {
    std::string bufferStart;
    std::string deviceStart;
    std::string deviceEnd;
    std::string hexOffset;
};
AddressCaptions WindowCaptions(const AddressWindow& window);

// The height of the program panel that shows the security bits and erase
// buttons a device has.
int ProgramPanelHeight(bool securityBits, bool erase);

} // namespace velmar::ui

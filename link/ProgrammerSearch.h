#pragma once
// Finding the programmer on USB and checking its firmware.

#include <cstdint>
#include <string>

#include "CommandLink.h"
#include "D2XXUnit.h"
#include "buffer/FrontPanel.h"

namespace velmar {

// Firmware older than this is offered the flash update (1.23).
constexpr int kRequiredFirmware = 0x0117;

// The not-found sentence, with a second line saying why the bridge could not
// be opened and how to fix it, when that is known.
std::string NotFoundText(const D2XXUnit& d2xx);

// "1.23" from major 1, minor 23; a one-digit minor gets a leading zero.
std::string FirmwareVersionText(std::uint8_t major, std::uint8_t minor);

// Looks for the single bridge, opens and resets it, asks the firmware for its
// version and sets link.LinkState (0 absent, 1 no valid answer, 2 answered).
// failFlag is 1 unless the programmer answered. Offers UpdateFirmware for
// firmware older than 1.23.
void FindProgrammer(D2XXUnit& d2xx, CommandLink& link, FrontPanel& panel, int& failFlag);

} // namespace velmar

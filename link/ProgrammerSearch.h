#pragma once
// Finding the programmer on USB and checking its firmware.

#include <cstdint>
#include <optional>
#include <string>

#include "CommandLink.h"
#include "D2XXUnit.h"
#include "FirmwareUpdate.h"
#include "buffer/FrontPanel.h"

namespace velmar {

// Firmware older than this is offered the flash update (1.23).
constexpr int kRequiredFirmware = 0x0117;

// The not-found sentence, with a second line saying why the bridge could not
// be opened and how to fix it, when that is known.
std::string NotFoundText(const D2XXUnit& d2xx);

// "1.23" from major 1, minor 23; a one-digit minor gets a leading zero.
std::string FirmwareVersionText(std::uint8_t major, std::uint8_t minor);

// The version the programmer's firmware gave in answer to the search.
struct FirmwareVersion {
    std::uint8_t Major = 0;
    std::uint8_t Minor = 0;
    int Number() const { return Major * 256 + Minor; }
    std::string Text() const { return FirmwareVersionText(Major, Minor); }
};

// What a search found: how far the link got, the firmware's version when the
// programmer answered, and how the update ended when one was offered and
// taken.
struct SearchResult {
    LinkState Link = LinkState::Closed;
    std::optional<FirmwareVersion> Firmware;
    std::optional<FirmwareUpdateOutcome> Update;
    bool Found() const { return Link == LinkState::Answered; }
};

// Looks for the single bridge, opens and resets it, asks the firmware for its
// version and sets link.LinkState to how far that got. Offers UpdateFirmware
// for firmware older than 1.23.
SearchResult FindProgrammer(D2XXUnit& d2xx, CommandLink& link, FrontPanel& panel);

} // namespace velmar

#pragma once
// Replacing the programmer's firmware from an image file.

#include <cstdint>
#include <string>
#include <vector>

#include "CommandLink.h"
#include "D2XXUnit.h"
#include "buffer/FrontPanel.h"

namespace velmar {

// The most an image file may hold.
constexpr int kFirmwareImageSize = 9215;

// Reads at most kFirmwareImageSize bytes; `tooLong` tells whether the file
// holds more. A file that cannot be opened reads as empty.
std::vector<std::uint8_t> ReadFirmwareImage(const std::string& path, bool& tooLong);

// True when bytes 2..13 hold "Update File" followed by 0x06.
bool HasUpdateSignature(const std::vector<std::uint8_t>& image);

// How an update ended: no file chosen, a file refused before anything was
// sent, or the whole image sent and the programmer's checksum compared.
enum class FirmwareUpdateOutcome { NoFileChosen, InvalidFile, GoodUpdate, BadUpdate };

// Asks for an image file, streams its records to the programmer, compares
// the programmer's checksum with the file's, reports it and leaves the
// programmer's update mode. Sends nothing for a cancelled dialog, a wrong
// signature, a file shorter than its 16-byte header or too long for the
// image buffer.
FirmwareUpdateOutcome UpdateFirmware(D2XXUnit& d2xx, CommandLink& link, FrontPanel& panel);

} // namespace velmar

#pragma once
// What is known before a part is programmed: whether the image starts where
// the part's code starts, whether the part in the socket can still take the
// image, and which 256-byte blocks already hold it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ProgramState.h"

namespace velmar {

// A warning when the image's first bytes (the reset vector of `part`) are all `fill` or its data
// start far from the part's first address; none otherwise.
std::optional<std::string> OriginWarning(const ProgramState& state, std::uint8_t fill,
                                         const CatalogueRow& part);

// The part against the image, byte i at device address start + i.
struct PartFit {
    long cannotTake = 0;   // bytes holding a bit the image needs back at the erased value
    long alreadyRight = 0; // bytes that hold the image already
    long total = 0;
    std::int32_t firstAddress = -1; // the first byte that cannot take the image
    std::uint8_t holds = 0, image = 0;
};
PartFit FitPart(std::int32_t start, const std::vector<std::uint8_t>& image,
                const std::vector<std::uint8_t>& part, std::uint8_t erased);
// "47 bytes cannot take the image: ...; first 0123: holds 5A, image 7E"
std::string RefusalText(const PartFit& fit);

// The buffer bytes of the device range, in device order (`outside` beyond
// the buffer).
std::vector<std::uint8_t> ImageOfRange(const ProgramState& state, std::uint8_t outside);

// The device addresses of the 256-byte blocks, counted from DeviceStart,
// whose bytes differ between image and part.
std::vector<std::int32_t> ChangedBlocks(std::int32_t start, const std::vector<std::uint8_t>& image,
                                        const std::vector<std::uint8_t>& part);

// Reads the part in an operation frame of its own ("Reading Device before
// programming...."); none when the read did not complete.
std::optional<std::vector<std::uint8_t>> ReadPartBeforeProgramming(ProgramState& state);

} // namespace velmar

#pragma once
// What a run over every catalogue part with the virtual programmer's timing
// model on programs: the longest block a part can take, and the rest of the
// part still written and read back, without the run lasting for ever.

#include <cstdint>
#include <string>
#include <vector>

#include "devices/DeviceCatalogue.h"

namespace velmar::test {

// Catalogue rows that are devices.
inline std::vector<int> DeviceRows() {
    std::vector<int> rows;
    for (int row = 0; row < kCatalogueRows; ++row)
        if (DeviceCatalogue()[static_cast<std::size_t>(row)].IsDevice) rows.push_back(row);
    return rows;
}

// The caption without its blanks, as a --device word.
inline std::string PartName(int row) {
    std::string name(DeviceCatalogue()[static_cast<std::size_t>(row)].Caption);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

// A test name: CTest takes a name of digits alone ("8742") for an index.
inline std::string PartTestName(int row) {
    return "Device" + PartName(row);
}

// The whole part: its first 256-byte block holds no erased byte, so every
// byte of it costs the part's programming time; after that only the first
// byte of each block differs from the erased value.
inline std::vector<std::uint8_t> WorstFirstBlockImage(int row) {
    const CatalogueRow& r = DeviceCatalogue()[static_cast<std::size_t>(row)];
    const std::uint8_t erased = r.Can().ErasedValue;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(r.DeviceEnd) + 1, erased);
    for (std::size_t a = 0; a < image.size(); ++a)
        if (a < 256 || a % 256 == 0)
            image[a] = static_cast<std::uint8_t>(1 + (a * 37 + a / 256) % 0xFD);
    return image;
}

} // namespace velmar::test

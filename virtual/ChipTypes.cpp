// The parts the sockets take, as the chip model needs them: family and size.

#include "ChipTypes.h"

#include "buffer/TextCase.h"

namespace velmar {

namespace {
const ChipType kChipTypes[] = {
    {"8741", 1, 0x0400},    {"8741A", 1, 0x0400},    {"8742", 2, 0x0800},   {"8748", 2, 0x0400},
    {"8748H", 2, 0x0400},   {"8749H", 2, 0x0800},    {"8751H", 3, 0x1000},  {"87C51H", 4, 0x1000},
    {"87C52H", 4, 0x2000},  {"87C54H", 4, 0x4000},   {"87C58H", 4, 0x8000}, {"87C51FA", 4, 0x2000},
    {"87C51FB", 4, 0x4000}, {"87C51FC", 4, 0x8000},  {"89C51", 5, 0x1000},  {"89C52", 5, 0x2000},
    {"89C55", 5, 0x5000},   {"89S52", 6, 0x2000},    {"89S53", 6, 0x3000},  {"89LS53", 6, 0x3000},
    {"89S8252", 6, 0x2800}, {"89LS8252", 6, 0x2800},
};
} // namespace

const ChipType* FindChipType(std::string_view name) {
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    for (const ChipType& type : kChipTypes) {
        if (SameIgnoringCase(name, type.Name)) return &type;
    }
    return nullptr;
}

std::uint32_t DefaultChipSize(int family) {
    switch (family) {
    case 1:
        return 0x0400;
    case 2:
        return 0x0800;
    case 3:
        return 0x1000;
    case 4:
        return 0x8000;
    case 5:
        return 0x5000;
    case 6:
        return 0x3000;
    default:
        return 0x10000;
    }
}

std::uint8_t ErasedValueOf(int family) {
    return family == 1 || family == 2 ? 0x00 : 0xFF;
}

} // namespace velmar

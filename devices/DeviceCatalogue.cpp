#include "DeviceCatalogue.h"

#include "buffer/TextCase.h"

namespace velmar {

namespace {

using P = AdapterPrompt;
using F = Family;
using L = LineSetup;
using C = Cpu;

// By family code 0..6.
// clang-format off
constexpr std::array<FamilyCapabilities, 7> kFamilies = {{
    // setup        programs bytewise erase lock run          erased control fold    stepped code       us/byte
    {L::None,        false, false, false, 0, LockRun::None,     0x00, 0xF7, 0,      true,  C::None,  0},
    {L::Adapter874X, true,  true,  false, 0, LockRun::None,     0x00, 0xF7, 0,      true,  C::Mcs48, 50000},
    {L::Adapter874X, true,  false, false, 0, LockRun::None,     0x00, 0xF7, 0,      true,  C::Mcs48, 50000},
    {L::Mode875X,    true,  false, false, 3, LockRun::ModeBits, 0xFF, 0xF7, 0,      false, C::Mcs51, 50000},
    {L::Mode875X,    true,  false, false, 3, LockRun::ModeBits, 0xFF, 0xF7, 0,      false, C::Mcs51, 2500},
    {L::Mode875X,    true,  false, true,  3, LockRun::ModeBits, 0xFF, 0xF7, 0,      false, C::Mcs51, 1500},
    {L::Mode875X,    true,  false, true,  3, LockRun::Latch4F,  0xFF, 0xB7, 0x3FFF, false, C::Mcs51, 1500},
}};

// What a code outside the table gets: nothing offered, nothing sent.
constexpr FamilyCapabilities kNoFamily = {L::None, false, false, false, 0, LockRun::None, 0x00, 0xF7, 0, false, C::None, 0};
// clang-format on

constexpr CatalogueRow Header(std::string_view text) {
    return CatalogueRow{text, false, {}, 0, 0, F::None, 0, P::None};
}

constexpr std::array<CatalogueRow, kCatalogueRows> kRows = {{
    Header("       874X Adapter"),
    {"8741       (25V)     1K X 8 ", true, "8741A", 0x03FF, 1, F::P8741, 1024, P::JumperInstall},
    {"8742       (21V)     2K X 8 ", true, "8742 ", 0x07FF, 2, F::P874X, 2048, P::JumperRemove},
    {"8748       (25V)     1K X 8", true, "8748 ", 0x03FF, 1, F::P874X, 1024, P::JumperInstall},
    {"8748H      (21V)     1K X 8", true, "8748H", 0x03FF, 2, F::P874X, 1024, P::JumperRemove},
    {"8749H      (21V)     2K X 8", true, "8749H", 0x07FF, 2, F::P874X, 2048, P::JumperRemove},
    Header(""),
    Header("      875X Adapter"),
    {"8751H      (21V)     4K X 8", true, "8751H", 0x0FFF, 2, F::P8751H, 2048, P::Adapter875X},
    {"87C51H     (12.5V)   4K X 8", true, "87C51H", 0x0FFF, 7, F::P87C5X, 2048, P::Adapter875X},
    {"87C52H     (12.5V)   8K X 8", true, "87C52H", 0x1FFF, 7, F::P87C5X, 2048, P::Adapter875X},
    {"87C54H     (12.5V)  16K X 8", true, "87C54H", 0x3FFF, 7, F::P87C5X, 2048, P::Adapter875X},
    {"87C58H     (12.5V)  32K X 8", true, "87C58H", 0x7FFF, 7, F::P87C5X, 2048, P::Adapter875X},
    Header(""),
    {"87C51FA    (12.5V)   8K X 8", true, "87C51FA", 0x1FFF, 7, F::P87C5X, 2048, P::Adapter875X},
    {"87C51FB    (12.5V)  16K X 8", true, "87C51FB", 0x3FFF, 7, F::P87C5X, 2048, P::Adapter875X},
    {"87C51FC    (12.5V)  32K X 8", true, "87C51FC", 0x7FFF, 7, F::P87C5X, 2048, P::Adapter875X},
    Header(""),
    Header("            Atmel "),
    {"89C51      (12V)     4K X 8", true, "89C51", 0x0FFF, 4, F::At89C, 2048, P::Adapter875X},
    {"89C52      (12V)     8K X 8", true, "89C52", 0x1FFF, 4, F::At89C, 2048, P::None},
    {"89S52      (12V)     8K X 8", true, "89S52", 0x1FFF, 4, F::At89S, 2048, P::None},
    {"89S53      (12V)    12K X 8", true, "89S53", 0x2FFF, 4, F::At89S, 2048, P::None},
    {"89LS53     (12V)    12K X 8", true, "89LS53", 0x2FFF, 4, F::At89S, 2048, P::None},
    {"89C55      (12V)    20K X 8", true, "89C55", 0x4FFF, 4, F::At89C, 2048, P::None},
    // Listed as 8K but the part holds 10K.
    {"89S8252    (12V)     8K X 8", true, "89S8252", 0x27FF, 4, F::At89S, 2048, P::None},
    {"89LS8252   (12V)     8K X 8", true, "89LS8252", 0x27FF, 4, F::At89S, 2048, P::None},
}};

constexpr CatalogueRow kNothingChosen{"", false, "No Device", 0, 1, F::None, 2048, P::None};
constexpr CatalogueRow kNoDevice{"", false, "No Device", 0, 7, F::P87C5X, 2048, P::None};

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

} // namespace

const FamilyCapabilities& CapabilitiesOf(std::int32_t familyCode) {
    if (familyCode < 0 || familyCode >= static_cast<std::int32_t>(kFamilies.size())) return kNoFamily;
    return kFamilies[static_cast<std::size_t>(familyCode)];
}

const std::array<CatalogueRow, kCatalogueRows>& DeviceCatalogue() { return kRows; }

const CatalogueRow& NothingChosenRow() {
    return kNothingChosen;
}
const CatalogueRow& NoDeviceRow() {
    return kNoDevice;
}

std::optional<int> FindCatalogueRow(std::string_view name) {
    name = TrimRight(name);
    if (name.empty()) return std::nullopt;
    for (int row = 0; row < kCatalogueRows; ++row) {
        const CatalogueRow& r = kRows[static_cast<std::size_t>(row)];
        if (r.IsDevice && SameIgnoringCase(TrimRight(r.Caption), name)) return row;
    }
    return std::nullopt;
}

} // namespace velmar

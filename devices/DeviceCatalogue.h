#pragma once
// The 27 rows of the device list: what each device needs from the programmer.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmar {

enum class AdapterPrompt { None, JumperInstall, JumperRemove, Adapter875X };

struct CatalogueRow {
    std::string_view ListText;   // exactly as the list shows it
    bool IsDevice;               // false: header or blank row
    std::string_view Caption;    // Device button caption ("8742 " keeps its blank)
    std::int32_t DeviceEnd;
    int VppSetting;
    int Family;
    int ReadBlockSize;
    AdapterPrompt Prompt;
};

constexpr int kCatalogueRows = 27;
const std::array<CatalogueRow, kCatalogueRows>& DeviceCatalogue();

// Row of a device named as on the command line: the caption without trailing
// blanks, case-insensitive ("8741A", "87c51h"). None when unknown.
std::optional<int> FindCatalogueRow(std::string_view name);

} // namespace velmar

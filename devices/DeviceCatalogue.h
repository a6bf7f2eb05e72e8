#pragma once
// The 27 rows of the device list: what each device is and what the programmer
// may do with it. Every layer asks the row (or, for the selection the window
// holds, the family code) rather than comparing family numbers itself.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmar {

enum class AdapterPrompt { None, JumperInstall, JumperRemove, Adapter875X };

// The family code: it selects the programming algorithm here and in the
// programmer's firmware, and travels as byte 1 of ReadBlock and ProgramBlock.
enum class Family : std::int32_t {
    None = 0,     // no device chosen yet
    P8741 = 1,    // 874X adapter, programmed byte by byte under host timing
    P874X = 2,    // 8742, 8748, 8748H, 8749H
    P8751H = 3,   // 875X adapter
    P87C5X = 4,   // 87C51H .. 87C51FC; also what a header row leaves
    At89C = 5,    // Atmel parallel flash
    At89S = 6,    // Atmel flash with its own control byte and lock run
};

// How a family's lines are set up for reading (and 874X programming).
enum class LineSetup { None, Adapter874X, Mode875X };
// How a family's security (lock) bits are programmed.
enum class LockRun { None, ModeBits, Latch4F };

// The instruction set of the parts' code.
enum class Cpu { None, Mcs48, Mcs51 };

// What a family code lets the host do with a part.
struct FamilyCapabilities {
    LineSetup Setup;
    bool Programs;              // false: no programming sequence at all
    bool ProgramsBytewise;      // host-timed bytes instead of 256-byte blocks
    bool CanErase;              // electrically erasable: Erase offered
    int LockBits;               // security bits offered (0 or 3)
    LockRun Lock;
    std::uint8_t ErasedValue;   // an erased (blank) byte
    std::uint8_t ModeControlByte; // ControlByte of the 875X mode set-up
    std::int32_t FoldLimit;     // hex addresses fold at this limit; 0: at the device end
    bool SteppedVpp;            // the Vpp button steps the 874X voltages
    velmar::Cpu Cpu;            // what the part's code is written in
    // How long the part takes to program one byte, in microseconds (the
    // datasheet pulse, or the flash byte write): what the programmer's
    // firmware spends on each byte of a ProgramBlock.
    std::int32_t ProgramMicrosPerByte;
};

// The capabilities of a family code; a code outside 0..6 has none.
const FamilyCapabilities& CapabilitiesOf(std::int32_t familyCode);

struct CatalogueRow {
    std::string_view ListText;   // exactly as the list shows it
    bool IsDevice;               // false: header or blank row
    std::string_view Caption;    // Device button caption ("8742 " keeps its blank)
    std::int32_t DeviceEnd;
    int VppSetting;
    velmar::Family Family;
    int ReadBlockSize;
    AdapterPrompt Prompt;        // the adapter figure or jumper box shown on selection

    std::int32_t Code() const { return static_cast<std::int32_t>(Family); }
    const FamilyCapabilities& Can() const { return CapabilitiesOf(Code()); }
    // The address limit the selection sets: hex records fold onto it.
    std::int32_t DeviceLimit() const { return Can().FoldLimit ? Can().FoldLimit : DeviceEnd; }
};

constexpr int kCatalogueRows = 27;
const std::array<CatalogueRow, kCatalogueRows>& DeviceCatalogue();

// What the selection asks before any row was applied: no family yet, whose
// Vpp button steps the 874X voltages, read in 2048-byte blocks.
const CatalogueRow& NothingChosenRow();
// What a header, blank or unlisted row leaves in force: the family, voltage
// and block size of the 87C5X parts, with no device and no prompt.
const CatalogueRow& NoDeviceRow();

// Row of a device named as on the command line: the caption without trailing
// blanks, case-insensitive ("8741A", "87c51h"). None when unknown.
std::optional<int> FindCatalogueRow(std::string_view name);

} // namespace velmar

#pragma once
// Everything program-wide, in one object created once by main (and once per
// test case): the buffer and its window, the USB door, the command link, the
// transfer state and the device selection.

#include <cstdint>
#include <optional>

#include "DeviceCatalogue.h"
#include "buffer/AddressWindow.h"
#include "buffer/DataBuffer.h"
#include "buffer/DataFormats.h"
#include "buffer/FrontPanel.h"
#include "link/CommandLink.h"
#include "link/D2XXUnit.h"

namespace velmar {

// The device the list's row chose. Everything the part is (family, read
// block size, erased value, its voltage) is asked of its catalogue row,
// never copied out of it.
struct DeviceSelection {
    std::int32_t SelectedRow = 0; // the list row applied last; the settings file keeps it
    const CatalogueRow* Row = &NothingChosenRow();
    // The voltage the Vpp button stepped to or the settings file restored;
    // none: the row's own.
    std::optional<std::int32_t> ChosenVpp;
    bool HasDevice = false; // a catalogue device, not the "no device" row

    const FamilyCapabilities& Can() const { return Row->Can(); }
    std::int32_t ReadBlockSize() const { return Row->ReadBlockSize; }
    std::uint8_t BlankValue() const { return Can().ErasedValue; }
    std::int32_t VppSetting() const { return ChosenVpp.value_or(Row->VppSetting); }
};

// Line bytes of the access sequences; they persist between operations.
struct LineState {
    std::uint8_t ModeBits = 0;
    std::uint8_t HighModeByte = 0;
    std::uint8_t ControlByte = 0;
    std::uint8_t VppCtl1 = 0x3F;
    std::uint8_t VppCtl2 = 0x30;
};

// What an operation does to the part in the socket.
enum class PartWork { Reading, Programming, Erasing, LockBits };

class ProgramState {
  public:
    explicit ProgramState(const D2XXBackend& backend)
        : D2XX(backend, Panel), Link(D2XX, Panel, Window, Transfer) {}
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    PanelSlot Panel;
    DataBuffer Buffer;
    AddressWindow Window;
    TransferState Transfer;
    D2XXUnit D2XX;
    CommandLink Link;
    DeviceSelection Selection;
    LineState Lines;

    bool FailFlag = false;  // the last operation failed; the banner holds it
    // What the running operation does to the part, for the sentence of a
    // programmer unplugged inside it.
    PartWork Work = PartWork::Reading;
    velmar::FileType FileType = BinaryFileType;
    bool AutoVerify = true; // programming is followed by a verify
};

} // namespace velmar

#pragma once
// A ProgramState on the virtual programmer, found the way the window finds a
// programmer, with the part of catalogue row `row` in the socket and chosen
// in the device list; sleeps are recorded instead of slept.

#include <memory>
#include <string>
#include <vector>

#include "devices/DeviceCatalogue.h"
#include "devices/DeviceSelection.h"
#include "devices/OperationFrame.h"
#include "devices/Tasks.h"
#include "link/ProgrammerSearch.h"
#include "tests/support/RecordingPanel.h"
#include "virtual/ChipTypes.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::test {

using Lines = std::vector<std::string>;

struct VirtualRig {
    RecordingPanel panel;
    std::unique_ptr<ProgramState> state;
    std::vector<int> sleeps;

    explicit VirtualRig(int row, VirtualOptions options = VirtualOptions()) {
        const CatalogueRow& r = DeviceCatalogue()[static_cast<std::size_t>(row)];
        const ChipType* chip = FindChipType(r.Caption);
        if (chip) {
            options.Family = chip->Family;
            options.Size = chip->Size;
        }
        VirtualProgrammer::Instance().Reset(options);
        state = std::make_unique<ProgramState>(VirtualBackend());
        state->Panel.Attach(&panel);
        state->Link.Sleeper = [this](int ms) { sleeps.push_back(ms); };
        state->Link.ReplyTimeoutMs = 300;
        tasks::FindProgrammer(*state);
        // With timing off every reply is queued at once; a short read time-out
        // keeps the whole-buffer reads of the plain waits quick.
        state->D2XX.SetDeviceTimeouts(2, 0);
        SelectDevice(*state, row);
        EndOperation(*state);
        Vp().ClearTrace();
    }
    ProgramState& S() { return *state; }
    static VirtualProgrammer& Vp() { return VirtualProgrammer::Instance(); }
    Lines Trace(bool withIdle = false) const {
        Lines out;
        for (const auto& l : Vp().Trace())
            if (withIdle || l.rfind("24 ", 0) != 0) out.push_back(l);
        return out;
    }
    // Packets traced with this command code.
    int Count(std::uint8_t command) const {
        const std::string head = VirtualProgrammer::TraceLine(&command, 1) + " ";
        int n = 0;
        for (const auto& l : Vp().Trace())
            n += l.rfind(head, 0) == 0;
        return n;
    }
    void Image(std::uint32_t seed) {
        for (int a = 0; a < kBufferSize; ++a)
            S().Buffer[a] = static_cast<std::uint8_t>((a * 2654435761u + seed) >> 13);
    }
};

} // namespace velmar::test

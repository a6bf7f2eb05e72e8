#pragma once
// The link layer wired to the recording D2XX table and a recording panel.

#include "FakeD2XX.h"
#include "link/CommandLink.h"
#include "link/D2XXUnit.h"
#include "tests/support/RecordingPanel.h"

namespace velmar::test {

struct LinkRig {
    LinkRig() {
        ResetFake();
        // Long enough never to end a wait that a test answers by turns.
        link.ReplyTimeoutMs = 2000;
    }
    RecordingPanel panel;
    D2XXUnit d2xx{FakeBackend(), panel};
    AddressWindow window;
    TransferState transfer;
    CommandLink link{d2xx, panel, window, transfer};

    void SetPacket(std::initializer_list<std::uint8_t> bytes) {
        std::size_t i = 0;
        for (std::uint8_t b : bytes)
            d2xx.TxBuffer[i++] = b;
    }
};

} // namespace velmar::test

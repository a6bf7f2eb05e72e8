// What the bridge's latency timer costs each awaited reply, on the virtual
// programmer's timing model: the factory 16 ms against the 2 ms the search
// sets. Two figures: when the reply's 8 bytes are read (AwaitReplyBytes
// after a plain write), and a whole awaited command as the device loops send
// it (SendPacket, which awaits the same 8 counted bytes).

#include <benchmark/benchmark.h>

#include "link/CommandLink.h"
#include "link/D2XXUnit.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar {
namespace {

struct Rig {
    explicit Rig(int latencyMs) {
        VirtualOptions options;
        options.Timing = true;
        VirtualProgrammer::Instance().Reset(options);
        d2xx.GetFTDeviceCount();
        d2xx.Open_USB_Device_By_Serial_Number("");
        d2xx.SetDeviceTimeouts(40, 0);
        d2xx.SetDeviceLatency(static_cast<UCHAR>(latencyMs));
        d2xx.ResetDevice();
        link.LinkState = LinkState::Answered;
    }
    ~Rig() { d2xx.CloseDevice(); }
    void Query() {
        for (int i = 0; i < 7; ++i)
            d2xx.TxBuffer[i] = 0;
        d2xx.TxBuffer[0] = VersionQuery;
    }
    FrontPanel panel;
    D2XXUnit d2xx{VirtualBackend(), panel};
    AddressWindow window;
    TransferState transfer;
    CommandLink link{d2xx, panel, window, transfer};
};

void BM_ReplyArrival(benchmark::State& state) {
    Rig rig(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        rig.Query();
        rig.d2xx.TxBuffer[7] = CommandLink::PacketChecksum(rig.d2xx.TxBuffer.data());
        rig.d2xx.WriteTxBuffer(8);
        if (rig.link.AwaitReplyBytes(8) != 8) state.SkipWithError("no reply");
    }
}
BENCHMARK(BM_ReplyArrival)
    ->Arg(16)
    ->Arg(2)
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_AwaitedCommand(benchmark::State& state) {
    Rig rig(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        rig.Query();
        rig.link.SendPacket();
        if (rig.d2xx.ReplyBuffer[6] != 0) state.SkipWithError("no reply");
    }
}
BENCHMARK(BM_AwaitedCommand)
    ->Arg(16)
    ->Arg(2)
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
} // namespace velmar

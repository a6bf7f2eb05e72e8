// CPU time over wall time while the reply wait runs into its 8-second limit
// with a programmer that never answers. The wait pumps events on every turn;
// it must not keep a core busy doing so.

#include <benchmark/benchmark.h>

#include <ctime>

#include "link/CommandLink.h"
#include "link/D2XXUnit.h"

namespace velmar {
namespace {

// A bridge that is open and never has anything to read.
FT_STATUS List(void* a, void*, DWORD) {
    *static_cast<DWORD*>(a) = 1;
    return FT_OK;
}
FT_STATUS Open(void*, DWORD, FT_HANDLE* h) {
    *h = reinterpret_cast<FT_HANDLE>(1);
    return FT_OK;
}
FT_STATUS Handle(FT_HANDLE) {
    return FT_OK;
}
FT_STATUS Timeouts(FT_HANDLE, ULONG, ULONG) {
    return FT_OK;
}
FT_STATUS Queue(FT_HANDLE, DWORD* n) {
    *n = 0;
    return FT_OK;
}
FT_STATUS Write(FT_HANDLE, void*, DWORD c, DWORD* w) {
    *w = c;
    return FT_OK;
}
FT_STATUS Read(FT_HANDLE, void*, DWORD, DWORD* r) {
    *r = 0;
    return FT_OK;
}
FT_STATUS Latency(FT_HANDLE, UCHAR) {
    return FT_OK;
}
const D2XXBackend kSilent{"silent", List,  Open,  Handle, Handle,
                          Timeouts, Queue, Write, Read,   Latency};

struct CountingPanel : FrontPanel {
    long pumps = 0;
    void PumpEvents() override { ++pumps; }
};

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_UnansweredWait(benchmark::State& state) {
    CountingPanel panel;
    D2XXUnit d2xx(kSilent, panel);
    AddressWindow window;
    TransferState transfer;
    CommandLink link(d2xx, panel, window, transfer);
    link.LinkState = LinkState::Answered;
    link.ReplyTimeoutMs = 8000; // the product's limit
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        transfer.StopFlag = TransferStop::Running;
        d2xx.TxBuffer[0] = VersionQuery;
        const double cpu0 = CpuSeconds();
        const auto wall0 = std::chrono::steady_clock::now();
        link.SendPacket();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        cpu += CpuSeconds() - cpu0;
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    state.counters["turns_per_s"] = static_cast<double>(panel.pumps) / wall;
    state.counters["timed_out"] = transfer.StopFlag == TransferStop::Stopped ? 1 : 0;
}
BENCHMARK(BM_UnansweredWait)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace velmar

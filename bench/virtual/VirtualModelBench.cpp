// What the virtual programmer itself costs: the host's time on a ReadBlock
// or ProgramBlock round trip with the timing model off (pure model work), and
// the wall time of a version query with the model on, by latency timer.

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace {
using namespace velmar;

struct Rig {
    explicit Rig(bool timing, int family) {
        VirtualOptions o;
        o.Timing = timing;
        o.Family = family;
        VirtualProgrammer::Instance().Reset(o);
        char serial[1] = {0};
        api.OpenEx(serial, FT_OPEN_BY_SERIAL_NUMBER, &handle);
        api.SetTimeouts(handle, 1000, 0);
    }
    ~Rig() { api.Close(handle); }
    void Send(std::size_t count) {
        unsigned sum = 0;
        for (int i = 0; i < 7; ++i)
            sum += tx[i];
        tx[7] = static_cast<std::uint8_t>(sum);
        DWORD written = 0;
        api.Write(handle, tx.data(), static_cast<DWORD>(count), &written);
    }
    DWORD Receive(DWORD count) {
        DWORD got = 0;
        api.Read(handle, rx.data(), count, &got);
        return got;
    }
    const D2XXBackend& api = VirtualBackend();
    FT_HANDLE handle = nullptr;
    std::array<std::uint8_t, 264> tx{};
    std::vector<std::uint8_t> rx = std::vector<std::uint8_t>(32768);
};

// 87C5x read mode, then one 2048-byte ReadBlock at 0 per iteration.
void ReadBlocks(Rig& rig, benchmark::State& state) {
    rig.tx = {0x92, 0, 0, 0, 0xF7, 0x3F, 0xB0};
    rig.Send(8);
    for (auto _ : state) {
        rig.tx[0] = 0x32, rig.tx[1] = 4, rig.tx[2] = 0, rig.tx[3] = 0, rig.tx[4] = 0;
        rig.tx[5] = 0x08, rig.tx[6] = 0x00;
        rig.Send(8);
        benchmark::DoNotOptimize(rig.Receive(8 + 2048));
        VirtualProgrammer::Instance().ClearTrace();
    }
}

void BM_ReadBlock2048(benchmark::State& state) {
    Rig rig(false, 4);
    ReadBlocks(rig, state);
    state.SetBytesProcessed(state.iterations() * 2048);
}
BENCHMARK(BM_ReadBlock2048);

void BM_ProgramBlock256(benchmark::State& state) {
    Rig rig(false, 5);
    for (auto _ : state) {
        rig.tx = {0x92, 0, 0, 0x40, 0xFF, 0x3F, 0x30};
        rig.Send(8);
        rig.tx[0] = 0x41, rig.tx[1] = 5, rig.tx[2] = 0, rig.tx[3] = 0, rig.tx[4] = 0x40;
        rig.tx[5] = 0xFF, rig.tx[6] = 0x3F;
        rig.Send(264); // all 0x00 over 0x00 after the first round: always good
        benchmark::DoNotOptimize(rig.Receive(8));
        VirtualProgrammer::Instance().ClearTrace();
    }
    state.SetBytesProcessed(state.iterations() * 256);
}
BENCHMARK(BM_ProgramBlock256);

// Wall time of one short reply with the timing model on: the bridge holds
// it for its latency timer.
void BM_VersionReplyLatency(benchmark::State& state) {
    Rig rig(true, 4);
    rig.api.SetLatencyTimer(rig.handle, static_cast<UCHAR>(state.range(0)));
    for (auto _ : state) {
        rig.tx = {0x56, 0, 0, 0, 0, 0, 0};
        rig.Send(8);
        benchmark::DoNotOptimize(rig.Receive(8));
        VirtualProgrammer::Instance().ClearTrace();
    }
}
BENCHMARK(BM_VersionReplyLatency)->Arg(16)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// A 2048-byte read block with the model on: 33 full USB packets, then the
// 10-byte remainder after the latency timer.
void BM_ReadBlockTimed(benchmark::State& state) {
    Rig rig(true, 4);
    rig.api.SetLatencyTimer(rig.handle, static_cast<UCHAR>(state.range(0)));
    ReadBlocks(rig, state);
}
BENCHMARK(BM_ReadBlockTimed)->Arg(16)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

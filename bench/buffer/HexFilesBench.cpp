// What the hex writer and reader cost on a full 64 KiB buffer of random
// bytes, per format: the text built in memory, and read back from a memory
// stream, so that only the conversion is measured.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "buffer/FrontPanel.h"
#include "buffer/HexReader.h"
#include "buffer/HexWriter.h"

namespace {
using namespace velmar;

DataBuffer RandomBuffer() {
    DataBuffer buffer;
    std::mt19937 random(7);
    for (std::int32_t i = 0; i < kBufferSize; ++i) buffer[i] = static_cast<std::uint8_t>(random());
    return buffer;
}

AddressWindow FullWindow() {
    AddressWindow window;
    window.DeviceEnd = kBufferSize - 1;
    window.DeviceLimit = kBufferSize - 1;
    return window;
}

void Write(benchmark::State& state) {
    const DataBuffer buffer = RandomBuffer();
    const auto fileType = static_cast<FileType>(state.range(0));
    for (auto _ : state) {
        std::string text = HexFileText(buffer, fileType, kBufferSize - 1);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * kBufferSize);
}

void Read(benchmark::State& state) {
    const auto fileType = static_cast<FileType>(state.range(0));
    std::string text = HexFileText(RandomBuffer(), fileType, kBufferSize - 1);
    const AddressWindow window = FullWindow();
    FrontPanel panel;
    DataBuffer buffer;
    for (auto _ : state) {
        std::FILE* stream = fmemopen(text.data(), text.size(), "rb");
        const HexLoadResult result = LoadHexStream(stream, fileType, buffer, window, panel);
        std::fclose(stream);
        if (!result.ok || result.storedBytes != kBufferSize) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(buffer[0]);
    }
    state.SetBytesProcessed(state.iterations() * kBufferSize);
}

} // namespace

// 1 Intel, 2 Motorola, 3 ASCII hex.
BENCHMARK(Write)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(Read)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);

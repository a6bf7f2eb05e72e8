#include "FakeProgrammer.h"

#include <algorithm>
#include <numeric>

#include "buffer/HexText.h"
#include "devices/DeviceSelection.h"
#include "devices/OperationFrame.h"

namespace velmar::test {

namespace {
FakeProgrammer* g_fake = nullptr;
int g_handle = 0;
} // namespace

struct FakeCalls {
    static FT_STATUS List(void*, void*, DWORD) { return FT_OK; }
    static FT_STATUS Open(void*, DWORD, FT_HANDLE* h) {
        *h = &g_handle;
        return FT_OK;
    }
    static FT_STATUS Close(FT_HANDLE) { return FT_OK; }
    static FT_STATUS Reset(FT_HANDLE) { return FT_OK; }
    static FT_STATUS Timeouts(FT_HANDLE, ULONG, ULONG) { return FT_OK; }
    static FT_STATUS Latency(FT_HANDLE, UCHAR) { return FT_OK; }
    static FT_STATUS Queue(FT_HANDLE h, DWORD* rx) {
        FakeProgrammer& f = *g_fake;
        if (h != &g_handle) return FT_INVALID_HANDLE;
        *rx = static_cast<DWORD>(f.queue.size());
        return FT_OK;
    }
    static FT_STATUS Write(FT_HANDLE h, void* buffer, DWORD count, DWORD* written) {
        if (h != &g_handle) return FT_INVALID_HANDLE;
        g_fake->Received(static_cast<const std::uint8_t*>(buffer), count);
        *written = count;
        return FT_OK;
    }
    static FT_STATUS Read(FT_HANDLE h, void* buffer, DWORD count, DWORD* got) {
        if (h != &g_handle) return FT_INVALID_HANDLE;
        FakeProgrammer& f = *g_fake;
        const DWORD n = std::min<DWORD>(count, static_cast<DWORD>(f.queue.size()));
        auto* out = static_cast<std::uint8_t*>(buffer);
        for (DWORD i = 0; i < n; ++i) {
            out[i] = f.queue.front();
            f.queue.pop_front();
        }
        *got = n;
        return FT_OK;
    }
};

const D2XXBackend& FakeProgrammer::Backend() {
    static const D2XXBackend table{"fake",           FakeCalls::List,  FakeCalls::Open,
                                   FakeCalls::Close, FakeCalls::Reset, FakeCalls::Timeouts,
                                   FakeCalls::Queue, FakeCalls::Write, FakeCalls::Read,
                                   FakeCalls::Latency};
    return table;
}

FakeProgrammer::FakeProgrammer() : chip(0x10000, 0xFF) { g_fake = this; }
FakeProgrammer::~FakeProgrammer() {
    if (g_fake == this) g_fake = nullptr;
}

std::int32_t FakeProgrammer::LatchedAddress(const std::vector<std::uint8_t>& p) {
    std::int32_t a = p[2] | ((p[3] & 0x0F) << 8);
    if (p[3] & 0x80) a |= 0x2000;
    if (!(p[4] & 0x02)) a |= 0x1000;
    if (p[6] & 0x01) a |= 0x4000;
    return a;
}

void FakeProgrammer::Received(const std::uint8_t* data, DWORD count) {
    packets.emplace_back(data, data + count);
    const std::vector<std::uint8_t>& p = packets.back();
    if (p.size() < 8) return;
    if (p[0] == SetLatches) lastLatched_ = LatchedAddress(p);
    if (p[0] == WriteLatchCommand) {
        if (p[1] == 0x2F) {
            dataPhase_ = (p[2] & 0x10) != 0;
            latchAddress_ = (latchAddress_ & 0xFF) | ((p[2] & 0x0F) << 8);
        } else if (p[1] == 0x4F) {
            if (dataPhase_)
                latchData_ = p[2];
            else
                latchAddress_ = (latchAddress_ & 0xF00) | p[2];
        } else if (p[1] == 0x5F && !(p[2] & 0x02)) {
            chip[static_cast<std::size_t>(latchAddress_)] = latchData_; // the pulse
        }
    }
    if (p[0] >= 0x80) return;

    std::vector<std::uint8_t> reply(p.begin(), p.begin() + 8);
    reply[6] = 0x00;
    if (p[0] == ReadBlock) {
        const int size = (p[5] << 8) | p[6];
        // 875X parts take the high address from the lines, 874X parts start at 0.
        const std::int32_t base = p[1] > 2 ? lastLatched_ : p[2];
        for (int i = 0; i < size; ++i) reply.push_back(chip[static_cast<std::size_t>((base + i) & 0xFFFF)]);
    } else if (p[0] == ProgramBlock && p.size() >= 264) {
        const std::int32_t base = p[2] | (p[3] << 8);
        for (int i = 0; i < 256; ++i) chip[static_cast<std::size_t>((base + i) & 0xFFFF)] = p[8 + static_cast<std::size_t>(i)];
    }
    queue.insert(queue.end(), reply.begin(), reply.end());
}

std::string HexLine(const std::uint8_t* bytes, std::size_t count) {
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        if (i) line += ' ';
        line += HexText(bytes[i], 2);
    }
    return line;
}

std::vector<std::string> FakeProgrammer::Trace() const {
    std::vector<std::string> lines;
    for (const auto& p : packets) {
        std::string line = HexLine(p.data(), std::min<std::size_t>(p.size(), 8));
        if (p.size() > 8) line += " +" + std::to_string(p.size() - 8);
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> FakeProgrammer::TraceOf(std::uint8_t command) const {
    std::vector<std::string> lines;
    const auto all = Trace();
    for (std::size_t i = 0; i < packets.size(); ++i)
        if (packets[i][0] == command) lines.push_back(all[i]);
    return lines;
}

int FakeProgrammer::Count(std::uint8_t command) const {
    return static_cast<int>(std::count_if(packets.begin(), packets.end(),
                                          [command](const auto& p) { return p[0] == command; }));
}

Rig::Rig() : state(std::make_unique<ProgramState>(FakeProgrammer::Backend())) {
    state->Panel.Attach(&panel);
    state->D2XX.Open_USB_Device_By_Serial_Number("");
    state->Link.LinkState = LinkState::Answered;
    state->Link.ReplyTimeoutMs = 200;
    state->Link.Sleeper = [this](int ms) { sleeps.push_back(ms); };
}

void Rig::Select(int row) {
    SelectDevice(*state, row);
    EndOperation(*state);
    Forget();
}

void Rig::Forget() {
    fake.packets.clear();
    panel = RecordingPanel{};
    sleeps.clear();
}

int Rig::SleptMs() const { return std::accumulate(sleeps.begin(), sleeps.end(), 0); }

} // namespace velmar::test

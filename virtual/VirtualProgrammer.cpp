#include "VirtualProgrammer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "ChipTypes.h"
#include "PacketTrace.h"
#include "PortLock.h"
#include "ProgrammerFirmware.h"
#include "SocketChip.h"

namespace velmar {

namespace {
using Clock = std::chrono::steady_clock;
using Micros = std::chrono::microseconds;

// USB full speed moves about 1 MB/s; the bridge sends 62 data bytes per
// 64-byte packet.
constexpr std::size_t kUsbPayload = 62;
// The arrival time of a piece that waits for the host's next queue query.
constexpr Clock::time_point kHeld = Clock::time_point::max();
Micros TransferTime(std::size_t bytes) {
    return Micros(static_cast<long>((bytes + kUsbPayload - 1) / kUsbPayload) * 64);
}

struct Chunk {
    Clock::time_point At;
    std::vector<std::uint8_t> Bytes;
    long Packet = 0; // the packet it answers
};

struct Port {
    bool Programmer = true;
    bool Open = false;
    FT_HANDLE Handle = nullptr;
    std::deque<std::uint8_t> Rx;
    std::deque<long> RxPacket; // for each byte of Rx, the packet it answers
    std::deque<Chunk> Pending;
    unsigned ReadTimeoutMs = 0; // 0: no time-out, as the driver starts
    int LatencyMs = 16;
    Clock::time_point LastVisible{};

    void Clear() {
        Rx.clear();
        RxPacket.clear();
        Pending.clear();
    }
    void Arrive(Clock::time_point now) {
        while (!Pending.empty() && Pending.front().At <= now) {
            const Chunk& c = Pending.front();
            Rx.insert(Rx.end(), c.Bytes.begin(), c.Bytes.end());
            RxPacket.insert(RxPacket.end(), c.Bytes.size(), c.Packet);
            Pending.pop_front();
        }
    }
};

std::vector<std::uint8_t> Joined(const std::vector<Chunk>& chunks) {
    std::vector<std::uint8_t> all;
    for (const Chunk& c : chunks)
        all.insert(all.end(), c.Bytes.begin(), c.Bytes.end());
    return all;
}

std::uintptr_t g_nextHandle = 0x5640;

const char* const kOtherSerial = "FT4Q7Z2K";
const char* const kOtherDescription = "FT232R USB UART";
} // namespace

struct VirtualProgrammer::State {
    VirtualOptions Options;
    SocketChip Chip;
    std::vector<std::string> Faults;
    ProgrammerFirmware Firmware{Chip, Faults};
    PacketTrace Trace;
    Port Ports[2];
    long Packets = 0;
    long LastAnswered = 0; // the last packet the firmware made a reply for
    bool Unplugged = false;
    std::string ChipProblem; // why the chip file gave no contents
    PortLock Lock;           // the open programmer, with a state folder
    bool FixedPart = false;  // the part was named (options, SeatChip)
    bool PresetPart = false; // contents given before the family was known
    int PartNumber = 1;      // the part in the socket, counted from 1
    int SeatedUnderVoltage = 0;
    Clock::time_point DeviceFreeAt{};

    // programmers=N: one socket and chip each; the programmer opened last
    // has its chip in Chip, the others wait in Parked.
    int Active = 0;
    std::vector<SocketChip> Parked;
    std::string SerialOf(int programmer) const;
    void Activate(int programmer);

    std::string StateFile(int family) const {
        // Several programmers keep their chips apart by serial number.
        const std::string owner = Options.Programmers > 1 ? SerialOf(Active) + "-" : "";
        return Options.StateDir + "/virtual-chip-" + owner + std::to_string(family) + ".bin";
    }
    void SeatPart(int family, std::uint32_t size);
    void OnFamily(int family);
    void SaveChip();
    // The faults that belong to the part in the socket, from the options.
    void ApplyChipFaults();
    std::vector<int> Present() const;
    Port* Find(FT_HANDLE handle);
    // What a write or read checks first: a known handle, its arguments, a
    // programmer still plugged in. Null, with `status` saying why, when one fails.
    Port* TransferPort(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* done,
                       FT_STATUS& status);
    void Schedule(Port& port, std::vector<std::uint8_t> reply, Clock::time_point ready);
};

void VirtualProgrammer::State::SeatPart(int family, std::uint32_t size) {
    if (size == 0) size = DefaultChipSize(family);
    Chip.Seat(family, size);
    if (!Options.StateDir.empty() && family != 0) {
        std::ifstream in(StateFile(family), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (bytes.size() == Chip.Size()) Chip.Cells() = std::move(bytes);
    }
}

// A part appears in the socket when the host first names a family; naming
// another family later means the user put in another part.
void VirtualProgrammer::State::OnFamily(int family) {
    if (FixedPart || Chip.Family() == family) return;
    if (PresetPart) {
        Chip.SetFamily(family);
        FixedPart = true;
        return;
    }
    if (Chip.Family() != 0) SaveChip();
    SeatPart(family, Options.Size);
}

void VirtualProgrammer::State::ApplyChipFaults() {
    Chip.Faults = Options.Socket;
    Firmware.FailBlock = Options.FailBlock;
    Firmware.WeakBits.clear();
    Firmware.WeakBits.insert(Options.WeakBits.begin(), Options.WeakBits.end());
}

void VirtualProgrammer::State::SaveChip() {
    if (!Options.SaveChipFile.empty()) Chip.Save(Options.SaveChipFile);
    if (!Options.SavePartsDir.empty()) {
        const std::string part = Options.SavePartsDir + "/part-" + std::to_string(PartNumber);
        Chip.Save(part + ".bin");
        // A damaged part's contents say nothing of why; the note beside them does.
        if (!Chip.Damage.empty()) std::ofstream(part + ".txt") << Chip.Damage << "\n";
    }
    if (!Options.StateDir.empty() && Chip.Family() != 0 && Chip.Dirty) {
        std::error_code ec;
        std::filesystem::create_directories(Options.StateDir, ec);
        Chip.Save(StateFile(Chip.Family()));
    }
    Chip.Dirty = false;
}

// Device ids: 0 the (first) programmer, 1 the other FTDI cable, 2 + k the
// programmer k >= 1 of programmers=N.
std::vector<int> VirtualProgrammer::State::Present() const {
    std::vector<int> present;
    for (int i = 0; i < Options.Devices && i < 2; ++i) {
        if (!(i == 0 && Unplugged)) present.push_back(i);
        if (i == 0 && !Unplugged)
            for (int k = 1; k < Options.Programmers; ++k)
                present.push_back(1 + k);
    }
    return present;
}

std::string VirtualProgrammer::State::SerialOf(int programmer) const {
    if (programmer == 0) return Options.Serial;
    char serial[16];
    std::snprintf(serial, sizeof serial, "BP123%03d", (programmer + 1) % 1000);
    return serial;
}

// The programmers share one port (the host opens one at a time); each keeps
// its own chip, seated as the first one's was and kept under its serial.
void VirtualProgrammer::State::Activate(int programmer) {
    if (programmer == Active) return;
    SaveChip();
    if (Parked.empty()) {
        Parked.resize(static_cast<std::size_t>(Options.Programmers));
        for (std::size_t k = 1; k < Parked.size(); ++k) {
            Parked[k].Faults = Chip.Faults;
            Parked[k].Seat(Chip.Family(), Chip.Size());
        }
    }
    std::swap(Chip, Parked[static_cast<std::size_t>(Active)]);
    Active = programmer;
    std::swap(Chip, Parked[static_cast<std::size_t>(Active)]);
    if (!Options.StateDir.empty() && Chip.Family() != 0 && !Chip.Dirty) {
        std::ifstream in(StateFile(Chip.Family()), std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        if (bytes.size() == Chip.Size()) Chip.Cells() = std::move(bytes);
    }
}

Port* VirtualProgrammer::State::Find(FT_HANDLE handle) {
    for (Port& port : Ports)
        if (port.Open && handle && port.Handle == handle) return &port;
    return nullptr;
}

Port* VirtualProgrammer::State::TransferPort(FT_HANDLE handle, const void* buffer, DWORD count,
                                             DWORD* done, FT_STATUS& status) {
    Port* port = Find(handle);
    if (!port) {
        status = FT_INVALID_HANDLE;
    } else if (!done || (!buffer && count > 0)) {
        status = FT_INVALID_PARAMETER;
    } else {
        *done = 0;
        status = port->Programmer && Unplugged ? FT_IO_ERROR : FT_OK;
    }
    return status == FT_OK ? port : nullptr;
}

// Reply bytes reach the host's queue in 62-byte USB packets; the bridge
// holds a short remainder until its latency timer runs out.
void VirtualProgrammer::State::Schedule(Port& port, std::vector<std::uint8_t> reply,
                                        Clock::time_point ready) {
    if (Options.LateReplyAt == Packets) ready += std::chrono::milliseconds(Options.LateMs);
    std::vector<Chunk> chunks;
    if (Options.Timing) {
        const std::size_t full = reply.size() / kUsbPayload * kUsbPayload;
        if (full > 0)
            chunks.push_back({ready + TransferTime(full),
                              std::vector<std::uint8_t>(reply.begin(), reply.begin() + full)});
        if (full < reply.size())
            chunks.push_back({ready + TransferTime(full) +
                                  std::chrono::milliseconds(port.LatencyMs) +
                                  TransferTime(reply.size() - full),
                              std::vector<std::uint8_t>(reply.begin() + full, reply.end())});
    } else {
        chunks.push_back({ready, std::move(reply)});
    }
    if (Options.SplitReplyAt == Packets && Options.SplitBytes >= 0) {
        const std::vector<std::uint8_t> all = Joined(chunks);
        const std::size_t first = std::min<std::size_t>(Options.SplitBytes, all.size());
        const Clock::time_point end = chunks.back().At;
        chunks.clear();
        if (first > 0)
            chunks.push_back({ready, std::vector<std::uint8_t>(all.begin(), all.begin() + first)});
        chunks.push_back({end + std::chrono::milliseconds(Options.SplitMs),
                          std::vector<std::uint8_t>(all.begin() + first, all.end())});
    }
    // split-every: the rest waits until the host has asked the queue once
    // more, so a host always sees the reply in two pieces, however slow it is.
    if (Options.SplitEvery > 0) {
        const std::vector<std::uint8_t> all = Joined(chunks);
        const auto first = all.begin() + std::min<std::ptrdiff_t>(Options.SplitEvery, static_cast<std::ptrdiff_t>(all.size()));
        if (first != all.end())
            chunks = {{ready, std::vector<std::uint8_t>(all.begin(), first)},
                      {kHeld, std::vector<std::uint8_t>(first, all.end())}};
    }
    // One pipe: nothing overtakes what was sent before it.
    for (Chunk& c : chunks) {
        c.Packet = Packets;
        c.At = std::max(c.At, port.LastVisible);
        if (c.At != kHeld) port.LastVisible = c.At;
        port.Pending.push_back(std::move(c));
    }
}

// ---------------------------------------------------------------------------

VirtualProgrammer& VirtualProgrammer::Instance() {
    static VirtualProgrammer instance;
    return instance;
}

VirtualProgrammer::VirtualProgrammer() {
    Reset(VirtualOptions());
}

VirtualProgrammer::~VirtualProgrammer() {
    Finish();
}

void VirtualProgrammer::Reset(const VirtualOptions& options) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.Options = options;
    s.Options.Devices = std::clamp(options.Devices, 0, 2);
    s.Options.Programmers = std::clamp(options.Programmers, 1, 8);
    s.Ports[1].Programmer = false;
    s.Firmware.VersionMajor = options.FirmwareMajor;
    s.Firmware.VersionMinor = options.FirmwareMinor;
    s.Firmware.BadUpdate = options.BadUpdate;
    s.ApplyChipFaults();
    s.Firmware.FamilyNamed = [&s](int family) { s.OnFamily(family); };
    s.Trace.Restart(options.TraceFile);
    if (options.Family != 0) {
        s.SeatPart(options.Family, options.Size);
        s.FixedPart = true;
    } else if (options.Size != 0) {
        s.Chip.Seat(0, options.Size);
    }
    if (!options.ChipFile.empty() && !LoadChip(options.ChipFile))
        s.Faults.push_back("chip file: " + s.ChipProblem);
    s.Chip.SetLocks(options.LockBits);
}

const VirtualOptions& VirtualProgrammer::Options() const {
    return state_->Options;
}

void VirtualProgrammer::Finish() {
    if (state_) state_->SaveChip();
}

void VirtualProgrammer::SeatChip(int family, std::uint32_t size) {
    state_->SeatPart(family, size);
    state_->FixedPart = true;
}

void VirtualProgrammer::SwapPart() {
    State& s = *state_;
    s.SaveChip();
    ++s.PartNumber;
    // Before the seating: an under-erased part comes out of its erase so.
    s.ApplyChipFaults();
    s.Chip.Seat(s.Chip.Family(), s.Chip.Size());
    s.Chip.Dirty = true;
    // The datasheets forbid seating a part under Vpp: it can latch up and be destroyed.
    if (s.Firmware.VoltageOn()) {
        s.Chip.Damage = "seated under programming voltage";
        ++s.SeatedUnderVoltage;
        s.Faults.push_back("part " + std::to_string(s.PartNumber) +
                           " seated under programming voltage: damaged");
    }
}

bool VirtualProgrammer::ProgrammingVoltageOn() const {
    return state_->Firmware.VoltageOn();
}

int VirtualProgrammer::PartsSeatedUnderVoltage() const {
    return state_->SeatedUnderVoltage;
}

const std::string& VirtualProgrammer::ChipDamage() const {
    return state_->Chip.Damage;
}

int VirtualProgrammer::PartNumber() const {
    return state_->PartNumber;
}

int VirtualProgrammer::ChipFamily() const {
    return state_->Chip.Family();
}
std::uint32_t VirtualProgrammer::ChipSize() const {
    return state_->Chip.Size();
}
std::uint8_t VirtualProgrammer::ErasedValue() const {
    return state_->Chip.Erased();
}

std::vector<std::uint8_t>& VirtualProgrammer::Chip() {
    // Contents set before any family was named stay when the host names one.
    if (!state_->FixedPart && state_->Chip.Family() == 0) state_->PresetPart = true;
    return state_->Chip.Cells();
}
const std::vector<std::uint8_t>& VirtualProgrammer::Chip() const {
    return state_->Chip.Cells();
}
std::uint8_t VirtualProgrammer::LockBits() const {
    return state_->Chip.Locks();
}
void VirtualProgrammer::SetLockBits(std::uint8_t bits) {
    state_->Chip.SetLocks(bits);
}

const std::string& VirtualProgrammer::ChipFileProblem() const {
    return state_->ChipProblem;
}

bool VirtualProgrammer::LoadChip(const std::string& path) {
    std::optional<std::vector<std::uint8_t>> read =
        SocketChip::ReadFile(path, &state_->ChipProblem);
    if (!read) return false;
    state_->ChipProblem.clear();
    std::vector<std::uint8_t>& bytes = *read;
    State& s = *state_;
    if (s.FixedPart) {
        std::vector<std::uint8_t>& cells = s.Chip.Cells();
        std::fill(cells.begin(), cells.end(), s.Chip.Erased());
        std::copy_n(bytes.begin(), std::min(bytes.size(), cells.size()), cells.begin());
    } else {
        s.Chip.Cells() = std::move(bytes);
        s.PresetPart = true;
    }
    return true;
}

bool VirtualProgrammer::SaveChip(const std::string& path) const {
    return state_->Chip.Save(path);
}

int VirtualProgrammer::FirmwareVersion() const {
    return state_->Firmware.VersionMajor * 256 + state_->Firmware.VersionMinor;
}
void VirtualProgrammer::SetFirmwareVersion(int major, int minor) {
    state_->Firmware.VersionMajor = major & 0xFF;
    state_->Firmware.VersionMinor = minor & 0xFF;
}
std::uint16_t VirtualProgrammer::UpdateChecksum() const {
    return state_->Firmware.UpdateChecksum();
}
int VirtualProgrammer::UpdateRecordsReceived() const {
    return state_->Firmware.RecordsReceived();
}

std::uint8_t VirtualProgrammer::Latch(std::uint8_t select) const {
    return state_->Firmware.Latch(select);
}
long VirtualProgrammer::LastReadAddress() const {
    return state_->Firmware.LastReadAddress();
}

const std::vector<std::string>& VirtualProgrammer::Trace() const {
    return state_->Trace.Lines();
}
const std::vector<std::string>& VirtualProgrammer::Faults() const {
    return state_->Faults;
}
int VirtualProgrammer::TraceWriteFailed() const {
    return state_->Trace.WriteFailed();
}

void VirtualProgrammer::ClearTrace() {
    state_->Trace.Clear();
    state_->Faults.clear();
}
long VirtualProgrammer::PacketCount() const {
    return state_->Packets;
}
std::string VirtualProgrammer::TraceLine(const std::uint8_t* bytes, std::size_t count) {
    return PacketTrace::Line(bytes, count);
}

void VirtualProgrammer::SetDeviceCount(int devices) {
    state_->Options.Devices = std::clamp(devices, 0, 2);
}
void VirtualProgrammer::SetTiming(bool on) {
    state_->Options.Timing = on;
}
void VirtualProgrammer::SetFailBlock(long address) {
    state_->Options.FailBlock = address;
    state_->Firmware.FailBlock = address;
}
void VirtualProgrammer::SetNoReplyFrom(long packet) {
    state_->Options.NoReplyFrom = packet;
}
void VirtualProgrammer::SetNoReplyAt(long packet) {
    state_->Options.NoReplyAt = packet;
}
void VirtualProgrammer::SetLateReply(long packet, int milliseconds) {
    state_->Options.LateReplyAt = packet;
    state_->Options.LateMs = milliseconds;
}
void VirtualProgrammer::SetSplitReply(long packet, int firstBytes, int pauseMs) {
    state_->Options.SplitReplyAt = packet;
    state_->Options.SplitBytes = firstBytes;
    state_->Options.SplitMs = pauseMs;
}
void VirtualProgrammer::SetLongReply(long packet, int extraBytes) {
    state_->Options.LongReplyAt = packet;
    state_->Options.LongBytes = extraBytes;
}
void VirtualProgrammer::SetShortReply(long packet, int missingBytes) {
    state_->Options.ShortReplyAt = packet;
    state_->Options.ShortBytes = missingBytes;
}
void VirtualProgrammer::SetNoReplyTo(int command) {
    state_->Options.NoReplyTo = command;
}
void VirtualProgrammer::SetSplitEvery(int firstBytes) {
    state_->Options.SplitEvery = firstBytes;
}
void VirtualProgrammer::SetShortWrite(long packet) {
    state_->Options.ShortWriteAt = packet;
}
void VirtualProgrammer::SetUnplugFrom(long packet) {
    state_->Options.UnplugFrom = packet;
}
void VirtualProgrammer::Unplug() {
    state_->Unplugged = true;
    state_->Ports[0].Clear();
}
void VirtualProgrammer::SetBadUpdate(bool bad) {
    state_->Options.BadUpdate = bad;
    state_->Firmware.BadUpdate = bad;
}

int VirtualProgrammer::LatencyMs() const {
    return state_->Ports[0].LatencyMs;
}
unsigned VirtualProgrammer::ReadTimeoutMs() const {
    return state_->Ports[0].ReadTimeoutMs;
}
bool VirtualProgrammer::IsOpen() const {
    return state_->Ports[0].Open;
}

// ---- D2XX -----------------------------------------------------------------

FT_STATUS VirtualProgrammer::ListDevices(void* arg1, void* arg2, DWORD flags) {
    State& s = *state_;
    const std::vector<int> present = s.Present();
    if (flags & FT_LIST_NUMBER_ONLY) {
        if (!arg1) return FT_INVALID_PARAMETER;
        *static_cast<DWORD*>(arg1) = static_cast<DWORD>(present.size());
        return FT_OK;
    }
    if (flags & FT_LIST_BY_INDEX) {
        const std::uintptr_t index = reinterpret_cast<std::uintptr_t>(arg1);
        char* text = static_cast<char*>(arg2);
        const DWORD what = flags & 0x3;
        if (!text || (what != FT_OPEN_BY_SERIAL_NUMBER && what != FT_OPEN_BY_DESCRIPTION))
            return FT_INVALID_PARAMETER;
        if (index >= present.size()) return FT_DEVICE_NOT_FOUND;
        const int id = present[index];
        const bool programmer = id != 1;
        const std::string value =
            what == FT_OPEN_BY_SERIAL_NUMBER
                ? (programmer ? s.SerialOf(id == 0 ? 0 : id - 1) : std::string(kOtherSerial))
                : (programmer ? s.Options.Description : std::string(kOtherDescription));
        const std::size_t n = std::min<std::size_t>(value.size(), 49);
        std::memcpy(text, value.data(), n);
        text[n] = 0;
        return FT_OK;
    }
    s.Faults.push_back("FT_ListDevices with flags " + std::to_string(flags) + " is not supported");
    return FT_INVALID_PARAMETER;
}

FT_STATUS VirtualProgrammer::OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle) {
    State& s = *state_;
    if (!handle || !arg1) return FT_INVALID_PARAMETER;
    if (flags != FT_OPEN_BY_SERIAL_NUMBER && flags != FT_OPEN_BY_DESCRIPTION)
        return FT_INVALID_PARAMETER;
    const std::string wanted(static_cast<const char*>(arg1));
    const std::vector<int> present = s.Present();
    int device = -1;
    if (wanted.empty()) {
        // The driver opens the one device there is.
        if (present.size() == 1) device = present[0];
    } else {
        for (int i : present) {
            const bool programmer = i != 1;
            const std::string name =
                flags == FT_OPEN_BY_SERIAL_NUMBER
                    ? (programmer ? s.SerialOf(i == 0 ? 0 : i - 1) : std::string(kOtherSerial))
                    : (programmer ? s.Options.Description : std::string(kOtherDescription));
            if (name == wanted && device < 0) device = i;
        }
    }
    if (device < 0) return FT_DEVICE_NOT_FOUND;
    Port& port = s.Ports[device == 1 ? 1 : 0];
    if (port.Open) return FT_DEVICE_NOT_OPENED;
    if (device != 1) {
        const int programmer = device == 0 ? 0 : device - 1;
        // Processes that share a state folder share its programmers: one
        // holds a programmer at a time, as a real bridge is held.
        if (!s.Options.StateDir.empty()) {
            std::error_code ec;
            std::filesystem::create_directories(s.Options.StateDir, ec);
            if (!s.Lock.Acquire(s.Options.StateDir + "/virtual-programmer-" +
                                s.SerialOf(programmer) + ".lock"))
                return FT_DEVICE_NOT_OPENED;
        }
        s.Activate(programmer);
    }
    port.Open = true;
    port.Clear();
    port.ReadTimeoutMs = 0;
    port.LatencyMs = s.Options.LatencyMs;
    g_nextHandle += 0x10;
    port.Handle = reinterpret_cast<FT_HANDLE>(g_nextHandle);
    *handle = port.Handle;
    return FT_OK;
}

FT_STATUS VirtualProgrammer::Close(FT_HANDLE handle) {
    Port* port = state_->Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    port->Open = false;
    port->Clear();
    if (port->Programmer) {
        state_->SaveChip();
        state_->Lock.Release();
    }
    return FT_OK;
}

FT_STATUS VirtualProgrammer::ResetDevice(FT_HANDLE handle) {
    Port* port = state_->Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (port->Programmer && state_->Unplugged) return FT_IO_ERROR;
    port->Clear();
    return FT_OK;
}

FT_STATUS VirtualProgrammer::SetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {
    (void)writeMs; // writes never block here
    Port* port = state_->Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (port->Programmer && state_->Unplugged) return FT_IO_ERROR;
    port->ReadTimeoutMs = readMs;
    return FT_OK;
}

FT_STATUS VirtualProgrammer::SetLatencyTimer(FT_HANDLE handle, UCHAR milliseconds) {
    Port* port = state_->Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (port->Programmer && state_->Unplugged) return FT_IO_ERROR;
    if (milliseconds < 2) return FT_INVALID_PARAMETER;
    port->LatencyMs = milliseconds;
    return FT_OK;
}

FT_STATUS VirtualProgrammer::GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes) {
    Port* port = state_->Find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!rxBytes) return FT_INVALID_PARAMETER;
    if (port->Programmer && state_->Unplugged) return FT_IO_ERROR;
    const Clock::time_point now = Clock::now();
    port->Arrive(now);
    *rxBytes = static_cast<DWORD>(port->Rx.size());
    // A held piece shows up for the next query, not this one.
    if (!port->Pending.empty() && port->Pending.front().At == kHeld) port->Pending.front().At = now;
    return FT_OK;
}

FT_STATUS VirtualProgrammer::Write(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) {
    State& s = *state_;
    FT_STATUS status = FT_OK;
    Port* port = s.TransferPort(handle, buffer, count, written, status);
    if (!port) return status;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const long packet = ++s.Packets;
    DWORD taken = count;
    if (s.Options.ShortWriteAt == packet) taken = count / 2;
    s.Trace.Add(bytes, taken);
    *written = taken;
    if (!port->Programmer || taken == 0) return FT_OK; // the other device just takes it

    const Clock::time_point now = Clock::now();
    const std::size_t faultsBefore = s.Faults.size();
    FirmwareOutcome out;
    if (taken != count)
        s.Faults.push_back("short write: " + std::to_string(taken) + " of " +
                           std::to_string(count) + " bytes; the firmware drops the piece");
    else
        out = s.Firmware.Handle(bytes, taken);
    for (std::size_t i = faultsBefore; i < s.Faults.size(); ++i)
        s.Faults[i] = "packet " + std::to_string(packet) + ": " + s.Faults[i];

    Clock::time_point ready = now;
    if (s.Options.Timing) {
        ready = std::max(now + TransferTime(taken), s.DeviceFreeAt) + Micros(out.BusyMicroseconds);
        s.DeviceFreeAt = ready;
    }
    if (s.Options.UnplugFrom > 0 && packet >= s.Options.UnplugFrom) {
        Unplug();
        return FT_OK;
    }
    const bool silenced = (s.Options.NoReplyFrom > 0 && packet >= s.Options.NoReplyFrom) ||
                          s.Options.NoReplyAt == packet || s.Options.NoReplyTo == bytes[0];
    if (out.Answered) s.LastAnswered = packet;
    if (out.Answered && s.Options.LongReplyAt == packet)
        out.Reply.insert(out.Reply.end(), static_cast<std::size_t>(s.Options.LongBytes), 0xA5);
    if (out.Answered && s.Options.ShortReplyAt == packet) {
        const auto cut = static_cast<std::ptrdiff_t>(
            std::min<std::size_t>(out.Reply.size(), s.Options.ShortBytes));
        out.Reply.erase(out.Reply.end() - cut, out.Reply.end());
    }
    if (out.Answered && !silenced) s.Schedule(*port, std::move(out.Reply), ready);
    // The end of every operation frame is an idle command: keep the chip.
    if (bytes[0] == 0x24 && s.Chip.Dirty) s.SaveChip();
    return FT_OK;
}

FT_STATUS VirtualProgrammer::Read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
    State& s = *state_;
    FT_STATUS status = FT_OK;
    Port* port = s.TransferPort(handle, buffer, count, read, status);
    if (!port) return status;
    const Clock::time_point start = Clock::now();
    const bool endless = port->ReadTimeoutMs == 0;
    const Clock::time_point deadline = start + std::chrono::milliseconds(port->ReadTimeoutMs);
    for (;;) {
        const Clock::time_point now = Clock::now();
        port->Arrive(now);
        if (port->Rx.size() >= count) break;
        if (!endless && now >= deadline) break;
        if (endless && (port->Pending.empty() || port->Pending.front().At == kHeld)) {
            // A real driver would block for good here.
            s.Faults.push_back("FT_Read of " + std::to_string(count) +
                               " bytes without a read time-out would never return");
            break;
        }
        Clock::time_point wake = port->Pending.empty() ? deadline : port->Pending.front().At;
        if (!endless) wake = std::min(wake, deadline);
        std::this_thread::sleep_until(wake);
    }
    const std::size_t n = std::min<std::size_t>(count, port->Rx.size());
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::copy_n(port->Rx.begin(), n, out);
    port->Rx.erase(port->Rx.begin(), port->Rx.begin() + static_cast<std::ptrdiff_t>(n));
    // Bytes of a reply read after a later request went out: the host takes
    // them for that request's reply (dropping them first is what it should do).
    long stale = 0;
    long from = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const long owner = port->RxPacket[i];
        if (owner < s.LastAnswered) {
            if (stale++ == 0) from = owner;
        }
    }
    port->RxPacket.erase(port->RxPacket.begin(),
                         port->RxPacket.begin() + static_cast<std::ptrdiff_t>(n));
    if (stale > 0)
        s.Faults.push_back("packet " + std::to_string(s.LastAnswered) + ": " +
                           std::to_string(stale) + " bytes of the reply to packet " +
                           std::to_string(from) + " read as its reply");
    *read = static_cast<DWORD>(n);
    return FT_OK;
}

} // namespace velmar

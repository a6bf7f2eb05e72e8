#include "VirtualOptions.h"

#include <cstdlib>

#include "ChipTypes.h"
#include "FirmwareImage.h"

namespace velmar {

namespace {
std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool Number(std::string_view text, int base, long& value) {
    if (base == 16) {
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
            text.remove_prefix(2);
        else if (!text.empty() && text[0] == '$')
            text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 8) return false;
    const std::string s(text);
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, base);
    if (*end != 0 || s[0] == '-' || s[0] == '+') return false;
    value = v;
    return true;
}

bool Switch(std::string_view text, bool& value) {
    if (text == "on" || text == "1" || text == "yes") return value = true, true;
    if (text == "off" || text == "0" || text == "no") return value = false, true;
    return false;
}

// "N" or "N:A" or "N:A:B", decimal.
bool Parts(std::string_view text, long out[3], int& count) {
    count = 0;
    while (count < 3) {
        const std::size_t colon = text.find(':');
        if (!Number(text.substr(0, colon), 10, out[count++])) return false;
        if (colon == std::string_view::npos) return true;
        text.remove_prefix(colon + 1);
    }
    return false;
}
} // namespace

// "ADDR:MASK;ADDR:MASK...", both hexadecimal.
static bool ParseWeakBits(std::string_view text,
                          std::vector<std::pair<std::uint32_t, std::uint8_t>>& out) {
    out.clear();
    while (!text.empty()) {
        const std::size_t semi = text.find(';');
        const std::string_view item = text.substr(0, semi);
        text = semi == std::string_view::npos ? std::string_view() : text.substr(semi + 1);
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos) return false;
        const std::string address(item.substr(0, colon)), mask(item.substr(colon + 1));
        char* end = nullptr;
        const unsigned long a = std::strtoul(address.c_str(), &end, 16);
        if (address.empty() || *end != 0 || a > 0xFFFF) return false;
        const unsigned long m = std::strtoul(mask.c_str(), &end, 16);
        if (mask.empty() || *end != 0 || m == 0 || m > 0xFF) return false;
        out.emplace_back(static_cast<std::uint32_t>(a), static_cast<std::uint8_t>(m));
    }
    return !out.empty();
}

namespace {

// A number of `base` within [low, high], stored in `target`.
template <typename T>
bool InRange(std::string_view text, int base, long low, long high, T& target) {
    long n = 0;
    if (!Number(text, base, n) || n < low || n > high) return false;
    target = static_cast<T>(n);
    return true;
}

// A file or folder name, or a name of at most `longest` characters.
bool Text(std::string_view text, std::size_t longest, std::string& target) {
    if (text.empty() || text.size() > longest) return false;
    target = std::string(text);
    return true;
}

constexpr std::size_t kAnyLength = std::string_view::npos;
constexpr long kAnyCount = 99999999; // eight digits

// "N" or "N:ADDED", the reply to packet N (from 1) with ADDED bytes too
// many or too few, 1 to 4096 (default 1).
bool ReplyBytes(std::string_view text, long& at, int& bytes) {
    long parts[3] = {};
    int count = 0;
    if (!Parts(text, parts, count) || count > 2 || parts[0] < 1 ||
        (count > 1 && (parts[1] < 1 || parts[1] > 4096)))
        return false;
    at = parts[0];
    bytes = count > 1 ? static_cast<int>(parts[1]) : 1;
    return true;
}

using O = VirtualOptions&;
using V = std::string_view;

struct VirtualKey {
    const char* key;
    bool alone; // may stand without "=VALUE", meaning on
    // Sets the option from its value; false when the value is bad.
    bool (*set)(V value, O o);
};

// Every key of the list; virtual/OPTIONS.md says what each means.
const VirtualKey kVirtualKeys[] = {
    {"firmware", false,
     [](V v, O o) {
         return ParseFirmwareVersion(std::string(v).c_str(), o.FirmwareMajor, o.FirmwareMinor);
     }},
    {"devices", false, [](V v, O o) { return InRange(v, 10, 0, 2, o.Devices); }},
    {"weak-bits", false, [](V v, O o) { return ParseWeakBits(v, o.WeakBits); }},
    {"no-chip", true, [](V v, O o) { return Switch(v, o.Socket.NoChip); }},
    {"reversed", true, [](V v, O o) { return Switch(v, o.Socket.Reversed); }},
    {"stuck-data", false,
     [](V v, O o) {
         long parts[3] = {};
         int count = 0;
         if (!Parts(v, parts, count) || count != 2 || parts[0] > 7 || parts[1] > 1) return false;
         o.Socket.StuckDataBit = static_cast<int>(parts[0]);
         o.Socket.StuckDataValue = parts[1] == 1;
         return true;
     }},
    {"open-address", false,
     [](V v, O o) { return InRange(v, 10, 0, 15, o.Socket.OpenAddressLine); }},
    {"under-erased", false,
     [](V v, O o) { return InRange(v, 10, 0, 100, o.Socket.UnderErasedPercent); }},
    {"weak-cells", false,
     [](V v, O o) { return InRange(v, 10, 0, 100, o.Socket.WeakCellsPercent); }},
    {"programmers", false, [](V v, O o) { return InRange(v, 10, 1, 8, o.Programmers); }},
    {"serial", false, [](V v, O o) { return Text(v, 49, o.Serial); }},
    {"description", false, [](V v, O o) { return Text(v, 49, o.Description); }},
    {"timing", false, [](V v, O o) { return Switch(v, o.Timing); }},
    {"latency", false, [](V v, O o) { return InRange(v, 10, 2, 255, o.LatencyMs); }},
    {"family", false, [](V v, O o) { return InRange(v, 10, 1, 6, o.Family); }},
    {"size", false, [](V v, O o) { return InRange(v, 16, 1, 0x10000, o.Size); }},
    {"chip-type", false,
     [](V v, O o) {
         const ChipType* type = FindChipType(v);
         if (!type) return false;
         o.Family = type->Family;
         o.Size = type->Size;
         return true;
     }},
    {"lock", false, [](V v, O o) { return InRange(v, 16, 0, 7, o.LockBits); }},
    {"chip", false, [](V v, O o) { return Text(v, kAnyLength, o.ChipFile); }},
    {"save-chip", false, [](V v, O o) { return Text(v, kAnyLength, o.SaveChipFile); }},
    {"state-dir", false, [](V v, O o) { return Text(v, kAnyLength, o.StateDir); }},
    {"trace", false, [](V v, O o) { return Text(v, kAnyLength, o.TraceFile); }},
    {"fail-block", false, [](V v, O o) { return InRange(v, 16, 0, 0xFFFF, o.FailBlock); }},
    {"no-reply-from", false, [](V v, O o) { return InRange(v, 10, 1, kAnyCount, o.NoReplyFrom); }},
    {"no-reply-at", false, [](V v, O o) { return InRange(v, 10, 1, kAnyCount, o.NoReplyAt); }},
    {"short-write", false, [](V v, O o) { return InRange(v, 10, 1, kAnyCount, o.ShortWriteAt); }},
    {"unplug-from", false, [](V v, O o) { return InRange(v, 10, 1, kAnyCount, o.UnplugFrom); }},
    {"late-reply", false,
     [](V v, O o) {
         long parts[3] = {};
         int count = 0;
         if (!Parts(v, parts, count) || count > 2 || parts[0] < 1) return false;
         o.LateReplyAt = parts[0];
         if (count > 1) o.LateMs = static_cast<int>(parts[1]);
         return true;
     }},
    {"split-reply", false,
     [](V v, O o) {
         long parts[3] = {};
         int count = 0;
         if (!Parts(v, parts, count) || parts[0] < 1) return false;
         o.SplitReplyAt = parts[0];
         if (count > 1) o.SplitBytes = static_cast<int>(parts[1]);
         if (count > 2) o.SplitMs = static_cast<int>(parts[2]);
         return true;
     }},
    {"long-reply", false, [](V v, O o) { return ReplyBytes(v, o.LongReplyAt, o.LongBytes); }},
    {"short-reply", false, [](V v, O o) { return ReplyBytes(v, o.ShortReplyAt, o.ShortBytes); }},
    {"no-reply-to", false, [](V v, O o) { return InRange(v, 16, 0, 0xFF, o.NoReplyTo); }},
    {"split-every", false, [](V v, O o) { return InRange(v, 10, 1, 4096, o.SplitEvery); }},
    {"swap", false, [](V v, O o) { return Switch(v, o.Swap); }},
    {"save-parts", false, [](V v, O o) { return Text(v, kAnyLength, o.SavePartsDir); }},
    {"bad-update", false, [](V v, O o) { return Switch(v, o.BadUpdate); }},
};

const VirtualKey* FindVirtualKey(std::string_view key) {
    for (const VirtualKey& k : kVirtualKeys)
        if (key == k.key) return &k;
    return nullptr;
}

} // namespace

bool ParseVirtualOptions(std::string_view text, VirtualOptions& o, std::string& error) {
    text = Trim(text);
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (item.empty()) continue;
        const std::size_t eq = item.find('=');
        // The socket's own troubles need no value.
        if (const VirtualKey* alone = FindVirtualKey(item); alone && alone->alone) {
            alone->set("on", o);
            continue;
        }
        if (eq == std::string_view::npos) {
            error = "virtual option without a value: " + std::string(item);
            return false;
        }
        const std::string key(Trim(item.substr(0, eq)));
        const std::string_view value = Trim(item.substr(eq + 1));
        const VirtualKey* known = FindVirtualKey(key);
        if (known == nullptr) {
            error = "unknown virtual option: " + key;
            return false;
        }
        if (!known->set(value, o)) {
            error = "bad value for virtual option " + key + ": " + std::string(value);
            return false;
        }
    }
    return true;
}

VirtualOptions DropInDefaultOptions() {
    VirtualOptions o;
    o.Timing = true;
#if defined(_WIN32)
    // Machine-local data of the user, not roamed: %LOCALAPPDATA%\velmar.
    if (const char* local = std::getenv("LOCALAPPDATA"); local && *local)
        o.StateDir = std::string(local) + "\\velmar";
#else
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        base = state;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/state";
    if (!base.empty()) o.StateDir = base + "/velmar";
#endif
    return o;
}

} // namespace velmar

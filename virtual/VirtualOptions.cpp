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

bool ParseVirtualOptions(std::string_view text, VirtualOptions& o, std::string& error) {
    text = Trim(text);
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        if (item.empty()) continue;
        const std::size_t eq = item.find('=');
        // The socket's own troubles need no value.
        if (item == "no-chip" || item == "reversed") {
            (item == "no-chip" ? o.Socket.NoChip : o.Socket.Reversed) = true;
            continue;
        }
        if (eq == std::string_view::npos) {
            error = "virtual option without a value: " + std::string(item);
            return false;
        }
        const std::string key(Trim(item.substr(0, eq)));
        const std::string_view value = Trim(item.substr(eq + 1));
        const std::string bad = "bad value for virtual option " + key + ": " + std::string(value);
        long n = 0;
        long parts[3] = {};
        int count = 0;
        if (key == "firmware") {
            if (!ParseFirmwareVersion(std::string(value).c_str(), o.FirmwareMajor, o.FirmwareMinor))
                return error = bad, false;
        } else if (key == "devices") {
            if (!Number(value, 10, n) || n > 2) return error = bad, false;
            o.Devices = static_cast<int>(n);
        } else if (key == "weak-bits") {
            if (!ParseWeakBits(value, o.WeakBits)) return error = bad, false;
        } else if (key == "no-chip" || key == "reversed") {
            if (!Switch(value, key == "no-chip" ? o.Socket.NoChip : o.Socket.Reversed))
                return error = bad, false;
        } else if (key == "stuck-data") {
            if (!Parts(value, parts, count) || count != 2 || parts[0] > 7 || parts[1] > 1)
                return error = bad, false;
            o.Socket.StuckDataBit = static_cast<int>(parts[0]);
            o.Socket.StuckDataValue = parts[1] == 1;
        } else if (key == "open-address") {
            if (!Number(value, 10, n) || n > 15) return error = bad, false;
            o.Socket.OpenAddressLine = static_cast<int>(n);
        } else if (key == "under-erased" || key == "weak-cells") {
            if (!Number(value, 10, n) || n > 100) return error = bad, false;
            (key == "under-erased" ? o.Socket.UnderErasedPercent : o.Socket.WeakCellsPercent) =
                static_cast<int>(n);
        } else if (key == "programmers") {
            if (!Number(value, 10, n) || n < 1 || n > 8) return error = bad, false;
            o.Programmers = static_cast<int>(n);
        } else if (key == "serial" || key == "description") {
            if (value.empty() || value.size() > 49) return error = bad, false;
            (key == "serial" ? o.Serial : o.Description) = std::string(value);
        } else if (key == "timing") {
            if (!Switch(value, o.Timing)) return error = bad, false;
        } else if (key == "latency") {
            if (!Number(value, 10, n) || n < 2 || n > 255) return error = bad, false;
            o.LatencyMs = static_cast<int>(n);
        } else if (key == "family") {
            if (!Number(value, 10, n) || n < 1 || n > 6) return error = bad, false;
            o.Family = static_cast<int>(n);
        } else if (key == "size") {
            if (!Number(value, 16, n) || n < 1 || n > 0x10000) return error = bad, false;
            o.Size = static_cast<std::uint32_t>(n);
        } else if (key == "chip-type") {
            const ChipType* type = FindChipType(value);
            if (!type) return error = bad, false;
            o.Family = type->Family;
            o.Size = type->Size;
        } else if (key == "lock") {
            if (!Number(value, 16, n) || n > 7) return error = bad, false;
            o.LockBits = static_cast<std::uint8_t>(n);
        } else if (key == "chip" || key == "save-chip" || key == "state-dir" || key == "trace") {
            if (value.empty()) return error = bad, false;
            std::string& target = key == "chip"        ? o.ChipFile
                                  : key == "save-chip" ? o.SaveChipFile
                                  : key == "state-dir" ? o.StateDir
                                                       : o.TraceFile;
            target = std::string(value);
        } else if (key == "fail-block") {
            if (!Number(value, 16, n) || n > 0xFFFF) return error = bad, false;
            o.FailBlock = n;
        } else if (key == "no-reply-from" || key == "no-reply-at" || key == "short-write" ||
                   key == "unplug-from") {
            if (!Number(value, 10, n) || n < 1) return error = bad, false;
            long& target = key == "no-reply-from" ? o.NoReplyFrom
                           : key == "no-reply-at" ? o.NoReplyAt
                           : key == "short-write" ? o.ShortWriteAt
                                                  : o.UnplugFrom;
            target = n;
        } else if (key == "late-reply") {
            if (!Parts(value, parts, count) || count > 2 || parts[0] < 1) return error = bad, false;
            o.LateReplyAt = parts[0];
            if (count > 1) o.LateMs = static_cast<int>(parts[1]);
        } else if (key == "split-reply") {
            if (!Parts(value, parts, count) || parts[0] < 1) return error = bad, false;
            o.SplitReplyAt = parts[0];
            if (count > 1) o.SplitBytes = static_cast<int>(parts[1]);
            if (count > 2) o.SplitMs = static_cast<int>(parts[2]);
        } else if (key == "long-reply" || key == "short-reply") {
            if (!Parts(value, parts, count) || count > 2 || parts[0] < 1 ||
                (count > 1 && (parts[1] < 1 || parts[1] > 4096)))
                return error = bad, false;
            const bool longer = key == "long-reply";
            (longer ? o.LongReplyAt : o.ShortReplyAt) = parts[0];
            (longer ? o.LongBytes : o.ShortBytes) = count > 1 ? static_cast<int>(parts[1]) : 1;
        } else if (key == "no-reply-to") {
            if (!Number(value, 16, n) || n > 0xFF) return error = bad, false;
            o.NoReplyTo = static_cast<int>(n);
        } else if (key == "split-every") {
            if (!Number(value, 10, n) || n < 1 || n > 4096) return error = bad, false;
            o.SplitEvery = static_cast<int>(n);
        } else if (key == "swap") {
            if (!Switch(value, o.Swap)) return error = bad, false;
        } else if (key == "save-parts") {
            if (value.empty()) return error = bad, false;
            o.SavePartsDir = std::string(value);
        } else if (key == "bad-update") {
            if (!Switch(value, o.BadUpdate)) return error = bad, false;
        } else {
            error = "unknown virtual option: " + key;
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

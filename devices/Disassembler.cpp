#include "Disassembler.h"

#include <algorithm>
#include <array>
#include <set>

#include "OpcodeTable.h"
#include "buffer/HexText.h"

namespace velmar {

namespace {

constexpr std::size_t kDataPerLine = 4;
constexpr std::size_t kFoldedRun = 16; // a run of one value this long is one line
constexpr std::size_t kBytesColumn = 11;
constexpr std::size_t kMnemonicColumn = 6;

// "12h", "0FFh", "0100h": a number never starts with a letter.
std::string Hex(std::uint32_t value, int digits) {
    std::string text = HexText(value, digits);
    if (text.front() >= 'A') text.insert(text.begin(), '0');
    return text + "h";
}

// The 8052's special function registers, by address 0x80..0xFF.
const char* SfrName(std::uint8_t address) {
    switch (address) {
    case 0x80:
        return "P0";
    case 0x81:
        return "SP";
    case 0x82:
        return "DPL";
    case 0x83:
        return "DPH";
    case 0x87:
        return "PCON";
    case 0x88:
        return "TCON";
    case 0x89:
        return "TMOD";
    case 0x8A:
        return "TL0";
    case 0x8B:
        return "TL1";
    case 0x8C:
        return "TH0";
    case 0x8D:
        return "TH1";
    case 0x90:
        return "P1";
    case 0x98:
        return "SCON";
    case 0x99:
        return "SBUF";
    case 0xA0:
        return "P2";
    case 0xA8:
        return "IE";
    case 0xB0:
        return "P3";
    case 0xB8:
        return "IP";
    case 0xC8:
        return "T2CON";
    case 0xCA:
        return "RCAP2L";
    case 0xCB:
        return "RCAP2H";
    case 0xCC:
        return "TL2";
    case 0xCD:
        return "TH2";
    case 0xD0:
        return "PSW";
    case 0xE0:
        return "ACC";
    case 0xF0:
        return "B";
    default:
        return nullptr;
    }
}

// The named bits of the bit-addressable registers, 8 per register.
const char* BitName(std::uint8_t bit) {
    static const std::array<std::pair<std::uint8_t, std::array<const char*, 8>>, 7> kBits = {{
        {0x88, {"IT0", "IE0", "IT1", "IE1", "TR0", "TF0", "TR1", "TF1"}},
        {0x98, {"RI", "TI", "RB8", "TB8", "REN", "SM2", "SM1", "SM0"}},
        {0xA8, {"EX0", "ET0", "EX1", "ET1", "ES", "ET2", nullptr, "EA"}},
        {0xB0, {"RXD", "TXD", "INT0", "INT1", "T0", "T1", "WR", "RD"}},
        {0xB8, {"PX0", "PT0", "PX1", "PT1", "PS", "PT2", nullptr, nullptr}},
        {0xC8, {"CP_RL2", "C_T2", "TR2", "EXEN2", "TCLK", "RCLK", "EXF2", "TF2"}},
        {0xD0, {"P", nullptr, "OV", "RS0", "RS1", "F0", "AC", "CY"}},
    }};
    for (const auto& [base, names] : kBits)
        if ((bit & 0xF8) == base) return names[bit & 7];
    return nullptr;
}

std::string Direct(std::uint8_t address) {
    if (const char* name = SfrName(address)) return name;
    return Hex(address, 2);
}

// Bits 00..7F live in RAM bytes 20..2F, bits 80..FF in the registers whose
// address is a multiple of 8.
std::string Bit(std::uint8_t bit) {
    if (const char* name = BitName(bit)) return name;
    const std::uint8_t byte = bit < 0x80 ? static_cast<std::uint8_t>(0x20 + bit / 8)
                                         : static_cast<std::uint8_t>(bit & 0xF8);
    return Direct(byte) + "." + std::to_string(bit & 7);
}

const OpcodeTable& TableOf(Cpu cpu) {
    return cpu == Cpu::Mcs48 ? Mcs48Opcodes() : Mcs51Opcodes();
}

Instruction DataByte(std::int32_t address, std::uint8_t byte) {
    return Instruction{address, {byte}, "DB", Hex(byte, 2), {}};
}

} // namespace

Instruction Decode(Cpu cpu, const std::vector<std::uint8_t>& image, std::int32_t address) {
    const std::size_t at = static_cast<std::size_t>(address);
    const std::uint8_t op = image[at];
    const OpcodeRow& row = TableOf(cpu)[op];
    if (row.Mnemonic == nullptr || at + row.Length > image.size()) return DataByte(address, op);
    Instruction in{address, {}, row.Mnemonic, {}, {}};
    in.Bytes.assign(image.begin() + address, image.begin() + address + row.Length);
    const auto byte = [&in](int i) { return in.Bytes[static_cast<std::size_t>(i)]; };
    const std::int32_t next = address + row.Length;
    const std::int32_t space = cpu == Cpu::Mcs48 ? 0x0FFF : 0xFFFF;
    const auto target = [&in, space](std::int32_t to) {
        in.Targets.push_back(to & space);
        return Hex(static_cast<std::uint32_t>(to & space), 4);
    };

    std::string_view pattern = row.Operands;
    while (!pattern.empty()) {
        const std::size_t comma = pattern.find(',');
        const std::string_view token = pattern.substr(0, comma);
        pattern = comma == std::string_view::npos ? std::string_view() : pattern.substr(comma + 1);
        std::string text;
        if (token == "#1" || token == "#2")
            text = "#" + Hex(byte(token[1] - '0'), 2);
        else if (token == "#W")
            text = "#" + Hex(static_cast<std::uint32_t>(byte(1) << 8 | byte(2)), 4);
        else if (token == "d1" || token == "d2")
            text = Direct(byte(token[1] - '0'));
        else if (token == "b1")
            text = Bit(byte(1));
        else if (token == "/b1")
            text = "/" + Bit(byte(1));
        else if (token == "r1" || token == "r2")
            text = target(next + static_cast<std::int8_t>(byte(token[1] - '0')));
        else if (token == "a11")
            text = target((next & 0xF800) | (op >> 5) << 8 | byte(1));
        else if (token == "a16")
            text = target(byte(1) << 8 | byte(2));
        else if (token == "p8")
            text = target(((address + 1) & 0xFF00) | byte(1));
        else if (token == "p11")
            text = target((address & 0x800) | (op >> 5) << 8 | byte(1));
        else
            text = std::string(token);
        if (!in.Operands.empty()) in.Operands += ",";
        in.Operands += text;
    }
    return in;
}

std::vector<std::int32_t> EntryPoints(Cpu cpu) {
    if (cpu == Cpu::Mcs48) return {0x0000, 0x0003, 0x0007};
    return {0x0000, 0x0003, 0x000B, 0x0013, 0x001B, 0x0023, 0x002B};
}

namespace {

// Which bytes the flow reaches: instruction starts, their other bytes, and
// the targets that want a label.
struct CodeMap {
    explicit CodeMap(std::size_t size) : start(size), inside(size) {}
    std::vector<bool> start, inside;
    std::set<std::int32_t> labels;
};

void Follow(Cpu cpu, const std::vector<std::uint8_t>& image, std::int32_t entry, CodeMap& map) {
    std::vector<std::int32_t> pending{entry};
    const auto size = static_cast<std::int32_t>(image.size());
    while (!pending.empty()) {
        std::int32_t address = pending.back();
        pending.pop_back();
        for (;;) {
            if (address < 0 || address >= size) break;
            const std::size_t at = static_cast<std::size_t>(address);
            if (map.start[at] || map.inside[at]) break;
            const Instruction in = Decode(cpu, image, address);
            if (in.Mnemonic == "DB") break;
            bool clash = false;
            for (std::size_t i = 1; i < in.Bytes.size(); ++i)
                clash = clash || map.start[at + i] || map.inside[at + i];
            if (clash) break;
            map.start[at] = true;
            for (std::size_t i = 1; i < in.Bytes.size(); ++i)
                map.inside[at + i] = true;
            for (std::int32_t to : in.Targets) {
                map.labels.insert(to);
                pending.push_back(to);
            }
            const Flow flow = TableOf(cpu)[in.Bytes.front()].Flow;
            if (flow == Flow::Jump || flow == Flow::Return || flow == Flow::Indirect) break;
            address += static_cast<std::int32_t>(in.Bytes.size());
        }
    }
}

std::string Line(std::int32_t address, const std::string& bytes, const std::string& mnemonic,
                 const std::string& operands) {
    std::string line = HexText(address, 4) + "  " + bytes;
    line.append(kBytesColumn + 2 > bytes.size() ? kBytesColumn + 2 - bytes.size() : 1, ' ');
    line += mnemonic;
    if (!operands.empty()) {
        line.append(kMnemonicColumn > mnemonic.size() ? kMnemonicColumn - mnemonic.size() : 1, ' ');
        line += operands;
    }
    return line;
}

std::string ByteColumn(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += HexText(b, 2);
    }
    return text;
}

} // namespace

Listing ListCode(Cpu cpu, const std::vector<std::uint8_t>& image, std::int32_t from,
                 std::int32_t to) {
    CodeMap map(image.size());
    const std::vector<std::int32_t> entries = EntryPoints(cpu);
    // The reset code first: a vector inside it, or unused (erased), is no entry.
    Follow(cpu, image, entries.front(), map);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const auto at = static_cast<std::size_t>(entries[i]);
        if (at >= image.size() || image[at] == 0xFF || (cpu == Cpu::Mcs48 && image[at] == 0x00))
            continue;
        Follow(cpu, image, entries[i], map);
    }

    Listing listing;
    const auto add = [&listing](std::int32_t address, std::string line) {
        listing.Lines.push_back(std::move(line));
        listing.LineAddress.push_back(address);
    };
    const std::int32_t last = std::min(to, static_cast<std::int32_t>(image.size()) - 1);
    std::int32_t address = std::max(from, 0);
    while (address <= last) {
        const std::size_t at = static_cast<std::size_t>(address);
        if (map.labels.count(address) && (map.start[at] || !map.inside[at]))
            add(address, "L" + HexText(address, 4) + ":");
        if (map.start[at]) {
            const Instruction in = Decode(cpu, image, address);
            add(address, Line(address, ByteColumn(in.Bytes), in.Mnemonic, in.Operands));
            address += static_cast<std::int32_t>(in.Bytes.size());
            continue;
        }
        // Data up to the next instruction or label.
        std::size_t end = at + 1;
        while (end <= static_cast<std::size_t>(last) && !map.start[end] &&
               !map.labels.count(static_cast<std::int32_t>(end)))
            ++end;
        std::size_t run = at + 1;
        while (run < end && image[run] == image[at])
            ++run;
        if (run - at >= kFoldedRun) {
            add(address, Line(address, HexText(image[at], 2) + " ...", "DB",
                              Hex(image[at], 2) + " ; " + std::to_string(run - at) + " times"));
            address = static_cast<std::int32_t>(run);
            continue;
        }
        const std::size_t stop = std::min(end, at + kDataPerLine);
        const std::vector<std::uint8_t> bytes(image.begin() + address,
                                              image.begin() + static_cast<std::ptrdiff_t>(stop));
        std::string operands;
        for (std::uint8_t b : bytes)
            operands += (operands.empty() ? "" : ",") + Hex(b, 2);
        add(address, Line(address, ByteColumn(bytes), "DB", operands));
        address = static_cast<std::int32_t>(stop);
    }
    return listing;
}

} // namespace velmar

#include "FailureDiagnosis.h"

#include <array>
#include <bit>

#include "buffer/HexText.h"

namespace velmar {

namespace {

std::string Count(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string BitText(bool one) {
    return one ? "1" : "0";
}

struct Differences {
    std::vector<std::size_t> at; // indexes of the differing bytes
    long bits = 0;
};

Differences Collect(const ReadComparison& run) {
    Differences d;
    for (std::size_t i = 0; i < run.Found.size() && i < run.Expected.size(); ++i) {
        const unsigned diff = run.Expected[i] ^ run.Found[i];
        if (diff == 0) continue;
        d.at.push_back(i);
        d.bits += std::popcount(diff);
    }
    return d;
}

std::uint8_t Diff(const ReadComparison& run, std::size_t i) {
    return static_cast<std::uint8_t>(run.Expected[i] ^ run.Found[i]);
}

// Every byte reads the value of a floating or dead bus.
std::optional<Diagnosis> NoChip(const ReadComparison& run, const Differences& d) {
    const std::uint8_t value = run.Found.front();
    if (value != 0xFF && value != 0x00) return std::nullopt;
    for (std::uint8_t b : run.Found)
        if (b != value) return std::nullopt;
    return Diagnosis{FailureCause::NoChip,
                     "no part in the socket, or a part the wrong way round or of another type",
                     "every one of the " +
                         Count(static_cast<long>(run.Found.size()), "byte", "bytes") + " reads " +
                         HexText(value, 2) + ", " +
                         Count(static_cast<long>(d.at.size()), "byte differs", "bytes differ")};
}

// Nearly all differing bits sit in one position and read one value, and
// nearly every byte that needs the other value there fails.
std::optional<Diagnosis> DataLine(const ReadComparison& run, const Differences& d) {
    if (d.at.size() < 2) return std::nullopt;
    std::array<long, 8> count{}, ones{};
    for (std::size_t i : d.at)
        for (int b = 0; b < 8; ++b)
            if (Diff(run, i) >> b & 1) {
                ++count[b];
                ones[b] += run.Found[i] >> b & 1;
            }
    int line = 0;
    for (int b = 1; b < 8; ++b)
        if (count[b] > count[line]) line = b;
    const long n = count[line];
    if (n * 10 < d.bits * 9) return std::nullopt;
    if (ones[line] != 0 && ones[line] != n) return std::nullopt;
    const bool reads = ones[line] != 0;
    long needing = 0;
    for (std::size_t i = 0; i < run.Expected.size(); ++i)
        needing += (run.Expected[i] >> line & 1) != static_cast<unsigned>(reads);
    if (n * 10 < needing * 9) return std::nullopt;
    const std::string name = "D" + std::to_string(line);
    return Diagnosis{
        FailureCause::DataLine,
        "data line " + name + " reads " + BitText(reads) + " wherever " + BitText(!reads) +
            " was expected: a bent pin, a bad contact in the socket, or a dead output",
        std::to_string(n) + " of " + Count(d.bits, "differing bit", "differing bits") + " are " +
            name + ", in " + std::to_string(n) + " of the " + Count(needing, "byte", "bytes") +
            " that need " + BitText(!reads) + " there"};
}

// "xx1xxxxxxxxx": the part's address lines, highest first, one of them set.
std::string LinePattern(int bits, int line, char mark) {
    std::string pattern(static_cast<std::size_t>(bits), 'x');
    pattern[static_cast<std::size_t>(bits - 1 - line)] = mark;
    return pattern;
}

// Most differing bytes read what the image holds at the address with one
// line flipped: that line is stuck at the other value.
std::optional<Diagnosis> AddressLine(const ReadComparison& run, const Differences& d) {
    if (d.at.size() < 2) return std::nullopt;
    const std::int64_t size = static_cast<std::int64_t>(run.Expected.size());
    int best = -1;
    long bestMatches = 0, bestHigh = 0;
    for (int line = 0; line < run.AddressBits && line < 31; ++line) {
        long matches = 0, high = 0;
        for (std::size_t i : d.at) {
            const std::int64_t address = run.Start + static_cast<std::int64_t>(i);
            const std::int64_t twin = (address ^ (std::int64_t{1} << line)) - run.Start;
            if (twin < 0 || twin >= size) continue;
            if (run.Found[i] != run.Expected[static_cast<std::size_t>(twin)]) continue;
            ++matches;
            high += address >> line & 1;
        }
        if (matches > bestMatches) best = line, bestMatches = matches, bestHigh = high;
    }
    if (best < 0 || bestMatches * 2 <= static_cast<long>(d.at.size())) return std::nullopt;
    const bool readsLow = bestHigh * 2 >= bestMatches; // the set half reads the clear half
    const std::string name = "A" + std::to_string(best);
    return Diagnosis{
        FailureCause::AddressLine,
        "address line " + name + " seems stuck: bytes at " +
            LinePattern(run.AddressBits, best, readsLow ? '1' : '0') + " read their twins at " +
            LinePattern(run.AddressBits, best, readsLow ? '0' : '1'),
        std::to_string(bestMatches) + " of " +
            Count(static_cast<long>(d.at.size()), "differing byte", "differing bytes") +
            " read the byte at the address with " + name + " flipped"};
}

// Which way the differing bits went: away from the erased value (true) or
// left at it (false); none when both happened.
std::optional<bool> Direction(const ReadComparison& run, const Differences& d) {
    bool away = false, left = false;
    for (std::size_t i : d.at) {
        const unsigned moved = (run.Found[i] ^ run.ErasedValue) & Diff(run, i);
        away = away || moved != 0;
        left = left || moved != Diff(run, i);
    }
    if (away == left) return std::nullopt;
    return away;
}

std::optional<Diagnosis> OneWay(const ReadComparison& run, const Differences& d) {
    const std::optional<bool> away = Direction(run, d);
    if (!away) return std::nullopt;
    const bool erasedOne = run.ErasedValue != 0x00;
    const std::string where = Count(d.bits, "bit", "bits") + " in " +
                              Count(static_cast<long>(d.at.size()), "byte", "bytes") + " from " +
                              HexText(run.Start + static_cast<std::int32_t>(d.at.front()), 4) +
                              " to " +
                              HexText(run.Start + static_cast<std::int32_t>(d.at.back()), 4);
    if (*away)
        return Diagnosis{FailureCause::NotErased,
                         "the part was not fully erased (UV parts: longer in the eraser; flash: "
                         "erase first)",
                         where + " read " + BitText(!erasedOne) + " where " + BitText(erasedOne) +
                             " was expected, none the other way"};
    return Diagnosis{FailureCause::UnderProgrammed,
                     "bits did not take: Vpp too low, the wrong part selected, or a tired part",
                     where + " are still at the erased " + BitText(erasedOne) +
                         " where the image wants " + BitText(!erasedOne)};
}

// Differences both ways over a large share of the range.
std::optional<Diagnosis> NoPattern(const ReadComparison& run, const Differences& d) {
    if (d.at.size() * 4 < run.Found.size()) return std::nullopt;
    return Diagnosis{FailureCause::Garbled,
                     "no part in the socket, or a part the wrong way round or of another type",
                     Count(static_cast<long>(d.at.size()), "byte", "bytes") + " of " +
                         std::to_string(run.Found.size()) + " differ, both ways, with no pattern"};
}

} // namespace

int AddressBitsOf(std::int32_t deviceEnd) {
    int bits = 1;
    while (bits < 31 && (std::int64_t{1} << bits) <= deviceEnd)
        ++bits;
    return bits;
}

std::optional<Diagnosis> DiagnoseFailure(const ReadComparison& run) {
    const Differences d = Collect(run);
    if (d.at.empty()) return std::nullopt;
    for (auto rule : {NoChip, DataLine, AddressLine, OneWay, NoPattern})
        if (std::optional<Diagnosis> found = rule(run, d)) return found;
    return std::nullopt;
}

bool WantsSecondRead(const ReadComparison& run) {
    if (Collect(run).at.empty()) return false;
    const std::optional<Diagnosis> first = DiagnoseFailure(run);
    if (!first) return true;
    switch (first->Cause) {
    case FailureCause::NoChip:
    case FailureCause::DataLine:
    case FailureCause::AddressLine:
        return false;
    default:
        return true;
    }
}

std::optional<Diagnosis> DiagnoseFailure(const ReadComparison& run,
                                         const std::vector<std::uint8_t>& again) {
    long changed = 0;
    for (std::size_t i = 0; i < run.Found.size() && i < again.size(); ++i)
        changed += run.Found[i] != again[i];
    if (changed == 0) return DiagnoseFailure(run);
    return Diagnosis{FailureCause::Unstable,
                     "the part reads differently each time: a loose contact or weak cells (try "
                     "read --passes)",
                     Count(changed, "byte reads", "bytes read") + " another value the second time"};
}

std::string DiagnosisLine(const Diagnosis& diagnosis) {
    return "diagnosis: " + diagnosis.Text + " (" + diagnosis.Evidence + ")";
}

} // namespace velmar

#include "FailureDiagnosis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <map>
#include <unordered_map>

#include "buffer/HexText.h"

namespace velmar {

namespace {

// Up to this many differing bytes, a file with a few bytes changed explains
// the read as well as a fault of the part does.
constexpr std::size_t kFewBytes = 8;
// The programmer programs a part in blocks of this many bytes.
constexpr std::int64_t kBlockBytes = 256;

std::string Count(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return Count(static_cast<long>(n), one, many);
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

std::int32_t AddressOf(const ReadComparison& run, std::size_t i) {
    return run.Start + static_cast<std::int32_t>(i);
}

// Found and Expected compared as far as both go.
std::size_t Compared(const ReadComparison& run) {
    return std::min(run.Found.size(), run.Expected.size());
}

// A file stands behind Expected: a verify against the buffer, neither a
// blank check nor the check of what was just programmed.
bool FromFile(const ReadComparison& run) {
    if (run.AfterProgramming || run.RefusedBlock) return false;
    return std::any_of(run.Expected.begin(), run.Expected.end(),
                       [&run](std::uint8_t b) { return b != run.ErasedValue; });
}

// The value `bytes` hold most often (the lowest of equals) and how often.
std::pair<std::uint8_t, long> MostCommon(const std::vector<std::uint8_t>& bytes) {
    std::array<long, 256> count{};
    for (std::uint8_t b : bytes)
        ++count[b];
    const auto most = std::max_element(count.begin(), count.end());
    return {static_cast<std::uint8_t>(most - count.begin()), *most};
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

// "1041 bits in 254 bytes from 0100 to 01FF"
std::string Where(const ReadComparison& run, const Differences& d) {
    return Count(d.bits, "bit", "bits") + " in " + Count(d.at.size(), "byte", "bytes") + " from " +
           HexText(AddressOf(run, d.at.front()), 4) + " to " +
           HexText(AddressOf(run, d.at.back()), 4);
}

// --- What the data explains -------------------------------------------------

// Nothing was ever programmed: every byte reads the erased value.
std::optional<Diagnosis> Blank(const ReadComparison& run, const Differences& d) {
    if (!FromFile(run)) return std::nullopt;
    for (std::uint8_t b : run.Found)
        if (b != run.ErasedValue) return std::nullopt;
    return Diagnosis{FailureCause::Blank, "the part is blank: not programmed yet",
                     "every one of the " + Count(run.Found.size(), "byte", "bytes") + " reads " +
                         HexText(run.ErasedValue, 2) + ", the erased value; " +
                         Count(d.at.size(), "byte differs", "bytes differ")};
}

// Every differing byte holds one value in the image, and every other byte of
// the image is right: the buffer was filled with another value than when the
// part was programmed (the part holding one other value there), or the part
// holds data where the file has none. A stuck data line moves one bit of
// them all; these move more.
std::optional<Diagnosis> FillSlip(const ReadComparison& run, const Differences& d) {
    if (!FromFile(run) || d.at.size() <= kFewBytes) return std::nullopt;
    const std::uint8_t wants = run.Expected[d.at.front()];
    const std::uint8_t reads = run.Found[d.at.front()];
    bool oneValue = true;
    unsigned moved = 0;
    for (std::size_t i : d.at) {
        if (run.Expected[i] != wants) return std::nullopt;
        oneValue = oneValue && run.Found[i] == reads;
        moved |= Diff(run, i);
    }
    if (std::popcount(moved) < 2) return std::nullopt;
    long others = 0;
    for (std::size_t i = 0; i < Compared(run); ++i)
        others += run.Expected[i] != wants;
    if (others == 0) return std::nullopt;
    const std::string fill = HexText(wants, 2);
    return Diagnosis{FailureCause::FillSlip,
                     "the part differs only where the image has the fill value " + fill +
                         (oneValue
                              ? ": check --fill (the part holds " + HexText(reads, 2) + " there)"
                              : ": check --fill, or the file lacks data the part holds"),
                     "all " + Count(d.at.size(), "differing byte", "differing bytes") + " expect " +
                         fill + (oneValue ? " and read " + HexText(reads, 2) : "") +
                         "; the image's other " + Count(others, "byte matches", "bytes match")};
}

struct ShiftScore {
    long explained = 0; // differing bytes that read the image's byte `shift` away
    long checkable = 0; // differing bytes whose byte `shift` away is in the range
    long matches = 0;   // bytes of the range that match the shifted image, fill not counted
};

// The part read against the image moved by `shift`: Found[i] next to
// Expected[i + shift].
ShiftScore ScoreShift(const ReadComparison& run, const Differences& d, std::int64_t shift,
                      std::uint8_t fill) {
    const std::int64_t n = static_cast<std::int64_t>(Compared(run));
    ShiftScore s;
    for (std::size_t i : d.at) {
        const std::int64_t j = static_cast<std::int64_t>(i) + shift;
        if (j < 0 || j >= n) continue;
        ++s.checkable;
        s.explained += run.Found[i] == run.Expected[static_cast<std::size_t>(j)];
    }
    for (std::int64_t i = std::max<std::int64_t>(0, -shift); i < n && i + shift < n; ++i) {
        const std::uint8_t wanted = run.Expected[static_cast<std::size_t>(i + shift)];
        s.matches += wanted != fill && run.Found[static_cast<std::size_t>(i)] == wanted;
    }
    return s;
}

// Four bytes at `i` as a key; none when they are one value (fill says
// nothing about where it came from).
std::optional<std::uint32_t> Key(const std::vector<std::uint8_t>& bytes, std::size_t i) {
    if (bytes[i] == bytes[i + 1] && bytes[i] == bytes[i + 2] && bytes[i] == bytes[i + 3])
        return std::nullopt;
    return static_cast<std::uint32_t>(bytes[i]) | static_cast<std::uint32_t>(bytes[i + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[i + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[i + 3]) << 24;
}

// The shifts that a sample of the differing bytes points at: where else in
// the image their four bytes stand, most votes first.
std::vector<std::int64_t> ShiftCandidates(const ReadComparison& run, const Differences& d) {
    const std::size_t n = Compared(run);
    if (n < 4) return {};
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> where;
    for (std::size_t j = 0; j + 4 <= n; ++j)
        if (const std::optional<std::uint32_t> key = Key(run.Expected, j)) {
            std::vector<std::size_t>& at = where[*key];
            if (at.size() < 4) at.push_back(j);
        }
    std::map<std::int64_t, long> votes;
    const std::size_t step = std::max<std::size_t>(1, d.at.size() / 256);
    for (std::size_t s = 0; s < d.at.size(); s += step) {
        const std::size_t i = d.at[s];
        if (i + 4 > n) continue;
        const std::optional<std::uint32_t> key = Key(run.Found, i);
        if (!key) continue;
        const auto found = where.find(*key);
        if (found == where.end()) continue;
        for (std::size_t j : found->second)
            if (j != i) ++votes[static_cast<std::int64_t>(j) - static_cast<std::int64_t>(i)];
    }
    std::vector<std::pair<long, std::int64_t>> ranked;
    for (const auto& [shift, count] : votes)
        if (count >= 2) ranked.push_back({count, shift});
    std::sort(ranked.begin(), ranked.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::int64_t> shifts;
    for (std::size_t k = 0; k < ranked.size() && k < 3; ++k)
        shifts.push_back(ranked[k].second);
    return shifts;
}

// The part holds the image, but at another address: nearly every differing
// byte whose twin lies in the range reads the image's byte a fixed distance
// away, and the image matches the part far better moved than in place (an
// address line that is stuck leaves half the image in place).
std::optional<Diagnosis> Shifted(const ReadComparison& run, const Differences& d) {
    if (!FromFile(run) || d.at.size() < 16) return std::nullopt;
    const std::uint8_t fill = MostCommon(run.Expected).first;
    const long inPlace = ScoreShift(run, d, 0, fill).matches;
    std::optional<std::int64_t> best;
    ShiftScore bestScore;
    for (std::int64_t shift : ShiftCandidates(run, d)) {
        const ShiftScore s = ScoreShift(run, d, shift, fill);
        if (s.explained < 16 || s.explained * 10 < s.checkable * 9) continue;
        if (s.checkable * 4 < static_cast<long>(d.at.size())) continue;
        if (s.matches < 16 || s.matches <= 2 * inPlace) continue;
        if (!best || s.explained > bestScore.explained) best = shift, bestScore = s;
    }
    if (!best) return std::nullopt;
    const std::int64_t distance = *best < 0 ? -*best : *best;
    return Diagnosis{FailureCause::Shifted,
                     "the part holds the image shifted by " + HexText(distance, 4) +
                         " bytes: check --offset or the buffer start",
                     std::to_string(bestScore.explained) + " of " +
                         Count(d.at.size(), "differing byte", "differing bytes") +
                         " read what the image holds " + HexText(distance, 4) + " bytes " +
                         (*best > 0 ? "higher" : "lower")};
}

// Most of the bytes that hold data differ, both ways, the part holds more
// than a stray byte or two, and it reads as programmed data does (one value,
// its fill or erased value, far more often than noise would give it): the
// part holds another image.
std::optional<Diagnosis> OtherImage(const ReadComparison& run, const Differences& d) {
    if (!FromFile(run) || d.at.size() <= kFewBytes || Direction(run, d)) return std::nullopt;
    long data = 0, held = 0;
    for (std::size_t i = 0; i < Compared(run); ++i) {
        data += run.Expected[i] != run.ErasedValue || run.Found[i] != run.ErasedValue;
        held += run.Found[i] != run.ErasedValue;
    }
    if (static_cast<long>(d.at.size()) * 2 < data || held <= static_cast<long>(kFewBytes))
        return std::nullopt;
    const auto [value, times] = MostCommon(run.Found);
    if (times < std::max<long>(16, static_cast<long>(run.Found.size() / 16))) return std::nullopt;
    return Diagnosis{FailureCause::OtherImage,
                     "the part holds another image: check the file, or erase the part and "
                     "program it",
                     std::to_string(d.at.size()) + " of the " + Count(data, "byte", "bytes") +
                         " that hold data differ, both ways; the part holds data, not noise (" +
                         std::to_string(times) + " of its bytes read " + HexText(value, 2) + ")"};
}

// The programmer refused a block, and the read differs only there, only by
// bits that are still erased: the block did not take, the rest is right.
std::optional<Diagnosis> Refused(const ReadComparison& run, const Differences& d) {
    if (!run.RefusedBlock) return std::nullopt;
    const std::int64_t block = *run.RefusedBlock;
    for (std::size_t i : d.at) {
        const std::int64_t address = AddressOf(run, i);
        if (address < block || address >= block + kBlockBytes) return std::nullopt;
    }
    const std::optional<bool> away = Direction(run, d);
    if (!away || *away) return std::nullopt;
    return Diagnosis{FailureCause::RefusedBlock,
                     "block " + HexText(block, 4) +
                         " did not program: the programmer gave up on it (erase the part and "
                         "program it again, or try another part)",
                     "the programmer refused the block; " + Where(run, d) +
                         " are still at the erased " + BitText(run.ErasedValue != 0x00) +
                         ", every byte before them reads right"};
}

// --- Faults of the part or the socket ----------------------------------------

// Every byte reads the value of a floating or dead bus.
std::optional<Diagnosis> NoChip(const ReadComparison& run, const Differences& d) {
    const std::uint8_t value = run.Found.front();
    if (value != 0xFF && value != 0x00) return std::nullopt;
    for (std::uint8_t b : run.Found)
        if (b != value) return std::nullopt;
    return Diagnosis{FailureCause::NoChip,
                     "no part in the socket, or a part the wrong way round or of another type",
                     "every one of the " + Count(run.Found.size(), "byte", "bytes") + " reads " +
                         HexText(value, 2) + ", " +
                         Count(d.at.size(), "byte differs", "bytes differ")};
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
// line flipped, and nearly all of them lie on the side of the line that
// reads its twins (the other side reads right): that line is stuck.
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
    long onSide = 0;
    for (std::size_t i : d.at)
        onSide += (AddressOf(run, i) >> best & 1) == static_cast<std::int32_t>(readsLow);
    if (onSide * 10 < static_cast<long>(d.at.size()) * 9) return std::nullopt;
    const std::string name = "A" + std::to_string(best);
    return Diagnosis{FailureCause::AddressLine,
                     "address line " + name + " seems stuck: bytes at " +
                         LinePattern(run.AddressBits, best, readsLow ? '1' : '0') +
                         " read their twins at " +
                         LinePattern(run.AddressBits, best, readsLow ? '0' : '1'),
                     std::to_string(bestMatches) + " of " +
                         Count(d.at.size(), "differing byte", "differing bytes") +
                         " read the byte at the address with " + name + " flipped"};
}

std::optional<Diagnosis> OneWay(const ReadComparison& run, const Differences& d) {
    const std::optional<bool> away = Direction(run, d);
    if (!away) return std::nullopt;
    const bool erasedOne = run.ErasedValue != 0x00;
    if (*away)
        return Diagnosis{FailureCause::NotErased,
                         "the part was not fully erased (UV parts: longer in the eraser; flash: "
                         "erase first)",
                         Where(run, d) + " read " + BitText(!erasedOne) + " where " +
                             BitText(erasedOne) + " was expected, none the other way"};
    return Diagnosis{FailureCause::UnderProgrammed,
                     "bits did not take: Vpp too low, the wrong part selected, or a tired part",
                     Where(run, d) + " are still at the erased " + BitText(erasedOne) +
                         " where the image wants " + BitText(!erasedOne)};
}

// Differences both ways over a large share of the range.
std::optional<Diagnosis> NoPattern(const ReadComparison& run, const Differences& d) {
    if (d.at.size() * 4 < run.Found.size()) return std::nullopt;
    return Diagnosis{FailureCause::Garbled,
                     "no part in the socket, or a part the wrong way round or of another type",
                     Count(d.at.size(), "byte", "bytes") + " of " +
                         std::to_string(run.Found.size()) + " differ, both ways, with no pattern"};
}

bool NamesThePart(FailureCause cause) {
    switch (cause) {
    case FailureCause::Blank:
    case FailureCause::Shifted:
    case FailureCause::OtherImage:
    case FailureCause::FillSlip:
    case FailureCause::RefusedBlock:
        return false;
    default:
        return true;
    }
}

// A fault of the part that a differing file fits as well: a few bytes, or
// data with no pattern at all.
Diagnosis Hedged(const ReadComparison& run, const Differences& d, Diagnosis found) {
    if (NamesThePart(found.Cause) && FromFile(run) &&
        (d.at.size() <= kFewBytes || found.Cause == FailureCause::Garbled))
        found.Text += ", or the file differs";
    return found;
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
    // What the data explains first; the part is blamed only when it cannot.
    for (auto rule : {Blank, NoChip, FillSlip, Shifted, Refused, DataLine, AddressLine, OtherImage,
                      OneWay, NoPattern})
        if (std::optional<Diagnosis> found = rule(run, d)) return Hedged(run, d, *found);
    return std::nullopt;
}

bool WantsSecondRead(const ReadComparison& run) {
    if (Collect(run).at.empty()) return false;
    const std::optional<Diagnosis> first = DiagnoseFailure(run);
    if (!first) return true;
    switch (first->Cause) {
    case FailureCause::NotErased:
    case FailureCause::UnderProgrammed:
    case FailureCause::Garbled:
        return true;
    default:
        return false;
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

DifferenceCount CountDifferences(const ReadComparison& run) {
    const Differences d = Collect(run);
    DifferenceCount count;
    count.Bytes = static_cast<long>(d.at.size());
    count.Bits = d.bits;
    if (!d.at.empty()) {
        count.First = AddressOf(run, d.at.front());
        count.Last = AddressOf(run, d.at.back());
    }
    return count;
}

std::string DiagnosisLine(const Diagnosis& diagnosis) {
    return "diagnosis: " + diagnosis.Text + " (" + diagnosis.Evidence + ")";
}

} // namespace velmar

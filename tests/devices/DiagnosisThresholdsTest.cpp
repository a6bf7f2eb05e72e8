// Each pattern of the failure diagnosis names its cause from the share of
// evidence it needs and not one byte or bit below it; what the data explains
// (a blank part, a shifted or other image, a fill slip, a refused block) is
// never put on the part; the majority of several reads keeps the first
// read's bit on a tie.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/DiagnosisRead.h"
#include "devices/FailureDiagnosis.h"

namespace velmar::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes as a program has them: a few opcodes often, anything else
// sometimes, none of them FF; the same for the same seed.
Bytes Code(std::size_t size, std::uint32_t seed) {
    static const std::uint8_t common[] = {0x00, 0x74, 0xF5, 0x12, 0x80, 0xE4, 0x90,
                                          0x22, 0x02, 0x75, 0xE0, 0xF0, 0xA3};
    Bytes bytes(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::uint8_t& b : bytes) {
        x = x * 1664525u + 1013904223u;
        const std::uint8_t any = static_cast<std::uint8_t>(x >> 16);
        b = (x >> 24) < 154 ? common[(x >> 8) % 13] : any == 0xFF ? 0x5A : any;
    }
    return bytes;
}

// The comparison of a verify against a file: the part's 1K at 0000.
ReadComparison FromFile(Bytes expected, Bytes found, std::uint8_t erased = 0xFF) {
    ReadComparison run;
    run.Expected = std::move(expected);
    run.Found = std::move(found);
    run.ErasedValue = erased;
    run.AddressBits = AddressBitsOf(static_cast<std::int32_t>(run.Expected.size()) - 1);
    return run;
}

// The verify of what was just programmed: no file to differ.
ReadComparison Programmed(Bytes expected, Bytes found, std::uint8_t erased = 0xFF) {
    ReadComparison run = FromFile(std::move(expected), std::move(found), erased);
    run.AfterProgramming = true;
    return run;
}

std::optional<FailureCause> CauseOf(const ReadComparison& run) {
    const std::optional<Diagnosis> found = DiagnoseFailure(run);
    if (!found) return std::nullopt;
    return found->Cause;
}

std::string TextOf(const ReadComparison& run) {
    const std::optional<Diagnosis> found = DiagnoseFailure(run);
    return found ? found->Text : "(none)";
}

bool Hedged(const std::string& text) {
    const std::string tail = ", or the file differs";
    return text.size() > tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A diagnosis that does not put the difference on the part for certain: it
// names what the data explains, or says the file may differ, or says nothing.
bool NoHardwareForCertain(const ReadComparison& run) {
    const std::optional<Diagnosis> found = DiagnoseFailure(run);
    if (!found) return true;
    switch (found->Cause) {
    case FailureCause::Blank:
    case FailureCause::Shifted:
    case FailureCause::OtherImage:
    case FailureCause::FillSlip:
    case FailureCause::RefusedBlock:
        return true;
    default:
        return Hedged(found->Text);
    }
}

// Indexes i < size with Expected[i]'s `bit` at `value`, as many as `count`,
// skipping those `taken` already holds.
std::vector<std::size_t> WithBit(const Bytes& image, int bit, bool value, std::size_t count,
                                 std::size_t from = 0) {
    std::vector<std::size_t> at;
    for (std::size_t i = from; i < image.size() && at.size() < count; ++i)
        if (((image[i] >> bit & 1) != 0) == value) at.push_back(i);
    return at;
}

TEST(DiagnosisThresholds, NoChipNeedsEveryByteOnTheBus) {
    // Data in every fifth byte, 00 elsewhere: a read of all 00 differs in
    // fewer than a quarter of the bytes, and scattered.
    Bytes image(1024, 0x00);
    const Bytes code = Code(1024, 1);
    for (std::size_t i = 0; i < image.size(); i += 5)
        image[i] = static_cast<std::uint8_t>(code[i] | 0x01);
    Bytes bus(1024, 0x00);
    EXPECT_EQ(CauseOf(Programmed(image, bus)), FailureCause::NoChip);
    EXPECT_EQ(CauseOf(FromFile(image, bus)), FailureCause::NoChip) << "00 is not the erased FF";
    EXPECT_EQ(TextOf(FromFile(image, bus)),
              "no part in the socket, or a part the wrong way round or of another type");
    // One byte off the bus (a 1 where the image has 0): nothing is named.
    bus[1] = 0xFF;
    EXPECT_EQ(CauseOf(Programmed(image, bus)), std::nullopt) << TextOf(Programmed(image, bus));
    EXPECT_EQ(CauseOf(FromFile(image, bus)), std::nullopt) << TextOf(FromFile(image, bus));
}

TEST(DiagnosisThresholds, DataLineNeedsNineTenthsOfBitsAndOfBytes) {
    // 200 bytes need D3 = 1; the rest have it 0.
    Bytes image = Code(1024, 2);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = (i % 5 == 0 && i < 1000) ? static_cast<std::uint8_t>(image[i] | 0x08)
                                            : static_cast<std::uint8_t>(image[i] & ~0x08);
    // One stray bit in each direction off D3, so that no one-way finding
    // stands in when the data line does not.
    const std::vector<std::size_t> up = WithBit(image, 5, false, 12, 1);
    const std::vector<std::size_t> down = WithBit(image, 5, true, 12, 1);
    auto read = [&image, &up, &down](std::size_t failing, std::size_t strays) {
        Bytes found = image;
        std::size_t n = 0;
        for (std::size_t i = 0; i < 1000 && n < failing; i += 5, ++n)
            found[i] = static_cast<std::uint8_t>(found[i] & ~0x08);
        for (std::size_t k = 0; k < strays; ++k) {
            const std::size_t i = k % 2 == 0 ? up[k / 2] : down[k / 2];
            found[i] = static_cast<std::uint8_t>(found[i] ^ 0x20);
        }
        return Programmed(image, found);
    };
    // Bytes: 180 of the 200 that need a 1 read 0 (with two stray bits).
    EXPECT_EQ(CauseOf(read(180, 2)), FailureCause::DataLine) << TextOf(read(180, 2));
    EXPECT_EQ(TextOf(read(180, 2)), "data line D3 reads 0 wherever 1 was expected: a bent pin, a "
                                    "bad contact in the socket, or a dead output");
    EXPECT_EQ(CauseOf(read(179, 2)), std::nullopt) << TextOf(read(179, 2));
    // Bits: 200 on D3 and 22 elsewhere is nine tenths; 23 is below.
    EXPECT_EQ(CauseOf(read(200, 22)), FailureCause::DataLine) << TextOf(read(200, 22));
    EXPECT_EQ(CauseOf(read(200, 23)), std::nullopt) << TextOf(read(200, 23));
}

TEST(DiagnosisThresholds, AddressLineNeedsMostBytesOnTheTwinsSide) {
    const Bytes image = Code(1024, 3);
    // Bytes at 01xxxxxxxx that read their twin at 00xxxxxxxx, bytes there
    // that read something else, and bytes at 00xxxxxxxx that read wrong.
    std::vector<std::size_t> twins, high, low;
    for (std::size_t i = 0x100; i < 0x200; ++i)
        if (image[i] != image[i ^ 0x100]) (twins.size() <= high.size() ? twins : high).push_back(i);
    for (std::size_t i = 0; i < 0x100; ++i)
        if (image[i] != image[i ^ 0x100]) low.push_back(i);
    auto read = [&](std::size_t matching, std::size_t other, std::size_t below) {
        Bytes found = image;
        for (std::size_t k = 0; k < matching; ++k)
            found[twins[k]] = image[twins[k] ^ 0x100];
        for (std::size_t k = 0; k < other; ++k)
            found[high[k]] = static_cast<std::uint8_t>(image[high[k]] ^ 0x5A);
        for (std::size_t k = 0; k < below; ++k)
            found[low[k]] = static_cast<std::uint8_t>(image[low[k]] ^ 0x5A);
        return Programmed(image, found);
    };
    ASSERT_GE(twins.size(), 101u);
    ASSERT_GE(high.size(), 100u);
    // More than half of the differing bytes read their twin.
    EXPECT_EQ(CauseOf(read(101, 100, 0)), FailureCause::AddressLine) << TextOf(read(101, 100, 0));
    EXPECT_EQ(TextOf(read(101, 100, 0)),
              "address line A8 seems stuck: bytes at x1xxxxxxxx read their twins at x0xxxxxxxx");
    EXPECT_EQ(CauseOf(read(100, 100, 0)), std::nullopt) << TextOf(read(100, 100, 0));
    // Nine tenths of them on the side that reads its twins: 90 + 10 is, 90 + 11 is not.
    EXPECT_EQ(CauseOf(read(90, 0, 10)), FailureCause::AddressLine) << TextOf(read(90, 0, 10));
    EXPECT_EQ(CauseOf(read(90, 0, 11)), std::nullopt) << TextOf(read(90, 0, 11));
}

TEST(DiagnosisThresholds, OneWayNeedsEveryBitOneWayAndFewBytesAreHedged) {
    const Bytes image = Code(1024, 4);
    // Bits that read 0 where the image has 1, in bytes 40 apart.
    auto read = [&image](std::size_t bytes, bool contrary, bool programmed) {
        Bytes found = image;
        std::size_t n = 0;
        for (std::size_t i = 7; n < bytes; i += 40)
            if (image[i] != 0x00) {
                found[i] = static_cast<std::uint8_t>(image[i] & (image[i] - 1)); // lowest 1 cleared
                ++n;
            }
        if (contrary) {
            const std::size_t i = WithBit(image, 6, false, 1, 500).front();
            found[i] = static_cast<std::uint8_t>(found[i] | 0x40);
        }
        return programmed ? Programmed(image, found) : FromFile(image, found);
    };
    const std::string notErased =
        "the part was not fully erased (UV parts: longer in the eraser; flash: erase first)";
    EXPECT_EQ(TextOf(read(20, false, true)), notErased);
    EXPECT_EQ(CauseOf(read(20, true, true)), std::nullopt) << TextOf(read(20, true, true));
    // Against a file, eight bytes fit a changed file as well; nine do not.
    EXPECT_EQ(TextOf(read(8, false, false)), notErased + ", or the file differs");
    EXPECT_EQ(TextOf(read(9, false, false)), notErased);
    EXPECT_EQ(TextOf(read(8, false, true)), notErased) << "just programmed: no file to differ";
    // A blank check has no file either.
    Bytes erased(1024, 0xFF);
    Bytes found = erased;
    found[0x123] = 0xEF;
    EXPECT_EQ(TextOf(FromFile(erased, found)), notErased);
    // The erased 00 of an 874X part: bits still at 0 did not take.
    Bytes image00 = image;
    Bytes under = image00;
    for (std::size_t i = 3; i < 1024; i += 50)
        under[i] = static_cast<std::uint8_t>(image00[i] & 0x0F);
    ASSERT_EQ(CauseOf(Programmed(image00, under, 0x00)), FailureCause::UnderProgrammed);
}

TEST(DiagnosisThresholds, NoPatternNeedsAQuarterOfTheRange) {
    const Bytes image = Code(1024, 5);
    auto read = [&image](std::size_t bytes, bool programmed) {
        Bytes found = image;
        const Bytes noise = Code(1024, 99);
        for (std::size_t k = 0; k < bytes; ++k) {
            const std::size_t i = k * 4 % 1021;
            found[i] = static_cast<std::uint8_t>(image[i] ^ (noise[k] | 0x81)); // both ways
        }
        return programmed ? Programmed(image, found) : FromFile(image, found);
    };
    EXPECT_EQ(TextOf(read(256, true)),
              "no part in the socket, or a part the wrong way round or of another type");
    EXPECT_EQ(CauseOf(read(255, true)), std::nullopt) << TextOf(read(255, true));
    // Noise against a file is what a file of noise gives too.
    EXPECT_EQ(TextOf(read(256, false)), "no part in the socket, or a part the wrong way round or "
                                        "of another type, or the file differs");
}

TEST(DiagnosisOfData, ABlankPartIsBlankNotAnEmptySocket) {
    Bytes image(1024, 0xFF);
    const Bytes code = Code(600, 6);
    std::copy(code.begin(), code.end(), image.begin());
    Bytes blank(1024, 0xFF);
    const std::optional<Diagnosis> found = DiagnoseFailure(FromFile(image, blank));
    ASSERT_TRUE(found);
    EXPECT_EQ(DiagnosisLine(*found),
              "diagnosis: the part is blank: not programmed yet (every one of the 1024 bytes "
              "reads FF, the erased value; 600 bytes differ)");
    EXPECT_FALSE(WantsSecondRead(FromFile(image, blank)));
    // The 874X parts erase to 00.
    Bytes image00(1024, 0x00);
    std::copy(code.begin(), code.end(), image00.begin());
    EXPECT_EQ(CauseOf(FromFile(image00, Bytes(1024, 0x00), 0x00)), FailureCause::Blank);
    // One byte programmed: not blank.
    blank[10] = image[10];
    EXPECT_NE(CauseOf(FromFile(image, blank)), FailureCause::Blank);
    // Just programmed and still blank: the programming did not take.
    EXPECT_EQ(CauseOf(Programmed(image, Bytes(1024, 0xFF))), FailureCause::NoChip);
}

TEST(DiagnosisOfData, AFillSlipNeedsEveryDifferenceOnTheFill) {
    // Code with a gap at 0190-0257 that the file leaves to the fill.
    const Bytes code = Code(1024, 7);
    auto image = [&code](std::uint8_t fill, std::size_t gap) {
        Bytes bytes = code;
        for (std::size_t i = 0x190; i < 0x190 + gap; ++i)
            bytes[i] = fill;
        return bytes;
    };
    const ReadComparison slip = FromFile(image(0x00, 200), image(0xFF, 200));
    const std::optional<Diagnosis> found = DiagnoseFailure(slip);
    ASSERT_TRUE(found);
    long others = 0;
    for (std::uint8_t b : slip.Expected)
        others += b != 0x00;
    EXPECT_EQ(DiagnosisLine(*found),
              "diagnosis: the part differs only where the image has the fill value 00: check "
              "--fill (the part holds FF there) (all 200 differing bytes expect 00 and read FF; "
              "the image's other " +
                  std::to_string(others) + " bytes match)");
    // The other way round: an FF fill over a part programmed with 00.
    EXPECT_EQ(CauseOf(FromFile(image(0xFF, 200), image(0x00, 200))), FailureCause::FillSlip);
    // The part holds data where the file has only fill.
    EXPECT_EQ(TextOf(FromFile(image(0x00, 200), code)),
              "the part differs only where the image has the fill value 00: check --fill, or the "
              "file lacks data the part holds");
    // Nine bytes are a fill; eight fit a changed file or a part as well.
    EXPECT_EQ(CauseOf(FromFile(image(0x00, 9), image(0xFF, 9))), FailureCause::FillSlip);
    EXPECT_NE(CauseOf(FromFile(image(0x00, 8), image(0xFF, 8))), FailureCause::FillSlip);
    EXPECT_TRUE(NoHardwareForCertain(FromFile(image(0x00, 8), image(0xFF, 8))));
    // One differing byte outside the fill: not a fill slip.
    Bytes other = image(0xFF, 200);
    other[0x300] = static_cast<std::uint8_t>(~other[0x300]);
    EXPECT_NE(CauseOf(FromFile(image(0x00, 200), other)), FailureCause::FillSlip);
    // One bit moved in every fill byte is a data line's doing, not a fill's.
    EXPECT_NE(CauseOf(FromFile(image(0x00, 200), image(0x08, 200))), FailureCause::FillSlip);
    // Just programmed: the fill was what was programmed.
    EXPECT_NE(CauseOf(Programmed(image(0x00, 200), image(0xFF, 200))), FailureCause::FillSlip);
}

TEST(DiagnosisOfData, AShiftedImageIsToldFromAStuckAddressLine) {
    // 600 bytes of code in a 1K part, the part holding them 0100 higher or lower.
    const Bytes code = Code(600, 8);
    Bytes image(1024, 0xFF);
    std::copy(code.begin(), code.end(), image.begin() + 0x40);
    Bytes higher(1024, 0xFF);
    std::copy(code.begin(), code.end(), higher.begin() + 0x140);
    const std::optional<Diagnosis> up = DiagnoseFailure(FromFile(image, higher));
    ASSERT_TRUE(up);
    EXPECT_EQ(up->Text, "the part holds the image shifted by 0100 bytes: check --offset or the "
                        "buffer start");
    EXPECT_NE(up->Evidence.find("read what the image holds 0100 bytes lower"), std::string::npos)
        << up->Evidence;
    EXPECT_FALSE(WantsSecondRead(FromFile(image, higher)));
    Bytes lower(1024, 0xFF);
    std::copy(code.begin() + 0x30, code.end(), lower.begin() + 0x10);
    const std::optional<Diagnosis> down = DiagnoseFailure(FromFile(image, lower));
    ASSERT_TRUE(down);
    EXPECT_EQ(down->Cause, FailureCause::Shifted);
    EXPECT_NE(down->Evidence.find("0060 bytes higher"), std::string::npos) << down->Evidence;

    // A shift with a sixth of its bytes spoiled is no longer a shift, and
    // still no fault of the part.
    Bytes spoiled = higher;
    for (std::size_t i = 0x140; i < 0x140 + 600; i += 6)
        spoiled[i] = static_cast<std::uint8_t>(spoiled[i] ^ 0x3C);
    EXPECT_NE(CauseOf(FromFile(image, spoiled)), FailureCause::Shifted);
    EXPECT_TRUE(NoHardwareForCertain(FromFile(image, spoiled))) << TextOf(FromFile(image, spoiled));

    // A stuck A9 reads the lower half at the upper half's addresses: half
    // the image in place, so it is the line, not a shift by 0200.
    const Bytes full = Code(1024, 9);
    Bytes stuck = full;
    for (std::size_t i = 0x200; i < 0x400; ++i)
        stuck[i] = full[i & ~std::size_t{0x200}];
    EXPECT_EQ(CauseOf(FromFile(full, stuck)), FailureCause::AddressLine)
        << TextOf(FromFile(full, stuck));
}

TEST(DiagnosisOfData, AnotherImageIsNotAnEmptySocket) {
    Bytes image(1024, 0xFF), other(1024, 0xFF);
    const Bytes a = Code(700, 10), b = Code(600, 11);
    std::copy(a.begin(), a.end(), image.begin());
    std::copy(b.begin(), b.end(), other.begin());
    const std::optional<Diagnosis> found = DiagnoseFailure(FromFile(image, other));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Text,
              "the part holds another image: check the file, or erase the part and program it");
    EXPECT_FALSE(WantsSecondRead(FromFile(image, other)));
    // Noise over the whole part is no image: the socket, or a file of noise.
    Bytes noise(1024);
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    EXPECT_EQ(CauseOf(FromFile(image, noise)), FailureCause::Garbled);
    EXPECT_TRUE(Hedged(TextOf(FromFile(image, noise))));
    // A blank part with a stray byte holds no image.
    Bytes stray(1024, 0xFF);
    stray[5] = 0x12;
    EXPECT_NE(CauseOf(FromFile(image, stray)), FailureCause::OtherImage);
}

TEST(DiagnosisOfData, ARefusedBlockNamesTheBlock) {
    // A part programmed to 0180, in block 0100 that the programmer refused.
    const Bytes image = Code(0x200, 12);
    Bytes found = image;
    for (std::size_t i = 0x180; i < 0x200; ++i)
        found[i] = 0xFF;
    ReadComparison run = Programmed(image, found);
    run.RefusedBlock = 0x100;
    const std::optional<Diagnosis> refused = DiagnoseFailure(run);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->Cause, FailureCause::RefusedBlock);
    EXPECT_EQ(refused->Text.rfind("block 0100 did not program: ", 0), 0u) << refused->Text;
    EXPECT_FALSE(WantsSecondRead(run));
    const DifferenceCount count = CountDifferences(run);
    long bytes = 0;
    for (std::size_t i = 0x180; i < 0x200; ++i)
        bytes += image[i] != 0xFF;
    EXPECT_EQ(count.Bytes, bytes);
    EXPECT_NE(refused->Evidence.find(" in " + std::to_string(bytes) + " bytes from "),
              std::string::npos)
        << refused->Evidence;
    // A difference before the block is not the block's: bits that did not
    // take all over.
    run.Found[0x20] = 0xFF;
    EXPECT_EQ(CauseOf(run), FailureCause::UnderProgrammed) << TextOf(run);
    // Bits that will not go back to erased in the block: not erased first.
    run.Found = image;
    run.Found[0x1F0] = static_cast<std::uint8_t>(image[0x1F0] & 0x0F);
    run.Found[0x1F1] = 0x00;
    if (image[0x1F1] == 0x00) run.Found[0x1F1] = 0x01;
    EXPECT_NE(CauseOf(run), FailureCause::RefusedBlock) << TextOf(run);
}

TEST(DiagnosisCount, CountsBytesBitsAndTheirEnds) {
    ReadComparison run = FromFile(Bytes{0x00, 0x11, 0x22, 0x33}, Bytes{0x00, 0x10, 0x22, 0x30});
    run.Start = 0x0400;
    const DifferenceCount count = CountDifferences(run);
    EXPECT_EQ(count.Bytes, 2);
    EXPECT_EQ(count.Bits, 3);
    EXPECT_EQ(count.First, 0x0401);
    EXPECT_EQ(count.Last, 0x0403);
    EXPECT_EQ(CountDifferences(FromFile(Bytes{1, 2}, Bytes{1, 2})).Bytes, 0);
}

TEST(WeakBitMajority, ATieKeepsTheFirstReadsBit) {
    // Two reads that disagree in every bit: the first read wins them all.
    EXPECT_EQ(MajorityOf({{0xA5}, {0x5A}}, 0), 0xA5);
    EXPECT_EQ(MajorityOf({{0x5A}, {0xA5}}, 0), 0x5A);
    // Four reads, two against two in the low nibble: the first read's;
    // three against one in the high nibble: the majority's.
    EXPECT_EQ(MajorityOf({{0x03}, {0xFC}, {0xF0}, {0xFF}}, 0), 0xF3);
    EXPECT_EQ(MajorityOf({{0xFC}, {0x03}, {0xF0}, {0xFF}}, 0), 0xFC);
    // Three reads have no tie: the two that agree win over the first.
    EXPECT_EQ(MajorityOf({{0x00}, {0x81}, {0x81}}, 0), 0x81);
    // Each byte on its own.
    const std::vector<Bytes> reads = {{0x10, 0x01}, {0x20, 0x01}};
    EXPECT_EQ(MajorityOf(reads, 0), 0x10);
    EXPECT_EQ(MajorityOf(reads, 1), 0x01);
}

} // namespace
} // namespace velmar::test

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <tuple>

#include "buffer/HexReader.h"
#include "buffer/HexText.h"
#include "buffer/TemporaryFile.h"
#include "tests/support/RecordingPanel.h"
#include "tests/support/TempDir.h"

namespace velmar {
namespace {

using test::RecordingPanel;

class HexReaderTest : public ::testing::Test {
  protected:
    HexLoadResult Load(const std::string& text, int fileType) {
        const std::string path = dir.File("in.hex");
        test::WriteFile(path, text);
        return LoadHexFile(path, static_cast<FileType>(fileType), buffer, window, panel);
    }
    std::vector<int> Bytes(std::int32_t from, std::int32_t count) const {
        std::vector<int> out;
        for (std::int32_t p = from; p < from + count; ++p)
            out.push_back(buffer[p]);
        return out;
    }
    int BoxCount() const { return static_cast<int>(panel.boxes.size()); }

    test::TempDir dir;
    DataBuffer buffer;
    AddressWindow window;
    RecordingPanel panel;
};

const char* const kThreeLines =
    ":020000021000EC\n:0400100001020304E2\n:00000001FF\n:0400200011121314A2\n";

TEST_F(HexReaderTest, SegmentRecordFoldsIntoThirtyTwoKilobyteDevice) {
    window.DeviceLimit = 0x7FFF;
    const HexLoadResult r = Load(kThreeLines, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Bytes(0x10, 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(panel.ProgressValues(ProgressOf::FileLoad), std::vector<std::int64_t>{0x00010});
    // The end record stops the load: the record after it is not read.
    EXPECT_EQ(buffer[0x20], 0);
    EXPECT_TRUE(r.EndRecordMet);
    EXPECT_EQ(r.LoadAddress, 0); // taken from the end record's address field
    EXPECT_EQ(panel.statuses, (std::vector<std::string>{"Loading Buffer from Hex File....",
                                                        "Hex File Loaded...."}));
    EXPECT_EQ(panel.pumps, 1);
    EXPECT_EQ(r.badChecksumRecords, 0);
    EXPECT_EQ(BoxCount(), 0);
}

TEST_F(HexReaderTest, OffsetAndSmallDeviceFold) {
    window.DeviceLimit = 0x7FFF;
    window.HexOffset = 0x100;
    Load(kThreeLines, 1);
    EXPECT_EQ(Bytes(0x110, 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(buffer[0x10], 0);

    DataBuffer fresh;
    buffer = fresh;
    window.HexOffset = 0;
    window.DeviceLimit = 0xFFF;
    const HexLoadResult r = Load(":02801000AABB09\n", 1);
    EXPECT_EQ(Bytes(0x010, 2), (std::vector<int>{0xAA, 0xBB}));
    EXPECT_EQ(r.LoadAddress, 0x010);
    EXPECT_FALSE(r.EndRecordMet); // ran to the end of the file
}

// The Hex Offset is added within 20 bits: D0000 brings a file linked at
// 30000 down to 0, where it is neither folded nor beyond the device.
TEST_F(HexReaderTest, TheOffsetWrapsAtTwentyBits) {
    const std::string at30000 = ":020000040003F7\n:0400000001020304F2\n:00000001FF\n";
    window.DeviceLimit = 0x1FFF;
    window.DeviceEnd = 0x1FFF;
    window.HexOffset = 0xD0000;
    HexLoadResult r = Load(at30000, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Bytes(0, 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(r.beyondBytes, 0);
    EXPECT_FALSE(r.folded);
    EXPECT_EQ(r.rangeBytes, 4);
    // A Motorola S2 record likewise; past the 20 bits of D0000 + 40000 the
    // sum starts again at 10000, which is beyond the part.
    r = Load("S2080300000A0B0C0DC6\nS804000000FB\n", 2);
    EXPECT_EQ(Bytes(0, 4), (std::vector<int>{0x0A, 0x0B, 0x0C, 0x0D}));
    EXPECT_EQ(r.beyondBytes, 0);
    r = Load("S2080400000A0B0C0DC5\nS804000000FB\n", 2);
    EXPECT_EQ(r.beyondBytes, 4);
    EXPECT_EQ(r.firstBeyondAddress, 0x10000);
    // Without the offset the file lies beyond the part, and says so.
    window.HexOffset = 0;
    r = Load(at30000, 1);
    EXPECT_EQ(r.beyondBytes, 4);
    EXPECT_EQ(r.firstBeyondAddress, 0x30000);
    EXPECT_TRUE(r.folded);
}

// Lines after the end record (two files run together) are not read, and they
// are counted as every other line that is not read; blank lines are not.
TEST_F(HexReaderTest, LinesAfterTheEndRecordAreCountedNotRead) {
    window.DeviceLimit = 0xFFFF;
    window.DeviceEnd = 0xFFFF;
    HexLoadResult r = Load(
        ":0100000011EE\n:00000001FF\n\n:0100100022CD\njunk\n:00000001FF\n\r\n", 1);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.EndRecordMet);
    EXPECT_EQ(r.endRecordLine, 2);
    EXPECT_EQ(r.linesAfterEnd, 3);
    EXPECT_EQ(r.firstLineAfterEnd, 4);
    EXPECT_EQ(r.skippedLines, 0); // not read, so not judged either
    EXPECT_EQ(r.LoadAddress, 0);  // the end record's
    EXPECT_EQ(buffer[0x10], 0);
    EXPECT_EQ(r.storedBytes, 1);
    EXPECT_EQ(panel.statuses.back(), "Hex File Loaded....");

    r = Load("S1040000AA51\nS9030000FC\nS1040010BB30\n", 2);
    EXPECT_EQ(r.endRecordLine, 2);
    EXPECT_EQ(r.linesAfterEnd, 1);
    EXPECT_EQ(r.firstLineAfterEnd, 3);
    EXPECT_EQ(buffer[0x10], 0);

    // Only blanks, or a Ctrl-Z, after the end: nothing to count.
    for (const std::string& tail : {std::string("\n \t\n\r\n"), std::string("\x1A:0100100022CD\n")}) {
        r = Load(":0100000011EE\n:00000001FF\n" + tail, 1);
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.linesAfterEnd, 0);
    }
    // A line too long to be a record ends the count, not the load.
    r = Load(":00000001FF\n:01001000" + std::string(5000, '0') + "\n:0100100022CD\n", 1);
    EXPECT_TRUE(r.ok) << r.refusal;
    EXPECT_EQ(r.linesAfterEnd, 1);
    EXPECT_EQ(r.firstLineAfterEnd, 2);
}

TEST_F(HexReaderTest, LineEndingsDoNotMatter) {
    window.DeviceLimit = 0xFFFF;
    const std::string lf = ":0400100001020304E2\n:03002000AABBCCBE\n:00000001FF\n";
    std::string crlf, cr;
    for (char c : lf) {
        if (c == '\n') {
            crlf += "\r\n";
            cr += "\r";
        } else {
            crlf += c;
            cr += c;
        }
    }
    Load(lf, 1);
    const DataBuffer fromLf = buffer;
    buffer = DataBuffer();
    Load(crlf, 1);
    EXPECT_EQ(0, std::memcmp(fromLf.data(), buffer.data(), kBufferSize));
    buffer = DataBuffer();
    Load(cr, 1);
    EXPECT_EQ(0, std::memcmp(fromLf.data(), buffer.data(), kBufferSize));
    EXPECT_EQ(Bytes(0x20, 3), (std::vector<int>{0xAA, 0xBB, 0xCC}));
}

TEST_F(HexReaderTest, LinesThatAreNoRecordsAreSkippedAndCounted) {
    window.DeviceLimit = 0xFFFF;
    const std::string text = " \t:0100000011EE\n"    // leading blanks: a record all the same
                             "s1040000227A\n"        // S-record in an Intel load
                             ":0400000300001234B3\n" // type 03 changes nothing
                             ":0400000500001234B1\n" // type 05 neither
                             "  \t\r\n\n"            // blank lines
                             "garbage line\n"
                             ":0100000922D4\n" // no such type
                             ":0100050033C7\n";
    HexLoadResult r = Load(text, 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[5], 0x33);
    EXPECT_EQ(r.LoadAddress, 5);
    EXPECT_EQ(r.skippedLines, 3);
    EXPECT_EQ(r.firstSkippedLine, 2);
    EXPECT_EQ(r.badChecksumRecords, 0);

    buffer = DataBuffer();
    const std::string mixed = "S104000133C7\n"
                              ":0100000011EE\n" // Intel line in a Motorola load
                              "s1040000227A\n"  // lower-case mark
                              "S4030000FC\n"    // reserved type
                              "SX\n"
                              "   S104000222D7\n";
    r = Load(mixed, 2);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Bytes(0, 3), (std::vector<int>{0, 0x33, 0x22}));
    EXPECT_EQ(r.skippedLines, 4);
    EXPECT_EQ(r.firstSkippedLine, 2);
    EXPECT_EQ(r.badChecksumRecords, 0);

    // ASCII hex has no records: blanks are data there, and fail as such.
    EXPECT_FALSE(Load(" 0102\n", 3).ok);
}

TEST_F(HexReaderTest, RecordsThatDisagreeOnAnAddressAreCounted) {
    window.DeviceLimit = 0x0FFF; // folding plays no part: file addresses count
    HexLoadResult r = Load(":020010001122BB\n"
                           ":0100100011DE\n" // the same value again
                           ":02001100AB330F\n"
                           ":01101100CC12\n", // 0x1011 folds onto 0x0011, another address
                           1);
    EXPECT_EQ(r.conflictingBytes, 1);
    EXPECT_EQ(r.firstConflictAddress, 0x11);
    EXPECT_EQ(r.firstConflictValues[0], 0x22);
    EXPECT_EQ(r.firstConflictValues[1], 0xAB);
    EXPECT_EQ(r.firstConflictLine, 3);
    EXPECT_EQ(buffer[0x11], 0xCC); // the later record wins, as ever
    r = Load("S2050100105594\nS306000100105593\n", 2);
    EXPECT_EQ(r.conflictingBytes, 0); // the same value twice is fine
    r = Load("S306010000105593\nS306010000105692\n", 2);
    EXPECT_EQ(r.conflictingBytes, 1);
    EXPECT_EQ(r.firstConflictAddress, 0x1000010);
}

TEST_F(HexReaderTest, MotorolaRecordKinds) {
    window.DeviceLimit = 0xFFFFF;
    const std::string text = "S00600004844521B\n"   // header: skipped
                             "S1050010AABB85\n"     // 16-bit address
                             "S205000020CC0E\n"     // 24-bit address
                             "S30700000030223373\n" // 32-bit address
                             "S5030003F9\n"         // count: skipped
                             "S9030000FC\n"         // end
                             "S1040040EEED\n";      // not read
    const HexLoadResult r = Load(text, 2);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Bytes(0x10, 2), (std::vector<int>{0xAA, 0xBB}));
    EXPECT_EQ(buffer[0x20], 0xCC);
    EXPECT_EQ(Bytes(0x30, 2), (std::vector<int>{0x22, 0x33}));
    EXPECT_EQ(buffer[0x40], 0);
    EXPECT_EQ(buffer[0], 0); // nothing of the header landed
    EXPECT_TRUE(r.EndRecordMet);
    EXPECT_EQ(r.badChecksumRecords, 0);
    EXPECT_EQ(panel.ProgressValues(ProgressOf::FileLoad),
              (std::vector<std::int64_t>{0x00010, 0x00020, 0x00030}));

    for (const char* end : {"S70500000000FA\n", "S804000000FB\n"}) {
        buffer = DataBuffer();
        Load(std::string(end) + "S1040040EEED\n", 2);
        EXPECT_EQ(buffer[0x40], 0) << end;
    }
}

TEST_F(HexReaderTest, LowerCaseDigitsAreAccepted) {
    window.DeviceLimit = 0xFFFF;
    const HexLoadResult r = Load(":02abcd00beefd9\n", 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Bytes(0xABCD, 2), (std::vector<int>{0xBE, 0xEF}));
    buffer = DataBuffer();
    EXPECT_TRUE(Load("S2060abcdefa0ff6\n", 2).ok);
    EXPECT_EQ(buffer[0xBCDE], 0xFA); // 0x0ABCDE folded by 0xFFFF
    buffer = DataBuffer();
    EXPECT_TRUE(Load("a0Ff\n", 3).ok);
    EXPECT_EQ(Bytes(0, 2), (std::vector<int>{0xA0, 0xFF}));
}

TEST_F(HexReaderTest, WrongChecksumIsStoredAndCounted) {
    window.DeviceLimit = 0xFFFF;
    const HexLoadResult r = Load(":0100000011EE\n:0100010022FF\n:0100020033FF\n:00000001FF\n", 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Bytes(0, 3), (std::vector<int>{0x11, 0x22, 0x33}));
    EXPECT_EQ(r.badChecksumRecords, 2);
    EXPECT_EQ(r.firstBadChecksumLine, 2);

    buffer = DataBuffer();
    // Lines are numbered as an editor shows them, CR LF counting once.
    const HexLoadResult s =
        Load("S00600004844521B\r\nS104000022D9\r\nS104000133AA\r\nS9030000FC\r\n", 2);
    EXPECT_EQ(s.badChecksumRecords, 1);
    EXPECT_EQ(s.firstBadChecksumLine, 3);
    EXPECT_EQ(buffer[1], 0x33);
    EXPECT_EQ(BoxCount(), 0); // the reader itself only counts
}

TEST_F(HexReaderTest, RecordRunsOnWithoutWrapping) {
    window.DeviceLimit = 0x7FFF;
    std::string line = ":10FFF800";
    unsigned sum = 0x10 + 0xFF + 0xF8;
    for (int i = 0; i < 16; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", 0xA0 + i);
        line += pair;
        sum += 0xA0 + i;
    }
    char cs[3];
    std::snprintf(cs, sizeof cs, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    line += cs;
    EXPECT_TRUE(Load(line + "\n", 1).ok);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(buffer[0x7FF8 + i], 0xA0 + i);
    EXPECT_EQ(buffer[0], 0);
}

TEST_F(HexReaderTest, LinesAreCutAfterTheLongestLegalRecord) {
    // ASCII hex keeps its cut: only the first 256 characters of a line count.
    std::string ascii(300, 'A');
    EXPECT_TRUE(Load(ascii + "\n", 3).ok);
    EXPECT_EQ(buffer[127], 0xAA);
    EXPECT_EQ(buffer[128], 0);

    // Intel and Motorola lines are read up to the longest legal record, a
    // count of 255: what follows it on the line is cut away.
    buffer = DataBuffer();
    window.DeviceLimit = 0xFFFF;
    window.DeviceEnd = 0xFFFF;
    std::string data;
    int sum = 0xFF;
    for (int i = 0; i < 255; ++i) {
        data += HexText(i, 2);
        sum += i;
    }
    const std::string intel = ":FF000000" + data + HexText((0x100 - (sum & 0xFF)) & 0xFF, 2);
    ASSERT_EQ(intel.size(), 521u);
    const HexLoadResult r = Load(intel + "GARBAGE\n", 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(buffer[122], 122);
    EXPECT_EQ(buffer[123], 123);
    EXPECT_EQ(buffer[254], 254);
    EXPECT_EQ(buffer[255], 0);
    EXPECT_EQ(r.badChecksumRecords, 0); // the checksum is inside the cut

    // A count running past the end of its line: the last field is empty.
    buffer = DataBuffer();
    const HexLoadResult bad = Load(":7D000000" + std::string(2 * 124, 'B') + "\n", 1);
    EXPECT_FALSE(bad.ok);
    ASSERT_FALSE(panel.boxes.empty());
    EXPECT_EQ(panel.boxes.back().text, "'$\n' is not a valid integer value.");
}

// Records of every legal length load, in all three record formats.
TEST_F(HexReaderTest, RecordsOfEveryLegalLengthLoad) {
    window.DeviceLimit = 0xFFFF;
    window.DeviceEnd = 0xFFFF;
    for (int count : {16, 122, 123, 124, 200, 255}) {
        std::string data;
        for (int i = 0; i < count; ++i)
            data += HexText((i * 7 + count) & 0xFF, 2);
        const std::string records[] = {
            ":" + HexText(count, 2) + "100000" + data + "00\n",
            "S1" + HexText(std::min(count + 3, 255), 2) + "1000" +
                data.substr(0, 2 * std::min(count, 252)) + "00\n",
            "S2" + HexText(std::min(count + 4, 255), 2) + "001000" +
                data.substr(0, 2 * std::min(count, 251)) + "00\n",
            "S3" + HexText(std::min(count + 5, 255), 2) + "00001000" +
                data.substr(0, 2 * std::min(count, 250)) + "00\n",
        };
        const int limits[] = {count, std::min(count, 252), std::min(count, 251),
                              std::min(count, 250)};
        for (int k = 0; k < 4; ++k) {
            buffer = DataBuffer();
            const HexLoadResult r = Load(records[k], k == 0 ? 1 : 2);
            EXPECT_TRUE(r.ok) << count << " " << k;
            EXPECT_EQ(r.storedBytes, limits[k]) << count << " " << k;
            EXPECT_EQ(buffer[0x1000 + limits[k] - 1], ((limits[k] - 1) * 7 + count) & 0xFF)
                << count << " " << k;
            EXPECT_EQ(buffer[0x1000 + limits[k]], 0) << count << " " << k;
        }
    }
}

TEST_F(HexReaderTest, AsciiHexFillsFromZeroInFileOrder) {
    window.DeviceLimit = 0x7FFF;
    window.HexOffset = 0x100;
    const HexLoadResult r = Load("000102\n0304\n\n0506\r\n", 3);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(Bytes(0, 7), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(r.LoadAddress, 7);
    EXPECT_EQ(buffer[0x100], 0);

    buffer.Fill(0x55);
    panel.progress.clear();
    std::string big;
    for (int i = 0; i < 40; ++i)
        big += std::string(32, '1') + "\n"; // 16 bytes a line
    Load(big, 3);
    EXPECT_EQ(buffer[639], 0x11);
    EXPECT_EQ(buffer[640], 0x55);
    // Progress at each line that starts on a 256-byte boundary.
    EXPECT_EQ(panel.ProgressValues(ProgressOf::FileLoad),
              (std::vector<std::int64_t>{0x00000, 0x00100, 0x00200}));
}

TEST_F(HexReaderTest, MalformedFieldsEndTheLoad) {
    window.DeviceLimit = 0xFFFF;
    const HexLoadResult r = Load(":0100000011EE\n:02000100G1FF00\n:0100050055A5\n", 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.badField, "$G1");
    ASSERT_EQ(BoxCount(), 1);
    EXPECT_EQ(panel.boxes[0].kind, BoxKind::Error);
    EXPECT_EQ(panel.boxes[0].text, "'$G1' is not a valid integer value.");
    EXPECT_EQ(buffer[0], 0x11); // stored before the failure
    EXPECT_EQ(buffer[5], 0);
    EXPECT_EQ(panel.statuses, std::vector<std::string>{"Loading Buffer from Hex File...."});

    // An odd number of ASCII digits fails on the last pair, terminator included.
    buffer = DataBuffer();
    panel.boxes.clear();
    const HexLoadResult odd = Load("00010\n", 3);
    EXPECT_FALSE(odd.ok);
    EXPECT_EQ(Bytes(0, 2), (std::vector<int>{0, 1}));
    ASSERT_EQ(BoxCount(), 1);
    EXPECT_EQ(panel.boxes[0].text, "'$0\n' is not a valid integer value.");

    // An ASCII load of an Intel file fails on its first line.
    panel.boxes.clear();
    EXPECT_FALSE(Load(":0100000011EE\n", 3).ok);
    EXPECT_EQ(panel.boxes.at(0).text, "'$:0' is not a valid integer value.");

    // A count that runs past the end of the line.
    panel.boxes.clear();
    EXPECT_FALSE(Load("S1050000AA\n", 2).ok);
    EXPECT_EQ(panel.boxes.at(0).text, "'$\n' is not a valid integer value.");
}

TEST_F(HexReaderTest, EmptyFilesAndOtherFormats) {
    window.DeviceLimit = 0xFFFF;
    buffer.Fill(0x77);
    for (int type : {1, 2, 3}) {
        panel.statuses.clear();
        EXPECT_TRUE(Load("", type).ok);
        EXPECT_EQ(panel.statuses.back(), "Hex File Loaded....");
    }
    // Even an empty file is read as one empty line: ASCII hex shows its start.
    panel.progress.clear();
    Load("", 3);
    EXPECT_EQ(panel.ProgressValues(ProgressOf::FileLoad), std::vector<std::int64_t>{0x00000});
    EXPECT_TRUE(Load("S1040000227A\n", 1).ok); // Motorola in an Intel load
    EXPECT_TRUE(Load(":0100000011EE\n", 2).ok);
    EXPECT_TRUE(Load(":0100000011EE\n", 7).ok); // unknown file type reads no records
    EXPECT_EQ(buffer[0], 0x77);
    // Ctrl-Z ends the file.
    EXPECT_TRUE(Load(":0100000011EE\n\x1A:0100010022DC\n", 1).ok);
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[1], 0x77);
}

// No limit (no device chosen): no record is folded onto position 0.
TEST_F(HexReaderTest, LimitZeroStoresEveryRecordAtItsOwnAddress) {
    window.DeviceLimit = 0;
    const HexLoadResult r = Load(":02012300AABB77\n", 1);
    EXPECT_EQ(Bytes(0x123, 2), (std::vector<int>{0xAA, 0xBB}));
    EXPECT_EQ(buffer[0], 0);
    // Nor does any byte lie beyond a device's end.
    EXPECT_EQ(r.beyondBytes, 0);
    EXPECT_FALSE(r.folded);
    buffer = DataBuffer();
    Load("S10501230102D3\n", 2);
    EXPECT_EQ(Bytes(0x123, 2), (std::vector<int>{1, 2}));
    buffer = DataBuffer();
    Load("0102\n", 3);
    EXPECT_EQ(Bytes(0, 2), (std::vector<int>{1, 2}));
}

TEST_F(HexReaderTest, FoldMaskCoversTheDevice) {
    EXPECT_EQ(FoldMask(0x4FFF), 0x7FFF);
    for (std::int32_t limit : {0, 0x3FF, 0x7FF, 0xFFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFFF})
        EXPECT_EQ(FoldMask(limit), limit);
    EXPECT_EQ(FoldMask(0x27FF), 0x3FFF);

    window.DeviceLimit = 0x4FFF; // a 20 KiB part keeps its own addresses
    Load(":01100000AA45\n:01480000BBFC\n:01801000CCA3\n", 1);
    EXPECT_EQ(buffer[0x1000], 0xAA);
    EXPECT_EQ(buffer[0x4800], 0xBB);
    EXPECT_EQ(buffer[0x0010], 0xCC);
    EXPECT_EQ(buffer[0], 0);
}

TEST_F(HexReaderTest, BasesAddAndBytesPastTheBufferAreDropped) {
    window.DeviceLimit = 0xFFFFF;
    // Segment 0x0100 (0x1000) and linear 0 add; linear 1 puts data past the buffer.
    const HexLoadResult r = Load(":020000020100FB\n:0100100011DE\n"
                                 ":020000040001F9\n:0200000022337E\n"
                                 ":020000020000FC\n:020000040000FA\n"
                                 ":10FFF800000102030405060708090A0B0C0D0E0F83\n",
                                 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(buffer[0x1010], 0x11);
    EXPECT_EQ(Bytes(0, 1), (std::vector<int>{0}));
    EXPECT_EQ(Bytes(0xFFF8, 8), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(r.droppedBytes, 2 + 8);

    // ASCII hex past 64 KiB.
    buffer = DataBuffer();
    std::string big;
    for (int i = 0; i < 4097; ++i)
        big += std::string(32, '5') + "\r\n";
    const HexLoadResult a = Load(big, 3);
    EXPECT_TRUE(a.ok);
    EXPECT_EQ(a.droppedBytes, 16);
    EXPECT_EQ(buffer[0xFFFF], 0x55);
}

TEST_F(HexReaderTest, UnreadableFileIsReportedNotShown) {
    const HexLoadResult r =
        LoadHexFile(dir.File("missing.hex"), IntelHexFileType, buffer, window, panel);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.systemError.empty());
    EXPECT_EQ(BoxCount(), 0);
    EXPECT_EQ(panel.statuses, std::vector<std::string>{"Loading Buffer from Hex File...."});

    const HexLoadResult d =
        LoadHexFile(dir.Path().string(), IntelHexFileType, buffer, window, panel);
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(d.systemError.empty());
}

// A text stream that never ends: the same line over and over. Windows has no
// cookie streams: there it is a temporary file just past the 64 MiB bound.
std::FILE* EndlessText(const char* line) {
#if defined(_WIN32)
    std::FILE* file = velmar::OpenTemporaryFile();
    if (file == nullptr) return nullptr;
    const std::size_t n = std::strlen(line);
    for (std::size_t written = 0; written <= (std::size_t{64} << 20) + n; written += n)
        std::fwrite(line, 1, n, file);
    std::rewind(file);
    return file;
#else
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* out, std::size_t size) -> ssize_t {
        const char* text = static_cast<const char*>(cookie);
        const std::size_t n = std::strlen(text);
        for (std::size_t i = 0; i < size; ++i)
            out[i] = text[i % n];
        return static_cast<ssize_t>(size - size % n);
    };
    return fopencookie(const_cast<char*>(line), "r", io);
#endif
}

TEST_F(HexReaderTest, TextInputIsBoundedAndCanBeStopped) {
    window.DeviceLimit = 0xFFFF;
    window.DeviceEnd = 0xFFFF;
    // A line of 4096 characters is read; one more without a line end is not.
    EXPECT_TRUE(Load(":0100000011EE" + std::string(4096 - 13, ' ') + "\n", 1).ok);
    EXPECT_EQ(buffer[0], 0x11);
    HexLoadResult r = Load(":0100000011EE\n" + std::string(4097, '\0'), 1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.refusal, "line 2 has more than 4096 characters without a line end");

    // An input that never ends stops after 64 MiB.
    static const std::string skipped = "S5" + std::string(4000, ' ') + "\n";
    std::FILE* endless = EndlessText(skipped.c_str());
    ASSERT_NE(endless, nullptr);
    r = LoadHexStream(endless, MotorolaHexFileType, buffer, window, panel);
    std::fclose(endless);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.refusal, "the file holds more than 64 MiB of text");

    // The panel can stop a load between lines.
    RecordingPanel stopper;
    std::vector<int> lines;
    stopper.onLoadLine = [&lines](int lineNumber) {
        lines.push_back(lineNumber);
        return lineNumber < 3;
    };
    buffer = DataBuffer();
    test::WriteFile(dir.File("s.hex"), ":0100000011EE\n:0100010022DC\n:0100020033CA\n");
    r = LoadHexFile(dir.File("s.hex"), IntelHexFileType, buffer, window, stopper);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Bytes(0, 3), (std::vector<int>{0x11, 0x22, 0}));
}

TEST_F(HexReaderTest, FilesWithoutDataStoreNothingAndAByteOrderMarkIsText) {
    window.DeviceLimit = 0xFFFF;
    window.DeviceEnd = 0xFFFF;
    for (const std::string& text :
         {std::string(), std::string("hello, world\n"), std::string(":00000001FF\n"),
          std::string("s1070010010203E7\ns9030000FC\n"), std::string("\xEF\xBB\xBF")}) {
        const HexLoadResult r = Load(text, text[0] == 's' ? 2 : 1);
        EXPECT_TRUE(r.ok) << text;
        EXPECT_EQ(r.storedBytes, 0) << text;
        EXPECT_EQ(r.highestPosition, -1) << text;
    }
    HexLoadResult r = Load("\xEF\xBB\xBF:03001000010203E7\n:01002000449B\n", 1);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.storedBytes, 4);
    EXPECT_EQ(r.highestPosition, 0x20);
    EXPECT_EQ(Bytes(0x10, 3), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(r.badChecksumRecords, 0);
    r = Load("\xEF\xBB\xBFS1070010010203E2\n", 2);
    EXPECT_EQ(r.storedBytes, 4);
}

TEST_F(HexReaderTest, DataBeyondTheDeviceEndAreCounted) {
    // An 8 KiB part: a record at 0x3000 folds onto 0x1000.
    window.DeviceLimit = 0x1FFF;
    window.DeviceEnd = 0x1FFF;
    HexLoadResult r = Load(":0100000011EE\n:02300000AABB69\n", 1);
    EXPECT_EQ(r.beyondBytes, 2);
    EXPECT_EQ(r.firstBeyondAddress, 0x3000);
    EXPECT_TRUE(r.folded);
    EXPECT_EQ(Bytes(0x1000, 2), (std::vector<int>{0xAA, 0xBB}));

    // An extended linear address, an S2 above 64 KiB, an S3 above 1 MiB.
    for (const auto& [text, type, first] : std::vector<std::tuple<std::string, int, std::int64_t>>{
             {":020000040001F9\n:01001000559A\n", 1, 0x10010},
             {"S2050100105500\n", 2, 0x10010},
             {"S306010000105500\n", 2, 0x1000010}}) {
        r = Load(text, type);
        EXPECT_EQ(r.beyondBytes, 1) << text;
        EXPECT_EQ(r.firstBeyondAddress, first) << text;
        EXPECT_TRUE(r.folded) << text;
        EXPECT_EQ(buffer[0x10], 0x55) << text;
    }

    // A record running past the end is not folded, but its tail is beyond.
    r = Load(":041FFE00010203040000\n", 1);
    EXPECT_EQ(r.beyondBytes, 2);
    EXPECT_EQ(r.firstBeyondAddress, 0x2000);
    EXPECT_FALSE(r.folded);

    // The 89S52's fold mask is 0x3FFF, its end 0x1FFF.
    window.DeviceLimit = 0x3FFF;
    r = Load(":02300000AABB69\n", 1);
    EXPECT_EQ(r.beyondBytes, 2);
    EXPECT_FALSE(r.folded);
    EXPECT_EQ(buffer[0x3000], 0xAA);

    // Inside the part nothing is counted.
    r = Load(":020000040000FA\n:021FFE00AABB7A\n", 1);
    EXPECT_EQ(r.beyondBytes, 0);
    EXPECT_EQ(r.firstBeyondAddress, -1);
}

} // namespace
} // namespace velmar

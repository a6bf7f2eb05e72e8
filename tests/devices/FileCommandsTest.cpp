#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "NullBackend.h"
#include "buffer/HexText.h"
#include "devices/DeviceCatalogue.h"
#include "devices/FileCommands.h"
#include "devices/OperationFrame.h"
#include "devices/Tasks.h"
#include "tests/support/RecordingPanel.h"
#include "tests/support/TempDir.h"

namespace velmar {
namespace {

class FileCommandsTest : public ::testing::Test {
  protected:
    FileCommandsTest() : state(test::NoProgrammer()) { state.Panel.Attach(&panel); }

    test::TempDir dir;
    test::RecordingPanel panel;
    ProgramState state;
};

TEST_F(FileCommandsTest, SuccessfulLoadNamesTheFileAndSums) {
    state.Window.DeviceLimit = 0x3FF;
    state.Window.DeviceEnd = 0x3FF;
    state.FileType = IntelHexFileType;
    const std::string path = dir.File("a.hex");
    test::WriteFile(path, ":03001000010203E7\n");
    EXPECT_TRUE(LoadDataFile(state, path));
    EXPECT_EQ(panel.lastFile, path);
    EXPECT_EQ(panel.checksum, 0x0006);
    EXPECT_EQ(state.Transfer.DeviceAddress, 0x10);
    EXPECT_FALSE(state.FailFlag);
    EXPECT_TRUE(panel.boxes.empty());

    state.FileType = BinaryFileType;
    state.Window.BufferStart = 0x20;
    const std::string bin = dir.File("a.bin");
    test::WriteFile(bin, std::string("\x10\x20", 2));
    EXPECT_TRUE(LoadDataFile(state, bin));
    EXPECT_EQ(panel.lastFile, bin);
    EXPECT_EQ(panel.checksum, 0x0036);
}

TEST_F(FileCommandsTest, UnreadableFileTurnsTheBannerRedAndKeepsTheLastFile) {
    for (FileType type :
         {BinaryFileType, IntelHexFileType, MotorolaHexFileType, AsciiHexFileType}) {
        panel.boxes.clear();
        panel.lastFile.reset();
        panel.checksum.reset();
        state.FailFlag = false;
        state.FileType = type;
        const std::string path = dir.File("gone.dat");
        bool fileError = false;
        EXPECT_FALSE(LoadDataFile(state, path, &fileError));
        EXPECT_TRUE(fileError);
        EXPECT_TRUE(state.FailFlag);
        ASSERT_EQ(panel.boxes.size(), 1u);
        EXPECT_EQ(panel.boxes[0].kind, BoxKind::Error);
        EXPECT_NE(panel.boxes[0].text.find(path), std::string::npos);
        EXPECT_NE(panel.boxes[0].text.find("No such file"), std::string::npos);
        EXPECT_FALSE(panel.lastFile);
        EXPECT_FALSE(panel.checksum);
        EXPECT_NE(panel.Status(), "Hex File Loaded....");
    }
}

TEST_F(FileCommandsTest, MalformedHexShowsOnlyItsOwnBox) {
    state.FileType = AsciiHexFileType;
    const std::string path = dir.File("odd.txt");
    test::WriteFile(path, "0102X3\n");
    bool fileError = true;
    EXPECT_FALSE(LoadDataFile(state, path, &fileError));
    EXPECT_FALSE(fileError);
    EXPECT_TRUE(state.FailFlag);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].text, "'$X3' is not a valid integer value.");
    EXPECT_FALSE(panel.lastFile);
    EXPECT_FALSE(panel.checksum);
    EXPECT_EQ(panel.Status(), "Loading Buffer from Hex File....");
    EXPECT_EQ(state.Buffer[1], 2); // kept what was read before
}

// The load task tells a file it could not read from contents it could not
// use, from a file or a stream the caller opened.
TEST_F(FileCommandsTest, LoadTaskSaysWhyNothingLoaded) {
    state.FileType = IntelHexFileType;
    const LoadResult gone = tasks::LoadFile(state, dir.File("gone.hex"));
    EXPECT_FALSE(gone.Loaded);
    EXPECT_TRUE(gone.CannotRead);

    const std::string odd = dir.File("odd.hex");
    test::WriteFile(odd, ":0300100001G203E7\n");
    const LoadResult malformed = tasks::LoadFile(state, odd);
    EXPECT_FALSE(malformed.Loaded);
    EXPECT_FALSE(malformed.CannotRead);

    const std::string good = dir.File("good.hex");
    test::WriteFile(good, ":03001000010203E7\n");
    std::FILE* stream = std::fopen(good.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    LoadFacts facts;
    const LoadResult loaded = tasks::LoadFile(state, "named.hex", stream, &facts);
    std::fclose(stream);
    EXPECT_TRUE(loaded.Loaded);
    EXPECT_FALSE(loaded.CannotRead);
    EXPECT_EQ(facts.dataBytes, 3);
    EXPECT_EQ(panel.lastFile, "named.hex");
}

TEST_F(FileCommandsTest, WrongChecksumsWarnAndTurnTheBannerRed) {
    state.FileType = IntelHexFileType;
    state.Window.DeviceLimit = 0xFFFF;
    state.Window.DeviceEnd = 0xFFFF;
    const std::string path = dir.File("bad.hex");
    test::WriteFile(path, ":0100000011EE\r\n:0100010022FF\r\n:0100020033FF\r\n:00000001FF\r\n");
    EXPECT_TRUE(LoadDataFile(state, path));
    EXPECT_TRUE(state.FailFlag);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(panel.boxes[0].text,
              "2 records with a wrong checksum in \"" + path + "\"; the first is on line 2.");
    EXPECT_EQ(panel.report.front(), panel.boxes[0].text);
    EXPECT_EQ(state.Buffer[2], 0x33);
    EXPECT_EQ(panel.lastFile, path);
}

TEST_F(FileCommandsTest, DroppedBytesAreToldOnLoadAndSave) {
    state.FileType = BinaryFileType;
    state.Window.BufferStart = 0xFFFE;
    const std::string path = dir.File("five.bin");
    test::WriteFile(path, "12345");
    EXPECT_TRUE(LoadDataFile(state, path));
    ASSERT_EQ(panel.report.size(), 1u);
    EXPECT_EQ(panel.report[0],
              "3 bytes of \"" + path + "\" fell past buffer position FFFF and were dropped.");
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].kind, BoxKind::Warning);
    EXPECT_FALSE(state.FailFlag);

    state.Window.DeviceEnd = 0xFFFFF; // no device selected
    const std::string out = dir.File("out.bin");
    EXPECT_TRUE(SaveDataFile(state, out));
    EXPECT_EQ(panel.report[0],
              "983040 bytes past buffer position FFFF were not written to \"" + out + "\".");
    EXPECT_EQ(test::ReadFile(out).size(), 65536u);
}

TEST_F(FileCommandsTest, FailedSaveIsReportedAndKeepsTheOldFile) {
    const std::string path = dir.File("sub");
    std::filesystem::create_directory(path);
    for (FileType type : {BinaryFileType, IntelHexFileType}) {
        state.FailFlag = false;
        panel.boxes.clear();
        state.FileType = type;
        EXPECT_FALSE(SaveDataFile(state, path));
        EXPECT_TRUE(state.FailFlag);
        ASSERT_EQ(panel.boxes.size(), 1u);
        EXPECT_EQ(panel.boxes[0].kind, BoxKind::Error);
        EXPECT_EQ(panel.boxes[0].text.rfind("Could not write \"" + path + "\": ", 0), 0u);
        EXPECT_NE(panel.Status(), "Hex File Saved....");
    }
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

// Every device size in every format: save, spoil the buffer, load again.
TEST_F(FileCommandsTest, EveryDeviceRoundTripsInEveryFormat) {
    std::mt19937 random(7);
    for (const CatalogueRow& row : DeviceCatalogue()) {
        if (!row.IsDevice) continue;
        for (FileType type :
             {BinaryFileType, IntelHexFileType, MotorolaHexFileType, AsciiHexFileType}) {
            SCOPED_TRACE(std::string(row.Caption) + " type " + std::to_string(type));
            for (int i = 0; i < kBufferSize; ++i)
                state.Buffer[i] = static_cast<std::uint8_t>(random());
            const DataBuffer original = state.Buffer;
            state.Window = AddressWindow{};
            state.Window.DeviceEnd = row.DeviceEnd;
            state.Window.DeviceLimit = row.DeviceLimit();
            state.FileType = type;
            const std::string path = dir.File("round.dat");
            ASSERT_TRUE(SaveDataFile(state, path));
            state.Buffer.Fill(0xA5);
            panel.boxes.clear();
            ASSERT_TRUE(LoadDataFile(state, path));
            EXPECT_TRUE(panel.boxes.empty());
            EXPECT_FALSE(state.FailFlag);
            EXPECT_EQ(0, std::memcmp(state.Buffer.data(), original.data(),
                                     static_cast<std::size_t>(row.DeviceEnd) + 1));
        }
    }
}

TEST_F(FileCommandsTest, FillLeavesTheChecksumCaptionAlone) {
    state.Window.DeviceEnd = 0x3FF;
    FillBuffer(state, 0xFF);
    EXPECT_EQ(state.Buffer[0], 0xFF);
    EXPECT_EQ(state.Buffer[0xFFFF], 0xFF);
    EXPECT_FALSE(panel.checksum);
    FillBuffer(state, 0x0A);
    EXPECT_EQ(state.Buffer[0x8000], 0x0A);
}

// The window after a hex load that stored nothing: a warning box and a red
// banner, whatever the file held instead.
TEST_F(FileCommandsTest, AHexFileWithoutDataWarnsAndTurnsTheBannerRed) {
    state.Window.DeviceLimit = 0x1FFF;
    state.Window.DeviceEnd = 0x1FFF;
    state.FileType = IntelHexFileType;
    const std::string path = dir.File("none.hex");
    for (const std::string& text : {std::string(), std::string(":00000001FF\n")}) {
        test::WriteFile(path, text);
        panel.boxes.clear();
        BeginOperation(state);
        EXPECT_TRUE(LoadDataFile(state, path));
        EndOperation(state);
        ASSERT_EQ(panel.boxes.size(), 1u) << text;
        EXPECT_EQ(panel.boxes[0].kind, BoxKind::Warning);
        EXPECT_EQ(panel.boxes[0].text, "No data records were found in " + path + ".");
        EXPECT_EQ(panel.LastSucceeded(), false);
    }
    // Lines that are not records say so instead, in one box.
    test::WriteFile(path, "just text\n:0100000922D4\nmore text\n");
    panel.boxes.clear();
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, path));
    EndOperation(state);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(panel.boxes[0].text,
              "3 lines of " + path + " are not records and were skipped; the first is line 1.");
    EXPECT_EQ(panel.LastSucceeded(), false);

    // Two values for one address: one box naming the first and both values.
    test::WriteFile(path, ":0100100011DE\n:0100100022CD\n:0100110033BB\n:0100110044AA\n");
    panel.boxes.clear();
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, path));
    EndOperation(state);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].text, "2 addresses of " + path +
                                       " are given two different values; the first is 0010, "
                                       "given 11 and then 22 on line 2.");
    EXPECT_EQ(panel.LastSucceeded(), false);

    test::WriteFile(path, "\xEF\xBB\xBF:03001000010203E7\n");
    panel.boxes.clear();
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, path));
    EndOperation(state);
    EXPECT_TRUE(panel.boxes.empty());
    EXPECT_EQ(panel.LastSucceeded(), true);
}

// Lines after the end record (two files run together) load the first file
// with one warning box that says where the rest begins, and a red banner.
TEST_F(FileCommandsTest, LinesAfterTheEndRecordAreReportedAsNotRead) {
    state.Window.DeviceLimit = 0x1FFF;
    state.Window.DeviceEnd = 0x1FFF;
    state.FileType = IntelHexFileType;
    const std::string path = dir.File("two.hex");
    const std::string first = ":0100000011EE\n:00000001FF\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {first + ":0100100022CD\n",
         "Line 3 of " + path + " follows its end record (line 2) and was not read."},
        {first + "\n" + first,
         "2 lines of " + path +
             " follow its end record (line 2) and were not read; the first is line 4."},
        // A file with nothing before its end record: not "no data records".
        {":00000001FF\n:0100100022CD\n:00000001FF\n",
         "2 lines of " + path +
             " follow its end record (line 1) and were not read; the first is line 2."},
    };
    for (const auto& [text, warning] : cases) {
        test::WriteFile(path, text);
        panel.boxes.clear();
        BeginOperation(state);
        LoadFacts facts;
        EXPECT_TRUE(LoadDataFile(state, path, nullptr, &facts));
        EndOperation(state);
        ASSERT_EQ(panel.boxes.size(), 1u) << text;
        EXPECT_EQ(panel.boxes[0].kind, BoxKind::Warning);
        EXPECT_EQ(panel.boxes[0].text, warning);
        EXPECT_EQ(panel.LastSucceeded(), false);
        EXPECT_GT(facts.linesAfterEnd, 0);
        EXPECT_EQ(state.Buffer[0x10], 0);
    }
    // Blank lines after the end are nothing to report.
    test::WriteFile(path, first + "\n\n");
    panel.boxes.clear();
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, path));
    EndOperation(state);
    EXPECT_TRUE(panel.boxes.empty());
    EXPECT_EQ(panel.LastSucceeded(), true);
}

// With no device chosen yet (a fresh window), a hex file loads where its
// records say, unfolded and with no word of a device's end; bytes past the
// buffer are dropped and said to be.
TEST_F(FileCommandsTest, WithNoDeviceAHexFileLoadsUnfolded) {
    ASSERT_EQ(state.Window.DeviceLimit, 0);
    state.FileType = IntelHexFileType;
    const std::string path = dir.File("spread.hex");
    test::WriteFile(path, ":0100000011EE\n:011234002297\n:01FFFF00AA57\n:00000001FF\n");
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, path));
    EndOperation(state);
    EXPECT_EQ(state.Buffer[0], 0x11);
    EXPECT_EQ(state.Buffer[0x1234], 0x22);
    EXPECT_EQ(state.Buffer[0xFFFF], 0xAA);
    EXPECT_TRUE(panel.boxes.empty());
    EXPECT_EQ(panel.LastSucceeded(), true);

    test::WriteFile(path, ":0100000033CC\n:020000040001F9\n:0100000044BB\n:00000001FF\n");
    panel.boxes.clear();
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, path));
    EndOperation(state);
    EXPECT_EQ(state.Buffer[0], 0x33);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].text,
              "1 bytes of \"" + path + "\" fell past buffer position FFFF and were dropped.");
}

// Data past the device's end still load (folded as before), with one warning
// per load and a red banner; a binary file longer than the range likewise.
TEST_F(FileCommandsTest, DataBeyondTheDeviceWarnOncePerLoad) {
    state.Window.DeviceLimit = 0x1FFF;
    state.Window.DeviceEnd = 0x1FFF;
    state.FileType = IntelHexFileType;
    const std::string path = dir.File("far.hex");
    test::WriteFile(path, ":02300000AABB69\n:020000040001F9\n:01001000559A\n");
    BeginOperation(state);
    LoadFacts facts;
    EXPECT_TRUE(LoadDataFile(state, path, nullptr, &facts));
    EndOperation(state);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].kind, BoxKind::Warning);
    EXPECT_EQ(panel.boxes[0].text,
              "3 bytes lay beyond the device's end and were folded onto lower addresses.");
    EXPECT_EQ(panel.LastSucceeded(), false);
    EXPECT_EQ(facts.firstBeyondAddress, 0x3000);
    EXPECT_EQ(state.Buffer[0x1000], 0xAA);
    EXPECT_EQ(state.Buffer[0x0010], 0x55);

    panel.boxes.clear();
    state.FileType = BinaryFileType;
    state.Window.BufferStart = 0x100;
    const std::string bin = dir.File("long.bin");
    test::WriteFile(bin, std::string(0x2000 + 5, '\x42'));
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, bin, nullptr, &facts));
    EndOperation(state);
    ASSERT_EQ(panel.boxes.size(), 1u);
    EXPECT_EQ(panel.boxes[0].text, "5 bytes lay beyond the device's end.");
    EXPECT_EQ(panel.LastSucceeded(), false);
    EXPECT_EQ(facts.firstBeyondAddress, 0x2000);

    // Bytes past the buffer are dropped, not beyond: the same count as hex.
    panel.boxes.clear();
    state.Window.BufferStart = 0;
    test::WriteFile(bin, std::string(70000, '\x42'));
    EXPECT_TRUE(LoadDataFile(state, bin, nullptr, &facts));
    EXPECT_EQ(facts.beyondBytes, 57344);
    EXPECT_EQ(facts.droppedBytes, 70000 - 65536);

    // A file that fits raises nothing.
    panel.boxes.clear();
    test::WriteFile(bin, std::string(0x2000, '\x42'));
    BeginOperation(state);
    EXPECT_TRUE(LoadDataFile(state, bin));
    EndOperation(state);
    EXPECT_TRUE(panel.boxes.empty());
    EXPECT_EQ(panel.LastSucceeded(), true);
}

} // namespace
} // namespace velmar

// Start-up never waits on a FIFO, reads a command-line file once, and does
// not take a corrupt settings file for a device.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "UiFixture.h"
#include "buffer/HexText.h"

namespace velmar::test {
namespace {

class StartupFifoTest : public UiFixture {
  protected:
    void Start() {
        startup->FormCreate();
        ShowActive();
        startup->FormActivate();
    }
#ifndef _WIN32
    std::string Fifo(const std::string& name) {
        const std::string path = Path(name);
        EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        return path;
    }
#endif
    std::string Device() const { return form->Device->text().toStdString(); }
    std::string Memo2() const { return form->Memo2->toPlainText().toStdString(); }
};

TEST_F(StartupFifoTest, ACorruptSettingsFileStartsWithNoDevice) {
    for (const std::string& text :
         {std::string("\x01\xFE\x00\x7F\r\n1\r\n", 7), std::string("99\r\n0\r\n1\r\n1\r\n")}) {
        TearDown();
        SetUp();
        WriteFile(Path("Win_Velmar.Cfg"), text);
        Start();
        EXPECT_EQ(Device(), "No Device");
        EXPECT_TRUE(form->Device_Box->isVisible());
        EXPECT_NE(Memo2().find("the settings were not read and the defaults apply."),
                  std::string::npos)
            << Memo2();
    }
}

#ifdef _WIN32
constexpr const char* kNoFifos = "Windows has no FIFO in the file system";
TEST_F(StartupFifoTest, NoFifoFreezesTheWindow) {
    GTEST_SKIP() << kNoFifos;
}
TEST_F(StartupFifoTest, ACommandLineFifoIsReadOnceAndWhole) {
    GTEST_SKIP() << kNoFifos;
}
TEST_F(StartupFifoTest, TheLastFileReloadNeverWaitsForAWriter) {
    GTEST_SKIP() << kNoFifos;
}
#else
// Intel hex of `records` 16-byte records from address 0, byte i = i & 0xFF:
// more text than the 4 KiB the type is told from.
std::string LongIntelHex(int records) {
    std::string text;
    for (int r = 0; r < records; ++r) {
        const int address = r * 16;
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        std::string line = ":10" + HexText(address, 4) + "00";
        for (int i = 0; i < 16; ++i) {
            const int value = (address + i) & 0xFF;
            line += HexText(value, 2);
            sum += static_cast<unsigned>(value);
        }
        text += line + HexText(static_cast<int>((0x100 - (sum & 0xFF)) & 0xFF), 2) + "\n";
    }
    return text + ":00000001FF\n";
}

TEST_F(StartupFifoTest, NoFifoFreezesTheWindow) {
    // A settings file that is a FIFO with no writer: defaults, and why.
    Fifo("Win_Velmar.Cfg");
    // The command-line file a FIFO with no writer either: a box, and on.
    const std::string silent = Fifo("silent");
    startup->CommandLineFile = silent;
    Start();
    EXPECT_EQ(Device(), "No Device");
    EXPECT_NE(Memo2().find(Path("Win_Velmar.Cfg") + " is not a regular file; the settings were "
                                                    "not read and the defaults apply."),
              std::string::npos)
        << Memo2();
    const std::vector<std::string> boxes = MessageTexts();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.front(), "Could not read \"" + silent +
                                 "\": it is not a regular file, and nothing could be read "
                                 "from it");
    form->close(); // nothing is written into the FIFO, whose open would wait
}

TEST_F(StartupFifoTest, ACommandLineFifoIsReadOnceAndWhole) {
    // A writer that sent its file and stays: every byte, the first 4 KiB too.
    const std::string pipe = Fifo("pipe");
    const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const std::string text = LongIntelHex(160);
    ASSERT_EQ(::write(writer, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    WriteFile(Path("Win_Velmar.Cfg"), "20\r\n0\r\n1\r\n1\r\n0\r\n0\r\n8191\r\n0\r\n\r\n");
    startup->CommandLineFile = pipe;
    Start();
    ::close(writer);
    EXPECT_EQ(state->FileType, 1);
    for (int a : {0, 0x10, 0x9FF})
        EXPECT_EQ(state->Buffer[a], a & 0xFF) << a;
}

TEST_F(StartupFifoTest, TheLastFileReloadNeverWaitsForAWriter) {
    const std::string last = Fifo("last.bin");
    WriteFile(Path("Win_Velmar.Cfg"),
              "20\r\n0\r\n1\r\n1\r\n0\r\n0\r\n8191\r\n0\r\n" + last + "\r\n");
    Start();
    EXPECT_EQ(Device(), "89C52");
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_NE(MessageTexts().front().find("nothing could be read"), std::string::npos);
}

#endif

} // namespace
} // namespace velmar::test

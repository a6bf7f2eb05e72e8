#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "CommandLine.h"
#include "UiFixture.h"
#include "devices/FileCommands.h"
#include "devices/Tasks.h"
#include "tests/support/ProcessRunner.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::test {
namespace {

constexpr const char* kIntelHex = ":0400000001020304F2\r\n:00000001FF\r\n";

class StartupTest : public UiFixture {
  protected:
    void Start() {
        startup->FormCreate();
        ShowActive();
        startup->FormActivate();
    }
    void Close() {
        form->close();
        EXPECT_FALSE(form->isVisible());
    }
    std::string Settings() const { return ReadFile(Path("Win_Velmar.Cfg")); }
    std::string Text(QWidget* w) const {
        if (auto* b = qobject_cast<QPushButton*>(w)) return b->text().toStdString();
        return static_cast<QLabel*>(w)->text().toStdString();
    }
};

TEST_F(StartupTest, FirstRunStartsFromDefaultsAndLeavesNineLines) {
    Start();
    EXPECT_TRUE(form->Device_Box->isVisible());
    EXPECT_EQ(Text(form->Device), "No Device");
    EXPECT_EQ(state->FileType, 0);
    EXPECT_EQ(state->Selection.VppSetting(), 1);
    EXPECT_TRUE(state->AutoVerify);
    EXPECT_EQ(state->Selection.ReadBlockSize(), 2048);
    EXPECT_EQ(state->Window.BufferStart, 0);
    EXPECT_EQ(state->Window.DeviceEnd, 0);
    EXPECT_EQ(state->Window.HexOffset, 0);
    EXPECT_EQ(Text(form->StaticText4), "Last File Loaded in Buffer=No File Loaded");
    EXPECT_EQ(startup->StartupDirectory, std::filesystem::current_path().string());
    // The search reported the missing programmer; the banner is green anyway.
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"The Brindle Programmer Could Not Be Found...."});
    EXPECT_FALSE(state->FailFlag);
    EXPECT_TRUE(form->Edit->isEnabled());
    EXPECT_FALSE(form->Programm->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(Path("Win_Velmar.Cfg")));

    // A second activation does not run the sequence again.
    startup->FormActivate();
    EXPECT_EQ(MessageTexts().size(), 1u);

    Close();
    EXPECT_EQ(Settings(), "0\r\n0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n0\r\n\r\n");
    EXPECT_EQ(state->Transfer.StopFlag, velmar::TransferStop::Stopped);
}

TEST_F(StartupTest, EightLinesRestoreEverythingAndReloadNothing) {
    WriteFile(Path("Win_Velmar.Cfg"), "8\r\n1\r\n2\r\n0\r\n16\r\n0\r\n2047\r\n256\r\n");
    Start();
    EXPECT_EQ(state->Selection.SelectedRow, 8);
    EXPECT_EQ(Text(form->Device), "8751H");
    EXPECT_FALSE(form->Device_Box->isVisible());
    EXPECT_EQ(state->FileType, 1);
    EXPECT_EQ(Text(form->File_But), "Intel Hex File");
    EXPECT_EQ(state->Selection.VppSetting(), 2);
    EXPECT_FALSE(state->AutoVerify);
    EXPECT_EQ(Text(form->Auto_Verify), "Auto Verify Off");
    EXPECT_EQ(state->Window.BufferStart, 16);
    EXPECT_EQ(state->Window.DeviceEnd, 2047);
    EXPECT_EQ(state->Window.HexOffset, 256);
    EXPECT_EQ(state->Window.DeviceLimit, 0x0FFF);
    EXPECT_EQ(Text(form->End_Add), "Device End=07FF");
    EXPECT_EQ(Text(form->StaticText4), "Last File Loaded in Buffer=No File Loaded");
    EXPECT_EQ(form->OpenDialog1.FileName, "");
    Close();
    EXPECT_EQ(Settings(), "8\r\n1\r\n2\r\n0\r\n16\r\n0\r\n2047\r\n256\r\n\r\n");
}

TEST_F(StartupTest, EmptyLineNineAndExtraLinesAreIgnored) {
    std::string text = "1\r\n0\r\n1\r\n1\r\n0\r\n0\r\n1023\r\n0\r\n\r\n";
    for (int i = 10; i <= 25; ++i)
        text += "junk " + std::to_string(i) + "\r\n";
    WriteFile(Path("Win_Velmar.Cfg"), text);
    Start();
    EXPECT_EQ(Text(form->Device), "8741A");
    EXPECT_EQ(Text(form->StaticText4), "Last File Loaded in Buffer=No File Loaded");
    Close();
    EXPECT_EQ(Settings(), "1\r\n0\r\n1\r\n1\r\n0\r\n0\r\n1023\r\n0\r\n\r\n");
}

TEST_F(StartupTest, LinesThatAreNoNumbersCountAsOneAndAddressesAreBounded) {
    WriteFile(Path("Win_Velmar.Cfg"), "abc\n0\n$2\n1\n-4096\n0\n99999999\n2000000\n\n");
    Start();
    EXPECT_EQ(state->Selection.SelectedRow, 1);
    EXPECT_EQ(Text(form->Device), "8741A");
    EXPECT_EQ(state->Selection.VppSetting(), 1);
    EXPECT_EQ(state->Window.BufferStart, 0);
    EXPECT_EQ(state->Window.DeviceEnd, 0x3FF); // bounded by the device
    EXPECT_EQ(state->Window.HexOffset, 0xFFFFF);
}

TEST_F(StartupTest, TheFileTypeDecidesHowTheLastFileIsReloaded) {
    // A hex file named in line 9 with file type 0 is read as binary.
    WriteFile(Path("image.hex"), kIntelHex);
    WriteFile(Path("Win_Velmar.Cfg"),
              "9\r\n0\r\n7\r\n1\r\n0\r\n0\r\n4095\r\n0\r\n" + Path("image.hex") + "\r\n");
    Start();
    EXPECT_EQ(state->Buffer[0], ':');
    EXPECT_EQ(state->Buffer[1], '0');
    EXPECT_EQ(form->OpenDialog1.FileName, Path("image.hex"));
    EXPECT_EQ(Text(form->StaticText4), "Last File Loaded in Buffer=" + Path("image.hex"));
}

TEST_F(StartupTest, HexTypeReadsHexWhateverTheExtension) {
    WriteFile(Path("image.bin"), kIntelHex);
    WriteFile(Path("Win_Velmar.Cfg"),
              "9\r\n1\r\n7\r\n1\r\n0\r\n0\r\n4095\r\n0\r\n" + Path("image.bin") + "\r\n");
    Start();
    EXPECT_EQ(state->Buffer[0], 0x01);
    EXPECT_EQ(state->Buffer[3], 0x04);
    EXPECT_EQ(state->Buffer[4], 0x00);
    Close();
    EXPECT_NE(Settings().find(Path("image.bin") + "\r\n"), std::string::npos);
}

TEST_F(StartupTest, AMissingLastFileStillNamesItAndStartUpGoesOn) {
    WriteFile(Path("Win_Velmar.Cfg"),
              "9\r\n0\r\n7\r\n1\r\n0\r\n0\r\n4095\r\n0\r\n" + Path("gone.bin") + "\r\n");
    Start();
    EXPECT_EQ(Text(form->StaticText4), "Last File Loaded in Buffer=" + Path("gone.bin"));
    // The programmer search still ran after the loader's report.
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "The Brindle Programmer Could Not Be Found....");
    EXPECT_FALSE(state->FailFlag);
}

TEST_F(StartupTest, SettingsStayInTheStartUpDirectory) {
    Start();
    const std::string home = startup->StartupDirectory;
    QTemporaryDir other;
    QDir::setCurrent(other.path()); // as a file dialog does
    Close();
    EXPECT_TRUE(std::filesystem::exists(home + "/Win_Velmar.Cfg"));
    EXPECT_FALSE(std::filesystem::exists(other.path().toStdString() + "/Win_Velmar.Cfg"));
}

TEST_F(StartupTest, CreationSetsTheWorkingDefaults) {
    state->Window.HexOffset = 77;
    state->Selection.Row = &velmar::DeviceCatalogue()[1]; // 1024-byte blocks
    state->Link.PacketLength = 264;
    form->Memo1->setPlainText("old");
    startup->FormCreate();
    EXPECT_EQ(state->Window.HexOffset, 0);
    EXPECT_EQ(state->Selection.ReadBlockSize(), 2048);
    EXPECT_EQ(state->Link.PacketLength, 8);
    EXPECT_EQ(form->Memo1->toPlainText(), "");
    EXPECT_EQ(Text(form->Device), "No Device");
}

TEST_F(StartupTest, ClosingBeforeStartUpKeepsTheOldSettings) {
    WriteFile(Path("Win_Velmar.Cfg"), "8\r\n1\r\n2\r\n0\r\n16\r\n0\r\n2047\r\n256\r\n\r\n");
    startup->FormCreate();
    ShowActive();
    Close();
    EXPECT_EQ(Settings(), "8\r\n1\r\n2\r\n0\r\n16\r\n0\r\n2047\r\n256\r\n\r\n");
}

// The programmer with its timing model: a reply is there only after the
// bridge's latency timer, never at the first look of a wait.
class TimedProgrammerStartTest : public StartupTest {
  protected:
    const D2XXBackend& Backend() override { return VirtualBackend(); }
};

// A fresh install (no settings, so no device) started with a file loads it
// where its records say, not folded onto 0000 and with no word of a device's
// end; once a device limits the range, a load folds into it.
TEST_F(StartupTest, AFileOnAFreshStartIsNotFolded) {
    WriteFile(Path("image.hex"),
              ":0100000011EE\r\n:011234002297\r\n:01FFFF00AA57\r\n:00000001FF\r\n");
    startup->CommandLineFile = Path("image.hex");
    Start();
    EXPECT_EQ(Text(form->Device), "No Device");
    EXPECT_EQ(state->Buffer[0x0000], 0x11);
    EXPECT_EQ(state->Buffer[0x1234], 0x22);
    EXPECT_EQ(state->Buffer[0xFFFF], 0xAA);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"The Brindle Programmer Could Not Be Found...."});

    tasks::SelectDevice(*state, 20); // 89C52: 8 KiB
    requests.clear();
    state->Buffer.Fill(0);
    ASSERT_TRUE(LoadDataFile(*state, Path("image.hex")));
    EXPECT_EQ(state->Buffer[0x1234], 0x22);
    EXPECT_EQ(state->Buffer[0x1FFF], 0xAA);
    EXPECT_EQ(state->Buffer[0xFFFF], 0x00);
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("folded onto lower addresses"), std::string::npos);
}

// The window's command line takes a name as its bytes: one that is not UTF-8
// (a Latin-1 é) names its own file, not one with a replacement character.
TEST_F(StartupTest, ACommandLineNameThatIsNotUtf8OpensItsFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows gives the command line as UTF-16";
#else
    const std::string name = Path("caf\xE9.hex");
    WriteFile(name, kIntelHex);
    char program[] = "velmar";
    std::string word = name;
    char* argv[] = {program, word.data(), nullptr};
    const ui::WindowArguments parsed = ui::ParseWindowArguments(ui::WindowArgumentWords(2, argv));
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.file, name);
    startup->CommandLineFile = parsed.file;
    Start();
    EXPECT_EQ(state->Buffer[3], 0x04);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"The Brindle Programmer Could Not Be Found...."});

    // The program itself, past Qt's own reading of its arguments: a second
    // name is refused in the very bytes it was given.
    ProcessOptions o;
    o.errPath = Path("err.txt");
    o.env = {"QT_QPA_PLATFORM=offscreen"};
    EXPECT_EQ(RunProcess(VELMAR_WINDOW, {"-platform", "offscreen", "a.hex", "b\xE9.hex"}, o), 2);
    EXPECT_NE(ReadFile(o.errPath).find("velmar: only one file can be loaded, not also b\xE9.hex\n"),
              std::string::npos)
        << ReadFile(o.errPath);
    // Qt's own removal of the folder cannot name the file.
    std::filesystem::remove(name);
#endif
}

// A hex load ends at its end record with the stop counter up; the search
// that follows still waits for the programmer's answer, start after start,
// whether the file is the last one of the settings or named on the command line.
TEST_F(TimedProgrammerStartTest, AHexFileLoadedFirstNeverHidesTheProgrammer) {
    WriteFile(Path("image.hex"), kIntelHex);
    for (int start = 0; start < 24; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        const bool fromCommandLine = start % 2 == 1;
        WriteFile(Path("Win_Velmar.Cfg"), "9\r\n1\r\n7\r\n1\r\n0\r\n0\r\n4095\r\n0\r\n" +
                                              (fromCommandLine ? "" : Path("image.hex")) + "\r\n");
        VirtualOptions options;
        options.Timing = true;
        VirtualProgrammer::Instance().Reset(options);
        requests.clear();
        form->hide();
        form.reset();
        state = std::make_unique<ProgramState>(Backend());
        form = std::make_unique<TMainForm>(*state);
        startup = new ui::Startup(form->StartupParts(), *state);
        if (fromCommandLine) startup->CommandLineFile = Path("image.hex");
        Start();
        EXPECT_EQ(state->Buffer[3], 0x04);
        EXPECT_EQ(state->Link.LinkState, velmar::LinkState::Answered);
        EXPECT_EQ(form->StaticText3->text(),
                  QStringLiteral("Usb Programmer Found - FirmWare Version 1.23"));
        for (const std::string& text : MessageTexts())
            EXPECT_EQ(text.find("Could Not Be Found"), std::string::npos) << text;
        ASSERT_FALSE(HasFailure());
        Close();
    }
}

} // namespace
} // namespace velmar::test

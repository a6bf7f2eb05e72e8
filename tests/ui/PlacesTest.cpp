// Where an installed window keeps its settings and finds its help, and the
// data file named on its command line.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <map>

#include "CommandLine.h"
#include "FileDrop.h"
#include "Places.h"
#include "UiFixture.h"

namespace velmar::test {
namespace {

constexpr const char* kIntelHex = ":0400000001020304F2\r\n:00000001FF\r\n";

ui::EnvLookup Env(std::map<std::string, std::string> values) {
    return [values](const char* name) -> std::optional<std::string> {
        const auto it = values.find(name);
        if (it == values.end()) return std::nullopt;
        return it->second;
    };
}

#ifndef _WIN32
TEST(PlacesRule, UserConfigDirFollowsXdg) {
    EXPECT_EQ(ui::UserConfigDir(Env({{"XDG_CONFIG_HOME", "/cfg"}, {"HOME", "/home/u"}})),
              "/cfg/velmar");
    // A relative XDG_CONFIG_HOME is not valid: the default under HOME applies.
    EXPECT_EQ(ui::UserConfigDir(Env({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/u"}})),
              "/home/u/.config/velmar");
    EXPECT_EQ(ui::UserConfigDir(Env({{"HOME", "/home/u"}})), "/home/u/.config/velmar");
    EXPECT_EQ(ui::UserConfigDir(Env({})), "");
}
#else
TEST(PlacesRule, UserConfigDirIsAppData) {
    EXPECT_EQ(ui::UserConfigDir(Env({{"APPDATA", "C:\\Users\\u\\AppData\\Roaming"}})),
              "C:\\Users\\u\\AppData\\Roaming\\velmar");
    EXPECT_EQ(ui::UserConfigDir(Env({})), "");
}
#endif

TEST(PlacesRule, InstalledWhenFolderIsReadOnlyOrThePrefix) {
    QTemporaryDir bin, other;
    const std::string binDir = bin.path().toStdString();
    EXPECT_FALSE(ui::RunsInstalled(other.path().toStdString(), true, binDir)); // a build tree
    EXPECT_TRUE(ui::RunsInstalled(other.path().toStdString(), false, binDir));
    EXPECT_TRUE(ui::RunsInstalled(binDir, true, binDir)); // root in the prefix
    EXPECT_TRUE(ui::RunsInstalled(binDir + "/.", true, binDir));
    EXPECT_FALSE(ui::RunsInstalled(other.path().toStdString(), true, binDir + "/missing"));
    EXPECT_FALSE(ui::RunsInstalled("", false, binDir));
}

TEST(PlacesRule, SettingsFileAndHelpText) {
    QTemporaryDir start, config;
    const std::string startDir = start.path().toStdString();
    const std::string local = SettingsPath(startDir);
    ui::Places places;
    places.userConfigDir = config.path().toStdString() + "/velmar";
    places.dataDir = "/data/velmar";

    // Not installed: the start-up directory and the bare help name, always
    // (on Windows the program's folder is looked at too: PlacesWindowsTest).
    EXPECT_EQ(ui::SettingsFileFor(startDir, places), local);
#ifndef _WIN32
    EXPECT_EQ(ui::HelpFileFor(places), std::string(ui::kHelpFileName));
#endif

    places.installed = true;
    EXPECT_EQ(ui::SettingsFileFor(startDir, places), SettingsPath(places.userConfigDir));
    WriteFile(local, "1\r\n");
    EXPECT_EQ(ui::SettingsFileFor(startDir, places), local);
    std::filesystem::remove(local);
    places.userConfigDir.clear();
    EXPECT_EQ(ui::SettingsFileFor(startDir, places), local);
}

class InstalledStartTest : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        ASSERT_TRUE(config_.isValid());
        installed.installed = true;
        installed.userConfigDir = config_.path().toStdString() + "/velmar";
        installed.dataDir = config_.path().toStdString() + "/share/velmar";
    }
    void Start() {
        startup->FormCreate();
        ShowActive();
        startup->FormActivate();
    }
    std::string Caption(QWidget* w) const {
        if (auto* b = qobject_cast<QPushButton*>(w)) return b->text().toStdString();
        return static_cast<QLabel*>(w)->text().toStdString();
    }
    std::string ConfigFile() const { return SettingsPath(installed.userConfigDir); }

    ui::Places installed;

  private:
    QTemporaryDir config_;
};

TEST_F(InstalledStartTest, AFirstRunMakesTheUserConfigFolder) {
    startup->places = installed;
    Start();
    EXPECT_EQ(startup->SettingsFile, ConfigFile());
    EXPECT_FALSE(std::filesystem::exists(installed.userConfigDir));
    form->close();
    EXPECT_EQ(ReadFile(ConfigFile()), "0\r\n0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n0\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists(Path("Win_Velmar.Cfg")));
}

TEST_F(InstalledStartTest, SettingsAreRestoredFromTheUserConfigFolder) {
    std::filesystem::create_directories(installed.userConfigDir);
    WriteFile(ConfigFile(), "8\r\n1\r\n2\r\n0\r\n16\r\n0\r\n2047\r\n256\r\n\r\n");
    startup->places = installed;
    Start();
    EXPECT_EQ(Caption(form->Device), "8751H");
    EXPECT_EQ(state->Window.HexOffset, 256);
    state->Window.HexOffset = 255;
    form->close();
    EXPECT_EQ(ReadFile(ConfigFile()), "8\r\n1\r\n2\r\n0\r\n16\r\n0\r\n2047\r\n255\r\n\r\n");
    EXPECT_FALSE(std::filesystem::exists(Path("Win_Velmar.Cfg")));
}

TEST_F(InstalledStartTest, AStartUpDirectoryWithItsOwnSettingsKeepsThem) {
    WriteFile(Path("Win_Velmar.Cfg"), "20\r\n0\r\n1\r\n1\r\n0\r\n0\r\n8191\r\n0\r\n\r\n");
    startup->places = installed;
    Start();
    EXPECT_EQ(Caption(form->Device), "89C52");
    form->close();
    EXPECT_FALSE(std::filesystem::exists(ConfigFile()));
    EXPECT_EQ(ReadFile(Path("Win_Velmar.Cfg")), "20\r\n0\r\n1\r\n1\r\n0\r\n0\r\n8191\r\n0\r\n\r\n");
}

TEST_F(InstalledStartTest, HelpComesFromTheDataFolderUnlessTheCurrentOneHasIt) {
    ShowActive();
    std::filesystem::create_directories(installed.dataDir);
    WriteFile(installed.dataDir + "/Win_Velmar.Txt", "installed\r\nhelp\r\n");
    // Not installed: the data folder is not looked at.
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_FALSE(form->Help1->isVisible());

    help->places = installed;
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_TRUE(form->Help1->isVisible());
    EXPECT_EQ(form->Help1->toPlainText().toStdString(), "installed\nhelp");

    WriteFile(Path("Win_Velmar.Txt"), "local");
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_EQ(form->Help1->toPlainText().toStdString(), "local");
}

TEST_F(InstalledStartTest, ACommandLineFileIsLoadedAndBecomesTheLastFile) {
    WriteFile(Path("old.bin"), "OLDFILE");
    WriteFile(Path("Win_Velmar.Cfg"),
              "20\r\n0\r\n1\r\n1\r\n0\r\n0\r\n8191\r\n0\r\n" + Path("old.bin") + "\r\n");
    std::filesystem::create_directories(Path("data"));
    WriteFile(Path("data/image.txt"), kIntelHex); // Intel hex by its text
    startup->CommandLineFile = "data/image.txt";  // relative to the start-up directory
    Start();
    EXPECT_EQ(Caption(form->Device), "89C52");
    EXPECT_EQ(state->FileType, 1);
    EXPECT_EQ(Caption(form->File_But), "Intel Hex File");
    EXPECT_EQ(state->Buffer[0], 0x01);
    EXPECT_EQ(state->Buffer[3], 0x04);
    EXPECT_NE(state->Buffer[5], 'I'); // the old last file was not loaded
    const std::string full = Path("data/image.txt");
    EXPECT_EQ(form->OpenDialog1.FileName, full);
    EXPECT_EQ(Caption(form->StaticText4), "Last File Loaded in Buffer=" + full);
    QDir::setCurrent(QDir::tempPath()); // a dialog moves the current directory
    form->close();
    EXPECT_EQ(ReadFile(Path("Win_Velmar.Cfg")),
              "20\r\n1\r\n1\r\n1\r\n0\r\n0\r\n8191\r\n0\r\n" + full + "\r\n");
}

TEST_F(InstalledStartTest, AnUnreadableCommandLineFileIsReportedAndStartUpGoesOn) {
    startup->CommandLineFile = Path("gone.hex");
    Start();
    EXPECT_EQ(state->FileType, 1);
    EXPECT_EQ(Caption(form->StaticText4), "Last File Loaded in Buffer=No File Loaded");
    ASSERT_GE(MessageTexts().size(), 2u);
    EXPECT_EQ(MessageTexts().back(), "The Brindle Programmer Could Not Be Found....");
    form->close();
    EXPECT_NE(ReadFile(Path("Win_Velmar.Cfg")).find(Path("gone.hex")), std::string::npos);
}

// The command line's file is judged as a dropped one: text is not binary.
TEST_F(InstalledStartTest, TextOnTheCommandLineIsNotLoadedAsBinary) {
    WriteFile(Path("notes.txt"), "Erase the part first.\n");
    startup->CommandLineFile = Path("notes.txt");
    Start();
    const std::vector<std::string> texts = MessageTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), Path("notes.txt") +
                                 " looks like text, not a binary image or a hex format; choose "
                                 "Binary File and Load Buffer to load it as bytes.");
    EXPECT_EQ(Caption(form->StaticText4), "Last File Loaded in Buffer=No File Loaded");
    EXPECT_EQ(state->Buffer[0], 0);
}

TEST_F(InstalledStartTest, FileTypeFromExtensionThenText) {
    const auto type = [this](const std::string& name, const std::string& bytes) {
        WriteFile(Path(name), bytes);
        return ui::DataFileTypeOf(Path(name));
    };
    EXPECT_EQ(type("a.bin", kIntelHex), 0); // the name decides
    EXPECT_EQ(type("a.dat", kIntelHex), 1);
    EXPECT_EQ(type("b", "\r\nS00600004844521B\r\nS1050010AABB85\r\nS9030000FC\r\n"), 2);
    EXPECT_EQ(type("c.hex", "0102030405\r\nAABB\r\n"), 3);
    EXPECT_EQ(type("d.bin", "0102030405\r\n"), 0);               // hex digits, but a binary by name
    EXPECT_EQ(type("e.hex", std::string("\x00\x01\xff", 3)), 1); // not text: refused
    EXPECT_EQ(type("e2.hex", ""), 1);
    EXPECT_EQ(type("f.S19", std::string("\x00\x01", 2)), 2);
    EXPECT_EQ(type("g.dat", std::string("\x02\x00:", 3)), 0);
    EXPECT_EQ(type("h.dat", ""), 0);
    EXPECT_EQ(ui::DataFileTypeOf(Path("missing.ihx")), 1);
}

TEST(WindowArguments, OneFileHelpAndVersion) {
    auto a = ui::ParseWindowArguments({"image.hex"});
    EXPECT_EQ(a.file, "image.hex");
    EXPECT_TRUE(a.error.empty());
    EXPECT_TRUE(ui::ParseWindowArguments({"--help"}).help);
    EXPECT_TRUE(ui::ParseWindowArguments({"x", "--version"}).version);
    EXPECT_FALSE(ui::ParseWindowArguments({"a", "b"}).error.empty());
    EXPECT_FALSE(ui::ParseWindowArguments({"--bogus"}).error.empty());
    a = ui::ParseWindowArguments({"--", "-odd name"});
    EXPECT_EQ(a.file, "-odd name");
    EXPECT_TRUE(a.error.empty());
    EXPECT_NE(ui::WindowUsageText().find("velmar [FILE]"), std::string::npos);
}

} // namespace
} // namespace velmar::test

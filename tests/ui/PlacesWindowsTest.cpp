// Where the window keeps its files on Windows: one folder holds the programs
// and the help text, and the setup's uninstaller beside them marks a copy
// as installed.
#include <QCoreApplication>

#include "Places.h"
#include "UiFixture.h"

namespace velmar::test {
namespace {

TEST(PlacesWindows, TheSetupsUninstallerMarksAnInstalledCopy) {
    QTemporaryDir folder;
    const std::string dir = folder.path().toStdString();
    EXPECT_FALSE(ui::InstalledBySetup(dir)); // unpacked from the zip
    std::filesystem::create_directory(dir + "/" + ui::kUninstallerName);
    EXPECT_FALSE(ui::InstalledBySetup(dir)); // a folder of that name is not one
    std::filesystem::remove(dir + "/" + ui::kUninstallerName);
    WriteFile(dir + "/" + ui::kUninstallerName, "MZ");
    EXPECT_TRUE(ui::InstalledBySetup(dir));
    EXPECT_FALSE(ui::InstalledBySetup(""));
}

TEST(PlacesWindows, HelpTextIsReadBesideTheProgram) {
    QTemporaryDir start, program;
    const QString before = QDir::currentPath();
    QDir::setCurrent(start.path());
    ui::Places places;
    places.dataDir = program.path().toStdString();
    const std::string beside = (std::filesystem::path(places.dataDir) / ui::kHelpFileName).string();
    // Installed or not, a start-up folder without the help text leads to the program's.
    EXPECT_EQ(ui::HelpFileFor(places), beside);
    places.installed = true;
    EXPECT_EQ(ui::HelpFileFor(places), beside);
    WriteFile(ui::kHelpFileName, "local");
    EXPECT_EQ(ui::HelpFileFor(places), std::string(ui::kHelpFileName));
    QDir::setCurrent(before);
}

TEST(PlacesWindows, TheProgramFolderIsTheDataFolder) {
    App();
    const ui::Places& places = ui::ProgramPlaces();
    EXPECT_EQ(QDir(QString::fromStdString(places.dataDir)).canonicalPath(),
              QDir(QCoreApplication::applicationDirPath()).canonicalPath());
    EXPECT_FALSE(places.installed); // a build folder has no uninstaller
}

} // namespace
} // namespace velmar::test

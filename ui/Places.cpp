#include "Places.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "SettingsFile.h"

namespace velmar::ui {

namespace {

std::optional<std::string> FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

bool SameFolder(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

} // namespace

std::string UserConfigDir(const EnvLookup& env) {
    namespace fs = std::filesystem;
#ifdef _WIN32
    if (const auto appData = env("APPDATA")) return (fs::path(*appData) / "velmar").string();
    return {};
#else
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    if (const auto config = env("XDG_CONFIG_HOME"); config && fs::path(*config).is_absolute())
        return (fs::path(*config) / "velmar").string();
    if (const auto home = env("HOME")) return (fs::path(*home) / ".config" / "velmar").string();
    return {};
#endif
}

bool RunsInstalled(const std::string& programDir, bool programDirWritable,
                   const std::string& installBinDir) {
    if (programDir.empty()) return false;
    return !programDirWritable || (!installBinDir.empty() && SameFolder(programDir, installBinDir));
}

bool InstalledBySetup(const std::string& programDir) {
#ifdef _WIN32
    std::error_code ec;
    return !programDir.empty() && std::filesystem::is_regular_file(
                                      std::filesystem::path(programDir) / kUninstallerName, ec);
#else
    (void)programDir;
    return false;
#endif
}

const Places& ProgramPlaces() {
    static const Places places = [] {
        Places p;
        const QString dir = QCoreApplication::applicationDirPath();
        const std::string programDir = dir.toStdString();
        p.installed =
            RunsInstalled(programDir, QFileInfo(dir).isWritable(), VELMAR_INSTALL_BINDIR) ||
            InstalledBySetup(programDir);
        p.userConfigDir = UserConfigDir(FromEnvironment);
        // Relative to the program, so that an unpacked tree finds its own files.
        p.dataDir =
            (std::filesystem::path(programDir) / VELMAR_BIN_TO_DATADIR).lexically_normal().string();
        return p;
    }();
    return places;
}

std::string SettingsFileFor(const std::string& startupDir, const Places& places) {
    const std::string local = SettingsPath(startupDir);
    if (!places.installed || places.userConfigDir.empty()) return local;
    std::error_code ec;
    if (std::filesystem::exists(local, ec)) return local;
    return SettingsPath(places.userConfigDir);
}

std::string HelpFileFor(const Places& places) {
#ifdef _WIN32
    constexpr bool helpBesideProgram = true;
#else
    constexpr bool helpBesideProgram = false;
#endif
    if (!(places.installed || helpBesideProgram) || places.dataDir.empty()) return kHelpFileName;
    if (std::ifstream(kHelpFileName, std::ios::binary)) return kHelpFileName;
    return (std::filesystem::path(places.dataDir) / kHelpFileName).string();
}

} // namespace velmar::ui

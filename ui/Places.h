#pragma once
// Where the window finds its settings file and help text. Run from a build or
// a folder of its own it keeps both in the start-up directory; an installed
// copy (its folder not writable, or the install prefix's bin folder) keeps
// the settings in the user's configuration folder and reads the help text
// from the installed data folder, unless the start-up directory has them.

#include <functional>
#include <optional>
#include <string>

namespace velmar::ui {

// The help text's file name, wherever it is kept.
inline constexpr const char* kHelpFileName = "Win_Velmar.Txt";

struct Places {
    bool installed = false;
    std::string userConfigDir; // <XDG config home or %APPDATA%>/velmar; empty: none known
    std::string dataDir;       // the installed data folder (help text)
};

using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

// The folder of the user's settings: $XDG_CONFIG_HOME/velmar ($HOME/.config
// when unset or not absolute), %APPDATA%\velmar on Windows. Empty when the
// environment names none.
std::string UserConfigDir(const EnvLookup& env);

// True when a program in `programDir` runs installed: the folder cannot be
// written, or it is the install prefix's bin folder.
bool RunsInstalled(const std::string& programDir, bool programDirWritable,
                   const std::string& installBinDir);

// The uninstaller that the Windows setup leaves beside the programs: a
// per-user install lives in a folder its user may write, so this file is
// what tells an installed copy from an unpacked one there.
inline constexpr const char* kUninstallerName = "uninstall.exe";

// True on Windows when `programDir` holds the setup's uninstaller.
bool InstalledBySetup(const std::string& programDir);

// The places of this process, worked out once from its executable and
// environment.
const Places& ProgramPlaces();

// The settings file for a start in `startupDir`: the start-up directory's own
// file when the program is not installed or that file exists, the user's
// configuration folder otherwise.
std::string SettingsFileFor(const std::string& startupDir, const Places& places);

// The help text to read: the bare name (current directory) when it can be
// opened there or the program is not installed, the data folder's copy
// otherwise. On Windows the data folder is the program's own and is used
// whenever the current directory has no copy.
std::string HelpFileFor(const Places& places);

} // namespace velmar::ui

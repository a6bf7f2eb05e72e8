#pragma once
// The window's life: defaults at creation, the start-up sequence on the first
// activation (settings, device, last file, programmer search) and the close
// that idles the programmer and writes the settings back.

#include <QObject>

#include <string>

#include "Places.h"
#include "SettingsFile.h"
#include "buffer/DataFormats.h"

class TMainForm;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

class Startup : public QObject {
    Q_OBJECT

  public:
    // Takes the window's CloseQuery hook.
    Startup(TMainForm& form, ProgramState& state);

    // The current directory when the start-up sequence ran; the settings
    // file stays there whatever directory the dialogs move to later.
    std::string StartupDirectory;
    // The settings file read at start-up and written at close (Places.h).
    std::string SettingsFile;
    // Where an installed copy keeps its files; this process's by default.
    Places places;
    // A data file named on the command line: loaded at start-up in place of
    // the last file of the settings, whose last file it then becomes.
    std::string CommandLineFile;

    void FormCreate();
    // Runs the start-up sequence on its first call only.
    void FormActivate();
    void FormCloseQuery();

    // The values the settings file would receive now.
    StoredSettings CurrentSettings() const;

  private:
    void RestoreSettings(const StoredSettings& settings);
    void LoadCommandLineFile();
    // Loads `name` as Load Buffer does, opened once and never waiting for a
    // FIFO's writer; `typeFromFile`: FileType first taken from its name and
    // first bytes.
    bool LoadStartupFile(const std::string& name, bool typeFromFile);
    void SetFileType(FileType type);

    TMainForm& form_;
    ProgramState& state_;
    bool activated_ = false;
};

// Puts the window together as the program entry does: the editor, value
// entry, help and start-up units, the creation defaults, the window shown
// and the start-up sequence queued for its first activation. `openFile`, when
// not empty, is loaded at start-up (Startup::CommandLineFile).
Startup* LaunchWindow(TMainForm& form, ProgramState& state, const std::string& openFile = {});

} // namespace velmar::ui

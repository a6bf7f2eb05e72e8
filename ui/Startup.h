#pragma once
// The window's life: defaults at creation, the start-up sequence on the first
// activation (settings, device, last file, programmer search) and the close
// that idles the programmer and writes the settings back.

#include <QObject>

#include <functional>
#include <string>

#include "Places.h"
#include "SettingsFile.h"
#include "buffer/DataFormats.h"

class QListWidget;
class QPlainTextEdit;
class QWidget;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

struct FileDialog;

// What the start-up unit works with, given by the window.
struct StartupWidgets {
    QWidget* MainForm = nullptr; // the parent
    QPlainTextEdit* Memo1 = nullptr;
    QListWidget* Device_Box = nullptr;
    // Holds the last file chosen or reloaded.
    FileDialog* OpenDialog1 = nullptr;
    // Shows the file type (FileType) in File_Type.
    std::function<void()> ApplyFileType;
    // Runs one handler as the window counts them.
    std::function<void(const std::function<void()>&)> AsHandler;
    // The window's close hook, which the start-up unit sets.
    std::function<void()>* CloseQuery = nullptr;
};

class Startup : public QObject {
    Q_OBJECT

  public:
    // Takes the window's CloseQuery hook.
    Startup(StartupWidgets widgets, ProgramState& state);

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
    void RunStartupSequence();

    StartupWidgets form_;
    ProgramState& state_;
    bool activated_ = false;
};

} // namespace velmar::ui

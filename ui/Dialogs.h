#pragma once
// Every message box and file dialog of the window goes through here, so that
// tests can answer them (set DialogHook) and so that box positions and
// dialog parameters live in one place.

#include <functional>
#include <optional>
#include <string>

#include "buffer/DataFormats.h"
#include "buffer/FrontPanel.h"

class QWidget;

namespace velmar::ui {

// A top-left position on the screen.
struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// The state of one file dialog component (OpenDialog1, SaveDialog1). It lives
// for the whole run; FileName keeps the last file chosen.
struct FileDialog {
    bool Save = false;
    std::string Title;
    std::string Filter{kDataFileFilter};
    std::string DefaultExt;  // "Bin", ".Bin", "Hex" (a leading dot is ignored)
    int FilterIndex = 1;     // 1-based, as in the filter string
    bool HideReadOnly = true;
    bool PathMustExist = false;
    bool FileMustExist = false;
    bool OverwritePrompt = false;
    bool Resizable = true;
    std::string FileName;    // full path of the last file chosen
};

enum class DialogKind { Message, OpenFile, SaveFile };

struct DialogRequest {
    DialogKind Kind = DialogKind::Message;
    // Message boxes.
    BoxKind Box = BoxKind::Information;
    std::string Text;
    std::optional<ScreenPoint> At; // top-left on screen; none = centred
    // File dialogs: a copy of the dialog's parameters.
    FileDialog File;
};

struct DialogAnswer {
    bool Accepted = false;  // OK / Yes / a file was chosen
    std::string FileName;   // the chosen file (file dialogs)
};

using DialogResponder = std::function<DialogAnswer(const DialogRequest&)>;

// When set, every request goes to it instead of a real dialog.
DialogResponder& DialogHook();

// Shows a modal box. Question boxes return true for Yes; others return true.
bool ShowMessageBox(QWidget* parent, BoxKind kind, const std::string& text,
                    std::optional<ScreenPoint> at = std::nullopt);

// Runs the dialog; on confirmation stores the full path in dialog.FileName
// and returns true.
bool ExecuteFileDialog(QWidget* parent, FileDialog& dialog);

// Extension the dialog appends to a name typed without one ("Bin" for
// ".Bin"); empty when none.
std::string BareExtension(const std::string& defaultExt);

// The Qt name filter list for a "Name|*.ext|..." filter string.
std::string QtNameFilters(const std::string& filter);

} // namespace velmar::ui

#pragma once
// The Help button: shows Win_Velmar.Txt from the current directory in Help1
// (an installed copy falls back on its data folder, Places.h).

#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Places.h"

class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

// The lines of an 8-bit text, line ends (CR LF, LF or CR) removed. The first
// line is read before the end is tested, so an empty text is one empty line.
std::vector<std::string> SplitTextLines(const std::string& text);
// The help file's lines; none when it cannot be opened.
std::optional<std::vector<std::string>> ReadHelpLines(const std::string& path);

// What the Help button works with, given by the window.
struct HelpWidgets {
    QWidget* MainForm = nullptr; // the parent
    QPushButton* Help_1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Help1 = nullptr;
    // The buttons whose value entries the help text covers.
    QPushButton* Start_Buf_Add = nullptr;
    QPushButton* Start_Add = nullptr;
    QPushButton* End_Add = nullptr;
    QPushButton* Offset = nullptr;
    // Runs one handler as the window counts them.
    std::function<void(const std::function<void()>&)> AsHandler;
};

class Help : public QObject {
    Q_OBJECT

  public:
    Help(HelpWidgets widgets, ProgramState& state);

    void Help_1Click();

    // Where an installed copy keeps its help text; this process's by default.
    Places places;

  private:
    HelpWidgets form_;
    ProgramState& state_;
};

} // namespace velmar::ui

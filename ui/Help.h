#pragma once
// The Help button: shows Win_Velmar.Txt from the current directory in Help1
// (an installed copy falls back on its data folder, Places.h).

#include <QObject>

#include <optional>
#include <string>
#include <vector>

#include "Places.h"

class TMainForm;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

// The lines of an 8-bit text, line ends (CR LF, LF or CR) removed. The first
// line is read before the end is tested, so an empty text is one empty line.
std::vector<std::string> SplitTextLines(const std::string& text);
// The help file's lines; none when it cannot be opened.
std::optional<std::vector<std::string>> ReadHelpLines(const std::string& path);

class Help : public QObject {
    Q_OBJECT

  public:
    Help(TMainForm& form, ProgramState& state);

    void Help_1Click();

    // Where an installed copy keeps its help text; this process's by default.
    Places places;

  private:
    TMainForm& form_;
    ProgramState& state_;
};

} // namespace velmar::ui

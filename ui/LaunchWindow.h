#pragma once
// The program entry's one step: the window and the units beside it.

#include <string>

class TMainForm;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

class Startup;

// Puts the window together as the program entry does: the editor, value
// entry, help and start-up units, the creation defaults, the window shown
// and the start-up sequence queued for its first activation. `openFile`, when
// not empty, is loaded at start-up (Startup::CommandLineFile).
Startup* LaunchWindow(TMainForm& form, ProgramState& state, const std::string& openFile = {});

} // namespace velmar::ui

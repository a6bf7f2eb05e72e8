#include "LaunchWindow.h"

#include <QTimer>

#include "BufferEditor.h"
#include "Help.h"
#include "Startup.h"
#include "Usb_Velmar.h"
#include "ValueEntry.h"

namespace velmar::ui {

Startup* LaunchWindow(TMainForm& form, ProgramState& state, const std::string& openFile) {
    // Owned by the window; they connect themselves to the controls they serve.
    auto* startup = new Startup(form.StartupParts(), state);
    startup->CommandLineFile = openFile;
    new BufferEditor(form.EditorParts(), state);
    new ValueEntry(form.EntryParts(), state);
    new Help(form.HelpParts(), state);
    startup->FormCreate();
    form.show();
    // The start-up sequence runs once the window is up and showing.
    QTimer::singleShot(0, startup, [startup] { startup->FormActivate(); });
    return startup;
}

} // namespace velmar::ui

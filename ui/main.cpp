// velmar: the window of the Brindle Programmer. No command line arguments
// are read; the settings come from Win_Velmar.Cfg in the start-up directory.

#include <QApplication>
#include <QTimer>

#include "BufferEditor.h"
#include "Help.h"
#include "Startup.h"
#include "Usb_Velmar.h"
#include "ValueEntry.h"
#include "devices/ProgramState.h"
#include "link/D2XXApi.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velmar::ProgramState state(velmar::HardwareBackend());
    TMainForm form(state);
    // Owned by the window; they connect themselves to the controls they serve.
    auto* startup = new velmar::ui::Startup(form, state);
    new velmar::ui::BufferEditor(form, state);
    new velmar::ui::ValueEntry(form, state);
    new velmar::ui::Help(form, state);

    startup->FormCreate();
    form.show();
    // The start-up sequence runs once the window is up and showing.
    QTimer::singleShot(0, startup, [startup] { startup->FormActivate(); });
    return app.exec();
}

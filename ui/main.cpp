// velmar: the window of the Brindle Programmer. No command line arguments
// are read; the settings come from Win_Velmar.Cfg in the start-up directory.

#include <QApplication>

#include "Startup.h"
#include "Usb_Velmar.h"
#include "devices/ProgramState.h"
#include "link/D2XXApi.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    velmar::ProgramState state(velmar::HardwareBackend());
    TMainForm form(state);
    velmar::ui::LaunchWindow(form, state);
    const int status = app.exec();
    // Give the bridge back (and the serial driver it displaced) at the end.
    state.D2XX.CloseAtExit();
    return status;
}

// velmar: the window of the Brindle Programmer. The settings come from
// Win_Velmar.Cfg (Places.h); a data file named on the command line is loaded
// at start-up.

#include <QApplication>

#include <cstdio>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "LaunchWindow.h"
#include "Usb_Velmar.h"
#include "WindowFonts.h"
#include "devices/ProgramState.h"
#include "link/D2XXApi.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display.
    const auto early =
        velmar::ui::ParseWindowArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (early.help) {
        std::fputs(velmar::ui::WindowUsageText().c_str(), stdout);
        return 0;
    }
    if (early.version) {
        std::printf("velmar %s\n", VELMAR_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    velmar::ui::UseWindowStyle();
    // Qt's own options are gone from argv now.
    const auto parsed =
        velmar::ui::ParseWindowArguments(velmar::ui::WindowArgumentWords(argc, argv));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "velmar: %s\ntry: velmar --help\n", parsed.error.c_str());
        return 2;
    }

    velmar::ProgramState state(velmar::HardwareBackend());
    TMainForm form(state);
    velmar::ui::LaunchWindow(form, state, parsed.file);
    const int status = app.exec();
    // Give the bridge back (and the serial driver it displaced) at the end.
    state.D2XX.CloseAtExit();
    return status;
}

// velmar-screenshot ACTION: starts the window exactly as velmar does, then
// performs one user action and stays up, so that scripts/screenshot can
// capture the screen. Not installed; a documentation aid only.
//
// ACTION: main (nothing), devices, figure874x, figure875x, editor, help,
// fill, large.

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "Startup.h"
#include "Usb_Velmar.h"
#include "devices/ProgramState.h"
#include "link/D2XXApi.h"

namespace {

void ClickRow(QListWidget* list, int row) {
    list->setCurrentRow(row);
    emit list->itemClicked(list->item(row));
}

bool RunAction(TMainForm& form, const char* action) {
    if (std::strcmp(action, "main") == 0) return true;
    if (std::strcmp(action, "devices") == 0) return form.Device->click(), true;
    if (std::strcmp(action, "editor") == 0) return form.Edit->click(), true;
    if (std::strcmp(action, "help") == 0) return form.Help_1->click(), true;
    if (std::strcmp(action, "fill") == 0) return form.Fill->click(), true;
    if (std::strcmp(action, "large") == 0) return form.Scale->click(), true;
    if (std::strcmp(action, "figure874x") == 0 || std::strcmp(action, "figure875x") == 0) {
        form.Device->click();
        // 8748H and 87C51H: their prompts stay open over the figure.
        ClickRow(form.Device_Box, std::strcmp(action, "figure874x") == 0 ? 4 : 9);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const char* action = argc > 1 ? argv[1] : "main";
    QApplication app(argc, argv);
    velmar::ProgramState state(velmar::HardwareBackend());
    TMainForm form(state);
    velmar::ui::LaunchWindow(form, state);
    QTimer::singleShot(1500, &form, [&form, action] {
        if (!RunAction(form, action)) {
            std::fprintf(stderr, "velmar-screenshot: unknown action %s\n", action);
            QApplication::exit(2);
        }
    });
    return app.exec();
}

// velmar-screenshot ACTION: starts the window exactly as velmar does, then
// performs one user action and stays up, so that scripts/screenshot can
// capture the screen. Not installed; a documentation aid only.
//
// ACTION: main (nothing), devices, figure874x, figure875x, editor, help,
// fill, large; and three that are captured from inside, at the moment that
// matters, into the file named by VELMAR_SHOT_FILE: busy (programming in
// progress), failed-entry (a failed program, then a Buffer Start entry) and
// verify-diff (a verify that differs everywhere, half way).

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "LaunchWindow.h"
#include "Usb_Velmar.h"
#include "devices/ProgramState.h"
#include "link/D2XXApi.h"

namespace {

void ClickRow(QListWidget* list, int row) {
    list->setCurrentRow(row);
    emit list->itemClicked(list->item(row));
}

// The whole screen as it is now, into VELMAR_SHOT_FILE.
void Capture(QWidget& form) {
    const char* file = std::getenv("VELMAR_SHOT_FILE");
    if (!file || !form.screen()) return;
    form.screen()->grabWindow(0).save(QString::fromLocal8Bit(file));
}

// Captures once `ready` holds, checked from the events an operation pumps.
void CaptureWhen(TMainForm& form, std::function<bool()> ready) {
    auto* timer = new QTimer(&form);
    QObject::connect(timer, &QTimer::timeout, &form, [&form, timer, ready] {
        if (!ready()) return;
        timer->stop();
        Capture(form);
    });
    timer->start(20);
}

void FillPattern(velmar::ProgramState& state) {
    for (int i = 0; i < velmar::kBufferSize; ++i)
        state.Buffer[i] = static_cast<std::uint8_t>(i * 7 + 3);
}

bool RunAction(TMainForm& form, velmar::ProgramState& state, const char* action) {
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
    if (std::strcmp(action, "busy") == 0) {
        FillPattern(state);
        QTimer::singleShot(2000, &form, [&form] { Capture(form); });
        form.Programm->click();
        return true;
    }
    if (std::strcmp(action, "failed-entry") == 0) {
        FillPattern(state);
        form.Programm->click();
        form.Start_Buf_Add->click();
        form.Edit_Add->setText(QStringLiteral("100"));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QCoreApplication::sendEvent(form.Edit_Add, &enter);
        QTimer::singleShot(300, &form, [&form] { Capture(form); });
        return true;
    }
    if (std::strcmp(action, "verify-diff") == 0) {
        state.Buffer.Fill(0x00); // the socket holds an erased part: every byte differs
        CaptureWhen(form, [&form] {
            return !form.Verify->isEnabled() && form.Memo1->document()->blockCount() >= 3000;
        });
        form.Verify->click();
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
    QTimer::singleShot(1500, &form, [&form, &state, action] {
        if (!RunAction(form, state, action)) {
            std::fprintf(stderr, "velmar-screenshot: unknown action %s\n", action);
            QApplication::exit(2);
        }
    });
    return app.exec();
}

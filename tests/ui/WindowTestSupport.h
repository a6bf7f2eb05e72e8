#pragma once
// A QApplication for widget tests and a window over a fresh program state.

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <functional>
#include <memory>
#include <vector>

#include "Dialogs.h"
#include "Usb_Velmar.h"
#include "WindowFonts.h"
#include "devices/ProgramState.h"
#include "link/D2XXApi.h"

namespace velmar::testing {

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "velmar-ui-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* created = new QApplication(argc, argv);
        ui::UseWindowStyle();
        return created;
    }();
    return *app;
}

// Declared first in a fixture, so the application exists before any widget.
struct ApplicationGuard {
    ApplicationGuard() { TestApplication(); }
};

// Records every dialog request and answers it from a queue (default: OK,
// no file chosen). Restores the previous hook when it goes.
class DialogRecorder {
  public:
    DialogRecorder() {
        previous_ = ui::DialogHook();
        ui::DialogHook() = [this](const ui::DialogRequest& request) {
            requests.push_back(request);
            if (OnRequest)
                OnRequest(request);
            if (!answers.empty()) {
                ui::DialogAnswer answer = answers.front();
                answers.erase(answers.begin());
                return answer;
            }
            return ui::DialogAnswer{request.Kind == ui::DialogKind::Message, {}};
        };
    }
    ~DialogRecorder() { ui::DialogHook() = previous_; }

    std::vector<ui::DialogRequest> requests;
    std::vector<ui::DialogAnswer> answers;
    std::function<void(const ui::DialogRequest&)> OnRequest;

  private:
    ui::DialogResponder previous_;
};

// Clicks a row of a list as the user would: select it, then the click.
inline void ClickRow(QListWidget* list, int row) {
    list->setCurrentRow(row);
    emit list->itemClicked(list->item(row));
}

} // namespace velmar::testing

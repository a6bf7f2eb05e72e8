#include "ValueEntry.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "Dialogs.h"
#include "HexEntry.h"
#include "devices/OperationFrame.h"
#include "devices/ProgramState.h"

namespace velmar::ui {

ValueEntry::ValueEntry(EntryWidgets widgets, ProgramState& state)
    : QObject(widgets.MainForm), form_(std::move(widgets)), state_(state) {
    form_.Edit_Add->setMaxLength(5);
    KeepUpperCase(form_.Edit_Add);
    window_ = form_.MainForm;
    field_ = form_.Edit_Add;
    field_->installEventFilter(this);
    connect(form_.Start_Buf_Add, &QPushButton::clicked, this,
            [this] { form_.AsHandler([this] { Start_Buf_AddClick(); }); });
    connect(form_.Offset, &QPushButton::clicked, this,
            [this] { form_.AsHandler([this] { OffsetClick(); }); });
}

void ValueEntry::Start_Buf_AddClick() {
    BeginOperation(state_);
    form_.Start_Buf_Add->setEnabled(true);
    OpenFor(kTargetBufferStart, kBufferStartEntryTop);
}

void ValueEntry::OffsetClick() {
    BeginOperation(state_);
    form_.Offset->setEnabled(true);
    OpenFor(kTargetHexOffset, kHexOffsetEntryTop);
}

void ValueEntry::OpenFor(int target, int top) {
    form_.Edit_Add->move(form_.Edit_Add->x(), top);
    EntryTarget = target;
    OpenValueEntry();
}

void ValueEntry::OpenValueEntry() {
    QLineEdit* field = form_.Edit_Add;
    if (form_.Enlarged()) field->move(field->x(), EnlargedEntryTop(field->y()));
    field->show();
    field->raise();
    field->setFocus(Qt::OtherFocusReason);
    field->clear();
}

void ValueEntry::Edit_AddKeyPress(char& key) {
    if (key == '\r') {
        key = 0;
        form_.Edit_Add->hide();
        const std::string text = form_.Edit_Add->text().toStdString();
        if (!text.empty()) {
            const auto value = HexEntryValue(text);
            if (!value) {
                // The window stays busy; the still enabled button reopens the entry.
                ShowMessageBox(form_.MainForm, BoxKind::Error, NotAnIntegerText(text));
                return;
            }
            if (EntryTarget == kTargetHexOffset)
                state_.Window.HexOffset = *value;
            else
                state_.Window.BufferStart = *value;
        }
        ClampWindow(state_);
        return;
    }
    if (!IsHexEntryKey(key)) key = 0;
}

bool ValueEntry::eventFilter(QObject* watched, QEvent* event) {
    // Compared by the pointers kept at start: the window must not be touched
    // while it is being torn down.
    if (event->type() != QEvent::KeyPress || watched != field_ || !window_->isVisible())
        return false;
    return FilterHexEntryKey(
        *form_.Edit_Add, *static_cast<QKeyEvent*>(event), EntryTab::LeavesField,
        [this](char& key) { form_.AsHandler([this, &key] { Edit_AddKeyPress(key); }); });
}

} // namespace velmar::ui

#include "ValueEntry.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "Dialogs.h"
#include "Usb_Velmar.h"
#include "devices/OperationFrame.h"
#include "devices/ProgramState.h"

namespace velmar::ui {

bool IsHexEntryKey(char key) {
    if (key == '\b') return true;
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
}

std::optional<std::int32_t> HexEntryValue(const std::string& text) {
    // Seven digits at most keep every value inside a signed 32-bit number.
    if (text.empty() || text.size() > 7) return std::nullopt;
    std::int32_t value = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

std::string NotAnIntegerText(const std::string& text) {
    return "'$" + text + "' is not a valid integer value.";
}

void KeepUpperCase(QLineEdit* field) {
    QObject::connect(field, &QLineEdit::textEdited, field, [field](const QString& text) {
        const QString upper = text.toUpper();
        if (upper == text) return;
        const int position = field->cursorPosition();
        field->setText(upper);
        field->setCursorPosition(position);
    });
}

ValueEntry::ValueEntry(TMainForm& form, ProgramState& state)
    : QObject(&form), form_(form), state_(state) {
    form_.Edit_Add->setMaxLength(5);
    KeepUpperCase(form_.Edit_Add);
    window_ = &form_;
    field_ = form_.Edit_Add;
    field_->installEventFilter(this);
    connect(form_.Start_Buf_Add, &QPushButton::clicked, this, [this] {
        TMainForm::HandlerScope scope(form_);
        Start_Buf_AddClick();
    });
    connect(form_.Offset, &QPushButton::clicked, this, [this] {
        TMainForm::HandlerScope scope(form_);
        OffsetClick();
    });
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
    if (form_.ScaleTag == 1) field->move(field->x(), EnlargedEntryTop(field->y()));
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
                ShowMessageBox(&form_, BoxKind::Error, NotAnIntegerText(text));
                return;
            }
            if (EntryTarget == kTargetHexOffset) state_.Window.HexOffset = *value;
            else state_.Window.BufferStart = *value;
        }
        ClampWindow(state_);
        return;
    }
    if (!IsHexEntryKey(key)) key = 0;
}

bool ValueEntry::eventFilter(QObject* watched, QEvent* event) {
    // Compared by the pointers kept at start: the window must not be touched
    // while it is being torn down.
    if (event->type() != QEvent::KeyPress || watched != field_ || !window_->isVisible()) return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    // Delete comes with the text "\x7f" on X11: it is the field's own key
    // (the character after the caret goes), never a typed character.
    if (keyEvent->key() == Qt::Key_Delete) return false;
    char key = 0;
    if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) key = '\r';
    else if (keyEvent->key() == Qt::Key_Backspace) key = '\b';
    else if (keyEvent->text().size() == 1) key = keyEvent->text().at(0).toLatin1();
    else if (keyEvent->text().isEmpty()) return false; // cursor keys, Delete: the field's own
    else return true;                                  // several characters at once: none is hex-checked
    if (key == '\t') return false;                     // focus moves on, as everywhere
    TMainForm::HandlerScope scope(form_);
    const bool enter = key == '\r';
    Edit_AddKeyPress(key);
    if (enter || key == 0) return true;
    if (key >= 'a' && key <= 'f') {
        form_.Edit_Add->insert(QString(QChar(key - 'a' + 'A')));
        return true;
    }
    return false;
}

} // namespace velmar::ui

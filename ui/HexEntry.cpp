#include "HexEntry.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "buffer/HexText.h"

namespace velmar::ui {

namespace {

// Seven digits at most keep every value inside a signed 32-bit number.
constexpr std::size_t kEntryDigits = 7;

} // namespace

bool IsHexEntryKey(char key) {
    return key == '\b' || IsHexDigit(key);
}

std::optional<std::int32_t> HexEntryValue(const std::string& text) {
    const std::optional<std::uint32_t> value = ParseHex(text, kEntryDigits);
    if (!value) return std::nullopt;
    return static_cast<std::int32_t>(*value);
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

bool FilterHexEntryKey(QLineEdit& field, const QKeyEvent& event, EntryTab tab,
                       const EntryKeyPress& keyPress) {
    // Delete comes with the text "\x7f" on X11: it is the field's own key
    // (the character after the caret goes), never a typed character.
    if (event.key() == Qt::Key_Delete) return false;
    char key = 0;
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) key = '\r';
    else if (event.key() == Qt::Key_Backspace) key = '\b';
    else if (event.text().size() == 1) key = event.text().at(0).toLatin1();
    else if (event.text().isEmpty()) return false; // cursor keys: the field's own
    else return true;                              // several characters at once: none is checked
    if (key == '\t' && tab == EntryTab::LeavesField) return false;
    const bool enter = key == '\r';
    keyPress(key);
    if (enter || key == 0) return true;
    if (key >= 'a' && key <= 'f') {
        field.insert(QString(QChar(key - 'a' + 'A')));
        return true;
    }
    return false;
}

} // namespace velmar::ui

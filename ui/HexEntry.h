#pragma once
// The hexadecimal entry fields (Edit_Add, Chg_Edit_Add, Fill_Edit): which
// keys they take, how a key press reaches the field's KeyPress routine, and
// how the typed text is read.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QKeyEvent;
class QLineEdit;

namespace velmar::ui {

// Characters a hexadecimal entry field takes: the digits and Backspace.
bool IsHexEntryKey(char key);
// The typed text read as a number; none when it is not one.
std::optional<std::int32_t> HexEntryValue(const std::string& text);
// The box text of a failed conversion of `text`.
std::string NotAnIntegerText(const std::string& text);
// Shows letters in upper case, also for text pasted past the key filter.
void KeepUpperCase(QLineEdit* field);

// Whether Tab leaves the field, or goes to its KeyPress routine like any
// other character (which refuses it).
enum class EntryTab { LeavesField, IsCharacter };

// The field's KeyPress routine: gets Enter as '\r', Backspace as '\b', a
// typed character as itself, and sets the key to 0 to refuse it.
using EntryKeyPress = std::function<void(char& key)>;

// Filters a key press in a hexadecimal entry field through `keyPress`;
// returns true when the event is used up. Keys without text (the cursor
// keys) and Delete stay the field's own; text of several characters at once
// is refused unseen. A taken lower-case digit goes in as upper case.
bool FilterHexEntryKey(QLineEdit& field, const QKeyEvent& event, EntryTab tab,
                       const EntryKeyPress& keyPress);

} // namespace velmar::ui

#pragma once
// Buffer Start and Hex Offset typed in hexadecimal into Edit_Add next to
// their buttons.

#include <QObject>

class TMainForm;
class QEvent;
class QWidget;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

// Entry targets held by Edit_Add.
enum : int { kTargetBufferStart = 1, kTargetHexOffset = 2 };
constexpr int kBufferStartEntryTop = 342;
constexpr int kHexOffsetEntryTop = 402;
// Where the entry goes in the enlarged window.
constexpr int EnlargedEntryTop(int top) { return top * 20 / 17 + 5; }

class ValueEntry : public QObject {
    Q_OBJECT

  public:
    ValueEntry(TMainForm& form, ProgramState& state);

    int EntryTarget = kTargetBufferStart; // Edit_Add's tag

    void Start_Buf_AddClick();
    void OffsetClick();
    void OpenValueEntry();
    // Sets key to 0 when the character is discarded.
    void Edit_AddKeyPress(char& key);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void OpenFor(int target, int top);

    TMainForm& form_;
    ProgramState& state_;
    QWidget* window_ = nullptr;
    QObject* field_ = nullptr;
};

} // namespace velmar::ui

#pragma once
// Buffer Start and Hex Offset typed in hexadecimal into Edit_Add next to
// their buttons.

#include <QObject>

#include <functional>

class QEvent;
class QLineEdit;
class QPushButton;
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
constexpr int EnlargedEntryTop(int top) {
    return top * 20 / 17 + 5;
}

// What the entry works with, given by the window.
struct EntryWidgets {
    QWidget* MainForm = nullptr; // the parent of boxes
    QLineEdit* Edit_Add = nullptr;
    QPushButton* Start_Buf_Add = nullptr;
    QPushButton* Offset = nullptr;
    // True while the window is enlarged (the Scale button's state).
    std::function<bool()> Enlarged;
    // Runs one handler as the window counts them.
    std::function<void(const std::function<void()>&)> AsHandler;
};

class ValueEntry : public QObject {
    Q_OBJECT

  public:
    ValueEntry(EntryWidgets widgets, ProgramState& state);

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

    EntryWidgets form_;
    ProgramState& state_;
    QWidget* window_ = nullptr;
    QObject* field_ = nullptr;
};

} // namespace velmar::ui

#pragma once
// The buffer editor: a 256-byte page of the DataBuffer as a hex dump in
// Edit_1, the info line Edit_Info above it and the page-address entry
// Chg_Edit_Add. The editor keeps its own cursor and places the caret from it;
// typed input goes into the buffer and the line is rebuilt from there.

#include <QObject>

#include <cstdint>
#include <functional>

#include "DumpLayout.h"
#include "buffer/DataBuffer.h"

class QEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

class ListingWindow;

// The highest address the editor may show: the device's last address, but
// never past the end of the buffer.
std::int32_t EditorLimit(std::int32_t deviceLimit);

// What the editor works with, given by the window.
struct EditorWidgets {
    QWidget* MainForm = nullptr; // the parent of boxes and the listing window
    QPushButton* Edit = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Edit_1 = nullptr;
    QLabel* Edit_Info = nullptr;
    QLineEdit* Chg_Edit_Add = nullptr;
    // Runs one handler as the window counts them.
    std::function<void(const std::function<void()>&)> AsHandler;
    // The window's hook for a failed link wait, which the editor sets.
    std::function<void()>* LinkWaitFailed = nullptr;
};

class BufferEditor : public QObject {
    Q_OBJECT

  public:
    BufferEditor(EditorWidgets widgets, ProgramState& state);

    // The cursor model; kept for the life of the program.
    std::int32_t EditorTop = 0;
    std::int32_t EditorRow = 0;
    std::int32_t EditorColumn = 0;
    std::int32_t EditorNibble = 0;
    std::int32_t EditorAsciiMode = 0;

    std::int32_t CursorAddress() const {
        return EditorTop + kBytesPerLine * EditorRow + EditorColumn;
    }

    void EditClick();
    void ShowPage();
    void PlaceCaret();
    void ShowInfo();
    void RewriteLine();

    void Edit_1KeyDown(int key);
    void Edit_1KeyPress(char key);
    void Edit_1KeyUp(int key);
    // `caret` is the text control's caret position when the button went down.
    void Edit_1MouseDown(int caret);
    void Edit_1Exit();
    void Edit_InfoClick();
    // Sets key to 0 when the character is discarded.
    void Chg_Edit_AddKeyPress(char& key);
    void Chg_Edit_AddExit();
    // F5: the code listing of the buffer at the cursor's address, in a window
    // of its own.
    void OpenListing();
    ListingWindow* ListingView() const { return listing_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Wrap();
    void FitDumpToWidth();
    bool DumpEvent(QEvent* event);
    bool AddressEntryEvent(QEvent* event);

    EditorWidgets form_;
    ProgramState& state_;
    QWidget* window_ = nullptr;
    QObject* dump_ = nullptr;
    QObject* viewport_ = nullptr;
    QObject* info_ = nullptr;
    QObject* entry_ = nullptr;
    ListingWindow* listing_ = nullptr;
};

} // namespace velmar::ui

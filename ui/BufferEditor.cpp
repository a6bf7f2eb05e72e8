#include "BufferEditor.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <cmath>

#include "Dialogs.h"
#include "HexEntry.h"
#include "ListingWindow.h"
#include "buffer/HexText.h"
#include "devices/CodeListing.h"
#include "devices/OperationFrame.h"
#include "devices/ProgramState.h"

namespace velmar::ui {

namespace {

// The text as drawn: 0x7F has no glyph in any font and would show as a
// box, so it is drawn like the other bytes that do not print.
QString Drawn(const std::string& text) {
    QString drawn = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    drawn.replace(QChar(0x7F), QLatin1Char('.'));
    return drawn;
}

} // namespace

std::int32_t EditorLimit(std::int32_t deviceLimit) {
    return std::min<std::int32_t>(deviceLimit, kBufferSize - 1);
}

BufferEditor::BufferEditor(EditorWidgets widgets, ProgramState& state)
    : QObject(widgets.MainForm), form_(std::move(widgets)), state_(state) {
    form_.Edit_1->setReadOnly(true);
    form_.Edit_1->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Read-only, yet the caret must show and follow the keys.
    form_.Edit_1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    form_.Edit_Info->setTextFormat(Qt::PlainText);
    form_.Chg_Edit_Add->setMaxLength(6);
    KeepUpperCase(form_.Chg_Edit_Add);

    window_ = form_.MainForm;
    dump_ = form_.Edit_1;
    viewport_ = form_.Edit_1->viewport();
    info_ = form_.Edit_Info;
    entry_ = form_.Chg_Edit_Add;
    for (QObject* watched : {dump_, viewport_, info_, entry_})
        watched->installEventFilter(this);
    // A failed reply wait puts the cursor back on the first row.
    *form_.LinkWaitFailed = [this] { EditorRow = 0; };
    connect(form_.Edit, &QPushButton::clicked, this,
            [this] { form_.AsHandler([this] { EditClick(); }); });
}

void BufferEditor::EditClick() {
    form_.Memo1->hide();
    EndOperation(state_);
    EditorTop = 0;
    form_.Edit_1->show();
    form_.Edit_Info->show();
    EditorRow = 0;
    EditorColumn = 0;
    ShowPage();
}

void BufferEditor::ShowPage() {
    const std::int32_t limit = EditorLimit(state_.Window.DeviceLimit);
    if (EditorTop + kPageBytes >= limit) EditorTop = limit - (kPageBytes - 1);
    if (EditorTop < 0) {
        EditorTop = 0;
        EditorRow = 0;
        EditorColumn = 0;
    }
    form_.Edit_1->clear();
    state_.Panel->PumpEvents();

    FitDumpToWidth();
    std::string text;
    for (std::int32_t line = EditorTop / kBytesPerLine;
         line <= (EditorTop + kPageBytes - 1) / kBytesPerLine; ++line) {
        if (!text.empty()) text += '\n';
        text += DumpLine(state_.Buffer, line * kBytesPerLine);
    }
    form_.Edit_1->setPlainText(Drawn(text));

    EditorNibble = 0;
    PlaceCaret();
    form_.Edit_1->setFocus(Qt::OtherFocusReason);
    ShowInfo();
}

void BufferEditor::FitDumpToWidth() {
    // A 74-character line only fits the control when each character takes
    // whole pixels, as the fixed-pitch fonts of the original desktop did;
    // fractional advances would push the last characters out of sight.
    QPlainTextEdit* dump = form_.Edit_1;
    dump->document()->setDocumentMargin(2);
    QFont font = dump->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    const qreal advance = QFontMetricsF(font).horizontalAdvance(QLatin1Char('0'));
    const qreal whole = std::floor(advance);
    if (whole >= 1 && whole < advance)
        font.setLetterSpacing(QFont::AbsoluteSpacing, whole - advance);
    if (!(font == dump->font())) dump->setFont(font);
}

void BufferEditor::PlaceCaret() {
    int position = kDumpLinePositions * EditorRow;
    if (EditorAsciiMode == 1)
        position += CharacterColumn(EditorColumn);
    else
        position += HighDigitColumn(EditorColumn) + EditorNibble;
    const int last = form_.Edit_1->document()->characterCount() - 1;
    QTextCursor caret = form_.Edit_1->textCursor();
    caret.setPosition(std::clamp(position, 0, std::max(last, 0)));
    form_.Edit_1->setTextCursor(caret);
}

void BufferEditor::ShowInfo() {
    const std::int32_t address = CursorAddress();
    const std::string line = InfoLine(address, ShownByte(state_.Buffer, address));
    form_.Edit_Info->setText(Drawn(line));
}

void BufferEditor::RewriteLine() {
    if (EditorColumn < 0 || EditorColumn >= kBytesPerLine) return;
    QTextBlock block = form_.Edit_1->document()->findBlockByNumber(EditorRow);
    if (!block.isValid()) return;
    QString line = block.text();
    if (line.size() < kDumpLineChars) return;
    const std::uint8_t value = ShownByte(state_.Buffer, CursorAddress());
    line[HighDigitColumn(EditorColumn)] = QLatin1Char(HexDigitChar(value >> 4));
    line[LowDigitColumn(EditorColumn)] = QLatin1Char(HexDigitChar(value));
    line[CharacterColumn(EditorColumn)] = Drawn(std::string(1, DumpCharacter(value))).at(0);
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(line);
}

void BufferEditor::Wrap() {
    if (EditorColumn == -1) {
        EditorColumn = kBytesPerLine - 1;
        --EditorRow;
    }
    // Right straight after typing a row's last byte takes the column to 17:
    // that is byte 1 of the next row, not a byte past the row's end.
    if (EditorColumn >= kBytesPerLine) {
        EditorColumn -= kBytesPerLine;
        ++EditorRow;
    }
    if (EditorRow < 0) {
        EditorRow = kPageLines - 1;
        EditorTop -= kPageBytes;
        ShowPage();
    }
    if (EditorRow == kPageLines) {
        EditorRow = 0;
        EditorTop += kPageBytes;
        ShowPage();
    }
}

void BufferEditor::Edit_1KeyDown(int key) {
    switch (key) {
    case Qt::Key_PageUp:
        EditorTop -= kPageBytes;
        ShowPage();
        break;
    case Qt::Key_PageDown:
        EditorTop += kPageBytes;
        ShowPage();
        break;
    case Qt::Key_End:
        EditorNibble = 0;
        EditorColumn = kBytesPerLine - 1;
        break;
    case Qt::Key_Home:
        EditorNibble = 0;
        EditorColumn = 0;
        break;
    case Qt::Key_Left:
        if (EditorNibble == 1)
            EditorNibble = 0;
        else
            --EditorColumn;
        break;
    case Qt::Key_Up:
        --EditorRow;
        break;
    case Qt::Key_Right:
        EditorNibble = 0;
        ++EditorColumn;
        break;
    case Qt::Key_Down:
        ++EditorRow;
        break;
    default:
        break;
    }
    Wrap();
    ShowInfo();
}

void BufferEditor::Edit_1KeyPress(char key) {
    // A character that arrives without its key-down (an input method) would
    // find the cursor one past the row; put it on the next byte first.
    if (EditorColumn == kBytesPerLine) Wrap();
    const std::int32_t address = CursorAddress();
    if (!DataBuffer::Contains(address)) return;
    std::uint8_t& byte = state_.Buffer[address];
    if (EditorAsciiMode == 1) {
        byte = static_cast<std::uint8_t>(key);
        RewriteLine();
        ++EditorColumn;
    } else {
        const int v = HexDigitValue(key);
        if (v >= 0) {
            if (EditorNibble == 0) {
                byte = static_cast<std::uint8_t>(16 * v + (byte & 0x0F));
                RewriteLine();
                EditorNibble = 1;
            } else {
                byte = static_cast<std::uint8_t>((byte & 0xF0) + v);
                RewriteLine();
                EditorNibble = 0;
                ++EditorColumn;
            }
        }
    }
    state_.Panel->PumpEvents();
}

void BufferEditor::Edit_1KeyUp(int) {
    PlaceCaret();
}

void BufferEditor::Edit_1MouseDown(int caret) {
    EditorRow = std::clamp(caret / kDumpLinePositions, 0, kPageLines - 1);
    const DumpHit hit = DumpHitAt(caret % kDumpLinePositions);
    EditorAsciiMode = hit.characters ? 1 : 0;
    EditorColumn = hit.byte;
    // The characters keep the digit the cursor was on.
    if (!hit.characters) EditorNibble = hit.nibble;
    ShowInfo();
}

void BufferEditor::Edit_1Exit() {
    form_.Edit_1->hide();
    form_.Edit_Info->hide();
    ComputeChecksum(state_);
}

void BufferEditor::Edit_InfoClick() {
    form_.Chg_Edit_Add->clear();
    form_.Chg_Edit_Add->show();
    form_.Chg_Edit_Add->raise();
    form_.Chg_Edit_Add->setFocus(Qt::OtherFocusReason);
    form_.Edit_1->show();
    form_.Edit_Info->show();
}

void BufferEditor::Chg_Edit_AddKeyPress(char& key) {
    if (key == '\r') {
        key = 0;
        form_.Edit_1->setFocus(Qt::OtherFocusReason);
        form_.Chg_Edit_Add->hide();
        const std::string text = form_.Chg_Edit_Add->text().toStdString();
        if (text.empty()) return;
        const auto value = HexEntryValue(text);
        if (!value) {
            ShowMessageBox(form_.MainForm, BoxKind::Error, NotAnIntegerText(text));
            return;
        }
        EditorTop = *value & ~0x0F;
        ShowPage();
        return;
    }
    if (!IsHexEntryKey(key)) key = 0;
}

void BufferEditor::Chg_Edit_AddExit() {
    form_.Chg_Edit_Add->hide();
}

// The cursor is a buffer position; the listing counts device addresses.
void BufferEditor::OpenListing() {
    if (listing_ == nullptr) listing_ = new ListingWindow(form_.MainForm);
    const AddressWindow& w = state_.Window;
    const std::int32_t address = CursorAddress() - w.BufferStart + w.DeviceStart;
    // The whole part: runs of one value fold into a line each.
    const Listing listing = ListBuffer(state_, SelectedCpu(state_), state_.Selection.BlankValue(),
                                       std::nullopt, w.DeviceEnd);
    listing_->ShowAt(listing, address);
}

bool BufferEditor::DumpEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (keyEvent->key() == Qt::Key_F5) {
            OpenListing();
            return true; // the editor neither moves nor types
        }
        form_.AsHandler([this, keyEvent] {
            Edit_1KeyDown(keyEvent->key());
            // Tab moves the focus on and closes the editor; it types nothing.
            // Delete carries the text "\x7f" on X11 but is no character to store.
            if (keyEvent->key() != Qt::Key_Tab && keyEvent->key() != Qt::Key_Backtab &&
                keyEvent->key() != Qt::Key_Delete) {
                for (QChar c : keyEvent->text())
                    Edit_1KeyPress(c.toLatin1());
            }
        });
        return false;
    }
    case QEvent::KeyRelease: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        form_.AsHandler([this, key] { Edit_1KeyUp(key); });
        return false;
    }
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Another application or a menu taking the focus leaves the editor open.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
        form_.AsHandler([this] { Edit_1Exit(); });
        return false;
    }
    default:
        return false;
    }
}

bool BufferEditor::AddressEntryEvent(QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        Chg_Edit_AddExit();
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    return FilterHexEntryKey(
        *form_.Chg_Edit_Add, *static_cast<QKeyEvent*>(event), EntryTab::LeavesField,
        [this](char& key) { form_.AsHandler([this, &key] { Chg_Edit_AddKeyPress(key); }); });
}

bool BufferEditor::eventFilter(QObject* watched, QEvent* event) {
    // Only the events the editor serves, and the controls compared by the
    // pointers kept at start: while the window is being torn down its
    // controls still send events, and the window must not be touched then.
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::FocusOut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        break;
    default:
        return false;
    }
    if (!window_->isVisible()) return false;
    if (watched == dump_) return DumpEvent(event);
    if (watched == viewport_) {
        if (event->type() == QEvent::MouseButtonPress ||
            event->type() == QEvent::MouseButtonDblClick) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            // A left press puts the caret where the user clicked; other
            // buttons leave it where it was.
            const int caret =
                mouse->button() == Qt::LeftButton
                    ? form_.Edit_1->cursorForPosition(mouse->position().toPoint()).position()
                    : form_.Edit_1->textCursor().position();
            form_.AsHandler([this, caret] { Edit_1MouseDown(caret); });
        }
        return false;
    }
    if (watched == info_) {
        if (event->type() == QEvent::MouseButtonPress) {
            form_.AsHandler([this] { Edit_InfoClick(); });
        }
        return false;
    }
    if (watched == entry_) return AddressEntryEvent(event);
    return false;
}

} // namespace velmar::ui

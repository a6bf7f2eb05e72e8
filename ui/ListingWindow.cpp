#include "ListingWindow.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "WindowFonts.h"
#include "buffer/HexText.h"
#include "devices/CodeListing.h"

namespace velmar::ui {

namespace {
constexpr int kFontPixels = 14;
constexpr int kColumns = 52; // the widest line: a folded run of DB
constexpr int kRows = 32;
} // namespace

ListingWindow::ListingWindow(QWidget* owner) : QPlainTextEdit(owner) {
    // A window of its own, not a part of the main window's layout.
    setWindowFlags(Qt::Window);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFont(FixedFont(kFontPixels));
    const QFontMetrics metrics(font());
    resize(metrics.horizontalAdvance(QLatin1Char('0')) * kColumns +
               verticalScrollBar()->sizeHint().width() + 2 * frameWidth() + 8,
           metrics.lineSpacing() * kRows + 2 * frameWidth() + 8);
}

void ListingWindow::ShowAt(const Listing& listing, std::int32_t address) {
    listing_ = listing;
    QStringList lines;
    for (const std::string& line : listing_.Lines)
        lines << QString::fromStdString(line);
    setPlainText(lines.join(QLatin1Char('\n')));
    setWindowTitle(QStringLiteral("Listing at ") + QString::fromStdString(HexText(address, 4)));
    const int line = static_cast<int>(LineOf(listing_, address));
    QTextCursor caret(document()->findBlockByNumber(line));
    setTextCursor(caret);
    show();
    raise();
    activateWindow();
    verticalScrollBar()->setValue(line);
}

std::int32_t ListingWindow::CaretAddress() const {
    const auto line = static_cast<std::size_t>(textCursor().blockNumber());
    return line < listing_.LineAddress.size() ? listing_.LineAddress[line] : -1;
}

} // namespace velmar::ui

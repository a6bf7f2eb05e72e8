#pragma once
// The code listing in a read-only window of its own, opened from the buffer
// editor (F5) at the cursor's address; the editor itself stays as it is.

#include <QPlainTextEdit>

#include <cstdint>

#include "devices/Disassembler.h"

namespace velmar::ui {

class ListingWindow : public QPlainTextEdit {
  public:
    explicit ListingWindow(QWidget* owner);

    // Fills the window with `listing`, puts the line of `address` at the top
    // with the caret on it, and shows the window in front.
    void ShowAt(const Listing& listing, std::int32_t address);
    // The address of the line the caret is on.
    std::int32_t CaretAddress() const;

  private:
    Listing listing_;
};

} // namespace velmar::ui

#pragma once
// A data file dropped on the window goes into the buffer as Load Buffer
// loads it, its type taken from the name or else the contents. Refused while
// the window is busy. Only a drop starts it; no other flow runs through here.

#include <QObject>

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "buffer/FormatDetection.h"

class QEvent;
class QMimeData;
class QPushButton;
class QWidget;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {

// The file type (row of File_Type) for a data file named outside the file
// dialog (dropped, or on the command line): an extension the format table
// lists (.bin binary; .ihx Intel hex; .s19 .s28 .s37 .srec .mot Motorola);
// .hex, the dialogs' extension of every hex format, and any other name by its
// first bytes: ":" Intel, "S" and a digit Motorola, lines of hex digits ASCII
// hex, anything else binary (a .hex name then counts as Intel).
FileType DataFileTypeOf(const std::string& path);
// The same with the file's first bytes (up to kDataFileHead) already read.
FileType DataFileTypeOf(const std::string& path, std::string_view head);
constexpr std::size_t kDataFileHead = kFormatHeadSize;

// The same with the verdict on what the type cannot be: text is not taken as
// binary, nor bytes that are not text as a hex file.
FormatVerdict DataFileVerdictOf(const std::string& path);

// For a verdict with a problem: an error box saying why `path` is not loaded
// and how to load it all the same, and FailFlag set. False when there is none.
bool RefuseUnchosenFormat(ProgramState& state, const std::string& path,
                          const FormatVerdict& verdict);

// What the window lends its drops; the form that builds FileDrop fills it in.
struct DropWindow {
    QWidget* MainForm = nullptr;     // takes the drops
    std::vector<QWidget*> Controls;  // its text boxes and entries are watched too
    QPushButton* Load_But = nullptr; // off while the buffer may not change
    std::function<bool()> HandlerRunning;
    // Runs a step as one of the window's handlers (a close waits for it).
    std::function<void(const std::function<void()>&)> AsHandler;
    // The File button and the dialogs follow FileType.
    std::function<void()> ApplyFileType;
    std::string* LastFileName = nullptr; // OpenDialog1's: the next start reloads it
};

class FileDrop : public QObject {
    Q_OBJECT

  public:
    FileDrop(DropWindow window, ProgramState& state);

    // Whether the window would take a drop now.
    bool Accepting() const;
    // Loads `path`; false when refused (busy) or the load failed.
    bool LoadDroppedFile(const std::string& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool Load(const std::string& path);

    DropWindow form_;
    ProgramState& state_;
};

// The one local file a drag carries; empty when it carries anything else.
std::string DraggedFile(const QMimeData* mime);

} // namespace velmar::ui

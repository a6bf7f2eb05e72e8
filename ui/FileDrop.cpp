#include "FileDrop.h"

#include <QAbstractScrollArea>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>

#include "buffer/DataFormats.h"
#include "buffer/FormatDetection.h"
#include "devices/FileCommands.h"
#include "devices/OperationFrame.h"
#include "devices/ProgramState.h"

namespace velmar::ui {

FileType DataFileTypeOf(const std::string& path) {
    return DataFileVerdictOf(path).fileType;
}

FormatVerdict DataFileVerdictOf(const std::string& path) {
    std::string head(kDataFileHead, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return JudgeDataFile(path, head);
}

FileType DataFileTypeOf(const std::string& path, std::string_view head) {
    return JudgeDataFile(path, head).fileType;
}

bool RefuseUnchosenFormat(ProgramState& state, const std::string& path,
                          const FormatVerdict& verdict) {
    if (verdict.problem == FormatProblem::None) return false;
    state.FailFlag = true;
    state.Panel->ShowMessage(BoxKind::Error,
                             FormatProblemText(verdict.problem, path) +
                                 "; choose Binary File and Load Buffer to load it as bytes.");
    return true;
}

std::string DraggedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
    return urls.front().toLocalFile().toStdString();
}

FileDrop::FileDrop(DropWindow window, ProgramState& state)
    : QObject(window.MainForm), form_(std::move(window)), state_(state) {
    form_.MainForm->setAcceptDrops(true);
    form_.MainForm->installEventFilter(this);
    // Text boxes and entries take drops of their own (a file name as text);
    // a file dropped on them is meant for the window.
    for (QWidget* control : form_.Controls) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(control)) {
            area->viewport()->installEventFilter(this);
        } else if (qobject_cast<QLineEdit*>(control)) {
            control->installEventFilter(this);
        }
    }
}

bool FileDrop::Accepting() const {
    // Busy: an operation, an open choice list or entry (the buffer buttons
    // are off), or a handler still on the stack pumping events.
    return !form_.HandlerRunning() && form_.Load_But->isEnabled();
}

bool FileDrop::LoadDroppedFile(const std::string& path) {
    if (!Accepting()) return false;
    bool loaded = false;
    form_.AsHandler([&] { loaded = Load(path); });
    return loaded;
}

bool FileDrop::Load(const std::string& path) {
    BeginOperation(state_);
    // Opening a FIFO would wait for its writer with the window frozen.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        ReportUnreadableDataFile(state_, path, "it is not a regular file");
        EndOperation(state_);
        return false;
    }
    const FormatVerdict verdict = DataFileVerdictOf(path);
    if (RefuseUnchosenFormat(state_, path, verdict)) {
        EndOperation(state_);
        return false;
    }
    const FileType previousType = state_.FileType;
    const std::string previousName = *form_.LastFileName;
    state_.FileType = verdict.fileType;
    form_.ApplyFileType();
    *form_.LastFileName = path;
    const bool loaded = LoadDataFile(state_, path);
    if (loaded) {
        ComputeChecksum(state_);
    } else {
        // A file that did not load changes neither the type nor the name
        // the next start reloads.
        state_.FileType = previousType;
        form_.ApplyFileType();
        *form_.LastFileName = previousName;
    }
    EndOperation(state_);
    return loaded;
}

bool FileDrop::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (DraggedFile(drag->mimeData()).empty()) return false;
        if (Accepting())
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const std::string path = DraggedFile(drop->mimeData());
        if (path.empty()) return false;
        if (!Accepting()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        LoadDroppedFile(path);
        return true;
    }
    default:
        return false;
    }
}

} // namespace velmar::ui

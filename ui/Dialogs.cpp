#include "Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QMessageBox>
#include <QStringList>
#include <QWindow>

namespace velmar::ui {

DialogResponder& DialogHook() {
    static DialogResponder hook;
    return hook;
}

namespace {

QMessageBox::Icon IconOf(BoxKind kind) {
    switch (kind) {
    case BoxKind::Information: return QMessageBox::Information;
    case BoxKind::Warning: return QMessageBox::Warning;
    case BoxKind::Error: return QMessageBox::Critical;
    case BoxKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString TitleOf(BoxKind kind) {
    switch (kind) {
    case BoxKind::Information: return QStringLiteral("Information");
    case BoxKind::Warning: return QStringLiteral("Warning");
    case BoxKind::Error: return QStringLiteral("Error");
    case BoxKind::Question: return QStringLiteral("Confirm");
    }
    return {};
}

// The common dialogs of the original platform move the current directory
// to the folder of the file chosen; the help file is looked up there.
void FollowChosenDirectory(const std::string& fileName) {
    const QDir folder = QFileInfo(QString::fromStdString(fileName)).absoluteDir();
    if (folder.exists())
        QDir::setCurrent(folder.absolutePath());
}

} // namespace

bool ShowMessageBox(QWidget* parent, BoxKind kind, const std::string& text,
                    std::optional<ScreenPoint> at) {
    if (DialogHook()) {
        DialogRequest request;
        request.Kind = DialogKind::Message;
        request.Box = kind;
        request.Text = text;
        request.At = at;
        return DialogHook()(request).Accepted;
    }
    QMessageBox box(IconOf(kind), TitleOf(kind), QString::fromStdString(text),
                    kind == BoxKind::Question ? (QMessageBox::Yes | QMessageBox::No)
                                              : QMessageBox::Ok,
                    parent);
    // An explicit position keeps Qt from centring the box on its parent;
    // boxes without one are centred on the screen.
    box.adjustSize();
    if (at) {
        box.move(at->x, at->y);
    } else if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        // The box is centred with its frame, which is known once its
        // platform window exists (none offscreen): move() places the frame.
        box.winId();
        const QMargins frame =
            box.windowHandle() ? box.windowHandle()->frameMargins() : QMargins();
        const QRect area = screen->availableGeometry();
        const int outerWidth = box.width() + frame.left() + frame.right();
        const int outerHeight = box.height() + frame.top() + frame.bottom();
        box.move(area.x() + (area.width() - outerWidth) / 2,
                 area.y() + (area.height() - outerHeight) / 2);
    }
    const int result = box.exec();
    return kind == BoxKind::Question ? result == QMessageBox::Yes : true;
}

std::string BareExtension(const std::string& defaultExt) {
    std::string ext = defaultExt;
    while (!ext.empty() && ext.front() == '.')
        ext.erase(ext.begin());
    return ext;
}

std::string QtNameFilters(const std::string& filter) {
    // "Name|pattern|Name|pattern" -> "Name (pattern);;Name (pattern)"
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return filters.join(";;").toStdString();
}

bool ExecuteFileDialog(QWidget* parent, FileDialog& dialog) {
    if (DialogHook()) {
        DialogRequest request;
        request.Kind = dialog.Save ? DialogKind::SaveFile : DialogKind::OpenFile;
        request.File = dialog;
        const DialogAnswer answer = DialogHook()(request);
        if (!answer.Accepted)
            return false;
        dialog.FileName = answer.FileName;
        FollowChosenDirectory(dialog.FileName);
        return true;
    }
    QFileDialog box(parent, QString::fromStdString(dialog.Title));
    box.setAcceptMode(dialog.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(dialog.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, !dialog.OverwritePrompt);
    box.setOption(QFileDialog::ReadOnly, false);
    box.setSizeGripEnabled(dialog.Resizable);
    const QStringList filters = QString::fromStdString(QtNameFilters(dialog.Filter)).split(";;");
    box.setNameFilters(filters);
    if (dialog.FilterIndex >= 1 && dialog.FilterIndex <= filters.size())
        box.selectNameFilter(filters[dialog.FilterIndex - 1]);
    box.setDefaultSuffix(QString::fromStdString(BareExtension(dialog.DefaultExt)));
    if (!dialog.FileName.empty()) {
        const QFileInfo last(QString::fromStdString(dialog.FileName));
        box.setDirectory(last.absolutePath());
        box.selectFile(last.fileName());
    } else {
        box.setDirectory(QDir::currentPath());
    }
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return false;
    const QString chosen = QFileInfo(box.selectedFiles().first()).absoluteFilePath();
    if (dialog.PathMustExist && !QFileInfo(chosen).absoluteDir().exists())
        return false;
    dialog.FileName = chosen.toStdString();
    FollowChosenDirectory(dialog.FileName);
    return true;
}

} // namespace velmar::ui

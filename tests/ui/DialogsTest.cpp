// The one routine for boxes and file dialogs, without the test hook: real
// Qt dialogs, inspected and answered while they are open.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include "WindowTestSupport.h"

namespace {

using velmar::BoxKind;
using velmar::ui::FileDialog;
using velmar::ui::ScreenPoint;

// Runs `inspect` on the modal dialog once it is up.
template <typename Dialog>
void WhenOpen(std::function<void(Dialog*)> inspect) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, inspect] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            inspect(dialog);
        }
    });
    timer->start();
}

class RealDialogs : public ::testing::Test {
  protected:
    velmar::testing::ApplicationGuard app;
};

TEST_F(RealDialogs, MessageBoxAtItsScreenPosition) {
    QPoint seen;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenOpen<QMessageBox>([&](QMessageBox* box) {
        seen = box->pos();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_TRUE(velmar::ui::ShowMessageBox(nullptr, BoxKind::Information,
                                           "Besure to install the JUMPER on the adapter board....",
                                           ScreenPoint{595, 250}));
    EXPECT_EQ(seen, QPoint(595, 250));
    EXPECT_EQ(text, QStringLiteral("Besure to install the JUMPER on the adapter board...."));
    EXPECT_EQ(icon, QMessageBox::Information);
}

TEST_F(RealDialogs, QuestionAnsweredNoAndCentredBox) {
    WhenOpen<QMessageBox>([](QMessageBox* box) {
        EXPECT_NE(box->button(QMessageBox::Yes), nullptr);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(velmar::ui::ShowMessageBox(nullptr, BoxKind::Question, "Update?"));

    QRect geometry;
    WhenOpen<QMessageBox>([&](QMessageBox* box) {
        geometry = box->frameGeometry();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_TRUE(velmar::ui::ShowMessageBox(nullptr, BoxKind::Error, "No Device Was Selected."));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(geometry.center().x() - screen.center().x()), 2);
    EXPECT_LE(std::abs(geometry.center().y() - screen.center().y()), 2);
}

TEST_F(RealDialogs, OpenDialogParametersAndChoice) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows' own file dialog opens instead of Qt's, and a test cannot answer it";
#endif
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("image.hex"));
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(":00000001FF\n");
    }
    FileDialog dialog;
    dialog.DefaultExt = "Hex";
    dialog.FilterIndex = 2;
    dialog.FileMustExist = true;
    dialog.PathMustExist = true;
    dialog.FileName = dir.filePath(QStringLiteral("older.hex")).toStdString();
    QStringList filters;
    QString selectedFilter;
    QString suffix;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QString directory;
    WhenOpen<QFileDialog>([&](QFileDialog* box) {
        filters = box->nameFilters();
        selectedFilter = box->selectedNameFilter();
        suffix = box->defaultSuffix();
        mode = box->fileMode();
        directory = box->directory().absolutePath();
        box->selectFile(file);
        static_cast<QDialog*>(box)->accept();
    });
    ASSERT_TRUE(velmar::ui::ExecuteFileDialog(nullptr, dialog));
    EXPECT_EQ(filters, (QStringList{"Bin (*.Bin)", "Hex (*.Hex)", "All (*.*)"}));
    EXPECT_EQ(selectedFilter, QStringLiteral("Hex (*.Hex)"));
    EXPECT_EQ(suffix, QStringLiteral("Hex"));
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    EXPECT_EQ(QDir(directory), QDir(dir.path()));
    EXPECT_EQ(QString::fromStdString(dialog.FileName), QFileInfo(file).absoluteFilePath());
    // As the platform's dialogs do, a confirmed choice moves the current
    // directory to the file's folder.
    EXPECT_EQ(QDir::current(), QDir(dir.path()));
    QDir::setCurrent(QDir::tempPath());
}

TEST_F(RealDialogs, CancelledSaveDialogKeepsTheName) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows' own file dialog opens instead of Qt's, and a test cannot answer it";
#endif
    FileDialog dialog;
    dialog.Save = true;
    dialog.OverwritePrompt = true;
    dialog.DefaultExt = "Bin";
    dialog.FileName = "/tmp/kept.bin";
    bool confirmsOverwrite = false;
    QFileDialog::AcceptMode accept = QFileDialog::AcceptOpen;
    WhenOpen<QFileDialog>([&](QFileDialog* box) {
        confirmsOverwrite = !box->testOption(QFileDialog::DontConfirmOverwrite);
        accept = box->acceptMode();
        box->reject();
    });
    EXPECT_FALSE(velmar::ui::ExecuteFileDialog(nullptr, dialog));
    EXPECT_TRUE(confirmsOverwrite);
    EXPECT_EQ(accept, QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.FileName, "/tmp/kept.bin");
}

} // namespace

// What the window shows back: grey disabled controls, captions whole on their
// buttons, the fill entry's box for pasted text, the difference list filled
// in batches, and a data file dropped on the window.

#include <gtest/gtest.h>

#include <QDropEvent>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fstream>

#include "FileDrop.h"
#if !defined(_WIN32)
#include <sys/stat.h>
#endif
#include <cstdio>
#include "WindowFonts.h"
#include "WindowPanel.h"
#include "WindowTestSupport.h"
#include "devices/OperationFrame.h"

namespace {

using velmar::ProgramState;
using velmar::testing::ClickRow;
using velmar::testing::DialogRecorder;

class WindowFeedback : public ::testing::Test {
  protected:
    velmar::testing::ApplicationGuard app;
    ProgramState state{velmar::HardwareBackend()};
    TMainForm form{state};
    DialogRecorder dialogs;
    QTemporaryDir dir;

    std::string Write(const char* name, const std::string& bytes) {
        const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Sends a drag and a drop of `path` to `target` as the window system would.
    bool Drop(QWidget* target, const std::string& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
    static int DarkPixels(QWidget* widget) {
        const QImage image = widget->grab().toImage();
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.red() < 0x30 && c.green() < 0x30 && c.blue() < 0x30) ++dark;
            }
        return dark;
    }
};

TEST_F(WindowFeedback, DisabledControlsDrawGrey) {
    form.show();
    state.Link.LinkState = velmar::LinkState::Opened;
    velmar::EndOperation(state);
    ASSERT_TRUE(form.Verify->isEnabled());
    EXPECT_GT(DarkPixels(form.Verify), 20);
    velmar::BeginOperation(state);
    for (QPushButton* b : form.Panel().DeviceButtons()) {
        ASSERT_FALSE(b->isEnabled());
        EXPECT_EQ(DarkPixels(b), 0) << b->objectName().toStdString();
    }
    for (QPushButton* b : form.Panel().WindowButtons())
        EXPECT_EQ(DarkPixels(b), 0) << b->objectName().toStdString();
    // Lists, entries and text boxes alike: black when enabled, grey when not.
    for (QWidget* w :
         std::initializer_list<QWidget*>{form.Device_Box, form.FillBox, form.Edit_Add,
                                         form.Fill_Edit, form.Memo1, form.Chg_Edit_Add}) {
        const QPalette& p = w->palette();
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Text), QColor(Qt::black))
            << w->objectName().toStdString();
        EXPECT_EQ(p.color(QPalette::Inactive, QPalette::Text), QColor(Qt::black));
        EXPECT_NE(p.color(QPalette::Disabled, QPalette::Text), QColor(Qt::black));
    }
}

// A bold caption is drawn bold: clearly more dark pixels than the same caption
// in the regular face (Windows' grey-scale glyphs once drew both alike).
TEST_F(WindowFeedback, CaptionsAreDrawnBold) {
    form.show();
    ASSERT_TRUE(form.Verify->font().bold());
    velmar::ui::CaptionButton regular(form.Verify->text(), form.Verify->parentWidget());
    regular.setGeometry(form.Verify->geometry());
    QFont font = form.Verify->font();
    font.setBold(false);
    regular.setFont(font);
    regular.setPalette(form.Verify->palette());
    const int bold = DarkPixels(form.Verify);
    EXPECT_GT(bold * 4, DarkPixels(&regular) * 5) << bold << " dark pixels against "
                                                  << DarkPixels(&regular);
}

TEST_F(WindowFeedback, CaptionsFitTheirButtonsInBothSizes) {
    form.show();
    // The widest captions the buttons carry.
    form.Compare->setText(QStringLiteral("Program Compare"));
    form.Chk_Sum_But->setText(QStringLiteral("&Check Sum=0000"));
    form.File_But->setText(QStringLiteral("Motorola Hex File"));
    form.Quit_Func_But->setText(QStringLiteral("&Quit = 12345"));
    for (int size = 0; size < 2; ++size) {
        for (QWidget* control : form.DesignedControls()) {
            auto* button = qobject_cast<velmar::ui::CaptionButton*>(control);
            if (!button) continue;
            SCOPED_TRACE(button->objectName().toStdString() + (size ? " large" : " normal"));
            QString shown = button->text();
            shown.remove(QLatin1Char('&'));
            const QFont drawn = button->DrawnFont();
            EXPECT_LE(QFontMetrics(drawn).horizontalAdvance(shown),
                      velmar::ui::CaptionRoom(*button));
            // Narrower if need be, never smaller than designed.
            EXPECT_EQ(drawn.pixelSize(), button->font().pixelSize());
            EXPECT_TRUE(drawn.bold());
        }
        form.Scale->click();
    }
    // Captions that fit keep the designed face.
    auto* help = qobject_cast<velmar::ui::CaptionButton*>(form.Help_1);
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->DrawnFont(), help->font());
}

TEST_F(WindowFeedback, FillEntryRefusesPastedTextWithTheBox) {
    form.show();
    state.Buffer.Fill(0x11);
    form.Fill->click();
    ClickRow(form.FillBox, 2);
    form.Fill_Edit->insert(QStringLiteral("G1")); // a paste passes no key filter
    QTest::keyClick(form.Fill_Edit, Qt::Key_Return);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].Box, velmar::BoxKind::Error);
    EXPECT_EQ(dialogs.requests[0].Text, "'$G1' is not a valid integer value.");
    for (int i = 0; i < velmar::kBufferSize; i += 0x1111)
        EXPECT_EQ(state.Buffer[i], 0x11);
    // Still open to correct it.
    EXPECT_FALSE(form.Fill->isEnabled());
    EXPECT_TRUE(form.Fill_Edit->isVisibleTo(&form));
    QTest::keyClicks(form.Fill_Edit, QStringLiteral("7e"));
    QTest::keyClick(form.Fill_Edit, Qt::Key_Return);
    EXPECT_EQ(state.Buffer[0x1234], 0x7E);
    EXPECT_TRUE(form.Fill->isEnabled());
    EXPECT_EQ(dialogs.requests.size(), 1u);
}

TEST_F(WindowFeedback, DifferenceLinesArriveInBatchesInTheirOrder) {
    auto& panel = form.Panel();
    panel.ReportLine("before");
    velmar::BeginOperation(state);
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        const std::string line = "line " + std::to_string(i);
        state.Panel->ReportLine(line);
        state.Panel->PumpEvents();
        expected = line + "\n" + expected;
    }
    // Held back while the operation runs, each batch in one piece.
    EXPECT_GT(panel.PendingReportLines(), 0);
    EXPECT_LT(form.Memo1->document()->blockCount(), 2001);
    // A box shows the whole list behind it.
    state.Panel->ShowMessage(velmar::BoxKind::Information, "look");
    EXPECT_EQ(panel.PendingReportLines(), 0);
    EXPECT_EQ(form.Memo1->toPlainText().toStdString(), expected + "before");
    state.Panel->ReportLine("last");
    velmar::EndOperation(state);
    EXPECT_EQ(form.Memo1->toPlainText().toStdString(), "last\n" + expected + "before");
    // Cleared lines never come back.
    velmar::BeginOperation(state);
    state.Panel->ReportLine("gone");
    state.Panel->BeginReport();
    state.Panel->ReportLine("kept");
    velmar::EndOperation(state);
    EXPECT_EQ(form.Memo1->toPlainText(), QStringLiteral("kept"));
}

TEST_F(WindowFeedback, DroppedFileTypeFromNameOrContents) {
    using velmar::ui::DataFileTypeOf;
    EXPECT_EQ(DataFileTypeOf(Write("a.BIN", ":00000001FF\n")), 0);
    EXPECT_EQ(DataFileTypeOf(Write("a.ihx", "0102")), 1);
    EXPECT_EQ(DataFileTypeOf(Write("a.s19", "")), 2);
    EXPECT_EQ(DataFileTypeOf(Write("a.hex", "\r\n:0100000055AA\r\n")), 1);
    EXPECT_EQ(DataFileTypeOf(Write("a.Hex", "S1040000AA51\n")), 2);
    EXPECT_EQ(DataFileTypeOf(Write("a.hex", "0102A0ff\r\n3344\r\n")), 3);
    EXPECT_EQ(DataFileTypeOf(Write("a.hex", "")), 1);
    EXPECT_EQ(DataFileTypeOf(Write("a.dat", std::string("\x02\x00\xFF:", 4))), 0);
    EXPECT_EQ(DataFileTypeOf(Write("noname", "Some text, not hex")), 0);
    EXPECT_EQ(DataFileTypeOf(Write("code", ":0100000055AA\n")), 1);
}

TEST_F(WindowFeedback, DroppedFileLoadsAsLoadBufferDoes) {
    form.show();
    state.Window.DeviceEnd = 0xFF;
    state.Window.DeviceLimit = 0xFFFF;
    const std::string intel = Write("image.hex", ":0400100001020304E2\n:00000001FF\n");
    ASSERT_TRUE(Drop(&form, intel));
    EXPECT_EQ(state.Buffer[0x10], 1);
    EXPECT_EQ(state.Buffer[0x13], 4);
    EXPECT_EQ(state.FileType, 1);
    EXPECT_EQ(form.File_But->text(), QStringLiteral("Intel Hex File"));
    EXPECT_EQ(form.OpenDialog1.FileName, intel);
    EXPECT_EQ(form.StaticText4->text().toStdString(), "Last File Loaded in Buffer=" + intel);
    EXPECT_EQ(form.Chk_Sum_But->text(), QStringLiteral("CheckSum=000A"));
    EXPECT_TRUE(form.Load_But->isEnabled());

    // Dropped on a text box it is a file to load, not text to insert.
    form.Memo1->show();
    const std::string binary = Write("image.bin", "\x21\x22");
    ASSERT_TRUE(Drop(form.Memo1->viewport(), binary));
    EXPECT_EQ(state.Buffer[0], 0x21);
    EXPECT_EQ(state.FileType, 0);
    EXPECT_EQ(form.File_But->text(), QStringLiteral("Binary File"));
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());

    // Refused while busy: an open entry or list, or an operation running.
    const std::string other = Write("other.bin", "\x99");
    form.Fill->click();
    EXPECT_FALSE(Drop(&form, other));
    EXPECT_EQ(state.Buffer[0], 0x21);
    ClickRow(form.FillBox, 3);
    {
        TMainForm::HandlerScope running(form);
        EXPECT_FALSE(Drop(&form, other));
    }
    EXPECT_EQ(state.Buffer[0], 0x21);

    // A file that does not load keeps the type and the name to reload.
    const std::string broken = Write("broken.hex", ":04001G0001020304E2\n");
    EXPECT_TRUE(Drop(&form, broken));
    ASSERT_FALSE(dialogs.requests.empty());
    EXPECT_EQ(dialogs.requests.back().Box, velmar::BoxKind::Error);
    EXPECT_EQ(state.FileType, 0);
    EXPECT_EQ(form.OpenDialog1.FileName, binary);
    EXPECT_EQ(form.StaticText4->text().toStdString(), "Last File Loaded in Buffer=" + binary);
    EXPECT_TRUE(form.Load_But->isEnabled());

#if !defined(_WIN32)
    // A FIFO without a writer is refused at once, not waited on.
    const std::string fifo = Write("pipe.bin", "");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::size_t boxes = dialogs.requests.size();
    EXPECT_TRUE(Drop(&form, fifo));
    ASSERT_EQ(dialogs.requests.size(), boxes + 1);
    EXPECT_NE(dialogs.requests.back().Text.find("it is not a regular file"), std::string::npos);
    EXPECT_EQ(form.OpenDialog1.FileName, binary);
#endif
}

// Text dropped without a type chosen is refused, as is a .hex file of random
// bytes; a hex file with lines that are no records loads with one warning
// and a red banner.
TEST_F(WindowFeedback, DroppedFilesAreTakenOnlyForWhatTheyAre) {
    form.show();
    state.Window.DeviceEnd = 0xFF;
    state.Window.DeviceLimit = 0xFFFF;
    const auto banner = [this] { return form.StaticText3->palette().color(QPalette::Window); };
    std::string noise(512, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(i * 37 + 11);
    for (const std::string& path :
         {Write("notes.txt", "Erase the part first.\n"),
          Write("wide", std::string("\xFF\xFEO\0K\0", 6)), Write("noise.hex", noise)}) {
        dialogs.requests.clear();
        EXPECT_TRUE(Drop(&form, path));
        ASSERT_EQ(dialogs.requests.size(), 1u) << path;
        EXPECT_EQ(dialogs.requests[0].Box, velmar::BoxKind::Error);
        EXPECT_EQ(dialogs.requests[0].Text.rfind(path + " ", 0), 0u) << dialogs.requests[0].Text;
        EXPECT_NE(dialogs.requests[0].Text.find("; choose Binary File and Load Buffer"),
                  std::string::npos);
        EXPECT_EQ(banner(), QColor("#ff0000"));
        EXPECT_EQ(state.Buffer[0], 0);
        EXPECT_TRUE(form.OpenDialog1.FileName.empty());
    }

    dialogs.requests.clear();
    const std::string junk = Write("junk.hex", "  :0100000011EE\nnot a record\n:0100000922D4\n");
    EXPECT_TRUE(Drop(&form, junk));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].Box, velmar::BoxKind::Warning);
    EXPECT_EQ(dialogs.requests[0].Text,
              "2 lines of " + junk + " are not records and were skipped; the first is line 2.");
    EXPECT_EQ(state.Buffer[0], 0x11);
    EXPECT_EQ(banner(), QColor("#ff0000"));
    EXPECT_EQ(form.OpenDialog1.FileName, junk);
}

} // namespace

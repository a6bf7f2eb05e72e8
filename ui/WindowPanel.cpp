#include "WindowPanel.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include "Usb_Velmar.h"

namespace velmar::ui {

namespace {

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// About 30 pictures a second: a list that grows faster than that is drawn
// in steps, not line by line.
constexpr int kReportFlushMs = 33;

} // namespace

WindowPanel::WindowPanel(TMainForm& form) : form_(form) {
    sinceFlush_.start();
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kReportFlushMs);
    // Lines must not wait for the next pump when the operation has none left.
    QObject::connect(&flushTimer_, &QTimer::timeout, [this] { FlushReport(); });
}

void InsertTopLine(QPlainTextEdit* memo, std::string_view line) {
    // An empty memo has no lines; the first one must not leave an empty line
    // below it.
    if (memo->document()->isEmpty()) {
        memo->setPlainText(ToQ(line));
    } else {
        QTextCursor cursor(memo->document());
        cursor.movePosition(QTextCursor::Start);
        cursor.insertText(ToQ(line) + QLatin1Char('\n'));
    }
    memo->moveCursor(QTextCursor::Start);
}

QWidget* WindowPanel::WidgetOf(Control control) const {
    switch (control) {
    case Control::Banner: return form_.StaticText3;
    case Control::LastFile: return form_.StaticText4;
    case Control::QuitButton: return form_.Quit_Func_But;
    case Control::ChecksumButton: return form_.Chk_Sum_But;
    case Control::DeviceButton: return form_.Device;
    case Control::VppButton: return form_.Vpp_But;
    case Control::AutoVerifyButton: return form_.Auto_Verify;
    case Control::FileButton: return form_.File_But;
    case Control::BufferStartButton: return form_.Start_Buf_Add;
    case Control::DeviceStartButton: return form_.Start_Add;
    case Control::DeviceEndButton: return form_.End_Add;
    case Control::HexOffsetButton: return form_.Offset;
    case Control::ProgramButton: return form_.Programm;
    case Control::SecurityButton: return form_.Security;
    case Control::EraseButton: return form_.Erase_But;
    case Control::ProgramPanel: return form_.Panel8;
    case Control::ReportList: return form_.Memo1;
    case Control::HelpText: return form_.Help1;
    case Control::Figure874X: return form_.A874X;
    case Control::Figure875X: return form_.A875X;
    case Control::DeviceList: return form_.Device_Box;
    case Control::SecurityList: return form_.Security_List;
    case Control::FillList: return form_.FillBox;
    case Control::FillEntry: return form_.Fill_Edit;
    case Control::FileTypeList: return form_.File_Type;
    }
    return nullptr;
}

void WindowPanel::SetCaption(Control control, std::string_view text) {
    if (control == Control::Banner) {
        bannerWritten_ = true;
        form_.SetBannerText(ToQ(text));
        return;
    }
    if (control == Control::LastFile) {
        form_.SetLastFileText(ToQ(text));
        return;
    }
    QWidget* widget = WidgetOf(control);
    if (auto* button = qobject_cast<QPushButton*>(widget))
        button->setText(ToQ(text));
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(ToQ(text));
    else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget))
        memo->setPlainText(ToQ(text));
}

void WindowPanel::SetVisible(Control control, bool visible) {
    if (QWidget* widget = WidgetOf(control))
        widget->setVisible(visible);
}

void WindowPanel::SetEnabled(Control control, bool enabled) {
    if (QWidget* widget = WidgetOf(control))
        widget->setEnabled(enabled);
}

void WindowPanel::SetHeight(Control control, int pixels) {
    if (QWidget* widget = WidgetOf(control))
        widget->resize(widget->width(), pixels);
}

void WindowPanel::SetBannerColour(BannerColour colour) {
    if (colour == BannerColour::Yellow) {
        ApplyBannerColour(colour);
        return;
    }
    // The colour is the verdict on the text beside it: a step that wrote no
    // status text of its own (a value entry, a fill) must not turn an old
    // failure sentence green. A failure is always shown.
    if (bannerWritten_ || colour == BannerColour::Red) {
        settledColour_ = colour;
        bannerWritten_ = false;
    }
    ApplyBannerColour(settledColour_);
}

void WindowPanel::ApplyBannerColour(BannerColour colour) {
    const char* name = colour == BannerColour::Yellow ? kBannerYellow
                       : colour == BannerColour::Lime ? kBannerLime
                                                      : kBannerRed;
    QPalette palette = form_.StaticText3->palette();
    palette.setColor(QPalette::Window, QColor(name));
    form_.StaticText3->setPalette(palette);
}

void WindowPanel::InsertReportLine(std::string_view line) {
    if (!busy_) {
        FlushReport();
        InsertTopLine(form_.Memo1, line);
        return;
    }
    pendingReport_.emplace_back(line);
    if (!flushTimer_.isActive()) flushTimer_.start();
}

void WindowPanel::FlushReport() {
    flushTimer_.stop();
    sinceFlush_.restart();
    if (pendingReport_.empty()) return;
    // Newest first, as if inserted one by one.
    QString block;
    for (auto it = pendingReport_.rbegin(); it != pendingReport_.rend(); ++it) {
        if (!block.isEmpty()) block += QLatin1Char('\n');
        block += ToQ(*it);
    }
    pendingReport_.clear();
    QPlainTextEdit* memo = form_.Memo1;
    if (memo->document()->isEmpty()) {
        memo->setPlainText(block);
    } else {
        QTextCursor cursor(memo->document());
        cursor.movePosition(QTextCursor::Start);
        cursor.insertText(block + QLatin1Char('\n'));
    }
    memo->moveCursor(QTextCursor::Start);
}

void WindowPanel::ClearReport() {
    pendingReport_.clear();
    flushTimer_.stop();
    form_.Memo1->clear();
}

void WindowPanel::InsertDiagnosticLine(std::string_view line) {
    InsertTopLine(form_.Memo2, line);
    if (line.starts_with("Device no longer present") && form_.LinkWaitFailed)
        form_.LinkWaitFailed();
}

void WindowPanel::AppendDiagnosticLine(std::string_view line) {
    form_.Memo2->appendPlainText(ToQ(line));
}

std::vector<QPushButton*> WindowPanel::DeviceButtons() const {
    return {form_.Quit_Func_But, form_.Programm, form_.Verify,   form_.Auto_Verify,
            form_.Move_Eprom,    form_.Blank_Chk, form_.Erase_But, form_.Vpp_But,
            form_.Compare,       form_.Security};
}

std::vector<QPushButton*> WindowPanel::WindowButtons() const {
    return {form_.Start_Buf_Add, form_.Chk_Sum_But, form_.Start_Add, form_.Save_But,
            form_.Load_But,      form_.File_But,    form_.End_Add,   form_.Offset,
            form_.Device,        form_.Help_1,      form_.Scale,     form_.Edit,
            form_.Fill};
}

std::vector<QPushButton*> WindowPanel::AddressButtons() const {
    return {form_.Start_Buf_Add, form_.Start_Add, form_.End_Add, form_.Offset};
}

void WindowPanel::EnterBusyState() {
    FlushReport();
    busy_ = true;
    for (QPushButton* button : DeviceButtons())
        button->setEnabled(false);
    for (QPushButton* button : WindowButtons())
        button->setEnabled(false);
    form_.Memo1->hide();
    form_.Help1->hide();
    for (QPushButton* button : AddressButtons())
        button->show();
}

void WindowPanel::LeaveBusyState(bool deviceButtons) {
    FlushReport();
    busy_ = false;
    if (deviceButtons)
        for (QPushButton* button : DeviceButtons())
            button->setEnabled(true);
    for (QPushButton* button : WindowButtons())
        button->setEnabled(true);
    form_.Help1->hide();
    form_.FillBox->hide();
    form_.Fill_Edit->hide();
    form_.File_Type->hide();
    for (QPushButton* button : AddressButtons())
        button->show();
}

void WindowPanel::PumpEvents() {
    if (!pendingReport_.empty() && sinceFlush_.elapsed() >= kReportFlushMs) FlushReport();
    QCoreApplication::processEvents();
}

bool WindowPanel::ShowMessage(BoxKind kind, std::string_view text, std::optional<ScreenPoint> at) {
    // The list behind the box is complete when the user reads it.
    FlushReport();
    return ShowMessageBox(&form_, kind, std::string(text), at);
}

std::optional<std::string> WindowPanel::ChooseFirmwareFile() {
    FlushReport();
    if (!ExecuteFileDialog(&form_, form_.OpenDialog1))
        return std::nullopt;
    return form_.OpenDialog1.FileName;
}

} // namespace velmar::ui

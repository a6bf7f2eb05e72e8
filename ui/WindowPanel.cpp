#include "WindowPanel.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <utility>

#include "Captions.h"
#include "Dialogs.h"
#include "devices/DeviceOperations.h"
#include "link/CommandLink.h"

namespace velmar::ui {

namespace {

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// About 30 pictures a second: a list that grows faster than that is drawn
// in steps, not line by line.
constexpr int kReportFlushMs = 33;

// Where a box appears (top-left on the screen), by what it is about: the
// search's beside the banner, an adapter's beside its figure.
std::optional<ScreenPoint> BoxPosition(BoxAbout about) {
    switch (about) {
    case BoxAbout::Nothing:
        break;
    case BoxAbout::Search:
        return ScreenPoint{375, 325};
    case BoxAbout::Adapter874X:
        return ScreenPoint{595, 250};
    case BoxAbout::Adapter875X:
        return ScreenPoint{725, 200};
    }
    return std::nullopt;
}

} // namespace

WindowPanel::WindowPanel(PanelWidgets widgets) : form_(std::move(widgets)) {
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

void WindowPanel::Status(std::string_view sentence) {
    bannerWritten_ = true;
    form_.SetBannerText(ToQ(sentence));
}

void WindowPanel::Progress(ProgressOf what, std::int64_t value) {
    // Quit keeps the last record programmed until the verify starts.
    if (what == ProgressOf::Programmed) return;
    form_.Quit_Func_But->setText(ToQ(QuitCaption(what, value)));
}

void WindowPanel::Difference(std::int32_t address, std::uint8_t expected, std::uint8_t found) {
    ReportLine(DifferenceLine(address, expected, found));
}

// On top of the list, above the differences it explains.
void WindowPanel::FailureDiagnosed(std::string_view line) {
    ReportLine(line);
}

void WindowPanel::Outcome(Task task, bool succeeded, std::int64_t) {
    // A search or an update ends inside an operation, which gives the verdict.
    if (task == Task::Operation) SettleBanner(succeeded ? BannerColour::Lime : BannerColour::Red);
    // The search's report is up only while it looks.
    if (task == Task::Search) form_.Memo1->hide();
}

void WindowPanel::LinkLost(std::uint32_t status, int timeouts) {
    InsertTopLine(form_.Memo2, LinkLostLine(status, timeouts));
    if (form_.LinkWaitFailed) form_.LinkWaitFailed();
}

// In the banner, which the failed outcome that follows turns red.
void WindowPanel::ProgrammerUnplugged(std::string_view sentence) {
    Status(sentence);
}

void WindowPanel::QuitOffered() {
    form_.Quit_Func_But->setEnabled(true);
}

void WindowPanel::WindowChanged(const AddressWindow& window) {
    const AddressCaptions captions = WindowCaptions(window);
    form_.Start_Buf_Add->setText(ToQ(captions.bufferStart));
    form_.Start_Add->setText(ToQ(captions.deviceStart));
    form_.End_Add->setText(ToQ(captions.deviceEnd));
    form_.Offset->setText(ToQ(captions.hexOffset));
}

void WindowPanel::Checksum(std::uint16_t sum) {
    form_.Chk_Sum_But->setText(ToQ(ChecksumCaption(sum)));
}

void WindowPanel::AutoVerifyChanged(bool on) {
    form_.Auto_Verify->setText(ToQ(AutoVerifyCaption(on)));
}

void WindowPanel::DeviceChanged(int row) {
    form_.Device->setText(ToQ(DeviceCaption(row)));
}

void WindowPanel::DeviceCommands(bool securityBits, bool erase) {
    form_.Security->setVisible(securityBits);
    form_.Erase_But->setVisible(erase);
    form_.Panel8->resize(form_.Panel8->width(), ProgramPanelHeight(securityBits, erase));
}

void WindowPanel::VppChanged(int setting) {
    // A setting without a name leaves the caption as it is.
    const std::string caption = VppCaption(setting);
    if (!caption.empty()) form_.Vpp_But->setText(ToQ(caption));
}

void WindowPanel::FileLoaded(std::string_view path) {
    form_.SetLastFileText(ToQ(LastFileCaption(path)));
}

void WindowPanel::BeginReport() {
    pendingReport_.clear();
    flushTimer_.stop();
    form_.Memo1->clear();
    form_.Memo1->show();
}

// A run that found nothing leaves no empty list behind.
void WindowPanel::NothingReported() {
    form_.Memo1->hide();
}

void WindowPanel::SettleBanner(BannerColour colour) {
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

void WindowPanel::ReportLine(std::string_view line) {
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

void WindowPanel::Warning(std::string_view text) {
    ReportLine(text);
    ShowMessage(BoxKind::Warning, text);
}

// Link troubles go in at the top, newest first; the firmware's checksum and
// the settings file's trouble read on from the bottom.
void WindowPanel::DiagnosticLine(DiagnosticOf what, std::string_view line) {
    if (what == DiagnosticOf::Link)
        InsertTopLine(form_.Memo2, line);
    else
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
    ApplyBannerColour(BannerColour::Yellow);
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

bool WindowPanel::ShowMessage(BoxKind kind, std::string_view text, BoxAbout about) {
    // The list behind the box is complete when the user reads it.
    FlushReport();
    // An adapter's figure stays up while its box is open.
    QWidget* figure = about == BoxAbout::Adapter874X   ? form_.A874X
                      : about == BoxAbout::Adapter875X ? form_.A875X
                                                       : nullptr;
    if (figure) figure->show();
    const bool answer = ShowMessageBox(form_.MainForm, kind, std::string(text), BoxPosition(about));
    if (figure) figure->hide();
    return answer;
}

std::optional<std::string> WindowPanel::ChooseFirmwareFile() {
    FlushReport();
    if (!ExecuteFileDialog(form_.MainForm, *form_.OpenDialog1)) return std::nullopt;
    return form_.OpenDialog1->FileName;
}

} // namespace velmar::ui

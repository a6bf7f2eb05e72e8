#include "Help.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include <fstream>
#include <iterator>

#include "buffer/TextLines.h"
#include "devices/OperationFrame.h"
#include "devices/ProgramState.h"

namespace velmar::ui {

namespace {

// Windows ANSI: 0x80 to 0x9F hold printable signs there, control codes in
// Latin-1. Unassigned places stay as they are.
constexpr char16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString FromAnsi(const std::string& line) {
    QString text;
    text.reserve(static_cast<qsizetype>(line.size()));
    for (unsigned char c : line) {
        if (c >= 0x80 && c <= 0x9F)
            text += QChar(kAnsiHigh[c - 0x80]);
        else
            text += QChar(c);
    }
    return text;
}

} // namespace

std::vector<std::string> SplitTextLines(const std::string& text) {
    // Help files of any platform: CR LF, LF or CR ends a line; a last line end
    // starts no line of its own.
    std::vector<std::string_view> lines = SplitLines(text, true);
    if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
    return std::vector<std::string>(lines.begin(), lines.end());
}

std::optional<std::vector<std::string>> ReadHelpLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return SplitTextLines(text);
}

Help::Help(HelpWidgets widgets, ProgramState& state)
    : QObject(widgets.MainForm), places(ProgramPlaces()), form_(std::move(widgets)), state_(state) {
    connect(form_.Help_1, &QPushButton::clicked, this,
            [this] { form_.AsHandler([this] { Help_1Click(); }); });
}

void Help::Help_1Click() {
    EndOperation(state_);
    form_.Memo1->hide();
    const auto lines = ReadHelpLines(HelpFileFor(places));
    if (!lines) return;
    form_.Help1->clear();
    form_.Start_Buf_Add->hide();
    form_.Start_Add->hide();
    form_.End_Add->hide();
    form_.Offset->hide();
    QStringList text;
    for (const std::string& line : *lines)
        text << FromAnsi(line);
    form_.Help1->setPlainText(text.join(QLatin1Char('\n')));
    form_.Help1->show();
}

} // namespace velmar::ui

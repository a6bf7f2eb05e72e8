#include "ConsolePanel.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "Platform.h"

namespace velmar::cli {

namespace {

constexpr int kBarWidth = 40;

volatile std::sig_atomic_t gInterrupted = 0;
// Mirrors the running operation's Quit button for the handler.
volatile std::sig_atomic_t gQuitOffered = 0;

// A second Ctrl-C ends the process at once (the platform layer sees to it).
void OnInterrupt() {
    gInterrupted = 1;
    if (gQuitOffered == 0)
        platform::WriteErrorRaw("\nvelmar-cli: this step has no Quit; it stops when Quit is "
                                "offered. Ctrl-C again ends at once.\n");
}

constexpr std::string_view kQuitPrefix = "&Quit = ";

// Box texts join their lines with CR LF; a terminal wants LF only.
std::string PlainLines(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    for (char c : text)
        if (c != '\r') plain.push_back(c);
    return plain;
}

} // namespace

ConsolePanel::ConsolePanel(std::FILE* out, std::FILE* err, bool progressBar)
    : out_(out), err_(err), progressBar_(progressBar) {}

void ConsolePanel::SetProgressRange(std::int32_t first, std::int32_t last) {
    first_ = first;
    last_ = last;
}

bool ConsolePanel::Showed(std::string_view text) const {
    for (const auto& box : boxes_)
        if (box.text == text) return true;
    return false;
}

void ConsolePanel::ErrorLine(std::string_view text) {
    FinishProgress();
    std::fprintf(err_, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(err_);
}

void ConsolePanel::InstallInterruptHandler() {
    platform::InstallInterruptHandler(OnInterrupt);
}

void ConsolePanel::RaiseInterrupt() {
    gInterrupted = 1;
}

void ConsolePanel::SetEnabled(Control control, bool enabled) {
    if (control != Control::QuitButton) return;
    quitEnabled_ = enabled;
    gQuitOffered = enabled ? 1 : 0;
}

// Only an operation that offers Quit can be stopped; erase, security bits and
// the firmware update run to their end as they do in the window.
void ConsolePanel::PumpEvents() {
    if (gInterrupted == 0 || !quitEnabled_ || stopFlag_ == nullptr) return;
    gInterrupted = 0;
    *stopFlag_ = 5;
    ErrorLine("(interrupted: Quit)");
}

void ConsolePanel::SetCaption(Control control, std::string_view text) {
    if (control == Control::Banner) {
        // The same sentence twice in a row (a pumped repaint) is shown once.
        if (text == banner_) return;
        banner_ = std::string(text);
        ErrorLine(text);
    } else if (control == Control::QuitButton) {
        if (progressBar_) DrawProgress(text);
    }
}

void ConsolePanel::DrawProgress(std::string_view caption) {
    if (caption.substr(0, kQuitPrefix.size()) != kQuitPrefix) return;
    const std::string digits(caption.substr(kQuitPrefix.size()));
    char* end = nullptr;
    const long address = std::strtol(digits.c_str(), &end, 16);
    if (end == digits.c_str()) return;
    const long span = static_cast<long>(last_) - first_ + 1;
    long done = address - first_;
    if (done < 0) done = 0;
    if (span <= 0 || done > span) done = span > 0 ? span : 0;
    const int filled = span > 0 ? static_cast<int>(done * kBarWidth / span) : 0;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(err_, "\r[%s] %s", bar.c_str(), digits.c_str());
    std::fflush(err_);
    barShown_ = true;
}

void ConsolePanel::FinishProgress() {
    if (!barShown_) return;
    std::fputs("\r\033[K", err_);
    barShown_ = false;
}

void ConsolePanel::InsertReportLine(std::string_view line) {
    // Standard output carries the difference lines alone, so that a script
    // can take them as they are; the link's time-out lines and the loader's
    // notes share Memo1 in the window but are messages here.
    if (line.find("  EXPECTED-") == std::string_view::npos) {
        ErrorLine(line);
        return;
    }
    FinishProgress();
    std::fprintf(out_, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(out_);
}

void ConsolePanel::InsertDiagnosticLine(std::string_view line) {
    ErrorLine(line);
}

void ConsolePanel::AppendDiagnosticLine(std::string_view line) {
    ErrorLine(line);
}

void ConsolePanel::EnterBusyState() {
    quitEnabled_ = false;
    gQuitOffered = 0;
}

void ConsolePanel::LeaveBusyState(bool) {
    quitEnabled_ = false;
    gQuitOffered = 0;
    FinishProgress();
}

bool ConsolePanel::ShowMessage(BoxKind kind, std::string_view text, std::optional<ScreenPoint>) {
    boxes_.push_back({kind, std::string(text)});
    // The adapter figure's box has no text; there is nothing to show.
    if (!text.empty()) ErrorLine(PlainLines(text));
    if (kind != BoxKind::Question) return true;
    ErrorLine(answerYes_ ? "(answered Yes)" : "(answered No)");
    return answerYes_;
}

std::optional<std::string> ConsolePanel::ChooseFirmwareFile() {
    return firmwareFile_;
}

} // namespace velmar::cli

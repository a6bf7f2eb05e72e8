#include "ConsolePanel.h"

#include <algorithm>
#include <bit>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "Platform.h"
#include "buffer/HexText.h"
#include "buffer/TextCase.h"
#include "buffer/TextLines.h"
#include "devices/DeviceOperations.h"
#include "devices/VppSelection.h"
#include "link/CommandLink.h"

namespace velmar::cli {

namespace {

constexpr int kBarWidth = 20;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

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

// "0:41", "1:02:03".
std::string Duration(std::chrono::steady_clock::duration span) {
    const long seconds =
        static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(span).count());
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", seconds / 60, seconds % 60);
    return text;
}

std::string Amounts(std::int64_t done, std::int64_t total) {
    char text[64];
    if (total >= 1024)
        std::snprintf(text, sizeof text, "%.1f/%.1f KiB", static_cast<double>(done) / 1024,
                      static_cast<double>(total) / 1024);
    else
        std::snprintf(text, sizeof text, "%lld/%lld B", static_cast<long long>(done),
                      static_cast<long long>(total));
    return text;
}

// Box texts join their lines with CR LF; a terminal wants LF only.
std::string PlainLines(std::string_view text) {
    std::string plain;
    plain.reserve(text.size());
    const std::vector<std::string_view> lines = SplitLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) plain.push_back('\n');
        plain += Printable(lines[i]);
    }
    return plain;
}

constexpr std::string_view kErrorPrefix = "velmar-cli: ";

} // namespace

std::string Printable(std::string_view text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) {
            shown.push_back(c);
            continue;
        }
        shown.push_back('\\');
        switch (c) {
        case '\n':
            shown.push_back('n');
            break;
        case '\r':
            shown.push_back('r');
            break;
        case '\t':
            shown.push_back('t');
            break;
        case '\0':
            shown.push_back('0');
            break;
        default:
            shown.push_back('x');
            shown.push_back(kDigits[u >> 4]);
            shown.push_back(kDigits[u & 0xF]);
        }
    }
    return shown;
}

namespace {
std::string gLastComplaint;
} // namespace

const std::string& LastComplaint() {
    return gLastComplaint;
}

void Complain(std::FILE* err, std::string_view text) {
    gLastComplaint = Printable(text);
    const std::string line = std::string(kErrorPrefix) + Printable(text) + "\n";
    std::fputs(line.c_str(), err);
    std::fflush(err);
}

void ConsolePanel::BeginLoad(const std::string& path) {
    loadPath_ = path;
    loadLine_ = 0;
    // No "this step has no Quit" note: Ctrl-C stops a load at the next line.
    gQuitOffered = 1;
}

void ConsolePanel::EndLoad() {
    loadPath_.reset();
    loadLine_ = 0;
    gQuitOffered = quitEnabled_ ? 1 : 0;
}

bool ConsolePanel::ContinueLoad(int lineNumber) {
    loadLine_ = lineNumber;
    if (gInterrupted == 0 || !loadPath_) return true;
    gInterrupted = 0;
    stopped_ = true;
    return false;
}

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
    ClearBar();
    std::fprintf(err_, "%.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(err_);
}

void ConsolePanel::InstallInterruptHandler() {
    platform::InstallInterruptHandler(OnInterrupt);
}

void ConsolePanel::RaiseInterrupt() {
    gInterrupted = 1;
}

void ConsolePanel::QuitOffered() {
    quitEnabled_ = true;
    gQuitOffered = 1;
}

// Only an operation that offers Quit can be stopped; erase, security bits and
// the firmware update run to their end as they do in the window.
void ConsolePanel::PumpEvents() {
    if (gInterrupted == 0 || !quitEnabled_ || !requestStop_) return;
    gInterrupted = 0;
    stopped_ = true;
    requestStop_();
    interrupted_ = true;
    ErrorLine("(interrupted: Quit)");
}

void ConsolePanel::Status(std::string_view sentence) {
    // The same sentence twice in a row (a pumped repaint) is shown once.
    if (sentence == banner_) return;
    banner_ = std::string(sentence);
    if (verbosity_ < 0)
        heldBanner_ = banner_;
    else
        ErrorLine(sentence);
}

void ConsolePanel::VppChanged(int setting) {
    const std::string_view volts = VppVolts(setting);
    if (volts.empty()) return;
    const std::string text = "Vpp = " + std::string(volts);
    if (text == vpp_) return;
    vpp_ = text;
    Detail(text);
}

void ConsolePanel::Outcome(Task task, bool succeeded, std::int64_t stoppedAt) {
    outcomes_[static_cast<std::size_t>(task)] = succeeded;
    if (task != Task::Operation) return;
    operationEnd_ = stoppedAt;
    // Quiet: a sentence is an error once the operation has failed.
    if (!succeeded && !heldBanner_.empty()) Complain(err_, heldBanner_);
    heldBanner_.clear();
}

std::optional<bool> ConsolePanel::LastOutcome(Task task) const {
    return outcomes_[static_cast<std::size_t>(task)];
}

void ConsolePanel::Detail(std::string_view text) {
    if (verbosity_ >= 1) ErrorLine(text);
}

void ConsolePanel::Message(std::string_view text) {
    if (verbosity_ >= 0) ErrorLine(text);
}

void ConsolePanel::StartPhase(std::string name) {
    phase_ = std::move(name);
    phaseStart_ = Clock::now();
    lastDraw_ = Clock::time_point{};
    done_ = -1;
    tenthsShown_ = 0;
}

// The bar stays on screen with the elapsed time; a phase that never moved
// leaves no empty bar behind.
void ConsolePanel::EndPhase() {
    if (phase_.empty()) return;
    if (barShown_ && done_ > 0) {
        DrawBar(true);
    } else {
        ClearBar();
    }
    phase_.clear();
}

// Only the addresses a device operation reaches move the progress; where it
// starts, a file load and the firmware records do not.
void ConsolePanel::Progress(ProgressOf what, std::int64_t address) {
    if (what == ProgressOf::Programmed) {
        programmedTo_ = address;
        programmingTime_ = Clock::now() - phaseStart_;
    }
    if (what != ProgressOf::Device && what != ProgressOf::Programmed) return;
    if (phase_.empty()) return;
    const std::int64_t total = std::int64_t{last_} - first_ + 1;
    if (total <= 0) return;
    const std::int64_t done = std::clamp<std::int64_t>(address - first_, 0, total);
    if (done <= done_) return;
    done_ = done;
    if (progressLines_) {
        const int percent = static_cast<int>(done * 100 / total);
        if (percent / 10 > tenthsShown_) {
            tenthsShown_ = percent / 10;
            ClearBar();
            std::fprintf(err_, "progress %s %d %lld %lld\n", Lower(phase_).c_str(), percent,
                         static_cast<long long>(done), static_cast<long long>(total));
            std::fflush(err_);
        }
    }
    if (!progressBar_ || verbosity_ < 0 || verbosity_ >= 2) return;
    const Clock::time_point now = Clock::now();
    if (barShown_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    DrawBar(false);
}

void ConsolePanel::DrawBar(bool final) {
    const std::int64_t total = std::int64_t{last_} - first_ + 1;
    const std::int64_t done = std::max<std::int64_t>(done_, 0);
    const int filled = static_cast<int>(done * kBarWidth / total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), ' ');
    const Clock::duration elapsed = Clock::now() - phaseStart_;
    std::string time;
    if (final) {
        time = "in " + Duration(elapsed);
    } else if (done > 0) {
        time = Duration(elapsed * (total - done) / done) + " left";
    }
    std::fprintf(err_, "\r%s |%s| %3d%%  %s  %s\033[K%s", phase_.c_str(), bar.c_str(),
                 static_cast<int>(done * 100 / total), Amounts(done, total).c_str(), time.c_str(),
                 final ? "\n" : "");
    std::fflush(err_);
    barShown_ = !final;
}

void ConsolePanel::ClearBar() {
    if (!barShown_) return;
    std::fputs("\r\033[K", err_);
    barShown_ = false;
}

// Standard output carries the difference lines alone, so that a script can
// take them as they are.
void ConsolePanel::Difference(std::int32_t address, std::uint8_t expected, std::uint8_t found) {
    if (diffBytes_ == 0 || address < firstDiff_) firstDiff_ = address;
    if (diffBytes_ == 0 || address > lastDiff_) lastDiff_ = address;
    ++diffBytes_;
    diffBits_ += std::popcount(static_cast<unsigned>(expected ^ found));
    if (maxDiffs_ >= 0 && diffsShown_ >= maxDiffs_) return;
    ++diffsShown_;
    if (collectDiffs_) {
        report_.differenceList.push_back({address, expected, found});
        return;
    }
    ClearBar();
    const std::string line = DifferenceLine(address, expected, found);
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}

std::string ConsolePanel::DifferenceSummary() const {
    if (diffBytes_ == 0) return "0 differing bytes";
    std::string line = std::to_string(diffBytes_) +
                       (diffBytes_ == 1 ? " differing byte, " : " differing bytes, ") +
                       std::to_string(diffBits_) +
                       (diffBits_ == 1 ? " differing bit, first " : " differing bits, first ") +
                       HexText(firstDiff_, 4) + ", last " + HexText(lastDiff_, 4);
    if (diffsShown_ + diffsUnlisted_ < diffBytes_)
        line += " (" + std::to_string(diffBytes_ - diffsShown_ - diffsUnlisted_) +
                " lines not shown, --max-diffs)";
    return line;
}

void ConsolePanel::CountUnlisted(const DifferenceCount& found) {
    if (found.Bytes == 0) return;
    if (diffBytes_ == 0 || found.First < firstDiff_) firstDiff_ = found.First;
    if (diffBytes_ == 0 || found.Last > lastDiff_) lastDiff_ = found.Last;
    diffBytes_ += found.Bytes;
    diffBits_ += found.Bits;
    diffsUnlisted_ += found.Bytes;
}

void ConsolePanel::ResetDifferences() {
    diffBytes_ = diffBits_ = diffsShown_ = diffsUnlisted_ = 0;
    firstDiff_ = lastDiff_ = 0;
    report_.differenceList.clear();
    diagnosis_.clear();
}

void ConsolePanel::ReportDifferences() {
    report_.differences = diffBytes_;
    report_.differingBits = diffBits_;
    report_.firstDifference.reset();
    report_.lastDifference.reset();
    if (diffBytes_ == 0) return;
    report_.firstDifference = firstDiff_;
    report_.lastDifference = lastDiff_;
}

bool ConsolePanel::TakeInterrupt() {
    if (gInterrupted == 0) return false;
    gInterrupted = 0;
    return true;
}

void ConsolePanel::FinishProgress() {
    EndPhase();
    ClearBar();
}

// The link's time-out lines and the loader's warnings are messages here.
void ConsolePanel::ReportLine(std::string_view line) {
    if (heldWarnings_) {
        heldWarnings_->emplace_back(line);
        return;
    }
    ClearBar();
    Complain(err_, line);
}

// The window shows a warning in its list and in a box; here it is one line,
// even when -q silences the other boxes.
void ConsolePanel::Warning(std::string_view text) {
    boxes_.push_back({BoxKind::Warning, std::string(text)});
    ReportLine(text);
}

void ConsolePanel::HoldWarnings() {
    heldWarnings_.emplace();
}

void ConsolePanel::ReleaseWarnings(bool show) {
    if (!heldWarnings_) return;
    const std::vector<std::string> lines = std::move(*heldWarnings_);
    heldWarnings_.reset();
    if (!show) return;
    ClearBar();
    for (const std::string& line : lines)
        Complain(err_, line);
}

// Link troubles are errors; the firmware's checksum dump is plain lines.
void ConsolePanel::DiagnosticLine(DiagnosticOf what, std::string_view line) {
    if (what != DiagnosticOf::Link) return ErrorLine(line);
    // The reply a Quit stopped waiting for comes late and is dropped: the
    // operator's doing, not a fault of the link.
    if (stopped_ && line.starts_with("Late reply dropped")) return Detail(line);
    ClearBar();
    Complain(err_, line);
}

void ConsolePanel::LinkLost(std::uint32_t status, int timeouts) {
    linkLost_ = true;
    DiagnosticLine(DiagnosticOf::Link, LinkLostLine(status, timeouts));
}

// An error line whatever the verbosity: the run failed and this is why.
void ConsolePanel::ProgrammerUnplugged(std::string_view sentence) {
    ClearBar();
    Complain(err_, sentence);
}

// An operation inside another (the verify after programming) is a phase of
// its own; the outer one is over when it starts.
void ConsolePanel::EnterBusyState() {
    quitEnabled_ = false;
    gQuitOffered = 0;
    if (!operation_.empty()) {
        const bool nested = busyDepth_ > 0;
        EndPhase();
        StartPhase(nested ? "Verify" : operation_);
    }
    ++busyDepth_;
}

void ConsolePanel::LeaveBusyState(bool) {
    quitEnabled_ = false;
    gQuitOffered = 0;
    if (busyDepth_ > 0) --busyDepth_;
    EndPhase();
}

bool ConsolePanel::ShowMessage(BoxKind kind, std::string_view text, BoxAbout) {
    boxes_.push_back({kind, std::string(text)});
    if (kind == BoxKind::Warning && verbosity_ < 0) return true;
    if (kind == BoxKind::Error || kind == BoxKind::Warning) {
        ClearBar();
        if (loadPath_) {
            // During a load the text may carry pieces of the file: one line,
            // every control character escaped, named by file and line.
            std::string line;
            if (kind == BoxKind::Error && loadLine_ > 0)
                line = *loadPath_ + ":" + std::to_string(loadLine_) + ": ";
            line.append(text);
            if (kind == BoxKind::Warning && heldWarnings_)
                heldWarnings_->push_back(line);
            else
                Complain(err_, line);
        } else {
            // The window's boxes join their lines with CR LF: each line is an
            // error line of its own. A lone LF is a file name's own and stays
            // in its line, escaped, so that the name is not cut in two.
            for (std::size_t from = 0;;) {
                const std::size_t end = text.find("\r\n", from);
                Complain(err_, text.substr(from, end == std::string_view::npos ? end : end - from));
                if (end == std::string_view::npos) break;
                from = end + 2;
            }
        }
        return true;
    }
    // The adapter figure's box has no text; there is nothing to show.
    if (!text.empty()) Message(PlainLines(text));
    if (kind != BoxKind::Question) return true;
    Message(answerYes_ ? "(answered Yes)" : "(answered No)");
    return answerYes_;
}

std::optional<std::string> ConsolePanel::ChooseFirmwareFile() {
    return firmwareFile_;
}

} // namespace velmar::cli

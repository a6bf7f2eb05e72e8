#pragma once
// The front panel of the command line: status sentences and boxes go to the
// error stream, differences to standard output as lines, and an operation's
// progress becomes a progress bar when the error stream is a terminal.

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RunReport.h"
#include "buffer/FrontPanel.h"
#include "devices/FailureDiagnosis.h"

namespace velmar::cli {

struct ShownBox {
    BoxKind kind;
    std::string text;
};

class ConsolePanel : public FrontPanel {
  public:
    ConsolePanel(std::FILE* out, std::FILE* err, bool progressBar);

    // Questions are answered Yes when set, No otherwise.
    void AnswerQuestionsYes(bool yes) { answerYes_ = yes; }
    // What the firmware file chooser returns (none = cancelled).
    void SetFirmwareFile(std::optional<std::string> path) { firmwareFile_ = std::move(path); }
    // The device range the progress bar spans.
    void SetProgressRange(std::int32_t first, std::int32_t last);
    // The operation the progress shows ("Program"); empty: no progress (erase
    // and security bits set address latches that are not progress).
    void SetOperationName(std::string name) { operation_ = std::move(name); }
    // One "progress program 48 15872 32768" line per tenth on the error
    // stream, whether or not it is a terminal.
    void SetProgressLines(bool on) { progressLines_ = on; }
    // -1 quiet (errors and difference lines only), 0, 1 and 2 verbose.
    void SetVerbosity(int level) { verbosity_ = level; }
    int Verbosity() const { return verbosity_; }
    // Difference lines printed at most (-1: all); they are counted regardless.
    void SetMaxDiffs(long lines) { maxDiffs_ = lines; }
    // A line for -v (and -vv) only.
    void Detail(std::string_view text);
    // A line shown unless -q.
    void Message(std::string_view text);

    // The differing bytes seen so far and their summary line.
    long DifferingBytes() const { return diffBytes_; }
    std::string DifferenceSummary() const;
    // An interrupt (Ctrl-C) acts as a click on Quit: while the operation has
    // Quit enabled, the next pump asks the core to stop through this.
    void SetStopRequest(std::function<void()> requestStop) {
        requestStop_ = std::move(requestStop);
    }
    static void InstallInterruptHandler();
    static void RaiseInterrupt(); // what the handler does; tests call it

    // Difference lines go into Report().differenceList instead of standard
    // output (--json: standard output carries the one object).
    void CollectDifferences(bool on) { collectDiffs_ = on; }
    // Differing bytes a read of its own found (the diagnosis of a refused
    // block): counted in the summary, not listed.
    void CountUnlisted(const DifferenceCount& found);
    // A new part: its differences are counted from zero, nothing diagnosed.
    void ResetDifferences();
    // The counts so far into Report().
    void ReportDifferences();
    // What the run found out, for --json and the log.
    RunReport& Report() { return report_; }
    // True once Ctrl-C stopped the operation or the load.
    bool Stopped() const { return stopped_; }
    // Ctrl-C (or SIGTERM) ended a run between operations (the part prompt).
    void NoteStopped() { stopped_ = true; }
    // True once a reply wait found the programmer gone.
    bool LinkWasLost() const { return linkLost_; }
    // True (and forgotten) when Ctrl-C came while nothing could be stopped.
    static bool TakeInterrupt();
    // The diagnosis of the last failed run (empty: none), the device address
    // the last programming run reached, and whether Ctrl-C stopped a run.
    const std::string& Diagnosis() const { return diagnosis_; }
    std::int64_t ProgrammedTo() const { return programmedTo_; }
    // From the start of the last programming run to the end of its blocks.
    std::chrono::steady_clock::duration ProgrammingTime() const { return programmingTime_; }
    bool Interrupted() const { return interrupted_; }

    // The last status sentence, and every box shown.
    const std::string& Banner() const { return banner_; }
    const std::vector<ShownBox>& Boxes() const { return boxes_; }
    bool Showed(std::string_view text) const;
    // How the last task of its kind ended; none = it never ended here.
    std::optional<bool> LastOutcome(Task task) const;
    // The device address the last operation ended at (past its end when it
    // ran to the end).
    std::int64_t OperationEnd() const { return operationEnd_; }

    void Status(std::string_view sentence) override;
    void Progress(ProgressOf what, std::int64_t value) override;
    void Difference(std::int32_t address, std::uint8_t expected, std::uint8_t found) override;
    void FailureDiagnosed(std::string_view line) override { diagnosis_ = std::string(line); }
    void Outcome(Task task, bool succeeded, std::int64_t stoppedAt) override;
    void LinkLost(std::uint32_t status, int timeouts) override;
    void ProgrammerUnplugged(std::string_view sentence) override;
    void QuitOffered() override;
    void VppChanged(int setting) override;
    void ReportLine(std::string_view line) override;
    void Warning(std::string_view text) override;
    void DiagnosticLine(DiagnosticOf what, std::string_view line) override;
    void EnterBusyState() override;
    void LeaveBusyState(bool) override;
    void PumpEvents() override;
    bool ShowMessage(BoxKind kind, std::string_view text,
                     BoxAbout about = BoxAbout::Nothing) override;
    std::optional<std::string> ChooseFirmwareFile() override;

    // Removes a progress bar still on screen.
    void FinishProgress();

    // While a data file is loaded: Ctrl-C stops the load, and an error box
    // names the file and the line being read ("image.hex:12: ...").
    void BeginLoad(const std::string& path);
    void EndLoad();
    bool ContinueLoad(int lineNumber) override;

    // Warnings (report lines and warning boxes) wait from here on, so that a
    // file the caller then refuses is not also reported as loaded with them.
    void HoldWarnings();
    // Shows the held warnings in their order, or drops them; holds no more.
    void ReleaseWarnings(bool show);

  private:
    using Clock = std::chrono::steady_clock;
    void ErrorLine(std::string_view text);
    void ClearBar();
    void StartPhase(std::string name);
    void EndPhase();
    void DrawBar(bool final);

    std::FILE* out_;
    std::FILE* err_;
    bool progressBar_;
    bool barShown_ = false;
    bool answerYes_ = false;
    std::optional<std::string> firmwareFile_;
    bool quitEnabled_ = false;
    std::function<void()> requestStop_;
    std::int32_t first_ = 0;
    std::int32_t last_ = 0;
    std::string banner_;
    std::vector<ShownBox> boxes_;
    std::optional<std::string> loadPath_;
    int loadLine_ = 0;
    std::optional<std::vector<std::string>> heldWarnings_;

    int verbosity_ = 0;
    std::string vpp_;
    std::string heldBanner_; // -q: shown only when the banner turns red
    std::string operation_;
    bool progressLines_ = false;
    int busyDepth_ = 0;
    // The phase the progress shows: its name, start, the furthest point
    // reached (progress never goes back), the last draw and tenth printed.
    std::string phase_;
    Clock::time_point phaseStart_{};
    Clock::time_point lastDraw_{};
    std::int64_t done_ = -1;
    int tenthsShown_ = 0;
    long maxDiffs_ = -1;
    long diffBytes_ = 0;
    long diffBits_ = 0;
    long diffsShown_ = 0;
    long diffsUnlisted_ = 0; // counted from a read of their own, never lines
    std::int32_t firstDiff_ = 0;
    std::int32_t lastDiff_ = 0;
    std::array<std::optional<bool>, 3> outcomes_{};
    std::string diagnosis_;
    std::int64_t programmedTo_ = -1;
    Clock::duration programmingTime_{};
    bool interrupted_ = false;
    std::int64_t operationEnd_ = 0;
    bool collectDiffs_ = false;
    bool stopped_ = false;
    bool linkLost_ = false;
    RunReport report_;
};

// The text with every control character written as an escape (\n, \r, \t,
// \0, \xNN), so a file's contents or name never move the terminal's cursor.
std::string Printable(std::string_view text);

// "velmar-cli: " + the printable text, one line on the error stream.
void Complain(std::FILE* err, std::string_view text);
// The text of the last Complain, printable.
const std::string& LastComplaint();

} // namespace velmar::cli

#pragma once
// The front panel of the command line: the window's sentences and boxes go to
// the error stream, the difference lines of the report list to standard output,
// and the Quit button's address becomes a progress bar when the error stream
// is a terminal.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "buffer/FrontPanel.h"

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
    // An interrupt (Ctrl-C) acts as a click on Quit: while the operation has
    // Quit enabled, the next pump sets this stop counter to 5.
    void SetStopTarget(std::int32_t* stopFlag) { stopFlag_ = stopFlag; }
    static void InstallInterruptHandler();
    static void RaiseInterrupt(); // what the handler does; tests call it

    const std::string& Banner() const { return banner_; }
    const std::vector<ShownBox>& Boxes() const { return boxes_; }
    bool Showed(std::string_view text) const;

    void SetCaption(Control control, std::string_view text) override;
    void SetVisible(Control, bool) override {}
    void SetEnabled(Control control, bool enabled) override;
    void SetHeight(Control, int) override {}
    void SetBannerColour(BannerColour) override {}
    void InsertReportLine(std::string_view line) override;
    void ClearReport() override {}
    void InsertDiagnosticLine(std::string_view line) override;
    void AppendDiagnosticLine(std::string_view line) override;
    void EnterBusyState() override;
    void LeaveBusyState(bool) override;
    void PumpEvents() override;
    bool ShowMessage(BoxKind kind, std::string_view text,
                     std::optional<ScreenPoint> at = std::nullopt) override;
    std::optional<std::string> ChooseFirmwareFile() override;

    // Removes a progress bar still on screen.
    void FinishProgress();

    // While a data file is loaded: Ctrl-C stops the load, and an error box
    // names the file and the line being read ("image.hex:12: ...").
    void BeginLoad(const std::string& path);
    void EndLoad();
    bool ContinueLoad(int lineNumber) override;

  private:
    void ErrorLine(std::string_view text);
    void DrawProgress(std::string_view caption);

    std::FILE* out_;
    std::FILE* err_;
    bool progressBar_;
    bool barShown_ = false;
    bool answerYes_ = false;
    std::optional<std::string> firmwareFile_;
    bool quitEnabled_ = false;
    std::int32_t* stopFlag_ = nullptr;
    std::int32_t first_ = 0;
    std::int32_t last_ = 0;
    std::string banner_;
    std::vector<ShownBox> boxes_;
    std::optional<std::string> loadPath_;
    int loadLine_ = 0;
    std::string lastReportLine_;
};

// The text with every control character written as an escape (\n, \r, \t,
// \0, \xNN), so a file's contents or name never move the terminal's cursor.
std::string Printable(std::string_view text);

// "velmar-cli: " + the printable text, one line on the error stream.
void Complain(std::FILE* err, std::string_view text);

} // namespace velmar::cli

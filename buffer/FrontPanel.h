#pragma once
// The one door from the core to whoever shows the program to a person: the
// window, the command line, or a test recorder. The core never touches a
// widget; it names controls by role and this interface maps them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

enum class BoxKind { Information, Warning, Error, Question };
enum class BannerColour { Yellow, Lime, Red };

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// Controls whose caption, visibility or height the core changes.
enum class Control {
    Banner,            // StaticText3
    LastFile,          // StaticText4
    QuitButton,        // Quit_Func_But (progress caption)
    ChecksumButton,    // Chk_Sum_But
    DeviceButton,      // Device
    VppButton,         // Vpp_But
    AutoVerifyButton,  // Auto_Verify
    FileButton,        // File_But
    BufferStartButton, // Start_Buf_Add
    DeviceStartButton, // Start_Add
    DeviceEndButton,   // End_Add
    HexOffsetButton,   // Offset
    ProgramButton,     // Programm
    SecurityButton,    // Security
    EraseButton,       // Erase_But
    ProgramPanel,      // Panel8
    ReportList,        // Memo1
    HelpText,          // Help1
    Figure874X,        // A874X
    Figure875X,        // A875X
    DeviceList,        // Device_Box
    SecurityList,      // Security_List
    FillList,          // FillBox
    FillEntry,         // Fill_Edit
    FileTypeList,      // File_Type
};

class FrontPanel {
  public:
    virtual ~FrontPanel() = default;

    virtual void SetCaption(Control control, std::string_view text) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetHeight(Control control, int pixels) = 0;
    virtual void SetBannerColour(BannerColour colour) = 0;

    // Memo1: lines go in at the top, newest first.
    virtual void InsertReportLine(std::string_view line) = 0;
    virtual void ClearReport() = 0;
    // Memo2: link failures at the top, firmware dumps at the bottom.
    virtual void InsertDiagnosticLine(std::string_view line) = 0;
    virtual void AppendDiagnosticLine(std::string_view line) = 0;

    // The busy state: BeginOperation disables all 23 buttons, hides Memo1 and
    // Help1 and shows the address buttons; EndOperation enables the ten device
    // buttons only when deviceButtons is true, the thirteen others always, and
    // hides Help1, FillBox, Fill_Edit and File_Type.
    virtual void EnterBusyState() = 0;
    virtual void LeaveBusyState(bool deviceButtons) = 0;

    // Let the window process pending events once.
    virtual void PumpEvents() = 0;

    // Modal boxes. `at` is the top-left screen position, none = centred.
    // Question boxes have Yes/No and return true for Yes; the others have OK.
    virtual bool ShowMessage(BoxKind kind, std::string_view text,
                             std::optional<ScreenPoint> at = std::nullopt) = 0;

    // The open dialog used for firmware images (OpenDialog1); none = cancelled.
    virtual std::optional<std::string> ChooseFirmwareFile() = 0;

    // Facts beside the captions and lines above, for a front end that counts
    // or measures rather than shows them: the device address an operation
    // has reached, and one differing byte, given just before its report line.
    virtual void NoteProgress(std::int64_t address) { (void)address; }
    virtual void NoteDifference(std::int32_t address, std::uint8_t expected, std::uint8_t found) {
        (void)address;
        (void)expected;
        (void)found;
    }

    // Asked by a text load before each line; false stops the load. The line
    // number lets a front end name the place of a malformed field. The window
    // processes no events during a load, so by default it never stops one.
    virtual bool ContinueLoad(int lineNumber) {
        (void)lineNumber;
        return true;
    }
};

// A panel that shows nothing and answers every question with No / cancel.
class SilentPanel : public FrontPanel {
  public:
    void SetCaption(Control, std::string_view) override {}
    void SetVisible(Control, bool) override {}
    void SetEnabled(Control, bool) override {}
    void SetHeight(Control, int) override {}
    void SetBannerColour(BannerColour) override {}
    void InsertReportLine(std::string_view) override {}
    void ClearReport() override {}
    void InsertDiagnosticLine(std::string_view) override {}
    void AppendDiagnosticLine(std::string_view) override {}
    void EnterBusyState() override {}
    void LeaveBusyState(bool) override {}
    void PumpEvents() override {}
    bool ShowMessage(BoxKind, std::string_view, std::optional<ScreenPoint>) override {
        return false;
    }
    std::optional<std::string> ChooseFirmwareFile() override { return std::nullopt; }
};

// Forwards to whichever panel is attached; the core holds one of these so a
// front end can attach itself after the program state exists.
class PanelSocket : public FrontPanel {
  public:
    void Attach(FrontPanel* panel) { target_ = panel ? panel : &silent_; }
    FrontPanel& Target() { return *target_; }

    void SetCaption(Control c, std::string_view t) override { target_->SetCaption(c, t); }
    void SetVisible(Control c, bool v) override { target_->SetVisible(c, v); }
    void SetEnabled(Control c, bool e) override { target_->SetEnabled(c, e); }
    void SetHeight(Control c, int h) override { target_->SetHeight(c, h); }
    void SetBannerColour(BannerColour c) override { target_->SetBannerColour(c); }
    void InsertReportLine(std::string_view l) override { target_->InsertReportLine(l); }
    void ClearReport() override { target_->ClearReport(); }
    void InsertDiagnosticLine(std::string_view l) override { target_->InsertDiagnosticLine(l); }
    void AppendDiagnosticLine(std::string_view l) override { target_->AppendDiagnosticLine(l); }
    void EnterBusyState() override { target_->EnterBusyState(); }
    void LeaveBusyState(bool d) override { target_->LeaveBusyState(d); }
    void PumpEvents() override { target_->PumpEvents(); }
    bool ShowMessage(BoxKind k, std::string_view t, std::optional<ScreenPoint> at) override {
        return target_->ShowMessage(k, t, at);
    }
    std::optional<std::string> ChooseFirmwareFile() override {
        return target_->ChooseFirmwareFile();
    }
    bool ContinueLoad(int lineNumber) override { return target_->ContinueLoad(lineNumber); }
    void NoteProgress(std::int64_t address) override { target_->NoteProgress(address); }
    void NoteDifference(std::int32_t address, std::uint8_t expected, std::uint8_t found) override {
        target_->NoteDifference(address, expected, found);
    }

  private:
    SilentPanel silent_;
    FrontPanel* target_ = &silent_;
};

} // namespace velmar

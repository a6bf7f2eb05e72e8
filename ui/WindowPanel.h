#pragma once
// The window's side of FrontPanel: turns each reported fact into the captions,
// lines and colours of its widgets and runs the busy state on the real
// buttons.

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

#include "buffer/FrontPanel.h"

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QWidget;
class QPushButton;
class QPlainTextEdit;

namespace velmar::ui {

struct FileDialog;

// The controls the panel drives, by the window's own names, and the few
// routines of the form it calls; the form that made them fills this in.
struct PanelWidgets {
    QWidget* MainForm = nullptr; // the parent of boxes and dialogs
    // The buttons that need a programmer.
    QPushButton* Quit_Func_But = nullptr;
    QPushButton* Programm = nullptr;
    QPushButton* Verify = nullptr;
    QPushButton* Auto_Verify = nullptr;
    QPushButton* Move_Eprom = nullptr;
    QPushButton* Blank_Chk = nullptr;
    QPushButton* Erase_But = nullptr;
    QPushButton* Vpp_But = nullptr;
    QPushButton* Compare = nullptr;
    QPushButton* Security = nullptr;
    // The buttons that do not.
    QPushButton* Start_Buf_Add = nullptr;
    QPushButton* Chk_Sum_But = nullptr;
    QPushButton* Start_Add = nullptr;
    QPushButton* Save_But = nullptr;
    QPushButton* Load_But = nullptr;
    QPushButton* File_But = nullptr;
    QPushButton* End_Add = nullptr;
    QPushButton* Offset = nullptr;
    QPushButton* Device = nullptr;
    QPushButton* Help_1 = nullptr;
    QPushButton* Scale = nullptr;
    QPushButton* Edit = nullptr;
    QPushButton* Fill = nullptr;

    QFrame* Panel8 = nullptr;
    QLabel* StaticText3 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QPlainTextEdit* Help1 = nullptr;
    QPlainTextEdit* A874X = nullptr;
    QPlainTextEdit* A875X = nullptr;
    QListWidget* FillBox = nullptr;
    QListWidget* File_Type = nullptr;
    QLineEdit* Fill_Edit = nullptr;
    FileDialog* OpenDialog1 = nullptr;

    // The banner's and the last file's labels are as wide as their texts.
    std::function<void(const QString&)> SetBannerText;
    std::function<void(const QString&)> SetLastFileText;
    // A link wait failed ("Device no longer present" line).
    std::function<void()> LinkWaitFailed;
};

inline constexpr const char* kBannerYellow = "#ffff00";
inline constexpr const char* kBannerLime = "#00ff00";
inline constexpr const char* kBannerRed = "#ff0000";

class WindowPanel : public FrontPanel {
  public:
    explicit WindowPanel(PanelWidgets widgets);

    void Status(std::string_view sentence) override;
    void Progress(ProgressOf what, std::int64_t value) override;
    void Difference(std::int32_t address, std::uint8_t expected, std::uint8_t found) override;
    void FailureDiagnosed(std::string_view line) override;
    void Outcome(Task task, bool succeeded, std::int64_t stoppedAt) override;
    void LinkLost(std::uint32_t status, int timeouts) override;
    void ProgrammerUnplugged(std::string_view sentence) override;
    void QuitOffered() override;
    void WindowChanged(const AddressWindow& window) override;
    void Checksum(std::uint16_t sum) override;
    void AutoVerifyChanged(bool on) override;
    void DeviceChanged(int row) override;
    void DeviceCommands(bool securityBits, bool erase) override;
    void VppChanged(int setting) override;
    void FileLoaded(std::string_view path) override;
    void BeginReport() override;
    void NothingReported() override;
    void ReportLine(std::string_view line) override;
    void Warning(std::string_view text) override;
    void DiagnosticLine(DiagnosticOf what, std::string_view line) override;
    void EnterBusyState() override;
    void LeaveBusyState(bool deviceButtons) override;
    void PumpEvents() override;
    bool ShowMessage(BoxKind kind, std::string_view text,
                     BoxAbout about = BoxAbout::Nothing) override;
    std::optional<std::string> ChooseFirmwareFile() override;


    // The ten buttons that need a programmer, and the thirteen that do not.
    std::vector<QPushButton*> DeviceButtons() const;
    std::vector<QPushButton*> WindowButtons() const;
    std::vector<QPushButton*> AddressButtons() const;

    // Report lines that arrived while the window was busy and are not in
    // Memo1 yet; they go in together at most about 30 times a second.
    int PendingReportLines() const { return static_cast<int>(pendingReport_.size()); }
    void FlushReport();

  private:
    enum class BannerColour { Yellow, Lime, Red };
    void SettleBanner(BannerColour colour);
    void ApplyBannerColour(BannerColour colour);

    PanelWidgets form_;
    // The colour the banner settled on after the last step that wrote a
    // status text; a step without one of its own leaves it standing. Before
    // any verdict nothing has failed.
    BannerColour settledColour_ = BannerColour::Lime;
    bool bannerWritten_ = false;
    bool busy_ = false;
    std::vector<std::string> pendingReport_;
    QElapsedTimer sinceFlush_;
    QTimer flushTimer_;
};

// Inserts a line at the top of a text box (newest first).
void InsertTopLine(QPlainTextEdit* memo, std::string_view line);

} // namespace velmar::ui

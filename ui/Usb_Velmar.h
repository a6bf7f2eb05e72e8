#pragma once
// The main window: every control of the program, the handlers that wire the
// buttons to the core, the busy-state panel and the Large/Small scaling.

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "Dialogs.h"

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QCloseEvent;

namespace velmar {
class ProgramState;
}

namespace velmar::ui {
class WindowPanel;
struct PanelWidgets;
struct DropWindow;
struct EditorWidgets;
struct EntryWidgets;
struct HelpWidgets;
struct StartupWidgets;
} // namespace velmar::ui

// The window's client area: the original's outer 743 x 498 with the Windows
// frame and title bar (4 + 4 wide, 30 + 4 high) taken off.
inline constexpr int kClientWidth = 735;
inline constexpr int kClientHeight = 464;

inline constexpr const char* kMainCaption =
    "Velmar for The Brindle Programmer USB  Windows  V1.02  8 Oct 07";

class TMainForm : public QWidget {
    Q_OBJECT

  public:
    explicit TMainForm(velmar::ProgramState& state, QWidget* parent = nullptr);
    ~TMainForm() override;

    velmar::ProgramState& State() { return state_; }
    velmar::ui::WindowPanel& Panel() { return *panel_; }

    // Panels, in the stacking order of the design.
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QFrame* Panel4 = nullptr;
    QFrame* Panel5 = nullptr;
    QFrame* Panel6 = nullptr;
    QFrame* Panel7 = nullptr;
    QFrame* Panel8 = nullptr;

    // Panel8 (red)
    QPushButton* Programm = nullptr;
    QPushButton* Security = nullptr;
    QPushButton* Erase_But = nullptr;
    // Panel7 (lime)
    QPushButton* Blank_Chk = nullptr;
    QPushButton* Verify = nullptr;
    QPushButton* Move_Eprom = nullptr;
    QPushButton* Compare = nullptr;
    QPushButton* Device = nullptr;
    // Panel6 (yellow)
    QPushButton* Edit = nullptr;
    QPushButton* Fill = nullptr;
    // Panel5 (fuchsia)
    QPushButton* Auto_Verify = nullptr;
    QPushButton* Vpp_But = nullptr;
    // Panel4 (silver)
    QPushButton* Help_1 = nullptr;
    QPushButton* Scale = nullptr;
    // Panel3 (aqua)
    QPushButton* Chk_Sum_But = nullptr;
    QPushButton* File_But = nullptr;
    QPushButton* Save_But = nullptr;
    QPushButton* Load_But = nullptr;
    // Panel2 (aqua, lower right)
    QPushButton* Start_Buf_Add = nullptr;
    QPushButton* Start_Add = nullptr;
    QPushButton* End_Add = nullptr;
    QPushButton* Offset = nullptr;

    // Directly on the window.
    QPlainTextEdit* Help1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Edit_1 = nullptr;
    QPlainTextEdit* A874X = nullptr;
    QPlainTextEdit* A875X = nullptr;
    QPushButton* Quit_Func_But = nullptr;
    QLineEdit* Edit_Add = nullptr;
    QLineEdit* Fill_Edit = nullptr;
    QLabel* StaticText3 = nullptr;
    QListWidget* File_Type = nullptr;
    QLabel* StaticText4 = nullptr;
    QListWidget* FillBox = nullptr;
    QLabel* Edit_Info = nullptr;
    QLineEdit* Chg_Edit_Add = nullptr;
    QListWidget* Security_List = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QListWidget* Device_Box = nullptr;

    // Components without screen area. OpenDialog1.FileName is the last file
    // chosen or reloaded: the settings file saves it, the firmware update
    // and start-up use it.
    velmar::ui::FileDialog OpenDialog1;
    velmar::ui::FileDialog SaveDialog1;

    // Scale state held by the Scale button: 0 normal, 1 enlarged.
    int ScaleTag = 0;

    // Set by the start-up unit to its FormCloseQuery.
    std::function<void()> CloseQuery;
    // Called whenever a link wait fails ("Device no longer present" line).
    std::function<void()> LinkWaitFailed;

    // Marks a handler as running so that a close request waits for it.
    class HandlerScope {
      public:
        explicit HandlerScope(TMainForm& form);
        ~HandlerScope();
        HandlerScope(const HandlerScope&) = delete;
        HandlerScope& operator=(const HandlerScope&) = delete;

      private:
        TMainForm& form_;
    };
    int RunningHandlers() const { return handlerDepth_; }
    bool CloseRequested() const { return closePending_; }

    // Sets StaticText3's text; its width follows the text.
    void SetBannerText(const QString& text);
    void SetLastFileText(const QString& text);

  public slots:
    void Quit_Func_ButClick();
    void ScaleClick();

    void DeviceClick();
    void Device_BoxClick();
    void Vpp_ButClick();
    void Blank_ChkClick();
    void VerifyClick();
    void Move_EpromClick();
    void CompareClick();
    void ProgrammClick();
    void Auto_VerifyClick();
    void Erase_ButClick();
    void SecurityClick();
    void Security_ListClick();

    void Chk_Sum_ButClick();
    void FillClick();
    void FillBoxClick();
    void File_ButClick();
    void File_TypeClick();
    void ApplyFileType();
    void Load_ButClick();
    void Save_ButClick();
    void StaticText3Click();

  public:
    // Key filter of the fill entry; sets key to 0 when it is discarded. Enter
    // fills the buffer and ends the dialogue.
    void Fill_EditKeyPress(char& key);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  public:
    // The window's own controls (panels and their buttons included), for
    // scaling and tests; inner parts of Qt widgets are left out.
    std::vector<QWidget*> DesignedControls() const;

    // What the parts built beside the window are given to work with.
    velmar::ui::EditorWidgets EditorParts();
    velmar::ui::EntryWidgets EntryParts();
    velmar::ui::HelpWidgets HelpParts();
    velmar::ui::StartupWidgets StartupParts();

  private:
    void CreateControls();
    // What the window's panel and its drops are given to work with.
    velmar::ui::PanelWidgets PanelParts();
    velmar::ui::DropWindow DropParts();
    // Runs a step as a handler of this window.
    std::function<void(const std::function<void()>&)> AsHandler();
    void ApplyTabOrder();
    void ApplyStackingOrder();
    void ScaleBy(int multiplier, int divisor);
    void HandlerFinished();

    velmar::ProgramState& state_;
    std::unique_ptr<velmar::ui::WindowPanel> panel_;
    int handlerDepth_ = 0;
    bool closePending_ = false;
    bool closing_ = false;
    bool centred_ = false;
};

#include "Usb_Velmar.h"

#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QValidator>

#include "AdapterFigures.h"
#include "BufferEditor.h"
#include "FileDrop.h"
#include "Help.h"
#include "HexEntry.h"
#include "Startup.h"
#include "ValueEntry.h"
#include "WindowFonts.h"
#include "WindowPanel.h"
#include "buffer/DataFormats.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "devices/FileCommands.h"
#include "devices/OperationFrame.h"
#include "devices/ProgramState.h"
#include "devices/Tasks.h"
#include "devices/VppSelection.h"
#include "link/ProgrammerSearch.h"

using velmar::ui::FixedFont;
using velmar::ui::SansFont;

namespace {

// Shows whatever is typed in upper case (the entry fields' character case).
class UpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

constexpr const char* kItemHeightProperty = "itemHeight";

void SetColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// A text colour for the enabled states only: a disabled control keeps the
// platform's grey, so the user sees what cannot be pressed.
void SetTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    palette.setColor(QPalette::Disabled, role, velmar::ui::DisabledTextColour(role, colour));
    widget->setPalette(palette);
}

QFrame* MakePanel(QWidget* parent, const char* name, int x, int y, int w, int h,
                  const char* colour) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setGeometry(x, y, w, h);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setLineWidth(1);
    panel->setAutoFillBackground(true);
    SetColour(panel, QPalette::Window, QColor(colour));
    return panel;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, int x, int y,
                        int w) {
    auto* button = new velmar::ui::CaptionButton(QString::fromLatin1(caption), parent);
    button->setObjectName(name);
    button->setGeometry(x, y, w, 20);
    button->setFont(SansFont(12));
    SetTextColour(button, QPalette::ButtonText, Qt::black);
    button->setAutoDefault(false);
    return button;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, int x, int y, int w, int h,
                         const QFont& font, bool verticalScrollBar) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(name);
    memo->setGeometry(x, y, w, h);
    memo->setFont(font);
    SetTextColour(memo, QPalette::Text, Qt::black);
    SetColour(memo, QPalette::Base, Qt::white);
    memo->setVerticalScrollBarPolicy(verticalScrollBar ? Qt::ScrollBarAlwaysOn
                                                       : Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return memo;
}

QLineEdit* MakeEntry(QWidget* parent, const char* name, int x, int y, int w, int h,
                     const QFont& font, int maxLength) {
    auto* entry = new QLineEdit(parent);
    entry->setObjectName(name);
    entry->setGeometry(x, y, w, h);
    entry->setFont(font);
    entry->setMaxLength(maxLength);
    entry->setValidator(new UpperCaseValidator(entry));
    SetTextColour(entry, QPalette::Text, Qt::black);
    return entry;
}

void SetItemHeight(QListWidget* list, int height) {
    list->setProperty(kItemHeightProperty, height);
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSizeHint(QSize(list->width(), height));
}

QListWidget* MakeList(QWidget* parent, const char* name, int x, int y, int w, int h,
                      const QFont& font, const QStringList& rows) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setGeometry(x, y, w, h);
    list->setFont(font);
    list->setUniformItemSizes(true);
    // Rows are as wide as the list, as in a plain list box: no sideways bar.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->addItems(rows);
    SetTextColour(list, QPalette::Text, Qt::black);
    SetItemHeight(list, 15);
    return list;
}

QLabel* MakeStaticText(QWidget* parent, const char* name, const char* text, int x, int y, int w,
                       int h, const char* background) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setObjectName(name);
    label->setGeometry(x, y, w, h);
    label->setFont(SansFont(12));
    label->setAutoFillBackground(true);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetColour(label, QPalette::Window, QColor(background));
    SetTextColour(label, QPalette::WindowText, Qt::black);
    return label;
}

int Scaled(int value, int multiplier, int divisor) {
    // Rounded to the nearest integer, halves away from zero.
    const long long product = static_cast<long long>(value) * multiplier;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor : (product - half) / divisor);
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// File_Type's rows, in FileType order.
QStringList FileTypeRows() {
    QStringList rows;
    for (const velmar::DataFormat& format : velmar::kDataFormats)
        rows << Latin1(format.ListText);
    return rows;
}

} // namespace

TMainForm::TMainForm(velmar::ProgramState& state, QWidget* parent)
    : QWidget(parent), state_(state) {
    setObjectName("MainForm");
    setWindowTitle(QString::fromLatin1(kMainCaption));
    resize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    SetColour(this, QPalette::Window, QColor("#000080"));
    setFont(SansFont(14));
    SetColour(this, QPalette::WindowText, palette().color(QPalette::ToolTipText));

    OpenDialog1.Save = false;
    OpenDialog1.DefaultExt = velmar::kOpenDialogInitialExt;
    OpenDialog1.PathMustExist = true;
    OpenDialog1.FileMustExist = true;
    SaveDialog1.Save = true;
    SaveDialog1.DefaultExt = velmar::kSaveDialogInitialExt;
    SaveDialog1.OverwritePrompt = true;

    CreateControls();
    ApplyTabOrder();
    ApplyStackingOrder();
    panel_ = std::make_unique<velmar::ui::WindowPanel>(PanelParts());
    state_.Panel.Attach(panel_.get());
    new velmar::ui::FileDrop(DropParts(), state_);
}

velmar::ui::PanelWidgets TMainForm::PanelParts() {
    velmar::ui::PanelWidgets w;
    w.MainForm = this;
    w.Quit_Func_But = Quit_Func_But;
    w.Programm = Programm;
    w.Verify = Verify;
    w.Auto_Verify = Auto_Verify;
    w.Move_Eprom = Move_Eprom;
    w.Blank_Chk = Blank_Chk;
    w.Erase_But = Erase_But;
    w.Vpp_But = Vpp_But;
    w.Compare = Compare;
    w.Security = Security;
    w.Start_Buf_Add = Start_Buf_Add;
    w.Chk_Sum_But = Chk_Sum_But;
    w.Start_Add = Start_Add;
    w.Save_But = Save_But;
    w.Load_But = Load_But;
    w.File_But = File_But;
    w.End_Add = End_Add;
    w.Offset = Offset;
    w.Device = Device;
    w.Help_1 = Help_1;
    w.Scale = Scale;
    w.Edit = Edit;
    w.Fill = Fill;
    w.Panel8 = Panel8;
    w.StaticText3 = StaticText3;
    w.Memo1 = Memo1;
    w.Memo2 = Memo2;
    w.Help1 = Help1;
    w.A874X = A874X;
    w.A875X = A875X;
    w.FillBox = FillBox;
    w.File_Type = File_Type;
    w.Fill_Edit = Fill_Edit;
    w.OpenDialog1 = &OpenDialog1;
    w.SetBannerText = [this](const QString& text) { SetBannerText(text); };
    w.SetLastFileText = [this](const QString& text) { SetLastFileText(text); };
    // Set by the start-up unit after the panel is made.
    w.LinkWaitFailed = [this] {
        if (LinkWaitFailed) LinkWaitFailed();
    };
    return w;
}

velmar::ui::DropWindow TMainForm::DropParts() {
    velmar::ui::DropWindow d;
    d.MainForm = this;
    d.Controls = DesignedControls();
    d.Load_But = Load_But;
    d.HandlerRunning = [this] { return handlerDepth_ > 0; };
    d.AsHandler = AsHandler();
    d.ApplyFileType = [this] { ApplyFileType(); };
    d.LastFileName = &OpenDialog1.FileName;
    return d;
}

velmar::ui::EditorWidgets TMainForm::EditorParts() {
    velmar::ui::EditorWidgets e;
    e.MainForm = this;
    e.Edit = Edit;
    e.Memo1 = Memo1;
    e.Edit_1 = Edit_1;
    e.Edit_Info = Edit_Info;
    e.Chg_Edit_Add = Chg_Edit_Add;
    e.AsHandler = AsHandler();
    e.LinkWaitFailed = &LinkWaitFailed;
    return e;
}

velmar::ui::EntryWidgets TMainForm::EntryParts() {
    velmar::ui::EntryWidgets e;
    e.MainForm = this;
    e.Edit_Add = Edit_Add;
    e.Start_Buf_Add = Start_Buf_Add;
    e.Offset = Offset;
    e.Enlarged = [this] { return ScaleTag == 1; };
    e.AsHandler = AsHandler();
    return e;
}

velmar::ui::HelpWidgets TMainForm::HelpParts() {
    velmar::ui::HelpWidgets h;
    h.MainForm = this;
    h.Help_1 = Help_1;
    h.Memo1 = Memo1;
    h.Help1 = Help1;
    h.Start_Buf_Add = Start_Buf_Add;
    h.Start_Add = Start_Add;
    h.End_Add = End_Add;
    h.Offset = Offset;
    h.AsHandler = AsHandler();
    return h;
}

velmar::ui::StartupWidgets TMainForm::StartupParts() {
    velmar::ui::StartupWidgets s;
    s.MainForm = this;
    s.Memo1 = Memo1;
    s.Device_Box = Device_Box;
    s.OpenDialog1 = &OpenDialog1;
    s.ApplyFileType = [this] { ApplyFileType(); };
    s.AsHandler = AsHandler();
    s.CloseQuery = &CloseQuery;
    return s;
}

std::function<void(const std::function<void()>&)> TMainForm::AsHandler() {
    return [this](const std::function<void()>& step) {
        HandlerScope scope(*this);
        step();
    };
}

TMainForm::~TMainForm() {
    // The core outlives the window in tests; it must not report into freed
    // widgets.
    if (&*state_.Panel == panel_.get()) state_.Panel.Attach(nullptr);
}

void TMainForm::CreateControls() {
    Panel2 = MakePanel(this, "Panel2", 589, 339, 128, 88, "#00ffff");
    Start_Buf_Add = MakeButton(Panel2, "Start_Buf_Add", "Buffer Start=0000", 4, 4, 120);
    Start_Add = MakeButton(Panel2, "Start_Add", "Device Start=0000", 4, 24, 120);
    End_Add = MakeButton(Panel2, "End_Add", "Device End=0000", 4, 44, 120);
    Offset = MakeButton(Panel2, "Offset", "Hex Offset=0000", 4, 64, 120);

    Help1 = MakeMemo(this, "Help1", 144, 32, 577, 401, SansFont(12), true);
    Help1->hide();
    Memo1 = MakeMemo(this, "Memo1", 165, 32, 268, 401, FixedFont(13), true);
    Memo1->clear();

    Edit_1 = MakeMemo(this, "Edit_1", 170, 72, 527, 263, FixedFont(12), false);
    Edit_1->setReadOnly(true);
    Edit_1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Edit_1->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    Edit_1->hide();

    A874X = MakeMemo(this, "A874X", 136, 32, 473, 345, FixedFont(12), false);
    A874X->setLineWrapMode(QPlainTextEdit::NoWrap);
    A874X->setPlainText(QString::fromLatin1(velmar::ui::Figure874X().c_str()));
    A874X->hide();
    A875X = MakeMemo(this, "A875X", 136, 32, 481, 345, FixedFont(12), false);
    A875X->setLineWrapMode(QPlainTextEdit::NoWrap);
    A875X->setPlainText(QString::fromLatin1(velmar::ui::Figure875X().c_str()));
    A875X->hide();

    Quit_Func_But = MakeButton(this, "Quit_Func_But", "&Quit = 0000", 136, 8, 103);
    Quit_Func_But->setToolTip(QStringLiteral("Lets You Stop a Fuction in Process.."));

    Edit_Add = MakeEntry(this, "Edit_Add", 527, 344, 57, 21, SansFont(12), 5);
    Edit_Add->hide();
    Fill_Edit = MakeEntry(this, "Fill_Edit", 290, 227, 37, 23, FixedFont(12), 2);
    Fill_Edit->hide();

    StaticText3 = MakeStaticText(this, "StaticText3", "Looking For Programmer", 272, 8, 141, 17,
                                 velmar::ui::kBannerYellow);
    StaticText3->installEventFilter(this);
    SetBannerText(StaticText3->text());

    File_Type = MakeList(this, "File_Type", 128, 344, 103, 65, FixedFont(13), FileTypeRows());
    File_Type->hide();

    StaticText4 = MakeStaticText(this, "StaticText4", "Last File Loaded in Buffer=No File Loaded",
                                 8, 440, 243, 17, "#c0c0c0");
    SetLastFileText(StaticText4->text());

    FillBox =
        MakeList(this, "FillBox", 128, 200, 162, 65, FixedFont(12),
                 {"Fill Buffer With 00", "Fill Buffer With FF", "Fill Buffer With XX", "Cancel"});
    FillBox->hide();

    Panel4 = MakePanel(this, "Panel4", 8, 292, 111, 48, "#c0c0c0");
    Help_1 = MakeButton(Panel4, "Help_1", "Help", 4, 4, 103);
    Scale = MakeButton(Panel4, "Scale", "Large Buttons", 4, 24, 103);

    Panel5 = MakePanel(this, "Panel5", 8, 240, 111, 48, "#ff00ff");
    Auto_Verify = MakeButton(Panel5, "Auto_Verify", "Auto Verify On", 4, 4, 103);
    Vpp_But = MakeButton(Panel5, "Vpp_But", " Vpp = 12.5", 4, 24, 103);

    Panel6 = MakePanel(this, "Panel6", 8, 188, 111, 48, "#ffff00");
    Edit = MakeButton(Panel6, "Edit", "&Edit Buffer", 4, 4, 103);
    Fill = MakeButton(Panel6, "Fill", "&Fill Buffer", 4, 24, 103);

    Panel7 = MakePanel(this, "Panel7", 8, 76, 111, 108, "#00ff00");
    Blank_Chk = MakeButton(Panel7, "Blank_Chk", "&Blank Check", 4, 4, 103);
    Verify = MakeButton(Panel7, "Verify", "&Verify Device", 4, 24, 103);
    Move_Eprom = MakeButton(Panel7, "Move_Eprom", "&Move Device", 4, 44, 103);
    Compare = MakeButton(Panel7, "Compare", "Program Compare", 4, 64, 103);
    Device = MakeButton(Panel7, "Device", "No Device", 4, 84, 103);

    Panel8 = MakePanel(this, "Panel8", 8, 4, 111, 68, "#ff0000");
    Programm = MakeButton(Panel8, "Programm", "&Program Device", 4, 4, 103);
    Security = MakeButton(Panel8, "Security", "Program Security", 4, 24, 103);
    Erase_But = MakeButton(Panel8, "Erase_But", "&Erase Device", 4, 44, 103);

    Panel3 = MakePanel(this, "Panel3", 8, 344, 111, 88, "#00ffff");
    Chk_Sum_But = MakeButton(Panel3, "Chk_Sum_But", "&Check Sum=0000", 4, 4, 103);
    File_But = MakeButton(Panel3, "File_But", "Binary File", 4, 24, 103);
    Save_But = MakeButton(Panel3, "Save_But", "&Save Buffer", 4, 44, 103);
    Load_But = MakeButton(Panel3, "Load_But", "&Load Buffer", 4, 64, 103);

    Edit_Info = MakeStaticText(this, "Edit_Info", "", 170, 54, 527, 18, "#ffffff");
    Edit_Info->setFont(FixedFont(12));
    Edit_Info->setFrameShape(QFrame::Panel);
    Edit_Info->setFrameShadow(QFrame::Sunken);
    Edit_Info->hide();

    Chg_Edit_Add = MakeEntry(this, "Chg_Edit_Add", 230, 32, 59, 20, FixedFont(12), 6);
    Chg_Edit_Add->hide();

    Security_List = MakeList(this, "Security_List", 128, 32, 113, 65, FixedFont(12),
                             {"Program Bit 1", "Program Bit 2", "Program Bit 3", "Cancel"});
    Security_List->hide();

    Memo2 = MakeMemo(this, "Memo2", 8, 472, 361, 89, font(), false);
    SetTextColour(Memo2, QPalette::Text, palette().color(QPalette::WindowText));
    Memo2->setPlainText(QStringLiteral("Memo2"));

    QStringList deviceRows;
    for (const auto& row : velmar::DeviceCatalogue())
        deviceRows << Latin1(row.ListText);
    Device_Box = MakeList(this, "Device_Box", 128, 29, 265, 396, FixedFont(12), deviceRows);
    Device_Box->hide();

    Fill_Edit->installEventFilter(this);
    for (QListWidget* list : {Device_Box, Security_List, FillBox, File_Type})
        list->installEventFilter(this);

    connect(Quit_Func_But, &QPushButton::clicked, this, &TMainForm::Quit_Func_ButClick);
    connect(Scale, &QPushButton::clicked, this, &TMainForm::ScaleClick);
    connect(Device, &QPushButton::clicked, this, &TMainForm::DeviceClick);
    connect(Device_Box, &QListWidget::itemClicked, this, &TMainForm::Device_BoxClick);
    connect(Vpp_But, &QPushButton::clicked, this, &TMainForm::Vpp_ButClick);
    connect(Blank_Chk, &QPushButton::clicked, this, &TMainForm::Blank_ChkClick);
    connect(Verify, &QPushButton::clicked, this, &TMainForm::VerifyClick);
    connect(Move_Eprom, &QPushButton::clicked, this, &TMainForm::Move_EpromClick);
    connect(Compare, &QPushButton::clicked, this, &TMainForm::CompareClick);
    connect(Programm, &QPushButton::clicked, this, &TMainForm::ProgrammClick);
    connect(Auto_Verify, &QPushButton::clicked, this, &TMainForm::Auto_VerifyClick);
    connect(Erase_But, &QPushButton::clicked, this, &TMainForm::Erase_ButClick);
    connect(Security, &QPushButton::clicked, this, &TMainForm::SecurityClick);
    connect(Security_List, &QListWidget::itemClicked, this, &TMainForm::Security_ListClick);
    connect(Chk_Sum_But, &QPushButton::clicked, this, &TMainForm::Chk_Sum_ButClick);
    connect(Fill, &QPushButton::clicked, this, &TMainForm::FillClick);
    connect(FillBox, &QListWidget::itemClicked, this, &TMainForm::FillBoxClick);
    connect(File_But, &QPushButton::clicked, this, &TMainForm::File_ButClick);
    connect(File_Type, &QListWidget::itemClicked, this, &TMainForm::File_TypeClick);
    connect(Load_But, &QPushButton::clicked, this, &TMainForm::Load_ButClick);
    connect(Save_But, &QPushButton::clicked, this, &TMainForm::Save_ButClick);
}

void TMainForm::ApplyTabOrder() {
    // The window's tab indexes, in order; a panel's buttons follow the panel.
    const std::vector<QWidget*> byTabIndex = {
        Help1,     Quit_Func_But, Device_Box, Edit_1,      Edit_Add,     FillBox,
        Fill_Edit, StaticText3,   File_Type,  StaticText4, Memo1,        A874X,
        A875X,     Security_List, Panel2,     Panel4,      Panel5,       Panel6,
        Panel7,    Panel8,        Panel3,     Edit_Info,   Chg_Edit_Add, Memo2};
    std::vector<QWidget*> chain;
    for (QWidget* widget : byTabIndex) {
        if (auto* panel = qobject_cast<QFrame*>(widget);
            panel && panel->parentWidget() == this && !qobject_cast<QLabel*>(widget) &&
            !qobject_cast<QAbstractScrollArea*>(widget)) {
            for (QObject* child : panel->children())
                if (auto* button = qobject_cast<QPushButton*>(child)) chain.push_back(button);
            continue;
        }
        if (widget->focusPolicy() != Qt::NoFocus) chain.push_back(widget);
    }
    for (std::size_t i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

void TMainForm::ApplyStackingOrder() {
    // Back to front; each raise() puts the control in front of the ones before.
    const std::vector<QWidget*> backToFront = {
        Panel2,        Help1,     Memo1,        Edit_1,        A874X,     A875X,
        Quit_Func_But, Edit_Add,  Fill_Edit,    StaticText3,   File_Type, StaticText4,
        FillBox,       Panel4,    Panel5,       Panel6,        Panel7,    Panel8,
        Panel3,        Edit_Info, Chg_Edit_Add, Security_List, Memo2,     Device_Box};
    for (QWidget* widget : backToFront)
        widget->raise();
}

std::vector<QWidget*> TMainForm::DesignedControls() const {
    std::vector<QWidget*> controls;
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || widget->objectName().isEmpty()) continue;
        controls.push_back(widget);
        if (qobject_cast<QFrame*>(widget) && !qobject_cast<QLabel*>(widget) &&
            !qobject_cast<QAbstractScrollArea*>(widget))
            for (QObject* inner : widget->children())
                if (auto* button = qobject_cast<QPushButton*>(inner)) controls.push_back(button);
    }
    return controls;
}

void TMainForm::SetBannerText(const QString& text) {
    StaticText3->setText(text);
    StaticText3->resize(StaticText3->fontMetrics().horizontalAdvance(text), StaticText3->height());
}

void TMainForm::SetLastFileText(const QString& text) {
    StaticText4->setText(text);
    StaticText4->resize(StaticText4->fontMetrics().horizontalAdvance(text), StaticText4->height());
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (centred_) return;
    centred_ = true;
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        const QSize outer = frameGeometry().size();
        move(area.x() + (area.width() - outer.width()) / 2,
             area.y() + (area.height() - outer.height()) / 2);
    }
}

// ---------------------------------------------------------------------------
// Handlers of this window's own.

void TMainForm::Quit_Func_ButClick() {
    velmar::tasks::RequestStop(state_);
}

void TMainForm::ScaleClick() {
    if (ScaleTag == 0) {
        ScaleBy(486, 408);
        ScaleTag = 1;
        Scale->setText(QStringLiteral("Small Buttons"));
    } else {
        ScaleBy(408, 486);
        ScaleTag = 0;
        Scale->setText(QStringLiteral("Large Buttons"));
    }
}

void TMainForm::ScaleBy(int multiplier, int divisor) {
    const bool wasVisible = isVisible();
    const QPoint corner = pos();
    hide();
    auto scale = [&](int value) { return Scaled(value, multiplier, divisor); };
    auto scaleFont = [&](QWidget* widget) {
        // Inherited fonts follow the window's.
        if (widget != this && !widget->testAttribute(Qt::WA_SetFont)) return;
        QFont f = widget->font();
        if (f.pixelSize() > 0) {
            f.setPixelSize(scale(f.pixelSize()));
            widget->setFont(f);
        }
    };
    scaleFont(this);
    for (QWidget* control : DesignedControls()) {
        const QRect r = control->geometry();
        control->setGeometry(scale(r.x()), scale(r.y()), scale(r.width()), scale(r.height()));
        scaleFont(control);
        if (auto* list = qobject_cast<QListWidget*>(control))
            SetItemHeight(list, scale(list->property(kItemHeightProperty).toInt()));
    }
    // Autosized texts follow their (scaled) font.
    SetBannerText(StaticText3->text());
    SetLastFileText(StaticText4->text());
    resize(scale(width()), scale(height()));
    if (wasVisible) {
        show();
        move(corner);
    }
}

// ---------------------------------------------------------------------------
// Closing while a handler runs.

TMainForm::HandlerScope::HandlerScope(TMainForm& form) : form_(form) {
    ++form_.handlerDepth_;
}

TMainForm::HandlerScope::~HandlerScope() {
    --form_.handlerDepth_;
    if (form_.handlerDepth_ == 0) form_.HandlerFinished();
}

void TMainForm::HandlerFinished() {
    if (!closePending_) return;
    // Close from the event loop, after the handler's frames are gone.
    QTimer::singleShot(0, this, [this] {
        closing_ = true;
        close();
    });
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    if (closePending_) {
        // Already asked; the running handler is still winding down.
        event->ignore();
        return;
    }
    if (handlerDepth_ > 0) {
        closePending_ = true;
        if (CloseQuery) CloseQuery();
        // The operation below sees the stop and returns; then we close.
        velmar::tasks::RequestStop(state_);
        event->ignore();
        return;
    }
    closing_ = true;
    if (CloseQuery) CloseQuery();
    event->accept();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a choice list picks the highlighted row, as a click does.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            auto* list = qobject_cast<QListWidget*>(watched);
            if (list && list->currentItem()) {
                emit list->itemClicked(list->currentItem());
                return true;
            }
        }
    }
    if (watched == StaticText3 && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            StaticText3->rect().contains(mouse->position().toPoint())) {
            StaticText3Click();
            return true;
        }
    }
    // Tab is refused here like any character that is not a digit.
    if (watched == Fill_Edit && event->type() == QEvent::KeyPress)
        return velmar::ui::FilterHexEntryKey(*Fill_Edit, *static_cast<QKeyEvent*>(event),
                                             velmar::ui::EntryTab::IsCharacter,
                                             [this](char& key) { Fill_EditKeyPress(key); });
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Buffer handlers.

void TMainForm::Chk_Sum_ButClick() {
    HandlerScope scope(*this);
    velmar::ComputeChecksum(state_);
}

void TMainForm::FillClick() {
    HandlerScope scope(*this);
    velmar::BeginOperation(state_);
    FillBox->setCurrentRow(-1);
    FillBox->show();
}

void TMainForm::FillBoxClick() {
    HandlerScope scope(*this);
    switch (FillBox->currentRow()) {
    case 0:
        state_.Buffer.Fill(0x00);
        velmar::EndOperation(state_);
        break;
    case 1:
        state_.Buffer.Fill(0xFF);
        velmar::EndOperation(state_);
        break;
    case 2:
        Fill_Edit->clear();
        Fill_Edit->show();
        Fill_Edit->setFocus();
        break;
    case 3:
        velmar::EndOperation(state_);
        break;
    default:
        break;
    }
}

void TMainForm::Fill_EditKeyPress(char& key) {
    HandlerScope scope(*this);
    if (key == '\r') {
        key = 0;
        const std::string text = Fill_Edit->text().toStdString();
        if (!text.empty()) {
            const auto value = velmar::ui::HexEntryValue(text);
            if (!value) {
                // Pasted text that is not hexadecimal fills nothing; the
                // dialogue stays open to correct it or to pick Cancel.
                velmar::ui::ShowMessageBox(this, velmar::BoxKind::Error,
                                           velmar::ui::NotAnIntegerText(text));
                Fill_Edit->selectAll();
                Fill_Edit->setFocus();
                return;
            }
            state_.Buffer.Fill(static_cast<std::uint8_t>(*value & 0xFF));
        }
        velmar::EndOperation(state_);
        return;
    }
    if (!velmar::ui::IsHexEntryKey(key)) key = 0;
}

void TMainForm::File_ButClick() {
    HandlerScope scope(*this);
    velmar::BeginOperation(state_);
    File_Type->setCurrentRow(-1);
    File_Type->show();
}

void TMainForm::File_TypeClick() {
    HandlerScope scope(*this);
    // The list's rows are in FileType order.
    state_.FileType = static_cast<velmar::FileType>(File_Type->currentRow());
    ApplyFileType();
    velmar::EndOperation(state_);
}

void TMainForm::ApplyFileType() {
    const velmar::DataFormat& format = velmar::DataFormatOf(state_.FileType);
    if (!format.ButtonCaption.empty()) File_But->setText(Latin1(format.ButtonCaption));
    for (velmar::ui::FileDialog* dialog : {&OpenDialog1, &SaveDialog1}) {
        dialog->DefaultExt = format.DefaultExt;
        dialog->FilterIndex = format.FilterIndex;
    }
}

void TMainForm::Load_ButClick() {
    HandlerScope scope(*this);
    velmar::BeginOperation(state_);
    bool loaded = true;
    if (velmar::ui::ExecuteFileDialog(this, OpenDialog1))
        loaded = velmar::tasks::LoadFile(state_, OpenDialog1.FileName).Loaded;
    // A failed load keeps the previous sum on the button.
    if (loaded) velmar::ComputeChecksum(state_);
    velmar::EndOperation(state_);
}

void TMainForm::Save_ButClick() {
    HandlerScope scope(*this);
    if (velmar::ui::ExecuteFileDialog(this, SaveDialog1))
        velmar::SaveDataFile(state_, SaveDialog1.FileName);
    velmar::EndOperation(state_);
}

// ---------------------------------------------------------------------------
// Device handlers: the core runs the operation frame and the sequences.

void TMainForm::DeviceClick() {
    HandlerScope scope(*this);
    Device_Box->setCurrentRow(-1);
    velmar::BeginOperation(state_);
    Device_Box->show();
}

// The list goes before the row's adapter prompt comes up.
void TMainForm::Device_BoxClick() {
    HandlerScope scope(*this);
    const int row = Device_Box->currentRow();
    Device_Box->hide();
    velmar::tasks::SelectDevice(state_, row);
    velmar::EndOperation(state_);
}

void TMainForm::Vpp_ButClick() {
    HandlerScope scope(*this);
    velmar::Vpp_ButClick(state_);
}

void TMainForm::Blank_ChkClick() {
    HandlerScope scope(*this);
    velmar::tasks::BlankCheck(state_);
}

void TMainForm::VerifyClick() {
    HandlerScope scope(*this);
    velmar::tasks::Verify(state_);
}

void TMainForm::Move_EpromClick() {
    HandlerScope scope(*this);
    velmar::tasks::Read(state_);
}

void TMainForm::CompareClick() {
    HandlerScope scope(*this);
    velmar::tasks::Compare(state_);
}

void TMainForm::ProgrammClick() {
    HandlerScope scope(*this);
    velmar::tasks::Program(state_);
}

void TMainForm::Auto_VerifyClick() {
    HandlerScope scope(*this);
    velmar::tasks::SetAutoVerify(state_, !state_.AutoVerify);
}

void TMainForm::Erase_ButClick() {
    HandlerScope scope(*this);
    velmar::tasks::Erase(state_);
}

void TMainForm::SecurityClick() {
    HandlerScope scope(*this);
    Security_List->setCurrentRow(-1);
    velmar::OfferLockBits(state_);
    Security_List->show();
}

void TMainForm::Security_ListClick() {
    HandlerScope scope(*this);
    const int bit = Security_List->currentRow();
    Security_List->hide();
    velmar::TakeLockBitChoice(state_, bit);
}

// ---------------------------------------------------------------------------
// The banner: look for the programmer again.

void TMainForm::StaticText3Click() {
    // The banner is not a button, so the busy state does not disable it. A
    // search started from the events pumped inside a running operation would
    // close the handle that operation is using: ignore the click then.
    if (handlerDepth_ > 0) return;
    HandlerScope scope(*this);
    state_.Panel->BeginReport();
    velmar::tasks::FindProgrammer(state_);
    velmar::ApplyVpp(state_);
    if (!state_.Selection.HasDevice) Device_Box->show();
    Memo1->hide();
    state_.FailFlag = false;
    velmar::EndOperation(state_);
}

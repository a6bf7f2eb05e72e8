// The window as drawn: positions, sizes, captions, colours, fonts, initial
// visibility, list rows, tab order and stacking order.

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "WindowTestSupport.h"

namespace {

using velmar::ProgramState;

class WindowLayout : public ::testing::Test {
  protected:
    velmar::testing::ApplicationGuard app;
    ProgramState state{velmar::HardwareBackend()};
    TMainForm form{state};

    QWidget* Find(const char* name) { return form.findChild<QWidget*>(QString::fromLatin1(name)); }
};

struct PanelRow {
    const char* name;
    QRect geometry;
    const char* colour;
    std::vector<std::pair<const char*, const char*>> buttons; // name, caption (top = 4 + 20 i)
};

TEST_F(WindowLayout, PanelsAndTheirButtons) {
    const std::vector<PanelRow> panels = {
        {"Panel8", {8, 4, 111, 68}, "#ff0000",
         {{"Programm", "&Program Device"}, {"Security", "Program Security"}, {"Erase_But", "&Erase Device"}}},
        {"Panel7", {8, 76, 111, 108}, "#00ff00",
         {{"Blank_Chk", "&Blank Check"}, {"Verify", "&Verify Device"}, {"Move_Eprom", "&Move Device"},
          {"Compare", "Program Compare"}, {"Device", "No Device"}}},
        {"Panel6", {8, 188, 111, 48}, "#ffff00", {{"Edit", "&Edit Buffer"}, {"Fill", "&Fill Buffer"}}},
        {"Panel5", {8, 240, 111, 48}, "#ff00ff", {{"Auto_Verify", "Auto Verify On"}, {"Vpp_But", " Vpp = 12.5"}}},
        {"Panel4", {8, 292, 111, 48}, "#c0c0c0", {{"Help_1", "Help"}, {"Scale", "Large Buttons"}}},
        {"Panel3", {8, 344, 111, 88}, "#00ffff",
         {{"Chk_Sum_But", "&Check Sum=0000"}, {"File_But", "Binary File"}, {"Save_But", "&Save Buffer"},
          {"Load_But", "&Load Buffer"}}},
        {"Panel2", {589, 339, 128, 88}, "#00ffff",
         {{"Start_Buf_Add", "Buffer Start=0000"}, {"Start_Add", "Device Start=0000"},
          {"End_Add", "Device End=0000"}, {"Offset", "Hex Offset=0000"}}},
    };
    for (const PanelRow& row : panels) {
        SCOPED_TRACE(row.name);
        auto* panel = qobject_cast<QFrame*>(Find(row.name));
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->parentWidget(), &form);
        EXPECT_EQ(panel->geometry(), row.geometry);
        EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(row.colour));
        EXPECT_TRUE(panel->autoFillBackground());
        EXPECT_EQ(panel->frameShadow(), QFrame::Raised);
        EXPECT_TRUE(panel->isVisibleTo(&form));
        const int width = std::string(row.name) == "Panel2" ? 120 : 103;
        for (std::size_t i = 0; i < row.buttons.size(); ++i) {
            SCOPED_TRACE(row.buttons[i].first);
            auto* button = qobject_cast<QPushButton*>(Find(row.buttons[i].first));
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->parentWidget(), panel);
            EXPECT_EQ(button->geometry(), QRect(4, 4 + 20 * static_cast<int>(i), width, 20));
            EXPECT_EQ(button->text(), QString::fromLatin1(row.buttons[i].second));
            EXPECT_EQ(button->font().pixelSize(), 12);
            EXPECT_TRUE(button->font().bold());
            EXPECT_FALSE(QFontInfo(button->font()).fixedPitch());
            EXPECT_EQ(button->palette().color(QPalette::ButtonText), QColor(Qt::black));
            EXPECT_TRUE(button->isVisibleTo(&form));
        }
    }
}

struct ControlRow {
    const char* name;
    QRect geometry; // width of autosized texts not checked
    bool fixedPitch;
    int fontPixels;
    bool visible;
};

TEST_F(WindowLayout, ControlsOnTheWindow) {
    const std::vector<ControlRow> controls = {
        {"Help1", {144, 32, 577, 401}, false, 12, false},
        {"Memo1", {165, 32, 268, 401}, true, 13, true},
        {"Edit_1", {170, 72, 527, 263}, true, 12, false},
        {"A874X", {136, 32, 473, 345}, true, 12, false},
        {"A875X", {136, 32, 481, 345}, true, 12, false},
        {"Quit_Func_But", {136, 8, 103, 20}, false, 12, true},
        {"Edit_Add", {527, 344, 57, 21}, false, 12, false},
        {"Fill_Edit", {290, 227, 37, 23}, true, 12, false},
        {"StaticText3", {272, 8, -1, 17}, false, 12, true},
        {"File_Type", {128, 344, 103, 65}, true, 13, false},
        {"StaticText4", {8, 440, -1, 17}, false, 12, true},
        {"FillBox", {128, 200, 162, 65}, true, 12, false},
        {"Edit_Info", {170, 54, 527, 18}, true, 12, false},
        {"Chg_Edit_Add", {230, 32, 59, 20}, true, 12, false},
        {"Security_List", {128, 32, 113, 65}, true, 12, false},
        {"Memo2", {8, 472, 361, 89}, false, 14, true},
        {"Device_Box", {128, 29, 265, 396}, true, 12, false},
    };
    for (const ControlRow& row : controls) {
        SCOPED_TRACE(row.name);
        QWidget* widget = Find(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), &form);
        EXPECT_EQ(widget->x(), row.geometry.x());
        EXPECT_EQ(widget->y(), row.geometry.y());
        if (row.geometry.width() >= 0) {
            EXPECT_EQ(widget->width(), row.geometry.width());
        }
        EXPECT_EQ(widget->height(), row.geometry.height());
        EXPECT_EQ(widget->font().pixelSize(), row.fontPixels);
        EXPECT_EQ(QFontInfo(widget->font()).fixedPitch(), row.fixedPitch);
        if (!row.fixedPitch) {
            EXPECT_TRUE(widget->font().bold());
        }
        EXPECT_EQ(widget->isVisibleTo(&form), row.visible);
    }
}

TEST_F(WindowLayout, WindowCaptionSizeAndTexts) {
    EXPECT_EQ(form.windowTitle(),
              QStringLiteral("Velmar for The Brindle Programmer USB  Windows  V1.02  8 Oct 07"));
    EXPECT_EQ(form.size(), QSize(735, 464));
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor("#000080"));
    EXPECT_EQ(form.Quit_Func_But->text(), QStringLiteral("&Quit = 0000"));
    EXPECT_EQ(form.Quit_Func_But->toolTip(), QStringLiteral("Lets You Stop a Fuction in Process.."));
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Looking For Programmer"));
    EXPECT_EQ(form.StaticText3->palette().color(QPalette::Window), QColor("#ffff00"));
    EXPECT_EQ(form.StaticText4->text(), QStringLiteral("Last File Loaded in Buffer=No File Loaded"));
    EXPECT_EQ(form.StaticText4->palette().color(QPalette::Window), QColor("#c0c0c0"));
    EXPECT_EQ(form.Edit_Info->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(form.Memo2->toPlainText(), QStringLiteral("Memo2"));
    EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(form.Edit_1->isReadOnly());
    EXPECT_EQ(form.Edit_1->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(form.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.Help1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(form.Edit_Add->maxLength(), 5);
    EXPECT_EQ(form.Fill_Edit->maxLength(), 2);
    EXPECT_EQ(form.Chg_Edit_Add->maxLength(), 6);

    // Texts that autosize: the width is that of the text.
    EXPECT_EQ(form.StaticText3->width(),
              form.StaticText3->fontMetrics().horizontalAdvance(form.StaticText3->text()));
    form.SetBannerText(QStringLiteral("Device Verified to Buffer...."));
    EXPECT_EQ(form.StaticText3->width(),
              form.StaticText3->fontMetrics().horizontalAdvance(form.StaticText3->text()));
    EXPECT_EQ(form.StaticText3->height(), 17);
}

TEST_F(WindowLayout, EntriesShowUpperCase) {
    for (QLineEdit* entry : {form.Edit_Add, form.Fill_Edit, form.Chg_Edit_Add}) {
        entry->clear();
        entry->insert(QStringLiteral("ab"));
        EXPECT_EQ(entry->text(), QStringLiteral("AB"));
    }
}

TEST_F(WindowLayout, ListRowsAndItemHeights) {
    auto rows = [](QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    };
    EXPECT_EQ(rows(form.File_Type), (QStringList{"Binary", "Intel Hex", "Motorola Hex", "Ascii Hex"}));
    EXPECT_EQ(rows(form.FillBox), (QStringList{"Fill Buffer With 00", "Fill Buffer With FF",
                                               "Fill Buffer With XX", "Cancel"}));
    EXPECT_EQ(rows(form.Security_List),
              (QStringList{"Program Bit 1", "Program Bit 2", "Program Bit 3", "Cancel"}));
    ASSERT_EQ(form.Device_Box->count(), 27);
    EXPECT_EQ(form.Device_Box->item(0)->text(), QStringLiteral("       874X Adapter"));
    EXPECT_EQ(form.Device_Box->item(1)->text(), QStringLiteral("8741       (25V)     1K X 8 "));
    EXPECT_EQ(form.Device_Box->item(6)->text(), QString());
    EXPECT_EQ(form.Device_Box->item(26)->text(), QStringLiteral("89LS8252   (12V)     8K X 8"));
    for (QListWidget* list : {form.File_Type, form.FillBox, form.Security_List, form.Device_Box}) {
        EXPECT_EQ(list->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        for (int i = 0; i < list->count(); ++i)
            EXPECT_EQ(list->item(i)->sizeHint().height(), 15) << list->objectName().toStdString();
    }
}

TEST_F(WindowLayout, TabOrderFollowsTheDesign) {
    const QStringList expected = {
        "Help1",      "Quit_Func_But", "Device_Box",   "Edit_1",    "Edit_Add",   "FillBox",
        "Fill_Edit",  "File_Type",     "Memo1",        "A874X",     "A875X",      "Security_List",
        "Start_Buf_Add", "Start_Add",  "End_Add",      "Offset",    "Help_1",     "Scale",
        "Auto_Verify", "Vpp_But",      "Edit",         "Fill",      "Blank_Chk",  "Verify",
        "Move_Eprom", "Compare",       "Device",       "Programm",  "Security",   "Erase_But",
        "Chk_Sum_But", "File_But",     "Save_But",     "Load_But",  "Chg_Edit_Add", "Memo2"};
    QStringList chain;
    QWidget* widget = form.Help1;
    do {
        if (expected.contains(widget->objectName()) && !chain.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != form.Help1);
    EXPECT_EQ(chain, expected);
}

TEST_F(WindowLayout, StackingOrderBackToFront) {
    const QStringList expected = {
        "Panel2",   "Help1",     "Memo1",       "Edit_1",      "A874X",   "A875X",
        "Quit_Func_But", "Edit_Add", "Fill_Edit", "StaticText3", "File_Type", "StaticText4",
        "FillBox",  "Panel4",    "Panel5",      "Panel6",      "Panel7",  "Panel8",
        "Panel3",   "Edit_Info", "Chg_Edit_Add", "Security_List", "Memo2", "Device_Box"};
    QStringList order;
    for (QObject* child : form.children())
        if (expected.contains(child->objectName()))
            order << child->objectName();
    EXPECT_EQ(order, expected);
}

TEST_F(WindowLayout, AcceleratorsFromCaptions) {
    // "&" marks Alt + letter; clicking through the shortcut reaches the handler.
    form.show();
    state.Link.LinkState = velmar::LinkState::Closed;
    EXPECT_EQ(form.Fill->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F));
    EXPECT_EQ(form.Programm->shortcut(), QKeySequence(Qt::ALT | Qt::Key_P));
    EXPECT_EQ(form.Quit_Func_But->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Q));
    EXPECT_TRUE(form.Security->shortcut().isEmpty());
}

} // namespace

// The window's handlers: fill dialogue, file type, load and save through the
// dialog routine, the device list with its prompts and figures.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <iterator>

#include "WindowTestSupport.h"
#include "devices/OperationFrame.h"

namespace {

using velmar::ProgramState;
using velmar::testing::ClickRow;
using velmar::testing::DialogRecorder;
using velmar::ui::DialogKind;

class WindowHandlers : public ::testing::Test {
  protected:
    velmar::testing::ApplicationGuard app;
    ProgramState state{velmar::HardwareBackend()};
    TMainForm form{state};
    DialogRecorder dialogs;

    bool AllBytesAre(std::uint8_t value) {
        for (int i = 0; i < velmar::kBufferSize; ++i)
            if (state.Buffer[i] != value)
                return false;
        return true;
    }
};

TEST_F(WindowHandlers, FillWithFixedValues) {
    form.Chk_Sum_But->setText(QStringLiteral("CheckSum=1234"));
    form.Fill->click();
    EXPECT_TRUE(form.FillBox->isVisibleTo(&form));
    EXPECT_FALSE(form.Fill->isEnabled());
    EXPECT_FALSE(form.Edit->isEnabled());

    ClickRow(form.FillBox, 1);
    EXPECT_TRUE(AllBytesAre(0xFF));
    EXPECT_FALSE(form.FillBox->isVisibleTo(&form));
    EXPECT_TRUE(form.Fill->isEnabled());
    // A fill leaves the sum on the button until it is asked for.
    EXPECT_EQ(form.Chk_Sum_But->text(), QStringLiteral("CheckSum=1234"));

    form.Fill->click();
    ClickRow(form.FillBox, 0);
    EXPECT_TRUE(AllBytesAre(0x00));

    state.Buffer[5] = 0x77;
    form.Fill->click();
    ClickRow(form.FillBox, 3); // Cancel
    EXPECT_EQ(state.Buffer[5], 0x77);
    EXPECT_FALSE(form.FillBox->isVisibleTo(&form));
    EXPECT_TRUE(form.Fill->isEnabled());
}

TEST_F(WindowHandlers, FillWithTypedValue) {
    form.show();
    form.Fill->click();
    ClickRow(form.FillBox, 2);
    EXPECT_TRUE(form.Fill_Edit->isVisibleTo(&form));
    EXPECT_TRUE(form.FillBox->isVisibleTo(&form));
    EXPECT_FALSE(form.Fill->isEnabled()); // still busy
    QTest::keyClicks(form.Fill_Edit, QStringLiteral("g-z a"));
    EXPECT_EQ(form.Fill_Edit->text(), QStringLiteral("A"));
    QTest::keyClick(form.Fill_Edit, Qt::Key_Return);
    EXPECT_TRUE(AllBytesAre(0x0A));
    EXPECT_FALSE(form.Fill_Edit->isVisibleTo(&form));
    EXPECT_FALSE(form.FillBox->isVisibleTo(&form));
    EXPECT_TRUE(form.Fill->isEnabled());

    form.Fill->click();
    ClickRow(form.FillBox, 2);
    QTest::keyClicks(form.Fill_Edit, QStringLiteral("c3f"));
    EXPECT_EQ(form.Fill_Edit->text(), QStringLiteral("C3"));
    QTest::keyClick(form.Fill_Edit, Qt::Key_Backspace);
    QTest::keyClicks(form.Fill_Edit, QStringLiteral("5"));
    QTest::keyClick(form.Fill_Edit, Qt::Key_Enter);
    EXPECT_TRUE(AllBytesAre(0xC5));

    // Enter on an empty entry ends the dialogue without filling.
    form.Fill->click();
    ClickRow(form.FillBox, 2);
    EXPECT_TRUE(form.Fill_Edit->text().isEmpty());
    QTest::keyClick(form.Fill_Edit, Qt::Key_Return);
    EXPECT_TRUE(AllBytesAre(0xC5));
    EXPECT_TRUE(form.Fill->isEnabled());
}

TEST_F(WindowHandlers, FileTypeSetsButtonAndDialogs) {
    form.File_But->click();
    EXPECT_TRUE(form.File_Type->isVisibleTo(&form));
    EXPECT_FALSE(form.Load_But->isEnabled());
    ClickRow(form.File_Type, 2);
    EXPECT_EQ(state.FileType, 2);
    EXPECT_EQ(form.File_But->text(), QStringLiteral("Motorola Hex File"));
    EXPECT_EQ(form.OpenDialog1.DefaultExt, "Hex");
    EXPECT_EQ(form.OpenDialog1.FilterIndex, 2);
    EXPECT_EQ(form.SaveDialog1.DefaultExt, "Hex");
    EXPECT_EQ(form.SaveDialog1.FilterIndex, 2);
    EXPECT_FALSE(form.File_Type->isVisibleTo(&form));
    EXPECT_TRUE(form.Load_But->isEnabled());

    form.File_But->click();
    ClickRow(form.File_Type, 0);
    EXPECT_EQ(form.File_But->text(), QStringLiteral("Binary File"));
    EXPECT_EQ(form.SaveDialog1.DefaultExt, "Bin");
    EXPECT_EQ(form.OpenDialog1.FilterIndex, 1);

    // A value from a settings file outside the table keeps the caption.
    state.FileType = velmar::FileType{7};
    form.ApplyFileType();
    EXPECT_EQ(form.File_But->text(), QStringLiteral("Binary File"));
    EXPECT_EQ(form.OpenDialog1.DefaultExt, "Hex");
    EXPECT_EQ(form.OpenDialog1.FilterIndex, 2);
}

TEST_F(WindowHandlers, DialogsStartAsDesigned) {
    EXPECT_FALSE(form.OpenDialog1.Save);
    EXPECT_EQ(form.OpenDialog1.DefaultExt, ".Bin");
    EXPECT_EQ(form.OpenDialog1.Filter, "Bin|*.Bin|Hex|*.Hex|All|*.*");
    EXPECT_TRUE(form.OpenDialog1.FileMustExist);
    EXPECT_TRUE(form.OpenDialog1.PathMustExist);
    EXPECT_TRUE(form.OpenDialog1.HideReadOnly);
    EXPECT_FALSE(form.OpenDialog1.OverwritePrompt);
    EXPECT_TRUE(form.SaveDialog1.Save);
    EXPECT_EQ(form.SaveDialog1.DefaultExt, "Bin");
    EXPECT_TRUE(form.SaveDialog1.OverwritePrompt);
    EXPECT_TRUE(form.SaveDialog1.Resizable);
    EXPECT_EQ(velmar::ui::QtNameFilters(form.OpenDialog1.Filter), "Bin (*.Bin);;Hex (*.Hex);;All (*.*)");
    EXPECT_EQ(velmar::ui::BareExtension(".Bin"), "Bin");
}

class WindowFileCommands : public WindowHandlers {
  protected:
    QTemporaryDir dir;
    std::string PathOf(const char* name) { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
};

TEST_F(WindowFileCommands, LoadBinaryThroughTheOpenDialog) {
    const std::string path = PathOf("image.bin");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 16; ++i)
            out.put(static_cast<char>(0x10 + i));
    }
    state.Window.BufferStart = 0x100;
    state.Window.DeviceEnd = 0x3FF;
    dialogs.answers.push_back({true, path});
    form.Load_But->click();

    ASSERT_EQ(dialogs.requests.size(), 1u);
    const auto& request = dialogs.requests[0];
    EXPECT_EQ(request.Kind, DialogKind::OpenFile);
    EXPECT_EQ(request.File.Filter, "Bin|*.Bin|Hex|*.Hex|All|*.*");
    EXPECT_EQ(request.File.DefaultExt, ".Bin");
    EXPECT_EQ(request.File.FilterIndex, 1);
    EXPECT_TRUE(request.File.FileMustExist);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(state.Buffer[0x100 + i], 0x10 + i);
    EXPECT_EQ(state.Buffer[0xFF], 0);
    EXPECT_EQ(state.Buffer[0x110], 0);
    EXPECT_EQ(form.OpenDialog1.FileName, path);
    EXPECT_EQ(form.StaticText4->text().toStdString(), "Last File Loaded in Buffer=" + path);
    // 0x10 + ... + 0x1F = 0x178
    EXPECT_EQ(form.Chk_Sum_But->text(), QStringLiteral("CheckSum=0178"));
    EXPECT_TRUE(form.Load_But->isEnabled());
}

// A hex file without data, or with data past the device's end, still loads
// as before but says so in a warning box and turns the banner red, once.
TEST_F(WindowFileCommands, LoadsWithoutDataOrPastTheDeviceWarn) {
    state.Window.DeviceLimit = 0x1FFF;
    state.Window.DeviceEnd = 0x1FFF;
    form.File_But->click();
    ClickRow(form.File_Type, 1); // Intel hex
    const std::string empty = PathOf("end.hex");
    std::ofstream(empty, std::ios::binary) << ":00000001FF\r\n";
    dialogs.answers.push_back({true, empty});
    form.Load_But->click();
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].Kind, DialogKind::Message);
    EXPECT_EQ(dialogs.requests[1].Box, velmar::BoxKind::Warning);
    EXPECT_EQ(dialogs.requests[1].Text, "No data records were found in " + empty + ".");
    EXPECT_EQ(form.StaticText3->palette().color(QPalette::Window), QColor("#ff0000"));
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Hex File Loaded...."));

    const std::string far = PathOf("far.hex");
    std::ofstream(far, std::ios::binary) << ":0100000011EE\r\n:02300000AABB69\r\n:00000001FF\r\n";
    dialogs.requests.clear();
    dialogs.answers.push_back({true, far});
    form.Load_But->click();
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].Box, velmar::BoxKind::Warning);
    EXPECT_EQ(dialogs.requests[1].Text,
              "2 bytes lay beyond the device's end and were folded onto lower addresses.");
    EXPECT_EQ(state.Buffer[0x1000], 0xAA); // the fold is kept
    EXPECT_EQ(form.StaticText3->palette().color(QPalette::Window), QColor("#ff0000"));

    // A file inside the device: no box, a green banner.
    const std::string good = PathOf("good.hex");
    std::ofstream(good, std::ios::binary) << ":0100000011EE\r\n:00000001FF\r\n";
    dialogs.requests.clear();
    dialogs.answers.push_back({true, good});
    form.Load_But->click();
    EXPECT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(form.StaticText3->palette().color(QPalette::Window), QColor("#00ff00"));
}

TEST_F(WindowFileCommands, CancelledLoadStillSumsAndEnds) {
    state.Window.DeviceEnd = 0xF;
    state.Buffer[3] = 0x22;
    dialogs.answers.push_back({false, {}});
    form.Load_But->click();
    EXPECT_EQ(form.Chk_Sum_But->text(), QStringLiteral("CheckSum=0022"));
    EXPECT_EQ(form.StaticText4->text(),
              QStringLiteral("Last File Loaded in Buffer=No File Loaded"));
    EXPECT_TRUE(form.Load_But->isEnabled());
    EXPECT_EQ(form.StaticText3->palette().color(QPalette::Window), QColor("#00ff00"));
}

TEST_F(WindowFileCommands, SaveBinaryThroughTheSaveDialog) {
    const std::string path = PathOf("out.bin");
    for (int i = 0; i < 0x400; ++i)
        state.Buffer[i] = static_cast<std::uint8_t>(i * 7);
    state.Window.BufferStart = 0x200;
    state.Window.DeviceEnd = 0x3FF;
    dialogs.answers.push_back({true, path});
    form.Save_But->click();

    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].Kind, DialogKind::SaveFile);
    EXPECT_TRUE(dialogs.requests[0].File.OverwritePrompt);
    EXPECT_EQ(dialogs.requests[0].File.DefaultExt, "Bin");
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 0x400u);
    for (int i = 0; i < 0x400; ++i)
        ASSERT_EQ(static_cast<std::uint8_t>(bytes[static_cast<std::size_t>(i)]),
                  static_cast<std::uint8_t>(i * 7));
    EXPECT_EQ(form.SaveDialog1.FileName, path);
    // Saving is not a load.
    EXPECT_EQ(form.StaticText4->text(),
              QStringLiteral("Last File Loaded in Buffer=No File Loaded"));
}

TEST_F(WindowHandlers, DeviceListAppliesTheClickedRow) {
    form.Device->click();
    EXPECT_TRUE(form.Device_Box->isVisibleTo(&form));
    EXPECT_FALSE(form.Device->isEnabled());

    bool figureUp = false;
    dialogs.OnRequest = [&](const velmar::ui::DialogRequest&) {
        figureUp = form.A875X->isVisibleTo(&form) && !form.A874X->isVisibleTo(&form);
    };
    ClickRow(form.Device_Box, 10); // 87C52H
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].Kind, DialogKind::Message);
    EXPECT_EQ(dialogs.requests[0].Text, "");
    ASSERT_TRUE(dialogs.requests[0].At.has_value());
    EXPECT_EQ(dialogs.requests[0].At->x, 725);
    EXPECT_EQ(dialogs.requests[0].At->y, 200);
    EXPECT_TRUE(figureUp);
    EXPECT_FALSE(form.A875X->isVisibleTo(&form));
    EXPECT_FALSE(form.Device_Box->isVisibleTo(&form));
    EXPECT_EQ(form.Device->text(), QStringLiteral("87C52H"));
    EXPECT_EQ(form.End_Add->text(), QStringLiteral("Device End=1FFF"));
    EXPECT_EQ(form.Panel8->height(), 48);
    EXPECT_TRUE(form.Security->isVisibleTo(&form));
    EXPECT_FALSE(form.Erase_But->isVisibleTo(&form));
    EXPECT_TRUE(form.Device->isEnabled());
}

TEST_F(WindowHandlers, JumperPromptsShowThe874XFigure) {
    bool figureUp = false;
    dialogs.OnRequest = [&](const velmar::ui::DialogRequest&) {
        figureUp = form.A874X->isVisibleTo(&form) && !form.A875X->isVisibleTo(&form);
    };
    form.Device->click();
    ClickRow(form.Device_Box, 4); // 8748H
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].Text, "Besure to Remove the JUMPER on the adapter board....");
    ASSERT_TRUE(dialogs.requests[0].At.has_value());
    EXPECT_EQ(dialogs.requests[0].At->x, 595);
    EXPECT_EQ(dialogs.requests[0].At->y, 250);
    EXPECT_TRUE(figureUp);
    EXPECT_FALSE(form.A874X->isVisibleTo(&form));
    EXPECT_EQ(form.Panel8->height(), 27);
    EXPECT_FALSE(form.Security->isVisibleTo(&form));

    figureUp = false;
    form.Device->click();
    ClickRow(form.Device_Box, 1); // 8741
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].Text, "Besure to install the JUMPER on the adapter board....");
    EXPECT_TRUE(figureUp);
    EXPECT_EQ(form.Device->text(), QStringLiteral("8741A"));
}

TEST_F(WindowHandlers, EnterPicksTheHighlightedRow) {
    form.show();
    form.File_But->click();
    form.File_Type->setFocus();
    QTest::keyClick(form.File_Type, Qt::Key_Space); // other keys pick nothing
    EXPECT_TRUE(form.File_Type->isVisibleTo(&form));
    form.File_Type->setCurrentRow(3);
    QTest::keyClick(form.File_Type, Qt::Key_Return);
    EXPECT_EQ(state.FileType, 3);
    EXPECT_EQ(form.File_But->text(), QStringLiteral("Ascii Hex File"));
    EXPECT_FALSE(form.File_Type->isVisibleTo(&form));
}

TEST_F(WindowHandlers, SecurityListComesAndGoesWithItsClicks) {
    form.SecurityClick();
    EXPECT_TRUE(form.Security_List->isVisibleTo(&form));
    EXPECT_FALSE(form.Device->isEnabled());
    ClickRow(form.Security_List, 3); // Cancel
    EXPECT_FALSE(form.Security_List->isVisibleTo(&form));
    EXPECT_TRUE(form.Device->isEnabled());
}

TEST_F(WindowHandlers, BlankRowSaysNoDevice) {
    form.Device->click();
    ClickRow(form.Device_Box, 6);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].Text, "No Device Was Selected.");
    EXPECT_FALSE(dialogs.requests[0].At.has_value());
    EXPECT_EQ(form.Device->text(), QStringLiteral("No Device"));
    EXPECT_EQ(form.End_Add->text(), QStringLiteral("Device End=FFFFF"));
    EXPECT_TRUE(form.Security->isVisibleTo(&form));
    EXPECT_FALSE(form.Device_Box->isVisibleTo(&form));
}

} // namespace

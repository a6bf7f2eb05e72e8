// The operation frame on the real buttons, the banner colours, the Quit
// caption, Large/Small Buttons, the diagnostic lists and closing while a
// handler runs.

#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <map>

#include "WindowPanel.h"
#include "WindowTestSupport.h"
#include "devices/OperationFrame.h"

namespace {

using velmar::ProgramState;

class BusyState : public ::testing::Test {
  protected:
    velmar::testing::ApplicationGuard app;
    ProgramState state{velmar::HardwareBackend()};
    TMainForm form{state};

    std::vector<QPushButton*> DeviceButtons() {
        return {form.Quit_Func_But, form.Programm, form.Verify,  form.Auto_Verify, form.Move_Eprom,
                form.Blank_Chk,     form.Erase_But, form.Vpp_But, form.Compare,     form.Security};
    }
    std::vector<QPushButton*> WindowButtons() {
        return {form.Start_Buf_Add, form.Chk_Sum_But, form.Start_Add, form.Save_But, form.Load_But,
                form.File_But,      form.End_Add,     form.Offset,    form.Device,   form.Help_1,
                form.Scale,         form.Edit,        form.Fill};
    }
    QColor Banner() { return form.StaticText3->palette().color(QPalette::Window); }
};

TEST_F(BusyState, BeginDisablesAllAndHidesReports) {
    form.Memo1->show();
    form.Help1->show();
    for (QPushButton* b : {form.Start_Buf_Add, form.Start_Add, form.End_Add, form.Offset})
        b->hide();
    state.FailFlag = true;
    velmar::BeginOperation(state);
    for (QPushButton* b : DeviceButtons())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    for (QPushButton* b : WindowButtons())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(form.Memo1->isVisibleTo(&form));
    EXPECT_FALSE(form.Help1->isVisibleTo(&form));
    for (QPushButton* b : {form.Start_Buf_Add, form.Start_Add, form.End_Add, form.Offset})
        EXPECT_TRUE(b->isVisibleTo(&form));
    EXPECT_EQ(Banner(), QColor("#ffff00"));
    EXPECT_FALSE(state.FailFlag);
    // The banner text is left alone.
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Looking For Programmer"));
}

TEST_F(BusyState, EndWithoutProgrammerKeepsDeviceButtonsOff) {
    state.Link.LinkState = velmar::LinkState::Closed;
    velmar::BeginOperation(state);
    form.FillBox->show();
    form.Fill_Edit->show();
    form.File_Type->show();
    form.Help1->show();
    form.Device_Box->show();
    form.Security_List->show();
    velmar::EndOperation(state);
    for (QPushButton* b : DeviceButtons())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    for (QPushButton* b : WindowButtons())
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    for (QWidget* w : {static_cast<QWidget*>(form.FillBox), static_cast<QWidget*>(form.Fill_Edit),
                       static_cast<QWidget*>(form.File_Type), static_cast<QWidget*>(form.Help1)})
        EXPECT_FALSE(w->isVisibleTo(&form)) << w->objectName().toStdString();
    // Not the frame's business: their own handlers hide them.
    EXPECT_TRUE(form.Device_Box->isVisibleTo(&form));
    EXPECT_TRUE(form.Security_List->isVisibleTo(&form));
    EXPECT_EQ(Banner(), QColor("#00ff00"));
}

TEST_F(BusyState, EndWithLinkEnablesEverything) {
    state.Link.LinkState = velmar::LinkState::Opened;
    velmar::BeginOperation(state);
    velmar::EndOperation(state);
    for (QPushButton* b : DeviceButtons())
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    for (QPushButton* b : WindowButtons())
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
}

TEST_F(BusyState, BannerColoursFollowFailFlag) {
    velmar::BeginOperation(state);
    EXPECT_EQ(Banner(), QColor("#ffff00"));
    state.FailFlag = true;
    velmar::EndOperation(state);
    EXPECT_EQ(Banner(), QColor("#ff0000"));
    velmar::BeginOperation(state);
    EXPECT_EQ(Banner(), QColor("#ffff00"));
    // An operation that reports its own sentence is judged by FailFlag.
    state.Panel->Status("Device Verified to Buffer....");
    velmar::EndOperation(state);
    EXPECT_EQ(Banner(), QColor("#00ff00"));
}

TEST_F(BusyState, QuitCaptionShowsWhereTheRunStopped) {
    velmar::BeginOperation(state);
    state.Transfer.DeviceAddress = 0x3FF;
    velmar::EndOperation(state);
    EXPECT_EQ(form.Quit_Func_But->text(), QStringLiteral("&Quit = 03FF"));
    velmar::BeginOperation(state);
    state.Transfer.DeviceAddress = 0x12345;
    velmar::EndOperation(state);
    EXPECT_EQ(form.Quit_Func_But->text(), QStringLiteral("&Quit = 12345"));
    // Where programming ended is no step of its own: Quit keeps the last one.
    state.Panel->Progress(velmar::ProgressOf::Programmed, 0x2000);
    EXPECT_EQ(form.Quit_Func_But->text(), QStringLiteral("&Quit = 12345"));
    state.Panel->Progress(velmar::ProgressOf::FileLoad, 0x100);
    EXPECT_EQ(form.Quit_Func_But->text(), QStringLiteral("&Quit = 00100"));

    state.Link.LinkState = velmar::LinkState::Opened;
    velmar::EndOperation(state);
    state.Transfer.StopFlag = velmar::TransferStop::Running;
    form.Quit_Func_But->click();
    EXPECT_EQ(state.Transfer.StopFlag, velmar::TransferStop::Stopped);
}

TEST_F(BusyState, LargeAndSmallButtonsRoundTrip) {
    std::map<QWidget*, std::pair<QRect, int>> before;
    for (QWidget* w : form.DesignedControls())
        before[w] = {w->geometry(), w->font().pixelSize()};
    ASSERT_GT(before.size(), 45u);
    const QSize size = form.size();

    form.Scale->click();
    EXPECT_EQ(form.Scale->text(), QStringLiteral("Small Buttons"));
    EXPECT_EQ(form.ScaleTag, 1);
    EXPECT_EQ(form.size(), QSize(876, 553)); // 735 x 464 times 486/408, rounded
    EXPECT_EQ(form.Panel7->geometry(), QRect(10, 91, 132, 129));
    EXPECT_EQ(form.Programm->font().pixelSize(), 14);
    EXPECT_EQ(form.Memo1->font().pixelSize(), 15);
    EXPECT_EQ(form.Memo2->font().pixelSize(), 17);
    EXPECT_EQ(form.Device_Box->item(3)->sizeHint().height(), 18);

    form.Scale->click();
    EXPECT_EQ(form.Scale->text(), QStringLiteral("Large Buttons"));
    EXPECT_EQ(form.ScaleTag, 0);
    EXPECT_LE(std::abs(form.width() - size.width()), 1);
    EXPECT_LE(std::abs(form.height() - size.height()), 1);
    for (QWidget* w : form.DesignedControls()) {
        SCOPED_TRACE(w->objectName().toStdString());
        const QRect was = before[w].first;
        const QRect now = w->geometry();
        EXPECT_LE(std::abs(now.x() - was.x()), 1);
        EXPECT_LE(std::abs(now.y() - was.y()), 1);
        if (w != form.StaticText3 && w != form.StaticText4) {
            EXPECT_LE(std::abs(now.width() - was.width()), 1);
        }
        EXPECT_LE(std::abs(now.height() - was.height()), 1);
        EXPECT_EQ(w->font().pixelSize(), before[w].second);
    }
}

TEST_F(BusyState, ReportAndDiagnosticLinesNewestFirst) {
    auto& panel = *state.Panel;
    panel.BeginReport();
    panel.ReportLine("first");
    panel.ReportLine("second");
    EXPECT_EQ(form.Memo1->toPlainText(), QStringLiteral("second\nfirst"));

    int failures = 0;
    form.LinkWaitFailed = [&] { ++failures; };
    panel.LinkLost(0, 5);
    panel.DiagnosticLine(velmar::DiagnosticOf::FirmwareCheck, "Version 1.23");
    EXPECT_EQ(form.Memo2->toPlainText(),
              QStringLiteral("Device no longer present ... PortStatus-0 USB-5\nMemo2\nVersion 1.23"));
    EXPECT_EQ(failures, 1);
    panel.DiagnosticLine(velmar::DiagnosticOf::Link, "something else");
    EXPECT_EQ(failures, 1);
}

TEST_F(BusyState, PanelMapsCoreRolesToControls) {
    auto& panel = *state.Panel;
    panel.DeviceChanged(9);
    EXPECT_EQ(form.Device->text(), QStringLiteral("87C51H"));
    panel.DeviceChanged(velmar::kNoDevice);
    EXPECT_EQ(form.Device->text(), QStringLiteral("No Device"));
    panel.FileLoaded("/tmp/a.bin");
    EXPECT_EQ(form.StaticText4->text(), QStringLiteral("Last File Loaded in Buffer=/tmp/a.bin"));
    EXPECT_EQ(form.StaticText4->width(),
              form.StaticText4->fontMetrics().horizontalAdvance(form.StaticText4->text()));
    panel.DeviceCommands(false, false);
    EXPECT_EQ(form.Panel8->geometry(), QRect(8, 4, 111, 27));
    EXPECT_FALSE(form.Security->isVisibleTo(&form));
    EXPECT_FALSE(form.Erase_But->isVisibleTo(&form));
    panel.DeviceCommands(true, false);
    EXPECT_EQ(form.Panel8->geometry(), QRect(8, 4, 111, 48));
    EXPECT_TRUE(form.Security->isVisibleTo(&form));
    panel.DeviceCommands(true, true);
    EXPECT_EQ(form.Panel8->geometry(), QRect(8, 4, 111, 68));
    EXPECT_TRUE(form.Erase_But->isVisibleTo(&form));
    velmar::testing::DialogRecorder dialogs;
    bool figureUp = false;
    dialogs.OnRequest = [&](const velmar::ui::DialogRequest&) {
        figureUp = form.A875X->isVisibleTo(&form);
    };
    panel.ShowMessage(velmar::BoxKind::Information, "", velmar::BoxAbout::Adapter875X);
    EXPECT_TRUE(figureUp);
    form.Quit_Func_But->setEnabled(false);
    panel.QuitOffered();
    EXPECT_TRUE(form.Quit_Func_But->isEnabled());
}

TEST_F(BusyState, CloseWaitsForTheRunningHandler) {
    int queries = 0;
    form.CloseQuery = [&] { ++queries; };
    form.show();
    {
        TMainForm::HandlerScope running(form);
        state.Transfer.StopFlag = velmar::TransferStop::Running;
        EXPECT_FALSE(form.close());
        EXPECT_EQ(queries, 1);
        EXPECT_EQ(state.Transfer.StopFlag, velmar::TransferStop::Stopped);
        EXPECT_TRUE(form.isVisible());
        // A second request while it winds down is not asked again.
        EXPECT_FALSE(form.close());
        EXPECT_EQ(queries, 1);
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(queries, 1);
}

TEST_F(BusyState, CloseWhenIdleAsksOnceAndCloses) {
    int queries = 0;
    form.CloseQuery = [&] { ++queries; };
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_EQ(queries, 1);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(BusyState, PanelDetachedWhenWindowGoes) {
    const velmar::FrontPanel* gone = nullptr;
    {
        TMainForm second(state);
        gone = &second.Panel();
        EXPECT_EQ(&*state.Panel, gone);
        state.Panel->DeviceChanged(3);
        EXPECT_EQ(second.Device->text(), QStringLiteral("8748 "));
    }
    // The window is gone; the core must not reach into it.
    EXPECT_NE(&*state.Panel, gone);
    state.Panel->DeviceChanged(5);
    velmar::BeginOperation(state);
    EXPECT_EQ(form.Device->text(), QStringLiteral("No Device"));
}

} // namespace

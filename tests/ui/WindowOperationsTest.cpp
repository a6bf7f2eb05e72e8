// Buttons of the window run against the in-process virtual programmer: the
// banner search, programming with automatic verify, a failing verify, Quit
// clicked while an operation waits.

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "WindowTestSupport.h"
#include "devices/DeviceOperations.h"
#include "devices/OperationFrame.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace {

using velmar::ProgramState;
using velmar::VirtualProgrammer;
using velmar::testing::ClickRow;
using velmar::testing::DialogRecorder;

class WindowOperations : public ::testing::Test {
  protected:
    velmar::testing::ApplicationGuard app;
    bool reset = [] {
        velmar::VirtualOptions options;
        VirtualProgrammer::Instance().Reset(options);
        return true;
    }();
    ProgramState state{velmar::VirtualBackend()};
    TMainForm form{state};
    DialogRecorder dialogs;

    QColor Banner() { return form.StaticText3->palette().color(QPalette::Window); }
    void ClickBanner() { QTest::mouseClick(form.StaticText3, Qt::LeftButton); }
    void Select(int row) {
        form.Device->click();
        ClickRow(form.Device_Box, row);
    }
    std::string TopReportLine() {
        return form.Memo1->toPlainText().section('\n', 0, 0).toStdString();
    }
};

TEST_F(WindowOperations, BannerClickFindsTheProgrammer) {
    ClickBanner();
    EXPECT_EQ(state.Link.LinkState, velmar::LinkState::Answered);
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Usb Programmer Found - FirmWare Version 1.23"));
    EXPECT_EQ(Banner(), QColor("#00ff00"));
    EXPECT_TRUE(form.Verify->isEnabled());
    EXPECT_TRUE(form.Quit_Func_But->isEnabled());
    EXPECT_FALSE(form.Memo1->isVisibleTo(&form));
    // No device chosen yet: the list comes up.
    EXPECT_TRUE(form.Device_Box->isVisibleTo(&form));
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST_F(WindowOperations, BannerClickWithoutProgrammer) {
    VirtualProgrammer::Instance().SetDeviceCount(0);
    // As at start-up: the buttons are off until a programmer answers.
    velmar::BeginOperation(state);
    ClickBanner();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].Text, "The Brindle Programmer Could Not Be Found....");
    ASSERT_TRUE(dialogs.requests[0].At.has_value());
    EXPECT_EQ(dialogs.requests[0].At->x, 375);
    EXPECT_EQ(dialogs.requests[0].At->y, 325);
    EXPECT_EQ(state.Link.LinkState, velmar::LinkState::Closed);
    EXPECT_FALSE(form.Verify->isEnabled());
    EXPECT_TRUE(form.Load_But->isEnabled());
    // The mark is cleared after the search, so the banner ends green.
    EXPECT_EQ(Banner(), QColor("#00ff00"));
}

TEST_F(WindowOperations, BannerClickOpensTheDeviceListOnlyWithoutADevice) {
    ClickBanner();
    Select(20);
    EXPECT_TRUE(state.Selection.HasDevice);
    EXPECT_FALSE(form.Device_Box->isVisibleTo(&form));
    ClickBanner();
    EXPECT_FALSE(form.Device_Box->isVisibleTo(&form));
    Select(6); // a blank row: no device
    ASSERT_EQ(form.Device->text(), QStringLiteral("No Device"));
    EXPECT_FALSE(state.Selection.HasDevice);
    ClickBanner();
    EXPECT_TRUE(form.Device_Box->isVisibleTo(&form));
}

TEST_F(WindowOperations, BannerClickIgnoredWhileAHandlerRuns) {
    TMainForm::HandlerScope running(form);
    ClickBanner();
    EXPECT_EQ(state.Link.LinkState, velmar::LinkState::Closed);
    EXPECT_EQ(VirtualProgrammer::Instance().PacketCount(), 0);
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Looking For Programmer"));
}

TEST_F(WindowOperations, ProgramWithAutoVerifyThenFindADifference) {
    ClickBanner();
    Select(20); // 89C52, 8 KiB flash
    ASSERT_EQ(form.Device->text(), QStringLiteral("89C52"));
    for (int i = 0; i <= 0x1FFF; ++i)
        state.Buffer[i] = static_cast<std::uint8_t>((i * 13) ^ (i >> 8));

    form.Programm->click();
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Device Verified to Buffer...."));
    EXPECT_EQ(Banner(), QColor("#00ff00"));
    EXPECT_TRUE(form.Programm->isEnabled());
    const auto& chip = VirtualProgrammer::Instance().Chip();
    ASSERT_GE(chip.size(), 0x2000u);
    for (int i = 0; i <= 0x1FFF; ++i)
        ASSERT_EQ(chip[static_cast<std::size_t>(i)], state.Buffer[i]) << i;

    const std::uint8_t expected = state.Buffer[0x1A3];
    const std::uint8_t found = static_cast<std::uint8_t>(expected ^ 0x5A);
    VirtualProgrammer::Instance().Chip()[0x1A3] = found;
    form.Verify->click();
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Device Did NOT Verify to Buffer...."));
    EXPECT_EQ(Banner(), QColor("#ff0000"));
    EXPECT_TRUE(form.Memo1->isVisibleTo(&form));
    EXPECT_EQ(TopReportLine(), velmar::DifferenceLine(0x1A3, expected, found));
    EXPECT_EQ(form.Quit_Func_But->text(), QStringLiteral("&Quit = 2000"));
}

// The diagnosis is one line on top of the complete list of differences.
TEST_F(WindowOperations, AFailedVerifyNamesItsCauseAboveTheList) {
    velmar::VirtualOptions options;
    options.Socket.StuckDataBit = 3;
    VirtualProgrammer::Instance().Reset(options);
    ClickBanner();
    Select(20); // 89C52
    for (int i = 0; i <= 0x1FFF; ++i)
        state.Buffer[i] = static_cast<std::uint8_t>(i * 7);
    VirtualProgrammer::Instance().Chip().assign(state.Buffer.data(), state.Buffer.data() + 0x2000);
    form.Verify->click();
    EXPECT_EQ(form.StaticText3->text(), QStringLiteral("Device Did NOT Verify to Buffer...."));
    const QStringList lines = form.Memo1->toPlainText().split('\n');
    ASSERT_GT(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("diagnosis: data line D3 reads 0 wherever 1 was expected"))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1].left(4), QStringLiteral("1FFF")); // the last difference found
    EXPECT_EQ(lines.filter("diagnosis").size(), 1);
}

TEST_F(WindowOperations, QuitClickedWhileVerifyWaits) {
    ClickBanner();
    Select(21); // 89S52
    // Clicked from the events the reply wait pumps, as soon as the verify
    // has enabled the button.
    bool clicked = false;
    QTimer quitter;
    QObject::connect(&quitter, &QTimer::timeout, [&] {
        if (!clicked && form.Quit_Func_But->isEnabled() &&
            form.StaticText3->text() == QStringLiteral("Verifying Device to Buffer....")) {
            form.Quit_Func_But->click();
            clicked = true;
        }
    });
    quitter.start(0);
    form.Verify->click();
    quitter.stop();
    EXPECT_TRUE(clicked);
    // A stopped run is never reported as a success.
    EXPECT_NE(form.StaticText3->text(), QStringLiteral("Device Verified to Buffer...."));
    EXPECT_EQ(Banner(), QColor("#ff0000"));
    EXPECT_TRUE(form.Verify->isEnabled());
}

// A cable pulled in the middle of programming: the banner says where and
// what the part holds, red; the lost link is said once, and no write is
// reported as timed out.
TEST_F(WindowOperations, APulledCableIsOneSentenceOnARedBanner) {
    ClickBanner();
    Select(20); // 89C52
    for (int i = 0; i <= 0x1FFF; ++i)
        state.Buffer[i] = static_cast<std::uint8_t>(i * 5);
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    // Well inside the block loop: a SetLatches and a ProgramBlock a block.
    programmer.SetUnplugFrom(programmer.PacketCount() + 16);
    form.Programm->click();
    const std::string banner = form.StaticText3->text().toStdString();
    EXPECT_EQ(banner.rfind("the programmer was unplugged at block ", 0), 0u) << banner;
    EXPECT_NE(banner.find(": the part holds the new data from 0000 up to "), std::string::npos)
        << banner;
    EXPECT_EQ(Banner(), QColor("#ff0000"));
    const QString lost = form.Memo2->toPlainText();
    EXPECT_EQ(lost.count(QStringLiteral("Device no longer present")), 1) << lost.toStdString();
    int ioBoxes = 0;
    for (const auto& request : dialogs.requests) {
        EXPECT_EQ(request.Text.find("Write TimeOut"), std::string::npos) << request.Text;
        if (request.Text.find("General IO Error") != std::string::npos) ++ioBoxes;
    }
    EXPECT_EQ(ioBoxes, 1);
    EXPECT_EQ(form.Memo1->toPlainText().indexOf(QStringLiteral("Write TimeOut")), -1);
    EXPECT_TRUE(form.Programm->isEnabled());
}

} // namespace

// Every catalogue part through the window's buttons on the virtual
// programmer with its timing model on: the slowest block of each family is
// waited for, and the part programs, verifies and reads back. Slow by nature
// (an 874X block takes 12.8 s, the 8741 its host-timed pulses).

#include <gtest/gtest.h>

#include <QTest>

#include "WindowTestSupport.h"
#include "tests/support/TimedPartImage.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace {

using velmar::ProgramState;
using velmar::VirtualProgrammer;
using velmar::test::WorstFirstBlockImage;
using velmar::testing::ClickRow;
using velmar::testing::DialogRecorder;

class TimedPartInWindow : public ::testing::TestWithParam<int> {
  protected:
    velmar::testing::ApplicationGuard app;
    bool reset = [] {
        velmar::VirtualOptions options;
        options.Timing = true;
        VirtualProgrammer::Instance().Reset(options);
        return true;
    }();
    ProgramState state{velmar::VirtualBackend()};
    TMainForm form{state};
    DialogRecorder dialogs;

    QString Banner() const { return form.StaticText3->text(); }
};

TEST_P(TimedPartInWindow, ProgramsVerifiesAndReadsBack) {
    const int row = GetParam();
    QTest::mouseClick(form.StaticText3, Qt::LeftButton);
    ASSERT_EQ(state.Link.LinkState, velmar::LinkState::Answered);
    form.Device->click();
    ClickRow(form.Device_Box, row);
    ASSERT_TRUE(state.Selection.HasDevice);

    const std::vector<std::uint8_t> image = WorstFirstBlockImage(row);
    ASSERT_EQ(state.Window.DeviceEnd + 1, static_cast<std::int32_t>(image.size()));
    for (std::size_t a = 0; a < image.size(); ++a)
        state.Buffer[static_cast<std::int32_t>(a)] = image[a];

    form.Programm->click();
    EXPECT_EQ(Banner(), QStringLiteral("Device Verified to Buffer...."));
    const auto& chip = VirtualProgrammer::Instance().Chip();
    ASSERT_GE(chip.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), chip.begin()));

    form.Verify->click();
    EXPECT_EQ(Banner(), QStringLiteral("Device Verified to Buffer...."));

    state.Buffer.Fill(0x5A);
    form.Move_Eprom->click();
    EXPECT_EQ(Banner(), QStringLiteral("Device Has Been Moved to Buffer...."));
    for (std::size_t a = 0; a < image.size(); ++a)
        ASSERT_EQ(state.Buffer[static_cast<std::int32_t>(a)], image[a]) << a;

    EXPECT_TRUE(VirtualProgrammer::Instance().Faults().empty());
    EXPECT_FALSE(form.Memo2->toPlainText().contains(QStringLiteral("Device no longer present")));
}

INSTANTIATE_TEST_SUITE_P(EveryPart, TimedPartInWindow,
                         ::testing::ValuesIn(velmar::test::DeviceRows()),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return velmar::test::PartTestName(info.param);
                         });

} // namespace

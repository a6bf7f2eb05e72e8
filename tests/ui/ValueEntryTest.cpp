#include <QLineEdit>
#include <QPushButton>

#include "UiFixture.h"

namespace velmar::test {
namespace {

class ValueEntryTest : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        ShowActive();
    }
    QString Caption(QPushButton* button) const { return button->text(); }
};

TEST_F(ValueEntryTest, BufferStartIsTypedInHexAndEndsTheBusyState) {
    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    EXPECT_TRUE(form->Edit_Add->isVisible());
    EXPECT_TRUE(form->Edit_Add->hasFocus());
    EXPECT_EQ(form->Edit_Add->y(), 342);
    EXPECT_EQ(entry->EntryTarget, 1);
    // Busy: every button but the one that opened the entry.
    EXPECT_TRUE(form->Start_Buf_Add->isEnabled());
    EXPECT_FALSE(form->Offset->isEnabled());
    EXPECT_FALSE(form->Edit->isEnabled());

    QTest::keyClicks(form->Edit_Add, "1a00");
    EXPECT_EQ(form->Edit_Add->text(), "1A00");
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    EXPECT_FALSE(form->Edit_Add->isVisible());
    EXPECT_EQ(state->Window.BufferStart, 0x1A00);
    EXPECT_EQ(Caption(form->Start_Buf_Add), "Buffer Start=1A00");
    EXPECT_TRUE(form->Edit->isEnabled());
    EXPECT_TRUE(form->Offset->isEnabled());
    EXPECT_EQ(state->Window.HexOffset, 0);
}

TEST_F(ValueEntryTest, OnlyFiveHexDigitsAreTaken) {
    QTest::mouseClick(form->Offset, Qt::LeftButton);
    EXPECT_EQ(form->Edit_Add->y(), 402);
    QTest::keyClicks(form->Edit_Add, "g 1-2z3\x1b" "4567");
    QTest::keyClick(form->Edit_Add, Qt::Key_Escape);
    EXPECT_EQ(form->Edit_Add->text(), "12345");
    EXPECT_TRUE(form->Edit_Add->isVisible());
    QTest::keyClick(form->Edit_Add, Qt::Key_Backspace);
    EXPECT_EQ(form->Edit_Add->text(), "1234");
    QTest::keyClick(form->Edit_Add, Qt::Key_Enter);
    EXPECT_EQ(state->Window.HexOffset, 0x1234);
    EXPECT_EQ(Caption(form->Offset), "Hex Offset=1234");
    EXPECT_EQ(state->Window.BufferStart, 0);
}

TEST_F(ValueEntryTest, BufferStartThatPushesTheDevicePastTheTopBecomesZero) {
    state->Window.DeviceStart = 0;
    state->Window.DeviceEnd = 0x0FFF;
    state->Window.DeviceLimit = 0x0FFF;
    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    QTest::keyClicks(form->Edit_Add, "FFFFF");
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    EXPECT_EQ(state->Window.BufferStart, 0);
    EXPECT_EQ(Caption(form->Start_Buf_Add), "Buffer Start=0000");
    // The hex offset is never corrected.
    QTest::mouseClick(form->Offset, Qt::LeftButton);
    QTest::keyClicks(form->Edit_Add, "FFFFF");
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    EXPECT_EQ(state->Window.HexOffset, 0xFFFFF);
    EXPECT_EQ(Caption(form->Offset), "Hex Offset=FFFFF");
}

TEST_F(ValueEntryTest, EmptyEnterKeepsTheValue) {
    state->Window.BufferStart = 0x20;
    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    EXPECT_EQ(state->Window.BufferStart, 0x20);
    EXPECT_EQ(Caption(form->Start_Buf_Add), "Buffer Start=0020");
    EXPECT_TRUE(form->Fill->isEnabled());
    EXPECT_TRUE(MessageTexts().empty());

    // Pressing the button again empties the field.
    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    QTest::keyClicks(form->Edit_Add, "12");
    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    EXPECT_EQ(form->Edit_Add->text(), "");
}

TEST_F(ValueEntryTest, PastedTextThatIsNoNumberShowsTheErrorBox) {
    QTest::mouseClick(form->Offset, Qt::LeftButton);
    form->Edit_Add->setText("12 X"); // as a paste would put it there
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Box, BoxKind::Error);
    EXPECT_EQ(requests[0].Text, "'$12 X' is not a valid integer value.");
    EXPECT_FALSE(form->Edit_Add->isVisible());
    EXPECT_EQ(state->Window.HexOffset, 0);
    // Still busy; the address button reopens the entry.
    EXPECT_FALSE(form->Edit->isEnabled());
    EXPECT_TRUE(form->Offset->isEnabled());
}

TEST_F(ValueEntryTest, EnlargedWindowPlacesTheEntryLower) {
    form->ScaleClick();
    ASSERT_EQ(form->ScaleTag, 1);
    QTest::mouseClick(form->Offset, Qt::LeftButton);
    EXPECT_EQ(form->Edit_Add->y(), 477);
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    EXPECT_EQ(form->Edit_Add->y(), 407);
    EXPECT_EQ(ui::EnlargedEntryTop(342), 407);
}

} // namespace
} // namespace velmar::test

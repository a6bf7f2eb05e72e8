#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include "UiFixture.h"

namespace velmar::test {
namespace {

class HelpTest : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        ShowActive();
    }
    bool AddressButtonsVisible() const {
        return form->Start_Buf_Add->isVisible() && form->Start_Add->isVisible() &&
               form->End_Add->isVisible() && form->Offset->isVisible();
    }
    bool AddressButtonsHidden() const {
        return !form->Start_Buf_Add->isVisible() && !form->Start_Add->isVisible() &&
               !form->End_Add->isVisible() && !form->Offset->isVisible();
    }
};

TEST(HelpText, LinesSplitAtEveryLineEnd) {
    EXPECT_EQ(ui::SplitTextLines(""), (std::vector<std::string>{""}));
    EXPECT_EQ(ui::SplitTextLines("a\r\nb\nc\r"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(ui::SplitTextLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(ui::SplitTextLines("\n"), (std::vector<std::string>{""}));
}

TEST_F(HelpTest, MissingFileShowsNothing) {
    form->Memo1->show();
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_FALSE(form->Help1->isVisible());
    EXPECT_FALSE(form->Memo1->isVisible());
    EXPECT_TRUE(AddressButtonsVisible());
    EXPECT_TRUE(requests.empty());
}

TEST_F(HelpTest, ShowsTheFileLineByLineAndReloadsOnEveryPress) {
    WriteFile("Win_Velmar.Txt", "First line\r\nSecond  line\r\nCaf\xE9 \x80 5\r\n");
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    ASSERT_TRUE(form->Help1->isVisible());
    EXPECT_TRUE(AddressButtonsHidden());
    EXPECT_EQ(form->Help1->document()->blockCount(), 3);
    EXPECT_EQ(form->Help1->toPlainText(), QString::fromUtf8("First line\nSecond  line\nCaf\u00E9 \u20AC 5"));

    // Typed text is thrown away; a second press shows the file once.
    form->Help1->appendPlainText("scribble");
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_EQ(form->Help1->document()->blockCount(), 3);
    EXPECT_TRUE(form->Help1->isVisible());

    // Another button hides it and brings the address buttons back.
    QTest::mouseClick(form->Edit, Qt::LeftButton);
    EXPECT_FALSE(form->Help1->isVisible());
    EXPECT_TRUE(AddressButtonsVisible());
}

TEST_F(HelpTest, EmptyFileIsOneEmptyLine) {
    WriteFile("Win_Velmar.Txt", "");
    form->Help1->setPlainText("old\ntext");
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_TRUE(form->Help1->isVisible());
    EXPECT_EQ(form->Help1->document()->blockCount(), 1);
    EXPECT_EQ(form->Help1->toPlainText(), "");
}

TEST_F(HelpTest, TheFileComesFromTheCurrentDirectoryOfTheMoment) {
    QTemporaryDir other;
    WriteFile(other.path().toStdString() + "/Win_Velmar.Txt", "elsewhere");
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_FALSE(form->Help1->isVisible());
    QDir::setCurrent(other.path());
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_EQ(form->Help1->toPlainText(), "elsewhere");
}

TEST(ShippedHelp, IsPlainEightBitTextForUsers) {
    const std::string text = ReadFile(VELMAR_SOURCE_UI "/Win_Velmar.Txt");
    ASSERT_GT(text.size(), 2000u);
    for (unsigned char c : text) EXPECT_TRUE(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
    for (const char* topic : {"Program Device", "Edit Buffer", "Buffer Start", "Hex Offset",
                              "874X", "875X", "Intel Hex", "Motorola", "Ascii Hex", "virtual"}) {
        EXPECT_NE(text.find(topic), std::string::npos) << topic;
    }
}

} // namespace
} // namespace velmar::test

// Keys as X11 delivers them to the editor and the entry fields, the byte
// 0x7F in the dump, and the banner colour after a step without a status text.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include "UiFixture.h"
#include "devices/OperationFrame.h"

namespace velmar::test {
namespace {

class EditingKeys : public UiFixture {
  protected:
    void SetUp() override {
        UiFixture::SetUp();
        ShowActive();
    }
    // Delete as the X11 key translation delivers it: with the text "\x7f".
    static void Delete(QWidget* widget) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_Delete, QString(QChar(0x7F)),
                            Qt::NoModifier);
    }
    QColor Banner() const { return form->StaticText3->palette().color(QPalette::Window); }
};

TEST_F(EditingKeys, DeleteStoresNothingInTheCharacterColumns) {
    state->Buffer[0x10] = 0x55;
    QTest::mouseClick(form->Edit, Qt::LeftButton);
    ASSERT_TRUE(form->Edit_1->hasFocus());
    editor->Edit_1MouseDown(ui::kDumpLinePositions + 58); // character of byte 0x10
    ASSERT_EQ(editor->EditorAsciiMode, 1);
    QTest::keyClick(form->Edit_1, Qt::Key_Delete);
    Delete(form->Edit_1);
    EXPECT_EQ(state->Buffer[0x10], 0x55);
    EXPECT_EQ(editor->EditorColumn, 0);
    // Other characters still go in.
    QTest::keyClicks(form->Edit_1, "Z");
    EXPECT_EQ(state->Buffer[0x10], 'Z');
    EXPECT_EQ(editor->EditorColumn, 1);
}

TEST_F(EditingKeys, DeleteRemovesTheCharacterAfterTheCaretInTheEntries) {
    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    QTest::keyClicks(form->Edit_Add, "1234");
    QTest::keyClick(form->Edit_Add, Qt::Key_Home);
    Delete(form->Edit_Add);
    QTest::keyClick(form->Edit_Add, Qt::Key_Delete);
    EXPECT_EQ(form->Edit_Add->text(), "34");
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    EXPECT_EQ(state->Window.BufferStart, 0x34);

    QTest::mouseClick(form->Edit, Qt::LeftButton);
    QTest::mouseClick(form->Edit_Info, Qt::LeftButton);
    ASSERT_TRUE(form->Chg_Edit_Add->hasFocus());
    QTest::keyClicks(form->Chg_Edit_Add, "ab12");
    QTest::keyClick(form->Chg_Edit_Add, Qt::Key_Left);
    QTest::keyClick(form->Chg_Edit_Add, Qt::Key_Left);
    Delete(form->Chg_Edit_Add);
    EXPECT_EQ(form->Chg_Edit_Add->text(), "AB2");

    form->Fill->setFocus();
    QTest::mouseClick(form->Fill, Qt::LeftButton);
    QTest::mouseClick(form->FillBox->viewport(), Qt::LeftButton, {},
                      form->FillBox->visualItemRect(form->FillBox->item(2)).center());
    ASSERT_TRUE(form->Fill_Edit->isVisible());
    QTest::keyClicks(form->Fill_Edit, "5a");
    QTest::keyClick(form->Fill_Edit, Qt::Key_Left);
    Delete(form->Fill_Edit);
    EXPECT_EQ(form->Fill_Edit->text(), "5");
}

TEST_F(EditingKeys, ByteSevenFIsDrawnAsADot) {
    state->Buffer[0x03] = 0x7F;
    state->Buffer[0x04] = 0x41;
    QTest::mouseClick(form->Edit, Qt::LeftButton);
    const QString row = form->Edit_1->document()->findBlockByNumber(0).text();
    EXPECT_EQ(row.mid(8 + 9, 2), "7F");
    EXPECT_EQ(row.mid(58, 5), "....A");
    // Every character of the page has a glyph in the dump's font.
    const QFontMetrics metrics(form->Edit_1->font());
    for (QChar c : form->Edit_1->toPlainText()) {
        if (c != QLatin1Char('\n')) {
            EXPECT_TRUE(metrics.inFont(c)) << int(c.unicode());
        }
    }

    // The info line, and a byte typed over the page.
    QTest::keyClick(form->Edit_1, Qt::Key_Right);
    QTest::keyClick(form->Edit_1, Qt::Key_Right);
    QTest::keyClick(form->Edit_1, Qt::Key_Right);
    EXPECT_TRUE(form->Edit_Info->text().endsWith("Hex Data=7F               Ascii Data=."));
    QTest::keyClick(form->Edit_1, Qt::Key_Right);
    QTest::keyClicks(form->Edit_1, "7f");
    EXPECT_EQ(state->Buffer[0x04], 0x7F);
    EXPECT_EQ(form->Edit_1->document()->findBlockByNumber(0).text().mid(58, 5), ".....");
}

TEST_F(EditingKeys, AValueEntryLeavesAFailureRed) {
    BeginOperation(*state);
    state->Panel->Status("Eprom DID NOT Program.............");
    state->FailFlag = true;
    EndOperation(*state);
    ASSERT_EQ(Banner(), QColor("#ff0000"));

    QTest::mouseClick(form->Start_Buf_Add, Qt::LeftButton);
    EXPECT_EQ(Banner(), QColor("#ffff00")); // busy while the entry is open
    QTest::keyClicks(form->Edit_Add, "100");
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    EXPECT_EQ(state->Window.BufferStart, 0x100);
    EXPECT_EQ(form->StaticText3->text(), "Eprom DID NOT Program.............");
    EXPECT_EQ(Banner(), QColor("#ff0000"));

    // A fill writes no sentence either; the next step that does is judged anew.
    QTest::mouseClick(form->Fill, Qt::LeftButton);
    form->FillBox->setCurrentRow(3);
    emit form->FillBox->itemClicked(form->FillBox->item(3));
    EXPECT_EQ(Banner(), QColor("#ff0000"));
    BeginOperation(*state);
    state->Panel->Status("Device Verified to Buffer....");
    EndOperation(*state);
    EXPECT_EQ(Banner(), QColor("#00ff00"));
    QTest::mouseClick(form->Offset, Qt::LeftButton);
    QTest::keyClick(form->Edit_Add, Qt::Key_Return);
    EXPECT_EQ(Banner(), QColor("#00ff00"));
}

} // namespace
} // namespace velmar::test

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>

#include "UiFixture.h"
#include "ui/Captions.h"
#include "ui/ListingWindow.h"

namespace velmar::test {
namespace {

class BufferEditorTest : public UiFixture {
  protected:
    void Open() {
        ShowActive();
        QTest::mouseClick(form->Edit, Qt::LeftButton);
        ASSERT_TRUE(form->Edit_1->isVisible());
        ASSERT_TRUE(form->Edit_1->hasFocus());
    }
    std::string Info() const { return form->Edit_Info->text().toStdString(); }
    std::string Row(int row) const {
        return form->Edit_1->document()->findBlockByNumber(row).text().toStdString();
    }
    int Caret() const { return form->Edit_1->textCursor().position(); }
    void Key(Qt::Key key) { QTest::keyClick(form->Edit_1, key); }
    void Type(const char* text) { QTest::keyClicks(form->Edit_1, text); }
    void EnterPage(const char* text) {
        QTest::mouseClick(form->Edit_Info, Qt::LeftButton);
        ASSERT_TRUE(form->Chg_Edit_Add->isVisible());
        QTest::keyClicks(form->Chg_Edit_Add, text);
        QTest::keyClick(form->Chg_Edit_Add, Qt::Key_Return);
    }
    void SelectDeviceLimit(std::int32_t limit) {
        state->Window.DeviceStart = 0;
        state->Window.DeviceEnd = limit;
        state->Window.DeviceLimit = limit;
    }
};

TEST(DumpText, LinesAndInfoFollowTheByteRules) {
    DataBuffer buffer;
    buffer[0x10] = 0x41;
    buffer[0x11] = 0x1F;
    buffer[0x12] = 0x80;
    buffer[0x13] = 0x20;
    buffer[0x14] = 0x7F;
    buffer[0x1F] = 0xFF;
    const std::string line = ui::DumpLine(buffer, 0x10);
    EXPECT_EQ(line, "000010  41 1F 80 20 7F 00 00 00 00 00 00 00 00 00 00 FF   A.. \x7F...........");
    EXPECT_EQ(line.size(), 74u);

    EXPECT_EQ(ui::InfoLine(0x1234, 0x80),
              "Address=001234             Hex Data=80               Ascii Data=.");
    EXPECT_EQ(ui::InfoLine(0xFFFF, 0x20).size(), 65u);
    EXPECT_EQ(ui::InfoLine(0, 0x7F).back(), '\x7F');
    EXPECT_EQ(ui::InfoLine(0, 0x1F).back(), '.');
}

TEST_F(BufferEditorTest, OpensOnTheFirstPageWithTheByteUnderTheCursor) {
    state->Buffer[0] = 0x41;
    form->Memo1->show();
    Open();
    EXPECT_FALSE(form->Memo1->isVisible());
    EXPECT_TRUE(form->Edit_Info->isVisible());
    EXPECT_EQ(Info(), "Address=000000             Hex Data=41               Ascii Data=A");
    EXPECT_EQ(form->Edit_1->document()->blockCount(), 16);
    EXPECT_EQ(Row(0).substr(0, 10), "000000  41");
    EXPECT_EQ(Row(15).substr(0, 6), "0000F0");
    EXPECT_EQ(Caret(), 8);
    // Whole lines are in sight, without scrolling sideways.
    EXPECT_EQ(form->Edit_1->horizontalScrollBar()->maximum(), 0);
}

TEST_F(BufferEditorTest, HexDigitsReplaceHighThenLowNibble) {
    state->Buffer[0] = 0xFF;
    Open();
    Type("3");
    EXPECT_EQ(state->Buffer[0], 0x3F);
    EXPECT_EQ(editor->EditorNibble, 1);
    EXPECT_EQ(Caret(), 9);
    EXPECT_EQ(Row(0).substr(8, 2), "3F");
    Type("c");
    EXPECT_EQ(state->Buffer[0], 0x3C);
    EXPECT_EQ(editor->EditorColumn, 1);
    EXPECT_EQ(Caret(), 11);
    EXPECT_EQ(Row(0).substr(8, 3), "3C ");
    EXPECT_EQ(Row(0)[58], '<');

    // Not a hex digit: nothing changes.
    Type("G ");
    EXPECT_EQ(state->Buffer[1], 0x00);
    EXPECT_EQ(editor->EditorColumn, 1);
    EXPECT_EQ(editor->EditorNibble, 0);
    EXPECT_EQ(Row(0).substr(11, 2), "00");

    // Left from the low digit goes back to the high digit of the same byte.
    Type("7");
    Key(Qt::Key_Left);
    EXPECT_EQ(editor->EditorColumn, 1);
    EXPECT_EQ(editor->EditorNibble, 0);
    EXPECT_EQ(Caret(), 11);
}

TEST_F(BufferEditorTest, TypingPastTheRowEndWrapsToTheNextRowAndPage) {
    SelectDeviceLimit(0x0FFF);
    Open();
    Key(Qt::Key_End);
    Type("AB");
    EXPECT_EQ(state->Buffer[0x0F], 0xAB);
    EXPECT_EQ(editor->EditorColumn, 16);
    Type("CD");
    EXPECT_EQ(state->Buffer[0x10], 0xCD);
    EXPECT_EQ(editor->EditorRow, 1);
    EXPECT_EQ(editor->EditorColumn, 1);

    // Right on column 15 moves to column 0 of the next row.
    Key(Qt::Key_End);
    Key(Qt::Key_Right);
    EXPECT_EQ(editor->EditorRow, 2);
    EXPECT_EQ(editor->EditorColumn, 0);
    EXPECT_EQ(Caret(), 2 * ui::kDumpLinePositions + 8);

    // ... and on the last row it shows the next page, cursor on its first row.
    for (int i = 0; i < 13; ++i) Key(Qt::Key_Down);
    ASSERT_EQ(editor->EditorRow, 15);
    Key(Qt::Key_End);
    Key(Qt::Key_Right);
    EXPECT_EQ(editor->EditorTop, 0x100);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(editor->EditorColumn, 0);
    EXPECT_EQ(Row(0).substr(0, 6), "000100");
    EXPECT_EQ(Info().substr(0, 14), "Address=000100");
}

TEST_F(BufferEditorTest, PagingStopsAtBothEnds) {
    SelectDeviceLimit(0x0FFF);
    Open();
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Key(Qt::Key_PageUp);
    EXPECT_EQ(editor->EditorTop, 0);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(editor->EditorColumn, 0);
    EXPECT_EQ(Row(0).substr(0, 6), "000000");

    Key(Qt::Key_Up);
    EXPECT_EQ(editor->EditorTop, 0);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(editor->EditorColumn, 0);

    for (int i = 0; i < 20; ++i) Key(Qt::Key_PageDown);
    EXPECT_EQ(editor->EditorTop, 0xF00);
    EXPECT_EQ(Row(15).substr(0, 6), "000FF0");
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(editor->EditorTop, 0xF00);
    EXPECT_EQ(editor->EditorRow, 1);
    EXPECT_EQ(editor->EditorColumn, 1);

    // Down on the last row of the last page: row 0 of that same page.
    for (int i = 0; i < 14; ++i) Key(Qt::Key_Down);
    ASSERT_EQ(editor->EditorRow, 15);
    Key(Qt::Key_Down);
    EXPECT_EQ(editor->EditorTop, 0xF00);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(Info().substr(0, 14), "Address=000F01");
}

TEST_F(BufferEditorTest, WithoutADeviceOnlyTheBufferIsPaged) {
    // Before any selection the limit is 0: only the first page.
    Open();
    Key(Qt::Key_Down);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(editor->EditorTop, 0);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(editor->EditorColumn, 0);
    EnterPage("1234");
    EXPECT_EQ(editor->EditorTop, 0);

    // "No device" sets the 20-bit limit; the editor stops at the buffer's end.
    SelectDeviceLimit(0xFFFFF);
    EnterPage("FFFFF0");
    EXPECT_EQ(editor->EditorTop, 0xFF00);
    EXPECT_EQ(Row(15).substr(0, 6), "00FFF0");
    state->Buffer[0xFFFF] = 0x5A;
    for (int i = 0; i < 15; ++i) Key(Qt::Key_Down);
    Key(Qt::Key_End);
    EXPECT_EQ(Info(), "Address=00FFFF             Hex Data=5A               Ascii Data=Z");
    Type("12");
    EXPECT_EQ(state->Buffer[0xFFFF], 0x12);
    // Right after the last byte of the last row: past the buffer's end is
    // the first row of the same page, on the byte after the first.
    Key(Qt::Key_Right);
    EXPECT_EQ(editor->EditorTop, 0xFF00);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(editor->EditorColumn, 1);
    EXPECT_EQ(Info().substr(0, 14), "Address=00FF01");
}

TEST_F(BufferEditorTest, RightAfterTypingARowsLastByteStaysInTheDump) {
    SelectDeviceLimit(0x0FFF);
    Open();
    Key(Qt::Key_End);
    Type("AB");
    Key(Qt::Key_Right);
    EXPECT_EQ(editor->EditorRow, 1);
    EXPECT_EQ(editor->EditorColumn, 1);
    EXPECT_EQ(Caret(), ui::kDumpLinePositions + 11);
    // Left after the last byte goes back onto it.
    Key(Qt::Key_End);
    Type("CD");
    Key(Qt::Key_Left);
    EXPECT_EQ(editor->EditorRow, 1);
    EXPECT_EQ(editor->EditorColumn, 15);
    EXPECT_EQ(state->Buffer[0x1F], 0xCD);
}

TEST_F(BufferEditorTest, PageAddressEntryGoesToTheRoundedPage) {
    SelectDeviceLimit(0x7FFF);
    Open();
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    EnterPage("1234");
    EXPECT_FALSE(form->Chg_Edit_Add->isVisible());
    EXPECT_TRUE(form->Edit_1->isVisible());
    EXPECT_TRUE(form->Edit_1->hasFocus());
    EXPECT_EQ(editor->EditorTop, 0x1230);
    EXPECT_EQ(Row(0).substr(0, 6), "001230");
    // Same row and column on the new page.
    EXPECT_EQ(Info().substr(0, 14), "Address=001241");

    // Letters in upper case, at most six characters, other keys dropped.
    QTest::mouseClick(form->Edit_Info, Qt::LeftButton);
    QTest::keyClicks(form->Chg_Edit_Add, "a-bz 12345");
    EXPECT_EQ(form->Chg_Edit_Add->text().toStdString(), "AB1234");
    QTest::keyClick(form->Chg_Edit_Add, Qt::Key_Backspace);
    QTest::keyClick(form->Chg_Edit_Add, Qt::Key_Return);
    EXPECT_EQ(editor->EditorTop, 0x7F00); // AB123 is past the device's last page

    // Enter on an empty entry changes nothing.
    EnterPage("");
    EXPECT_EQ(editor->EditorTop, 0x7F00);
}

TEST_F(BufferEditorTest, PageAddressPastASmallDeviceShowsItsLastPage) {
    SelectDeviceLimit(0x0FFF);
    Open();
    EnterPage("2000");
    EXPECT_EQ(editor->EditorTop, 0xF00);
    EXPECT_EQ(Row(0).substr(0, 6), "000F00");
}

TEST_F(BufferEditorTest, CharacterColumnTakesTypedCharacters) {
    SelectDeviceLimit(0x0FFF);
    Open();
    const QRect firstLine = form->Edit_1->cursorRect(
        [&] {
            QTextCursor c(form->Edit_1->document());
            c.setPosition(ui::kDumpLinePositions + 58 + 5);
            return c;
        }());
    QTest::mouseClick(form->Edit_1->viewport(), Qt::LeftButton, {}, firstLine.center() + QPoint(1, 0));
    EXPECT_EQ(editor->EditorAsciiMode, 1);
    EXPECT_EQ(editor->EditorRow, 1);
    EXPECT_EQ(editor->EditorColumn, 5);
    Type("A");
    EXPECT_EQ(state->Buffer[0x15], 0x41);
    Type("b");
    EXPECT_EQ(state->Buffer[0x16], 0x62);
    EXPECT_EQ(Row(1).substr(23, 5), "41 62");
    EXPECT_EQ(Row(1).substr(63, 2), "Ab");
    EXPECT_EQ(Caret(), ui::kDumpLinePositions + 58 + 7);
    // Control characters are stored as they come.
    Key(Qt::Key_Backspace);
    EXPECT_EQ(state->Buffer[0x17], 0x08);
    EXPECT_EQ(Row(1)[65], '.');

    // The mode stays over a close and reopen; the cursor does not.
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_FALSE(form->Edit_1->isVisible());
    QTest::mouseClick(form->Edit, Qt::LeftButton);
    EXPECT_EQ(editor->EditorAsciiMode, 1);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(Caret(), 58);
}

TEST_F(BufferEditorTest, MouseDownMapsCaretPositionsToTheCursor) {
    Open();
    const int L = ui::kDumpLinePositions;
    editor->Edit_1MouseDown(2 * L + 3); // on the address: byte 0
    EXPECT_EQ(editor->EditorRow, 2);
    EXPECT_EQ(editor->EditorColumn, 0);
    EXPECT_EQ(editor->EditorNibble, 0);
    EXPECT_EQ(editor->EditorAsciiMode, 0);
    editor->Edit_1MouseDown(2 * L + 9 + 3 * 4); // low digit of byte 4
    EXPECT_EQ(editor->EditorColumn, 4);
    EXPECT_EQ(editor->EditorNibble, 1);
    editor->Edit_1MouseDown(2 * L + 10 + 3 * 4); // blank after byte 4
    EXPECT_EQ(editor->EditorColumn, 5);
    EXPECT_EQ(editor->EditorNibble, 0);
    editor->Edit_1MouseDown(3 * L + 55); // blank after byte 15
    EXPECT_EQ(editor->EditorAsciiMode, 1);
    EXPECT_EQ(editor->EditorColumn, 0);
    editor->Edit_1MouseDown(3 * L + 73); // last character
    EXPECT_EQ(editor->EditorColumn, 15);
    EXPECT_EQ(Info().substr(0, 14), "Address=00003F");
}

TEST_F(BufferEditorTest, LeavingTheDumpClosesItAndUpdatesTheChecksum) {
    SelectDeviceLimit(0x0FFF);
    state->Window.DeviceEnd = 0x0FFF;
    Open();
    Type("0102");
    QTest::mouseClick(form->Fill, Qt::LeftButton);
    EXPECT_FALSE(form->Edit_1->isVisible());
    EXPECT_FALSE(form->Edit_Info->isVisible());
    EXPECT_EQ(form->Chk_Sum_But->text().toStdString(), ui::ChecksumCaption(0x0003));
    EXPECT_TRUE(form->FillBox->isVisible());
    QTest::mouseClick(form->Help_1, Qt::LeftButton); // busy: the button does nothing
    EXPECT_FALSE(form->Help1->isVisible());
    form->FillBox->setCurrentRow(3);
    form->FillBoxClick(); // Cancel

    // Opening the page entry is not a close: the dump stays.
    QTest::mouseClick(form->Edit, Qt::LeftButton);
    QTest::mouseClick(form->Edit_Info, Qt::LeftButton);
    EXPECT_TRUE(form->Edit_1->isVisible());
    EXPECT_TRUE(form->Chg_Edit_Add->hasFocus());
    // Leaving the entry only hides it.
    QTest::mouseClick(form->Help_1, Qt::LeftButton);
    EXPECT_FALSE(form->Chg_Edit_Add->isVisible());

    // Tab moves the focus on, which closes the editor too.
    QTest::mouseClick(form->Edit, Qt::LeftButton);
    ASSERT_TRUE(form->Edit_1->hasFocus());
    QTest::keyClick(form->Edit_1, Qt::Key_Tab);
    EXPECT_FALSE(form->Edit_1->isVisible());
    EXPECT_EQ(state->Buffer[2], 0x00);
}

TEST_F(BufferEditorTest, AFailedReplyWaitPutsTheCursorOnTheFirstRow) {
    Open();
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
    Key(Qt::Key_Right);
    state->Panel->LinkLost(4, 0);
    EXPECT_EQ(editor->EditorRow, 0);
    EXPECT_EQ(editor->EditorColumn, 1);
    EXPECT_EQ(Row(2).substr(0, 6), "000020"); // the dump is not rebuilt
}

} // namespace
} // namespace velmar::test

namespace velmar::test {
namespace {

// F5 lists the code at the cursor in a window of its own; the editor keeps
// its page, cursor and bytes.
TEST_F(BufferEditorTest, F5OpensTheListingAtTheCursor) {
    SelectDeviceLimit(0x0FFF);
    state->Selection.Row = &velmar::DeviceCatalogue()[9]; // an 87C51H: MCS-51, erased FF
    state->Buffer.Fill(0xFF);
    const std::uint8_t code[] = {0x02, 0x00, 0x20};             // LJMP 0020h
    const std::uint8_t loop[] = {0x75, 0x81, 0x07, 0x80, 0xFE}; // MOV SP,#07h; SJMP $
    std::copy(std::begin(code), std::end(code), &state->Buffer[0]);
    std::copy(std::begin(loop), std::end(loop), &state->Buffer[0x20]);
    Open();
    Key(Qt::Key_Down);
    Key(Qt::Key_Down); // row 2: 0020
    const std::string row = Row(2);
    QTest::keyClick(form->Edit_1, Qt::Key_F5);
    ui::ListingWindow* listing = editor->ListingView();
    ASSERT_NE(listing, nullptr);
    EXPECT_TRUE(listing->isVisible());
    EXPECT_TRUE(listing->isWindow());
    EXPECT_TRUE(listing->isReadOnly());
    EXPECT_EQ(listing->CaretAddress(), 0x20);
    const std::string text = listing->toPlainText().toStdString();
    EXPECT_NE(text.find("0000  02 00 20     LJMP  0020h\n"), std::string::npos) << text;
    EXPECT_NE(text.find("L0020:\n0020  75 81 07     MOV   SP,#07h\n"), std::string::npos);
    EXPECT_EQ(listing->textCursor().block().text().toStdString(), "L0020:");
    EXPECT_EQ(editor->CursorAddress(), 0x20);
    EXPECT_EQ(Row(2), row);
    EXPECT_EQ(state->Buffer[0x20], 0x75);
}

} // namespace
} // namespace velmar::test

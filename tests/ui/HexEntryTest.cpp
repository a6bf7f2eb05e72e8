#include <QKeyEvent>
#include <QLineEdit>

#include <string>

#include "HexEntry.h"
#include "UiFixture.h"

namespace velmar::test {
namespace {

using ui::EntryTab;

// A bare entry field whose KeyPress routine records what it is given and
// keeps only hexadecimal entry keys, as every entry field's routine does.
class HexEntryTest : public ::testing::Test {
  protected:
    // Returns whether the filter used the event up.
    bool Press(int key, const QString& text, EntryTab tab = EntryTab::LeavesField) {
        const QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        return ui::FilterHexEntryKey(field, event, tab, [this](char& c) {
            seen.push_back(c);
            if (c == '\r' || !ui::IsHexEntryKey(c)) c = 0;
        });
    }

    QApplication& app = App(); // before the field
    QLineEdit field;
    std::string seen;
};

TEST_F(HexEntryTest, KeysReachTheRoutineAsCharactersAndLowerCaseGoesInUpper) {
    EXPECT_FALSE(Press(Qt::Key_5, "5"));
    EXPECT_FALSE(Press(Qt::Key_Backspace, "\b"));
    EXPECT_TRUE(Press(Qt::Key_G, "g"));
    EXPECT_TRUE(Press(Qt::Key_Escape, "\x1b"));
    EXPECT_TRUE(Press(Qt::Key_Eacute, QString(QChar(0xE9))));
    EXPECT_TRUE(Press(Qt::Key_Return, "\r"));
    EXPECT_TRUE(Press(Qt::Key_Enter, "\r"));
    EXPECT_TRUE(field.text().isEmpty()); // taken keys are the field's to insert
    EXPECT_TRUE(Press(Qt::Key_B, "b"));
    EXPECT_EQ(field.text(), "B");
    EXPECT_EQ(seen, std::string("5\bg\x1b\xE9\r\rb"));
}

TEST_F(HexEntryTest, TheFieldsOwnKeysPassUnseenAndSeveralCharactersAreRefused) {
    EXPECT_FALSE(Press(Qt::Key_Delete, "\x7f"));
    EXPECT_FALSE(Press(Qt::Key_Left, ""));
    EXPECT_TRUE(Press(Qt::Key_unknown, "12")); // an input method's text
    EXPECT_TRUE(seen.empty());
}

TEST_F(HexEntryTest, TabLeavesTheFieldOrIsRefusedAsACharacter) {
    EXPECT_FALSE(Press(Qt::Key_Tab, "\t", EntryTab::LeavesField));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(Press(Qt::Key_Tab, "\t", EntryTab::IsCharacter));
    EXPECT_EQ(seen, "\t");
}

TEST(HexEntryRules, DigitsAndBackspaceAreTakenAndTextIsReadUpToSevenDigits) {
    std::string taken;
    for (int i = 0; i < 256; ++i)
        if (ui::IsHexEntryKey(static_cast<char>(i))) taken.push_back(static_cast<char>(i));
    EXPECT_EQ(taken, "\b0123456789ABCDEFabcdef");

    EXPECT_EQ(ui::HexEntryValue("1a00"), 0x1A00);
    EXPECT_EQ(ui::HexEntryValue("FFFFFFF"), 0xFFFFFFF);
    EXPECT_FALSE(ui::HexEntryValue("10000000"));
    EXPECT_FALSE(ui::HexEntryValue(""));
    EXPECT_FALSE(ui::HexEntryValue("12 X"));
}

} // namespace
} // namespace velmar::test

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
    void SetUp() override { field.setMaxLength(5); }

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

TEST_F(HexEntryTest, KeysReachTheRoutineAsCharacters) {
    EXPECT_FALSE(Press(Qt::Key_5, "5"));
    EXPECT_FALSE(Press(Qt::Key_A, "A"));
    EXPECT_FALSE(Press(Qt::Key_Backspace, "\b"));
    EXPECT_TRUE(Press(Qt::Key_G, "g"));
    EXPECT_TRUE(Press(Qt::Key_Escape, "\x1b"));
    EXPECT_TRUE(Press(Qt::Key_Eacute, QString(QChar(0xE9))));
    EXPECT_TRUE(Press(Qt::Key_Return, "\r"));
    EXPECT_TRUE(Press(Qt::Key_Enter, "\r"));
    EXPECT_EQ(seen, std::string("5A\bg\x1b\xE9\r\r"));
    EXPECT_TRUE(field.text().isEmpty()); // the filter itself typed nothing
}

TEST_F(HexEntryTest, LowerCaseDigitsGoInAsUpperCase) {
    EXPECT_TRUE(Press(Qt::Key_B, "b"));
    EXPECT_TRUE(Press(Qt::Key_F, "f"));
    EXPECT_EQ(field.text(), "BF");
    EXPECT_EQ(seen, "bf");
}

TEST_F(HexEntryTest, TheFieldsOwnKeysPassUnseen) {
    EXPECT_FALSE(Press(Qt::Key_Delete, "\x7f"));
    EXPECT_FALSE(Press(Qt::Key_Left, ""));
    EXPECT_FALSE(Press(Qt::Key_Home, ""));
    // Several characters at once (an input method) are refused unseen.
    EXPECT_TRUE(Press(Qt::Key_unknown, "12"));
    EXPECT_TRUE(seen.empty());
}

TEST_F(HexEntryTest, TabLeavesTheFieldOrIsRefusedAsACharacter) {
    EXPECT_FALSE(Press(Qt::Key_Tab, "\t", EntryTab::LeavesField));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(Press(Qt::Key_Tab, "\t", EntryTab::IsCharacter));
    EXPECT_EQ(seen, "\t");
}

TEST(HexEntryRules, OnlyDigitsAndBackspaceAreEntryKeys) {
    std::string taken;
    for (int i = 0; i < 256; ++i)
        if (ui::IsHexEntryKey(static_cast<char>(i))) taken.push_back(static_cast<char>(i));
    EXPECT_EQ(taken, "\b0123456789ABCDEFabcdef");
}

TEST(HexEntryRules, TypedTextIsReadUpToSevenDigits) {
    EXPECT_EQ(ui::HexEntryValue("1A00"), 0x1A00);
    EXPECT_EQ(ui::HexEntryValue("ab"), 0xAB);
    EXPECT_EQ(ui::HexEntryValue("7FFFFFF"), 0x7FFFFFF);
    EXPECT_EQ(ui::HexEntryValue("FFFFFFF"), 0xFFFFFFF);
    EXPECT_FALSE(ui::HexEntryValue("10000000"));
    EXPECT_FALSE(ui::HexEntryValue(""));
    EXPECT_FALSE(ui::HexEntryValue("12 X"));
    EXPECT_EQ(ui::NotAnIntegerText("12 X"), "'$12 X' is not a valid integer value.");
}

} // namespace
} // namespace velmar::test

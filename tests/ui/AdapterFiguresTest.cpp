// The adapter figures: what they show and that they fit their boxes.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPlainTextEdit>

#include "AdapterFigures.h"
#include "WindowTestSupport.h"

namespace {

using velmar::ui::FigureText;

bool Holds(const FigureText& lines, std::size_t from, std::size_t to, std::string_view text) {
    for (std::size_t i = from; i <= to && i < lines.size(); ++i)
        if (lines[i].find(text) != std::string_view::npos)
            return true;
    return false;
}

TEST(AdapterFigures, BannerAndInstructions) {
    struct Case {
        const FigureText& lines;
        const char* title;
        const char* instruction;
    };
    for (const Case& c : {Case{velmar::ui::Figure874XLines(), "874X - 40 PIN ADAPTER FOR THE BRINDLE PROGRAMMER",
                               "Use the following figure for inserting the 8748/49 Mcu"},
                          Case{velmar::ui::Figure875XLines(), "875X - 40 PIN ADAPTER FOR THE BRINDLE PROGRAMMER",
                               "Use the following figure for inserting the 8751/52 Mcu"}}) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(c.lines.size(), 22u);
        EXPECT_EQ(c.lines[0].find_first_not_of('='), std::string_view::npos);
        EXPECT_EQ(c.lines[2].find_first_not_of('='), std::string_view::npos);
        EXPECT_EQ(c.lines[1].front(), '=');
        EXPECT_EQ(c.lines[1].back(), '=');
        EXPECT_EQ(c.lines[1].size(), c.lines[0].size());
        EXPECT_NE(c.lines[1].find(c.title), std::string_view::npos);
        EXPECT_EQ(c.lines[3], c.instruction);
        EXPECT_EQ(c.lines[4], "adapter into the Brindle Programmer.");
        EXPECT_TRUE(c.lines[5].empty());
        for (const char* word : {"The", "Brindle", "Programmer", "Printer Port", "Computer", "o"})
            EXPECT_TRUE(Holds(c.lines, 6, 21, word)) << word;
    }
    const FigureText& a = velmar::ui::Figure874XLines();
    EXPECT_TRUE(Holds(a, 6, 21, "<-- 874X ZIF Socket Handle"));
    EXPECT_TRUE(Holds(a, 6, 21, "Programmer ZIF Socket Handle"));
    EXPECT_TRUE(Holds(a, 12, 21, "874X"));
    const FigureText& b = velmar::ui::Figure875XLines();
    EXPECT_TRUE(Holds(b, 6, 8, "Brindle Programmer ZIF Socket Handle"));
    EXPECT_TRUE(Holds(b, 6, 21, "875X"));
    EXPECT_TRUE(Holds(b, 6, 21, "Adapter"));
    // The adapter's lever leaves the case downwards and ends in an "o".
    EXPECT_TRUE(Holds(b, 17, 21, "o <-- 875X Adapter ZIF Socket Handle"));
}

TEST(AdapterFigures, FitTheirBoxesInTheFixedFont) {
    velmar::testing::TestApplication();
    velmar::ProgramState state{velmar::HardwareBackend()};
    TMainForm form(state);
    for (QPlainTextEdit* box : {form.A874X, form.A875X}) {
        SCOPED_TRACE(box->objectName().toStdString());
        const QStringList lines = box->toPlainText().split('\n');
        EXPECT_EQ(lines.size(), 22);
        const QFontMetrics metrics(box->font());
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        const int margin = 2 * (box->frameWidth() + static_cast<int>(box->document()->documentMargin()));
        EXPECT_LE(widest + margin, box->width());
        EXPECT_LE(lines.size() * metrics.lineSpacing() + margin, box->height());
    }
}

} // namespace

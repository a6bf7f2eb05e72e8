#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "UiFixture.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::test {
namespace {

class CloseDuringOperationTest : public UiFixture {
  protected:
    const D2XXBackend& Backend() override {
        VirtualOptions options;
        options.Timing = true; // a verify takes as long as on the real programmer
        VirtualProgrammer::Instance().Reset(options);
        return VirtualBackend();
    }
    static long CountStarting(const std::vector<std::string>& trace, const char* head) {
        return std::count_if(trace.begin(), trace.end(),
                             [head](const std::string& line) { return line.rfind(head, 0) == 0; });
    }
};

TEST_F(CloseDuringOperationTest, CloseDuringAVerifyStopsItIdlesAndSavesTheSettings) {
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    // Row 13: the 87C58H, 32 KiB, sixteen read blocks.
    WriteFile(Path("Win_Velmar.Cfg"), "13\r\n0\r\n7\r\n1\r\n0\r\n0\r\n32767\r\n0\r\n\r\n");
    startup->FormCreate();
    ShowActive();
    startup->FormActivate();
    ASSERT_EQ(state->Link.LinkState, velmar::LinkState::Answered);
    programmer.SeatChip(4, 0x8000);
    state->Buffer.Fill(0xFF); // an erased chip that matches: no difference lines
    programmer.ClearTrace();

    // The user closes the window while the second block is on its way.
    QTimer watcher;
    bool closeAsked = false;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (!closeAsked && CountStarting(programmer.Trace(), "32 ") >= 2) {
            closeAsked = true;
            form->close();
        }
    });
    watcher.start(0);
    QTest::mouseClick(form->Verify, Qt::LeftButton);
    watcher.stop();
    ASSERT_TRUE(closeAsked);

    const auto trace = programmer.Trace();
    EXPECT_LT(CountStarting(trace, "32 "), 16);
    // The idle command went out after the last read request.
    const auto lastRead = std::find_if(trace.rbegin(), trace.rend(),
                                       [](const std::string& l) { return l.rfind("32 ", 0) == 0; });
    EXPECT_NE(std::find_if(trace.rbegin(), lastRead,
                           [](const std::string& l) { return l.rfind("24 ", 0) == 0; }),
              lastRead);
    EXPECT_EQ(ReadFile(Path("Win_Velmar.Cfg")), "13\r\n0\r\n7\r\n1\r\n0\r\n0\r\n32767\r\n0\r\n\r\n");
    // The window closes once the verify's handler has returned.
    QTest::qWait(50);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->RunningHandlers(), 0);
}

} // namespace
} // namespace velmar::test

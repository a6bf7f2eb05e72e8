// The window and the command line run the same verify of the same chip
// against the same buffer: both must reach the same verdict and list the same
// differences, and both must list what the core found.

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <QPlainTextEdit>

#include "WindowTestSupport.h"
#include "buffer/TemporaryFile.h"
#include "cli/ConsolePanel.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "link/ProgrammerSearch.h"
#include "tests/support/RecordingPanel.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace {

using velmar::ProgramState;
using velmar::VirtualProgrammer;
using Lines = std::vector<std::string>;

constexpr int kRow = 20; // 89C52, 8 KiB
// Chip bytes that differ from the buffer, and how.
constexpr std::int32_t kChanged[] = {0x0007, 0x0A3C, 0x1FFF};

std::uint8_t BufferByte(int i) {
    return static_cast<std::uint8_t>((i * 29) ^ (i >> 7));
}

class SameVerdict : public ::testing::Test {
  protected:
    velmar::testing::ApplicationGuard app;
    velmar::testing::DialogRecorder dialogs;

    // A fresh programmer holding the buffer's bytes but for kChanged, found
    // and set to the device, with the buffer filled.
    static void Prepare(ProgramState& state) {
        velmar::VirtualOptions options;
        options.Family = velmar::DeviceCatalogue()[kRow].Code();
        options.Size = 0x2000;
        VirtualProgrammer::Instance().Reset(options);
        auto& chip = VirtualProgrammer::Instance().Chip();
        ASSERT_GE(chip.size(), 0x2000u);
        for (int i = 0; i < 0x2000; ++i)
            chip[static_cast<std::size_t>(i)] = BufferByte(i);
        for (std::int32_t at : kChanged)
            chip[static_cast<std::size_t>(at)] ^= static_cast<std::uint8_t>(0x11 + at % 7);
        for (int i = 0; i < 0x2000; ++i)
            state.Buffer[i] = BufferByte(i);
        velmar::tasks::FindProgrammer(state);
        ASSERT_EQ(state.Link.LinkState, velmar::LinkState::Answered);
        velmar::SelectDevice(state, kRow);
    }

    static std::string Contents(std::FILE* file) {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        char chunk[512];
        while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, file))
            text.append(chunk, n);
        return text;
    }

    static Lines Split(const std::string& text) {
        Lines out;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            out.push_back(text.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return out;
    }
};

TEST_F(SameVerdict, WindowAndCommandLineAgreeOnAVerify) {
    // What the core found, as typed facts.
    velmar::test::RecordingPanel recorder;
    {
        ProgramState state(velmar::VirtualBackend());
        state.Panel.Attach(&recorder);
        Prepare(state);
        recorder.outcomes.clear();
        velmar::tasks::Verify(state);
        state.Panel.Attach(nullptr);
    }
    ASSERT_EQ(recorder.outcomes.size(), 1u);
    EXPECT_FALSE(recorder.outcomes[0].succeeded);
    ASSERT_EQ(recorder.differences.size(), std::size(kChanged));
    Lines found; // in the order found
    for (std::size_t i = 0; i < std::size(kChanged); ++i) {
        const auto& d = recorder.differences[i];
        EXPECT_EQ(d.address, kChanged[i]);
        EXPECT_EQ(d.expected, BufferByte(kChanged[i]));
        EXPECT_NE(d.found, d.expected);
        found.push_back(velmar::DifferenceLine(d.address, d.expected, d.found));
    }

    // The window: the banner's verdict and Memo1, newest first.
    bool windowFailed = false;
    Lines memo;
    {
        ProgramState state(velmar::VirtualBackend());
        TMainForm form{state};
        Prepare(state);
        velmar::tasks::Verify(state);
        windowFailed = form.StaticText3->palette().color(QPalette::Window) == QColor("#ff0000");
        memo = Split(form.Memo1->toPlainText().toStdString());
    }

    // The command line: its outcome and standard output, in the order found.
    std::optional<bool> cliSucceeded;
    Lines printed;
    std::FILE* out = velmar::OpenTemporaryFile();
    std::FILE* err = velmar::OpenTemporaryFile();
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    {
        ProgramState state(velmar::VirtualBackend());
        velmar::cli::ConsolePanel console(out, err, false);
        state.Panel.Attach(&console);
        Prepare(state);
        velmar::tasks::Verify(state);
        cliSucceeded = console.LastOutcome(velmar::Task::Operation);
        EXPECT_EQ(console.DifferingBytes(), static_cast<long>(std::size(kChanged)));
        state.Panel.Attach(nullptr);
        printed = Split(Contents(out));
    }
    std::fclose(out);
    std::fclose(err);

    EXPECT_TRUE(windowFailed);
    ASSERT_TRUE(cliSucceeded.has_value());
    EXPECT_EQ(*cliSucceeded, !windowFailed);
    EXPECT_EQ(printed, found);
    EXPECT_EQ(memo, Lines(found.rbegin(), found.rend()));
}

} // namespace

// The tracing table in front of another D2XX table: every call reaches the
// table behind it unchanged, and the trace file says what the virtual
// programmer says it received.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "buffer/TemporaryFile.h"
#include "cli/TracingBackend.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "devices/DeviceSelection.h"
#include "link/ProgrammerSearch.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

using namespace velmar;

namespace {

std::vector<std::string> Lines(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::vector<std::string> lines;
    std::string line;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    return lines;
}

} // namespace

TEST(TracingBackend, ForwardsEveryCallAndTracesEveryWrite) {
    VirtualOptions options;
    options.Family = 5;
    options.Size = 0x1000;
    VirtualProgrammer::Instance().Reset(options);
    for (std::size_t i = 0; i < 0x1000; ++i)
        VirtualProgrammer::Instance().Chip()[i] = static_cast<std::uint8_t>(i * 7);

    std::FILE* trace = velmar::OpenTemporaryFile();
    ASSERT_NE(trace, nullptr);
    const D2XXBackend& traced = cli::TracingBackend(VirtualBackend(), trace);
    EXPECT_STREQ(traced.name, "virtual");
    EXPECT_NE(traced.SetLatencyTimer, nullptr);

    ProgramState state(traced);
    tasks::FindProgrammer(state);
    ASSERT_EQ(state.Link.LinkState, LinkState::Answered);
    EXPECT_EQ(VirtualProgrammer::Instance().LatencyMs(), 2);
    SelectDevice(state, *FindCatalogueRow("89C51"));
    tasks::Read(state);
    EXPECT_FALSE(state.FailFlag);
    for (int i = 0; i < 0x1000; ++i)
        ASSERT_EQ(state.Buffer[i], static_cast<std::uint8_t>(i * 7)) << i;

    const std::vector<std::string> lines = Lines(trace);
    EXPECT_EQ(lines, VirtualProgrammer::Instance().Trace());
    EXPECT_GT(lines.size(), 6u);
    EXPECT_TRUE(VirtualProgrammer::Instance().Faults().empty());
    std::fclose(trace);
}

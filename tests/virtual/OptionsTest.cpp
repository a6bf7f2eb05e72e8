// The option list of --virtual and the drop-in's options file, and the chip
// files it names.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "VirtualHost.h"
#include "tests/support/Portable.h"

namespace velmar::test {
namespace {

TEST(VirtualOptionsText, EveryKeyParses) {
    VirtualOptions o;
    std::string error;
    ASSERT_TRUE(ParseVirtualOptions(
        "firmware=1.22, devices=2,timing=on,latency=4,family=6,size=3000,lock=4,"
        "chip=a.bin,save-chip=b.bin,state-dir=/tmp/s,trace=t.txt,fail-block=1F00,"
        "no-reply-from=9,no-reply-at=3,late-reply=5:300,split-reply=6:4:90,short-write=7,"
        "unplug-from=12,bad-update=on,serial=XY12,description=Other,long-reply=8:3,"
        "short-reply=4:2, no-reply-to=$48, split-every=3",
        o, error))
        << error;
    EXPECT_EQ(1, o.FirmwareMajor);
    EXPECT_EQ(22, o.FirmwareMinor);
    EXPECT_EQ(2, o.Devices);
    EXPECT_TRUE(o.Timing);
    EXPECT_EQ(4, o.LatencyMs);
    EXPECT_EQ(6, o.Family);
    EXPECT_EQ(0x3000u, o.Size);
    EXPECT_EQ(4, o.LockBits);
    EXPECT_EQ("a.bin", o.ChipFile);
    EXPECT_EQ("b.bin", o.SaveChipFile);
    EXPECT_EQ("/tmp/s", o.StateDir);
    EXPECT_EQ("t.txt", o.TraceFile);
    EXPECT_EQ(0x1F00, o.FailBlock);
    EXPECT_EQ(9, o.NoReplyFrom);
    EXPECT_EQ(3, o.NoReplyAt);
    EXPECT_EQ(5, o.LateReplyAt);
    EXPECT_EQ(300, o.LateMs);
    EXPECT_EQ(6, o.SplitReplyAt);
    EXPECT_EQ(4, o.SplitBytes);
    EXPECT_EQ(90, o.SplitMs);
    EXPECT_EQ(7, o.ShortWriteAt);
    EXPECT_EQ(12, o.UnplugFrom);
    EXPECT_EQ(8, o.LongReplyAt);
    EXPECT_EQ(3, o.LongBytes);
    EXPECT_EQ(4, o.ShortReplyAt);
    EXPECT_EQ(2, o.ShortBytes);
    EXPECT_EQ(0x48, o.NoReplyTo);
    EXPECT_EQ(3, o.SplitEvery);
    VirtualOptions one;
    ASSERT_TRUE(ParseVirtualOptions("long-reply=2,short-reply=9,no-reply-to=0x32", one, error))
        << error;
    EXPECT_EQ(2, one.LongReplyAt);
    EXPECT_EQ(1, one.LongBytes);
    EXPECT_EQ(9, one.ShortReplyAt);
    EXPECT_EQ(1, one.ShortBytes);
    EXPECT_EQ(0x32, one.NoReplyTo);
    EXPECT_TRUE(o.BadUpdate);
    EXPECT_EQ("XY12", o.Serial);
    EXPECT_EQ("Other", o.Description);

    VirtualOptions chip;
    ASSERT_TRUE(ParseVirtualOptions("chip-type=89s8252 ,fail-block=0x0100\n", chip, error));
    EXPECT_EQ(6, chip.Family);
    EXPECT_EQ(0x2800u, chip.Size);
    EXPECT_EQ(0x100, chip.FailBlock);
    VirtualOptions empty;
    EXPECT_TRUE(ParseVirtualOptions("", empty, error));
    EXPECT_EQ(23, empty.FirmwareMinor);
    EXPECT_FALSE(empty.Timing);
    EXPECT_EQ(0, empty.ShortReplyAt);
    EXPECT_EQ(-1, empty.NoReplyTo);
    EXPECT_EQ(0, empty.SplitEvery);
}

TEST(VirtualOptionsText, BadTextIsRefusedWithAReason) {
    const char* bad[] = {
        "firmware=1",     "firmware=1.x",    "devices=3",           "timing=maybe", "family=7",
        "size=10001",     "fail-block=-1",   "no-reply-from=0",     "colour=blue",  "trace",
        "latency=1",      "chip-type=2716",  "split-reply=1:2:3:4", "lock=8",       "long-reply=0",
        "long-reply=3:0", "long-reply=3:1:1", "short-reply=0", "short-reply=2:0",
        "short-reply=2:4097", "short-reply=1:1:1", "no-reply-to=100", "no-reply-to=",
        "no-reply-to=x", "split-every=0", "split-every=4097", "split-every=2:1",
        "stuck-data=8:0", "stuck-data=3:2", "stuck-data=3", "open-address=16", "no-chip=maybe",
        "under-erased=101", "weak-cells=-1"};
    for (const char* text : bad) {
        VirtualOptions o;
        std::string error;
        EXPECT_FALSE(ParseVirtualOptions(text, o, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string error;
    VirtualOptions o;
    ParseVirtualOptions("colour=blue", o, error);
    EXPECT_EQ("unknown virtual option: colour", error);
}

TEST(VirtualOptionsText, DropInDefaultsKeepChipsInTheStateFolder) {
#if defined(_WIN32)
    const char* variable = "LOCALAPPDATA";
    const char* base = "C:\\Users\\user\\AppData\\Local";
    const char* expected = "C:\\Users\\user\\AppData\\Local\\velmar";
#else
    const char* variable = "XDG_STATE_HOME";
    const char* base = "/tmp/xdg";
    const char* expected = "/tmp/xdg/velmar";
#endif
    const char* old = std::getenv(variable);
    const std::string saved = old ? old : "";
    test::SetEnv(variable, base);
    VirtualOptions o = DropInDefaultOptions();
    EXPECT_TRUE(o.Timing);
    EXPECT_EQ(0x0117, o.FirmwareMajor * 256 + o.FirmwareMinor);
    EXPECT_EQ(expected, o.StateDir);
    if (old)
        test::SetEnv(variable, saved);
    else
        test::UnsetEnv(variable);
}

TEST(VirtualChipFiles, LoadSaveAndKeepBetweenRuns) {
    const std::string dir = testing::TempDir() + "virtual-chip-files";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.bin", out = dir + "/out.bin";
    {
        std::ofstream f(in, std::ios::binary);
        for (int i = 0; i < 0x1000; ++i)
            f.put(static_cast<char>(i & 0xFF));
    }
    VirtualOptions o;
    o.ChipFile = in;
    o.SaveChipFile = out;
    VirtualHost host(o);
    EXPECT_EQ(0x1000u, V().ChipSize());
    host.Read875X(4, 0, 1); // the family named keeps the loaded contents
    EXPECT_EQ(4, V().ChipFamily());
    EXPECT_EQ(0x34, V().Chip()[0x34]);
    EXPECT_EQ(0, host.Program875X(4, 0x0100, std::vector<std::uint8_t>(256, 0x00)));
    host.Command(0x24); // the end of an operation writes the file
    host.Receive(8);
    std::ifstream saved(out, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(saved)),
                            std::istreambuf_iterator<char>());
    saved.close(); // Windows removes no open file
    ASSERT_EQ(0x1000u, bytes.size());
    EXPECT_EQ(0x00, bytes[0x180]);
    EXPECT_EQ(0x34, bytes[0x34]);

    // A state folder keeps one file per family between runs.
    VirtualOptions s;
    s.StateDir = dir + "/state";
    VirtualHost first(s);
    first.Program875X(5, 0, std::vector<std::uint8_t>(256, 0x11));
    V().Finish();
    EXPECT_TRUE(std::filesystem::exists(s.StateDir + "/virtual-chip-5.bin"));
    VirtualHost second(s);
    EXPECT_EQ(0x11, second.Read875X(5, 0x80, 1)[0]);
    EXPECT_EQ(0xFF, second.Read875X(5, 0x180, 1)[0]);

    VirtualOptions missing;
    missing.ChipFile = dir + "/none.bin";
    V().Reset(missing);
    EXPECT_EQ(1u, V().Faults().size());
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace velmar::test

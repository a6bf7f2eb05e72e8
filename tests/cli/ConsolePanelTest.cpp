// Where the command line shows what the core reports, and how it answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "buffer/HexReader.h"
#include "buffer/TemporaryFile.h"
#include "cli/ConsolePanel.h"
#include "cli/DumpIdentity.h"

using velmar::BoxKind;
using velmar::ProgressOf;
using velmar::Task;
using velmar::cli::ConsolePanel;

namespace {

std::string Contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;)
        text.push_back(static_cast<char>(c));
    return text;
}

struct Streams {
    std::FILE* out = velmar::OpenTemporaryFile();
    std::FILE* err = velmar::OpenTemporaryFile();
    ~Streams() {
        std::fclose(out);
        std::fclose(err);
    }
};

} // namespace

TEST(ConsolePanel, SentencesReportLinesAndBoxes) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
    panel.Status("Verifying Device to Buffer....");
    panel.Status("Verifying Device to Buffer....");
    panel.Progress(ProgressOf::Device, 0x0100);
    panel.Difference(0x0100, 0x02, 0xFF);
    panel.ReportLine("USB Device Write TimeOut ...");
    panel.LinkLost(4, 0);
    panel.Status("Device Did NOT Verify to Buffer....");
    EXPECT_TRUE(panel.ShowMessage(BoxKind::Information, "Good Update..."));
    EXPECT_TRUE(panel.ShowMessage(BoxKind::Information, ""));
    EXPECT_EQ(Contents(s.out), "0100  EXPECTED-02 FOUND-FF\n");
    EXPECT_EQ(Contents(s.err), "Verifying Device to Buffer....\n"
                               "velmar-cli: USB Device Write TimeOut ...\n"
                               "velmar-cli: Device no longer present ... PortStatus-4 USB-0\n"
                               "Device Did NOT Verify to Buffer....\n"
                               "Good Update...\n");
    EXPECT_EQ(panel.Banner(), "Device Did NOT Verify to Buffer....");
    EXPECT_TRUE(panel.Showed("Good Update..."));
    EXPECT_FALSE(panel.Showed("Warning: Bad Update..."));
    EXPECT_EQ(panel.Boxes().size(), 2u);
}

TEST(ConsolePanel, OutcomesKeptPerTaskAndAFailureShownWhenQuiet) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
    panel.SetVerbosity(-1);
    EXPECT_FALSE(panel.LastOutcome(Task::Search).has_value());
    panel.Outcome(Task::Search, true, 0);
    panel.Outcome(Task::FirmwareUpdate, false, 0);
    panel.Status("Verifying Device to Buffer....");
    panel.Status("Device Verified to Buffer....");
    panel.Outcome(Task::Operation, true, 0x1000);
    EXPECT_EQ(Contents(s.err), "");
    panel.Status("Device Did NOT Verify to Buffer....");
    panel.Outcome(Task::Operation, false, 0x1000);
    EXPECT_EQ(Contents(s.err), "velmar-cli: Device Did NOT Verify to Buffer....\n");
    EXPECT_EQ(panel.LastOutcome(Task::Search), true);
    EXPECT_EQ(panel.LastOutcome(Task::FirmwareUpdate), false);
    EXPECT_EQ(panel.LastOutcome(Task::Operation), false);
    // Only an operation's end judges the sentence held back.
    panel.Status("Usb Programmer Found - FirmWare Version 1.23");
    panel.Outcome(Task::Search, false, 0);
    EXPECT_EQ(Contents(s.err), "velmar-cli: Device Did NOT Verify to Buffer....\n");
    EXPECT_EQ(panel.LastOutcome(Task::Search), false);
}

TEST(ConsolePanel, VoltageNamedOnceWhenVerbose) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
    panel.SetVerbosity(1);
    for (int setting : {7, 3, 0, 4, 4})
        panel.VppChanged(setting);
    EXPECT_EQ(Contents(s.err), "Vpp = 12.5\nVpp = 12\n");
}

TEST(ConsolePanel, QuestionsAndFirmwareChooser) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
    const std::string question =
        "This Software Requires Firmware Version - 1.23\r\nDo You Want to Flash Update the "
        "Programmer ?";
    EXPECT_FALSE(panel.ShowMessage(BoxKind::Question, question));
    EXPECT_FALSE(panel.ChooseFirmwareFile().has_value());
    panel.AnswerQuestionsYes(true);
    panel.SetFirmwareFile("fw.bin");
    EXPECT_TRUE(panel.ShowMessage(BoxKind::Question, question));
    EXPECT_EQ(panel.ChooseFirmwareFile(), "fw.bin");
    const std::string err = Contents(s.err);
    EXPECT_NE(err.find("Version - 1.23\nDo You Want"), std::string::npos);
    EXPECT_EQ(err.find('\r'), std::string::npos);
    EXPECT_NE(err.find("(answered No)"), std::string::npos);
    EXPECT_NE(err.find("(answered Yes)"), std::string::npos);
}

TEST(ConsolePanel, ProgressBarOnlyOnATerminal) {
    Streams s;
    ConsolePanel bar(s.out, s.err, true);
    bar.SetProgressRange(0, 0x7FFF);
    bar.SetOperationName("Program");
    bar.EnterBusyState();
    // Where it starts, a file load and a firmware record are no progress.
    bar.Progress(ProgressOf::OperationStart, 0x4000);
    bar.Progress(ProgressOf::FileLoad, 0x4000);
    bar.Progress(ProgressOf::FirmwareRecord, 0x4000);
    EXPECT_EQ(Contents(s.err), "");
    bar.Progress(ProgressOf::Device, 0x4000);
    std::string err = Contents(s.err);
    EXPECT_EQ(err.rfind("\rProgram |" + std::string(10, '#') + std::string(10, ' ') +
                            "|  50%  16.0/32.0 KiB  ",
                        0),
              0u)
        << err;
    EXPECT_NE(err.find(" left\033[K"), std::string::npos) << err;
    // Never backwards.
    bar.Progress(ProgressOf::Device, 0x1000);
    EXPECT_EQ(Contents(s.err), err);
    bar.Status("Eprom is Programmed...............");
    err = Contents(s.err);
    EXPECT_NE(err.find("\r\033[KEprom is Programmed"), std::string::npos);
    // Finished: the whole bar stays with the elapsed time.
    bar.Progress(ProgressOf::Programmed, 0x8000);
    bar.LeaveBusyState(true);
    err = Contents(s.err);
    EXPECT_NE(err.find("|" + std::string(20, '#') + "| 100%  32.0/32.0 KiB  in 0:00\033[K\n"),
              std::string::npos)
        << err;

    Streams t;
    ConsolePanel plain(t.out, t.err, false);
    plain.SetProgressRange(0, 0x7FFF);
    plain.SetOperationName("Program");
    plain.EnterBusyState();
    plain.Progress(ProgressOf::Device, 0x4000);
    plain.LeaveBusyState(true);
    EXPECT_EQ(Contents(t.err), "");
}

TEST(DumpIdentity, KnownVectors) {
    using velmar::cli::Crc32;
    using velmar::cli::IdentityLine;
    const auto* abc = reinterpret_cast<const std::uint8_t*>("abc");
    const auto* nine = reinterpret_cast<const std::uint8_t*>("123456789");
    EXPECT_EQ(Crc32(nine, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(nullptr, 0), 0u);
    EXPECT_EQ(IdentityLine(abc, 3),
              "3 bytes  CRC-32 352441c2  SHA-1 a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(IdentityLine(nullptr, 0),
              "0 bytes  CRC-32 00000000  SHA-1 da39a3ee5e6b4b0d3255bfef95601890afd80709");
    // 56 bytes: the length no longer fits the first padded block.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const auto Sha1Of = [](const std::uint8_t* data, std::size_t size) {
        const std::string line = IdentityLine(data, size);
        return line.substr(line.size() - 40);
    };
    EXPECT_EQ(Sha1Of(reinterpret_cast<const std::uint8_t*>(two.data()), two.size()),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    // A million 'a': many whole blocks.
    const std::vector<std::uint8_t> million(1000000, 'a');
    EXPECT_EQ(Sha1Of(million.data(), million.size()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(ConsolePanel, DifferencesCountedAndLimited) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
    panel.SetMaxDiffs(2);
    const std::uint8_t found[] = {0xFF, 0x0F, 0x01};
    const std::int32_t at[] = {0x0010, 0x0FFF, 0x0200};
    for (int i = 0; i < 3; ++i)
        panel.Difference(at[i], 0x00, found[i]);
    EXPECT_EQ(Contents(s.out), "0010  EXPECTED-00 FOUND-FF\n0FFF  EXPECTED-00 FOUND-0F\n");
    EXPECT_EQ(panel.DifferenceSummary(), "3 differing bytes, 13 differing bits, first 0010, last "
                                         "0FFF (1 lines not shown, --max-diffs)");
    // A message in the report list is no difference.
    panel.ReportLine("USB Device Write TimeOut ...");
    EXPECT_EQ(Contents(s.out), "0010  EXPECTED-00 FOUND-FF\n0FFF  EXPECTED-00 FOUND-0F\n");
}

TEST(ConsolePanel, InterruptActsAsQuitOnlyWhileQuitIsOffered) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
    int stops = 0;
    panel.SetStopRequest([&stops] { ++stops; });

    // Erase, security bits and the update do not offer Quit: the interrupt waits.
    panel.EnterBusyState();
    ConsolePanel::RaiseInterrupt();
    panel.PumpEvents();
    EXPECT_EQ(stops, 0);

    panel.QuitOffered();
    panel.PumpEvents();
    EXPECT_EQ(stops, 1);
    EXPECT_NE(Contents(s.err).find("(interrupted: Quit)"), std::string::npos);

    // Taken once: a later operation runs undisturbed.
    stops = 0;
    panel.PumpEvents();
    EXPECT_EQ(stops, 0);
    panel.LeaveBusyState(true);
    ConsolePanel::RaiseInterrupt();
    panel.PumpEvents();
    EXPECT_EQ(stops, 0);
    panel.QuitOffered();
    panel.PumpEvents();
    EXPECT_EQ(stops, 1);
}

// Ctrl-C stops a data-file load, even one of an input that never ends.
TEST(ConsolePanel, InterruptStopsALoad) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
#if defined(_WIN32)
    // No cookie streams: a long file stands in for the endless input.
    std::FILE* endless = velmar::OpenTemporaryFile();
    ASSERT_NE(endless, nullptr);
    for (int i = 0; i < 100000; ++i)
        std::fputs("xxxxxxxxxxx\n", endless);
    std::rewind(endless);
#else
    cookie_io_functions_t io{};
    io.read = [](void*, char* out, std::size_t size) -> ssize_t {
        for (std::size_t i = 0; i < size; ++i)
            out[i] = (i % 12 == 11) ? '\n' : 'x';
        return static_cast<ssize_t>(size - size % 12);
    };
    std::FILE* endless = fopencookie(nullptr, "r", io);
#endif
    ASSERT_NE(endless, nullptr);
    velmar::DataBuffer buffer;
    velmar::AddressWindow window;
    panel.BeginLoad("pipe.hex");
    EXPECT_TRUE(panel.ContinueLoad(1));
    ConsolePanel::RaiseInterrupt();
    const velmar::HexLoadResult r =
        velmar::LoadHexStream(endless, velmar::IntelHexFileType, buffer, window, panel);
    panel.EndLoad();
    std::fclose(endless);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.stopped);
    // Outside a load the interrupt waits for Quit as before.
    ConsolePanel::RaiseInterrupt();
    EXPECT_TRUE(panel.ContinueLoad(1));
    int stops = 0;
    panel.SetStopRequest([&stops] { ++stops; });
    panel.QuitOffered();
    panel.PumpEvents();
    EXPECT_EQ(stops, 1);
}

// Errors and warnings are single lines that start with the program's name,
// control characters escaped; during a load they name the file and line.
TEST(ConsolePanel, ErrorLinesAreNamedAndPrintable) {
    Streams s;
    ConsolePanel panel(s.out, s.err, false);
    panel.ShowMessage(BoxKind::Error, "Invalid File Type...\r\nCan Not Update");
    panel.BeginLoad("a\nb.hex");
    panel.ContinueLoad(12);
    panel.ShowMessage(BoxKind::Error, std::string("'$0\0' is not a valid integer value.", 35));
    panel.ShowMessage(BoxKind::Warning, "No data records were found in a\nb.hex.");
    panel.EndLoad();
    EXPECT_EQ(Contents(s.err), "velmar-cli: Invalid File Type...\n"
                               "velmar-cli: Can Not Update\n"
                               "velmar-cli: a\\nb.hex:12: '$0\\0' is not a valid integer value.\n"
                               "velmar-cli: No data records were found in a\\nb.hex.\n");
    EXPECT_EQ(velmar::cli::Printable(std::string("\x01\x7F\t\r", 4)), "\\x01\\x7F\\t\\r");
}

// The programmer search on the recording D2XX table: order of calls, link
// state and boxes.

#include <gtest/gtest.h>

#include "LinkRig.h"
#include "link/ProgrammerSearch.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar {
namespace {

using test::Fake;
using test::LinkRig;
using Bytes = std::vector<std::uint8_t>;

const char* const kNotFound = "The Brindle Programmer Could Not Be Found....";

void AnswerVersion(std::uint8_t major, std::uint8_t minor, std::uint8_t status = 0) {
    Fake().firmware = [=](const Bytes& packet) {
        if (packet[0] == 0x56) Fake().Queue({0x56, major, minor, 0, 0, 0, status, 0});
    };
}

struct SearchRig : LinkRig {
    int failFlag = -1;
    SearchResult found;
    void Search() {
        found = FindProgrammer(d2xx, link, panel);
        failFlag = found.Found() ? 0 : 1;
    }
};

TEST(FirmwareVersionText, MinorGetsOneLeadingZero) {
    EXPECT_EQ(FirmwareVersionText(1, 23), "1.23");
    EXPECT_EQ(FirmwareVersionText(1, 5), "1.05");
    EXPECT_EQ(FirmwareVersionText(2, 100), "2.100");
    EXPECT_EQ(FirmwareVersionText(2, 0), "2.00");
    EXPECT_EQ(FirmwareVersionText(0, 9), "0.09");
}

TEST(FindProgrammer, CallsInOrderAndShowsTheVersion) {
    SearchRig rig;
    AnswerVersion(1, 23);
    rig.Search();
    EXPECT_EQ(Fake().calls, (std::vector<std::string>{
                                "FT_ListDevices", "FT_ListDevices", "FT_ListDevices", "FT_OpenEx",
                                "FT_SetTimeouts", "FT_SetLatencyTimer", "FT_ResetDevice",
                                "FT_Write", "FT_GetQueueStatus", "FT_Read"}));
    EXPECT_EQ(Fake().listFlags, (std::vector<DWORD>{0x80000000u, 0x40000001u, 0x40000002u}));
    EXPECT_EQ(Fake().openSerials, (std::vector<std::string>{""}));
    EXPECT_EQ(Fake().readTimeoutMs, 40u);
    EXPECT_EQ(Fake().writeTimeoutMs, 0u);
    EXPECT_EQ(Fake().latencyMs, 2);
    EXPECT_EQ(Fake().writes, (std::vector<Bytes>{{0x56, 0, 0, 0, 0, 0, 0, 0x56}}));
    EXPECT_EQ(rig.d2xx.DeviceString, "Brindle Programmer");

    EXPECT_EQ(rig.link.LinkState, LinkState::Answered);
    EXPECT_EQ(rig.failFlag, 0);
    EXPECT_EQ(rig.panel.Status(), "Usb Programmer Found - FirmWare Version 1.23");
    EXPECT_TRUE(rig.panel.boxes.empty());
    // Memo1 is cleared and shown for the search, hidden after.
    EXPECT_EQ(rig.panel.reportClears, 1);
    EXPECT_EQ(rig.panel.reportListShows, (std::vector<bool>{true, false}));

    // The next search closes the handle first.
    Fake().calls.clear();
    rig.Search();
    ASSERT_FALSE(Fake().calls.empty());
    EXPECT_EQ(Fake().calls[0], "FT_Close");
    EXPECT_EQ(rig.link.LinkState, LinkState::Answered);
}

TEST(FindProgrammer, OldFirmwareIsOfferedTheUpdate) {
    SearchRig rig;
    AnswerVersion(1, 22);
    rig.panel.answers.push_back(false);
    rig.Search();
    EXPECT_EQ(rig.panel.Status(), "Usb Programmer Found - FirmWare Version 1.22");
    ASSERT_EQ(rig.panel.boxes.size(), 1u);
    EXPECT_EQ(rig.panel.boxes[0].kind, BoxKind::Question);
    EXPECT_EQ(rig.panel.boxes[0].text, "This Software Requires Firmware Version - 1.23\r\nDo You "
                                       "Want to Flash Update the Programmer ?");
    EXPECT_EQ(rig.panel.boxes[0].about, BoxAbout::Search);
    EXPECT_EQ(rig.panel.fileChoices, 0);
    EXPECT_EQ(rig.link.LinkState, LinkState::Answered);

    // Yes runs the update (cancelled here at its file dialog).
    rig.panel.answers.push_back(true);
    rig.Search();
    EXPECT_EQ(rig.panel.fileChoices, 1);
    EXPECT_EQ(rig.panel.Status(), "Updating Programmer Flash Code....");
    EXPECT_EQ(rig.failFlag, 0);

    // 2.00 and 1.05 compare as numbers.
    AnswerVersion(2, 0);
    rig.Search();
    AnswerVersion(1, 5);
    rig.panel.answers.push_back(false);
    rig.Search();
    EXPECT_EQ(rig.panel.statuses.at(3),
              "Usb Programmer Found - FirmWare Version 2.00");
    EXPECT_EQ(rig.panel.Status(), "Usb Programmer Found - FirmWare Version 1.05");
    EXPECT_EQ(rig.panel.BoxesOf(BoxKind::Question).size(), 3u);
    // Each search ends found, after the update it ran.
    EXPECT_EQ(rig.panel.OutcomesOf(Task::Search), std::vector<bool>(4, true));
    EXPECT_EQ(rig.panel.OutcomesOf(Task::FirmwareUpdate), std::vector<bool>{false});
    EXPECT_EQ(rig.panel.outcomes[1].task, Task::FirmwareUpdate);
}

TEST(FindProgrammer, NoSingleDeviceShowsTheNotFoundBox) {
    for (int devices : {0, 2}) {
        SearchRig rig;
        VirtualProgrammer::Instance().SetDeviceCount(devices);
        rig.Search();
        ASSERT_EQ(rig.panel.boxes.size(), 1u);
        EXPECT_EQ(rig.panel.boxes[0].kind, BoxKind::Information);
        EXPECT_EQ(rig.panel.boxes[0].text, kNotFound);
        EXPECT_EQ(rig.panel.boxes[0].about, BoxAbout::Search);
        EXPECT_EQ(Fake().calls, (std::vector<std::string>{"FT_ListDevices"}));
        EXPECT_EQ(rig.link.LinkState, LinkState::Closed);
        EXPECT_EQ(rig.failFlag, 1);
        EXPECT_FALSE(rig.panel.ReportListShown());
        EXPECT_EQ(rig.panel.OutcomesOf(Task::Search), std::vector<bool>{false});
    }
}

TEST(FindProgrammer, ClosedHandleCountsAsAbsentUntilTheNextSearchSucceeds) {
    SearchRig rig;
    AnswerVersion(1, 23);
    rig.Search();
    ASSERT_EQ(rig.link.LinkState, LinkState::Answered);

    VirtualProgrammer::Instance().SetDeviceCount(2);
    rig.Search();
    EXPECT_EQ(Fake().closes, 1);
    EXPECT_EQ(rig.link.LinkState, LinkState::Closed);
    // Nothing reaches the closed handle.
    const std::size_t written = Fake().writes.size();
    rig.SetPacket({0x92});
    rig.link.SendPacket();
    rig.link.SendIdle();
    EXPECT_EQ(Fake().writes.size(), written);

    // No second close: the last search did not count one device.
    VirtualProgrammer::Instance().SetDeviceCount(1);
    rig.Search();
    EXPECT_EQ(Fake().closes, 1);
    EXPECT_EQ(rig.link.LinkState, LinkState::Answered);
}

TEST(FindProgrammer, NoValidAnswerLeavesTheLinkOpenButUnconfirmed) {
    {
        SearchRig rig; // no answer at all
        rig.link.ReplyTimeoutMs = 30;
        rig.Search();
        EXPECT_EQ(rig.link.LinkState, LinkState::Opened);
        EXPECT_EQ(rig.failFlag, 1);
        ASSERT_FALSE(rig.panel.linkLosses.empty());
        EXPECT_EQ(rig.panel.linkLosses.back(), (test::RecordedLinkLoss{0, 5}));
        ASSERT_EQ(rig.panel.boxes.size(), 1u);
        EXPECT_EQ(rig.panel.boxes[0].text, kNotFound);
        EXPECT_EQ(rig.panel.Status(), "");
    }
    {
        SearchRig rig; // an answer with a non-zero status byte
        AnswerVersion(1, 23, 0x01);
        rig.Search();
        EXPECT_EQ(rig.link.LinkState, LinkState::Opened);
        EXPECT_EQ(rig.panel.boxes.at(0).text, kNotFound);
    }
    {
        SearchRig rig; // the open fails: no time-outs or latency, reset all the same
        Fake().status["FT_OpenEx"] = FT_DEVICE_NOT_FOUND;
        rig.link.ReplyTimeoutMs = 30;
        rig.Search();
        EXPECT_EQ(Fake().Count("FT_SetTimeouts"), 0);
        EXPECT_EQ(Fake().Count("FT_SetLatencyTimer"), 0);
        EXPECT_EQ(Fake().Count("FT_ResetDevice"), 1);
        ASSERT_EQ(rig.panel.boxes.size(), 2u);
        EXPECT_EQ(rig.panel.boxes[0].kind, BoxKind::Error);
        EXPECT_EQ(rig.panel.boxes[0].text,
                  "Open_USB_Device_By_Serial_Number - Device Not Found....");
        EXPECT_EQ(rig.panel.boxes[1].text, kNotFound);
        EXPECT_EQ(rig.link.LinkState, LinkState::Opened);
    }
}

// What the search returns agrees with the link it leaves: the firmware's
// version only from a whole, valid answer, the update only when it ran.
TEST(FindProgrammer, ResultCarriesTheLinkTheVersionAndTheUpdate) {
    SearchRig rig;
    AnswerVersion(1, 23);
    rig.Search();
    EXPECT_EQ(rig.found.Link, LinkState::Answered);
    ASSERT_TRUE(rig.found.Firmware.has_value());
    EXPECT_EQ(rig.found.Firmware->Number(), 0x0117);
    EXPECT_EQ(rig.found.Firmware->Text(), "1.23");
    EXPECT_FALSE(rig.found.Update.has_value());

    AnswerVersion(1, 22);
    rig.panel.answers.push_back(false);
    rig.Search();
    EXPECT_EQ(rig.found.Firmware->Text(), "1.22");
    EXPECT_FALSE(rig.found.Update.has_value()); // declined
    rig.panel.answers.push_back(true);
    rig.Search(); // the update's file dialog is cancelled
    EXPECT_EQ(rig.found.Update, FirmwareUpdateOutcome::NoFileChosen);

    AnswerVersion(1, 23, 0x01); // answered, but not validly
    rig.Search();
    EXPECT_EQ(rig.found.Link, LinkState::Opened);
    EXPECT_FALSE(rig.found.Firmware.has_value());
    EXPECT_FALSE(rig.found.Found());

    VirtualProgrammer::Instance().SetDeviceCount(0);
    rig.Search();
    EXPECT_EQ(rig.found.Link, LinkState::Closed);
    EXPECT_FALSE(rig.found.Firmware.has_value());
}

} // namespace
} // namespace velmar

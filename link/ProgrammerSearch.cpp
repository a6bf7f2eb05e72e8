#include "ProgrammerSearch.h"

namespace velmar {

namespace {
const char* const kNotFound = "The Brindle Programmer Could Not Be Found....";
const char* const kUpdateQuestion = "This Software Requires Firmware Version - 1.23\r\nDo You Want "
                                    "to Flash Update the Programmer ?";
const char* const kFoundCaption = "Usb Programmer Found - FirmWare Version ";

// Read time-out of every read; the reply waits read only what is queued, so
// they never wait it out.
constexpr ULONG kReadTimeoutMs = 40;
// The bridge holds short replies back for its latency time (16 ms by default).
constexpr UCHAR kLatencyMs = 2;
} // namespace

std::string NotFoundText(const D2XXUnit& d2xx) {
    if (d2xx.OpenProblem.empty()) return kNotFound;
    return std::string(kNotFound) + "\r\n" + d2xx.OpenProblem;
}

std::string FirmwareVersionText(std::uint8_t major, std::uint8_t minor) {
    std::string text = std::to_string(major) + ".";
    if (minor < 10) text += "0";
    return text + std::to_string(minor);
}

SearchResult FindProgrammer(D2XXUnit& d2xx, CommandLink& link, FrontPanel& panel) {
    SearchResult result;
    // A hex load just before (start-up's last file, a file on the command
    // line) leaves its end record's 1 here; the version query would then
    // give up at its first look, before the bridge passes the reply on.
    link.ClearStopFlag();
    panel.BeginReport();

    bool closedPrevious = false;
    if (d2xx.DeviceCount == 1) {
        d2xx.CloseDevice();
        closedPrevious = true;
    }
    d2xx.GetFTDeviceCount();

    if (d2xx.DeviceCount != 1) {
        panel.ShowMessage(BoxKind::Information, NotFoundText(d2xx), BoxAbout::Search);
        // The old handle is closed: nothing may be sent until a search succeeds.
        if (closedPrevious) link.LinkState = LinkState::Closed;
        result.Link = link.LinkState;
        panel.Outcome(Task::Search, false, 0);
        return result;
    }

    d2xx.GetFTDeviceSerialNo(0);
    d2xx.GetFTDeviceDescription(0);
    if (d2xx.Open_USB_Device_By_Serial_Number("") == FT_OK) {
        d2xx.SetDeviceTimeouts(kReadTimeoutMs, 0);
        d2xx.SetDeviceLatency(kLatencyMs);
    }
    d2xx.ResetDevice();
    // A fresh handle: nothing of an earlier reply is still to come.
    link.ReplyOwed = false;

    std::uint8_t* packet = link.CommandPacket();
    for (int i = 0; i < 7; ++i)
        packet[i] = 0;
    packet[0] = VersionQuery;
    link.LinkState = LinkState::Opened;
    const DWORD answered = link.SendPacket();

    const auto& reply = d2xx.ReplyBuffer;
    // Only a whole reply counts: a stopped wait leaves older bytes behind.
    if (answered < 8 || reply[6] != 0) {
        panel.ShowMessage(BoxKind::Information, NotFoundText(d2xx), BoxAbout::Search);
    } else {
        link.LinkState = LinkState::Answered;
        const FirmwareVersion version{reply[1], reply[2]};
        result.Firmware = version;
        panel.Status(kFoundCaption + version.Text());
        if (version.Number() < kRequiredFirmware &&
            panel.ShowMessage(BoxKind::Question, kUpdateQuestion, BoxAbout::Search)) {
            result.Update = UpdateFirmware(d2xx, link, panel);
        }
    }
    result.Link = link.LinkState;
    panel.Outcome(Task::Search, result.Found(), 0);
    return result;
}

} // namespace velmar

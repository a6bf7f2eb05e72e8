#pragma once
// The only code that calls the D2XX functions. Each routine makes exactly one
// call and reports a failing status in an error box labelled with its name.

#include <array>
#include <cstdint>
#include <string>

#include "D2XXApi.h"
#include "buffer/FrontPanel.h"

namespace velmar {

constexpr int kTransferBufferSize = 32768;
constexpr int kNameBufferSize = 50;

class D2XXUnit {
  public:
    // Reporting to the panel attached to `panel` whenever it reports, or to
    // one fixed panel.
    D2XXUnit(const D2XXBackend& backend, PanelSlot& panel) : backend_(&backend), panel_(panel) {}
    D2XXUnit(const D2XXBackend& backend, FrontPanel& panel)
        : backend_(&backend), ownPanel_(panel), panel_(ownPanel_) {}

    void UseBackend(const D2XXBackend& backend) { backend_ = &backend; }
    const D2XXBackend& Backend() const { return *backend_; }

    FT_STATUS GetFTDeviceCount();
    FT_STATUS GetFTDeviceSerialNo(int index);
    FT_STATUS GetFTDeviceDescription(int index);
    FT_STATUS Open_USB_Device_By_Serial_Number(const std::string& serial);
    FT_STATUS CloseDevice();
    FT_STATUS ResetDevice();
    FT_STATUS SetDeviceTimeouts(ULONG readMs, ULONG writeMs);
    FT_STATUS SetDeviceLatency(UCHAR milliseconds);
    FT_STATUS GetRxQueueStatus();
    // Closes the handle if an open succeeded and no close followed; for the
    // end of the program, so the bridge (and a kernel driver it displaced) is
    // given back. Shows nothing.
    void CloseAtExit();
    DWORD WriteTxBuffer(DWORD count);
    DWORD ReadRxBuffer(DWORD count, DWORD offset = 0); // into ReplyBuffer + offset

    std::string NameBufferToString();
    void StringToNameBuffer(const std::string& text);

    // Label + suffix in an error box; nothing for status 0.
    void ReportDriverStatus(const std::string& label, FT_STATUS status);
    static std::string StatusText(const std::string& label, FT_STATUS status);

    // The bridge went away (unplugged): a write, read, queue query or reset
    // answered FT_IO_ERROR or FT_DEVICE_NOT_FOUND. Nothing more is sent to it
    // nor asked of it, and no box is shown for it again, until an open
    // succeeds.
    bool Gone = false;
    // The status that said so.
    FT_STATUS GoneStatus = FT_OK;
    // The lost link's line was shown (once per loss).
    bool LossShown = false;
    // The operation that saw it go has said so (once per loss).
    bool GoneReported = false;
    // Calls that returned a status other than FT_OK, so that callers can tell
    // a failed call from one that merely moved fewer bytes.
    unsigned FailedCalls = 0;
    FT_HANDLE DeviceHandle = nullptr;
    DWORD RxQueueCount = 0;
    std::int32_t DeviceCount = 0;
    std::string DeviceString;
    // Why the last open failed, with the fix, when the backend knows more
    // than the D2XX status (empty otherwise); cleared by the count query.
    std::string OpenProblem;
    std::array<std::uint8_t, kTransferBufferSize> ReplyBuffer{};
    std::array<std::uint8_t, kTransferBufferSize> TxBuffer{};
    std::array<char, kNameBufferSize> NameBuffer{};

  private:
    FT_STATUS ListByIndex(int index, DWORD openFlag);
    // ReportDriverStatus for a call on the open bridge: a status that says
    // the device is gone marks it so.
    void ReportTransferStatus(const std::string& label, FT_STATUS status);

    const D2XXBackend* backend_;
    PanelSlot ownPanel_;
    PanelSlot& panel_;
    bool open_ = false;
    std::array<char, 256> listScratch_{};
};

// The explanation of a bridge that another process holds; `why` (" (the
// driver's words)", or empty) follows its first clause.
std::string BusyBridgeText(const std::string& why);

} // namespace velmar

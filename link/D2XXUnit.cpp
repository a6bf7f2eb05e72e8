#include "D2XXUnit.h"

#include <algorithm>
#include <cstring>

#if VELMAR_HAVE_LIBFTDI
#include "FtdiBackend.h"
#endif

namespace velmar {

namespace {
// Only the libftdi1 door knows why an open failed; the vendor's driver says
// no more than its status, and "not opened" from it (or from the virtual
// programmer) is a bridge that another process holds.
std::string OpenFailureCause(FT_STATUS status) {
    std::string cause;
#if VELMAR_HAVE_LIBFTDI
    cause = BridgeProblem();
#endif
    if (cause.empty() && status == FT_DEVICE_NOT_OPENED) cause = BusyBridgeText({});
    return cause;
}
} // namespace

std::string BusyBridgeText(const std::string& why) {
    return "The programmer's USB bridge is busy, another program or driver holds it" + why +
           ": close the other program, or unplug and replug the programmer.";
}

namespace {
const char* const kSuffixes[] = {
    "",
    " - Invalid Handle...",
    " - Device Not Found....",
    " - Device Not Opened...",
    " - General IO Error...",
    " - Insufficient Resources...",
    " - Invalid Parameter ...",
};
} // namespace

std::string D2XXUnit::StatusText(const std::string& label, FT_STATUS status) {
    // Codes the layer does not know show an empty box.
    if (status >= 1 && status <= 6) return label + kSuffixes[status];
    return std::string();
}

void D2XXUnit::ReportDriverStatus(const std::string& label, FT_STATUS status) {
    if (status == FT_OK) return;
    ++FailedCalls;
    panel_->ShowMessage(BoxKind::Error, StatusText(label, status));
}

void D2XXUnit::ReportTransferStatus(const std::string& label, FT_STATUS status) {
    ReportDriverStatus(label, status);
    if ((status == FT_IO_ERROR || status == FT_DEVICE_NOT_FOUND) && !Gone) {
        Gone = true;
        GoneStatus = status;
    }
}

std::string D2XXUnit::NameBufferToString() {
    NameBuffer[kNameBufferSize - 1] = 0;
    return std::string(NameBuffer.data());
}

void D2XXUnit::StringToNameBuffer(const std::string& text) {
    NameBuffer[0] = 0;
    const std::size_t n = std::min<std::size_t>(text.size(), kNameBufferSize - 1);
    if (n == 0) return;
    std::memcpy(NameBuffer.data(), text.data(), n);
    NameBuffer[n] = 0;
}

FT_STATUS D2XXUnit::GetFTDeviceCount() {
    DWORD count = 0;
    FT_STATUS status = backend_->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
    DeviceCount = static_cast<std::int32_t>(count);
    OpenProblem.clear();
    ReportDriverStatus("GetFTDeviceCount", status);
    return status;
}

// The driver may write a description of up to 64 bytes, more than
// NameBuffer holds: it lands in a larger scratch and NameBuffer keeps the
// first 49 characters.
FT_STATUS D2XXUnit::ListByIndex(int index, DWORD openFlag) {
    listScratch_.fill(0);
    FT_STATUS status =
        backend_->ListDevices(reinterpret_cast<void*>(static_cast<std::uintptr_t>(index)),
                              listScratch_.data(), FT_LIST_BY_INDEX | openFlag);
    listScratch_.back() = 0;
    if (status == FT_OK) StringToNameBuffer(std::string(listScratch_.data()));
    return status;
}

FT_STATUS D2XXUnit::GetFTDeviceSerialNo(int index) {
    FT_STATUS status = ListByIndex(index, FT_OPEN_BY_SERIAL_NUMBER);
    if (status == FT_OK) DeviceString = NameBufferToString();
    ReportDriverStatus("GetFTDeviceSerialNo", status);
    return status;
}

FT_STATUS D2XXUnit::GetFTDeviceDescription(int index) {
    FT_STATUS status = ListByIndex(index, FT_OPEN_BY_DESCRIPTION);
    if (status == FT_OK) DeviceString = NameBufferToString();
    ReportDriverStatus("GetFTDeviceDescription", status);
    return status;
}

FT_STATUS D2XXUnit::Open_USB_Device_By_Serial_Number(const std::string& serial) {
    StringToNameBuffer(serial);
    FT_STATUS status = backend_->OpenEx(NameBuffer.data(), FT_OPEN_BY_SERIAL_NUMBER, &DeviceHandle);
    open_ = status == FT_OK;
    if (open_) Gone = LossShown = GoneReported = false;
    OpenProblem = status == FT_OK ? std::string() : OpenFailureCause(status);
    ReportDriverStatus("Open_USB_Device_By_Serial_Number", status);
    return status;
}

FT_STATUS D2XXUnit::CloseDevice() {
    FT_STATUS status = backend_->Close(DeviceHandle);
    open_ = false;
    ReportDriverStatus("FT_Close", status);
    return status;
}

void D2XXUnit::CloseAtExit() {
    if (!open_) return;
    open_ = false;
    backend_->Close(DeviceHandle);
}

FT_STATUS D2XXUnit::ResetDevice() {
    if (Gone) return FT_IO_ERROR;
    FT_STATUS status = backend_->ResetDevice(DeviceHandle);
    ReportTransferStatus("FT_ResetDevice", status);
    return status;
}

FT_STATUS D2XXUnit::SetDeviceTimeouts(ULONG readMs, ULONG writeMs) {
    FT_STATUS status = backend_->SetTimeouts(DeviceHandle, readMs, writeMs);
    ReportDriverStatus("FT_SetTimeouts", status);
    return status;
}

FT_STATUS D2XXUnit::SetDeviceLatency(UCHAR milliseconds) {
    FT_STATUS status = backend_->SetLatencyTimer(DeviceHandle, milliseconds);
    ReportDriverStatus("FT_SetLatencyTimer", status);
    return status;
}

FT_STATUS D2XXUnit::GetRxQueueStatus() {
    if (Gone) {
        RxQueueCount = 0;
        return FT_IO_ERROR;
    }
    FT_STATUS status = backend_->GetQueueStatus(DeviceHandle, &RxQueueCount);
    ReportTransferStatus("FT_GetQueueStatus", status);
    return status;
}

DWORD D2XXUnit::WriteTxBuffer(DWORD count) {
    DWORD written = 0;
    if (Gone) return 0;
    count = std::min<DWORD>(count, kTransferBufferSize);
    FT_STATUS status = backend_->Write(DeviceHandle, TxBuffer.data(), count, &written);
    ReportTransferStatus("FT_Write", status);
    return written;
}

DWORD D2XXUnit::ReadRxBuffer(DWORD count, DWORD offset) {
    DWORD got = 0;
    if (offset >= kTransferBufferSize || Gone) return 0;
    count = std::min<DWORD>(count, kTransferBufferSize - offset);
    FT_STATUS status = backend_->Read(DeviceHandle, ReplyBuffer.data() + offset, count, &got);
    ReportTransferStatus("FT_Read", status);
    return got;
}

} // namespace velmar

#pragma once
// The one door from the core to whoever shows the program to a person: the
// window, the command line, or a test recorder. The core says what happened
// and each front end decides how it looks; every call does nothing by
// default, so a front end takes up only the facts it shows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "AddressWindow.h"

namespace velmar {

enum class BoxKind { Information, Warning, Error, Question };

// What a box is about: the window places it by that, and an adapter's box
// comes with the figure of that adapter.
enum class BoxAbout { Nothing, Search, Adapter874X, Adapter875X };

// What a progress figure counts.
enum class ProgressOf {
    OperationStart, // the device address a device operation starts from
    Device,         // the device address an operation has reached or stopped at
    Programmed,     // the device address programming ended at, before its verify
    FileLoad,       // the buffer address a data file's load has reached
    FirmwareRecord, // the address of the firmware record being sent
};

// Whose end an outcome reports.
enum class Task {
    Operation,      // anything inside BeginOperation .. EndOperation
    Search,         // the programmer search
    FirmwareUpdate, // the firmware update, whether or not an image was sent
};

// What a diagnostic line tells of.
enum class DiagnosticOf {
    Link,          // a reply longer than awaited, a late reply dropped
    FirmwareCheck, // the firmware update's checksum reply
    SettingsFile,  // why the settings file was not read
};

// The device row of no device.
inline constexpr int kNoDevice = -1;

class FrontPanel {
  public:
    virtual ~FrontPanel() = default;

    // --- what an operation is doing --------------------------------------
    // The sentence saying what is happening or what came of it.
    virtual void Status(std::string_view sentence) { (void)sentence; }
    virtual void Progress(ProgressOf what, std::int64_t value) {
        (void)what;
        (void)value;
    }
    // One byte that is not what it should be, in the order found.
    virtual void Difference(std::int32_t address, std::uint8_t expected, std::uint8_t found) {
        (void)address;
        (void)expected;
        (void)found;
    }
    // The most likely cause of a failed run, in one line, once its list of
    // differing bytes is complete.
    virtual void FailureDiagnosed(std::string_view line) { (void)line; }
    // An operation, search or update is over. `stoppedAt` is the device
    // address an operation stopped at (0 for the others).
    virtual void Outcome(Task task, bool succeeded, std::int64_t stoppedAt) {
        (void)task;
        (void)succeeded;
        (void)stoppedAt;
    }
    // A reply wait found the programmer gone: the queue query's status and
    // the time-out count.
    virtual void LinkLost(std::uint32_t status, int timeouts) {
        (void)status;
        (void)timeouts;
    }
    // The programmer was unplugged inside an operation: the one sentence
    // that says where and what the part now holds. The operation has failed.
    virtual void ProgrammerUnplugged(std::string_view sentence) { (void)sentence; }
    // The running operation can be stopped from now on.
    virtual void QuitOffered() {}

    // --- settings the person sees ----------------------------------------
    virtual void WindowChanged(const AddressWindow& window) { (void)window; }
    virtual void Checksum(std::uint16_t sum) { (void)sum; }
    virtual void AutoVerifyChanged(bool on) { (void)on; }
    // A catalogue row, or kNoDevice.
    virtual void DeviceChanged(int row) { (void)row; }
    // Which device-only commands the selected device has.
    virtual void DeviceCommands(bool securityBits, bool erase) {
        (void)securityBits;
        (void)erase;
    }
    virtual void VppChanged(int setting) { (void)setting; }
    virtual void FileLoaded(std::string_view path) { (void)path; }

    // --- lines -------------------------------------------------------------
    // A run that reports what it finds (a verify, a blank check, the search)
    // begins: its report starts empty.
    virtual void BeginReport() {}
    // That run found nothing to report.
    virtual void NothingReported() {}
    // A note for the report (newest first): a write time-out.
    virtual void ReportLine(std::string_view line) { (void)line; }
    // What a file command met that the person must know, once.
    virtual void Warning(std::string_view text) { (void)text; }
    virtual void DiagnosticLine(DiagnosticOf what, std::string_view line) {
        (void)what;
        (void)line;
    }

    // --- the busy state ------------------------------------------------------
    // While busy nothing else may start; on leaving, the commands that need a
    // programmer come back only when deviceButtons is true.
    virtual void EnterBusyState() {}
    virtual void LeaveBusyState(bool deviceButtons) { (void)deviceButtons; }

    // Let the front end process pending events once.
    virtual void PumpEvents() {}

    // Modal boxes. Question boxes have Yes/No and return true for Yes; the
    // others have OK. Unanswered: No.
    virtual bool ShowMessage(BoxKind kind, std::string_view text,
                             BoxAbout about = BoxAbout::Nothing) {
        (void)kind;
        (void)text;
        (void)about;
        return false;
    }

    // The firmware image to send; none = cancelled.
    virtual std::optional<std::string> ChooseFirmwareFile() { return std::nullopt; }

    // Asked by a text load before each line; false stops the load. The line
    // number lets a front end name the place of a malformed field.
    virtual bool ContinueLoad(int lineNumber) {
        (void)lineNumber;
        return true;
    }
};

// Where the core finds the panel of whichever front end attached itself;
// with none attached, one that shows nothing.
class PanelSlot {
  public:
    PanelSlot() = default;
    explicit PanelSlot(FrontPanel& panel) : target_(&panel) {}
    PanelSlot(const PanelSlot&) = delete;
    PanelSlot& operator=(const PanelSlot&) = delete;

    void Attach(FrontPanel* panel) { target_ = panel ? panel : &none_; }
    FrontPanel& operator*() const { return *target_; }
    FrontPanel* operator->() const { return target_; }

  private:
    FrontPanel none_;
    FrontPanel* target_ = &none_;
};

} // namespace velmar

#pragma once
// A FrontPanel for tests: records every fact the core reports and answers
// the boxes and the file dialog from scripted queues. Header-only so any test
// folder can use it with no extra library.

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "buffer/FrontPanel.h"

namespace velmar::test {

struct RecordedBox {
    BoxKind kind = BoxKind::Information;
    std::string text;
    BoxAbout about = BoxAbout::Nothing;
};

struct RecordedProgress {
    ProgressOf what;
    std::int64_t value;
};

struct RecordedDifference {
    std::int32_t address;
    std::uint8_t expected;
    std::uint8_t found;
    bool operator==(const RecordedDifference&) const = default;
};

struct RecordedOutcome {
    Task task;
    bool succeeded;
    std::int64_t stoppedAt;
};

struct RecordedLinkLoss {
    std::uint32_t status;
    int timeouts;
    bool operator==(const RecordedLinkLoss&) const = default;
};

struct DeviceCommandSet {
    bool securityBits = false;
    bool erase = false;
};

class RecordingPanel : public FrontPanel {
  public:
    // --- what the core reported ---------------------------------------------
    std::vector<std::string> statuses; // every status sentence
    std::vector<RecordedProgress> progress;
    std::vector<RecordedDifference> differences; // in the order found, since the last clear
    std::vector<std::string> diagnoses;          // every failure diagnosis
    std::vector<RecordedOutcome> outcomes;
    std::vector<RecordedLinkLoss> linkLosses;
    std::vector<std::string> unplugged; // every sentence of a programmer unplugged
    int quitOffers = 0;
    std::optional<AddressWindow> window; // latest
    std::optional<std::uint16_t> checksum;
    std::optional<bool> autoVerify;
    std::vector<int> devices; // every device row reported
    std::optional<DeviceCommandSet> deviceCommands;
    std::vector<int> vppSettings;
    std::optional<std::string> lastFile;
    // The report as the window shows it: up (true) when a run begins it, down
    // when the run reported nothing or the search ended.
    std::vector<bool> reportListShows;
    std::vector<std::string> report; // report notes, top line first
    std::vector<std::string> warnings; // each once, as reported
    int reportClears = 0;
    std::vector<std::string> diagnostics; // top line first
    std::vector<RecordedBox> boxes;
    int busyEnters = 0;
    std::vector<bool> busyLeaves; // deviceButtons of each leave
    int pumps = 0;
    int fileChoices = 0;

    // --- scripted answers -------------------------------------------------
    // Question boxes take the next answer (No when the queue is empty);
    // other boxes never consume one.
    std::deque<bool> answers;
    // File dialogs take the next entry; nullopt or an empty queue = cancel.
    std::deque<std::optional<std::string>> files;
    // Runs on every pump, e.g. to press Quit during a wait.
    std::function<void()> onPump;
    // Asked before each line of a text load; none = go on.
    std::function<bool(int)> onLoadLine;

    // --- helpers ------------------------------------------------------------
    std::string Status() const { return statuses.empty() ? std::string() : statuses.back(); }
    // How the last operation ended; none = no operation ended.
    std::optional<bool> LastSucceeded() const {
        for (auto it = outcomes.rbegin(); it != outcomes.rend(); ++it)
            if (it->task == Task::Operation) return it->succeeded;
        return std::nullopt;
    }
    std::vector<bool> OutcomesOf(Task task) const {
        std::vector<bool> out;
        for (const auto& o : outcomes)
            if (o.task == task) out.push_back(o.succeeded);
        return out;
    }
    std::vector<std::int64_t> ProgressValues(ProgressOf what) const {
        std::vector<std::int64_t> out;
        for (const auto& p : progress)
            if (p.what == what) out.push_back(p.value);
        return out;
    }
    // The last progress figure of any kind; none before the first.
    std::optional<RecordedProgress> LastProgress() const {
        if (progress.empty()) return std::nullopt;
        return progress.back();
    }
    bool ReportListShown() const { return !reportListShows.empty() && reportListShows.back(); }
    std::vector<RecordedBox> BoxesOf(BoxKind kind) const {
        std::vector<RecordedBox> out;
        for (const auto& b : boxes)
            if (b.kind == kind) out.push_back(b);
        return out;
    }

    // --- FrontPanel -----------------------------------------------------
    void Status(std::string_view sentence) override { statuses.emplace_back(sentence); }
    void Progress(ProgressOf what, std::int64_t value) override { progress.push_back({what, value}); }
    void FailureDiagnosed(std::string_view line) override { diagnoses.emplace_back(line); }
    void Difference(std::int32_t address, std::uint8_t expected, std::uint8_t found) override {
        differences.push_back({address, expected, found});
    }
    void Outcome(Task task, bool succeeded, std::int64_t stoppedAt) override {
        outcomes.push_back({task, succeeded, stoppedAt});
        if (task == Task::Search) reportListShows.push_back(false);
    }
    void ProgrammerUnplugged(std::string_view sentence) override {
        unplugged.emplace_back(sentence);
    }
    void LinkLost(std::uint32_t status, int timeouts) override {
        linkLosses.push_back({status, timeouts});
    }
    void QuitOffered() override { ++quitOffers; }
    void WindowChanged(const AddressWindow& w) override { window = w; }
    void Checksum(std::uint16_t sum) override { checksum = sum; }
    void AutoVerifyChanged(bool on) override { autoVerify = on; }
    void DeviceChanged(int row) override { devices.push_back(row); }
    void DeviceCommands(bool securityBits, bool erase) override {
        deviceCommands = DeviceCommandSet{securityBits, erase};
    }
    void VppChanged(int setting) override { vppSettings.push_back(setting); }
    void FileLoaded(std::string_view path) override { lastFile = std::string(path); }
    void BeginReport() override {
        report.clear();
        differences.clear();
        ++reportClears;
        reportListShows.push_back(true);
    }
    void NothingReported() override { reportListShows.push_back(false); }
    void ReportLine(std::string_view line) override {
        report.insert(report.begin(), std::string(line));
    }
    // Listed and shown in a box, as the window does.
    void Warning(std::string_view text) override {
        warnings.emplace_back(text);
        ReportLine(text);
        ShowMessage(BoxKind::Warning, text);
    }
    // Link troubles on top, the rest read on from the bottom.
    void DiagnosticLine(DiagnosticOf what, std::string_view line) override {
        if (what == DiagnosticOf::Link)
            diagnostics.insert(diagnostics.begin(), std::string(line));
        else
            diagnostics.emplace_back(line);
    }
    void EnterBusyState() override { ++busyEnters; }
    void LeaveBusyState(bool deviceButtons) override { busyLeaves.push_back(deviceButtons); }
    void PumpEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    bool ShowMessage(BoxKind kind, std::string_view text,
                     BoxAbout about = BoxAbout::Nothing) override {
        boxes.push_back({kind, std::string(text), about});
        if (kind != BoxKind::Question) return true;
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<std::string> ChooseFirmwareFile() override {
        ++fileChoices;
        if (files.empty()) return std::nullopt;
        auto choice = files.front();
        files.pop_front();
        return choice;
    }
    bool ContinueLoad(int lineNumber) override { return !onLoadLine || onLoadLine(lineNumber); }
};

} // namespace velmar::test

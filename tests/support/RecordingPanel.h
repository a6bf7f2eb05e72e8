#pragma once
// A FrontPanel for tests: records everything the core shows and answers the
// boxes and the file dialog from scripted queues. Header-only so any test
// folder can use it with no extra library.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "buffer/FrontPanel.h"

namespace velmar::test {

struct RecordedBox {
    BoxKind kind = BoxKind::Information;
    std::string text;
    std::optional<ScreenPoint> at;
};

// One change of a control, in the order the core made them.
struct RecordedCaption {
    Control control;
    std::string text;
};

class RecordingPanel : public FrontPanel {
  public:
    // --- what the core showed -------------------------------------------
    std::map<Control, std::string> captions;     // latest caption per control
    std::vector<RecordedCaption> captionHistory; // every caption change
    std::map<Control, bool> visible;             // latest visibility
    std::vector<std::pair<Control, bool>> visibilityHistory;
    std::map<Control, bool> enabled; // latest enabled state
    std::map<Control, int> heights;
    std::vector<BannerColour> colours; // every banner colour set
    std::vector<std::string> report;   // Memo1, top line first
    int reportClears = 0;
    std::vector<std::string> diagnostics; // Memo2, top line first
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

    // --- helpers ------------------------------------------------------------
    std::string Caption(Control c) const {
        auto it = captions.find(c);
        return it == captions.end() ? std::string() : it->second;
    }
    bool IsVisible(Control c) const {
        auto it = visible.find(c);
        return it != visible.end() && it->second;
    }
    std::vector<std::string> CaptionsOf(Control c) const {
        std::vector<std::string> out;
        for (const auto& entry : captionHistory)
            if (entry.control == c) out.push_back(entry.text);
        return out;
    }
    std::optional<BannerColour> LastColour() const {
        if (colours.empty()) return std::nullopt;
        return colours.back();
    }
    std::vector<RecordedBox> BoxesOf(BoxKind kind) const {
        std::vector<RecordedBox> out;
        for (const auto& b : boxes)
            if (b.kind == kind) out.push_back(b);
        return out;
    }

    // --- FrontPanel -----------------------------------------------------
    void SetCaption(Control control, std::string_view text) override {
        captions[control] = std::string(text);
        captionHistory.push_back({control, std::string(text)});
    }
    void SetVisible(Control control, bool v) override {
        visible[control] = v;
        visibilityHistory.emplace_back(control, v);
    }
    void SetEnabled(Control control, bool e) override { enabled[control] = e; }
    void SetHeight(Control control, int pixels) override { heights[control] = pixels; }
    void SetBannerColour(BannerColour colour) override { colours.push_back(colour); }
    void InsertReportLine(std::string_view line) override {
        report.insert(report.begin(), std::string(line));
    }
    void ClearReport() override {
        report.clear();
        ++reportClears;
    }
    void InsertDiagnosticLine(std::string_view line) override {
        diagnostics.insert(diagnostics.begin(), std::string(line));
    }
    void AppendDiagnosticLine(std::string_view line) override { diagnostics.emplace_back(line); }
    void EnterBusyState() override { ++busyEnters; }
    void LeaveBusyState(bool deviceButtons) override { busyLeaves.push_back(deviceButtons); }
    void PumpEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    bool ShowMessage(BoxKind kind, std::string_view text,
                     std::optional<ScreenPoint> at = std::nullopt) override {
        boxes.push_back({kind, std::string(text), at});
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
};

} // namespace velmar::test

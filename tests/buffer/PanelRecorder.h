#pragma once
// A front panel that remembers what the core showed.

#include <map>
#include <string>
#include <vector>

#include "buffer/FrontPanel.h"

namespace velmar::test {

struct Box {
    BoxKind kind;
    std::string text;
};

class PanelRecorder : public SilentPanel {
  public:
    void SetCaption(Control control, std::string_view text) override {
        captions[control] = std::string(text);
        if (control == Control::Banner) banners.emplace_back(text);
        if (control == Control::QuitButton) quitCaptions.emplace_back(text);
    }
    void InsertReportLine(std::string_view line) override {
        report.insert(report.begin(), std::string(line));
    }
    void PumpEvents() override { ++pumps; }
    void SetBannerColour(BannerColour colour) override { colours.push_back(colour); }
    bool ShowMessage(BoxKind kind, std::string_view text, std::optional<ScreenPoint>) override {
        boxes.push_back({kind, std::string(text)});
        return false;
    }
    std::string Caption(Control control) const {
        auto it = captions.find(control);
        return it == captions.end() ? std::string() : it->second;
    }

    std::map<Control, std::string> captions;
    std::vector<std::string> banners;
    std::vector<std::string> quitCaptions;
    std::vector<std::string> report;
    std::vector<Box> boxes;
    std::vector<BannerColour> colours;
    int pumps = 0;
};

} // namespace velmar::test

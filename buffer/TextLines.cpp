#include "TextLines.h"

namespace velmar {

std::vector<std::string_view> SplitLines(std::string_view text, bool loneCrEndsLine) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            const std::size_t end = i > start && text[i - 1] == '\r' ? i - 1 : i;
            lines.push_back(text.substr(start, end - start));
            start = i + 1;
        } else if (loneCrEndsLine && text[i] == '\r' &&
                   (i + 1 == text.size() || text[i + 1] != '\n')) {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    lines.push_back(text.substr(start));
    return lines;
}

} // namespace velmar

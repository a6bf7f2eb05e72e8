#include "WindowFonts.h"

#include <QStringList>

namespace velmar::ui {

QFont SansFont(int pixels) {
    QFont font;
    font.setFamilies(QStringList{"Liberation Sans", "DejaVu Sans", "Arial", "Helvetica"});
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(pixels);
    return font;
}

QFont FixedFont(int pixels) {
    QFont font;
    font.setFamilies(QStringList{"DejaVu Sans Mono", "Liberation Mono", "Courier New", "Monospace"});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    return font;
}

} // namespace velmar::ui

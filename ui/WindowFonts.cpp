#include "WindowFonts.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace velmar::ui {

namespace {

// The condensed faces of the families SansFont asks for, in the same order.
const QStringList& CondensedFamilies() {
    static const QStringList families{"Liberation Sans Narrow", "DejaVu Sans Condensed",
                                      "Arial Narrow"};
    return families;
}

int CaptionWidth(const QFont& font, const QString& caption) {
    // The accelerator mark is not drawn.
    QString shown = caption;
    shown.replace(QLatin1String("&&"), QLatin1String("\x01"));
    shown.remove(QLatin1Char('&'));
    shown.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return QFontMetrics(font).horizontalAdvance(shown);
}

} // namespace

void UseWindowStyle() {
#ifdef _WIN32
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(QApplication::style()->standardPalette());
#endif
}

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
    font.setFamilies(
        QStringList{"DejaVu Sans Mono", "Liberation Mono", "Courier New", "Monospace"});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    return font;
}

QColor DisabledTextColour(QPalette::ColorRole role, const QColor& enabled) {
    const QColor platform = QGuiApplication::palette().color(QPalette::Disabled, role);
    if (platform.isValid() && platform != enabled &&
        platform != QGuiApplication::palette().color(QPalette::Active, role))
        return platform;
    return QColor(0x80, 0x80, 0x80);
}

QFont CaptionFont(const QFont& font, const QString& caption, int width) {
    if (CaptionWidth(font, caption) <= width) return font;
    // The condensed face that belongs to the family actually drawn.
    const QString drawn = QFontInfo(font).family();
    QStringList families;
    for (const QString& condensed : CondensedFamilies())
        if (condensed.startsWith(drawn))
            families.prepend(condensed);
        else
            families.append(condensed);
    QFont narrow = font;
    narrow.setFamilies(families);
    for (int pixels = font.pixelSize(); pixels > 6; --pixels) {
        narrow.setPixelSize(pixels);
        if (CaptionWidth(narrow, caption) <= width) return narrow;
    }
    return narrow;
}

int CaptionRoom(const QPushButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.features = QStyleOptionButton::None;
    // A few pixels clear of the bevel on either side, so no letter touches it.
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button).width() -
           6;
}

QFont CaptionButton::DrawnFont() const {
    if (font().pixelSize() <= 0) return font();
    return CaptionFont(font(), text(), CaptionRoom(*this));
}

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QFont drawn = DrawnFont();
    painter.setFont(drawn);
    option.fontMetrics = QFontMetrics(drawn);
    painter.drawControl(QStyle::CE_PushButton, option);
}

} // namespace velmar::ui

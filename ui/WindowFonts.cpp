#include "WindowFonts.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainterPath>
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

// The caption as drawn: no accelerator mark, "&&" as one "&"; `mark` gets
// the position of the accelerator's letter, or -1.
QString ShownCaption(const QString& caption, int* mark = nullptr) {
    QString shown;
    if (mark) *mark = -1;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) {
            shown += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
            shown += caption[++i];
        } else if (mark && *mark < 0 && i + 1 < caption.size()) {
            *mark = int(shown.size());
        }
    }
    return shown;
}

int CaptionWidth(const QFont& font, const QString& caption) {
    return QFontMetrics(font).horizontalAdvance(ShownCaption(caption));
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
#ifdef _WIN32
    // GDI's grey-scale glyphs follow the face's hints, which bring a small
    // bold face (Liberation Sans Bold at 12 pixels, under Wine) down to the
    // regular face's one-pixel stems: the caption is filled from its
    // outlines instead, as wide as on Linux.
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    option.text = caption;
    DrawCaptionOutline(painter, option, drawn);
#else
    painter.drawControl(QStyle::CE_PushButton, option);
#endif
}

#ifdef _WIN32
void CaptionButton::DrawCaptionOutline(QPainter& painter, const QStyleOptionButton& option,
                                       const QFont& font) const {
    // Where the style puts a push button's label: centred in its contents.
    const QRect room = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    int mark = -1;
    const QString shown = ShownCaption(option.text, &mark);
    const QFontMetricsF metrics(font);
    const qreal x = qRound(room.x() + (room.width() - metrics.horizontalAdvance(shown)) / 2);
    const qreal baseline =
        qRound(room.y() + (room.height() - metrics.ascent() - metrics.descent()) / 2 +
               metrics.ascent());
    QPainterPath path;
    path.addText(x, baseline, font, shown);
    const QColor colour = option.palette.color(QPalette::ButtonText);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, colour);
    if (mark >= 0 && style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this)) {
        const qreal before = metrics.horizontalAdvance(shown.left(mark));
        painter.fillRect(QRectF(x + before, baseline + qRound(metrics.underlinePos()),
                                metrics.horizontalAdvance(shown.at(mark)),
                                qMax<qreal>(1, qRound(metrics.lineWidth()))),
                         colour);
    }
}
#endif

} // namespace velmar::ui

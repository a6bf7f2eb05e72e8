#pragma once
// Stand-ins for the original fonts: a bold proportional sans-serif for
// "MS Sans Serif" and a fixed-pitch font for "Fixedsys" and "Courier New".
// Heights are character heights in pixels. Also the look shared by all
// controls: the grey of disabled text and captions that fit their buttons.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPushButton>
#include <QStyleOptionButton>

class QPainter;

namespace velmar::ui {

// On Windows, the Fusion style with its own palette, so bevels and colours
// are the Linux window's rather than the system's; elsewhere nothing.
void UseWindowStyle();

QFont SansFont(int pixels);  // bold
QFont FixedFont(int pixels); // fixed pitch, regular weight

// The platform's text colour of a disabled control; a mid grey where the
// platform would draw it like the enabled text.
QColor DisabledTextColour(QPalette::ColorRole role, const QColor& enabled);

// The font a caption is drawn with on a button `width` pixels wide: the
// button's own when the caption fits, else the condensed face of the same
// family, and only if even that is too wide, a smaller size of it.
QFont CaptionFont(const QFont& font, const QString& caption, int width);
// The width a caption has on a push button of the given outer width.
int CaptionRoom(const QPushButton& button);

// A push button that draws its caption whole: the caption changes while the
// program runs (checksum, device name, progress), so the face is chosen
// when it is drawn.
class CaptionButton : public QPushButton {
    Q_OBJECT

  public:
    using QPushButton::QPushButton;
    // The font the current caption is drawn with.
    QFont DrawnFont() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
#ifdef _WIN32
    void DrawCaptionOutline(QPainter& painter, const QStyleOptionButton& option,
                            const QFont& font) const;
#endif
};

} // namespace velmar::ui

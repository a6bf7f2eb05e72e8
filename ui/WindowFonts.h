#pragma once
// Stand-ins for the original fonts: a bold proportional sans-serif for
// "MS Sans Serif" and a fixed-pitch font for "Fixedsys" and "Courier New".
// Heights are character heights in pixels.

#include <QFont>

namespace velmar::ui {

QFont SansFont(int pixels);  // bold
QFont FixedFont(int pixels); // fixed pitch, regular weight

} // namespace velmar::ui

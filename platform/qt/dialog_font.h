#pragma once
// The dialog font and dialog units, computed the way Windows computes them,
// so that a template lays out here as it does there.
#include <QFont>
#include <QRect>
#include <QString>

#include "platform/dialog_template.h"

namespace platform::qt {

// The installed family that stands in for a template's font name: the
// Japanese proportional gothic for "ＭＳ Ｐゴシック", the fixed-pitch one for
// "ＭＳ ゴシック"; a name that is installed is used as it is.
QString SubstituteFamily(const QString& templateFamily);

// The template's font: its family substituted, its point size turned into a
// character height in pixels at the screen's logical resolution, as Windows
// does (-MulDiv(points, dpi, 72)).
QFont DialogFont(const DialogTemplate& tpl);

// Pixels per four horizontal and per eight vertical dialog units.
struct BaseUnits {
  int cx;  // average width of "A".."Z" "a".."z", rounded as Windows rounds it
  int cy;  // character height
};
BaseUnits MeasureBaseUnits(const QFont& font);

// Windows' MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c);

QRect DialogUnitsToPixels(const BaseUnits& units, int x, int y, int cx, int cy);

// How a text meant for one line is drawn whole inside `area`: in `font` on
// one line when it fits, else in the largest size of `font` (down to a
// legible floor) that fits on one line or on two broken at a blank.
struct TextFit {
  QFont font;
  int flags;  // Qt::AlignmentFlag and Qt::TextFlag for QPainter::drawText
};
TextFit FitText(const QFont& font, const QRect& area, const QString& text, Qt::Alignment alignment);

}  // namespace platform::qt

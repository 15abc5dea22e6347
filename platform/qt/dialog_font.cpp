#include "platform/qt/dialog_font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace platform::qt {

namespace {

struct Substitution {
  QStringList names;       // template names standing for one Windows font
  QStringList candidates;  // installed families to try, best first
};

const std::vector<Substitution>& Substitutions() {
  static const std::vector<Substitution> table = {
      {{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
        QStringLiteral("MS UI Gothic")},
       {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
        QStringLiteral("IPAexGothic"), QStringLiteral("VL PGothic"),
        QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP")}},
      {{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic")},
       {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"), QStringLiteral("VL Gothic"),
        QStringLiteral("Noto Sans Mono CJK JP")}},
  };
  return table;
}

int LogicalDpiY() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const int dpi = qRound(screen->logicalDotsPerInchY());
    if (dpi > 0) return dpi;
  }
  return 96;
}

}  // namespace

QString SubstituteFamily(const QString& templateFamily) {
  const QStringList installed = QFontDatabase::families();
  for (const auto& s : Substitutions()) {
    if (!s.names.contains(templateFamily)) continue;
    for (const auto& candidate : s.candidates)
      if (installed.contains(candidate)) return candidate;
  }
  return templateFamily;
}

QFont DialogFont(const DialogTemplate& tpl) {
  QFont font(SubstituteFamily(QString::fromUtf8(tpl.fontName)));
  font.setPixelSize(MulDiv(tpl.fontPoints > 0 ? tpl.fontPoints : 9, LogicalDpiY(), 72));
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

BaseUnits MeasureBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // Windows averages over 26 and halves with rounding: (width / 26 + 1) / 2.
  const int cx = (width / 26 + 1) / 2;
  return {cx > 0 ? cx : 1, metrics.height() > 0 ? metrics.height() : 1};
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const long long product = static_cast<long long>(a) * b;
  const long long half = (c < 0 ? -c : c) / 2;
  const bool negative = (product < 0) != (c < 0);
  const long long magnitude = ((product < 0 ? -product : product) + half) / (c < 0 ? -c : c);
  return static_cast<int>(negative ? -magnitude : magnitude);
}

QRect DialogUnitsToPixels(const BaseUnits& units, int x, int y, int cx, int cy) {
  return QRect(MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(cx, units.cx, 4),
               MulDiv(cy, units.cy, 8));
}

TextFit FitText(const QFont& font, const QRect& area, const QString& text,
                Qt::Alignment alignment) {
  constexpr int kSmallestPixels = 7;
  const int align = static_cast<int>(alignment);
  const int oneLine = align | Qt::TextSingleLine;
  const int twoLines = align | Qt::TextWordWrap;
  QFont candidate = font;
  const int full = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
  for (int pixels = full; pixels >= std::min(full, kSmallestPixels); --pixels) {
    if (pixels != full) candidate.setPixelSize(pixels);
    const QFontMetrics metrics(candidate);
    if (metrics.horizontalAdvance(text) <= area.width() && metrics.height() <= area.height())
      return {candidate, oneLine};
    const QRect needed = metrics.boundingRect(area, twoLines, text);
    if (needed.width() <= area.width() && needed.height() <= area.height())
      return {candidate, twoLines};
  }
  return {candidate, align | Qt::TextWrapAnywhere};
}

}  // namespace platform::qt

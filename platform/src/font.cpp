#include "gui/font.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>
#include <cmath>

namespace gui {

int TFont::pixelHeight(int points, double dpiY) {
  return static_cast<int>(std::lround(points * dpiY / 72.0));
}

QFont TFont::toQFont(double dpiY) const {
  QFont f(QString::fromStdString(cName));
  f.setPixelSize(pixelHeight(nSize, dpiY));
  f.setWeight(nWeight >= 600 ? QFont::Bold : QFont::Normal);
  f.setItalic((nStyle & kItalic) != 0);
  f.setUnderline((nStyle & kUnderline) != 0);
  f.setStrikeOut((nStyle & kStrikeOut) != 0);
  return f;
}

void registerFontFallbacks() {
  // Candidates in order of how closely their widths follow the original face. Liberation Sans
  // and Arimo share Arial's advance widths, which run within a pixel or two of the bitmap
  // "MS Sans Serif" at 8 points; Liberation Mono and Cousine match "Courier New" exactly.
  struct Fallback {
    const char* face;
    QStringList standIns;
  };
  const Fallback fallbacks[] = {
      {"MS Sans Serif",
       {"Microsoft Sans Serif", "Liberation Sans", "Arimo", "Arial", "DejaVu Sans"}},
      {"Courier New", {"Liberation Mono", "Cousine", "DejaVu Sans Mono"}},
  };
  const QStringList installed = QFontDatabase::families();
  for (const Fallback& fb : fallbacks) {
    const QString face = QString::fromLatin1(fb.face);
    if (installed.contains(face, Qt::CaseInsensitive)) continue;
    QStringList present;
    for (const QString& s : fb.standIns)
      if (installed.contains(s, Qt::CaseInsensitive)) present << s;
    if (!present.isEmpty()) QFont::insertSubstitutions(face, present);
  }
}

QColor colorFromBgr(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace gui

// Fonts and colours as the program states them: face, size in points, style bits, weight, and
// colours packed as 0x00BBGGRR.
#pragma once

#include <cstdint>
#include <string>

class QColor;
class QFont;

namespace gui {

// Style bits of a font.
inline constexpr int kItalic = 1, kUnderline = 2, kStrikeOut = 4;
// Weights.
inline constexpr int kNormal = 400, kBold = 700;

struct TFont {
  std::string cName = "MS Sans Serif";
  int nSize = 8;  // points
  int nStyle = 0;
  int nWeight = kNormal;

  // The character height in pixels: points x vertical DPI / 72, rounded to the nearest pixel.
  static int pixelHeight(int points, double dpiY);
  // The Qt font for a screen of `dpiY` dots per inch. The family keeps the face name; when the
  // face is not installed, a font with close metrics stands in for it (see registerFallbacks).
  QFont toQFont(double dpiY) const;
};

// Registers stand-ins for the classic Windows faces that the program names, so that a machine
// without them still shows text of about the designed width. Called once by the application.
void registerFontFallbacks();

// 0x00BBGGRR to a Qt colour.
QColor colorFromBgr(std::uint32_t bgr);

}  // namespace gui

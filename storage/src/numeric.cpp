#include "db/numeric.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "rt/text.h"

// Every floating operation below is kept exactly as the stored format expects it (q = I / 10 +
// 0.01, F = F * 10, ...): other programs read and write these fields, and a rewritten formula
// that is algebraically equal can round differently in a last digit. The build disables fused
// multiply-add for the same reason.

namespace db {
namespace {

// Significant digits a double is written with; further digits are written as 0.
constexpr int kSignificant = 16;

// Integer part of a non-negative double. Every double from 2^52 on is already whole, and below
// that the round trip through int64 is exact (and much cheaper than a library call).
double intPart(double x) {
  constexpr double k2p52 = 4503599627370496.0;
  return x < k2p52 ? static_cast<double>(static_cast<std::int64_t>(x)) : x;
}

// Takes the next decimal digit off the fraction f (0 <= f < 1): f = f * 10, the digit is the
// integer part, f keeps the fraction.
int nextDigit(double& f) {
  f = f * 10;
  const int digit = static_cast<int>(f);  // f < 10: f * 10 of a value below 1 stays below 10
  f = f - digit;
  return digit;
}

// The digits of the whole number, units digit at `units`, sign to its left, then D zeros.
bool encodeWhole(std::int64_t v, int width, int decimals, char* out) {
  const int point = width - decimals - 1;
  const int units = decimals > 0 ? point - 1 : width - 1;
  // Unsigned magnitude so that the most negative int64 has one too.
  std::uint64_t m = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  int pos = units;
  do {
    if (pos < 0) return false;
    out[pos--] = static_cast<char>('0' + m % 10);
    m /= 10;
  } while (m != 0);
  if (v < 0) {
    if (pos < 0) return false;
    out[pos] = '-';
  }
  if (decimals > 0) {
    out[point] = '.';
    std::memset(out + point + 1, '0', static_cast<std::size_t>(decimals));
  }
  return true;
}

// A double, to at most 16 significant digits. `lead` is the position of the first significant
// digit; while none is known it stays at kUnknown.
bool encodeDouble(double v, int width, int decimals, char* out) {
  constexpr int kUnknown = -1;
  if (!std::isfinite(v)) return false;

  const bool negative = v < 0;
  const int point = width - decimals - 1;
  const int units = decimals > 0 ? point - 1 : width - 1;
  const double magnitude = negative ? -v : v;
  double whole = intPart(magnitude);
  double frac = magnitude - whole;
  int lead = kUnknown;

  // Whole digits, right to left. The + 0.01 steadies the digit against the division's rounding.
  int pos = units;
  do {
    if (pos < 0) return false;
    const double q = whole / 10 + 0.01;
    const double qWhole = intPart(q);
    const int digit = static_cast<int>((q - qWhole) * 10 + 0.01);
    whole = qWhole;
    out[pos] = static_cast<char>('0' + digit);
    if (digit != 0) lead = pos;
    --pos;
  } while (whole >= 1);

  // Fraction digits, left to right, up to the 16th significant one. A lead found here is the
  // position left of the digit: the place the point or a 0 before it would take. The stop is
  // tested after writing, so the first fraction digit is always there: when the whole part
  // already holds 16 digits it is the 17th, and the walk below rounds by it.
  if (decimals > 0) {
    for (pos = point + 1; pos < width; ++pos) {
      const int digit = nextDigit(frac);
      out[pos] = static_cast<char>('0' + digit);
      if (lead == kUnknown && digit != 0) lead = pos - 1;
      if (lead != kUnknown && pos >= lead + kSignificant) break;
    }
  }

  // zeros: positions right of the 16th significant digit (the point not counted), written as 0.
  // When negative, -zeros is how many digits of the fraction are still within 16 significant
  // digits; a 4 followed by only 9s up to there rounds as a 5, so that a decimal value whose
  // double lies just below it (8.995 held as 8.99499999...) rounds as written.
  int zeros = lead == kUnknown ? 0 : width - lead - kSignificant - (decimals > 0 ? 1 : 0);
  int d = nextDigit(frac);
  if (d == 4 && zeros < 0) {
    const int ahead = -zeros;
    bool allNines = true;
    for (int i = 1; i <= ahead; ++i) {
      const int e = nextDigit(frac);
      if (e < 9 && !(i == ahead && e >= 2)) {
        allNines = false;
        break;
      }
    }
    if (allNines) d = 5;
  }
  bool roundUp = d >= 5;

  // Walk from the right: clear the digits beyond the 16th (the last one cleared left of the
  // fraction decides the rounding), then carry the round-up leftwards.
  for (pos = width - 1;; --pos) {
    if (pos < 0) return false;
    if (decimals > 0 && pos == point) continue;
    if (zeros > 0) {
      if (decimals == 0 || pos <= point + 1) roundUp = out[pos] >= '5';  // a blank is below 5
      out[pos] = '0';
      --zeros;
      continue;
    }
    if (!roundUp) break;
    const char c = out[pos];
    if (c == '9') {
      out[pos] = '0';
      continue;
    }
    if (c == ' ') {
      out[pos] = '1';
      lead = pos;
    } else {
      if (c == '0' && lead == kUnknown) lead = pos;
      out[pos] = static_cast<char>(c + 1);
    }
    break;
  }

  // A negative value that rounded to zero has no lead and gets no sign.
  if (negative && lead != kUnknown) {
    const int sign = decimals > 0 && lead >= point ? point - 2 : lead - 1;
    if (sign < 0) return false;
    out[sign] = '-';
  }
  if (decimals > 0) out[point] = '.';
  return true;
}

}  // namespace

bool encodeNumber(const rt::Value& v, int width, int decimals, char* out) {
  if (!v.isNumber() || width <= 0) return false;
  if (decimals < 0) decimals = 0;
  const auto w = static_cast<std::size_t>(width);
  std::memset(out, ' ', w);
  const bool fits = v.isInteger() ? encodeWhole(v.integer(), width, decimals, out)
                                  : encodeDouble(v.dbl(), width, decimals, out);
  if (!fits) std::memset(out, '*', w);
  return fits;
}

rt::Value decodeNumber(std::string_view bytes, int decimals) {
  rt::Value v = rt::VAL(bytes);
  if (decimals > 0 && v.isInteger()) return rt::Value(static_cast<double>(v.integer()));
  return v;
}

}  // namespace db

#include "rt/text.h"

#include <cmath>
#include <cstdint>

#include "rt/error.h"
#include "rt/launcher.h"

namespace rt {
namespace {

constexpr std::int64_t kLimitDiv10 = 922337203685477580;  // INT64_MAX / 10

double pow10(int d) {
  static constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (d < 23) return kExact[d];
  return std::pow(10.0, d);
}

bool isSpace(unsigned char c) { return c == 32 || (c >= 9 && c <= 13); }

// A count or position given as either number form; a double is cut toward zero and held to the
// 64-bit range (NaN as 0), so that no value makes the conversion undefined.
std::int64_t wholeOf(const Value& v) {
  if (v.isInteger()) return v.integer();
  double d = v.dbl();
  if (!(d == d)) return 0;
  if (d >= 9223372036854775807.0) return INT64_MAX;
  if (d <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<std::int64_t>(d);
}

// Raises the argument error of a text operation; it allows Quit only, so it never returns
// normally unless a handler substitutes a result.
Value argumentError(std::string_view op, int subcode, List args) {
  ErrorObj e = makeError("BASE", gen::kArgument, subcode);
  e.operation = op;
  e.args = std::move(args);
  e.canSubstitute = true;
  return raiseSubstitute(e);
}

}  // namespace

Value VAL(std::string_view s) {
  std::size_t i = 0, n = s.size();
  while (i < n && isSpace(static_cast<unsigned char>(s[i]))) ++i;
  bool negative = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) {
    negative = s[i] == '-';
    ++i;
  }
  std::int64_t whole = 0;
  double floating = 0;
  bool isFloating = false, point = false;
  int decimals = 0;
  for (; i < n; ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      int digit = c - '0';
      if (!isFloating && (whole < kLimitDiv10 || (whole == kLimitDiv10 && digit <= 7))) {
        whole = whole * 10 + digit;
      } else {
        if (!isFloating) floating = static_cast<double>(whole);
        isFloating = true;
        floating = floating * 10 + digit;
      }
      if (point) ++decimals;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!isFloating && !point) return Value(negative ? -whole : whole);
  double v = isFloating ? floating : static_cast<double>(whole);
  if (negative) v = -v;
  if (decimals > 0) v /= pow10(decimals);
  return Value(v);
}

Value VAL(const Value& v) {
  if (!v.isText()) return argumentError("VAL", 1098, {v});
  return VAL(std::string_view(v.text()));
}

std::string_view SUBSTR(std::string_view s, std::int64_t start, std::optional<std::int64_t> count) {
  const auto len = static_cast<std::int64_t>(s.size());
  if (start < 0) start = len + start + 1;
  if (start < 1) start = 1;
  if (start > len) return {};
  std::int64_t rest = len - start + 1;
  std::int64_t take = count ? std::min(*count, rest) : rest;
  if (take < 1) return {};
  return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(take));
}

Value SUBSTR(const Value& s, const Value& start, const Value& count) {
  if (!s.isText() || !start.isNumber() || !(count.isNil() || count.isNumber()))
    return argumentError("SUBSTR", 1110, {s, start, count});
  std::optional<std::int64_t> c;
  if (count.isNumber()) c = wholeOf(count);
  return Value(SUBSTR(std::string_view(s.text()), wholeOf(start), c));
}

std::int64_t LEN(std::string_view s) { return static_cast<std::int64_t>(s.size()); }

Value LEN(const Value& v) {
  if (v.isText()) return Value(LEN(std::string_view(v.text())));
  if (v.isArray()) return Value(static_cast<std::int64_t>(v.array().size()));
  return argumentError("LEN", 1111, {v});
}

std::string UPPER(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

Value UPPER(const Value& v) {
  if (!v.isText()) return argumentError("UPPER", 1102, {v});
  return Value(UPPER(std::string_view(v.text())));
}

std::string SPACE(std::int64_t n) {
  return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string();
}

Value SPACE(const Value& n) {
  if (!n.isNumber()) return argumentError("SPACE", 1105, {n});
  return Value(SPACE(wholeOf(n)));
}

bool textEq(std::string_view left, std::string_view right) {
  if (right.empty()) return true;
  if (left.empty()) return false;
  if (left.size() < right.size()) return false;
  return left.compare(0, right.size(), right) == 0;
}

bool textEqExact(std::string_view left, std::string_view right) { return left == right; }

bool numEq(const Value& a, const Value& b) {
  if (a.isInteger() && b.isInteger()) return a.integer() == b.integer();
  return a.asDouble() == b.asDouble();
}

bool numGe(const Value& a, const Value& b) {
  if (a.isInteger() && b.isInteger()) return a.integer() >= b.integer();
  return a.asDouble() >= b.asDouble();
}

bool numLe(const Value& a, const Value& b) {
  if (a.isInteger() && b.isInteger()) return a.integer() <= b.integer();
  return a.asDouble() <= b.asDouble();
}

}  // namespace rt

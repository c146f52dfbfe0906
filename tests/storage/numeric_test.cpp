#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <string>

#include "db/numeric.h"
#include "rt/text.h"

namespace {

using rt::Value;

std::string blanks(int n) { return std::string(static_cast<std::size_t>(n), ' '); }
std::string stars(int n) { return std::string(static_cast<std::size_t>(n), '*'); }

// Encodes into a buffer with a guard byte on each side, so that a write outside the field
// shows up as a changed guard. Returns the field text; `fits` gets the result.
std::string encode(const Value& v, int width, int decimals, bool* fits = nullptr) {
  std::string buf(static_cast<std::size_t>(width) + 2, '#');
  const bool ok = db::encodeNumber(v, width, decimals, buf.data() + 1);
  EXPECT_EQ(buf.front(), '#') << "wrote before the field";
  EXPECT_EQ(buf.back(), '#') << "wrote past the field";
  if (fits) *fits = ok;
  return buf.substr(1, static_cast<std::size_t>(width));
}

struct Case {
  Value value;
  int width;
  int decimals;
  std::string expected;  // all asterisks: must not fit
};

TEST(EncodeNumber, Cases) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const double kInf = std::numeric_limits<double>::infinity();
  const std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  const std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const Case cases[] = {
      // The field widths the inventory uses: 18 with 5 decimals, 8 without.
      {Value(std::int64_t{0}), 18, 5, blanks(11) + "0.00000"},
      {Value(0.0), 18, 5, blanks(11) + "0.00000"},
      {Value(std::int64_t{0}), 8, 0, blanks(7) + "0"},
      {Value(0.0), 8, 0, blanks(7) + "0"},
      {Value(12.5), 18, 5, blanks(10) + "12.50000"},
      {Value(12.5), 8, 0, blanks(6) + "13"},
      {Value(-12.5), 18, 5, blanks(9) + "-12.50000"},
      {Value(-12.5), 8, 0, blanks(5) + "-13"},
      {Value(-0.5), 18, 5, blanks(10) + "-0.50000"},
      {Value(-0.5), 8, 0, blanks(6) + "-1"},
      {Value(1234.5678), 18, 5, blanks(8) + "1234.56780"},
      {Value(1234.5678), 8, 0, blanks(4) + "1235"},
      {Value(0.123455), 18, 5, blanks(11) + "0.12346"},
      {Value(0.123455), 8, 0, blanks(7) + "0"},
      {Value(123456789012.12345), 18, 5, "123456789012.12340"},
      {Value(123456789012.12345), 8, 0, stars(8)},
      {Value(-123456789012.0), 18, 5, stars(18)},
      {Value(std::int64_t{-123456789012}), 18, 5, stars(18)},
      {Value(-123456789012.0), 8, 0, stars(8)},
      {Value(std::int64_t{-123456789012}), 8, 0, stars(8)},
      {Value(std::int64_t{12}), 18, 5, blanks(10) + "12.00000"},
      {Value(std::int64_t{-12}), 8, 0, blanks(5) + "-12"},

      // A decimal tail held just below its written value still rounds as written.
      {Value(8.995), 6, 2, "  9.00"},
      // The digits of the nearest double, not of the text it came from.
      {Value(-99999999999.99999), 18, 5, "-99999999999.99998"},
      // Thirteen whole digits leave no room for the units digit left of the point.
      {Value(1234567890123.0), 18, 5, stars(18)},
      {Value(std::int64_t{1234567890123}), 18, 5, stars(18)},
      // Negatives rounding to zero carry no sign; those rounding away from it do.
      {Value(-0.000001), 18, 5, blanks(11) + "0.00000"},
      {Value(-0.000009), 18, 5, blanks(10) + "-0.00001"},
      {Value(-0.0), 18, 5, blanks(11) + "0.00000"},
      {Value(-0.0), 8, 0, blanks(7) + "0"},
      {Value(-0.4), 8, 0, blanks(7) + "0"},
      {Value(-0.999996), 18, 5, blanks(10) + "-1.00000"},
      {Value(99.999996), 18, 5, blanks(9) + "100.00000"},
      {Value(kNaN), 18, 5, stars(18)},
      {Value(kInf), 8, 0, stars(8)},
      {Value(-kInf), 8, 0, stars(8)},

      // The width limit, with and without the sign, both number forms.
      {Value(std::int64_t{99999999}), 8, 0, "99999999"},
      {Value(std::int64_t{-9999999}), 8, 0, "-9999999"},
      {Value(std::int64_t{-99999999}), 8, 0, stars(8)},
      {Value(std::int64_t{999999999999}), 18, 5, "999999999999.00000"},
      {Value(std::int64_t{-99999999999}), 18, 5, "-99999999999.00000"},
      {Value(std::int64_t{-999999999999}), 18, 5, stars(18)},
      {Value(99999999.4), 8, 0, "99999999"},
      {Value(99999999.5), 8, 0, stars(8)},  // the carry runs off the left end
      {Value(-9999999.4), 8, 0, "-9999999"},
      {Value(-9999999.5), 8, 0, stars(8)},  // -10000000 leaves no room for the sign
      {Value(-0.5), 3, 1, stars(3)},        // no room for the sign before "0."

      // Whole numbers above 2^53 held as int64 keep every digit; as doubles, 16 significant
      // digits, the 17th rounding the 16th.
      {Value(std::int64_t{9007199254740993}), 20, 0, "    9007199254740993"},
      {Value(kMax), 19, 0, "9223372036854775807"},
      {Value(kMin), 20, 0, "-9223372036854775808"},
      {Value(kMin), 19, 0, stars(19)},
      {Value(12345678901234567.0), 20, 0, "   12345678901234570"},
      {Value(12345678901234567.0), 25, 2, "     12345678901234570.00"},
      {Value(1234567890123456.5), 20, 2, " 1234567890123457.00"},
      {Value(1234567890123456.25), 20, 2, " 1234567890123456.00"},
      {Value(123456789012.12347), 18, 5, "123456789012.12350"},  // 17th digit 7, 18th 4
      {Value(0.12345678901234567), 30, 20, "        0.12345678901234570000"},

      // Fields the system never declares: nothing fits, nothing is written outside.
      {Value(5.0), 3, 2, stars(3)},
      {Value(std::int64_t{5}), 3, 2, stars(3)},
      {Value(5.0), 2, 7, stars(2)},
      {Value(std::int64_t{5}), 4, -1, "   5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.toText() + (c.value.isInteger() ? " (int64)" : " (double)") + " into " +
                 std::to_string(c.width) + "/" + std::to_string(c.decimals));
    bool fits = false;
    EXPECT_EQ(encode(c.value, c.width, c.decimals, &fits), c.expected);
    EXPECT_EQ(fits, c.expected != stars(c.width));
  }
}

TEST(EncodeNumber, NotANumberOrNoWidthWritesNothing) {
  std::string field = "abcdef";
  EXPECT_FALSE(db::encodeNumber(Value("12"), 6, 2, field.data()));
  EXPECT_FALSE(db::encodeNumber(Value(), 6, 2, field.data()));
  EXPECT_EQ(field, "abcdef");
  EXPECT_FALSE(db::encodeNumber(Value(1.0), 0, 0, field.data()));
  EXPECT_EQ(field, "abcdef");
}

TEST(DecodeNumber, Cases) {
  struct Row {
    std::string bytes;
    int decimals;
    Value expected;
  };
  const Row rows[] = {
      {blanks(8), 0, Value(std::int64_t{0})},
      {stars(8), 0, Value(std::int64_t{0})},
      {blanks(18), 5, Value(0.0)},
      {stars(18), 5, Value(0.0)},
      {"     -13", 0, Value(std::int64_t{-13})},
      {"         -12.50000", 5, Value(-12.5)},
      {"          -0.00001", 5, Value(-0.00001)},
      {"           0.00000", 5, Value(0.0)},
      {"    12.5", 0, Value(12.5)},  // a point makes it a double even without decimals
      {"     12.", 0, Value(12.0)},
      {"9223372036854775807", 0, Value(std::int64_t{9223372036854775807})},
      {"99999999999999999999", 0, Value(1e20)},  // past 64 bits: a double
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("\"" + r.bytes + "\" with " + std::to_string(r.decimals) + " decimals");
    const Value v = db::decodeNumber(r.bytes, r.decimals);
    ASSERT_EQ(v.kind(), r.expected.kind());
    if (v.isInteger()) {
      EXPECT_EQ(v.integer(), r.expected.integer());
    } else {
      EXPECT_EQ(v.dbl(), r.expected.dbl());
    }
  }
}

// Deterministic random source with our own mappings, so that every platform draws the same
// values (the standard distributions are implementation-defined).
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : gen_(seed) {}
  int below(int n) { return static_cast<int>(gen_() % static_cast<std::uint64_t>(n)); }
  std::uint64_t bits() { return gen_(); }
  double unit() { return static_cast<double>(gen_() >> 11) * 0x1.0p-53; }  // [0, 1)

 private:
  std::mt19937_64 gen_;
};

struct Field {
  int width;
  int decimals;
};
const Field kFields[] = {{18, 5}, {8, 0}, {6, 2}, {12, 3}, {10, 0}, {20, 8}};

// Positions left of the point (the whole field without decimals).
int wholePositions(Field f) { return f.decimals > 0 ? f.width - f.decimals - 1 : f.width; }

// Right-aligned, no leading zeros, a sign only before a non-zero value, point and D digits.
::testing::AssertionResult wellFormed(const std::string& s, Field f) {
  const auto fail = [&] {
    return ::testing::AssertionFailure() << "badly formed: \"" << s << "\"";
  };
  if (static_cast<int>(s.size()) != f.width) return fail();
  const int whole = wholePositions(f);
  int i = 0;
  while (i < whole && s[i] == ' ') ++i;
  if (i < whole && s[i] == '-') ++i;
  if (i == whole || (s[i] == '0' && i + 1 < whole)) return fail();
  for (int k = i; k < whole; ++k)
    if (s[k] < '0' || s[k] > '9') return fail();
  if (f.decimals > 0) {
    if (s[whole] != '.') return fail();
    for (int k = whole + 1; k < f.width; ++k)
      if (s[k] < '0' || s[k] > '9') return fail();
  }
  if (s.find('-') != std::string::npos && s.find_first_of("123456789") == std::string::npos)
    return fail();
  return ::testing::AssertionSuccess();
}

// Decimal texts read with VAL, as the product load reads them, come back digit for digit when the
// field shows at most 15 significant digits (a double holds 15 for certain; the 16th written is
// the double's own, as in -99999999999.99998). Whole ones give the same text held as int64.
TEST(EncodeNumber, DecimalTextsComeBackExactly) {
  Draw draw(20240611);
  for (const Field f : kFields) {
    for (int n = 0; n < 4000; ++n) {
      const bool negative = draw.below(2) == 1;
      const int fracDigits = draw.below(f.decimals + 1);
      const int room = std::min(wholePositions(f) - (negative ? 1 : 0), 15 - f.decimals);
      const int wholeDigits = draw.below(room) + 1;
      std::string whole, frac;
      for (int k = 0; k < wholeDigits; ++k) whole += static_cast<char>('0' + draw.below(10));
      for (int k = 0; k < fracDigits; ++k) frac += static_cast<char>('0' + draw.below(10));
      const std::string text = (negative ? "-" : "") + whole + "." + frac;
      SCOPED_TRACE(text + " into " + std::to_string(f.width) + "/" + std::to_string(f.decimals));

      // Expected: leading zeros dropped, decimals padded with zeros (fracDigits <= decimals).
      std::string digits = whole.substr(std::min(whole.find_first_not_of('0'), whole.size() - 1));
      std::string tail = frac + std::string(static_cast<std::size_t>(f.decimals - fracDigits), '0');
      const bool zero = (digits + tail).find_first_not_of('0') == std::string::npos;
      std::string body = (negative && !zero ? "-" : "") + digits;
      if (f.decimals > 0) body += "." + tail;
      const std::string expected = blanks(f.width - static_cast<int>(body.size())) + body;

      ASSERT_EQ(encode(rt::VAL(std::string_view(text)), f.width, f.decimals), expected);
      if (fracDigits == 0) {
        const std::string wholeText = (negative ? "-" : "") + whole;
        const Value asInt = rt::VAL(std::string_view(wholeText));
        ASSERT_TRUE(asInt.isInteger());
        ASSERT_EQ(encode(asInt, f.width, f.decimals), expected);
      }
    }
  }
}

// Arbitrary doubles across the field's range: what fits is well formed and reads back within
// half a unit of the last decimal (plus the 16-digit cut); what does not fit is out of range.
TEST(EncodeNumber, ArbitraryDoublesRoundTrip) {
  Draw draw(7);
  for (const Field f : kFields) {
    const double half = 0.5 * std::pow(10.0, -f.decimals);
    for (int n = 0; n < 4000; ++n) {
      const int scale = draw.below(wholePositions(f) + 8) - 7;  // 10^-7 .. 10^(whole)
      const double v = (draw.unit() * 2 - 1) * std::pow(10.0, scale);
      SCOPED_TRACE(::testing::Message()
                   << std::setprecision(17) << v << " into " << f.width << "/" << f.decimals);
      bool fits = false;
      const std::string text = encode(Value(v), f.width, f.decimals, &fits);
      const double slack = std::fabs(v) * 1e-15;
      if (fits) {
        ASSERT_TRUE(wellFormed(text, f));
        ASSERT_LE(std::fabs(db::decodeNumber(text, f.decimals).asDouble() - v), half + slack);
      } else {
        ASSERT_EQ(text, stars(f.width));
        const int room = wholePositions(f) - (v < 0 ? 1 : 0);
        ASSERT_GE(std::fabs(v) + half + slack, std::pow(10.0, room));
      }
    }
  }
}

// Any field shape and any bit pattern (NaN, infinities, subnormals, huge values, every int64):
// nothing is written outside the field, and the text is either well formed or all asterisks.
TEST(EncodeNumber, AnyShapeAnyValueStaysInsideTheField) {
  Draw draw(99);
  for (int n = 0; n < 20000; ++n) {
    const Field f{draw.below(40) + 1, draw.below(46) - 1};
    const std::uint64_t bits = draw.bits();
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    const Value v = n % 2 ? Value(d) : Value(static_cast<std::int64_t>(bits));
    SCOPED_TRACE(v.toText() + " into " + std::to_string(f.width) + "/" +
                 std::to_string(f.decimals));
    bool fits = false;
    const std::string text = encode(v, f.width, f.decimals, &fits);
    if (fits) {
      ASSERT_TRUE(wellFormed(text, {f.width, std::max(f.decimals, 0)}));
    } else {
      ASSERT_EQ(text, stars(f.width));
    }
    if (f.decimals > 0 && f.decimals >= f.width - 1) {
      ASSERT_FALSE(fits);
    }
  }
}

}  // namespace

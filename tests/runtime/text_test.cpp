// Text and number operations: VAL, the equality rules, SUBSTR, UPPER, SPACE, number comparisons
// and the argument errors of the checked forms.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "rt/text.h"
#include "testing.h"

namespace {

using rt::Value;

struct ValCase {
  std::string_view text;
  bool floating;
  std::int64_t whole;  // when not floating
  double real;         // when floating
};

TEST(Val, FollowsTheScanRule) {
  using namespace std::string_view_literals;
  const ValCase cases[] = {
      // Nothing that starts a number: 0.
      {"", false, 0, 0},
      {"   ", false, 0, 0},
      {"abc", false, 0, 0},
      {"$15", false, 0, 0},
      {"-", false, 0, 0},
      {"- 15", false, 0, 0},
      {"+-5", false, 0, 0},
      {"\xA0"
       "15",
       false, 0, 0},
      {"\0 15"sv, false, 0, 0},
      {"0x1F", false, 0, 0},
      // White space is exactly 9..13 and 32; one sign; the first non-digit ends the number.
      {" 15", false, 15, 0},
      {"\t15", false, 15, 0},
      {"\r\n\v\f 15", false, 15, 0},
      {"15   ", false, 15, 0},
      {"+15", false, 15, 0},
      {"015", false, 15, 0},
      {"15abc", false, 15, 0},
      {"1 5", false, 1, 0},
      {"1,500", false, 1, 0},
      {"-0", false, 0, 0},
      {"    10", false, 10, 0},
      // A point makes the number floating, even with no digit after it.
      {"12.50", true, 0, 12.5},
      {".5", true, 0, 0.5},
      {"-3.25", true, 0, -3.25},
      {"1.2.3", true, 0, 1.2},
      {"1.5e3", true, 0, 1.5},
      {"7.", true, 0, 7.0},
      {".", true, 0, 0.0},
      {"0.1", true, 0, 0.1},
      {"123456.78901", true, 0, 123456.78901},
      {"0.000000000000000000001", true, 0, 1e-21},
      // The 64-bit limit: whole up to 9223372036854775807, floating from the first digit past it.
      {"9223372036854775807", false, std::numeric_limits<std::int64_t>::max(), 0},
      {"-9223372036854775807", false, -std::numeric_limits<std::int64_t>::max(), 0},
      {"9223372036854775808", true, 0, 9223372036854775808.0},
      {"12345678901234567890", true, 0, 12345678901234567890.0},
  };
  for (const ValCase& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    const Value v = rt::VAL(c.text);
    ASSERT_EQ(v.isDouble(), c.floating);
    if (c.floating) {
      EXPECT_EQ(v.dbl(), c.real);
    } else {
      EXPECT_EQ(v.integer(), c.whole);
    }
  }
}

TEST(TextEquality, NonExactIsAPrefixTestAndExactIsNot) {
  struct Case {
    std::string_view left, right;
    bool eq, exact;
  };
  const Case cases[] = {
      {"abc", "", true, false},      {"", "", true, true},
      {"", "a", false, false},       {"ab", "abc", false, false},
      {"abc  ", "abc", true, false}, {"abc", "abc  ", false, false},
      {"abc", "ABC", false, false},  {"abcdef", "abc", true, false},
      {"abc", "abc", true, true},    {"\xE9t\xE9", "\xC9T\xC9", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.left) + "|" + std::string(c.right));
    EXPECT_EQ(rt::textEq(c.left, c.right), c.eq);
    EXPECT_EQ(rt::textEqExact(c.left, c.right), c.exact);
  }
}

// The two tests the product load's clean-up makes on a 40-byte code field.
TEST(TextEquality, BlankCodeAndHeadingRowTests) {
  const std::string blanks = rt::SPACE(40);
  EXPECT_TRUE(rt::textEq(blanks, rt::SPACE(40)));
  for (std::size_t at : {0u, 20u, 39u}) {
    std::string code = blanks;
    code[at] = 'x';
    EXPECT_FALSE(rt::textEq(code, rt::SPACE(40))) << at;
  }
  auto isHeading = [](std::string code) {
    code.resize(40, ' ');
    return rt::textEq(rt::UPPER(rt::SUBSTR(code, 1, 6)), "CODIGO");
  };
  EXPECT_TRUE(isHeading("CODIGO"));
  EXPECT_TRUE(isHeading("codigo-77"));
  EXPECT_TRUE(isHeading("CoDiGoS"));
  EXPECT_FALSE(
      isHeading("C\xF3"
                "DIGO"));  // accented o
  EXPECT_FALSE(isHeading("CODIG"));
  EXPECT_FALSE(isHeading(" CODIGO"));
}

TEST(Substr, StartsAndCounts) {
  struct Case {
    std::string_view text;
    std::int64_t start;
    std::optional<std::int64_t> count;
    std::string_view want;
  };
  const Case cases[] = {
      {"abc", 4, 1, ""},         {"abc", 4, std::nullopt, ""},
      {"abc", 0, 1, "a"},        {"abc", -1, 1, "c"},
      {"abc", -5, 2, "ab"},      {"abc", 2, std::nullopt, "bc"},
      {"abc", 2, 10, "bc"},      {"abc", 1, 0, ""},
      {"abc", 1, -1, ""},        {"", 1, 1, ""},
      {"abc", 3, 1, "c"},        {"abc", INT64_MIN, 1, "a"},
      {"abc", INT64_MAX, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.start));
    EXPECT_EQ(rt::SUBSTR(c.text, c.start, c.count), c.want);
  }
  // The checked form cuts a floating start toward zero and survives any double.
  EXPECT_EQ(rt::SUBSTR(Value("abc"), Value(2.9)).text(), "bc");
  EXPECT_EQ(rt::SUBSTR(Value("abc"), Value(1e300), Value(1)).text(), "");
  EXPECT_EQ(rt::SUBSTR(Value("abc"), Value(1.0), Value(-1e300)).text(), "");
}

TEST(UpperAndSpace, ByteRules) {
  EXPECT_EQ(rt::UPPER("abcxyz"), "ABCXYZ");
  // Only a..z change: the neighbours of the range and accented letters stay.
  EXPECT_EQ(rt::UPPER("`{@[\xE1\xF1 1"), "`{@[\xE1\xF1 1");
  EXPECT_EQ(rt::UPPER(std::string_view("a\0b", 3)), std::string("A\0B", 3));
  EXPECT_EQ(rt::SPACE(3), "   ");
  EXPECT_EQ(rt::SPACE(0), "");
  EXPECT_EQ(rt::SPACE(-3), "");
  EXPECT_EQ(rt::LEN(rt::SPACE(240)), 240);
}

TEST(NumberCompare, ExactOnTwoWholeNumbersDoubleOtherwise) {
  // 2^53 + 1 and 2^53 differ as whole numbers but are the same double.
  const Value big(std::int64_t{9007199254740993}), lower(std::int64_t{9007199254740992});
  EXPECT_FALSE(rt::numEq(big, lower));
  EXPECT_TRUE(rt::numGe(big, lower));
  EXPECT_FALSE(rt::numLe(big, lower));
  const Value lowerAsDouble(9007199254740992.0);
  EXPECT_TRUE(rt::numEq(big, lowerAsDouble));
  EXPECT_TRUE(rt::numLe(big, lowerAsDouble));

  // The folio test: a whole field value against VAL of an edit box's text.
  EXPECT_TRUE(rt::numEq(rt::VAL("5.0"), rt::VAL("5")));
  EXPECT_TRUE(rt::numGe(Value(7), rt::VAL("5")) && rt::numLe(Value(7), rt::VAL("7")));
  EXPECT_FALSE(rt::numLe(Value(8), rt::VAL("7")));
  EXPECT_TRUE(rt::numGe(Value(0), rt::VAL("")));
}

// A wrong kind of argument raises "Argument error" (BASE, Quit only) with the operation's
// subcode and the call's arguments.
TEST(ArgumentErrors, NameTheOperationAndAllowQuitOnly) {
  struct Case {
    const char* op;
    int subcode;
    void (*call)();
  };
  const Case cases[] = {
      {"VAL", 1098, [] { rt::VAL(Value(5)); }},
      {"UPPER", 1102, [] { rt::UPPER(Value(true)); }},
      {"SPACE", 1105, [] { rt::SPACE(Value("3")); }},
      {"SUBSTR", 1110, [] { rt::SUBSTR(Value("abc"), Value("1")); }},
      {"LEN", 1111, [] { rt::LEN(Value(5)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.op);
    testing_support::HandlerScope scope;  // answers Quit
    EXPECT_THROW(c.call(), rt::Break);
    ASSERT_EQ(scope.presenter.shown.size(), 1u);
    const rt::ErrorObj& e = scope.presenter.shown[0];
    EXPECT_EQ(e.subsystem, "BASE");
    EXPECT_EQ(e.gencode, 1);
    EXPECT_EQ(e.description, "Argument error");
    EXPECT_EQ(e.subcode, c.subcode);
    EXPECT_EQ(e.operation, c.op);
    EXPECT_FALSE(e.args.empty());
    EXPECT_FALSE(e.canRetry || e.canDefault);
  }
}

}  // namespace

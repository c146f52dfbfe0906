// Text and number operations of the actions: VAL, SUBSTR, LEN, UPPER, SPACE, +, =, ==, >=, <=.
// Texts are raw bytes compared as unsigned values. The string_view forms are the fast paths; the
// Value forms check their arguments and raise "Argument error" (BASE, Quit only) on a wrong kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rt/value.h"

namespace rt {

// Text to number: leading white space (9..13, 32), one sign, digits with one full stop. Whole
// 64-bit while it fits and no point was met, else double. Never fails: no number gives 0.
Value VAL(std::string_view s);
Value VAL(const Value& v);  // 1098
// Plain C++ texts take the fast path (without these, they would fit the Value form as well).
inline Value VAL(const char* s) { return VAL(std::string_view(s)); }
inline Value VAL(const std::string& s) { return VAL(std::string_view(s)); }

// 1-based start; 0 acts as 1, negative counts from the end; count cut to what remains.
std::string_view SUBSTR(std::string_view s, std::int64_t start,
                        std::optional<std::int64_t> count = std::nullopt);
Value SUBSTR(const Value& s, const Value& start, const Value& count = Value());  // 1110
inline std::string_view SUBSTR(const char* s, std::int64_t start,
                               std::optional<std::int64_t> count = std::nullopt) {
  return SUBSTR(std::string_view(s), start, count);
}
inline std::string_view SUBSTR(const std::string& s, std::int64_t start,
                               std::optional<std::int64_t> count = std::nullopt) {
  return SUBSTR(std::string_view(s), start, count);
}
std::int64_t LEN(std::string_view s);
Value LEN(const Value& v);  // 1111
inline std::int64_t LEN(const char* s) { return LEN(std::string_view(s)); }
inline std::int64_t LEN(const std::string& s) { return LEN(std::string_view(s)); }
// a..z to A..Z; every other byte unchanged.
std::string UPPER(std::string_view s);
Value UPPER(const Value& v);  // 1102
inline std::string UPPER(const char* s) { return UPPER(std::string_view(s)); }
inline std::string UPPER(const std::string& s) { return UPPER(std::string_view(s)); }
std::string SPACE(std::int64_t n);
Value SPACE(const Value& n);  // 1105

// Non-exact equality (exact setting off): empty right -> true; empty left -> false; else the
// right text must be a prefix of the left.
bool textEq(std::string_view left, std::string_view right);
// Exact equality (==): same length and bytes.
bool textEqExact(std::string_view left, std::string_view right);

// Numbers: exact on two whole numbers, in double precision otherwise.
bool numEq(const Value& a, const Value& b);
bool numGe(const Value& a, const Value& b);
bool numLe(const Value& a, const Value& b);

}  // namespace rt

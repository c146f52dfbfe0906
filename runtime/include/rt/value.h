// Runtime values: nothing, logical, number (whole or double), text (raw bytes), list, block.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace rt {

class Value;
using List = std::vector<Value>;

// A callable block: a condition or an update that a table operation evaluates. `definedIn` is the
// procedure that wrote it; its call level shows as "(b)" + that name.
struct Block {
  std::function<Value()> fn;
  std::string definedIn;
};

class Value {
 public:
  enum class Kind { Nil, Logical, Integer, Double, Text, Array, Code };

  Value() = default;
  Value(bool b) : v_(b) {}                                       // NOLINT: implicit on purpose
  Value(int i) : v_(std::int64_t{i}) {}                          // NOLINT
  Value(std::int64_t i) : v_(i) {}                               // NOLINT
  Value(double d) : v_(d) {}                                     // NOLINT
  Value(std::string s) : v_(std::move(s)) {}                     // NOLINT
  Value(std::string_view s) : v_(std::string(s)) {}              // NOLINT
  Value(const char* s) : v_(std::string(s)) {}                   // NOLINT
  Value(List l) : v_(std::make_shared<List>(std::move(l))) {}    // NOLINT
  Value(Block b) : v_(std::make_shared<Block>(std::move(b))) {}  // NOLINT

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNil() const { return kind() == Kind::Nil; }
  bool isLogical() const { return kind() == Kind::Logical; }
  bool isNumber() const { return kind() == Kind::Integer || kind() == Kind::Double; }
  bool isInteger() const { return kind() == Kind::Integer; }
  bool isDouble() const { return kind() == Kind::Double; }
  bool isText() const { return kind() == Kind::Text; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isBlock() const { return kind() == Kind::Code; }

  bool logical() const { return std::get<bool>(v_); }
  std::int64_t integer() const { return std::get<std::int64_t>(v_); }
  double dbl() const { return std::get<double>(v_); }
  // Either number form as a double.
  double asDouble() const;
  const std::string& text() const { return std::get<std::string>(v_); }
  std::string& text() { return std::get<std::string>(v_); }
  const List& array() const { return *std::get<std::shared_ptr<List>>(v_); }
  List& array() { return *std::get<std::shared_ptr<List>>(v_); }
  const Block& block() const { return *std::get<std::shared_ptr<Block>>(v_); }

  // True only for the logical true.
  bool isTrue() const { return isLogical() && logical(); }

  // The type letter the error dialog prints: "C", "N", "L", "A", "B", "U".
  char typeLetter() const;
  // The value as the error dialog prints it (logicals ".T." / ".F.", nothing as "NIL").
  std::string toText() const;

 private:
  std::variant<std::monostate, bool, std::int64_t, double, std::string, std::shared_ptr<List>,
               std::shared_ptr<Block>>
      v_;
};

}  // namespace rt

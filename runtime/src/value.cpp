#include "rt/value.h"

#include <charconv>

namespace rt {

double Value::asDouble() const { return isInteger() ? static_cast<double>(integer()) : dbl(); }

char Value::typeLetter() const {
  switch (kind()) {
    case Kind::Nil: return 'U';
    case Kind::Logical: return 'L';
    case Kind::Integer:
    case Kind::Double: return 'N';
    case Kind::Text: return 'C';
    case Kind::Array: return 'A';
    case Kind::Code: return 'B';
  }
  return 'U';
}

std::string Value::toText() const {
  switch (kind()) {
    case Kind::Nil: return "NIL";
    case Kind::Logical: return logical() ? ".T." : ".F.";
    case Kind::Integer: return std::to_string(integer());
    case Kind::Double: {
      // The shortest text that reads back as the same double ("0.1", not "0.10000000000000001").
      char buf[64];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, dbl());
      return ec == std::errc() ? std::string(buf, end) : std::string();
    }
    case Kind::Text: return text();
    case Kind::Array: return "{ Array of " + std::to_string(array().size()) + " }";
    case Kind::Code: return "{|| ... }";
  }
  return {};
}

}  // namespace rt

#include "db/numeric.h"

#include <cstring>

#include "rt/text.h"

namespace db {

bool encodeNumber(const rt::Value&, int width, int, char* out) {
  std::memset(out, '*', static_cast<std::size_t>(width));
  return false;  // placeholder until the encoder lands
}

rt::Value decodeNumber(std::string_view bytes, int decimals) {
  rt::Value v = rt::VAL(bytes);
  if (decimals > 0 && v.isInteger()) return rt::Value(static_cast<double>(v.integer()));
  return v;
}

}  // namespace db

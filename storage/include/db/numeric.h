// Numeric field encoding and decoding (the text of width W with D decimals stored in a record).
#pragma once

#include <string_view>

#include "rt/value.h"

namespace db {

// Writes `v` (a whole number or a double) into out[0..width) right-aligned with `decimals`
// decimals. Returns false when it does not fit; `out` then holds `width` asterisks.
bool encodeNumber(const rt::Value& v, int width, int decimals, char* out);

// Reads a numeric field's bytes by the VAL rule: whole number for decimals == 0 (a double when
// the text holds a point or does not fit 64 bits), a double otherwise. Blanks and asterisks read 0.
rt::Value decodeNumber(std::string_view bytes, int decimals);

}  // namespace db

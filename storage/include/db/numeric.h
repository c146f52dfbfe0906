// Numeric field encoding and decoding: the text of width W with D decimals stored in a record.
//
// A numeric field is W ASCII bytes, right-aligned and blank-filled on the left; with D > 0 the
// byte at W - D - 1 is the point, followed by exactly D digits. A value that does not fit is
// stored as W asterisks. Both functions are allocation-free: they run for every numeric field
// of every record on bulk loads.
#pragma once

#include <string_view>

#include "rt/value.h"

namespace db {

// Writes the number `v` into out[0..width) with `decimals` decimals.
//
// A whole number (int64) is written exactly, digit for digit. A double is written with at most
// 16 significant digits, rounded half up on its decimal expansion as the double holds it, with
// a tail of ...4999 (up to the 16th digit) counting as ...5, so that 8.995 gives 9.00.
//
// Returns true when the value fits. Returns false when it does not (too many digits for the
// width, NaN, infinity): `out` then holds `width` asterisks and the caller raises
// "Data width error".
//
// Precondition: v.isNumber(). The caller checks the type first and raises "Data type error"
// itself, since that error must leave the field unchanged; a non-number passed anyway returns
// false and leaves `out` untouched.
//
// Only out[0..width) is ever written. A width <= 0 writes nothing and returns false; negative
// decimals count as 0; with decimals >= width - 1 there is no position left of the point for
// the units digit, so no value fits.
bool encodeNumber(const rt::Value& v, int width, int decimals, char* out);

// Reads a numeric field's bytes by the VAL rule, applied to exactly these bytes (leading blanks
// included). decimals > 0 gives a double; decimals == 0 gives the whole number, or a double when
// the text holds a point or does not fit 64 bits. Blanks, asterisks and any other text that is
// not a number read as 0. Never fails.
rt::Value decodeNumber(std::string_view bytes, int decimals);

}  // namespace db

// Splitting a template line at its commas into the seven product columns.
#pragma once

#include <array>
#include <string_view>

namespace inv {

// Every byte that is not a comma goes to the column numbered by the commas before it (0..6);
// commas go nowhere and bytes after the seventh comma are dropped. Since `campo` is padded with
// blanks, the padding lands in the last column the line reaches. Columns are slices of `line`.
struct Columns {
  std::array<std::string_view, 7>
      col;         // code, description, unit, stock, avg cost, last cost, location
  int commas = 0;  // commas met on the whole line
};

Columns splitColumns(std::string_view line);

}  // namespace inv

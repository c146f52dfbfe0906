#include "inv/splitter.h"

namespace inv {

Columns splitColumns(std::string_view line) {
  Columns out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != ',') continue;
    if (out.commas < 7)
      out.col[static_cast<std::size_t>(out.commas)] = line.substr(start, i - start);
    ++out.commas;
    start = i + 1;
  }
  if (out.commas < 7) out.col[static_cast<std::size_t>(out.commas)] = line.substr(start);
  return out;
}

}  // namespace inv

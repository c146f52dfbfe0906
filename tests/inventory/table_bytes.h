// Reads a table file straight from its bytes, independently of the table layer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "testing.h"

namespace testing_support {

struct TableBytes {
  std::string bytes;
  std::uint32_t count = 0;  // header count
  unsigned headerLength = 0, recordLength = 0;
  struct Field {
    std::string name;
    unsigned offset, width;
  };
  std::vector<Field> fields;

  std::size_t records() const { return (bytes.size() - headerLength) / recordLength; }
  std::string record(std::size_t k) const {  // 1-based, flag byte included
    return bytes.substr(headerLength + (k - 1) * recordLength, recordLength);
  }
  std::string field(std::size_t k, const std::string& name) const {
    for (const Field& f : fields)
      if (f.name == name) return record(k).substr(f.offset, f.width);
    return "<no field " + name + ">";
  }
  // The record whose `codigo` starts with `code` followed by blanks, or 0.
  std::size_t find(const std::string& code) const {
    for (std::size_t k = 1; k <= records(); ++k) {
      std::string c = field(k, "CODIGO");
      if (c.compare(0, code.size(), code) == 0 &&
          c.find_first_not_of(' ', code.size()) == std::string::npos)
        return k;
    }
    return 0;
  }
};

inline TableBytes readTable(const std::filesystem::path& p) {
  TableBytes t;
  t.bytes = readFile(p);
  auto u8 = [&](std::size_t i) { return static_cast<unsigned char>(t.bytes[i]); };
  t.count = u8(4) | u8(5) << 8 | u8(6) << 16 | static_cast<std::uint32_t>(u8(7)) << 24;
  t.headerLength = u8(8) | u8(9) << 8;
  t.recordLength = u8(10) | u8(11) << 8;
  unsigned offset = 1;
  for (std::size_t d = 32; d + 32 <= t.headerLength && u8(d) != 0x0D; d += 32) {
    std::string name = t.bytes.substr(d, 11);
    name = name.substr(0, name.find('\0'));
    unsigned width = t.bytes[d + 11] == 'C' ? u8(d + 16) | u8(d + 17) << 8 : u8(d + 16);
    t.fields.push_back({name, offset, width});
    offset += width;
  }
  return t;
}

}  // namespace testing_support

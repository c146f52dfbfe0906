// Helpers for the key index tests: keys from a vector, a reader that checks an index file from
// its bytes alone (it shares no code with the index), and an OS wrapper that injects failures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "db/index_file.h"
#include "rt/os.h"
#include "testing.h"

namespace index_support {

// Keys given in record order; each is cut or blank-filled to the key length.
class VectorKeys final : public db::KeySource {
 public:
  VectorKeys(std::vector<std::string> keys, unsigned keyLength)
      : keys_(std::move(keys)), len_(keyLength) {}
  std::uint32_t count() const override { return static_cast<std::uint32_t>(keys_.size()); }
  void next(char* key) override {
    std::string k = keys_[i_++];
    k.resize(len_, ' ');
    std::copy(k.begin(), k.end(), key);
  }

 private:
  std::vector<std::string> keys_;
  unsigned len_;
  std::size_t i_ = 0;
};

inline std::string pad(std::string s, unsigned len) {
  s.resize(len, ' ');
  return s;
}

inline unsigned u16(const std::string& b, std::size_t at) {
  return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
inline std::uint32_t u32(const std::string& b, std::size_t at) {
  return u16(b, at) | (static_cast<std::uint32_t>(u16(b, at + 2)) << 16);
}
inline void setU16(std::string& b, std::size_t at, unsigned v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}
inline void setU32(std::string& b, std::size_t at, std::uint32_t v) {
  setU16(b, at, v & 0xFFFF);
  setU16(b, at + 2, v >> 16);
}

struct Pair {
  std::string key;
  std::uint32_t recno;
  bool operator==(const Pair&) const = default;
};

// One page as the file holds it.
struct PageImage {
  unsigned count = 0;
  std::vector<std::uint32_t> child;  // count + 1 entries
  std::vector<Pair> items;           // count entries
  std::vector<unsigned> offsets;     // the offset table, M + 1 entries
};

PageImage readPage(const std::string& bytes, std::uint32_t off);

// The tree read from the file bytes, with every structural rule checked (failures are reported
// through gtest): each page reached once, keys in order, all leaves at one depth, every page but
// the root at least half full, every other page of the file on the free chain, free pages not
// reachable.
struct Walk {
  std::vector<Pair> pairs;
  int depth = 0;
  std::set<std::uint32_t> reachable, freePages;
};
Walk walkIndex(const std::string& bytes);

// Wraps the real OS services; the hooks make chosen operations fail with `code`.
class FaultOs final : public rt::os::ForwardingOs {
 public:
  std::function<bool(const std::string& name)> failOpen;
  std::function<bool(const std::string&name, std::uint64_t offset)> failWrite, failRead;
  int code = 112;
  std::vector<std::string> temps;  // every temporary name handed out

  std::unique_ptr<rt::os::File> open(const std::string& name, const rt::os::OpenMode& mode,
                                     int* winCode) override;
  std::string tempFileName() override {
    temps.push_back(ForwardingOs::tempFileName());
    return temps.back();
  }
};

using testing_support::OsScope;

}  // namespace index_support

// One 1024-byte page of a key index file, seen through its offset table (see docs/index-file.md).
//
// Items are reached through the offset table, never by position: inserting and removing rotate
// table entries instead of moving the 4 + 4 + key-length byte slots. The page does not check its
// bytes; the index validates a page once, when it is read from the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace db::ntx {

inline constexpr std::size_t kPageSize = 1024;
inline constexpr std::size_t kMaxKeyLength = 256;

inline std::uint16_t get16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint32_t get32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
inline void put16(char* p, unsigned v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// The sizes that follow from the key length.
struct Geometry {
  unsigned keyLength = 0;
  unsigned itemSize = 0;  // child (4) + record number (4) + key
  unsigned maxKeys = 0;   // M

  static Geometry forKeyLength(unsigned keyLength) {
    Geometry g;
    g.keyLength = keyLength;
    g.itemSize = keyLength + 8;
    // Each key costs its item plus a 2-byte table entry; one extra item holds the last child.
    unsigned m = 1022 / (keyLength + 10) - 1;
    if (m % 2 == 1 && m > 2) --m;  // an even M splits into equal halves
    g.maxKeys = m;
    return g;
  }
  unsigned slotBase() const { return 2 * maxKeys + 4; }
  unsigned freshEntry(unsigned i) const { return slotBase() + i * itemSize; }
};

class Page {
 public:
  Page(char* data, const Geometry& g) : d_(data), g_(&g) {}

  char* data() const { return d_; }
  unsigned count() const { return get16(d_); }
  void setCount(unsigned n) { put16(d_, n); }

  unsigned entry(unsigned i) const { return get16(d_ + 2 + 2 * i); }
  void setEntry(unsigned i, unsigned off) { put16(d_ + 2 + 2 * i, off); }

  char* item(unsigned i) const { return d_ + entry(i); }
  std::uint32_t child(unsigned i) const { return get32(item(i)); }
  void setChild(unsigned i, std::uint32_t off) { put32(item(i), off); }
  std::uint32_t recno(unsigned i) const { return get32(item(i) + 4); }
  const char* key(unsigned i) const { return item(i) + 8; }
  // Copies key and record number of item i from `src` (an item image), keeping the child.
  void setEntryData(unsigned i, const char* key, std::uint32_t recno) {
    put32(item(i) + 4, recno);
    std::memcpy(item(i) + 8, key, g_->keyLength);
  }
  bool isLeaf() const { return child(0) == 0; }

  // A new, empty page: zeros, with entry i at the i-th slot.
  void layoutFresh() {
    std::memset(d_, 0, kPageSize);
    for (unsigned i = 0; i <= g_->maxKeys; ++i) setEntry(i, g_->freshEntry(i));
  }

  // Puts (child, recno, key) after the last key, into the slot entry n points at; the build
  // fills fresh pages this way, so their slots stay in table order.
  void appendItem(std::uint32_t childOff, std::uint32_t rec, const char* key) {
    unsigned n = count();
    setChild(n, childOff);
    setEntryData(n, key, rec);
    setCount(n + 1);
  }

  // Inserts (child, recno, key) as item p of a page with fewer than M keys. Entries p..n move up
  // by one and the slot that entry n + 1 pointed at takes the item.
  void insertItem(unsigned p, std::uint32_t childOff, std::uint32_t rec, const char* key) {
    unsigned n = count();
    unsigned freeSlot = entry(n + 1);
    for (unsigned i = n + 1; i > p; --i) setEntry(i, entry(i - 1));
    setEntry(p, freeSlot);
    setChild(p, childOff);
    setEntryData(p, key, rec);
    setCount(n + 1);
  }

  // Removes item p (its key and its left child); entries p+1..n move down and p's slot becomes
  // the spare one after the last child.
  void removeItem(unsigned p) {
    unsigned n = count();
    unsigned slot = entry(p);
    for (unsigned i = p; i < n; ++i) setEntry(i, entry(i + 1));
    setEntry(n, slot);
    setCount(n - 1);
  }

  // Moves entries 0..n up by c; the c spare slots after them land in front, in order.
  void openFront(unsigned c) {
    unsigned n = count();
    unsigned spare[kPageSize / 2];
    for (unsigned j = 0; j < c; ++j) spare[j] = entry(n + 1 + j);
    for (unsigned i = n + 1; i-- > 0;) setEntry(i + c, entry(i));
    for (unsigned j = 0; j < c; ++j) setEntry(j, spare[j]);
    setCount(n + c);
  }

  // Drops items 0..c-1; the remaining entries move to the front, the freed slots follow them.
  void dropFront(unsigned c) {
    unsigned n = count();
    unsigned freed[kPageSize / 2];
    for (unsigned j = 0; j < c; ++j) freed[j] = entry(j);
    for (unsigned i = c; i <= n; ++i) setEntry(i - c, entry(i));
    for (unsigned j = 0; j < c; ++j) setEntry(n - c + 1 + j, freed[j]);
    setCount(n - c);
  }

 private:
  char* d_;
  const Geometry* g_;
};

}  // namespace db::ntx

// The key index file: a B-tree of (key, record number) pairs in 1024-byte pages, laid out as
// docs/index-file.md describes. Keys compare as unsigned bytes; equal keys stay in the order in
// which they entered the index (record-number order after a build).
//
// Failure contract: every failing step raises a "DBFNTX" runtime error (rt::raise): 1006 when
// the file cannot be created (retry and default allowed), 1010 / 1011 when a page or the header
// cannot be read / written, 1012 ("Corruption detected") when a key to remove is missing or the
// file's structure is impossible (page outside the file, too many keys, a slot outside its page,
// a descent deeper than any real tree), 1060 / 1061 / 1062 when the build's temporary file cannot
// be created / written / read. A quit unwinds with rt::Break. When the handler gives a step up,
// the operation returns false (nullptr for the factories); an update given up is undone in memory
// and leaves the file as its last completed update wrote it (or will write it: see below).
//
// Write-behind (IndexOptions::writeBehindPages): changed pages may stay in memory across updates
// and go out together, sorted, when enough have gathered, on flush(), commit() and close(). The
// header's version still goes up by one for every update that allocated or freed a page or moved
// the root, so the file after a flush is byte for byte what writing after every update gives;
// between flushes the file on disk lags behind the index in memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt::os {
class File;
}

namespace db {

namespace ntx {
class Tree;
}

inline constexpr unsigned kIndexMaxKeyLength = 256;

// What creation fixes in the header.
struct IndexDef {
  std::string fileName;                // as it is opened, extension included
  std::string keyExpr;                 // stored as given, at most 256 bytes
  std::optional<std::string> tagName;  // stored only when given
  unsigned keyLength = 0;              // 1 to 256
  unsigned keyDecimals = 0;
  bool unique = false;  // keep only the first record of each key
  bool shared = false;  // the table is shared: the file denies nothing to other programs
};

struct IndexOptions {
  std::size_t runSize = 0;  // pairs per sorted run; 0 applies the size rule
  // Pages kept in memory (more while an update holds them). Memory is taken as pages are used;
  // 96 MB holds the whole index of a million 40-byte codes, which a load seeks at random.
  std::size_t cachePages = 98304;
  // Changed pages held in memory across updates before they are written (write-behind); 0
  // writes them at the end of every update. Either way the file at close is the same.
  std::size_t writeBehindPages = 65536;
};

// The keys of a table's records in record-number order, for the build.
class KeySource {
 public:
  virtual ~KeySource() = default;
  virtual std::uint32_t count() const = 0;
  // Writes the key (key-length bytes) of the next record, 1 to count(), into `key`.
  virtual void next(char* key) = 0;
};

// Reads the key field straight from a table file, in blocks of whole records of up to 64 KB.
// A field wider than the key is cut, a narrower one filled with blanks. A failed or short read
// raises "Read error" (1010) with the table's file name.
class TableKeySource final : public KeySource {
 public:
  struct Layout {
    std::uint64_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::uint32_t count = 0;
    std::uint32_t keyOffset = 0;  // within the record
    std::uint32_t keyWidth = 0;
  };
  TableKeySource(rt::os::File& table, std::string tableName, const Layout& layout,
                 unsigned keyLength);
  std::uint32_t count() const override { return layout_.count; }
  void next(char* key) override;

 private:
  rt::os::File& table_;
  std::string name_;
  Layout layout_;
  unsigned keyLength_;
  std::vector<char> block_;
  std::uint32_t perBlock_;
  std::uint32_t done_ = 0, inBlock_ = 0, used_ = 0;
};

// A position in the index: the path from the root and a copy of the current pair. Any update of
// the index moves the cursor back onto its pair (or the next one) before it steps.
struct IndexCursor {
  static constexpr int kMaxDepth = 32;  // deeper than any tree a 4 GB file can hold
  struct Step {
    std::uint32_t page;
    int pos;
  };
  std::array<Step, kMaxDepth> path{};
  int depth = 0;  // 0: past the end (or before the start)
  std::array<char, kIndexMaxKeyLength> key{};
  std::uint32_t recno = 0;
  std::uint64_t generation = 0;

  bool valid() const { return depth > 0; }
  std::string_view keyView(unsigned keyLength) const { return {key.data(), keyLength}; }
};

class IndexFile {
 public:
  struct Stats {
    std::uint64_t pageReads = 0;  // pages read from the file
    std::uint64_t cacheHits = 0;  // pages served from memory
    std::uint64_t pageWrites = 0;
    std::uint64_t headerWrites = 0;
  };

  // Creates def.fileName (truncating an existing file; the create error is retried as long as
  // the handler answers retry) and builds the tree from `keys`. nullptr when the creation was
  // given up, or when the build failed: the file is then closed and left incomplete.
  static std::unique_ptr<IndexFile> create(const IndexDef& def, KeySource& keys,
                                           const IndexOptions& options = {});
  // Opens an existing index file (an open error 1001 may be retried; a header that cannot
  // belong to an index is corruption 1012).
  static std::unique_ptr<IndexFile> open(const std::string& fileName, bool shared = false,
                                         const IndexOptions& options = {});
  ~IndexFile();
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;

  const std::string& fileName() const;
  const std::string& keyExpr() const;
  unsigned keyLength() const;
  unsigned maxKeys() const;
  std::uint32_t root() const;
  std::uint32_t freeHead() const;
  std::uint16_t version() const;
  const Stats& stats() const;

  // Positions `c` on the first pair whose key begins with `value` (cut to the key length; a
  // shorter value compares only its own length) and returns true; otherwise on the pair that
  // would follow it (invalid past the end) and returns false. With `last`, the last such pair
  // instead, or the one before where it would be.
  bool seek(IndexCursor& c, std::string_view value, bool last = false);
  // Positions `c` on exactly (key, recno); false, with `c` on the next pair, when absent.
  bool locate(IndexCursor& c, const char* key, std::uint32_t recno);
  // Whether `c` stands on a pair and no update ran since it moved there.
  bool isCurrent(const IndexCursor& c) const;
  bool first(IndexCursor& c);
  bool last(IndexCursor& c);
  // Step to the next / previous pair; false (cursor invalid) past either end.
  bool next(IndexCursor& c);
  bool prev(IndexCursor& c);

  // One update each: the pair (oldKey, recno) leaves, (newKey, recno) enters after its equal
  // keys (either key may be nullptr). The header's version goes up by one when a page was
  // allocated or freed or the root changed. The changed pages, and then the header when it
  // changed, are written at the end, or later with write-behind.
  bool update(const char* oldKey, const char* newKey, std::uint32_t recno);
  bool add(const char* key, std::uint32_t recno) { return update(nullptr, key, recno); }
  bool remove(const char* key, std::uint32_t recno) { return update(key, nullptr, recno); }

  // Writes the changed pages held back by write-behind, then the header when it changed
  // ("Write error" 1011 when a write fails; the pages stay held for the next try).
  bool flush();
  // Flushes, then has the OS commit the file to disk ("Write error" 1011 when it cannot).
  bool commit();
  // Commits the file to disk (a failure raises "Write error") and closes it. Afterwards only
  // destruction is allowed. Destroying an index that was not closed still writes what its
  // completed updates changed, without raising errors.
  bool close();

 private:
  explicit IndexFile(std::unique_ptr<ntx::Tree> tree);
  std::unique_ptr<ntx::Tree> t_;
};

}  // namespace db

// The state and operations behind db::IndexFile: header, page access through the cache, page
// allocation, the tree algorithms and the build. Failures raise and unwind with ntx::Failed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/index_file.h"
#include "index_cache.h"
#include "index_page.h"

namespace rt::os {
class File;
}

namespace db::ntx {

// Header field offsets.
namespace hdr {
inline constexpr std::size_t kType = 0, kVersion = 2, kRoot = 4, kFree = 8, kItemSize = 12,
                             kKeyLength = 14, kDecimals = 16, kMaxKeys = 18, kHalf = 20, kExpr = 22,
                             kUnique = 278, kDescending = 280, kFor = 282, kTag = 538,
                             kCustom = 550;
inline constexpr std::size_t kExprSize = 256, kTagSize = 12;
inline constexpr unsigned kTypeFlags = 0x0006;
}  // namespace hdr

class Tree {
 public:
  Tree(std::unique_ptr<rt::os::File> file, std::string name, const Geometry& g,
       const IndexOptions& options);
  ~Tree();

  // --- state -------------------------------------------------------------------------------
  std::unique_ptr<rt::os::File> file;
  std::string name;
  std::string keyExpr;
  Geometry g;
  IndexOptions options;
  char header[kPageSize] = {};
  std::uint32_t root = 0, freeHead = 0;
  std::uint16_t version = 0;
  std::uint32_t end = kPageSize;  // file length; the next page taken from the end goes here
  bool headerDue = false;      // the update under way allocated or freed a page or moved the root
  bool headerPending = false;  // the header in memory is newer than the file's
  bool unique = false;
  std::uint64_t generation = 1;
  IndexFile::Stats stats;
  PageCache cache;

  // --- pages -------------------------------------------------------------------------------
  // The page at `off`, read and checked on first use.
  Page page(std::uint32_t off);
  void dirty(std::uint32_t off) { cache.markDirty(off); }
  // A fresh empty page, from the free chain or the end of the file.
  std::uint32_t allocate();
  void release(std::uint32_t off);
  // Ends an update: when the header became due, the version goes up by one (once per update,
  // whether or not the pages are written now).
  void endUpdate();
  // Writes the changed pages (sorted, consecutive ones together) and then, when it changed, the
  // header. A failure raises; the pages stay changed and go out with the next flush.
  void flush();
  // The same, for a close cut short: failures are not raised, the file is closed anyway.
  void flushQuietly();
  [[noreturn]] void corrupt();

  // --- searching ---------------------------------------------------------------------------
  void descendFirst(IndexCursor& c, std::uint32_t off);
  void descendLast(IndexCursor& c, std::uint32_t off);
  // Lower bound over `len` bytes (first key not less), or upper bound over the key when
  // `after` (first key greater).
  void descend(IndexCursor& c, const char* key, std::size_t len, bool after);
  bool settleForward(IndexCursor& c);
  bool settleBackward(IndexCursor& c);
  bool seek(IndexCursor& c, const char* key, std::size_t len);
  bool seekLast(IndexCursor& c, const char* key, std::size_t len);
  bool locate(IndexCursor& c, const char* key, std::uint32_t recno);
  bool next(IndexCursor& c);
  bool prev(IndexCursor& c);

  // --- changing ----------------------------------------------------------------------------
  void add(const char* key, std::uint32_t recno);
  void remove(const char* key, std::uint32_t recno);
  // The page at path level `level` and the neighbour it shares a parent with: the right one
  // when the parent has a child after the page, else the left one (none: both offsets 0).
  struct Neighbours {
    std::uint32_t parentOff = 0, leftOff = 0, rightOff = 0;
    unsigned at = 0;   // the page's item in the parent
    unsigned sep = 0;  // the parent's key between the two
    bool pageIsLeft = false;
    bool found() const { return leftOff != 0; }
  };
  Neighbours neighbours(const IndexCursor& path, int level);
  void insertAt(IndexCursor& path, int level, unsigned pos, std::uint32_t child,
                std::uint32_t recno, const char* key);
  void evenOut(Page parent, unsigned sep, Page left, Page right);
  void merge(Page parent, unsigned sep, Page left, Page right, std::uint32_t rightOff);

  // --- building ----------------------------------------------------------------------------
  void build(KeySource& keys);

 private:
  std::unique_ptr<char[]> stage_;  // consecutive pages written together
  std::vector<std::uint32_t> flushOrder_;

  // Writes the changed pages and the header when it changed; false at the first failed write.
  bool writeOut();
};

}  // namespace db::ntx

// The bottom-up build: sorted pairs are laid into pages level by level, one open page per level,
// full pages written as they close; the right edge is evened out at the end.
#include <array>
#include <cstring>
#include <vector>

#include "index_error.h"
#include "index_sort.h"
#include "index_tree.h"
#include "rt/error.h"
#include "rt/os.h"

namespace db::ntx {

namespace {

constexpr std::size_t kBatchPages = 64;

class Builder final : public PairSink {
 public:
  explicit Builder(Tree& t) : t_(t), batch_(new char[kBatchPages * kPageSize]) {}

  void put(const char* key, std::uint32_t recno) override {
    if (t_.unique) {  // the first record of a key keeps it
      if (havePrev_ && std::memcmp(prev_.data(), key, t_.g.keyLength) == 0) return;
      std::memcpy(prev_.data(), key, t_.g.keyLength);
      havePrev_ = true;
    }
    for (std::size_t level = 0;; ++level) {
      if (level == levels_.size()) {
        if (level == IndexCursor::kMaxDepth) t_.corrupt();
        levels_.emplace_back();
        openPage(levels_.back());
      }
      Level& l = levels_[level];
      Page p(l.page.data(), t_.g);
      if (p.count() < t_.g.maxKeys) {
        p.appendItem(closedBelow(level), recno, key);
        return;
      }
      // Full: close it, start an empty page here and carry the key up, with the page just
      // closed as its left child.
      p.setChild(p.count(), closedBelow(level));
      l.lastClosed = emit(l.page.data());
      openPage(l);
    }
  }

  // Writes the open pages bottom-up (through the cache, so that the evening-out pass can still
  // change them) and returns the root.
  std::uint32_t finish() {
    if (levels_.empty()) {
      levels_.emplace_back();
      openPage(levels_.back());
    }
    flushBatch();
    std::uint32_t below = 0;
    for (Level& l : levels_) {
      Page p(l.page.data(), t_.g);
      p.setChild(p.count(), below);
      const std::uint32_t off = t_.end;
      t_.end += kPageSize;
      std::memcpy(t_.cache.insert(off), l.page.data(), kPageSize);
      t_.dirty(off);
      below = off;
    }
    return below;
  }

 private:
  struct Level {
    std::array<char, kPageSize> page;
    std::uint32_t lastClosed = 0;
  };

  void openPage(Level& l) { Page(l.page.data(), t_.g).layoutFresh(); }
  std::uint32_t closedBelow(std::size_t level) const {
    return level == 0 ? 0 : levels_[level - 1].lastClosed;
  }

  // Closed pages take consecutive offsets, so they go out in writes of up to 64 pages.
  std::uint32_t emit(const char* page) {
    if (t_.end > 0xFFFFFFFFu - 2 * kPageSize) fail(rt::gen::kWrite, sub::kWrite, t_.name, 0);
    const std::uint32_t off = t_.end;
    t_.end += kPageSize;
    if (inBatch_ == 0) batchStart_ = off;
    std::memcpy(batch_.get() + inBatch_ * kPageSize, page, kPageSize);
    if (++inBatch_ == kBatchPages) flushBatch();
    return off;
  }

  void flushBatch() {
    if (inBatch_ == 0) return;
    const std::size_t bytes = inBatch_ * kPageSize;
    if (t_.file->writeAt(batchStart_, batch_.get(), bytes) != static_cast<std::int64_t>(bytes))
      fail(rt::gen::kWrite, sub::kWrite, t_.name, t_.file->lastError());
    t_.stats.pageWrites += inBatch_;
    inBatch_ = 0;
  }

  Tree& t_;
  std::vector<Level> levels_;
  std::unique_ptr<char[]> batch_;
  std::size_t inBatch_ = 0;
  std::uint32_t batchStart_ = 0;
  std::array<char, kMaxKeyLength> prev_{};
  bool havePrev_ = false;
};

}  // namespace

void Tree::build(KeySource& keys) {
  const std::uint32_t n = keys.count();
  std::array<char, kMaxKeyLength> key;
  Builder builder(*this);
  {
    KeySorter sorter(g.keyLength, n, options.runSize);
    for (std::uint32_t recno = 1; recno <= n; ++recno) {
      keys.next(key.data());
      sorter.add(key.data(), recno);
    }
    sorter.finish(builder);
  }
  root = builder.finish();

  // Only the right edge can hold pages with fewer than M/2 keys: each such page takes keys
  // from its left neighbour, which is full.
  const unsigned half = g.maxKeys / 2;
  IndexCursor guard;  // bounds the walk like any descent
  for (std::uint32_t off = root;;) {
    Page p = page(off);
    const unsigned count = p.count();
    const std::uint32_t last = p.child(count);
    if (last == 0 || count == 0) break;
    if (guard.depth++ == IndexCursor::kMaxDepth) corrupt();
    Page c = page(last);
    if (c.count() < half) {
      const std::uint32_t leftOff = p.child(count - 1);
      evenOut(p, count - 1, page(leftOff), c);
      dirty(off);
      dirty(leftOff);
      dirty(last);
    }
    off = last;
  }
  version = 0;
  headerDue = true;
  endUpdate();
  flush();
}

}  // namespace db::ntx

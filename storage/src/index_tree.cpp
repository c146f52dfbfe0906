#include "index_tree.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <vector>

#include "index_error.h"
#include "rt/error.h"
#include "rt/os.h"

namespace db::ntx {

namespace {
constexpr std::size_t kStagePages = 64;
constexpr std::size_t kGapPages = 4;  // unchanged pages a flush writes to join two runs
}  // namespace

Tree::Tree(std::unique_ptr<rt::os::File> f, std::string n, const Geometry& geometry,
           const IndexOptions& opts)
    : file(std::move(f)),
      name(std::move(n)),
      g(geometry),
      options(opts),
      cache(opts.cachePages),
      stage_(new char[kStagePages * kPageSize]) {}

Tree::~Tree() = default;

void Tree::corrupt() { fail(rt::gen::kCorruption, sub::kCorrupt, name); }

// A page is read once and checked before anything trusts it: a key count above M or an offset
// table entry whose slot would leave the page is corruption, as is a reference to a page that is
// not a whole block inside the file. Later accesses come from the cache.
Page Tree::page(std::uint32_t off) {
  if (off < kPageSize || off % kPageSize != 0 || off > end - kPageSize) corrupt();
  if (char* d = cache.find(off)) {
    ++stats.cacheHits;
    return Page(d, g);
  }
  char* d = cache.insert(off);
  std::int64_t got = file->readAt(off, d, kPageSize);
  if (got != static_cast<std::int64_t>(kPageSize)) {
    int code = got < 0 ? file->lastError() : 0;
    cache.erase(off);
    fail(rt::gen::kRead, sub::kRead, name, code);
  }
  ++stats.pageReads;
  Page p(d, g);
  bool bad = p.count() > g.maxKeys;
  std::bitset<kPageSize> seen;
  for (unsigned i = 0; !bad && i <= g.maxKeys; ++i) {
    unsigned e = p.entry(i);
    bad = e < g.slotBase() || e > kPageSize - g.itemSize || seen[e];
    if (!bad) seen[e] = true;
  }
  if (bad) {
    cache.erase(off);
    corrupt();
  }
  return p;
}

std::uint32_t Tree::allocate() {
  std::uint32_t off;
  if (freeHead != 0) {
    off = freeHead;
    Page p = page(off);
    if (p.count() != 0) corrupt();  // a page on the free chain holds no keys
    freeHead = p.child(0);
  } else {
    off = end;
    if (end > 0xFFFFFFFFu - 2 * kPageSize) fail(rt::gen::kWrite, sub::kWrite, name, 0);
    end += kPageSize;
    cache.insert(off);
  }
  Page(cache.find(off), g).layoutFresh();
  dirty(off);
  headerDue = true;
  return off;
}

void Tree::release(std::uint32_t off) {
  Page p = page(off);
  p.setCount(0);
  p.setChild(0, freeHead);
  freeHead = off;
  dirty(off);
  headerDue = true;
}

void Tree::endUpdate() {
  if (!headerDue) return;
  ++version;
  headerDue = false;
  headerPending = true;
}

// A write costs far more than the bytes it copies, so a run of changed pages also takes a few
// unchanged pages lying between them, when they are cached: they hold what the file holds.
bool Tree::writeOut() {
  std::vector<std::uint32_t>& offs = flushOrder_;
  offs.assign(cache.dirty().begin(), cache.dirty().end());
  std::sort(offs.begin(), offs.end());
  for (std::size_t i = 0; i < offs.size();) {
    const std::uint32_t first = offs[i];
    std::uint32_t last = first;
    std::size_t j = i + 1;
    for (; j < offs.size(); ++j) {
      const std::size_t gap = (offs[j] - last) / kPageSize - 1;
      if (gap > kGapPages || (offs[j] - first) / kPageSize >= kStagePages) break;
      bool cached = true;
      for (std::size_t k = 1; cached && k <= gap; ++k)
        cached = cache.holds(last + static_cast<std::uint32_t>(k * kPageSize));
      if (!cached) break;
      last = offs[j];
    }
    const std::size_t pages = (last - first) / kPageSize + 1;
    const char* from = cache.peek(first);  // a lone page goes out from where it is
    if (pages > 1) {
      for (std::size_t k = 0; k < pages; ++k)
        std::memcpy(stage_.get() + k * kPageSize,
                    cache.peek(first + static_cast<std::uint32_t>(k * kPageSize)), kPageSize);
      from = stage_.get();
    }
    const std::size_t bytes = pages * kPageSize;
    if (file->writeAt(first, from, bytes) != static_cast<std::int64_t>(bytes)) return false;
    stats.pageWrites += pages;
    i = j;
  }
  cache.clearDirty();
  if (headerPending) {
    put16(header + hdr::kVersion, version);
    put32(header + hdr::kRoot, root);
    put32(header + hdr::kFree, freeHead);
    if (file->writeAt(0, header, kPageSize) != static_cast<std::int64_t>(kPageSize)) return false;
    ++stats.headerWrites;
    headerPending = false;
  }
  return true;
}

void Tree::flush() {
  if (!writeOut()) fail(rt::gen::kWrite, sub::kWrite, name, file->lastError());
}

void Tree::flushQuietly() {
  if (file) writeOut();
}

// --- searching -----------------------------------------------------------------------------

namespace {

void push(IndexCursor& c, std::uint32_t page, int pos, Tree& t) {
  if (c.depth == IndexCursor::kMaxDepth) t.corrupt();  // a cycle, or no tree we could write
  c.path[static_cast<std::size_t>(c.depth++)] = {page, pos};
}

IndexCursor::Step& top(IndexCursor& c) { return c.path[static_cast<std::size_t>(c.depth - 1)]; }

}  // namespace

void Tree::descendFirst(IndexCursor& c, std::uint32_t off) {
  while (off != 0) {
    push(c, off, 0, *this);
    off = page(off).child(0);
  }
}

void Tree::descendLast(IndexCursor& c, std::uint32_t off) {
  while (off != 0) {
    Page p = page(off);
    push(c, off, static_cast<int>(p.count()), *this);
    off = p.child(p.count());
  }
  if (c.depth > 0) top(c).pos -= 1;  // from the last child to the last key
}

void Tree::descend(IndexCursor& c, const char* key, std::size_t len, bool after) {
  c.depth = 0;
  std::uint32_t off = root;
  while (off != 0) {
    Page p = page(off);
    unsigned lo = 0, hi = p.count();
    while (lo < hi) {
      unsigned mid = (lo + hi) / 2;
      int cmp = std::memcmp(p.key(mid), key, len);
      if (after ? cmp <= 0 : cmp < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    push(c, off, static_cast<int>(lo), *this);
    off = p.child(lo);
  }
}

// Moves up while the position lies past the end of its page; the ancestor's position then names
// the key that follows the subtree just left.
bool Tree::settleForward(IndexCursor& c) {
  while (c.depth > 0 && top(c).pos >= static_cast<int>(page(top(c).page).count())) --c.depth;
  if (c.depth == 0) return false;
  Page p = page(top(c).page);
  std::memcpy(c.key.data(), p.key(static_cast<unsigned>(top(c).pos)), g.keyLength);
  c.recno = p.recno(static_cast<unsigned>(top(c).pos));
  c.generation = generation;
  return true;
}

bool Tree::settleBackward(IndexCursor& c) {
  while (c.depth > 0 && top(c).pos < 0) {
    if (--c.depth > 0) top(c).pos -= 1;
  }
  if (c.depth == 0) return false;
  return settleForward(c);
}

bool Tree::seek(IndexCursor& c, const char* key, std::size_t len) {
  descend(c, key, len, false);
  return settleForward(c) && std::memcmp(c.key.data(), key, len) == 0;
}

bool Tree::seekLast(IndexCursor& c, const char* key, std::size_t len) {
  descend(c, key, len, true);
  if (c.depth > 0) top(c).pos -= 1;  // the pair before the first greater one
  return settleBackward(c) && std::memcmp(c.key.data(), key, len) == 0;
}

bool Tree::locate(IndexCursor& c, const char* key, std::uint32_t recno) {
  std::array<char, kMaxKeyLength> k;
  std::memcpy(k.data(), key, g.keyLength);
  if (!seek(c, k.data(), g.keyLength)) return false;
  while (c.recno != recno) {
    if (!next(c) || std::memcmp(c.key.data(), k.data(), g.keyLength) != 0) return false;
  }
  return true;
}

bool Tree::next(IndexCursor& c) {
  if (!c.valid()) return false;
  if (c.generation != generation) {
    std::uint32_t recno = c.recno;
    std::array<char, kMaxKeyLength> k;
    std::memcpy(k.data(), c.key.data(), g.keyLength);
    if (!locate(c, k.data(), recno)) return c.valid();  // already on the pair after it
  }
  IndexCursor::Step& s = top(c);
  s.pos += 1;
  descendFirst(c, page(s.page).child(static_cast<unsigned>(s.pos)));
  return settleForward(c);
}

bool Tree::prev(IndexCursor& c) {
  if (!c.valid()) return false;
  if (c.generation != generation) {
    std::uint32_t recno = c.recno;
    std::array<char, kMaxKeyLength> k;
    std::memcpy(k.data(), c.key.data(), g.keyLength);
    locate(c, k.data(), recno);
    if (!c.valid()) {  // it was the last pair: the previous one is the last now
      descendLast(c, root);
      return settleBackward(c);
    }
  }
  IndexCursor::Step& s = top(c);
  std::uint32_t child = page(s.page).child(static_cast<unsigned>(s.pos));
  if (child != 0) {
    descendLast(c, child);
  } else {
    s.pos -= 1;
  }
  return settleBackward(c);
}

// --- changing ------------------------------------------------------------------------------

namespace {

void copyItem(Page& to, unsigned i, const Page& from, unsigned j) {
  to.setChild(i, from.child(j));
  to.setEntryData(i, from.key(j), from.recno(j));
}

}  // namespace

Tree::Neighbours Tree::neighbours(const IndexCursor& path, int level) {
  const IndexCursor::Step& up = path.path[static_cast<std::size_t>(level - 1)];
  const std::uint32_t off = path.path[static_cast<std::size_t>(level)].page;
  Neighbours n;
  n.parentOff = up.page;
  n.at = static_cast<unsigned>(up.pos);
  Page parent = page(up.page);
  if (n.at + 1 <= parent.count() && parent.child(n.at + 1) != 0) {
    n.pageIsLeft = true;
    n.leftOff = off;
    n.rightOff = parent.child(n.at + 1);
    n.sep = n.at;
  } else if (n.at > 0 && parent.child(n.at - 1) != 0) {
    n.leftOff = parent.child(n.at - 1);
    n.rightOff = off;
    n.sep = n.at - 1;
  }
  return n;
}

// The keys of L, the separator and the keys of R are dealt out again so that L holds
// floor((l + r + 1) / 2); the next key becomes the separator and R keeps the rest. Child
// pointers travel with their keys.
void Tree::evenOut(Page parent, unsigned sep, Page left, Page right) {
  const unsigned l = left.count(), r = right.count(), a = (l + r + 1) / 2;
  if (a < l) {
    const unsigned c = l - a;
    right.openFront(c);
    for (unsigned j = 0; j + 1 < c; ++j) copyItem(right, j, left, a + 1 + j);
    right.setChild(c - 1, left.child(l));
    right.setEntryData(c - 1, parent.key(sep), parent.recno(sep));
    parent.setEntryData(sep, left.key(a), left.recno(a));
    left.setCount(a);
  } else if (a > l) {
    const unsigned c = a - l;
    left.setEntryData(l, parent.key(sep), parent.recno(sep));
    for (unsigned j = 0; j + 1 < c; ++j) copyItem(left, l + 1 + j, right, j);
    left.setChild(l + c, right.child(c - 1));
    left.setCount(a);
    parent.setEntryData(sep, right.key(c - 1), right.recno(c - 1));
    right.dropFront(c);
  }
}

// L takes the separator and every item of R; R is freed and the parent loses the separator.
void Tree::merge(Page parent, unsigned sep, Page left, Page right, std::uint32_t rightOff) {
  const unsigned l = left.count(), r = right.count();
  left.setEntryData(l, parent.key(sep), parent.recno(sep));
  for (unsigned j = 0; j < r; ++j) copyItem(left, l + 1 + j, right, j);
  left.setChild(l + 1 + r, right.child(r));
  left.setCount(l + 1 + r);
  parent.setChild(sep + 1, parent.child(sep));
  parent.removeItem(sep);
  release(rightOff);
}

void Tree::add(const char* key, std::uint32_t recno) {
  IndexCursor path;
  if (unique) {
    if (seek(path, key, g.keyLength)) return;  // the first record of a key keeps it
  }
  descend(path, key, g.keyLength, true);
  int level = path.depth - 1;
  insertAt(path, level, static_cast<unsigned>(path.path[static_cast<std::size_t>(level)].pos), 0,
           recno, key);
}

// Inserts (child, recno, key) as item `pos` of the page at path level `level`: directly when
// the page has room, else by evening it out with a neighbour that has room, else by splitting
// it and carrying the middle key up.
void Tree::insertAt(IndexCursor& path, int level, unsigned pos, std::uint32_t child,
                    std::uint32_t recno, const char* key) {
  std::array<char, kMaxKeyLength> carry;
  std::memcpy(carry.data(), key, g.keyLength);
  const unsigned M = g.maxKeys;
  for (;;) {
    const std::uint32_t off = path.path[static_cast<std::size_t>(level)].page;
    Page p = page(off);
    if (p.count() < M) {
      p.insertItem(pos, child, recno, carry.data());
      dirty(off);
      return;
    }
    if (level > 0) {
      const Neighbours nb = neighbours(path, level);
      if (nb.found()) {
        Page left = page(nb.leftOff), right = page(nb.rightOff), parent = page(nb.parentOff);
        const unsigned other = (nb.pageIsLeft ? right : left).count();
        if (M + other <= 2 * M - 2) {
          const unsigned combined = nb.pageIsLeft ? pos : other + 1 + pos;
          evenOut(parent, nb.sep, left, right);
          const unsigned a = left.count();
          if (combined <= a) {
            left.insertItem(combined, child, recno, carry.data());
          } else {
            right.insertItem(combined - a - 1, child, recno, carry.data());
          }
          dirty(nb.leftOff);
          dirty(nb.rightOff);
          dirty(nb.parentOff);
          return;
        }
      }
    }

    // Split: the first h of the M + 1 keys go to a new left page, the next one goes up.
    const unsigned h = (M + 1) / 2;
    const std::uint32_t newOff = allocate();
    Page n = page(newOff);
    std::array<char, kMaxKeyLength> up;
    std::uint32_t upRecno;
    if (pos < h) {
      for (unsigned j = 0; j < pos; ++j) copyItem(n, j, p, j);
      n.setChild(pos, child);
      n.setEntryData(pos, carry.data(), recno);
      for (unsigned j = pos; j + 1 < h; ++j) copyItem(n, j + 1, p, j);
      n.setChild(h, p.child(h - 1));
      std::memcpy(up.data(), p.key(h - 1), g.keyLength);
      upRecno = p.recno(h - 1);
      p.dropFront(h);
    } else if (pos == h) {
      for (unsigned j = 0; j < h; ++j) copyItem(n, j, p, j);
      n.setChild(h, child);
      up = carry;
      upRecno = recno;
      p.dropFront(h);
    } else {
      for (unsigned j = 0; j < h; ++j) copyItem(n, j, p, j);
      n.setChild(h, p.child(h));
      std::memcpy(up.data(), p.key(h), g.keyLength);
      upRecno = p.recno(h);
      p.dropFront(h + 1);
      p.insertItem(pos - h - 1, child, recno, carry.data());
    }
    n.setCount(h);
    dirty(off);

    if (level == 0) {  // the root was split: a new root holds the carried key alone
      const std::uint32_t rootOff = allocate();
      Page r = page(rootOff);
      r.setChild(0, newOff);
      r.setEntryData(0, up.data(), upRecno);
      r.setChild(1, off);
      r.setCount(1);
      root = rootOff;
      headerDue = true;
      return;
    }
    --level;
    pos = static_cast<unsigned>(path.path[static_cast<std::size_t>(level)].pos);
    child = newOff;
    recno = upRecno;
    carry = up;
  }
}

void Tree::remove(const char* key, std::uint32_t recno) {
  IndexCursor path;
  if (!locate(path, key, recno)) {
    if (unique) return;  // a later duplicate never entered a unique index
    fail(rt::gen::kCorruption, sub::kCorrupt, name);
  }
  const unsigned half = g.maxKeys / 2;
  int level = path.depth - 1;
  {
    IndexCursor::Step& s = path.path[static_cast<std::size_t>(level)];
    Page p = page(s.page);
    const unsigned pos = static_cast<unsigned>(s.pos);
    if (std::uint32_t child = p.child(pos); child != 0) {
      // An inner key makes way for its predecessor, which leaves its leaf instead.
      descendLast(path, child);
      IndexCursor::Step& leafStep = path.path[static_cast<std::size_t>(path.depth - 1)];
      if (leafStep.pos < 0) corrupt();  // a subtree without keys
      Page leaf = page(leafStep.page);
      const unsigned last = static_cast<unsigned>(leafStep.pos);
      p.setEntryData(pos, leaf.key(last), leaf.recno(last));
      dirty(s.page);
      leaf.removeItem(last);
      dirty(leafStep.page);
      level = path.depth - 1;
    } else {
      p.removeItem(pos);
      dirty(s.page);
    }
  }

  // Underflow travels up: merge with a neighbour when both fit in one page, else even out.
  for (; level > 0; --level) {
    const std::uint32_t off = path.path[static_cast<std::size_t>(level)].page;
    Page p = page(off);
    if (p.count() >= half) break;
    const Neighbours nb = neighbours(path, level);
    Page parent = page(nb.parentOff);
    if (!nb.found()) {
      if (p.count() == 0) {
        parent.setChild(nb.at, 0);
        dirty(nb.parentOff);
        release(off);
      }
      break;
    }
    Page left = page(nb.leftOff), right = page(nb.rightOff);
    dirty(nb.leftOff);
    dirty(nb.parentOff);
    if (left.count() + right.count() < g.maxKeys) {
      merge(parent, nb.sep, left, right, nb.rightOff);
      continue;
    }
    dirty(nb.rightOff);
    evenOut(parent, nb.sep, left, right);
    break;
  }

  Page r = page(root);
  if (r.count() == 0 && r.child(0) != 0) {
    const std::uint32_t old = root;
    root = r.child(0);
    release(old);
    headerDue = true;
  }
}

}  // namespace db::ntx

#include "index_cache.h"

#include <algorithm>
#include <cstring>

namespace db::ntx {

namespace {
constexpr std::int64_t kEmpty = -1;

std::size_t hashOf(std::uint32_t offset) {
  return static_cast<std::size_t>(
      (static_cast<std::uint64_t>(offset >> 10) * 0x9E3779B97F4A7C15ull) >> 20);
}
std::int64_t packed(std::uint32_t offset, int slot) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(offset) << 32) |
                                   static_cast<std::uint32_t>(slot));
}
std::uint32_t offsetOf(std::int64_t v) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32);
}
int slotOf(std::int64_t v) { return static_cast<int>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu); }
}  // namespace

PageCache::PageCache(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 16)) {
  std::size_t buckets = 64;
  while (buckets < 2 * capacity_) buckets *= 2;
  map_.assign(buckets, kEmpty);
  mask_ = buckets - 1;
  meta_.reserve(capacity_);
  free_.reserve(capacity_);
  dirty_.reserve(64);
}

int PageCache::lookup(std::uint32_t offset) const {
  for (std::size_t i = hashOf(offset) & mask_;; i = (i + 1) & mask_) {
    if (map_[i] == kEmpty) return -1;
    if (offsetOf(map_[i]) == offset) return slotOf(map_[i]);
  }
}

void PageCache::mapInsert(std::uint32_t offset, int slot) {
  if (2 * (mapped_ + 1) > map_.size()) rehash(map_.size() * 2);
  std::size_t i = hashOf(offset) & mask_;
  while (map_[i] != kEmpty) i = (i + 1) & mask_;
  map_[i] = packed(offset, slot);
  ++mapped_;
}

void PageCache::mapErase(std::uint32_t offset) {
  std::size_t i = hashOf(offset) & mask_;
  while (offsetOf(map_[i]) != offset) i = (i + 1) & mask_;
  // Backward-shift deletion keeps every probe chain unbroken without tombstones.
  for (std::size_t j = (i + 1) & mask_; map_[j] != kEmpty; j = (j + 1) & mask_) {
    std::size_t home = hashOf(offsetOf(map_[j])) & mask_;
    bool between = i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (!between) {
      map_[i] = map_[j];
      i = j;
    }
  }
  map_[i] = kEmpty;
  --mapped_;
}

void PageCache::rehash(std::size_t buckets) {
  std::vector<std::int64_t> old;
  old.swap(map_);
  map_.assign(buckets, kEmpty);
  mask_ = buckets - 1;
  mapped_ = 0;
  for (std::int64_t v : old)
    if (v != kEmpty) mapInsert(offsetOf(v), slotOf(v));
}

char* PageCache::find(std::uint32_t offset) {
  int s = lookup(offset);
  if (s < 0) return nullptr;
  Meta& m = meta_[static_cast<std::size_t>(s)];
  if (journaling_ && m.dirty && m.lastOp != op_) {
    journalOffsets_.push_back(offset);
    journal_.insert(journal_.end(), data(s), data(s) + kPageSize);
  }
  m.lastOp = op_;
  m.referenced = true;
  return data(s);
}

int PageCache::newSlot() {
  if (meta_.size() % kBlockPages == 0)
    blocks_.emplace_back(new char[kBlockPages * kPageSize]);  // every user writes a page first
  meta_.emplace_back();
  return static_cast<int>(meta_.size() - 1);
}

int PageCache::takeSlot() {
  if (!free_.empty()) {
    int s = free_.back();
    free_.pop_back();
    return s;
  }
  if (meta_.size() < capacity_) return newSlot();
  // Two turns of the hand: the first may only clear the marks of recently used pages.
  for (std::size_t step = 0; step < 2 * meta_.size(); ++step) {
    const std::size_t s = hand_;
    hand_ = (hand_ + 1) % meta_.size();
    Meta& m = meta_[s];
    if (m.dirty || m.lastOp == op_) continue;
    if (m.referenced) {
      m.referenced = false;
      continue;
    }
    mapErase(m.offset);
    m.used = false;
    return static_cast<int>(s);
  }
  ++capacity_;
  return newSlot();
}

char* PageCache::insert(std::uint32_t offset) {
  int s = takeSlot();
  Meta& m = meta_[static_cast<std::size_t>(s)];
  m.offset = offset;
  m.used = true;
  m.dirty = false;
  m.referenced = true;
  m.lastOp = op_;
  mapInsert(offset, s);
  return data(s);
}

void PageCache::markDirty(std::uint32_t offset) {
  int s = lookup(offset);
  if (s < 0) return;
  Meta& m = meta_[static_cast<std::size_t>(s)];
  if (!m.dirty) {
    m.dirty = true;
    dirty_.push_back(offset);
  }
}

void PageCache::clearDirty() {
  for (std::uint32_t off : dirty_) {
    int s = lookup(off);
    if (s >= 0) meta_[static_cast<std::size_t>(s)].dirty = false;
  }
  dirty_.clear();
}

void PageCache::erase(std::uint32_t offset) {
  int s = lookup(offset);
  if (s < 0) return;
  Meta& m = meta_[static_cast<std::size_t>(s)];
  mapErase(offset);
  m.used = false;
  free_.push_back(s);
  if (m.dirty) {
    m.dirty = false;
    dirty_.erase(std::find(dirty_.begin(), dirty_.end(), offset));
  }
}

void PageCache::rollback() {
  journaling_ = false;
  for (std::size_t i = 0; i < journalOffsets_.size(); ++i) {
    const int s = lookup(journalOffsets_[i]);
    std::memcpy(data(s), journal_.data() + i * kPageSize, kPageSize);
    meta_[static_cast<std::size_t>(s)].lastOp = 0;  // not touched by this operation any more
  }
  journal_.clear();
  journalOffsets_.clear();
  for (std::size_t s = 0; s < meta_.size(); ++s)
    if (meta_[s].used && meta_[s].lastOp == op_) erase(meta_[s].offset);
}

void PageCache::clear() {
  free_.clear();
  for (std::size_t s = meta_.size(); s-- > 0;) {
    meta_[s] = Meta{};
    free_.push_back(static_cast<int>(s));
  }
  std::fill(map_.begin(), map_.end(), kEmpty);
  mapped_ = 0;
  dirty_.clear();
}

}  // namespace db::ntx

#include "index_sort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "index_error.h"
#include "index_page.h"
#include "rt/error.h"
#include "rt/os.h"

namespace db::ntx {

namespace {

constexpr std::size_t kWriteChunk = 64 * 1024;

std::uint64_t prefixOf(const char* key, unsigned keyLength) {
  std::uint64_t p = 0;
  for (unsigned i = 0; i < 8; ++i)
    p = (p << 8) | (i < keyLength ? static_cast<unsigned char>(key[i]) : 0u);
  return p;
}

std::size_t ceilSqrt(double x) {
  auto r = static_cast<std::size_t>(std::ceil(std::sqrt(x)));
  return r == 0 ? 1 : r;
}

}  // namespace

std::size_t KeySorter::runSizeFor(std::uint64_t n, unsigned keyLength) {
  if (n == 0) n = 1;
  const double e = keyLength + 4.0;
  std::uint64_t r = 128 * ceilSqrt(static_cast<double>(n) / e);
  while (static_cast<double>(r) * e < 1048576.0) r *= 2;
  return static_cast<std::size_t>(std::min(r, n));
}

KeySorter::KeySorter(unsigned keyLength, std::uint64_t count, std::size_t runSize)
    : keyLength_(keyLength), entrySize_(keyLength + 4), count_(count) {
  runSize_ = runSize ? runSize : runSizeFor(count, keyLength);
  runSize_ = std::max<std::size_t>(
      std::min<std::uint64_t>(runSize_, std::max<std::uint64_t>(count, 1)), 1);
  // Less memory than the rule asks for: halve the run while it stays at least sqrt(n).
  const std::size_t floorSize = std::min(runSize_, ceilSqrt(static_cast<double>(count)));
  for (;;) {
    try {
      entries_.resize(runSize_ * entrySize_);
      refs_.resize(2 * runSize_);
      break;
    } catch (const std::bad_alloc&) {
      entries_ = {};
      refs_ = {};
      if (runSize_ <= floorSize) throw;
      runSize_ = std::max(runSize_ / 2, floorSize);
    }
  }
}

KeySorter::~KeySorter() {
  temp_.reset();
  if (!tempName_.empty()) rt::os::os().remove(tempName_);
}

bool KeySorter::less(const Ref& a, const Ref& b) const {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  if (keyLength_ <= 8) return false;
  const char* ka = entries_.data() + std::size_t{a.index} * entrySize_;
  const char* kb = entries_.data() + std::size_t{b.index} * entrySize_;
  return std::memcmp(ka + 8, kb + 8, keyLength_ - 8) < 0;
}

void KeySorter::add(const char* key, std::uint32_t recno) {
  if (inRun_ == runSize_) spillRun();
  char* e = entries_.data() + inRun_ * entrySize_;
  std::memcpy(e, key, keyLength_);
  put32(e + keyLength_, recno);
  refs_[inRun_] = Ref{prefixOf(key, keyLength_), static_cast<std::uint32_t>(inRun_)};
  ++inRun_;
}

// A bottom-up merge sort of refs_[0, inRun_), using the second half of refs_ as work space;
// short blocks are sorted by insertion first. Both steps keep equal keys in their order.
void KeySorter::sortRun() {
  const std::size_t n = inRun_;
  Ref* a = refs_.data();
  Ref* b = refs_.data() + runSize_;
  constexpr std::size_t kBlock = 16;
  for (std::size_t lo = 0; lo < n; lo += kBlock) {
    std::size_t hi = std::min(lo + kBlock, n);
    for (std::size_t i = lo + 1; i < hi; ++i) {
      Ref x = a[i];
      std::size_t j = i;
      while (j > lo && less(x, a[j - 1])) {
        a[j] = a[j - 1];
        --j;
      }
      a[j] = x;
    }
  }
  for (std::size_t width = kBlock; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      std::size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      std::size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) b[k++] = less(a[j], a[i]) ? a[j++] : a[i++];
      while (i < mid) b[k++] = a[i++];
      while (j < hi) b[k++] = a[j++];
    }
    std::swap(a, b);
  }
  if (a != refs_.data()) std::copy(a, a + n, refs_.data());
}

void KeySorter::openTemp() {
  tempName_ = rt::os::os().tempFileName();
  int code = 0;
  if (!tempName_.empty()) {
    rt::os::OpenMode mode;
    mode.create = true;
    mode.truncate = true;
    temp_ = rt::os::os().open(tempName_, mode, &code);
  }
  if (!temp_) fail(rt::gen::kCreate, sub::kTempCreate, tempName_, code);
}

void KeySorter::spillRun() {
  if (!temp_) openTemp();
  sortRun();
  runStarts_.push_back(tempEnd_ / entrySize_);
  // Copy the run out in sorted order through a staging block.
  std::vector<char> stage(std::max<std::size_t>(kWriteChunk / entrySize_, 1) * entrySize_);
  std::size_t perChunk = stage.size() / entrySize_;
  for (std::size_t i = 0; i < inRun_; i += perChunk) {
    std::size_t m = std::min(perChunk, inRun_ - i);
    for (std::size_t j = 0; j < m; ++j)
      std::memcpy(stage.data() + j * entrySize_,
                  entries_.data() + std::size_t{refs_[i + j].index} * entrySize_, entrySize_);
    std::size_t bytes = m * entrySize_;
    if (temp_->writeAt(tempEnd_, stage.data(), bytes) != static_cast<std::int64_t>(bytes))
      fail(rt::gen::kWrite, sub::kTempWrite, tempName_, temp_->lastError());
    tempEnd_ += bytes;
  }
  inRun_ = 0;
}

void KeySorter::finish(PairSink& sink) {
  if (!spills()) {
    sortRun();
    for (std::size_t i = 0; i < inRun_; ++i) {
      const char* e = entries_.data() + std::size_t{refs_[i].index} * entrySize_;
      sink.put(e, get32(e + keyLength_));
    }
    return;
  }
  if (inRun_ > 0) spillRun();
  entries_ = {};
  refs_ = {};
  mergeRuns(sink);
}

// A k-way merge through a binary heap of runs, ordered by the run's current key and then by
// run number, so that equal keys come out in run order.
void KeySorter::mergeRuns(PairSink& sink) {
  const std::uint64_t endEntry = tempEnd_ / entrySize_;
  runStarts_.push_back(endEntry);
  const std::size_t k = runStarts_.size() - 1;

  std::size_t perRun = std::clamp<std::size_t>((8u << 20) / k, 4096, 65536) / entrySize_;
  if (perRun == 0) perRun = 1;
  struct Run {
    std::uint64_t next, end;  // entries still in the file
    char* buf;
    std::size_t pos, have;
  };
  std::vector<char> buffers(k * perRun * entrySize_);
  std::vector<Run> runs(k);
  auto refill = [&](Run& r) {
    std::size_t m = static_cast<std::size_t>(std::min<std::uint64_t>(perRun, r.end - r.next));
    std::size_t bytes = m * entrySize_;
    if (temp_->readAt(r.next * entrySize_, r.buf, bytes) != static_cast<std::int64_t>(bytes))
      fail(rt::gen::kRead, sub::kTempRead, tempName_, temp_->lastError());
    r.next += m;
    r.pos = 0;
    r.have = m;
  };
  auto keyOf = [&](std::size_t i) { return runs[i].buf + runs[i].pos * entrySize_; };
  auto before = [&](std::size_t a, std::size_t b) {  // run a's key comes first
    int c = std::memcmp(keyOf(a), keyOf(b), keyLength_);
    return c < 0 || (c == 0 && a < b);
  };

  std::vector<std::size_t> heap;
  heap.reserve(k);
  auto siftDown = [&](std::size_t i) {
    for (;;) {
      std::size_t l = 2 * i + 1, best = i;
      if (l < heap.size() && before(heap[l], heap[best])) best = l;
      if (l + 1 < heap.size() && before(heap[l + 1], heap[best])) best = l + 1;
      if (best == i) return;
      std::swap(heap[i], heap[best]);
      i = best;
    }
  };
  for (std::size_t i = 0; i < k; ++i) {
    runs[i] = Run{runStarts_[i], runStarts_[i + 1], buffers.data() + i * perRun * entrySize_, 0, 0};
    refill(runs[i]);
    if (runs[i].have) heap.push_back(i);
  }
  for (std::size_t i = heap.size() / 2; i-- > 0;) siftDown(i);

  while (!heap.empty()) {
    Run& r = runs[heap[0]];
    const char* e = r.buf + r.pos * entrySize_;
    sink.put(e, get32(e + keyLength_));
    if (++r.pos == r.have) {
      if (r.next < r.end) {
        refill(r);
      } else {
        heap[0] = heap.back();
        heap.pop_back();
      }
    }
    if (!heap.empty()) siftDown(0);
  }
}

}  // namespace db::ntx

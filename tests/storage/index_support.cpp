#include "index_support.h"

#include <functional>

namespace index_support {

namespace {
constexpr std::size_t kPage = 1024;

struct Header {
  unsigned keyLength, maxKeys;
  std::uint32_t root, freeHead;
};

Header headerOf(const std::string& b) { return {u16(b, 14), u16(b, 18), u32(b, 4), u32(b, 8)}; }

class FaultFile final : public rt::os::File {
 public:
  FaultFile(std::unique_ptr<rt::os::File> f, std::string name, FaultOs& o)
      : f_(std::move(f)), name_(std::move(name)), os_(o) {}
  std::int64_t readAt(std::uint64_t offset, void* buf, std::size_t n) override {
    if (os_.failRead && os_.failRead(name_, offset)) return fail();
    return f_->readAt(offset, buf, n);
  }
  std::int64_t writeAt(std::uint64_t offset, const void* buf, std::size_t n) override {
    if (os_.failWrite && os_.failWrite(name_, offset)) return fail();
    return f_->writeAt(offset, buf, n);
  }
  std::int64_t size() override { return f_->size(); }
  bool truncate(std::uint64_t length) override { return f_->truncate(length); }
  bool commit() override { return f_->commit(); }
  int lastError() const override { return error_ ? error_ : f_->lastError(); }

 private:
  int fail() {
    error_ = os_.code;
    return -1;
  }
  std::unique_ptr<rt::os::File> f_;
  std::string name_;
  FaultOs& os_;
  int error_ = 0;
};

}  // namespace

std::unique_ptr<rt::os::File> FaultOs::open(const std::string& name, const rt::os::OpenMode& mode,
                                            int* winCode) {
  if (failOpen && failOpen(name)) {
    *winCode = code;
    return nullptr;
  }
  auto f = rt::os::realOs().open(name, mode, winCode);
  if (!f) return f;
  return std::make_unique<FaultFile>(std::move(f), name, *this);
}

PageImage readPage(const std::string& b, std::uint32_t off) {
  const Header h = headerOf(b);
  PageImage p;
  p.count = u16(b, off);
  for (unsigned i = 0; i <= h.maxKeys; ++i) p.offsets.push_back(u16(b, off + 2 + 2 * i));
  for (unsigned i = 0; i <= p.count && i <= h.maxKeys; ++i) {
    const std::size_t item = off + p.offsets[i];
    p.child.push_back(u32(b, item));
    if (i < p.count) p.items.push_back({b.substr(item + 8, h.keyLength), u32(b, item + 4)});
  }
  return p;
}

Walk walkIndex(const std::string& b) {
  Walk w;
  const Header h = headerOf(b);
  EXPECT_EQ(b.size() % kPage, 0u);
  EXPECT_EQ(u16(b, 0), 0x0006u);
  EXPECT_EQ(u16(b, 12), h.keyLength + 8);
  EXPECT_EQ(u16(b, 20), h.maxKeys / 2);
  const std::uint32_t pages = static_cast<std::uint32_t>(b.size() / kPage) - 1;
  auto isPage = [&](std::uint32_t off) {
    return off >= kPage && off % kPage == 0 && off + kPage <= b.size();
  };

  int leafDepth = -1;
  std::function<void(std::uint32_t, int)> visit = [&](std::uint32_t off, int depth) {
    if (!isPage(off) || !w.reachable.insert(off).second || depth > 40) {
      ADD_FAILURE() << "page " << off << " outside the file or reached twice";
      return;
    }
    PageImage p = readPage(b, off);
    if (p.count > h.maxKeys) {
      ADD_FAILURE() << "page " << off << " holds " << p.count << " keys";
      return;
    }
    if (off != h.root && p.count < h.maxKeys / 2)
      ADD_FAILURE() << "page " << off << " holds only " << p.count << " keys";
    const bool leaf = p.child[0] == 0;
    for (std::uint32_t c : p.child)
      if ((c == 0) != leaf) ADD_FAILURE() << "page " << off << " mixes leaf and inner items";
    if (leaf) {
      if (leafDepth < 0) leafDepth = depth;
      if (depth != leafDepth) ADD_FAILURE() << "leaf " << off << " at depth " << depth;
    }
    for (unsigned i = 0; i <= p.count; ++i) {
      if (!leaf) visit(p.child[i], depth + 1);
      if (i < p.count) w.pairs.push_back(p.items[i]);
    }
  };
  visit(h.root, 1);
  w.depth = leafDepth;

  for (std::size_t i = 1; i < w.pairs.size(); ++i)
    if (w.pairs[i - 1].key > w.pairs[i].key) ADD_FAILURE() << "keys out of order at " << i;

  for (std::uint32_t off = h.freeHead; off != 0;) {
    if (!isPage(off) || w.reachable.count(off) || !w.freePages.insert(off).second) {
      ADD_FAILURE() << "free chain reaches page " << off;
      break;
    }
    if (u16(b, off) != 0) ADD_FAILURE() << "free page " << off << " holds keys";
    off = u32(b, off + u16(b, off + 2));
  }
  EXPECT_EQ(w.reachable.size() + w.freePages.size(), pages) << "pages lost";
  return w;
}

}  // namespace index_support

#include "db/index_file.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "index_error.h"
#include "index_tree.h"
#include "rt/error.h"
#include "rt/launcher.h"
#include "rt/os.h"

namespace db {

using ntx::Failed;
using ntx::kPageSize;
using ntx::Tree;
namespace hdr = ntx::hdr;
namespace sub = ntx::sub;

namespace {

// Keeps an update all-or-nothing in memory: when it does not complete (a failure given up, or a
// quit unwinding), the tree takes back its header fields and the pages the update touched; the
// changes of earlier updates that are not yet written stay.
class UpdateScope {
 public:
  explicit UpdateScope(Tree& t)
      : t_(t),
        root_(t.root),
        free_(t.freeHead),
        end_(t.end),
        version_(t.version),
        pending_(t.headerPending) {
    t.cache.beginJournaled();
  }
  ~UpdateScope() {
    ++t_.generation;  // cursors find their pair again before they move
    if (done_) return;
    t_.root = root_;
    t_.freeHead = free_;
    t_.end = end_;
    t_.version = version_;
    t_.headerDue = false;
    t_.headerPending = pending_;
    t_.cache.rollback();
  }
  void done() { done_ = true; }

 private:
  Tree& t_;
  std::uint32_t root_, free_, end_;
  std::uint16_t version_;
  bool pending_;
  bool done_ = false;
};

void fillHeader(Tree& t, const IndexDef& def) {
  char* h = t.header;
  std::memset(h, 0, kPageSize);
  ntx::put16(h + hdr::kType, hdr::kTypeFlags);
  ntx::put16(h + hdr::kItemSize, t.g.itemSize);
  ntx::put16(h + hdr::kKeyLength, t.g.keyLength);
  ntx::put16(h + hdr::kDecimals, def.keyDecimals);
  ntx::put16(h + hdr::kMaxKeys, t.g.maxKeys);
  ntx::put16(h + hdr::kHalf, t.g.maxKeys / 2);
  std::memcpy(h + hdr::kExpr, def.keyExpr.data(), std::min(def.keyExpr.size(), hdr::kExprSize));
  h[hdr::kUnique] = def.unique ? 1 : 0;
  if (def.tagName)  // keep a terminating zero in the 12-byte field
    std::memcpy(h + hdr::kTag, def.tagName->data(),
                std::min(def.tagName->size(), hdr::kTagSize - 1));
}

// Opens `name`, raising the given error (retry and default allowed) while it fails; the same
// error object is raised again on every retry, so that it counts them. False when given up.
bool openRetrying(const std::string& name, const rt::os::OpenMode& mode, int gencode, int subcode,
                  std::unique_ptr<rt::os::File>& file) {
  int code = 0;
  file = rt::os::os().open(name, mode, &code);
  if (file) return true;
  rt::ErrorObj e = rt::makeError(ntx::kDriver, gencode, subcode);
  e.filename = name;
  e.canRetry = true;
  e.canDefault = true;
  for (;;) {
    e.oscode = code;
    if (rt::raise(e) == rt::Answer::Default) return false;
    file = rt::os::os().open(name, mode, &code);
    if (file) return true;
  }
}

std::string exprOf(const char* h) {
  const char* p = h + hdr::kExpr;
  return std::string(p, strnlen(p, hdr::kExprSize));
}

}  // namespace

IndexFile::IndexFile(std::unique_ptr<Tree> tree) : t_(std::move(tree)) {}
IndexFile::~IndexFile() {
  if (t_) t_->flushQuietly();  // not closed: what completed updates changed still goes out
}

std::unique_ptr<IndexFile> IndexFile::create(const IndexDef& def, KeySource& keys,
                                             const IndexOptions& options) {
  if (def.keyLength == 0 || def.keyLength > kIndexMaxKeyLength)
    throw std::invalid_argument("key length must be 1 to 256");
  rt::os::OpenMode mode;
  mode.create = true;
  mode.truncate = true;
  mode.share = def.shared ? rt::os::Share::Shared : rt::os::Share::Exclusive;
  std::unique_ptr<rt::os::File> file;
  if (!openRetrying(def.fileName, mode, rt::gen::kCreate, sub::kCreate, file)) return nullptr;
  auto t = std::make_unique<Tree>(std::move(file), def.fileName,
                                  ntx::Geometry::forKeyLength(def.keyLength), options);
  t->unique = def.unique;
  fillHeader(*t, def);
  t->keyExpr = exprOf(t->header);
  try {
    // The header block exists (zeros) before the first page goes after it.
    if (!t->file->truncate(kPageSize))
      ntx::fail(rt::gen::kWrite, sub::kWrite, t->name, t->file->lastError());
    t->end = kPageSize;
    t->cache.beginOperation();
    t->build(keys);
  } catch (const Failed&) {
    return nullptr;
  }
  ++t->generation;
  return std::unique_ptr<IndexFile>(new IndexFile(std::move(t)));
}

std::unique_ptr<IndexFile> IndexFile::open(const std::string& fileName, bool shared,
                                           const IndexOptions& options) {
  rt::os::OpenMode mode;
  mode.share = shared ? rt::os::Share::Shared : rt::os::Share::Exclusive;
  std::unique_ptr<rt::os::File> file;
  if (!openRetrying(fileName, mode, rt::gen::kOpen, 1001, file)) return nullptr;
  char h[kPageSize];
  try {
    std::int64_t size = file->size();
    std::int64_t got = file->readAt(0, h, kPageSize);
    if (size < 0 || got < 0) ntx::fail(rt::gen::kRead, sub::kRead, fileName, file->lastError());
    const unsigned keyLength = ntx::get16(h + hdr::kKeyLength);
    bool ok = got == static_cast<std::int64_t>(kPageSize) && keyLength >= 1 &&
              keyLength <= kIndexMaxKeyLength && size <= 0xFFFFFFFFll;
    ntx::Geometry g = ntx::Geometry::forKeyLength(ok ? keyLength : 1);
    ok = ok && ntx::get16(h + hdr::kItemSize) == g.itemSize &&
         ntx::get16(h + hdr::kMaxKeys) == g.maxKeys;
    if (!ok) ntx::fail(rt::gen::kCorruption, sub::kCorrupt, fileName);
    auto t = std::make_unique<Tree>(std::move(file), fileName, g, options);
    std::memcpy(t->header, h, kPageSize);
    t->version = ntx::get16(h + hdr::kVersion);
    t->root = ntx::get32(h + hdr::kRoot);
    t->freeHead = ntx::get32(h + hdr::kFree);
    t->unique = h[hdr::kUnique] != 0;
    t->keyExpr = exprOf(h);
    t->end = static_cast<std::uint32_t>((size + kPageSize - 1) / kPageSize * kPageSize);
    t->cache.beginOperation();
    t->page(t->root);  // the root must be a page of the file
    if (t->freeHead != 0) t->page(t->freeHead);
    return std::unique_ptr<IndexFile>(new IndexFile(std::move(t)));
  } catch (const Failed&) {
    return nullptr;
  }
}

const std::string& IndexFile::fileName() const { return t_->name; }
const std::string& IndexFile::keyExpr() const { return t_->keyExpr; }
unsigned IndexFile::keyLength() const { return t_->g.keyLength; }
unsigned IndexFile::maxKeys() const { return t_->g.maxKeys; }
std::uint32_t IndexFile::root() const { return t_->root; }
std::uint32_t IndexFile::freeHead() const { return t_->freeHead; }
std::uint16_t IndexFile::version() const { return t_->version; }
const IndexFile::Stats& IndexFile::stats() const { return t_->stats; }

// Runs a movement of `c`; a failure given up leaves the cursor nowhere.
template <class Step>
bool moveCursor(Tree& t, IndexCursor& c, Step step) {
  t.cache.beginOperation();
  try {
    return step();
  } catch (const Failed&) {
    c.depth = 0;
    return false;
  }
}

bool IndexFile::seek(IndexCursor& c, std::string_view value, bool last) {
  const std::size_t len = std::min<std::size_t>(value.size(), t_->g.keyLength);
  return moveCursor(*t_, c, [&] {
    return last ? t_->seekLast(c, value.data(), len) : t_->seek(c, value.data(), len);
  });
}

bool IndexFile::locate(IndexCursor& c, const char* key, std::uint32_t recno) {
  return moveCursor(*t_, c, [&] { return t_->locate(c, key, recno); });
}

bool IndexFile::isCurrent(const IndexCursor& c) const {
  return c.valid() && c.generation == t_->generation;
}

bool IndexFile::first(IndexCursor& c) {
  return moveCursor(*t_, c, [&] {
    c.depth = 0;
    t_->descendFirst(c, t_->root);
    return t_->settleForward(c);
  });
}

bool IndexFile::last(IndexCursor& c) {
  return moveCursor(*t_, c, [&] {
    c.depth = 0;
    t_->descendLast(c, t_->root);
    return t_->settleBackward(c);
  });
}

bool IndexFile::next(IndexCursor& c) {
  return moveCursor(*t_, c, [&] { return t_->next(c); });
}

bool IndexFile::prev(IndexCursor& c) {
  return moveCursor(*t_, c, [&] { return t_->prev(c); });
}

// With write-behind, changed pages stay in memory until enough of them gather; they go out before
// the next update begins, so that a failed write leaves that update undone and the earlier ones
// still held for the next flush.
bool IndexFile::update(const char* oldKey, const char* newKey, std::uint32_t recno) {
  const std::size_t bound = t_->options.writeBehindPages;
  if (bound > 0 && t_->cache.dirtyCount() >= bound && !flush()) return false;
  UpdateScope scope(*t_);
  try {
    if (oldKey) t_->remove(oldKey, recno);
    if (newKey) t_->add(newKey, recno);
    t_->endUpdate();
    if (bound == 0) t_->flush();
  } catch (const Failed&) {
    return false;
  }
  scope.done();
  return true;
}

bool IndexFile::flush() {
  t_->cache.beginOperation();
  try {
    t_->flush();
  } catch (const Failed&) {
    return false;
  }
  return true;
}

bool IndexFile::commit() {
  if (!t_->file) return true;
  if (!flush()) return false;
  if (t_->file->commit()) return true;
  try {
    ntx::fail(rt::gen::kWrite, sub::kWrite, t_->name, t_->file->lastError());
  } catch (const Failed&) {
  }
  return false;
}

bool IndexFile::close() {
  // The file closes however the commit ends (an error given up, or a quit unwinding); changed
  // pages that could not go out by then are still tried once, without raising again.
  struct Release {
    Tree& t;
    ~Release() {
      t.flushQuietly();
      t.file.reset();
    }
  } release{*t_};
  return commit();
}

}  // namespace db

// The index layer of "DBFNTX" tables and the commands that create and search it.
#include <algorithm>
#include <array>
#include <cstring>

#include "db/dbf.h"
#include "db/dbfntx.h"
#include "db/index_commands.h"
#include "db/workarea.h"
#include "index_error.h"
#include "rt/callstack.h"
#include "rt/launcher.h"

namespace db {

namespace {

constexpr std::string_view kIndexExtension = ".ntx";

IndexOptions& indexOptions() {
  static IndexOptions o;
  return o;
}

std::string upperTrimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  s = s.substr(first, s.find_last_not_of(' ') - first + 1);
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

void putKey(char* out, std::string_view v, unsigned keyLength) {
  const std::size_t n = std::min<std::size_t>(v.size(), keyLength);
  std::memcpy(out, v.data(), n);
  std::memset(out + n, ' ', keyLength - n);
}

// How the key of a record is taken: straight from a character field, or from the callback.
struct KeyRule {
  int field = -1;
  rt::Value block;
  unsigned length = 0;
};

// Raises "Data type error" (33, 1026) for a key value that is not a text.
void keyTypeError(Table& t) {
  rt::ErrorObj e = t.makeError(rt::gen::kDataType, 1026);
  rt::raise(e);
}

// The key of the current record (the blank record at end of file) into `out`; false after a
// failure was raised.
bool keyOf(DbfNtxTable& t, const KeyRule& rule, char* out) {
  if (rule.field >= 0) {
    std::string_view rec;
    if (!t.getRecord(rec)) return false;
    const FieldInfo& f = t.fields()[static_cast<std::size_t>(rule.field)];
    putKey(out, rec.substr(f.offset, static_cast<std::size_t>(f.width)), rule.length);
    return true;
  }
  const rt::Value v = evalBlock(t, rule.block);
  if (!v.isText()) {
    keyTypeError(t);
    return false;
  }
  putKey(out, v.text(), rule.length);
  return true;
}

// Keys for the build from the callback, record by record through the table.
class CallbackKeys final : public KeySource {
 public:
  CallbackKeys(DbfNtxTable& t, const KeyRule& rule) : t_(t), rule_(rule), count_(t.recCount()) {}
  std::uint32_t count() const override { return count_; }
  void next(char* key) override {
    if (!t_.goTo(++recno_) || !keyOf(t_, rule_, key)) throw ntx::Failed{};
  }

 private:
  DbfNtxTable& t_;
  const KeyRule& rule_;
  std::uint32_t count_;
  std::uint32_t recno_ = 0;
};

class NtxLayer final : public IndexLayer {
 public:
  NtxLayer(std::unique_ptr<IndexFile> index, IndexDef def, KeyRule rule)
      : index_(std::move(index)), def_(std::move(def)), rule_(std::move(rule)) {}

  IndexFile* index() const { return index_.get(); }

  // Creates the file and builds it from `t`; nullptr when that was given up.
  static std::unique_ptr<IndexFile> build(DbfNtxTable& t, const IndexDef& def,
                                          const KeyRule& rule) {
    if (rule.field >= 0) {
      const FieldInfo& f = t.fields()[static_cast<std::size_t>(rule.field)];
      TableKeySource::Layout layout{t.headerLength(), t.recordLength(), t.recCount(), f.offset,
                                    static_cast<std::uint32_t>(f.width)};
      rt::os::File& file = t.file();  // hands gathered record writes to the OS first
      TableKeySource keys(file, t.fileName(), layout, rule.length);
      return IndexFile::create(def, keys, indexOptions());
    }
    CallbackKeys keys(t, rule);  // a failure it raises ends the build like any other
    return IndexFile::create(def, keys, indexOptions());
  }

  void remember(DbfNtxTable& t) override { haveOld_ = index_ && keyOf(t, rule_, old_.data()); }

  bool update(DbfNtxTable& t, bool appended) override {
    const bool hadOld = haveOld_;
    haveOld_ = false;
    if (!index_) return true;
    if (!keyOf(t, rule_, new_.data())) return false;
    if (appended) return index_->add(new_.data(), t.recNo());
    if (!hadOld || std::memcmp(old_.data(), new_.data(), rule_.length) == 0) return true;
    return index_->update(old_.data(), new_.data(), t.recNo());
  }

  bool goTop(DbfNtxTable& t, bool& ok) override {
    if (!index_) return false;
    ok = index_->first(cursor_) ? t.goTo(cursor_.recno) : t.goTo(t.recCount() + 1);
    return true;
  }

  bool skipRaw(DbfNtxTable& t, std::int64_t n, bool& ok) override {
    if (!index_) return false;
    ok = true;
    if (n == 0) return true;
    if (t.eof()) {
      if (n > 0) return ok = t.goTo(t.recCount() + 1), true;
      // Back from the end: the last key is one step.
      if (!index_->last(cursor_)) {
        ok = t.goTo(t.recCount() + 1);
        t.setBof(true);
        return true;
      }
      ++n;
    } else if (!onCurrent(t)) {
      ok = false;
      return true;
    }
    for (; n > 0; --n)
      if (!index_->next(cursor_)) return ok = t.goTo(t.recCount() + 1), true;
    for (; n < 0; ++n) {
      if (!index_->prev(cursor_)) {
        ok = index_->first(cursor_) && t.goTo(cursor_.recno);
        t.setBof(true);
        return true;
      }
    }
    ok = t.goTo(cursor_.recno);
    return true;
  }

  bool seek(DbfNtxTable& t, const rt::Value& key, bool softSeek, bool findLast) override {
    if (!key.isText()) {
      keyTypeError(t);
      return false;
    }
    const bool found = index_->seek(cursor_, key.text(), findLast);
    if (!found && softSeek && findLast) {  // from the pair before the gap to the one after it
      if (cursor_.valid() ? !index_->next(cursor_) : !index_->first(cursor_)) cursor_.depth = 0;
    }
    if (!found && !(softSeek && cursor_.valid())) {
      t.goTo(t.recCount() + 1);
      return false;
    }
    if (!t.goTo(cursor_.recno)) return false;
    t.setFound(found);
    return found;
  }

  bool afterPack(DbfNtxTable& t) override {
    if (!index_) return true;
    index_->close();
    index_.reset();
    index_ = build(t, def_, rule_);
    return index_ != nullptr;
  }

  bool flush(DbfNtxTable&) override { return !index_ || index_->commit(); }

  void close(DbfNtxTable&) override {
    if (std::unique_ptr<IndexFile> f = std::move(index_)) f->close();
  }

  OrderInfo orderInfo() const override { return index_ ? OrderInfo{1, def_.keyExpr} : OrderInfo{}; }

 private:
  // Puts the cursor on the current record's pair. While no update ran since the cursor moved
  // to the record, it still stands there; otherwise the record's key finds the pair again.
  bool onCurrent(DbfNtxTable& t) {
    if (index_->isCurrent(cursor_) && cursor_.recno == t.recNo()) return true;
    if (!keyOf(t, rule_, new_.data())) return false;
    // A record missing from the index (a later duplicate of a unique key) steps from its place.
    index_->locate(cursor_, new_.data(), t.recNo());
    return true;
  }

  std::unique_ptr<IndexFile> index_;
  IndexDef def_;
  KeyRule rule_;
  IndexCursor cursor_;
  std::array<char, kIndexMaxKeyLength> old_{}, new_{};
  bool haveOld_ = false;
};

NtxLayer* layerOf(Table* t) {
  auto* ntx = dynamic_cast<DbfNtxTable*>(t);
  return ntx ? dynamic_cast<NtxLayer*>(ntx->indexLayer()) : nullptr;
}

rt::ErrorObj commandError(int gencode, int subcode, std::string_view operation) {
  rt::ErrorObj e = rt::makeError("DBCMD", gencode, subcode);
  e.operation = operation;
  return e;
}

}  // namespace

IndexFile* controllingIndex(Table* table) {
  NtxLayer* l = layerOf(table);
  return l ? l->index() : nullptr;
}

void setIndexOptions(const IndexOptions& options) { indexOptions() = options; }

void DBCREATEINDEX(const rt::Value& file, const rt::Value& keyExpr, const rt::Value& keyBlock,
                   const rt::Value& unique) {
  rt::CallFrame frame("DBCREATEINDEX");
  ORDCREATE(file, {}, keyExpr, keyBlock, unique);
}

void ORDCREATE(const rt::Value& file, const rt::Value& tag, const rt::Value& keyExpr,
               const rt::Value& keyBlock, const rt::Value& unique) {
  rt::CallFrame frame("ORDCREATE");
  Table* table = requireTable("ORDCREATE");
  if (!table) return;
  const bool haveFile = file.isText() && !file.text().empty();
  const bool haveTag = tag.isText() && !tag.text().empty();
  if ((!haveFile && !haveTag) || !keyExpr.isText() || keyExpr.text().empty()) {
    rt::ErrorObj e = commandError(rt::gen::kArgument, 1006, "ORDCREATE");
    rt::raise(e);
    return;
  }
  auto* t = dynamic_cast<DbfNtxTable*>(table);
  if (!t) {
    table->unsupported("ORDCREATE");
    return;
  }
  if (!t->goCold()) return;

  // The key's type and length: its value on the blank record past the end.
  KeyRule rule;
  rule.block = keyBlock;
  const int named = t->fieldIndex(upperTrimmed(keyExpr.text()));
  const bool namesCharField =
      named >= 0 && t->fields()[static_cast<std::size_t>(named)].type == 'C';
  rt::Value sample;
  {
    const std::uint32_t saved = t->recNo();
    if (!t->goTo(t->recCount() + 1)) return;
    if (keyBlock.isBlock()) {
      sample = evalBlock(*t, keyBlock);
    } else if (named >= 0) {
      t->getValue(static_cast<std::size_t>(named), sample);
    }
    if (!t->goTo(saved)) return;
  }
  if (!sample.isText()) {
    keyTypeError(*t);
    return;
  }
  if (sample.text().empty()) {
    rt::ErrorObj e = t->makeError(rt::gen::kDataWidth, 1026);
    rt::raise(e);
    return;
  }
  rule.length =
      static_cast<unsigned>(std::min<std::size_t>(sample.text().size(), kIndexMaxKeyLength));
  // A key that is a character field is read straight from the file, as long as the field gives
  // the key bytes unchanged.
  if (namesCharField &&
      t->fields()[static_cast<std::size_t>(named)].width >= static_cast<int>(rule.length))
    rule.field = named;

  IndexDef def;
  def.fileName = withDefaultExtension(haveFile ? file.text() : tag.text(), kIndexExtension);
  def.keyExpr = keyExpr.text();
  if (haveTag) def.tagName = upperTrimmed(tag.text()).substr(0, 10);
  def.keyLength = rule.length;
  def.unique = unique.isTrue();
  def.shared = t->isShared();

  // The area's open index goes first: it may be the very file about to be rebuilt, and after a
  // failed creation the area is to have none.
  t->setIndexLayer(nullptr);
  std::unique_ptr<IndexFile> index = NtxLayer::build(*t, def, rule);
  if (!index) return;
  t->setIndexLayer(std::make_unique<NtxLayer>(std::move(index), def, rule));
  t->goTop();
}

bool DBSEEK(const rt::Value& value, const rt::Value& softSeek, const rt::Value& findLast) {
  rt::CallFrame frame("DBSEEK");
  Table* t = requireTable("DBSEEK");
  if (!t) return false;
  if (value.isNil()) {
    rt::ErrorObj e = commandError(rt::gen::kArgument, 1001, "DBSEEK");
    rt::raise(e);
    return false;
  }
  return t->seek(value, softSeek.isTrue(), findLast.isTrue());
}

}  // namespace db

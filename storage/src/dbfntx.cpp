#include "db/dbfntx.h"

#include "rt/launcher.h"

namespace db {

DbfNtxTable::~DbfNtxTable() = default;

void DbfNtxTable::setIndexLayer(std::unique_ptr<IndexLayer> layer) {
  if (index_) index_->close(*this);
  index_ = std::move(layer);
}

bool DbfNtxTable::close() {
  // The table writes back (updating the keys through goCold) and closes its file first; then the
  // index files close, also when the table's close was cut short by Quit.
  bool ok = false;
  try {
    ok = DbfFptTable::close();
  } catch (...) {
    if (std::unique_ptr<IndexLayer> layer = std::move(index_)) layer->close(*this);
    throw;
  }
  if (std::unique_ptr<IndexLayer> layer = std::move(index_)) layer->close(*this);
  return ok;
}

bool DbfNtxTable::goTop() {
  if (index_) {
    if (!goCold()) return false;
    bool ok = true;
    if (index_->goTop(*this, ok)) return ok;
  }
  return DbfFptTable::goTop();
}

bool DbfNtxTable::skipRaw(std::int64_t n) {
  if (index_) {
    if (!goCold()) return false;
    bool ok = true;
    if (index_->skipRaw(*this, n, ok)) return ok;
  }
  return DbfFptTable::skipRaw(n);
}

bool DbfNtxTable::seek(const rt::Value& key, bool softSeek, bool findLast) {
  if (!goCold()) return false;
  if (!index_) {
    rt::ErrorObj e = makeError(rt::gen::kNotIndexed, 1201);
    e.canDefault = true;
    rt::raise(e);
    return false;
  }
  return index_->seek(*this, key, softSeek, findLast);
}

bool DbfNtxTable::goHot() {
  const bool wasChanged = isChanged();
  if (!DbfFptTable::goHot()) return false;
  if (index_ && !wasChanged) index_->remember(*this);
  return true;
}

bool DbfNtxTable::goCold() {
  const bool changed = isChanged(), appended = isAppended();
  if (!DbfFptTable::goCold()) return false;
  if (changed && index_) return index_->update(*this, appended);
  return true;
}

bool DbfNtxTable::flush() {
  if (!DbfFptTable::flush()) return false;
  return !index_ || index_->flush(*this);
}

bool DbfNtxTable::pack() {
  if (!DbfFptTable::pack()) return false;
  return !index_ || index_->afterPack(*this);
}

OrderInfo DbfNtxTable::orderInfo() const { return index_ ? index_->orderInfo() : OrderInfo{}; }

}  // namespace db

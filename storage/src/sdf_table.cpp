#include "db/sdf_table.h"

#include "db/drivers.h"
#include "db/numeric.h"

namespace db {
namespace {

// Large enough that a typical template costs a few hundred reads, small enough not to matter.
constexpr std::size_t kReadAhead = 256 * 1024;

}  // namespace

bool SdfTable::open(const OpenRequest& def) {
  if (!def.structure) return unsupported("OPEN");
  fields_.clear();
  std::uint32_t offset = 1;  // after the deletion flag
  for (const FieldDef& f : *def.structure) {
    FieldInfo info;
    static_cast<FieldDef&>(info) = f;
    info.offset = offset;
    offset += static_cast<std::uint32_t>(f.width);
    fields_.push_back(std::move(info));
  }
  const std::size_t recordLength = offset - 1;
  if (recordLength == 0) return unsupported("OPEN");
  file_ = SdfFile::open(def.fileName, recordLength, {.readAhead = kReadAhead});
  if (!file_) return false;
  syncFlags();
  return true;
}

bool SdfTable::close() {
  file_.reset();
  return true;
}

bool SdfTable::goTop() {
  if (!file_) return false;
  file_->goTop();
  syncFlags();
  bof_ = eof_;
  return true;
}

bool SdfTable::skip(std::int64_t n) {
  if (!file_ || n <= 0) return false;
  for (std::int64_t i = 0; i < n && !file_->eof(); ++i) file_->skip();
  syncFlags();
  bof_ = false;
  return true;
}

bool SdfTable::skipRaw(std::int64_t n) { return skip(n); }

std::uint32_t SdfTable::recNo() const {
  return file_ ? static_cast<std::uint32_t>(file_->recNo()) : 0;
}

bool SdfTable::deleted(bool& out) {
  out = false;
  return true;
}

bool SdfTable::getValue(std::size_t index, rt::Value& out) {
  if (!file_ || index >= fields_.size()) return false;
  const FieldInfo& f = fields_[index];
  std::string_view bytes = file_->record().substr(f.offset, static_cast<std::size_t>(f.width));
  out = f.type == 'N' ? decodeNumber(bytes, f.decimals) : rt::Value(bytes);
  return true;
}

bool SdfTable::getRecord(std::string_view& out) {
  if (!file_) return false;
  out = file_->record();
  return true;
}

void SdfTable::syncFlags() {
  eof_ = file_->eof();
  found_ = false;
}

void registerSdfDriver() {
  static const bool once = [] {
    registerDriver("SDF", DriverKind::Transfer, [] { return std::make_unique<SdfTable>(); });
    return true;
  }();
  (void)once;
}

}  // namespace db

#include "db/table.h"

#include "rt/launcher.h"

namespace db {

Table::~Table() = default;

rt::ErrorObj Table::makeError(int gencode, int subcode) const {
  return rt::makeError(driverName(), gencode, subcode);
}

bool Table::unsupported(std::string_view operation) {
  rt::ErrorObj e = makeError(rt::gen::kUnsupported, 0);
  e.operation = operation;
  e.canDefault = true;  // the operation simply fails; the caller may go on
  rt::raise(e);
  return false;
}

bool Table::create(const std::string&, const std::vector<FieldDef>&) {
  return unsupported("CREATE");
}
bool Table::open(const OpenRequest&) { return unsupported("OPEN"); }
// The base layer owns no file: closing only ends the bookkeeping.
bool Table::close() { return true; }

bool Table::goTo(std::uint32_t) { return unsupported("GOTO"); }
bool Table::goTop() { return unsupported("GOTOP"); }

bool Table::skip(std::int64_t n) {
  const int dir = n < 0 ? -1 : 1;
  for (std::int64_t i = 0; i != n; i += dir) {
    if (dir > 0 ? eof() : bof()) break;
    if (!skipRaw(dir) || !skipFilter(dir)) return false;
  }
  return true;
}

bool Table::skipRaw(std::int64_t) { return unsupported("SKIPRAW"); }
bool Table::skipFilter(int) { return true; }
bool Table::seek(const rt::Value&, bool, bool) { return unsupported("SEEK"); }

bool Table::append(bool) { return unsupported("APPEND"); }
bool Table::deleteRecord() { return unsupported("DELETE"); }
bool Table::recall() { return unsupported("RECALL"); }
bool Table::deleted(bool&) { return unsupported("DELETED"); }
bool Table::getValue(std::size_t, rt::Value&) { return unsupported("GETVALUE"); }
bool Table::putValue(std::size_t, const rt::Value&) { return unsupported("PUTVALUE"); }
bool Table::getRecord(std::string_view&) { return unsupported("GETREC"); }
bool Table::putRecord(std::string_view) { return unsupported("PUTREC"); }
bool Table::goHot() { return unsupported("GOHOT"); }
bool Table::goCold() { return unsupported("GOCOLD"); }
bool Table::flush() { return unsupported("FLUSH"); }
bool Table::pack() { return unsupported("PACK"); }

namespace {
bool sameFieldName(const std::string& upper, std::string_view name) {
  if (upper.size() != name.size()) return false;
  for (std::size_t k = 0; k < name.size(); ++k) {
    char c = name[k];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[k]) return false;
  }
  return true;
}
}  // namespace

int Table::fieldIndex(std::string_view name) const {
  // Code tends to name fields in table order, so the field after the last one found is tried
  // first.
  const std::size_t n = fields_.size();
  if (n == 0) return -1;
  const std::size_t hint = lookupHint_ < n ? lookupHint_ : 0;
  for (std::size_t step = 0; step < n; ++step) {
    std::size_t i = hint + step;
    if (i >= n) i -= n;
    if (sameFieldName(fields_[i].name, name)) {
      lookupHint_ = i + 1;
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace db

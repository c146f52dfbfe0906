#include "db/drivers.h"

#include <deque>

#include "db/dbf.h"
#include "db/dbfntx.h"

namespace db {
namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// Registration order matters for the default driver; a deque keeps the entries in place, so
// findDriver()'s pointers stay valid when others register.
std::deque<DriverInfo>& registry() {
  static std::deque<DriverInfo> r = [] {
    std::deque<DriverInfo> v;
    v.push_back({"DBF", DriverKind::Full, [] { return std::make_unique<DbfTable>(); }});
    v.push_back({"DBFFPT", DriverKind::Full, [] { return std::make_unique<DbfFptTable>(); }});
    v.push_back({"DBFNTX", DriverKind::Full, [] { return std::make_unique<DbfNtxTable>(); }});
    return v;
  }();
  return r;
}

}  // namespace

void registerDriver(std::string_view name, DriverKind kind, TableFactory make) {
  std::string key = upper(name);
  for (DriverInfo& d : registry()) {
    if (d.name == key) {
      d.kind = kind;
      d.make = std::move(make);
      return;
    }
  }
  registry().push_back({std::move(key), kind, std::move(make)});
}

const DriverInfo* findDriver(std::string_view name) {
  std::string key = upper(name);
  for (const DriverInfo& d : registry())
    if (d.name == key) return &d;
  return nullptr;
}

std::string_view defaultDriver() {
  for (std::string_view name : {"DBFNTX", "DBFCDX", "DBFFPT", "DBF"})
    if (const DriverInfo* d = findDriver(name)) return d->name;
  return {};
}

}  // namespace db

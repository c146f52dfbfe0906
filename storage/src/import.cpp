#include "db/import.h"

#include <cstdint>
#include <string>
#include <vector>

#include "db/drivers.h"
#include "db/sdf_table.h"
#include "db/workarea.h"
#include "rt/callstack.h"
#include "rt/error.h"
#include "rt/launcher.h"

namespace db {
namespace {

constexpr std::string_view kAppendFrom = "APPEND FROM";

bool notSupported(std::string_view operation) {
  rt::ErrorObj e = rt::makeError("DBCMD", rt::gen::kUnsupported, 0);
  e.operation = operation;
  e.canDefault = true;  // the transfer simply does not happen
  rt::raise(e);
  return false;
}

// Whole numbers from a count or record argument; nothing for other values.
bool wholeArg(const rt::Value& v, std::int64_t& out) {
  if (v.isInteger()) {
    out = v.integer();
  } else if (v.isDouble()) {
    const double d = v.dbl();
    out = !(d == d)      ? 0
          : d >= 9.2e18  ? INT64_MAX
          : d <= -9.2e18 ? INT64_MIN
                         : static_cast<std::int64_t>(d);
  } else {
    return false;
  }
  return true;
}

// Copies the source's records from its current one into the target; false when a step failed.
// A condition may do anything, closing either table included: then the copy stops there.
bool copyRecords(Table& source, Table& target, const rt::Value& forCond, const rt::Value& whileCond,
                 std::int64_t limit) {
  const int sourceArea = source.area(), targetArea = target.area();
  auto bothOpen = [&] { return tableIn(sourceArea) == &source && tableIn(targetArea) == &target; };
  for (std::int64_t done = 0; !source.eof() && done != limit; ++done) {
    if (whileCond.isBlock()) {
      const bool go = evalBlock(source, whileCond).isTrue();
      if (!bothOpen()) return false;
      if (!go) break;
    }
    bool take = true;
    if (forCond.isBlock()) {
      take = evalBlock(source, forCond).isTrue();
      if (!bothOpen()) return false;
    }
    if (take) {
      std::string_view record;
      if (!source.getRecord(record)) return false;
      if (!target.append(true)) return false;
      if (!target.putRecord(record)) {
        target.deleteRecord();
        return false;
      }
    }
    source.skip(1);
  }
  return true;
}

}  // namespace

rt::Value DBSDF(bool exportFlag, const rt::Value& file, const rt::Value& fields,
                const rt::Value& forCond, const rt::Value& whileCond, const rt::Value& count,
                const rt::Value& record, const rt::Value& rest, const rt::Value& connection) {
  rt::CallFrame frame("__DBSDF");
  if (exportFlag) return notSupported("COPY TO");
  return DBAPP(file, fields, forCond, whileCond, count, record, rest, "SDF", connection);
}

rt::Value DBAPP(const rt::Value& file, const rt::Value& fields, const rt::Value& forCond,
                const rt::Value& whileCond, const rt::Value& count, const rt::Value& record,
                const rt::Value& rest, const rt::Value& driver, const rt::Value& /*connection*/) {
  rt::CallFrame frame("__DBAPP");
  registerSdfDriver();
  Table* target = requireTable(kAppendFrom);
  if (!target) return {};
  const int remembered = currentArea();

  if (fields.isArray() && !fields.array().empty()) return notSupported(kAppendFrom);
  const std::string driverName = driver.isText() ? driver.text() : std::string(defaultDriver());
  const DriverInfo* info = findDriver(driverName);
  if (info && info->kind == DriverKind::Full) return notSupported(kAppendFrom);
  if (!target->canPutRecords()) return notSupported(kAppendFrom);

  // Source and target agree field by field, so each source record is a whole target record.
  std::vector<FieldDef> structure(target->fields().begin(), target->fields().end());

  UseRequest use;
  use.newArea = true;
  use.driver = driverName;
  use.fileName = file.isText() ? file.text() : std::string();
  use.noAlias = true;
  use.shared = true;
  use.readOnly = true;
  use.structure = &structure;
  use.operation = kAppendFrom;

  // However the transfer ends, the source's area is freed and the remembered one is current.
  struct Restore {
    int remembered;
    int sourceArea = 0;
    const Table* source = nullptr;
    ~Restore() {
      if (source && tableIn(sourceArea) == source) closeArea(sourceArea);
      selectArea(remembered);
    }
  } restore{remembered};
  restore.sourceArea = useArea(use);
  if (restore.sourceArea == 0) return false;
  Table& source = *tableIn(restore.sourceArea);
  restore.source = &source;
  if (!source.canPutRecords()) return notSupported(kAppendFrom);

  std::int64_t limit = -1;  // no limit
  std::int64_t n = 0;
  if (wholeArg(record, n)) {
    source.goTop();
    if (n >= 2) source.skip(n - 1);
    limit = n >= 1 ? 1 : 0;
  } else if (wholeArg(count, n)) {
    limit = n > 0 ? n : 0;
  } else if (whileCond.isNil() && !rest.isTrue()) {
    source.goTop();
  }

  if (!copyRecords(source, *target, forCond, whileCond, limit)) return false;
  // Both tables are still open here. A read given up ended the copy early: not a success.
  const auto* sdf = dynamic_cast<const SdfTable*>(&source);
  return !(sdf && sdf->readFailed());
}

}  // namespace db

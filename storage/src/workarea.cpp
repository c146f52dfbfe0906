#include "db/workarea.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <optional>

#include "db/dbf.h"
#include "db/drivers.h"
#include "rt/callstack.h"
#include "rt/errortext.h"
#include "rt/launcher.h"
#include "rt/workvars.h"

namespace db {

// The open tables by area number, the current area, and the bookkeeping fields of Table that
// only this layer sets.
class WorkAreas {
 public:
  static WorkAreas& get() {
    static WorkAreas w;
    return w;
  }

  std::map<int, std::unique_ptr<Table>> tables;
  // Tables closed while one of their own operations was running (a callback closed its area):
  // kept until that operation has returned.
  std::vector<std::unique_ptr<Table>> retired;
  int current = 1;
  std::uint64_t nextSerial = 1;

  static void setDriver(Table& t, std::string_view name) { t.registeredName_ = name; }
  static void bind(Table& t, int area, std::uint64_t serial) {
    t.area_ = area;
    t.serial_ = serial;
  }
  static void setAlias(Table& t, std::string alias) { t.alias_ = std::move(alias); }
  static std::uint64_t serial(const Table& t) { return t.serial_; }

  // Keeps a table's object alive while one of its operations runs callbacks.
  class Busy {
   public:
    explicit Busy(Table& t) : t_(t) { ++t_.busy_; }
    ~Busy() {
      if (--t_.busy_ > 0) return;
      auto& r = get().retired;
      for (auto it = r.begin(); it != r.end(); ++it) {
        if (it->get() == &t_) {
          r.erase(it);
          break;
        }
      }
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    Table& t_;
  };
  static void remove(int area) {
    auto it = get().tables.find(area);
    if (it == get().tables.end()) return;
    if (it->second->busy_ > 0) get().retired.push_back(std::move(it->second));
    get().tables.erase(it);
  }

 private:
  WorkAreas() { installRuntimeHooks(); }
};

namespace {

WorkAreas& areas() { return WorkAreas::get(); }

char upperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upperTrimmed(std::string_view s) {
  std::size_t end = s.find_last_not_of(' ');
  s = end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
  std::string out(s);
  for (char& c : out) c = upperChar(c);
  return out;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The default alias: the base name without folder and extension, upper case, at most 32 bytes.
std::string aliasFromFileName(std::string_view name) {
  std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name = name.substr(slash + 1);
  std::size_t dot = name.find_last_of('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  std::string alias = upperTrimmed(name);
  if (alias.size() > 32) alias = upperTrimmed(alias.substr(0, 32));
  return alias;
}

bool validAlias(std::string_view a) {
  if (a.empty() || !(isLetter(a[0]) || a[0] == '_')) return false;
  for (char c : a)
    if (!(isLetter(c) || isDigit(c) || c == '_')) return false;
  return true;
}

// A single letter A..K or M names an area, so it cannot be an alias.
bool isAreaLetter(char c) { return (c >= 'A' && c <= 'K') || c == 'M'; }
bool areaLetter(std::string_view a) { return a.size() == 1 && isAreaLetter(a[0]); }

rt::ErrorObj commandError(int gencode, int subcode, std::string_view operation) {
  rt::ErrorObj e = rt::makeError("DBCMD", gencode, subcode);
  e.operation = operation;
  return e;
}

void argumentError(int subcode, std::string_view operation) {
  rt::ErrorObj e = commandError(rt::gen::kArgument, subcode, operation);
  rt::raise(e);
}

bool stillOpen(int area, std::uint64_t serial) {
  Table* t = tableIn(area);
  return t && WorkAreas::serial(*t) == serial;
}

// Evaluates `b` with `table`'s area current and a "(b)..." call level named `frameName`.
rt::Value evalIn(Table& table, const rt::Block& b, std::string_view frameName) {
  const int area = table.area();
  const std::uint64_t serial = WorkAreas::serial(table);
  struct Restore {
    int saved;
    bool active;
    ~Restore() {
      if (active) areas().current = saved;
    }
  } restore{areas().current, areas().current != area};
  if (restore.active) areas().current = area;
  rt::Value result;
  {
    rt::CallFrame frame(frameName);
    if (b.fn) result = b.fn();
  }
  if (stillOpen(area, serial)) table.setLastCallbackResult(result);
  return result;
}

// Makes a table of `driver`, puts it into `area` (which must be empty) and returns it.
Table& place(int area, const DriverInfo& driver) {
  std::unique_ptr<Table> table = driver.make();
  Table& t = *table;
  WorkAreas::setDriver(t, driver.name);
  WorkAreas::bind(t, area, areas().nextSerial++);
  areas().tables[area] = std::move(table);
  return t;
}

// Removes the table of `area` without closing it (its open failed).
void discard(int area) { areas().tables.erase(area); }

// Binds the alias of a table just opened; false after raising the alias error.
bool bindAlias(Table& t, const std::string& alias) {
  if (!validAlias(alias)) {
    rt::ErrorObj e = commandError(rt::gen::kAliasIllegal, 1010, alias);
    e.canDefault = true;
    rt::raise(e);
    return false;
  }
  int holder = areaOfAlias(alias);
  if (areaLetter(alias) || (holder != 0 && holder != t.area())) {
    rt::ErrorObj e = commandError(rt::gen::kAliasInUse, 1011, alias);
    e.canDefault = true;
    rt::raise(e);
    return false;
  }
  WorkAreas::setAlias(t, alias);
  return true;
}

std::optional<std::int64_t> wholeNumber(const rt::Value& v) {
  if (v.isInteger()) return v.integer();
  if (v.isDouble()) {
    double d = v.dbl();
    if (!(d == d)) return 0;
    if (d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (d <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

}  // namespace

// --- areas -------------------------------------------------------------------------------------

int currentArea() { return areas().current; }

void selectArea(int area) { areas().current = area; }

Table* tableIn(int area) {
  auto& t = areas().tables;
  auto it = t.find(area);
  return it == t.end() ? nullptr : it->second.get();
}

Table* currentTable() { return tableIn(areas().current); }

int lowestFreeArea() {
  int want = 1;
  for (const auto& [area, table] : areas().tables) {
    if (area != want) break;
    ++want;
  }
  return want;
}

int areaOfAlias(std::string_view alias) {
  std::size_t end = alias.find_last_not_of(' ');
  alias = end == std::string_view::npos ? std::string_view() : alias.substr(0, end + 1);
  if (alias.empty()) return 0;
  for (const auto& [area, table] : areas().tables) {
    const std::string& a = table->alias();
    if (a.size() != alias.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < a.size() && same; ++i) same = upperChar(alias[i]) == a[i];
    if (same) return area;
  }
  return 0;
}

Table* requireTable(std::string_view operation) {
  if (Table* t = currentTable()) return t;
  rt::ErrorObj e = commandError(rt::gen::kNoWorkarea, 2001, operation);
  e.canDefault = true;
  rt::raise(e);
  return nullptr;
}

void closeArea(int area) {
  Table* t = tableIn(area);
  if (!t) return;
  // The area is emptied however the close ends (error, or Quit unwinding through it).
  struct Release {
    int area;
    ~Release() { WorkAreas::remove(area); }
  } release{area};
  t->close();
}

int useArea(const UseRequest& req) {
  WorkAreas& w = areas();
  const int target = req.newArea ? lowestFreeArea() : w.current;
  if (!req.newArea) closeArea(target);
  w.current = target;
  rt::setNetErr(false);

  std::string driverName =
      req.driver.empty() ? std::string(defaultDriver()) : upperTrimmed(req.driver);
  if (driverName.size() > 32) driverName.resize(32);
  const DriverInfo* driver = findDriver(driverName);
  // A transfer driver has no structure of its own: it opens only as the source of a copy.
  if (!driver || (driver->kind == DriverKind::Transfer && !req.structure)) {
    argumentError(1015, req.operation);
    return 0;
  }
  if (req.fileName.empty()) {
    argumentError(1005, req.operation);
    return 0;
  }

  Table& t = place(target, *driver);
  bool opened = false;
  struct Discard {  // a failed open leaves the area empty, also when Quit unwinds through it
    int area;
    bool& keep;
    ~Discard() {
      if (!keep) discard(area);
    }
  } guard{target, opened};

  OpenRequest def;
  def.fileName = req.fileName;
  def.shared = req.shared;
  def.readOnly = req.readOnly;
  def.structure = req.structure;
  if (!t.open(def)) return 0;
  if (!req.noAlias) {
    const std::string alias =
        req.alias.empty() ? aliasFromFileName(req.fileName) : upperTrimmed(req.alias);
    if (!bindAlias(t, alias)) {
      t.close();
      return 0;
    }
  }
  opened = true;
  t.goTop();
  return target;
}

rt::Value evalBlock(Table& table, const rt::Value& block) {
  if (!block.isBlock()) return {};
  const rt::Block& b = block.block();
  const std::string frame = "(b)" + b.definedIn;
  return evalIn(table, b, frame);
}

void installRuntimeHooks() {
  rt::setFieldReader([](std::string_view name) -> std::optional<rt::Value> {
    Table* t = currentTable();
    if (!t) return std::nullopt;
    int i = t->fieldIndex(name);
    if (i < 0) return std::nullopt;
    rt::Value v;
    t->getValue(static_cast<std::size_t>(i), v);
    return v;
  });
  rt::setWorkAreaReporter([] { return workAreaReport(); });
}

rt::WorkAreaReport workAreaReport() {
  rt::WorkAreaReport report;
  report.currentArea = areas().current;
  for (const auto& [area, table] : areas().tables) {
    if (area > 600) break;
    rt::WorkAreaLine line;
    line.area = area;
    line.alias = table->alias();
    line.recno = table->recNo();
    OrderInfo order = table->orderInfo();
    line.order = order.order;
    line.key = std::move(order.key);
    report.areas.push_back(std::move(line));
  }
  return report;
}

// --- commands ----------------------------------------------------------------------------------

void DBSELECTAREA(const rt::Value& area) {
  rt::CallFrame frame("DBSELECTAREA");
  std::int64_t number = 0;
  if (std::optional<std::int64_t> n = wholeNumber(area)) {
    number = *n;
  } else if (area.isText()) {
    std::string_view s = area.text();
    std::size_t start = s.find_first_not_of(' ');
    s = start == std::string_view::npos ? std::string_view() : s.substr(start);
    if (!s.empty() && isDigit(s[0])) {
      for (std::size_t i = 0; i < s.size() && isDigit(s[i]); ++i) {
        number = number * 10 + (s[i] - '0');
        if (number > kMaxArea) break;  // beyond the areas: the lowest free one
      }
    } else if (!s.empty() && (s.size() == 1 || s[1] == ' ') && isAreaLetter(upperChar(s[0]))) {
      char c = upperChar(s[0]);
      number = c == 'M' ? kMaxArea : c - 'A' + 1;
    } else {
      rt::ErrorObj e;
      bool made = false;
      for (;;) {
        if (int found = areaOfAlias(s)) {
          number = found;
          break;
        }
        if (!made) {
          e = rt::makeError("BASE", rt::gen::kNoAlias, 1002);
          e.operation = area.text();
          e.canRetry = true;
          made = true;
        }
        if (rt::raise(e) != rt::Answer::Retry) return;
      }
    }
  } else {
    return;
  }
  areas().current = number >= 1 && number < kMaxArea ? static_cast<int>(number) : lowestFreeArea();
}

bool DBUSEAREA(const rt::Value& newArea, const rt::Value& driver, const rt::Value& file,
               const rt::Value& alias, const rt::Value& shared, const rt::Value& readOnly) {
  rt::CallFrame frame("DBUSEAREA");
  UseRequest req;
  req.newArea = newArea.isTrue();
  if (driver.isText()) req.driver = driver.text();
  if (file.isText()) req.fileName = file.text();
  if (alias.isText()) req.alias = alias.text();
  req.shared = shared.isLogical() ? shared.logical() : false;  // the exclusive setting is on
  req.readOnly = readOnly.isTrue();
  return useArea(req) != 0;
}

bool DBCREATE(const rt::Value& file, const rt::Value& structure, const rt::Value& driver,
              const rt::Value& keepOpen, const rt::Value& alias) {
  rt::CallFrame frame("DBCREATE");
  bool argsOk = file.isText() && structure.isArray();
  if (argsOk) {
    for (const rt::Value& row : structure.array()) {
      if (!row.isArray() || row.array().size() < 4 || !row.array()[0].isText() ||
          !row.array()[1].isText() || !row.array()[2].isNumber() || !row.array()[3].isNumber()) {
        argsOk = false;
        break;
      }
    }
  }
  if (!argsOk) {
    argumentError(1014, "DBCREATE");
    return false;
  }
  const DriverInfo* drv =
      findDriver(driver.isText() && !driver.text().empty() ? std::string_view(driver.text())
                                                           : defaultDriver());
  if (!drv) {
    argumentError(1015, "DBCREATE");
    return false;
  }

  std::vector<FieldDef> fields;
  std::uint64_t recordLen = 1;
  for (const rt::Value& rowValue : structure.array()) {
    const rt::List& row = rowValue.array();
    FieldDef f;
    std::string_view name = row[0].text();
    std::size_t start = name.find_first_not_of(" \t\r\n");
    f.name =
        upperTrimmed(start == std::string_view::npos ? std::string_view() : name.substr(start));
    if (f.name.size() > 63) f.name = upperTrimmed(f.name.substr(0, 63));
    if (f.name.empty()) return false;  // the creation fails without an error
    f.type = row[1].text().empty() ? '\0' : upperChar(row[1].text()[0]);
    std::int64_t width = std::max<std::int64_t>(0, *wholeNumber(row[2]));
    std::int64_t decimals = std::max<std::int64_t>(0, *wholeNumber(row[3]));
    if (f.type == 'C') decimals = 0;
    // Only character and numeric fields exist here; their widths and decimals must fit the
    // descriptor bytes.
    const bool fits =
        (f.type == 'C' && width <= 0xFFFF) || (f.type == 'N' && width <= 255 && decimals <= 255);
    if (!fits) {
      argumentError(1014, "DBCREATE");
      return false;
    }
    f.width = static_cast<int>(width);
    f.decimals = static_cast<int>(decimals);
    recordLen += static_cast<std::uint64_t>(width);
    fields.push_back(std::move(f));
  }
  if (fields.empty() || recordLen > 0xFFFF) {
    argumentError(1014, "DBCREATE");
    return false;
  }

  WorkAreas& w = areas();
  const bool keep = keepOpen.isTrue();
  const int saved = w.current;
  int target = saved;
  if (keep) {
    closeArea(target);
  } else {
    target = lowestFreeArea();
  }
  Table& t = place(target, *drv);
  w.current = target;
  bool created = false;
  bool keptOpen = false;
  try {
    created = t.create(file.text(), fields);
    if (created && keep) {
      const std::string name = alias.isText() && !alias.text().empty()
                                   ? upperTrimmed(alias.text())
                                   : aliasFromFileName(file.text());
      keptOpen = bindAlias(t, name);
    }
  } catch (...) {  // Quit: drop the half-made table without further errors
    discard(target);
    w.current = saved;
    throw;
  }
  if (!keptOpen) {
    closeArea(target);
    w.current = keep ? target : saved;
  }
  return created;
}

void DBGOTO(std::int64_t record) {
  rt::CallFrame frame("DBGOTO");
  if (Table* t = requireTable("DBGOTO")) {
    const bool inRange = record >= 1 && record <= static_cast<std::int64_t>(t->recCount());
    t->goTo(inRange ? static_cast<std::uint32_t>(record) : 0);
  }
}

void DBGOTOP() {
  rt::CallFrame frame("DBGOTOP");
  if (Table* t = requireTable("DBGOTOP")) t->goTop();
}

void DBSKIP(std::int64_t count) {
  rt::CallFrame frame("DBSKIP");
  if (Table* t = requireTable("DBSKIP")) t->skip(count);
}

bool DBEOF() {
  Table* t = currentTable();
  return !t || t->eof();
}

bool DBBOF() {
  Table* t = currentTable();
  return !t || t->bof();
}

bool FOUND() {
  Table* t = currentTable();
  return t && t->found();
}

std::int64_t RECNO() {
  Table* t = currentTable();
  return t ? t->recNo() : 0;
}

std::int64_t LASTREC() {
  Table* t = currentTable();
  return t ? t->recCount() : 0;
}

bool DELETED() {
  rt::CallFrame frame("DELETED");
  bool out = false;
  if (Table* t = currentTable()) t->deleted(out);
  return out;
}

bool DBAPPEND(bool unlockAll) {
  rt::CallFrame frame("DBAPPEND");
  Table* t = requireTable("DBAPPEND");
  if (!t) return false;
  rt::setNetErr(false);
  return t->append(unlockAll);
}

void DBDELETE() {
  rt::CallFrame frame("DBDELETE");
  if (Table* t = requireTable("DBDELETE")) t->deleteRecord();
}

void DBRECALL() {
  rt::CallFrame frame("DBRECALL");
  if (Table* t = requireTable("DBRECALL")) t->recall();
}

void DBPACK(const rt::Value& progress, const rt::Value& interval) {
  rt::CallFrame frame("__DBPACK");
  Table* t = requireTable("__DBPACK");
  if (!t) return;
  auto* dbf = dynamic_cast<DbfTable*>(t);
  if (dbf && progress.isBlock()) {
    const std::string name = "(b)" + progress.block().definedIn;
    std::int64_t every = wholeNumber(interval).value_or(1);
    dbf->packInterval =
        every > 0 ? static_cast<std::uint32_t>(std::min<std::int64_t>(every, 0xFFFFFFFF)) : 1;
    dbf->packProgress = [dbf, &progress, name] { evalIn(*dbf, progress.block(), name); };
  }
  WorkAreas::Busy busy(*t);  // the progress callback may close the area
  struct Clear {
    DbfTable* dbf;
    ~Clear() {
      if (dbf) dbf->packProgress = nullptr;
    }
  } clear{dbf};
  t->pack();
}

void DBEVAL(const rt::Value& action, const rt::Value& forCond, const rt::Value& whileCond,
            const rt::Value& count, const rt::Value& record, const rt::Value& rest) {
  rt::CallFrame frame("DBEVAL");
  Table* t = requireTable("DBEVAL");
  if (!t) return;
  const bool argsOk = action.isBlock() && (forCond.isNil() || forCond.isBlock()) &&
                      (whileCond.isNil() || whileCond.isBlock()) &&
                      (count.isNil() || count.isNumber()) &&
                      (record.isNil() || record.isNumber()) && (rest.isNil() || rest.isLogical());
  if (!argsOk) {
    argumentError(2019, "DBEVAL");
    return;
  }
  // The call level names are built once, not per record.
  const std::string actionName = "(b)" + action.block().definedIn;
  const std::string forName = forCond.isBlock() ? "(b)" + forCond.block().definedIn : "";
  const std::string whileName = whileCond.isBlock() ? "(b)" + whileCond.block().definedIn : "";
  const int area = t->area();
  const std::uint64_t serial = WorkAreas::serial(*t);
  WorkAreas::Busy busy(*t);
  auto alive = [&] { return stillOpen(area, serial); };

  std::int64_t remaining = -1;  // no count
  if (!record.isNil()) {
    const std::int64_t n = *wholeNumber(record);
    const bool inRange = n >= 1 && n <= static_cast<std::int64_t>(t->recCount());
    if (!t->goTo(inRange ? static_cast<std::uint32_t>(n) : 0)) return;
    remaining = 1;
  } else if (!count.isNil()) {
    remaining = std::max<std::int64_t>(0, *wholeNumber(count));
  } else if (whileCond.isNil() && !rest.isTrue()) {
    if (!t->goTop()) return;
  }

  while (remaining != 0 && !t->eof()) {
    if (whileCond.isBlock()) {
      rt::Value go = evalIn(*t, whileCond.block(), whileName);
      if (!alive() || !go.isTrue()) break;
    }
    bool run = true;
    if (forCond.isBlock()) {
      run = evalIn(*t, forCond.block(), forName).isTrue();
      if (!alive()) break;
    }
    if (run) {
      evalIn(*t, action.block(), actionName);
      if (!alive()) break;
    }
    if (remaining > 0 && --remaining == 0) break;
    if (!t->skip(1)) break;
  }
}

void DBCOMMIT() {
  rt::CallFrame frame("DBCOMMIT");
  if (Table* t = requireTable("DBCOMMIT")) t->flush();
}

void DBCLOSEAREA() {
  rt::CallFrame frame("DBCLOSEAREA");
  closeArea(areas().current);
}

void DBCLOSEALL() {
  rt::CallFrame frame("DBCLOSEALL");
  WorkAreas& w = areas();
  if (w.tables.empty()) return;
  std::vector<int> open;
  for (const auto& [area, table] : w.tables) open.push_back(area);
  // A Quit while one table closes must not leave the others open with their pending records:
  // every area is closed, and the break goes on afterwards.
  bool broke = false;
  for (int area : open) {
    w.current = area;
    try {
      closeArea(area);
    } catch (const rt::Break&) {
      broke = true;
    }
  }
  w.current = 1;
  if (broke) throw rt::Break{};
}

void closeAllAtExit() {
  try {
    DBCLOSEALL();
  } catch (const rt::Break&) {
  }
}

// --- fields ------------------------------------------------------------------------------------

namespace {

bool findField(std::string_view name, Table*& table, std::size_t& index) {
  table = currentTable();
  const int i = table ? table->fieldIndex(name) : -1;
  if (i < 0) return false;
  index = static_cast<std::size_t>(i);
  return true;
}

// The current table and the index of its field `name`; raises "Variable does not exist" (retry
// looks again). False after any other answer.
bool locateField(std::string_view name, Table*& table, std::size_t& index) {
  if (findField(name, table, index)) return true;
  // Only a miss builds the error object: this function runs for every field access.
  rt::ErrorObj e = rt::makeError("BASE", rt::gen::kNoVariable, 1003);
  e.operation = name;
  e.canRetry = true;
  do {
    if (rt::raise(e) != rt::Answer::Retry) return false;
  } while (!findField(name, table, index));
  return true;
}

}  // namespace

rt::Value fieldGet(std::string_view name) {
  Table* t = nullptr;
  std::size_t i = 0;
  rt::Value v;
  if (locateField(name, t, i)) t->getValue(i, v);
  return v;
}

void fieldPut(std::string_view name, const rt::Value& value) {
  Table* t = nullptr;
  std::size_t i = 0;
  if (locateField(name, t, i)) t->putValue(i, value);
}

std::string_view recordGet() {
  std::string_view out;
  if (Table* t = currentTable()) t->getRecord(out);
  return out;
}

void recordPut(std::string_view bytes) {
  if (Table* t = currentTable()) t->putRecord(bytes);
}

}  // namespace db

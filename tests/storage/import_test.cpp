// The text import into the template table: the line cases as one table, the work-area state it
// leaves behind, and its failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/dbfntx.h"
#include "db/drivers.h"
#include "db/import.h"
#include "db/workarea.h"
#include "failing_reads.h"
#include "rt/launcher.h"
#include "storage_fixture.h"

namespace {

using namespace storage_test;
using rt::Choice;
using rt::Value;
using testing_support::writeFile;

constexpr std::size_t kRecLen = 424;

Value templateStructure() {
  auto row = [](const char* name, const char* type, int width, int decimals) {
    return Value(rt::List{name, type, width, decimals});
  };
  return rt::List{row("campo", "c", 240, 0),   row("codigo", "c", 40, 0),
                  row("descri", "c", 70, 0),   row("unidad", "c", 5, 0),
                  row("existen", "n", 18, 5),  row("costprom", "n", 18, 5),
                  row("ultcosto", "n", 18, 5), row("localiza", "c", 15, 0)};
}

// The record a line should give: blank flag byte, the line cut or blank-filled to 424 bytes.
std::string rec(std::string line) {
  line.resize(kRecLen, ' ');
  return " " + line;
}

std::string bytes(std::size_t n, char first = 'a') {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(first + i % 26);
  return s;
}

class ImportTest : public TablesTest {
 protected:
  // plantilla.dbf with the template layout, open in area 1 (current).
  void SetUp() override { openTemplate(); }
  void openTemplate(const Value& driver = {}, const Value& readOnly = {}) {
    db::DBCLOSEALL();
    if (!std::filesystem::exists("plantilla.dbf")) {
      ASSERT_TRUE(db::DBCREATE("plantilla", templateStructure()));
    }
    ASSERT_TRUE(db::DBUSEAREA(false, driver, "plantilla", {}, {}, readOnly));
  }
  // Every record of the current table, flag byte included.
  std::vector<std::string> records() {
    std::vector<std::string> out;
    for (db::DBGOTOP(); !db::DBEOF(); db::DBSKIP()) out.emplace_back(db::recordGet());
    return out;
  }
};

struct LineCase {
  const char* what;
  std::string file;
  std::vector<std::string> lines;  // before cutting / filling to the record length
};

TEST_F(ImportTest, OneRecordPerCrLfLine) {
  const std::string line300 = bytes(300), line426 = bytes(426, 'A'), line427 = bytes(427, 'A');
  const std::string line1000 = bytes(1000);
  const std::string odd = std::string("\0\t\"'\x80\xff,x", 8);
  const std::vector<LineCase> cases = {
      {"CR LF lines", "A1,Tornillo\r\nB2,Tuerca\r\n", {"A1,Tornillo", "B2,Tuerca"}},
      {"final line without terminator", "A1\r\nB2", {"A1", "B2"}},
      {"trailing CR LF", "A1\r\n", {"A1"}},
      {"trailing CR LF and 0x1A", "A1\r\n\x1A", {"A1"}},
      {"0x1A ending the last line", "A1\r\nB2\x1A", {"A1", "B2"}},
      {"empty line inside", "A1\r\n\r\nB2\r\n", {"A1", "", "B2"}},
      {"CR LF CR LF at the end", "A1\r\n\r\n", {"A1", ""}},
      {"empty file", "", {}},
      {"only 0x1A", "\x1A", {}},
      {"LF only", "A1\nB2\n", {"A1\nB2\n"}},
      {"CR only", "A1\rB2\r", {"A1\rB2\r"}},
      {"300-byte line", line300 + "\r\nB2\r\n", {line300, "B2"}},
      {"426-byte line, terminator ends the window", line426 + "\r\nB2\r\n", {line426, "B2"}},
      {"427-byte line, CR LF straddles the window", line427 + "\r\nB2\r\n", {line427, "B2"}},
      {"1,000-byte line", line1000 + "\r\nB2\r\n", {line1000, "B2"}},
      {"1,000-byte last line without terminator", "A1\r\n" + line1000, {"A1", line1000}},
      {"CR CR LF", "A1\r\r\nB2\r\n", {"A1\r", "B2"}},
      {"NUL, tab, quotes, high bytes", odd + "\r\n", {odd}},
      {"inner 0x1A",
       "A\x1A"
       "1\r\n\x1A\x1A",
       {"A\x1A"
        "1",
        "\x1A"}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.what);
    db::DBCLOSEALL();
    std::filesystem::remove("plantilla.dbf");
    openTemplate();
    writeFile("plantilla.csv", c.file);
    EXPECT_TRUE(db::DBSDF(false, "plantilla.csv").isTrue());
    std::vector<std::string> want;
    for (const std::string& l : c.lines) want.push_back(rec(l));
    EXPECT_EQ(records(), want);
  }
  EXPECT_TRUE(shown().shown.empty());
}

TEST_F(ImportTest, FieldsTakeTheirSlicesOfTheLine) {
  writeFile("plantilla.csv", bytes(300) + "\r\n");
  db::DBSDF(false, "plantilla.csv");
  db::DBGOTOP();
  EXPECT_EQ(db::fieldGet("campo").text(), bytes(300).substr(0, 240));
  EXPECT_EQ(db::fieldGet("codigo").text(), bytes(300).substr(240, 40));
  EXPECT_EQ(db::fieldGet("descri").text(), bytes(300).substr(280, 20) + std::string(50, ' '));
  EXPECT_EQ(db::fieldGet("localiza").text(), std::string(15, ' '));
  EXPECT_FALSE(db::DELETED());
}

TEST_F(ImportTest, NameWithoutExtensionReadsTxt) {
  writeFile("plantilla.txt", "T1\r\n");
  writeFile("plantilla", "wrong\r\n");
  EXPECT_TRUE(db::DBSDF(false, "plantilla").isTrue());
  EXPECT_EQ(records(), std::vector<std::string>{rec("T1")});
}

TEST_F(ImportTest, LeavesTargetOnLastAppendedRecordAndPreviousAreaCurrent) {
  ASSERT_TRUE(db::DBAPPEND());
  db::fieldPut("campo", "before");
  db::DBGOTOP();
  writeFile("plantilla.csv", "A1\r\nB2\r\n");
  int areaDuringCopy = 0;
  int linesSeen = 0;
  Value spy = rt::Block{[&] {
                          areaDuringCopy = db::currentArea();
                          ++linesSeen;
                          return Value(true);
                        },
                        "TEST"};
  EXPECT_TRUE(db::DBSDF(false, "plantilla.csv", {}, spy).isTrue());
  EXPECT_EQ(areaDuringCopy, 2);  // the text file's area, the lowest free one
  EXPECT_EQ(linesSeen, 2);
  EXPECT_EQ(db::currentArea(), 1);
  EXPECT_EQ(db::tableIn(2), nullptr);
  EXPECT_EQ(db::RECNO(), 3);
  EXPECT_EQ(db::LASTREC(), 3);
  auto* t = dynamic_cast<db::DbfTable*>(db::currentTable());
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->isAppended());  // still in the buffer, written at the next write back
  EXPECT_EQ(db::recordGet(), rec("B2"));

  writeFile("empty.csv", "");
  db::DBGOTO(1);
  EXPECT_TRUE(db::DBSDF(false, "empty.csv").isTrue());
  EXPECT_EQ(db::RECNO(), 1);
  EXPECT_EQ(db::LASTREC(), 3);
}

TEST_F(ImportTest, ScopeArguments) {
  writeFile("s.csv", "A\r\nB\r\nC\r\nD\r\n");
  // Reads the text file's field by name: its area is current while the conditions run.
  auto lineIsNot = [](char c) {
    return Value(rt::Block{[c] { return Value(db::fieldGet("campo").text()[0] != c); }, "TEST"});
  };
  struct Case {
    const char* what;
    Value forCond, whileCond, count, record;
    std::string want;
  } cases[] = {
      {"for", lineIsNot('B'), {}, {}, {}, "ACD"},
      {"while", {}, lineIsNot('C'), {}, {}, "AB"},
      {"count", {}, {}, 2, {}, "AB"},
      {"record", {}, {}, {}, 3, "C"},
      {"record past the end", {}, {}, {}, 9, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    db::DBCLOSEALL();
    std::filesystem::remove("plantilla.dbf");
    openTemplate();
    EXPECT_TRUE(db::DBSDF(false, "s.csv", {}, c.forCond, c.whileCond, c.count, c.record).isTrue());
    std::string got;
    for (const std::string& r : records()) got += r[1];
    EXPECT_EQ(got, c.want);
  }
}

TEST_F(ImportTest, ConditionClosingTheTablesEndsTheCopySafely) {
  writeFile("s.csv", "A\r\nB\r\n");
  Value closeAll = rt::Block{[] {
                               db::DBCLOSEALL();
                               return Value(true);
                             },
                             "TEST"};
  for (int asWhile = 0; asWhile < 2; ++asWhile) {
    openTemplate();
    EXPECT_FALSE(
        db::DBSDF(false, "s.csv", {}, asWhile ? Value() : closeAll, asWhile ? closeAll : Value())
            .isTrue());
    EXPECT_EQ(db::currentArea(), 1);
    EXPECT_EQ(db::currentTable(), nullptr);
    EXPECT_EQ(db::tableIn(2), nullptr);
  }
}

TEST_F(ImportTest, NoTableInTheCurrentArea) {
  db::selectArea(3);
  writeFile("plantilla.csv", "A1\r\n");
  handler.presenter.script_ = {Choice::Ignore};
  EXPECT_TRUE(db::DBSDF(false, "plantilla.csv").isNil());
  ASSERT_EQ(shown().shown.size(), 1u);
  const rt::ErrorObj& e = shown().shown[0];
  EXPECT_EQ(e.subsystem, "DBCMD");
  EXPECT_EQ(e.gencode, 35);
  EXPECT_EQ(e.description, "Workarea not in use");
  EXPECT_EQ(e.subcode, 2001);
  EXPECT_EQ(e.operation, "APPEND FROM");
  EXPECT_TRUE(e.canDefault);
  EXPECT_FALSE(e.canRetry);
  EXPECT_EQ(e.procName, "__DBAPP");
  EXPECT_EQ(db::currentArea(), 3);
  db::selectArea(1);
  EXPECT_EQ(db::LASTREC(), 0);
}

TEST_F(ImportTest, OpenErrorIsRetriedWithTheSameObject) {
  std::vector<const rt::ErrorObj*> seen;
  rt::ErrorObj last;
  rt::setErrorBlock([&](rt::ErrorObj& e) -> Value {
    seen.push_back(&e);
    last = e;
    if (seen.size() == 2) writeFile("late.csv", "X\r\n");  // there for the second retry
    return true;
  });
  EXPECT_TRUE(db::DBSDF(false, "late.csv").isTrue());
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(last.tries, 1);  // as the handler saw it the second time
  EXPECT_EQ(last.subsystem, "SDF");
  EXPECT_EQ(last.gencode, 21);
  EXPECT_EQ(last.description, "Open error");
  EXPECT_EQ(last.subcode, 1001);
  EXPECT_EQ(last.oscode, 2);
  EXPECT_EQ(last.filename, "late.csv");
  EXPECT_EQ(last.severity, 2);
  EXPECT_TRUE(last.canRetry && last.canDefault);
  EXPECT_EQ(last.procName, "__DBAPP");
  EXPECT_EQ(records(), std::vector<std::string>{rec("X")});
}

TEST_F(ImportTest, OpenErrorGivenUpAppendsNothing) {
  handler.presenter.script_ = {Choice::Ignore};
  EXPECT_FALSE(db::DBSDF(false, "missing").isTrue());
  ASSERT_EQ(shown().shown.size(), 1u);
  EXPECT_EQ(shown().shown[0].filename, "missing.txt");
  EXPECT_EQ(db::currentArea(), 1);
  EXPECT_EQ(db::tableIn(2), nullptr);
  EXPECT_EQ(db::LASTREC(), 0);
}

// Another program's exclusive hold refuses the shared read with code 32, which the handler
// absorbs without a word: nothing is imported and the previous area is current again.
TEST_F(ImportTest, FileHeldExclusivelyElsewhere) {
  writeFile("plantilla.csv", "A1\r\n");
  int code = 0;
  auto holder =
      rt::os::os().open("plantilla.csv", {.write = true, .share = rt::os::Share::Exclusive}, &code);
  ASSERT_TRUE(holder);
  rt::setNetErr(false);
  const Value result = db::DBSDF(false, "plantilla.csv");
  EXPECT_TRUE(result.isLogical() && !result.logical());
  EXPECT_TRUE(shown().shown.empty());
  EXPECT_EQ(rt::dosError(), 32);
  EXPECT_TRUE(rt::netErr());
  EXPECT_EQ(db::currentArea(), 1);
  EXPECT_EQ(db::tableIn(2), nullptr);
  EXPECT_EQ(db::LASTREC(), 0);
}

TEST_F(ImportTest, ReadErrorGivenUpIsNotSuccess) {
  std::string file;
  for (int i = 0; i < 200'000; ++i) file += "A1\r\n";  // more than one read-ahead block
  writeFile("plantilla.csv", file);
  FailingReads fs;
  OsScope scope(fs);
  fs.failures = 1;
  fs.fromOffset = 1;
  handler.presenter.script_ = {Choice::Ignore};
  EXPECT_FALSE(db::DBSDF(false, "plantilla.csv").isTrue());
  ASSERT_EQ(shown().shown.size(), 1u);
  const rt::ErrorObj& e = shown().shown[0];
  EXPECT_EQ(e.subsystem, "SDF");
  EXPECT_EQ(e.description, "Read error");
  EXPECT_EQ(e.subcode, 1010);
  EXPECT_EQ(e.oscode, 1117);
  EXPECT_EQ(e.filename, "plantilla.csv");
  EXPECT_GT(db::LASTREC(), 0);  // what was read before stays
  EXPECT_LT(db::LASTREC(), 200'000);
}

// Quit during the copy (here: the target is read-only) unwinds with the text area closed.
TEST_F(ImportTest, QuitDuringTheCopyFreesTheTextArea) {
  openTemplate({}, true);
  writeFile("plantilla.csv", "A1\r\n");
  EXPECT_THROW(db::DBSDF(false, "plantilla.csv"), rt::Break);
  ASSERT_EQ(shown().shown.size(), 1u);
  EXPECT_EQ(shown().shown[0].description, "Write not allowed");
  EXPECT_EQ(db::currentArea(), 1);
  EXPECT_EQ(db::tableIn(2), nullptr);
}

// A target whose append or put fails after `okAppends` / `okPuts` successes, without an error
// object (as after a handler's default).
class FlakyTable final : public db::DbfNtxTable {
 public:
  static inline int okAppends = 0, okPuts = 0;
  bool append(bool unlockAll) override {
    return okAppends-- > 0 && db::DbfNtxTable::append(unlockAll);
  }
  bool putRecord(std::string_view b) override {
    return okPuts-- > 0 && db::DbfNtxTable::putRecord(b);
  }
};

TEST_F(ImportTest, AppendOrPutFailureStopsWithFalse) {
  db::registerDriver("FLAKY", db::DriverKind::Full, [] { return std::make_unique<FlakyTable>(); });
  writeFile("plantilla.csv", "A\r\nB\r\nC\r\n");

  openTemplate("FLAKY");
  FlakyTable::okAppends = 2;
  FlakyTable::okPuts = 9;
  EXPECT_FALSE(db::DBSDF(false, "plantilla.csv").isTrue());
  db::DBCLOSEALL();
  openTemplate();
  EXPECT_EQ(records(), (std::vector<std::string>{rec("A"), rec("B")}));

  std::filesystem::remove("plantilla.dbf");
  openTemplate("FLAKY");
  FlakyTable::okAppends = 9;
  FlakyTable::okPuts = 1;
  EXPECT_FALSE(db::DBSDF(false, "plantilla.csv").isTrue());
  EXPECT_EQ(db::currentArea(), 1);
  db::DBCLOSEALL();
  openTemplate();
  EXPECT_EQ(records(), (std::vector<std::string>{rec("A"), "*" + rec("").substr(1)}));
}

}  // namespace

// Work areas, aliases, positioning, the record buffer and the table commands.
#include <gtest/gtest.h>

#include "db/dbfntx.h"
#include "db/workarea.h"
#include "rt/callstack.h"
#include "rt/launcher.h"
#include "rt/workvars.h"
#include "storage_fixture.h"

namespace {

using namespace storage_test;
using rt::Choice;
using rt::Value;

class WorkAreaTest : public TablesTest {
 protected:
  // Creates "name.dbf" with NAME C 10 / QTY N 5 holding the given names.
  void makeTable(const char* name, std::initializer_list<const char*> rows) {
    ASSERT_TRUE(db::DBCREATE(name, smallStructure()));
    const int saved = db::currentArea();
    db::selectArea(db::lowestFreeArea());
    ASSERT_TRUE(db::DBUSEAREA(false, {}, name, "MAKING"));
    for (const char* r : rows) {
      ASSERT_TRUE(db::DBAPPEND());
      db::fieldPut("name", r);
    }
    db::DBCLOSEAREA();
    db::selectArea(saved);
  }
  std::string names() {
    std::string out;
    for (db::DBGOTOP(); !db::DBEOF(); db::DBSKIP()) {
      std::string n = db::fieldGet("NAME").text();
      out += n.substr(0, n.find(' '));
    }
    return out;
  }
};

TEST_F(WorkAreaTest, NothingOpenAnswersWithoutErrors) {
  EXPECT_TRUE(db::DBEOF());
  EXPECT_FALSE(db::FOUND());
  EXPECT_EQ(db::RECNO(), 0);
  EXPECT_EQ(db::currentArea(), 1);
  EXPECT_TRUE(shown().shown.empty());
}

TEST_F(WorkAreaTest, SelectArea) {
  makeTable("inven", {});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "inven"));  // area 1, alias INVEN
  struct Case {
    Value arg;
    int area;
  };
  // Area 1 holds a table, so the lowest free area is 2.
  const Case cases[] = {{"1", 1},       {" 2", 2},  {"B", 2},     {"b ", 2},     {2, 2},
                        {"M", 2},       {0, 2},     {"inven", 1}, {"INVEN ", 1}, {"12x", 12},
                        {65534, 65534}, {65535, 2}, {-3, 2},      {"k", 11},     {2.9, 2}};
  for (const Case& c : cases) {
    db::selectArea(7);
    db::DBSELECTAREA(c.arg);
    EXPECT_EQ(db::currentArea(), c.area) << c.arg.toText();
  }
  EXPECT_TRUE(shown().shown.empty());
}

TEST_F(WorkAreaTest, UnknownAliasIsRetriedThenLeavesTheAreaAlone) {
  handler.presenter.script_ = {Choice::Retry, Choice::Retry};
  db::selectArea(3);
  EXPECT_THROW(db::DBSELECTAREA("nosuch"), rt::Break);  // third answer: Quit
  ASSERT_EQ(shown().shown.size(), 3u);
  const rt::ErrorObj& e = shown().shown[0];
  EXPECT_EQ(e.subsystem, "BASE");
  EXPECT_EQ(e.gencode, 15);
  EXPECT_EQ(e.subcode, 1002);
  EXPECT_EQ(e.description, "Alias does not exist");
  EXPECT_EQ(e.operation, "nosuch");
  EXPECT_TRUE(e.canRetry);
  EXPECT_FALSE(e.canDefault);
  EXPECT_EQ(e.procName, "DBSELECTAREA");
  EXPECT_EQ(shown().shown[2].tries, 2);
  EXPECT_EQ(db::currentArea(), 3);
}

TEST_F(WorkAreaTest, UseAreaClosesWhatTheAreaHeldAndBindsTheAlias) {
  makeTable("inven", {"A"});
  makeTable("plantilla", {"B", "C"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "inven"));
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "plantilla"));
  EXPECT_EQ(db::tableIn(1)->alias(), "PLANTILLA");
  EXPECT_EQ(db::areaOfAlias("inven"), 0);
  EXPECT_EQ(db::LASTREC(), 2);
  EXPECT_EQ(db::RECNO(), 1);  // positioned on the first record
  // inven was closed, so another open of it succeeds.
  ASSERT_TRUE(db::DBUSEAREA(true, {}, "inven"));
  EXPECT_EQ(db::currentArea(), 2);
}

TEST_F(WorkAreaTest, AliasErrors) {
  makeTable("inven", {});
  makeTable("bb", {});
  makeTable("9lives", {});
  struct Case {
    const char* file;
    const char* alias;
    int gencode, subcode;
    const char* text;
  };
  ASSERT_TRUE(db::DBUSEAREA(true, {}, "inven", {}, true));  // shared, so it could open twice
  const Case cases[] = {
      {"inven", nullptr, 18, 1011, "Alias already in use"},
      {"bb", "b", 18, 1011, "Alias already in use"},  // a letter that names an area
      {"9lives", nullptr, 17, 1010, "Illegal characters in alias"},
      {"bb", "bad-name", 17, 1010, "Illegal characters in alias"},
  };
  for (const Case& c : cases) {
    shown().shown.clear();
    handler.presenter.script_ = {Choice::Ignore};
    db::selectArea(5);
    EXPECT_FALSE(db::DBUSEAREA(false, {}, c.file, c.alias ? Value(c.alias) : Value(), true));
    ASSERT_EQ(shown().shown.size(), 1u) << c.file;
    const rt::ErrorObj& e = shown().shown[0];
    EXPECT_EQ(e.subsystem, "DBCMD");
    EXPECT_EQ(e.gencode, c.gencode);
    EXPECT_EQ(e.subcode, c.subcode);
    EXPECT_EQ(e.description, c.text);
    EXPECT_TRUE(e.canDefault);
    EXPECT_EQ(db::currentArea(), 5);
    EXPECT_EQ(db::tableIn(5), nullptr);
  }
  EXPECT_TRUE(db::DBUSEAREA(false, {}, "bb", "ok_2  ", true));
  EXPECT_EQ(db::currentTable()->alias(), "OK_2");
}

TEST_F(WorkAreaTest, SameTableTwiceInOneProcessIsASharingConflict) {
  makeTable("inven", {"A"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "inven"));
  db::selectArea(2);
  rt::setNetErr(false);
  EXPECT_FALSE(db::DBUSEAREA(false, {}, "inven"));
  EXPECT_TRUE(shown().shown.empty());  // code 32 is absorbed by the handler
  EXPECT_TRUE(rt::netErr());
  EXPECT_EQ(db::currentArea(), 2);
  EXPECT_EQ(db::currentTable(), nullptr);
  // Every command on the empty area now raises "Workarea not in use".
  handler.presenter.script_ = {Choice::Ignore};
  db::DBGOTOP();
  ASSERT_EQ(shown().shown.size(), 1u);
  EXPECT_EQ(shown().shown[0].gencode, 35);
  EXPECT_EQ(shown().shown[0].subcode, 2001);
  EXPECT_EQ(shown().shown[0].operation, "DBGOTOP");
  EXPECT_EQ(shown().shown[0].subsystem, "DBCMD");
}

TEST_F(WorkAreaTest, OpenErrorOfAMissingFile) {
  handler.presenter.script_ = {Choice::Retry, Choice::Ignore};
  EXPECT_FALSE(db::DBUSEAREA(false, {}, "missing"));
  ASSERT_EQ(shown().shown.size(), 2u);
  const rt::ErrorObj& e = shown().shown[1];
  EXPECT_EQ(e.subsystem, "DBFNTX");
  EXPECT_EQ(e.gencode, 21);
  EXPECT_EQ(e.subcode, 1001);
  EXPECT_EQ(e.oscode, 2);
  EXPECT_EQ(e.filename, "missing.dbf");
  EXPECT_EQ(e.procName, "DBUSEAREA");
  EXPECT_EQ(e.procLine, 0);
  EXPECT_EQ(e.tries, 1);
  EXPECT_EQ(db::currentTable(), nullptr);
}

TEST_F(WorkAreaTest, UseAreaArgumentErrors) {
  struct Case {
    Value driver, file;
    int subcode;
  };
  const Case cases[] = {{{}, {}, 1005}, {"NOSUCH", "x", 1015}};
  for (const Case& c : cases) {
    shown().shown.clear();
    EXPECT_THROW(db::DBUSEAREA(false, c.driver, c.file), rt::Break);
    ASSERT_EQ(shown().shown.size(), 1u);
    EXPECT_EQ(shown().shown[0].subsystem, "DBCMD");
    EXPECT_EQ(shown().shown[0].gencode, 1);
    EXPECT_EQ(shown().shown[0].subcode, c.subcode);
    EXPECT_EQ(shown().shown[0].operation, "DBUSEAREA");
    EXPECT_FALSE(shown().shown[0].canRetry || shown().shown[0].canDefault);
    rt::resetBreak();
  }
}

TEST_F(WorkAreaTest, CreateWhileAreaOneHoldsATable) {
  makeTable("inven", {"A", "B"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "inven"));
  db::DBSKIP();
  ASSERT_TRUE(db::DBCREATE("plantilla", smallStructure()));
  EXPECT_EQ(db::currentArea(), 1);
  EXPECT_EQ(db::tableIn(2), nullptr);  // built in area 2 and closed again
  EXPECT_EQ(db::RECNO(), 2);
  EXPECT_EQ(db::currentTable()->alias(), "INVEN");
  EXPECT_TRUE(std::filesystem::exists("plantilla.dbf"));
}

TEST_F(WorkAreaTest, CreateArgumentErrors) {
  auto row = [](Value a, Value b, Value c, Value d) { return Value(rt::List{a, b, c, d}); };
  const Value cases[] = {
      Value(),                                                     // no structure
      rt::List{Value(rt::List{"a", "c", 10})},                     // row too short
      rt::List{row("a", "c", "10", 0)},                            // width not a number
      rt::List{row("a", "x", 10, 0)},                              // type outside C and N
      rt::List{row("a", "n", 256, 0)},                             // numeric wider than 255
      rt::List{row("a", "c", 40000, 0), row("b", "c", 40000, 0)},  // record over 65535 bytes
  };
  for (const Value& s : cases) {
    shown().shown.clear();
    EXPECT_THROW(db::DBCREATE("t", s), rt::Break) << s.toText();
    ASSERT_EQ(shown().shown.size(), 1u);
    EXPECT_EQ(shown().shown[0].subcode, 1014);
    EXPECT_EQ(shown().shown[0].operation, "DBCREATE");
    rt::resetBreak();
  }
  EXPECT_FALSE(std::filesystem::exists("t.dbf"));
  // An empty name ends the creation without an error.
  shown().shown.clear();
  EXPECT_FALSE(db::DBCREATE("t", rt::List{row(" \t", "c", 1, 0)}));
  EXPECT_TRUE(shown().shown.empty());
}

TEST_F(WorkAreaTest, PositioningAndFlags) {
  makeTable("t", {"A", "B", "C"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  db::DBSKIP(-1);  // before the first record
  EXPECT_EQ(db::RECNO(), 1);
  EXPECT_TRUE(db::DBBOF());
  EXPECT_FALSE(db::DBEOF());
  db::DBSKIP(2);
  EXPECT_EQ(db::RECNO(), 3);
  db::DBSKIP(1);
  EXPECT_TRUE(db::DBEOF());
  EXPECT_EQ(db::RECNO(), 4);
  EXPECT_EQ(db::fieldGet("name").text(), std::string(10, ' '));  // the blank record
  EXPECT_EQ(db::fieldGet("qty").integer(), 0);
  db::fieldPut("name", "ignored");  // at end of file nothing happens
  db::DBSKIP(1);
  EXPECT_EQ(db::RECNO(), 4);
  db::DBSKIP(-1);
  EXPECT_EQ(db::RECNO(), 3);
  EXPECT_FALSE(db::DBEOF());
  db::DBGOTO(99);
  EXPECT_TRUE(db::DBEOF());
  EXPECT_TRUE(db::DBBOF());
  EXPECT_EQ(names(), "ABC");
  EXPECT_TRUE(shown().shown.empty());
}

TEST_F(WorkAreaTest, EmptyTableIsAtEndOfFileOnRecordOne) {
  makeTable("t", {});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  db::DBGOTOP();
  EXPECT_TRUE(db::DBEOF());
  EXPECT_EQ(db::RECNO(), 1);
  int calls = 0;
  db::DBEVAL(rt::Block{[&] { return Value(++calls); }, "T"});
  EXPECT_EQ(calls, 0);
}

TEST_F(WorkAreaTest, FieldsByNameInAnyCaseAndThroughBareNames) {
  makeTable("t", {"Ana"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  rt::ActionScope scope;
  rt::assignVar("NAME", "variable");
  EXPECT_EQ(rt::readName("nAmE").text(), "Ana       ");  // the field comes first
  db::fieldPut("Qty", 12);
  EXPECT_EQ(db::fieldGet("QTY").integer(), 12);
  db::fieldPut("name", "A much longer name");
  EXPECT_EQ(db::fieldGet("name").text(), "A much lon");

  // A missing field: "Variable does not exist", retry looks again.
  handler.presenter.script_ = {Choice::Retry};
  EXPECT_THROW(db::fieldPut("codigo1", 1), rt::Break);
  ASSERT_EQ(shown().shown.size(), 2u);
  EXPECT_EQ(shown().shown[0].subsystem, "BASE");
  EXPECT_EQ(shown().shown[0].gencode, 14);
  EXPECT_EQ(shown().shown[0].subcode, 1003);
  EXPECT_EQ(shown().shown[0].operation, "codigo1");
}

TEST_F(WorkAreaTest, DataTypeErrorLeavesTheFieldAndWidthErrorLeavesAsterisks) {
  makeTable("t", {"Ana"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  handler.presenter.script_ = {Choice::Ignore, Choice::Ignore, Choice::Ignore};
  db::fieldPut("name", 5);
  db::fieldPut("qty", "x");
  db::fieldPut("qty", 123456);  // 6 digits into width 5
  ASSERT_EQ(shown().shown.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(shown().shown[i].gencode, 33);
    EXPECT_EQ(shown().shown[i].subcode, 1020);
    EXPECT_EQ(shown().shown[i].subsystem, "DBFNTX");
    EXPECT_TRUE(shown().shown[i].canDefault);
    EXPECT_FALSE(shown().shown[i].canRetry);
  }
  EXPECT_EQ(shown().shown[0].operation, "NAME");
  EXPECT_EQ(shown().shown[2].gencode, 34);
  EXPECT_EQ(shown().shown[2].subcode, 1021);
  EXPECT_EQ(shown().shown[2].operation, "QTY");
  db::DBSKIP(0);  // write back, read again
  EXPECT_EQ(db::fieldGet("name").text(), "Ana       ");
  std::string_view rec = db::recordGet();
  EXPECT_EQ(rec.substr(11), "*****");
}

TEST_F(WorkAreaTest, EvalDeletingEverySecondRecordThenPack) {
  makeTable("t", {"A", "B", "C", "D", "E", "F", "G"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  db::DBGOTO(5);  // DBEVAL starts from the top anyway
  std::vector<std::string> levels;
  // The condition wanders off to area 3; the action must still run in area 1.
  db::DBEVAL(rt::Block{[&] {
                         levels.push_back(std::string(rt::innermostFrame()->proc()));
                         db::DBDELETE();
                         return Value(true);
                       },
                       "TFORM1:BUTTON1CLICK"},
             rt::Block{[&] {
                         db::selectArea(3);
                         return Value(db::tableIn(1)->recNo() % 2 == 0);
                       },
                       "TFORM1:BUTTON1CLICK"},
             {}, {}, {}, false);
  EXPECT_EQ(db::currentArea(), 3);
  ASSERT_FALSE(levels.empty());
  EXPECT_EQ(levels[0], "(b)TFORM1:BUTTON1CLICK");
  db::selectArea(1);
  EXPECT_TRUE(db::DBEOF());
  db::DBPACK();
  EXPECT_EQ(db::LASTREC(), 4);
  EXPECT_EQ(db::RECNO(), 1);
  EXPECT_EQ(names(), "ACEG");
  db::DBCLOSEAREA();
  std::string bytes = testing_support::readFile("t.dbf");
  EXPECT_EQ(le32(bytes, 4), 4u);
  EXPECT_EQ(bytes.size(), 34u + 64u + 4u * 16u + 1u);
}

TEST_F(WorkAreaTest, CloseAllCases) {
  makeTable("aa", {});
  makeTable("bb", {});
  // Nothing open: the current area stays.
  db::selectArea(2);
  db::DBCLOSEALL();
  EXPECT_EQ(db::currentArea(), 2);
  ASSERT_TRUE(db::DBUSEAREA(true, {}, "aa"));
  ASSERT_TRUE(db::DBUSEAREA(true, {}, "bb"));
  EXPECT_EQ(db::currentArea(), 2);
  db::DBCLOSEALL();
  EXPECT_EQ(db::currentArea(), 1);
  EXPECT_EQ(db::tableIn(1), nullptr);
  EXPECT_EQ(db::tableIn(2), nullptr);
  // A table only in area 5: area 1 current afterwards.
  db::selectArea(5);
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "aa"));
  db::DBCLOSEALL();
  EXPECT_EQ(db::currentArea(), 1);
}

TEST_F(WorkAreaTest, AppendThenSkipWritesTheRecord) {
  makeTable("t", {"A"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  ASSERT_TRUE(db::DBAPPEND());
  db::fieldPut("name", "B");
  EXPECT_EQ(db::RECNO(), 2);
  db::DBSKIP();
  EXPECT_TRUE(db::DBEOF());
  EXPECT_EQ(names(), "AB");
}

TEST_F(WorkAreaTest, RecordCommandsOnAnEmptyAreaRaiseWorkareaNotInUse) {
  using Op = void (*)();
  struct Case {
    const char* name;
    Op op;
  };
  const Case cases[] = {
      {"DBGOTOP", [] { db::DBGOTOP(); }},
      {"DBSKIP", [] { db::DBSKIP(); }},
      {"DBAPPEND", [] { db::DBAPPEND(); }},
      {"DBDELETE", [] { db::DBDELETE(); }},
      {"__DBPACK", [] { db::DBPACK(); }},
      {"DBEVAL",
       [] {
         db::DBEVAL(rt::Block{[] { return Value(); }, "T"});
       }},
  };
  for (const Case& c : cases) {
    shown().shown.clear();
    handler.presenter.script_ = {Choice::Ignore};
    c.op();
    ASSERT_EQ(shown().shown.size(), 1u) << c.name;
    const rt::ErrorObj& e = shown().shown[0];
    EXPECT_EQ(e.subsystem, "DBCMD");
    EXPECT_EQ(e.gencode, 35);
    EXPECT_EQ(e.subcode, 2001);
    EXPECT_EQ(e.description, "Workarea not in use");
    EXPECT_EQ(e.operation, c.name);
    EXPECT_EQ(e.procName, c.name);
    EXPECT_TRUE(e.canDefault);
    EXPECT_FALSE(e.canRetry);
  }
}

TEST_F(WorkAreaTest, EvalScopesAndArguments) {
  makeTable("t", {"A", "B", "C", "D"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  std::string seen;
  rt::Block collect{[&] {
                      seen += db::fieldGet("name").text()[0];
                      return Value();
                    },
                    "T"};
  db::DBGOTO(2);
  db::DBEVAL(collect, {}, {}, 2);  // a count starts at the current record
  EXPECT_EQ(seen, "BC");
  seen.clear();
  db::DBEVAL(collect, {}, {}, {}, 4);  // one record
  EXPECT_EQ(seen, "D");
  seen.clear();
  db::DBGOTO(3);
  db::DBEVAL(collect, {}, rt::Block{[] { return Value(db::RECNO() < 4); }, "T"});
  EXPECT_EQ(seen, "C");  // a while-condition starts here and stops at its first false

  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  EXPECT_THROW(db::DBEVAL(collect, "not a block"), rt::Break);
  ASSERT_EQ(shown().shown.size(), 1u);
  EXPECT_EQ(shown().shown[0].subcode, 2019);
  EXPECT_EQ(shown().shown[0].operation, "DBEVAL");
}

TEST_F(WorkAreaTest, CallbacksMayCloseTheirOwnArea) {
  makeTable("t", {"A", "B", "C", "D"});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  int calls = 0;
  rt::Block closing{[&] {
                      ++calls;
                      db::DBCLOSEAREA();
                      return Value();
                    },
                    "T"};
  db::DBEVAL(closing);  // the loop ends with its table
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(db::currentTable(), nullptr);

  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  db::DBGOTO(2);
  db::DBDELETE();
  db::DBPACK(closing, 1);  // so does the pack
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(db::currentTable(), nullptr);
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  EXPECT_GE(db::LASTREC(), 3);  // whatever the pack had done, nothing was lost
}

TEST_F(WorkAreaTest, QuitDuringAnOpenLeavesTheAreaEmpty) {
  testing_support::writeFile("bad.dbf", "not a table");
  db::selectArea(3);
  EXPECT_THROW(db::DBUSEAREA(false, {}, "bad"), rt::Break);
  EXPECT_EQ(db::tableIn(3), nullptr);
  EXPECT_EQ(db::currentArea(), 3);
}

// The key index hooks are called at the points the index relies on.
struct RecordingLayer : db::IndexLayer {
  std::vector<std::string>* log;
  explicit RecordingLayer(std::vector<std::string>* l) : log(l) {}
  void remember(db::DbfNtxTable& t) override { log->push_back("hot " + std::to_string(t.recNo())); }
  bool update(db::DbfNtxTable& t, bool appended) override {
    log->push_back((appended ? "add " : "change ") + std::to_string(t.recNo()));
    return true;
  }
  bool goTop(db::DbfNtxTable&, bool&) override { return false; }
  bool skipRaw(db::DbfNtxTable&, std::int64_t, bool&) override { return false; }
  bool seek(db::DbfNtxTable& t, const Value&, bool, bool) override {
    t.goTo(2);
    t.setFound(true);
    return true;
  }
  bool afterPack(db::DbfNtxTable&) override {
    log->push_back("pack");
    return true;
  }
  bool flush(db::DbfNtxTable&) override { return true; }
  void close(db::DbfNtxTable&) override { log->push_back("close"); }
  db::OrderInfo orderInfo() const override { return {1, "codigo"}; }
};

TEST_F(WorkAreaTest, IndexLayerHooks) {
  makeTable("t", {"A", "B"});
  makeTable("u", {});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  auto* t = dynamic_cast<db::DbfNtxTable*>(db::currentTable());
  ASSERT_NE(t, nullptr);
  std::vector<std::string> log;
  t->setIndexLayer(std::make_unique<RecordingLayer>(&log));
  db::fieldPut("name", "X");
  db::fieldPut("qty", 1);  // still the same change
  ASSERT_TRUE(db::DBAPPEND());
  db::fieldPut("name", "C");
  EXPECT_TRUE(t->seek("B", false, false));
  EXPECT_TRUE(db::FOUND());
  EXPECT_EQ(db::RECNO(), 2);
  db::DBDELETE();
  db::selectArea(700);
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "u"));  // beyond what the log lists
  db::selectArea(1);
  const rt::WorkAreaReport report = db::workAreaReport();
  EXPECT_EQ(report.currentArea, 1);
  ASSERT_EQ(report.areas.size(), 1u);
  EXPECT_EQ(report.areas[0].alias, "T");
  EXPECT_EQ(report.areas[0].recno, 2);
  EXPECT_EQ(report.areas[0].order, 1);
  EXPECT_EQ(report.areas[0].key, "codigo");
  db::DBPACK();
  db::DBCLOSEAREA();
  const std::vector<std::string> want = {"hot 1",    "change 1", "add 3", "hot 2",
                                         "change 2", "pack",     "close"};
  EXPECT_EQ(log, want);
}

}  // namespace

namespace {

// An index whose key update fails with Quit once armed.
struct FailingLayer : RecordingLayer {
  bool* armed;
  FailingLayer(std::vector<std::string>* l, bool* a) : RecordingLayer(l), armed(a) {}
  bool update(db::DbfNtxTable& t, bool appended) override {
    if (*armed) throw rt::Break{};
    return RecordingLayer::update(t, appended);
  }
};

TEST_F(WorkAreaTest, QuitDuringACloseKeepsTheAppendedRecords) {
  makeTable("t", {});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  std::vector<std::string> log;
  bool armed = false;
  auto* t = dynamic_cast<db::DbfNtxTable*>(db::currentTable());
  t->setIndexLayer(std::make_unique<FailingLayer>(&log, &armed));
  for (int i = 0; i < 100; ++i) {
    db::DBAPPEND();
    db::fieldPut("name", "r" + std::to_string(i + 1));
  }
  armed = true;
  EXPECT_THROW(db::DBCLOSEAREA(), rt::Break);
  EXPECT_EQ(db::currentTable(), nullptr);
  EXPECT_EQ(log.size(), 100u);  // keys of records 1..99 added, then the index closed
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  EXPECT_EQ(db::LASTREC(), 100);
  db::DBGOTO(100);
  EXPECT_EQ(db::fieldGet("name").text(), "r100      ");
}

// A Quit while the first area closes still closes the second with its pending record.
TEST_F(WorkAreaTest, QuitDuringCloseAllStillClosesTheOtherAreas) {
  makeTable("one", {});
  makeTable("two", {});
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "one"));
  std::vector<std::string> log;
  bool armed = false;
  dynamic_cast<db::DbfNtxTable*>(db::currentTable())
      ->setIndexLayer(std::make_unique<FailingLayer>(&log, &armed));
  db::DBAPPEND();
  db::selectArea(2);
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "two"));
  db::DBAPPEND();
  db::fieldPut("name", "pending");
  armed = true;
  EXPECT_THROW(db::DBCLOSEALL(), rt::Break);
  EXPECT_EQ(db::tableIn(1), nullptr);
  EXPECT_EQ(db::tableIn(2), nullptr);
  EXPECT_EQ(db::currentArea(), 1);
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "two"));
  EXPECT_EQ(db::LASTREC(), 1);
  EXPECT_EQ(db::fieldGet("name").text(), "pending   ");
}

}  // namespace

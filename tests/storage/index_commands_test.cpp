// The index commands on work areas: creation, seeks, key upkeep at write back, order of
// movement, pack and close.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "db/index_commands.h"
#include "db/workarea.h"
#include "index_support.h"
#include "rt/os.h"
#include "storage_fixture.h"

namespace {

using index_support::pad;
using index_support::Pair;
using rt::Value;
using testing_support::readFile;

Value codigoBlock() {
  return rt::Block{[] { return db::fieldGet("codigo"); }, "TFORM1:BUTTON1CLICK"};
}

class IndexCommandsTest : public storage_test::TablesTest {
 protected:
  // Creates inven.dbf holding `codes` (record i + 1 holds codes[i]) and opens it in area 2.
  void makeInven(const std::vector<std::string>& codes) {
    ASSERT_TRUE(db::DBCREATE("inven.dbf", storage_test::invenStructure()));
    db::DBSELECTAREA(2);
    ASSERT_TRUE(db::DBUSEAREA(false, {}, "inven"));
    for (const std::string& c : codes) {
      ASSERT_TRUE(db::DBAPPEND());
      db::fieldPut("codigo", c);
    }
  }
  void index() { db::DBCREATEINDEX("inven", "codigo", codigoBlock()); }

  // The (trimmed code, record) pairs the index file holds, in order.
  static std::vector<std::pair<std::string, std::uint32_t>> indexed(
      const char* file = "inven.ntx") {
    std::vector<std::pair<std::string, std::uint32_t>> out;
    for (const Pair& p : index_support::walkIndex(readFile(file)).pairs)
      out.emplace_back(p.key.substr(0, p.key.find_last_not_of(' ') + 1), p.recno);
    return out;
  }

  static std::vector<std::int64_t> visitOrder() {
    std::vector<std::int64_t> order;
    db::DBEVAL(rt::Block{[&] {
                           order.push_back(db::RECNO());
                           return Value();
                         },
                         "TEST"});
    return order;
  }
};

using Pairs = std::vector<std::pair<std::string, std::uint32_t>>;

TEST_F(IndexCommandsTest, EmptyTableGetsATwoPageFileOverWhatWasThere) {
  testing_support::writeFile("inven.ntx", std::string(5000, 'x'));
  makeInven({});
  index();
  const std::string b = readFile("inven.ntx");
  ASSERT_EQ(b.size(), 2048u);
  EXPECT_EQ(index_support::u32(b, 4), 1024u);
  EXPECT_EQ(b.substr(22, 7), std::string("codigo\0", 7));
  EXPECT_TRUE(db::DBEOF());
  EXPECT_EQ(db::RECNO(), 1);
  EXPECT_TRUE(shown().shown.empty());
}

// The first key into an empty index goes into the root page: no page is allocated, so the
// header keeps version 1.
TEST_F(IndexCommandsTest, FirstProductIntoAnEmptyIndex) {
  makeInven({});
  index();
  EXPECT_FALSE(db::DBSEEK(pad("A1", 40)));
  ASSERT_TRUE(db::DBAPPEND());
  db::fieldPut("codigo", "A1");
  db::DBCLOSEALL();
  const std::string b = readFile("inven.ntx");
  ASSERT_EQ(b.size(), 2048u);
  EXPECT_EQ(index_support::u16(b, 2), 1u);
  EXPECT_EQ(index_support::readPage(b, 1024).items, (std::vector<Pair>{{pad("A1", 40), 1}}));
}

// The product load's pattern: a code appended in one round is found by the next round's seek,
// before anything is closed.
TEST_F(IndexCommandsTest, AppendedCodeIsFoundByTheNextSeek) {
  makeInven({"B", "A", "C"});
  index();
  struct Round {
    const char* code;
    bool found;
    std::int64_t recno;
  };
  const Round rounds[] = {{"B", true, 1},  {"X", false, 4}, {"A", true, 2}, {"X", true, 4},
                          {"Y", false, 5}, {"Y", true, 5},  {"X", true, 4}};
  for (const Round& r : rounds) {
    SCOPED_TRACE(r.code);
    db::DBSELECTAREA(2);
    EXPECT_EQ(db::DBSEEK(pad(r.code, 40)), r.found);
    EXPECT_EQ(db::FOUND(), r.found);
    if (!r.found) {
      EXPECT_TRUE(db::DBEOF());
      ASSERT_TRUE(db::DBAPPEND());
      db::fieldPut("codigo", r.code);
    }
    EXPECT_EQ(db::RECNO(), r.recno);
    db::fieldPut("descri", std::string("seen ") + r.code);
    db::DBSELECTAREA(1);  // the template's area moves on meanwhile
  }
  db::DBSELECTAREA(2);
  db::DBCLOSEALL();
  EXPECT_EQ(indexed(), (Pairs{{"A", 2}, {"B", 1}, {"C", 3}, {"X", 4}, {"Y", 5}}));
  EXPECT_TRUE(shown().shown.empty());
}

TEST_F(IndexCommandsTest, UpdatingFoundRowsLeavesTheIndexFileAlone) {
  std::vector<std::string> codes;
  for (int i = 0; i < 60; ++i) codes.push_back("P" + std::to_string(i * 7 % 60));
  makeInven(codes);
  index();
  const std::string before = readFile("inven.ntx");
  for (const std::string& c : codes) {
    ASSERT_TRUE(db::DBSEEK(pad(c, 40)));
    db::fieldPut("descri", "updated");
    db::fieldPut("codigo", c);  // the same key again changes nothing in the index either
  }
  db::DBCLOSEALL();
  EXPECT_EQ(readFile("inven.ntx"), before);
}

TEST_F(IndexCommandsTest, ChangedKeyMovesAtWriteBack) {
  makeInven({"C", "A", "B", "A"});
  index();
  EXPECT_EQ(visitOrder(), (std::vector<std::int64_t>{2, 4, 3, 1}));
  db::DBGOTO(2);
  db::fieldPut("codigo", "D");
  db::fieldPut("codigo", "B");  // the key compared is the one before the first change
  db::DBSKIP();                 // from the record's new place
  EXPECT_EQ(db::RECNO(), 1);
  db::DBCOMMIT();  // changed index pages may be held in memory until then
  EXPECT_EQ(indexed(), (Pairs{{"A", 4}, {"B", 3}, {"B", 2}, {"C", 1}}));
  EXPECT_EQ(visitOrder(), (std::vector<std::int64_t>{4, 3, 2, 1}));
}

TEST_F(IndexCommandsTest, MovementFollowsTheIndex) {
  makeInven({"C", "A", "B", "A"});
  index();
  EXPECT_EQ(db::RECNO(), 2);  // creation goes to the first key
  EXPECT_TRUE(db::DBSEEK("A"));
  EXPECT_EQ(db::RECNO(), 2);  // the lowest record of equal keys
  EXPECT_TRUE(db::DBSEEK("A", {}, true));
  EXPECT_EQ(db::RECNO(), 4);  // find-last
  EXPECT_FALSE(db::DBSEEK("AB", true));
  EXPECT_EQ(db::RECNO(), 3);  // soft seek: the following key
  EXPECT_FALSE(db::FOUND());
  db::DBSKIP(2);
  EXPECT_TRUE(db::DBEOF());
  db::DBSKIP(-1);
  EXPECT_EQ(db::RECNO(), 1);
  db::DBSKIP(-3);
  EXPECT_EQ(db::RECNO(), 2);
  db::DBSKIP(-1);
  EXPECT_EQ(db::RECNO(), 2);
  EXPECT_TRUE(db::DBBOF());
}

TEST_F(IndexCommandsTest, KeyFromACallbackThatIsNoField) {
  makeInven({"ZA1", "AZ2", "MM3"});
  db::ORDCREATE(
      "bytail", {}, "right(codigo)",
      rt::Block{[] { return Value(db::fieldGet("codigo").text().substr(2, 1)); }, "TEST"});
  EXPECT_EQ(indexed("bytail.ntx"), (Pairs{{"1", 1}, {"2", 2}, {"3", 3}}));
  db::DBGOTO(1);
  db::fieldPut("codigo", "ZA9");
  db::DBGOTOP();
  EXPECT_EQ(visitOrder(), (std::vector<std::int64_t>{2, 3, 1}));
}

TEST_F(IndexCommandsTest, TagNamesTheFileWhenNoFileIsGiven) {
  makeInven({"A"});
  db::ORDCREATE({}, "bycode", "codigo", codigoBlock());
  const std::string b = readFile("bycode.ntx");
  EXPECT_EQ(b.substr(538, 12), std::string("BYCODE\0\0\0\0\0\0", 12));
  EXPECT_EQ(db::tableIn(2)->orderInfo().order, 1);
  EXPECT_EQ(db::tableIn(2)->orderInfo().key, "codigo");
}

TEST_F(IndexCommandsTest, PackRebuildsTheIndex) {
  makeInven({"C", "A", "B", "A"});
  index();
  db::DBGOTO(2);
  db::DBDELETE();
  db::DBPACK();
  EXPECT_EQ(indexed(), (Pairs{{"A", 3}, {"B", 2}, {"C", 1}}));
  EXPECT_EQ(visitOrder(), (std::vector<std::int64_t>{3, 2, 1}));
}

TEST_F(IndexCommandsTest, CloseReleasesTheIndexFile) {
  makeInven({"A"});
  index();
  EXPECT_EQ(rt::os::os().remove("inven.ntx"), rt::os::code::kSharing);
  db::DBCLOSEALL();
  EXPECT_EQ(db::tableIn(2), nullptr);
  EXPECT_EQ(rt::os::os().remove("inven.ntx"), 0);
}

// Each failure with what it raises and what it leaves.
TEST_F(IndexCommandsTest, CommandErrors) {
  struct Case {
    const char* what;
    std::function<void()> run;
    const char* subsystem;
    int gencode, subcode;
    const char* operation;
  };
  const Case cases[] = {
      {"seek without table", [] { db::DBSEEK("A"); }, "DBCMD", 35, 2001, "DBSEEK"},
      {"create without table", [] { db::DBCREATEINDEX("x", "codigo", codigoBlock()); }, "DBCMD", 35,
       2001, "ORDCREATE"},
      {"seek without value",
       [this] {
         makeInven({"A"});
         db::DBSEEK({});
       },
       "DBCMD", 1, 1001, "DBSEEK"},
      {"seek without index",
       [this] {
         makeInven({"A"});
         EXPECT_FALSE(db::DBSEEK("A"));
       },
       "DBFNTX", 36, 1201, ""},
      {"no file and no tag",
       [this] {
         makeInven({"A"});
         db::ORDCREATE({}, {}, "codigo", codigoBlock());
       },
       "DBCMD", 1, 1006, "ORDCREATE"},
      {"no key expression",
       [this] {
         makeInven({"A"});
         db::DBCREATEINDEX("x", {}, codigoBlock());
       },
       "DBCMD", 1, 1006, "ORDCREATE"},
      {"numeric key",
       [this] {
         makeInven({"A"});
         db::DBCREATEINDEX("x", "folio", rt::Block{[] { return db::fieldGet("folio"); }, "T"});
       },
       "DBFNTX", 33, 1026, ""},
      {"empty key",
       [this] {
         makeInven({"A"});
         db::DBCREATEINDEX("x", "nothing", rt::Block{[] { return Value(""); }, "T"});
       },
       "DBFNTX", 34, 1026, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    {
      testing_support::HandlerScope h;  // Quit: none of these may be retried
      try {
        c.run();
      } catch (const rt::Break&) {
      }
      ASSERT_EQ(h.presenter.shown.size(), 1u);
      const rt::ErrorObj& e = h.presenter.shown[0];
      EXPECT_EQ(e.subsystem, c.subsystem);
      EXPECT_EQ(e.gencode, c.gencode);
      EXPECT_EQ(e.subcode, c.subcode);
      EXPECT_EQ(e.operation, c.operation);
      EXPECT_EQ(e.description, rt::genCodeText(c.gencode));
      EXPECT_FALSE(std::filesystem::exists("x.ntx"));
      EXPECT_EQ(db::controllingIndex(db::currentTable()), nullptr);
    }
    rt::resetBreak();
    db::DBCLOSEALL();
    std::filesystem::remove("inven.dbf");
    db::selectArea(1);
  }
}

TEST_F(IndexCommandsTest, FailedCreationLeavesTheAreaWithoutIndex) {
  makeInven({"A", "B"});
  index();
  index_support::FaultOs fos;
  fos.failOpen = [](const std::string& n) { return n == "other.ntx"; };
  index_support::OsScope os(fos);
  {
    testing_support::HandlerScope h({rt::Choice::Ignore});
    db::DBCREATEINDEX("other", "codigo", codigoBlock());
    ASSERT_EQ(h.presenter.shown.size(), 1u);
    EXPECT_EQ(h.presenter.shown[0].subcode, 1006);
    EXPECT_EQ(h.presenter.shown[0].filename, "other.ntx");
  }
  testing_support::HandlerScope h({rt::Choice::Ignore});
  EXPECT_FALSE(db::DBSEEK("A"));
  ASSERT_EQ(h.presenter.shown.size(), 1u);
  EXPECT_EQ(h.presenter.shown[0].gencode, 36);
}

}  // namespace

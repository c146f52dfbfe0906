// Opening: damaged files, sharing between programs, read-only use, and other drivers.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "db/drivers.h"
#include "db/workarea.h"
#include "storage_fixture.h"

namespace {

using namespace storage_test;
using rt::Choice;
using rt::Value;
using testing_support::readFile;
using testing_support::writeFile;

class OpenTest : public TablesTest {
 protected:
  // t.dbf: NAME C 10, QTY N 5, two records, as written by a close.
  std::string goodFile() {
    EXPECT_TRUE(db::DBCREATE("t", smallStructure()));
    EXPECT_TRUE(db::DBUSEAREA(false, {}, "t"));
    for (const char* n : {"one", "two"}) {
      db::DBAPPEND();
      db::fieldPut("name", n);
    }
    db::DBCLOSEAREA();
    return readFile("t.dbf");
  }
};

// Damaged files: each raises "Corruption detected" and leaves the file as it was.
TEST_F(OpenTest, DamagedFilesRaiseCorruptionAndWriteNothing) {
  const std::string good = goodFile();  // H = 98, R = 16
  auto with = [&](std::size_t at, char byte) {
    std::string b = good;
    b[at] = byte;
    return b;
  };
  struct Case {
    const char* what;
    std::string bytes;
    bool retry;  // retry allowed (short reads and version), else default only
  };
  const Case cases[] = {
      {"zero-length file", "", true},
      {"truncated header", good.substr(0, 20), true},
      {"version 0x00", with(0, '\0'), true},
      {"descriptor area cut short", good.substr(0, 50), true},
      {"header length beyond the file", with(9, '\x7F'), true},
      {"type letter X", with(32 + 11, 'X'), false},
      {"no fields", with(32, '\x0D'), false},
  };
  for (const Case& c : cases) {
    writeFile("t.dbf", c.bytes);
    shown().shown.clear();
    handler.presenter.script_ = {c.retry ? Choice::Retry : Choice::Ignore, Choice::Ignore};
    EXPECT_FALSE(db::DBUSEAREA(false, {}, "t")) << c.what;
    ASSERT_EQ(shown().shown.size(), c.retry ? 2u : 1u) << c.what;
    const rt::ErrorObj& e = shown().shown.back();
    EXPECT_EQ(e.subsystem, "DBFNTX");
    EXPECT_EQ(e.gencode, 32);
    EXPECT_EQ(e.subcode, 1012);
    EXPECT_EQ(e.description, "Corruption detected");
    EXPECT_EQ(e.filename, "t.dbf");
    EXPECT_EQ(e.canRetry, c.retry) << c.what;
    EXPECT_TRUE(e.canDefault);
    EXPECT_EQ(db::currentTable(), nullptr);
    EXPECT_EQ(readFile("t.dbf"), c.bytes) << c.what;
  }
  // Every version byte of the list opens.
  for (int v : {0x02, 0x04, 0x30, 0x83, 0xF5}) {
    writeFile("t.dbf", with(0, static_cast<char>(v)));
    EXPECT_TRUE(db::DBUSEAREA(false, {}, "t")) << v;
    EXPECT_EQ(db::LASTREC(), 2);
    db::DBCLOSEAREA();
  }
}

TEST_F(OpenTest, ATableHeldByAnotherProgramCannotBeOpened) {
  goodFile();
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool opened = db::DBUSEAREA(false, {}, "t");  // exclusive
    char c = opened ? 'y' : 'n';
    (void)!write(ready[1], &c, 1);
    (void)!read(done[0], &c, 1);
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_FALSE(db::DBUSEAREA(false, {}, "t", {}, true));  // not even shared
  EXPECT_TRUE(shown().shown.empty());                     // code 32: absorbed
  EXPECT_EQ(db::currentTable(), nullptr);
  ASSERT_EQ(write(done[1], &c, 1), 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(db::DBUSEAREA(false, {}, "t"));
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST_F(OpenTest, ReadOnlyTablesRefuseEveryWrite) {
  const std::string good = goodFile();
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t", {}, {}, true));
  EXPECT_EQ(db::fieldGet("name").text(), "one       ");
  using Op = void (*)();
  const Op ops[] = {[] { db::fieldPut("name", "x"); }, [] { db::DBAPPEND(); },
                    [] { db::DBDELETE(); }, [] { db::DBPACK(); }};
  for (Op op : ops) {
    shown().shown.clear();
    EXPECT_THROW(op(), rt::Break);  // no answer but Quit
    ASSERT_EQ(shown().shown.size(), 1u);
    EXPECT_EQ(shown().shown[0].gencode, 39);
    EXPECT_EQ(shown().shown[0].subcode, 1025);
    EXPECT_EQ(shown().shown[0].description, "Write not allowed");
    EXPECT_FALSE(shown().shown[0].canRetry || shown().shown[0].canDefault);
    rt::resetBreak();
  }
  db::DBCLOSEAREA();
  EXPECT_EQ(readFile("t.dbf"), good);
}

TEST_F(OpenTest, SharedTablesNeedLocksForChangesAndAppendAtOnce) {
  goodFile();
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t", {}, true));
  db::selectArea(2);
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t", "SECOND", true));
  db::selectArea(1);
  EXPECT_THROW(db::fieldPut("name", "x"), rt::Break);
  ASSERT_EQ(shown().shown.size(), 1u);
  EXPECT_EQ(shown().shown[0].subcode, 1022);
  EXPECT_EQ(shown().shown[0].description, "Lock required");
  rt::resetBreak();
  shown().shown.clear();
  EXPECT_THROW(db::DBPACK(), rt::Break);
  EXPECT_EQ(shown().shown[0].subcode, 1023);
  rt::resetBreak();
  // The appended record is written at once and may be filled.
  ASSERT_TRUE(db::DBAPPEND());
  db::fieldPut("name", "three");
  db::DBSKIP(0);
  db::selectArea(2);
  ASSERT_TRUE(db::DBAPPEND());  // counts again from the file size: record 4
  EXPECT_EQ(db::RECNO(), 4);
}

// A driver built on the base layer alone: every operation is unsupported.
TEST_F(OpenTest, BaseLayerOperationsAreUnsupported) {
  db::registerDriver("bare", db::DriverKind::Full, [] { return std::make_unique<db::Table>(); });
  handler.presenter.script_ = {Choice::Ignore};
  EXPECT_FALSE(db::DBUSEAREA(false, "Bare", "t"));
  ASSERT_EQ(shown().shown.size(), 0u + 1u);
  EXPECT_EQ(shown().shown[0].subsystem, "BARE");
  EXPECT_EQ(shown().shown[0].gencode, 30);
  EXPECT_EQ(shown().shown[0].description, "Operation not supported");
}

// A transfer-type driver is opened with the target's structure, in the lowest free area.
class StructureTable : public db::Table {
 public:
  std::string_view driverName() const override { return "FIXED"; }
  bool open(const db::OpenRequest& def) override {
    for (const db::FieldDef& f : *def.structure) {
      db::FieldInfo info;
      static_cast<db::FieldDef&>(info) = f;
      fields_.push_back(info);
    }
    seen = def;
    return true;
  }
  bool goTop() override { return true; }
  static inline db::OpenRequest seen;
};

TEST_F(OpenTest, TransferDriversTakeTheStructureGiven) {
  db::registerDriver("FIXED", db::DriverKind::Transfer,
                     [] { return std::make_unique<StructureTable>(); });
  EXPECT_EQ(db::findDriver("fixed")->kind, db::DriverKind::Transfer);
  goodFile();
  ASSERT_TRUE(db::DBUSEAREA(false, {}, "t"));
  const std::vector<db::FieldDef> structure(db::currentTable()->fields().begin(),
                                            db::currentTable()->fields().end());
  db::UseRequest req;
  req.newArea = true;
  req.driver = "FIXED";
  req.fileName = "lines.txt";
  req.noAlias = req.shared = req.readOnly = true;
  req.structure = &structure;
  EXPECT_EQ(db::useArea(req), 2);
  EXPECT_EQ(db::currentArea(), 2);
  EXPECT_EQ(db::currentTable()->alias(), "");
  EXPECT_EQ(db::currentTable()->fields().size(), 2u);
  EXPECT_TRUE(StructureTable::seen.shared && StructureTable::seen.readOnly);
  db::closeArea(2);
  EXPECT_EQ(db::tableIn(2), nullptr);
}

}  // namespace

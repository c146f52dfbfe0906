// The two actions end to end on real files in a temporary working folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "db/workarea.h"
#include "inv/actions.h"
#include "rt/launcher.h"
#include "rt/workvars.h"
#include "table_bytes.h"
#include "testing.h"

namespace {

using rt::Choice;
using testing_support::readFile;
using testing_support::readTable;
using testing_support::writeFile;
namespace fs = std::filesystem;

struct Sink : inv::StatusSink {
  void setStatus(const std::string& text) override { status = text; }
  std::string status = "Status";
};

class Actions : public ::testing::Test {
 protected:
  void SetUp() override { db::selectArea(1); }
  void TearDown() override { closeAll(); }

  static void closeAll() {
    try {
      db::DBCLOSEALL();
    } catch (const rt::Break&) {
    }
    db::selectArea(1);
  }

  // Runs an action as a click does; returns false when it ended by Quit.
  template <typename F>
  bool click(F&& action) {
    try {
      rt::ActionScope scope;
      action();
    } catch (const rt::Break&) {
      closeAll();  // the program's exit closes every table
      return false;
    }
    EXPECT_EQ(rt::varCount(), 0u) << "working variables outlive the click";
    return true;
  }
  bool load(bool erase = false) {
    return click([&] { inv::productLoad(erase, sink); });
  }
  bool clear(const std::string& first, const std::string& last) {
    return click([&] { inv::folioClearing(first, last, sink); });
  }

  testing_support::TempDir dir;
  Sink sink;
};

const std::string kCrLf = "\r\n";

std::string blanks(std::size_t n) { return std::string(n, ' '); }

TEST_F(Actions, FirstLoadWritesTheExactTableAndIndex) {
  testing_support::HandlerScope handler;
  writeFile("plantilla.csv", "A1,Tornillo,PZA,10,2.5,3,R1\r\n");
  ASSERT_TRUE(load());
  EXPECT_EQ(sink.status, "Proceso terminado!");
  EXPECT_TRUE(handler.presenter.shown.empty());

  const std::string dbf = readFile("inven.dbf");
  ASSERT_EQ(dbf.size(), 676u);
  EXPECT_EQ(dbf[4], 1);                             // record count
  EXPECT_EQ(dbf.substr(8, 4), "\xA2\x01\x01\x01");  // H = 418, R = 257
  EXPECT_EQ(dbf.back(), '\x1A');
  const std::string record = " " + blanks(8) + "A1" + blanks(38) + "Tornillo" + blanks(62) + "PZA" +
                             blanks(2) + blanks(10) + "10.00000" + blanks(11) + "2.50000" +
                             blanks(11) + "3.00000" + "R1" + blanks(13) + blanks(54) + blanks(10);
  EXPECT_EQ(dbf.substr(418, 257), record);

  const std::string ntx = readFile("inven.ntx");
  ASSERT_EQ(ntx.size(), 2048u);
  EXPECT_EQ(ntx.substr(0, 8),
            std::string("\x06\x00\x01\x00\x00\x04\x00\x00", 8));  // version 1, root 1024
  EXPECT_EQ(ntx.substr(22, 7), std::string("codigo\0", 7));
  EXPECT_EQ(ntx.substr(1024, 2), std::string("\x01\x00", 2));  // one key in the leaf
  // Item 0, wherever the offset table points: child 0, record 1, the key with its blanks.
  const std::size_t item0 =
      static_cast<unsigned char>(ntx[1026]) | static_cast<unsigned char>(ntx[1027]) << 8;
  EXPECT_EQ(ntx.substr(1024 + item0, 48), std::string("\0\0\0\0\x01\0\0\0", 8) + "A1" + blanks(38));
  EXPECT_FALSE(fs::exists("plantilla.dbf"));
}

TEST_F(Actions, MissingTemplateOnlySetsTheStatus) {
  testing_support::HandlerScope handler;
  ASSERT_TRUE(load(true));
  EXPECT_EQ(sink.status, "No se encontro el archivo plantilla plantilla.csv");
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(Actions, LoadsMergeByCodeAcrossRuns) {
  testing_support::HandlerScope handler;
  writeFile("plantilla.csv", "A1,Tornillo,PZA,10,2.5,3,R1\r\nB2,Tuerca,PZA,5,1,1,R2\r\n");
  ASSERT_TRUE(load());

  // Counting fills folio, counts and status of A1 in the meantime.
  {
    rt::ActionScope scope;
    db::DBUSEAREA({}, {}, rt::Value("inven"));
    db::DBGOTO(1);
    db::fieldPut("folio", rt::Value(7));
    db::fieldPut("conteo1", rt::Value(9.5));
    db::fieldPut("status", rt::Value("CONTADO"));
    db::DBCLOSEAREA();
  }

  writeFile("plantilla.csv",
            "Codigo,Descripcion,Unidad,Existencia,Costo,Ultimo,Localizacion\r\n"
            "A1,Tornillo largo,CJA,12,2.75,3.1,R9\r\n"
            "\r\n"
            "   \r\n"
            "CODIGO-77,Codigo real que se pierde,PZA,1,1,1,X\r\n"
            "a1,minuscula,PZA,1,1,1,R1\r\n"
            "B2,Tuerca vieja,PZA,1,1,1,R2\r\n"
            "C3,Arandela,PZA\r\n"
            "D4,Clavo,PZA,N/A,-1.5,abc,R4,extra,columns,here\r\n"
            "B2,Tuerca nueva,KG,6,1.25,1.5,R3\r\n");
  ASSERT_TRUE(load());
  EXPECT_EQ(sink.status, "Proceso terminado!");

  const auto t = readTable("inven.dbf");
  ASSERT_EQ(t.records(), 5u);  // A1, B2, a1, C3, D4
  EXPECT_EQ(t.count, 5u);
  const std::size_t a1 = t.find("A1");
  ASSERT_EQ(a1, 1u);
  EXPECT_EQ(t.field(a1, "FOLIO"), "       7");
  EXPECT_EQ(t.field(a1, "CONTEO1"), blanks(11) + "9.50000");
  EXPECT_EQ(t.field(a1, "STATUS"), "CONTADO   ");
  EXPECT_EQ(t.field(a1, "DESCRI"), "Tornillo largo" + blanks(56));
  EXPECT_EQ(t.field(a1, "UNIDAD"), "CJA  ");
  EXPECT_EQ(t.field(a1, "EXISTEN"), blanks(10) + "12.00000");
  EXPECT_EQ(t.field(a1, "LOCALIZA"), "R9" + blanks(13));

  const std::size_t b2 = t.find("B2");
  EXPECT_EQ(b2, 2u);
  EXPECT_EQ(t.field(b2, "DESCRI").substr(0, 13), "Tuerca nueva ");  // the later line wins
  EXPECT_EQ(t.field(b2, "UNIDAD"), "KG   ");

  EXPECT_NE(t.find("a1"), 0u);  // a different product from A1
  EXPECT_EQ(t.find("CODIGO-77"), 0u);

  const std::size_t c3 = t.find("C3");
  ASSERT_NE(c3, 0u);
  EXPECT_EQ(t.field(c3, "UNIDAD"), "PZA  ");  // the line's padding was cut to the width
  EXPECT_EQ(t.field(c3, "EXISTEN"), blanks(11) + "0.00000");
  EXPECT_EQ(t.field(c3, "LOCALIZA"), blanks(15));
  EXPECT_EQ(t.field(c3, "FOLIO"), blanks(8));  // a new row leaves the count columns blank

  const std::size_t d4 = t.find("D4");
  ASSERT_NE(d4, 0u);
  EXPECT_EQ(t.field(d4, "EXISTEN"), blanks(11) + "0.00000");  // "N/A"
  EXPECT_EQ(t.field(d4, "COSTPROM"), blanks(10) + "-1.50000");
  EXPECT_EQ(t.field(d4, "LOCALIZA"), "R4" + blanks(13));  // columns after the seventh dropped

  EXPECT_EQ(readFile("inven.ntx").size() % 1024, 0u);
}

TEST_F(Actions, LineFeedOnlyTemplateIsOneLine) {
  testing_support::HandlerScope handler;
  writeFile("plantilla.csv", "A1,Uno,PZA,1,1,1,R1\nB2,Dos,PZA,2,2,2,R2\n");
  ASSERT_TRUE(load());
  const auto t = readTable("inven.dbf");
  ASSERT_EQ(t.records(), 1u);
  EXPECT_EQ(t.field(1, "LOCALIZA"), "R1\nB2" + blanks(10));  // cut at 15 by the field width
}

TEST_F(Actions, CheckBoxStartsFromANewTable) {
  testing_support::HandlerScope handler;
  writeFile("plantilla.csv", "A1,Uno,PZA,1,1,1,R1\r\nB2,Dos,PZA,2,2,2,R2\r\n");
  ASSERT_TRUE(load());
  writeFile("plantilla.csv", "C3,Tres,PZA,3,3,3,R3\r\n");
  ASSERT_TRUE(load(true));
  const auto t = readTable("inven.dbf");
  ASSERT_EQ(t.records(), 1u);
  EXPECT_EQ(t.find("C3"), 1u);
}

// Another program holds inven.dbf at the moment of the erase: the load merges into it.
class RefusingRemoveOs : public rt::os::ForwardingOs {
 public:
  int remove(const std::string& name) override {
    return name == "inven.dbf" ? 32 : ForwardingOs::remove(name);
  }
};

TEST_F(Actions, FailedEraseMergesIntoTheOldTable) {
  testing_support::HandlerScope handler;
  writeFile("plantilla.csv", "A1,Uno,PZA,1,1,1,R1\r\n");
  ASSERT_TRUE(load());
  writeFile("plantilla.csv", "B2,Dos,PZA,2,2,2,R2\r\n");
  RefusingRemoveOs os;
  testing_support::OsScope scope(os);
  ASSERT_TRUE(load(true));
  const auto t = readTable("inven.dbf");
  EXPECT_EQ(t.records(), 2u);
  EXPECT_TRUE(handler.presenter.shown.empty());
}

TEST_F(Actions, OversizedStockIgnoredStoresZero) {
  testing_support::HandlerScope handler({Choice::Ignore});
  writeFile("plantilla.csv", "A1,Uno,PZA,1234567890123,2.5,3,R1\r\n");
  ASSERT_TRUE(load());
  ASSERT_EQ(handler.presenter.shown.size(), 1u);
  const rt::ErrorObj& e = handler.presenter.shown[0];
  EXPECT_EQ(e.subsystem, "DBFNTX");
  EXPECT_EQ(e.gencode, 34);
  EXPECT_EQ(e.subcode, 1021);
  EXPECT_EQ(e.operation, "EXISTEN");
  EXPECT_EQ(e.procName, "TFORM1:BUTTON1CLICK");
  EXPECT_FALSE(e.canRetry);
  EXPECT_TRUE(e.canDefault);
  EXPECT_EQ(sink.status, "Proceso terminado!");
  EXPECT_EQ(readTable("inven.dbf").field(1, "EXISTEN"), blanks(11) + "0.00000");
}

TEST_F(Actions, OversizedStockQuitLeavesTheScratchTable) {
  testing_support::HandlerScope handler({Choice::Quit});
  writeFile("plantilla.csv", "A1,Uno,PZA,1234567890123,2.5,3,R1\r\n");
  EXPECT_FALSE(load());
  EXPECT_EQ(sink.status, "Status");
  ASSERT_TRUE(fs::exists("plantilla.dbf"));
  const auto t = readTable("plantilla.dbf");
  ASSERT_EQ(t.records(), 1u);
  EXPECT_EQ(t.field(1, "EXISTEN"), std::string(18, '*'));  // written by the exit's close
  EXPECT_EQ(t.field(1, "CODIGO"), "A1" + blanks(38));
}

// Inventory rows with the given folios (codes P0, P1, ...); blank when the folio is negative.
void makeInventory(const std::vector<int>& folios) {
  std::string csv;
  for (std::size_t i = 0; i < folios.size(); ++i)
    csv += "P" + std::to_string(i) + ",x,PZA,1,1,1,R\r\n";
  writeFile("plantilla.csv", csv);
  Sink sink;
  {
    rt::ActionScope scope;
    inv::productLoad(false, sink);
    db::DBUSEAREA({}, {}, rt::Value("inven"));
    for (std::size_t i = 0; i < folios.size(); ++i) {
      db::DBGOTO(static_cast<std::int64_t>(i + 1));
      if (folios[i] >= 0) db::fieldPut("folio", rt::Value(folios[i]));
    }
    db::DBCLOSEAREA();
  }
}

std::vector<std::string> folioColumn() {
  const auto t = readTable("inven.dbf");
  std::vector<std::string> out;
  for (std::size_t k = 1; k <= t.records(); ++k) out.push_back(t.field(k, "FOLIO"));
  return out;
}

TEST_F(Actions, FolioClearingResetsTheRange) {
  testing_support::HandlerScope handler;
  struct Case {
    const char *first, *last;
    std::vector<int> before;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"5", "7", {4, 5, 6, 7, 8}, {"       4", "       0", "       0", "       0", "       8"}},
      {"", "", {-1, 0, 3}, {"       0", "       0", "       3"}},  // blank folio becomes 0
      {"7", "5", {5, 6, 7}, {"       5", "       6", "       7"}},
      {"00012", "12abc", {12, 13}, {"       0", "      13"}},  // pasted text goes through VAL
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.first) + ".." + c.last);
    fs::remove("inven.dbf");
    makeInventory(c.before);
    sink.status.clear();
    ASSERT_TRUE(clear(c.first, c.last));
    EXPECT_EQ(folioColumn(), c.after);
    EXPECT_EQ(sink.status, "Folios eliminados. Listo!");
  }
  EXPECT_TRUE(handler.presenter.shown.empty());
}

TEST_F(Actions, FolioClearingWithoutInventory) {
  {  // Ignore: the open is given up, DBEVAL meets an empty area, Ignore again.
    testing_support::HandlerScope handler({Choice::Ignore, Choice::Ignore});
    ASSERT_TRUE(clear("1", "2"));
    ASSERT_EQ(handler.presenter.shown.size(), 2u);
    const rt::ErrorObj& open = handler.presenter.shown[0];
    EXPECT_EQ(open.subsystem, "DBFNTX");
    EXPECT_EQ(open.subcode, 1001);
    EXPECT_EQ(open.filename, "inven.dbf");
    EXPECT_EQ(open.oscode, 2);
    EXPECT_EQ(open.procName, "DBUSEAREA");
    EXPECT_TRUE(open.canRetry && open.canDefault);
    const rt::ErrorObj& eval = handler.presenter.shown[1];
    EXPECT_EQ(eval.subsystem, "DBCMD");
    EXPECT_EQ(eval.gencode, 35);
    EXPECT_EQ(eval.operation, "DBEVAL");
    EXPECT_FALSE(eval.canRetry);
    EXPECT_TRUE(eval.canDefault);
    EXPECT_EQ(sink.status, "Folios eliminados. Listo!");
  }
  {  // Quit: no further step, the status stays.
    sink.status = "Status";
    testing_support::HandlerScope handler({Choice::Quit});
    EXPECT_FALSE(clear("1", "2"));
    EXPECT_EQ(handler.presenter.shown.size(), 1u);
    EXPECT_EQ(sink.status, "Status");
  }
  {  // Retry after the file appeared: the action goes on as if nothing happened.
    testing_support::HandlerScope handler;
    makeInventory({1, 2});
    fs::rename("inven.dbf", "held.dbf");
    handler.presenter.script_ = {Choice::Retry};
    handler.presenter.onPresent = [](const rt::ErrorObj&) { fs::rename("held.dbf", "inven.dbf"); };
    ASSERT_TRUE(clear("1", "1"));
    ASSERT_EQ(handler.presenter.shown.size(), 1u);
    EXPECT_EQ(sink.status, "Folios eliminados. Listo!");
    EXPECT_EQ(folioColumn(), (std::vector<std::string>{"       0", "       2"}));
  }
}

TEST_F(Actions, TableHeldByAnotherProgramIsSkippedQuietly) {
  testing_support::HandlerScope handler({Choice::Ignore});
  makeInventory({1});
  int code = 0;
  auto held = rt::os::os().open("inven.dbf", rt::os::OpenMode{}, &code);
  ASSERT_TRUE(held);
  ASSERT_TRUE(clear("1", "1"));
  // No dialog for the open; only the empty area's DBEVAL is shown.
  ASSERT_EQ(handler.presenter.shown.size(), 1u);
  EXPECT_EQ(handler.presenter.shown[0].gencode, 35);
  EXPECT_TRUE(rt::netErr());
  EXPECT_EQ(sink.status, "Folios eliminados. Listo!");
}

}  // namespace

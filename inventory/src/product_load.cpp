// The product load: the body of TFORM1:BUTTON1CLICK.
//
// Every step is a runtime operation in a fixed order; failures are never tested here, they go to
// the error handler, which may answer retry (the operation repeats itself), default (the step is
// given up and the load goes on in the state it left) or break (rt::Break unwinds out of here).
// Each step sets its line on the action's call level, so an error names the step.
#include <string>

#include "db/import.h"
#include "db/index_commands.h"
#include "db/workarea.h"
#include "inv/actions.h"
#include "inv/layouts.h"
#include "inv/splitter.h"
#include "rt/callstack.h"
#include "rt/files.h"
#include "rt/text.h"
#include "rt/workvars.h"

namespace inv {
namespace {

constexpr const char* kProc = "TFORM1:BUTTON1CLICK";
constexpr const char* kModule = "tform1.cpp";

// Line numbers of the steps, as they show in error messages and in the log's trace.
enum Line : int {
  kTestTemplate = 2,
  kNoTemplate = 3,
  kEraseInventory = 7,
  kTestInventory = 9,
  kInventoryFields = 10,
  kCreateInventory = 23,
  kTemplateFields = 25,
  kCreateTemplate = 34,
  kOpenTemplate = 35,
  kImport = 36,
  kSplitTop = 37,
  kSplitEof = 38,
  kSplitReset = 39,
  kSplitLoop = 47,
  kPutCodigo = 59,
  kPutUnidad = 60,
  kPutDescri = 61,
  kPutExisten = 62,
  kPutCostprom = 63,
  kPutUltcosto = 64,
  kPutLocaliza = 65,
  kSplitSkip = 66,
  kDeleteBlank = 68,
  kDeleteHeading = 69,
  kPack = 70,
  kSelect2 = 71,
  kOpenInventory = 72,
  kCreateIndex = 73,
  kSelect1 = 74,
  kMergeTop = 75,
  kMergeEof = 76,
  kCopyRow = 77,
  kMergeSelect2 = 84,
  kSeek = 85,
  kFound = 86,
  kAppend = 87,
  kPutNewCode = 88,
  kPutDescri1 = 90,
  kPutExisten1 = 91,
  kPutUnidad1 = 92,
  kPutCostprom1 = 93,
  kPutUltcosto1 = 94,
  kPutLocaliza1 = 95,
  kMergeSelect1 = 96,
  kMergeSkip = 97,
  kFinalSelect2 = 99,
  kCloseAll = 100,
  kEraseTemplate = 101,
  kEraseTemplateIndex = 102,
  kDone = 103,
};

// Builds CAMPOS row by row, as the working variable the creation reads.
void buildCampos(const rt::List& rows) {
  rt::assignVar("CAMPOS", rt::Value(rt::List{}));
  rt::List campos;
  for (const rt::Value& row : rows) {
    campos.push_back(row);
    rt::assignVar("CAMPOS", rt::Value(campos));
  }
}

std::string_view textOf(const rt::Value& v) {
  return v.isText() ? std::string_view(v.text()) : std::string_view();
}

// Splits the current template row's line and fills its product fields (one pass of the first
// loop). The seven column texts, COMA and POSICION end as the character walk leaves them.
void splitRow(rt::CallFrame& frame) {
  frame.setLine(kSplitReset);
  for (const char* name :
       {"CODIGO1", "DESCRI1", "UNIDAD1", "EXISTEN1", "COSTPROM1", "ULTCOSTO1", "LOCALIZA1"})
    rt::assignVar(name, rt::Value(std::string()));
  rt::assignVar("COMA", rt::Value(0));

  frame.setLine(kSplitLoop);
  rt::Value campo = rt::readName("CAMPO");
  std::string_view line = textOf(campo);
  Columns cols = splitColumns(line);
  static const char* const kVars[7] = {"CODIGO1",   "DESCRI1",   "UNIDAD1",  "EXISTEN1",
                                       "COSTPROM1", "ULTCOSTO1", "LOCALIZA1"};
  for (std::size_t k = 0; k < 7; ++k) rt::assignVar(kVars[k], rt::Value(cols.col[k]));
  rt::assignVar("COMA", rt::Value(cols.commas));
  rt::assignVar("POSICION", rt::Value(rt::LEN(line) + 1));

  // Read in place: nothing assigns a working variable while the fields are put.
  auto var = [](const char* name) -> const rt::Value& { return *rt::findVar(name); };
  frame.setLine(kPutCodigo);
  db::fieldPut("codigo", var("CODIGO1"));
  frame.setLine(kPutUnidad);
  db::fieldPut("unidad", var("UNIDAD1"));
  frame.setLine(kPutDescri);
  db::fieldPut("descri", var("DESCRI1"));
  frame.setLine(kPutExisten);
  db::fieldPut("existen", rt::VAL(var("EXISTEN1")));
  frame.setLine(kPutCostprom);
  db::fieldPut("costprom", rt::VAL(var("COSTPROM1")));
  frame.setLine(kPutUltcosto);
  db::fieldPut("ultcosto", rt::VAL(var("ULTCOSTO1")));
  frame.setLine(kPutLocaliza);
  db::fieldPut("localiza", var("LOCALIZA1"));
}

// One pass of the merge loop: the current template row into the inventory.
void mergeRow(rt::CallFrame& frame) {
  frame.setLine(kCopyRow);
  rt::assignVar("CODIGO1", rt::readName("codigo"));
  rt::assignVar("DESCRI1", rt::readName("descri"));
  rt::assignVar("EXISTEN1", rt::readName("existen"));
  rt::assignVar("UNIDAD1", rt::readName("unidad"));
  rt::assignVar("COSTPROM1", rt::readName("costprom"));
  rt::assignVar("ULTCOSTO1", rt::readName("ultcosto"));
  rt::assignVar("LOCALIZA1", rt::readName("localiza"));

  auto var = [](const char* name) { return rt::readName(name); };
  frame.setLine(kMergeSelect2);
  db::DBSELECTAREA(rt::Value("2"));
  frame.setLine(kSeek);
  db::DBSEEK(var("CODIGO1"));
  frame.setLine(kFound);
  if (!db::FOUND()) {
    frame.setLine(kAppend);
    db::DBAPPEND();
    frame.setLine(kPutNewCode);
    db::fieldPut("codigo", var("CODIGO1"));
  }
  frame.setLine(kPutDescri1);
  db::fieldPut("descri", var("DESCRI1"));
  frame.setLine(kPutExisten1);
  db::fieldPut("existen", var("EXISTEN1"));
  frame.setLine(kPutUnidad1);
  db::fieldPut("unidad", var("UNIDAD1"));
  frame.setLine(kPutCostprom1);
  db::fieldPut("costprom", var("COSTPROM1"));
  frame.setLine(kPutUltcosto1);
  db::fieldPut("ultcosto", var("ULTCOSTO1"));
  frame.setLine(kPutLocaliza1);
  db::fieldPut("localiza", var("LOCALIZA1"));
  frame.setLine(kMergeSelect1);
  db::DBSELECTAREA(rt::Value("1"));
}

rt::Value deleteRow() {
  db::DBDELETE();
  return rt::Value();
}

}  // namespace

void productLoad(bool eraseInventory, StatusSink& status, Progress* progress) {
  rt::CallFrame frame(kProc, kTestTemplate, kModule);

  if (!rt::FILE("plantilla.csv")) {
    frame.setLine(kNoTemplate);
    status.setStatus("No se encontro el archivo plantilla plantilla.csv");
    return;
  }
  if (eraseInventory) {
    frame.setLine(kEraseInventory);
    rt::FERASE("inven.dbf");
  }
  frame.setLine(kTestInventory);
  if (!rt::FILE("inven.dbf")) {
    frame.setLine(kInventoryFields);
    buildCampos(inventoryFields());
    frame.setLine(kCreateInventory);
    db::DBCREATE(rt::Value("inven.dbf"), *rt::findVar("CAMPOS"));
  }
  frame.setLine(kTemplateFields);
  buildCampos(templateFields());
  frame.setLine(kCreateTemplate);
  db::DBCREATE(rt::Value("plantilla.dbf"), *rt::findVar("CAMPOS"));

  frame.setLine(kOpenTemplate);
  db::DBUSEAREA(rt::Value(false), {}, rt::Value("plantilla"), {}, {}, rt::Value(false));
  frame.setLine(kImport);
  db::DBSDF(false, rt::Value("plantilla.csv"), rt::Value(rt::List{}), {}, {}, {}, {},
            rt::Value(false));

  // Split every line into the product columns.
  const std::uint64_t rows = static_cast<std::uint64_t>(db::LASTREC());
  std::uint64_t done = 0;
  frame.setLine(kSplitTop);
  db::DBGOTOP();
  for (;;) {
    frame.setLine(kSplitEof);
    if (db::DBEOF()) break;
    splitRow(frame);
    frame.setLine(kSplitSkip);
    db::DBSKIP(1);
    if (progress && (++done & 1023) == 0) progress->rows(done, 2 * rows);
  }

  // Blank rows and heading rows go.
  const rt::Value del(rt::Block{deleteRow, kProc});
  frame.setLine(kDeleteBlank);
  db::DBEVAL(
      del,
      rt::Value(rt::Block{
          [] { return rt::Value(rt::textEq(textOf(rt::readName("CODIGO")), rt::SPACE(40))); },
          kProc}),
      {}, {}, {}, rt::Value(false));
  frame.setLine(kDeleteHeading);
  db::DBEVAL(del,
             rt::Value(rt::Block{[] {
                                   rt::Value code = rt::readName("CODIGO");
                                   return rt::Value(rt::textEq(
                                       rt::UPPER(rt::SUBSTR(textOf(code), 1, 6)), "CODIGO"));
                                 },
                                 kProc}),
             {}, {}, {}, rt::Value(false));
  frame.setLine(kPack);
  db::DBPACK();

  // The inventory with its index on the code.
  frame.setLine(kSelect2);
  db::DBSELECTAREA(rt::Value("2"));
  frame.setLine(kOpenInventory);
  db::DBUSEAREA(rt::Value(false), {}, rt::Value("inven"), {}, {}, rt::Value(false));
  frame.setLine(kCreateIndex);
  db::DBCREATEINDEX(rt::Value("inven"), rt::Value("codigo"),
                    rt::Value(rt::Block{[] { return rt::readName("CODIGO"); }, kProc}));

  // Merge every template row by code.
  frame.setLine(kSelect1);
  db::DBSELECTAREA(rt::Value("1"));
  const std::uint64_t kept = static_cast<std::uint64_t>(db::LASTREC());
  frame.setLine(kMergeTop);
  db::DBGOTOP();
  for (std::uint64_t merged = 0;; ++merged) {
    frame.setLine(kMergeEof);
    if (db::DBEOF()) break;
    mergeRow(frame);
    frame.setLine(kMergeSkip);
    db::DBSKIP(1);
    if (progress && (merged & 1023) == 0) progress->rows(rows + merged, rows + kept);
  }

  frame.setLine(kFinalSelect2);
  db::DBSELECTAREA(rt::Value("2"));
  frame.setLine(kCloseAll);
  db::DBCLOSEALL();
  frame.setLine(kEraseTemplate);
  rt::FERASE("plantilla.dbf");
  frame.setLine(kEraseTemplateIndex);
  rt::FERASE("plantilla.ntx");
  frame.setLine(kDone);
  if (progress) progress->rows(rows + kept, rows + kept);
  status.setStatus("Proceso terminado!");
}

}  // namespace inv

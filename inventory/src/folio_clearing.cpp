// The folio clearing: the body of TFORM1:BUTTON2CLICK. Sets folio to 0 in every inventory row
// whose folio lies in the range of the two edit boxes. The range is not validated: a first
// number above the last matches nothing.
#include "db/workarea.h"
#include "inv/actions.h"
#include "rt/callstack.h"
#include "rt/text.h"
#include "rt/workvars.h"

namespace inv {
namespace {

constexpr const char* kProc = "TFORM1:BUTTON2CLICK";

enum Line : int {
  kFolio1 = 2,
  kFolio2 = 3,
  kSelect1 = 4,
  kOpen = 5,
  kEval = 6,
  kClose = 7,
  kDone = 8,
};

}  // namespace

void folioClearing(std::string_view first, std::string_view last, StatusSink& status) {
  rt::CallFrame frame(kProc, kFolio1, "tform1.cpp");
  rt::assignVar("FOLIO1", rt::VAL(first));
  frame.setLine(kFolio2);
  rt::assignVar("FOLIO2", rt::VAL(last));

  frame.setLine(kSelect1);
  db::DBSELECTAREA(rt::Value("1"));
  frame.setLine(kOpen);
  db::DBUSEAREA(rt::Value(false), {}, rt::Value("inven"), {}, {}, rt::Value(false));

  frame.setLine(kEval);
  rt::Block inRange{[] {
                      rt::Value folio = rt::readName("FOLIO");
                      return rt::Value(rt::numGe(folio, rt::readName("FOLIO1")) &&
                                       rt::numLe(folio, rt::readName("FOLIO2")));
                    },
                    kProc};
  rt::Block clear{[] {
                    db::fieldPut("FOLIO", rt::Value(0));
                    return rt::Value();
                  },
                  kProc};
  db::DBEVAL(rt::Value(std::move(clear)), rt::Value(std::move(inRange)), {}, {}, {},
             rt::Value(false));

  frame.setLine(kClose);
  db::DBCLOSEAREA();
  frame.setLine(kDone);
  status.setStatus("Folios eliminados. Listo!");
}

}  // namespace inv

// Work areas and the table commands the actions call.
//
// Areas are numbered 1..65535; each holds at most one open table. One area number is current
// (1 at start and after DBCLOSEALL); unqualified commands act on it. Every command pushes a call
// level with its name (line 0), so that an error it raises names it as PROCNAME.
//
// Failures never come back as exceptions except rt::Break (the user chose Quit), which unwinds
// with every table left consistent. A command run while the current area is empty raises
// "Workarea not in use" (DBCMD, 35, subcode 2001, operation = the command, default allowed) and
// does nothing; commands that answer a question (DBEOF, FOUND, RECNO, ...) answer the empty
// value instead.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/table.h"
#include "rt/errortext.h"
#include "rt/value.h"

namespace db {

// --- areas -------------------------------------------------------------------------------------
inline constexpr int kMaxArea = 65535;

int currentArea();
// Makes `area` current without any check or error (1..65535; the area may be empty).
void selectArea(int area);
// The table open in `area` / the current area, or nullptr.
Table* tableIn(int area);
Table* currentTable();
// The lowest area number from 1 upwards that holds no table.
int lowestFreeArea();
// The area whose alias is `alias` (any letter case, trailing blanks ignored), or 0.
int areaOfAlias(std::string_view alias);

// The table of the current area, or nullptr after raising "Workarea not in use" for `operation`.
Table* requireTable(std::string_view operation);

// Opening a table into an area: what DBUSEAREA and the text import's transfer open share.
struct UseRequest {
  bool newArea = false;  // false: the current area (closing what it holds), true: lowest free
  std::string driver;    // empty: the default driver
  std::string fileName;
  std::string alias;     // empty: the file's base name (unless noAlias)
  bool noAlias = false;  // the table gets no alias (transfer opens)
  bool shared = false;
  bool readOnly = false;
  const std::vector<FieldDef>* structure = nullptr;  // for transfer-type drivers
  std::string_view operation = "DBUSEAREA";          // names argument errors
};
// Returns the area now holding the table (and current), or 0 after a failure, which leaves the
// target area empty and current. Errors: unknown driver, or a transfer driver without a
// structure (DBCMD argument error 1015), no file name (1005), the
// driver's open errors, "Illegal characters in alias" (17/1010) and "Alias already in use"
// (18/1011) with operation = the alias (default allowed; the open fails either way).
int useArea(const UseRequest& request);
// Closes and releases the table of `area` (nothing when empty). The area is empty afterwards
// even when the close raised an error or the handler chose Quit.
void closeArea(int area);

// Evaluates the callback `block` (an rt::Block value) for the table in `table`'s area: that area
// is made current while it runs and the previously current area restored afterwards, a call
// level "(b)" + block.definedIn is active, and the result is kept as the table's last callback
// result. A value that is not a block evaluates to nothing.
rt::Value evalBlock(Table& table, const rt::Value& block);

// What the error log lists: the current area and each area 1..600 that holds a table, with its
// alias, record number, controlling index number and key expression.
rt::WorkAreaReport workAreaReport();

// Connects the runtime to the work areas: bare-name reads see the current area's fields first,
// and the error log lists the open areas. Runs on first use of the work areas; calling it again
// does no harm.
void installRuntimeHooks();

// --- the commands --------------------------------------------------------------------------
// A number; a text with leading digits; a letter A..K (1..11) or M; or an alias. Numbers 1..65534
// select that area (it may be empty); any other number (and M) the lowest free area. An unknown
// alias raises "Alias does not exist" (BASE, 15, 1002, operation = the text, retry allowed) and
// leaves the current area as it was unless a retry finds it.
void DBSELECTAREA(const rt::Value& area);

// Opens a table: into the current area (closing its table first) or, with newArea true, into
// the lowest free area. The area becomes current; on failure it is left empty and current.
// No file name: argument error 1005. Shared: the flag when logical, else exclusive.
bool DBUSEAREA(const rt::Value& newArea = {}, const rt::Value& driver = {},
               const rt::Value& file = {}, const rt::Value& alias = {},
               const rt::Value& shared = {}, const rt::Value& readOnly = {});

// Creates a table file from a structure list {{name, type, width, decimals}, ...}. Bad
// arguments, a bad row, a type other than C/N, an N field wider than 255 or a record longer than
// 65535 bytes raise the argument error (DBCMD, 1, 1014) and create nothing. The table is built
// in the lowest free area and closed again; the current area does not change. With keepOpen it
// is built in the current area (closing what is there) and stays open there with an alias.
// Returns true when the file was created.
bool DBCREATE(const rt::Value& file, const rt::Value& structure, const rt::Value& driver = {},
              const rt::Value& keepOpen = {}, const rt::Value& alias = {});

void DBGOTO(std::int64_t record);
void DBGOTOP();
void DBSKIP(std::int64_t count = 1);
// End of file (true when no table is open), beginning of file, last seek found (false when no
// table is open), record number and count (0 when no table is open), deleted mark.
bool DBEOF();
bool DBBOF();
bool FOUND();
std::int64_t RECNO();
std::int64_t LASTREC();
bool DELETED();

// Appends a blank record and makes it current. Read-only table: "Write not allowed", false.
bool DBAPPEND(bool unlockAll = true);
void DBDELETE();
void DBRECALL();
// Removes the deleted records (the command __DBPACK). The progress block, when given, is
// evaluated every `interval` records.
void DBPACK(const rt::Value& progress = {}, const rt::Value& interval = {});
// Evaluates `action` over the records: with `record` on that record only; with `count` on at
// most that many from the current one; else from the top unless `whileCond` is given or `rest`
// is true. Arguments of the wrong kind: argument error 2019. The loop stops at end of file, when
// `whileCond` yields anything but true, or when the table is closed by a callback.
void DBEVAL(const rt::Value& action, const rt::Value& forCond = {}, const rt::Value& whileCond = {},
            const rt::Value& count = {}, const rt::Value& record = {}, const rt::Value& rest = {});
// Write back, header if due, commit to disk (the current area).
void DBCOMMIT();
void DBCLOSEAREA();
// Closes every area in ascending order; afterwards area 1 is current, unless nothing was open
// (the current area is then left as it was).
void DBCLOSEALL();
// The program's exit: DBCLOSEALL, with a break (Quit already chosen) swallowed, since there is
// nothing left to stop.
void closeAllAtExit();

// --- fields by name ------------------------------------------------------------------------
// The value of the current area's field `name` (any letter case): a character field gives all
// its bytes, a numeric field a number, the blank record at end of file blanks and 0. No such
// field (or no table): "Variable does not exist" (BASE, 14, 1003, operation = the name, retry
// allowed; after default the result is nothing).
rt::Value fieldGet(std::string_view name);
// Assigns the current area's field `name`. At end of file nothing happens. No such field:
// "Variable does not exist" as above. Encoding errors: see DbfTable::putValue.
void fieldPut(std::string_view name, const rt::Value& value);

// --- whole records (the text import's copy) -----------------------------------------------
// The current record image of the current area; empty when no table is open.
std::string_view recordGet();
// Replaces the current record image (nothing at end of file).
void recordPut(std::string_view bytes);

}  // namespace db

// The key index commands of the "DBFNTX" driver: creating an index for the current area's table,
// searching it, and the index layer that keeps it current (db/dbfntx.h's hooks).
//
// A work area holds at most one open index, which is its controlling index: creating an index
// closes the one open before. The index is kept current at every write back (an appended record
// adds its key; a changed record whose key differs from the key it had when it was first changed
// moves to its new place), orders go top and skip, is rebuilt after a pack and is closed (and
// committed to disk) with its table.
//
// Failure contract as in db/workarea.h: errors are raised, rt::Break propagates.
#pragma once

#include "db/index_file.h"
#include "db/table.h"
#include "rt/value.h"

namespace db {

// ORDCREATE with no tag name.
void DBCREATEINDEX(const rt::Value& file, const rt::Value& keyExpr, const rt::Value& keyBlock,
                   const rt::Value& unique = {});

// Builds an index of the current area's table in `file` (".ntx" added when it has no
// extension; without a file name the tag names the file) on the key that `keyBlock` gives (or,
// without a block, the field that `keyExpr` names). Key type and length come from the key of
// the blank record past the end: a text of 1 to 256 bytes (longer ones are cut). The new index
// becomes the controlling index and the area goes to its first key.
// Errors: no table: "Workarea not in use" (DBCMD 35/2001, default); neither file nor tag, or no
// key expression: argument error (DBCMD 1/1006); a key that is not a text: "Data type error"
// (DBFNTX 33/1026); an empty key: "Data width error" (DBFNTX 34/1026); then the errors of
// IndexFile::create. After any failure past the argument checks the area has no index.
void ORDCREATE(const rt::Value& file, const rt::Value& tag, const rt::Value& keyExpr,
               const rt::Value& keyBlock, const rt::Value& unique = {});

// Writes back the current record (adding or moving its key), then searches the controlling
// index for `value` (a text; a shorter one matches keys that begin with it). Found: the area goes
// to the first matching record (the last with `findLast`) and FOUND() is true. Not found: the
// area goes past the end (to the following record with `softSeek`) and FOUND() is false.
// Errors: no table: "Workarea not in use" (DBCMD 35/2001, default); no value: argument error
// (DBCMD 1/1001); no index: "Workarea not indexed" (DBFNTX 36/1201, default); a value that is
// not a text: "Data type error" (DBFNTX 33/1026).
bool DBSEEK(const rt::Value& value, const rt::Value& softSeek = {}, const rt::Value& findLast = {});

// The controlling index of `table` (nullptr when it has none or is not a "DBFNTX" table).
IndexFile* controllingIndex(Table* table);

// Options for the indexes created from now on (tests force small sort runs, benchmarks size the
// cache). Defaults: IndexOptions{}.
void setIndexOptions(const IndexOptions& options);

}  // namespace db

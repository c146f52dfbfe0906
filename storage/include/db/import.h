// Appending the records of a file opened through another table driver to the current table: the
// fixed-width text import (__DBSDF) and the transfer under it (__DBAPP).
//
// The current area's table is the target. The source file is opened in the lowest free area,
// without an alias, shared and read-only, with the target's structure, and is current while its
// records are copied; afterwards its area is free again and the previously current area is
// current, also when an error or a Quit answer (rt::Break) ends the transfer early. The target
// is left on the last record appended, still in its record buffer (written at its next write
// back); when nothing was appended its position is unchanged.
#pragma once

#include "rt/value.h"

namespace db {

// __DBSDF (the C++ name drops the reserved leading underscores; the call level keeps them).
// With exportFlag false: DBAPP with the same arguments and the driver "SDF", and its result.
// With exportFlag true (writing the table out as text, which this system never does):
// "Operation not supported" (DBCMD, 30, operation "COPY TO"), result false.
rt::Value DBSDF(bool exportFlag, const rt::Value& file, const rt::Value& fields = {},
                const rt::Value& forCond = {}, const rt::Value& whileCond = {},
                const rt::Value& count = {}, const rt::Value& record = {},
                const rt::Value& rest = {}, const rt::Value& connection = {});

// __DBAPP. Appends one record of the target per source record, whole records copied byte for
// byte (flag byte and image), in the source's order. Scope, as for DBEVAL: `record` transfers
// that one record; `count` at most that many from the first; a `whileCond` block stops the copy
// at the first record for which it yields anything but true; a `forCond` block skips the records
// for which it does. The blocks run with the source area current. `connection` is ignored.
//
// Results:
//  - no table in the current area: "Workarea not in use" (DBCMD, 35, 2001, operation
//    "APPEND FROM", default allowed); nothing happens and the result is nothing (nil);
//  - a non-empty field list, a full-type driver (one whose file carries its own structure) or a
//    target that cannot take whole records: "Operation not supported" (DBCMD, 30, operation
//    "APPEND FROM"), false, nothing appended;
//  - the source cannot be opened (unknown driver, the driver's open error after the handler gave
//    up): false, nothing appended;
//  - an append fails: false; the records appended before stay;
//  - the put fails: that new record is marked deleted, false;
//  - a read of the source fails and the handler gives it up: false; what was read stays;
//  - otherwise true.
rt::Value DBAPP(const rt::Value& file, const rt::Value& fields = {}, const rt::Value& forCond = {},
                const rt::Value& whileCond = {}, const rt::Value& count = {},
                const rt::Value& record = {}, const rt::Value& rest = {},
                const rt::Value& driver = {}, const rt::Value& connection = {});

}  // namespace db

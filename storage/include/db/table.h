// The table driver framework: one object per open table, whose class is its driver.
//
// A driver is a layer of operations. The base class `Table` holds the work-area bookkeeping (area,
// alias, the positioning flags, the last callback result) and answers every record operation
// with "Operation not supported" (generic code 30, subsystem = the driver's name). A driver
// derives from its parent and overrides what it implements; an override may call the parent's
// version. The file-level driver is `DbfTable` ("DBF", db/dbf.h); the memo and key index layers
// derive from it.
//
// Failure contract of every operation: it returns false after raising a runtime error through
// rt::raise() (or when the error handler answered default); rt::Break from a Quit answer
// propagates, and the object stays consistent (it can still be closed and destroyed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rt/error.h"
#include "rt/value.h"

namespace db {

// One row of a structure list as the table layer takes it: name (upper case after creation's
// name rules), type letter ('C' or 'N'), width, decimals.
struct FieldDef {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
};

// A field of an open table: its row plus its offset in the record (the deletion flag is byte 0).
struct FieldInfo : FieldDef {
  std::uint32_t offset = 0;
};

// What a driver's open receives.
struct OpenRequest {
  std::string fileName;  // as given by the caller; the driver adds its default extension
  bool shared = false;
  bool readOnly = false;
  // Transfer-type drivers (text files) take their fields from here; table drivers ignore it.
  const std::vector<FieldDef>* structure = nullptr;
};

// Key index facts for the error log.
struct OrderInfo {
  int order = 0;    // number of the controlling index, 0 when none
  std::string key;  // its key expression text
};

class Table {
 public:
  Table() = default;
  virtual ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // The driver's name ("DBFNTX", "SDF", ...); errors carry it as subsystem. Driver classes
  // return their own; the base layer answers the name it was registered under.
  virtual std::string_view driverName() const { return registeredName_; }

  // --- opening and closing -------------------------------------------------------------------
  // Creates the file for `fields` and leaves it open, exclusive, with no records.
  virtual bool create(const std::string& fileName, const std::vector<FieldDef>& fields);
  virtual bool open(const OpenRequest& def);
  // Writes back, writes what is due, commits and closes the file. Afterwards the object only
  // answers questions; it is destroyed by the work-area layer.
  virtual bool close();

  // --- positioning ---------------------------------------------------------------------------
  virtual bool goTo(std::uint32_t n);
  virtual bool goTop();
  // Base: skip raw 1 and skip filter, |n| times (stops at either end).
  virtual bool skip(std::int64_t n);
  virtual bool skipRaw(std::int64_t n);
  // Base: nothing (no filter is ever set, deleted rows are shown).
  virtual bool skipFilter(int direction);
  virtual bool seek(const rt::Value& key, bool softSeek, bool findLast);

  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  bool found() const { return found_; }
  void setFound(bool on) { found_ = on; }
  void setBof(bool on) { bof_ = on; }  // a layer that skipped back past the first record
  virtual std::uint32_t recNo() const { return recNo_; }
  virtual std::uint32_t recCount() const { return 0; }

  // --- records -------------------------------------------------------------------------------
  virtual bool append(bool unlockAll);
  virtual bool deleteRecord();
  virtual bool recall();
  virtual bool deleted(bool& out);
  // The value of field `index` (0-based) of the current record (blank record at end of file).
  virtual bool getValue(std::size_t index, rt::Value& out);
  // Assigns field `index`; at end of file nothing happens and the result is true.
  virtual bool putValue(std::size_t index, const rt::Value& v);
  // The record image (deletion flag + fields). Valid until the next operation on the table.
  virtual bool getRecord(std::string_view& out);
  virtual bool putRecord(std::string_view bytes);
  virtual bool goHot();
  virtual bool goCold();
  virtual bool flush();
  virtual bool pack();
  // "Information: can put records": whether put record may be used for whole-record copies.
  virtual bool canPutRecords() const { return false; }
  virtual OrderInfo orderInfo() const { return {}; }

  // --- fields --------------------------------------------------------------------------------
  const std::vector<FieldInfo>& fields() const { return fields_; }
  // Index of the field called `name` in any letter case, or -1. No allocation.
  int fieldIndex(std::string_view name) const;

  // --- work-area bookkeeping (set by the work-area layer) -------------------------------------
  int area() const { return area_; }
  const std::string& alias() const { return alias_; }
  const rt::Value& lastCallbackResult() const { return lastResult_; }
  void setLastCallbackResult(rt::Value v) { lastResult_ = std::move(v); }

  // A new error of this driver: subsystem = driverName(), generic code and description from the
  // table, severity 2, current call levels.
  rt::ErrorObj makeError(int gencode, int subcode) const;
  // Raises "Operation not supported" for `operation` (default allowed) and returns false.
  bool unsupported(std::string_view operation);

 protected:
  friend class WorkAreas;

  std::vector<FieldInfo> fields_;
  std::uint32_t recNo_ = 0;
  bool bof_ = true, eof_ = true, found_ = false;

 private:
  std::string registeredName_;
  mutable std::size_t lookupHint_ = 0;
  int busy_ =
      0;  // operations of this table running callbacks  // where fieldIndex() starts looking
  int area_ = 0;
  std::uint64_t serial_ = 0;  // tells this opening apart from a later one in the same area
  std::string alias_;
  rt::Value lastResult_;
};

}  // namespace db

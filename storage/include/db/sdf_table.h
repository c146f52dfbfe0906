// The table driver "SDF": a fixed-width text file opened as a read-only table of its own, one
// record per CR LF line (db/sdf_file.h, docs/text-import.md). It is a transfer-type driver
// derived from the base layer: the file carries no structure, so it is opened with the fields of
// the table its lines are copied into.
//
// It supports what the import needs: open, go top, skip forward, the end-of-file and deleted
// tests, the record number, get record, close; and reading a field's value, so that a condition
// evaluated over the text file's area can read fields by name. Every other operation is the base
// layer's "Operation not supported" (subsystem "SDF"): the file is never written.
#pragma once

#include <memory>

#include "db/sdf_file.h"
#include "db/table.h"

namespace db {

class SdfTable : public Table {
 public:
  std::string_view driverName() const override { return "SDF"; }

  // Opens def.fileName read-only and shared whatever def asks, with def.structure as its
  // fields (type, width and decimals kept; offsets are running sums after the flag byte), and
  // goes to line 1. No structure, or one of record length 0, is "Operation not supported".
  // Open failure: see SdfFile::open; nothing is left open.
  bool open(const OpenRequest& def) override;
  // Closes the file and frees the buffer. Always succeeds.
  bool close() override;

  bool goTop() override;
  // Forward by n single lines. n <= 0 fails without raising anything (the file is read forward
  // only). A read failure given up by the handler leaves the table at its end (readFailed()).
  bool skip(std::int64_t n) override;
  bool skipRaw(std::int64_t n) override;
  std::uint32_t recNo() const override;

  bool deleted(bool& out) override;
  // A character field gives its slice of the image, a numeric one the number read from it
  // (blanks at the end of the file, so 0).
  bool getValue(std::size_t index, rt::Value& out) override;
  // The flag byte (a blank) and the image of the current line; a blank image at the end.
  bool getRecord(std::string_view& out) override;
  // True when every field kept its type and width at open: always, for C and N fields.
  bool canPutRecords() const override { return true; }

  // A read failed and the handler gave it up: the lines after it were not seen.
  bool readFailed() const { return file_ && file_->readFailed(); }

 private:
  void syncFlags();
  std::unique_ptr<SdfFile> file_;
};

// Registers "SDF" (transfer type) with the driver registry; later calls do nothing.
void registerSdfDriver();

}  // namespace db

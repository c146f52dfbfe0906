// The table-file driver "DBF": a table of character and numeric fields in one file, the memo
// layer "DBFFPT" on top of it (no memo fields exist here, so it adds nothing), and the record
// buffer of an open table. The byte layout is described in docs/table-file.md.
//
// Records are read lazily: moving only marks the buffer stale, and the first field read, deleted
// test or record read loads it. While records are read in order, a table opened exclusively reads
// them ahead in blocks of about 64 KB; each record's bytes are still read from the file once. A
// changed record is written back (go cold) before every movement, append, pack, flush and close.
// Consecutive record writes of a table opened exclusively are gathered and handed to the OS in
// large writes; they reach the file at the latest at the next flush, close, header write,
// non-consecutive write or direct file access through file().
//
// Errors carry the driver's name as subsystem (the table's class decides it: "DBFNTX" for the
// default driver). Each operation's failure contract is that of db/table.h unless stated.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/table.h"
#include "rt/launcher.h"
#include "rt/os.h"

namespace db {

class DbfTable : public Table {
 public:
  DbfTable();
  ~DbfTable() override;

  std::string_view driverName() const override { return "DBF"; }

  // Creates `fileName` (".dbf" added when it has no extension), exclusive, truncating a file of
  // that name. `fields` must already follow the creation rules (upper-case names, 'C' or 'N',
  // N widths 1..255). Fails with "Create error" 1021 when the header would pass 65535 bytes
  // (nothing touched), or 1004 when the file cannot be created (retry allowed; after default
  // nothing is open). On success the table is open with no records, at end of file; the file is
  // H + 1 bytes ending in 0x20.
  bool create(const std::string& fileName, const std::vector<FieldDef>& fields) override;
  // Opens the file and reads header and descriptors. Failures: "Open error" 1001 (retry,
  // default), "Corruption detected" 1012 for a bad version byte or a short header/descriptor
  // read (retry reads again) and for a type letter other than C and N (no retry; the open
  // fails). After a failure nothing is open and nothing was written.
  bool open(const OpenRequest& def) override;
  // Write back, header when an append made it due, commit when data was written, close the
  // file. The file is closed even when a step raised an error or the handler chose Quit.
  bool close() override;

  bool goTo(std::uint32_t n) override;
  bool goTop() override;
  bool skip(std::int64_t n) override;
  bool skipRaw(std::int64_t n) override;
  std::uint32_t recCount() const override { return count_; }

  bool append(bool unlockAll) override;
  bool deleteRecord() override;
  bool recall() override;
  bool deleted(bool& out) override;
  bool getValue(std::size_t index, rt::Value& out) override;
  // Character fields take a text (cut or padded with blanks); numeric fields a number. A number
  // that does not fit leaves asterisks and raises "Data width error" 1021; a value of the wrong
  // kind leaves the field unchanged and raises "Data type error" 1020 (both: default only, after
  // which the assignment counts as done).
  bool putValue(std::size_t index, const rt::Value& v) override;
  bool getRecord(std::string_view& out) override;
  bool putRecord(std::string_view bytes) override;
  // Before the first change of a record: "Write not allowed" 1025 on a read-only table, "Lock
  // required" 1022 on a shared one unless the record is the one this area appended.
  bool goHot() override;
  // Writes a changed record at its place ("Write error" 1011 when short).
  bool goCold() override;
  // Write back, header if due, commit to disk when data was written.
  bool flush() override;
  // Drops deleted records, keeping order; rewrites the header only when the count changed.
  // "Write not allowed" 1025 (read-only) or "Exclusive required" 1023 (shared): nothing changes.
  bool pack() override;
  bool canPutRecords() const override { return true; }
  // Called by pack every `interval` records when set (the progress callback of __DBPACK).
  std::function<void()> packProgress;
  std::uint32_t packInterval = 0;

  // --- what layers above (key index, bulk readers) may use -----------------------------------
  // The open file, with every gathered record write already handed to it: reading the file
  // directly then sees what the table sees. Bytes 0..H-1 must not be written through it.
  rt::os::File& file();
  // Hands the gathered record writes to the OS ("Write error" 1011 when short).
  bool writePending();
  const std::string& fileName() const { return fileName_; }
  std::uint32_t headerLength() const { return headerLen_; }
  std::uint32_t recordLength() const { return recordLen_; }
  bool isShared() const { return shared_; }
  bool isReadOnly() const { return readOnly_; }
  // Whether the record buffer holds an appended record not yet written, or a changed one.
  bool isAppended() const { return appended_; }
  bool isChanged() const { return changed_; }
  bool isPositioned() const { return positioned_; }

  // Number of record reads and record writes since open (benchmarks and tests).
  struct Counters {
    std::uint64_t recordReads = 0, recordWrites = 0, headerWrites = 0;
  };
  const Counters& counters() const { return counters_; }

 protected:
  // Loads the current record into the buffer when it is stale ("Read error" 1010 when short).
  bool ensureRecord();
  // The header upkeep: "Write not allowed" on a read-only table; else date, count and, in
  // exclusive use, the end mark with the file cut after it.
  bool writeHeader();
  // Raises `e` with the file name filled in (and the OS code when `withOs`).
  rt::Answer raiseFileError(rt::ErrorObj& e, bool withOs);
  // A table opened read-only raises "Write not allowed" (1025) and answers true.
  bool refusedReadOnly();

 private:
  bool readRecordAt(std::uint32_t k, char* out);
  bool writeRecordAt(std::uint32_t k, const char* data);
  bool writeAll(std::uint64_t offset, const void* data, std::size_t n);
  void setBlank();
  bool openFile(const std::string& name, const rt::os::OpenMode& mode, int subcode, int gencode);
  bool readStructure();
  void releaseFile();

  std::unique_ptr<rt::os::File> file_;
  std::string fileName_;
  std::array<unsigned char, 32> header_{};
  std::uint32_t headerLen_ = 0, recordLen_ = 0, count_ = 0;
  std::string buffer_;  // the record buffer, R bytes

  bool positioned_ = false, valid_ = false, changed_ = false, appended_ = false;
  bool deleted_ = false, headerDue_ = false, dataWritten_ = false;
  bool shared_ = false, readOnly_ = false;
  std::uint32_t lockedRecord_ = 0;  // shared use: the record this area appended

  // Records read ahead while the area reads in record order: raFirst_ .. raFirst_ + raCount_ - 1.
  std::string readAhead_;
  std::uint32_t raFirst_ = 0, raCount_ = 0, lastRead_ = 0;

  // Gathered consecutive record writes: records first_ .. first_ + pendingCount_ - 1.
  std::string pending_;
  std::uint32_t pendingFirst_ = 0, pendingCount_ = 0, pendingCap_ = 0;

  Counters counters_;
};

// "DBFFPT": the memo-field layer. Tables of this system have no memo fields, so every operation
// is the "DBF" one.
class DbfFptTable : public DbfTable {
 public:
  std::string_view driverName() const override { return "DBFFPT"; }
};

// The default extension of table files.
inline constexpr std::string_view kTableExtension = ".dbf";
// `name` with `ext` appended when its last path component has no '.'.
std::string withDefaultExtension(std::string_view name, std::string_view ext);

}  // namespace db

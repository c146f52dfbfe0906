// "DBFNTX", the default driver: the table file with a key index layer on top.
//
// The table class only knows where the index takes part; the index itself plugs in as an
// IndexLayer. Without a layer (no index open) every operation is the "DBF" one.
#pragma once

#include <memory>

#include "db/dbf.h"

namespace db {

class DbfNtxTable;

// The points at which an open key index takes part in the table's operations. Every hook runs
// with the table in a consistent state; a hook that fails raises its own error (subsystem
// "DBFNTX") and returns false. rt::Break propagates.
class IndexLayer {
 public:
  virtual ~IndexLayer() = default;

  // Go hot: the buffer still holds the record as it was before the first change. Remember the
  // keys that the write back will compare against.
  virtual void remember(DbfNtxTable& table) = 0;
  // Go cold, after the record was written to the table file (`appended`: a new record, else a
  // changed one). The buffer still holds the record as written. Update the keys.
  virtual bool update(DbfNtxTable& table, bool appended) = 0;
  // Go top and skip raw in index order. Return false when they did not handle the movement
  // (no controlling index): the table then moves in record-number order. The table has already
  // written back. `ok` receives the result of a handled movement.
  virtual bool goTop(DbfNtxTable& table, bool& ok) = 0;
  virtual bool skipRaw(DbfNtxTable& table, std::int64_t n, bool& ok) = 0;
  // DBSEEK, after the table has written back. Position with table.goTo(n) and then
  // table.setFound(...), or table.goTo(table.recCount() + 1) for a miss.
  virtual bool seek(DbfNtxTable& table, const rt::Value& key, bool softSeek, bool findLast) = 0;
  // After a pack removed records: rebuild the open indexes.
  virtual bool afterPack(DbfNtxTable& table) = 0;
  // Flush: commit the index files to disk.
  virtual bool flush(DbfNtxTable& table) = 0;
  // Close, after the table wrote back and closed its file: close the index files.
  virtual void close(DbfNtxTable& table) = 0;
  // For the error log.
  virtual OrderInfo orderInfo() const = 0;
};

class DbfNtxTable : public DbfFptTable {
 public:
  ~DbfNtxTable() override;
  std::string_view driverName() const override { return "DBFNTX"; }

  // The index layer, or nullptr when no index is open. Setting a new layer first closes the
  // previous one (its close hook runs).
  IndexLayer* indexLayer() const { return index_.get(); }
  void setIndexLayer(std::unique_ptr<IndexLayer> layer);

  bool close() override;
  bool goTop() override;
  bool skipRaw(std::int64_t n) override;
  // Without an index: "Workarea not indexed" (36, subcode 1201, default allowed).
  bool seek(const rt::Value& key, bool softSeek, bool findLast) override;
  bool goHot() override;
  bool goCold() override;
  bool flush() override;
  bool pack() override;
  OrderInfo orderInfo() const override;

 private:
  std::unique_ptr<IndexLayer> index_;
};

}  // namespace db

// Table layer speed: appending inventory rows against a plain buffered write of the same bytes,
// and full DBEVAL scans with the OS calls counted.
//
//   build/default/bench/table_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "db/workarea.h"
#include "inv/layouts.h"
#include "rt/launcher.h"
#include "rt/os.h"

namespace {

constexpr int kRows = 1'000'000;
constexpr std::size_t kRecordLength = 257;

// Counts the OS calls of every file opened through it.
class CountingOs : public rt::os::ForwardingOs {
 public:
  struct Counts {
    std::uint64_t reads = 0, readBytes = 0, writes = 0, writeBytes = 0;
  } counts;

  std::unique_ptr<rt::os::File> open(const std::string& name, const rt::os::OpenMode& mode,
                                     int* winCode) override {
    auto f = rt::os::realOs().open(name, mode, winCode);
    return f ? std::make_unique<CountingFile>(std::move(f), counts) : nullptr;
  }

 private:
  class CountingFile : public rt::os::File {
   public:
    CountingFile(std::unique_ptr<rt::os::File> f, Counts& c) : f_(std::move(f)), c_(c) {}
    std::int64_t readAt(std::uint64_t o, void* b, std::size_t n) override {
      ++c_.reads;
      c_.readBytes += n;
      return f_->readAt(o, b, n);
    }
    std::int64_t writeAt(std::uint64_t o, const void* b, std::size_t n) override {
      ++c_.writes;
      c_.writeBytes += n;
      return f_->writeAt(o, b, n);
    }
    std::int64_t size() override { return f_->size(); }
    bool truncate(std::uint64_t l) override { return f_->truncate(l); }
    bool commit() override { return f_->commit(); }
    int lastError() const override { return f_->lastError(); }

   private:
    std::unique_ptr<rt::os::File> f_;
    Counts& c_;
  };
};

// A working folder for the run, and a handler that stops on any error.
struct Setup {
  std::filesystem::path dir;
  Setup() {
    dir = std::filesystem::temp_directory_path() / ("tolv-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    rt::setErrorBlock([](rt::ErrorObj& e) {
      std::fprintf(stderr, "unexpected error %s/%d %s\n", e.subsystem.c_str(), e.subcode,
                   e.description.c_str());
      rt::requestBreak();
      return rt::Value(false);
    });
  }
  ~Setup() {
    std::filesystem::current_path(dir.parent_path());
    std::filesystem::remove_all(dir);
  }
};
Setup& setup() {
  static Setup s;
  return s;
}

rt::Value invenStructure() { return rt::Value(inv::inventoryFields()); }

// Product rows as a template load produces them, cycled through the run.
struct Product {
  rt::Value codigo, descri, unidad, existen, costprom, ultcosto, localiza;
};
const std::vector<Product>& products() {
  static const std::vector<Product> rows = [] {
    std::vector<Product> out;
    std::mt19937 rng(7);
    const char* units[] = {"PZA", "KG", "LT", "CAJA", "MT"};
    for (int i = 0; i < 4096; ++i) {
      Product p;
      p.codigo = "7501" + std::to_string(100000000 + rng() % 900000000);
      p.descri = "TORNILLO HEXAGONAL GALVANIZADO " + std::to_string(rng() % 100) + " MM X " +
                 std::to_string(rng() % 50) + " PULG";
      p.unidad = units[rng() % 5];
      p.existen = static_cast<double>(rng() % 100000) / 100.0;
      p.costprom = static_cast<double>(rng() % 10000000) / 1000.0;
      p.ultcosto = static_cast<double>(rng() % 10000000) / 1000.0;
      p.localiza = "PASILLO " + std::to_string(rng() % 40);
      out.push_back(std::move(p));
    }
    return out;
  }();
  return rows;
}

void appendRows(int rows) {
  const std::vector<Product>& p = products();
  for (int i = 0; i < rows; ++i) {
    const Product& r = p[static_cast<std::size_t>(i) % p.size()];
    db::DBAPPEND();
    db::fieldPut("codigo", r.codigo);
    db::fieldPut("descri", r.descri);
    db::fieldPut("unidad", r.unidad);
    db::fieldPut("existen", r.existen);
    db::fieldPut("costprom", r.costprom);
    db::fieldPut("ultcosto", r.ultcosto);
    db::fieldPut("localiza", r.localiza);
  }
}

long residentKb() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// DBCREATE, DBUSEAREA, 1,000,000 x (DBAPPEND + 7 field assignments), DBCLOSEAREA (header write
// and commit to disk included).
void BM_TableAppend(benchmark::State& state) {
  setup();
  long growth = 0;
  for (auto _ : state) {
    db::DBCREATE("inven", invenStructure());
    db::DBUSEAREA(false, {}, "inven");
    appendRows(kRows / 10);
    const long before = residentKb();
    appendRows(kRows - kRows / 10);
    growth = residentKb() - before;
    db::DBCLOSEAREA();
  }
  state.counters["rss_growth_kb"] = static_cast<double>(growth);
  state.counters["file_mb"] =
      static_cast<double>(std::filesystem::file_size("inven.dbf")) / (1024.0 * 1024.0);
}

// The same record bytes written with buffered std::fwrite.
void fwriteRows(bool sync) {
  setup();
  // The record images of the product rows, as the table layer stores them.
  static const std::vector<std::string> images = [] {
    db::DBCREATE("images", invenStructure());
    db::DBUSEAREA(false, {}, "images");
    appendRows(static_cast<int>(products().size()));
    std::vector<std::string> out;
    for (db::DBGOTOP(); !db::DBEOF(); db::DBSKIP()) out.emplace_back(db::recordGet());
    db::DBCLOSEAREA();
    return out;
  }();
  std::string header(418, '\0');
  std::FILE* f = std::fopen("plain.dbf", "wb");
  std::fwrite(header.data(), 1, header.size(), f);
  for (int i = 0; i < kRows; ++i)
    std::fwrite(images[static_cast<std::size_t>(i) % images.size()].data(), 1, kRecordLength, f);
  std::fputc(0x1A, f);
  if (sync) {
    std::fflush(f);
    ::fdatasync(::fileno(f));
  }
  std::fclose(f);
}

void BM_FwriteBaseline(benchmark::State& state) {
  for (auto _ : state) fwriteRows(false);
}
void BM_FwriteBaselineSynced(benchmark::State& state) {
  for (auto _ : state) fwriteRows(true);
}

// A full DBEVAL over the 1,000,000-row table reading a field of every record; `change` also
// assigns one.
void scan(benchmark::State& state, bool change) {
  setup();
  if (!std::filesystem::exists("inven.dbf") ||
      std::filesystem::file_size("inven.dbf") != 418 + kRows * kRecordLength + 1) {
    db::DBCREATE("inven", invenStructure());
    db::DBUSEAREA(false, {}, "inven");
    appendRows(kRows);
    db::DBCLOSEAREA();
  }
  CountingOs counting;
  rt::os::setOs(&counting);
  std::uint64_t visited = 0;
  for (auto _ : state) {
    counting.counts = {};
    visited = 0;
    db::DBUSEAREA(false, {}, "inven");
    const CountingOs::Counts atOpen = counting.counts;
    rt::Block action{[&] {
                       ++visited;
                       rt::Value folio = db::fieldGet("folio");
                       if (change) db::fieldPut("folio", static_cast<std::int64_t>(visited % 500));
                       return folio;
                     },
                     "BENCH"};
    db::DBEVAL(action);
    db::DBCLOSEAREA();
    counting.counts.reads -= atOpen.reads;
    counting.counts.readBytes -= atOpen.readBytes;
  }
  rt::os::setOs(nullptr);
  state.counters["records"] = static_cast<double>(visited);
  state.counters["bytes_read_per_record"] =
      static_cast<double>(counting.counts.readBytes) / static_cast<double>(visited);
  state.counters["os_reads"] = static_cast<double>(counting.counts.reads);
  state.counters["bytes_written_per_record"] =
      static_cast<double>(counting.counts.writeBytes) / static_cast<double>(visited);
  state.counters["os_writes"] = static_cast<double>(counting.counts.writes);
}
void BM_ScanUnchanged(benchmark::State& state) { scan(state, false); }
void BM_ScanChangingEveryRecord(benchmark::State& state) { scan(state, true); }

#define TABLE_BENCH(fn) BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime()
TABLE_BENCH(BM_TableAppend);
TABLE_BENCH(BM_FwriteBaseline);
TABLE_BENCH(BM_FwriteBaselineSynced);
TABLE_BENCH(BM_ScanUnchanged);
TABLE_BENCH(BM_ScanChangingEveryRecord);

}  // namespace

BENCHMARK_MAIN();

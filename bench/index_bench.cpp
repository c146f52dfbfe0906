// Key index benchmarks on 1,000,000 random 40-byte codes in a table of the inventory layout:
//   BM_BuildIndex       DBCREATEINDEX from the table file (report max RSS)
//   BM_BuildInOneRun    the same in a single sort run, compared byte for byte
//   BM_StableSortPairs  std::stable_sort of the same (key, record) pairs in memory, for the ratio
//   BM_SeekPresent      1,000,000 DBSEEKs of present codes (seeks/s, page reads per seek)
//   BM_AppendOneByOne   the product load's pattern: seek, miss, append, assign the code
// Run: build/default/bench/index_bench --benchmark_repetitions=5
//        --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#if defined(__unix__)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "db/index_commands.h"
#include "db/workarea.h"
#include "inv/layouts.h"
#include "rt/launcher.h"

namespace {

constexpr std::uint32_t kRecords = 1'000'000;
constexpr std::size_t kKey = 40;

std::uint64_t splitmix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Code number i: 40 random letters and digits, the same on every call.
void code(std::uint64_t i, char* out) {
  static constexpr char kChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::uint64_t s = i * 7 + 1;
  for (std::size_t j = 0; j < kKey; j += 8) {
    std::uint64_t r = splitmix(s++);
    for (std::size_t k = j; k < j + 8 && k < kKey; ++k, r >>= 8) out[k] = kChars[(r & 0xFF) % 36];
  }
}
std::string codeText(std::uint64_t i) {
  std::string s(kKey, ' ');
  code(i, s.data());
  return s;
}

// The process's peak resident memory so far (0 where the OS does not tell).
double maxRssMb() {
#if defined(__unix__)
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
#else
  return 0;
#endif
}

rt::Value structure() { return rt::Value(inv::inventoryFields()); }

rt::Value codigoBlock() {
  return rt::Block{[] { return db::fieldGet("codigo"); }, "BENCH"};
}

// A folder of its own, an error handler that stops the run, and the 1,000,000-record table
// (written straight to the file: the record count comes from the file size).
struct World {
  World() {
    dir = std::filesystem::temp_directory_path() /
          ("tolv-index-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    rt::setErrorBlock([](rt::ErrorObj& e) -> rt::Value {
      std::fprintf(stderr, "error %s/%d %s %s\n", e.subsystem.c_str(), e.subcode,
                   e.description.c_str(), e.filename.c_str());
      std::exit(1);
    });
    db::DBCREATE("inven.dbf", structure());
    std::ofstream out("inven.dbf", std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(418);  // H for the inventory layout, over the end byte of the empty table
    std::string record(257, ' ');
    std::vector<char> block;
    for (std::uint32_t i = 0; i < kRecords; ++i) {
      code(i, record.data() + 9);  // after the flag and the 8-byte folio
      block.insert(block.end(), record.begin(), record.end());
      if (block.size() > (1u << 20) || i + 1 == kRecords) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
        block.clear();
      }
    }
  }
  ~World() {
    db::DBCLOSEALL();
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
  }
  std::filesystem::path dir;
};

World& world() {
  static World w;
  return w;
}

void openInven() {
  db::DBCLOSEALL();
  db::DBSELECTAREA(2);
  db::DBUSEAREA(false, {}, "inven");
}

void BM_BuildIndex(benchmark::State& state) {
  world();
  openInven();
  for (auto _ : state) db::DBCREATEINDEX("inven", "codigo", codigoBlock());
  state.counters["max_rss_MB"] = maxRssMb();
  state.counters["file_MB"] =
      static_cast<double>(std::filesystem::file_size("inven.ntx")) / (1024.0 * 1024.0);
  db::DBCLOSEALL();
}

// The same build with one run for all pairs (no temporary file); `same_file` tells whether it
// wrote exactly the bytes of the spilled build.
void BM_BuildInOneRun(benchmark::State& state) {
  world();
  openInven();
  db::DBCREATEINDEX("spilled", "codigo", codigoBlock());
  db::IndexOptions options;
  options.runSize = kRecords;
  db::setIndexOptions(options);
  for (auto _ : state) db::DBCREATEINDEX("onerun", "codigo", codigoBlock());
  db::setIndexOptions({});
  db::DBCLOSEALL();
  auto bytes = [](const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  state.counters["same_file"] = bytes("spilled.ntx") == bytes("onerun.ntx") ? 1 : 0;
  state.counters["max_rss_MB"] = maxRssMb();
}

struct PairEntry {
  std::array<char, kKey> key;
  std::uint32_t recno;
};

void BM_StableSortPairs(benchmark::State& state) {
  std::vector<PairEntry> source(kRecords);
  for (std::uint32_t i = 0; i < kRecords; ++i) {
    code(i, source[i].key.data());
    source[i].recno = i + 1;
  }
  std::vector<PairEntry> pairs;
  for (auto _ : state) {
    state.PauseTiming();
    pairs = source;
    state.ResumeTiming();
    std::stable_sort(pairs.begin(), pairs.end(), [](const PairEntry& a, const PairEntry& b) {
      return std::memcmp(a.key.data(), b.key.data(), kKey) < 0;
    });
    benchmark::DoNotOptimize(pairs.data());
  }
}

void BM_SeekPresent(benchmark::State& state) {
  world();
  db::IndexOptions options;
  options.cachePages = static_cast<std::size_t>(state.range(0));
  db::setIndexOptions(options);
  openInven();
  db::DBCREATEINDEX("inven", "codigo", codigoBlock());
  db::IndexFile* index = db::controllingIndex(db::currentTable());
  const auto before = index->stats();
  std::uint64_t seeks = 0, misses = 0;
  for (auto _ : state) {
    for (std::uint32_t i = 0; i < kRecords; ++i) {
      const std::uint64_t n = (std::uint64_t{i} * 7919) % kRecords;  // all codes, shuffled
      if (!db::DBSEEK(codeText(n))) ++misses;
    }
    seeks += kRecords;
  }
  const auto after = index->stats();
  state.SetItemsProcessed(static_cast<std::int64_t>(seeks));
  state.counters["misses"] = static_cast<double>(misses);
  state.counters["file_reads_per_seek"] =
      static_cast<double>(after.pageReads - before.pageReads) / static_cast<double>(seeks);
  state.counters["cache_hits_per_seek"] =
      static_cast<double>(after.cacheHits - before.cacheHits) / static_cast<double>(seeks);
  db::DBCLOSEALL();
  db::setIndexOptions({});
}

// Starts from an empty table with its index and loads 1,000,000 new codes the way the product
// load does; then builds a fresh index of the same table for the size comparison.
void BM_AppendOneByOne(benchmark::State& state) {
  world();
  for (auto _ : state) {
    state.PauseTiming();
    db::DBCLOSEALL();
    db::DBCREATE("load.dbf", structure());
    db::DBSELECTAREA(2);
    db::DBUSEAREA(false, {}, "load");
    db::DBCREATEINDEX("load", "codigo", codigoBlock());
    state.ResumeTiming();
    for (std::uint32_t i = 0; i < kRecords; ++i) {
      const std::string c = codeText(i);
      if (!db::DBSEEK(c)) {
        db::DBAPPEND();
        db::fieldPut("codigo", c);
      }
    }
    db::DBCLOSEALL();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kRecords);
  const double loaded = static_cast<double>(std::filesystem::file_size("load.ntx"));
  db::DBSELECTAREA(2);
  db::DBUSEAREA(false, {}, "load");
  db::DBCREATEINDEX("fresh", "codigo", codigoBlock());
  db::DBCLOSEALL();
  const double fresh = static_cast<double>(std::filesystem::file_size("fresh.ntx"));
  state.counters["loaded_MB"] = loaded / (1024.0 * 1024.0);
  state.counters["fresh_MB"] = fresh / (1024.0 * 1024.0);
  state.counters["size_ratio"] = loaded / fresh;
}

BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_BuildInOneRun)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_StableSortPairs)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SeekPresent)
    ->Arg(4096)
    ->Arg(16384)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_AppendOneByOne)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

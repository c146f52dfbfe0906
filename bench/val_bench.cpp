// VAL on the texts of typical numeric columns, and the comma splitter's per-character pattern
// (LEN once, SUBSTR of one byte and a non-exact "=" per position) over a 240-byte template row.
// The "allocs" counter shows heap allocations per iteration: VAL must make none.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "rt/text.h"

namespace {
std::atomic<long> gAllocations{0};
}

// Counting replacement of the global allocator (GCC takes the free() of a pointer from the
// replaced new for a mismatch; it is not one).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t n) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

void countAllocations(benchmark::State& state, long before) {
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(gAllocations.load() - before),
                                                benchmark::Counter::kAvgIterations);
}

// Stock, average cost and last cost as a template holds them, plus the edit boxes' folios.
constexpr std::string_view kColumns[] = {
    "    10",    "2.5",   "123456.78901", "0",     "15",
    "  1250.00", "N/A",   "-3.25",        "7.",    "999999999999",
    "",          "12.50", "00042",        "1,500", "9223372036854775807",
    "48.999",    "  ",    "100",          "0.5",   "3.14159",
};

void BM_ValColumns(benchmark::State& state) {
  const long before = gAllocations.load();
  for (auto _ : state) {
    for (std::string_view text : kColumns) benchmark::DoNotOptimize(rt::VAL(text));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(std::size(kColumns)));
  countAllocations(state, before);
}
BENCHMARK(BM_ValColumns);

void BM_ValChecked(benchmark::State& state) {
  const rt::Value text("  1250.00");
  const long before = gAllocations.load();
  for (auto _ : state) benchmark::DoNotOptimize(rt::VAL(text));
  state.SetItemsProcessed(state.iterations());
  countAllocations(state, before);
}
BENCHMARK(BM_ValChecked);

// One template row, split at the commas the way the product load does it, into seven column
// texts grown by "+"; characters after the seventh comma are dropped.
void BM_CommaSplitRow(benchmark::State& state) {
  std::string line = "A-1001,Martillo de bola 16 oz,PZA,10,125.50,130.00,PASILLO 4";
  line.resize(240, ' ');
  std::string columns[7];
  for (auto _ : state) {
    for (std::string& c : columns) c.clear();
    int coma = 0;
    const std::int64_t len = rt::LEN(line);
    for (std::int64_t pos = 1; pos <= len; ++pos) {
      const std::string_view c = rt::SUBSTR(line, pos, 1);
      if (rt::textEq(c, ",")) {
        ++coma;
      } else if (coma < 7) {
        columns[coma] += c;
      }
    }
    benchmark::DoNotOptimize(columns);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommaSplitRow);

}  // namespace

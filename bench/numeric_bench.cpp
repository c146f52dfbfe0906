// Numeric field encoding and decoding: runs for three fields of every row on a product load.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "db/numeric.h"

namespace {

// Stock and cost values as a product list holds them: whole units, cents, four-decimal costs.
std::vector<rt::Value> stockAndCosts() {
  std::vector<rt::Value> values;
  std::uint64_t x = 88172645463325252u;  // xorshift: same values every run, no library draws
  for (int i = 0; i < 1024; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const auto whole = static_cast<double>(x % 100000);
    const auto cents = static_cast<double>((x >> 20) % 10000);
    switch (i % 3) {
      case 0: values.emplace_back(whole); break;                   // 1520
      case 1: values.emplace_back(whole / 100); break;             // 15.2
      default: values.emplace_back(whole + cents / 10000); break;  // 1520.1234
    }
  }
  return values;
}

void BM_Encode_18_5_Double(benchmark::State& state) {
  const std::vector<rt::Value> values = stockAndCosts();
  char field[18];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(db::encodeNumber(values[i++ & 1023], 18, 5, field));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Encode_18_5_Double);

void BM_Encode_8_0_Int(benchmark::State& state) {
  std::vector<rt::Value> values;
  for (std::int64_t k = 0; k < 1024; ++k) values.emplace_back(k * 97 % 100000);
  char field[8];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(db::encodeNumber(values[i++ & 1023], 8, 0, field));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Encode_8_0_Int);

void BM_Decode_18_5(benchmark::State& state) {
  const std::vector<rt::Value> values = stockAndCosts();
  std::vector<std::string> fields;
  for (const rt::Value& v : values) {
    std::string f(18, ' ');
    db::encodeNumber(v, 18, 5, f.data());
    fields.push_back(f);
  }
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(db::decodeNumber(fields[i++ & 1023], 5));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Decode_18_5);

// Reference only: the C library's formatting of the same values (it rounds differently, so it
// cannot replace the encoder; it shows what the encoder costs against a familiar yardstick).
void BM_Reference_snprintf_18_5(benchmark::State& state) {
  const std::vector<rt::Value> values = stockAndCosts();
  char field[19];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        std::snprintf(field, sizeof field, "%18.5f", values[i++ & 1023].dbl()));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Reference_snprintf_18_5);

}  // namespace

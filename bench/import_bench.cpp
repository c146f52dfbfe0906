// Importing a 1,000,000-line template against the plain way of doing the same work: std::fread
// the file, cut it at CR LF and copy each line into a record image.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "db/sdf_file.h"

namespace {

constexpr std::size_t kLines = 1'000'000;
constexpr std::size_t kRecLen = 424;  // the template table

// A template file of realistic product lines (about 65 bytes each), written once per run.
const std::string& templateFile() {
  static const std::string path = [] {
    std::filesystem::path p = std::filesystem::temp_directory_path() / "tolv-import-bench.csv";
    std::FILE* f = std::fopen(p.c_str(), "wb");
    std::mt19937 gen(7);
    auto r = [&gen](unsigned m) { return static_cast<unsigned>(gen() % m); };
    const char* words[] = {"Tornillo", "Tuerca",  "Arandela", "Clavo", "Taquete",   "Broca",
                           "Lija",     "Pintura", "Brocha",   "Cinta", "Pegamento", "Cable"};
    const char* units[] = {"PZA", "KG", "LT", "MT", "CJA"};
    char line[256];
    for (std::size_t i = 0; i < kLines; ++i) {
      int n = std::snprintf(line, sizeof line,
                            "P%07zu,%s %s %u/%u x %u,%s,%u.%02u,%u.%02u,%u.%02u,A%02u-%u\r\n", i,
                            words[r(12)], words[r(12)], r(9) + 1, r(16) + 1, r(12) + 1, units[r(5)],
                            r(5000), r(100), r(900), r(100), r(900), r(100), r(40), r(9));
      std::fwrite(line, 1, static_cast<std::size_t>(n), f);
    }
    std::fclose(f);
    return p.string();
  }();
  return path;
}

// The floor: fread in 1 MiB blocks, split at CR LF, blank-filled record images.
void BM_FreadCopy(benchmark::State& state) {
  const std::string& path = templateFile();
  std::string block(1 << 20, '\0');
  std::string rec(1 + kRecLen, ' ');
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::size_t lines = 0, have = 0;
    for (;;) {
      std::size_t got = std::fread(block.data() + have, 1, block.size() - have, f);
      std::size_t end = have + got;
      std::size_t start = 0, scan = 0;
      for (;;) {
        const void* cr = std::memchr(block.data() + scan, '\r', end - scan);
        if (!cr) break;
        std::size_t p = static_cast<std::size_t>(static_cast<const char*>(cr) - block.data());
        if (p + 1 >= end) break;
        scan = p + 1;
        if (block[p + 1] != '\n') continue;
        std::size_t len = std::min(p - start, kRecLen);
        std::memcpy(rec.data() + 1, block.data() + start, len);
        std::memset(rec.data() + 1 + len, ' ', kRecLen - len);
        benchmark::DoNotOptimize(rec.data());
        ++lines;
        start = scan = p + 2;
      }
      have = end - start;
      std::memmove(block.data(), block.data() + start, have);
      if (got == 0) break;
    }
    std::fclose(f);
    if (lines != kLines) state.SkipWithError("line count");
  }
}
BENCHMARK(BM_FreadCopy)->Unit(benchmark::kMillisecond);

void BM_ReadLines(benchmark::State& state) {
  const std::string& path = templateFile();
  for (auto _ : state) {
    auto f = db::SdfFile::open(path, kRecLen, {static_cast<std::size_t>(state.range(0))});
    std::size_t lines = 0;
    for (; !f->eof(); f->skip()) {
      benchmark::DoNotOptimize(f->record().data());
      ++lines;
    }
    if (lines != kLines) state.SkipWithError("line count");
  }
}
BENCHMARK(BM_ReadLines)->Arg(0)->Arg(256 << 10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

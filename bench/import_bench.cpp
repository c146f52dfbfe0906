// Importing a 1,000,000-line template (64 MB) into the template table, against the plain way of
// doing the same work: std::fread the file, cut it at CR LF, copy each line into a record.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "db/dbf.h"
#include "db/import.h"
#include "db/sdf_file.h"
#include "db/workarea.h"
#include "rt/launcher.h"

namespace {

constexpr std::size_t kLines = 1'000'000;
constexpr std::size_t kRecLen = 424;  // the template table

// A template file of realistic product lines (about 65 bytes each), written once per run.
const std::string& templateFile() {
  static const std::string path = [] {
    std::filesystem::path p = std::filesystem::current_path() / "plantilla.csv";
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

// fread in 1 MiB blocks, cut at CR LF, each line copied into a blank-filled record (flag byte +
// 424 bytes). With `out`, the records are gathered into 1 MiB and written with fwrite, as the
// records of a table file must be.
std::size_t freadCopy(const std::string& path, std::FILE* out) {
  std::string block(1 << 20, '\0');
  std::string rec(1 + kRecLen, ' ');
  std::string gathered;
  gathered.reserve(1 << 20);
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
      if (out) {
        gathered += rec;
        if (gathered.size() + rec.size() > gathered.capacity()) {
          std::fwrite(gathered.data(), 1, gathered.size(), out);
          gathered.clear();
        }
      }
      benchmark::DoNotOptimize(rec.data());
      ++lines;
      start = scan = p + 2;
    }
    have = end - start;
    std::memmove(block.data(), block.data() + start, have);
    if (got == 0) break;
  }
  if (out) std::fwrite(gathered.data(), 1, gathered.size(), out);
  std::fclose(f);
  return lines;
}

void BM_FreadCopy(benchmark::State& state) {
  const std::string& path = templateFile();
  for (auto _ : state)
    if (freadCopy(path, nullptr) != kLines) state.SkipWithError("line count");
}
BENCHMARK(BM_FreadCopy)->Unit(benchmark::kMillisecond);

// The same, also writing the records out (424 MB), as the import must.
void BM_FreadCopyWrite(benchmark::State& state) {
  const std::string& path = templateFile();
  for (auto _ : state) {
    state.PauseTiming();  // as for the import, cutting last round's file is not timed
    std::FILE* out = std::fopen("baseline.dat", "wb");
    state.ResumeTiming();
    if (freadCopy(path, out) != kLines) state.SkipWithError("line count");
    std::fclose(out);
  }
  std::filesystem::remove("baseline.dat");
}
BENCHMARK(BM_FreadCopyWrite)->Unit(benchmark::kMillisecond);

// The text reader alone: one read per line (0) or through the import's read-ahead.
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

// The import into the template table, up to every record handed to the OS (the close, with its
// commit to disk, is not timed).
void BM_Import(benchmark::State& state) {
  const std::string& path = templateFile();
  auto row = [](const char* name, const char* type, int width, int decimals) {
    return rt::Value(rt::List{name, type, width, decimals});
  };
  const rt::Value structure =
      rt::List{row("campo", "c", 240, 0),   row("codigo", "c", 40, 0),  row("descri", "c", 70, 0),
               row("unidad", "c", 5, 0),    row("existen", "n", 18, 5), row("costprom", "n", 18, 5),
               row("ultcosto", "n", 18, 5), row("localiza", "c", 15, 0)};
  for (auto _ : state) {
    state.PauseTiming();
    db::DBCREATE("plantilla", structure);
    db::DBUSEAREA(false, {}, "plantilla");
    state.ResumeTiming();
    bool ok = db::DBSDF(false, path).isTrue();
    ok = ok && dynamic_cast<db::DbfTable&>(*db::currentTable()).writePending();
    state.PauseTiming();
    if (!ok || db::LASTREC() != static_cast<std::int64_t>(kLines)) state.SkipWithError("import");
    db::DBCLOSEAREA();
    state.ResumeTiming();
  }
  std::filesystem::remove("plantilla.dbf");
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Tables are created in the working folder: use a scratch one.
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "tolv-import-bench";
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  rt::setErrorBlock([](rt::ErrorObj& e) -> rt::Value {
    std::fprintf(stderr, "error: %s %s %s\n", e.subsystem.c_str(), e.description.c_str(),
                 e.filename.c_str());
    rt::requestBreak();
    return false;
  });
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::current_path(dir.parent_path());
  std::filesystem::remove_all(dir);
  return 0;
}

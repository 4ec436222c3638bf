// Exact look-up, next-greater look-up and record read on a 1,000,000-key call index, side by side
// with SQLite on the same keys (an indexed table, one prepared statement per operation).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "TestDir.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"
#include "storage/UIndexWriter.h"

namespace {

constexpr int kKeys = 1000000;

std::string CallOf(int i) {
  // Six-character calls spread over the key space: 2 letters, digit, 3 letters.
  std::string s = "aa0aaa";
  s[0] = static_cast<char>('a' + i % 26);
  s[1] = static_cast<char>('a' + (i / 26) % 26);
  const int digit = (i / 676) % 10;
  s[2] = digit == 0 ? '<' : static_cast<char>('0' + digit);  // the index stores "0" as "<"
  s[3] = static_cast<char>('a' + (i / 6760) % 26);
  s[4] = static_cast<char>('a' + (i / 175760) % 26);
  s[5] = static_cast<char>('a' + (i / 4569760) % 26);
  return s;
}

struct World {
  TestDir dir;
  std::vector<std::string> keys;
  std::vector<int32_t> refs;
  std::string dataFile;
  TIndexCtl ctl;
  TReadOnlyFile data;
  sqlite3* db = nullptr;
  sqlite3_stmt* exact = nullptr;
  sqlite3_stmt* next = nullptr;
  sqlite3_stmt* record = nullptr;

  World() {
    AllocIndexCaches();
    std::vector<TIndexItem> items;
    std::string file(16, '\0');
    std::mt19937 rng(1);
    for (int i = 0; i < kKeys; ++i) {
      TEntryRecord r;
      r.db = TDatabase::Intl;
      r.ref = static_cast<int32_t>(file.size());
      r.pos[0] = i;
      AppendField(r, 1, CallOf(i));
      AppendField(r, 3,
                  "Operator " + std::to_string(i) + ", Some Street " + std::to_string(rng() % 999) +
                      ", Some Town");
      AppendField(r, 4, "Country");
      file += EncodeRecord(r);
      keys.push_back(CallOf(i));
      refs.push_back(r.ref);
      items.push_back({CallOf(i), r.ref});
    }
    SortIndexItems(items);
    WriteIndexFile(dir.file("calls.idx"), items, 6, false);
    dataFile = dir.file("thedata.dat");
    WriteFileAtomically(dataFile, file);
    ShortKeyEngine().OpenIndex(ctl, dir.file("calls.idx"), 6, false);
    data.Open(dataFile);

    sqlite3_open(dir.file("calls.sqlite").c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                 "CREATE TABLE entry(call TEXT PRIMARY KEY, payload BLOB) WITHOUT ROWID;",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO entry VALUES(?,?)", -1, &ins, nullptr);
    for (int i = 0; i < kKeys; ++i) {
      TEntryRecord r;
      const int size = std::min<int>(kIntlRecordSize,
                                     static_cast<int>(file.size()) - refs[static_cast<size_t>(i)]);
      sqlite3_bind_text(ins, 1, keys[static_cast<size_t>(i)].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_blob(ins, 2, file.data() + refs[static_cast<size_t>(i)], size, SQLITE_STATIC);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "SELECT payload FROM entry WHERE call = ?", -1, &exact, nullptr);
    sqlite3_prepare_v2(db, "SELECT call, payload FROM entry WHERE call >= ? ORDER BY call LIMIT 1",
                       -1, &next, nullptr);
  }
};

World& TheWorld() {
  static World w;
  return w;
}

void BM_Tellmark_FindExact(benchmark::State& st) {
  auto& w = TheWorld();
  std::mt19937 rng(2);
  bool found = false;
  int32_t ref = 0;
  for (auto _ : st) {
    ShortKeyEngine().Find(w.ctl, w.keys[rng() % kKeys], found, ref);
    benchmark::DoNotOptimize(ref);
  }
}

void BM_Sqlite_FindExact(benchmark::State& st) {
  auto& w = TheWorld();
  std::mt19937 rng(2);
  for (auto _ : st) {
    sqlite3_bind_text(w.exact, 1, w.keys[rng() % kKeys].c_str(), -1, SQLITE_STATIC);
    sqlite3_step(w.exact);
    benchmark::DoNotOptimize(sqlite3_column_blob(w.exact, 0));
    sqlite3_reset(w.exact);
  }
}

void BM_Tellmark_FindNextGreater(benchmark::State& st) {
  auto& w = TheWorld();
  std::mt19937 rng(3);
  bool exact = false, found = false;
  int32_t ref = 0;
  std::string key;
  for (auto _ : st) {
    std::string k = w.keys[rng() % kKeys];
    k.back() = '~';  // after every real call of that stem
    ShortKeyEngine().FindKey(w.ctl, k, exact, ref);
    ShortKeyEngine().FindNext(w.ctl, found, key, ref);
    benchmark::DoNotOptimize(ref);
  }
}

void BM_Sqlite_FindNextGreater(benchmark::State& st) {
  auto& w = TheWorld();
  std::mt19937 rng(3);
  for (auto _ : st) {
    std::string k = w.keys[rng() % kKeys];
    k.back() = '~';
    sqlite3_bind_text(w.next, 1, k.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(w.next);
    benchmark::DoNotOptimize(sqlite3_column_blob(w.next, 1));
    sqlite3_reset(w.next);
  }
}

void BM_Tellmark_FindAndReadRecord(benchmark::State& st) {
  auto& w = TheWorld();
  std::mt19937 rng(4);
  bool found = false;
  int32_t ref = 0;
  uint8_t buf[kIntlRecordSize];
  TEntryRecord rec;
  for (auto _ : st) {
    ShortKeyEngine().Find(w.ctl, w.keys[rng() % kKeys], found, ref);
    int64_t got = 0;
    w.data.ReadAt(ref, buf, kIntlRecordSize, got);
    DecodeRecord(TDatabase::Intl, buf, static_cast<int>(got), ref, rec);
    benchmark::DoNotOptimize(rec.Field(3));
  }
}

void BM_Sqlite_FindAndReadRecord(benchmark::State& st) {
  auto& w = TheWorld();
  std::mt19937 rng(4);
  TEntryRecord rec;
  for (auto _ : st) {
    sqlite3_bind_text(w.exact, 1, w.keys[rng() % kKeys].c_str(), -1, SQLITE_STATIC);
    sqlite3_step(w.exact);
    const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(w.exact, 0));
    DecodeRecord(TDatabase::Intl, blob, sqlite3_column_bytes(w.exact, 0), 0, rec);
    benchmark::DoNotOptimize(rec.payloadLen);
    sqlite3_reset(w.exact);
  }
}

}  // namespace

BENCHMARK(BM_Tellmark_FindExact);
BENCHMARK(BM_Sqlite_FindExact);
BENCHMARK(BM_Tellmark_FindNextGreater);
BENCHMARK(BM_Sqlite_FindNextGreater);
BENCHMARK(BM_Tellmark_FindAndReadRecord);
BENCHMARK(BM_Sqlite_FindAndReadRecord);
BENCHMARK_MAIN();

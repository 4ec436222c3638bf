// Two- and three-word text searches on a 1999-size edition (782,655 U.S. and 694,720
// International entries), side by side with SQLite FTS5 over the same entries: for each database
// an FTS5 table whose rowid is the entry's reference and whose text is what the word list is made
// of (address and country). The words are those of one entry of each database, chosen by their
// counts: common (in 0.5 % to 50 % of the entries) and rare (20 to 500 entries), letters only and
// shorter than 15 characters, so that both sides tokenize them alike; every case checks that both
// find the same number of entries.
//
//   wordsearch_bench [--edition=DIR] [benchmark options]
// DIR defaults to bench-data/edition-1999 beside the program (or $TELLMARK_BENCH_EDITION); when
// it holds no edition, one is generated there (seed 1999), and the FTS5 database is made beside it
// once. After the runs a table prints both times and their ratio.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "BenchEdition.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"
#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"

namespace fs = std::filesystem;

namespace {

void Check(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  std::fprintf(stderr, "wordsearch_bench: %s: %s\n", what, db ? sqlite3_errmsg(db) : "");
  std::exit(2);
}

const char* DbName(TDatabase db) { return db == TDatabase::US ? "us" : "intl"; }

// The edition, its word lists and the FTS5 database.
struct TWorld {
  std::string editionDir;
  std::unique_ptr<TWortListe> words[2];  // US, International
  sqlite3* sql = nullptr;
  sqlite3_stmt* match[2] = {nullptr, nullptr};

  TWortListe& Words(TDatabase db) { return *words[db == TDatabase::US ? 0 : 1]; }
  sqlite3_stmt* Match(TDatabase db) { return match[db == TDatabase::US ? 0 : 1]; }
};

// One FTS5 table per database, rowid = reference, text = address and country.
void MakeFts(sqlite3* sql) {
  std::fprintf(stderr, "wordsearch_bench: loading the entries into SQLite FTS5 ...\n");
  const auto t0 = std::chrono::steady_clock::now();
  Check(sqlite3_exec(sql,
                     "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                     "CREATE VIRTUAL TABLE us USING fts5(text);"
                     "CREATE VIRTUAL TABLE intl USING fts5(text);"
                     "BEGIN",
                     nullptr, nullptr, nullptr),
        sql, "create");
  for (const TDatabase db : {TDatabase::US, TDatabase::Intl}) {
    const int order = db == TDatabase::US ? oiUSCall : oiIntlCall;
    const int address = db == TDatabase::US ? int(utAddress) : int(itAddress);
    const int country = db == TDatabase::US ? int(utCountry) : int(itCountry);
    sqlite3_stmt* ins = nullptr;
    Check(sqlite3_prepare_v2(sql,
                             db == TDatabase::US ? "INSERT INTO us(rowid, text) VALUES(?, ?)"
                                                 : "INSERT INTO intl(rowid, text) VALUES(?, ?)",
                             -1, &ins, nullptr),
          sql, "prepare insert");
    for (int32_t p = 0; p < OrderEntryCount(order); ++p) {
      int32_t ref = 0;
      TEntryRecord rec;
      if (!ReadOrderEntry(order, p, ref) || !ReadRecord(db, ref, rec)) {
        std::fprintf(stderr, "wordsearch_bench: cannot read entry %d\n", p);
        std::exit(2);
      }
      const std::string text = Cp437ToUtf8(rec.Field(address) + " " + rec.Field(country));
      sqlite3_bind_int64(ins, 1, ref);
      sqlite3_bind_text(ins, 2, text.c_str(), -1, SQLITE_TRANSIENT);
      Check(sqlite3_step(ins), sql, "insert");
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
  }
  Check(sqlite3_exec(sql,
                     "COMMIT; INSERT INTO us(us) VALUES('optimize');"
                     "INSERT INTO intl(intl) VALUES('optimize');",
                     nullptr, nullptr, nullptr),
        sql, "commit");
  std::fprintf(stderr, "wordsearch_bench: FTS5 loaded in %.1f s\n",
               std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
}

TWorld& World() {
  static TWorld w;
  return w;
}

void OpenWorld(const std::string& editionDir) {
  TWorld& w = World();
  w.editionDir = editionDir;
  AllocIndexCaches();
  EnsureBenchEdition(editionDir, "wordsearch_bench");
  SetHomeDir(editionDir);
  OpenDataSet();
  std::string message;
  for (const TDatabase db : {TDatabase::US, TDatabase::Intl}) {
    w.words[db == TDatabase::US ? 0 : 1] = OpenWordList(db, message);
    if (!w.words[db == TDatabase::US ? 0 : 1]) {
      std::fprintf(stderr, "wordsearch_bench: %s\n", message.c_str());
      std::exit(2);
    }
  }
  const std::string sqlFile = (fs::path(editionDir) / "wordsearch-fts5.sqlite").string();
  const bool fresh = !fs::exists(sqlFile);
  Check(sqlite3_open(sqlFile.c_str(), &w.sql), w.sql, "open");
  if (fresh) MakeFts(w.sql);
  Check(
      sqlite3_prepare_v2(w.sql, "SELECT rowid FROM us WHERE us MATCH ?", -1, &w.match[0], nullptr),
      w.sql, "prepare");
  Check(sqlite3_prepare_v2(w.sql, "SELECT rowid FROM intl WHERE intl MATCH ?", -1, &w.match[1],
                           nullptr),
        w.sql, "prepare");
}

// Entry count of a word; 0 when it is not in the list.
int32_t WordCount(TWortListe& list, const std::string& word) {
  bool found = false;
  int32_t ref = 0;
  if (!list.Find(word, found, ref) || !found) return 0;
  return TWortVerweisListe(list, ref).GetCount();
}

// The plain words of a text as the word list has them (split at everything but letters, digits
// and apostrophes), keeping those of letters only and below 15 characters.
std::vector<std::string> PlainWords(const std::string& text) {
  std::vector<std::string> words;
  std::string w;
  bool plain = true;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || c == '\'' || u >= 0x80) {
      w += static_cast<char>(std::tolower(u));
      plain = plain && std::isalpha(u);
      continue;
    }
    if (!w.empty() && plain && w.size() < kWordKeyLen &&
        std::find(words.begin(), words.end(), w) == words.end())
      words.push_back(w);
    w.clear();
    plain = true;
  }
  return words;
}

struct TCase {
  std::string name;
  TDatabase db;
  std::vector<std::string> words;
};

// Searches a user would make for one entry: its words as the word list counts them, common ones
// (in 0.5 % to 50 % of the entries) and rare ones (20 to 500 entries). The entry is the first
// from a third into the call order that has three common and two rare words.
std::vector<TCase> ChooseCases() {
  std::vector<TCase> cases;
  for (const TDatabase db : {TDatabase::US, TDatabase::Intl}) {
    const int order = db == TDatabase::US ? oiUSCall : oiIntlCall;
    const int address = db == TDatabase::US ? int(utAddress) : int(itAddress);
    const int country = db == TDatabase::US ? int(utCountry) : int(itCountry);
    const int32_t entries = OrderEntryCount(order);
    TWortListe& list = World().Words(db);
    std::vector<std::pair<int32_t, std::string>> common, rare;
    for (int32_t p = entries / 3; p < entries; ++p) {
      int32_t ref = 0;
      TEntryRecord rec;
      if (!ReadOrderEntry(order, p, ref) || !ReadRecord(db, ref, rec)) break;
      common.clear();
      rare.clear();
      for (const std::string& w : PlainWords(rec.Field(address) + " " + rec.Field(country))) {
        const int32_t n = WordCount(list, w);
        if (n >= entries / 200 && n <= entries / 2) common.emplace_back(n, w);
        if (n >= 20 && n <= 500) rare.emplace_back(n, w);
      }
      if (common.size() >= 3 && rare.size() >= 2) break;
    }
    if (common.size() < 3 || rare.size() < 2) {
      std::fprintf(stderr, "wordsearch_bench: no entry with common and rare words in %s\n",
                   DbName(db));
      std::exit(2);
    }
    std::sort(common.rbegin(), common.rend());
    std::sort(rare.begin(), rare.end());
    const std::string &c1 = common[0].second, &c2 = common[1].second, &c3 = common[2].second;
    const std::string &r1 = rare[0].second, &r2 = rare[1].second;
    const std::string p = std::string(DbName(db)) + "/";
    cases.push_back({p + "2 common", db, {c1, c2}});
    cases.push_back({p + "3 common", db, {c1, c2, c3}});
    cases.push_back({p + "rare+common", db, {r1, c1}});
    cases.push_back({p + "rare+2 common", db, {r1, c1, c2}});
    cases.push_back({p + "2 rare", db, {r1, r2}});
  }
  return cases;
}

// The text search as the dialog runs it: the search list of the words, then the evaluation.
int32_t TellmarkSearch(const TCase& c) {
  TWortListe& list = World().Words(c.db);
  TSuchInfo info;
  for (const std::string& w : c.words) {
    bool found = false;
    int32_t ref = 0;
    if (!list.Find(w, found, ref) || !found) return -1;
    info.Insert(0, std::make_unique<TSuchItem>(std::make_unique<TWortVerweisListe>(list, ref), w));
  }
  const TTextSearchResult r = DoTextSearch(info, nullptr);
  if (r.outcome == TSearchOutcome::ReadError) return -1;
  int32_t sum = 0;  // the references, read as the main window would browse them
  for (int32_t i = 1; i <= r.Count(); ++i) sum ^= r.list->GetItem(i);
  benchmark::DoNotOptimize(sum);
  return r.Count();
}

int32_t SqliteSearch(const TCase& c) {
  std::string query;
  for (const std::string& w : c.words) query += (query.empty() ? "\"" : " AND \"") + w + "\"";
  sqlite3_stmt* st = World().Match(c.db);
  sqlite3_bind_text(st, 1, query.c_str(), -1, SQLITE_TRANSIENT);
  int32_t n = 0;
  int64_t sum = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    sum ^= sqlite3_column_int64(st, 0);
    ++n;
  }
  sqlite3_reset(st);
  benchmark::DoNotOptimize(sum);
  return n;
}

// Keeps the CPU time of every benchmark for the table at the end: the median of the repetitions,
// or the run itself without repetitions (CPU time: the machine may be shared).
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;  // name -> microseconds
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string& name = r.run_name.function_name;
      const double us =
          r.GetAdjustedCPUTime() * 1e6 / benchmark::GetTimeUnitMultiplier(r.time_unit);
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        times[name] = us;
        medians_.insert(name);
      } else if (r.run_type == Run::RT_Iteration && !medians_.count(name)) {
        times[name] = us;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

 private:
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  const std::string edition = BenchEditionDirectory(argc, argv, args);
  OpenWorld(edition);

  const std::vector<TCase> cases = ChooseCases();
  std::printf("Edition %s: %d U.S., %d International entries\n", edition.c_str(),
              OrderEntryCount(oiUSCall), OrderEntryCount(oiIntlCall));
  for (const TCase& c : cases) {
    const int32_t ours = TellmarkSearch(c), theirs = SqliteSearch(c);
    std::string words;
    for (const std::string& w : c.words)
      words += " " + w + "(" + std::to_string(WordCount(World().Words(c.db), w)) + ")";
    std::printf("  %-18s%-44s found %7d%s\n", c.name.c_str(), words.c_str(), ours,
                ours == theirs ? "" : (" but FTS5 found " + std::to_string(theirs)).c_str());
    benchmark::RegisterBenchmark(("tellmark/" + c.name).c_str(), [c](benchmark::State& st) {
      for (auto _ : st) benchmark::DoNotOptimize(TellmarkSearch(c));
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("fts5/" + c.name).c_str(), [c](benchmark::State& st) {
      for (auto _ : st) benchmark::DoNotOptimize(SqliteSearch(c));
    })->Unit(benchmark::kMicrosecond);
  }
  std::fflush(stdout);

  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 2;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-20s %14s %14s %10s\n", "search", "tellmark (us)", "FTS5 (us)", "FTS5/ours");
  for (const TCase& c : cases) {
    const auto a = reporter.times.find("tellmark/" + c.name);
    const auto b = reporter.times.find("fts5/" + c.name);
    if (a == reporter.times.end() || b == reporter.times.end()) continue;
    std::printf("%-20s %14.1f %14.1f %10.2f\n", c.name.c_str(), a->second, b->second,
                b->second / a->second);
  }
  std::uintmax_t ours = 0;
  for (const char* f : {"uswort.idx", "uswort.vws", "intlwort.idx", "intlwort.vws"})
    ours += fs::file_size(fs::path(edition) / "data" / f);
  std::printf("\nword lists on disk: %.1f MB; FTS5 database: %.1f MB\n", ours / 1e6,
              fs::file_size(fs::path(edition) / "wordsearch-fts5.sqlite") / 1e6);

  World().words[0].reset();
  World().words[1].reset();
  for (sqlite3_stmt* st : World().match) sqlite3_finalize(st);
  sqlite3_close(World().sql);
  CloseDataSet();
  FreeIndexCaches();
  return 0;
}

// Side by side with SQLite on a 1999-size edition (782,655 U.S. and 694,720 International
// entries): call look-ups, surname look-up and stepping through an order, timed on both in one
// run, then a table of both times and their ratio (SQLite / ours), and one of build time and size
// on disk.
//
//   cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTELLMARK_BENCH=ON
//         -DTELLMARK_GUI=OFF -DTELLMARK_SAMPLE=OFF
//   cmake --build build-bench -j2 --target compare_bench
//   build-bench/bench/compare_bench [--edition=DIR] [--rebuild] [benchmark options]
//
// DIR defaults to bench-data/edition-1999 beside the program (or $TELLMARK_BENCH_EDITION), shared
// with wordsearch_bench. The edition is written there when missing, and compare.sqlite beside it;
// each is made once, and the time it took is kept beside it for the build table. --rebuild makes
// the SQLite database again (and the edition too when a benchmark wrote it).
//
// The SQLite database holds the same entries: per database one table, rowid = our reference,
// every field of the record as a column, the record's positions in the orders, and the keys of
// our indexes as columns (call, and for U.S. entries surname, city, ZIP, county) with an index
// each; an index on a key keeps equal keys in rowid order, so ORDER BY key, ref is our order. The
// sequence file's part is one table per order, position -> reference. Keys and texts are the
// same code page 437 bytes on both sides, compared bytewise. SQLite is opened read-only and
// immutable (no locking, as our data set on a CD), with its default page cache; every statement
// is prepared once. Both sides get the same keys in the same order and return the same thing: a
// row with the reference, map number, positions and every field as a string (ours: the record
// read, unscrambled and its fields cut out; SQLite: the row stepped and its columns copied). A
// check before timing makes sure both find the same entries, and all files are read through
// once so both start warm. Each benchmark runs three times (unless --benchmark_repetitions is
// given); the table uses the median CPU time. A run takes about 1.5 minutes with the files made,
// about half a minute more without.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "BenchEdition.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "storage/UIndexEngine.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kProgram = "compare_bench";
constexpr const char* kSqlFileName = "compare.sqlite";
constexpr const char* kSqlTimesName = "compare-sqlite.txt";
constexpr size_t kKeyCount = 1 << 16;  // random keys per operation, used round robin
constexpr int kCheckCount = 2000;      // look-ups compared before timing, per operation

using TClock = std::chrono::steady_clock;
double Since(TClock::time_point t0) {
  return std::chrono::duration<double>(TClock::now() - t0).count();
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", kProgram, what.c_str());
  std::exit(2);
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return;
  Fail(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

// ---- The two databases and their keys

// A key of our indexes: the order, the slot of the record's position in it, and its SQLite
// names (key column, position column, sequence table).
struct TKeyDef {
  int index;
  int slot;
  const char* keyColumn;
  const char* posColumn;
  const char* seqTable;
};

struct TDbDef {
  const char* table;
  std::vector<TKeyDef> keys;                        // keys[0]: the call; in slot order
  std::vector<std::pair<int, const char*>> fields;  // tag, column
};

const TDbDef& DbDef(TDatabase db) {
  static const TDbDef intl{"intl",
                           {{oiIntlCall, 0, "call_key", "pos_call", "intl_call_seq"}},
                           {{itCall, "call"},
                            {itClass, "class"},
                            {itAddress, "address"},
                            {itCountry, "country"},
                            {itDxcc, "dxcc"},
                            {itQslMgr, "qsl_mgr"},
                            {itComments, "comments"},
                            {itFax, "fax"},
                            {itEMail, "email"},
                            {itLocator, "locator"}}};
  static const TDbDef us{
      "us",
      {{oiUSCall, upCall, "call_key", "pos_call", "us_call_seq"},
       {oiUSName, upName, "name_key", "pos_name", "us_name_seq"},
       {oiUSCity, upCity, "city_key", "pos_city", "us_city_seq"},
       {oiUSZIP, upZIP, "zip_key", "pos_zip", "us_zip_seq"},
       {oiUSCounty, upCounty, "county_key", "pos_county", "us_county_seq"}},
      {{utCall, "call"},          {utState, "state"},         {utZIP, "zip"},
       {utClass, "class"},        {utIssued, "issued"},       {utExpires, "expires"},
       {utExtra, "extra"},        {utLongitude, "longitude"}, {utLatitude, "latitude"},
       {utAreaCode, "area_code"}, {utCounty, "county"},       {utTimeZone, "time_zone"},
       {utAddress, "address"},    {utCountry, "country"},     {utDxcc, "dxcc"},
       {utQslMgr, "qsl_mgr"},     {utPrevCall, "prev_call"},  {utPrevClass, "prev_class"},
       {utVanity, "vanity"},      {utComments, "comments"},   {utFax, "fax"},
       {utEMail, "email"}}};
  return db == TDatabase::US ? us : intl;
}

const TKeyDef& KeyDef(int index) {
  for (const TDatabase db : {TDatabase::Intl, TDatabase::US})
    for (const TKeyDef& k : DbDef(db).keys)
      if (k.index == index) return k;
  Fail("no order " + std::to_string(index));
}

TDatabase DbOf(int index) { return index == oiIntlCall ? TDatabase::Intl : TDatabase::US; }

// What a look-up returns on both sides.
struct TRow {
  int32_t ref = -1;
  int mapNr = 0;
  std::array<int32_t, 5> pos{};
  std::vector<std::string> fields;
  bool operator==(const TRow&) const = default;
};

// The columns of a row, in TRow order, with an optional table prefix ("e.").
std::string RowColumns(const TDbDef& d, const std::string& prefix = {}) {
  std::string s = prefix + "ref, " + prefix + "map_nr";
  for (const TKeyDef& k : d.keys) s += ", " + prefix + k.posColumn;
  for (const auto& f : d.fields) s += ", " + prefix + f.second;
  return s;
}

// ---- Our side

// The fields of a record as a row.
void OursFields(const TEntryRecord& rec, TRow& row) {
  const TDbDef& d = DbDef(rec.db);
  row.ref = rec.ref;
  row.mapNr = rec.mapNr;
  row.pos = rec.pos;
  row.fields.resize(d.fields.size());
  for (size_t i = 0; i < d.fields.size(); ++i) rec.AssignField(d.fields[i].first, row.fields[i]);
}

// Reads and decodes the record at ref.
bool OursRead(TDatabase db, int32_t ref, TRow& row) {
  static TEntryRecord rec;  // as the main window keeps its record
  if (!ReadRecord(db, ref, rec)) return false;
  OursFields(rec, row);
  return true;
}

// ---- SQLite side

// The current row of st (columns as RowColumns gives them, from column 0).
void SqlFetch(sqlite3_stmt* st, const TDbDef& d, TRow& row) {
  int c = 0;
  row.ref = sqlite3_column_int(st, c++);
  row.mapNr = sqlite3_column_int(st, c++);
  row.pos = {};
  for (size_t k = 0; k < d.keys.size(); ++k)
    row.pos[static_cast<size_t>(d.keys[k].slot)] = sqlite3_column_int(st, c++);
  row.fields.resize(d.fields.size());
  for (size_t i = 0; i < d.fields.size(); ++i, ++c) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
    row.fields[i].assign(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(st, c)));
  }
}

void BindText(sqlite3_stmt* st, int n, const std::string& s) {
  sqlite3_bind_text(st, n, s.data(), static_cast<int>(s.size()), SQLITE_STATIC);
}

// Keys and references of an order, by position, walked through its index file.
void WalkIndex(int index, std::vector<std::string>& keys, std::vector<int32_t>& refs) {
  TIndexEngine& engine = index <= oiUSZIP ? static_cast<TIndexEngine&>(ShortKeyEngine())
                                          : static_cast<TIndexEngine&>(LongKeyEngine());
  TIndexCtl ctl;
  const std::string file = DataSetPath(kIndexFileNames[index]);
  if (!engine.OpenIndex(ctl, file, kIndexKeyLengths[index], kIndexDuplicates[index]))
    Fail("cannot open " + file + ": " + ErrorCodeText(LastErrorCode()));
  const auto n = static_cast<size_t>(OrderEntryCount(index));
  keys.clear();
  refs.clear();
  keys.reserve(n);
  refs.reserve(n);
  bool found = false;
  std::string key;
  int32_t ref = 0;
  for (;;) {
    if (!engine.FindNext(ctl, found, key, ref))
      Fail("cannot read " + file + ": " + ErrorCodeText(LastErrorCode()));
    if (!found) break;
    keys.push_back(key);
    refs.push_back(ref);
  }
  engine.CloseIndex(ctl);
  if (keys.size() != n)
    Fail(file + " holds " + std::to_string(keys.size()) + " keys, the order " + std::to_string(n));
}

// ---- Making the SQLite database

// Wall clock and process CPU seconds of a phase, added up over its parts.
struct TSpent {
  double wall = 0, cpu = 0;
};

class TMeter {
 public:
  explicit TMeter(TSpent& into) : into_(into) {}
  ~TMeter() {
    into_.wall += Since(t0_);
    into_.cpu += BenchProcessCpuSeconds() - cpu0_;
  }
  TMeter(const TMeter&) = delete;
  TMeter& operator=(const TMeter&) = delete;

 private:
  TSpent& into_;
  TClock::time_point t0_ = TClock::now();
  double cpu0_ = BenchProcessCpuSeconds();
};

// What loading the SQLite database took.
struct TSqlTimes {
  bool known = false;
  TSpent read;    // reading our edition back (not counted)
  TSpent rows;    // inserting the entries
  TSpent orders;  // the sequence tables
  TSpent index;   // CREATE INDEX of the keys
  TSpent sync;    // commit, close and fsync
  TSpent Total() const {
    return {rows.wall + orders.wall + index.wall + sync.wall,
            rows.cpu + orders.cpu + index.cpu + sync.cpu};
  }
};

std::string SqlTimesFile(const std::string& dir) {
  return (fs::path(dir) / kSqlTimesName).string();
}

TSqlTimes ReadSqlTimes(const std::string& dir) {
  TSqlTimes t;
  std::string text;
  if (!ReadWholeFile(SqlTimesFile(dir), text)) return t;
  t.known = std::sscanf(
                text.c_str(), "read %lf %lf rows %lf %lf orders %lf %lf index %lf %lf sync %lf %lf",
                &t.read.wall, &t.read.cpu, &t.rows.wall, &t.rows.cpu, &t.orders.wall, &t.orders.cpu,
                &t.index.wall, &t.index.cpu, &t.sync.wall, &t.sync.cpu) == 10;
  return t;
}

std::string CreateTableSql(const TDbDef& d) {
  std::string s =
      std::string("CREATE TABLE ") + d.table + "(ref INTEGER PRIMARY KEY, map_nr INTEGER NOT NULL";
  for (const TKeyDef& k : d.keys) s += std::string(", ") + k.posColumn + " INTEGER NOT NULL";
  for (const auto& f : d.fields) s += std::string(", ") + f.second + " TEXT";
  for (const TKeyDef& k : d.keys) s += std::string(", ") + k.keyColumn + " TEXT NOT NULL";
  s += ");";
  for (const TKeyDef& k : d.keys)
    s += std::string("CREATE TABLE ") + k.seqTable +
         "(pos INTEGER PRIMARY KEY, ref INTEGER NOT NULL);";
  return s;
}

std::string IndexName(const TDbDef& d, const TKeyDef& k) {
  return std::string(d.table) + "_" + k.keyColumn;
}

// Loads the entries of the open edition into a new SQLite database at path (written under a
// temporary name, renamed when complete). Only the time spent in SQLite is counted.
void MakeSqlite(const std::string& dir, const std::string& path) {
  std::fprintf(stderr, "%s: loading the entries into SQLite (%s) ...\n", kProgram, path.c_str());
  const std::string part = path + ".part";
  fs::remove(part);
  TSqlTimes t;
  sqlite3* sql = nullptr;
  Check(sqlite3_open(part.c_str(), &sql), sql, "create");
  // A bulk load as one would make it: no journal, no syncs until the end, a large cache so the
  // index sorts stay in memory (our writer sorts in memory too).
  Check(sqlite3_exec(sql,
                     "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
                     "PRAGMA cache_size=-262144; PRAGMA temp_store=MEMORY;",
                     nullptr, nullptr, nullptr),
        sql, "pragmas");
  for (const TDatabase db : {TDatabase::Intl, TDatabase::US})
    Check(sqlite3_exec(sql, CreateTableSql(DbDef(db)).c_str(), nullptr, nullptr, nullptr), sql,
          "create tables");
  Check(sqlite3_exec(sql, "BEGIN", nullptr, nullptr, nullptr), sql, "begin");

  for (const TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    const TDbDef& d = DbDef(db);
    std::vector<std::vector<std::string>> keys(d.keys.size());
    std::vector<std::vector<int32_t>> refs(d.keys.size());
    {
      TMeter meter(t.read);
      for (size_t k = 0; k < d.keys.size(); ++k) WalkIndex(d.keys[k].index, keys[k], refs[k]);
    }

    std::string insert = std::string("INSERT INTO ") + d.table + "(" + RowColumns(d);
    std::string values = "?";
    for (size_t i = 1; i < 2 + d.keys.size() + d.fields.size(); ++i) values += ",?";
    for (const TKeyDef& k : d.keys) {
      insert += std::string(", ") + k.keyColumn;
      values += ",?";
    }
    insert += ") VALUES(" + values + ")";
    sqlite3_stmt* ins = nullptr;
    Check(sqlite3_prepare_v2(sql, insert.c_str(), -1, &ins, nullptr), sql, "prepare insert");
    // In batches: our side reads the records, their fields and their keys, then SQLite's side
    // binds and inserts them.
    struct TPending {
      int32_t ref = 0;
      int mapNr = 0;
      std::array<int32_t, 5> pos{};
      std::vector<std::string> fields;
    };
    constexpr size_t kBatch = 8192;
    std::vector<TPending> batch(kBatch);
    TEntryRecord rec;
    for (size_t p0 = 0; p0 < refs[0].size(); p0 += kBatch) {
      const size_t m = std::min(kBatch, refs[0].size() - p0);
      {
        TMeter meter(t.read);
        for (size_t j = 0; j < m; ++j) {
          TPending& e = batch[j];
          e.ref = refs[0][p0 + j];
          if (!ReadRecord(db, e.ref, rec))
            Fail("cannot read entry " + std::to_string(e.ref) + ": " +
                 ErrorCodeText(LastErrorCode()));
          e.mapNr = rec.mapNr;
          e.pos = rec.pos;
          e.fields.resize(d.fields.size());
          for (size_t i = 0; i < d.fields.size(); ++i) e.fields[i] = rec.Field(d.fields[i].first);
          for (const TKeyDef& k : d.keys) {
            const auto at = static_cast<size_t>(e.pos[static_cast<size_t>(k.slot)]);
            const auto& order = refs[static_cast<size_t>(&k - d.keys.data())];
            if (at >= order.size() || order[at] != e.ref)
              Fail("entry " + std::to_string(e.ref) + " is not at its position in its index");
          }
        }
      }
      TMeter meter(t.rows);
      for (size_t j = 0; j < m; ++j) {
        const TPending& e = batch[j];
        int c = 1;
        sqlite3_bind_int(ins, c++, e.ref);
        sqlite3_bind_int(ins, c++, e.mapNr);
        for (const TKeyDef& k : d.keys)
          sqlite3_bind_int(ins, c++, e.pos[static_cast<size_t>(k.slot)]);
        for (const std::string& f : e.fields) {
          if (f.empty())
            sqlite3_bind_null(ins, c++);
          else
            BindText(ins, c++, f);
        }
        for (size_t k = 0; k < d.keys.size(); ++k)
          BindText(ins, c++,
                   keys[k][static_cast<size_t>(e.pos[static_cast<size_t>(d.keys[k].slot)])]);
        Check(sqlite3_step(ins), sql, "insert");
        sqlite3_reset(ins);
      }
    }
    sqlite3_finalize(ins);

    {
      TMeter meter(t.orders);
      for (size_t k = 0; k < d.keys.size(); ++k) {
        sqlite3_stmt* seq = nullptr;
        Check(sqlite3_prepare_v2(
                  sql, (std::string("INSERT INTO ") + d.keys[k].seqTable + " VALUES(?,?)").c_str(),
                  -1, &seq, nullptr),
              sql, "prepare sequence insert");
        for (size_t p = 0; p < refs[k].size(); ++p) {
          sqlite3_bind_int64(seq, 1, static_cast<int64_t>(p));
          sqlite3_bind_int(seq, 2, refs[k][p]);
          Check(sqlite3_step(seq), sql, "sequence insert");
          sqlite3_reset(seq);
        }
        sqlite3_finalize(seq);
      }
    }

    TMeter meter(t.index);
    for (size_t k = 0; k < d.keys.size(); ++k) {
      const std::string create = std::string(k == 0 ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                                 IndexName(d, d.keys[k]) + " ON " + d.table + "(" +
                                 d.keys[k].keyColumn + ")";
      Check(sqlite3_exec(sql, create.c_str(), nullptr, nullptr, nullptr), sql, "create index");
    }
  }

  {
    TMeter meter(t.sync);
    Check(sqlite3_exec(sql, "COMMIT", nullptr, nullptr, nullptr), sql, "commit");
    Check(sqlite3_close(sql), nullptr, "close");
    const int fd = ::open(part.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) Fail("cannot sync " + part);
    ::close(fd);
  }
  fs::rename(part, path);
  char text[300];
  std::snprintf(text, sizeof text,
                "read %.3f %.3f rows %.3f %.3f orders %.3f %.3f index %.3f %.3f sync %.3f %.3f\n",
                t.read.wall, t.read.cpu, t.rows.wall, t.rows.cpu, t.orders.wall, t.orders.cpu,
                t.index.wall, t.index.cpu, t.sync.wall, t.sync.cpu);
  WriteFileAtomically(SqlTimesFile(dir), text);
  std::fprintf(stderr, "%s: SQLite loaded in %.1f s (reading our edition took another %.1f s)\n",
               kProgram, t.Total().wall, t.read.wall);
}

// ---- The SQLite database, opened for the look-ups

std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  for (const char c : path) {
    if (std::isalnum(static_cast<unsigned char>(c)) ||
        std::string_view("/._-~").find(c) != std::string_view::npos) {
      uri += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      uri += hex;
    }
  }
  return uri + "?immutable=1";
}

// Stepping an order by (key, ref) instead of by position.
struct TKeyedSql {
  sqlite3_stmt* same = nullptr;   // ?3 entries further among those of key ?1 after ref ?2
  sqlite3_stmt* rest = nullptr;   // how many entries of key ?1 follow ref ?2
  sqlite3_stmt* after = nullptr;  // ?2 entries further from the first key above ?1
  sqlite3_stmt* from = nullptr;   // ?2 entries further from the first key >= ?1
};

struct TSql {
  sqlite3* db = nullptr;
  std::array<sqlite3_stmt*, 2> exact{};  // Intl, U.S.: the entry of a call
  std::array<sqlite3_stmt*, 2> next{};   // the entry of the first call >= key
  sqlite3_stmt* name21 = nullptr;        // the first entry of a surname and the next 20
  std::map<int, sqlite3_stmt*> seq;      // order -> the entry at a position
  std::map<int, TKeyedSql> keyed;        // order -> stepping without positions
  std::vector<sqlite3_stmt*> all;
};

TSql& Sql() {
  static TSql s;
  return s;
}

size_t Di(TDatabase db) { return db == TDatabase::US ? 1 : 0; }

// Prepares a statement and prints its plan; a plan that scans a table or sorts is a fault of
// this benchmark (reading an index from its start is fine for counting).
sqlite3_stmt* Prepare(const std::string& text) {
  TSql& s = Sql();
  sqlite3_stmt* plan = nullptr;
  Check(sqlite3_prepare_v2(s.db, ("EXPLAIN QUERY PLAN " + text).c_str(), -1, &plan, nullptr), s.db,
        text.c_str());
  std::string steps;
  while (sqlite3_step(plan) == SQLITE_ROW) {
    const std::string detail = reinterpret_cast<const char*>(sqlite3_column_text(plan, 3));
    if ((detail.rfind("SCAN", 0) == 0 && detail.find("INDEX") == std::string::npos) ||
        detail.find("TEMP B-TREE") != std::string::npos)
      Fail("bad plan for " + text + ": " + detail);
    steps += (steps.empty() ? "" : "; ") + detail;
  }
  sqlite3_finalize(plan);
  std::string shown = text;
  if (const size_t from = shown.find(" FROM ");
      from != std::string::npos && shown.find("count(") == std::string::npos)
    shown = "SELECT <row>" + shown.substr(from);
  std::printf("  %s\n      %s\n", shown.c_str(), steps.c_str());
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(s.db, text.c_str(), -1, &st, nullptr), s.db, text.c_str());
  s.all.push_back(st);
  return st;
}

// The orders stepped through.
constexpr int kStepOrders[] = {oiIntlCall, oiUSCall, oiUSName};

void OpenSql(const std::string& path) {
  TSql& s = Sql();
  Check(sqlite3_open_v2(FileUri(path).c_str(), &s.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                        nullptr),
        s.db, "open");
  std::printf("SQLite %s statements and their plans:\n", sqlite3_libversion());
  for (const TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    const TDbDef& d = DbDef(db);
    const std::string row = RowColumns(d);
    s.exact[Di(db)] = Prepare("SELECT " + row + " FROM " + d.table + " WHERE call_key = ?1");
    s.next[Di(db)] = Prepare("SELECT " + row + " FROM " + d.table +
                             " WHERE call_key >= ?1 ORDER BY call_key LIMIT 1");
  }
  s.name21 = Prepare("SELECT " + RowColumns(DbDef(TDatabase::US)) +
                     " FROM us WHERE name_key >= ?1 ORDER BY name_key, ref LIMIT 21");
  for (const int order : kStepOrders) {
    const TDbDef& d = DbDef(DbOf(order));
    const TKeyDef& k = KeyDef(order);
    s.seq[order] = Prepare("SELECT " + RowColumns(d, "e.") + " FROM " + k.seqTable + " s JOIN " +
                           d.table + " e ON e.ref = s.ref WHERE s.pos = ?1");
    // A row value (key, ref) > (?, ?) would seek on the key alone and then walk every entry of
    // a common surname, so equal keys get a statement of their own (unique calls need none).
    const std::string key = k.keyColumn, row = RowColumns(d) + ", " + key;
    TKeyedSql& q = s.keyed[order];
    if (kIndexDuplicates[order]) {
      q.same = Prepare("SELECT " + row + " FROM " + d.table + " WHERE " + key +
                       " = ?1 AND ref > ?2 ORDER BY ref LIMIT 1 OFFSET ?3");
      q.rest = Prepare(std::string("SELECT count(*) FROM ") + d.table + " WHERE " + key +
                       " = ?1 AND ref > ?2");
    }
    q.after = Prepare("SELECT " + row + " FROM " + d.table + " WHERE " + key + " > ?1 ORDER BY " +
                      key + ", ref LIMIT 1 OFFSET ?2");
    q.from = Prepare("SELECT " + row + " FROM " + d.table + " WHERE " + key + " >= ?1 ORDER BY " +
                     key + ", ref LIMIT 1 OFFSET ?2");
  }
}

void CloseSql() {
  for (sqlite3_stmt* st : Sql().all) sqlite3_finalize(st);
  sqlite3_close(Sql().db);
}

// Steps st once: fills row (and key, from the column after the row) and resets; false when
// there was no row.
bool SqlOne(sqlite3_stmt* st, const TDbDef& d, TRow& row, std::string* key = nullptr) {
  const int rc = sqlite3_step(st);
  const bool got = rc == SQLITE_ROW;
  if (got) {
    SqlFetch(st, d, row);
    if (key) {
      const int c = static_cast<int>(2 + d.keys.size() + d.fields.size());
      key->assign(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                  static_cast<size_t>(sqlite3_column_bytes(st, c)));
    }
  } else if (rc != SQLITE_DONE) {
    Check(rc, Sql().db, "step");
  }
  sqlite3_reset(st);
  return got;
}

// ---- The operations

// One look-up: fills rows from the front and returns how many (-1: failed). i picks the key.
using TOpFn = std::function<int(size_t i, std::vector<TRow>& rows)>;
using TOpMaker = std::function<TOpFn()>;  // a fresh look-up state

struct TOp {
  std::string name;
  std::string what;              // shown with the check
  TOpMaker ours, sqlite, keyed;  // keyed: SQLite without the sequence tables (optional)
};

// Random keys of an order's index (existing ones, picked by position, so weighted by use).
std::vector<std::string> PickKeys(const std::vector<std::string>& keys, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<size_t> any(0, keys.size() - 1);
  std::vector<std::string> picked(kKeyCount);
  for (std::string& k : picked) k = keys[any(rng)];
  return picked;
}

// Calls that are not in the index: existing ones with the last character changed, below the
// greatest call (so there is a next greater one).
std::vector<std::string> MissingCalls(const std::vector<std::string>& keys, uint32_t seed) {
  static constexpr std::string_view kChars = "<123456789abcdefghijklmnopqrstuvwxyz";
  const std::unordered_set<std::string> known(keys.begin(), keys.end());
  std::mt19937 rng(seed);
  std::uniform_int_distribution<size_t> any(0, keys.size() - 1), anyChar(0, kChars.size() - 1);
  std::vector<std::string> missing;
  missing.reserve(kKeyCount);
  while (missing.size() < kKeyCount) {
    std::string k = keys[any(rng)];
    k.back() = kChars[anyChar(rng)];
    if (!known.count(k) && k < keys.back()) missing.push_back(k);
  }
  return missing;
}

std::string Typed(std::string key) {
  std::replace(key.begin(), key.end(), '<', '0');
  return key;
}

bool UsFirst(char c) { return c == 'a' || c == 'k' || c == 'n' || c == 'w'; }

struct TKeys {
  std::array<std::vector<std::string>, kOrderCount> keys;
  std::array<std::vector<int32_t>, kOrderCount> refs;
};

std::vector<TOp> MakeOps(const TKeys& all) {
  std::vector<TOp> ops;
  for (const TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    const char* dbName = db == TDatabase::US ? "U.S." : "Intl";
    const int order = db == TDatabase::US ? oiUSCall : oiIntlCall;
    const TDbDef& d = DbDef(db);
    auto calls = std::make_shared<std::vector<std::string>>(
        PickKeys(all.keys[static_cast<size_t>(order)], 10 + static_cast<uint32_t>(order)));
    ops.push_back({std::string("call exact, ") + dbName,
                   "existing calls, the entry read",
                   [=] {
                     return [=](size_t i, std::vector<TRow>& rows) {
                       bool exact = false;
                       int32_t ref = -1;
                       if (!SearchIndex(order, (*calls)[i], exact, ref) || !exact) return -1;
                       return OursRead(db, ref, rows[0]) ? 1 : -1;
                     };
                   },
                   [=, &d] {
                     return [=, &d](size_t i, std::vector<TRow>& rows) {
                       sqlite3_stmt* st = Sql().exact[Di(db)];
                       BindText(st, 1, (*calls)[i]);
                       return SqlOne(st, d, rows[0]) ? 1 : -1;
                     };
                   },
                   {}});
  }

  // The call box of the main window: calls of both databases, the U.S. one tried first for
  // a, k, n, w, the other database when the first has no such call; the entry read.
  {
    auto texts = std::make_shared<std::vector<std::string>>();
    const auto intl = PickKeys(all.keys[oiIntlCall], 20), us = PickKeys(all.keys[oiUSCall], 21);
    for (size_t i = 0; i < kKeyCount; ++i) texts->push_back(Typed(i % 2 ? us[i] : intl[i]));
    ops.push_back({"call box, both",
                   "TLookup::FindCall + LoadCurrent / two statements",
                   [=] {
                     auto lookup = std::make_shared<TLookup>();
                     return [=](size_t i, std::vector<TRow>& rows) {
                       if (!lookup->FindCall((*texts)[i]).exact || !lookup->LoadCurrent())
                         return -1;
                       OursFields(lookup->Record(), rows[0]);
                       return 1;
                     };
                   },
                   [=] {
                     return [=](size_t i, std::vector<TRow>& rows) {
                       const std::string& text = (*texts)[i];
                       const std::string key = MakeSearchKey(oiUSCall, text);
                       const TDatabase first = UsFirst(text[0]) ? TDatabase::US : TDatabase::Intl;
                       const TDatabase second =
                           first == TDatabase::US ? TDatabase::Intl : TDatabase::US;
                       for (const TDatabase db : {first, second}) {
                         sqlite3_stmt* st = Sql().exact[Di(db)];
                         BindText(st, 1, key);
                         if (SqlOne(st, DbDef(db), rows[0])) return 1;
                       }
                       return -1;
                     };
                   },
                   {}});
  }

  for (const TDatabase db : {TDatabase::Intl, TDatabase::US}) {
    const char* dbName = db == TDatabase::US ? "U.S." : "Intl";
    const int order = db == TDatabase::US ? oiUSCall : oiIntlCall;
    const TDbDef& d = DbDef(db);
    auto calls = std::make_shared<std::vector<std::string>>(
        MissingCalls(all.keys[static_cast<size_t>(order)], 30 + static_cast<uint32_t>(order)));
    ops.push_back({std::string("call next-greater, ") + dbName,
                   "calls not there, the next entry read",
                   [=] {
                     return [=](size_t i, std::vector<TRow>& rows) {
                       bool exact = false;
                       int32_t ref = -1;
                       if (!SearchIndex(order, (*calls)[i], exact, ref) || exact || ref < 0)
                         return -1;
                       return OursRead(db, ref, rows[0]) ? 1 : -1;
                     };
                   },
                   [=, &d] {
                     return [=, &d](size_t i, std::vector<TRow>& rows) {
                       sqlite3_stmt* st = Sql().next[Di(db)];
                       BindText(st, 1, (*calls)[i]);
                       return SqlOne(st, d, rows[0]) ? 1 : -1;
                     };
                   },
                   {}});
  }

  {
    auto names = std::make_shared<std::vector<std::string>>(PickKeys(all.keys[oiUSName], 40));
    const TDbDef& d = DbDef(TDatabase::US);
    ops.push_back({"surname + next 20, U.S.",
                   "surnames of random entries, 21 entries read",
                   [=] {
                     return [=](size_t i, std::vector<TRow>& rows) {
                       bool exact = false;
                       int32_t ref = -1;
                       if (!SearchIndex(oiUSName, (*names)[i], exact, ref) || !exact ||
                           !OursRead(TDatabase::US, ref, rows[0]))
                         return -1;
                       const int32_t p = rows[0].pos[upName], last = OrderEntryCount(oiUSName) - 1;
                       int n = 1;
                       for (; n <= 20 && p + n <= last; ++n)
                         if (!ReadOrderEntry(oiUSName, p + n, ref) ||
                             !OursRead(TDatabase::US, ref, rows[static_cast<size_t>(n)]))
                           return -1;
                       return n;
                     };
                   },
                   [=, &d] {
                     return [=, &d](size_t i, std::vector<TRow>& rows) {
                       sqlite3_stmt* st = Sql().name21;
                       BindText(st, 1, (*names)[i]);
                       int n = 0;
                       int rc = 0;
                       while (n < 21 && (rc = sqlite3_step(st)) == SQLITE_ROW)
                         SqlFetch(st, d, rows[static_cast<size_t>(n++)]);
                       Check(rc, Sql().db, "step");
                       sqlite3_reset(st);
                       return n > 0 ? n : -1;
                     };
                   },
                   {}});
  }

  for (const int order : kStepOrders) {
    const TDatabase db = DbOf(order);
    const TDbDef& d = DbDef(db);
    const std::string orderName = order == oiUSName   ? "U.S. name"
                                  : order == oiUSCall ? "U.S. call"
                                                      : "Intl call";
    const int32_t count = OrderEntryCount(order);
    const std::string key0 = all.keys[static_cast<size_t>(order)][0];
    const int32_t ref0 = all.refs[static_cast<size_t>(order)][0];
    for (const int32_t step : {1, 1000}) {
      ops.push_back({"step +" + std::to_string(step) + ", " + orderName,
                     "position -> reference, the entry read",
                     [=] {
                       auto p = std::make_shared<int32_t>(0);
                       return [=](size_t, std::vector<TRow>& rows) {
                         *p = static_cast<int32_t>((static_cast<int64_t>(*p) + step) % count);
                         int32_t ref = 0;
                         if (!ReadOrderEntry(order, *p, ref)) return -1;
                         return OursRead(db, ref, rows[0]) ? 1 : -1;
                       };
                     },
                     [=, &d] {
                       auto p = std::make_shared<int32_t>(0);
                       return [=, &d](size_t, std::vector<TRow>& rows) {
                         *p = static_cast<int32_t>((static_cast<int64_t>(*p) + step) % count);
                         sqlite3_stmt* st = Sql().seq.at(order);
                         sqlite3_bind_int(st, 1, *p);
                         return SqlOne(st, d, rows[0]) ? 1 : -1;
                       };
                     },
                     // Without positions: from the current (key, ref), step - 1 entries skipped
                     // with OFFSET; past the end, from the start.
                     [=, &d] {
                       struct TAt {
                         int64_t pos = 0;
                         std::string key, next;
                         int32_t ref = 0;
                       };
                       auto at = std::make_shared<TAt>(TAt{0, key0, {}, ref0});
                       return [=, &d](size_t, std::vector<TRow>& rows) {
                         const TKeyedSql& q = Sql().keyed.at(order);
                         bool got = false;
                         at->pos += step;
                         if (at->pos >= count) {
                           at->pos -= count;
                           static const std::string kLeast;
                           BindText(q.from, 1, kLeast);
                           sqlite3_bind_int64(q.from, 2, at->pos);
                           got = SqlOne(q.from, d, rows[0], &at->next);
                         } else {
                           int64_t skip = step - 1;
                           if (q.same) {
                             BindText(q.same, 1, at->key);
                             sqlite3_bind_int(q.same, 2, at->ref);
                             sqlite3_bind_int64(q.same, 3, skip);
                             got = SqlOne(q.same, d, rows[0], &at->next);
                             if (!got && skip > 0) {
                               BindText(q.rest, 1, at->key);
                               sqlite3_bind_int(q.rest, 2, at->ref);
                               if (sqlite3_step(q.rest) == SQLITE_ROW)
                                 skip -= sqlite3_column_int64(q.rest, 0);
                               sqlite3_reset(q.rest);
                             }
                           }
                           if (!got) {
                             BindText(q.after, 1, at->key);
                             sqlite3_bind_int64(q.after, 2, skip);
                             got = SqlOne(q.after, d, rows[0], &at->next);
                           }
                         }
                         if (!got) return -1;
                         at->key.swap(at->next);
                         at->ref = rows[0].ref;
                         return 1;
                       };
                     }});
    }
  }
  return ops;
}

// Runs every operation on both sides with the same keys and compares what they return.
void CheckSameEntries(const std::vector<TOp>& ops) {
  std::printf("\nSame entries on both sides (%d look-ups each):\n", kCheckCount);
  std::vector<TRow> a(21), b(21);
  for (const TOp& op : ops) {
    std::vector<std::pair<std::string, TOpFn>> others = {{"SQLite", op.sqlite()}};
    if (op.keyed) others.emplace_back("SQLite keyed", op.keyed());
    const TOpFn ours = op.ours();
    std::vector<TOpFn> theirs;
    for (auto& o : others) theirs.push_back(o.second);
    int64_t rows = 0;
    for (int i = 0; i < kCheckCount; ++i) {
      const int n = ours(static_cast<size_t>(i), a);
      if (n <= 0) Fail(op.name + ": look-up " + std::to_string(i) + " failed on our side");
      rows += n;
      for (size_t s = 0; s < theirs.size(); ++s) {
        const int m = theirs[s](static_cast<size_t>(i), b);
        bool same = m == n;
        for (int r = 0; same && r < n; ++r)
          same = a[static_cast<size_t>(r)] == b[static_cast<size_t>(r)];
        if (!same)
          Fail(op.name + ": look-up " + std::to_string(i) + ": " + others[s].first + " returned " +
               std::to_string(m) + " rows (first ref " + std::to_string(m > 0 ? b[0].ref : -1) +
               "), ours " + std::to_string(n) + " (first ref " + std::to_string(a[0].ref) + ")");
      }
    }
    std::printf("  %-26s %-52s %7lld rows, same\n", op.name.c_str(), op.what.c_str(),
                static_cast<long long>(rows));
  }
}

// Reads files through once so both sides start with them in the system's cache.
void ReadThrough(const std::vector<std::string>& files) {
  std::vector<char> buf(1 << 20);
  for (const std::string& f : files) {
    const int fd = ::open(f.c_str(), O_RDONLY);
    if (fd < 0) Fail("cannot open " + f);
    while (::read(fd, buf.data(), buf.size()) > 0) {
    }
    ::close(fd);
  }
}

// Keeps the CPU time per look-up of every benchmark for the tables at the end: the median of
// the repetitions, or the run itself without repetitions. CPU time, because the machine may be
// shared and everything is in memory: nothing waits for a disk, real time only adds the waits
// for a processor.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  TRatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  std::map<std::string, double> times;  // name -> microseconds
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      const std::string& name = r.run_name.function_name;
      const double us =
          r.GetAdjustedCPUTime() * 1e6 / benchmark::GetTimeUnitMultiplier(r.time_unit);
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        times[name] = us;
        medians.insert(name);
      } else if (r.run_type == Run::RT_Iteration && !medians.count(name)) {
        times[name] = us;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

 private:
  std::set<std::string> medians;
};

void Register(const std::string& name, const TOpMaker& make) {
  benchmark::RegisterBenchmark(name.c_str(), [make](benchmark::State& st) {
    const TOpFn fn = make();
    std::vector<TRow> rows(21);
    size_t i = 0;
    for (auto _ : st) {
      if (fn(i++ % kKeyCount, rows) <= 0) {
        st.SkipWithError("look-up failed");
        break;
      }
      benchmark::DoNotOptimize(rows.data());
      benchmark::ClobberMemory();
    }
  })->Unit(benchmark::kMicrosecond);
}

double Mb(std::uintmax_t bytes) { return static_cast<double>(bytes) / 1e6; }

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t n = fs::file_size(path, ec);
  return ec ? 0 : n;
}

void PrintBuildTable(const std::string& dir, const std::string& sqlPath) {
  const TBenchBuildTimes ours = ReadBenchBuildTimes(dir);
  const TSqlTimes sql = ReadSqlTimes(dir);
  std::printf("\nBuild (each measured once, when its files were made):\n");
  if (ours.known) {
    std::printf(
        "  ours    %7.1f s wall, %.1f s CPU (writer, two threads; the entries made in memory "
        "before, %.1f s, not counted)\n",
        ours.writeSeconds, ours.writeCpuSeconds, ours.generateSeconds);
    for (const auto& [stage, s] : ours.stages)
      std::printf("            %6.1f s  %s\n", s, stage.c_str());
    std::printf("          (includes the two word lists, which the SQLite file does not have)\n");
  } else {
    std::printf(
        "  ours    not known: the edition was there before (--rebuild measures it when a "
        "benchmark wrote it)\n");
  }
  if (sql.known) {
    const TSpent total = sql.Total();
    std::printf(
        "  SQLite  %7.1f s wall, %.1f s CPU (one thread): rows %.1f s, sequence tables "
        "%.1f s, indexes %.1f s, commit + fsync %.1f s (wall)\n",
        total.wall, total.cpu, sql.rows.wall, sql.orders.wall, sql.index.wall, sql.sync.wall);
    std::printf("          (reading our edition back for it, %.1f s, not counted)\n",
                sql.read.wall);
    if (ours.known)
      std::printf("  SQLite / ours: %.2f wall, %.2f CPU\n", total.wall / ours.writeSeconds,
                  total.cpu / ours.writeCpuSeconds);
  } else {
    std::printf("  SQLite  not known (%s is missing; --rebuild measures it)\n", kSqlTimesName);
  }

  // Sizes: ours by file, SQLite by table and index where the library can tell (dbstat).
  std::uintmax_t entries = SizeOf(DataSetPath(kDataFileName));
  std::uintmax_t orders = SizeOf(DataSetPath(kSequenceFileName)), indexes = 0;
  for (const char* f : kIndexFileNames) indexes += SizeOf(DataSetPath(f));
  std::uintmax_t words = 0;
  for (const char* f :
       {"data\\intlwort.idx", "data\\intlwort.vws", "data\\uswort.idx", "data\\uswort.vws"})
    words += SizeOf(DataSetPath(f));
  const std::uintmax_t qsl = SizeOf(DataSetPath("data\\qslmgr.dat"));

  std::map<std::string, std::uintmax_t> part;  // "entries", "orders", "indexes", "other"
  sqlite3_stmt* st = nullptr;
  bool byPart = sqlite3_prepare_v2(Sql().db, "SELECT name, SUM(pgsize) FROM dbstat GROUP BY name",
                                   -1, &st, nullptr) == SQLITE_OK;
  while (byPart && sqlite3_step(st) == SQLITE_ROW) {
    const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    std::string kind = "other";
    for (const TDatabase db : {TDatabase::Intl, TDatabase::US}) {
      const TDbDef& d = DbDef(db);
      if (name == d.table) kind = "entries";
      for (const TKeyDef& k : d.keys) {
        if (name == k.seqTable) kind = "orders";
        if (name == IndexName(d, k)) kind = "indexes";
      }
    }
    part[kind] += static_cast<std::uintmax_t>(sqlite3_column_int64(st, 1));
  }
  sqlite3_finalize(st);
  const std::uintmax_t sqlSize = SizeOf(sqlPath);

  std::printf("\nSize on disk (MB)                 ours    SQLite  SQLite/ours\n");
  const auto line = [&](const char* what, std::uintmax_t a, const char* kind) {
    if (byPart)
      std::printf("  %-28s %8.1f  %8.1f  %6.2f\n", what, Mb(a), Mb(part[kind]),
                  static_cast<double>(part[kind]) / static_cast<double>(a));
    else
      std::printf("  %-28s %8.1f\n", what, Mb(a));
  };
  line("entries (records / table)", entries, "entries");
  line("orders (sequence / tables)", orders, "orders");
  line("key indexes", indexes, "indexes");
  if (byPart && part["other"])
    std::printf("  %-28s %8s  %8.1f\n", "schema, free", "", Mb(part["other"]));
  const std::uintmax_t oursTotal = entries + orders + indexes;
  std::printf("  %-28s %8.1f  %8.1f  %6.2f\n", "together", Mb(oursTotal), Mb(sqlSize),
              static_cast<double>(sqlSize) / static_cast<double>(oursTotal));
  std::printf("  %-28s %8.1f  %8s\n", "word lists (ours only)", Mb(words), "-");
  std::printf("  %-28s %8.1f  %8s\n", "QSL managers (ours only)", Mb(qsl), "-");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  const std::string edition = BenchEditionDirectory(argc, argv, rest);
  bool rebuild = false, repetitions = false;
  std::vector<char*> args;
  for (char* a : rest) {
    const std::string arg = a;
    repetitions = repetitions || arg.rfind("--benchmark_repetitions", 0) == 0;
    if (arg == "--rebuild")
      rebuild = true;
    else
      args.push_back(a);
  }
  // The machine may be shared: by default the median of three runs of each.
  static char kRepeat[] = "--benchmark_repetitions=3";
  static char kAggregates[] = "--benchmark_report_aggregates_only=true";
  if (!repetitions) {
    args.push_back(kRepeat);
    args.push_back(kAggregates);
  }
  const std::string sqlPath = (fs::path(edition) / kSqlFileName).string();
  if (rebuild) {
    fs::remove(sqlPath);
    fs::remove(SqlTimesFile(edition));
    if (fs::exists(BenchBuildTimesFile(edition))) {  // written by a benchmark: ours to remake
      fs::remove_all(fs::path(edition) / "data");
      fs::remove(BenchBuildTimesFile(edition));
    }
  }

  AllocIndexCaches();
  EnsureBenchEdition(edition, kProgram);
  SetHomeDir(edition);
  try {
    OpenDataSet();
  } catch (const EDataSetError& e) {
    Fail(e.what());
  }
  if (!fs::exists(sqlPath)) MakeSqlite(edition, sqlPath);
  std::printf("Edition %s: %d U.S., %d International entries\n", edition.c_str(),
              OrderEntryCount(oiUSCall), OrderEntryCount(oiIntlCall));
  OpenSql(sqlPath);

  TKeys keys;
  for (const int order : {oiIntlCall, oiUSCall, oiUSName})
    WalkIndex(order, keys.keys[static_cast<size_t>(order)], keys.refs[static_cast<size_t>(order)]);
  const std::vector<TOp> ops = MakeOps(keys);
  keys = TKeys();

  std::vector<std::string> files = {DataSetPath(kDataFileName), DataSetPath(kSequenceFileName),
                                    sqlPath};
  for (const char* f : kIndexFileNames) files.push_back(DataSetPath(f));
  ReadThrough(files);
  CheckSameEntries(ops);
  std::printf("\n");
  std::fflush(stdout);

  for (const TOp& op : ops) {
    Register(op.name + "/ours", op.ours);
    Register(op.name + "/sqlite", op.sqlite);
    if (op.keyed) Register(op.name + "/sqlite-keyed", op.keyed);
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 2;
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-26s %11s %11s %8s %13s %8s\n", "operation (us per look-up)", "ours", "SQLite",
              "ratio", "SQLite keyed", "ratio");
  for (const TOp& op : ops) {
    const auto a = reporter.times.find(op.name + "/ours");
    const auto b = reporter.times.find(op.name + "/sqlite");
    if (a == reporter.times.end() || b == reporter.times.end()) continue;
    std::printf("%-26s %11.2f %11.2f %8.2f", op.name.c_str(), a->second, b->second,
                b->second / a->second);
    const auto c = reporter.times.find(op.name + "/sqlite-keyed");
    if (c != reporter.times.end()) std::printf(" %13.2f %8.2f", c->second, c->second / a->second);
    std::printf("\n");
  }
  std::printf(
      "(ratio = SQLite time / ours, CPU time, median of the repetitions; SQLite keyed:\n"
      " stepping from the current (key, ref) with OFFSET step - 1, without the sequence "
      "tables)\n");
  PrintBuildTable(edition, sqlPath);

  CloseSql();
  CloseDataSet();
  FreeIndexCaches();
  return 0;
}

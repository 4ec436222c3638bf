// Filling a 100,000-contact ADIF log from the 1999-size edition, as tellmark-lookup --adif does:
// the log read from its file, one look-up per distinct call, the filled log written to a file.
// Reports the time per contact. The log is made from calls of the edition (picked with a fixed
// seed, many worked more than once, some portable, a few not in the directory), QSO dates from
// 1995 on so that the grant-date rule applies to some.
//   adif_bench [--edition=DIR] [benchmark options]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BenchEdition.h"
#include "adif/UAdifFill.h"
#include "callbook/UCallbook.h"
#include "dataset/UDataSet.h"
#include "dataset/UEntry.h"
#include "storage/UIndexEngine.h"

namespace {

constexpr int kContacts = 100000;
constexpr int kStations = 60000;  // distinct stations worked

std::string g_log, g_out;

uint64_t SplitMix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

std::string Field(const std::string& name, const std::string& value) {
  return "<" + name + ":" + std::to_string(value.size()) + ">" + value + " ";
}

// The log file's text: calls of the open data set.
std::string MakeLog() {
  std::vector<std::string> stations;
  for (int i = 0; i < kStations; ++i) {
    const uint64_t r = SplitMix(static_cast<uint64_t>(i));
    const int order = r % 10 < 7 ? oiUSCall : oiIntlCall;
    const int32_t count = OrderEntryCount(order);
    int32_t ref = 0;
    TEntryRecord rec;
    if (count <= 0 || !ReadOrderEntry(order, static_cast<int32_t>((r >> 8) % count), ref) ||
        !ReadRecord(order == oiUSCall ? TDatabase::US : TDatabase::Intl, ref, rec))
      continue;
    stations.push_back(MakeCallbookRecord(rec, TCallbookMatch::Exact, nullptr).call);
  }
  std::string log =
      "Contest log made by adif_bench\r\n<ADIF_VER:5>3.1.4 <PROGRAMID:10>adif_bench <EOH>\r\n";
  const char* const bands[] = {"160m", "80m", "40m", "20m", "15m", "10m"};
  for (int i = 0; i < kContacts; ++i) {
    const uint64_t r = SplitMix(0x5EED0000ULL + static_cast<uint64_t>(i));
    std::string call = stations[r % stations.size()];
    switch ((r >> 20) % 100) {
      case 0:
        call += "/P";
        break;
      case 1:
        call = "VE3/" + call;
        break;
      case 2:
        call += "/4";
        break;
      case 3:
        call = "ZZ9Z" + std::to_string(i % 1000);
        break;  // not in the directory
      default:
        break;
    }
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02d%02d", 1995 + static_cast<int>((r >> 32) % 30),
                  1 + static_cast<int>((r >> 40) % 12), 1 + static_cast<int>((r >> 48) % 28));
    log += Field("CALL", call) + Field("QSO_DATE", date) + Field("TIME_ON", "1200") +
           Field("BAND", bands[(r >> 56) % 6]) + Field("MODE", "CW") + Field("RST_SENT", "599") +
           Field("RST_RCVD", "599") + "<EOR>\r\n";
  }
  return log;
}

void BM_FillLog(benchmark::State& state) {
  TCallbook callbook;
  callbook.Open();
  bool failed = false;
  std::string summary;
  for (auto _ : state) {
    // A fresh source per run: every distinct call is looked up again.
    TCallbookLookupSource source(callbook);
    std::ostringstream out, err;
    TAdifFileJob job{g_log, g_out};
    job.allowSample = true;  // the 1999-size sample edition
    const TResult<TAdifFillSummary> filled = FillAdifFile(job, source, out, err, "");
    summary = filled.ok() ? err.str() : filled.Status().Message();
    failed = !filled.ok() || AdifFillOutcome(*filled) == TAdifFillOutcome::Unreadable;
  }
  if (failed) state.SkipWithError(summary.c_str());
  state.counters["contacts"] = kContacts;
  state.counters["per_contact"] =
      benchmark::Counter(static_cast<double>(kContacts) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  static bool shown = false;
  if (!shown) std::fprintf(stderr, "%s", summary.c_str());
  shown = true;
}
BENCHMARK(BM_FillLog)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The parts: reading and parsing the log; the look-ups of its distinct calls alone; filling
// from records already at hand; writing the result.
void BM_ReadAndParse(benchmark::State& state) {
  for (auto _ : state) {
    std::string text;
    ReadWholeFile(g_log, text);
    benchmark::DoNotOptimize(TAdifLog::Parse(std::move(text)).Records().size());
  }
}
BENCHMARK(BM_ReadAndParse)->Unit(benchmark::kMillisecond)->UseRealTime();

std::vector<std::string> DistinctBaseCalls() {
  std::string text;
  ReadWholeFile(g_log, text);
  const TAdifCalls c = AdifLogCalls(TAdifLog::Parse(std::move(text)));
  std::vector<std::string> calls = c.calls;
  std::sort(calls.begin(), calls.end());
  calls.erase(std::unique(calls.begin(), calls.end()), calls.end());
  return calls;
}

void BM_LookupsOnly(benchmark::State& state) {
  TCallbook callbook;
  callbook.Open();
  const std::vector<std::string> calls = DistinctBaseCalls();
  for (auto _ : state) {
    TCallbookLookupSource source(callbook);
    for (const std::string& c : calls) benchmark::DoNotOptimize(source.FindBaseCall(c));
  }
  state.counters["calls"] = static_cast<double>(calls.size());
}
BENCHMARK(BM_LookupsOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// Records fetched once; the fill and the write to memory measured.
class TCachedSource : public TAdifSource {
 public:
  explicit TCachedSource(const TCallbook& cb) : cb_(cb) {
    TCallbookLookupSource s(cb);
    for (const std::string& c : DistinctBaseCalls()) records_[c] = s.FindBaseCall(c);
  }
  std::optional<TCallbookRecord> FindBaseCall(std::string_view c) override {
    return records_[std::string(c)];
  }
  const TEntityTable* Entities() override { return &cb_.Entities(); }

 private:
  const TCallbook& cb_;
  std::map<std::string, std::optional<TCallbookRecord>> records_;
};

void BM_FillWithoutLookups(benchmark::State& state) {
  TCallbook callbook;
  callbook.Open();
  TCachedSource source(callbook);
  std::string text;
  ReadWholeFile(g_log, text);
  const TAdifLog log = TAdifLog::Parse(std::move(text));
  for (auto _ : state)
    benchmark::DoNotOptimize(FillAdifLog(log, source, TAdifCharset::Auto, true).text.size());
}
BENCHMARK(BM_FillWithoutLookups)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  const std::string dir = BenchEditionDirectory(argc, argv, rest);
  EnsureBenchEdition(dir, "adif_bench");
  if (!AllocIndexCaches()) return 2;
  SetHomeDir(dir);
  try {
    OpenDataSet();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "adif_bench: %s\n", e.what());
    return 2;
  }
  g_log = dir + "/adif-bench-log.adi";
  g_out = dir + "/adif-bench-filled.adi";
  if (!WriteFileAtomically(g_log, MakeLog())) return 2;
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  CloseDataSet();
  FreeIndexCaches();
  return 0;
}

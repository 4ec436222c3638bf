// The look-up service without sockets, on the 1999-size edition: what one request costs in the
// router (the look-up, the record, the answer's bytes), and the record's JSON text written
// straight into the answer beside the same text made through a JSON object (the earlier way),
// measured side by side in one process. The calls are 10,000 U.S. calls taken from the
// name order, as bench/service/run.sh takes them.
//   router_bench --edition=DIR   (else $TELLMARK_BENCH_EDITION, else ../bench-edition-1999)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "callbook/UCallbookWriters.h"
#include "dataset/UDataSet.h"
#include "service/UServiceData.h"
#include "service/UServiceRouter.h"
#include "storage/UIndexEngine.h"

namespace {

TDataSetSource* source = nullptr;
TServiceRouter* router = nullptr;
std::vector<std::string> calls;
std::vector<TCallbookRecord> records;

void BM_Health(benchmark::State& state) {
  TServiceRequest req;
  req.method = "GET";
  req.target = "/api/v1/health";
  for (auto _ : state) benchmark::DoNotOptimize(router->Handle(req));
}
BENCHMARK(BM_Health);

// The look-up and the record: what runs under the data set's lock.
void BM_FindCall(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(source->FindCall(calls[i++ % calls.size()]));
}
BENCHMARK(BM_FindCall);

// The record's JSON text alone.
void BM_RecordJson(benchmark::State& state) {
  size_t i = 0;
  std::string out;
  for (auto _ : state) {
    out.clear();
    AppendCallbookJson(out, records[i++ % records.size()]);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_RecordJson);

// The same text made as the service made it before: a JSON object built, then written out.
void BM_RecordJsonObject(benchmark::State& state) {
  size_t i = 0;
  for (auto _ : state) {
    std::string out = CallbookJson(records[i++ % records.size()])
                          .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_RecordJsonObject);

void Handle(benchmark::State& state, const std::string& prefix, const std::string& suffix) {
  std::vector<TServiceRequest> reqs(calls.size());
  for (size_t k = 0; k < calls.size(); ++k) {
    reqs[k].method = "GET";
    reqs[k].target = prefix + calls[k] + suffix;
  }
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(router->Handle(reqs[i++ % reqs.size()]));
}

void BM_ApiCall(benchmark::State& state) { Handle(state, "/api/v1/calls/", ""); }
BENCHMARK(BM_ApiCall);

void BM_QrzCall(benchmark::State& state) {
  Handle(state, "/xml/current/?s=0123456789abcdef0123456789abcdef;callsign=", "");
}
BENCHMARK(BM_QrzCall);

void BM_HamQthCall(benchmark::State& state) {
  Handle(state, "/xml.php?id=0123456789abcdef0123456789abcdef&prg=bench&callsign=", "");
}
BENCHMARK(BM_HamQthCall);

}  // namespace

int main(int argc, char** argv) {
  std::string dir = "../bench-edition-1999";
  if (const char* env = std::getenv("TELLMARK_BENCH_EDITION")) dir = env;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (i > 0 && a.rfind("--edition=", 0) == 0)
      dir = a.substr(10);
    else
      rest.push_back(argv[i]);
  }
  if (!AllocIndexCaches()) return 2;
  SetHomeDir(dir);
  TDataSetSource s("");
  if (const TStatus opened = s.Open(); !opened.ok()) {
    std::cerr << "router_bench: " << opened.Message() << "\n";
    return 2;
  }
  source = &s;
  TServiceRouter r(s);
  router = &r;
  for (const char* letter : {"A", "B", "C", "D", "E", "F", "G", "H", "J", "K", "L", "M", "N", "O",
                             "P", "R", "S", "T", "W"})
    for (const TCallbookRecord& rec : s.ListOrder(TSearchField::Name, letter, 527))
      if (calls.size() < 10000) calls.push_back(rec.call);
  if (calls.empty()) {
    std::cerr << "router_bench: no U.S. entries in " << dir << "\n";
    return 2;
  }
  for (const std::string& c : calls) records.push_back(s.FindCall(c));
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

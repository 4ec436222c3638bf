// Import of the FCC dump at its real size: a synthetic full dump in the exact layout (pipe-
// delimited HD, EN and AM records, CRLF, deflated in l_amat.zip), 1.5 million licence headers of
// which 750,000 are active, imported the way tellmark-build --fcc does it; and the same with six
// daily files of 2,000 licences each applied over it (address, class, renewal, cancellation and
// new licences, as tellmark-build --update applies them). Reports wall time, the CPU time of the
// process (user and system) per run, so a busy machine shows as such, and the process's peak
// memory (run one benchmark per process, --benchmark_filter, for a peak of its own).
//
//   fcc_bench [--dump=DIR] [--headers=N] [benchmark options]
// The dump is written once into DIR (default bench-data/fcc-dump beside the program).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "builder/UFccImport.h"
#include "builder/USourceTables.h"
#include "builder/UUSPlaces.h"

namespace fs = std::filesystem;

namespace {

std::string gDumpDir;
int gHeaders = 1500000;

uint64_t Mix(uint64_t x) {  // splitmix64
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A unique call for every n below 81 * 10 * 17576: 1x3 and 2x3 formats of K, W, N.
std::string CallOf(uint64_t n) {
  static const std::string firsts = "KWN";
  std::string call;
  const uint64_t p = n % 81;
  call += firsts[p % 3];
  if (p >= 3) call += static_cast<char>('A' + (p - 3) % 26);
  n /= 81;
  call += static_cast<char>('0' + n % 10);
  n /= 10;
  for (int i = 0; i < 3; ++i, n /= 26) call += static_cast<char>('A' + n % 26);
  return call;
}

std::string Date(uint64_t r, int year) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", static_cast<int>(r % 12 + 1),
                static_cast<int>(r / 12 % 28 + 1), year);
  return buf;
}

void Join(std::string& line, const std::vector<std::string>& f) {
  line.clear();
  for (size_t i = 0; i < f.size(); ++i) {
    if (i) line += '|';
    line += f[i];
  }
  line += "\r\n";
}

// Writes HD.dat, EN.dat and AM.dat into dir and zips them into dir/l_amat.zip.
void WriteDump(const std::string& dir, const TSourceTables& t, int headers) {
  fs::create_directories(dir);
  std::ofstream hd(dir + "/HD.dat", std::ios::binary), en(dir + "/EN.dat", std::ios::binary),
      am(dir + "/AM.dat", std::ios::binary);
  const uint64_t calls = 81ull * 10 * 17576;
  const uint64_t step = 7919ull * 104729;  // coprime with the number of calls
  static_assert(std::gcd(7919ull * 104729, 81ull * 10 * 17576) == 1);
  std::vector<std::string> hf(59), ef(30), af(18);
  std::string line;
  const std::vector<std::string> streets = {"MAIN ST",      "OAK AVE",         "ELM ST", "PARK RD",
                                            "HILLCREST DR", "LAKE SHORE BLVD", "2ND ST"};
  for (int i = 0; i < headers; ++i) {
    const uint64_t r = Mix(static_cast<uint64_t>(i));
    const bool active = i % 2 == 0;
    // Inactive licences reuse calls of active ones (older licences of the same call) half the
    // time.
    const uint64_t callNo = (active || r % 2 ? static_cast<uint64_t>(i) : r % headers & ~1ull);
    const std::string call = CallOf(callNo * step % calls);
    const std::string usi = std::to_string(1000000 + static_cast<uint64_t>(i) * 3);
    const int grantYear = 2015 + static_cast<int>(r % 11);

    std::fill(hf.begin(), hf.end(), std::string());
    hf[0] = "HD";
    hf[1] = usi;
    hf[2] = std::to_string(r % 9000000000ull + 1000000000ull);
    hf[4] = call;
    hf[5] = active ? "A" : (r % 10 < 6 ? "E" : r % 10 < 9 ? "C" : "T");
    hf[6] = r % 10 == 0 ? "HV" : "HA";
    hf[7] = Date(r >> 8, grantYear);
    hf[8] = Date(r >> 8, grantYear + 10);
    if (hf[5] == "C") hf[9] = Date(r >> 16, grantYear + 3);
    hf[42] = hf[7];
    hf[43] = Date(r >> 20, grantYear);
    Join(line, hf);
    hd << line;

    const TZipRow& z = t.zips[(r >> 24) % t.zips.size()];
    // One in a hundred has the ZIP of another place (often another state).
    const TZipRow& zip = r % 100 == 7 ? t.zips[(r >> 40) % t.zips.size()] : z;
    const std::string& last = t.surnames[(r >> 12) % 2000].text;
    const auto& firsts = t.firstNames.begin()->second;
    const std::string& first = firsts[(r >> 32) % firsts.size()].text;
    const bool club = r % 50 == 3;
    std::fill(ef.begin(), ef.end(), std::string());
    ef[0] = "EN";
    ef[1] = usi;
    ef[4] = call;
    ef[5] = "L";
    ef[6] = "L" + std::to_string(r % 90000000 + 10000000);
    if (club) {
      ef[7] = last + " AMATEUR RADIO CLUB";
    } else {
      ef[7] = last + ", " + first + " " + static_cast<char>('A' + r % 26);
      ef[8] = first;
      ef[9] = std::string(1, static_cast<char>('A' + r % 26));
      ef[10] = last;
    }
    if (r % 5 == 0) ef[13] = "HAM" + std::to_string(r % 100000) + "@EXAMPLE.COM";
    if (r % 20 == 1) {
      ef[19] = std::to_string(r % 9000 + 100);
    } else {
      ef[15] = std::to_string(r % 9000 + 1) + " " + streets[(r >> 5) % streets.size()];
    }
    ef[16] = z.city;
    ef[17] = z.state;
    ef[18] = zip.zip + (r % 3 == 0 ? std::to_string(1000 + r % 9000) : std::string());
    ef[21] = "000";
    ef[22] = std::to_string(r % 9000000000ull + 1000000000ull);
    ef[23] = club ? "B" : "I";
    Join(line, ef);
    en << line;

    std::fill(af.begin(), af.end(), std::string());
    af[0] = "AM";
    af[1] = usi;
    af[4] = call;
    if (!club) {
      static const char* classes[] = {"T", "T", "T", "G", "G", "E", "E", "A", "N", "P"};
      af[5] = classes[r % 10];
      af[6] = "D";
      af[7] = std::to_string(r % 13 + 1);
    }
    if (club) af[8] = CallOf((r >> 3) % calls);
    if (r % 10 == 0) {
      af[15] = CallOf((r >> 7) % calls);
      af[16] = "T";
    }
    Join(line, af);
    am << line;
  }
  hd.close();
  en.close();
  am.close();

  int err = 0;
  zip_t* z = zip_open((dir + "/l_amat.zip").c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) throw std::runtime_error("cannot create the dump archive");
  for (const char* name : {"HD.dat", "EN.dat", "AM.dat"}) {
    zip_source_t* s = zip_source_file(z, (dir + "/" + name).c_str(), 0, -1);
    const zip_int64_t idx = s ? zip_file_add(z, name, s, ZIP_FL_OVERWRITE) : -1;
    if (idx < 0) throw std::runtime_error(std::string("cannot add ") + name);
    zip_set_file_compression(z, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 6);
  }
  if (zip_close(z) != 0) throw std::runtime_error("cannot write the dump archive");
}

constexpr int kDailyFiles = 6, kDailyLicences = 2000;

// Six daily files after the dump in dir: dir/l_am_N.zip, each dated a day after the one before.
std::vector<std::string> WriteDailies(const std::string& dir, int headers) {
  std::vector<std::string> paths;
  const uint64_t calls = 81ull * 10 * 17576;
  const std::time_t dumpTime =
      fs::exists(dir + "/HD.dat")
          ? std::chrono::system_clock::to_time_t(
                std::chrono::file_clock::to_sys(fs::last_write_time(dir + "/HD.dat")))
          : std::time(nullptr);
  std::vector<std::string> hf(59), ef(30), af(18);
  std::string line;
  for (int d = 0; d < kDailyFiles; ++d) {
    std::string hd, en, am;
    for (int k = 0; k < kDailyLicences; ++k) {
      const uint64_t r = Mix(0xDA11ull * 1000003 + static_cast<uint64_t>(d * kDailyLicences + k));
      const int kind = static_cast<int>(r % 5);  // address, class, renewal, cancelled, new
      const uint64_t i = kind == 4 ? static_cast<uint64_t>(headers + d * kDailyLicences + k)
                                   : (r >> 8) % static_cast<uint64_t>(headers) & ~1ull;
      const std::string usi = std::to_string(1000000 + i * 3);
      const std::string call = CallOf((i * 7919ull * 104729 + (kind == 4 ? 17 : 0)) % calls);
      if (kind >= 2) {
        std::fill(hf.begin(), hf.end(), std::string());
        hf[0] = "HD", hf[1] = usi, hf[4] = call, hf[5] = kind == 3 ? "C" : "A", hf[6] = "HA";
        hf[7] = Date(r >> 8, 2026), hf[8] = Date(r >> 8, 2036);
        Join(line, hf);
        hd += line;
      }
      if (kind == 0 || kind == 4) {
        std::fill(ef.begin(), ef.end(), std::string());
        ef[0] = "EN", ef[1] = usi, ef[4] = call, ef[5] = "L";
        ef[7] = "DAILY, DAN", ef[8] = "DAN", ef[10] = "DAILY";
        ef[15] = std::to_string(r % 900 + 1) + " NEW ST", ef[16] = "DENVER", ef[17] = "CO";
        ef[18] = "80202", ef[23] = "I";
        Join(line, ef);
        en += line;
      }
      if (kind == 1 || kind == 4) {
        std::fill(af.begin(), af.end(), std::string());
        af[0] = "AM", af[1] = usi, af[4] = call, af[5] = kind == 1 ? "E" : "T";
        Join(line, af);
        am += line;
      }
    }
    const std::string path = dir + "/l_am_" + std::to_string(d + 1) + ".zip";
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) throw std::runtime_error("cannot create " + path);
    for (const auto& [name, text] :
         {std::pair<const char*, std::string*>{"HD.dat", &hd}, {"EN.dat", &en}, {"AM.dat", &am}}) {
      zip_source_t* s = zip_source_buffer(z, text->data(), text->size(), 0);
      const zip_int64_t idx = s ? zip_file_add(z, name, s, ZIP_FL_OVERWRITE) : -1;
      if (idx < 0) throw std::runtime_error(std::string("cannot add ") + name);
      zip_file_set_mtime(z, static_cast<zip_uint64_t>(idx), dumpTime + (d + 1) * 86400, 0);
    }
    if (zip_close(z) != 0) throw std::runtime_error("cannot write " + path);
    paths.push_back(path);
  }
  return paths;
}

const TSourceTables& Tables() {
  static const TSourceTables t = LoadSourceTables(TELLMARK_SOURCES_DIR);
  return t;
}

void EnsureDump() {
  if (fs::exists(gDumpDir + "/l_amat.zip")) return;
  std::fprintf(stderr, "fcc_bench: writing a dump of %d headers to %s ...\n", gHeaders,
               gDumpDir.c_str());
  WriteDump(gDumpDir, Tables(), gHeaders);
}

double CpuSeconds(int who, bool system) {
  rusage u{};
  ::getrusage(who, &u);
  const timeval& tv = system ? u.ru_stime : u.ru_utime;
  return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

void Import(benchmark::State& state, const std::string& what, bool daily = false) {
  EnsureDump();
  TUSPlaces places(Tables());
  TFccImportOptions o;
  o.zipPlace = [&](std::string_view zip, TFccPlace& p) { return places.ZipPlace(zip, p); };
  o.cityPlace = [&](std::string_view city, std::string_view st, TFccPlace& p) {
    return places.CityPlace(city, st, p);
  };
  o.country = [&](std::string_view st, std::string& c, std::string& d) {
    places.Country(st, c, d);
  };
  if (daily) o.daily = WriteDailies(gDumpDir, gHeaders);
  double user = 0, sys = 0;
  TFccImportReport r;
  for (auto _ : state) {
    std::vector<TBuildEntry> us;
    const double u0 = CpuSeconds(RUSAGE_SELF, false), s0 = CpuSeconds(RUSAGE_SELF, true);
    r = ImportFcc(gDumpDir + what, us, o);
    user += CpuSeconds(RUSAGE_SELF, false) - u0;
    sys += CpuSeconds(RUSAGE_SELF, true) - s0;
    benchmark::DoNotOptimize(us.data());
    state.PauseTiming();
    us = {};  // freeing is not part of the import
    state.ResumeTiming();
  }
  if (r.malformed != 0 || (daily ? r.dailyApplied.size() != kDailyFiles
                                 : r.active != static_cast<uint64_t>(gHeaders + 1) / 2))
    state.SkipWithError("the dump did not import as written");
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  state.counters["peak_MB"] = static_cast<double>(u.ru_maxrss) / 1024.0;
  state.counters["daily_licences"] = static_cast<double>(r.dailyLicences);
  const double n = static_cast<double>(state.iterations());
  state.counters["user_s"] = user / n;
  state.counters["sys_s"] = sys / n;
  state.counters["headers"] = static_cast<double>(r.hdRecords);
  state.counters["entries"] = static_cast<double>(r.imported);
  state.counters["from_city"] = static_cast<double>(r.placeFromCity);
}

void BM_FccImportZip(benchmark::State& state) { Import(state, "/l_amat.zip"); }
void BM_FccImportFolder(benchmark::State& state) { Import(state, ""); }
void BM_FccUpdateZip(benchmark::State& state) { Import(state, "/l_amat.zip", true); }

BENCHMARK(BM_FccImportZip)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FccImportFolder)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FccUpdateZip)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

std::string OwnDirectory() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  return fs::path(std::string(buf, static_cast<size_t>(n))).parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  gDumpDir = OwnDirectory() + "/bench-data/fcc-dump";
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (i > 0 && a.rfind("--dump=", 0) == 0)
      gDumpDir = a.substr(7);
    else if (i > 0 && a.rfind("--headers=", 0) == 0)
      gHeaders = std::stoi(a.substr(10));
    else
      rest.push_back(argv[i]);
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

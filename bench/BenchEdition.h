#pragma once
// The 1999-size edition the benchmarks run on: where it lives, and writing it once. The times of
// that write are kept beside it in edition-build.txt, so later runs can still show them.
// Needs TELLMARK_SOURCES_DIR (the folder of the source tables) defined by the build.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "builder/UEditionWriter.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "common/IOUtil.h"

// The folder of the running program.
inline std::string BenchOwnDirectory() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  return std::filesystem::path(std::string(buf, static_cast<size_t>(n))).parent_path().string();
}

// The edition folder: --edition=DIR (taken out of the arguments), else $TELLMARK_BENCH_EDITION,
// else bench-data/edition-1999 beside the program. rest gets the other arguments, for the
// benchmark library. The folder is created when missing.
inline std::string BenchEditionDirectory(int argc, char** argv, std::vector<char*>& rest) {
  std::string dir;
  if (const char* env = std::getenv("TELLMARK_BENCH_EDITION")) dir = env;
  for (int i = 0; i < argc; ++i) {
    const std::string a = argv[i];
    if (i > 0 && a.rfind("--edition=", 0) == 0)
      dir = a.substr(10);
    else
      rest.push_back(argv[i]);
  }
  if (dir.empty()) dir = BenchOwnDirectory() + "/bench-data/edition-1999";
  std::filesystem::create_directories(dir);
  return dir;
}

// What writing the edition took.
struct TBenchBuildTimes {
  bool known = false;          // false: the edition was there before, without its times
  double generateSeconds = 0;  // the sample entries, in memory
  double writeSeconds = 0;     // WriteEdition, wall clock
  double writeCpuSeconds = 0;  // WriteEdition, CPU of the process (the writer uses two threads)
  std::vector<std::pair<std::string, double>> stages;  // writer stage, wall seconds
};

inline double BenchProcessCpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline std::string BenchBuildTimesFile(const std::string& dir) {
  return (std::filesystem::path(dir) / "edition-build.txt").string();
}

inline TBenchBuildTimes ReadBenchBuildTimes(const std::string& dir) {
  TBenchBuildTimes t;
  std::string text;
  if (!ReadWholeFile(BenchBuildTimesFile(dir), text)) return t;
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word == "generate") {
      in >> t.generateSeconds;
    } else if (word == "write") {
      in >> t.writeSeconds;
      t.known = true;
    } else if (word == "write-cpu") {
      in >> t.writeCpuSeconds;
    } else if (word == "stage") {
      double s = 0;
      std::string name;
      in >> s;
      std::getline(in >> std::ws, name);
      t.stages.emplace_back(name, s);
    }
  }
  return t;
}

// Writes the 1999-size sample edition (seed 1999, as tellmark-build --edition-1999 makes it) into
// dir unless dir/data/thedata.dat exists, and records the times. program prefixes the messages.
inline void EnsureBenchEdition(const std::string& dir, const char* program) {
  namespace fs = std::filesystem;
  if (fs::exists(fs::path(dir) / "data" / "thedata.dat")) return;
  using TClock = std::chrono::steady_clock;
  const auto seconds = [](TClock::time_point t0) {
    return std::chrono::duration<double>(TClock::now() - t0).count();
  };
  std::fprintf(stderr, "%s: writing the 1999-size edition to %s ...\n", program, dir.c_str());
  TBenchBuildTimes t;
  auto t0 = TClock::now();
  const TSourceTables tables = LoadSourceTables(TELLMARK_SOURCES_DIR);
  TBuildInput input = GenerateSample(tables, kEdition1999US, kEdition1999Intl, 1999);
  input.entities = MakeEntityTable(tables);  // as tellmark-build writes it
  t.generateSeconds = seconds(t0);

  TEditionOptions options;
  std::string stage;
  TClock::time_point stageStart;
  options.progress = [&](std::string_view s, uint64_t, uint64_t) {
    if (s == stage) return;
    const auto now = TClock::now();
    if (!stage.empty())
      t.stages.emplace_back(stage, std::chrono::duration<double>(now - stageStart).count());
    stage = std::string(s);
    stageStart = now;
  };
  const double cpu0 = BenchProcessCpuSeconds();
  t0 = TClock::now();
  try {
    WriteEdition(std::move(input), dir, options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", program, e.what());
    std::exit(2);
  }
  t.writeSeconds = seconds(t0);
  t.writeCpuSeconds = BenchProcessCpuSeconds() - cpu0;
  if (!stage.empty()) t.stages.emplace_back(stage, seconds(stageStart));
  t.known = true;

  std::ostringstream out;
  out << "generate " << t.generateSeconds << "\nwrite " << t.writeSeconds << "\nwrite-cpu "
      << t.writeCpuSeconds << "\n";
  for (const auto& [name, s] : t.stages) out << "stage " << s << " " << name << "\n";
  WriteFileAtomically(BenchBuildTimesFile(dir), out.str());
  std::fprintf(stderr, "%s: edition written in %.1f s (entries made in %.1f s)\n", program,
               t.writeSeconds, t.generateSeconds);
}

// tellmark-build: writes a data set from the sample sources, the FCC licence dump and/or a CSV of
// International entries.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <unordered_map>

#include "builder/UBuildRecord.h"
#include "builder/UCsvImport.h"
#include "builder/UDocumentWriter.h"
#include "builder/UEditionWriter.h"
#include "builder/UFccImport.h"
#include "builder/UFccUpdate.h"
#include "builder/UImportText.h"
#include "builder/UIsedImport.h"
#include "builder/UMapSet.h"
#include "builder/UProgressLine.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "builder/UUSPlaces.h"
#include "builder/UZipArchive.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UCoverage.h"
#include "dataset/UEdition.h"

namespace {

using TClock = std::chrono::steady_clock;

// Folder of this program's executable ("." when unknown).
std::filesystem::path OwnDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec || exe.empty() ? std::filesystem::path(".") : exe.parent_path();
}

// The installed copy (../share/tellmark/NAME from the program) when there is one, else the
// repository's data/NAME, for a program run from the build tree.
std::string DefaultDataDir(const char* name) {
  const std::filesystem::path installed =
      (OwnDirectory() / ".." / "share" / "tellmark" / name).lexically_normal();
  std::error_code ec;
  if (std::filesystem::is_directory(installed, ec)) return installed.string();
  return (std::filesystem::path(TELLMARK_SOURCE_DIR) / "data" / name).lexically_normal().string();
}

// The source tables of the sample and of the FCC places.
std::string DefaultSourcesDir() { return DefaultDataDir("sources"); }

// The hand-written documents and help source.
std::string DefaultTextsDir() { return DefaultDataDir("texts"); }

double Seconds(TClock::time_point since) {
  return std::chrono::duration<double>(TClock::now() - since).count();
}

std::string Grouped(uint64_t n) {
  std::string s = std::to_string(n);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(static_cast<size_t>(i), ",");
  return s;
}

// Warnings to stderr: the first few in full, then only counted.
class TWarnings {
 public:
  TWarnings(bool quiet, TProgressLine& progress) : quiet_(quiet), progress_(progress) {}
  void Add(const std::string& text) {
    if (++count_ <= kShown && !quiet_) {
      progress_.Clear();
      std::fprintf(stderr, "tellmark-build: warning: %s\n", text.c_str());
    }
  }
  void Finish() {
    if (count_ > kShown && !quiet_)
      std::fprintf(stderr, "tellmark-build: ... and %llu more warnings\n",
                   static_cast<unsigned long long>(count_ - kShown));
  }

 private:
  static constexpr uint64_t kShown = 20;
  bool quiet_;
  TProgressLine& progress_;
  uint64_t count_ = 0;
};

void PrintSamples(const char* what, uint64_t count, const std::vector<std::string>& samples) {
  if (count == 0) return;
  std::fprintf(stderr, "tellmark-build: %s: %llu\n", what, static_cast<unsigned long long>(count));
  for (const auto& s : samples) std::fprintf(stderr, "  %s\n", Cp437ToUtf8(s).c_str());
  if (count > samples.size())
    std::fprintf(stderr, "  ... and %llu more\n",
                 static_cast<unsigned long long>(count - samples.size()));
}

void PrintFccPlaces(const TFccImportReport& r) {
  for (const auto& d : r.dailyApplied) std::printf("  daily file applied: %s\n", d.c_str());
  if (!r.dailyApplied.empty())
    std::printf(
        "  %s licences taken from the daily files (%s without a header record, left "
        "out)\n",
        Grouped(r.dailyLicences).c_str(), Grouped(r.dailyWithoutHeader).c_str());
  std::printf(
      "  place from the ZIP %s, from the city %s, from nothing %s (%s ZIPs in another "
      "state than the licence)\n",
      Grouped(r.placeFromZip).c_str(), Grouped(r.placeFromCity).c_str(),
      Grouped(r.placeNone).c_str(), Grouped(r.zipOtherState).c_str());
}

// The record of this build: every option given but the output and the chatter, sources with
// absolute paths, and the seed always (a later default must not change a rebuilt edition).
TBuildRecord RecordOf(const CLI::App& app, uint64_t seed, const TEditionSummary& s) {
  TBuildRecord rec;
  rec.program = std::string("tellmark-build ") + TELLMARK_VERSION;
  bool seedGiven = false;
  for (const CLI::Option* opt : app.get_options()) {
    if (opt->count() == 0 || opt->get_lnames().empty()) continue;
    const std::string name = "--" + opt->get_lnames().front();
    if (name == "--out" || name == "--shown-out" || name == "--quiet" || name == "--help" ||
        name == "--version")
      continue;
    if (opt->get_expected_min() == 0) {  // a flag
      rec.options.push_back(name);
      continue;
    }
    seedGiven = seedGiven || name == "--seed";
    for (const std::string& v : opt->results()) {
      if (IsSourceOption(name))
        rec.sources.push_back(name + "=" +
                              std::filesystem::absolute(v).lexically_normal().string());
      else
        rec.options.push_back(name + "=" + v);
    }
  }
  if (!seedGiven) rec.options.push_back("--seed=" + std::to_string(seed));
  rec.fccWeekly = s.edition.fccWeekly;
  rec.fccDaily = s.edition.fccDaily;
  return rec;
}

// The day (UTC) a source file was last changed; empty when it cannot be read.
std::string FileDay(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  std::tm tm{};
  ::gmtime_r(&st.st_mtime, &tm);
  char buf[16];
  return std::string(buf, std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm));
}

// The register's date: of its member in the zip as published, else of the text file.
std::string IsedDay(const std::string& path) {
  try {
    const TZipArchive zip(path);
    if (const TZipMember* m = zip.Find("amateur_delim.txt")) {
      std::tm tm{};
      ::localtime_r(&m->modified, &tm);
      char buf[16];
      return std::string(buf, std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm));
    }
  } catch (const EStatusError&) {
    // Not a zip: the text file itself.
  }
  return FileDay(path);
}

// "Tellmark FCC edition of 2026-11-29", "Tellmark Canadian edition of 2026-11-30", ...
std::string RealTitle(const std::vector<TEditionSource>& sources, const std::string& fccWeekly) {
  bool fcc = false, ised = false, csv = false;
  std::string date;
  for (const TEditionSource& s : sources) {
    fcc = fcc || s.kind == "fcc";
    ised = ised || s.kind == "ised";
    csv = csv || s.kind == "csv";
    if (s.kind != "sample" && s.date > date) date = s.date;
  }
  std::string what = fcc && ised ? "FCC and Canadian" : fcc ? "FCC" : ised ? "Canadian" : "";
  if (csv) what += what.empty() ? "International" : " and International";
  if (!fccWeekly.empty()) date = fccWeekly;
  return "Tellmark " + what + " edition" + (date.empty() ? "" : " of " + date);
}

}  // namespace

int Build(int argc, char** argv) {
  CLI::App app{
      "Writes a Tellmark data set: from the bundled sample sources, the FCC amateur "
      "licence dump (l_amat.zip or a folder with EN.dat, HD.dat, AM.dat) and/or a CSV "
      "of International entries."};
  app.set_version_flag("--version", std::string("tellmark-build ") + TELLMARK_VERSION);
  std::string outDir, sourcesDir, textsDir, fccPath, csvPath, isedPath, title, ctyPath;
  std::vector<std::string> fccDaily;
  int usCount = 60000, intlCount = 40000;
  uint64_t seed = 1999;
  bool edition1999 = false, quiet = false, noMaps = false;
  app.add_option("--out", outDir, "Folder to write (the data set goes into its data/ folder)")
      ->required();
  app.add_option("--sources", sourcesDir,
                 "Folder of the source tables (default: " + DefaultSourcesDir() + ")");
  app.add_option("--texts", textsDir,
                 "Folder of the hand-written documents and the help source (default: " +
                     DefaultTextsDir() + ")");
  auto* usOpt =
      app.add_option("--us", usCount, "U.S. entries of the sample edition (default 60000)")
          ->check(CLI::Range(0, INT32_MAX));
  auto* intlOpt = app.add_option("--intl", intlCount,
                                 "International entries of the sample edition (default 40000)")
                      ->check(CLI::Range(0, INT32_MAX));
  int sampleUS = 0, sampleIntl = 0;
  auto* sampleUSOpt =
      app.add_option("--sample-us", sampleUS,
                     "Invented U.S. entries beside real sources (marked synthetic; not with --fcc)")
          ->check(CLI::Range(0, INT32_MAX));
  auto* sampleIntlOpt =
      app.add_option("--sample-intl", sampleIntl,
                     "Invented International entries beside real sources (marked synthetic; not "
                     "with --intl-csv or --ised)")
          ->check(CLI::Range(0, INT32_MAX));
  app.add_option("--seed", seed, "Seed of the sample generator (default 1999)");
  app.add_flag("--edition-1999", edition1999,
               "Sample sizes of the 1999 edition (694,720 International, 782,655 U.S. entries)")
      ->excludes(usOpt)
      ->excludes(intlOpt);
  app.add_option("--fcc", fccPath, "U.S. entries from the FCC dump (l_amat.zip or a folder)");
  app.add_option("--fcc-daily", fccDaily,
                 "Daily FCC transaction files (l_am_mon.zip .. l_am_sat.zip) applied over the "
                 "--fcc dump in date order")
      ->needs("--fcc");
  app.add_option("--intl-csv", csvPath, "International entries from a CSV file");
  app.add_option("--ised", isedPath,
                 "Canadian stations from the national licence register (amateur_delim.zip or "
                 "amateur_delim.txt); a call the --intl-csv file also has is taken from the CSV");
  app.add_option("--cty", ctyPath,
                 "A newer country file (cty.csv, or cty.dat with the numbers of the bundled one) "
                 "to resolve calls with; --update keeps it");
  app.add_option("--title", title, "Title of the edition");
  std::string shownOut;  // where the update puts the edition built in its sibling folder
  app.add_option("--shown-out", shownOut)->group("");
  app.add_flag("--quiet", quiet, "No progress, warnings or summary");
  app.add_flag("--no-maps", noMaps, "Write no maps (MapDirOffset=0, as in older editions)");
  app.footer(
      "tellmark-build --update DIR [--fcc-url URL] [--offline] [--quiet] downloads the newest "
      "FCC files and rebuilds the edition in DIR as it was built (a new FCC edition when DIR has "
      "none; build options given then are kept for later updates).\n"
      "Exit status: 0 written, 1 the build failed (nothing of an earlier edition in the "
      "folder is replaced), 2 bad command line.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  // Real and invented entries never share a database, and a real edition has invented ones only
  // when asked for.
  const bool real = !fccPath.empty() || !csvPath.empty() || !isedPath.empty();
  const auto refuse = [](const std::string& why) {
    std::fprintf(stderr, "tellmark-build: %s\n", why.c_str());
    return 2;
  };
  if (real) {
    if (edition1999 || (usOpt->count() && usCount != 0) || (intlOpt->count() && intlCount != 0))
      return refuse(
          "--us, --intl and --edition-1999 size the sample edition; beside real sources "
          "--sample-us N and --sample-intl N add invented entries");
    if (!fccPath.empty() && sampleUSOpt->count() && sampleUS != 0)
      return refuse("--sample-us cannot go with --fcc: a database is real or invented, not both");
    if ((!csvPath.empty() || !isedPath.empty()) && sampleIntlOpt->count() && sampleIntl != 0)
      return refuse(
          "--sample-intl cannot go with --intl-csv or --ised: a database is real or invented, "
          "not both");
    usCount = fccPath.empty() ? sampleUS : 0;
    intlCount = csvPath.empty() && isedPath.empty() ? sampleIntl : 0;
  } else {
    if (sampleUSOpt->count()) usCount = sampleUS;
    if (sampleIntlOpt->count()) intlCount = sampleIntl;
  }
  if (edition1999) {
    const TEdition ed = Edition1999();
    usCount = ed.usCount;
    intlCount = ed.intlCount;
  }
  if (sourcesDir.empty()) sourcesDir = DefaultSourcesDir();
  if (textsDir.empty()) textsDir = DefaultTextsDir();

  TProgressLine progress(!quiet && ::isatty(STDERR_FILENO));
  TWarnings warnings(quiet, progress);
  const auto start = TClock::now();
  try {
    const bool needUS = fccPath.empty() && usCount > 0,
               needIntl = csvPath.empty() && isedPath.empty() && intlCount > 0;
    TBuildInput input;
    double tablesSeconds = 0, makeSeconds = 0;
    TSourceTables tables;
    {
      progress.Show("Loading source tables", 0, 0);
      const auto t0 = TClock::now();
      tables = LoadSourceTables(sourcesDir);
      tablesSeconds = Seconds(t0);
    }
    std::vector<TEditionSource> sources;
    // The register brings Canada's stations: the sample makes none of its own.
    if (!isedPath.empty())
      for (auto& l : tables.licensing)
        if (l.dxcc == "VE") l.weight = 0;
    const auto t1 = TClock::now();
    // A whole sample edition: the International thread, done first, finds the entries' map
    // points meanwhile, following the U.S. thread.
    TMapPoints points;
    TAfterIntl findPoints;
    if (!noMaps && !real && needUS && needIntl)
      findPoints = [&points](const std::vector<TBuildEntry>& intl,
                             const std::vector<TBuildEntry>& us, size_t usMadeCount,
                             const TProgressFeed& usMade) {
        points = EntryPoints(intl, us, usMadeCount, &usMade);
      };
    if (needUS || needIntl) {
      progress.Show("Generating sample entries", 0, 0);
      input =
          GenerateSample(tables, needUS ? usCount : 0, needIntl ? intlCount : 0, seed, findPoints);
      if (real) input.title.clear();  // the title follows the real sources
    }
    if (!fccPath.empty()) {
      TUSPlaces places(tables);
      TFccImportOptions o;
      o.zipPlace = [&](std::string_view zip, TFccPlace& p) { return places.ZipPlace(zip, p); };
      o.cityPlace = [&](std::string_view city, std::string_view state, TFccPlace& p) {
        return places.CityPlace(city, state, p);
      };
      o.country = [&](std::string_view state, std::string& country, std::string& dxcc) {
        places.Country(state, country, dxcc);
      };
      o.daily = fccDaily;
      o.progress = [&](std::string_view stage, uint64_t done, uint64_t total) {
        progress.Show(stage, done, total);
      };
      const TFccImportReport r = ImportFcc(fccPath, input.us, o);
      progress.Clear();
      if (!quiet) {
        PrintSamples("malformed records in the FCC dump", r.malformed, r.malformedSamples);
        std::printf(
            "FCC dump: %s active licences of %s, %s entries (%s without name and "
            "address, %s superseded, %s with a ZIP not in the tables)\n",
            Grouped(r.active).c_str(), Grouped(r.hdRecords).c_str(), Grouped(r.imported).c_str(),
            Grouped(r.withoutEntity).c_str(), Grouped(r.superseded).c_str(),
            Grouped(r.unknownZip).c_str());
        PrintFccPlaces(r);
      }
      input.fccWeekly = r.dumpDay;
      input.fccDaily = r.lastDailyDay;
      sources.push_back({"fcc", "us", r.dumpDay, static_cast<int64_t>(r.imported)});
    }
    if (!csvPath.empty()) {
      progress.Show("Reading " + csvPath, 0, 0);
      const TCsvImportReport r = ImportIntlCsv(csvPath, input, &tables);
      progress.Clear();
      if (!quiet) {
        PrintSamples("unusable rows in the CSV file", r.malformed, r.malformedSamples);
        for (const auto& n : r.notes) std::fprintf(stderr, "tellmark-build: note: %s\n", n.c_str());
        std::printf(
            "CSV file: %s International entries of %s rows, %s QSL managers; derived: "
            "%s countries and DXCC entities from the call, %s locators from the town\n",
            Grouped(r.imported).c_str(), Grouped(r.rows).c_str(), Grouped(r.managers).c_str(),
            Grouped(r.derivedEntity).c_str(), Grouped(r.derivedLocator).c_str());
      }
      sources.push_back({"csv", "intl", FileDay(csvPath), static_cast<int64_t>(r.imported)});
    }
    if (!isedPath.empty()) {
      progress.Show("Reading " + isedPath, 0, 0);
      const TIsedImportReport r = ImportIsed(isedPath, input, tables);
      progress.Clear();
      if (!quiet) {
        PrintSamples("unusable lines in the Canadian register", r.bad, r.badSamples);
        std::printf(
            "Canadian register: %s stations of %s lines (%s club stations), %s calls kept from "
            "the CSV file; locators from the town %s, from the postal area %s, none %s\n",
            Grouped(r.imported).c_str(), Grouped(r.lines).c_str(), Grouped(r.clubs).c_str(),
            Grouped(r.keptFromCsv).c_str(), Grouped(r.locatorFromTown).c_str(),
            Grouped(r.locatorFromArea).c_str(), Grouped(r.withoutLocator).c_str());
      }
      sources.insert(
          sources.begin() + (fccPath.empty() ? 0 : 1),
          TEditionSource{"ised", "intl", IsedDay(isedPath), static_cast<int64_t>(r.imported)});
    }
    if (needUS) sources.push_back({"sample", "us", "", static_cast<int64_t>(input.us.size())});
    if (needIntl)
      sources.push_back({"sample", "intl", "", static_cast<int64_t>(input.intl.size())});
    if (real) input.title = RealTitle(sources, input.fccWeekly);
    input.sources = std::move(sources);
    input.entities = MakeEntityTable(tables);
    if (!ctyPath.empty()) {
      // The colon form has no ADIF numbers: those of the bundled file, by prefix.
      TCountryFile bundled = tables.country;
      std::string text;
      if (bundled.Empty() && ReadWholeFile(sourcesDir + "/cty.tsv", text))
        if (TResult<TCountryFile> f = ParseCountryFile(text, nullptr); f.ok())
          bundled = std::move(f).Value();
      if (!ReadWholeFile(ctyPath, text))
        throw EStatusError(
            TStatus::WithMessage(TStatusCode::IOError,
                                 "cannot read " + ctyPath + ": " + ErrorCodeText(LastErrorCode())));
      TResult<TCountryFile> parsed = ParseCountryFile(text, &bundled);
      if (!parsed.ok())
        throw EStatusError(
            TStatus::Corrupt(ctyPath + " is no country file: " + parsed.Status().Message()));
      TCountryFile newer = std::move(parsed).Value();
      if (!quiet)
        std::printf("Country file %s: %zu entities, version %s\n", ctyPath.c_str(),
                    newer.entities.size(),
                    newer.Version().empty() ? "unknown" : newer.Version().c_str());
      input.entities.SetCountryFile(std::move(newer));
    }
    if (!title.empty())
      input.title = ImportText(title);  // code page 437, like every text of the data set
    makeSeconds = Seconds(t1);

    const auto t2 = TClock::now();
    TEditionOptions options;
    options.progress = [&](std::string_view stage, uint64_t done, uint64_t total) {
      progress.Show(stage, done, total);
    };
    options.warning = [&](const std::string& w) { warnings.Add(w); };
    double mapsSeconds = 0;
    if (!noMaps) {
      progress.Show("Placing entries on maps", 0, 0);
      const auto t3 = TClock::now();
      PrepareMaps(sourcesDir + "/map_geometry.bin", input, options, findPoints ? &points : nullptr);
      mapsSeconds = Seconds(t3);
      options.maps = [&mapsSeconds, render = options.maps](int64_t blockStart) {
        const auto t4 = TClock::now();
        TMapBlock block = render(blockStart);
        mapsSeconds += Seconds(t4);
        return block;
      };
    }
    const TEditionSummary s = WriteEdition(std::move(input), outDir, options);
    // The reference documents and the help, from the records as stored.
    progress.Show("Writing documents", 0, 0);
    TDocumentOptions documentOptions;
    documentOptions.textsDir = textsDir;
    documentOptions.warning = [&](const std::string& w) { warnings.Add(w); };
    const TEditionCounts& counts = s.counts;
    const TDocumentSummary docs = WriteDocuments(outDir, counts, tables, documentOptions);
    const std::string recordPath = outDir + "/" + kBuildRecordName;
    if (!WriteFileAtomically(recordPath, FormatBuildRecord(RecordOf(app, seed, s))))
      throw std::runtime_error("cannot write " + recordPath + ": " + std::strerror(errno));
    const double writeSeconds = Seconds(t2);
    progress.Clear();
    warnings.Finish();

    if (!quiet) {
      const TEdition& ed = s.edition;
      const double total = Seconds(start);
      const uint64_t entries = static_cast<uint64_t>(ed.intlCount) + ed.usCount;
      std::printf("Edition \"%s\" in %s/data\n", Cp437ToUtf8(ed.title).c_str(),
                  (shownOut.empty() ? outDir : shownOut).c_str());
      if (const std::string made = EditionSourcesText(ed); !made.empty())
        std::printf("  %s\n", made.c_str());
      std::printf("  International entries %12s   words %10s   word references %12s\n",
                  Grouped(ed.intlCount).c_str(), Grouped(s.intlWords).c_str(),
                  Grouped(s.intlWordRefs).c_str());
      std::printf("  U.S. entries          %12s   words %10s   word references %12s\n",
                  Grouped(ed.usCount).c_str(), Grouped(s.usWords).c_str(),
                  Grouped(s.usWordRefs).c_str());
      if (s.droppedDuplicates || s.droppedWithoutCall || s.fieldsCut)
        std::printf("  left out: %s repeated calls, %s entries without a call; %s fields cut\n",
                    Grouped(s.droppedDuplicates).c_str(), Grouped(s.droppedWithoutCall).c_str(),
                    Grouped(s.fieldsCut).c_str());
      for (const auto& [name, bytes] : s.files)
        std::printf("  %-20s %15s bytes\n", name.c_str(), Grouped(bytes).c_str());
      std::printf("  %-20s %15s bytes\n", "total", Grouped(s.TotalBytes()).c_str());
      int64_t docBytes = 0;
      for (const auto& f : docs.files) docBytes += f.second;
      std::printf("  %zu documents and help files, %s bytes\n", docs.files.size(),
                  Grouped(static_cast<uint64_t>(docBytes)).c_str());
      std::printf(
          "  time %.2f s (tables %.2f s, entries %.2f s, writing %.2f s, of which maps %.2f s), "
          "%s entries/s\n",
          total, tablesSeconds, makeSeconds, writeSeconds, mapsSeconds,
          Grouped(static_cast<uint64_t>(total > 0 ? entries / total : 0)).c_str());
      std::printf("%s", counts.coverage.Text().c_str());
    }
    return 0;
  } catch (const std::exception& e) {
    progress.Clear();
    std::fprintf(stderr, "tellmark-build: error: %s\n", e.what());
    return 1;
  }
}

namespace {

// tellmark-build --update DIR: the command line of an update, and its exit status.
int RunUpdate(int argc, char** argv) {
  CLI::App app{
      "Brings the FCC edition in DIR up to date: downloads the newest weekly file and the daily "
      "files after it and builds DIR again with the sources and options it was built with."};
  TUpdateOptions o;
  std::string dirArg;
  app.add_option("--update", dirArg, "Edition folder (made when it does not exist)")->required();
  app.add_option("--fcc-url", o.url,
                 std::string("Where to download from (default ") + kFccDefaultUrl + ")");
  app.add_flag("--offline", o.offline, "Use the files in the cache only");
  app.add_flag("--quiet", o.quiet, "No progress or summary");
  app.add_flag("--enable-timer", o.enableTimer,
               "Keep DIR current by itself: name it in the update timer's environment file "
               "($XDG_CONFIG_HOME/tellmark/update.env) and enable tellmark-update.timer");
  app.allow_extras();
  app.footer("Other options are build options of a new edition (kept for later updates).");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  o.buildOptions = app.remaining();
  std::filesystem::path dir = std::filesystem::absolute(dirArg).lexically_normal();
  if (dir.filename().empty() && dir.has_relative_path()) dir = dir.parent_path();  // "DIR/"
  o.dir = dir.string();

  const TResult<TUpdateOutcome> r = [&]() -> TResult<TUpdateOutcome> {
    try {
      return Update(o, Build);
    } catch (const std::exception& e) {  // out of memory, a broken contract
      return TStatus::WithMessage(TStatusCode::IOError, e.what());
    }
  }();
  if (!r.ok()) {
    std::fprintf(stderr, "tellmark-build: error: %s; %s is unchanged\n",
                 r.Status().Message().c_str(), o.dir.c_str());
    return 1;
  }
  switch (r->end) {
    case TUpdateOutcome::OptionsRefused:
      std::fprintf(stderr,
                   "tellmark-build: %s was built with the options of its build record; "
                   "build options (%s) go only with a new edition\n",
                   o.dir.c_str(), o.buildOptions.front().c_str());
      return 2;
    case TUpdateOutcome::BuildFailed:
      std::fprintf(stderr, "tellmark-build: %s is unchanged\n", o.dir.c_str());
      return r->buildExitCode;
    case TUpdateOutcome::UpToDate:
    case TUpdateOutcome::Updated:
      break;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--update" || a.rfind("--update=", 0) == 0) return RunUpdate(argc, argv);
  }
  return Build(argc, argv);
}

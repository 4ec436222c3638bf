// tellmark-lookup: the directory from the command line, for scripts and logging programs. Eight
// modes: calls (from the arguments, else one per line from stdin); one of the U.S. orders from a
// name, city, ZIP or county (--name, --city, --zip, --county); the entries that contain a set of
// words (--words, the text search); the coverage figures of the edition (--stats); a call's
// entry as Morse code in a WAV file (--cw); a log's empty fields filled (--adif); QSL labels of a
// log's contacts as a PDF file (--qsl-labels); the callbook service for logging programs
// (--serve). Output: text, CSV or JSON, UTF-8. Exit status: 0 all found, 1 something not found,
// 2 error.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "adif/UAdifFill.h"
#include "adif/UAdifQsl.h"
#include "callbook/UCallbook.h"
#include "callbook/UCallbookSearch.h"
#include "callbook/UCallbookWriters.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/USafeFile.h"
#include "common/UStatus.h"
#include "common/UTextLines.h"
#include "dataset/UCoverage.h"
#include "dataset/UDataSet.h"
#include "dataset/ULocator.h"
#include "dataset/ULookup.h"
#include "morse/UMorseWave.h"
#include "service/UServiceMain.h"
#include "settings/USettings.h"
#include "storage/UIndexEngine.h"
#include "textsearch/UTextSearch.h"
#include "textsearch/UWordFold.h"
#include "wsjtx/UWsjtxListener.h"
#ifdef TELLMARK_LABEL_PDF
#include <QGuiApplication>

#include "labels/ULabelPaint.h"
#endif

namespace {

enum class TFormat { Text, Csv, Json };

struct TOptions {
  std::string dataDir;
  TFormat format = TFormat::Text;
  int orderIndex = -1;  // oiUSName / oiUSCity / oiUSZIP / oiUSCounty for an order listing
  std::string orderText;
  int count = 1;
  std::string countText;  // --count as given
  bool countGiven = false;
  bool words = false;   // the arguments are words of a text search
  bool stats = false;   // coverage figures of the data set
  std::string wordsDb;  // "us", "intl" or empty (both)
  std::vector<std::string> calls;
  std::string cwFile;                             // --cw: the WAV file to write
  int cwSpeed = -1, cwPitch = -1, cwVolume = -1;  // -1 = from the settings
  TAdifFileJob adif;                              // --adif: the log to fill
  std::string serve;                              // --serve: [ADDRESS:]PORT
  bool wsjtx = false;                             // --wsjtx: listen to WSJT-X
  wsjtx::TWsjtxRun wsjtxRun;                      // where, --log, --locator
  struct {
    std::string log;  // --qsl-labels: the log to print QSL labels of
    std::string templ = "Avery 5160", out, from, to, closing = kDefaultQslClosing;
    bool all = false, bureau = false, markSent = false;
  } qsl;
};

// "20240105" from "2024-01-05" or "20240105"; empty when neither.
std::string CompactDateArg(const std::string& text) {
  std::string d;
  for (char c : text)
    if (c != '-') d += c;
  const bool digits = d.size() == 8 && d.find_first_not_of("0123456789") == std::string::npos;
  return digits ? d : std::string();
}

constexpr const char* kFooter =
    "With no CALL, calls are read from standard input, one per line.\n"
    "A call with designators (K5DRC/P, VE3/K5DRC, W1AW/MM) finds the base call's entry.\n"
    "--words lists the entries that contain every WORD (at most 14; case and accents do not\n"
    "matter), from the U.S. database and then the International one, or only the one --db names,\n"
    "in call order. In the U.S. database a word may name its field: state=, zip=, lastname=,\n"
    "firstname=, county=, city=, prevcall= (city=boston).\n"
    "Every row says how it matched: exact, base-call, next-greater (the entry after the text in\n"
    "the order), words; in CSV and JSON a call that finds nothing has its row with match none.\n"
    "A text that cannot be a call (anything but letters, digits and /, or longer than a call can\n"
    "be) is an error: its row says match invalid.\n"
    "--adif fills a log's empty fields (man tellmark-lookup); every other byte stays as it was.\n"
    "--qsl-labels prints QSL labels of a log's contacts to a PDF file (--out), one label per\n"
    "station on the sheets of --template (a predefined one: \"Avery 5160\", \"zf3490\" ..., or a\n"
    "template file); --mark-sent then writes QSL_SENT Y and QSL_SDATE into the log.\n"
    "Exit status: 0 all found, 1 something not found, 2 error.\n"
    "Documentation: man tellmark-lookup, and " TELLMARK_DOC_DIR " (cli.md, service.md, adif.md).";

constexpr long kMaxCount = 100000000;
constexpr const char* kCountTooLarge = "--count: at most 100000000";

std::string OwnDirectory() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string p(buf, static_cast<size_t>(n));
  const auto slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

std::string ResolveDataDir(const std::string& option) {
  if (!option.empty()) return option;
  TSettingsFile settings(SettingsFilePath());
  settings.Load();
  const std::string last = ReadLastHomeDir(settings);
  if (!RemoveBlanks(last).empty()) return last;
  return ProgramHomeDir(OwnDirectory());
}

// Opens the data set; a file that is missing or unreadable is named with the reason, a damaged
// one gets the program's "Open files: " message.
void OpenData() {
  std::string dir = HomeDir();
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::vector<std::string> files = {kDataFileName, kSequenceFileName};
  files.insert(files.end(), std::begin(kIndexFileNames), std::end(kIndexFileNames));
  for (const std::string& f : files) {
    if (::access(DataSetPath(f).c_str(), R_OK) != 0)
      throw EDataSetError("no data set in " + dir + ": " + ShownDataSetName(f) + ": " +
                          std::strerror(errno));
  }
  try {
    OpenDataSet();
  } catch (const EDataSetError& e) {
    const std::string text = RunErrorText(LastErrorCode());
    throw EDataSetError(std::string("Open files: ") + e.what() +
                        (text.empty() ? "" : " (" + text + ")") + " in " + dir);
  }
}

// Text rows are written as they come; CSV and JSON at the end. A row without an entry (match
// none) keeps CSV and JSON output in step with the input; text output leaves it to the message.
class TWriter {
 public:
  explicit TWriter(TFormat f) : format_(f) {}
  void Add(TCallbookRecord r) {
    if (format_ == TFormat::Text) {
      if (r.match == TCallbookMatch::None || r.match == TCallbookMatch::Invalid) return;
      if (written_++) std::cout << "\n";
      std::cout << CallbookText(r);
      std::cout.flush();
      return;
    }
    records_.push_back(std::move(r));
  }
  void Finish() {
    if (format_ == TFormat::Csv) {
      std::cout << CallbookCsvHeading();
      for (const auto& r : records_) std::cout << CallbookCsvRow(r);
    } else if (format_ == TFormat::Json) {
      std::cout << CallbookJsonArray(records_);
    }
    std::cout.flush();
  }

 private:
  TFormat format_;
  std::vector<TCallbookRecord> records_;
  int written_ = 0;
};

// Parses the command line into o. Returns -1 to go on, else the exit status: 0 after --help or
// --version, 2 for a bad command line (the message is written).
int ParseArgs(int argc, char** argv, TOptions& o) {
  CLI::App app{
      "Looks up calls, a U.S. order from a name, city, ZIP or county, or the entries "
      "that hold a set of words, in a Tellmark data set.",
      "tellmark-lookup"};
  app.set_version_flag("--version", std::string("tellmark-lookup ") + TELLMARK_VERSION);
  app.add_option("--data", o.dataDir,
                 "Data directory (default: the last one of the desktop program, else this "
                 "program's own directory, else ../share/tellmark from it)");
  bool json = false, csv = false;
  app.add_flag("--json", json, "Output as a JSON array of objects");
  app.add_flag("--csv", csv, "Output as CSV with a heading line");
  int orders = 0;
  const auto order = [&](const char* name, int index, const char* text) {
    app.add_option_function<std::string>(
        name,
        [&o, &orders, index](const std::string& s) {
          ++orders;
          o.orderIndex = index;
          o.orderText = s;
        },
        text);
  };
  order("--name", oiUSName, "List the U.S. entries by surname from TEXT");
  order("--city", oiUSCity, "List the U.S. entries by city from TEXT");
  order("--zip", oiUSZIP, "List the U.S. entries by ZIP code from TEXT");
  order("--county", oiUSCounty, "List the U.S. entries by county from TEXT");
  auto* count = app.add_option("--count", o.countText,
                               "Entries listed (orders: default 1; --words: default all)");
  app.add_flag("--words", o.words, "The arguments are words of a text search");
  app.add_option("--db", o.wordsDb, "Database of the word search, us or intl (default both)")
      ->check(CLI::IsMember({"us", "intl"}));
  app.add_option("--cw", o.cwFile,
                 "Write the call's entry as Morse code to this WAV file (8000 Hz, 8 bit, mono) "
                 "and print its text");
  auto* cwSpeed =
      app.add_option("--cw-speed", o.cwSpeed, "Morse speed step (default: the settings)")
          ->check(CLI::Range(0, kMorseSpeedSteps - 1));
  // Below half the sample rate, or the tone folds back into a lower one.
  auto* cwPitch = app.add_option("--cw-pitch", o.cwPitch,
                                 "Tone pitch in Hz, 0 = silent (default: the settings)")
                      ->check(CLI::Range(0, 3990));
  auto* cwVolume = app.add_option("--cw-volume", o.cwVolume, "Volume (default: the settings)")
                       ->check(CLI::Range(0, 127));
  app.add_flag("--stats", o.stats,
               "Entries per licence class and state, and the share with county, coordinates and "
               "locator");
  app.add_option("--adif", o.adif.in,
                 "Fill the empty fields of this ADIF log (.adi) from the directory; the log goes "
                 "to standard output, the summary to standard error");
  app.add_option("--adif-out", o.adif.out, "Write the filled log to this file instead");
  app.add_flag("--in-place", o.adif.inPlace,
               "Replace the --adif log by the filled one (a symbolic link stays and its file is "
               "filled; a log with hard links is refused)");
  app.add_flag("--force", o.adif.force, "Replace a write-protected log all the same");
  app.add_option("--qsl-labels", o.qsl.log,
                 "Print QSL labels of this ADIF log's contacts (those with QSL_SENT not Y) to the "
                 "PDF file --out");
  app.add_option("--template", o.qsl.templ,
                 "Label template of --qsl-labels: a predefined one (\"Avery 5160\", zf3490 ...) "
                 "or a template file (default Avery 5160)");
  app.add_option("--out", o.qsl.out, "The PDF file --qsl-labels writes");
  app.add_flag("--qsl-all", o.qsl.all, "Label every contact, also those with QSL_SENT Y");
  app.add_option("--qsl-from", o.qsl.from,
                 "Label only contacts on or after this date (YYYY-MM-DD)");
  app.add_option("--qsl-to", o.qsl.to, "Label only contacts on or before this date (YYYY-MM-DD)");
  app.add_flag("--bureau", o.qsl.bureau,
               "Bureau labels: no address, sorted by the entity's prefix (default: direct labels "
               "with the directory's address)");
  app.add_option("--closing", o.qsl.closing,
                 "The last line of each QSL label (default PSE QSL TNX)");
  app.add_flag("--mark-sent", o.qsl.markSent,
               "After the labels are written: QSL_SENT Y and QSL_SDATE today in the log's "
               "labelled contacts (--force for a write-protected log)");
  auto* allowSample = app.add_flag(
      "--allow-sample", o.adif.allowSample,
      "Fill the --adif log from invented entries of a sample edition too (refused without it)");
  std::string adifCharset;
  auto* charsetOption = app.add_option(
      "--adif-charset", adifCharset,
      "Characters of the NAME, QTH and ADDRESS fields --adif writes: ascii (accents folded) or "
      "utf8 (default: utf8 when the log already holds UTF-8, else ascii)");
  app.add_option("--serve", o.serve,
                 "Serve look-ups over HTTP on [ADDRESS:]PORT (default address 127.0.0.1) until "
                 "SIGINT or SIGTERM; SIGHUP reopens the data set. See tellmark-lookup(1)");
  std::vector<std::string> wsjtxWhere;
  auto* wsjtxOption =
      app.add_option("--wsjtx", wsjtxWhere,
                     "Annotate every decode WSJT-X sends to [ADDRESS:]PORT (default "
                     "127.0.0.1:2237; a multicast group is joined) as one JSON line, until SIGINT "
                     "or SIGTERM. See tellmark-lookup(1)")
          ->expected(0, 1);
  auto* logOption = app.add_option("--log", o.wsjtxRun.logPath,
                                   "With --wsjtx: the ADIF log that gives the worked-before and "
                                   "new entity, state, county, grid and zone flags");
  auto* locatorOption =
      app.add_option("--locator", o.wsjtxRun.myLocator,
                     "With --wsjtx: your locator for distance and heading (default: the "
                     "settings' own locator)");
  app.add_option("CALL", o.calls, "Calls to look up, or the words of --words");
  app.footer(kFooter);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }
  const auto bad = [](const char* what) {
    std::cerr << "tellmark-lookup: " << what << "\nRun with --help for more information.\n";
    return 2;
  };
  if (json && csv) return bad("give --json or --csv, not both");
  o.wsjtx = wsjtxOption->count() > 0;
  if ((logOption->count() || locatorOption->count()) && !o.wsjtx)
    return bad("--log and --locator go with --wsjtx");
  if (o.wsjtx) {
    if (json || csv || orders || o.words || o.stats || !o.calls.empty() || !o.cwFile.empty() ||
        count->count() || !o.wordsDb.empty() || !o.adif.in.empty() || !o.serve.empty() ||
        !o.qsl.log.empty())
      return bad("--wsjtx goes alone (with --data, --log and --locator)");
    std::string error;
    if (!wsjtxWhere.empty() && !wsjtxWhere.front().empty() &&
        !wsjtx::ParseListenAddress(wsjtxWhere.front(), o.wsjtxRun.where, &error))
      return bad(("--wsjtx: " + error).c_str());
    if (locatorOption->count() && !o.wsjtxRun.myLocator.empty() &&
        !IsValidLocator(o.wsjtxRun.myLocator))
      return bad("--locator: not a Maidenhead locator");
  }
  if (charsetOption->count() && !ParseAdifCharset(adifCharset, o.adif.charset))
    return bad("--adif-charset takes ascii or utf8");
  if (charsetOption->count() && o.adif.in.empty()) return bad("--adif-charset goes with --adif");
  if (o.adif.in.empty() ? !o.adif.out.empty() || o.adif.inPlace
                        : orders || o.words || o.stats || json || csv || !o.calls.empty() ||
                              !o.cwFile.empty() || (o.adif.inPlace && !o.adif.out.empty()))
    return bad("--adif goes alone, with --adif-out or --in-place");
  const bool qslOptions = !o.qsl.out.empty() || o.qsl.all || o.qsl.bureau || o.qsl.markSent ||
                          !o.qsl.from.empty() || !o.qsl.to.empty() || app.count("--template") ||
                          app.count("--closing");
  if (o.qsl.log.empty() && qslOptions)
    return bad(
        "--template, --out, --qsl-all, --qsl-from, --qsl-to, --bureau, --closing and "
        "--mark-sent go with --qsl-labels");
  if (!o.qsl.log.empty()) {
    if (!o.adif.in.empty() || orders || o.words || o.stats || json || csv || !o.calls.empty() ||
        !o.cwFile.empty() || !o.serve.empty())
      return bad("--qsl-labels goes alone, with its own options");
    if (o.qsl.out.empty()) return bad("--qsl-labels needs --out FILE.pdf");
    for (std::string* d : {&o.qsl.from, &o.qsl.to}) {
      if (d->empty()) continue;
      *d = CompactDateArg(*d);
      if (d->empty()) return bad("--qsl-from and --qsl-to take dates as YYYY-MM-DD");
    }
  } else if (o.adif.force && !o.adif.inPlace && o.adif.out.empty()) {
    return bad("--force goes with --in-place, --adif-out or --mark-sent");
  }
  if (!o.serve.empty() &&
      (json || csv || orders || o.words || o.stats || !o.calls.empty() || !o.cwFile.empty() ||
       count->count() || !o.wordsDb.empty() || !o.adif.in.empty()))
    return bad("--serve goes alone (with --data)");
  if (allowSample->count() && o.adif.in.empty()) return bad("--allow-sample goes with --adif");
  if (o.cwFile.empty() && (cwSpeed->count() || cwPitch->count() || cwVolume->count()))
    return bad("--cw-speed, --cw-pitch and --cw-volume go with --cw");
  if (o.stats && (orders || o.words || !o.calls.empty() || !o.cwFile.empty()))
    return bad("--stats goes alone");
  if (!o.cwFile.empty() && (orders || o.words || o.calls.size() != 1))
    return bad("--cw takes one call");
  if (orders > 1) return bad("give one of --name, --city, --zip, --county");
  if (orders && o.words) return bad("give words or an order search, not both");
  if (orders && !o.calls.empty()) return bad("give calls or an order search, not both");
  if (!o.wordsDb.empty() && !o.words) return bad("--db goes with --words");
  o.format = json ? TFormat::Json : csv ? TFormat::Csv : TFormat::Text;
  o.countGiven = count->count() > 0;
  if (o.countGiven) {
    const std::string& t = o.countText;
    if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos) {
      if (t.size() > 1 && t[0] == '-' && t.find_first_not_of("0123456789", 1) == std::string::npos)
        return bad("--count: at least 1");
      return bad("--count: a whole number");
    }
    const size_t digits = t.size() - std::min(t.find_first_not_of('0'), t.size());
    if (digits == 0) return bad("--count: at least 1");
    if (digits > 9 || std::stol(t) > kMaxCount) return bad(kCountTooLarge);
    o.count = static_cast<int>(std::stol(t));
  }
  if (o.words) {
    // Words may also come several to an argument.
    std::vector<std::string> split;
    for (const std::string& arg : o.calls)
      for (std::string& w : SplitWords(arg)) split.push_back(std::move(w));
    o.calls = std::move(split);
    if (o.calls.empty() || o.calls.size() > static_cast<size_t>(kMaxSearchWords))
      return bad(("--words needs 1 to " + std::to_string(kMaxSearchWords) + " words").c_str());
  }
  return -1;
}

// One call look-up: a row with how it matched; the exit status of the row (0 found exactly, 1
// not, 2 not a call). A call with designators is looked up by its base call; a text that
// cannot be a call is not looked up at all, so that no entry stands in for it.
int LookUpCall(const std::string& text, TWriter& out, const TCallbook& callbook) {
  if (const std::string problem = CallTextProblem(text); !problem.empty()) {
    std::cerr << "tellmark-lookup: " << problem << "\n";
    TCallbookRecord r;
    r.call = TrimBlanks(text);
    r.match = TCallbookMatch::Invalid;
    out.Add(std::move(r));
    return 2;
  }
  TCallbookAnswer a = ValueOrThrow(callbook.Lookup(text));
  if (!a.message.empty()) std::cerr << "tellmark-lookup: " << a.message << "\n";
  const bool exact = a.Exact();
  out.Add(std::move(a.record));
  return exact ? 0 : 1;
}

// count entries of an order from the first entry whose key is equal or greater; nothing when
// the text is past the last key.
bool ListOrder(const TOptions& o, TWriter& out, const TCallbook& callbook) {
  const TOrderListing l = ValueOrThrow(ListOrderEntries(o.orderIndex, o.orderText, o.count));
  if (!l.searched) {
    const int index = o.orderIndex;
    std::cerr << "tellmark-lookup: empty "
              << (index == oiUSName   ? "name"
                  : index == oiUSCity ? "city"
                  : index == oiUSZIP  ? "zip"
                                      : "county")
              << "\n";
    return false;
  }
  if (!l.message.empty()) std::cerr << "tellmark-lookup: " << Cp437ToUtf8(l.message) << "\n";
  for (const TFoundEntry& e : l.entries) out.Add(callbook.Record(e.rec, e.match));
  return l.exact;
}

// The entries of one database that contain every word (the text search of the desktop program,
// without its word-list browsing). False when no entry has them all.
bool SearchWords(TDatabase db, const TOptions& o, TWriter& out, const TCallbook& callbook) {
  const std::vector<TFoundEntry> found =
      ValueOrThrow(SearchWordEntries(db, o.calls, o.countGiven ? o.count : -1));
  for (const TFoundEntry& e : found) out.Add(callbook.Record(e.rec, e.match));
  return !found.empty();
}

// --cw: the Morse text of the call's entry (the next greater one when the call is missing) as
// one WAV file, the text printed. 0 written for the call, 1 for the next greater entry.
int WriteMorseWave(const TOptions& o, const TCallbook& callbook) {
  TSettingsFile settingsFile(SettingsFilePath());
  settingsFile.Load();
  bool notice = false;
  TMorseOptions options = LoadProgramSettings(settingsFile, notice).morseOptions;
  if (o.cwSpeed >= 0) options.speed = static_cast<uint8_t>(o.cwSpeed);
  if (o.cwPitch >= 0) options.pitch = static_cast<uint16_t>(o.cwPitch);
  if (o.cwVolume >= 0) options.volume = static_cast<uint8_t>(o.cwVolume);

  if (const std::string problem = CallTextProblem(o.calls.front()); !problem.empty())
    throw std::runtime_error(problem);
  const TCallbookEntry e = ValueOrThrow(callbook.FindEntry(o.calls.front()));
  if (e.key.empty()) throw std::runtime_error("empty call");
  if (!e.notice.empty()) std::cerr << "tellmark-lookup: " << e.notice << "\n";
  if (e.match == TCallbookMatch::None) throw std::runtime_error(NotFoundText("Call", e.key));
  const std::string text = Cut(MorseEntryText(e.rec), kMaxMorseText);
  const std::vector<uint8_t> wave = MorseTextWave(text, options);
  if (!WriteFileAtomically(o.cwFile, std::string(wave.begin(), wave.end())))
    throw std::runtime_error(
        StatusFromLastError(o.cwFile, LastErrorCode(), TFileAccess::Write).Message());
  std::cout << Cp437ToUtf8(text) << "\n";
  return e.match == TCallbookMatch::NextGreater ? 1 : 0;
}

// --qsl-labels: the labels as a PDF file; the log marked when asked. 0 done, 1 when a call is not
// in the directory or no contact is left to label, 2 when a file cannot be read or written.
int PrintQslLabels(const TOptions& o, const TCallbook& callbook, char* program) {
#ifdef TELLMARK_LABEL_PDF
  std::string text;
  if (const TSafeFileResult read = ReadRegularFile(o.qsl.log, text); !read)
    throw std::runtime_error(read.message);
  const TAdifLog log = TAdifLog::Parse(std::move(text));
  const std::string path = FindLabelTemplate(o.qsl.templ, HomeDir());
  if (path.empty())
    throw std::runtime_error("no label template " + o.qsl.templ +
                             " (a template file, or Avery 5160, 5261, 5262, Zweckform 3490, 4780, "
                             "6023 of the data set's labels folder)");
  std::string description;
  const TLabelLayout layout = LoadTemplateFile(path, description);
  if (const std::string problem = LayoutProblem(layout); !problem.empty())
    throw std::runtime_error(path + ": " + problem);
  TQslOptions options;
  options.pick = o.qsl.all ? TQslPick::All : TQslPick::Unsent;
  options.from = o.qsl.from;
  options.to = o.qsl.to;
  options.kind = o.qsl.bureau ? TQslKind::Bureau : TQslKind::Direct;
  options.closing = o.qsl.closing;
  TCallbookLookupSource source(callbook);
  const TQslJob job = MakeQslLabels(log, source, options, layout);
  const auto summary = [&](const std::string& t) {
    for (size_t at = 0; at < t.size();) {
      const size_t nl = t.find('\n', at);
      std::cerr << "tellmark-lookup: " << t.substr(at, nl - at) << "\n";
      at = nl + 1;
    }
  };
  summary(QslSummaryText(log, job));
  if (job.labels.empty()) {
    std::cerr << "tellmark-lookup: no contacts to label; " << o.qsl.out << " not written\n";
    return 1;
  }
  std::vector<std::vector<std::string>> lines;
  for (const TQslLabel& l : job.labels) lines.push_back(QslLabelLines(l, options.closing));
  // Painting needs no display.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's notes about the session (no runtime folder ...) are no news to a script.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
      std::cerr << "tellmark-lookup: " << text.toStdString() << "\n";
  });
  int qtArgc = 1;
  char* qtArgv[] = {program, nullptr};
  QGuiApplication app(qtArgc, qtArgv);
  const QByteArray pdf = LabelSheetsPdf(layout, lines, QslLabelFont(layout),
                                        QString::fromStdString("QSL labels of " + o.qsl.log));
  if (pdf.isEmpty()) throw std::runtime_error("the labels could not be drawn");
  if (const TSafeFileResult w =
          WriteFileSafely(o.qsl.out, std::string(pdf.constData(), static_cast<size_t>(pdf.size())),
                          TSafeWriteOptions{o.adif.force});
      !w)
    throw std::runtime_error(AdifWriteFailureText(w));
  const int sheets =
      static_cast<int>((job.labels.size() + static_cast<size_t>(LabelsPerPage(layout)) - 1) /
                       static_cast<size_t>(LabelsPerPage(layout)));
  std::cerr << "tellmark-lookup: " << job.labels.size() << " labels on " << sheets
            << (sheets == 1 ? " sheet" : " sheets") << " of " << description << " written to "
            << o.qsl.out << "\n";
  if (o.qsl.markSent) {
    const std::string marked = MarkQslSent(log, job.records, AdifDateUtc(std::time(nullptr)));
    if (const TSafeFileResult w =
            WriteFileSafely(o.qsl.log, marked, TSafeWriteOptions{o.adif.force});
        !w)
      throw std::runtime_error(AdifWriteFailureText(w));
    std::cerr << "tellmark-lookup: QSL_SENT Y and QSL_SDATE written to " << job.records.size()
              << " contacts of " << o.qsl.log << "\n";
  }
  return job.summary.unknownCalls.empty() ? 0 : 1;
#else
  (void)o, (void)callbook, (void)program;
  throw std::runtime_error("--qsl-labels needs a build with Qt");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  if (const int status = ParseArgs(argc, argv, o); status >= 0) return status;
  if (!AllocIndexCaches()) {
    std::cerr << "tellmark-lookup: " << ErrorCodeText(LastErrorCode()) << "\n";
    return 2;
  }
  SetHomeDir(ResolveDataDir(o.dataDir));
  if (!o.serve.empty()) {
    const TStatus served = ServeLookups(o.serve);
    FreeIndexCaches();
    if (served.ok()) return 0;
    std::cerr << "tellmark-lookup: " << served.Message() << "\n";
    return 2;
  }
  int status = 0;
  try {
    OpenData();
    if (const int age = DataAgeDays(CurrentEdition(), std::time(nullptr)); age > kDataOldDays)
      std::cerr << "tellmark-lookup: warning: the data of this edition is " << age << " days old ("
                << DataDate(CurrentEdition())
                << "); tellmark-build --update brings it up to date\n";
    TCallbook callbook;
    callbook.Open();
    if (!callbook.Warning().empty()) std::cerr << "tellmark-lookup: " << callbook.Warning() << "\n";
    TWriter out(o.format);
    if (o.stats) {
      // The title and what the edition was made of, when it says (older editions: their date).
      const TEdition& ed = CurrentEdition();
      if (ed.sourcesKnown && !ed.sources.empty()) std::cout << Cp437ToUtf8(ed.title) << "\n";
      if (const std::string d = EditionSourcesText(ed); !d.empty()) std::cout << d << "\n";
      if (const std::string c = CountryFileLine(callbook.Entities()); !c.empty())
        std::cout << c << "\n";
      const TResult<TCoverage> coverage = CountCoverage();
      if (coverage.ok()) {
        std::cout << coverage->Text();
      } else {
        std::cerr << "tellmark-lookup: " << coverage.Status().Message() << "\n";
        status = 2;
      }
    } else if (!o.cwFile.empty()) {
      status = WriteMorseWave(o, callbook);
    } else if (o.wsjtx) {
      if (o.wsjtxRun.myLocator.empty()) {
        TSettingsFile settingsFile(SettingsFilePath());
        settingsFile.Load();
        bool notice = false;
        o.wsjtxRun.myLocator = LoadProgramSettings(settingsFile, notice).myLocator;
        if (!IsValidLocator(o.wsjtxRun.myLocator)) o.wsjtxRun.myLocator.clear();
      }
      if (const TStatus listened =
              wsjtx::RunWsjtxListener(o.wsjtxRun, callbook, std::cout, std::cerr);
          !listened.ok()) {
        std::cerr << "tellmark-lookup: " << listened.Message() << "\n";
        status = 2;
      }
    } else if (!o.qsl.log.empty()) {
      status = PrintQslLabels(o, callbook, argv[0]);
    } else if (!o.adif.in.empty()) {
      TCallbookLookupSource source(callbook);
      const TResult<TAdifFillSummary> filled = FillAdifFile(o.adif, source, std::cout, std::cerr);
      if (filled.ok()) {
        const TAdifFillOutcome how = AdifFillOutcome(*filled);
        status = how == TAdifFillOutcome::Unreadable ? 2
                 : how == TAdifFillOutcome::NotFound ? 1
                                                     : 0;
      } else {
        std::cerr << "tellmark-lookup: " << filled.Status().Message() << "\n";
        status = 2;
      }
    } else if (o.words) {
      bool any = false;
      if (o.wordsDb != "intl" && SearchWords(TDatabase::US, o, out, callbook)) any = true;
      if (o.wordsDb != "us" && SearchWords(TDatabase::Intl, o, out, callbook)) any = true;
      if (!any) {
        std::cerr << "tellmark-lookup: " << kEntriesFoundText << "0\n";
        status = 1;
      }
    } else if (o.orderIndex >= 0) {
      if (!ListOrder(o, out, callbook)) status = 1;
    } else if (!o.calls.empty()) {
      for (const auto& c : o.calls) status = std::max(status, LookUpCall(c, out, callbook));
    } else {
      std::string line;
      while (ReadLine(std::cin, line)) {
        if (TrimBlanks(line).empty()) continue;
        status = std::max(status, LookUpCall(line, out, callbook));
      }
    }
    out.Finish();
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "tellmark-lookup: " << e.what() << "\n";
    status = 2;
  }
  CloseDataSet();
  FreeIndexCaches();
  return status;
}

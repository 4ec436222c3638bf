// tellmark-lookup: look-ups on the directory from the command line, for scripts and logging
// programs. Calls (from the arguments, else one per line from stdin), one of the U.S. orders
// from a name, city, ZIP or county, or the entries that contain a set of words (the text search).
// Output: text, CSV or JSON, UTF-8.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/UServiceMain.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UCallParts.h"
#include "dataset/UCoverage.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "morse/UMorseWave.h"
#include "report/UQslManagers.h"
#include "settings/USettings.h"
#include "storage/UIndexEngine.h"
#include "textsearch/UTextSearch.h"
#include "textsearch/UWordFold.h"

namespace {

enum class TFormat { Text, Csv, Json };

struct TOptions {
  std::string dataDir;
  TFormat format = TFormat::Text;
  int orderIndex = -1;  // oiUSName / oiUSCity / oiUSZIP / oiUSCounty for an order listing
  std::string orderText;
  int count = 1;
  bool countGiven = false;
  bool words = false;   // the arguments are words of a text search
  bool stats = false;   // coverage figures of the data set
  std::string wordsDb;  // "us", "intl" or empty (both)
  std::vector<std::string> calls;
  std::string cwFile;                             // --cw: the WAV file to write
  int cwSpeed = -1, cwPitch = -1, cwVolume = -1;  // -1 = from the settings
  std::string serve;                              // --serve: [ADDRESS:]PORT
};

constexpr const char* kFooter =
    "With no CALL, calls are read from standard input, one per line.\n"
    "A call with designators (K5DRC/P, VE3/K5DRC, W1AW/MM) finds the base call's entry.\n"
    "--words lists the entries that contain every WORD (at most 14; case and accents do not\n"
    "matter), from the U.S. database and then the International one, or only the one --db names,\n"
    "in call order. In the U.S. database a word may name its field: state=, zip=, lastname=,\n"
    "firstname=, county=, city=, prevcall= (city=boston).\n"
    "Every row says how it matched: exact, base-call, next-greater (the entry after the text in\n"
    "the order), words; in CSV and JSON a call that finds nothing has its row with match none.\n"
    "Exit status: 0 all found, 1 something not found, 2 error.";

// One output row: (column, UTF-8 value).
using TRow = std::vector<std::pair<std::string, std::string>>;

// Every column, in the order of the CSV heading.
constexpr const char* kColumns[] = {
    "call",           "match",   "database",  "designators", "class",     "address",
    "state",          "zip",     "county",    "issued",      "expires",   "previous_call",
    "previous_class", "vanity",  "longitude", "latitude",    "time_zone", "area_code",
    "locator",        "country", "dxcc",      "qsl_manager", "comments",  "fax",
    "email"};

// Data-set file names as this system writes them, with "/".
std::string ShownName(std::string_view relName) {
  std::string s(relName);
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

[[noreturn]] void ReadFailure(std::string_view relName, int code) {
  const std::string text = RunErrorText(code);
  throw EDataSetError("cannot read " + ShownName(relName) + ": " +
                      (text.empty() ? ErrorCodeText(code) : text));
}

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
      throw EDataSetError("no data set in " + dir + ": " + ShownName(f) + ": " +
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

std::string QslManagerText(TQslManagerFile& qsl, int32_t nr) {
  if (nr <= 0 || !qsl.IsOpen() || nr >= qsl.RecordCount()) return {};
  try {
    const TQslRecord& r = qsl.Record(nr);
    return Cp437ToUtf8(r.manager);
  } catch (const EQslFileError&) {
    return {};
  }
}

TRow EntryRow(const TEntryRecord& rec, const std::string& match, TQslManagerFile& qsl,
              const std::string& designators = {}) {
  const TEntryView v = MakeEntryView(rec);
  const bool us = rec.db == TDatabase::US;
  const auto u = [](const std::string& s) { return Cp437ToUtf8(s); };
  TRow row = {{"call", u(v.currentCall)},
              {"match", match},
              {"database", us ? "US" : "International"},
              {"designators", designators},
              {"class", u(v.classText)},
              {"address", u(v.qth)}};
  if (us) {
    row.insert(row.end(), {{"state", u(v.state)},
                           {"zip", u(v.zip)},
                           {"county", u(v.county)},
                           {"issued", u(v.issued)},
                           {"expires", u(v.expires)},
                           {"previous_call", u(v.prevCall)},
                           {"previous_class", u(v.prevClass)},
                           {"vanity", v.vanity},
                           {"longitude", u(v.longitude)},
                           {"latitude", u(v.latitude)},
                           {"time_zone", u(v.timeZone)},
                           {"area_code", u(v.areaCode)}});
  }
  row.insert(row.end(), {{"locator", u(v.locator)},
                         {"country", u(v.country)},
                         {"dxcc", u(v.dxcc)},
                         {"qsl_manager", QslManagerText(qsl, v.qslManagerRef)},
                         {"comments", u(v.comments)},
                         {"fax", u(v.fax)},
                         {"email", u(v.eMail)}});
  return row;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string q = "\"";
  for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

std::string JsonString(const std::string& s) {
  std::string q = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        q += "\\\"";
        break;
      case '\\':
        q += "\\\\";
        break;
      case '\n':
        q += "\\n";
        break;
      case '\r':
        q += "\\r";
        break;
      case '\t':
        q += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          q += buf;
        } else {
          q += static_cast<char>(c);
        }
    }
  }
  return q + "\"";
}

// Text rows are written as they come; CSV and JSON at the end. A row without an entry (match
// "none") keeps CSV and JSON output in step with the input; text output leaves it to the message.
class TWriter {
 public:
  explicit TWriter(TFormat f) : format_(f) {}
  void AddNone(const std::string& call) {
    if (format_ != TFormat::Text) rows_.push_back({{"call", call}, {"match", "none"}});
  }
  void Add(TRow row) {
    if (format_ == TFormat::Text) {
      if (written_++) std::cout << "\n";
      size_t width = 0;
      for (const auto& [k, v] : row) width = std::max(width, k.size());
      for (const auto& [k, v] : row)
        if (!v.empty())
          std::cout << k << std::string(width - k.size() + 1, ' ') << ": " << v << "\n";
      std::cout.flush();
      return;
    }
    rows_.push_back(std::move(row));
  }
  void Finish() {
    if (format_ == TFormat::Csv) {
      for (size_t i = 0; i < std::size(kColumns); ++i) std::cout << (i ? "," : "") << kColumns[i];
      std::cout << "\r\n";
      for (const auto& r : rows_) {
        for (size_t i = 0; i < std::size(kColumns); ++i) {
          std::string value;
          for (const auto& [k, v] : r)
            if (k == kColumns[i]) value = v;
          std::cout << (i ? "," : "") << CsvField(value);
        }
        std::cout << "\r\n";
      }
    } else if (format_ == TFormat::Json) {
      std::cout << "[";
      for (size_t i = 0; i < rows_.size(); ++i) {
        std::cout << (i ? ",\n " : "\n ") << "{";
        for (size_t j = 0; j < rows_[i].size(); ++j)
          std::cout << (j ? ", " : "") << JsonString(rows_[i][j].first) << ": "
                    << JsonString(rows_[i][j].second);
        std::cout << "}";
      }
      std::cout << (rows_.empty() ? "]\n" : "\n]\n");
    }
    std::cout.flush();
  }

 private:
  TFormat format_;
  std::vector<TRow> rows_;
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
  auto* count =
      app.add_option("--count", o.count, "Entries listed (orders: default 1; --words: default all)")
          ->check(CLI::PositiveNumber);
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
  app.add_option("--serve", o.serve,
                 "Serve look-ups over HTTP on [ADDRESS:]PORT (default address 127.0.0.1) until "
                 "SIGINT or SIGTERM; SIGHUP reopens the data set. See docs/service.md");
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
  if (!o.serve.empty() && (json || csv || orders || o.words || o.stats || !o.calls.empty() ||
                           !o.cwFile.empty() || count->count() || !o.wordsDb.empty()))
    return bad("--serve goes alone (with --data)");
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
  if (o.words) {
    // Words may also come several to an argument.
    std::vector<std::string> split;
    for (const std::string& arg : o.calls) {
      size_t at = 0;
      while (at < arg.size()) {
        const size_t end = std::min(arg.find(' ', at), arg.size());
        if (end > at) split.push_back(arg.substr(at, end - at));
        at = end + 1;
      }
    }
    o.calls = std::move(split);
    if (o.calls.empty() || o.calls.size() > static_cast<size_t>(kMaxSearchWords))
      return bad("--words needs 1 to 14 words");
  }
  return -1;
}

// One call look-up: a row with how it matched; false when not found exactly. A call with
// designators is looked up by its base call.
bool LookUpCall(const std::string& text, TWriter& out, TQslManagerFile& qsl) {
  const std::string typed = TrimBlanks(text);
  const TCallParts parts = SplitCallParts(AsciiUpper(typed));
  const std::string key = TLookup::CallBoxKey(Utf8ToCp437(parts.base));
  if (key.empty()) {
    std::cerr << "tellmark-lookup: empty call\n";
    out.AddNone(typed);
    return false;
  }
  TLookup lookup;
  const bool usFirst = key[0] == 'a' || key[0] == 'k' || key[0] == 'n' || key[0] == 'w';
  if (usFirst)
    lookup.SwitchToUS();
  else
    lookup.SwitchToIntl();
  const TCallLookup r = lookup.FindCall(key);
  if (!r.found) {
    std::cerr << "tellmark-lookup: "
              << Cp437ToUtf8(r.message.empty() ? NotFoundText("Call", key) : r.message) << "\n";
    out.AddNone(AsciiUpper(typed));
    return false;
  }
  if (!r.exact && !r.message.empty())
    std::cerr << "tellmark-lookup: " << Cp437ToUtf8(r.message) << "\n";
  TEntryRecord rec;
  if (!ReadRecord(lookup.Database(), lookup.CurrentRef(), rec))
    ReadFailure(kDataFileName, LastErrorCode());
  const char* match = !r.exact ? "next-greater" : parts.designators.empty() ? "exact" : "base-call";
  out.Add(EntryRow(rec, match, qsl, parts.designators));
  return r.exact;
}

// Position in order index of the U.S. entry ref.
int32_t OrderPosition(int index, int32_t ref) {
  TEntryRecord rec;
  if (!ReadUSRecord(ref, rec)) ReadFailure(kDataFileName, LastErrorCode());
  const int slot = index == oiUSName   ? upName
                   : index == oiUSCity ? upCity
                   : index == oiUSZIP  ? upZIP
                                       : upCounty;
  return rec.pos[static_cast<size_t>(slot)];
}

// Position after the last entry whose key in order index equals key (the order's end when the
// key's entries run to it).
int32_t EqualKeyEnd(int index, std::string key) {
  const size_t length = static_cast<size_t>(kIndexKeyLengths[index]);
  key = Cut(key, length);
  // The least key greater than every key equal to key.
  if (key.size() < length) {
    key += '\x01';
  } else {
    while (!key.empty() && static_cast<unsigned char>(key.back()) == 0xFF) key.pop_back();
    if (key.empty()) return OrderEntryCount(index);
    key.back() = static_cast<char>(static_cast<unsigned char>(key.back()) + 1);
  }
  bool exact = false;
  int32_t ref = -1;
  if (!SearchIndex(index, key, exact, ref)) ReadFailure(kIndexFileNames[index], LastErrorCode());
  return ref < 0 ? OrderEntryCount(index) : OrderPosition(index, ref);
}

// count entries of an order from the first entry whose key is equal or greater; nothing when
// the text is past the last key.
bool ListOrder(const TOptions& o, TWriter& out, TQslManagerFile& qsl) {
  const int index = o.orderIndex;
  const char* kind = index == oiUSName   ? "Name"
                     : index == oiUSCity ? "City"
                     : index == oiUSZIP  ? "ZIP"
                                         : "County";
  const std::string key = MakeSearchKey(index, Cut(Utf8ToCp437(o.orderText), 15));
  if (key.empty()) {
    std::cerr << "tellmark-lookup: empty " << AsciiLower(kind) << "\n";
    return false;
  }
  bool exact = false;
  int32_t ref = -1;
  if (!TLookup::SearchOrder(index, key, exact, ref))
    ReadFailure(kIndexFileNames[index], LastErrorCode());
  if (ref < 0) {
    std::cerr << "tellmark-lookup: " << Cp437ToUtf8(NotFoundText(kind, key)) << "\n";
    return false;
  }
  if (!exact)
    std::cerr << "tellmark-lookup: " << Cp437ToUtf8(NotFoundText(kind, key) + kNextGreaterText)
              << "\n";
  const int32_t first = OrderPosition(index, ref);
  const int32_t exactEnd = exact ? EqualKeyEnd(index, key) : first;
  const int32_t last =
      std::min<int64_t>(static_cast<int64_t>(first) + o.count, OrderEntryCount(index)) - 1;
  for (int32_t p = first; p <= last; ++p) {
    TEntryRecord rec;
    if (!ReadOrderEntry(index, p, ref)) ReadFailure(kSequenceFileName, LastErrorCode());
    if (!ReadUSRecord(ref, rec)) ReadFailure(kDataFileName, LastErrorCode());
    out.Add(EntryRow(rec, p < exactEnd ? "exact" : "next-greater", qsl));
  }
  return exact;
}

// The entries of one database that contain every word (the text search of the desktop program,
// without its word-list browsing). False when no entry has them all.
bool SearchWords(TDatabase db, const TOptions& o, TWriter& out, TQslManagerFile& qsl) {
  std::string message;
  std::unique_ptr<TWortListe> list = OpenWordList(db, message);
  if (!list) throw EDataSetError(message);
  const TSearchKind kind = db == TDatabase::US ? skUS : skIntl;
  const char* const refFile = db == TDatabase::US ? kUSWordRefName : kIntlWordRefName;
  TSuchInfo info;  // after list: its items read list's reference file
  std::vector<std::string> taken;
  for (const std::string& arg : o.calls) {
    // Folded as the word lists are written: "Coruña" is stored as "coruna".
    for (const std::string& word : QueryWords(Utf8ToCp437(arg), db == TDatabase::US)) {
      if (std::find(taken.begin(), taken.end(), word) != taken.end()) continue;
      taken.push_back(word);
      bool found = false;
      int32_t ref = 0;
      if (!list->Find(word, found, ref))
        ReadFailure(db == TDatabase::US ? kUSWordIndexName : kIntlWordIndexName, LastErrorCode());
      if (!found) return false;
      info.Insert(info.Count(),
                  std::make_unique<TSuchItem>(std::make_unique<TWortVerweisListe>(*list, ref),
                                              ToDisplayForm(word, kind)));
    }
  }
  if (info.Empty()) return false;
  const TTextSearchResult r = DoTextSearch(info, nullptr);
  if (r.outcome == TSearchOutcome::ReadError) ReadFailure(refFile, r.errorCode);
  if (r.outcome != TSearchOutcome::Found) return false;
  const int32_t n = o.countGiven ? std::min(o.count, r.Count()) : r.Count();
  for (int32_t i = 1; i <= n; ++i) {
    TEntryRecord rec;
    if (!ReadRecord(db, r.list->GetItem(i), rec)) ReadFailure(kDataFileName, LastErrorCode());
    out.Add(EntryRow(rec, "words", qsl));
  }
  return true;
}

// --cw: the Morse text of the call's entry (the next greater one when the call is missing) as
// one WAV file, the text printed. 0 written for the call, 1 for the next greater entry.
int WriteMorseWave(const TOptions& o) {
  TSettingsFile settingsFile(SettingsFilePath());
  settingsFile.Load();
  bool notice = false;
  TMorseOptions options = LoadProgramSettings(settingsFile, notice).morseOptions;
  if (o.cwSpeed >= 0) options.speed = static_cast<uint8_t>(o.cwSpeed);
  if (o.cwPitch >= 0) options.pitch = static_cast<uint16_t>(o.cwPitch);
  if (o.cwVolume >= 0) options.volume = static_cast<uint8_t>(o.cwVolume);

  const std::string key = TLookup::CallBoxKey(Utf8ToCp437(o.calls.front()));
  if (key.empty()) throw std::runtime_error("empty call");
  TLookup lookup;
  if (key[0] == 'a' || key[0] == 'k' || key[0] == 'n' || key[0] == 'w')
    lookup.SwitchToUS();
  else
    lookup.SwitchToIntl();
  const TCallLookup r = lookup.FindCall(key);
  if (!r.message.empty()) std::cerr << "tellmark-lookup: " << Cp437ToUtf8(r.message) << "\n";
  if (!r.found) throw std::runtime_error(NotFoundText("Call", key));
  TEntryRecord rec;
  if (!ReadRecord(lookup.Database(), lookup.CurrentRef(), rec))
    throw std::runtime_error("Error reading data\\thedata.dat: " + ErrorCodeText(LastErrorCode()));
  const std::string text = Cut(MorseEntryText(rec), kMaxMorseText);
  const std::vector<uint8_t> wave = MorseTextWave(text, options);
  if (!WriteFileAtomically(o.cwFile, std::string(wave.begin(), wave.end())))
    throw std::runtime_error("cannot write " + o.cwFile + ": " + RunErrorText(LastErrorCode()));
  std::cout << Cp437ToUtf8(text) << "\n";
  return r.exact ? 0 : 1;
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
    const int served = ServeLookups(o.serve);
    FreeIndexCaches();
    return served;
  }
  int status = 0;
  try {
    OpenData();
    TQslManagerFile qsl;
    try {
      qsl.Open(DataSetPath("data\\qslmgr.dat"));
    } catch (const EQslFileError&) {
      // Without the file the manager column stays empty.
    }
    TWriter out(o.format);
    if (o.stats) {
      std::cout << CountDataSetCoverage().Text();
    } else if (!o.cwFile.empty()) {
      status = WriteMorseWave(o);
    } else if (o.words) {
      bool any = false;
      if (o.wordsDb != "intl" && SearchWords(TDatabase::US, o, out, qsl)) any = true;
      if (o.wordsDb != "us" && SearchWords(TDatabase::Intl, o, out, qsl)) any = true;
      if (!any) {
        std::cerr << "tellmark-lookup: " << kEntriesFoundText << "0\n";
        status = 1;
      }
    } else if (o.orderIndex >= 0) {
      if (!ListOrder(o, out, qsl)) status = 1;
    } else if (!o.calls.empty()) {
      for (const auto& c : o.calls)
        if (!LookUpCall(c, out, qsl)) status = 1;
    } else {
      std::string line;
      while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (TrimBlanks(line).empty()) continue;
        if (!LookUpCall(line, out, qsl)) status = 1;
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

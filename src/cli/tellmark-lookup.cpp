// tellmark-lookup: look-ups on the directory from the command line, for scripts and logging
// programs. Calls (from the arguments, else one per line from stdin), one of the U.S. orders
// from a name, city, ZIP or county, or the entries that contain a set of words (the text search).
// Output: text, CSV or JSON, UTF-8.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UCoverage.h"
#include "dataset/UDataSet.h"
#include "dataset/ULookup.h"
#include "report/UQslManagers.h"
#include "settings/USettings.h"
#include "storage/UIndexEngine.h"
#include "textsearch/UTextSearch.h"

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
};

constexpr const char* kUsage =
    "usage: tellmark-lookup [--data DIR] [--json|--csv] CALL...\n"
    "       tellmark-lookup [--data DIR] [--json|--csv] (--name|--city|--zip|--county) TEXT"
    " [--count N]\n"
    "       tellmark-lookup [--data DIR] [--json|--csv] --words [--db us|intl] [--count N]"
    " WORD...\n"
    "       tellmark-lookup [--data DIR] --stats\n"
    "With no CALL, calls are read from standard input, one per line.\n"
    "--words lists the entries that contain every WORD (at most 14; case does not matter), from\n"
    "the U.S. database and then the International one, or only the one --db names, in call\n"
    "order; --count limits the entries listed per database. In the U.S. database a word may\n"
    "name its field: state=, zip=, lastname=, firstname=, county=, city=, prevcall= "
    "(city=boston).\n"
    "Exit status: 0 all found, 1 something not found (the next greater entry is shown, marked;\n"
    "for --words: no entry has all the words), 2 error.\n";

// One output row: (column, UTF-8 value).
using TRow = std::vector<std::pair<std::string, std::string>>;

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
  return OwnDirectory();
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

TRow EntryRow(const TEntryRecord& rec, const std::string& match, TQslManagerFile& qsl) {
  const TEntryView v = MakeEntryView(rec);
  const bool us = rec.db == TDatabase::US;
  const auto u = [](const std::string& s) { return Cp437ToUtf8(s); };
  TRow row = {{"call", u(v.currentCall)},
              {"match", match},
              {"database", us ? "US" : "International"},
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

// Writes rows as they come; CSV columns are the union in first-seen order, so rows are held
// until the end for CSV and JSON.
class TWriter {
 public:
  explicit TWriter(TFormat f) : format_(f) {}
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
      std::vector<std::string> cols;
      for (const auto& r : rows_)
        for (const auto& [k, v] : r)
          if (std::find(cols.begin(), cols.end(), k) == cols.end()) cols.push_back(k);
      for (size_t i = 0; i < cols.size(); ++i) std::cout << (i ? "," : "") << cols[i];
      std::cout << "\r\n";
      for (const auto& r : rows_) {
        for (size_t i = 0; i < cols.size(); ++i) {
          std::string value;
          for (const auto& [k, v] : r)
            if (k == cols[i]) value = v;
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

bool ParseArgs(int argc, char** argv, TOptions& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    if (a == "--data") {
      if (!value(o.dataDir)) return false;
    } else if (a == "--json") {
      o.format = TFormat::Json;
    } else if (a == "--csv") {
      o.format = TFormat::Csv;
    } else if (a == "--name" || a == "--city" || a == "--zip" || a == "--county") {
      if (o.orderIndex >= 0) {
        error = "only one of --name, --city, --zip, --county";
        return false;
      }
      o.orderIndex = a == "--name"   ? oiUSName
                     : a == "--city" ? oiUSCity
                     : a == "--zip"  ? oiUSZIP
                                     : oiUSCounty;
      if (!value(o.orderText)) return false;
    } else if (a == "--count") {
      std::string n;
      if (!value(n)) return false;
      o.count = NumberFieldValue(n);
      o.countGiven = true;
      if (o.count < 1) {
        error = "--count needs a positive number";
        return false;
      }
    } else if (a == "--words") {
      o.words = true;
    } else if (a == "--stats") {
      o.stats = true;
    } else if (a == "--db") {
      if (!value(o.wordsDb)) return false;
      if (o.wordsDb != "us" && o.wordsDb != "intl") {
        error = "--db takes us or intl";
        return false;
      }
    } else if (a == "-h" || a == "--help") {
      std::cout << kUsage;
      std::exit(0);
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      error = "unknown option " + a;
      return false;
    } else {
      o.calls.push_back(a);
    }
  }
  if (o.orderIndex >= 0 && !o.calls.empty()) {
    error = "give calls or an order search, not both";
    return false;
  }
  if (o.words) {
    // Words may also come several to an argument.
    std::vector<std::string> words;
    for (const std::string& arg : o.calls) {
      size_t at = 0;
      while (at < arg.size()) {
        const size_t end = std::min(arg.find(' ', at), arg.size());
        if (end > at) words.push_back(arg.substr(at, end - at));
        at = end + 1;
      }
    }
    o.calls = std::move(words);
    if (o.orderIndex >= 0) {
      error = "give words or an order search, not both";
      return false;
    }
    if (o.calls.empty() || o.calls.size() > static_cast<size_t>(kMaxSearchWords)) {
      error = "--words needs 1 to 14 words";
      return false;
    }
  } else if (!o.wordsDb.empty()) {
    error = "--db goes with --words";
    return false;
  }
  return true;
}

// One call look-up; false when not found exactly.
bool LookUpCall(const std::string& text, TWriter& out, TQslManagerFile& qsl) {
  const std::string key = TLookup::CallBoxKey(Utf8ToCp437(text));
  if (key.empty()) return false;
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
    return false;
  }
  TEntryRecord rec;
  if (!ReadRecord(lookup.Database(), lookup.CurrentRef(), rec))
    throw EDataSetError("Error reading data\\thedata.dat: " + ErrorCodeText(LastErrorCode()));
  out.Add(EntryRow(rec, r.exact ? "exact" : "next-greater", qsl));
  return r.exact;
}

// count entries of an order from the first entry whose key is equal or greater.
bool ListOrder(const TOptions& o, TWriter& out, TQslManagerFile& qsl) {
  TLookup lookup;
  lookup.SwitchToUS();
  const std::string text = Utf8ToCp437(o.orderText);
  TOrderLookup r;
  switch (o.orderIndex) {
    case oiUSName:
      r = lookup.SearchName(text);
      break;
    case oiUSCity:
      r = lookup.SearchCity(text);
      break;
    case oiUSZIP:
      r = lookup.SearchZIP(text);
      break;
    default:
      r = lookup.SearchCounty(text);
      break;
  }
  if (!r.exact && !r.message.empty())
    std::cerr << "tellmark-lookup: " << Cp437ToUtf8(r.message) << "\n";
  if (lookup.CurrentRef() < 0 || (!r.exact && o.orderText.empty())) return false;
  TEntryRecord rec;
  if (!ReadUSRecord(lookup.CurrentRef(), rec))
    throw EDataSetError("Error reading data\\thedata.dat: " + ErrorCodeText(LastErrorCode()));
  const int slot = o.orderIndex == oiUSName   ? upName
                   : o.orderIndex == oiUSCity ? upCity
                   : o.orderIndex == oiUSZIP  ? upZIP
                                              : upCounty;
  const int32_t first = rec.pos[static_cast<size_t>(slot)];
  const int32_t last =
      std::min<int64_t>(static_cast<int64_t>(first) + o.count, OrderEntryCount(o.orderIndex)) - 1;
  for (int32_t p = first; p <= last; ++p) {
    int32_t ref = 0;
    if (!ReadOrderEntry(o.orderIndex, p, ref) || !ReadUSRecord(ref, rec))
      throw EDataSetError("Error reading data\\spur.trc: " + ErrorCodeText(LastErrorCode()));
    out.Add(EntryRow(rec, p == first && !r.exact ? "next-greater" : "exact", qsl));
  }
  return r.exact;
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
  for (const std::string& w : o.calls) {
    // Field prefixes are taken in any case here ("City=Boston").
    const std::string word = NormaliseWord(ToStoredForm(AsciiLower(Utf8ToCp437(w)), kind));
    if (word.empty() || std::find(taken.begin(), taken.end(), word) != taken.end()) continue;
    taken.push_back(word);
    bool found = false;
    int32_t ref = 0;
    if (!list->Find(word, found, ref))
      throw EDataSetError(std::string("Error reading ") +
                          (db == TDatabase::US ? kUSWordIndexName : kIntlWordIndexName) + ": " +
                          ErrorCodeText(LastErrorCode()));
    if (!found) return false;
    info.Insert(info.Count(),
                std::make_unique<TSuchItem>(std::make_unique<TWortVerweisListe>(*list, ref),
                                            ToDisplayForm(word, kind)));
  }
  if (info.Empty()) return false;
  const TTextSearchResult r = DoTextSearch(info, nullptr);
  if (r.outcome == TSearchOutcome::ReadError)
    throw EDataSetError(std::string("Error reading ") + refFile + ": " +
                        ErrorCodeText(r.errorCode));
  if (r.outcome != TSearchOutcome::Found) return false;
  const int32_t n = o.countGiven ? std::min(o.count, r.Count()) : r.Count();
  for (int32_t i = 1; i <= n; ++i) {
    TEntryRecord rec;
    if (!ReadRecord(db, r.list->GetItem(i), rec))
      throw EDataSetError("Error reading data\\thedata.dat: " + ErrorCodeText(LastErrorCode()));
    out.Add(EntryRow(rec, "words", qsl));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  std::string error;
  if (!ParseArgs(argc, argv, o, error)) {
    std::cerr << "tellmark-lookup: " << error << "\n" << kUsage;
    return 2;
  }
  if (!AllocIndexCaches()) {
    std::cerr << "tellmark-lookup: " << ErrorCodeText(LastErrorCode()) << "\n";
    return 2;
  }
  SetHomeDir(ResolveDataDir(o.dataDir));
  int status = 0;
  try {
    try {
      OpenDataSet();
    } catch (const EDataSetError& e) {
      throw EDataSetError(std::string("Open files: ") + e.what() + " (data directory " + HomeDir() +
                          ")");
    }
    TQslManagerFile qsl;
    try {
      qsl.Open(DataSetPath("data\\qslmgr.dat"));
    } catch (const EQslFileError&) {
      // Without the file the manager column stays empty.
    }
    TWriter out(o.format);
    if (o.stats) {
      std::cout << CountDataSetCoverage().Text();
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

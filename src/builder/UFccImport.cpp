#include "builder/UFccImport.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "builder/UImportText.h"
#include "builder/UZipArchive.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"

namespace {

constexpr size_t kMaxSamples = 20;

struct TLicence {
  uint32_t usi = 0;
  std::string call, grant, expiry;  // dates MMDDYYYY
  uint32_t grantKey = 0;            // YYYYMMDD, for comparing
  bool vanity = false;
  bool hasEntity = false, entityIsLicensee = false;
  std::string entityName, first, mi, last, suffix, street, city, state, zip, poBox;
  char applicantType = ' ';
  bool hasAmateur = false;
  std::string opClass, trustee, prevCall, prevClass;
};

using TFields = std::vector<std::string_view>;

// Collects the records of one file from its bytes: lines, continuation lines, field counts and
// identifiers; hands each good record to the handler.
class TRecordReader {
 public:
  TRecordReader(const std::string& fileName, const TFccLayout& layout, TFccImportReport& report,
                std::function<void(const TFields&, uint32_t usi)> handler)
      : fileName_(fileName),
        layout_(layout),
        prefix_(std::string(layout.type) + "|"),
        report_(report),
        handler_(std::move(handler)) {}

  // The bytes are valid until Feed returns: a record still open then is copied.
  void Feed(const char* p, size_t n) {
    size_t start = 0;
    while (start < n) {
      const void* nl = std::memchr(p + start, '\n', n - start);
      if (!nl) break;
      const size_t i = static_cast<size_t>(static_cast<const char*>(nl) - p);
      if (carry_.empty()) {
        Line(std::string_view(p + start, i - start), true);
      } else {
        carry_.append(p + start, i - start);
        Line(carry_, false);
        carry_.clear();
      }
      start = i + 1;
    }
    carry_.append(p + start, n - start);
    if (haveRecord_ && !owned_) Own();
  }

  void Finish() {
    if (!carry_.empty()) {
      Line(carry_, false);
      carry_.clear();
    }
    Complete();
  }

 private:
  void Malformed(uint64_t line, const std::string& what) {
    ++report_.malformed;
    if (report_.malformedSamples.size() < kMaxSamples)
      report_.malformedSamples.push_back(fileName_ + " line " + std::to_string(line) + ": " + what);
  }

  void Own() {
    if (!owned_) record_.assign(pending_);
    pending_ = record_;
    owned_ = true;
  }

  // stable: line stays valid until Feed returns.
  void Line(std::string_view line, bool stable) {
    ++lineNo_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, prefix_.size()) == prefix_) {
      Complete();
      pending_ = line;
      owned_ = false;
      if (!stable) Own();
      recordLine_ = lineNo_;
      haveRecord_ = true;
    } else if (haveRecord_) {
      if (!line.empty()) {
        Own();
        record_ += ' ';
        record_.append(line);
        pending_ = record_;
      }
    } else if (!line.empty()) {
      Malformed(lineNo_, "not a " + std::string(layout_.type) + " record");
    }
  }

  void Complete() {
    if (!haveRecord_) return;
    haveRecord_ = false;
    fields_.clear();
    const char* p = pending_.data();
    const char* end = p + pending_.size();
    const char* b = p;
    for (; p != end; ++p) {
      if (*p != '|') continue;
      fields_.emplace_back(b, static_cast<size_t>(p - b));
      b = p + 1;
    }
    fields_.emplace_back(b, static_cast<size_t>(end - b));
    const int n = static_cast<int>(fields_.size());
    // Longer records are of a later layout: the fields known stay where they were.
    if (n < layout_.minFields) {
      Malformed(recordLine_, std::to_string(n) + " fields (" + std::to_string(layout_.minFields) +
                                 (layout_.maxFields != layout_.minFields
                                      ? " to " + std::to_string(layout_.maxFields)
                                      : std::string()) +
                                 " expected)");
      return;
    }
    if (repair_) repair_(fields_);
    const std::string_view id = fields_[1];
    uint64_t usi = 0;
    bool ok = !id.empty() && id.size() <= 9;
    for (char c : id) {
      ok = ok && c >= '0' && c <= '9';
      usi = usi * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!ok || usi == 0) {
      Malformed(recordLine_,
                "bad unique system identifier \"" + std::string(id.substr(0, 20)) + "\"");
      return;
    }
    handler_(fields_, static_cast<uint32_t>(usi));
  }

  std::string fileName_;
  TFccLayout layout_;
  std::string prefix_;
  TFccImportReport& report_;
  std::function<void(const TFields&, uint32_t)> handler_;

 public:
  // Mends the fields of a record before they are handed on.
  std::function<void(TFields&)> repair_;

 private:
  std::string carry_, record_;
  std::string_view pending_;  // the open record: in the fed bytes, or record_ when owned_
  bool owned_ = false;
  TFields fields_;
  uint64_t lineNo_ = 0, recordLine_ = 0;
  bool haveRecord_ = false;
};

bool AllDigits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether an EN record's fields from the state on look right when they stand `shift` places
// further: state two letters, ZIP digits, FRN digits, applicant type one letter (each may be
// empty).
bool EntityTailFits(const TFields& f, size_t shift) {
  if (f.size() < 24 + shift) return false;
  const std::string_view state = f[17 + shift], zip = f[18 + shift], frn = f[22 + shift],
                         type = f[23 + shift];
  const bool stateOk =
      state.empty() || (state.size() == 2 && std::isalpha(static_cast<unsigned char>(state[0])) &&
                        std::isalpha(static_cast<unsigned char>(state[1])));
  const std::string_view zipDigits = zip.substr(0, 5);
  const bool zipOk = zip.empty() || (zip.size() >= 5 && zip.size() <= 10 && AllDigits(zipDigits));
  return stateOk && zipOk && AllDigits(frn) && type.size() <= 1;
}

// Whether the name and contact fields look right: middle initial one character, suffix at most
// three, phone and fax digits, e-mail with an "@".
bool EntityNamesFit(const TFields& f) {
  return f[9].size() <= 1 && f[11].size() <= 3 && AllDigits(f[12]) && AllDigits(f[13]) &&
         (f[14].empty() || f[14].find('@') != std::string_view::npos);
}

// How well the name fields agree: the entity name of a person holds the last and first name.
int EntityNameScore(const TFields& f) {
  const auto within = [&](std::string_view part) {
    return !part.empty() && f[7].find(part) != std::string_view::npos;
  };
  return (EntityNamesFit(f) ? 4 : 0) + (within(f[10]) ? 2 : 0) + (within(f[8]) ? 1 : 0);
}

// Joins `left` more split texts of f, each at one of the text fields, keeping the best.
void JoinBest(const TFields& f, size_t left, TFields& best, int& bestScore) {
  if (left == 0) {
    const int score = EntityNameScore(f);
    if (score > bestScore) {
      best = f;
      bestScore = score;
    }
    return;
  }
  // Entity name, first name, last name, street, city, e-mail, suffix, middle initial, phone, fax.
  static constexpr size_t kTexts[] = {7, 8, 10, 15, 16, 14, 11, 9, 12, 13};
  for (size_t at : kTexts) {
    TFields g = f;
    // Neighbouring fields lie side by side in the record with the "|" between them.
    g[at] = std::string_view(g[at].data(), g[at].size() + 1 + g[at + 1].size());
    g.erase(g.begin() + static_cast<std::ptrdiff_t>(at) + 1);
    JoinBest(g, left - 1, best, bestScore);
  }
}

// The files have no quoting: a "|" inside a text (a name, a street) splits it into two fields
// and moves every later field one place on. Such an EN record is told from one of a longer
// layout by its later fields (state, ZIP, FRN, applicant type), which then fit only when moved
// back; the split texts are joined again where the name fields agree best (the first such
// place on a tie). A record no shift of up to three fits is left as it is.
void MendEntity(TFields& f) {
  if (EntityTailFits(f, 0)) return;
  for (size_t shift = 1; shift <= 3 && f.size() >= 24 + shift; ++shift) {
    if (!EntityTailFits(f, shift)) continue;
    TFields best;
    int bestScore = -1;
    JoinBest(f, shift, best, bestScore);
    f = std::move(best);
    return;
  }
}

// Hands sink the bytes that produce delivers, produced on a second thread, so decompressing and
// parsing overlap. An error on either side stops both and is thrown here.
void Pipelined(const std::function<void(const std::function<void(const char*, size_t)>&)>& produce,
               const std::function<void(const char*, size_t)>& sink) {
  constexpr size_t kChunk = 1 << 20, kQueued = 4;
  struct TAborted {};
  std::mutex m;
  std::condition_variable cv;
  std::deque<std::string> queue;
  std::vector<std::string> spare;  // buffers handed back, reused (no fresh pages per chunk)
  bool done = false, aborted = false;
  std::exception_ptr error;
  std::thread producer([&] {
    std::exception_ptr failure;
    try {
      std::string buf;
      const auto push = [&] {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return queue.size() < kQueued || aborted; });
        if (aborted) throw TAborted{};
        queue.push_back(std::move(buf));
        cv.notify_all();
        if (spare.empty()) {
          buf = std::string();
        } else {
          buf = std::move(spare.back());
          spare.pop_back();
        }
        buf.clear();
        buf.reserve(kChunk);
      };
      buf.reserve(kChunk);
      produce([&](const char* p, size_t n) {
        buf.append(p, n);
        if (buf.size() >= kChunk) push();
      });
      if (!buf.empty()) push();
    } catch (const TAborted&) {
    } catch (...) {
      failure = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(m);
    error = failure;
    done = true;
    cv.notify_all();
  });
  try {
    for (;;) {
      std::string chunk;
      {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return !queue.empty() || done; });
        if (queue.empty()) break;
        chunk = std::move(queue.front());
        queue.pop_front();
        cv.notify_all();
      }
      sink(chunk.data(), chunk.size());
      std::lock_guard<std::mutex> lock(m);
      spare.push_back(std::move(chunk));
    }
  } catch (...) {
    {
      std::lock_guard<std::mutex> lock(m);
      aborted = true;
      cv.notify_all();
    }
    producer.join();
    throw;
  }
  producer.join();
  if (error) std::rethrow_exception(error);
}

// A dump (the full one or a daily file): its three files, from the archive or the folder.
class TDumpSource {
 public:
  explicit TDumpSource(const std::string& path) : path_(path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
      throw EStatusError(TStatus::WithMessage(
          StatusFromLastError(path, IOCodeFromErrno(errno)).Code(),
          "cannot open " + path + ": " + ErrorCodeText(IOCodeFromErrno(errno)) + " (" +
              RunErrorText(IOCodeFromErrno(errno)) + ")"));
    if (!S_ISDIR(st.st_mode)) {
      zip_ = std::make_unique<TZipArchive>(path);
      if (const TZipMember* hd = zip_->Find("HD.dat")) date_ = hd->modified;
    }
  }
  const std::string& Path() const { return path_; }
  // The date of its HD.dat in the archive; 0 for a folder (copied files keep no trustworthy
  // date).
  std::time_t Date() const { return date_; }

  // Streams the named file; throws EStatusError when it is missing or damaged.
  void Read(const std::string& name, const std::function<void(uint64_t total)>& start,
            const std::function<void(const char*, size_t)>& sink) {
    if (zip_) {
      const TZipMember* m = zip_->Find(name);
      if (!m) throw EStatusError(TStatus::NotFound(path_ + " holds no " + name));
      start(m->size);
      Pipelined([&](const auto& produced) { zip_->Read(*m, produced); }, sink);
      return;
    }
    TReadOnlyFile f;
    const std::string file = ResolveDataPath(WithTrailingSeparator(path_), name);
    if (!f.Open(file))
      throw EStatusError(TStatus::WithMessage(StatusFromLastError(file, LastErrorCode()).Code(),
                                              "cannot open " + file + ": " +
                                                  ErrorCodeText(LastErrorCode()) + " (" +
                                                  RunErrorText(LastErrorCode()) + ")"));
    start(static_cast<uint64_t>(f.Size()));
    std::vector<char> buf(1 << 20);
    for (int64_t at = 0; at < f.Size();) {
      int64_t got = 0;
      if (!f.ReadAt(at, buf.data(), static_cast<int64_t>(buf.size()), got) || got <= 0)
        throw EStatusError(
            TStatus::WithMessage(StatusFromLastError(file, LastErrorCode()).Code(),
                                 "cannot read " + file + ": " + ErrorCodeText(LastErrorCode())));
      sink(buf.data(), static_cast<size_t>(got));
      at += got;
    }
  }

 private:
  std::string path_;
  std::unique_ptr<TZipArchive> zip_;
  std::time_t date_ = 0;
};

std::string DayText(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M", &tm);
  return buf;
}

// YYYYMMDD of a time, for comparing days.
int DayKey(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
}

std::string IsoDay(std::time_t t) {
  const int k = DayKey(t);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", k / 10000, k / 100 % 100, k % 100);
  return buf;
}

std::string BaseName(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string Text(std::string_view field) {
  // Most fields are plain ASCII without blanks around them: taken as they are.
  bool plain = field.empty() || (field.front() != ' ' && field.back() != ' ');
  for (size_t i = 0; plain && i < field.size(); ++i) plain = field[i] >= 0x20 && field[i] < 0x7F;
  return plain ? std::string(field) : TrimBlanks(ImportText(field));
}

// "MM/DD/YYYY" as "MMDDYYYY"; empty for anything else.
std::string DumpDate(std::string_view d) {
  const std::string t = TrimBlanks(d);
  if (t.size() != 10 || t[2] != '/' || t[5] != '/') return {};
  std::string r = t.substr(0, 2) + t.substr(3, 2) + t.substr(6, 4);
  for (char c : r)
    if (c < '0' || c > '9') return {};
  return r;
}

// YYYYMMDD of a stored "MMDDYYYY" date as a number, for comparing; 0 for none.
uint32_t DateKey(const std::string& mmddyyyy) {
  if (mmddyyyy.size() != 8) return 0;
  const std::string ymd = mmddyyyy.substr(4) + mmddyyyy.substr(0, 4);
  return static_cast<uint32_t>(std::stoul(ymd));
}

std::string JoinNonEmpty(std::initializer_list<std::string_view> parts, std::string_view sep) {
  std::string r;
  for (auto p : parts) {
    if (p.empty()) continue;
    if (!r.empty()) r += sep;
    r += p;
  }
  return r;
}

TBuildEntry MakeEntry(const TLicence& l, const TFccImportOptions& options,
                      TFccImportReport& report) {
  TBuildEntry e;
  e.db = TDatabase::US;
  e.fields.reserve(18);
  const auto add = [&](int tag, std::string text) {
    if (!text.empty()) e.fields.emplace_back(tag, std::move(text));
  };
  std::string call = AsciiUpper(l.call);
  std::replace(call.begin(), call.end(), '0', '<');

  const bool person = !l.last.empty();
  const std::string name =
      person ? JoinNonEmpty({l.first, l.mi, l.last, l.suffix}, " ") : l.entityName;
  e.surname = person ? l.last : l.entityName;
  e.firstName = person ? l.first : std::string();
  const std::string street = !l.street.empty()  ? l.street
                             : !l.poBox.empty() ? "PO Box " + l.poBox
                                                : std::string();
  // The city is the last part of the address; without one the address ends in ", ".
  std::string address = JoinNonEmpty({name, street}, ", ");
  if (!l.city.empty() || !address.empty()) address += ", " + l.city;
  address = TrimRightBlanks(address);

  std::string cls;
  if (!l.opClass.empty()) {
    cls = AsciiUpper(l.opClass.substr(0, 1));
  } else if (l.applicantType == 'B' || l.applicantType == 'M') {
    cls = std::string(1, l.applicantType);
  }
  std::string zip = l.zip.substr(0, 5);

  // The ZIP's place only when the ZIP lies in the licence's own state: a typo or a stale ZIP
  // must not give a county of another state. Else the city's place in the licence's state.
  TFccPlace place;
  bool fromZip = false, fromCity = false;
  const bool zipDigits = zip.size() == 5 && std::all_of(zip.begin(), zip.end(), [](char c) {
                           return c >= '0' && c <= '9';
                         });
  if (zipDigits && options.zipPlace && options.zipPlace(zip, place)) {
    // Without a state of its own the licence cannot vouch for its ZIP either.
    fromZip = !l.state.empty() && place.state == l.state;
    if (!fromZip && !l.state.empty()) ++report.zipOtherState;
  } else {
    ++report.unknownZip;
  }
  if (!fromZip) {
    place = TFccPlace{};
    fromCity = !l.city.empty() && !l.state.empty() && options.cityPlace &&
               options.cityPlace(l.city, l.state, place);
    if (!fromCity) place = TFccPlace{};
  }
  ++(fromZip ? report.placeFromZip : fromCity ? report.placeFromCity : report.placeNone);
  std::string country = "United States", dxcc = "K";
  if (options.country) options.country(l.state, country, dxcc);

  add(1, call);
  add(2, l.state);
  add(3, zip);
  add(4, cls);
  add(5, l.grant);
  add(6, l.expiry);
  if (!l.trustee.empty() && (cls == "B" || cls.empty())) add(7, "TRUSTEE " + AsciiUpper(l.trustee));
  add(8, std::move(place.longitude));
  add(9, std::move(place.latitude));
  add(10, std::move(place.areaCode));
  add(11, std::move(place.county));
  add(12, std::move(place.timeZone));
  add(13, std::move(address));
  add(16, std::move(country));
  add(17, dxcc);
  add(19, AsciiUpper(l.prevCall));
  add(20, AsciiUpper(l.prevClass.substr(0, 1)));
  add(21, l.vanity ? "T" : "F");
  return e;
}

}  // namespace

TFccImportReport ImportFcc(const std::string& path, std::vector<TBuildEntry>& us,
                           const TFccImportOptions& options) {
  TFccImportReport report;
  // Source 0 is the full dump, 1.. the daily files in date order.
  std::vector<std::unique_ptr<TDumpSource>> sources;
  sources.push_back(std::make_unique<TDumpSource>(path));
  for (const std::string& d : options.daily) sources.push_back(std::make_unique<TDumpSource>(d));
  const bool dated =
      std::all_of(sources.begin(), sources.end(), [](const auto& src) { return src->Date() != 0; });
  if (dated) {
    std::stable_sort(sources.begin() + 1, sources.end(),
                     [](const auto& a, const auto& b) { return a->Date() < b->Date(); });
  }
  for (size_t s = 1; s < sources.size(); ++s) {
    // A daily file of the dump's own day is applied: the dump may have been made before it.
    if (dated && DayKey(sources[s]->Date()) < DayKey(sources[0]->Date()))
      throw EStatusError(TStatus::InvalidArgument(
          "the daily file " + sources[s]->Path() + " (" + DayText(sources[s]->Date()) +
          ") is older than the full dump " + sources[0]->Path() + " (" +
          DayText(sources[0]->Date()) + "): its changes are in the dump already; leave it out"));
    report.dailyApplied.push_back(sources[s]->Path());
  }
  if (dated) {
    report.dumpDay = IsoDay(sources[0]->Date());
    if (sources.size() > 1) report.lastDailyDay = IsoDay(sources.back()->Date());
  }

  const auto readFile = [&](size_t s, int layout, TFccImportReport& rep,
                            const std::function<void(const TFields&, uint32_t)>& h) {
    const std::string name = std::string(kFccLayouts[layout].type) + ".dat";
    const std::string label = s == 0 ? name : BaseName(sources[s]->Path()) + " " + name;
    const std::string stage = "Reading " + label;
    TRecordReader reader(label, kFccLayouts[layout], rep, h);
    if (layout == 1) reader.repair_ = MendEntity;
    uint64_t total = 0, done = 0, lastShown = 0;
    sources[s]->Read(
        name, [&](uint64_t t) { total = t; },
        [&](const char* p, size_t n) {
          reader.Feed(p, n);
          done += n;
          if (options.progress && done - lastShown >= (8u << 20)) {
            options.progress(stage, done, total);
            lastShown = done;
          }
        });
    reader.Finish();
  };

  // Which source each record of a licence comes from: per record type, the last daily file
  // that holds a record of that type for it, else the full dump. Only licences some daily file
  // names are kept here.
  struct TOwner {
    std::array<uint16_t, 3> source{};  // by layout: HD, EN, AM
    bool header = false;               // a header record of the owning source was read
  };
  std::unordered_map<uint32_t, TOwner> owner;
  for (size_t s = 1; s < sources.size(); ++s) {
    TFccImportReport scratch;  // malformed records are counted in the main pass
    for (int layout = 0; layout < 3; ++layout)
      readFile(s, layout, scratch, [&](const TFields&, uint32_t usi) {
        owner[usi].source[static_cast<size_t>(layout)] = static_cast<uint16_t>(s);
      });
  }
  report.dailyLicences = owner.size();
  const auto ownedBy = [&](uint32_t usi, int layout, size_t s) {
    if (owner.empty()) return s == 0;
    const auto it = owner.find(usi);
    return (it == owner.end() ? 0u : it->second.source[static_cast<size_t>(layout)]) == s;
  };

  std::deque<TLicence> lic;  // grows without moving what it holds
  std::unordered_map<uint32_t, uint32_t> byUsi;
  for (size_t s = 0; s < sources.size(); ++s) {
    readFile(s, 0, report, [&](const TFields& f, uint32_t usi) {
      ++report.hdRecords;
      if (!ownedBy(usi, 0, s)) return;
      if (!owner.empty()) {
        const auto it = owner.find(usi);
        if (it != owner.end()) it->second.header = true;
      }
      if (TrimBlanks(f[5]) != "A") return;
      if (byUsi.count(usi)) return;  // a repeated header adds nothing
      ++report.active;
      TLicence l;
      l.usi = usi;
      l.call = Text(f[4]);
      l.grant = DumpDate(f[7]);
      l.grantKey = DateKey(l.grant);
      l.expiry = DumpDate(f[8]);
      l.vanity = TrimBlanks(f[6]) == "HV";
      byUsi.emplace(usi, static_cast<uint32_t>(lic.size()));
      lic.push_back(std::move(l));
    });
  }
  for (size_t s = 0; s < sources.size(); ++s) {
    readFile(s, 1, report, [&](const TFields& f, uint32_t usi) {
      ++report.enRecords;
      const auto it = byUsi.find(usi);
      if (it == byUsi.end() || !ownedBy(usi, 1, s)) return;
      TLicence& l = lic[it->second];
      const bool licensee = TrimBlanks(f[5]) == "L";
      if (l.hasEntity && (l.entityIsLicensee || !licensee)) return;
      l.hasEntity = true;
      l.entityIsLicensee = licensee;
      l.entityName = Text(f[7]);
      l.first = Text(f[8]);
      l.mi = Text(f[9]);
      l.last = Text(f[10]);
      l.suffix = Text(f[11]);
      l.street = Text(f[15]);
      l.city = Text(f[16]);
      l.state = AsciiUpper(Text(f[17]));
      l.zip = Text(f[18]);
      l.poBox = Text(f[19]);
      const std::string type = Text(f[23]);
      l.applicantType = type.empty() ? ' ' : type[0];
    });
  }
  for (size_t s = 0; s < sources.size(); ++s) {
    readFile(s, 2, report, [&](const TFields& f, uint32_t usi) {
      ++report.amRecords;
      const auto it = byUsi.find(usi);
      if (it == byUsi.end() || !ownedBy(usi, 2, s)) return;
      TLicence& l = lic[it->second];
      if (l.hasAmateur) return;
      l.hasAmateur = true;
      l.opClass = Text(f[5]);
      l.trustee = Text(f[8]);
      l.prevCall = Text(f[15]);
      l.prevClass = Text(f[16]);
    });
  }
  for (const auto& [usi, o] : owner)
    if (!o.header) ++report.dailyWithoutHeader;
  std::unordered_map<uint32_t, uint32_t>().swap(byUsi);
  std::unordered_map<uint32_t, TOwner>().swap(owner);

  // One licence per call: the latest grant, then the highest identifier. Calls are compared by
  // their first eight characters packed into a number, then whole.
  struct TOrder {
    uint64_t callKey;
    uint32_t grantKey, usi, index;
  };
  const auto packed = [](const std::string& call) {
    uint64_t k = 0;
    for (size_t i = 0; i < 8; ++i)
      k = k << 8 | (i < call.size() ? static_cast<unsigned char>(call[i]) : 0u);
    return k;
  };
  std::vector<TOrder> order;
  order.reserve(lic.size());
  for (uint32_t i = 0; i < lic.size(); ++i) {
    if (lic[i].hasEntity) {
      lic[i].call = AsciiUpper(lic[i].call);
      order.push_back({packed(lic[i].call), lic[i].grantKey, lic[i].usi, i});
    } else {
      ++report.withoutEntity;
    }
  }
  std::sort(order.begin(), order.end(), [&](const TOrder& x, const TOrder& y) {
    if (x.callKey != y.callKey) return x.callKey < y.callKey;
    if (lic[x.index].call.size() > 8 || lic[y.index].call.size() > 8) {
      const int c = lic[x.index].call.compare(lic[y.index].call);
      if (c != 0) return c < 0;
    }
    if (x.grantKey != y.grantKey) return x.grantKey > y.grantKey;
    return x.usi > y.usi;
  });
  // Entries in call order, so the result does not depend on where a licence's records came from.
  us.reserve(us.size() + order.size());
  std::string lastCall;
  for (size_t k = 0; k < order.size(); ++k) {
    TLicence& l = lic[order[k].index];
    if (k > 0 && l.call == lastCall) {
      ++report.superseded;
      continue;
    }
    lastCall = l.call;
    us.push_back(MakeEntry(l, options, report));
    ++report.imported;
    l = TLicence();  // its texts are in the entry now
  }
  return report;
}

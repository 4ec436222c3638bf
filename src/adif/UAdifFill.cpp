#include "adif/UAdifFill.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <unordered_map>
#include <unordered_set>

#include "callbook/UCallbook.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/USafeFile.h"
#include "dataset/UCallParts.h"
#include "dataset/ULocator.h"
#include "textsearch/UWordFold.h"

namespace {

bool IsDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

constexpr auto kFillNames = [] {
  std::array<std::string_view, kAdifFillFields.size()> n{};
  for (size_t i = 0; i < n.size(); ++i) n[i] = kAdifFillFields[i];
  return n;
}();

// Field names compared as ADIF does, in any case; b in upper case.
bool SameAdifName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char c = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    if (c != b[i]) return false;
  }
  return true;
}

// "19990403" from "1999-04-03"; empty when the text is no date.
std::string CompactDate(std::string_view iso) {
  std::string d;
  for (char c : iso)
    if (c != '-') d += c;
  return d.size() == 8 && IsDigits(d) ? d : std::string();
}

std::string MailingAddress(const TCallbookRecord& r) {
  std::string a;
  for (const std::string& l : AdifMailingLines(r)) a += (a.empty() ? "" : "\r\n") + l;
  return a;
}

}  // namespace

std::vector<std::string> AdifMailingLines(const TCallbookRecord& r) {
  std::vector<std::string> lines;
  for (const std::string* s : {&r.name, &r.street})
    if (!s->empty()) lines.push_back(*s);
  std::string cityLine = r.city;
  if (r.database == TDatabase::Intl && r.state.empty() && !r.zip.empty()) {
    // A postcode written before the town, as the address had it: "84120 Pertuis".
    cityLine = r.zip + (cityLine.empty() ? "" : " ") + cityLine;
  } else {
    if (!r.state.empty()) cityLine += (cityLine.empty() ? "" : ", ") + r.state;
    if (!r.zip.empty()) cityLine += (cityLine.empty() ? "" : " ") + r.zip;
  }
  if (!cityLine.empty()) lines.push_back(cityLine);
  if (!r.country.empty()) lines.push_back(r.country);
  return lines;
}

std::optional<TCallbookRecord> TCallbookLookupSource::FindBaseCall(std::string_view baseCall) {
  TCallbookAnswer a = ValueOrThrow(callbook_.Lookup(baseCall));
  if (a.record.match != TCallbookMatch::Exact) return std::nullopt;
  return std::move(a.record);
}

const TEntityTable* TCallbookLookupSource::Entities() { return &callbook_.Entities(); }

bool ParseAdifCharset(std::string_view text, TAdifCharset& charset) {
  if (text == "auto") return charset = TAdifCharset::Auto, true;
  if (text == "ascii") return charset = TAdifCharset::Ascii, true;
  if (text == "utf8" || text == "utf-8") return charset = TAdifCharset::Utf8, true;
  return false;
}

std::string AdifAscii(std::string_view utf8) {
  // The code page's capitals: Ç Ä Å É Æ Ö Ü Ñ.
  static constexpr unsigned char kCapitals[] = {0x80, 0x8E, 0x8F, 0x90, 0x92, 0x99, 0x9A, 0xA5};
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      if (lead >= 0x20 || lead == '\r' || lead == '\n' || lead == '\t') out += utf8[i];
      ++i;
      continue;
    }
    // One character at a time: one that has no code page letter is left out, never a "?".
    const size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    const std::string cp = Utf8ToCp437(utf8.substr(i, n));
    i += n;
    const auto c = cp.size() == 1 ? static_cast<unsigned char>(cp[0]) : 0;
    const char* letters = c >= 0x80 ? FoldedLetters(c) : nullptr;
    if (!letters) continue;
    const bool capital =
        std::find(std::begin(kCapitals), std::end(kCapitals), c) != std::end(kCapitals);
    for (size_t k = 0; letters[k]; ++k)
      out += capital && k == 0 && letters[k] >= 'a' && letters[k] <= 'z'
                 ? static_cast<char>(letters[k] - 32)
                 : letters[k];
  }
  // Blanks a left-out character leaves at the start or end of a line go too.
  std::string trimmed;
  trimmed.reserve(out.size());
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == ' ' && (trimmed.empty() || trimmed.back() == '\n')) continue;
    if (out[i] == ' ') {
      const size_t next = out.find_first_not_of(' ', i);
      if (next == std::string::npos || out[next] == '\r' || out[next] == '\n') {
        i = next == std::string::npos ? out.size() : next - 1;
        continue;
      }
    }
    trimmed += out[i];
  }
  return trimmed;
}

std::string AdifLocation(double degrees, bool latitude) {
  const double limit = latitude ? 90.0 : 180.0;
  if (!std::isfinite(degrees) || std::fabs(degrees) > limit) return {};
  const char hemisphere = latitude ? (degrees < 0 ? 'S' : 'N') : (degrees < 0 ? 'W' : 'E');
  // Thousandths of a minute, so that rounding carries into the minutes and degrees.
  const long long t = std::llround(std::fabs(degrees) * 60000.0);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%c%03lld %02lld.%03lld", hemisphere, t / 60000, t % 60000 / 1000,
                t % 1000);
  return buf;
}

std::string AdifCounty(std::string_view state, std::string_view county) {
  const std::string st = AsciiUpper(TrimBlanksView(state));
  std::string c = TrimBlanks(county);
  if (st.empty() || c.empty()) return {};
  const bool upper = c.find_first_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
  if (upper) {
    // Each word in mixed case; "MCLENNAN" -> "McLennan".
    size_t wordStart = 0;
    for (size_t i = 0; i < c.size(); ++i) {
      const char ch = c[i];
      const bool letter = ch >= 'A' && ch <= 'Z';
      if (!letter && !(ch >= 'a' && ch <= 'z')) {
        wordStart = i + 1;
        continue;
      }
      const bool capital = i == wordStart || (i == wordStart + 2 && c[wordStart] == 'M' &&
                                              c[wordStart + 1] == 'c' && i + 1 < c.size());
      if (letter && !capital) c[i] = static_cast<char>(ch + 32);
    }
  }
  return st + "," + c;
}

std::string AdifGrid(std::string_view locator) {
  std::string g = TrimBlanks(locator);
  if (g.size() > 8 || g.size() % 2 != 0 || !IsValidLocator(g.substr(0, 6))) return {};
  for (size_t i = 0; i < g.size(); ++i) {
    const char c = g[i];
    if (i < 2 && c >= 'a' && c <= 'z') g[i] = static_cast<char>(c - 32);
    if (i >= 4 && i < 6 && c >= 'A' && c <= 'Z') g[i] = static_cast<char>(c + 32);
  }
  return g;
}

std::vector<std::pair<std::string, std::string>> AdifValuesFor(std::string_view loggedCall,
                                                               std::string_view qsoDate,
                                                               const TCallbookRecord& rec,
                                                               bool& dateRule) {
  (void)loggedCall;  // the record is already placed where the call's designators say
  // A contact before the grant of the current U.S. licence may have been with an earlier holder.
  const std::string granted = CompactDate(rec.issued);
  const std::string date(TrimBlanksView(qsoDate));
  dateRule = rec.database == TDatabase::US && !granted.empty() && date.size() == 8 &&
             IsDigits(date) && date < granted;

  std::vector<std::pair<std::string, std::string>> v;
  const auto text = [&v](const char* name, const std::string& value) {
    if (!value.empty()) v.emplace_back(name, value);
  };
  const auto number = [&v](const char* name, const std::optional<int>& value) {
    if (value && *value > 0) v.emplace_back(name, std::to_string(*value));
  };
  if (!dateRule) {
    text("NAME", rec.name);
    // Only at home: away, the record has no place.
    if (rec.where == TStationWhere::Home) {
      text("QTH", rec.city);
      text("ADDRESS", MailingAddress(rec));
      text("STATE", rec.state);
      if (rec.database == TDatabase::US) text("CNTY", AdifCounty(rec.state, rec.county));
      text("GRIDSQUARE", AdifGrid(rec.grid));
      if (rec.latitude && rec.longitude) {
        text("LAT", AdifLocation(*rec.latitude, true));
        text("LON", AdifLocation(*rec.longitude, false));
      }
    }
  }
  text("COUNTRY", rec.dxcc);
  number("DXCC", rec.dxccCode);
  number("CQZ", rec.cqZone);
  number("ITUZ", rec.ituZone);
  text("CONT", rec.continent);
  if (!dateRule) {
    text("QSL_VIA", rec.qslManager);
    text("EMAIL", rec.email);
  }
  return v;
}

namespace {

// What AdifValuesFor reads of a record, kept per base call (a whole record is twice as large).
struct TFillRecord {
  std::optional<TDatabase> database;
  TStationWhere where = TStationWhere::Home;
  std::string call, name, street, city, state, zip, county, country, dxcc, continent, grid, issued,
      qslManager, email;
  std::optional<int> dxccCode, cqZone, ituZone;
  std::optional<double> latitude, longitude;

  explicit TFillRecord(TCallbookRecord&& r)
      : database(r.database),
        where(r.where),
        call(std::move(r.call)),
        name(std::move(r.name)),
        street(std::move(r.street)),
        city(std::move(r.city)),
        state(std::move(r.state)),
        zip(std::move(r.zip)),
        county(std::move(r.county)),
        country(std::move(r.country)),
        dxcc(std::move(r.dxcc)),
        continent(std::move(r.continent)),
        grid(std::move(r.grid)),
        issued(std::move(r.issued)),
        qslManager(std::move(r.qslManager)),
        email(std::move(r.email)),
        dxccCode(r.dxccCode),
        cqZone(r.cqZone),
        ituZone(r.ituZone),
        latitude(r.latitude),
        longitude(r.longitude) {}
  TCallbookRecord Whole() const {
    TCallbookRecord r;
    r.database = database;
    r.where = where;
    r.call = call;
    r.name = name;
    r.street = street;
    r.city = city;
    r.state = state;
    r.zip = zip;
    r.county = county;
    r.country = country;
    r.dxcc = dxcc;
    r.continent = continent;
    r.grid = grid;
    r.issued = issued;
    r.qslManager = qslManager;
    r.email = email;
    r.dxccCode = dxccCode;
    r.cqZone = cqZone;
    r.ituZone = ituZone;
    r.latitude = latitude;
    r.longitude = longitude;
    return r;
  }
};

}  // namespace

namespace {

// The place fields, by index in kAdifFillFields.
constexpr size_t kFirstPlaceField = 1, kLastPlaceField = 7;  // QTH ... LON
constexpr size_t kQth = 1, kAddress = 2, kGrid = 5, kLat = 6;

std::string Folded(std::string_view utf8) {
  std::string f;
  for (char c : AdifAscii(utf8)) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) f += c;
  }
  return f;
}

// "N032 42.696" to degrees (south and west negative); absent when it is no such text.
std::optional<double> AdifDegrees(std::string_view s) {
  s = TrimBlanksView(s);
  if (s.size() < 6 || s[4] != ' ') return std::nullopt;
  const char h = static_cast<char>(s[0] & ~0x20);
  if (h != 'N' && h != 'S' && h != 'E' && h != 'W') return std::nullopt;
  double minutes = 0;
  int degrees = 0;
  for (size_t i = 1; i < 4; ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    degrees = degrees * 10 + (s[i] - '0');
  }
  const std::string m(s.substr(5));
  char* end = nullptr;
  minutes = std::strtod(m.c_str(), &end);
  if (end != m.c_str() + m.size() || !(minutes >= 0 && minutes < 60)) return std::nullopt;
  const double d = degrees + minutes / 60;
  return h == 'S' || h == 'W' ? -d : d;
}

// Whether a place value as logged agrees with the directory's value of that field.
bool PlaceAgrees(size_t k, std::string_view logged, std::string_view directory,
                 std::string_view directoryTown) {
  switch (k) {
    case kQth:
      return !directory.empty() && Folded(logged) == Folded(directory);
    case kAddress: {
      const std::string town = Folded(directoryTown);
      return !town.empty() && Folded(logged).find(town) != std::string::npos;
    }
    case kGrid:
      return logged.size() >= 4 && directory.size() >= 4 &&
             Folded(logged.substr(0, 4)) == Folded(directory.substr(0, 4));
    case kLat:
    case kLat + 1: {
      const auto a = AdifDegrees(logged), b = AdifDegrees(directory);
      return a && b && std::fabs(*a - *b) <= 0.5;
    }
    default:  // STATE, CNTY
      return !directory.empty() && Folded(logged) == Folded(directory);
  }
}

// Whether the writer of a log chose UTF-8: some value holds a byte above ASCII.
bool HoldsUtf8(const TAdifLog& log) {
  for (const TAdifRecord& r : log.Records())
    for (const TAdifField& f : r.fields)
      for (const char c : log.Value(f))
        if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

}  // namespace

TAdifFillResult FillAdifLog(const TAdifLog& log, TAdifSource& source, TAdifCharset charset,
                            bool allowSample) {
  const bool ascii =
      charset == TAdifCharset::Ascii || (charset == TAdifCharset::Auto && !HoldsUtf8(log));
  TAdifFillResult result;
  TAdifFillSummary& s = result.summary;
  struct TBaseCall {
    std::optional<TFillRecord> record;
    std::string granted;     // the grant date as "19990403"; empty when none
    bool synthetic = false;  // only an invented entry, not to be filled from
  };
  std::unordered_map<std::string, TBaseCall> records;
  std::unordered_set<std::string> missing;
  // Values packed in one text: few allocations for many calls.
  struct TCallValue {
    uint32_t offset, length;  // in text
    uint32_t index;           // in kAdifFillFields
  };
  struct TCallValues {
    bool made = false;
    std::string text;
    std::vector<TCallValue> items;
  };
  // A call as logged: its base call's entry, and its values on either side of the grant date
  // (the same for every contact on that side). The values are referred to by views, so they
  // stay where they are (node-based map).
  struct TCall {
    const TBaseCall* base = nullptr;  // null: no base call
    std::string baseCall;
    std::string designators;
    TCallValues side[2];  // [1]: before the grant date
  };
  std::unordered_map<std::string, TCall> calls;
  records.reserve(log.Records().size());
  calls.reserve(log.Records().size());
  // Room for what filling usually adds (about twice the log); more grows the text.
  TAdifWriter writer(log, log.Text().size() * 2);
  std::vector<TAdifFillView> fills;
  for (size_t ri = 0; ri < log.Records().size(); ++ri) {
    const TAdifRecord& r = log.Records()[ri];
    if (!r.sound) {
      ++s.unreadable;
      continue;
    }
    ++s.contacts;
    const std::string call = AsciiUpper(log.FieldText(r, "CALL"));
    auto known = calls.find(call);
    if (known == calls.end()) {
      TCall c;
      TCallParts parts = SplitCallParts(call);
      if (!parts.base.empty()) {
        auto found = records.find(parts.base);
        if (found == records.end()) {
          ++s.lookups;
          TBaseCall b;
          if (std::optional<TCallbookRecord> whole = source.FindBaseCall(parts.base)) {
            if (whole->synthetic && !allowSample) {
              b.synthetic = true;
            } else {
              b.record.emplace(std::move(*whole));
              b.granted = CompactDate(b.record->issued);
            }
          }
          found = records.emplace(parts.base, std::move(b)).first;
        }
        c.base = &found->second;
      }
      c.baseCall = std::move(parts.base);
      c.designators = std::move(parts.designators);
      known = calls.emplace(call, std::move(c)).first;
    }
    TCall& c = known->second;
    if (!c.base) {
      ++s.noCall;
      continue;
    }
    if (c.base->synthetic) {
      ++s.synthetic;
      if (missing.insert(c.baseCall).second) s.syntheticCalls.push_back(c.baseCall);
      continue;
    }
    if (!c.base->record) {
      ++s.notFound;
      if (missing.insert(c.baseCall).second) s.notFoundCalls.push_back(c.baseCall);
      continue;
    }
    const TFillRecord& rec = *c.base->record;
    const std::string& granted = c.base->granted;
    const std::string_view date = log.FieldText(r, "QSO_DATE");
    const bool early = rec.database == TDatabase::US && !granted.empty() && date.size() == 8 &&
                       IsDigits(date) && date < granted;
    TCallValues& v = c.side[early ? 1 : 0];
    if (!v.made) {
      // The station where the call's designators say: "VE3/K5DRC" is in Canada.
      TCallbookRecord placed = rec.Whole();
      PlaceRecord(placed, source.Entities(), c.designators, call);
      bool dateRule = false;
      auto values = AdifValuesFor(call, date, placed, dateRule);
      // NAME, QTH and ADDRESS are ASCII strings in an .adi file.
      if (ascii)
        for (auto& [name, value] : values)
          if (name == "NAME" || name == "QTH" || name == "ADDRESS") value = AdifAscii(value);
      size_t bytes = 0;
      for (const auto& nv : values) bytes += nv.second.size();
      v.text.reserve(bytes);
      for (const auto& [name, value] : values) {
        const auto k = static_cast<uint32_t>(std::find(kFillNames.begin(), kFillNames.end(), name) -
                                             kFillNames.begin());
        if (k >= kFillNames.size()) continue;  // AdifValuesFor writes none else
        v.items.push_back(
            {static_cast<uint32_t>(v.text.size()), static_cast<uint32_t>(value.size()), k});
        v.text += value;
      }
      v.made = true;
    }
    if (early) ++s.dateRule;
    // The record's first field of each name the filler writes.
    std::array<const TAdifField*, kAdifFillFields.size()> present{};
    for (const TAdifField& f : r.fields)
      for (size_t k = 0; k < kFillNames.size(); ++k)
        if (!present[k] && SameAdifName(f.name, kFillNames[k])) present[k] = &f;
    // A contact whose logged place is not the directory's: the station was elsewhere, and
    // nothing of the directory's place is added to it.
    bool elsewhere = false, offersPlace = false;
    std::array<std::string_view, kAdifFillFields.size()> offered{};
    for (const TCallValue& item : v.items)
      offered[item.index] = std::string_view(v.text).substr(item.offset, item.length);
    for (size_t k = kFirstPlaceField; k <= kLastPlaceField; ++k) {
      offersPlace = offersPlace || !offered[k].empty();
      if (!present[k]) continue;
      const std::string_view logged = TrimBlanksView(log.Value(*present[k]));
      if (!logged.empty() && !PlaceAgrees(k, logged, offered[k], offered[kQth])) elsewhere = true;
    }
    elsewhere = elsewhere && offersPlace;
    if (elsewhere) ++s.elsewhere;
    bool any = false;
    fills.clear();
    for (const TCallValue& item : v.items) {
      if (elsewhere && item.index >= kFirstPlaceField && item.index <= kLastPlaceField) continue;
      const std::string_view value = std::string_view(v.text).substr(item.offset, item.length);
      const TAdifField* f = present[item.index];
      if (!AdifCanFillField(log, f, value)) continue;
      any = true;
      ++s.perField[item.index];
      fills.push_back({ri, kFillNames[item.index], value, true, f});
    }
    if (any) ++s.filledContacts;
    writer.Fill(ri, fills.data(), fills.size());
  }
  result.text = writer.Finish();
  return result;
}

std::string AdifFillSummaryText(const TAdifLog& log, const TAdifFillSummary& s) {
  std::string t;
  for (const TAdifProblem& p : log.Problems()) t += AdifProblemText(p) + "\n";
  t += "contacts read: " + std::to_string(s.contacts) + "\n";
  t += "contacts with a field filled: " + std::to_string(s.filledContacts) + "\n";
  for (size_t i = 0; i < kAdifFillFields.size(); ++i)
    if (s.perField[i])
      t += "  " + std::string(kAdifFillFields[i]) + ": " + std::to_string(s.perField[i]) + "\n";
  t += "calls not found: " + std::to_string(s.notFound);
  if (!s.notFoundCalls.empty()) {
    t += " (";
    for (size_t i = 0; i < s.notFoundCalls.size() && i < 20; ++i)
      t += (i ? " " : "") + s.notFoundCalls[i];
    t += s.notFoundCalls.size() > 20 ? " ...)" : ")";
  }
  t += "\n";
  if (s.noCall) t += "contacts without a call: " + std::to_string(s.noCall) + "\n";
  t += "contacts before the licence's grant date (name and address not filled): " +
       std::to_string(s.dateRule) + "\n";
  t += "contacts logged elsewhere (place not filled): " + std::to_string(s.elsewhere) + "\n";
  t += "records that could not be read: " + std::to_string(s.unreadable) + "\n";
  return t;
}

TAdifFillOutcome AdifFillOutcome(const TAdifFillSummary& s) {
  return s.unreadable ? TAdifFillOutcome::Unreadable
         : s.notFound ? TAdifFillOutcome::NotFound
                      : TAdifFillOutcome::AllFound;
}

std::string AdifWriteFailureText(const TSafeFileResult& r) {
  switch (r.error) {
    case TSafeFileError::NotWritable:
      return r.message + " (--force replaces it all the same)";
    case TSafeFileError::HardLinked:
      return r.message + " (--adif-out writes the filled log to another file)";
    default:
      return r.message;
  }
}

namespace {
// A refused or failed safe read or write as a status, with the text it comes with.
TStatus SafeFileStatus(const TSafeFileResult& r, const std::string& text) {
  return TStatus::WithMessage(
      r.error == TSafeFileError::System ? TStatusCode::IOError : TStatusCode::InvalidArgument,
      text);
}
}  // namespace

TResult<TAdifFillSummary> FillAdifFile(const TAdifFileJob& job, TAdifSource& source,
                                       std::ostream& stdOut, std::ostream& err,
                                       std::string_view prefix) {
  std::string text;
  if (const TSafeFileResult read = ReadRegularFile(job.in, text); !read)
    return SafeFileStatus(read, read.message);
  const TAdifLog log = TAdifLog::Parse(std::move(text));
  const TAdifFillResult filled = FillAdifLog(log, source, job.charset, job.allowSample);
  if (filled.summary.synthetic > 0) {
    const std::vector<std::string>& shown = filled.summary.syntheticCalls;
    std::string calls;
    for (size_t k = 0; k < shown.size() && k < 5; ++k) calls += (k ? ", " : "") + shown[k];
    if (shown.size() > 5) calls += ", ...";
    return TStatus::WithMessage(
        TStatusCode::InvalidArgument,
        "refused: " + std::to_string(filled.summary.synthetic) + " contacts (" + calls +
            ") would be filled from invented entries of a sample edition, with names and places "
            "of no real station; nothing was written (--allow-sample fills from the sample "
            "anyway)");
  }
  const std::string target = job.inPlace ? job.in : job.out;
  if (target.empty()) {
    stdOut << filled.text;
    if (!stdOut.flush()) return TStatus::CannotWrite("the log to standard output", "");
  } else if (const TSafeFileResult written =
                 WriteFileSafely(target, filled.text, TSafeWriteOptions{job.force});
             !written) {
    return SafeFileStatus(written, AdifWriteFailureText(written));
  }
  std::string summary = AdifFillSummaryText(log, filled.summary);
  for (size_t at = 0; at < summary.size();) {
    const size_t nl = summary.find('\n', at);
    err << prefix << summary.substr(at, nl - at) << "\n";
    at = nl + 1;
  }
  return filled.summary;
}

TAdifCalls AdifLogCalls(const TAdifLog& log) {
  TAdifCalls c;
  for (const TAdifRecord& r : log.Records()) {
    if (!r.sound) {
      ++c.unreadable;
      continue;
    }
    std::string base = SplitCallParts(AsciiUpper(log.FieldText(r, "CALL"))).base;
    if (base.empty())
      ++c.noCall;
    else
      c.calls.push_back(std::move(base));
  }
  return c;
}

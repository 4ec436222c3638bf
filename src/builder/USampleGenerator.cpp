#include "builder/USampleGenerator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "common/StrUtil.h"
#include "dataset/ULocator.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Random numbers: splitmix64 on a per-entry counter.

constexpr uint64_t kGolden = 0x9E3779B97F4A7C15ULL;
enum TStream : uint64_t { sUS = 1, sIntl = 2, sQsl = 3, sManagerPool = 4 };

uint64_t Mix64(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

class TRng {
 public:
  TRng(uint64_t seed, uint64_t stream, uint64_t index)
      : state_(Mix64(seed + kGolden * stream) ^ Mix64(index * 0xD1B54A32D192ED03ULL + stream)) {}
  uint64_t Next() {
    state_ += kGolden;
    return Mix64(state_);
  }
  uint32_t Below(uint32_t n) {
    return static_cast<uint32_t>((static_cast<unsigned __int128>(Next()) * n) >> 64);
  }
  int Range(int lo, int hi) {
    return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1)));
  }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  bool Chance(double p) { return Unit() < p; }
  char Letter() { return static_cast<char>('A' + Below(26)); }
  char Digit() { return static_cast<char>('0' + Below(10)); }
  template <class T>
  const T& Of(const std::vector<T>& v) {
    return v[Below(static_cast<uint32_t>(v.size()))];
  }

 private:
  uint64_t state_;
};

// Weighted choice by cumulative weights.
class TPicker {
 public:
  void Add(double w) {
    total_ += w > 0 ? w : 0;
    cum_.push_back(total_);
  }
  bool Empty() const { return total_ <= 0; }
  size_t Pick(TRng& r) const {
    const double x = r.Unit() * total_;
    const size_t i = std::upper_bound(cum_.begin(), cum_.end(), x) - cum_.begin();
    return std::min(i, cum_.size() - 1);
  }

 private:
  std::vector<double> cum_;
  double total_ = 0;
};

TPicker PickerOf(const std::vector<TWeightedText>& v) {
  TPicker p;
  for (const auto& w : v) p.Add(w.weight);
  return p;
}

// ---------------------------------------------------------------------------------------------
// Texts

std::string Fixed(double v, int decimals) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return "0";
  std::string s(buf, p);
  if (s.find_first_not_of("-0.") == std::string::npos)
    s = std::string("0.") + std::string(decimals, '0');
  return s;
}

// Days since 1970-01-01 of a civil date, and back.
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}
void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}
std::string DateText(int y, int m, int d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d%02d%04d", m, d, y);
  return buf;
}
std::string RandomDate(TRng& r, int64_t from, int64_t to) {
  int y, m, d;
  CivilFromDays(from + r.Below(static_cast<uint32_t>(to - from + 1)), y, m, d);
  return DateText(y, m, d);
}

// Fills a pattern: '#' a digit (the first one never 0 when leading), '?' a letter, '*' a letter
// or digit, anything else literal.
std::string FillPattern(TRng& r, std::string_view pattern, bool noLeadingZero) {
  std::string s;
  s.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '#')
      s += (noLeadingZero && s.empty()) ? static_cast<char>('1' + r.Below(9)) : r.Digit();
    else if (c == '?')
      s += r.Letter();
    else if (c == '*')
      s += r.Chance(0.5) ? r.Letter() : r.Digit();
    else
      s += c;
  }
  return s;
}

std::string TitleCase(std::string_view s) {
  std::string r = AsciiLower(s);
  bool start = true;
  for (char& c : r) {
    if (start && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    start = !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '\'');
  }
  return r;
}

std::string StoredCall(std::string call) {
  std::replace(call.begin(), call.end(), '0', '<');
  return call;
}

uint64_t CallKey(std::string_view call) {
  uint64_t k = 0;
  for (char c : call) k = (k << 8) | static_cast<unsigned char>(c);
  return k;
}

// Degree distance squared, longitude scaled by cos(latitude) from a polynomial (exact arithmetic
// only, so the nearest choice does not depend on the maths library).
double Dist2(double lat1, double lon1, double lat2, double lon2) {
  const double x = (lat1 + lat2) * (3.141592653589793 / 360.0);
  const double x2 = x * x;
  const double c = 1 - x2 / 2 + x2 * x2 / 24 - x2 * x2 * x2 / 720;
  const double dx = (lon1 - lon2) * c;
  const double dy = lat1 - lat2;
  return dx * dx + dy * dy;
}

using TFields = TEntryFields;

void Put(TFields& f, int tag, std::string_view text) {
  if (!text.empty()) f.emplace_back(tag, text);
}

// The entry gets the fields with no spare room; the scratch list keeps its room for the next.
void Commit(TBuildEntry& e, TFields& scratch) {
  e.fields.AssignCompact(scratch);
  scratch.clear();
}

// The calls given so far (CallKey values): open addressing with linear probing, sized up front.
class TCallSet {
 public:
  explicit TCallSet(size_t expected) {
    size_t n = 1024;
    while (n < expected * 2) n *= 2;
    slots_.assign(n, 0);
  }
  // False when the call was given already.
  bool insert(uint64_t key) {
    if (key == 0) return !std::exchange(hasZero_, true);
    if (2 * (count_ + 1) > slots_.size()) Grow();
    return Place(slots_, key);
  }

 private:
  static size_t Slot(uint64_t key, size_t n) { return Mix64(key) & (n - 1); }
  bool Place(std::vector<uint64_t>& slots, uint64_t key) {
    for (size_t i = Slot(key, slots.size());; i = (i + 1) & (slots.size() - 1)) {
      if (slots[i] == key) return false;
      if (slots[i] == 0) {
        slots[i] = key;
        ++count_;
        return true;
      }
    }
  }
  void Grow() {
    std::vector<uint64_t> old(slots_.size() * 2, 0);
    old.swap(slots_);
    count_ = 0;
    for (const uint64_t k : old)
      if (k != 0) Place(slots_, k);
  }
  std::vector<uint64_t> slots_;
  size_t count_ = 0;
  bool hasZero_ = false;
};

const std::vector<std::string> kMiddleLetters = {"A", "B", "C", "D", "E", "F", "G", "H", "J",
                                                 "K", "L", "M", "N", "P", "R", "S", "T", "W"};
const std::vector<std::string> kUSComments = {
    "ARRL MEMBER", "QSL VIA BURO",  "QSL DIRECT ONLY", "ARES/RACES",      "SKYWARN SPOTTER",
    "QCWA MEMBER", "FISTS CW CLUB", "10-10 INTL",      "DXCC HONOR ROLL", "VE TEAM MEMBER",
    "MARS MEMBER", "CW ONLY",       "QRP ENTHUSIAST",  "NO QSL",          "AMSAT MEMBER"};
const std::vector<std::string> kIntlComments = {
    "QSL via bureau",  "QSL direct only",
    "CW only",         "QRP",
    "DXCC Honor Roll", "IOTA chaser",
    "SSTV and RTTY",   "Satellite operator",
    "Contest station", "Member of the national society"};
const std::vector<std::string> kUSMailHosts = {"aol.com",  "compuserve.com", "prodigy.net",
                                               "juno.com", "earthlink.net",  "arrl.net",
                                               "qsl.net",  "mindspring.com", "netcom.com"};
const std::vector<std::string> kIntlMailHosts = {"compuserve.com", "qsl.net", "hotmail.com",
                                                 "yahoo.com", "aol.com"};
const std::vector<std::string> kQslInfo = {
    "Direct only", "Direct or buro", "Buro only", "SASE",        "SAE + 2 IRC",
    "SASE + $1",   "Direct + 1 IRC", "Via buro",  "Green stamp", "SAE + 1 IRC"};
const std::vector<std::string> kClubWords = {
    "AMATEUR RADIO CLUB",   "RADIO CLUB",     "ARC",          "AMATEUR RADIO SOCIETY",
    "REPEATER ASSOCIATION", "DX ASSOCIATION", "CONTEST CLUB", "EMERGENCY RADIO ASSN"};

// ---------------------------------------------------------------------------------------------
// U.S. entries

enum TUSGroup { gA, gB, gC, gD };

struct TUSContext {
  const TSourceTables& t;
  std::vector<size_t> zipIndex;  // populated ZIPs with a known state
  TPicker zipPicker;
  std::vector<const TUSStateRow*> zipState;
  std::vector<std::string> zipAreaCode;
  std::vector<std::string> zipEntity;  // DXCC entity name per zipIndex
  std::vector<int> decades;
  TPicker decadePicker;
  std::map<std::pair<int, char>, TPicker> firstPickers;
  TPicker surnamePicker, streetPicker, suffixPicker;

  explicit TUSContext(const TSourceTables& tables) : t(tables) {
    std::unordered_map<std::string, std::vector<const TAreaCodeRow*>> codesByState;
    for (const auto& a : t.areaCodes) codesByState[a.state].push_back(&a);
    for (size_t i = 0; i < t.zips.size(); ++i) {
      const TZipRow& z = t.zips[i];
      const TUSStateRow* st = t.FindState(z.state);
      if (!st || z.population <= 0) continue;
      zipIndex.push_back(i);
      zipPicker.Add(z.population);
      zipState.push_back(st);
      // Area code: nearest centroid in the state, else nearest anywhere.
      const auto it = codesByState.find(z.state);
      const TAreaCodeRow* best = nullptr;
      double bestD = 0;
      auto consider = [&](const TAreaCodeRow* a) {
        const double d = Dist2(z.lat, z.lon, a->lat, a->lon);
        if (!best || d < bestD) best = a, bestD = d;
      };
      if (it != codesByState.end())
        for (const auto* a : it->second) consider(a);
      else
        for (const auto& a : t.areaCodes) consider(&a);
      zipAreaCode.push_back(best ? best->code : std::string());
      const TDxccRow* dx = t.FindDxcc(st->dxcc);
      zipEntity.push_back(dx ? dx->name : std::string("United States"));
    }
    if (zipIndex.empty())
      throw EStatusError(TStatus::Corrupt("The ZIP table has no populated ZIP of a known state"));
    // Decade of birth of licensees around 1999.
    const std::pair<int, double> decadeShare[] = {{1900, 1},  {1910, 4},  {1920, 11},
                                                  {1930, 19}, {1940, 24}, {1950, 21},
                                                  {1960, 12}, {1970, 6},  {1980, 2}};
    for (auto [d, w] : decadeShare) {
      if (!t.firstNames.count({d, 'M'}) || !t.firstNames.count({d, 'F'})) continue;
      decades.push_back(d);
      decadePicker.Add(w);
    }
    if (decades.empty())
      throw EStatusError(TStatus::Corrupt("The first-name table has no decade 1900-1980"));
    for (const auto& [key, list] : t.firstNames) firstPickers[key] = PickerOf(list);
    if (t.surnames.empty()) throw EStatusError(TStatus::Corrupt("The surname table is empty"));
    surnamePicker = PickerOf(t.surnames);
    if (t.streetNames.empty() || t.streetSuffixes.empty())
      throw EStatusError(TStatus::Corrupt("The street table needs names and suffixes"));
    streetPicker = PickerOf(t.streetNames);
    suffixPicker = PickerOf(t.streetSuffixes);
  }
};

// Second letters of two-letter U.S. prefixes; H, L and P mark the Pacific and Caribbean areas.
constexpr std::string_view kSecondKNW = "ABCDEFGIJKMNOQRSTUVWXYZ";
constexpr std::string_view kSecondA = "ABCDEFGIJK";  // AA-AK without AH

std::string USCall(TRng& r, TUSGroup g, const TUSStateRow& st) {
  const char d = st.district;
  std::string c;
  auto letters = [&](int n) {
    for (int i = 0; i < n; ++i) c += r.Letter();
  };
  if (!st.prefixes.empty()) {
    std::vector<const std::string*> a, other;
    for (const auto& p : st.prefixes) (p[0] == 'A' ? a : other).push_back(&p);
    if (g == gA && !a.empty()) {
      c = *a[r.Below(static_cast<uint32_t>(a.size()))];
      letters(r.Chance(0.2) ? 1 : 2);
    } else {
      const auto& pool = other.empty() ? a : other;
      c = *pool[r.Below(static_cast<uint32_t>(pool.size()))];
      letters(g <= gB ? 2 : 3);
    }
    return c;
  }
  const char knw[] = {'K', 'N', 'W'};
  switch (g) {
    case gA: {
      const double u = r.Unit();
      if (u < 0.35) {
        c += knw[r.Below(3)];
        c += d;
        letters(2);
      } else if (u < 0.55) {
        const uint32_t n = r.Below(static_cast<uint32_t>(kSecondA.size() + 3 * kSecondKNW.size()));
        if (n < kSecondA.size()) {
          c = {'A', kSecondA[n]};
        } else {
          const uint32_t k = n - static_cast<uint32_t>(kSecondA.size());
          c = {knw[k / kSecondKNW.size()], kSecondKNW[k % kSecondKNW.size()]};
        }
        c += d;
        letters(1);
      } else {
        c = {'A', kSecondA[r.Below(static_cast<uint32_t>(kSecondA.size()))]};
        c += d;
        letters(2);
      }
      break;
    }
    case gB:
      c = {knw[r.Below(3)], kSecondKNW[r.Below(static_cast<uint32_t>(kSecondKNW.size()))]};
      c += d;
      letters(2);
      break;
    case gC:
      c += knw[r.Below(3)];
      c += d;
      letters(3);
      break;
    case gD:
      c = {r.Chance(0.5) ? 'K' : 'W',
           kSecondKNW[r.Below(static_cast<uint32_t>(kSecondKNW.size()))]};
      c += d;
      letters(3);
      break;
  }
  return c;
}

TUSGroup GroupForClass(TRng& r, char cls) {
  const double u = r.Unit();
  switch (cls) {
    case 'E':
      return u < 0.45 ? gA : u < 0.55 ? gB : u < 0.8 ? gC : gD;
    case 'A':
      return u < 0.5 ? gB : u < 0.75 ? gC : gD;
    case 'G':
      return u < 0.4 ? gC : gD;
    case 'P':
      return u < 0.3 ? gC : gD;
    case 'T':
      return u < 0.25 ? gC : gD;
    case 'B':
      return u < 0.4 ? gC : gD;
    default:
      return gD;
  }
}

char LowerClass(TRng& r, char cls) {
  switch (cls) {
    case 'E':
      return r.Chance(0.7) ? 'A' : 'G';
    case 'A':
      return 'G';
    case 'G':
      return r.Chance(0.5) ? 'P' : (r.Chance(0.6) ? 'T' : 'N');
    case 'P':
      return r.Chance(0.7) ? 'T' : 'N';
    default:
      return 'N';
  }
}

struct TQslRequest {
  bool intl;
  size_t index;
};

void MakeUSEntry(const TUSContext& cx, TRng& r, TCallSet& calls, TBuildEntry& e, TFields& f,
                 std::vector<TQslRequest>& qsl, size_t index) {
  const size_t zi = cx.zipPicker.Pick(r);
  const TZipRow& z = cx.t.zips[cx.zipIndex[zi]];
  const TUSStateRow& st = *cx.zipState[zi];

  // Class and call.
  const bool club = r.Chance(0.012);
  char cls = 'B';
  if (!club) {
    const double u = r.Unit();
    cls = u < 0.34 ? 'T' : u < 0.52 ? 'P' : u < 0.69 ? 'G' : u < 0.83 ? 'A' : u < 0.93 ? 'E' : 'N';
  }
  const bool vanity = !club && cls != 'N' && r.Chance(0.045);
  TUSGroup g = vanity ? (cls == 'E' ? gA : cls == 'A' ? gB : gC) : GroupForClass(r, cls);
  std::string call;
  for (int tries = 0;; ++tries) {
    if (tries > 0 && tries % 16 == 0 && g != gD) g = static_cast<TUSGroup>(g + 1);
    if (tries == 100000)
      throw EStatusError(TStatus::InvalidArgument("No free call left in call district " +
                                                  std::string(1, st.district) + " of " + st.state));
    call = USCall(r, g, st);
    if (calls.insert(CallKey(call))) break;
  }

  // Dates: issued from 1989 to mid-1999 (vanity calls from mid-1996), ten-year term.
  const int64_t from = vanity ? DaysFromCivil(1996, 5, 31) : DaysFromCivil(1989, 1, 1);
  int y, m, d;
  CivilFromDays(from + r.Below(static_cast<uint32_t>(DaysFromCivil(1999, 6, 30) - from + 1)), y, m,
                d);
  const std::string issued = DateText(y, m, d);
  const std::string expires = DateText(y + 10, m, (m == 2 && d == 29) ? 28 : d);

  // Previous call and class: every vanity holder, and some who upgraded and took a new call.
  std::string prevCall, prevClass;
  if (vanity || ((cls == 'E' || cls == 'A' || cls == 'G') && r.Chance(0.22))) {
    const TUSGroup pg =
        vanity ? (r.Chance(0.6) ? gD : gC) : (g == gD ? gD : static_cast<TUSGroup>(g + 1));
    prevCall = USCall(r, pg, st);
    if (prevCall == call)
      prevCall.clear();
    else
      prevClass = std::string(1, vanity && r.Chance(0.6) ? cls : LowerClass(r, cls));
  }

  // Coordinates near the ZIP's point; the longitude stored west-positive.
  const double lat = z.lat + (r.Unit() - 0.5) * 0.04;
  const double lon = z.lon + (r.Unit() - 0.5) * 0.05;

  // Name.
  std::string first, middle, last, suffix, name;
  if (club) {
    const double u = r.Unit();
    if (u < 0.5)
      last = UpperCp437(z.city) + " " + r.Of(kClubWords);
    else if (u < 0.8)
      last = UpperCp437(z.county) + " COUNTY " + r.Of(kClubWords);
    else
      last = AsciiUpper(cx.t.surnames[cx.surnamePicker.Pick(r)].text) + " MEMORIAL " +
             r.Of(kClubWords);
    name = last;
  } else {
    const char sex = r.Chance(0.88) ? 'M' : 'F';
    const int decade = cx.decades[cx.decadePicker.Pick(r)];
    const auto& list = cx.t.firstNames.at({decade, sex});
    first = AsciiUpper(list[cx.firstPickers.at({decade, sex}).Pick(r)].text);
    if (r.Chance(0.72)) middle = r.Of(kMiddleLetters);
    last = AsciiUpper(cx.t.surnames[cx.surnamePicker.Pick(r)].text);
    if (sex == 'M') {
      const double u = r.Unit();
      suffix = u < 0.03 ? "JR" : u < 0.04 ? "SR" : u < 0.045 ? "II" : u < 0.05 ? "III" : "";
    }
    name = first + (middle.empty() ? "" : " " + middle) + " " + last +
           (suffix.empty() ? "" : " " + suffix);
  }

  // Street.
  std::string street;
  const double su = r.Unit();
  if (su < 0.08) {
    street = "PO BOX " + std::to_string(r.Range(1, r.Chance(0.5) ? 999 : 9999));
  } else if (su < 0.12) {
    street = "RR " + std::to_string(r.Range(1, 9)) + " BOX " + std::to_string(r.Range(1, 399));
  } else {
    const int digits = 1 + static_cast<int>(r.Below(r.Chance(0.7) ? 4 : 5));
    int house = r.Range(1, 9);
    for (int i = 1; i < digits; ++i) house = house * 10 + static_cast<int>(r.Below(10));
    street = std::to_string(house) + " ";
    if (r.Chance(0.1)) street += std::string(1, "NSEW"[r.Below(4)]) + " ";
    if (r.Chance(0.25))
      street += AsciiUpper(cx.t.surnames[r.Below(std::min<uint32_t>(
                                             2000, static_cast<uint32_t>(cx.t.surnames.size())))]
                               .text);
    else
      street += cx.t.streetNames[cx.streetPicker.Pick(r)].text;
    street += " " + cx.t.streetSuffixes[cx.suffixPicker.Pick(r)].text;
  }
  const std::string city = UpperCp437(z.city);

  Put(f, utCall, StoredCall(call));
  Put(f, utState, z.state);
  Put(f, utZIP, z.zip);
  Put(f, utClass, std::string(1, cls));
  Put(f, utIssued, issued);
  Put(f, utExpires, expires);
  if (club) Put(f, utExtra, "TRUSTEE " + USCall(r, r.Chance(0.5) ? gC : gD, st));
  Put(f, utLongitude, Fixed(-lon, 4));
  Put(f, utLatitude, Fixed(lat, 4));
  Put(f, utAreaCode, cx.zipAreaCode[zi]);
  Put(f, utCounty, z.county);
  Put(f, utTimeZone, z.timeZone);
  Put(f, utAddress, name + ", " + street + ", " + city);
  Put(f, utCountry, "United States");
  Put(f, utDxcc, cx.zipEntity[zi]);
  if (!prevCall.empty()) {
    Put(f, utPrevCall, prevCall);
    Put(f, utPrevClass, prevClass);
  }
  Put(f, utVanity, vanity ? "T" : "F");
  if (r.Chance(0.015)) Put(f, utComments, r.Of(kUSComments));
  if (r.Chance(0.01) && !cx.zipAreaCode[zi].empty())
    Put(f, utFax,
        "(" + cx.zipAreaCode[zi] + ") " + std::to_string(r.Range(200, 999)) + "-" +
            Fixed(r.Range(0, 9999) / 10000.0, 4).substr(2));
  if (r.Chance(0.03)) {
    const double u = r.Unit();
    std::string user = u < 0.5 ? AsciiLower(call)
                               : AsciiLower(club ? call : first.substr(0, 1) + last.substr(0, 7));
    user.erase(
        std::remove_if(user.begin(), user.end(),
                       [](char c) { return !((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')); }),
        user.end());
    Put(f, utEMail, user + "@" + r.Of(kUSMailHosts));
  }
  if (r.Chance(0.0005)) qsl.push_back({false, index});

  e.db = TDatabase::US;
  e.surname = last;
  e.firstName = first;
  Commit(e, f);
}

// ---------------------------------------------------------------------------------------------
// International entries

struct TIntlEntity {
  const TDxccRow* dxcc = nullptr;
  std::string locale;
  std::vector<TCallPattern> calls;
  TPicker callPicker;
  std::string digits;
  std::vector<TWeightedText> classes;
  TPicker classPicker;
  std::vector<const TCityRow*> cities;
  TPicker cityPicker;
  double weight = 0;
  double qslShare = 0;
};

bool IsUSLicensed(const TDxccRow& d) {
  static const std::unordered_set<std::string> usIso = {"US", "PR", "VI", "GU", "AS", "MP", "UM"};
  if (usIso.count(d.iso)) return true;
  const char c = d.prefix.empty() ? ' ' : d.prefix[0];
  if (c == 'K' || c == 'N' || c == 'W') return true;
  return c == 'A' && d.prefix.size() > 1 && d.prefix[1] >= 'A' && d.prefix[1] <= 'L';
}

struct TIntlContext {
  const TSourceTables& t;
  TEntityTable resolver;  // the country file: a call's prefix must name its town's entity
  std::vector<TIntlEntity> entities;
  std::map<std::pair<std::string, std::string>, std::string> areas;  // (dxcc, admin1) -> area
  TLocaleNames neutral;

  explicit TIntlContext(const TSourceTables& tables) : t(tables) {
    if (!t.country.Empty()) resolver.SetCountryFile(t.country);
    std::unordered_map<std::string, std::vector<const TCityRow*>> citiesOf;
    for (const auto& c : t.cities) citiesOf[c.dxcc].push_back(&c);
    for (const auto& a : t.callAreas) areas[{a.dxcc, a.admin1}] = a.area;

    std::unordered_set<std::string> listed;
    auto addEntity = [&](TIntlEntity ent) {
      auto it = citiesOf.find(ent.dxcc->prefix);
      if (it == citiesOf.end() || ent.weight <= 0) return;
      ent.cities = it->second;
      for (const auto* c : ent.cities) {
        // Amateurs grow less than linearly with the size of a town: population^(3/4).
        const double p = c->population > 1 ? c->population : 1;
        ent.cityPicker.Add(p / std::sqrt(std::sqrt(p)));
      }
      for (const auto& cp : ent.calls) ent.callPicker.Add(cp.weight);
      ent.classPicker = PickerOf(ent.classes);
      ent.qslShare = ent.weight >= 100 ? 0.002 : ent.weight >= 10 ? 0.015 : 0.08;
      entities.push_back(std::move(ent));
    };
    for (const auto& l : t.licensing) {
      const TDxccRow* d = t.FindDxcc(l.dxcc);
      if (!d)
        throw EStatusError(
            TStatus::Corrupt("dx_licensing.tsv: entity \"" + l.dxcc + "\" is not in dxcc.tsv"));
      listed.insert(l.dxcc);
      TIntlEntity ent;
      ent.dxcc = d;
      ent.locale = l.locale;
      ent.calls = l.calls;
      ent.digits = l.digits;
      ent.classes = l.classes;
      ent.weight = l.weight;
      addEntity(std::move(ent));
    }
    // Entities with towns but without licensing rules: a small share with a generic pattern.
    for (const auto& d : t.dxcc) {
      if (listed.count(d.prefix) || IsUSLicensed(d) || d.prefixes.empty()) continue;
      std::string pfx;
      for (const auto& p : d.prefixes)
        if (p.size() >= 2 && p.size() <= 3 && std::all_of(p.begin(), p.end(), [](char c) {
              return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
            })) {
          pfx = p;
          break;
        }
      if (pfx.empty()) continue;
      TIntlEntity ent;
      ent.dxcc = &d;
      const bool endsDigit = pfx.back() >= '0' && pfx.back() <= '9';
      ent.calls = {{pfx + (endsDigit ? "@@" : "#@@"), 1, ""}};
      ent.classes = {{"General", 1}};
      ent.weight = 0.3;
      addEntity(std::move(ent));
    }
    if (entities.empty())
      throw EStatusError(TStatus::Corrupt("No International entity has towns in world_cities.tsv"));
    // Neutral names: census first names and surnames, generic streets.
    for (const auto& [key, list] : t.firstNames)
      if (key.first == 1950)
        for (size_t i = 0; i < list.size() && i < 150; ++i)
          (key.second == 'M' ? neutral.firstM : neutral.firstF).push_back(TitleCase(list[i].text));
    for (size_t i = 0; i < t.surnames.size() && i < 3000; ++i)
      neutral.lastM.push_back(TitleCase(t.surnames[i].text));
    neutral.lastF = neutral.lastM;
    static const char* const kKinds[] = {"Street", "Road", "Avenue", "Lane"};
    for (size_t i = 0; i < t.streetNames.size() && i < 200; ++i)
      neutral.streets.push_back(TitleCase(t.streetNames[i].text) + " " + kKinds[i % 4]);
    neutral.postcodes = {"####", "#####"};
    neutral.houses = {"##", "#", "###"};
    neutral.order = "number street";
    if (neutral.firstM.empty() || neutral.firstF.empty() || neutral.lastM.empty() ||
        neutral.streets.empty())
      throw EStatusError(
          TStatus::Corrupt("The U.S. name tables are too small for the neutral name set"));
  }

  const TLocaleNames& NamesOf(const std::string& locale) const {
    auto it = t.locales.find(locale);
    if (it == t.locales.end()) return neutral;
    const TLocaleNames& ln = it->second;
    if (ln.firstM.empty() || ln.firstF.empty() || ln.lastM.empty() || ln.lastF.empty() ||
        ln.streets.empty())
      return neutral;
    return ln;
  }
};

// A digit, or '#' for one of the entity's digits.
bool IsAreaDigit(char c) { return (c >= '0' && c <= '9') || c == '#'; }

// Expands a call pattern. area: empty; a digit; a whole prefix with digit (VY1); or the digit
// (or '#', a digit of digits) with the suffix's first letters, which take the place of as many
// of the pattern's letters (9C: Sverdlovsk oblast; #H: Cordoba).
std::string ExpandCall(TRng& r, std::string_view pattern, const std::string& area,
                       const std::string& digits) {
  std::string c;
  size_t lettersTaken = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char p = pattern[i];
    if (p == '@') {
      if (lettersTaken > 0)
        --lettersTaken;
      else
        c += r.Letter();
    } else if (p == '#') {
      if (area.size() > 1 && IsAreaDigit(area[0])) {
        const std::string part = ExpandCall(r, area, {}, digits);
        c += part;
        lettersTaken = part.size() - 1;
      } else if (area.size() > 1) {
        c = area;  // the area's own prefix replaces what came before
      } else if (area.size() == 1) {
        c += area;
      } else if (!digits.empty()) {
        c += digits[r.Below(static_cast<uint32_t>(digits.size()))];
      } else {
        c += r.Digit();
      }
    } else if (p == '[') {
      const size_t end = pattern.find(']', i);
      if (end == std::string_view::npos) {
        c += p;
        continue;
      }
      std::string set;
      for (size_t k = i + 1; k < end; ++k) {
        if (k + 2 < end && pattern[k + 1] == '-') {
          for (char x = pattern[k]; x <= pattern[k + 2]; ++x) set += x;
          k += 2;
        } else {
          set += pattern[k];
        }
      }
      if (!set.empty()) c += set[r.Below(static_cast<uint32_t>(set.size()))];
      i = end;
    } else {
      c += p;
    }
  }
  return c;
}

// Entities whose call space is used up (48 draws in a row found only taken calls) leave the draw.
struct TIntlDraw {
  std::vector<char> full;
  TPicker live;
  size_t liveCount = 0;

  explicit TIntlDraw(const std::vector<TIntlEntity>& ents) : full(ents.size(), 0) { Rebuild(ents); }
  void Rebuild(const std::vector<TIntlEntity>& ents) {
    live = TPicker();
    liveCount = 0;
    for (size_t i = 0; i < ents.size(); ++i) {
      live.Add(full[i] ? 0 : ents[i].weight);
      if (!full[i]) ++liveCount;
    }
  }
};

void MakeIntlEntry(const TIntlContext& cx, TIntlDraw& draw, TRng& r, TCallSet& calls,
                   TBuildEntry& e, TFields& f, std::vector<TQslRequest>& qsl, size_t index) {
  const TIntlEntity* ent = nullptr;
  const TCityRow* city = nullptr;
  std::string call, fixedClass;
  while (call.empty()) {
    if (draw.liveCount == 0 || draw.live.Empty())
      throw EStatusError(TStatus::InvalidArgument(
          "The International call patterns cannot supply this many unique calls"));
    const size_t ei = draw.live.Pick(r);
    ent = &cx.entities[ei];
    city = ent->cities[ent->cityPicker.Pick(r)];
    std::string area;
    if (auto it = cx.areas.find({ent->dxcc->prefix, city->admin1}); it != cx.areas.end())
      area = it->second;
    for (int tries = 0; tries < 48; ++tries) {
      const TCallPattern& p = ent->calls[ent->callPicker.Pick(r)];
      std::string c = ExpandCall(r, p.pattern, area, ent->digits);
      if (c.size() > 6) c.resize(6);
      // Only a call whose prefix the country file gives the town's entity (SV5 is the
      // Dodecanese, not mainland Greece; R9F is European Russia).
      if (!cx.resolver.Empty()) {
        const auto place = cx.resolver.ResolveCall(c);
        if (!place || place->code != ent->dxcc->dxcc) continue;
      }
      if (calls.insert(CallKey(c))) {
        call = std::move(c);
        fixedClass = p.fixedClass;
        break;
      }
    }
    if (call.empty()) {
      draw.full[ei] = 1;
      draw.Rebuild(cx.entities);
    }
  }
  const TLocaleNames& ln = cx.NamesOf(ent->locale);
  const bool male = r.Chance(0.94);
  const std::string& first = r.Of(male ? ln.firstM : ln.firstF);
  const std::string& last = r.Of(male ? ln.lastM : ln.lastF);
  const std::string house =
      FillPattern(r, ln.houses.empty() ? std::string("##") : r.Of(ln.houses), true);
  const std::string& streetName = r.Of(ln.streets);
  std::string street = ln.order == "number street"    ? house + " " + streetName
                       : ln.order == "street, number" ? streetName + ", " + house
                                                      : streetName + " " + house;
  // Only a postcode the town really has; none where no public table gives one.
  const std::string postcode = city->postcodes.empty() ? std::string() : r.Of(city->postcodes);
  const std::string address = first + " " + last + ", " + street + ", " +
                              (postcode.empty() ? "" : postcode + " ") + city->name;

  const std::string cls =
      !fixedClass.empty() ? fixedClass : ent->classes[ent->classPicker.Pick(r)].text;
  const double lat = std::clamp(city->lat + (r.Unit() - 0.5) * 0.06, -89.99, 89.99);
  double lon = city->lon + (r.Unit() - 0.5) * 0.06;
  if (lon >= 180) lon -= 360;
  if (lon < -180) lon += 360;
  const std::string locator = CoordToLocator(Fixed(-lon, 4), Fixed(lat, 4));

  Put(f, itCall, StoredCall(call));
  Put(f, itClass, cls);
  Put(f, itAddress, address);
  Put(f, itCountry, ent->dxcc->country.empty() ? ent->dxcc->name : ent->dxcc->country);
  Put(f, itDxcc, ent->dxcc->name);
  if (r.Chance(0.01)) Put(f, itComments, r.Of(kIntlComments));
  if (r.Chance(0.01))
    Put(f, itFax,
        "+" + std::to_string(r.Range(20, 99)) + " " + std::to_string(r.Range(10, 999)) + " " +
            std::to_string(r.Range(100000, 9999999)));
  if (r.Chance(0.02)) Put(f, itEMail, AsciiLower(call) + "@" + r.Of(kIntlMailHosts));
  Put(f, itLocator, locator);
  if (r.Chance(ent->qslShare)) qsl.push_back({true, index});

  e.db = TDatabase::Intl;
  e.surname = last;
  e.firstName = first;
  Commit(e, f);
}

// Inserts a field before the first field with a greater tag.
void InsertField(TBuildEntry& e, int tag, const std::string& text) {
  TEntryFields f;
  f.AssignCompact(e.fields);
  f.InsertByTag(tag, text);
  e.fields.AssignCompact(f);
}

std::string PlainCall(const TBuildEntry& e) {
  std::string c = e.FieldOr(1);
  std::replace(c.begin(), c.end(), '<', '0');
  return c;
}

void AddQslManagers(TBuildInput& in, const std::vector<TQslRequest>& requests, uint64_t seed) {
  if (requests.empty()) return;
  // Managers: a pool of experienced U.S. operators (Extra and Advanced), else of any entries.
  std::vector<std::string> pool;
  for (size_t i = 0; i < in.us.size() && pool.size() < 400; ++i) {
    const std::string cls = in.us[i].FieldOr(utClass);
    if ((cls == "E" || cls == "A") && Mix64(seed ^ (i * kGolden + sManagerPool)) % 64 == 0)
      pool.push_back(PlainCall(in.us[i]));
  }
  for (size_t i = 0; i < in.intl.size() && pool.size() < 40; ++i)
    if (Mix64(seed ^ (i * kGolden + sManagerPool)) % 16 == 0) pool.push_back(PlainCall(in.intl[i]));
  if (pool.empty()) pool = {"W3HNK", "K1XM"};
  const int64_t from = DaysFromCivil(1997, 1, 1), to = DaysFromCivil(1999, 6, 30);
  for (size_t k = 0; k < requests.size(); ++k) {
    TRng r(seed, sQsl, k);
    TBuildEntry& e = requests[k].intl ? in.intl[requests[k].index] : in.us[requests[k].index];
    TQslManager m;
    m.call = Cut(PlainCall(e), 13);
    size_t pi = r.Below(static_cast<uint32_t>(pool.size()));
    if (pool[pi] == m.call) pi = (pi + 1) % pool.size();
    m.manager = Cut(pool[pi], 13);
    m.info = Cut(r.Of(kQslInfo), 15);
    m.date = RandomDate(r, from, to);
    in.qslManagers.push_back(std::move(m));
    InsertField(e, requests[k].intl ? static_cast<int>(itQslMgr) : static_cast<int>(utQslMgr),
                std::to_string(in.qslManagers.size()));
  }
}

}  // namespace

// An Extra class call of the 2x1 kind, in call district 1.
constexpr const char* kStartCall = "AA1A";

// Gives a personal entry of call district 1 the start call; false for any other entry.
bool GiveStartCall(const TSourceTables& tables, TBuildEntry& e) {
  const TUSStateRow* st = tables.FindState(e.FieldOr(utState));
  if (!st || st->district != '1' || !st->prefixes.empty() || e.FieldOr(utClass) == "B")
    return false;
  e.fields.Set(utCall, StoredCall(kStartCall));
  e.fields.Set(utClass, "E");
  return true;
}

TBuildInput GenerateSample(const TSourceTables& tables, int usCount, int intlCount, uint64_t seed,
                           const TAfterIntl& afterIntl) {
  if (usCount < 0 || intlCount < 0)
    throw EStatusError(TStatus::InvalidArgument("Entry counts must not be negative"));
  TBuildInput in;
  in.title = kSampleEditionTitle;
  std::vector<TQslRequest> qslIntl, qslUS;
  TProgressFeed usMade;
  // The databases draw from streams of their own, so they are made side by side.
  const auto makeIntl = [&] {
    if (intlCount <= 0) return;
    const TIntlContext cx(tables);
    TIntlDraw draw(cx.entities);
    TCallSet calls(static_cast<size_t>(intlCount));
    TFields scratch;
    scratch.reserve(512);
    in.intl.resize(static_cast<size_t>(intlCount));
    for (size_t i = 0; i < in.intl.size(); ++i) {
      TRng r(seed, sIntl, i);
      MakeIntlEntry(cx, draw, r, calls, in.intl[i], scratch, qslIntl, i);
    }
  };
  const auto makeUS = [&] {
    if (usCount <= 0) return;
    const TUSContext cx(tables);
    TCallSet calls(static_cast<size_t>(usCount));
    TFields scratch;
    scratch.reserve(512);
    in.us.resize(static_cast<size_t>(usCount));
    // The desktop program's start call: kept free for the first entry of call district 1.
    calls.insert(CallKey(kStartCall));
    bool startCallGiven = false;
    for (size_t i = 0; i < in.us.size(); ++i) {
      TRng r(seed, sUS, i);
      MakeUSEntry(cx, r, calls, in.us[i], scratch, qslUS, i);
      if (!startCallGiven) startCallGiven = GiveStartCall(tables, in.us[i]);
      if ((i & 0xFFF) == 0xFFF) usMade.Publish(i + 1);
    }
    usMade.Publish(in.us.size());
  };
  std::exception_ptr intlFailure;
  std::thread intlThread([&] {
    try {
      makeIntl();
      if (afterIntl) afterIntl(in.intl, in.us, static_cast<size_t>(std::max(usCount, 0)), usMade);
    } catch (...) {
      intlFailure = std::current_exception();
    }
  });
  try {
    makeUS();
  } catch (...) {
    usMade.Stop();
    intlThread.join();
    throw;
  }
  intlThread.join();
  if (intlFailure) std::rethrow_exception(intlFailure);
  qslIntl.insert(qslIntl.end(), qslUS.begin(), qslUS.end());
  AddQslManagers(in, qslIntl, seed);
  return in;
}

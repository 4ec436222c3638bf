#include "dataset/UEntityFile.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/UTextLines.h"
#include "dataset/UDataSet.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

template <class T>
bool Number(std::string_view s, T& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  const auto [p, ec] = std::from_chars(b, e, v);
  return !s.empty() && ec == std::errc() && p == e;
}

bool Zone(std::string_view s, int& v) { return Number(s, v) && v >= 1 && v <= 90; }

}  // namespace

std::optional<int> TZoneRule::Zone(std::optional<double> longitude) const {
  if (west <= 0) return std::nullopt;
  if (east <= 0) return west;
  if (!longitude) return std::nullopt;
  return *longitude < boundary ? west : east;
}

const TEntity* TEntityTable::FindName(std::string_view name) const {
  const std::string n = TrimBlanks(name);
  if (n.empty()) return nullptr;
  for (const TEntity& e : entities_)
    if (SameLetters(e.name, n)) return &e;
  return nullptr;
}

const TEntity* TEntityTable::FindPrefix(std::string_view call) const {
  const std::string c = AsciiUpper(TrimBlanks(call));
  const TEntity* best = nullptr;
  size_t bestLength = 0;
  for (const TEntity& e : entities_)
    for (const std::string& p : e.prefixes)
      if (p.size() > bestLength && c.compare(0, p.size(), p) == 0) best = &e, bestLength = p.size();
  return best;
}

const TEntity* TEntityTable::FindCode(int code) const {
  const auto it = byCode_.find(code);
  return it == byCode_.end() ? nullptr : &entities_[it->second];
}

const TStateZones* TEntityTable::FindState(std::string_view state) const {
  const std::string_view s = TrimBlanksView(state);
  if (s.empty()) return nullptr;
  // The row's abbreviation as written equal to the text in upper case.
  const auto same = [s](std::string_view row) {
    if (row.size() != s.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
      if (row[i] != (s[i] >= 'a' && s[i] <= 'z' ? static_cast<char>(s[i] - 32) : s[i]))
        return false;
    return true;
  };
  for (const TStateZones& z : states_)
    if (same(z.state)) return &z;
  return nullptr;
}

void TEntityTable::AddEntity(TEntity e) {
  byCode_.emplace(e.code, entities_.size());
  entities_.push_back(std::move(e));
  if (country_.Empty()) IndexEntity(entities_.back());
}

void TEntityTable::AddState(TStateZones s) { states_.push_back(std::move(s)); }

void TEntityTable::SetCountryFile(TCountryFile file) {
  country_ = std::move(file);
  Index();
}

namespace {

std::optional<double> Degrees(const std::string& text) {
  double v = 0;
  const char* b = text.data();
  const auto [p, ec] = std::from_chars(b + (!text.empty() && text[0] == '+'), b + text.size(), v);
  if (ec != std::errc() || p != b + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<double> Negated(std::optional<double> v) {
  if (v) *v = *v == 0 ? 0.0 : -*v;
  return v;
}

}  // namespace

void TEntityTable::AddPlace(TCallPlace p, bool exact) {
  auto& map = exact ? exact_ : prefixes_;
  if (map.count(p.matched)) return;  // the file's first entry of a text counts
  if (!exact) longestPrefix_ = std::max(longestPrefix_, p.matched.size());
  const auto zones = std::make_pair(p.cqZone, p.ituZone);
  if (const auto [z, fresh] = zonesOf_.emplace(p.code, zones); fresh)
    single_[p.code] = true;
  else if (z->second != zones)
    single_[p.code] = false;
  map.emplace(p.matched, static_cast<uint32_t>(places_.size()));
  places_.push_back(std::move(p));
}

void TEntityTable::IndexEntity(const TEntity& e) {
  for (const std::string& prefix : e.prefixes) {
    TCallPlace p;
    p.code = e.code;
    p.name = e.name;
    p.continent = e.continent;
    p.cqZone = e.cqZone;
    p.ituZone = e.ituZone;
    p.matched = AsciiUpper(prefix);
    AddPlace(std::move(p), false);
  }
}

void TEntityTable::Index() {
  places_.clear();
  exact_.clear();
  prefixes_.clear();
  single_.clear();
  zonesOf_.clear();
  longestPrefix_ = 0;
  if (country_.Empty()) {
    for (const TEntity& e : entities_) IndexEntity(e);
    return;
  }
  // A WAE-only entity's calls count for the DXCC entity of its number.
  std::unordered_map<int, std::string> names;
  for (const TCountryEntity& e : country_.entities)
    if (!e.waeOnly) names.emplace(e.code, e.name);
  for (const TCountryEntity& e : country_.entities) {
    const auto name = names.find(e.code);
    const std::optional<double> lat = Degrees(e.latitude), lonWest = Degrees(e.longitude),
                                utcWest = Degrees(e.utcOffset);
    for (const std::string& written : e.calls) {
      TCountryToken t;
      if (!ParseCountryToken(written, t)) continue;  // checked when the file was read
      TCallPlace p;
      p.code = e.code;
      p.name = name != names.end() ? name->second : e.name;
      p.continent = t.continent.empty() ? e.continent : t.continent;
      p.cqZone = t.cq.value_or(e.cq);
      p.ituZone = t.itu.value_or(e.itu);
      p.zonesOverridden = t.cq || t.itu;
      p.latitude = t.latitude ? t.latitude : lat;
      p.longitude = Negated(t.longitude ? t.longitude : lonWest);
      p.utcOffset = Negated(t.utcOffset ? t.utcOffset : utcWest);
      p.matched = std::move(t.text);
      p.exactCall = t.exact;
      AddPlace(std::move(p), t.exact);
    }
  }
}

namespace {

// A call trimmed and in upper case, in a buffer of the caller's while it fits.
std::string_view UpperCall(std::string_view text, char (&buffer)[64], std::string& longer) {
  const std::string_view t = TrimBlanksView(text);
  if (t.size() > sizeof buffer) {
    longer = AsciiUpper(t);
    return longer;
  }
  for (size_t i = 0; i < t.size(); ++i)
    buffer[i] = t[i] >= 'a' && t[i] <= 'z' ? static_cast<char>(t[i] - 32) : t[i];
  return {buffer, t.size()};
}

}  // namespace

const TCallPlace* TEntityTable::PlaceOfPrefix(std::string_view text) const {
  char buffer[64];
  std::string longer;
  const std::string_view c = UpperCall(text, buffer, longer);
  size_t hashes[65];  // of each prefix length tried
  const size_t longest = std::min({c.size(), longestPrefix_, std::size(hashes) - 1});
  hashes[0] = TextHash({});
  for (size_t n = 1; n <= longest; ++n) hashes[n] = TextHash(c.substr(n - 1, 1), hashes[n - 1]);
  for (size_t n = std::min(c.size(), longestPrefix_); n > 0; --n) {
    const std::string_view prefix = c.substr(0, n);
    const auto it =
        n <= longest ? prefixes_.find(THashedText{prefix, hashes[n]}) : prefixes_.find(prefix);
    if (it != prefixes_.end()) return &places_[it->second];
  }
  return nullptr;
}

const TCallPlace* TEntityTable::PlaceOfCall(std::string_view call) const {
  char buffer[64];
  std::string longer;
  const std::string_view c = UpperCall(call, buffer, longer);
  if (const auto it = exact_.find(c); it != exact_.end()) return &places_[it->second];
  return PlaceOfPrefix(c);
}

namespace {

std::optional<TCallPlace> Copied(const TCallPlace* p) {
  return p ? std::optional<TCallPlace>(*p) : std::nullopt;
}

}  // namespace

std::optional<TCallPlace> TEntityTable::ResolvePrefix(std::string_view text) const {
  return Copied(PlaceOfPrefix(text));
}

std::optional<TCallPlace> TEntityTable::ResolveCall(std::string_view call) const {
  return Copied(PlaceOfCall(call));
}

bool TEntityTable::SingleZones(int code) const {
  const auto it = single_.find(code);
  return it != single_.end() && it->second;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Designators that say how, not where, a station works.
bool IsOperatingDesignator(std::string_view d) {
  for (const char* s : {"P", "M", "A", "B", "LH", "J", "R", "T", "X", "QRT", "AG", "PM"})
    if (d == s) return true;
  return false;
}

// A call begun as the United States licenses them: K, N, W, AA-AL.
bool IsUSFamily(std::string_view call) {
  if (call.empty()) return false;
  const char c = call[0];
  if (c == 'K' || c == 'N' || c == 'W') return true;
  return c == 'A' && call.size() > 1 && call[1] >= 'A' && call[1] <= 'L';
}

}  // namespace

TStationPlace LocateStation(const TEntityTable& table, std::string_view baseCall,
                            std::string_view designators, std::string_view loggedCall) {
  TStationPlace s;
  const std::string base = AsciiUpper(TrimBlanks(baseCall));
  const std::string des = AsciiUpper(TrimBlanks(designators));
  if (des.empty()) {
    s.place = table.ResolveCall(base);
    return s;
  }
  std::string whole = AsciiUpper(TrimBlanks(loggedCall));
  if (whole.empty()) whole = base + "/" + des;
  if (std::optional<TCallPlace> listed = table.ResolveCall(whole); listed && listed->exactCall) {
    s.where = TStationWhere::Listed;
    s.place = std::move(listed);
    return s;
  }
  bool portable = false;
  char digit = 0;
  std::optional<TCallPlace> prefix;
  size_t at = 0;
  while (at <= des.size()) {
    const size_t slash = std::min(des.find('/', at), des.size());
    const std::string d = des.substr(at, slash - at);
    at = slash + 1;
    if (d.empty() || d == "QRP" || d == "QRPP") continue;
    if (d == "MM" || d == "AM") {
      s.where = TStationWhere::AtSea;
      return s;
    }
    if (IsOperatingDesignator(d)) {
      portable = true;
    } else if (d.size() == 1 && IsDigit(d[0])) {
      digit = d[0];
    } else if (std::optional<TCallPlace> p = table.ResolvePrefix(d); p && d.size() <= 4) {
      prefix = std::move(p);
    } else {
      portable = true;  // a designator the file does not know: somewhere in the entity
    }
  }
  if (prefix) {
    s.where = TStationWhere::Prefix;
    s.place = std::move(prefix);
    return s;
  }
  if (digit) {
    s.where = TStationWhere::Area;
    // The call's prefix up to its last digit, with the new digit; a U.S. call of any of its
    // entities (KL7, KH6, KP4 ...) with a call-area digit is in that area of the mainland.
    std::string area;
    if (IsUSFamily(base)) {
      area = std::string("W") + digit;
    } else {
      size_t last = std::string::npos;
      for (size_t i = 0; i < base.size(); ++i)
        if (IsDigit(base[i])) last = i;
      if (last != std::string::npos && last > 0) area = base.substr(0, last) + digit;
    }
    if (!area.empty()) s.place = table.ResolvePrefix(area);
    if (s.place) return s;
    portable = true;
  }
  s.place = table.ResolveCall(base);
  if (portable) s.where = TStationWhere::Portable;
  return s;
}

namespace {

struct TProvinceArea {
  const char* province;
  const char* areas[2];
};
constexpr TProvinceArea kProvinceAreas[] = {
    {"NS", {"VE1", nullptr}}, {"QC", {"VE2", nullptr}}, {"ON", {"VE3", nullptr}},
    {"MB", {"VE4", nullptr}}, {"SK", {"VE5", nullptr}}, {"AB", {"VE6", nullptr}},
    {"BC", {"VE7", nullptr}}, {"NT", {"VE8", nullptr}}, {"NB", {"VE9", "VE1"}},
    {"NL", {"VO1", "VO2"}},   {"NU", {"VY0", nullptr}}, {"YT", {"VY1", nullptr}},
    {"PE", {"VY2", nullptr}},
};

}  // namespace

std::string CanadianProvinceArea(std::string_view province) {
  const std::string p = AsciiUpper(TrimBlanks(province));
  for (const TProvinceArea& a : kProvinceAreas)
    if (p == a.province) return a.areas[0];
  return {};
}

std::string AreaOfCanadianCall(std::string_view call) {
  const std::string c = AsciiUpper(TrimBlanks(call));
  size_t d = 0;
  while (d < c.size() && !IsDigit(c[d])) ++d;
  if (d == 0 || d == c.size()) return {};
  const std::string letters = c.substr(0, d);
  if (letters == "VO" || letters == "VY" || letters == "CY") return letters + c[d];
  return std::string("VE") + c[d];
}

bool InCanadianProvince(std::string_view area, std::string_view province) {
  const std::string p = AsciiUpper(TrimBlanks(province));
  for (const TProvinceArea& a : kProvinceAreas)
    if (p == a.province)
      for (const char* x : a.areas)
        if (x && area == x) return true;
  return false;
}

bool ParseZoneRule(std::string_view s, TZoneRule& rule) {
  const std::vector<std::string> w = SplitWords(s);
  if (w.empty()) return true;
  if (w.size() == 1) return Zone(w[0], rule.west);
  return w.size() == 3 && Zone(w[0], rule.west) && Zone(w[1], rule.east) &&
         Number(w[2], rule.boundary) && std::fabs(rule.boundary) <= 180;
}

namespace {

std::string RuleText(const TZoneRule& r) {
  if (r.west <= 0) return {};
  if (r.east <= 0) return std::to_string(r.west);
  char buf[32];
  const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, r.boundary);
  return std::to_string(r.west) + " " + std::to_string(r.east) + " " +
         std::string(buf, ec == std::errc() ? p : buf);
}

const char* const kEntityHeading = "code\tname\tcontinent\tcq\titu\tprefixes";
const char* const kStateHeading = "state\tcode\tcq\titu";

}  // namespace

std::string FormatEntityTable(const TEntityTable& table) {
  std::string s =
      "# DXCC entities: ADIF number, name, continent, CQ and ITU zone, call prefixes.\n";
  s += kEntityHeading;
  s += "\n";
  for (const TEntity& e : table.Entities()) {
    s += std::to_string(e.code) + "\t" + e.name + "\t" + e.continent + "\t" +
         std::to_string(e.cqZone) + "\t" + std::to_string(e.ituZone) + "\t";
    for (size_t i = 0; i < e.prefixes.size(); ++i) s += (i ? " " : "") + e.prefixes[i];
    s += "\n";
  }
  s += "# U.S. states: entity number; CQ and ITU zone, or west zone, east zone and the longitude\n"
       "# between them (east positive) where a state lies in two.\n";
  s += kStateHeading;
  s += "\n";
  for (const TStateZones& z : table.States())
    s += z.state + "\t" + std::to_string(z.code) + "\t" + RuleText(z.cq) + "\t" + RuleText(z.itu) +
         "\n";
  if (!table.CountryFile().Empty()) {
    s += "# The country file calls are resolved with: each entity (\"*\": counted for the DXCC\n"
         "# entity of its number), its prefixes and exact calls (\"=\") with their overrides.\n";
    s += kCountryHeading;
    s += "\n";
    for (const TCountryEntity& e : table.CountryFile().entities) s += FormatCountryRow(e) + "\n";
  }
  return s;
}

TResult<TEntityTable> ParseEntityTable(const std::string& text) {
  TEntityTable t;
  TCountryFile country;
  enum { None, Entities, States, Country } section = None;
  TLineReader lines(text);
  const auto fail = [&](const std::string& what) {
    return TStatus::Corrupt("line " + std::to_string(lines.LineNumber()) + ": " + what);
  };
  for (std::string_view l; lines.Next(l);) {
    if (l.empty() || l[0] == '#') continue;
    if (l == kEntityHeading) {
      section = Entities;
      continue;
    }
    if (l == kStateHeading) {
      section = States;
      continue;
    }
    if (l == kCountryHeading) {
      section = Country;
      continue;
    }
    if (section == Country) {
      TResult<TCountryEntity> e = ParseCountryRow(l);
      if (!e.ok()) return fail(e.Status().Message());
      country.entities.push_back(std::move(e).Value());
      continue;
    }
    const std::vector<std::string> c = SplitFields(l, '\t');
    if (section == Entities) {
      if (c.size() != 6) return fail(std::to_string(c.size()) + " columns, expected 6");
      TEntity e;
      if (!Number(c[0], e.code) || e.code <= 0) return fail("bad entity number \"" + c[0] + "\"");
      if (c[1].empty()) return fail("entity without a name");
      e.name = c[1];
      e.continent = c[2];
      if (!Zone(c[3], e.cqZone)) return fail("bad CQ zone \"" + c[3] + "\"");
      if (!Zone(c[4], e.ituZone)) return fail("bad ITU zone \"" + c[4] + "\"");
      e.prefixes = SplitWords(c[5]);
      t.AddEntity(std::move(e));
    } else if (section == States) {
      if (c.size() != 4) return fail(std::to_string(c.size()) + " columns, expected 4");
      TStateZones z;
      if (c[0].empty()) return fail("state without a name");
      z.state = c[0];
      if (!Number(c[1], z.code) || z.code <= 0) return fail("bad entity number \"" + c[1] + "\"");
      if (!ParseZoneRule(c[2], z.cq)) return fail("bad CQ zone \"" + c[2] + "\"");
      if (!ParseZoneRule(c[3], z.itu)) return fail("bad ITU zone \"" + c[3] + "\"");
      t.AddState(std::move(z));
    } else {
      return fail("a row before any heading");
    }
  }
  if (!country.Empty()) t.SetCountryFile(std::move(country));
  return t;
}

TResult<TEntityTable> ReadEntityTable() {
  const std::string path = DataSetPath(kEntityFileName);
  std::string text;
  if (!ReadWholeFile(path, text)) {
    const int code = LastErrorCode();
    if (::access(path.c_str(), F_OK) != 0) return TEntityTable{};
    return TStatus::WithMessage(StatusFromLastError(path, code).Code(),
                                "cannot read data/entities.tsv: " + ErrorCodeText(code));
  }
  TResult<TEntityTable> table = ParseEntityTable(text);
  if (!table.ok()) return TStatus::Corrupt("data/entities.tsv " + table.Status().Message());
  return table;
}

std::string CountryFileLine(const TEntityTable& table) {
  const std::string v = table.CountryFile().Version();
  return v.empty() ? std::string() : "Country file " + v;
}

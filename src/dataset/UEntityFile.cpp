#include "dataset/UEntityFile.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::vector<std::string> Split(std::string_view s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    const size_t p = s.find(sep, start);
    out.emplace_back(s.substr(start, p == std::string_view::npos ? p : p - start));
    if (p == std::string_view::npos) return out;
    start = p + 1;
  }
}

std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  for (auto& w : Split(s, ' '))
    if (!w.empty()) out.push_back(std::move(w));
  return out;
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
  for (const TEntity& e : entities_)
    if (e.code == code) return &e;
  return nullptr;
}

const TStateZones* TEntityTable::FindState(std::string_view state) const {
  const std::string s = AsciiUpper(TrimBlanks(state));
  if (s.empty()) return nullptr;
  for (const TStateZones& z : states_)
    if (z.state == s) return &z;
  return nullptr;
}

bool ParseZoneRule(std::string_view s, TZoneRule& rule) {
  const std::vector<std::string> w = Words(s);
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
  for (const TEntity& e : table.entities_) {
    s += std::to_string(e.code) + "\t" + e.name + "\t" + e.continent + "\t" +
         std::to_string(e.cqZone) + "\t" + std::to_string(e.ituZone) + "\t";
    for (size_t i = 0; i < e.prefixes.size(); ++i) s += (i ? " " : "") + e.prefixes[i];
    s += "\n";
  }
  s += "# U.S. states: entity number; CQ and ITU zone, or west zone, east zone and the longitude\n"
       "# between them (east positive) where a state lies in two.\n";
  s += kStateHeading;
  s += "\n";
  for (const TStateZones& z : table.states_)
    s += z.state + "\t" + std::to_string(z.code) + "\t" + RuleText(z.cq) + "\t" + RuleText(z.itu) +
         "\n";
  return s;
}

bool ParseEntityTable(const std::string& text, TEntityTable& table, std::string& error) {
  TEntityTable t;
  enum { None, Entities, States } section = None;
  size_t pos = 0;
  int line = 0;
  const auto fail = [&](const std::string& what) {
    error = "line " + std::to_string(line) + ": " + what;
    return false;
  };
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view l(text.data() + pos, end - pos);
    pos = end + 1;
    ++line;
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (l.empty() || l[0] == '#') continue;
    if (l == kEntityHeading) {
      section = Entities;
      continue;
    }
    if (l == kStateHeading) {
      section = States;
      continue;
    }
    const std::vector<std::string> c = Split(l, '\t');
    if (section == Entities) {
      if (c.size() != 6) return fail(std::to_string(c.size()) + " columns, expected 6");
      TEntity e;
      if (!Number(c[0], e.code) || e.code <= 0) return fail("bad entity number \"" + c[0] + "\"");
      if (c[1].empty()) return fail("entity without a name");
      e.name = c[1];
      e.continent = c[2];
      if (!Zone(c[3], e.cqZone)) return fail("bad CQ zone \"" + c[3] + "\"");
      if (!Zone(c[4], e.ituZone)) return fail("bad ITU zone \"" + c[4] + "\"");
      e.prefixes = Words(c[5]);
      t.entities_.push_back(std::move(e));
    } else if (section == States) {
      if (c.size() != 4) return fail(std::to_string(c.size()) + " columns, expected 4");
      TStateZones z;
      if (c[0].empty()) return fail("state without a name");
      z.state = c[0];
      if (!Number(c[1], z.code) || z.code <= 0) return fail("bad entity number \"" + c[1] + "\"");
      if (!ParseZoneRule(c[2], z.cq)) return fail("bad CQ zone \"" + c[2] + "\"");
      if (!ParseZoneRule(c[3], z.itu)) return fail("bad ITU zone \"" + c[3] + "\"");
      t.states_.push_back(std::move(z));
    } else {
      return fail("a row before any heading");
    }
  }
  table = std::move(t);
  return true;
}

bool ReadEntityTable(TEntityTable& table, std::string& error) {
  const std::string path = DataSetPath(kEntityFileName);
  std::string text;
  if (!ReadWholeFile(path, text)) {
    if (::access(path.c_str(), F_OK) != 0) {
      table = {};
      return true;
    }
    error = "cannot read data/entities.tsv: " + ErrorCodeText(LastErrorCode());
    return false;
  }
  if (!ParseEntityTable(text, table, error)) {
    error = "data/entities.tsv " + error;
    return false;
  }
  return true;
}

#include "dataset/UCountryFile.h"

#include <charconv>
#include <cmath>
#include <map>

#include "common/StrUtil.h"

namespace {

template <class T>
bool Number(std::string_view s, T& v) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  const auto [p, ec] = std::from_chars(b, e, v);
  if constexpr (std::is_floating_point_v<T>)
    if (!std::isfinite(v)) return false;
  return !s.empty() && ec == std::errc() && p == e;
}

bool Zone(std::string_view s, int& v) { return Number(s, v) && v >= 1 && v <= 90; }
bool CqZone(std::string_view s, int& v) { return Zone(s, v) && v <= 40; }

bool Continent(std::string_view s) {
  for (const char* c : {"AF", "AN", "AS", "EU", "NA", "OC", "SA"})
    if (s == c) return true;
  return false;
}

std::string Trim(std::string_view s) { return TrimBlanks(s); }

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (true) {
    const size_t p = s.find(sep, start);
    out.push_back(s.substr(start, p == std::string_view::npos ? p : p - start));
    if (p == std::string_view::npos) return out;
    start = p + 1;
  }
}

// The entity's columns after the prefix, checked; calls are added by the caller.
bool Fill(TCountryEntity& e, std::string_view prefix, std::string_view name, std::string_view code,
          std::string_view cont, std::string_view cq, std::string_view itu, std::string_view lat,
          std::string_view lon, std::string_view utc, std::string& error) {
  std::string p = Trim(prefix);
  e.waeOnly = !p.empty() && p[0] == '*';
  if (e.waeOnly) p.erase(0, 1);
  if (p.empty()) return error = "entity without a prefix", false;
  e.prefix = p;
  e.name = Trim(name);
  if (e.name.empty()) return error = "entity " + p + " without a name", false;
  if (!code.empty() && (!Number(code, e.code) || e.code <= 0))
    return error = "bad entity number \"" + std::string(code) + "\"", false;
  e.continent = Trim(cont);
  if (!Continent(e.continent)) return error = "bad continent \"" + e.continent + "\"", false;
  if (!CqZone(cq, e.cq)) return error = "bad CQ zone \"" + std::string(cq) + "\"", false;
  if (!Zone(itu, e.itu)) return error = "bad ITU zone \"" + std::string(itu) + "\"", false;
  double v = 0;
  e.latitude = Trim(lat);
  e.longitude = Trim(lon);
  e.utcOffset = Trim(utc);
  if (!Number(e.latitude, v) || std::fabs(v) > 90)
    return error = "bad latitude \"" + e.latitude + "\"", false;
  if (!Number(e.longitude, v) || std::fabs(v) > 180)
    return error = "bad longitude \"" + e.longitude + "\"", false;
  if (!Number(e.utcOffset, v) || std::fabs(v) > 24)
    return error = "bad time offset \"" + e.utcOffset + "\"", false;
  return true;
}

bool AddCalls(TCountryEntity& e, std::string_view list, char sep, std::string& error) {
  for (std::string_view w : Split(list, sep)) {
    std::string t = Trim(w);
    if (!t.empty() && t.back() == ';') t.pop_back();
    if (t.empty()) continue;
    TCountryToken token;
    if (!ParseCountryToken(t, token))
      return error = "bad prefix \"" + t + "\" of entity " + e.prefix, false;
    e.calls.push_back(std::move(t));
  }
  return true;
}

}  // namespace

std::string TCountryFile::Version() const {
  for (const TCountryEntity& e : entities)
    for (const std::string& c : e.calls)
      if (c.size() > 4 && c.compare(0, 4, "=VER") == 0 && c[4] >= '0' && c[4] <= '9')
        return c.substr(1);
  return {};
}

bool ParseCountryToken(std::string_view w, TCountryToken& t) {
  t = {};
  if (!w.empty() && w[0] == '=') {
    t.exact = true;
    w.remove_prefix(1);
  }
  const size_t end = w.find_first_of("([{<~");
  t.text = AsciiUpper(w.substr(0, end));
  if (t.text.empty()) return false;
  for (char c : t.text)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/')) return false;
  if (end == std::string_view::npos) return true;
  w.remove_prefix(end);
  while (!w.empty()) {
    const char open = w[0];
    const char close = open == '('   ? ')'
                       : open == '[' ? ']'
                       : open == '{' ? '}'
                       : open == '<' ? '>'
                       : open == '~' ? '~'
                                     : 0;
    if (!close) return false;
    const size_t c = w.find(close, 1);
    if (c == std::string_view::npos) return false;
    const std::string_view in = w.substr(1, c - 1);
    w.remove_prefix(c + 1);
    int zone = 0;
    double v = 0;
    switch (open) {
      case '(':
        if (!CqZone(in, zone)) return false;
        t.cq = zone;
        break;
      case '[':
        if (!Zone(in, zone)) return false;
        t.itu = zone;
        break;
      case '{':
        if (!Continent(in)) return false;
        t.continent = std::string(in);
        break;
      case '<': {
        const size_t slash = in.find('/');
        double lat = 0, lon = 0;
        if (slash == std::string_view::npos || !Number(in.substr(0, slash), lat) ||
            !Number(in.substr(slash + 1), lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180)
          return false;
        t.latitude = lat;
        t.longitude = lon;
        break;
      }
      default:
        if (!Number(in, v) || std::fabs(v) > 24) return false;
        t.utcOffset = v;
    }
  }
  return true;
}

std::string FormatCountryRow(const TCountryEntity& e) {
  std::string s = (e.waeOnly ? "*" : "") + e.prefix + "\t" + e.name + "\t" +
                  std::to_string(e.code) + "\t" + e.continent + "\t" + std::to_string(e.cq) + "\t" +
                  std::to_string(e.itu) + "\t" + e.latitude + "\t" + e.longitude + "\t" +
                  e.utcOffset + "\t";
  for (size_t i = 0; i < e.calls.size(); ++i) s += (i ? " " : "") + e.calls[i];
  return s;
}

TResult<TCountryEntity> ParseCountryRow(std::string_view line) {
  const std::vector<std::string_view> c = Split(line, '\t');
  if (c.size() != 10) return TStatus::Corrupt(std::to_string(c.size()) + " columns, expected 10");
  TCountryEntity r;
  std::string error;
  if (!Fill(r, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], error))
    return TStatus::Corrupt(error);
  if (r.code <= 0) return TStatus::Corrupt("entity " + r.prefix + " without a number");
  if (!AddCalls(r, c[9], ' ', error)) return TStatus::Corrupt(error);
  return r;
}

TResult<TCountryFile> ParseCountryFile(std::string_view text, const TCountryFile* numbers) {
  TCountryFile f;
  std::vector<std::string_view> lines = Split(text, '\n');
  for (auto& l : lines)
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
  size_t first = 0;
  while (first < lines.size() && Trim(lines[first]).empty()) ++first;
  if (first == lines.size()) return TStatus::Corrupt("no entities");
  const auto fail = [](size_t i, const std::string& what) {
    return TStatus::Corrupt("line " + std::to_string(i + 1) + ": " + what);
  };
  std::string why;
  const std::string_view head = lines[first];
  if (head == kCountryHeading) {
    for (size_t i = first + 1; i < lines.size(); ++i) {
      if (lines[i].empty() || lines[i][0] == '#') continue;
      TResult<TCountryEntity> e = ParseCountryRow(lines[i]);
      if (!e.ok()) return fail(i, e.Status().Message());
      f.entities.push_back(std::move(e).Value());
    }
  } else if (head.find(',') != std::string_view::npos && head.find(':') == std::string_view::npos) {
    for (size_t i = first; i < lines.size(); ++i) {
      if (Trim(lines[i]).empty()) continue;
      const std::vector<std::string_view> c = Split(lines[i], ',');
      if (c.size() < 10) return fail(i, std::to_string(c.size()) + " fields, expected 10");
      TCountryEntity e;
      if (!Fill(e, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], why)) return fail(i, why);
      if (e.code <= 0) return fail(i, "entity " + e.prefix + " without a number");
      std::string calls;
      for (size_t k = 9; k < c.size(); ++k) calls += (k > 9 ? "," : "") + std::string(c[k]);
      if (!AddCalls(e, calls, ' ', why)) return fail(i, why);
      f.entities.push_back(std::move(e));
    }
  } else {
    // The colon form: a heading line of eight fields, then the calls over indented lines
    // separated by commas up to ";".
    std::map<std::string, int> codes;
    if (numbers)
      for (const TCountryEntity& e : numbers->entities)
        codes[(e.waeOnly ? "*" : "") + e.prefix] = e.code;
    for (size_t i = first; i < lines.size();) {
      if (Trim(lines[i]).empty()) {
        ++i;
        continue;
      }
      const std::vector<std::string_view> c = Split(lines[i], ':');
      if (c.size() != 9 || !Trim(c[8]).empty())
        return fail(i, "not an entity line of the country file");
      const std::string key = Trim(c[7]);
      const auto code = codes.find(key);
      if (code == codes.end())
        return fail(i, "entity " + key + " has no ADIF number in the edition's country file");
      TCountryEntity e;
      const std::string number = std::to_string(code->second);
      if (!Fill(e, c[7], c[0], number, c[3], c[1], c[2], c[4], c[5], c[6], why))
        return fail(i, why);
      const size_t at = i++;
      std::string calls;
      bool ended = false;
      while (i < lines.size() && !ended) {
        const std::string l = Trim(lines[i++]);
        calls += l;
        ended = !l.empty() && l.back() == ';';
      }
      if (!ended) return fail(at, "the calls of entity " + key + " do not end with \";\"");
      if (!AddCalls(e, calls, ',', why)) return fail(at, why);
      f.entities.push_back(std::move(e));
    }
  }
  if (f.entities.empty()) return TStatus::Corrupt("no entities");
  return f;
}

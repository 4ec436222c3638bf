#include "dataset/UEdition.h"

#include <charconv>
#include <map>
#include <sstream>
#include <utility>

#include "common/StrUtil.h"
#include "common/UTextLines.h"

namespace {
// Days since 1970-01-01 of a "YYYY-MM-DD" date; false for anything else.
bool DayNumber(const std::string& d, int64_t& days) {
  int y = 0, m = 0, dd = 0;
  if (d.size() != 10 || d[4] != '-' || d[7] != '-') return false;
  for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
    if (d[i] < '0' || d[i] > '9') return false;
  y = std::stoi(d.substr(0, 4));
  m = std::stoi(d.substr(5, 2));
  dd = std::stoi(d.substr(8, 2));
  if (m < 1 || m > 12 || dd < 1 || dd > 31) return false;
  // Days from civil (proleptic Gregorian).
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  days = era * 146097 + doe - 719468;
  return true;
}

template <typename T>
bool ParseInt(const std::string& s, T& v) {
  const std::string t = TrimBlanks(s);
  if (t.empty()) return false;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  return ec == std::errc() && p == t.data() + t.size();
}

// "fcc,us,2026-11-29,783412"
bool ParseSource(const std::string& text, TEditionSource& src) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
    parts.push_back(TrimBlanks(text.substr(start, comma - start)));
  parts.push_back(TrimBlanks(text.substr(start)));
  if (parts.size() != 4) return false;
  src.kind = AsciiLower(parts[0]);
  src.db = AsciiLower(parts[1]);
  src.date = parts[2];
  int64_t days = 0;
  return !src.kind.empty() && (src.db == "us" || src.db == "intl") &&
         (src.date.empty() || DayNumber(src.date, days)) && ParseInt(parts[3], src.count) &&
         src.count >= 0;
}
}  // namespace

std::string GroupedNumber(uint64_t n) {
  std::string s = std::to_string(n);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(static_cast<size_t>(i), ",");
  return s;
}

bool DatabaseSynthetic(const TEdition& ed, const std::string& db) {
  // Before sources were recorded, the builder titled its sample so, and added invented
  // International entries to its FCC editions.
  if (!ed.sourcesKnown)
    return ed.title == kSampleEditionTitle || (db == "intl" && ed.title == kOldFccEditionTitle);
  for (const TEditionSource& s : ed.sources)
    if (s.db == db && s.Synthetic()) return true;
  return false;
}

bool SampleEdition(const TEdition& ed) {
  if (!ed.sourcesKnown) return ed.title == kSampleEditionTitle;
  if (ed.sources.empty()) return false;
  for (const TEditionSource& s : ed.sources)
    if (!s.Synthetic()) return false;
  return true;
}

bool RealEdition(const TEdition& ed) {
  if (!ed.sourcesKnown) return false;
  for (const TEditionSource& s : ed.sources)
    if (!s.Synthetic()) return true;
  return false;
}

std::string EditionSourcesText(const TEdition& ed) {
  if (SampleEdition(ed)) return kSampleEditionText;
  if (!ed.sourcesKnown) return DataDateText(ed);
  std::string t;
  for (const TEditionSource& s : ed.sources) {
    std::string part;
    if (s.kind == "fcc") {
      part = "FCC licence data";
      if (!s.date.empty()) part += " of " + s.date;
      if (!ed.fccDaily.empty() && ed.fccDaily != s.date)
        part += " and daily files to " + ed.fccDaily;
    } else {
      part = s.kind == "ised"  ? "Canadian register"
             : s.kind == "csv" ? "International list"
             : s.db == "us"    ? "invented U.S. stations (sample)"
                               : "invented International stations (sample)";
      if (!s.date.empty()) part += " of " + s.date;
    }
    part += ", " + GroupedNumber(static_cast<uint64_t>(s.count)) + " stations";
    t += (t.empty() ? "" : "; ") + part;
  }
  return t;
}

TEdition Edition1999() {
  TEdition ed;
  ed.title = "Tellmark on CD-ROM Summer 1999";
  ed.stretches = {TStretch{0, 694719},        TStretch{694720, 1477374},
                  TStretch{1477375, 2223100}, TStretch{2223101, 2968833},
                  TStretch{2968834, 3694751}, TStretch{3694752, 4408844}};
  ed.mapDirOffset = 257314152;
  ed.intlCount = 694720;
  ed.usCount = 782655;
  return ed;
}

TResult<TEdition> ParseEdition(const std::string& text) {
  std::map<std::string, std::string> values;  // "section/key" lower-cased -> value
  std::string section;
  for (const TIniLine& l : ReadIniLines(text)) {
    if (l.section) section = AsciiLower(l.name);
    if (l.pair) values[section + "/" + AsciiLower(l.key)] = l.value;
  }

  TEdition r;
  const auto missing = [](const std::string& key) { return TStatus::Corrupt("missing " + key); };
  const auto bad = [](const std::string& key) { return TStatus::Corrupt("bad " + key); };
  std::string v;
  const auto need = [&](const std::string& key) {
    auto it = values.find(key);
    if (it == values.end()) return false;
    v = it->second;
    return true;
  };
  if (!need("edition/title")) return missing("edition/title");
  r.title = v;
  if (!need("edition/intlcount")) return missing("edition/intlcount");
  if (!ParseInt(v, r.intlCount) || r.intlCount < 0) return bad("edition/intlcount");
  if (!need("edition/uscount")) return missing("edition/uscount");
  if (!ParseInt(v, r.usCount) || r.usCount < 0) return bad("edition/uscount");
  if (!need("edition/mapdiroffset")) return missing("edition/mapdiroffset");
  if (!ParseInt(v, r.mapDirOffset) || r.mapDirOffset < 0) return bad("edition/mapdiroffset");
  for (const auto& [key, field] :
       {std::pair{"edition/fccweekly", &r.fccWeekly}, std::pair{"edition/fccdaily", &r.fccDaily}}) {
    const auto it = values.find(key);
    if (it == values.end()) continue;
    int64_t days = 0;
    if (!DayNumber(it->second, days)) return bad(key);
    *field = it->second;
  }
  r.sourcesKnown = false;
  for (int i = 1; values.count("sources/source" + std::to_string(i)); ++i) {
    r.sourcesKnown = true;
    const std::string key = "sources/source" + std::to_string(i);
    if (!ParseSource(values[key], r.sources.emplace_back())) return bad(key);
  }
  for (int i = 0; i < 6; ++i) {
    const std::string key = "orders/order" + std::to_string(i);
    if (!need(key)) return missing(key);
    const auto comma = v.find(',');
    TStretch s;
    if (comma == std::string::npos || !ParseInt(v.substr(0, comma), s.start) ||
        !ParseInt(v.substr(comma + 1), s.end) || s.start < 0 || s.end < s.start - 1)
      return bad(key);
    r.stretches[static_cast<size_t>(i)] = s;
  }
  return r;
}

std::string FormatEdition(const TEdition& ed) {
  std::ostringstream out;
  out << "[Edition]\r\n"
      << "Title=" << ed.title << "\r\n"
      << "IntlCount=" << ed.intlCount << "\r\n"
      << "USCount=" << ed.usCount << "\r\n"
      << "MapDirOffset=" << ed.mapDirOffset << "\r\n";
  if (!ed.fccWeekly.empty()) out << "FccWeekly=" << ed.fccWeekly << "\r\n";
  if (!ed.fccDaily.empty()) out << "FccDaily=" << ed.fccDaily << "\r\n";
  if (!ed.sources.empty()) {
    out << "\r\n[Sources]\r\n";
    for (size_t i = 0; i < ed.sources.size(); ++i) {
      const TEditionSource& src = ed.sources[i];
      out << "Source" << i + 1 << "=" << src.kind << "," << src.db << "," << src.date << ","
          << src.count << "\r\n";
    }
  }
  out << "\r\n[Orders]\r\n";
  for (size_t i = 0; i < ed.stretches.size(); ++i)
    out << "Order" << i << "=" << ed.stretches[i].start << "," << ed.stretches[i].end << "\r\n";
  return out.str();
}

std::string DataDate(const TEdition& ed) {
  // ISO dates compare as texts.
  return ed.fccDaily > ed.fccWeekly ? ed.fccDaily : ed.fccWeekly;
}

int DataAgeDays(const TEdition& ed, std::time_t now) {
  int64_t day = 0;
  if (!DayNumber(DataDate(ed), day)) return -1;
  const int64_t today = static_cast<int64_t>(now) / 86400 - (now < 0 && now % 86400 != 0);
  return static_cast<int>(today - day);
}

std::string DataDateText(const TEdition& ed) {
  if (ed.fccWeekly.empty()) return DataDate(ed).empty() ? "" : "FCC data to " + DataDate(ed);
  std::string t = "FCC data of " + ed.fccWeekly;
  if (!ed.fccDaily.empty() && ed.fccDaily != ed.fccWeekly) t += ", daily files to " + ed.fccDaily;
  return t;
}

#include "builder/UDocumentWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>

#include "builder/UHelpText.h"
#include "builder/USourceTables.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"

namespace fs = std::filesystem;

namespace {

// ---- Formatting

size_t Width(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

// Cuts a UTF-8 text to at most n characters.
std::string CutUtf8(const std::string& s, size_t n) {
  size_t chars = 0, i = 0;
  for (; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && chars++ == n) break;
  }
  return s.substr(0, i);
}

std::string Left(const std::string& s, size_t n) {
  const std::string c = CutUtf8(s, n);
  return c + std::string(n - Width(c), ' ');
}

std::string Right(const std::string& s, size_t n) {
  return Width(s) >= n ? s : std::string(n - Width(s), ' ') + s;
}

std::string Grouped(int64_t n) {
  const std::string digits = std::to_string(n < 0 ? -n : n);
  std::string s = n < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) s += ',';
    s += digits[i];
  }
  return s;
}

std::string Percent(int64_t part, int64_t whole) {
  if (whole <= 0) return "0.0";
  const int64_t tenths = (part * 1000 + whole / 2) / whole;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string Utf8(const std::string& cp437) { return Cp437ToUtf8(cp437); }

std::string Heading(const std::string& title, const std::string& subtitle) {
  std::string h = title + "\n" + std::string(Width(title), '=') + "\n";
  if (!subtitle.empty()) h += subtitle + "\n";
  return h + "\n";
}

std::string EditionLine(const TEditionCounts& c) {
  return "Counted from the entries of \"" + Utf8(c.title) + "\": " + Grouped(c.usTotal) +
         " U.S. and " + Grouped(c.intlTotal) + " International entries.";
}

// ---- Licence classes of the U.S. database

struct TClassColumn {
  const char* heading;
  std::string codes;  // class codes counted in the column
};

const std::vector<TClassColumn>& WideClassColumns() {
  static const std::vector<TClassColumn> columns = {
      {"Extra", "e"}, {"Advanced", "a"}, {"General", "g"}, {"Tech Plus", "p"},
      {"Tech", "t"},  {"Novice", "n"},   {"Club", "b"},    {"Other", ""}};
  return columns;
}

// "Other" counts the same codes in both widths: those of no named class.
const std::vector<TClassColumn>& NarrowClassColumns() {
  static const std::vector<TClassColumn> columns = {
      {"Extra", "e"}, {"Adv/Gen", "ag"}, {"Tech", "pt"}, {"Nov/Clb", "nb"}, {"Other", ""}};
  return columns;
}

// Count of a column: its codes, or for "Other" every code no column names.
int32_t ColumnCount(const TStateCount& s, const std::vector<TClassColumn>& columns,
                    const TClassColumn& col) {
  int32_t n = 0;
  for (const auto& [code, count] : s.classes) {
    bool named = false;
    for (const auto& c : columns) named = named || c.codes.find(code) != std::string::npos;
    if (col.codes.empty() ? !named : col.codes.find(code) != std::string::npos) n += count;
  }
  return n;
}

std::string StateName(const TSourceTables& t, const std::string& state) {
  const TUSStateRow* row = t.FindState(state);
  return row ? Utf8(row->name) : std::string();
}

const TDxccRow* DxccByName(const TSourceTables& t, const std::string& name) {
  for (const auto& d : t.dxcc)
    if (d.name == name) return &d;
  return nullptr;
}

std::string PrefixOf(const TDxccRow& d) {
  const size_t slash = d.prefix.find('/');
  return Utf8(slash == std::string::npos ? d.prefix : d.prefix.substr(0, slash));
}

// ---- The edition read back

int Year(int year) {
  if (year > 0) return year;
  std::time_t now = std::time(nullptr);
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"))
    now = static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
  std::tm tm{};
  gmtime_r(&now, &tm);
  return tm.tm_year + 1900;
}

}  // namespace

std::string StateCensusDocument(const TEditionCounts& c, const TSourceTables& t) {
  std::string d = Heading("U.S. Amateurs by State and ZIP Code", EditionLine(c));
  const auto& cols = WideClassColumns();
  std::string head = Left("State", 24) + Right("Total", 9);
  for (const auto& col : cols) head += Right(col.heading, 10);
  d += head + "\n" + std::string(Width(head), '-') + "\n";
  for (const auto& [state, s] : c.states) {
    std::string line =
        Left(Utf8(state) + "  " + StateName(t, state), 24) + Right(Grouped(s.total), 9);
    for (const auto& col : cols) line += Right(Grouped(ColumnCount(s, cols, col)), 10);
    d += line + "\n";
  }
  d += std::string(Width(head), '-') + "\n" + Left("All states", 24) +
       Right(Grouped(c.usTotal), 9) + "\n\n";
  d += "ZIP code sections (the first three digits of the ZIP code) of each state\n\n";
  for (const auto& [state, s] : c.states) {
    d += Utf8(state) + "  " + StateName(t, state) + ": " + Grouped(s.total) + " licences\n";
    int col = 0;
    for (const auto& [zip, n] : s.zipSections) {
      d += "  " + Utf8(zip) + "xx " + Right(Grouped(n), 8);
      if (++col % 5 == 0) d += "\n";
    }
    if (col % 5) d += "\n";
    d += "\n";
  }
  return d;
}

std::string WorldCensusDocument(const TEditionCounts& c, const TSourceTables& t) {
  std::string d = Heading("Amateur Radio Licences of the World", EditionLine(c));
  struct TRow {
    std::string name, prefix, continent;
    int32_t intl = 0, us = 0;
  };
  std::map<std::string, TRow> rows;
  for (const auto& [name, n] : c.intlByDxcc) rows[name].intl += n;
  for (const auto& [name, n] : c.usByDxcc) rows[name].us += n;
  std::vector<TRow> list;
  for (auto& [name, r] : rows) {
    r.name = name.empty() ? "(no entity)" : Utf8(name);
    if (const TDxccRow* dx = DxccByName(t, name))
      r.prefix = PrefixOf(*dx), r.continent = dx->continent;
    list.push_back(r);
  }
  std::sort(list.begin(), list.end(), [](const TRow& a, const TRow& b) {
    return a.intl + a.us != b.intl + b.us ? a.intl + a.us > b.intl + b.us : a.name < b.name;
  });
  const std::string head = Left("Entity", 32) + Left("Prefix", 8) + Left("Cont.", 6) +
                           Right("Intl. db", 10) + Right("U.S. db", 10) + Right("Total", 10) +
                           Right("Share", 8);
  d += head + "\n" + std::string(Width(head), '-') + "\n";
  const int64_t all = static_cast<int64_t>(c.intlTotal) + c.usTotal;
  for (const TRow& r : list)
    d += Left(r.name, 32) + Left(r.prefix, 8) + Left(r.continent, 6) + Right(Grouped(r.intl), 10) +
         Right(Grouped(r.us), 10) + Right(Grouped(r.intl + r.us), 10) +
         Right(Percent(r.intl + r.us, all) + "%", 8) + "\n";
  d += std::string(Width(head), '-') + "\n" + Left(std::to_string(list.size()) + " entities", 46) +
       Right(Grouped(c.intlTotal), 10) + Right(Grouped(c.usTotal), 10) + Right(Grouped(all), 10) +
       "\n";
  return d;
}

std::string NorthAmericanCensusDocument(const TEditionCounts& c, const TSourceTables& t,
                                        bool wide) {
  const auto& cols = wide ? WideClassColumns() : NarrowClassColumns();
  const size_t nameW = wide ? 28 : 20, numW = wide ? 10 : 8;
  std::string d = Heading("North American Tellmark Census",
                          wide ? EditionLine(c)
                               : WrapText(EditionLine(c), 78, "", "")
                                     .substr(0, WrapText(EditionLine(c), 78, "", "").size() - 1));
  d += "U.S. licences by state and licence class\n\n";
  std::string head = Left("State", nameW) + Right("Total", numW);
  for (const auto& col : cols) head += Right(col.heading, numW);
  head += Right("Share", 8);
  d += head + "\n" + std::string(Width(head), '-') + "\n";
  TStateCount all;
  for (const auto& [state, s] : c.states) {
    std::string line =
        Left(Utf8(state) + " " + StateName(t, state), nameW) + Right(Grouped(s.total), numW);
    for (const auto& col : cols) line += Right(Grouped(ColumnCount(s, cols, col)), numW);
    d += line + Right(Percent(s.total, c.usTotal) + "%", 8) + "\n";
    all.total += s.total;
    for (const auto& [code, n] : s.classes) all.classes[code] += n;
  }
  std::string total = Left("United States", nameW) + Right(Grouped(all.total), numW);
  for (const auto& col : cols) total += Right(Grouped(ColumnCount(all, cols, col)), numW);
  d += std::string(Width(head), '-') + "\n" + total + "\n\n";

  // U.S. entries are all in the table above, Alaska and Puerto Rico included: the other
  // entities count only International entries, so that no entry is counted twice.
  d += "Other North American entities (International database; the U.S. database's\n"
       "Alaska, Puerto Rico and other areas are in the table above)\n\n";
  const std::string head2 = Left("Entity", nameW + 12) + Left("Prefix", 8) + Right("Entries", numW);
  d += head2 + "\n" + std::string(Width(head2), '-') + "\n";
  int64_t others = 0;
  for (const auto& dx : t.dxcc) {
    if (dx.continent != "NA" || dx.name == "United States") continue;
    const auto find = [&dx](const std::map<std::string, int32_t>& m) {
      const auto it = m.find(dx.name);
      return it == m.end() ? 0 : it->second;
    };
    const int32_t n = find(c.intlByDxcc);
    if (n == 0) continue;
    others += n;
    d += Left(Utf8(dx.name), nameW + 12) + Left(PrefixOf(dx), 8) + Right(Grouped(n), numW) + "\n";
  }
  d += std::string(Width(head2), '-') + "\n" + Left("All other entities", nameW + 20) +
       Right(Grouped(others), numW) + "\n";
  return d;
}

std::vector<std::string> ShortPrefixes(const std::vector<std::string>& prefixes) {
  std::set<std::string> all(prefixes.begin(), prefixes.end());
  std::vector<std::string> r;
  for (const auto& p : all) {
    bool covered = false;
    for (const auto& q : all)
      covered = covered || (q.size() < p.size() && p.compare(0, q.size(), q) == 0);
    if (!covered && !p.empty()) r.push_back(p);
  }
  return r;
}

namespace {

std::vector<std::string> EntityPrefixes(const TDxccRow& d) {
  std::vector<std::string> p = ShortPrefixes(d.prefixes);
  if (p.empty()) p.push_back(PrefixOf(d));
  return p;
}

std::string Joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += (s.empty() ? "" : " ") + Utf8(x);
  return s;
}

}  // namespace

std::string DxccListDocument(const TEditionCounts& c, const TSourceTables& t) {
  std::string d = Heading("DXCC Countries List",
                          "The entities of the DXCC list with their continent, CQ and ITU zones\n"
                          "and the entries of this edition in each.");
  std::vector<const TDxccRow*> rows;
  for (const auto& x : t.dxcc) rows.push_back(&x);
  std::sort(rows.begin(), rows.end(),
            [](const TDxccRow* a, const TDxccRow* b) { return a->prefix < b->prefix; });
  const std::string head = Left("Prefix", 8) + Left("Entity", 34) + Left("Cont.", 6) +
                           Right("CQ", 4) + Right("ITU", 5) + Right("Entries", 11);
  d += head + "\n" + std::string(Width(head), '-') + "\n";
  for (const TDxccRow* x : rows) {
    const auto find = [x](const std::map<std::string, int32_t>& m) {
      const auto it = m.find(x->name);
      return it == m.end() ? 0 : it->second;
    };
    d += Left(PrefixOf(*x), 8) + Left(Utf8(x->name), 34) + Left(x->continent, 6) +
         Right(std::to_string(x->cq), 4) + Right(std::to_string(x->itu), 5) +
         Right(Grouped(find(c.intlByDxcc) + find(c.usByDxcc)), 11) + "\n";
  }
  d += std::string(Width(head), '-') + "\n" + std::to_string(rows.size()) + " entities\n";
  return d;
}

std::string ZonesByCountryDocument(const TSourceTables& t) {
  std::string d = Heading("Prefixes by Country - 40 Zone",
                          "Each entity with its prefixes, its CQ zone (the 40-zone system) and\n"
                          "its ITU zone; then the entities of each CQ zone.");
  std::vector<const TDxccRow*> rows;
  for (const auto& x : t.dxcc) rows.push_back(&x);
  std::sort(rows.begin(), rows.end(),
            [](const TDxccRow* a, const TDxccRow* b) { return a->name < b->name; });
  const std::string head = Left("Entity", 34) + Right("CQ", 4) + Right("ITU", 5) + "  Prefixes";
  d += head + "\n" + std::string(78, '-') + "\n";
  for (const TDxccRow* x : rows) {
    const std::string lead = Left(Utf8(x->name), 34) + Right(std::to_string(x->cq), 4) +
                             Right(std::to_string(x->itu), 5) + "  ";
    d += WrapText(Joined(EntityPrefixes(*x)), 78, lead, std::string(45, ' '));
  }
  d += "\nEntities by CQ zone\n\n";
  for (int zone = 1; zone <= 40; ++zone) {
    std::string names;
    for (const TDxccRow* x : rows)
      if (x->cq == zone) names += (names.empty() ? "" : ", ") + Utf8(x->name);
    d += WrapText(names.empty() ? "-" : names, 78, Left("Zone " + std::to_string(zone), 9),
                  std::string(9, ' '));
  }
  return d;
}

std::string PrefixListDocument(const TSourceTables& t) {
  std::string d = Heading("International Amateur Radio Prefixes",
                          "Every prefix in alphabetical order with its DXCC entity, continent and\n"
                          "CQ zone.");
  std::vector<std::pair<std::string, const TDxccRow*>> rows;
  for (const auto& x : t.dxcc)
    for (const auto& p : EntityPrefixes(x)) rows.emplace_back(p, &x);
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second->name < b.second->name;
  });
  const std::string head =
      Left("Prefix", 10) + Left("Entity", 40) + Left("Cont.", 6) + Right("CQ", 4);
  d += head + "\n" + std::string(Width(head), '-') + "\n";
  for (const auto& [p, x] : rows)
    d += Left(Utf8(p), 10) + Left(Utf8(x->name), 40) + Left(x->continent, 6) +
         Right(std::to_string(x->cq), 4) + "\n";
  return d;
}

std::string AllocationDocument(const TSourceTables& t) {
  std::string d =
      Heading("Table of Allocation",
              "Call sign series in amateur use, by their first two characters, with the\n"
              "countries and entities whose prefixes begin with them.");
  std::map<std::string, std::set<std::string>> series;
  for (const auto& x : t.dxcc) {
    const std::string who = x.country.empty() ? x.name : x.country;
    for (const auto& p : EntityPrefixes(x))
      series[p.substr(0, std::min<size_t>(2, p.size()))].insert(who);
  }
  for (const auto& [s, names] : series) {
    std::string list;
    for (const auto& n : names) list += (list.empty() ? "" : ", ") + Utf8(n);
    d += WrapText(list, 78, Left(Utf8(s), 6), std::string(6, ' '));
  }
  return d;
}

namespace {

struct TZoneOffsets {
  long standard = 0, summer = 0;
  bool hasSummer = false;
};

TZoneOffsets OffsetsOf(const std::string& zoneFile, int year) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", (":" + zoneFile).c_str(), 1);
  tzset();
  TZoneOffsets z;
  bool haveStandard = false;
  for (int month : {0, 6}) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month;
    tm.tm_mday = 15;
    tm.tm_hour = 12;
    const std::time_t when = timegm(&tm);
    std::tm local{};
    localtime_r(&when, &local);
    if (local.tm_isdst > 0) {
      z.summer = local.tm_gmtoff;
      z.hasSummer = true;
    } else if (!haveStandard) {
      z.standard = local.tm_gmtoff;
      haveStandard = true;
    }
  }
  if (!haveStandard) z.standard = z.summer, z.hasSummer = false;  // all year on one offset
  if (old)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  return z;
}

std::string UtcOffset(long seconds) {
  const long m = (seconds < 0 ? -seconds : seconds) / 60;
  char buf[48];
  std::snprintf(buf, sizeof buf, "UTC%c%02ld:%02ld", seconds < 0 ? '-' : '+', m / 60, m % 60);
  return buf;
}

std::vector<std::vector<std::string>> ReadTab(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text))
    throw EStatusError(TStatus::WithMessage(TStatusCode::IOError, "cannot read " + path));
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> cols;
    std::istringstream cs(line);
    std::string col;
    while (std::getline(cs, col, '\t')) cols.push_back(col);
    rows.push_back(cols);
  }
  return rows;
}

}  // namespace

std::string StandardTimeDocument(const std::string& zoneinfoDir, int year) {
  std::map<std::string, std::string> countries;
  for (const auto& r : ReadTab(zoneinfoDir + "/iso3166.tab"))
    if (r.size() >= 2) countries[r[0]] = r[1];
  struct TRow {
    std::string country, zone, note;
    TZoneOffsets offsets;
  };
  std::vector<TRow> rows;
  for (const auto& r : ReadTab(zoneinfoDir + "/zone.tab")) {
    if (r.size() < 3) continue;
    const std::string file = zoneinfoDir + "/" + r[2];
    if (!fs::is_regular_file(file)) continue;
    const auto it = countries.find(r[0]);
    rows.push_back({it == countries.end() ? r[0] : it->second, r[2], r.size() > 3 ? r[3] : "",
                    OffsetsOf(file, year)});
  }
  std::sort(rows.begin(), rows.end(), [](const TRow& a, const TRow& b) {
    return a.country != b.country ? a.country < b.country : a.zone < b.zone;
  });
  std::string d =
      Heading("Standard Time Throughout the World",
              "Standard time and, where it is kept, summer time of every time zone, as the\n"
              "time-zone tables gave them for " +
                  std::to_string(year) + " when this edition was built.");
  const std::string head =
      Left("Country", 28) + Left("Time zone", 32) + Left("Standard", 11) + "Summer";
  d += head + "\n" + std::string(78, '-') + "\n";
  for (const TRow& r : rows) {
    d += Left(r.country, 28) + Left(r.zone, 32) + Left(UtcOffset(r.offsets.standard), 11) +
         (r.offsets.hasSummer ? UtcOffset(r.offsets.summer) : std::string("-")) + "\n";
    if (!r.note.empty()) d += std::string(30, ' ') + r.note + "\n";
  }
  return d;
}

TDocumentSummary WriteDocuments(const std::string& outDir, const TEditionCounts& counts,
                                const TSourceTables& tables, const TDocumentOptions& o) {
  TDocumentSummary summary;
  const auto warn = [&o](const std::string& w) {
    if (o.warning) o.warning(w);
  };
  std::error_code ec;
  for (const char* dir : {"texte", "HELP"}) {
    fs::create_directories(fs::path(outDir) / dir, ec);
    if (ec)
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "cannot create " + (fs::path(outDir) / dir).string()));
  }
  const auto write = [&](const std::string& rel, const std::string& text) {
    const std::string path = (fs::path(outDir) / rel).string();
    if (!WriteFileAtomically(path, text))
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "cannot write " + path + ": " + ErrorCodeText(LastErrorCode())));
    summary.files.emplace_back(rel, static_cast<int64_t>(text.size()));
  };
  write("texte/census.txt", StateCensusDocument(counts, tables));
  write("texte/intlcen.txt", WorldCensusDocument(counts, tables));
  write("texte/cendsk3.txt", NorthAmericanCensusDocument(counts, tables, true));
  write("texte/cendsk5.txt", NorthAmericanCensusDocument(counts, tables, false));
  write("texte/dxcc2.txt", DxccListDocument(counts, tables));
  write("texte/cqzone2.txt", ZonesByCountryDocument(tables));
  write("texte/prefix2.txt", PrefixListDocument(tables));
  write("texte/calls2.txt", AllocationDocument(tables));
  try {
    write("texte/time.txt", StandardTimeDocument(o.zoneinfoDir, Year(o.year)));
  } catch (const EStatusError& e) {
    warn(std::string("no time table: ") + e.what());
  }

  // Hand-written documents.
  static const char* const kTexts[] = {"beacon.txt", "beacon2.txt",  "beaconsw.txt", "qsign.txt",
                                       "postal.txt", "interfac.txt", "qsl2.txt",     "recip2.txt",
                                       "rli.txt",    "third2.txt",   "telecode.txt"};
  for (const char* name : kTexts) {
    std::string text;
    if (!ReadWholeFile((fs::path(o.textsDir) / name).string(), text)) {
      warn(std::string("hand-written document missing: ") + name);
      continue;
    }
    write(std::string("texte/") + name, text);
  }

  std::string source;
  if (!ReadWholeFile((fs::path(o.textsDir) / "tellmark.help").string(), source)) {
    warn("help source missing: tellmark.help");
    return summary;
  }
  const auto topics = ParseHelpSource(source);
  const std::string title = "Tellmark Help";
  write("HELP/tellmark.html", HelpToHtml(topics, title));
  write("texte/tellmark.rtf", HelpToRtf(topics, title));
  write("texte/tellmark.txt", HelpToText(topics, title));
  return summary;
}

#include "builder/USourceTables.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/UTextLines.h"
#include "dataset/UEntityFile.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Code page 437

// Base letters of U+00C0..U+00FF and U+0100..U+017F, for characters the code page lacks.
constexpr std::string_view kLatin1Base =
    "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty";
constexpr std::string_view kLatinExtABase =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRrSsSs"
    "SsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(kLatin1Base.size() == 64 && kLatinExtABase.size() == 128);

void AppendTransliterated(std::string& out, uint32_t cp) {
  if (char c; CodePointToCp437(cp, c)) {
    out += c;
    return;
  }
  switch (cp) {
    case 0x00C6:
      out += "AE";
      return;  // only the capital: æ and Æ are both in the code page
    case 0x00DE:
      out += "Th";
      return;
    case 0x00FE:
      out += "th";
      return;
    case 0x0132:
      out += "IJ";
      return;
    case 0x0133:
      out += "ij";
      return;
    case 0x0152:
      out += "OE";
      return;
    case 0x0153:
      out += "oe";
      return;
    case 0x0218:
    case 0x015E:
      out += 'S';
      return;
    case 0x0219:
    case 0x015F:
      out += 's';
      return;
    case 0x021A:
    case 0x0162:
      out += 'T';
      return;
    case 0x021B:
    case 0x0163:
      out += 't';
      return;
    case 0x01A0:
      out += 'O';
      return;
    case 0x01A1:
      out += 'o';
      return;
    case 0x01AF:
      out += 'U';
      return;
    case 0x01B0:
      out += 'u';
      return;
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x02BC:
    case 0x00B4:
    case 0x0060:
      out += '\'';
      return;
    case 0x201C:
    case 0x201D:
    case 0x201E:
      out += '"';
      return;
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
      out += '-';
      return;
    case 0x2026:
      out += "...";
      return;
    case 0x00A0:
      out += ' ';
      return;
    default:
      break;
  }
  if (cp >= 0x00C0 && cp <= 0x00FF) {
    out += kLatin1Base[cp - 0x00C0];
  } else if (cp >= 0x0100 && cp <= 0x017F) {
    out += kLatinExtABase[cp - 0x0100];
  } else if (cp >= 0x0300 && cp <= 0x036F) {
    // combining mark: dropped
  } else {
    out += '?';
  }
}

// ---------------------------------------------------------------------------------------------
// Table reading

struct TTable {
  std::string file;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;  // UTF-8 cells
  std::vector<int> lineNo;

  [[noreturn]] void Fail(size_t row, const std::string& what) const {
    throw EStatusError(
        TStatus::Corrupt(file + " line " + std::to_string(lineNo[row]) + ": " + what));
  }
  double Number(size_t row, size_t col) const {
    const std::string& s = rows[row][col];
    double v = 0;
    const char* b = s.data();
    const char* e = b + s.size();
    if (b != e && *b == '+') ++b;
    auto [p, ec] = std::from_chars(b, e, v);
    if (s.empty() || ec != std::errc() || p != e)
      Fail(row, "column " + header[col] + ": \"" + s + "\" is not a number");
    return v;
  }
  std::string Text(size_t row, size_t col) const { return ToCp437(rows[row][col]); }
};

// Reads a table and checks that its header starts with the expected columns.
TTable ReadTable(const std::string& dir, const std::string& name,
                 const std::vector<std::string>& columns) {
  TTable t;
  t.file = name;
  std::string path = dir;
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  std::string text;
  if (!ReadWholeFile(path, text)) {
    const int code = LastErrorCode();
    std::string why = RunErrorText(code);
    throw EStatusError(TStatus::WithMessage(
        StatusFromLastError(path, code).Code(),
        "Cannot read source table " + path + ": " + (why.empty() ? ErrorCodeText(code) : why)));
  }
  TLineReader lines(text);
  bool first = true;
  for (std::string_view l; lines.Next(l);) {
    const int line = lines.LineNumber();
    if (first) {
      first = false;
      t.header = SplitFields(l, '\t');
      if (t.header.size() < columns.size() ||
          !std::equal(columns.begin(), columns.end(), t.header.begin()))
        throw EStatusError(
            TStatus::Corrupt(name + ": unexpected header (expected the columns " + [&] {
              std::string s;
              for (const auto& c : columns) s += (s.empty() ? "" : " ") + c;
              return s;
            }() + ")"));
      continue;
    }
    if (l.empty()) continue;
    auto cells = SplitFields(l, '\t');
    if (cells.size() < columns.size())
      throw EStatusError(TStatus::Corrupt(name + " line " + std::to_string(line) + ": " +
                                          std::to_string(cells.size()) + " columns, expected " +
                                          std::to_string(columns.size())));
    t.rows.push_back(std::move(cells));
    t.lineNo.push_back(line);
  }
  if (first) throw EStatusError(TStatus::Corrupt(name + ": empty file"));
  return t;
}

void LoadLocaleRows(const TTable& t, std::map<std::string, TLocaleNames>& locales) {
  for (size_t r = 0; r < t.rows.size(); ++r) {
    TLocaleNames& ln = locales[t.rows[r][0]];
    const std::string& kind = t.rows[r][1];
    std::string v = t.Text(r, 2);
    if (v.empty()) continue;
    if (kind == "first_m")
      ln.firstM.push_back(v);
    else if (kind == "first_f")
      ln.firstF.push_back(v);
    else if (kind == "last_m")
      ln.lastM.push_back(v);
    else if (kind == "last_f")
      ln.lastF.push_back(v);
    else if (kind == "last") {
      ln.lastM.push_back(v);
      ln.lastF.push_back(v);
    } else if (kind == "street")
      ln.streets.push_back(v);
    else if (kind == "postcode")
      ln.postcodes.push_back(v);
    else if (kind == "house")
      ln.houses.push_back(v);
    else if (kind == "order") {
      if (v != "street number" && v != "number street" && v != "street, number")
        t.Fail(r, "unknown address order \"" + v + "\"");
      ln.order = v;
    } else {
      t.Fail(r, "unknown kind \"" + kind + "\"");
    }
  }
}

// "text:weight" items; the weight may be missing (1).
TWeightedText ParseWeighted(const TTable& t, size_t row, std::string_view item) {
  TWeightedText w;
  const size_t colon = item.rfind(':');
  w.text = ToCp437(item.substr(0, colon));
  w.weight = 1;
  if (colon != std::string_view::npos) {
    const std::string num(item.substr(colon + 1));
    const char* b = num.data();
    auto [p, ec] = std::from_chars(b, b + num.size(), w.weight);
    if (num.empty() || ec != std::errc() || p != b + num.size() || w.weight < 0)
      t.Fail(row, "bad weight in \"" + std::string(item) + "\"");
  }
  if (w.text.empty()) t.Fail(row, "empty item \"" + std::string(item) + "\"");
  return w;
}

}  // namespace

std::string ToCp437(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  uint32_t cp = 0;
  while (i < s.size()) {
    if (DecodeUtf8(s, i, cp))
      AppendTransliterated(out, cp);
    else
      out += '?';
  }
  return out;
}

std::string UpperCp437(std::string_view s) {
  std::string r(s);
  for (char& c : r) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') {
      c = static_cast<char>(u - 32);
      continue;
    }
    switch (u) {
      case 0x84:
        c = static_cast<char>(0x8E);
        break;  // ä
      case 0x94:
        c = static_cast<char>(0x99);
        break;  // ö
      case 0x81:
        c = static_cast<char>(0x9A);
        break;  // ü
      case 0x82:
        c = static_cast<char>(0x90);
        break;  // é
      case 0x86:
        c = static_cast<char>(0x8F);
        break;  // å
      case 0x91:
        c = static_cast<char>(0x92);
        break;  // æ
      case 0x87:
        c = static_cast<char>(0x80);
        break;  // ç
      case 0xA4:
        c = static_cast<char>(0xA5);
        break;  // ñ
      case 0x83:
      case 0x85:
      case 0xA0:
        c = 'A';
        break;
      case 0x88:
      case 0x89:
      case 0x8A:
        c = 'E';
        break;
      case 0x8B:
      case 0x8C:
      case 0x8D:
      case 0xA1:
        c = 'I';
        break;
      case 0x93:
      case 0x95:
      case 0xA2:
        c = 'O';
        break;
      case 0x96:
      case 0x97:
      case 0xA3:
        c = 'U';
        break;
      case 0x98:
        c = 'Y';
        break;
      default:
        break;
    }
  }
  return r;
}

const TDxccRow* TSourceTables::FindDxcc(std::string_view prefix) const {
  for (const auto& d : dxcc)
    if (d.prefix == prefix) return &d;
  return nullptr;
}

const TUSStateRow* TSourceTables::FindState(std::string_view state) const {
  for (const auto& s : states)
    if (s.state == state) return &s;
  return nullptr;
}

TSourceTables LoadSourceTables(const std::string& dir) {
  TSourceTables st;

  {
    const TTable t =
        ReadTable(dir, "us_zips.tsv",
                  {"zip", "city", "state", "county", "lat", "lon", "tz", "tzname", "population"});
    st.zips.reserve(t.rows.size());
    for (size_t r = 0; r < t.rows.size(); ++r) {
      TZipRow z;
      z.zip = t.Text(r, 0);
      if (z.zip.size() != 5 ||
          !std::all_of(z.zip.begin(), z.zip.end(), [](char c) { return c >= '0' && c <= '9'; }))
        t.Fail(r, "ZIP \"" + z.zip + "\" is not 5 digits");
      z.city = t.Text(r, 1);
      z.state = t.Text(r, 2);
      z.county = t.Text(r, 3);
      z.lat = t.Number(r, 4);
      z.lon = t.Number(r, 5);
      z.timeZone = t.Text(r, 6);
      z.population = t.Number(r, 8);
      st.zips.push_back(std::move(z));
    }
  }
  {
    const TTable t = ReadTable(dir, "us_areacodes.tsv", {"code", "state", "lat", "lon"});
    for (size_t r = 0; r < t.rows.size(); ++r)
      st.areaCodes.push_back({t.Text(r, 0), t.Text(r, 1), t.Number(r, 2), t.Number(r, 3)});
  }
  {
    const TTable t = ReadTable(dir, "us_first_names.tsv", {"decade", "sex", "name", "weight"});
    for (size_t r = 0; r < t.rows.size(); ++r) {
      const int decade = static_cast<int>(t.Number(r, 0));
      const std::string& sex = t.rows[r][1];
      if (sex != "M" && sex != "F") t.Fail(r, "sex must be M or F");
      st.firstNames[{decade, sex[0]}].push_back({t.Text(r, 2), t.Number(r, 3)});
    }
  }
  {
    const TTable t = ReadTable(dir, "us_surnames.tsv", {"rank", "name", "weight"});
    st.surnames.reserve(t.rows.size());
    for (size_t r = 0; r < t.rows.size(); ++r)
      st.surnames.push_back({t.Text(r, 1), t.Number(r, 2)});
  }
  {
    const TTable t = ReadTable(dir, "us_streets.tsv", {"kind", "value", "weight"});
    for (size_t r = 0; r < t.rows.size(); ++r) {
      TWeightedText w{UpperCp437(t.Text(r, 1)), t.Number(r, 2)};
      if (t.rows[r][0] == "name")
        st.streetNames.push_back(std::move(w));
      else if (t.rows[r][0] == "suffix")
        st.streetSuffixes.push_back(std::move(w));
      else
        t.Fail(r, "kind must be name or suffix");
    }
  }
  {
    const TTable t = ReadTable(dir, "dxcc.tsv",
                               {"prefix", "name", "dxcc", "continent", "cq", "itu", "lat", "lon",
                                "utc", "iso", "country", "prefixes"});
    for (size_t r = 0; r < t.rows.size(); ++r) {
      TDxccRow d;
      d.prefix = t.Text(r, 0);
      d.name = t.Text(r, 1);
      d.dxcc = static_cast<int>(t.Number(r, 2));
      d.continent = t.Text(r, 3);
      d.cq = static_cast<int>(t.Number(r, 4));
      d.itu = static_cast<int>(t.Number(r, 5));
      d.lat = t.Number(r, 6);
      d.lon = t.Number(r, 7);
      d.iso = t.Text(r, 9);
      d.country = t.Text(r, 10);
      d.prefixes = SplitWords(t.Text(r, 11));
      st.dxcc.push_back(std::move(d));
    }
  }
  {
    const TTable t = ReadTable(dir, "world_cities.tsv",
                               {"name", "iso", "admin1", "dxcc", "lat", "lon", "population"});
    st.cities.reserve(t.rows.size());
    for (size_t r = 0; r < t.rows.size(); ++r)
      st.cities.push_back({t.Text(r, 0),
                           t.Text(r, 1),
                           t.Text(r, 2),
                           t.Text(r, 3),
                           t.Number(r, 4),
                           t.Number(r, 5),
                           t.Number(r, 6),
                           {}});
  }
  // Canadian places (optional).
  if (const auto cty = std::filesystem::path(dir) / "cty.tsv"; std::filesystem::exists(cty)) {
    std::string text;
    if (!ReadWholeFile(cty.string(), text))
      throw EStatusError(TStatus::WithMessage(
          StatusFromLastError(cty.string(), LastErrorCode()).Code(),
          "cannot read " + cty.string() + ": " + ErrorCodeText(LastErrorCode())));
    TResult<TCountryFile> country = ParseCountryFile(text, nullptr);
    if (!country.ok())
      throw EStatusError(TStatus::Corrupt(cty.string() + " " + country.Status().Message()));
    st.country = std::move(country).Value();
  }
  if (std::filesystem::exists(std::filesystem::path(dir) / "ca_places.tsv")) {
    const TTable t =
        ReadTable(dir, "ca_places.tsv", {"name", "province", "lat", "lon", "population"});
    st.canadianPlaces.reserve(t.rows.size());
    for (size_t r = 0; r < t.rows.size(); ++r)
      st.canadianPlaces.push_back(
          {t.Text(r, 0), t.Text(r, 1), t.Number(r, 2), t.Number(r, 3), t.Number(r, 4)});
  }
  // Postcodes of the towns of the countries that publish a table (optional).
  if (std::filesystem::exists(std::filesystem::path(dir) / "world_postcodes.tsv")) {
    const TTable t = ReadTable(dir, "world_postcodes.tsv", {"iso", "city", "postcodes"});
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> codes;
    for (size_t r = 0; r < t.rows.size(); ++r) {
      std::vector<std::string> list = SplitWords(t.Text(r, 2));
      if (list.empty()) t.Fail(r, "no postcode");
      codes[{t.Text(r, 0), t.Text(r, 1)}] = std::move(list);
    }
    for (auto& c : st.cities)
      if (const auto it = codes.find({c.iso, c.name}); it != codes.end()) c.postcodes = it->second;
  }
  {
    const TTable t =
        ReadTable(dir, "us_states.tsv", {"state", "name", "district", "prefixes", "dxcc"});
    for (size_t r = 0; r < t.rows.size(); ++r) {
      TUSStateRow s;
      s.state = t.Text(r, 0);
      s.name = t.Text(r, 1);
      const std::string d = t.Text(r, 2);
      if (d.size() != 1 || d[0] < '0' || d[0] > '9') t.Fail(r, "district must be one digit");
      s.district = d[0];
      s.prefixes = SplitWords(t.Text(r, 3));
      for (const auto& p : s.prefixes)
        if (p.size() != 3 || p.back() != s.district)
          t.Fail(r, "special prefix \"" + p + "\" must be two letters and the district digit");
      s.dxcc = t.Text(r, 4);
      // Zones: optional columns cq and itu.
      for (size_t c = 5; c < t.header.size() && c < t.rows[r].size(); ++c) {
        if (t.header[c] != "cq" && t.header[c] != "itu") continue;
        if (!ParseZoneRule(t.rows[r][c], t.header[c] == "cq" ? s.cq : s.itu))
          t.Fail(r, "column " + t.header[c] + ": \"" + t.rows[r][c] + "\" is not a zone");
      }
      st.states.push_back(std::move(s));
    }
  }
  {
    const TTable t = ReadTable(dir, "dx_licensing.tsv",
                               {"dxcc", "weight", "locale", "calls", "digits", "classes"});
    for (size_t r = 0; r < t.rows.size(); ++r) {
      TLicensingRow l;
      l.dxcc = t.Text(r, 0);
      l.weight = t.Number(r, 1);
      l.locale = t.rows[r][2];
      for (const auto& item : SplitWords(t.rows[r][3])) {
        TCallPattern p;
        const size_t eq = item.find('=');
        std::string_view head(item);
        if (eq != std::string::npos) {
          p.fixedClass = ToCp437(item.substr(eq + 1));
          head = head.substr(0, eq);
        }
        const TWeightedText w = ParseWeighted(t, r, head);
        p.pattern = w.text;
        p.weight = w.weight;
        l.calls.push_back(std::move(p));
      }
      if (l.calls.empty()) t.Fail(r, "no call patterns");
      l.digits = t.Text(r, 4);
      for (const auto& item : SplitFields(t.rows[r][5], '|'))
        if (!item.empty()) l.classes.push_back(ParseWeighted(t, r, item));
      if (l.classes.empty()) t.Fail(r, "no licence classes");
      st.licensing.push_back(std::move(l));
    }
  }
  {
    const TTable t = ReadTable(dir, "call_areas.tsv", {"dxcc", "admin1", "area"});
    for (size_t r = 0; r < t.rows.size(); ++r)
      st.callAreas.push_back({t.Text(r, 0), t.Text(r, 1), t.Text(r, 2)});
  }
  LoadLocaleRows(ReadTable(dir, "locale_names.tsv", {"locale", "kind", "value"}), st.locales);
  LoadLocaleRows(ReadTable(dir, "locale_names_extra.tsv", {"locale", "kind", "value"}), st.locales);
  return st;
}

TEntityTable MakeEntityTable(const TSourceTables& tables) {
  TEntityTable t;
  for (const TDxccRow& d : tables.dxcc) {
    TEntity e;
    e.code = d.dxcc;
    e.name = Cp437ToUtf8(d.name);
    e.continent = Cp437ToUtf8(d.continent);
    e.cqZone = d.cq;
    e.ituZone = d.itu;
    for (const std::string& p : d.prefixes) e.prefixes.push_back(Cp437ToUtf8(p));
    t.AddEntity(std::move(e));
  }
  for (const TUSStateRow& s : tables.states) {
    const TDxccRow* d = tables.FindDxcc(s.dxcc);
    if (!d) continue;
    t.AddState({Cp437ToUtf8(s.state), d->dxcc, s.cq, s.itu});
  }
  if (!tables.country.Empty()) t.SetCountryFile(tables.country);
  return t;
}

#include "builder/UIsedImport.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "builder/UImportText.h"
#include "builder/USourceTables.h"
#include "builder/UZipArchive.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/UTextLines.h"
#include "dataset/ULocator.h"
#include "textsearch/UWordFold.h"

namespace {

constexpr size_t kFieldCount = 18;
constexpr size_t kMaxSamples = 10;
enum TField : size_t {
  fCall,
  fFirstName,
  fSurname,
  fAddress,
  fCity,
  fProvince,
  fPostalCode,
  fQualA,
  fQualB,
  fQualC,
  fQualD,
  fQualE,
  fClubName,
  fClubName2,
  fClubAddress,
  fClubCity,
  fClubProvince,
  fClubPostalCode
};

// Letters, then one digit, then one to three letters (VA1AA, VE3ABC, VY0A, CY0XX).
bool IsCanadianCall(std::string_view call) {
  size_t i = 0;
  while (i < call.size() && call[i] >= 'A' && call[i] <= 'Z') ++i;
  if (i < 1 || i > 2 || i >= call.size() || call[i] < '0' || call[i] > '9') return false;
  const size_t suffix = call.size() - i - 1;
  if (suffix < 1 || suffix > 3) return false;
  return std::all_of(call.begin() + static_cast<std::ptrdiff_t>(i) + 1, call.end(),
                     [](char c) { return c >= 'A' && c <= 'Z'; });
}

// A town name as a key: upper case, accents off, hyphens and dots as blanks, "SAINT(E)" as
// "ST(E)", blanks single.
std::string TownKey(std::string_view cp437) {
  std::string s = FoldLetters(UpperCp437(cp437));
  for (char& c : s)
    if (c == '-' || c == '.' || c == '\'') c = ' ';
  std::string words;
  for (std::string w : SplitWords(s)) {
    if (w == "SAINT") w = "ST";
    if (w == "SAINTE") w = "STE";
    if (!words.empty()) words += ' ';
    words += w;
  }
  return words;
}

std::string Fixed4(double v) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
  return ec == std::errc() ? std::string(buf, p) : std::string("0");
}

std::string LocatorOf(const TCanadianPlace& p, size_t length) {
  return CoordToLocator(Fixed4(-p.lon), Fixed4(p.lat)).substr(0, length);
}

std::string ReadRegister(const std::string& path) {
  std::string text = ReadImportFile(path);
  if (text.compare(0, 4, "PK\x03\x04") != 0) return text;
  const TZipArchive zip(path);
  const TZipMember* m = zip.Find("amateur_delim.txt");
  if (!m) throw EStatusError(TStatus::NotFound(path + " holds no amateur_delim.txt"));
  text.clear();
  zip.Read(*m, [&text](const char* data, size_t size) { text.append(data, size); });
  return text;
}

}  // namespace

std::string IsedClassText(std::string_view a, std::string_view b, std::string_view c,
                          std::string_view d, std::string_view e) {
  const auto has = [](std::string_view q) { return !TrimBlanks(q).empty(); };
  std::string text;
  const auto add = [&text](const char* part) {
    text += (text.empty() ? "" : ", ") + std::string(part);
  };
  if (has(e))
    add("Basic with Honours");
  else if (has(a))
    add("Basic");
  if (has(d)) add("Advanced");
  if (has(c))
    add("12 WPM");
  else if (has(b))
    add("5 WPM");
  return text;
}

std::string CanadianPostalCode(std::string_view code) {
  const std::string c = AsciiUpper(RemoveBlanks(code));
  const auto letter = [](char x) { return x >= 'A' && x <= 'Z'; };
  const auto digit = [](char x) { return x >= '0' && x <= '9'; };
  if (c.size() == 6 && letter(c[0]) && digit(c[1]) && letter(c[2]) && digit(c[3]) && letter(c[4]) &&
      digit(c[5]))
    return c.substr(0, 3) + " " + c.substr(3);
  return TrimBlanks(code);
}

TIsedImportReport ImportIsed(const std::string& path, TBuildInput& input,
                             const TSourceTables& tables) {
  std::string text = ReadRegister(path);
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

  TIsedImportReport report;
  const TDxccRow* canada = tables.FindDxcc("VE");
  const std::string country = canada && !canada->country.empty() ? canada->country : "Canada";
  const std::string entity = canada ? canada->name : "Canada";

  // The most populous place of a name in a province.
  std::unordered_map<std::string, const TCanadianPlace*> towns;
  for (const auto& p : tables.canadianPlaces) {
    const TCanadianPlace*& best = towns[p.province + "|" + TownKey(p.name)];
    if (!best || p.population > best->population) best = &p;
  }

  std::unordered_set<std::string> held;
  for (const auto& e : input.intl)
    for (const auto& [tag, t] : e.fields)
      if (tag == itCall) held.emplace(t);

  struct TPending {
    size_t entry;
    std::string area;  // forward sortation area
  };
  std::vector<TPending> pending;
  // Per sortation area, the towns of its stations that have a place, counted.
  std::map<std::string, std::map<const TCanadianPlace*, int>> areaTowns;

  const auto bad = [&](uint64_t line, const std::string& why) {
    ++report.bad;
    if (report.badSamples.size() < kMaxSamples)
      report.badSamples.push_back("line " + std::to_string(line) + ": " + why);
  };

  TLineReader lines(text);
  bool first = true;
  for (std::string_view line; lines.Next(line);) {
    const auto lineNo = static_cast<uint64_t>(lines.LineNumber());
    if (first) {
      first = false;
      if (AsciiLower(TrimBlanks(line)) != kIsedHeader)
        throw EStatusError(TStatus::InvalidArgument(
            path + " is not the Canadian amateur register: its first line is \"" +
            Cp437ToUtf8(CleanImportField(line.substr(0, 80))) + "\", expected \"" + kIsedHeader +
            "\""));
      continue;
    }
    if (TrimBlanks(line).empty()) continue;
    ++report.lines;
    std::vector<std::string_view> f;
    size_t at = 0;
    for (;;) {
      const size_t semi = line.find(';', at);
      f.push_back(line.substr(at, semi == std::string_view::npos ? semi : semi - at));
      if (semi == std::string_view::npos) break;
      at = semi + 1;
    }
    // Empty fields past the last (a line ended by an extra ";") are read as public parsers of
    // the register read them; extra fields with a value make the line unusable.
    while (f.size() > kFieldCount && TrimBlanks(f.back()).empty()) f.pop_back();
    if (f.size() != kFieldCount) {
      bad(lineNo, std::to_string(f.size()) + " fields instead of " + std::to_string(kFieldCount));
      continue;
    }
    const std::string call = AsciiUpper(CleanImportField(f[fCall]));
    if (call.empty()) {
      bad(lineNo, "no call sign");
      continue;
    }
    if (!IsCanadianCall(call)) {
      bad(lineNo, "\"" + Cp437ToUtf8(call) + "\" is not a call sign");
      continue;
    }
    std::string stored = call;
    std::replace(stored.begin(), stored.end(), '0', '<');
    if (held.count(stored)) {
      ++report.keptFromCsv;
      continue;
    }
    held.insert(stored);

    const std::string person =
        TrimBlanks(CleanImportField(f[fFirstName]) + " " + CleanImportField(f[fSurname]));
    const std::string club =
        TrimBlanks(CleanImportField(f[fClubName]) + " " + CleanImportField(f[fClubName2]));
    const bool isClub = !club.empty();
    // A club station's address is the club's, when the line gives one.
    const bool clubAddress =
        isClub &&
        !CleanImportField(std::string(f[fClubAddress]) + std::string(f[fClubCity])).empty();
    const std::string street = CleanImportField(clubAddress ? f[fClubAddress] : f[fAddress]);
    const std::string city = CleanImportField(clubAddress ? f[fClubCity] : f[fCity]);
    const std::string province =
        AsciiUpper(CleanImportField(clubAddress ? f[fClubProvince] : f[fProvince]));
    const std::string postal =
        CanadianPostalCode(CleanImportField(clubAddress ? f[fClubPostalCode] : f[fPostalCode]));
    std::string place = city;
    if (!province.empty()) place += (place.empty() ? "" : " ") + province;
    if (!postal.empty()) place += (place.empty() ? "" : "  ") + postal;
    std::string address;
    for (const std::string& part : {isClub ? club : person, street, place}) {
      if (part.empty()) continue;
      if (!address.empty()) address += ", ";
      address += part;
    }

    const TCanadianPlace* town = nullptr;
    if (const auto it = towns.find(province + "|" + TownKey(city)); it != towns.end())
      town = it->second;
    const std::string area = postal.size() == 7 ? postal.substr(0, 3) : std::string();
    if (town && !area.empty()) ++areaTowns[area][town];

    TBuildEntry e;
    e.db = TDatabase::Intl;
    const auto add = [&e](int tag, const std::string& t) {
      if (!t.empty()) e.fields.emplace_back(tag, t);
    };
    add(itCall, stored);
    add(itClass, IsedClassText(f[fQualA], f[fQualB], f[fQualC], f[fQualD], f[fQualE]));
    add(itAddress, address);
    add(itCountry, country);
    add(itDxcc, entity);
    if (isClub && !person.empty()) add(itComments, "Club station, responsible: " + person);
    if (town) {
      add(itLocator, LocatorOf(*town, 6));
      ++report.locatorFromTown;
    } else {
      pending.push_back({input.intl.size(), area});
    }
    input.intl.push_back(std::move(e));
    ++report.imported;
    if (isClub) ++report.clubs;
  }
  if (first) throw EStatusError(TStatus::Corrupt(path + " is empty (no header line)"));

  // Stations in a town the table does not know: the town most stations of their sortation area
  // live in, to 4 characters.
  for (const TPending& p : pending) {
    const auto it = p.area.empty() ? areaTowns.end() : areaTowns.find(p.area);
    if (it == areaTowns.end()) {
      ++report.withoutLocator;
      continue;
    }
    const auto best =
        std::max_element(it->second.begin(), it->second.end(),
                         [](const auto& x, const auto& y) { return x.second < y.second; });
    input.intl[p.entry].fields.InsertByTag(itLocator, LocatorOf(*best->first, 4));
    ++report.locatorFromArea;
  }
  return report;
}

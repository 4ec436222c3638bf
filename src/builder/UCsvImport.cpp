#include "builder/UCsvImport.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <unordered_map>

#include "builder/UImportText.h"
#include "builder/USourceTables.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/ULocator.h"

namespace {

constexpr size_t kMaxSamples = 20;

enum TColumn {
  cCall,
  cClass,
  cName,
  cStreet,
  cPostcode,
  cCity,
  cCountry,
  cDxcc,
  cLocator,
  cQslManager,
  cQslInfo,
  cQslDate,
  cComments,
  cFax,
  cEMail,
  cColumnCount
};
constexpr const char* kColumnNames[cColumnCount] = {
    "call",    "class",       "name",     "street",   "postcode", "city", "country", "dxcc",
    "locator", "qsl_manager", "qsl_info", "qsl_date", "comments", "fax",  "email"};

bool UsableCall(const std::string& call) {
  if (call.empty()) return false;
  return std::all_of(call.begin(), call.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/';
  });
}

// Country, entity and town look-ups of the source tables.
class TDerivation {
 public:
  explicit TDerivation(const TSourceTables& t) {
    for (const auto& d : t.dxcc)
      for (const auto& p : d.prefixes) {
        prefixes_.emplace(p, &d);  // the first entity of a prefix keeps it
        longest_ = std::max(longest_, p.size());
      }
    for (const auto& d : t.dxcc) names_.emplace(UpperCp437(d.name), &d);
    for (const auto& c : t.cities) {
      const TCityRow*& best = towns_[c.dxcc + "|" + UpperCp437(c.name)];
      if (!best || c.population > best->population) best = &c;
    }
  }

  // The entity of a call: its longest known prefix. Of a call with "/", the part that names the
  // place (VK2/W1AW, W1AW/VE3); portable and mobile marks (/P, /M, /MM, /QRP, /2) are passed by.
  const TDxccRow* Entity(const std::string& call) const {
    std::vector<std::string> parts;
    size_t b = 0;
    for (;;) {
      const size_t e = call.find('/', b);
      const std::string part = call.substr(b, e == std::string::npos ? e : e - b);
      const bool mark = part.empty() || part == "P" || part == "M" || part == "MM" ||
                        part == "AM" || part == "QRP" || part == "A" ||
                        (part.size() == 1 && part[0] >= '0' && part[0] <= '9');
      if (!mark) parts.push_back(part);
      if (e == std::string::npos) break;
      b = e + 1;
    }
    if (parts.empty()) return nullptr;
    const std::string* pick = &parts[0];
    if (parts.size() > 1 && parts[1].size() < parts[0].size()) pick = &parts[1];
    for (size_t n = std::min(longest_, pick->size()); n > 0; --n) {
      const auto it = prefixes_.find(pick->substr(0, n));
      if (it != prefixes_.end()) return it->second;
    }
    return nullptr;
  }

  // The most populous town of that name in the entity.
  const TCityRow* Town(const std::string& entityPrefix, const std::string& city) const {
    const auto it = towns_.find(entityPrefix + "|" + UpperCp437(city));
    return it == towns_.end() ? nullptr : it->second;
  }

  // An entity given by one of its prefixes or by its name.
  const TDxccRow* EntityByText(const std::string& text) const {
    const std::string upper = UpperCp437(text);
    const auto it = prefixes_.find(upper);
    if (it != prefixes_.end()) return it->second;
    const auto n = names_.find(upper);
    return n == names_.end() ? nullptr : n->second;
  }

 private:
  std::unordered_map<std::string, const TDxccRow*> prefixes_, names_;
  size_t longest_ = 0;
  std::unordered_map<std::string, const TCityRow*> towns_;
};

std::string Fixed4(double v) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 4);
  return ec == std::errc() ? std::string(buf, p) : std::string("0");
}

}  // namespace

TStatus ParseCsv(std::string_view text,
                 const std::function<void(const std::vector<std::string>&, uint64_t)>& row) {
  std::vector<std::string> fields(1);
  uint64_t line = 1, rowLine = 1;
  bool quoted = false, any = false;
  const auto endRow = [&] {
    if (any || fields.size() > 1 || !fields[0].empty()) row(fields, rowLine);
    fields.assign(1, std::string());
    any = false;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          fields.back() += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        if (c == '\n') ++line;
        fields.back() += c;
      }
      continue;
    }
    if (c == '"' && fields.back().empty()) {
      quoted = any = true;
    } else if (c == ',') {
      fields.emplace_back();
      any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      endRow();
      rowLine = ++line;
    } else {
      fields.back() += c;
    }
  }
  if (quoted)
    return TStatus::Corrupt("a quoted field opened in line " + std::to_string(rowLine) +
                            " is not closed");
  endRow();
  return TStatus::Ok();
}

TCsvImportReport ImportIntlCsv(const std::string& path, TBuildInput& input,
                               const TSourceTables* tables) {
  std::string text = ReadImportFile(path);
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

  TCsvImportReport report;
  std::unique_ptr<TDerivation> derive;
  if (tables) derive = std::make_unique<TDerivation>(*tables);
  int columnOf[cColumnCount];
  std::fill(columnOf, columnOf + cColumnCount, -1);
  size_t headerSize = 0;
  bool haveHeader = false;
  const auto malformed = [&](uint64_t line, const std::string& what) {
    ++report.malformed;
    if (report.malformedSamples.size() < kMaxSamples)
      report.malformedSamples.push_back(path + " line " + std::to_string(line) + ": " + what);
  };
  const auto note = [&](const std::string& what) {
    if (report.notes.size() < kMaxSamples) report.notes.push_back(what);
  };

  const TStatus parsed = ParseCsv(text, [&](const std::vector<std::string>& f, uint64_t line) {
    if (!haveHeader) {
      haveHeader = true;
      headerSize = f.size();
      for (size_t i = 0; i < f.size(); ++i) {
        const std::string name = AsciiLower(TrimBlanks(f[i]));
        const auto* it = std::find_if(std::begin(kColumnNames), std::end(kColumnNames),
                                      [&](const char* n) { return name == n; });
        if (it == std::end(kColumnNames)) {
          note("column \"" + Cp437ToUtf8(CleanImportField(f[i])) + "\" ignored");
        } else if (columnOf[it - std::begin(kColumnNames)] < 0) {
          columnOf[it - std::begin(kColumnNames)] = static_cast<int>(i);
        }
      }
      if (columnOf[cCall] < 0)
        throw EStatusError(TStatus::Corrupt(path + ": the header row has no \"call\" column"));
      return;
    }
    ++report.rows;
    if (f.size() != headerSize) {
      malformed(line, std::to_string(f.size()) + " fields (" + std::to_string(headerSize) +
                          " in the header)");
      return;
    }
    const auto get = [&](TColumn c) {
      return columnOf[c] < 0 ? std::string()
                             : CleanImportField(f[static_cast<size_t>(columnOf[c])]);
    };
    const std::string callText = AsciiUpper(get(cCall));
    if (!UsableCall(callText)) {
      malformed(line, callText.empty() ? "no call sign"
                                       : "call sign \"" + Cp437ToUtf8(callText) +
                                             "\" holds characters other than letters, "
                                             "digits and \"/\"");
      return;
    }
    std::string call = callText;
    std::replace(call.begin(), call.end(), '0', '<');

    TBuildEntry e;
    e.db = TDatabase::Intl;
    const auto add = [&](int tag, const std::string& t) {
      if (!t.empty()) e.fields.emplace_back(tag, t);
    };
    const std::string place = TrimBlanks(get(cPostcode) + " " + get(cCity));
    std::string address;
    for (const std::string& part : {get(cName), get(cStreet), place}) {
      if (part.empty()) continue;
      if (!address.empty()) address += ", ";
      address += part;
    }
    std::string qslRef;
    const std::string manager = AsciiUpper(get(cQslManager));
    if (!manager.empty()) {
      input.qslManagers.push_back(TQslManager{Cut(callText, 13), Cut(manager, 13),
                                              Cut(get(cQslInfo), 15),
                                              Cut(RemoveBlanks(get(cQslDate)), 8)});
      ++report.managers;
      qslRef = std::to_string(input.qslManagers.size());
    }
    std::string locator = AsciiUpper(RemoveBlanks(get(cLocator)));
    if (!locator.empty() && (locator.size() > 6 || !IsValidLocator(locator))) {
      note("line " + std::to_string(line) + ": locator \"" + Cp437ToUtf8(locator) +
           "\" is not valid, left out");
      locator.clear();
    }
    std::string country = get(cCountry), dxcc = get(cDxcc);
    const TDxccRow* entity = nullptr;
    if (derive) {
      entity = derive->Entity(callText);
      if (country.empty() && dxcc.empty() && entity) {
        country = entity->country.empty() ? entity->name : entity->country;
        dxcc = entity->name;
        ++report.derivedEntity;
      } else if (!dxcc.empty()) {
        // A given entity (by prefix) names the towns to look in.
        if (const TDxccRow* given = derive->EntityByText(dxcc)) entity = given;
      }
      const std::string city = get(cCity);
      if (locator.empty() && entity && !city.empty()) {
        if (const TCityRow* town = derive->Town(entity->prefix, city)) {
          locator = CoordToLocator(Fixed4(-town->lon), Fixed4(town->lat));
          if (!locator.empty()) ++report.derivedLocator;
        }
      }
    }
    add(1, call);
    add(2, get(cClass));
    add(3, address);
    add(4, country);
    add(5, dxcc);
    add(6, qslRef);
    add(7, get(cComments));
    add(8, get(cFax));
    add(9, get(cEMail));
    add(10, locator);
    input.intl.push_back(std::move(e));
    ++report.imported;
  });
  if (!parsed.ok()) throw EStatusError(parsed.WithContext(path));
  if (!haveHeader) throw EStatusError(TStatus::Corrupt(path + " is empty (no header row)"));
  return report;
}

#include "UCsvImport.h"

#include <algorithm>
#include <map>

#include "UImportText.h"
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

// Field text in code page 437, line breaks and runs of blanks made single blanks.
std::string Clean(std::string_view raw) {
  const std::string t = ImportText(raw);
  std::string r;
  r.reserve(t.size());
  for (char c : t) {
    if (c == ' ' && (r.empty() || r.back() == ' ')) continue;
    r += c;
  }
  return TrimBlanks(r);
}

bool UsableCall(const std::string& call) {
  if (call.empty()) return false;
  return std::all_of(call.begin(), call.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/';
  });
}

}  // namespace

bool ParseCsv(std::string_view text,
              const std::function<void(const std::vector<std::string>&, uint64_t)>& row,
              std::string& error) {
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
  if (quoted) {
    error = "a quoted field opened in line " + std::to_string(rowLine) + " is not closed";
    return false;
  }
  endRow();
  return true;
}

TCsvImportReport ImportIntlCsv(const std::string& path, TBuildInput& input) {
  std::string text;
  if (!ReadWholeFile(path, text))
    throw ECsvImportError("cannot read " + path + ": " + ErrorCodeText(LastErrorCode()) + " (" +
                          RunErrorText(LastErrorCode()) + ")");
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);

  TCsvImportReport report;
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

  std::string error;
  const bool ok = ParseCsv(
      text,
      [&](const std::vector<std::string>& f, uint64_t line) {
        if (!haveHeader) {
          haveHeader = true;
          headerSize = f.size();
          for (size_t i = 0; i < f.size(); ++i) {
            const std::string name = AsciiLower(TrimBlanks(f[i]));
            const auto* it = std::find_if(std::begin(kColumnNames), std::end(kColumnNames),
                                          [&](const char* n) { return name == n; });
            if (it == std::end(kColumnNames)) {
              note("column \"" + Cp437ToUtf8(Clean(f[i])) + "\" ignored");
            } else if (columnOf[it - std::begin(kColumnNames)] < 0) {
              columnOf[it - std::begin(kColumnNames)] = static_cast<int>(i);
            }
          }
          if (columnOf[cCall] < 0)
            throw ECsvImportError(path + ": the header row has no \"call\" column");
          return;
        }
        ++report.rows;
        if (f.size() != headerSize) {
          malformed(line, std::to_string(f.size()) + " fields (" + std::to_string(headerSize) +
                              " in the header)");
          return;
        }
        const auto get = [&](TColumn c) {
          return columnOf[c] < 0 ? std::string() : Clean(f[static_cast<size_t>(columnOf[c])]);
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
        add(1, call);
        add(2, get(cClass));
        add(3, address);
        add(4, get(cCountry));
        add(5, get(cDxcc));
        add(6, qslRef);
        add(7, get(cComments));
        add(8, get(cFax));
        add(9, get(cEMail));
        add(10, locator);
        input.intl.push_back(std::move(e));
        ++report.imported;
      },
      error);
  if (!ok) throw ECsvImportError(path + ": " + error);
  if (!haveHeader) throw ECsvImportError(path + " is empty (no header row)");
  return report;
}

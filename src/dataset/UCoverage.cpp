#include "dataset/UCoverage.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULocator.h"
#include "storage/UIndexEngine.h"

namespace {

std::string Grouped(int64_t n) {
  std::string s = std::to_string(n);
  for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3) s.insert(static_cast<size_t>(i), ",");
  return s;
}

std::string Share(int64_t part, int64_t whole) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s (%.1f%%)", Grouped(part).c_str(),
                whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
  return buf;
}

}  // namespace

void TCoverage::Add(TDatabase db, const std::function<std::string(int)>& field) {
  if (db == TDatabase::Intl) {
    ++intl;
    if (!TrimBlanks(field(itLocator)).empty()) ++intlWithLocator;
    if (!TrimBlanks(field(itDxcc)).empty()) ++intlWithDxcc;
    return;
  }
  ++us;
  ++usClasses[LicenceClassFieldText(field(utClass))];
  ++usStates[AsciiUpper(TrimBlanks(field(utState)))];
  if (!TrimBlanks(field(utCounty)).empty()) ++usWithCounty;
  const std::string lon = field(utLongitude), lat = field(utLatitude);
  if (!TrimBlanks(lon).empty() && !TrimBlanks(lat).empty()) ++usWithCoordinates;
  if (!CoordToLocator(lon, lat).empty()) ++usWithLocator;
}

void TCoverage::Add(const TEntryRecord& rec) {
  Add(rec.db, [&](int tag) { return rec.Field(tag); });
}

void TCoverage::Merge(const TCoverage& o) {
  us += o.us;
  intl += o.intl;
  for (const auto& [k, v] : o.usClasses) usClasses[k] += v;
  for (const auto& [k, v] : o.usStates) usStates[k] += v;
  usWithCounty += o.usWithCounty;
  usWithCoordinates += o.usWithCoordinates;
  usWithLocator += o.usWithLocator;
  intlWithLocator += o.intlWithLocator;
  intlWithDxcc += o.intlWithDxcc;
}

std::string TCoverage::Text() const {
  std::string t = "U.S. entries " + Grouped(us) + "\n";
  t += "  with county " + Share(usWithCounty, us) + ", coordinates " +
       Share(usWithCoordinates, us) + ", locator " + Share(usWithLocator, us) + "\n";
  t += "  licence classes:\n";
  // Most frequent first, then by text.
  std::vector<std::pair<std::string, int64_t>> classes(usClasses.begin(), usClasses.end());
  std::stable_sort(classes.begin(), classes.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  for (const auto& [cls, n] : classes) {
    char item[96];
    std::snprintf(item, sizeof item, "    %-22s %s\n", cls.empty() ? "(none)" : cls.c_str(),
                  Share(n, us).c_str());
    t += item;
  }
  t += "  states:\n";
  std::string line;
  int onLine = 0;
  for (const auto& [state, n] : usStates) {
    char item[48];
    std::snprintf(item, sizeof item, "%-4s %9s", state.empty() ? "--" : state.c_str(),
                  Grouped(n).c_str());
    line += (onLine ? "   " : "    ") + std::string(item);
    if (++onLine == 5) {
      t += line + "\n";
      line.clear();
      onLine = 0;
    }
  }
  if (!line.empty()) t += line + "\n";
  t += "International entries " + Grouped(intl) + "\n";
  t += "  with locator " + Share(intlWithLocator, intl) + ", DXCC entity " +
       Share(intlWithDxcc, intl) + "\n";
  return t;
}

bool CountDataSetCoverage(TCoverage& c, const char*& failedFile) {
  c = {};
  for (const int order : {oiIntlCall, oiUSCall}) {
    const TDatabase db = order == oiUSCall ? TDatabase::US : TDatabase::Intl;
    const int32_t n = OrderEntryCount(order);
    TEntryRecord rec;
    for (int32_t p = 0; p < n; ++p) {
      int32_t ref = 0;
      if (!ReadOrderEntry(order, p, ref)) {
        failedFile = kSequenceFileName;
        return false;
      }
      if (!ReadRecord(db, ref, rec)) {
        failedFile = kDataFileName;
        return false;
      }
      c.Add(rec);
    }
  }
  return true;
}

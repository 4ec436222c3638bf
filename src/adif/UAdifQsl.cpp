#include "adif/UAdifQsl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <unordered_map>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UCallParts.h"

namespace {

bool AllDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string ShownDate(std::string_view d) {
  if (d.size() != 8 || !AllDigits(d)) return std::string(d);
  return std::string(d.substr(0, 4)) + "-" + std::string(d.substr(4, 2)) + "-" +
         std::string(d.substr(6, 2));
}

std::string ShownTime(std::string_view t) {
  if ((t.size() != 4 && t.size() != 6) || !AllDigits(t)) return std::string(t);
  return std::string(t.substr(0, 2)) + ":" + std::string(t.substr(2, 2));
}

// MHz as logged, with at least three decimals (kHz) and no trailing zeros past them.
std::string ShownMhz(std::string_view freq) {
  const std::string f(freq);
  char* end = nullptr;
  const double mhz = std::strtod(f.c_str(), &end);
  if (f.empty() || end != f.c_str() + f.size() || !std::isfinite(mhz) || mhz <= 0 || mhz > 1e7)
    return {};
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.6f", mhz);
  std::string s = buf;
  const size_t dot = s.find('.');
  while (s.size() > dot + 4 && s.back() == '0') s.pop_back();
  return s;
}

std::string Padded(std::string s, size_t width) {
  if (s.size() < width) s.append(width - s.size(), ' ');
  return s;
}

// What a label needs of a base call's record.
struct TStation {
  std::optional<TCallbookRecord> record;
};

}  // namespace

std::string QslContactRow(const TQslContact& c) {
  std::string row = Padded(c.date, 10) + " " + Padded(c.time, 5) + " " + Padded(c.mhz, 8) + " " +
                    Padded(c.mode, 6) + " " + c.rst;
  while (!row.empty() && row.back() == ' ') row.pop_back();
  return row;
}

std::vector<std::string> QslLabelLines(const TQslLabel& label, std::string_view closing) {
  std::vector<std::string> lines;
  std::string to = "To: " + label.call;
  if (!label.via.empty()) to += " via " + label.via;
  if (label.parts > 1)
    to += " (" + std::to_string(label.part) + "/" + std::to_string(label.parts) + ")";
  lines.push_back(std::move(to));
  for (const std::string& a : label.address) lines.push_back(a);
  lines.push_back(kQslRowHeading);
  for (const TQslContact& c : label.contacts) lines.push_back(QslContactRow(c));
  if (!closing.empty()) lines.emplace_back(closing);
  return lines;
}

size_t QslRowsPerLabel(const TLabelLayout& l, size_t headLines) {
  // The smallest size a row stays readable at, and a monospaced font's line spacing (1.17 em).
  constexpr double kRowPoints = 7, kSpacing = 1.17, kMmPerPoint = 25.4 / 72;
  const double pitch = kRowPoints * kSpacing * kMmPerPoint;
  const double lines = std::floor(std::max(0.0, l.areaHeight) / pitch + 1e-9);
  const double rows = lines - static_cast<double>(headLines);
  return rows < 1 ? 1 : static_cast<size_t>(std::min(rows, 1000.0));
}

TQslJob MakeQslLabels(const TAdifLog& log, TAdifSource& source, const TQslOptions& options,
                      const TLabelLayout& layout) {
  TQslJob job;
  TQslSummary& s = job.summary;
  std::unordered_map<std::string, TStation> stations;  // by base call
  const auto station = [&](const std::string& base) -> TStation& {
    auto it = stations.find(base);
    if (it == stations.end()) {
      TStation st;
      st.record = source.FindBaseCall(base);
      it = stations.emplace(base, std::move(st)).first;
    }
    return it->second;
  };
  // Stations in the order first met: call, side of the grant date, manager.
  std::map<std::string, size_t> groupIndex;
  std::vector<TQslLabel> groups;
  std::vector<std::string> unknownSeen;
  for (size_t ri = 0; ri < log.Records().size(); ++ri) {
    const TAdifRecord& r = log.Records()[ri];
    if (!r.sound) {
      ++s.unreadable;
      continue;
    }
    ++s.contacts;
    const std::string call = AsciiUpper(log.FieldText(r, "CALL"));
    const std::string base = SplitCallParts(call).base;
    if (base.empty()) {
      ++s.noCall;
      continue;
    }
    if (options.pick == TQslPick::Unsent && AsciiUpper(log.FieldText(r, "QSL_SENT")) == "Y") {
      ++s.alreadySent;
      continue;
    }
    const std::string date(log.FieldText(r, "QSO_DATE"));
    if (!options.from.empty() || !options.to.empty()) {
      const bool valid = date.size() == 8 && AllDigits(date);
      if (!valid || (!options.from.empty() && date < options.from) ||
          (!options.to.empty() && date > options.to)) {
        ++s.outsideDates;
        continue;
      }
    }
    ++s.picked;
    job.records.push_back(ri);
    TStation& st = station(base);
    bool beforeGrant = false;
    std::string via = AsciiUpper(TrimBlanks(log.FieldText(r, "QSL_VIA")));
    if (st.record) {
      // The filler's rules: before the grant date the current holder's data do not apply.
      const auto values = AdifValuesFor(call, date, *st.record, beforeGrant);
      if (via.empty())
        for (const auto& [name, value] : values)
          if (name == "QSL_VIA") via = AsciiUpper(value);
    }
    const std::string key = call + "|" + (beforeGrant ? "1" : "0") + "|" + via;
    auto g = groupIndex.find(key);
    if (g == groupIndex.end()) {
      TQslLabel label;
      label.call = call;
      label.via = via;
      label.beforeGrant = beforeGrant;
      label.unknown = !st.record;
      if (label.unknown &&
          std::find(unknownSeen.begin(), unknownSeen.end(), base) == unknownSeen.end())
        unknownSeen.push_back(base);
      g = groupIndex.emplace(key, groups.size()).first;
      groups.push_back(std::move(label));
    }
    TQslContact c;
    c.record = ri;
    c.date = ShownDate(date);
    c.time = ShownTime(log.FieldText(r, "TIME_ON"));
    c.mhz = ShownMhz(log.FieldText(r, "FREQ"));
    if (c.mhz.empty()) c.mhz = AsciiLower(TrimBlanks(log.FieldText(r, "BAND")));
    c.mode = AsciiUpper(TrimBlanks(log.FieldText(r, "SUBMODE")));
    if (c.mode.empty()) c.mode = AsciiUpper(TrimBlanks(log.FieldText(r, "MODE")));
    c.rst = TrimBlanks(log.FieldText(r, "RST_SENT"));
    groups[g->second].contacts.push_back(std::move(c));
  }
  s.unknownCalls = unknownSeen;
  std::vector<std::string> calls;
  for (const TQslLabel& g : groups) calls.push_back(g.call);
  std::sort(calls.begin(), calls.end());
  s.stations = static_cast<size_t>(std::unique(calls.begin(), calls.end()) - calls.begin());

  for (TQslLabel& g : groups) {
    std::stable_sort(g.contacts.begin(), g.contacts.end(),
                     [](const TQslContact& a, const TQslContact& b) {
                       return a.date + a.time < b.date + b.time;
                     });
    // Where the card goes: to the manager when there is one.
    const std::string dest = g.via.empty() ? g.call : g.via;
    if (const TEntityTable* t = source.Entities())
      if (const TEntity* e = t->FindPrefix(dest))
        g.prefix = e->prefixes.empty() ? e->name : e->prefixes.front();
    g.bureau = options.kind == TQslKind::Bureau || g.unknown || g.beforeGrant;
    if (!g.bureau) {
      const std::string destBase = SplitCallParts(dest).base;
      TStation& st = station(destBase);
      if (st.record) g.address = AdifMailingLines(*st.record);
      if (g.address.empty()) {
        g.bureau = true;
        if (!g.via.empty()) s.noManagerAddress.push_back(g.via);
      }
    }
    if (g.beforeGrant) {
      const std::string granted = station(SplitCallParts(g.call).base).record->issued;
      const size_t n = g.contacts.size();
      s.beforeGrant.push_back(g.call + ": " + std::to_string(n) +
                              (n == 1 ? " contact" : " contacts") +
                              " before the licence's grant date (" + granted +
                              "): bureau label without the current holder's address");
    }
  }
  // Direct labels by call, then bureau labels by prefix and call; a prefix the table does not
  // know sorts last.
  std::stable_sort(groups.begin(), groups.end(), [](const TQslLabel& a, const TQslLabel& b) {
    if (a.bureau != b.bureau) return !a.bureau;
    if (a.bureau) {
      if (a.prefix.empty() != b.prefix.empty()) return !a.prefix.empty();
      if (a.prefix != b.prefix) return a.prefix < b.prefix;
    }
    return a.call != b.call ? a.call < b.call : a.beforeGrant > b.beforeGrant;
  });
  for (const TQslLabel& g : groups) {
    const size_t perLabel = QslRowsPerLabel(layout, 3 + g.address.size());
    const size_t parts = (g.contacts.size() + perLabel - 1) / perLabel;
    for (size_t p = 0; p < parts; ++p) {
      TQslLabel label = g;
      label.contacts.assign(
          g.contacts.begin() + static_cast<long>(p * perLabel),
          g.contacts.begin() + static_cast<long>(std::min(g.contacts.size(), (p + 1) * perLabel)));
      label.part = p + 1;
      label.parts = parts;
      job.labels.push_back(std::move(label));
    }
  }
  s.labels = job.labels.size();
  return job;
}

std::string QslSummaryText(const TAdifLog& log, const TQslJob& job) {
  const TQslSummary& s = job.summary;
  std::string t;
  for (const TAdifProblem& p : log.Problems()) t += AdifProblemText(p) + "\n";
  t += "contacts read: " + std::to_string(s.contacts) + "\n";
  t += "contacts on labels: " + std::to_string(s.picked) + "\n";
  if (s.alreadySent)
    t += "contacts already sent (QSL_SENT Y): " + std::to_string(s.alreadySent) + "\n";
  if (s.outsideDates) t += "contacts outside the dates: " + std::to_string(s.outsideDates) + "\n";
  if (s.noCall) t += "contacts without a call: " + std::to_string(s.noCall) + "\n";
  t += "stations: " + std::to_string(s.stations) + ", labels: " + std::to_string(s.labels) + "\n";
  t += "calls not in the directory (bureau labels): " + std::to_string(s.unknownCalls.size());
  if (!s.unknownCalls.empty()) {
    t += " (";
    for (size_t i = 0; i < s.unknownCalls.size(); ++i) t += (i ? " " : "") + s.unknownCalls[i];
    t += ")";
  }
  t += "\n";
  for (const std::string& b : s.beforeGrant) t += b + "\n";
  for (const std::string& m : s.noManagerAddress)
    t += "no address of the QSL manager " + m + " in the directory: bureau label\n";
  t += "records that could not be read: " + std::to_string(s.unreadable) + "\n";
  return t;
}

std::string MarkQslSent(const TAdifLog& log, const std::vector<size_t>& records,
                        std::string_view date) {
  TAdifWriter writer(log, records.size() * 32);
  const std::string d(date);
  for (size_t ri : records) {
    if (ri >= log.Records().size() || !log.Records()[ri].sound) continue;
    const TAdifRecord& r = log.Records()[ri];
    const TAdifFillView fills[] = {{ri, "QSL_SENT", "Y", true, log.Find(r, "QSL_SENT")},
                                   {ri, "QSL_SDATE", d, true, log.Find(r, "QSL_SDATE")}};
    writer.Fill(ri, fills, 2);
  }
  return writer.Finish();
}

std::string AdifDateUtc(long long unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return buf;
}

std::string FindLabelTemplate(const std::string& name, const std::string& homeDir) {
  const auto exists = [](const std::string& p) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
  };
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return exists(name) ? name : std::string();
  const std::string dir = WithTrailingSeparator(homeDir) + "labels/";
  for (const std::string& candidate : {name, name + ".cls", AsciiLower(name) + ".cls"})
    if (exists(dir + candidate)) return dir + candidate;
  const std::string wanted = AsciiLower(name);
  for (const TPredefinedTemplateName& t : PredefinedTemplateNames())
    if (AsciiLower(t.entry).rfind(wanted, 0) == 0 && exists(dir + t.file)) return dir + t.file;
  return exists(name) ? name : std::string();
}

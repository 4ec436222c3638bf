#include "callbook/UCallbookWriters.h"

#include <charconv>

namespace {

using TGet = TCallbookValue (*)(const TCallbookRecord&);

TCallbookValue Text(const std::string& s) {
  return s.empty() ? TCallbookValue{} : TCallbookValue{s};
}
template <class T>
TCallbookValue Optional(const std::optional<T>& v) {
  return v ? TCallbookValue{*v} : TCallbookValue{};
}

struct TColumn {
  const char* name;
  TGet get;
};

// clang-format off
const TColumn kColumns[] = {
    {"call", [](const TCallbookRecord& r) { return TCallbookValue{r.call}; }},
    {"match", [](const TCallbookRecord& r) { return TCallbookValue{std::string(MatchName(r.match))}; }},
    {"database", [](const TCallbookRecord& r) {
       return r.database ? TCallbookValue{std::string(*r.database == TDatabase::US ? "us" : "intl")}
                         : TCallbookValue{}; }},
    {"designators", [](const TCallbookRecord& r) { return Text(r.designators); }},
    {"class", [](const TCallbookRecord& r) { return Text(r.classCode); }},
    {"class_text", [](const TCallbookRecord& r) { return Text(r.classText); }},
    {"name", [](const TCallbookRecord& r) { return Text(r.name); }},
    {"street", [](const TCallbookRecord& r) { return Text(r.street); }},
    {"city", [](const TCallbookRecord& r) { return Text(r.city); }},
    {"state", [](const TCallbookRecord& r) { return Text(r.state); }},
    {"zip", [](const TCallbookRecord& r) { return Text(r.zip); }},
    {"county", [](const TCallbookRecord& r) { return Text(r.county); }},
    {"country", [](const TCallbookRecord& r) { return Text(r.country); }},
    {"dxcc", [](const TCallbookRecord& r) { return Text(r.dxcc); }},
    {"dxcc_code", [](const TCallbookRecord& r) { return Optional(r.dxccCode); }},
    {"cq_zone", [](const TCallbookRecord& r) { return Optional(r.cqZone); }},
    {"itu_zone", [](const TCallbookRecord& r) { return Optional(r.ituZone); }},
    {"continent", [](const TCallbookRecord& r) { return Text(r.continent); }},
    {"grid", [](const TCallbookRecord& r) { return Text(r.grid); }},
    {"latitude", [](const TCallbookRecord& r) { return Optional(r.latitude); }},
    {"longitude", [](const TCallbookRecord& r) { return Optional(r.longitude); }},
    {"time_zone", [](const TCallbookRecord& r) { return Text(r.timeZone); }},
    {"area_code", [](const TCallbookRecord& r) { return Text(r.areaCode); }},
    {"issued", [](const TCallbookRecord& r) { return Text(r.issued); }},
    {"expires", [](const TCallbookRecord& r) { return Text(r.expires); }},
    {"previous_call", [](const TCallbookRecord& r) { return Text(r.previousCall); }},
    {"previous_class", [](const TCallbookRecord& r) { return Text(r.previousClass); }},
    {"vanity", [](const TCallbookRecord& r) { return Optional(r.vanity); }},
    {"qsl_manager", [](const TCallbookRecord& r) { return Text(r.qslManager); }},
    {"comments", [](const TCallbookRecord& r) { return Text(r.comments); }},
    {"fax", [](const TCallbookRecord& r) { return Text(r.fax); }},
    {"email", [](const TCallbookRecord& r) { return Text(r.email); }},
    {"address", [](const TCallbookRecord& r) { return Text(r.address); }},
    {"synthetic", [](const TCallbookRecord& r) { return r.synthetic ? TCallbookValue{true} : TCallbookValue{}; }},
};
// clang-format on

constexpr size_t kCallColumn = 0, kMatchColumn = 1;

}  // namespace

const std::vector<std::string>& CallbookColumns() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const TColumn& c : kColumns) v.emplace_back(c.name);
    return v;
  }();
  return names;
}

std::vector<TCallbookValue> CallbookValues(const TCallbookRecord& r) {
  std::vector<TCallbookValue> v;
  v.reserve(std::size(kColumns));
  for (const TColumn& c : kColumns) v.push_back(c.get(r));
  return v;
}

std::string CallbookValueText(const TCallbookValue& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* i = std::get_if<int>(&v)) return std::to_string(*i);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (const auto* d = std::get_if<double>(&v)) {
    char buf[32];
    const auto [p, ec] = std::to_chars(buf, buf + sizeof buf, *d);
    return ec == std::errc() ? std::string(buf, p) : std::string();
  }
  return {};
}

std::string CallbookText(const TCallbookRecord& r) {
  size_t width = 0;
  for (const TColumn& c : kColumns) width = std::max(width, std::string_view(c.name).size());
  std::string out;
  const std::vector<TCallbookValue> values = CallbookValues(r);
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string text = CallbookValueText(values[i]);
    if (text.empty()) continue;
    const std::string_view name = kColumns[i].name;
    out.append(name).append(width - name.size() + 1, ' ').append(": ").append(text) += '\n';
  }
  return out;
}

std::string CsvField(std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
  std::string q = "\"";
  for (char c : s) {
    if (c == '"') q += '"';
    q += c;
  }
  return q + "\"";
}

std::string CallbookCsvHeading() {
  std::string s;
  for (const TColumn& c : kColumns) s.append(s.empty() ? "" : ",").append(c.name);
  return s + "\r\n";
}

std::string CallbookCsvRow(const TCallbookRecord& r) {
  std::string s;
  const std::vector<TCallbookValue> values = CallbookValues(r);
  for (size_t i = 0; i < values.size(); ++i)
    s.append(i ? "," : "").append(CsvField(CallbookValueText(values[i])));
  return s + "\r\n";
}

nlohmann::ordered_json CallbookJson(const TCallbookRecord& r) {
  nlohmann::ordered_json j = nlohmann::ordered_json::object();
  const std::vector<TCallbookValue> values = CallbookValues(r);
  for (size_t i = 0; i < values.size(); ++i) {
    const char* name = kColumns[i].name;
    const TCallbookValue& v = values[i];
    if (const auto* s = std::get_if<std::string>(&v)) {
      if (!s->empty() || i == kCallColumn || i == kMatchColumn) j[name] = *s;
    } else if (const auto* n = std::get_if<int>(&v)) {
      j[name] = *n;
    } else if (const auto* d = std::get_if<double>(&v)) {
      j[name] = *d;
    } else if (const auto* b = std::get_if<bool>(&v)) {
      j[name] = *b;
    }
  }
  return j;
}

std::string CallbookJsonArray(const std::vector<TCallbookRecord>& records) {
  if (records.empty()) return "[]\n";
  std::string s = "[";
  for (size_t i = 0; i < records.size(); ++i)
    s += (i ? ",\n " : "\n ") +
         CallbookJson(records[i]).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return s + "\n]\n";
}

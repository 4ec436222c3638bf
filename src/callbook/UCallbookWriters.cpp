#include "callbook/UCallbookWriters.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "common/StrUtil.h"

namespace {

// A column's value as it stands in the record: texts are views into it (no copy).
using TColumnView = std::variant<std::monostate, std::string_view, int, double, bool>;
using TGet = TColumnView (*)(const TCallbookRecord&);

TColumnView Text(const std::string& s) {
  return s.empty() ? TColumnView{} : TColumnView{std::string_view(s)};
}
template <class T>
TColumnView Optional(const std::optional<T>& v) {
  return v ? TColumnView{*v} : TColumnView{};
}

struct TColumn {
  std::string_view name;
  TGet get;
};

// clang-format off
const TColumn kColumns[] = {
    {"call", [](const TCallbookRecord& r) { return TColumnView{std::string_view(r.call)}; }},
    {"match", [](const TCallbookRecord& r) { return TColumnView{std::string_view(MatchName(r.match))}; }},
    {"database", [](const TCallbookRecord& r) {
       return r.database ? TColumnView{std::string_view(*r.database == TDatabase::US ? "us" : "intl")}
                         : TColumnView{}; }},
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
    {"synthetic", [](const TCallbookRecord& r) { return r.synthetic ? TColumnView{true} : TColumnView{}; }},
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
  for (const TColumn& c : kColumns) {
    const TColumnView view = c.get(r);
    if (const auto* s = std::get_if<std::string_view>(&view))
      v.emplace_back(std::string(*s));
    else if (const auto* i = std::get_if<int>(&view))
      v.emplace_back(*i);
    else if (const auto* d = std::get_if<double>(&view))
      v.emplace_back(*d);
    else if (const auto* b = std::get_if<bool>(&view))
      v.emplace_back(*b);
    else
      v.emplace_back();
  }
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
    const std::string name(kColumns[i].name);
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
  for (size_t i = 0; i < records.size(); ++i) {
    s += i ? ",\n " : "\n ";
    AppendCallbookJson(s, records[i]);
  }
  return s + "\n]\n";
}

namespace {

// The length of the well-formed UTF-8 sequence at s[i] (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF); 0 when there is none.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const auto b = [&s](size_t k) { return static_cast<unsigned char>(s[k]); };
  const auto tail = [&](size_t k) { return k < s.size() && (b(k) & 0xC0) == 0x80; };
  const unsigned char c = b(i);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return tail(i + 1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!tail(i + 1) || !tail(i + 2)) return 0;
    if (c == 0xE0 && b(i + 1) < 0xA0) return 0;   // overlong
    if (c == 0xED && b(i + 1) >= 0xA0) return 0;  // surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!tail(i + 1) || !tail(i + 2) || !tail(i + 3)) return 0;
    if (c == 0xF0 && b(i + 1) < 0x90) return 0;   // overlong
    if (c == 0xF4 && b(i + 1) >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

// What a byte is in a JSON string: copied as it is, escaped, or the start of a UTF-8 sequence.
enum TJsonByte : uint8_t { kPlainByte, kEscapedByte, kUtf8Byte };
constexpr std::array<TJsonByte, 256> kJsonBytes = [] {
  std::array<TJsonByte, 256> t{};
  for (size_t c = 0; c < t.size(); ++c)
    t[c] = c >= 0x80 ? kUtf8Byte : c < 0x20 || c == '"' || c == '\\' ? kEscapedByte : kPlainByte;
  return t;
}();

// Whether the eight bytes of w are all copied as they are: none from 0x80, none below 0x20, no
// '"' and no '\\'.
bool PlainWord(uint64_t w) {
  return (HighBytes(w) | BytesBelow(w, 0x20) | BytesEqual(w, '"') | BytesEqual(w, '\\')) == 0;
}

// A JSON string as the JSON library writes it (no ASCII escaping of other characters, invalid
// UTF-8 replaced): quotes, backslashes and control characters escaped, the rest as it is.
void AppendJsonString(std::string& out, std::string_view s) {
  const size_t start = out.size();
  out += '"';
  size_t plain = 0;  // start of the run of bytes copied as they are
  for (size_t i = 0; i < s.size();) {
    if (i + 8 <= s.size() && PlainWord(LoadWord(s.data() + i))) {
      i += 8;
      continue;
    }
    const auto c = static_cast<unsigned char>(s[i]);
    const TJsonByte kind = kJsonBytes[c];
    if (kind == kPlainByte) {
      ++i;
      continue;
    }
    if (kind == kUtf8Byte) {
      const size_t n = Utf8SequenceLength(s, i);
      if (n == 0) {
        // Not UTF-8 (never so in records, whose texts are converted from the stored code
        // page): the library's own replacement, so that the bytes stay the same as before.
        out.resize(start);
        out += nlohmann::json(std::string(s))
                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
      }
      i += n;
      continue;
    }
    ++i;
    out.append(s.data() + plain, i - 1 - plain);
    plain = i;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default: {
        static constexpr char kHex[] = "0123456789abcdef";
        const char u[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
        out.append(u, sizeof u);
      }
    }
  }
  out.append(s.data() + plain, s.size() - plain);
  out += '"';
}

}  // namespace

void AppendCallbookJson(std::string& out, const TCallbookRecord& r) {
  out += '{';
  bool first = true;
  for (size_t i = 0; i < std::size(kColumns); ++i) {
    const TColumnView v = kColumns[i].get(r);
    if (std::holds_alternative<std::monostate>(v)) continue;
    const auto* s = std::get_if<std::string_view>(&v);
    if (s && s->empty() && i != kCallColumn && i != kMatchColumn) continue;
    if (!first) out += ',';
    first = false;
    out += '"';
    out += kColumns[i].name;
    out += "\":";
    char buf[64];
    if (s) {
      AppendJsonString(out, *s);
    } else if (const auto* n = std::get_if<int>(&v)) {
      out.append(buf, std::to_chars(buf, buf + sizeof buf, *n).ptr);
    } else if (const auto* d = std::get_if<double>(&v)) {
      // The JSON library's own shortest form ("33.0", "-96.797"), so the text stays the same.
      if (std::isfinite(*d))
        out.append(buf, nlohmann::detail::to_chars(buf, buf + sizeof buf, *d));
      else
        out += "null";
    } else if (const auto* b = std::get_if<bool>(&v)) {
      out += *b ? "true" : "false";
    }
  }
  out += '}';
}

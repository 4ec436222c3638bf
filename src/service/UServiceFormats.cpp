#include "service/UServiceFormats.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

constexpr const char* kXmlDecl = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// Appends <tag>text</tag> and a line end; an empty text as <tag></tag>.
void Element(std::string& out, std::string_view tag, std::string_view text) {
  out += '<';
  out += tag;
  out += '>';
  out += XmlText(text);
  out += "</";
  out += tag;
  out += ">\n";
}

// Only when the value is known.
void Known(std::string& out, std::string_view tag, std::string_view text) {
  if (!text.empty()) Element(out, tag, text);
}
void Known(std::string& out, std::string_view tag, const std::optional<int>& v) {
  if (v) Element(out, tag, std::to_string(*v));
}
void Known(std::string& out, std::string_view tag, const std::optional<double>& v) {
  if (v) Element(out, tag, CoordText(*v));
}

bool IsUS(const TCallbookRecord& r) { return r.database && *r.database == TDatabase::US; }

// The licence class as the FCC names it ("EXTRA"); empty for a club or an unknown code.
std::string OperClass(const TCallbookRecord& r) {
  if (r.classCode.size() != 1) return {};
  switch (r.classCode[0] | 0x20) {
    case 'a':
      return "ADVANCED";
    case 'e':
      return "EXTRA";
    case 'g':
      return "GENERAL";
    case 'n':
      return "NOVICE";
    case 'p':
      return "TECHNICIAN PLUS";
    case 't':
      return "TECHNICIAN";
    default:
      return {};
  }
}
std::string OperClassOf(std::string_view code) {
  TCallbookRecord r;
  r.classCode = std::string(code);
  return OperClass(r);
}

bool IsClub(const TCallbookRecord& r) { return r.classCode == "B" || r.classCode == "b"; }

// "DALLAS, TX 75217"
std::string CityLine(const TCallbookRecord& r) {
  std::string s = r.city;
  if (!r.state.empty()) s += (s.empty() ? "" : ", ") + r.state;
  if (!r.zip.empty()) s += (s.empty() ? "" : " ") + r.zip;
  return s;
}

struct TCallookFields {
  bool valid = false;
  std::string type, call, operClass, prevCall, prevClass, name, line1, line2;
  std::string latitude, longitude, grid, grant, expiry;
};

TCallookFields CallookFields(const TCallbookRecord* r) {
  TCallookFields f;
  if (!r || r->match == TCallbookMatch::None || !IsUS(*r)) return f;
  f.valid = true;
  f.type = IsClub(*r) ? "CLUB" : "PERSON";
  f.call = r->call;
  f.operClass = OperClass(*r);
  f.prevCall = r->previousCall;
  f.prevClass = OperClassOf(r->previousClass);
  f.name = r->name;
  f.line1 = r->street;
  f.line2 = CityLine(*r);
  if (r->latitude) f.latitude = CoordText(*r->latitude);
  if (r->longitude) f.longitude = CoordText(*r->longitude);
  f.grid = GridText(r->grid);
  f.grant = UsDateText(r->issued);
  f.expiry = UsDateText(r->expires);
  return f;
}

}  // namespace

std::string XmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += ch;
    }
  }
  return out;
}

std::string XmlText(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char ch = s[i];
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '&')
      out += "&amp;";
    else if (ch == '<')
      out += "&lt;";
    else if (ch == '>' && i >= 2 && s[i - 1] == ']' && s[i - 2] == ']')
      out += "&gt;";  // "]]>" may not stand in text
    else if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r')
      out += ch;
  }
  return out;
}

std::string CoordText(double degrees) {
  if (!std::isfinite(degrees)) return {};
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, degrees);
  return std::string(buf, r.ptr);
}

std::string GridText(std::string_view locator) {
  std::string g(locator);
  for (size_t i = 0; i < g.size(); ++i) {
    const bool lower = i >= 4 && i < 6;
    if (g[i] >= 'a' && g[i] <= 'z' && !lower) g[i] = static_cast<char>(g[i] - 32);
    if (g[i] >= 'A' && g[i] <= 'Z' && lower) g[i] = static_cast<char>(g[i] + 32);
  }
  return g;
}

std::string UsDateText(std::string_view iso) {
  if (iso.size() != 10 || iso[4] != '-' || iso[7] != '-') return std::string(iso);
  return std::string(iso.substr(5, 2)) + "/" + std::string(iso.substr(8, 2)) + "/" +
         std::string(iso.substr(0, 4));
}

// HamQTH --------------------------------------------------------------------------------------

namespace {
constexpr const char* kHamQthOpen =
    "<?xml version=\"1.0\"?>\n<HamQTH version=\"2.7\" xmlns=\"https://www.hamqth.com\">\n";
constexpr const char* kHamQthClose = "</HamQTH>\n";
}  // namespace

std::string HamQthSession(std::string_view sessionId) {
  std::string out = kHamQthOpen;
  out += "<session>\n";
  Element(out, "session_id", sessionId);
  out += "</session>\n";
  return out + kHamQthClose;
}

std::string HamQthError(std::string_view text) {
  std::string out = kHamQthOpen;
  out += "<session>\n";
  Element(out, "error", text);
  out += "</session>\n";
  return out + kHamQthClose;
}

std::string HamQthSearch(const TCallbookRecord& r) {
  std::string out = kHamQthOpen;
  out += "<search>\n";
  Element(out, "callsign", r.call);
  std::string first, surname;
  QrzNameParts(r.name, first, surname);
  // The nick is the first given name.
  Known(out, "nick", first.substr(0, first.find(' ')));
  Known(out, "qth", r.city);
  Known(out, "country", r.dxcc);
  Known(out, "adif", r.dxccCode);
  Known(out, "itu", r.ituZone);
  Known(out, "cq", r.cqZone);
  Known(out, "grid", GridText(r.grid));
  Known(out, "adr_name", r.name);
  Known(out, "adr_street1", r.street);
  Known(out, "adr_city", r.city);
  Known(out, "adr_zip", r.zip);
  Known(out, "adr_country", r.country.empty() ? r.dxcc : r.country);
  Known(out, "adr_adif", r.dxccCode);
  // A Canadian province: its two-letter code, as the Canadian licence data writes it.
  if (r.dxcc == "Canada") Known(out, "district", r.state);
  if (IsUS(r)) {
    Known(out, "us_state", r.state);
    Known(out, "us_county", r.county);
  }
  Known(out, "qsl_via", r.qslManager);
  Known(out, "email", r.email);
  Known(out, "latitude", r.latitude);
  Known(out, "longitude", r.longitude);
  Known(out, "continent", r.continent);
  out += "</search>\n";
  return out + kHamQthClose;
}

// callook.info --------------------------------------------------------------------------------

std::string CallookJson(const TCallbookRecord* r) {
  const TCallookFields f = CallookFields(r);
  using json = nlohmann::ordered_json;
  json j;
  j["status"] = f.valid ? "VALID" : "INVALID";
  j["type"] = f.type;
  if (!f.valid) {
    // The INVALID answer: empty lists where a VALID one has objects.
    for (const char* k : {"current", "previous", "trustee"}) j[k] = json::array();
    j["name"] = "";
    for (const char* k : {"address", "location", "otherInfo"}) j[k] = json::array();
    return j.dump() + "\n";
  }
  j["current"] = {{"callsign", f.call}, {"operClass", f.operClass}};
  j["previous"] = {{"callsign", f.prevCall}, {"operClass", f.prevClass}};
  j["trustee"] = {{"callsign", ""}, {"name", ""}};
  j["name"] = f.name;
  j["address"] = {{"line1", f.line1}, {"line2", f.line2}, {"attn", ""}};
  j["location"] = {{"latitude", f.latitude}, {"longitude", f.longitude}, {"gridsquare", f.grid}};
  j["otherInfo"] = {{"grantDate", f.grant},
                    {"expiryDate", f.expiry},
                    {"lastActionDate", ""},
                    {"frn", ""},
                    {"ulsUrl", ""}};
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string CallookXml(const TCallbookRecord* r) {
  const TCallookFields f = CallookFields(r);
  std::string out = kXmlDecl;
  out += "<callook>\n";
  Element(out, "status", f.valid ? "VALID" : "INVALID");
  Element(out, "type", f.type);
  const auto group = [&out](const char* tag,
                            std::initializer_list<std::pair<const char*, std::string_view>> items) {
    out += "<";
    out += tag;
    out += ">\n";
    for (const auto& [k, v] : items) Element(out, k, v);
    out += "</";
    out += tag;
    out += ">\n";
  };
  group("current", {{"callsign", f.call}, {"operClass", f.operClass}});
  group("previous", {{"callsign", f.prevCall}, {"operClass", f.prevClass}});
  group("trustee", {{"callsign", ""}, {"name", ""}});
  Element(out, "name", f.name);
  group("address", {{"line1", f.line1}, {"line2", f.line2}, {"attn", ""}});
  group("location", {{"latitude", f.latitude}, {"longitude", f.longitude}, {"gridsquare", f.grid}});
  group("otherInfo", {{"grantDate", f.grant},
                      {"expiryDate", f.expiry},
                      {"lastActionDate", ""},
                      {"frn", ""},
                      {"ulsUrl", ""}});
  out += "</callook>\n";
  return out;
}

// QRZ XML -------------------------------------------------------------------------------------

namespace {
constexpr const char* kQrzOpen =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
    "<QRZDatabase version=\"1.34\" xmlns=\"http://xmldata.qrz.com\">\n";
constexpr const char* kQrzClose = "</QRZDatabase>\n";

void QrzSessionBlock(std::string& out, std::string_view key, std::string_view error,
                     std::string_view gmTime) {
  out += "<Session>\n";
  if (!key.empty()) Element(out, "Key", key);
  if (!error.empty()) Element(out, "Error", error);
  Element(out, "GMTime", gmTime);
  out += "</Session>\n";
}
}  // namespace

namespace {
bool IsNameSuffix(std::string_view word) {
  for (const char* s : {"JR", "SR", "II", "III", "IV", "JR.", "SR."})
    if (word == s) return true;
  return false;
}
}  // namespace

namespace {
std::vector<std::string_view> NameWords(std::string_view name) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < name.size()) {
    size_t end = name.find(' ', at);
    if (end == std::string_view::npos) end = name.size();
    if (end > at) words.push_back(name.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// The words but [skip, skip + count), joined by blanks.
std::string JoinWords(const std::vector<std::string_view>& words, size_t from, size_t to,
                      size_t skip = 0, size_t count = 0) {
  std::string out;
  for (size_t i = from; i < to; ++i) {
    if (i >= skip && i < skip + count) continue;
    if (!out.empty()) out += ' ';
    out += words[i];
  }
  return out;
}
}  // namespace

void QrzNameParts(std::string_view name, std::string& fname, std::string& surname) {
  const std::vector<std::string_view> words = NameWords(name);
  fname.clear();
  surname.clear();
  if (words.empty()) return;
  // "JAMES W BENNETT JR": the surname is BENNETT, the suffix stays with the given names.
  size_t last = words.size() - 1;
  if (last >= 2 && IsNameSuffix(words[last])) --last;
  surname = std::string(words[last]);
  fname = JoinWords(words, 0, words.size(), last, 1);
}

void QrzNameParts(std::string_view name, std::string_view surname, std::string& fname,
                  std::string& surnameOut) {
  const std::vector<std::string_view> words = NameWords(name);
  const std::vector<std::string_view> sur = NameWords(surname);
  if (!sur.empty() && sur.size() <= words.size()) {
    for (size_t at = words.size() - sur.size() + 1; at-- > 0;) {
      if (!std::equal(sur.begin(), sur.end(), words.begin() + static_cast<std::ptrdiff_t>(at)))
        continue;
      surnameOut = JoinWords(sur, 0, sur.size());
      fname = JoinWords(words, 0, words.size(), at, sur.size());
      return;
    }
  }
  QrzNameParts(name, fname, surnameOut);
}

std::string QrzSession(std::string_view key, std::string_view gmTime) {
  std::string out = kQrzOpen;
  QrzSessionBlock(out, key, {}, gmTime);
  return out + kQrzClose;
}

std::string QrzError(std::string_view text, std::string_view gmTime, std::string_view key) {
  std::string out = kQrzOpen;
  QrzSessionBlock(out, key, text, gmTime);
  return out + kQrzClose;
}

std::string QrzCallsign(const TCallbookRecord& r, std::string_view key, std::string_view gmTime,
                        std::string_view surname) {
  std::string out = kQrzOpen;
  out += "<Callsign>\n";
  Element(out, "call", r.call);
  Known(out, "dxcc", r.dxccCode);
  std::string fname, name;
  QrzNameParts(r.name, surname, fname, name);
  Known(out, "fname", fname);
  Known(out, "name", name);
  Known(out, "addr1", r.street);
  Known(out, "addr2", r.city);
  Known(out, "state", r.state);
  Known(out, "zip", r.zip);
  Known(out, "country", r.dxcc);
  Known(out, "ccode", r.dxccCode);
  Known(out, "lat", r.latitude);
  Known(out, "lon", r.longitude);
  Known(out, "grid", GridText(r.grid));
  Known(out, "county", r.county);
  Known(out, "efdate", r.issued);
  Known(out, "expdate", r.expires);
  Known(out, "p_call", r.previousCall);
  Known(out, "class", r.classCode);
  Known(out, "qslmgr", r.qslManager);
  Known(out, "email", r.email);
  Known(out, "cqzone", r.cqZone);
  Known(out, "ituzone", r.ituZone);
  // Where the coordinates come from: the entry's own (geocoded) or its locator.
  if (r.latitude && r.longitude)
    Element(out, "geoloc", IsUS(r) ? "geocode" : "grid");
  else
    Element(out, "geoloc", "none");
  out += "</Callsign>\n";
  QrzSessionBlock(out, key, {}, gmTime);
  return out + kQrzClose;
}

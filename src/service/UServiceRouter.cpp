#include "service/UServiceRouter.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <random>

#include "callbook/UCallbookWriters.h"
#include "common/StrUtil.h"
#include "common/UTextLines.h"
#include "service/UServiceFormats.h"
#include "service/UServicePage.h"
#include "textsearch/UTextSearch.h"

namespace {

using json = nlohmann::ordered_json;

constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr const char* kXmlType = "text/xml; charset=utf-8";
constexpr const char* kHtmlType = "text/html; charset=utf-8";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// UTF-8 without control characters (tab excepted).
TStatus CleanText(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    uint32_t cp = 0;
    if (!DecodeUtf8(s, i, cp)) return TStatus::InvalidArgument("not UTF-8");
    if ((cp < 0x20 && cp != '\t') || cp == 0x7F || (cp >= 0x80 && cp < 0xA0))
      return TStatus::InvalidArgument("control character");
  }
  return TStatus::Ok();
}

TServiceResponse Answer(int status, const char* type, std::string body) {
  TServiceResponse r;
  r.status = status;
  r.contentType = type;
  r.body = std::move(body);
  return r;
}

TServiceResponse JsonAnswer(int status, const json& j) {
  return Answer(status, kJsonType,
                j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

// The QRZ XML interface answers under its versioned paths and under /bin/xml.
bool IsQrzPath(std::string_view path) {
  for (const char* p : {"/xml/current/", "/xml/current", "/xml/", "/xml", "/xml/1.34/", "/xml/1.34",
                        "/bin/xml", "/bin/xml/"})
    if (path == p) return true;
  return false;
}

TServiceResponse NotFound() { return Answer(404, "text/plain; charset=utf-8", "Not found\n"); }

// The time text of the QRZ interface: "Wed Dec  9 15:45:03 2026".
std::string GmTimeText() {
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  const size_t n = std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &tm);
  return std::string(buf, n);
}

bool ParseCount(const std::string* text, int fallback, int& count, std::string& error) {
  count = fallback;
  if (!text) return true;
  int n = 0;
  const auto r = std::from_chars(text->data(), text->data() + text->size(), n);
  if (r.ec != std::errc() || r.ptr != text->data() + text->size() || n < 1 || n > kMaxListCount) {
    error = "count must be 1 to " + std::to_string(kMaxListCount);
    return false;
  }
  count = n;
  return true;
}

// A record's JSON answer, or {"call": CALL, "match": "none"} for a call not found; written
// straight into the answer.
void AppendRecordJson(std::string& out, const TCallbookRecord& r) {
  if (r.match != TCallbookMatch::None) return AppendCallbookJson(out, r);
  TCallbookRecord none;
  none.call = AsciiUpper(r.call);
  AppendCallbookJson(out, none);
}

}  // namespace

TServiceResponse BadRequest(std::string_view reason) {
  return Answer(400, "text/plain; charset=utf-8", "Bad request: " + std::string(reason) + "\n");
}

TResult<std::string> PercentDecode(std::string_view in, bool plus) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '%') {
      if (in.size() - i < 3 || HexDigit(in[i + 1]) < 0 || HexDigit(in[i + 2]) < 0)
        return TStatus::InvalidArgument("bad percent-encoding");
      out += static_cast<char>(HexDigit(in[i + 1]) * 16 + HexDigit(in[i + 2]));
      i += 2;
    } else if (c == '+' && plus) {
      out += ' ';
    } else if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      return TStatus::InvalidArgument("bad character in the request target");
    } else {
      out += c;
    }
  }
  if (TStatus clean = CleanText(out); !clean.ok()) return clean;
  return out;
}

TResult<TQuery> ParseQuery(std::string_view query) {
  TQuery out;
  size_t at = 0;
  while (at <= query.size()) {
    size_t end = query.find_first_of("&;", at);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view part = query.substr(at, end - at);
    if (!part.empty()) {
      const size_t eq = part.find('=');
      TResult<std::string> name = PercentDecode(part.substr(0, eq), true);
      if (!name.ok()) return name.Status();
      TResult<std::string> value =
          eq == std::string_view::npos ? std::string() : PercentDecode(part.substr(eq + 1), true);
      if (!value.ok()) return value.Status();
      if (out.size() >= 64) return TStatus::InvalidArgument("too many query parameters");
      out.emplace_back(std::move(name).Value(), std::move(value).Value());
    }
    at = end + 1;
  }
  return out;
}

const std::string* QueryValue(const TQuery& q, std::string_view name) {
  for (const auto& [k, v] : q)
    if (k == name) return &v;
  return nullptr;
}

namespace {

// Length and characters of a call as a client may send it.
TStatus CheckCallCharacters(std::string_view call) {
  if (call.empty()) return TStatus::InvalidArgument("empty call");
  if (call.size() > kMaxCallLength)
    return TStatus::InvalidArgument("call longer than " + std::to_string(kMaxCallLength) +
                                    " characters");
  for (const char c : call) {
    const bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/';
    if (!ok) return TStatus::InvalidArgument("a call holds only letters, digits and /");
  }
  return TStatus::Ok();
}

}  // namespace

bool EmptyCallPart(std::string_view call) {
  return !call.empty() &&
         (call.front() == '/' || call.back() == '/' || call.find("//") != std::string_view::npos);
}

TStatus CheckCall(std::string_view call) {
  if (const TStatus s = CheckCallCharacters(call); !s.ok()) return s;
  if (EmptyCallPart(call))
    return TStatus::InvalidArgument("not a call: an empty part between slashes");
  return TStatus::Ok();
}

TResult<std::vector<std::string>> ParseBatch(std::string_view body, std::string_view contentType) {
  std::vector<std::string> calls;
  if (body.size() > kMaxBodyBytes) return TStatus::InvalidArgument("body larger than 64 KiB");
  const std::string_view trimmed = TrimBlanksView(body);
  (void)contentType;  // clients send any type (curl -d: a form); the body says what it is
  const bool asJson = !trimmed.empty() && trimmed.front() == '[';
  if (asJson) {
    const json j = json::parse(body, nullptr, false);
    if (j.is_discarded() || !j.is_array())
      return TStatus::InvalidArgument("the body is not a JSON array");
    if (j.size() > kMaxBatchCalls)
      return TStatus::InvalidArgument("more than " + std::to_string(kMaxBatchCalls) + " calls");
    for (const auto& v : j) {
      if (!v.is_string())
        return TStatus::InvalidArgument("the array holds a value that is not a text");
      calls.push_back(v.get<std::string>());
    }
  } else {
    TLineReader lines(body);
    for (std::string_view line; lines.Next(line);) {
      line = TrimBlanksView(line);
      if (!line.empty()) {
        if (calls.size() >= kMaxBatchCalls)
          return TStatus::InvalidArgument("more than " + std::to_string(kMaxBatchCalls) + " calls");
        calls.emplace_back(line);
      }
    }
  }
  for (size_t i = 0; i < calls.size(); ++i)
    if (const TStatus s = CheckCall(TrimBlanksView(calls[i])); !s.ok())
      return s.WithContext("call " + std::to_string(i + 1));
  return calls;
}

std::string TSessionStore::Open() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  char buf[33];
  std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(random()),
                static_cast<unsigned long long>(random()));
  return std::string(buf);
}

bool TSessionStore::Known(const std::string& key) {
  if (key.size() != 32) return false;
  for (const char c : key)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

TServiceResponse TServiceRouter::Handle(const TServiceRequest& req) {
  if (req.target.size() > kMaxTargetBytes) return BadRequest("request target longer than 8 KiB");
  if (req.target.empty() || req.target.front() != '/')
    return BadRequest("the request target is not a path");
  if (req.method != "GET" && req.method != "HEAD" && req.method != "POST") {
    TServiceResponse r = Answer(405, "text/plain; charset=utf-8", "Method not allowed\n");
    return r;
  }
  if (req.body.size() > kMaxBodyBytes) return BadRequest("body larger than 64 KiB");
  const size_t q = req.target.find('?');
  const std::string_view rawPath = std::string_view(req.target).substr(0, q);
  const TResult<std::string> decoded = PercentDecode(rawPath, false);
  if (!decoded.ok()) return BadRequest(decoded.Status().Message());
  const std::string& path = *decoded;
  TQuery query;
  if (q != std::string::npos) {
    TResult<TQuery> parsed = ParseQuery(std::string_view(req.target).substr(q + 1));
    if (!parsed.ok()) return BadRequest(parsed.Status().Message());
    query = std::move(parsed).Value();
  }
  // The callbook interfaces' clients may post their query as a form; the batch body is read
  // by its own rules whatever its type.
  if (req.method == "POST" && (IsQrzPath(path) || path == "/xml.php") &&
      req.contentType.find("x-www-form-urlencoded") != std::string::npos) {
    const TResult<TQuery> form = ParseQuery(req.body);
    if (!form.ok()) return BadRequest(form.Status().Message());
    query.insert(query.end(), form->begin(), form->end());
  }
  try {
    return Route(req, path, query);
  } catch (const std::exception& e) {
    // Without a data set (a reopening failed) the service is unavailable, not broken.
    std::string what = e.what();
    std::replace(what.begin(), what.end(), '\n', ' ');
    return Answer(source_.Health().open ? 500 : 503, "text/plain; charset=utf-8",
                  "Error: " + what + "\n");
  }
}

TServiceResponse TServiceRouter::Route(const TServiceRequest& req, std::string_view path,
                                       const TQuery& query) {
  const bool post = req.method == "POST";
  if (path.find("/..") != std::string_view::npos || path.find("//") != std::string_view::npos)
    return BadRequest("bad path");
  constexpr std::string_view kCalls = "/api/v1/calls";
  if (path == kCalls || path == "/api/v1/calls/") {
    if (!post) return BadRequest("POST a JSON array of calls, or one call a line");
    return ApiBatch(req);
  }
  if (post && !IsQrzPath(path) && path != "/xml.php")
    return Answer(405, "text/plain; charset=utf-8", "Method not allowed\n");
  if (path.substr(0, kCalls.size() + 1) == "/api/v1/calls/")
    return ApiCall(path.substr(kCalls.size() + 1));
  if (path == "/api/v1/search") return ApiSearch(query);
  if (path == "/api/v1/health") return ApiHealth();
  if (path == "/xml.php") return HamQth(query);
  if (IsQrzPath(path)) return Qrz(query);
  if (path == "/" || path == "/entry" || path == "/search" || path == "/style.css")
    return Page(path, query);
  // /CALL/json and /CALL/xml (callook.info).
  const size_t slash = path.rfind('/');
  if (slash > 0 && path.find('/', 1) == slash) {
    const std::string_view call = path.substr(1, slash - 1);
    const std::string_view kind = path.substr(slash + 1);
    if (kind == "json" || kind == "xml") return Callook(call, kind == "json");
  }
  return NotFound();
}

TCallbookRecord TServiceRouter::Find(std::string_view call) {
  // "/K5DRC" is no call; the station K5DRC is another's answer.
  TCallbookRecord r = EmptyCallPart(call) ? TCallbookRecord() : source_.FindCall(call);
  if (r.match != TCallbookMatch::Exact && r.match != TCallbookMatch::BaseCall) {
    r = TCallbookRecord();
    r.call = AsciiUpper(call);
  }
  return r;  // one record throughout: returned without a move
}

TServiceResponse TServiceRouter::ApiCall(std::string_view call) {
  if (const TStatus s = CheckCall(call); !s.ok()) return BadRequest(s.Message());
  const TCallbookRecord r = Find(call);
  TServiceResponse a;
  a.status = r.match == TCallbookMatch::None ? 404 : 200;
  a.contentType = kJsonType;
  a.body.reserve(1024);
  AppendRecordJson(a.body, r);
  a.body += '\n';
  return a;
}

TServiceResponse TServiceRouter::ApiBatch(const TServiceRequest& req) {
  const TResult<std::vector<std::string>> parsed = ParseBatch(req.body, req.contentType);
  if (!parsed.ok()) return BadRequest(parsed.Status().Message());
  const std::vector<std::string>& calls = *parsed;
  TServiceResponse a;
  a.contentType = kJsonType;
  a.body.reserve(512 * calls.size() + 3);
  a.body += '[';
  for (size_t i = 0; i < calls.size(); ++i) {
    if (i > 0) a.body += ',';
    AppendRecordJson(a.body, Find(TrimBlanksView(calls[i])));
  }
  a.body += "]\n";
  return a;
}

namespace {

struct TSearchQuery {
  bool words = false;
  TSearchField field = TSearchField::Name;
  std::string text;
  std::vector<std::string> wordList;
  std::string db;
  int count = 1;
};

// Exactly one of name, city, zip, county, words; count; db with words.
bool ParseSearch(const TQuery& query, TSearchQuery& s, std::string& error) {
  static constexpr std::pair<const char*, TSearchField> kFields[] = {
      {"name", TSearchField::Name},
      {"city", TSearchField::City},
      {"zip", TSearchField::Zip},
      {"county", TSearchField::County}};
  int given = 0;
  for (const auto& [k, v] : query) {
    bool known = k == "count" || k == "db" || k == "words";
    for (const auto& [name, field] : kFields) {
      if (k == name) {
        known = true;
        ++given;
        s.field = field;
        s.text = v;
      }
    }
    if (k == "words") {
      ++given;
      s.words = true;
      s.text = v;
    }
    if (!known) {
      error = "unknown parameter " + k.substr(0, 40);
      return false;
    }
  }
  if (given != 1) {
    error = "give one of name, city, zip, county, words";
    return false;
  }
  if (TrimBlanksView(s.text).empty()) {
    error = "empty search text";
    return false;
  }
  if (s.text.size() > kMaxSearchText) {
    error = "search text longer than " + std::to_string(kMaxSearchText) + " characters";
    return false;
  }
  const std::string* db = QueryValue(query, "db");
  if (db) {
    if (!s.words) {
      error = "db goes with words";
      return false;
    }
    if (*db != "us" && *db != "intl") {
      error = "db is us or intl";
      return false;
    }
    s.db = *db;
  }
  if (!ParseCount(QueryValue(query, "count"), s.words ? kMaxListCount : 1, s.count, error))
    return false;
  if (s.words) {
    s.wordList = SplitWords(s.text);
    if (s.wordList.size() > static_cast<size_t>(kMaxSearchWords)) {
      error = "at most " + std::to_string(kMaxSearchWords) + " words";
      return false;
    }
  }
  return true;
}

}  // namespace

TServiceResponse TServiceRouter::ApiSearch(const TQuery& query) {
  TSearchQuery s;
  std::string error;
  if (!ParseSearch(query, s, error)) return BadRequest(error);
  const std::vector<TCallbookRecord> found = s.words
                                                 ? source_.SearchWords(s.wordList, s.db, s.count)
                                                 : source_.ListOrder(s.field, s.text, s.count);
  TServiceResponse a;
  a.contentType = kJsonType;
  a.body.reserve(512 * found.size() + 3);
  a.body += '[';
  for (size_t i = 0; i < found.size(); ++i) {
    if (i > 0) a.body += ',';
    AppendCallbookJson(a.body, found[i]);
  }
  a.body += "]\n";
  return a;
}

TServiceResponse TServiceRouter::ApiHealth() {
  const TServiceHealth h = source_.Health();
  json j;
  j["status"] = h.open ? "ok" : "no data";
  j["edition"] = h.title;
  j["data_date"] = h.dataDate;
  j["entries"] = {{"us", h.usCount}, {"intl", h.intlCount}};
  if (h.open) {
    j["made_of"] = h.madeOf;
    j["sample"] = h.sample;
    json sources = json::array();
    for (const TEditionSource& s : h.sources)
      sources.push_back({{"kind", s.kind},
                         {"database", s.db},
                         {"date", s.date},
                         {"stations", s.count},
                         {"synthetic", s.Synthetic()}});
    j["sources"] = sources;
  }
  return JsonAnswer(h.open ? 200 : 503, j);
}

TServiceResponse TServiceRouter::HamQth(const TQuery& query) {
  const std::string* id = QueryValue(query, "id");
  const std::string* user = QueryValue(query, "u");
  const std::string* call = QueryValue(query, "callsign");
  // A malformed call is a bad request; one that is no call ("/K5DRC") is not found.
  if (const TStatus s = call ? CheckCallCharacters(*call) : TStatus::Ok(); !s.ok())
    return BadRequest(s.Message());
  if (!id) {
    // Any user name and password open a session: the data is local and public.
    if (!user || user->empty() || !QueryValue(query, "p"))
      return Answer(200, kXmlType, HamQthError("Wrong user name or password"));
    return Answer(200, kXmlType, HamQthSession(hamQthSessions_.Open()));
  }
  if (!hamQthSessions_.Known(*id))
    return Answer(200, kXmlType, HamQthError("Session does not exist or expired"));
  if (!call) return Answer(200, kXmlType, HamQthError("Callsign not found"));
  const TCallbookRecord r = Find(*call);
  if (r.match == TCallbookMatch::None)
    return Answer(200, kXmlType, HamQthError("Callsign not found"));
  return Answer(200, kXmlType, HamQthSearch(r));
}

TServiceResponse TServiceRouter::Qrz(const TQuery& query) {
  const std::string* key = QueryValue(query, "s");
  const std::string* call = QueryValue(query, "callsign");
  // A malformed call is a bad request; one that is no call ("/K5DRC") is not found.
  if (const TStatus s = call ? CheckCallCharacters(*call) : TStatus::Ok(); !s.ok())
    return BadRequest(s.Message());
  if (!key) {
    const std::string* user = QueryValue(query, "username");
    if (!user || user->empty())
      return Answer(200, kXmlType, QrzError("Username/password incorrect", GmTimeText()));
    return Answer(200, kXmlType, QrzSession(qrzSessions_.Open(), GmTimeText()));
  }
  if (!qrzSessions_.Known(*key))
    return Answer(200, kXmlType, QrzError("Session Timeout", GmTimeText()));
  if (!call) return Answer(200, kXmlType, QrzError("No callsign given", GmTimeText(), *key));
  const TCallbookRecord r = Find(*call);
  if (r.match == TCallbookMatch::None)
    return Answer(200, kXmlType, QrzError("Not found: " + AsciiUpper(*call), GmTimeText(), *key));
  return Answer(200, kXmlType, QrzCallsign(r, *key, GmTimeText(), source_.Surname(r)));
}

TServiceResponse TServiceRouter::Callook(std::string_view call, bool asJson) {
  if (const TStatus s = CheckCall(call); !s.ok()) return BadRequest(s.Message());
  if (call.find('/') != std::string_view::npos)
    return BadRequest("a call holds only letters and digits");
  const TCallbookRecord r = Find(call);
  const TCallbookRecord* p = r.match == TCallbookMatch::None ? nullptr : &r;
  return asJson ? Answer(200, kJsonType, CallookJson(p)) : Answer(200, kXmlType, CallookXml(p));
}

TServiceResponse TServiceRouter::Page(std::string_view path, const TQuery& query) {
  if (path == "/style.css") return Answer(200, "text/css; charset=utf-8", PageStyle());
  if (path == "/") {
    const TServiceHealth h = source_.Health();
    return Answer(200, kHtmlType, PageHome(h.title, h.madeOf));
  }
  std::string error;
  if (path == "/entry") {
    const std::string* call = QueryValue(query, "call");
    const std::string typed(call ? TrimBlanksView(*call) : std::string_view{});
    if (const TStatus s = CheckCall(typed); !s.ok())
      return Answer(400, kHtmlType, PageMessage("Bad request", s.Message()));
    const TCallbookRecord r = Find(typed);
    if (r.match == TCallbookMatch::None)
      return Answer(404, kHtmlType, PageMessage("Not found", "No entry for " + AsciiUpper(typed)));
    return Answer(200, kHtmlType, PageEntry(r, source_.MyLocator()));
  }
  // /search: the page's forms send field=name|city|zip|county and text, or words and db; the
  // links to further pages add page (1, 2, ...).
  TQuery q;
  const std::string* field = QueryValue(query, "field");
  const std::string* text = QueryValue(query, "text");
  TResultsPage page;
  int pageNumber = 1;
  for (const auto& [k, v] : query) {
    if (k == "page") {
      const auto r = std::from_chars(v.data(), v.data() + v.size(), pageNumber);
      if (r.ec != std::errc() || r.ptr != v.data() + v.size() || pageNumber < 1 ||
          pageNumber > kMaxPageNumber)
        return Answer(
            400, kHtmlType,
            PageMessage("Bad request", "page must be 1 to " + std::to_string(kMaxPageNumber)));
      continue;
    }
    if (!page.query.empty()) page.query += '&';
    page.query += UrlEncode(k) + "=" + UrlEncode(v);
    if (k == "field" || k == "text") continue;
    if (k == "db" && v.empty()) continue;  // "both" in the form
    q.emplace_back(k, v);
  }
  if (field) q.emplace_back(*field, text ? *text : std::string());
  TSearchQuery s;
  if (!ParseSearch(q, s, error)) return Answer(400, kHtmlType, PageMessage("Bad request", error));
  if (!QueryValue(q, "count")) s.count = kPageEntries;
  page.pageSize = s.count;
  page.offset = (pageNumber - 1) * s.count;
  const TListPage l = s.words ? source_.SearchWordsPage(s.wordList, s.db, page.offset, s.count)
                              : source_.ListOrderPage(s.field, s.text, page.offset, s.count);
  page.total = l.total;
  page.more = l.more;
  return Answer(200, kHtmlType, PageResults(s.text, l.found, page));
}

std::string TServiceSource::Surname(const TCallbookRecord&) { return {}; }

namespace {

// The page of count records from the offset-th on, of a listing asked for one record more than
// the page ends with (so that it tells whether more follow).
TListPage PageOf(std::vector<TCallbookRecord> all, int offset, int count) {
  TListPage page;
  page.more = all.size() > static_cast<size_t>(offset + count);
  for (size_t i = static_cast<size_t>(offset);
       i < all.size() && page.found.size() < static_cast<size_t>(count); ++i)
    page.found.push_back(std::move(all[i]));
  return page;
}

}  // namespace

TListPage TServiceSource::ListOrderPage(TSearchField field, std::string_view text, int offset,
                                        int count) {
  return PageOf(ListOrder(field, text, offset + count + 1), offset, count);
}

TListPage TServiceSource::SearchWordsPage(const std::vector<std::string>& words,
                                          std::string_view db, int offset, int count) {
  return PageOf(SearchWords(words, db, offset + count + 1), offset, count);
}

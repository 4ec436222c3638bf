// The look-up service's request handling: routing, query and path decoding, batch bodies, and
// the answers written from records whose texts come from the request.
#include <nlohmann/json.hpp>

#include "FuzzTargets.h"
#include "common/StrUtil.h"
#include "service/UServiceRouter.h"

namespace fuzz {
namespace {

// Records made from what was asked, so the writers see the request's texts (markup included).
class TEchoSource : public TCallbookSource {
 public:
  TCallbookRecord FindCall(std::string_view typed) override {
    TCallbookRecord r;
    r.call = AsciiUpper(typed);
    if (r.call.find('Q') != std::string::npos) return r;  // some calls are missing
    r.match = TCallbookMatch::Exact;
    r.database = r.call.find('K') != std::string::npos ? TDatabase::US : TDatabase::Intl;
    r.name = "A <B> & \"C\" 'D' " + r.call;
    r.city = "X&Y";
    r.state = "TX";
    r.classCode = "E";
    r.latitude = 1.5;
    r.longitude = -2.25;
    r.grid = "em12qr";
    r.dxccCode = 291;
    return r;
  }
  std::vector<TCallbookRecord> ListOrder(TSearchField, std::string_view text, int count) override {
    return Made(text, count);
  }
  std::vector<TCallbookRecord> SearchWords(const std::vector<std::string>& words, std::string_view,
                                           int count) override {
    return Made(words.empty() ? "" : words.front(), count);
  }
  TServiceHealth Health() override { return {true, "T<i>tle", "2026-01-01", 1, 2}; }
  std::string MyLocator() override { return "JO62QM"; }

 private:
  static std::vector<TCallbookRecord> Made(std::string_view text, int count) {
    std::vector<TCallbookRecord> out(static_cast<size_t>(std::min(count, 3)));
    for (auto& r : out) {
      r.call = "K1ABC";
      r.match = TCallbookMatch::Words;
      r.name = std::string(text);
      r.grid = std::string(text.substr(0, 6));
    }
    return out;
  }
};

// Tags balanced, every "&" an entity, no "<" in text: what a client searching for tags needs.
void CheckXml(const std::string& s) {
  std::vector<std::string> open;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '&') {
      bool ok = false;
      for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
        if (s.compare(i, std::char_traits<char>::length(e), e) == 0) ok = true;
      if (!ok) Fail("bare & in XML");
      ++i;
      continue;
    }
    if (s[i] != '<') {
      ++i;
      continue;
    }
    const size_t end = s.find('>', i);
    if (end == std::string::npos) Fail("unclosed tag in XML");
    std::string tag = s.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) Fail("empty tag");
    if (tag[0] == '?') continue;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) Fail("unbalanced XML: " + tag);
      open.pop_back();
      continue;
    }
    if (tag.back() == '/' || tag[0] == '!') continue;
    const std::string name = tag.substr(0, tag.find(' '));
    if (name == "input" || name == "meta" || name == "link" || name == "br") continue;  // HTML
    open.push_back(name);
  }
  if (!open.empty()) Fail("XML element left open: " + open.back());
}

}  // namespace

// Input: a method byte, the request target up to a line end, a content type up to a line end,
// then the body.
int FuzzService(const uint8_t* data, size_t size) {
  static TEchoSource source;
  static TServiceRouter router(source);
  std::string_view in(reinterpret_cast<const char*>(data), size);
  if (in.empty()) return 0;
  static constexpr const char* kMethods[] = {"GET", "POST", "HEAD", "PUT"};
  TServiceRequest req;
  req.method = kMethods[static_cast<uint8_t>(in[0]) % 4];
  in.remove_prefix(1);
  const size_t line = in.find('\n');
  req.target = std::string(in.substr(0, line));
  in = line == std::string_view::npos ? std::string_view{} : in.substr(line + 1);
  const size_t line2 = in.find('\n');
  req.contentType = std::string(in.substr(0, line2));
  req.body = line2 == std::string_view::npos ? std::string() : std::string(in.substr(line2 + 1));

  const TServiceResponse res = router.Handle(req);
  switch (res.status) {
    case 200:
    case 400:
    case 404:
    case 405:
      break;
    default:
      Fail("status " + std::to_string(res.status) + ": " + res.body);
  }
  if (res.body.empty() || res.body.back() != '\n') Fail("answer without its line end");
  if (res.contentType.rfind("text/plain", 0) == 0 && res.body.find('\n') != res.body.size() - 1)
    Fail("plain answer of more than one line");
  if (res.contentType.rfind("application/json", 0) == 0 &&
      nlohmann::json::parse(res.body, nullptr, false).is_discarded())
    Fail("JSON answer does not parse: " + res.body);
  if (res.contentType.rfind("text/xml", 0) == 0 || res.contentType.rfind("text/html", 0) == 0)
    CheckXml(res.body);
  return 0;
}

}  // namespace fuzz

#include "wsjtx/UWsjtxText.h"

#include <cctype>
#include <vector>

namespace wsjtx {

namespace {

bool Upper(char c) { return c >= 'A' && c <= 'Z'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
    size_t j = i;
    while (j < s.size() && s[j] != ' ' && s[j] != '\t' && s[j] != '\r' && s[j] != '\n') ++j;
    if (j > i) {
      std::string w(s.substr(i, j - i));
      for (char& c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out.push_back(std::move(w));
    }
    i = j;
  }
  return out;
}

// A decoder mark after the message: "?" (low confidence), "*", "A1".."A7" and "Q0".."Q9" (a
// priori decoding) as upper-cased by Words.
bool DecoderMark(const std::string& w) {
  if (w == "?" || w == "*") return true;
  return w.size() == 2 && (w[0] == 'A' || w[0] == 'Q') && Digit(w[1]);
}

// "DX", "POTA", "NA" (1 to 4 letters) or "290" (3 digits) after CQ.
bool CqTarget(std::string_view w) {
  if (w.size() == 3 && Digit(w[0]) && Digit(w[1]) && Digit(w[2])) return true;
  if (w.empty() || w.size() > 4) return false;
  for (char c : w)
    if (!Upper(c)) return false;
  return true;
}

// A call as the message holds it: plain, or "<...>" with the hashed call the decoder resolved.
struct TCallWord {
  bool ok = false;
  bool hashed = false;
  std::string call;  // empty for "<...>"
};

TCallWord CallWord(std::string_view w) {
  TCallWord c;
  if (w.size() >= 2 && w.front() == '<' && w.back() == '>') {
    const std::string_view inner = w.substr(1, w.size() - 2);
    c.hashed = true;
    if (inner == "..." || inner.empty()) {
      c.ok = true;
      return c;
    }
    c.ok = LooksLikeCall(inner);
    if (c.ok) c.call = std::string(inner);
    return c;
  }
  c.ok = LooksLikeCall(w);
  if (c.ok) c.call = std::string(w);
  return c;
}

// A signal report: "-12", "+05", "R-05", "R+00".
bool Report(std::string_view w) {
  if (!w.empty() && w[0] == 'R') w.remove_prefix(1);
  return w.size() == 3 && (w[0] == '-' || w[0] == '+') && Digit(w[1]) && Digit(w[2]);
}

}  // namespace

bool LooksLikeCall(std::string_view text) {
  if (text.size() < 3 || text.size() > 13) return false;
  size_t base = 0;
  bool baseOk = false;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t end = std::min(text.find('/', at), text.size());
    const std::string_view part = text.substr(at, end - at);
    if (part.empty()) return false;
    bool letter = false, digit = false;
    for (char c : part) {
      if (Upper(c))
        letter = true;
      else if (Digit(c))
        digit = true;
      else
        return false;
    }
    if (part.size() > base) {
      base = part.size();
      baseOk = letter && digit;
    }
    at = end + 1;
  }
  return baseOk && base >= 3 && base <= 11;
}

bool IsGridText(std::string_view t) {
  if (t.size() != 4 && t.size() != 6) return false;
  const auto field = [](char c) { return c >= 'A' && c <= 'R'; };
  if (!field(t[0]) || !field(t[1]) || !Digit(t[2]) || !Digit(t[3])) return false;
  if (t == "RR73") return false;
  if (t.size() == 6) {
    const auto sub = [](char c) { return (c >= 'A' && c <= 'X') || (c >= 'a' && c <= 'x'); };
    return sub(t[4]) && sub(t[5]);
  }
  return true;
}

TMessageText ReadMessageText(std::string_view message) {
  TMessageText m;
  std::vector<std::string> w = Words(message);
  while (!w.empty() && DecoderMark(w.back())) w.pop_back();
  const auto freeText = [&m] {
    m = TMessageText{};
    m.freeText = true;
    return m;
  };
  if (w.empty()) return freeText();

  // Fox-and-hound reply of two: "K1ABC RR73; W9XYZ <KH1/KH7Z> -08": the fox sends.
  if (w.size() == 5 && w[1] == "RR73;") {
    const TCallWord to = CallWord(w[2]), de = CallWord(w[3]);
    if (!to.ok || !de.ok || !Report(w[4])) return freeText();
    m.called = to.call;
    m.calledHashed = to.hashed;
    m.caller = de.call;
    m.callerHashed = de.hashed;
    m.report = w[4];
    return m;
  }

  size_t i = 0;
  if (w[0] == "CQ" || w[0] == "QRZ" || w[0] == "DE") {
    m.cq = w[0] != "DE";
    i = 1;
    if (m.cq && w.size() >= 3 && CqTarget(w[1]) && !CallWord(w[1]).ok) {
      m.cqTarget = w[1];
      i = 2;
    }
    if (i >= w.size()) return freeText();
    const TCallWord de = CallWord(w[i]);
    if (!de.ok) return freeText();
    m.caller = de.call;
    m.callerHashed = de.hashed;
    ++i;
    if (i < w.size() && IsGridText(w[i])) m.grid = w[i++];
    if (i != w.size()) return freeText();
    return m;
  }

  if (w[0] == "TU;") w.erase(w.begin());  // RTTY roundup
  if (w.size() < 2 || w.size() > 5) return freeText();
  const TCallWord to = CallWord(w[0]), de = CallWord(w[1]);
  if (!to.ok || !de.ok) return freeText();
  m.called = to.call;
  m.calledHashed = to.hashed;
  m.caller = de.call;
  m.callerHashed = de.hashed;
  std::string report;
  for (i = 2; i < w.size(); ++i) {
    if (m.grid.empty() && IsGridText(w[i]) && (i + 1 == w.size())) {
      m.grid = w[i];
      continue;
    }
    if (!report.empty()) report += ' ';
    report += w[i];
  }
  m.report = std::move(report);
  return m;
}

}  // namespace wsjtx

#include "common/UTextLines.h"

#include <algorithm>

#include "common/StrUtil.h"

bool TLineReader::Next(std::string_view& line) {
  if (pos_ >= text_.size()) return false;
  size_t end = text_.find('\n', pos_);
  if (end == std::string_view::npos) end = text_.size();
  line = text_.substr(pos_, end - pos_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  pos_ = end + 1;
  ++number_;
  return true;
}

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = std::min(text.find(' ', at), text.size());
    if (end > at) words.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

std::vector<std::string> SplitFields(std::string_view text, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    const size_t p = text.find(sep, start);
    out.emplace_back(text.substr(start, p == std::string_view::npos ? p : p - start));
    if (p == std::string_view::npos) return out;
    start = p + 1;
  }
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  TLineReader r(text);
  for (std::string_view l; r.Next(l);) lines.push_back(l);
  return lines;
}

bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

std::vector<TIniLine> ReadIniLines(std::string_view text) {
  std::vector<TIniLine> out;
  TLineReader r(text);
  for (std::string_view l; r.Next(l);) {
    const std::string_view t = TrimBlanksView(l);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    TIniLine e;
    e.number = r.LineNumber();
    e.text = l;
    if (t.front() == '[' && t.back() == ']' && t.size() >= 2) {
      e.section = true;
      e.name = TrimBlanks(t.substr(1, t.size() - 2));
    } else if (const size_t eq = t.find('='); eq != std::string_view::npos) {
      e.pair = true;
      e.key = TrimBlanks(t.substr(0, eq));
      e.value = TrimBlanks(t.substr(eq + 1));
    }
    out.push_back(std::move(e));
  }
  return out;
}

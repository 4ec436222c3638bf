#include "builder/UHelpText.h"

#include <set>
#include <sstream>

#include "common/StrUtil.h"

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

size_t Utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string HtmlEscape(const std::string& s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '&':
        r += "&amp;";
        break;
      case '<':
        r += "&lt;";
        break;
      case '>':
        r += "&gt;";
        break;
      case '"':
        r += "&quot;";
        break;
      default:
        r += c;
    }
  }
  return r;
}

// RTF text: control characters escaped, everything outside ASCII as \uN with a "?" fallback.
std::string RtfEscape(const std::string& s) {
  std::string r;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c == '\\' || c == '{' || c == '}') r += '\\';
      r += static_cast<char>(c);
      ++i;
      continue;
    }
    uint32_t cp = 0;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < s.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += static_cast<size_t>(extra) + 1;
    const int16_t v = static_cast<int16_t>(cp > 0xFFFF ? '?' : cp);
    r += "\\u" + std::to_string(v) + "?";
  }
  return r;
}

}  // namespace

std::vector<THelpTopic> ParseHelpSource(const std::string& text) {
  std::vector<THelpTopic> topics;
  std::set<int> used;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  bool inParagraph = false;
  const auto fail = [&](const std::string& what) {
    throw EStatusError(
        TStatus::Corrupt("help source line " + std::to_string(lineNo) + ": " + what));
  };
  while (std::getline(in, raw)) {
    ++lineNo;
    const std::string line = Trim(raw);
    const bool indented = raw.rfind("  ", 0) == 0;
    if (!line.empty() && line[0] == '#') continue;
    if (line.empty()) {
      inParagraph = false;
      continue;
    }
    if (line[0] == '=') {
      THelpTopic t;
      std::istringstream head(line.substr(1));
      std::string numbers;
      head >> numbers;
      std::istringstream nums(numbers);
      std::string n;
      while (std::getline(nums, n, ',')) {
        int v = 0;
        try {
          size_t used_chars = 0;
          v = std::stoi(n, &used_chars);
          if (used_chars != n.size() || v <= 0) fail("bad help context number \"" + n + "\"");
        } catch (const std::logic_error&) {
          fail("bad help context number \"" + n + "\"");
        }
        if (!used.insert(v).second) fail("help context " + n + " used twice");
        t.contexts.push_back(v);
      }
      std::getline(head, t.title);
      t.title = Trim(t.title);
      if (t.contexts.empty() || t.title.empty()) fail("a topic needs numbers and a title");
      topics.push_back(std::move(t));
      inParagraph = false;
      continue;
    }
    if (topics.empty()) fail("text before the first topic");
    auto& blocks = topics.back().blocks;
    if (line.rfind("- ", 0) == 0) {
      blocks.push_back({THelpBlock::Item, Trim(line.substr(2))});
    } else if (line.rfind("> ", 0) == 0) {
      blocks.push_back({THelpBlock::Heading, Trim(line.substr(2))});
    } else if (indented && inParagraph && !blocks.empty()) {
      blocks.back().text += " " + Trim(line);  // an indented line continues the block
    } else {
      blocks.push_back({THelpBlock::Paragraph, line});
    }
    inParagraph = true;
  }
  if (topics.empty()) throw EStatusError(TStatus::Corrupt("help source has no topic"));
  return topics;
}

std::string HelpToHtml(const std::vector<THelpTopic>& topics, const std::string& title) {
  std::string h = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" +
                  HtmlEscape(title) + "</title></head>\n<body>\n<h1><a name=\"contents\"></a>" +
                  HtmlEscape(title) + "</h1>\n";
  h += "<ul>\n";
  for (size_t i = 1; i < topics.size(); ++i)
    h += "<li><a href=\"#" + std::to_string(topics[i].contexts.front()) + "\">" +
         HtmlEscape(topics[i].title) + "</a></li>\n";
  h += "</ul>\n";
  for (size_t i = 0; i < topics.size(); ++i) {
    const THelpTopic& t = topics[i];
    h += "<hr>\n<h2>";
    for (int c : t.contexts) h += "<a name=\"" + std::to_string(c) + "\"></a>";
    h += HtmlEscape(t.title) + "</h2>\n";
    bool inList = false;
    for (const THelpBlock& b : t.blocks) {
      if (b.kind != THelpBlock::Item && inList) h += "</ul>\n", inList = false;
      if (b.kind == THelpBlock::Item && !inList) h += "<ul>\n", inList = true;
      if (b.kind == THelpBlock::Item) h += "<li>" + HtmlEscape(b.text) + "</li>\n";
      if (b.kind == THelpBlock::Paragraph) h += "<p>" + HtmlEscape(b.text) + "</p>\n";
      if (b.kind == THelpBlock::Heading) h += "<h3>" + HtmlEscape(b.text) + "</h3>\n";
    }
    if (inList) h += "</ul>\n";
    if (i > 0) h += "<p><a href=\"#contents\">Contents</a></p>\n";
  }
  return h + "</body></html>\n";
}

std::string HelpToRtf(const std::vector<THelpTopic>& topics, const std::string& title) {
  std::string r =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\n"
      "\\f0\\fs20\n{\\b\\fs32 " +
      RtfEscape(title) + "\\par}\n\\par\n";
  for (const THelpTopic& t : topics) {
    r += "{\\b\\fs26 " + RtfEscape(t.title) + "\\par}\n";
    for (const THelpBlock& b : t.blocks) {
      if (b.kind == THelpBlock::Heading) r += "{\\b " + RtfEscape(b.text) + "\\par}\n";
      if (b.kind == THelpBlock::Paragraph) r += RtfEscape(b.text) + "\\par\n\\par\n";
      if (b.kind == THelpBlock::Item)
        r += "{\\pard\\li360\\fi-240 \\bullet\\tab " + RtfEscape(b.text) + "\\par}\n";
    }
    r += "\\par\n";
  }
  return r + "}\n";
}

std::string WrapText(const std::string& text, size_t width, const std::string& first,
                     const std::string& indent) {
  std::string out, line = first;
  size_t len = Utf8Length(first);
  bool empty = true;
  std::istringstream words(text);
  std::string w;
  while (words >> w) {
    const size_t wl = Utf8Length(w);
    if (!empty && len + 1 + wl > width) {
      out += line + "\n";
      line = indent;
      len = Utf8Length(indent);
      empty = true;
    }
    if (!empty) line += " ", ++len;
    line += w;
    len += wl;
    empty = false;
  }
  return out + line + "\n";
}

std::string HelpToText(const std::vector<THelpTopic>& topics, const std::string& title) {
  std::string t = title + "\n" + std::string(Utf8Length(title), '=') + "\n\n";
  for (const THelpTopic& topic : topics) {
    t += topic.title + "\n" + std::string(Utf8Length(topic.title), '-') + "\n\n";
    for (size_t i = 0; i < topic.blocks.size(); ++i) {
      const THelpBlock& b = topic.blocks[i];
      if (b.kind == THelpBlock::Heading) t += b.text + "\n\n";
      if (b.kind == THelpBlock::Paragraph) t += WrapText(b.text, 76, "", "") + "\n";
      if (b.kind == THelpBlock::Item) {
        t += WrapText(b.text, 76, "  - ", "    ");
        const bool last = i + 1 == topic.blocks.size() || topic.blocks[i + 1].kind != b.kind;
        if (last) t += "\n";
      }
    }
  }
  return t;
}

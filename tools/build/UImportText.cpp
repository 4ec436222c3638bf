#include "UImportText.h"

#include <cstdint>

#include "common/StrUtil.h"

namespace {

// Plain letters of U+00C0..U+017F (nullptr: the character has a code page 437 form or none).
const char* const kLatinFold[192] = {
    "A",  "A",  "A",  "A",  nullptr, nullptr, nullptr, nullptr,  // C0
    "E",  nullptr, "E", "E", "I",  "I",  "I",  "I",            // C8
    "D",  nullptr, "O", "O", "O",  "O",  nullptr, "x",         // D0
    "O",  "U",  "U",  "U",  nullptr, "Y", "Th", nullptr,       // D8
    nullptr, nullptr, nullptr, "a", nullptr, nullptr, nullptr, nullptr,  // E0
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // E8
    "d",  nullptr, nullptr, nullptr, nullptr, "o", nullptr, nullptr,  // F0
    "o",  nullptr, nullptr, nullptr, nullptr, "y", "th", nullptr,     // F8
    "A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d",  // 100
    "D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",  // 110
    "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i",  // 120
    "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L",  // 130
    "l", "L", "l", "N", "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o",  // 140
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s",  // 150
    "S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u",  // 160
    "U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s"};  // 170

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Next code point of valid UTF-8 at i (advanced past it).
uint32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto u = static_cast<unsigned char>(s[i]);
  int len = u < 0x80 ? 1 : (u & 0xE0) == 0xC0 ? 2 : (u & 0xF0) == 0xE0 ? 3 : 4;
  uint32_t cp = len == 1 ? u : len == 2 ? (u & 0x1F) : len == 3 ? (u & 0x0F) : (u & 0x07);
  for (int k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  i += static_cast<size_t>(len);
  return cp;
}

const char* Fold(uint32_t cp) {
  if (cp >= 0xC0 && cp < 0x180) return kLatinFold[cp - 0xC0];
  switch (cp) {
    case 0x2018: case 0x2019: case 0x201A: case 0x2032: return "'";
    case 0x201C: case 0x201D: case 0x201E: case 0x2033: return "\"";
    case 0x2010: case 0x2011: case 0x2012: case 0x2013: case 0x2014: case 0x2212: return "-";
    case 0x2026: return "...";
    case 0x0218: return "S";
    case 0x0219: return "s";
    case 0x021A: return "T";
    case 0x021B: return "t";
    default: return nullptr;
  }
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto u = static_cast<unsigned char>(s[i]);
    int len;
    uint32_t min;
    if (u < 0x80) {
      ++i;
      continue;
    } else if ((u & 0xE0) == 0xC0) {
      len = 2;
      min = 0x80;
    } else if ((u & 0xF0) == 0xE0) {
      len = 3;
      min = 0x800;
    } else if ((u & 0xF8) == 0xF0) {
      len = 4;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(len) > s.size()) return false;
    for (int k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    size_t j = i;
    const uint32_t cp = NextCodePoint(s, j);
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    i = j;
  }
  return true;
}

std::string ImportText(std::string_view bytes) {
  const bool utf8 = IsValidUtf8(bytes);
  std::string out;
  out.reserve(bytes.size());
  std::string one;
  size_t i = 0;
  while (i < bytes.size()) {
    const uint32_t cp = utf8 ? NextCodePoint(bytes, i) : static_cast<unsigned char>(bytes[i++]);
    if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) {
      out += ' ';
    } else if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp == 0xFEFF) {
      // byte-order mark: nothing
    } else if (const char* plain = Fold(cp)) {
      out += plain;
    } else {
      one.clear();
      AppendUtf8(one, cp);
      out += Utf8ToCp437(one);
    }
  }
  return out;
}

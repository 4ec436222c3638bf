#include "UImportText.h"

#include <cstdint>

#include "USourceTables.h"

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the valid UTF-8 sequence at i, 0 when there is none.
size_t SequenceLength(std::string_view s, size_t i) {
  const auto u = static_cast<unsigned char>(s[i]);
  size_t len;
  uint32_t cp, min;
  if (u < 0x80) return 1;
  if ((u & 0xE0) == 0xC0) {
    len = 2, cp = u & 0x1F, min = 0x80;
  } else if ((u & 0xF0) == 0xE0) {
    len = 3, cp = u & 0x0F, min = 0x800;
  } else if ((u & 0xF8) == 0xF0) {
    len = 4, cp = u & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return 0;
  return len;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string ImportText(std::string_view bytes) {
  // Control characters (C0 and C1) become blanks, a byte-order mark goes; the rest is converted
  // (and transliterated where the code page has no form) by ToCp437.
  std::string utf8;
  utf8.reserve(bytes.size());
  const bool valid = IsValidUtf8(bytes);
  for (size_t i = 0; i < bytes.size();) {
    const auto u = static_cast<unsigned char>(bytes[i]);
    if (!valid) {  // Latin-1
      if (u < 0x20 || (u >= 0x7F && u < 0xA0))
        utf8 += ' ';
      else
        AppendUtf8(utf8, u);
      ++i;
      continue;
    }
    const size_t n = SequenceLength(bytes, i);
    if (u < 0x20 || u == 0x7F) {
      utf8 += ' ';
    } else if (n == 2 && u == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0) {
      utf8 += ' ';  // C1 control
    } else if (!(n == 3 && bytes.substr(i, 3) == "\xEF\xBB\xBF")) {
      utf8.append(bytes.substr(i, n));
    }
    i += n;
  }
  return ToCp437(utf8);
}

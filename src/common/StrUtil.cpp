#include "common/StrUtil.h"

#include <charconv>
#include <cstdlib>
#include <unordered_map>

namespace {
// Unicode code points of code page 437 bytes 128..255.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// The UTF-8 bytes of every code page 437 byte, made from the code points above when compiled.
struct TUtf8Char {
  char bytes[3];
  uint8_t size;
};
constexpr TUtf8Char Utf8Char(uint32_t cp) {
  if (cp < 0x80) return {{static_cast<char>(cp), 0, 0}, 1};
  if (cp < 0x800)
    return {{static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F)), 0}, 2};
  return {{static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
           static_cast<char>(0x80 | (cp & 0x3F))},
          3};
}
struct TCp437Utf8 {
  TUtf8Char chars[256];
  constexpr TCp437Utf8() : chars() {
    for (uint32_t b = 0; b < 256; ++b) chars[b] = Utf8Char(b < 0x80 ? b : kCp437High[b - 128]);
  }
};
constexpr TCp437Utf8 kCp437Utf8;

}  // namespace

std::string_view Cp437CharAsUtf8(char c) {
  const TUtf8Char& u = kCp437Utf8.chars[static_cast<unsigned char>(c)];
  return {u.bytes, u.size};
}

char LowerOEM(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
  switch (u) {
    case 142:
      return static_cast<char>(132);
    case 153:
      return static_cast<char>(148);
    case 154:
      return static_cast<char>(129);
    default:
      return c;
  }
}

std::string LowerCaseOEM(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerOEM(c);
  return r;
}

std::string AsciiLower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

std::string AsciiUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

std::string_view TrimBlanksView(std::string_view s) {
  size_t b = 0, e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  while (b < e && s[b] == ' ') ++b;
  return s.substr(b, e - b);
}

std::string TrimBlanks(std::string_view s) { return std::string(TrimBlanksView(s)); }

std::string TrimRightBlanks(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return std::string(s.substr(0, n));
}

std::string RemoveBlanks(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s)
    if (c != ' ') r += c;
  return r;
}

int32_t NumberFieldValue(std::string_view s) {
  const std::string t = RemoveBlanks(s);
  if (t.empty()) return 0;
  const char* b = t.data();
  const char* e = b + t.size();
  if (*b == '+') ++b;
  int32_t v = 0;
  auto [p, ec] = std::from_chars(b, e, v);
  if (ec != std::errc() || p != e) return 0;
  return v;
}

double RealFieldValue(std::string_view s) {
  const std::string t = RemoveBlanks(s);
  if (t.empty()) return 0.0;
  const char* b = t.data();
  const char* e = b + t.size();
  if (*b == '+') ++b;
  double v = 0.0;
  auto [p, ec] = std::from_chars(b, e, v);
  if (ec != std::errc() || p != e) return 0.0;
  return v;
}

std::string Cp437ToUtf8(std::string_view s) {
  std::string out;
  AppendCp437AsUtf8(out, s);
  return out;
}

void AppendCp437AsUtf8(std::string& out, std::string_view s) {
  // Runs of ASCII are copied whole; most texts are nothing else.
  size_t plain = 0;
  for (size_t i = 0; i < s.size();) {
    if (i + 8 <= s.size() && HighBytes(LoadWord(s.data() + i)) == 0) {
      i += 8;
      continue;
    }
    const auto u = static_cast<unsigned char>(s[i++]);
    if (u < 0x80) continue;
    out.append(s.data() + plain, i - 1 - plain);
    const TUtf8Char& c = kCp437Utf8.chars[u];
    out.append(c.bytes, c.size);
    plain = i;
  }
  out.append(s.data() + plain, s.size() - plain);
}

std::string Utf8ToCp437(std::string_view s, char unmapped) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  uint32_t cp = 0;
  while (i < s.size()) {
    char c = unmapped;
    if (DecodeUtf8(s, i, cp) && !CodePointToCp437(cp, c)) c = unmapped;
    out += c;
  }
  return out;
}

bool DecodeUtf8(std::string_view s, size_t& i, uint32_t& cp) {
  const auto u = static_cast<unsigned char>(s[i]);
  size_t len;
  uint32_t min;
  if (u < 0x80) {
    cp = u;
    ++i;
    return true;
  }
  if ((u & 0xE0) == 0xC0) {
    len = 2, cp = u & 0x1F, min = 0x80;
  } else if ((u & 0xF0) == 0xE0) {
    len = 3, cp = u & 0x0F, min = 0x800;
  } else if ((u & 0xF8) == 0xF0) {
    len = 4, cp = u & 0x07, min = 0x10000;
  } else {
    ++i;
    return false;
  }
  bool ok = i + len <= s.size();
  for (size_t k = 1; ok && k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    ok = (c & 0xC0) == 0x80;
    cp = cp << 6 | (c & 0x3F);
  }
  if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
    ++i;
    return false;
  }
  i += len;
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool CodePointToCp437(uint32_t cp, char& out) {
  if (cp < 0x80) {
    out = static_cast<char>(cp);
    return true;
  }
  static const std::unordered_map<uint32_t, char> kHigh = [] {
    std::unordered_map<uint32_t, char> m;
    for (int b = 128; b < 256; ++b) m.emplace(kCp437High[b - 128], static_cast<char>(b));
    return m;
  }();
  const auto it = kHigh.find(cp);
  if (it == kHigh.end()) return false;
  out = it->second;
  return true;
}

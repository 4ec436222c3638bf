#include "builder/UImportText.h"

#include <cstdint>

#include "builder/USourceTables.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/UStatus.h"

bool IsValidUtf8(std::string_view s) {
  uint32_t cp = 0;
  for (size_t i = 0; i < s.size();)
    if (!DecodeUtf8(s, i, cp)) return false;
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
    const size_t at = i;
    uint32_t cp = 0;
    DecodeUtf8(bytes, i, cp);  // valid: always decodes
    const size_t n = i - at;
    i = at;
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

std::string CleanImportField(std::string_view raw) {
  const std::string t = ImportText(raw);
  std::string r;
  r.reserve(t.size());
  for (char c : t) {
    if (c == ' ' && (r.empty() || r.back() == ' ')) continue;
    r += c;
  }
  return TrimBlanks(r);
}

std::string ReadImportFile(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    const int code = LastErrorCode();
    throw EStatusError(TStatus::WithMessage(
        StatusFromLastError(path, code).Code(),
        "cannot read " + path + ": " + ErrorCodeText(code) + " (" + RunErrorText(code) + ")"));
  }
  return text;
}

#include "notes/UNoteText.h"

#include <algorithm>
#include <iterator>

#include "common/StrUtil.h"
#include "notes/UNotesIO.h"

namespace {

struct TNearest {
  uint32_t codePoint;
  const char* text;  // UTF-8
};

// Letters with marks as their base letter, ligatures and letters of their own spelt out, dashes
// and typographic quotes as their plain forms; sorted by code point.
constexpr TNearest kNearest[] = {
    {0x00A4, "?"},        {0x00A6, "|"},        {0x00A8, "\""},
    {0x00A9, "(c)"},      {0x00AE, "(R)"},      {0x00AF, "-"},
    {0x00B3, "3"},        {0x00B4, "'"},        {0x00B8, ","},
    {0x00B9, "1"},        {0x00BE, "3/4"},      {0x00C0, "A"},
    {0x00C1, "A"},        {0x00C2, "A"},        {0x00C3, "A"},
    {0x00C8, "E"},        {0x00CA, "E"},        {0x00CB, "E"},
    {0x00CC, "I"},        {0x00CD, "I"},        {0x00CE, "I"},
    {0x00CF, "I"},        {0x00D0, "D"},        {0x00D2, "O"},
    {0x00D3, "O"},        {0x00D4, "O"},        {0x00D5, "O"},
    {0x00D7, "x"},        {0x00D8, "O"},        {0x00D9, "U"},
    {0x00DA, "U"},        {0x00DB, "U"},        {0x00DD, "Y"},
    {0x00DE, "Th"},       {0x00E3, "a"},        {0x00F0, "d"},
    {0x00F5, "o"},        {0x00F8, "o"},        {0x00FD, "y"},
    {0x00FE, "th"},       {0x0100, "A"},        {0x0101, "a"},
    {0x0102, "A"},        {0x0103, "a"},        {0x0104, "A"},
    {0x0105, "a"},        {0x0106, "C"},        {0x0107, "c"},
    {0x0108, "C"},        {0x0109, "c"},        {0x010A, "C"},
    {0x010B, "c"},        {0x010C, "C"},        {0x010D, "c"},
    {0x010E, "D"},        {0x010F, "d"},        {0x0110, "D"},
    {0x0111, "d"},        {0x0112, "E"},        {0x0113, "e"},
    {0x0114, "E"},        {0x0115, "e"},        {0x0116, "E"},
    {0x0117, "e"},        {0x0118, "E"},        {0x0119, "e"},
    {0x011A, "E"},        {0x011B, "e"},        {0x011C, "G"},
    {0x011D, "g"},        {0x011E, "G"},        {0x011F, "g"},
    {0x0120, "G"},        {0x0121, "g"},        {0x0122, "G"},
    {0x0123, "g"},        {0x0124, "H"},        {0x0125, "h"},
    {0x0126, "H"},        {0x0127, "h"},        {0x0128, "I"},
    {0x0129, "i"},        {0x012A, "I"},        {0x012B, "i"},
    {0x012C, "I"},        {0x012D, "i"},        {0x012E, "I"},
    {0x012F, "i"},        {0x0130, "I"},        {0x0131, "i"},
    {0x0134, "J"},        {0x0135, "j"},        {0x0136, "K"},
    {0x0137, "k"},        {0x0138, "k"},        {0x0139, "L"},
    {0x013A, "l"},        {0x013B, "L"},        {0x013C, "l"},
    {0x013D, "L"},        {0x013E, "l"},        {0x0141, "L"},
    {0x0142, "l"},        {0x0143, "N"},        {0x0144, "n"},
    {0x0145, "N"},        {0x0146, "n"},        {0x0147, "N"},
    {0x0148, "n"},        {0x0149, "'n"},       {0x014A, "N"},
    {0x014B, "n"},        {0x014C, "O"},        {0x014D, "o"},
    {0x014E, "O"},        {0x014F, "o"},        {0x0150, "O"},
    {0x0151, "o"},        {0x0152, "OE"},       {0x0153, "oe"},
    {0x0154, "R"},        {0x0155, "r"},        {0x0156, "R"},
    {0x0157, "r"},        {0x0158, "R"},        {0x0159, "r"},
    {0x015A, "S"},        {0x015B, "s"},        {0x015C, "S"},
    {0x015D, "s"},        {0x015E, "S"},        {0x015F, "s"},
    {0x0160, "S"},        {0x0161, "s"},        {0x0162, "T"},
    {0x0163, "t"},        {0x0164, "T"},        {0x0165, "t"},
    {0x0166, "T"},        {0x0167, "t"},        {0x0168, "U"},
    {0x0169, "u"},        {0x016A, "U"},        {0x016B, "u"},
    {0x016C, "U"},        {0x016D, "u"},        {0x016E, "U"},
    {0x016F, "u"},        {0x0170, "U"},        {0x0171, "u"},
    {0x0172, "U"},        {0x0173, "u"},        {0x0174, "W"},
    {0x0175, "w"},        {0x0176, "Y"},        {0x0177, "y"},
    {0x0178, "Y"},        {0x0179, "Z"},        {0x017A, "z"},
    {0x017B, "Z"},        {0x017C, "z"},        {0x017D, "Z"},
    {0x017E, "z"},        {0x017F, "s"},        {0x0180, "b"},
    {0x0197, "I"},        {0x01A0, "O"},        {0x01A1, "o"},
    {0x01AF, "U"},        {0x01B0, "u"},        {0x01B5, "Z"},
    {0x01B6, "z"},        {0x01CD, "A"},        {0x01CE, "a"},
    {0x01CF, "I"},        {0x01D0, "i"},        {0x01D1, "O"},
    {0x01D2, "o"},        {0x01D3, "U"},        {0x01D4, "u"},
    {0x01D5, "U"},        {0x01D6, "u"},        {0x01D7, "U"},
    {0x01D8, "u"},        {0x01D9, "U"},        {0x01DA, "u"},
    {0x01DB, "U"},        {0x01DC, "u"},        {0x01DE, "A"},
    {0x01DF, "a"},        {0x01E0, "A"},        {0x01E1, "a"},
    {0x01E2, "\xc3\x86"}, {0x01E3, "\xc3\xa6"}, {0x01E4, "G"},
    {0x01E5, "g"},        {0x01E6, "G"},        {0x01E7, "g"},
    {0x01E8, "K"},        {0x01E9, "k"},        {0x01EA, "O"},
    {0x01EB, "o"},        {0x01EC, "O"},        {0x01ED, "o"},
    {0x01F0, "j"},        {0x01F4, "G"},        {0x01F5, "g"},
    {0x01F8, "N"},        {0x01F9, "n"},        {0x01FA, "A"},
    {0x01FB, "a"},        {0x01FC, "\xc3\x86"}, {0x01FD, "\xc3\xa6"},
    {0x0200, "A"},        {0x0201, "a"},        {0x0202, "A"},
    {0x0203, "a"},        {0x0204, "E"},        {0x0205, "e"},
    {0x0206, "E"},        {0x0207, "e"},        {0x0208, "I"},
    {0x0209, "i"},        {0x020A, "I"},        {0x020B, "i"},
    {0x020C, "O"},        {0x020D, "o"},        {0x020E, "O"},
    {0x020F, "o"},        {0x0210, "R"},        {0x0211, "r"},
    {0x0212, "R"},        {0x0213, "r"},        {0x0214, "U"},
    {0x0215, "u"},        {0x0216, "U"},        {0x0217, "u"},
    {0x0218, "S"},        {0x0219, "s"},        {0x021A, "T"},
    {0x021B, "t"},        {0x021E, "H"},        {0x021F, "h"},
    {0x0226, "A"},        {0x0227, "a"},        {0x0228, "E"},
    {0x0229, "e"},        {0x022A, "O"},        {0x022B, "o"},
    {0x022C, "O"},        {0x022D, "o"},        {0x022E, "O"},
    {0x022F, "o"},        {0x0230, "O"},        {0x0231, "o"},
    {0x0232, "Y"},        {0x0233, "y"},        {0x02BC, "'"},
    {0x02C6, "^"},        {0x02DC, "~"},        {0x2002, " "},
    {0x2003, " "},        {0x2009, " "},        {0x200B, ""},
    {0x2010, "-"},        {0x2011, "-"},        {0x2012, "-"},
    {0x2013, "-"},        {0x2014, "-"},        {0x2015, "-"},
    {0x2018, "'"},        {0x2019, "'"},        {0x201A, "'"},
    {0x201B, "'"},        {0x201C, "\""},       {0x201D, "\""},
    {0x201E, "\""},       {0x201F, "\""},       {0x2022, "\xe2\x88\x99"},
    {0x2026, "..."},      {0x202F, " "},        {0x2030, "%"},
    {0x2032, "'"},        {0x2033, "\""},       {0x2039, "<"},
    {0x203A, ">"},        {0x2044, "/"},        {0x20AC, "EUR"},
    {0x2122, "TM"},       {0x2212, "-"},        {0x2215, "/"},
};

constexpr uint32_t kReplacementChar = 0xFFFD;

}  // namespace

std::string NearestCodePageText(uint32_t codePoint) {
  const auto* it =
      std::lower_bound(std::begin(kNearest), std::end(kNearest), codePoint,
                       [](const TNearest& n, uint32_t cp) { return n.codePoint < cp; });
  if (it != std::end(kNearest) && it->codePoint == codePoint) return it->text;
  return "?";
}

std::vector<TNoteCharSwap> NoteCharsOutsideCodePage(std::string_view utf8) {
  std::vector<TNoteCharSwap> found;
  size_t i = 0;
  while (i < utf8.size()) {
    uint32_t cp = 0;
    char byte = 0;
    if (!DecodeUtf8(utf8, i, cp)) cp = kReplacementChar;
    if (cp < 0x80 || (cp != kReplacementChar && CodePointToCp437(cp, byte))) continue;
    if (std::none_of(found.begin(), found.end(),
                     [cp](const TNoteCharSwap& s) { return s.codePoint == cp; }))
      found.push_back({cp, NearestCodePageText(cp)});
  }
  return found;
}

std::string NoteTextWithNearestChars(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t start = i;
    uint32_t cp = 0;
    char byte = 0;
    if (!DecodeUtf8(utf8, i, cp))
      out += NearestCodePageText(kReplacementChar);
    else if (cp < 0x80 || CodePointToCp437(cp, byte))
      out.append(utf8.substr(start, i - start));
    else
      out += NearestCodePageText(cp);
  }
  return out;
}

std::string NoteTextFromMemo(std::string_view memo) {
  std::string text;
  if (memo.empty()) return text;
  text.reserve(memo.size() + 2);
  for (char c : memo) {
    if (c == '\n')
      text += "\r\n";
    else
      text += c;
  }
  text += "\r\n";
  if (text.size() > static_cast<size_t>(TNotes::kMaxTextLen)) {
    text.resize(TNotes::kMaxTextLen);
    if (text.back() == '\r') text.pop_back();
  }
  return text;
}

std::string MemoTextFromNote(std::string_view note) {
  std::string memo;
  memo.reserve(note.size());
  for (size_t i = 0; i < note.size(); ++i) {
    const char c = note[i];
    if (c == '\r') {
      memo += '\n';
      if (i + 1 < note.size() && note[i + 1] == '\n') ++i;
    } else {
      memo += c;
    }
  }
  if (!memo.empty() && memo.back() == '\n') memo.pop_back();
  return memo;
}

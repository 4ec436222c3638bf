#include "textsearch/UWordFold.h"

#include "common/StrUtil.h"

namespace {

// ASCII spelling of the code page 437 letters 128..165 (nullptr: not a letter).
constexpr const char* kFold128[38] = {"c", "u",     "e",     "a",     "a",     "a",     "a",
                                      "c", "e",     "e",     "e",     "i",     "i",  // 128..140
                                      "i", "a",     "a",     "e",     "ae",    "ae",    "o",
                                      "o", "o",     "u",     "u",     "y",     "o",      // 141..153
                                      "u", nullptr, nullptr, nullptr, nullptr, nullptr,  // 154..159
                                      "a", "i",     "o",     "u",     "n",     "n"};     // 160..165

struct TQueryPrefix {
  const char* prefix;
  TWordTag tag;
};
constexpr TQueryPrefix kQueryPrefixes[] = {{"state=", wtState},       {"zip=", wtZIP},
                                           {"lastname=", wtLastName}, {"firstname=", wtFirstName},
                                           {"city=", wtCity},         {"county=", wtCounty},
                                           {"prevcall=", wtPrevCall}};

}  // namespace

const char* FoldedLetters(unsigned char c) {
  if (c >= 128 && c <= 165) return kFold128[c - 128];
  return c == 225 ? "ss" : nullptr;
}

std::vector<std::string> StoredWords(std::string_view text, uint8_t tag) {
  std::vector<std::string> words;
  ForEachWord(text, tag, [&](const char* w, size_t n) { words.emplace_back(w, n); });
  return words;
}

std::string FoldLetters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const char* letters = FoldedLetters(static_cast<unsigned char>(ch));
    if (letters)
      out += letters;
    else
      out += ch;
  }
  return out;
}

std::vector<std::string> QueryWords(std::string_view text, bool us) {
  const std::string lower = AsciiLower(text);
  for (const auto& qp : kQueryPrefixes) {
    const std::string_view prefix(qp.prefix);
    if (lower.compare(0, prefix.size(), prefix) != 0) continue;
    if (!us) return {std::string(TrimBlanks(lower))};
    return StoredWords(text.substr(prefix.size()), qp.tag);
  }
  return StoredWords(text);
}

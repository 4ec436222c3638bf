#pragma once
// The words of a text as the word lists hold them, shared by the writer of the word lists and by
// every query made against them, so that a typed "Coruña" meets the stored "coruna".
//
// Words: ASCII letters lower-cased, code page 437 letters folded to their ASCII letters ("Müller"
// gives "muller", "ß" gives "ss"), split at every character that is not a letter, a digit or an
// apostrophe; apostrophes at either end of a word are dropped; cut to 15 characters. A tagged word
// (U.S. database) starts with its field tag byte, which counts as the first of the 15 characters.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Field tags of the U.S. word list.
enum TWordTag : uint8_t {
  wtNone = 0,
  wtState = 0x82,
  wtZIP = 0x83,
  wtLastName = 0x84,
  wtFirstName = 0x85,
  wtCounty = 0x86,
  wtCity = 0x87,
  wtPrevCall = 0x88
};

constexpr int kWordKeyLength = 15;

// ASCII letters of a code page 437 letter 128..165 or 225; nullptr for any other byte.
const char* FoldedLetters(unsigned char c);

// Letters a byte adds to a word (single receives the byte's own one); nullptr for a byte that
// ends the word.
inline const char* WordChars(unsigned char c, char& single) {
  if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '\'') {
    single = static_cast<char>(c);
    return &single;
  }
  if (c >= 'A' && c <= 'Z') {
    single = static_cast<char>(c - 'A' + 'a');
    return &single;
  }
  return c >= 128 ? FoldedLetters(c) : nullptr;
}

// Calls f(word, length) for every word of text in its stored form.
template <typename F>
void ForEachWord(std::string_view text, uint8_t tag, F&& f) {
  char word[64];
  size_t len = 0;
  const auto flush = [&] {
    // Apostrophes at either end are quotation marks, not part of the word.
    size_t b = 0, e = len;
    while (b < e && word[b] == '\'') ++b;
    while (e > b && word[e - 1] == '\'') --e;
    if (e > b) {
      char out[kWordKeyLength];
      size_t n = 0;
      if (tag != wtNone) out[n++] = static_cast<char>(tag);
      const size_t take = std::min(e - b, static_cast<size_t>(kWordKeyLength) - n);
      std::memcpy(out + n, word + b, take);
      f(out, n + take);
    }
    len = 0;
  };
  for (const char ch : text) {
    char single;
    const char* letters = WordChars(static_cast<unsigned char>(ch), single);
    if (!letters) {
      if (len > 0) flush();
      continue;
    }
    const size_t n = letters == &single ? 1 : std::strlen(letters);
    if (len + n > sizeof word) continue;  // far past the 15 characters that are kept
    std::memcpy(word + len, letters, n);
    len += n;
  }
  if (len > 0) flush();
}

// The words of a text in the stored form, in the order they occur (duplicates kept).
std::vector<std::string> StoredWords(std::string_view text, uint8_t tag = wtNone);

// Code page 437 letters 128..165 and 225 replaced by their ASCII letters; every other byte kept.
// For typed text that is still to be matched against word-list entries.
std::string FoldLetters(std::string_view text);

// The stored words a typed query word (code page 437) stands for. In the U.S. database a field
// prefix in any case ("City=", "zip=") tags every word of the rest; in the International
// database, which has no tagged words, such a word is kept whole so that it matches nothing.
std::vector<std::string> QueryWords(std::string_view text, bool us);

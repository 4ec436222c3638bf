#pragma once
// String helpers of the data set's conventions: single-byte code page 437 texts, the data set's
// lower-casing, blank trimming, numbers read the lenient way, and conversion to and from UTF-8.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Lower-cases A-Z and the OEM capitals 142, 153, 154 (to 132, 148, 129).
char LowerOEM(char c);
std::string LowerCaseOEM(std::string_view s);
// Lower-cases A-Z only.
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);

// Blanks (' ') trimmed at both ends / at one end.
std::string TrimBlanks(std::string_view s);
// The same as a view into s.
std::string_view TrimBlanksView(std::string_view s);
std::string TrimRightBlanks(std::string_view s);
std::string RemoveBlanks(std::string_view s);

// All blanks removed, then read as a decimal integer; 0 for a text that is not a number.
int32_t NumberFieldValue(std::string_view s);
// All blanks removed, then read as a decimal real ("." separator); 0 for a text that is not one.
double RealFieldValue(std::string_view s);

// Decodes the UTF-8 sequence at i into cp and moves i past it. A malformed, truncated, overlong
// or surrogate sequence gives false and moves i by one byte.
bool DecodeUtf8(std::string_view s, size_t& i, uint32_t& cp);
void AppendUtf8(std::string& out, uint32_t cp);
// The code page 437 byte of a Unicode code point; false when the code page has none.
bool CodePointToCp437(uint32_t cp, char& out);

// Code page 437 <-> UTF-8. Characters without a code page 437 form become unmapped ('?').
std::string Cp437ToUtf8(std::string_view s);
// The same appended to out (no allocation once out has room).
void AppendCp437AsUtf8(std::string& out, std::string_view s);
// The UTF-8 form of one code page 437 byte (1 to 3 bytes).
std::string_view Cp437CharAsUtf8(char c);
std::string Utf8ToCp437(std::string_view s, char unmapped = '?');

// Eight bytes at once: a word read from memory as it lies, and bytewise tests of it, each not 0
// exactly when a byte of w is so (no borrow from one byte changes whether another is found);
// or-ed together, they test for any of several kinds at once.
inline uint64_t LoadWord(const void* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
constexpr uint64_t kEachByte = 0x0101010101010101ULL;
// A byte below n (n at most 128).
constexpr uint64_t BytesBelow(uint64_t w, uint8_t n) {
  return (w - kEachByte * n) & ~w & kEachByte * 0x80;
}
// A byte equal to b.
constexpr uint64_t BytesEqual(uint64_t w, uint8_t b) { return BytesBelow(w ^ (kEachByte * b), 1); }
// A byte from 0x80 on.
constexpr uint64_t HighBytes(uint64_t w) { return w & kEachByte * 0x80; }

// Cuts a text to at most n bytes.
inline std::string Cut(std::string_view s, size_t n) { return std::string(s.substr(0, n)); }

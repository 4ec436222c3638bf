#include "dataset/UCallParts.h"

#include <algorithm>
#include <vector>

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool HasLetterAndDigit(std::string_view s) {
  bool letter = false, digit = false;
  for (char c : s) {
    letter = letter || IsLetter(c);
    digit = digit || IsDigit(c);
  }
  return letter && digit;
}

}  // namespace

bool BeginsAsUSCall(std::string_view call) {
  if (call.empty()) return false;
  const char c = call.front();
  return c == 'a' || c == 'k' || c == 'n' || c == 'w' || c == 'A' || c == 'K' || c == 'N' ||
         c == 'W';
}

TCallParts SplitCallParts(std::string_view text) {
  // Most calls are written without designators.
  if (text.find('/') == std::string_view::npos) return {std::string(text), {}};
  std::vector<std::string_view> parts;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t slash = std::min(text.find('/', at), text.size());
    if (slash > at) parts.push_back(text.substr(at, slash - at));
    at = slash + 1;
  }
  if (parts.size() <= 1) return {parts.empty() ? std::string() : std::string(parts[0]), {}};
  // Rank 2: a call (digit, ends with a letter); 1: a letter and a digit; 0: anything else.
  const auto rank = [](std::string_view p) {
    if (!HasLetterAndDigit(p)) return 0;
    return IsLetter(p.back()) ? 2 : 1;
  };
  size_t best = 0;
  for (size_t i = 1; i < parts.size(); ++i) {
    const int r = rank(parts[i]), rb = rank(parts[best]);
    if (r > rb || (r == rb && parts[i].size() > parts[best].size())) best = i;
  }
  TCallParts result;
  result.base = std::string(parts[best]);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i == best) continue;
    if (!result.designators.empty()) result.designators += '/';
    result.designators += parts[i];
  }
  return result;
}

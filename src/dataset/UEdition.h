#pragma once
// The edition manifest "data\edition.ini": title, the stretch of each sort order in the sequence
// file, the map directory offset and the entry counts. Without it the 1999 table applies.
#include <array>
#include <cstdint>
#include <string>

struct TStretch {
  int32_t start = 0;
  int32_t end = -1;  // inclusive; end = start - 1 for an empty order
  // In 64 bits: a damaged manifest may name 2^31 entries.
  int64_t Count() const { return int64_t{end} - start + 1; }
};

struct TEdition {
  std::string title;
  std::array<TStretch, 6> stretches{};
  int64_t mapDirOffset = 0;
  int32_t intlCount = 0;
  int32_t usCount = 0;
};

// The compiled-in table of the Summer 1999 edition.
TEdition Edition1999();
// Parses the manifest text; false when a needed key is missing or malformed (then `error` says
// which), leaving ed unchanged.
bool ParseEdition(const std::string& text, TEdition& ed, std::string& error);
// The manifest text of an edition (what tellmark-build writes).
std::string FormatEdition(const TEdition& ed);

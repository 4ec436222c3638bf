#pragma once
// The edition manifest "data\edition.ini": title, the stretch of each sort order in the sequence
// file, the map directory offset and the entry counts. Without it the 1999 table applies. An
// edition made from FCC data also names the dates of its weekly and last daily file.
#include <array>
#include <cstdint>
#include <ctime>
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
  // "YYYY-MM-DD" of the FCC weekly file and of the last daily file applied; empty when none.
  std::string fccWeekly;
  std::string fccDaily;
};

// Days after which an FCC edition's data counts as old.
inline constexpr int kDataOldDays = 14;

// The date of the newest data in the edition ("YYYY-MM-DD"); empty for an edition without dates
// (the sample).
std::string DataDate(const TEdition& ed);
// Whole days from the data date to the day of `now` (UTC); -1 without a data date.
int DataAgeDays(const TEdition& ed, std::time_t now);
// "FCC data of 2026-12-06, daily files to 2026-12-09" (or without the daily part); empty
// without a data date.
std::string DataDateText(const TEdition& ed);

// The compiled-in table of the Summer 1999 edition.
TEdition Edition1999();
// Parses the manifest text; false when a needed key is missing or malformed (then `error` says
// which), leaving ed unchanged.
bool ParseEdition(const std::string& text, TEdition& ed, std::string& error);
// The manifest text of an edition (what tellmark-build writes).
std::string FormatEdition(const TEdition& ed);

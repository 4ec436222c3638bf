#pragma once
// The edition manifest "data\edition.ini": title, the stretch of each sort order in the sequence
// file, the map directory offset and the entry counts. Without it the 1999 table applies. An
// edition made from FCC data also names the dates of its weekly and last daily file. Its
// [Sources] section says what the entries were made of, one source a line:
//
//   [Sources]
//   Source1=fcc,us,2026-11-29,783412      kind, database, date of the data, stations taken
//   Source2=ised,intl,2026-11-30,91870
//   Source3=sample,intl,,40000            invented entries (the sample generator)
//
// Kinds: fcc (FCC licence data), ised (Canadian register), csv (a list of International
// entries), sample. A database holds real or invented entries, never both.
#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "common/UStatus.h"

struct TStretch {
  int32_t start = 0;
  int32_t end = -1;  // inclusive; end = start - 1 for an empty order
  // In 64 bits: a damaged manifest may name 2^31 entries.
  int64_t Count() const { return int64_t{end} - start + 1; }
};

struct TEditionSource {
  std::string kind;  // "fcc", "ised", "csv", "sample"
  std::string db;    // "us" or "intl"
  std::string date;  // "YYYY-MM-DD" of the data; empty when not known
  int64_t count = 0;
  bool Synthetic() const { return kind == "sample"; }
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
  std::vector<TEditionSource> sources;
  // False for a manifest without [Sources] (written before sources were recorded): what such an
  // edition holds is not known.
  bool sourcesKnown = true;
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

// The sample generator's title; and the title of FCC editions before sources were recorded
// (they held invented International entries).
inline constexpr const char* kSampleEditionTitle = "Tellmark sample edition";
inline constexpr const char* kOldFccEditionTitle = "Tellmark FCC edition";
// Whether the entries of a database ("us" / "intl") are invented: it has a sample source, or (an
// edition of unknown sources) the older builder's title says it invented them.
bool DatabaseSynthetic(const TEdition& ed, const std::string& db);
// An edition of invented entries only (the sample). The 1999 table is none.
bool SampleEdition(const TEdition& ed);
// An edition whose sources are recorded and include real data: it goes by its own title.
bool RealEdition(const TEdition& ed);
// What the edition was made of, in one line: "FCC licence data of 2026-11-29, 783,412 stations;
// Canadian register of 2026-11-30, 91,870 stations", or kSampleEditionText; for an edition of
// unknown sources its data date (DataDateText); empty for the 1999 table.
std::string EditionSourcesText(const TEdition& ed);
inline constexpr const char* kSampleEditionText =
    "Sample edition: invented stations for trying the program";
// "783,412"
std::string GroupedNumber(uint64_t n);

// The compiled-in table of the Summer 1999 edition.
TEdition Edition1999();
// Parses the manifest text; Corrupt when a needed key is missing or malformed, the message
// naming it ("missing edition/title", "bad orders/order3").
TResult<TEdition> ParseEdition(const std::string& text);
// The manifest text of an edition (what tellmark-build writes).
std::string FormatEdition(const TEdition& ed);

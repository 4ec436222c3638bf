#pragma once
// Writes an edition under <outDir>/data/: the data file, the sequence file, the six indexes, the
// two word lists, the QSL managers file and edition.ini.
//
// Layout decisions:
// - data\thedata.dat: the 16-byte magic, the International records in call order, then the U.S.
//   records in call order, packed (header + payload length). A reference is the record's byte
//   offset; the file (with maps) must stay below 2 GiB since references are 32-bit signed.
// - Calls are unique per database by their index key (the first 6 characters of the search key).
//   An entry whose call repeats one already taken is dropped with a warning (the first in input
//   order stays); an entry without a call is dropped with a warning.
// - Every U.S. entry stands in every U.S. order. An entry without a ZIP, name, city or county has
//   the empty key there: it sorts before all others and is in the index with the empty key.
// - Keys: call signs lower case with "0" as "<"; ZIP the first 5 characters; name = the surname
//   (club name for clubs); city = the last ", " part of the U.S. address; county. All made with
//   MakeSearchKey and cut to the index's key length; each order is sorted by (key, reference).
// - A field that does not fit the record's payload is cut (or left out when not even its tag
//   fits); keys and words are taken from what is stored.
// - qslmgr.dat record 0 (never shown, its place is the heading row) holds the column headings.
// - Maps: an optional block appended after the entries; without one MapDirOffset is 0 (no maps).
// - Files are written under staging names and renamed into place only when all are complete, so a
//   failed build leaves an earlier edition in outDir untouched.
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "builder/UBuildEntry.h"
#include "builder/UEditionCounts.h"
#include "common/UStatus.h"
#include "dataset/UEdition.h"

// Maps appended to the data file after the entries.
struct TMapBlock {
  std::string bytes;
  int64_t directoryOffset = 0;  // of the map directory, inside bytes
};

struct TEditionOptions {
  // Progress of a stage: done of total units (total 0 = not known). Called often; keep it cheap.
  std::function<void(std::string_view stage, uint64_t done, uint64_t total)> progress;
  // Warnings (dropped entries, cut fields); without a handler they are only counted.
  std::function<void(const std::string& text)> warning;
  // Makes the map block given the byte offset where it will start. Absent: no maps.
  std::function<TMapBlock(int64_t blockStart)> maps;
  // Title when the input has none.
  std::string defaultTitle = "Tellmark edition";
  // Largest data file; references are 32-bit signed (lowered by tests).
  int64_t dataFileLimit = INT32_MAX;
};

struct TEditionSummary {
  TEdition edition;
  int32_t droppedDuplicates = 0;
  int32_t droppedWithoutCall = 0;
  int64_t fieldsCut = 0;
  size_t intlWords = 0, usWords = 0;
  uint64_t intlWordRefs = 0, usWordRefs = 0;
  TEditionCounts counts;                               // of the records as stored
  std::vector<std::pair<std::string, int64_t>> files;  // relative name, bytes
  int64_t TotalBytes() const;
};

// Writes the edition; throws EStatusError with a clear message on failure.
TEditionSummary WriteEdition(const TBuildInput& input, const std::string& outDir,
                             const TEditionOptions& options = {});
// The same, using the input up: each entry is emptied once read, so the input's memory goes back
// while the edition's grows (the peak of a large build stays near the larger of the two).
TEditionSummary WriteEdition(TBuildInput&& input, const std::string& outDir,
                             const TEditionOptions& options = {});

// The text after the last ", " of a U.S. address (its city), blanks trimmed; empty when the
// address has one part only.
std::string CityOfAddress(std::string_view address);

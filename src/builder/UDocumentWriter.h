#pragma once
// The reference documents of an edition, under <outDir>/texte/, and its help, under
// <outDir>/HELP/ (HTML) and texte/ (RTF, text). Documents that follow from the data are made
// from the counts of the records as stored (TEditionCounts: the writer's own, or read back
// through the data-set reader), from the source tables (entities, prefixes, zones) and from the
// system's time-zone data; the others are copied from the hand-written texts (data/texts/*.txt).
// All documents are UTF-8 text.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "builder/UEditionCounts.h"
#include "common/UStatus.h"

struct TSourceTables;

// The generated documents, each a whole file.
std::string StateCensusDocument(const TEditionCounts& c, const TSourceTables& t);  // census
std::string WorldCensusDocument(const TEditionCounts& c, const TSourceTables& t);  // intlcen
std::string NorthAmericanCensusDocument(const TEditionCounts& c, const TSourceTables& t,
                                        bool wide);  // cendsk3 (132 columns), cendsk5 (80)
std::string DxccListDocument(const TEditionCounts& c, const TSourceTables& t);  // dxcc2
std::string ZonesByCountryDocument(const TSourceTables& t);                     // cqzone2
std::string PrefixListDocument(const TSourceTables& t);                         // prefix2
std::string AllocationDocument(const TSourceTables& t);                         // calls2
// Standard and summer time of every zone of the zone tables under zoneinfoDir (zone.tab,
// iso3166.tab and the zone files), in the given year. Throws EStatusError when the tables are
// missing.
std::string StandardTimeDocument(const std::string& zoneinfoDir, int year);  // time

// The shortest prefixes of an entity: a prefix that begins with another of its prefixes is left
// out (AA0 beside AA).
std::vector<std::string> ShortPrefixes(const std::vector<std::string>& prefixes);

struct TDocumentOptions {
  std::string textsDir;  // hand-written documents and tellmark.help
  std::string zoneinfoDir = "/usr/share/zoneinfo";
  int year = 0;  // of the time table; 0 = SOURCE_DATE_EPOCH's year, else the current year
  std::function<void(const std::string&)> warning;
};

struct TDocumentSummary {
  std::vector<std::pair<std::string, int64_t>> files;  // relative name, bytes
};

// Writes every document (each atomically). A missing hand-written document or time-zone table is
// a warning; a malformed help source or a file that cannot be written throws EStatusError.
TDocumentSummary WriteDocuments(const std::string& outDir, const TEditionCounts& counts,
                                const TSourceTables& tables, const TDocumentOptions& options);

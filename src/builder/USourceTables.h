#pragma once
// The source tables of the sample edition (data/sources/*.tsv, UTF-8, tab-separated, one header
// line), loaded into memory with every text converted to code page 437. See data/sources/README.md
// for the columns.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "callbook/UCallbookRecord.h"
#include "common/UStatus.h"

struct TWeightedText {
  std::string text;
  double weight = 0;
};

struct TZipRow {
  std::string zip, city, state, county, timeZone;
  double lat = 0, lon = 0;  // lon east-positive
  double population = 0;
};

struct TAreaCodeRow {
  std::string code, state;
  double lat = 0, lon = 0;
};

struct TDxccRow {
  std::string prefix;  // key prefix of the entity (DL, UA9, 3D2/r)
  std::string name;    // entity name
  std::string continent, iso, country;
  int dxcc = 0, cq = 0, itu = 0;
  double lat = 0, lon = 0;
  std::vector<std::string> prefixes;
};

struct TCityRow {
  std::string name, iso, admin1, dxcc;
  double lat = 0, lon = 0;
  double population = 0;
  std::vector<std::string> postcodes;  // from a public postcode table; empty: none known
};

// A Canadian populated place (of at least 1,000 people), for the register's stations.
struct TCanadianPlace {
  std::string name;      // code page 437, as written ("Montr\x82al")
  std::string province;  // postal abbreviation: NS, QC ...
  double lat = 0, lon = 0;
  double population = 0;
};

struct TUSStateRow {
  std::string state, name;
  char district = '0';
  std::vector<std::string> prefixes;  // special prefixes with digit (KL7 AL7 ...); empty = K/N/W/A
  std::string dxcc;                   // entity prefix (K, KL, KH6 ...)
  TZoneRule cq, itu;                  // the state's zones; none given: the entity's
};

struct TCallPattern {
  std::string pattern;  // '@' letter, '#' call-area digit, "[..]" a set, others literal
  double weight = 0;
  std::string fixedClass;  // class of calls of this pattern; empty = drawn from the classes
};

struct TLicensingRow {
  std::string dxcc;
  double weight = 0;
  std::string locale;  // "" = neutral names
  std::vector<TCallPattern> calls;
  std::string digits;  // digits of '#' without a call area; empty = 0-9
  std::vector<TWeightedText> classes;
};

struct TCallAreaRow {
  std::string dxcc, admin1, area;  // area: a digit, or a whole prefix (VY1)
};

struct TLocaleNames {
  std::vector<std::string> firstM, firstF, lastM, lastF, streets, postcodes, houses;
  std::string order = "street number";  // or "number street", "street, number"
};

struct TSourceTables {
  std::vector<TZipRow> zips;
  std::vector<TAreaCodeRow> areaCodes;
  // First names by (decade of birth, 'M' or 'F'), most frequent first.
  std::map<std::pair<int, char>, std::vector<TWeightedText>> firstNames;
  std::vector<TWeightedText> surnames;  // rank order
  std::vector<TWeightedText> streetNames, streetSuffixes;
  std::vector<TDxccRow> dxcc;
  std::vector<TCityRow> cities;
  std::vector<TCanadianPlace> canadianPlaces;  // empty when the sources have no ca_places.tsv
  std::vector<TUSStateRow> states;
  std::vector<TLicensingRow> licensing;
  std::vector<TCallAreaRow> callAreas;
  std::map<std::string, TLocaleNames> locales;
  TCountryFile country;  // cty.tsv (UTF-8, as the file has it); empty when the sources have none

  const TDxccRow* FindDxcc(std::string_view prefix) const;
  const TUSStateRow* FindState(std::string_view state) const;
};

// Loads every table from a sources directory. Throws EStatusError naming the file (and line) of
// a missing file, a short row or a bad number.
TSourceTables LoadSourceTables(const std::string& dir);

// The entity table an edition carries (UTF-8): every DXCC entity, each U.S. state with the
// number of its entity and its zones, and the country file calls are resolved with.
TEntityTable MakeEntityTable(const TSourceTables& tables);

// UTF-8 to code page 437. Characters without a code-page form are transliterated (ł → l,
// Ş → S, Œ → OE, ’ → ', combining marks dropped); only what has no sensible Latin form becomes '?'.
std::string ToCp437(std::string_view utf8);
// Upper case of a code page 437 text: a-z, and accented small letters to their capitals where the
// code page has them (ä → Ä, ñ → Ñ), otherwise to the plain capital (à → A).
std::string UpperCp437(std::string_view cp437);

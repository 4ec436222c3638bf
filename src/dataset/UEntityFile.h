#pragma once
// The entity table file of an edition, "data\entities.tsv": UTF-8, tab-separated, "#" lines are
// comments. Two tables, each begun by its heading line:
//   code  name  continent  cq  itu  prefixes      one row per DXCC entity; prefixes space-separated
//   state  code  cq  itu                          one row per U.S. state or territory
// A state's zone is one number, or "WEST EAST LONGITUDE" where the state lies in two zones (east
// positive: "6 7 -110" is zone 6 west of 110 degrees W, 7 from there on); empty leaves the
// entity's. A file of its own rather than a section of edition.ini: one row per entity with a long
// prefix list reads and diffs well as a table, and readers of the manifest stay as they are.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One DXCC entity of the edition's entity table.
struct TEntity {
  int code = 0;           // ADIF entity number (291 = United States)
  std::string name;       // "United States"
  std::string continent;  // "NA"
  int cqZone = 0, ituZone = 0;
  std::vector<std::string> prefixes;
};

// A zone, or two split at a longitude (east positive): west of it the one, from it on the other.
struct TZoneRule {
  int west = 0;  // 0: none given
  int east = 0;  // 0: one zone for all
  double boundary = 0;
  // The zone at a longitude; absent when none is given, or when split and longitude is absent.
  std::optional<int> Zone(std::optional<double> longitude) const;
};

// What a U.S. state (or territory) of the U.S. database counts for: its entity and its zones;
// a rule without zones leaves the entity's.
struct TStateZones {
  std::string state;  // "TX"
  int code = 0;       // ADIF entity number (291; Alaska 6, Hawaii 110, Puerto Rico 202 ...)
  TZoneRule cq, itu;
};

// The entity table an edition carries (empty for an edition written without one).
class TEntityTable {
 public:
  bool Empty() const { return entities_.empty(); }
  const std::vector<TEntity>& Entities() const { return entities_; }
  // The entity of a name as stored in an entry's DXCC field; null when unknown.
  const TEntity* FindName(std::string_view name) const;
  // The entity whose prefix is the longest start of call ("VE3" -> Canada); null when none.
  const TEntity* FindPrefix(std::string_view call) const;
  // The entity of an ADIF number; null when unknown.
  const TEntity* FindCode(int code) const;
  // The row of a U.S. state abbreviation; null when unknown.
  const TStateZones* FindState(std::string_view state) const;

  std::vector<TEntity> entities_;
  std::vector<TStateZones> states_;
};

inline constexpr const char* kEntityFileName = "data\\entities.tsv";

// A zone text of the file: "" (none), "7", or "7 8 -90"; false when malformed.
bool ParseZoneRule(std::string_view text, TZoneRule& rule);

std::string FormatEntityTable(const TEntityTable& table);
// Parses the file's text; false with error ("line 7: ...") on anything malformed, table unchanged.
bool ParseEntityTable(const std::string& text, TEntityTable& table, std::string& error);
// Reads the table of the open data set's home directory. A missing file (an edition written
// before the table) gives an empty table and true; a damaged one false with error.
bool ReadEntityTable(TEntityTable& table, std::string& error);

#pragma once
// The entity table file of an edition, "data\entities.tsv": UTF-8, tab-separated, "#" lines are
// comments. Two tables, each begun by its heading line:
//   code  name  continent  cq  itu  prefixes      one row per DXCC entity; prefixes space-separated
//   state  code  cq  itu                          one row per U.S. state or territory
// A state's zone is one number, or "WEST EAST LONGITUDE" where the state lies in two zones (east
// positive: "6 7 -110" is zone 6 west of 110 degrees W, 7 from there on); empty leaves the
// entity's. A file of its own rather than a section of edition.ini: one row per entity with a long
// prefix list reads and diffs well as a table, and readers of the manifest stay as they are.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dataset/UCountryFile.h"

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

// What the country file says of a call or prefix.
struct TCallPlace {
  int code = 0;           // ADIF number of the DXCC entity
  std::string name;       // the country file's name of the DXCC entity ("England")
  std::string continent;  // of the matched prefix or call
  int cqZone = 0, ituZone = 0;
  std::optional<double> latitude, longitude;  // north and east positive
  std::optional<double> utcOffset;            // hours, east positive
  std::string matched;  // the prefix or exact call that matched, as the file has it
  bool exactCall = false;
  bool zonesOverridden = false;  // the match gives its own CQ or ITU zone
};

// Where a station is, as its call with designators says.
enum class TStationWhere {
  Home,      // no designator (or /QRP): at its licensed place
  Portable,  // /P, /M, /A, /LH and the like: in its entity, place unknown
  Area,      // CALL/digit: another call area of its country
  Prefix,    // PFX/CALL, CALL/PFX: in the entity of that prefix
  Listed,    // the whole call is an exact call of the country file
  AtSea,     // /MM, /AM: in no entity
  Abroad,    // an armed-forces address (APO/FPO/DPO): the call's entity, place unknown
};

// The entity table an edition carries (empty for an edition written without one).
class TEntityTable {
 public:
  bool Empty() const { return entities_.empty() && country_.Empty(); }
  const std::vector<TEntity>& Entities() const { return entities_; }
  const std::vector<TStateZones>& States() const { return states_; }
  const TCountryFile& CountryFile() const { return country_; }
  void AddEntity(TEntity e);
  void AddState(TStateZones s);
  // Replaces the country file the calls are resolved with; without one (an older edition) the
  // entities' prefixes and zones are used.
  void SetCountryFile(TCountryFile file);

  // The entity of a name as stored in an entry's DXCC field; null when unknown.
  const TEntity* FindName(std::string_view name) const;
  // The entity whose prefix is the longest start of call ("VE3" -> Canada); null when none.
  const TEntity* FindPrefix(std::string_view call) const;
  // The entity of an ADIF number; null when unknown.
  const TEntity* FindCode(int code) const;
  // The row of a U.S. state abbreviation; null when unknown.
  const TStateZones* FindState(std::string_view state) const;

  // A call as a whole ("VE2EM/M", "VA7AQL"): its exact entry, else its longest prefix.
  std::optional<TCallPlace> ResolveCall(std::string_view call) const;
  // The longest prefix of text alone ("VE3", "KH6"), exact calls left aside.
  std::optional<TCallPlace> ResolvePrefix(std::string_view text) const;
  // The same as the table's own entries (no copy); null where the above are absent. Valid
  // while the table lives unchanged.
  const TCallPlace* PlaceOfCall(std::string_view call) const;
  const TCallPlace* PlaceOfPrefix(std::string_view text) const;
  // Whether every prefix and call of the DXCC entity has the same CQ and ITU zone.
  bool SingleZones(int code) const;

 private:
  void Index();
  void IndexEntity(const TEntity& e);
  void AddPlace(TCallPlace p, bool exact);
  std::vector<TEntity> entities_;
  std::unordered_map<int, size_t> byCode_;  // the first entity of each number
  std::vector<TStateZones> states_;
  TCountryFile country_;
  // The resolver's index: every prefix and exact call with what it resolves to.
  std::vector<TCallPlace> places_;
  // Looked up by views of the call; the prefixes tried with their hashes made in one pass over
  // the call (FNV-1a, which hashes a text on from its prefix's hash).
  struct THashedText {
    std::string_view text;
    size_t hash;
  };
  static size_t TextHash(std::string_view s, size_t from = 14695981039346656037ULL) {
    for (const char c : s) from = (from ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return from;
  }
  struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return TextHash(s); }
    size_t operator()(const THashedText& t) const { return t.hash; }
  };
  struct TTextEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
    bool operator()(const THashedText& a, std::string_view b) const { return a.text == b; }
    bool operator()(std::string_view a, const THashedText& b) const { return a == b.text; }
  };
  std::unordered_map<std::string, uint32_t, TTextHash, TTextEqual> exact_, prefixes_;
  std::unordered_map<int, bool> single_;
  std::unordered_map<int, std::pair<int, int>> zonesOf_;
  size_t longestPrefix_ = 0;
};

// The station of a base call with designators ("VE3/P" of "VE3/K5DRC/P", in the order written;
// loggedCall the whole call, or empty to join them): where it is, and what the country file says
// of that place (absent at sea and where nothing resolves). home is the entity of the station's
// licensed place where the caller knows it better than the call (a U.S. state's row): Portable
// keeps it.
struct TStationPlace {
  TStationWhere where = TStationWhere::Home;
  std::optional<TCallPlace> place;
};
TStationPlace LocateStation(const TEntityTable& table, std::string_view baseCall,
                            std::string_view designators, std::string_view loggedCall = {});

// The call-area prefix of a Canadian province or territory's postal abbreviation ("BC" ->
// "VE7", "NL" -> "VO1"); empty when unknown. AreaOfCanadianCall gives the same form for a call
// ("VA7AQL" -> "VE7", "VO2AB" -> "VO2"); InCanadianProvince whether that area is the province's.
std::string CanadianProvinceArea(std::string_view province);
std::string AreaOfCanadianCall(std::string_view call);
bool InCanadianProvince(std::string_view area, std::string_view province);

inline constexpr const char* kEntityFileName = "data\\entities.tsv";

// "Country file VER20230502": the version line --stats and the About box show; empty when the
// table carries no country file or the file names no version.
std::string CountryFileLine(const TEntityTable& table);

// A zone text of the file: "" (none), "7", or "7 8 -90"; false when malformed.
bool ParseZoneRule(std::string_view text, TZoneRule& rule);

std::string FormatEntityTable(const TEntityTable& table);
// Parses the file's text; Corrupt ("line 7: ...") on anything malformed.
TResult<TEntityTable> ParseEntityTable(const std::string& text);
// Reads the table of the open data set's home directory. A missing file (an edition written
// before the table) gives an empty table; a damaged one Corrupt ("data/entities.tsv line 7:
// ..."), one that cannot be read "cannot read data/entities.tsv: <reason>".
TResult<TEntityTable> ReadEntityTable();

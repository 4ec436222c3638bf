#pragma once
// The callbook record: what every output says of an entry (the command line's text, CSV and
// JSON rows, a filled ADIF log, the look-up service's formats), made from the entry in one
// place. Texts are UTF-8; an empty text or an absent value is unknown and is never invented.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/UEntityFile.h"
#include "dataset/UEntry.h"

enum class TCallbookMatch { Exact, BaseCall, NextGreater, Words, None, Invalid };
// "exact", "base-call", "next-greater", "words", "none", "invalid" (not a call at all).
const char* MatchName(TCallbookMatch m);

struct TCallbookRecord {
  std::string call;  // the entry's call; with match None the call asked for
  TCallbookMatch match = TCallbookMatch::None;
  std::optional<TDatabase> database;  // written "us" / "intl"
  std::string designators;            // "VE3/P" of "VE3/K5DRC/P"
  // Where the station is: at home the place fields are its licensed place; anywhere else they
  // are empty and the entity, continent and zones are those of where it is (none at sea).
  TStationWhere where = TStationWhere::Home;
  std::string classCode;  // U.S.: the code letter; International: the stored text
  std::string classText;  // "E - Amateur Extra"; International: the stored text
  std::string name;       // first part of the address field
  std::string street;     // the middle parts, joined by ", "
  std::string city;       // the town alone (no postcode, province or state)
  std::string state, zip, county, country;
  std::string dxcc;  // the country file's name of the DXCC entity ("Fed. Rep. of Germany")
  std::optional<int> dxccCode, cqZone, ituZone;
  std::string continent;
  std::string grid;                           // Maidenhead locator
  std::optional<double> latitude, longitude;  // decimal degrees, north and east positive
  std::string timeZone, areaCode;
  std::string issued, expires;              // ISO dates, "1999-04-03"
  std::string previousCall, previousClass;  // the previous class as its code letter
  std::optional<bool> vanity;
  std::string qslManager;  // the manager's call
  std::string comments, fax, email;
  std::string address;     // the whole stored address line
  int32_t ref = -1;        // the entry's reference in its database; -1 with match None
  bool synthetic = false;  // an invented entry (of a sample edition): never a real station
};

// "home", "portable", "area", "prefix", "listed", "at-sea", "abroad".
const char* StationWhereName(TStationWhere w);

// Where the record says the station is, on one line: the entity with its continent and zones
// ("Hawaii, OC, CQ 31, ITU 61"), the parts the record has; "None (at sea or in the air)" for
// /MM and /AM; empty when nothing is known.
std::string StationPlaceText(const TCallbookRecord& r);

// The record of an entry. entities may be null or empty (an older edition): the record then
// has no DXCC number, zones or continent. qslManager, designators and loggedCall (the call as
// written with its designators, "VE3/K5DRC/P"; empty: the entry's call and the designators)
// are UTF-8.
//
// At home a U.S. entry takes entity and zones from its state's row (an armed-forces address,
// AA/AE/AP, is abroad: the entity of the call, no zones or place); an International entry from
// its call as the country file resolves it, and a Canadian one whose province the address names
// the zones of the province's call area where the call's own area is another's. Designators move
// the station (LocateStation): /P and the like keep the entity and continent and the zones only
// where the entity has one pair; CALL/digit, a prefix and an exact call of the country file give
// that place's entity, continent and zones; /MM and /AM none. Away from home the place fields
// (address, street, city, state, zip, county, country, grid, position, time zone, area code) are
// left empty; name, licence, QSL manager and e-mail stay.
TCallbookRecord MakeCallbookRecord(const TEntryRecord& rec, TCallbookMatch match,
                                   const TEntityTable* entities, std::string_view qslManager = {},
                                   std::string_view designators = {},
                                   std::string_view loggedCall = {});

// The record of a station at home moved to where its designators say (the rules above); a record
// made with designators is already moved. Without a country file the place fields are cleared.
void PlaceRecord(TCallbookRecord& r, const TEntityTable* entities, std::string_view designators,
                 std::string_view loggedCall = {});

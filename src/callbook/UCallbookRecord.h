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
  std::string classCode;              // U.S.: the code letter; International: the stored text
  std::string classText;              // "E - Amateur Extra"; International: the stored text
  std::string name;                   // first part of the address field
  std::string street;                 // the middle parts, joined by ", "
  std::string city;                   // the last part
  std::string state, zip, county, country;
  std::string dxcc;  // entity name
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

// The record of an entry. entities may be null or empty (an older edition): the record then
// has no DXCC number, zones or continent. qslManager and designators are UTF-8. A U.S. entry
// takes entity and zones from its state's row, others from the entity named in the entry's DXCC
// field, else from the call's prefix.
TCallbookRecord MakeCallbookRecord(const TEntryRecord& rec, TCallbookMatch match,
                                   const TEntityTable* entities, std::string_view qslManager = {},
                                   std::string_view designators = {});

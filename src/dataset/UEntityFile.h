#pragma once
// The entity table file of an edition, "data\entities.tsv": UTF-8, tab-separated, "#" lines are
// comments. Two tables, each begun by its heading line:
//   code  name  continent  cq  itu  prefixes      one row per DXCC entity; prefixes space-separated
//   state  code  cq  itu                          one row per U.S. state or territory
// A state's zone is one number, or "WEST EAST LONGITUDE" where the state lies in two zones (east
// positive: "6 7 -110" is zone 6 west of 110 degrees W, 7 from there on); empty leaves the
// entity's. A file of its own rather than a section of edition.ini: one row per entity with a long
// prefix list reads and diffs well as a table, and readers of the manifest stay as they are.
#include <string>
#include <string_view>

#include "callbook/UCallbookRecord.h"

inline constexpr const char* kEntityFileName = "data\\entities.tsv";

// A zone text of the file: "" (none), "7", or "7 8 -90"; false when malformed.
bool ParseZoneRule(std::string_view text, TZoneRule& rule);

std::string FormatEntityTable(const TEntityTable& table);
// Parses the file's text; false with error ("line 7: ...") on anything malformed, table unchanged.
bool ParseEntityTable(const std::string& text, TEntityTable& table, std::string& error);
// Reads the table of the open data set's home directory. A missing file (an edition written
// before the table) gives an empty table and true; a damaged one false with error.
bool ReadEntityTable(TEntityTable& table, std::string& error);

#pragma once
// The callbook record written out: every column with its value, a text block, an RFC 4180 CSV
// row and a JSON object. Unknown values are left out (text, JSON) or empty (CSV); call and match
// are always written, so each row says what was asked and how it matched.
#include <nlohmann/json.hpp>
#include <string>
#include <variant>
#include <vector>

#include "callbook/UCallbookRecord.h"

// A column's value: absent, text (UTF-8), whole number, real number or yes/no.
using TCallbookValue = std::variant<std::monostate, std::string, int, double, bool>;

// The columns, in the order of the CSV heading: call, match, database, designators, class, ...
const std::vector<std::string>& CallbookColumns();
// Every column's value for a record, in column order.
std::vector<TCallbookValue> CallbookValues(const TCallbookRecord& r);
// A value as text: numbers in their shortest exact form, true/false; absent gives "".
std::string CallbookValueText(const TCallbookValue& v);

// "name           : GERALD D SMITH" lines of the known values, each ending in "\n".
std::string CallbookText(const TCallbookRecord& r);
// The heading line and a record's line, each ending in "\r\n"; fields quoted when they hold a
// comma, a double quote or a line end.
std::string CallbookCsvHeading();
std::string CallbookCsvRow(const TCallbookRecord& r);
std::string CsvField(std::string_view s);
// The record as an object in column order: numbers as numbers, booleans as booleans.
nlohmann::ordered_json CallbookJson(const TCallbookRecord& r);
// The same object's text (as CallbookJson(r).dump() writes it, byte for byte) appended to out,
// without building the object.
void AppendCallbookJson(std::string& out, const TCallbookRecord& r);
// A JSON array of records, one object per line, ending in "\n".
std::string CallbookJsonArray(const std::vector<TCallbookRecord>& records);

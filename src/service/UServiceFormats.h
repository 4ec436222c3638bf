#pragma once
// The answers of the look-up service in the shapes of the callbook interfaces loggers already
// speak: the HamQTH XML interface, the callook.info JSON and XML formats and the QRZ XML data
// interface (version 1.34). Each answer is written whole, element names and order as the service
// it stands in for writes them. Texts are UTF-8; every element text goes through XmlText.
#include <string>
#include <string_view>

#include "callbook/UCallbookRecord.h"

// & < > " ' as entities (for attribute values and HTML); characters XML 1.0 cannot hold
// (controls other than tab, line feed and carriage return) are left out.
std::string XmlEscape(std::string_view utf8);
// Element text as the callbook services write it and loggers read it: only & and < as entities
// (and > after "]]"); "O'NEIL" stays "O'NEIL". Controls are left out as above.
std::string XmlText(std::string_view utf8);

// A coordinate as loggers read it: shortest text that reads back as the same number.
std::string CoordText(double degrees);
// "EM12pr": the field and square as stored, the subsquare in lower case.
std::string GridText(std::string_view locator);
// "1999-04-03" -> "04/03/1999"; anything else as it is.
std::string UsDateText(std::string_view iso);

// HamQTH: the session answer, an error answer ("Session does not exist or expired", "Callsign
// not found", ...) and a search answer.
std::string HamQthSession(std::string_view sessionId);
std::string HamQthError(std::string_view text);
std::string HamQthSearch(const TCallbookRecord& r);

// callook.info: a record of a U.S. entry is VALID; null (or an International entry) is INVALID.
std::string CallookJson(const TCallbookRecord* r);
std::string CallookXml(const TCallbookRecord* r);

// QRZ XML: gmTime is the service's time text ("Wed Dec  9 15:45:03 2026").
std::string QrzSession(std::string_view key, std::string_view gmTime);
// An error; with the session key when the session goes on (as after "Not found: CALL").
std::string QrzError(std::string_view text, std::string_view gmTime, std::string_view key = {});
// surname: the surname the data gives for r.name (TServiceSource::Surname); empty: by rule.
std::string QrzCallsign(const TCallbookRecord& r, std::string_view key, std::string_view gmTime,
                        std::string_view surname = {});
// QRZ's split of a name: the last word is the surname ("SMITH"), the rest the first names; a
// suffix (JR, SR, II, III, IV) after the surname goes with the first names ("JAMES W JR",
// "BENNETT").
void QrzNameParts(std::string_view name, std::string& fname, std::string& surname);
// The split with the surname known ("VAN DER BERG" in "MARY ANN VAN DER BERG"): the surname's
// words (their last place in the name) go to surnameOut, every other word, a suffix too, to
// fname ("JAMES W JR"). By the rule above when the name does not hold the surname.
void QrzNameParts(std::string_view name, std::string_view surname, std::string& fname,
                  std::string& surnameOut);

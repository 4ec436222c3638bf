#include "callbook/UCallbookRecord.h"

#include <charconv>
#include <cmath>

#include "common/StrUtil.h"
#include "dataset/ULocator.h"

namespace {

// A stored decimal text ("96.6772", " -12.5 "); absent when it is not a number within limit.
std::optional<double> Coordinate(std::string_view text, double limit) {
  const std::string s = TrimBlanks(text);
  if (s.empty()) return std::nullopt;
  const char* b = s.data();
  const char* e = b + s.size();
  if (*b == '+') ++b;
  double v = 0;
  const auto [p, ec] = std::from_chars(b, e, v);
  if (ec != std::errc() || p != e || !std::isfinite(v) || std::fabs(v) > limit) return std::nullopt;
  return v;
}

bool Digits(std::string_view s) {
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// "MMDDYYYY" as "YYYY-MM-DD"; empty for anything that is not such a date.
std::string IsoDate(std::string_view stored) {
  const std::string s = TrimBlanks(stored);
  if (s.size() != 8 || !Digits(s)) return {};
  const int month = (s[0] - '0') * 10 + (s[1] - '0');
  const int day = (s[2] - '0') * 10 + (s[3] - '0');
  if (month < 1 || month > 12 || day < 1 || day > 31) return {};
  return s.substr(4, 4) + "-" + s.substr(0, 2) + "-" + s.substr(2, 2);
}

std::string Text(const TEntryRecord& rec, int tag) {
  return Cp437ToUtf8(TrimBlanks(rec.Field(tag)));
}

// Name (first part), street (the middle parts) and city (the last part) of an address line.
void SplitAddress(const std::string& address, TCallbookRecord& r) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= address.size()) {
    const size_t comma = std::min(address.find(", ", at), address.size());
    std::string part = TrimBlanks(std::string_view(address).substr(at, comma - at));
    if (!part.empty()) parts.push_back(std::move(part));
    at = comma + 2;
  }
  if (parts.empty()) return;
  r.name = parts.front();
  if (parts.size() == 1) return;
  r.city = parts.back();
  for (size_t i = 1; i + 1 < parts.size(); ++i) r.street += (i > 1 ? ", " : "") + parts[i];
}

// The class code of a U.S. class field: its first character, upper case; empty when blank.
std::string ClassCode(const std::string& field) {
  if (field.empty() || field[0] == ' ') return {};
  return AsciiUpper(Cp437ToUtf8(field.substr(0, 1)));
}

void TakeEntity(const TEntity& e, TCallbookRecord& r) {
  r.dxccCode = e.code;
  if (e.cqZone > 0) r.cqZone = e.cqZone;
  if (e.ituZone > 0) r.ituZone = e.ituZone;
  r.continent = e.continent;
  if (r.dxcc.empty()) r.dxcc = e.name;
}

}  // namespace

const char* MatchName(TCallbookMatch m) {
  switch (m) {
    case TCallbookMatch::Exact:
      return "exact";
    case TCallbookMatch::BaseCall:
      return "base-call";
    case TCallbookMatch::NextGreater:
      return "next-greater";
    case TCallbookMatch::Words:
      return "words";
    case TCallbookMatch::Invalid:
      return "invalid";
    case TCallbookMatch::None:
      break;
  }
  return "none";
}

TCallbookRecord MakeCallbookRecord(const TEntryRecord& rec, TCallbookMatch match,
                                   const TEntityTable* entities, std::string_view qslManager,
                                   std::string_view designators) {
  TCallbookRecord r;
  const bool us = rec.db == TDatabase::US;
  const auto tag = [us](int usTag, int intlTag) { return us ? usTag : intlTag; };
  r.call = Text(rec, 1);
  r.match = match;
  r.database = rec.db;
  r.designators = std::string(designators);
  r.ref = rec.ref;
  r.address = Text(rec, tag(utAddress, itAddress));
  SplitAddress(r.address, r);
  r.country = Text(rec, tag(utCountry, itCountry));
  r.dxcc = Text(rec, tag(utDxcc, itDxcc));
  r.qslManager = TrimBlanks(qslManager);
  r.comments = Cp437ToUtf8(TrimBlanks(Cut(rec.Field(tag(utComments, itComments)), 60)));
  r.fax = Cp437ToUtf8(TrimBlanks(Cut(rec.Field(tag(utFax, itFax)), 60)));
  r.email = Cp437ToUtf8(TrimBlanks(Cut(rec.Field(tag(utEMail, itEMail)), 60)));
  if (us) {
    const std::string cls = rec.Field(utClass);
    r.classCode = ClassCode(cls);
    r.classText = Cp437ToUtf8(LicenceClassFieldText(cls));
    r.state = Text(rec, utState);
    r.zip = Text(rec, utZIP);
    r.county = Text(rec, utCounty);
    r.timeZone = Text(rec, utTimeZone);
    r.areaCode = Text(rec, utAreaCode);
    r.issued = IsoDate(rec.Field(utIssued));
    r.expires = IsoDate(rec.Field(utExpires));
    r.previousCall = Text(rec, utPrevCall);
    r.previousClass = ClassCode(rec.Field(utPrevClass));
    r.vanity = rec.Field(utVanity) == "T";
    // Stored west positive; the locator needs both.
    const std::string lon = rec.Field(utLongitude), lat = rec.Field(utLatitude);
    const std::optional<double> west = Coordinate(lon, 180), north = Coordinate(lat, 90);
    if (west && north) {
      r.longitude = *west == 0 ? 0.0 : -*west;
      r.latitude = *north;
      r.grid = Cut(CoordToLocator(lon, lat), 6);
    }
  } else {
    r.classCode = r.classText = Text(rec, itClass);
    r.grid = TrimBlanks(Cut(rec.Field(itLocator), 6));
    if (!r.grid.empty() && !IsValidLocator(r.grid)) r.grid.clear();
  }
  if (!entities || entities->Empty()) return r;
  if (us) {
    // A state's row names its entity (Alaska, Hawaii and the territories are their own) and the
    // zones, some split at a longitude; zones it does not give are the entity's.
    if (const TStateZones* st = entities->FindState(r.state)) {
      if (const TEntity* e = entities->FindCode(st->code)) TakeEntity(*e, r);
      if (st->cq.west > 0) r.cqZone = st->cq.Zone(r.longitude);
      if (st->itu.west > 0) r.ituZone = st->itu.Zone(r.longitude);
      return r;
    }
  }
  const TEntity* e = entities->FindName(r.dxcc);
  if (!e) e = entities->FindPrefix(r.call);
  if (e) TakeEntity(*e, r);
  return r;
}

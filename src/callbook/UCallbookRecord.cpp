#include "callbook/UCallbookRecord.h"

#include <charconv>
#include <cmath>

#include "common/StrUtil.h"
#include "dataset/ULocator.h"

namespace {

// A stored decimal text ("96.6772", " -12.5 "); absent when it is not a number within limit.
std::optional<double> Coordinate(std::string_view text, double limit) {
  const std::string_view s = TrimBlanksView(text);
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
  const std::string_view s = TrimBlanksView(stored);
  if (s.size() != 8 || !Digits(s)) return {};
  const int month = (s[0] - '0') * 10 + (s[1] - '0');
  const int day = (s[2] - '0') * 10 + (s[3] - '0');
  if (month < 1 || month > 12 || day < 1 || day > 31) return {};
  const char iso[] = {s[4], s[5], s[6], s[7], '-', s[0], s[1], '-', s[2], s[3]};
  return std::string(iso, sizeof iso);
}

// A stored text as the record gives it: blanks trimmed, UTF-8; at most limit stored bytes.
void SetText(std::string& out, std::string_view stored, size_t limit = std::string_view::npos) {
  out.clear();
  AppendCp437AsUtf8(out, TrimBlanksView(stored.substr(0, limit)));
}

bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

// "A1A 1A1" (also without the blank): a Canadian postal code.
bool IsCanadianPostalCode(std::string_view s) {
  char c[6];
  size_t n = 0;
  for (char ch : s)
    if (ch != ' ') {
      if (n == sizeof c) return false;
      c[n++] = ch;
    }
  if (n != 6) return false;
  for (size_t i = 0; i < 6; ++i)
    if (i % 2 == 0 ? !IsUpperLetter(c[i]) : !(c[i] >= '0' && c[i] <= '9')) return false;
  return true;
}

// The town of an address's last part, without the postcode before it ("84120 Pertuis") or the
// province and postal code after it ("WHITEHORSE YT  Y1A 1A1"), which go to zip and state.
void SplitPlace(std::string_view part, bool canadian, TCallbookRecord& r) {
  std::string_view town = part;
  if (canadian) {
    // "TOWN PR  A1A 1A1", "TOWN PR" or "TOWN  A1A 1A1".
    if (town.size() >= 7 && IsCanadianPostalCode(town.substr(town.size() - 7)) &&
        (town.size() == 7 || town[town.size() - 8] == ' ')) {
      r.zip = town.substr(town.size() - 7);
      town = TrimBlanksView(town.substr(0, town.size() - 7));
    }
    if (town.size() >= 3 && town[town.size() - 3] == ' ' &&
        !CanadianProvinceArea(town.substr(town.size() - 2)).empty()) {
      r.state = town.substr(town.size() - 2);
      town = TrimBlanksView(town.substr(0, town.size() - 3));
    }
  } else {
    // A leading postcode of digits (and a dash): "84120 Pertuis", "00100 Helsinki".
    const size_t blank = town.find(' ');
    if (blank != std::string_view::npos && blank > 0) {
      const std::string_view first = town.substr(0, blank);
      if (first.find_first_not_of("0123456789-") == std::string_view::npos &&
          first.find_first_of("0123456789") != std::string_view::npos) {
        r.zip = first;
        town = TrimBlanksView(town.substr(blank + 1));
      }
    }
  }
  r.city = town;
}

// Name (first part), street (the middle parts) and city (the last part) of an address line.
void SplitAddress(std::string_view address, bool canadian, TCallbookRecord& r) {
  // The parts are the non-empty ones, trimmed; a middle part is known as one once the next
  // part comes.
  std::string_view first, last;
  size_t count = 0;
  size_t at = 0;
  while (at <= address.size()) {
    const size_t comma = std::min(address.find(", ", at), address.size());
    const std::string_view part = TrimBlanksView(address.substr(at, comma - at));
    at = comma + 2;
    if (part.empty()) continue;
    if (count == 0) {
      first = part;
    } else {
      if (count >= 2) r.street.append(count > 2 ? ", " : "").append(last);
      last = part;
    }
    ++count;
  }
  if (count == 0) return;
  r.name = first;
  if (count == 1) return;
  SplitPlace(last, canadian, r);
}

// The class code of a U.S. class field: its first character, upper case; empty when blank.
std::string ClassCode(std::string_view field) {
  if (field.empty() || field[0] == ' ') return {};
  return AsciiUpper(Cp437CharAsUtf8(field[0]));
}

void TakeEntity(const TEntity& e, TCallbookRecord& r) {
  r.dxccCode = e.code;
  if (e.cqZone > 0) r.cqZone = e.cqZone;
  if (e.ituZone > 0) r.ituZone = e.ituZone;
  r.continent = e.continent;
  r.dxcc = e.name;
}

void TakePlace(const TCallPlace& p, TCallbookRecord& r) {
  r.dxccCode = p.code;
  r.dxcc = p.name;
  r.continent = p.continent;
  r.cqZone = p.cqZone > 0 ? std::optional<int>(p.cqZone) : std::nullopt;
  r.ituZone = p.ituZone > 0 ? std::optional<int>(p.ituZone) : std::nullopt;
}

void ClearEntity(TCallbookRecord& r) {
  r.dxcc.clear();
  r.dxccCode.reset();
  r.cqZone.reset();
  r.ituZone.reset();
  r.continent.clear();
}

// The station is not at its licensed place: nothing of that place is given.
void ClearPlace(TCallbookRecord& r) {
  r.address.clear();
  r.street.clear();
  r.city.clear();
  r.state.clear();
  r.zip.clear();
  r.county.clear();
  r.country.clear();
  r.grid.clear();
  r.latitude.reset();
  r.longitude.reset();
  r.timeZone.clear();
  r.areaCode.clear();
}

bool IsArmedForcesState(std::string_view s) { return s == "AA" || s == "AE" || s == "AP"; }

// Entity, continent and zones of the station at its licensed place.
void HomeEntity(const TEntityTable& entities, TCallbookRecord& r) {
  if (r.database == TDatabase::US) {
    // A state's row names its entity (Alaska, Hawaii and the territories are their own) and the
    // zones, some split at a longitude; zones it does not give are the entity's.
    if (const TStateZones* st = entities.FindState(r.state)) {
      if (const TEntity* e = entities.FindCode(st->code)) TakeEntity(*e, r);
      if (st->cq.west > 0) r.cqZone = st->cq.Zone(r.longitude);
      if (st->itu.west > 0) r.ituZone = st->itu.Zone(r.longitude);
      return;
    }
  }
  if (const TCallPlace* callPlace = entities.PlaceOfCall(r.call)) {
    TakePlace(*callPlace, r);
    // A Canadian station whose province the address names, with a call of another province's
    // area (or of none): the zones of its province's call area.
    if (callPlace->code == 1 && !r.state.empty() && !callPlace->exactCall &&
        !InCanadianProvince(AreaOfCanadianCall(r.call), r.state))
      if (const TCallPlace* home = entities.PlaceOfPrefix(CanadianProvinceArea(r.state));
          home && home->code == 1) {
        r.cqZone = home->cqZone;
        r.ituZone = home->ituZone;
      }
    return;
  }
  const TEntity* e = entities.FindName(r.dxcc);
  if (!e) e = entities.FindPrefix(r.call);
  if (e) TakeEntity(*e, r);
}

}  // namespace

const char* StationWhereName(TStationWhere w) {
  switch (w) {
    case TStationWhere::Home:
      return "home";
    case TStationWhere::Portable:
      return "portable";
    case TStationWhere::Area:
      return "area";
    case TStationWhere::Prefix:
      return "prefix";
    case TStationWhere::Listed:
      return "listed";
    case TStationWhere::AtSea:
      return "at-sea";
    case TStationWhere::Abroad:
      return "abroad";
  }
  return "home";
}

std::string StationPlaceText(const TCallbookRecord& r) {
  if (r.where == TStationWhere::AtSea) return "None (at sea or in the air)";
  std::string s = r.dxcc;
  const auto add = [&s](const std::string& part) {
    if (part.empty()) return;
    if (!s.empty()) s += ", ";
    s += part;
  };
  add(r.continent);
  if (r.cqZone) add("CQ " + std::to_string(*r.cqZone));
  if (r.ituZone) add("ITU " + std::to_string(*r.ituZone));
  return s;
}

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
                                   std::string_view designators, std::string_view loggedCall) {
  TCallbookRecord r;
  const bool us = rec.db == TDatabase::US;
  const auto tag = [us](int usTag, int intlTag) { return us ? usTag : intlTag; };
  const TFieldViews field(rec);  // not for the call: Field(1) reads its "<" as "0"
  SetText(r.call, rec.Field(1));
  r.match = match;
  r.database = rec.db;
  r.ref = rec.ref;
  SetText(r.address, field[tag(utAddress, itAddress)]);
  SetText(r.country, field[tag(utCountry, itCountry)]);
  SetText(r.dxcc, field[tag(utDxcc, itDxcc)]);
  SplitAddress(r.address, !us && (r.country == "Canada" || r.dxcc == "Canada"), r);
  r.qslManager = TrimBlanksView(qslManager);
  SetText(r.comments, field[tag(utComments, itComments)], 60);
  SetText(r.fax, field[tag(utFax, itFax)], 60);
  SetText(r.email, field[tag(utEMail, itEMail)], 60);
  if (us) {
    const std::string_view cls = field[utClass];
    r.classCode = ClassCode(cls);
    r.classText = Cp437ToUtf8(LicenceClassFieldText(cls));
    SetText(r.state, field[utState]);
    SetText(r.zip, field[utZIP]);
    SetText(r.county, field[utCounty]);
    SetText(r.timeZone, field[utTimeZone]);
    SetText(r.areaCode, field[utAreaCode]);
    r.issued = IsoDate(field[utIssued]);
    r.expires = IsoDate(field[utExpires]);
    SetText(r.previousCall, field[utPrevCall]);
    r.previousClass = ClassCode(field[utPrevClass]);
    r.vanity = field[utVanity] == "T";
    // Stored west positive; the locator needs both.
    const std::string_view lon = field[utLongitude], lat = field[utLatitude];
    const std::optional<double> west = Coordinate(lon, 180), north = Coordinate(lat, 90);
    if (west && north) {
      r.longitude = *west == 0 ? 0.0 : -*west;
      r.latitude = *north;
      r.grid = Cut(CoordToLocator(lon, lat), 6);
    }
  } else {
    SetText(r.classText, field[itClass]);
    r.classCode = r.classText;
    r.grid = TrimBlanksView(field[itLocator].substr(0, 6));
    if (!r.grid.empty() && !IsValidLocator(r.grid)) r.grid.clear();
  }
  // The standard way: field and square letters in capitals, subsquare in small letters.
  for (size_t i = 0; i < r.grid.size(); ++i) {
    char& c = r.grid[i];
    if (i < 2 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (i >= 4 && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  if (us && IsArmedForcesState(r.state)) {
    // Armed forces abroad: the entity of the call, the place unknown.
    r.where = TStationWhere::Abroad;
    ClearEntity(r);
    if (entities)
      if (const TCallPlace* p = entities->PlaceOfCall(r.call)) {
        r.dxccCode = p->code;
        r.dxcc = p->name;
      }
    ClearPlace(r);
  } else if (entities && !entities->Empty()) {
    HomeEntity(*entities, r);
  }
  PlaceRecord(r, entities, designators, loggedCall);
  return r;
}

void PlaceRecord(TCallbookRecord& r, const TEntityTable* entities, std::string_view designators,
                 std::string_view loggedCall) {
  r.designators = std::string(designators);
  if (r.designators.empty()) return;
  if (!entities || entities->Empty()) {
    // Without the country file only this is sure: the station is not at home.
    ClearPlace(r);
    if (r.where == TStationWhere::Home) r.where = TStationWhere::Portable;
    return;
  }
  const TStationPlace station = LocateStation(*entities, r.call, r.designators, loggedCall);
  switch (station.where) {
    case TStationWhere::Home:
    case TStationWhere::Abroad:
      return;
    case TStationWhere::Portable:
      if (r.where == TStationWhere::Home) r.where = TStationWhere::Portable;
      if (!r.dxccCode || !entities->SingleZones(*r.dxccCode)) r.cqZone.reset(), r.ituZone.reset();
      break;
    case TStationWhere::Area:
    case TStationWhere::Prefix:
    case TStationWhere::Listed:
      r.where = station.where;
      ClearEntity(r);
      if (station.place) TakePlace(*station.place, r);
      break;
    case TStationWhere::AtSea:
      r.where = station.where;
      ClearEntity(r);
      break;
  }
  ClearPlace(r);
}

#pragma once
// The callbook record the service and ADIF tests start from: the U.S. entry of K5DRC as a
// look-up gives it (exact match). Tests change the fields they are about.
#include "callbook/UCallbookRecord.h"

inline TCallbookRecord K5drcRecord() {
  TCallbookRecord r;
  r.call = "K5DRC";
  r.match = TCallbookMatch::Exact;
  r.database = TDatabase::US;
  r.classCode = "E";
  r.classText = "E - Extra";
  r.name = "GERALD D SMITH";
  r.street = "87 PICKETT BLVD";
  r.city = "DALLAS";
  r.state = "TX";
  r.zip = "75217";
  r.county = "DALLAS";
  r.country = "United States";
  r.dxcc = "United States";
  r.dxccCode = 291;
  r.cqZone = 4;
  r.ituZone = 7;
  r.continent = "NA";
  r.grid = "EM12QR";
  r.latitude = 32.7;
  r.longitude = -96.6772;
  r.issued = "1999-04-03";
  r.expires = "2009-04-03";
  r.previousCall = "KB5ABC";
  r.previousClass = "G";
  r.ref = 100;
  return r;
}

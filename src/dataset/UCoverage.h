#pragma once
// Coverage of an edition: entries per licence class and per state, and how many entries carry a
// county, coordinates and a locator (a U.S. entry's locator is made from its coordinates). Counted
// from stored fields, so tellmark-build and tellmark-lookup --stats give the same figures.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "dataset/UEntry.h"

struct TCoverage {
  int64_t us = 0, intl = 0;
  std::map<std::string, int64_t> usClasses;  // class text ("E - Extra"); "" = no class
  std::map<std::string, int64_t> usStates;   // "" = no state
  int64_t usWithCounty = 0, usWithCoordinates = 0, usWithLocator = 0;
  int64_t intlWithLocator = 0, intlWithDxcc = 0;

  // field(tag) gives the stored text of a field (code page 437).
  void Add(TDatabase db, const std::function<std::string(int tag)>& field);
  void Add(const TEntryRecord& rec);
  // Adds the figures of another part of the same edition.
  void Merge(const TCoverage& o);
  bool operator==(const TCoverage&) const = default;

  // The figures as report lines (ASCII), each ending in "\n".
  std::string Text() const;
};

// Counts every entry of the open data set, in call order, into c. False on a read error, with
// the last error code set and failedFile the data-set file whose read failed (as stored, with
// "\\").
bool CountDataSetCoverage(TCoverage& c, const char*& failedFile);

#pragma once
// What the reference documents and the build summary need of an edition, counted record by
// record from the stored fields (texts in code page 437, as the data set holds them).
#include <cstdint>
#include <map>
#include <string>

#include "dataset/UCoverage.h"
#include "dataset/UEntry.h"

// Licences of one state (U.S. database).
struct TStateCount {
  int32_t total = 0;
  std::map<char, int32_t> classes;             // lower-case class code, ' ' for none
  std::map<std::string, int32_t> zipSections;  // first three digits of the ZIP code
  bool operator==(const TStateCount&) const = default;
};

struct TEditionCounts {
  std::string title;
  int32_t intlTotal = 0, usTotal = 0;
  std::map<std::string, TStateCount> states;  // by the state field
  std::map<std::string, int32_t> intlByDxcc;  // DXCC field of International entries
  std::map<std::string, int32_t> usByDxcc;    // DXCC field of U.S. entries
  TCoverage coverage;                         // counted in the same pass

  bool operator==(const TEditionCounts&) const = default;
  // Counts one stored record.
  void Add(const TEntryRecord& rec);
  // Adds the counts of another part of the same edition (the title stays).
  void Merge(const TEditionCounts& o);
};

#pragma once
// What an edition is made of, before it is written: entries of both databases with their fields
// (code page 437 texts), their sort keys, and the QSL managers list.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dataset/UEntry.h"

struct TBuildEntry {
  TDatabase db = TDatabase::Intl;
  // (tag, text) in the order they are stored; texts in code page 437, no bytes below 32.
  // Call signs (tag 1) are stored with "0" written as "<".
  std::vector<std::pair<int, std::string>> fields;
  uint8_t mapNr = 0;
  // Sort-key sources for the U.S. orders (plain text; the writer makes the keys with
  // MakeSearchKey): the surname (club name for clubs), first name (empty for clubs).
  std::string surname;
  std::string firstName;

  const std::string* FindField(int tag) const {
    for (const auto& f : fields)
      if (f.first == tag) return &f.second;
    return nullptr;
  }
  std::string FieldOr(int tag, const std::string& dflt = {}) const {
    const std::string* f = FindField(tag);
    return f ? *f : dflt;
  }
};

// One record of data\qslmgr.dat (record numbers start at 1; record 0 is the heading row).
struct TQslManager {
  std::string call;     // station served, at most 13 characters
  std::string manager;  // manager's call, at most 13 characters
  std::string info;     // at most 15 characters
  std::string date;     // "MMDDYYYY"
};

struct TBuildInput {
  std::string title;
  std::vector<TBuildEntry> intl;
  std::vector<TBuildEntry> us;
  // qslManagers[i] is record i + 1; entries refer to it by that number (Intl tag 6, U.S. tag 18).
  std::vector<TQslManager> qslManagers;
};

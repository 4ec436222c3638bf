#pragma once
// The entries of the list searches, as the command line and the look-up service list them: a
// U.S. order from a name, city, ZIP or county text, and the entries that hold every word of a
// text search. Works on the open data set; a read failure is the status naming the file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "callbook/UCallbookRecord.h"
#include "common/UStatus.h"
#include "dataset/UEntry.h"

struct TFoundEntry {
  TEntryRecord rec;
  TCallbookMatch match = TCallbookMatch::Exact;
};

struct TOrderListing {
  bool searched = false;  // false for an empty text
  bool exact = false;     // the key exists
  std::string message;    // not-found text (code page 437); empty on an exact hit
  // Entries of the listing in all: with an exact hit those with the equal key, else those from
  // the next greater key to the order's end.
  int32_t total = 0;
  std::vector<TFoundEntry> entries;
};

// count entries of order index (oiUSName, oiUSCity, oiUSZIP, oiUSCounty) from the first entry
// whose key is equal or greater than the key of text (UTF-8); those with the equal key match
// Exact, the rest NextGreater. Nothing when the text is past the last key. offset entries of the
// listing are skipped first (a later page).
TResult<TOrderListing> ListOrderEntries(int index, std::string_view text, int32_t count,
                                        int32_t offset = 0);

// The entries of one database that hold every word (UTF-8; folded as the word lists are
// written), in call order; at most count (-1: all) from the offset-th on. Empty when a word is
// not in the list. total, when given, receives how many entries hold the words in all.
TResult<std::vector<TFoundEntry>> SearchWordEntries(TDatabase db,
                                                    const std::vector<std::string>& words,
                                                    int32_t count, int32_t offset = 0,
                                                    int32_t* total = nullptr);

#pragma once
// The entries of the list searches, as the command line and the look-up service list them: a
// U.S. order from a name, city, ZIP or county text, and the entries that hold every word of a
// text search. Works on the open data set; a read failure throws EDataSetError naming the file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "callbook/UCallbookRecord.h"
#include "dataset/UEntry.h"

struct TFoundEntry {
  TEntryRecord rec;
  TCallbookMatch match = TCallbookMatch::Exact;
};

struct TOrderListing {
  bool searched = false;  // false for an empty text
  bool exact = false;     // the key exists
  std::string message;    // not-found text (code page 437); empty on an exact hit
  std::vector<TFoundEntry> entries;
};

// count entries of order index (oiUSName, oiUSCity, oiUSZIP, oiUSCounty) from the first entry
// whose key is equal or greater than the key of text (UTF-8); those with the equal key match
// Exact, the rest NextGreater. Nothing when the text is past the last key.
TOrderListing ListOrderEntries(int index, std::string_view text, int32_t count);

// The entries of one database that hold every word (UTF-8; folded as the word lists are
// written), in call order; at most count (-1: all). Empty when a word is not in the list.
std::vector<TFoundEntry> SearchWordEntries(TDatabase db, const std::vector<std::string>& words,
                                           int32_t count);

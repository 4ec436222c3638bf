#pragma once
// Synthetic sample edition: realistic U.S. and International entries and QSL managers made from
// the source tables (USourceTables.h).
//
// Deterministic: every entry draws from its own counter-based stream (splitmix64 of the seed, the
// database and the entry index) and only integer and correctly rounded arithmetic (+ - * / sqrt)
// shapes the output, so the same tables, counts and seed give the same TBuildInput on any
// platform and library version. Calls are unique per database (at most 6 characters, so the index
// key is the whole call).
#include <cstdint>
#include <functional>
#include <vector>

#include "builder/UBuildEntry.h"
#include "builder/UProgressFeed.h"
#include "builder/USourceTables.h"

// Entry counts of the 1999 edition.
constexpr int kEdition1999US = 782655;
constexpr int kEdition1999Intl = 694720;

// Makes usCount U.S. and intlCount International entries (in generation order, not sorted) and
// the QSL managers they refer to. Throws EStatusError when the tables cannot supply what is asked
// (no populated ZIP, no International entity with towns, counts below 0).
// afterIntl, when given, runs on the International thread once its entries are made, while the
// U.S. entries are still being made: usMade tells how many of the usCount are (final but for the
// QSL manager number, added when both are done). A failure of either side ends the whole call.
using TAfterIntl =
    std::function<void(const std::vector<TBuildEntry>& intl, const std::vector<TBuildEntry>& us,
                       size_t usCount, const TProgressFeed& usMade)>;
TBuildInput GenerateSample(const TSourceTables& tables, int usCount, int intlCount, uint64_t seed,
                           const TAfterIntl& afterIntl = {});

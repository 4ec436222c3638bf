#pragma once
// An edition read back through the data-set reader, for tests that check what was written.
#include <string>

#include "builder/UEditionCounts.h"
#include "dataset/UCoverage.h"

// Reads every entry of the edition in dir. The index caches must be allocated and no data set
// open; the data set is closed again afterwards. Throws EStatusError when the edition cannot
// be opened or read.
TEditionCounts CountEdition(const std::string& dir);
// Opens the edition under dir (its data/ folder), counts it and closes it again; allocates the
// caches itself and needs no data set open. Throws EDataSetError.
TCoverage CountEditionCoverage(const std::string& dir);

#pragma once
// The text "Copy" puts on the clipboard for an entry: every field ("All available information")
// or the address block ("Address only"), collected in a buffer of 450 characters.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "dataset/UEntry.h"

// The buffer holds 450 characters including the terminating NUL: at most 449 of text.
constexpr size_t kClipboardBufferSize = 450;
constexpr size_t kClipboardTextLimit = kClipboardBufferSize - 1;

// Clipboard formats of the settings.
enum TClipboardFormat : int { cfAddressOnly = 0, cfAllInformation = 1 };

// The two lines that end the full text.
extern const char* const kClipboardNotice[2];

// Makes the address block lines of an entry; false when it cannot be made.
using TAddressBlockFn = std::function<bool(const TEntryRecord& rec, std::vector<std::string>&)>;

// Fields of the full text, in order, for each database; dates are the tags 5 and 6 of U.S.
// entries.
const std::vector<int>& ClipboardFieldOrder(TDatabase db);

// The clipboard text of an entry (code page 437), each line ended by CR LF, cut to 449
// characters. Format 0 uses addressBlock (nothing when it is empty or fails); any other format
// gives every field and, when more than 3 characters were collected, the notice.
std::string ClipboardText(const TEntryRecord& rec, int format, const TAddressBlockFn& addressBlock);

// A plain address block until the label formatting is connected: the call (when addCall) and
// the name on the first line, the other parts of the address (split at ", ") below it (a U.S.
// city followed by state and ZIP), then
// the postal country (addCountry 1) or the DXCC country (2) unless the entry is in the U.S.
// database and the country is "United States".
bool PlainAddressBlock(const TEntryRecord& rec, bool addCall, int addCountry,
                       std::vector<std::string>& lines);

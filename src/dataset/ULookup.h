#pragma once
// The look-up state of the main window: the database shown, the sort order and position, the
// entry to show, the text-search results browsed as an order and the three search histories;
// call look-up in both databases, the order searches with their not-found texts, stepping and
// order changes. Works on the open data set. Texts are code page 437, as the data set holds them.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/UCallParts.h"
#include "dataset/UEntry.h"

// Search keys typed since the program started, newest first, at most kHistoryLimit.
class TSearchHistory {
 public:
  static constexpr size_t kHistoryLimit = 50;
  // A new key goes in front (the oldest falls out past the limit); a known key at index i > 0
  // changes places with the first item.
  void Add(const std::string& key);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

// The results of a text search, browsed as the "Search results" order.
class TResultSource {
 public:
  virtual ~TResultSource() = default;
  virtual int32_t Count() const = 0;
  // Reference of result i, 1 <= i <= Count().
  virtual int32_t Item(int32_t i) const = 0;
};

// A result list held in memory.
class TResultVector : public TResultSource {
 public:
  explicit TResultVector(std::vector<int32_t> refs) : refs_(std::move(refs)) {}
  int32_t Count() const override { return static_cast<int32_t>(refs_.size()); }
  int32_t Item(int32_t i) const override { return refs_[static_cast<size_t>(i - 1)]; }

 private:
  std::vector<int32_t> refs_;
};

// What the window shows of an entry (code page 437 texts, cut as displayed).
struct TEntryView {
  TDatabase db = TDatabase::Intl;
  std::string call;         // at most 6 characters
  std::string currentCall;  // at most 15 characters, saved as the start call
  std::string zip, state, county;
  std::string classText, issued, expires;
  std::string prevCall, prevClass, vanity;  // vanity "YES" / "NO"
  std::string longitude, latitude;          // at most 40 characters
  std::string locator;                      // at most 6; computed for U.S. entries
  std::string timeZone, areaCode;
  std::string qth, country, dxcc;
  std::string comments, fax, eMail;  // at most 60 characters each
  int32_t qslManagerRef = 0;         // 0 = none
  uint8_t mapNr = 0;
  bool HasDetails() const { return !comments.empty() || !fax.empty() || !eMail.empty(); }
};

// The fields of a record as the window shows them.
TEntryView MakeEntryView(const TEntryRecord& rec);

// Every blank after the first character that does not follow "," becomes a no-break space
// (U+00A0), so an address wraps only after ", ". Works on UTF-8 text.
std::string QthNoBreak(std::string_view utf8);

// Not-found texts: kind "Call", "ZIP", "County", "Name" or "City".
std::string NotFoundText(std::string_view kind, std::string_view text);
inline constexpr const char* kNextGreaterText = " Displaying the next greater entry.";

// Index number of list order n (0..5): 0, 1, 3, 4, 2, 5.
int OrderOfListOrder(int listOrder);
// List order of index number i (0..5): 0, 1, 4, 2, 3, 5.
int ListOrderOfOrder(int index);
inline constexpr int kResultsListOrder = 6;

// Outcome of a call look-up.
struct TCallLookup {
  bool searched = false;  // false for an empty text: nothing changed
  bool exact = false;     // the call exists in one of the databases
  bool switched = false;  // the database shown changed
  bool found = false;     // an entry was taken (exactly or the next greater)
  std::string call;       // the text searched (trimmed, at most 15 characters)
  std::string message;    // information text; empty = none
  // A call typed with designators ("K5DRC/P") is looked up by its base call; these are the
  // others, upper case ("P", "VE3/P"), empty for a plain call.
  std::string designators;
};

// Outcome of a ZIP, county, name or city search.
struct TOrderLookup {
  bool searched = false;  // false when the search did not run (empty name or city)
  bool exact = false;
  std::string message;  // not-found text; empty on an exact hit
};

class TLookup {
 public:
  TLookup();

  bool IsIntl() const { return isIntl_; }
  TDatabase Database() const { return isIntl_ ? TDatabase::Intl : TDatabase::US; }
  int SortIndex() const { return sortIndex_; }
  int ListOrder() const { return listOrder_; }
  bool InResults() const { return inResults_; }
  int32_t Position() const { return position_; }
  int32_t CurrentRef() const { return currentRef_; }
  int32_t LoadedRef() const { return loadedRef_; }
  int32_t ResultCount() const { return resultCount_; }
  const TResultSource* Results() const { return results_.get(); }

  // Selects a database: its call order, first entry; search results can no longer be chosen.
  void SwitchToUS();
  void SwitchToIntl();

  // Moves the position by n in the current order, clamped to its ends; a failed sequence read
  // leaves position and entry unchanged. Returns true when the position changed.
  bool MoveBy(int32_t n);
  bool GoToPosition(int32_t p) { return p != position_ && MoveBy(p - position_); }

  // An order button: the entry stays, its position becomes the one in the new order.
  void SelectOrder(int index);
  // The "Search results" button: false (nothing changed) without results; otherwise the first
  // result becomes current.
  bool SelectResults();
  // Order told to the list view (0..6); sets the sort order, or the results order for 6.
  void SetListOrder(int listOrder);

  // Hands over the results of a text search (null = none).
  void SetResults(std::shared_ptr<const TResultSource> results);

  // Searches the index of an order for the first 15 characters of text. ref goes in and comes
  // out as the first item with an equal or greater key (unchanged when there is none).
  static bool SearchOrder(int index, std::string_view text, bool& exact, int32_t& ref);

  // Call look-up in both databases (see the .cpp for the order and the messages).
  TCallLookup FindCall(std::string_view text);
  // The key of the call box: lower case, blanks trimmed, "0" kept as "0".
  static std::string CallBoxKey(std::string_view text);
  // A typed call split into the call box key of its base call and its designators in upper
  // case: "VE3/K5DRC/P" gives "k5drc" and "VE3/P". The call box and the command line share it.
  static TCallParts CallBoxParts(std::string_view text);
  // Enter in the call box: history, then FindCall of the key's base call.
  TCallLookup SearchCallEdit(std::string_view text);
  // Enter in the ZIP / county box (U.S. only): history, order, search, not-found text.
  TOrderLookup SearchZIP(std::string_view text);
  TOrderLookup SearchCounty(std::string_view text);
  // Name and city searches (U.S. only): the name is trimmed, the city used as typed; an empty
  // text does nothing.
  TOrderLookup SearchName(std::string_view text);
  TOrderLookup SearchCity(std::string_view text);

  // Reads the record of CurrentRef unless it is the one held; sets the position from the
  // record outside the results order. False (state unchanged) on a read failure.
  bool LoadCurrent();
  // The record held for the database shown (valid after LoadCurrent returned true).
  const TEntryRecord& Record() const { return records_[isIntl_ ? 0 : 1]; }
  // Position text: "p of n" in the results order, else empty.
  std::string RecNrText() const;

  // A row of the list view: order by ListOrder, row 0-based. False on a read failure.
  bool GetListRow(int32_t row, std::string& call, std::string& text) const;

  TSearchHistory& CallHistory() { return histories_[0]; }
  TSearchHistory& ZIPHistory() { return histories_[1]; }
  TSearchHistory& CountyHistory() { return histories_[2]; }

 private:
  TOrderLookup SearchKeyOrder(int index, const std::string& key, std::string_view kind);
  // SearchOrder on a call index, exact only when the entry's whole call is the call (the index
  // keys hold 6 characters); otherwise ref is the next greater entry, -1 when there is none.
  static bool SearchCallOrder(int index, std::string_view call, bool& exact, int32_t& ref);
  void SwitchTo(bool intl);

  bool isIntl_ = false;
  int sortIndex_ = 1;
  int listOrder_ = 1;
  bool inResults_ = false;
  int32_t position_ = 0;
  int32_t currentRef_ = -1;
  int32_t loadedRef_ = -1;
  TDatabase loadedDb_ = TDatabase::Intl;
  int32_t resultCount_ = 0;
  std::shared_ptr<const TResultSource> results_;
  std::array<TEntryRecord, 2> records_{};  // International, U.S.
  std::array<TSearchHistory, 3> histories_{};
};

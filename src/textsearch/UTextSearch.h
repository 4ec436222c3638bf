#pragma once
// The text search without its windows: word forms, the search list, browsing the word list for
// the dialog, and the evaluation that intersects the words' reference lists.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/URounding.h"
#include "textsearch/Dbwort.h"

// Database kind of the text search dialog: field tags are shown and accepted for the U.S. only.
enum TSearchKind : int { skUS = 1, skIntl = 2 };

constexpr int kMaxSearchWords = 14;      // search list entries, and word list box rows
constexpr size_t kSuchItemTextLen = 27;  // display text of a search item
constexpr size_t kWordEditScanLen = 40;  // typed text taken for listing words

inline constexpr const char* kTextSearchInitError =
    "Due an initialisation error, text search is not possible at the moment.";
inline constexpr const char* kEntriesFoundText = "Number of entries found: ";

// "Number of entries found: " and the count.
std::string EntriesFoundText(int32_t count);
// Text of the read error box: "An error <code> (<text>) occurs during read. Close and restart
// the application".
std::string ReadErrorText(int code);

// A-Z lower-cased (other bytes unchanged), blanks trimmed at both ends, cut to 15 characters.
std::string NormaliseWord(std::string_view word);
// U.S.: a leading field tag byte (0x82..0x88) of a word longer than one character shown as its
// prefix ("city=..."). International: unchanged.
std::string ToDisplayForm(std::string_view word, TSearchKind kind);
// U.S.: a leading prefix (case-sensitive, in the order state, zip, lastname, firstname, city,
// county, prevcall) replaced by its tag byte. International: unchanged.
std::string ToStoredForm(std::string_view text, TSearchKind kind);
// Characters the word edit accepts (besides backspace): ' 0-9 = A-Z a-z and the code page 437
// letters that fold to ASCII letters in the word lists ("ñ", "ü", "ß").
bool IsWordEditChar(char c);

// One word of the search list.
class TSuchItem {
 public:
  // Display text: text, " (", the list's count, ")", cut to 27 characters.
  TSuchItem(std::unique_ptr<TWortVerweisListe> list, std::string_view text);
  TWortVerweisListe& List() { return *list_; }
  const TWortVerweisListe& List() const { return *list_; }
  const std::string& DisplayText() const { return displayText_; }

 private:
  std::unique_ptr<TWortVerweisListe> list_;
  std::string displayText_;
};

// The search list of one database, kept for the whole run.
class TSuchInfo {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  TSuchItem& Item(int i) { return *items_.at(static_cast<size_t>(i)); }
  const TSuchItem& Item(int i) const { return *items_.at(static_cast<size_t>(i)); }
  void Insert(int i, std::unique_ptr<TSuchItem> item);
  void Delete(int i);
  void Clear() { items_.clear(); }
  // The display texts in list order (what the search list box shows).
  std::vector<std::string> DisplayTexts() const;

 private:
  std::vector<std::unique_ptr<TSuchItem>> items_;
};

// Rows of the word list box for a typed text.
struct TWordListPage {
  bool ok = true;      // false: a look-up failed (last error code set); show the read error
  bool found = false;  // the first row is the typed word itself (select it)
  std::vector<std::string> words;  // display forms, at most 14
};
// Typed text cut to 40, to stored form, normalised, looked up; the word itself when found, then
// the following words up to 14 rows.
TWordListPage BrowseWordList(TWortListe& list, TSearchKind kind, std::string_view typed);

// Spin arrows of the word edit.
struct TSpinResult {
  bool ok = true;      // false: a look-up failed
  bool moved = false;  // a neighbour exists: text is its display form
  std::string text;
};
// Text cut to 15, to stored form, normalised, then the next (down) or previous (up) word.
TSpinResult SpinWord(TWortListe& list, TSearchKind kind, std::string_view text, bool down);

// Button states of the dialog.
struct TSearchButtons {
  bool add = false, remove = false, clear = false;
};
TSearchButtons SearchButtonStates(int wordListRows, int searchListRows);

enum class TIncludeOutcome { Added, AlreadyListed, NotFound, ReadError };
// "&Add >" for a word list box text: refused when a search list entry begins with the text (cut
// to 27); else looked up in stored form and, when found, inserted at the front of info.
TIncludeOutcome IncludeWord(TSuchInfo& info, TWortListe& list, TSearchKind kind,
                            std::string_view text);

// Progress window of long loops. The owner shows it, sets the gauge and polls the abort flag.
class TSearchProgress {
 public:
  virtual ~TSearchProgress() = default;
  // False when it could not be shown; the work then goes on without it.
  virtual bool Show() = 0;
  // Sets the gauge (0..100) and lets pending window messages run; true when the user aborted.
  virtual bool Update(int percent) = 0;
  virtual void Close() = 0;
};

// Gauge value of a fraction done: round(fraction * 100) mod 101.
int GaugeValue(double fraction);

enum class TSearchOutcome { Found, NotFound, Aborted, ReadError };
struct TTextSearchResult {
  TSearchOutcome outcome = TSearchOutcome::NotFound;
  std::unique_ptr<TFinalVerweisListe> list;  // only when Found: ascending, not empty
  int errorCode = 0;                         // ReadError: the last error code
  int32_t Count() const { return list ? list->GetCount() : 0; }
};

// Intersects the reference lists of all items, shortest first; stops as soon as the running
// result is empty. With two or more items the progress window (may be null) is shown and
// updated every 20 tested references. An empty search list gives NotFound (the dialog adds the
// selected word first, with IncludeWord).
TTextSearchResult DoTextSearch(TSuchInfo& info, TSearchProgress* progress);

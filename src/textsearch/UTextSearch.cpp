#include "textsearch/UTextSearch.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "textsearch/UWordFold.h"

namespace {

struct TTagPrefix {
  uint8_t tag;
  const char* prefix;
};
// Order in which a typed text's beginning is compared.
constexpr TTagPrefix kStoredOrder[] = {{0x82, "state="},     {0x83, "zip="},  {0x84, "lastname="},
                                       {0x85, "firstname="}, {0x87, "city="}, {0x86, "county="},
                                       {0x88, "prevcall="}};

const char* PrefixOfTag(uint8_t tag) {
  for (const auto& tp : kStoredOrder)
    if (tp.tag == tag) return tp.prefix;
  return nullptr;
}

}  // namespace

std::string EntriesFoundText(int32_t count) { return kEntriesFoundText + std::to_string(count); }

std::string ReadErrorText(int code) {
  return "An error " + std::to_string(code) + " (" + RunErrorText(code) + ")" +
         " occurs during read." + " Close and restart the application";
}

std::string NormaliseWord(std::string_view word) {
  return Cut(TrimBlanks(AsciiLower(word)), kWordKeyLen);
}

std::string ToDisplayForm(std::string_view word, TSearchKind kind) {
  if (kind != skUS || word.size() <= 1) return std::string(word);
  const char* prefix = PrefixOfTag(static_cast<uint8_t>(word[0]));
  if (!prefix) return std::string(word);
  return prefix + std::string(word.substr(1));
}

std::string ToStoredForm(std::string_view text, TSearchKind kind) {
  if (kind != skUS) return std::string(text);
  for (const auto& tp : kStoredOrder) {
    const std::string_view prefix(tp.prefix);
    if (text.substr(0, prefix.size()) == prefix)
      return std::string(1, static_cast<char>(tp.tag)) + std::string(text.substr(prefix.size()));
  }
  return std::string(text);
}

bool IsWordEditChar(char c) {
  return FoldedLetters(static_cast<unsigned char>(c)) != nullptr || c == '\'' || c == '=' ||
         (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// ---------------------------------------------------------------------------------------------

TSuchItem::TSuchItem(std::unique_ptr<TWortVerweisListe> list, std::string_view text)
    : list_(std::move(list)) {
  displayText_ =
      Cut(std::string(text) + " (" + std::to_string(list_->GetCount()) + ")", kSuchItemTextLen);
}

void TSuchInfo::Insert(int i, std::unique_ptr<TSuchItem> item) {
  const auto at = static_cast<size_t>(std::clamp(i, 0, Count()));
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
}

void TSuchInfo::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  items_.erase(items_.begin() + i);
}

std::vector<std::string> TSuchInfo::DisplayTexts() const {
  std::vector<std::string> texts;
  texts.reserve(items_.size());
  for (const auto& item : items_) texts.push_back(item->DisplayText());
  return texts;
}

// ---------------------------------------------------------------------------------------------

TWordListPage BrowseWordList(TWortListe& list, TSearchKind kind, std::string_view typed) {
  TWordListPage page;
  const std::string word =
      NormaliseWord(ToStoredForm(FoldLetters(Cut(typed, kWordEditScanLen)), kind));
  int32_t ref = 0;
  if (!list.Find(word, page.found, ref)) {
    page.ok = false;
    page.found = false;
    return page;
  }
  if (page.found) page.words.push_back(ToDisplayForm(word, kind));
  while (static_cast<int>(page.words.size()) < kMaxSearchWords) {
    bool more = false;
    std::string next;
    if (!list.Next(more, next, ref)) {
      page.ok = false;
      break;
    }
    if (!more) break;
    page.words.push_back(ToDisplayForm(next, kind));
  }
  return page;
}

TSpinResult SpinWord(TWortListe& list, TSearchKind kind, std::string_view text, bool down) {
  TSpinResult result;
  const std::string word = NormaliseWord(ToStoredForm(FoldLetters(Cut(text, kWordKeyLen)), kind));
  bool found = false, more = false;
  int32_t ref = 0;
  std::string neighbour;
  if (!list.Find(word, found, ref)) {
    result.ok = false;
    return result;
  }
  if (down) {
    result.ok = list.Next(more, neighbour, ref);
  } else {
    // After a miss the cursor rests on the greatest smaller word; step onto the next greater
    // one first, so that Prev yields the word right before the typed text.
    if (!found) result.ok = list.Next(more, neighbour, ref);
    if (result.ok) result.ok = list.Prev(more, neighbour, ref);
  }
  if (result.ok && more) {
    result.moved = true;
    result.text = ToDisplayForm(neighbour, kind);
  }
  return result;
}

TSearchButtons SearchButtonStates(int wordListRows, int searchListRows) {
  TSearchButtons b;
  b.add = wordListRows > 0 && searchListRows < kMaxSearchWords;
  b.remove = searchListRows > 0;
  b.clear = searchListRows > 0;
  return b;
}

TIncludeOutcome IncludeWord(TSuchInfo& info, TWortListe& list, TSearchKind kind,
                            std::string_view text) {
  const std::string shown = Cut(text, kSuchItemTextLen);
  for (int i = 0; i < info.Count(); ++i)
    if (info.Item(i).DisplayText().compare(0, shown.size(), shown) == 0)
      return TIncludeOutcome::AlreadyListed;
  bool found = false;
  int32_t ref = 0;
  if (!list.Find(ToStoredForm(shown, kind), found, ref)) return TIncludeOutcome::ReadError;
  if (!found) return TIncludeOutcome::NotFound;
  info.Insert(0,
              std::make_unique<TSuchItem>(std::make_unique<TWortVerweisListe>(list, ref), shown));
  return TIncludeOutcome::Added;
}

// ---------------------------------------------------------------------------------------------

int GaugeValue(double fraction) { return static_cast<int>(RoundHalfEven(fraction * 100) % 101); }

namespace {

// Closes the progress window on every way out of the evaluation.
class TProgressGuard {
 public:
  explicit TProgressGuard(TSearchProgress* p) : p_(p) {}
  ~TProgressGuard() {
    if (p_) p_->Close();
  }
  TSearchProgress* get() const { return p_; }

 private:
  TSearchProgress* p_;
};

TTextSearchResult ReadFailure() {
  TTextSearchResult r;
  r.outcome = TSearchOutcome::ReadError;
  r.errorCode = LastErrorCode();
  return r;
}

// A word's whole reference list in memory, read in chunks of one final-list block (as
// CopyToFinal reads it).
bool ReadWholeList(TWortVerweisListe& source, std::vector<int32_t>& out) {
  const int32_t total = source.GetCount();
  out.resize(static_cast<size_t>(total));
  for (int32_t a = 1; a <= total;) {
    const int32_t n = std::min(total - a + 1, TFinalVerweisListe::kBlockSize);
    if (!source.ReadItems(a, n, out.data() + (a - 1))) return false;
    a += n;
  }
  return true;
}

// First index in list[from..] whose item is >= v, searched by doubling steps from from (cheap
// when v lies near), then by halving.
size_t GallopLowerBound(const std::vector<int32_t>& list, size_t from, int32_t v) {
  size_t lo = from, step = 1, hi = from;
  while (hi < list.size() && list[hi] < v) {
    lo = hi + 1;
    hi += step;
    step *= 2;
  }
  hi = std::min(hi, list.size());
  return static_cast<size_t>(std::lower_bound(list.begin() + static_cast<std::ptrdiff_t>(lo),
                                              list.begin() + static_cast<std::ptrdiff_t>(hi), v) -
                             list.begin());
}

// Membership in a word's reference list that is far longer than the references tested against
// it: only windows of the list around each tested value are read, found by interpolating on the
// values (references spread over the data file), falling back to halving. Tested values come
// mostly in ascending order; the search then goes on from where the last one ended.
class TSparseList {
 public:
  static constexpr int32_t kWindow = 128;

  explicit TSparseList(TWortVerweisListe& list) : list_(list), count_(list.GetCount()) {}

  // False on a read error (last error code set).
  bool Contains(int32_t v, bool& found) {
    found = false;
    if (count_ <= 0) return true;
    if (!started_) {
      if (!Load(count_, 1)) return false;
      lastVal_ = window_[0];
      if (!Load(1, std::min(kWindow, count_))) return false;
      firstVal_ = window_[0];
      started_ = true;
    }
    if (v < prev_) lo_ = 1;  // out of order: search the whole list again
    prev_ = v;
    if (v > lastVal_ || v < firstVal_) return true;
    if (InWindow(v)) return Settle(v, found);
    int32_t lo = lo_, hi = count_;
    int64_t loVal = lo == 1 ? int64_t{firstVal_} - 1 : int64_t{loVal_};
    int64_t hiVal = int64_t{lastVal_} + 1;
    for (int round = 0;; ++round) {
      const int32_t n = hi - lo + 1;
      if (n <= 0) return true;
      int32_t first;
      if (n <= 2 * kWindow) {
        first = lo;
      } else {
        int64_t guess = lo + n / 2;  // halving after a few rounds of guessing
        if (round < 4 && hiVal > loVal)
          guess = lo + (static_cast<int64_t>(v) - loVal) * n / (hiVal - loVal);
        first = static_cast<int32_t>(
            std::clamp<int64_t>(guess - kWindow / 2, lo, int64_t{hi} - kWindow + 1));
      }
      if (!Load(first, std::min(n, n <= 2 * kWindow ? n : kWindow))) return false;
      if (InWindow(v)) return Settle(v, found);
      if (v < window_.front()) {
        hi = first - 1;
        hiVal = window_.front();
      } else {
        lo = first + static_cast<int32_t>(window_.size());
        loVal = window_.back();
        lo_ = lo;
        loVal_ = window_.back();
      }
    }
  }

 private:
  bool Load(int32_t first, int32_t n) {
    window_.resize(static_cast<size_t>(n));
    windowFirst_ = first;
    return list_.ReadItems(first, n, window_.data());
  }
  bool InWindow(int32_t v) const {
    return !window_.empty() && window_.front() <= v && v <= window_.back();
  }
  // v lies within the window: look it up there; the next search starts at its place.
  bool Settle(int32_t v, bool& found) {
    const auto at = std::lower_bound(window_.begin(), window_.end(), v);
    found = at != window_.end() && *at == v;
    const auto k = static_cast<int32_t>(at - window_.begin());
    if (k > 0) {
      lo_ = windowFirst_ + k;
      loVal_ = window_[static_cast<size_t>(k - 1)];
    }
    return true;
  }

  TWortVerweisListe& list_;
  int32_t count_;
  bool started_ = false;
  int32_t firstVal_ = 0, lastVal_ = 0;
  int32_t lo_ = 1;     // items before lo_ are below the last value searched
  int32_t loVal_ = 0;  // the item at lo_ - 1
  int32_t prev_ = INT32_MIN;
  std::vector<int32_t> window_;
  int32_t windowFirst_ = 1;
};

// Whether reading windows of the longer list beats reading it whole: a window read costs about
// as much as copying a few thousand references.
bool ReadSparsely(int32_t tested, int32_t listCount) {
  return static_cast<int64_t>(tested) * 2048 < listCount;
}

}  // namespace

TTextSearchResult DoTextSearch(TSuchInfo& info, TSearchProgress* progress) {
  TTextSearchResult result;
  const int n = info.Count();
  if (n == 0) return result;

  // Positions by count, ascending; items of equal count keep their order.
  std::vector<std::pair<int32_t, int>> order;
  for (int i = 0; i < n; ++i) order.emplace_back(info.Item(i).List().GetCount(), i);
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  // The running result R and the list it is tested against, contiguous in memory.
  std::vector<int32_t> r, l, next;
  if (!ReadWholeList(info.Item(order[0].second).List(), r)) return ReadFailure();

  TSearchProgress* shown = nullptr;
  if (n >= 2 && progress) {
    try {
      if (progress->Show()) shown = progress;
    } catch (...) {
      shown = nullptr;  // the search goes on without a progress window
    }
  }
  TProgressGuard guard(shown);
  const double s = n >= 2 ? 1.0 / (n - 1) : 0.0;

  for (int k = 2; k <= n; ++k) {
    if (r.empty()) break;
    const double b = s * (k - 2);
    TWortVerweisListe& list = info.Item(order[static_cast<size_t>(k - 1)].second).List();
    const auto countR = static_cast<int32_t>(r.size());
    std::unique_ptr<TSparseList> sparse;
    if (ReadSparsely(countR, list.GetCount()))
      sparse = std::make_unique<TSparseList>(list);
    else if (!ReadWholeList(list, l))
      return ReadFailure();
    next.clear();
    size_t at = 0;  // where the last tested value's search ended in l
    for (int32_t i = 1; i <= countR; ++i) {
      const int32_t v = r[static_cast<size_t>(i - 1)];
      bool found = false;
      if (sparse) {
        if (!sparse->Contains(v, found)) return ReadFailure();
      } else {
        if (at > 0 && at <= l.size() && l[at - 1] >= v) at = 0;  // out of order: from the start
        at = GallopLowerBound(l, at, v);
        found = at < l.size() && l[at] == v;
      }
      if (found) next.push_back(v);
      if (shown && i % 20 == 0) {
        const double fraction = static_cast<double>(i) / countR * s + b;
        if (shown->Update(GaugeValue(fraction))) {
          result.outcome = TSearchOutcome::Aborted;
          return result;
        }
      }
    }
    r.swap(next);
  }

  if (!r.empty()) {
    auto list = std::make_unique<TFinalVerweisListe>();
    for (size_t done = 0; done < r.size();) {
      int32_t freeSlots = 0;
      int32_t* into = list->GetAppendBuffer(freeSlots);
      const size_t m = std::min(r.size() - done, static_cast<size_t>(freeSlots));
      std::copy_n(r.data() + done, m, into);
      list->CommitAppended(static_cast<int32_t>(m));
      done += m;
    }
    result.outcome = TSearchOutcome::Found;
    result.list = std::move(list);
  }
  return result;
}

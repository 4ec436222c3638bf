#include "textsearch/UTextSearch.h"

#include <algorithm>
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

int64_t RoundHalfEven(double x) {
  const double f = std::floor(x);
  const double d = x - f;
  auto r = static_cast<int64_t>(f);
  if (d > 0.5 || (d == 0.5 && r % 2 != 0)) ++r;
  return r;
}

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

  auto r = std::make_unique<TFinalVerweisListe>();
  if (!CopyToFinal(info.Item(order[0].second).List(), *r)) return ReadFailure();

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
    if (r->GetCount() == 0) break;
    const double b = s * (k - 2);
    TFinalVerweisListe l;
    if (!CopyToFinal(info.Item(order[static_cast<size_t>(k - 1)].second).List(), l))
      return ReadFailure();
    auto next = std::make_unique<TFinalVerweisListe>();
    const int32_t countR = r->GetCount();
    for (int32_t i = 1; i <= countR; ++i) {
      const int32_t v = r->GetItem(i);
      if (l.Contains(v)) next->Add(v);
      if (shown && i % 20 == 0) {
        const double fraction = static_cast<double>(i) / countR * s + b;
        if (shown->Update(GaugeValue(fraction))) {
          result.outcome = TSearchOutcome::Aborted;
          return result;
        }
      }
    }
    r = std::move(next);
  }

  if (r->GetCount() > 0) {
    result.outcome = TSearchOutcome::Found;
    result.list = std::move(r);
  }
  return result;
}

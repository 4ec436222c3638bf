#include "dataset/ULookup.h"

#include <algorithm>

#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/ULocator.h"

void TSearchHistory::Add(const std::string& key) {
  const auto it = std::find(items_.begin(), items_.end(), key);
  if (it == items_.end()) {
    items_.insert(items_.begin(), key);
    if (items_.size() > kHistoryLimit) items_.pop_back();
  } else if (it != items_.begin()) {
    std::iter_swap(items_.begin(), it);
  }
}

TEntryView MakeEntryView(const TEntryRecord& rec) {
  TEntryView v;
  v.db = rec.db;
  v.mapNr = rec.mapNr;
  const std::string call = rec.Field(1);
  v.call = Cut(call, 6);
  v.currentCall = Cut(call, 15);
  if (rec.db == TDatabase::US) {
    v.zip = rec.Field(utZIP);
    v.state = rec.Field(utState);
    v.classText = LicenceClassFieldText(rec.Field(utClass));
    v.issued = rec.DateField(utIssued);
    v.expires = rec.DateField(utExpires);
    v.longitude = Cut(rec.Field(utLongitude), 40);
    v.latitude = Cut(rec.Field(utLatitude), 40);
    v.locator = Cut(CoordToLocator(v.longitude, v.latitude), 6);
    v.areaCode = rec.Field(utAreaCode);
    v.county = rec.Field(utCounty);
    v.timeZone = rec.Field(utTimeZone);
    v.qth = rec.Field(utAddress);
    v.country = rec.Field(utCountry);
    v.dxcc = rec.Field(utDxcc);
    v.qslManagerRef = NumberFieldValue(rec.Field(utQslMgr));
    v.prevCall = rec.Field(utPrevCall);
    v.prevClass = LicenceClassFieldText(rec.Field(utPrevClass));
    v.vanity = rec.Field(utVanity) == "T" ? "YES" : "NO";
    v.comments = Cut(rec.Field(utComments), 60);
    v.fax = Cut(rec.Field(utFax), 60);
    v.eMail = Cut(rec.Field(utEMail), 60);
  } else {
    v.classText = rec.Field(itClass);
    v.qth = rec.Field(itAddress);
    v.country = rec.Field(itCountry);
    v.dxcc = rec.Field(itDxcc);
    v.qslManagerRef = NumberFieldValue(rec.Field(itQslMgr));
    v.comments = Cut(rec.Field(itComments), 60);
    v.fax = Cut(rec.Field(itFax), 60);
    v.eMail = Cut(rec.Field(itEMail), 60);
    v.locator = Cut(rec.Field(itLocator), 6);
  }
  return v;
}

std::string QthNoBreak(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 8);
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == ' ' && i > 0 && utf8[i - 1] != ',')
      out += "\xC2\xA0";
    else
      out += utf8[i];
  }
  return out;
}

std::string NotFoundText(std::string_view kind, std::string_view text) {
  std::string s(kind);
  s += " \"";
  s += text;
  s += "\" not found.";
  return s;
}

int OrderOfListOrder(int listOrder) {
  static constexpr int kOrders[] = {0, 1, 3, 4, 2, 5};
  return listOrder >= 0 && listOrder < 6 ? kOrders[listOrder] : 0;
}

int ListOrderOfOrder(int index) {
  static constexpr int kLists[] = {0, 1, 4, 2, 3, 5};
  return index >= 0 && index < 6 ? kLists[index] : 0;
}

TLookup::TLookup() {
  records_[0].db = TDatabase::Intl;
  records_[1].db = TDatabase::US;
}

void TLookup::SwitchTo(bool intl) {
  isIntl_ = intl;
  resultCount_ = 0;
  inResults_ = false;
  sortIndex_ = intl ? oiIntlCall : oiUSCall;
  listOrder_ = sortIndex_;
  position_ = 0;
  int32_t ref = -1;
  // An empty or unreadable order leaves no entry to show rather than one of the other database.
  currentRef_ = ReadOrderEntry(sortIndex_, 0, ref) ? ref : -1;
}

void TLookup::SwitchToUS() { SwitchTo(false); }
void TLookup::SwitchToIntl() { SwitchTo(true); }

bool TLookup::MoveBy(int32_t n) {
  if (inResults_) {
    const int32_t count = results_ ? std::min(resultCount_, results_->Count()) : 0;
    if (count < 1) return false;
    const int64_t p = std::clamp<int64_t>(static_cast<int64_t>(position_) + n, 1, count);
    if (p == position_) return false;
    position_ = static_cast<int32_t>(p);
    currentRef_ = results_->Item(position_);
    return true;
  }
  const int32_t last = OrderEntryCount(sortIndex_) - 1;
  if (last < 0) return false;
  const int64_t p = std::clamp<int64_t>(static_cast<int64_t>(position_) + n, 0, last);
  if (p == position_) return false;
  int32_t ref = 0;
  if (!ReadOrderEntry(sortIndex_, static_cast<int32_t>(p), ref)) return false;
  currentRef_ = ref;
  position_ = static_cast<int32_t>(p);
  return true;
}

void TLookup::SelectOrder(int index) {
  inResults_ = false;
  sortIndex_ = index;
  listOrder_ = ListOrderOfOrder(index);
}

bool TLookup::SelectResults() {
  if (resultCount_ < 1) return false;
  inResults_ = true;
  listOrder_ = kResultsListOrder;
  position_ = 0;
  MoveBy(0);
  return true;
}

void TLookup::SetListOrder(int listOrder) {
  listOrder_ = listOrder;
  inResults_ = listOrder == kResultsListOrder;
  if (listOrder >= 0 && listOrder < 6) sortIndex_ = OrderOfListOrder(listOrder);
}

void TLookup::SetResults(std::shared_ptr<const TResultSource> results) {
  results_ = std::move(results);
  resultCount_ = results_ ? results_->Count() : 0;
}

bool TLookup::SearchOrder(int index, std::string_view text, bool& exact, int32_t& ref) {
  exact = false;
  char key[15];
  const size_t n = MakeSearchKeyInto(index, text.substr(0, 15), key);
  int32_t out = ref;
  if (!SearchIndex(index, {key, n}, exact, out)) {
    exact = false;
    return false;
  }
  ref = out;
  return true;
}

bool TLookup::SearchCallOrder(int index, std::string_view call, bool& exact, int32_t& ref) {
  if (!SearchOrder(index, call, exact, ref)) return false;
  if (!exact) return true;
  TEntryRecord rec;
  if (!ReadRecord(index == oiUSCall ? TDatabase::US : TDatabase::Intl, ref, rec)) return true;
  char keyBuffer[15], entryBuffer[15];
  const std::string_view key(keyBuffer, MakeSearchKeyInto(index, call.substr(0, 15), keyBuffer));
  const std::string_view entryKey(entryBuffer, MakeSearchKeyInto(index, rec.Field(1), entryBuffer));
  if (entryKey == key) return true;
  exact = false;
  // "GM4WQSXYZ" lies after GM4WQS: the next entry of the order; "OE2XAB" before OE2XABCDE.
  if (entryKey < key && !ReadOrderEntry(index, rec.pos[0] + 1, ref)) ref = -1;
  return true;
}

// Call look-up in both databases. Texts beginning with a, k, n or w (lower case, as the call box
// passes them) try the U.S. index first, all others the International one; the second index is
// searched only when the first has no exact hit. Without an exact hit the database shown decides:
// its next greater call is taken when there is one. The message then is the not-found text, with
// " Displaying the next greater entry." when an entry was taken (in the International database
// only for texts longer than 3 characters; shorter ones move without a message).
TCallLookup TLookup::FindCall(std::string_view text) {
  TCallLookup r;
  const std::string call = TrimBlanks(Cut(text, 15));
  if (call.empty()) return r;
  r.searched = true;
  r.call = call;
  sortIndex_ = isIntl_ ? oiIntlCall : oiUSCall;
  int32_t usRef = -1, intlRef = -1;
  bool usExact = false, intlExact = false;
  const bool usFirst = BeginsAsUSCall(call);
  if (usFirst) {
    SearchCallOrder(oiUSCall, call, usExact, usRef);
    if (!usExact) SearchCallOrder(oiIntlCall, call, intlExact, intlRef);
  } else {
    SearchCallOrder(oiIntlCall, call, intlExact, intlRef);
    if (!intlExact) SearchCallOrder(oiUSCall, call, usExact, usRef);
  }
  r.exact = usExact || intlExact;
  bool usFound = usExact, intlFound = intlExact;
  if (!r.exact) {
    const std::string notFound = NotFoundText("Call", call);
    const int32_t candidate = isIntl_ ? intlRef : usRef;
    if (candidate != -1) {
      (isIntl_ ? intlFound : usFound) = true;
      if (!isIntl_ || call.size() > 3) r.message = notFound + kNextGreaterText;
    } else {
      r.message = notFound;
    }
  }
  if (usFound) {
    if (isIntl_) {
      SwitchToUS();
      r.switched = true;
    }
    sortIndex_ = oiUSCall;
    currentRef_ = usRef;
  } else if (intlFound) {
    if (!isIntl_) {
      SwitchToIntl();
      r.switched = true;
    }
    sortIndex_ = oiIntlCall;
    currentRef_ = intlRef;
  }
  r.found = usFound || intlFound;
  // The call order is selected whether or not an entry was taken.
  inResults_ = false;
  listOrder_ = sortIndex_;
  return r;
}

std::string TLookup::CallBoxKey(std::string_view text) {
  std::string key = MakeSearchKey(oiUSCall, text);
  std::replace(key.begin(), key.end(), '<', '0');
  return key;
}

TCallParts TLookup::CallBoxParts(std::string_view text) {
  TCallParts parts = SplitCallParts(TrimBlanksView(text));
  parts.base = CallBoxKey(parts.base);
  parts.designators = AsciiUpper(parts.designators);
  return parts;
}

TCallLookup TLookup::SearchCallEdit(std::string_view text) {
  const std::string key = CallBoxKey(text);
  CallHistory().Add(key);
  const TCallParts parts = CallBoxParts(key);
  if (parts.designators.empty()) return FindCall(key);
  TCallLookup r = FindCall(parts.base);
  r.designators = parts.designators;
  return r;
}

TOrderLookup TLookup::SearchKeyOrder(int index, const std::string& key, std::string_view kind) {
  TOrderLookup r;
  r.searched = true;
  sortIndex_ = index;
  listOrder_ = ListOrderOfOrder(index);
  inResults_ = false;
  SearchOrder(index, key, r.exact, currentRef_);
  if (!r.exact) r.message = NotFoundText(kind, key);
  return r;
}

TOrderLookup TLookup::SearchZIP(std::string_view text) {
  if (isIntl_) return {};
  const std::string key = MakeSearchKey(oiUSZIP, text);
  ZIPHistory().Add(key);
  return SearchKeyOrder(oiUSZIP, key, "ZIP");
}

TOrderLookup TLookup::SearchCounty(std::string_view text) {
  if (isIntl_) return {};
  const std::string key = MakeSearchKey(oiUSCounty, text);
  CountyHistory().Add(key);
  return SearchKeyOrder(oiUSCounty, key, "County");
}

TOrderLookup TLookup::SearchName(std::string_view text) {
  const std::string name = TrimBlanks(text);
  if (isIntl_ || name.empty()) return {};
  return SearchKeyOrder(oiUSName, name, "Name");
}

TOrderLookup TLookup::SearchCity(std::string_view text) {
  if (isIntl_ || text.empty()) return {};
  return SearchKeyOrder(oiUSCity, std::string(text), "City");
}

bool TLookup::LoadCurrent() {
  TEntryRecord& rec = records_[isIntl_ ? 0 : 1];
  if (currentRef_ < 0 || currentRef_ != loadedRef_ || loadedDb_ != Database()) {
    TEntryRecord fresh;
    if (!ReadRecord(Database(), currentRef_, fresh)) return false;
    rec = fresh;
    loadedRef_ = currentRef_;
    loadedDb_ = Database();
  }
  if (!inResults_) {
    if (isIntl_) {
      position_ = rec.pos[0];
    } else {
      static constexpr int kSlots[] = {upCall, upCall, upZIP, upName, upCity, upCounty};
      position_ = rec.pos[static_cast<size_t>(kSlots[std::clamp(sortIndex_, 0, 5)])];
    }
  }
  return true;
}

std::string TLookup::RecNrText() const {
  if (!inResults_) return {};
  return std::to_string(position_) + " of " + std::to_string(resultCount_);
}

bool TLookup::GetListRow(int32_t row, std::string& call, std::string& text) const {
  int32_t ref = 0;
  if (listOrder_ == kResultsListOrder) {
    const int32_t count = results_ ? std::min(resultCount_, results_->Count()) : 0;
    if (count < 1) return false;
    ref = results_->Item(std::clamp<int32_t>(row + 1, 1, count));
  } else {
    const int index = OrderOfListOrder(listOrder_);
    if (row < 0 || row >= OrderEntryCount(index) || !ReadOrderEntry(index, row, ref)) return false;
  }
  const bool intl = listOrder_ == 0 || (listOrder_ == kResultsListOrder && isIntl_);
  TEntryRecord rec;
  if (!ReadRecord(intl ? TDatabase::Intl : TDatabase::US, ref, rec)) return false;
  call = Cut(rec.Field(1), 6);
  if (intl)
    text = rec.Field(itAddress);
  else
    text = rec.Field(utAddress) + ", " + rec.Field(utState) + " " + rec.Field(utZIP);
  return true;
}

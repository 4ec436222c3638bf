#include "storage/UIndexStream.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/ULittleEndian.h"

namespace {

// Messages of the record store, Windows-1252 as the rest of its texts.
constexpr const char* kSetHeaderSizeMsg =
    "SetHeaderSize ist nur f\xFCr unbenutzte Datastreams zul\xE4ssig";
constexpr const char* kDirectMemAccessMsg = "Unzul\xE4ssiger Stream f\xFCr DirectMemAccess";

constexpr int32_t kUserHeaderConst = 1;
constexpr int32_t kStoreHeaderConst = 100;

}  // namespace

// ---------------------------------------------------------------------------------------------
// TDynMemoryStream

TDynMemoryStream::TDynMemoryStream(int64_t initialCapacity) {
  if (initialCapacity > 1000000) {
    SetCapacity(initialCapacity);
    growthSteps_ = 11;
  }
}

TDynMemoryStream::~TDynMemoryStream() { std::free(memory_); }

void TDynMemoryStream::SetCapacity(int64_t newCapacity) {
  if (newCapacity <= capacity_) return;
  void* p = std::realloc(memory_, static_cast<size_t>(newCapacity));
  if (!p) throw std::bad_alloc();
  memory_ = static_cast<uint8_t*>(p);
  std::memset(memory_ + capacity_, 0, static_cast<size_t>(newCapacity - capacity_));
  capacity_ = newCapacity;
}

void TDynMemoryStream::Grow(int64_t needed) {
  if (needed <= capacity_) return;
  if (growthSteps_ <= 12) ++growthSteps_;
  int64_t want = needed + (int64_t{2048} << growthSteps_);
  want = (want + kBlockSize - 1) / kBlockSize * kBlockSize;
  SetCapacity(want);
}

int64_t TDynMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TDynMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  Grow(end);
  // Memory past the size is always zero, so a gap before position_ reads as zeros.
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  size_ = std::max(size_, end);
  return count;
}

int64_t TDynMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == soCurrent) base = position_;
  if (origin == soEnd) base = size_;
  if (base + offset < 0) throw std::runtime_error("Stream seek before the beginning");
  position_ = base + offset;
  return position_;
}

void TDynMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw std::runtime_error("Stream size below 0");
  Grow(newSize);
  if (newSize < size_) std::memset(memory_ + newSize, 0, static_cast<size_t>(size_ - newSize));
  size_ = newSize;
  position_ = std::min(position_, size_);
}

// ---------------------------------------------------------------------------------------------
// TDataStream

TDataStream::TDataStream(int32_t recordSize, int64_t initialCapacity) {
  if (recordSize < 1) throw std::runtime_error("DataStream: record size must be at least 1");
  recordSize_ = recordSize;
  stream_ = std::make_unique<TDynMemoryStream>(initialCapacity);
  WriteHeader();
  memStream_ = true;
}

TDataStream::~TDataStream() = default;

void TDataStream::WriteHeader() {
  uint8_t h[kHeaderSize];
  h[0] = 0x1A;
  std::memset(h + 1, ' ', 50);
  PutI32(h + 51, kStoreHeaderConst);
  PutI32(h + 55, freeHead_);
  PutI32(h + 59, freeCount_);
  PutI32(h + 63, recordCount_);
  PutI32(h + 67, recordSize_);
  PutI32(h + 71, userHeaderSize_);
  stream_->Seek(0, TDynMemoryStream::soBeginning);
  stream_->Write(h, kHeaderSize);
}

int64_t TDataStream::RecordPosition(int32_t n) const {
  return int64_t{n - 1} * (int64_t{recordSize_} + 4) + userHeaderSize_ + kHeaderSize;
}

void TDataStream::CheckRecordNumber(int32_t n, const char* operation) const {
  if (n < 1 || n > recordCount_)
    throw std::runtime_error(std::string("DataStream.") + operation + ": Record (" +
                             std::to_string(n) + ") does not exist");
}

void TDataStream::SetHeaderSize(int32_t size) {
  if (recordCount_ != 0 || freeCount_ != 0) throw std::runtime_error(kSetHeaderSizeMsg);
  if (size < 0) throw std::runtime_error("DataStream.SetHeaderSize: size below 0");
  userHeaderSize_ = size;
  if (stream_->Size() < kHeaderSize + int64_t{size}) stream_->SetSize(kHeaderSize + int64_t{size});
  WriteHeader();
}

void TDataStream::ReadUserHeader(void* buffer) {
  stream_->Seek(kHeaderSize, TDynMemoryStream::soBeginning);
  stream_->Read(buffer, userHeaderSize_);
}

void TDataStream::WriteUserHeader(const void* buffer) {
  stream_->Seek(kHeaderSize, TDynMemoryStream::soBeginning);
  stream_->Write(buffer, userHeaderSize_);
}

void TDataStream::Read(int32_t n, void* buffer) {
  CheckRecordNumber(n, "Read");
  stream_->Seek(RecordPosition(n), TDynMemoryStream::soBeginning);
  uint8_t mark[4];
  stream_->Read(mark, 4);
  if (GetI32(mark) != RecordInUse)
    throw std::runtime_error("DataStream.Read: Record (" + std::to_string(n) +
                             ") hat RecKennung <> RecordInUse");
  stream_->Read(buffer, recordSize_);
}

void TDataStream::Write(int32_t n, const void* buffer) {
  CheckRecordNumber(n, "Write");
  uint8_t mark[4];
  PutI32(mark, RecordInUse);
  stream_->Seek(RecordPosition(n), TDynMemoryStream::soBeginning);
  stream_->Write(mark, 4);
  stream_->Write(buffer, recordSize_);
}

int32_t TDataStream::ReadLink(int32_t n) {
  CheckRecordNumber(n, "ReadLink");
  uint8_t mark[4];
  stream_->Seek(RecordPosition(n), TDynMemoryStream::soBeginning);
  stream_->Read(mark, 4);
  return GetI32(mark);
}

void TDataStream::WriteLink(int32_t n, int32_t value) {
  CheckRecordNumber(n, "WriteLink");
  uint8_t mark[4];
  PutI32(mark, value);
  stream_->Seek(RecordPosition(n), TDynMemoryStream::soBeginning);
  stream_->Write(mark, 4);
}

int32_t TDataStream::NewRecord(const void* buffer) {
  const bool reuse = freeCount_ > 0;
  const int32_t n = reuse ? freeHead_ : recordCount_ + 1;
  const int32_t nextHead = reuse ? ReadLink(n) : freeHead_;
  // The record is written first: if growing the stream fails, nothing has changed.
  uint8_t mark[4];
  PutI32(mark, RecordInUse);
  stream_->Seek(RecordPosition(n), TDynMemoryStream::soBeginning);
  stream_->Write(mark, 4);
  stream_->Write(buffer, recordSize_);
  if (reuse) {
    freeHead_ = nextHead;
    --freeCount_;
  } else {
    recordCount_ = n;
  }
  WriteHeader();
  return n;
}

void TDataStream::FreeRecord(int32_t n) {
  CheckRecordNumber(n, "FreeRecord");
  // Freeing a free record twice would put it on the list twice and hand it out twice.
  if (ReadLink(n) != RecordInUse)
    throw std::runtime_error("DataStream.FreeRecord: Record (" + std::to_string(n) +
                             ") is not in use");
  WriteLink(n, freeHead_);
  freeHead_ = n;
  ++freeCount_;
  WriteHeader();
}

uint8_t* TDataStream::DirectMemAccess(int32_t n) {
  if (!memStream_) throw std::runtime_error(kDirectMemAccessMsg);
  CheckRecordNumber(n, "DirectMemAccess");
  return stream_->Memory() + RecordPosition(n) + 4;
}

// ---------------------------------------------------------------------------------------------
// EIndexStreamError

std::string EIndexStreamError::MessageOf(int32_t code) {
  switch (code) {
    case 1000:
      return "Record size is greater than MaxDataRecSize";
    case 1001:
      return "Record size is too small";
    case 1002:
      return "Key length is greater than MaxKeyLen";
    case 1003:
      return "Data File created with different record size";
    case 1004:
      return "Index File created with different key or page size";
    case 1005:
      return "Not enough memory for page stack (&&1, must be > &&2)";
    case 1100:
      return "Key is already defined";
    case 1101:
      return "Key not found";
    default:
      return "Index error " + std::to_string(code);
  }
}

EIndexStreamError::EIndexStreamError(int32_t code)
    : std::runtime_error(MessageOf(code)), code_(code) {}

// ---------------------------------------------------------------------------------------------
// TIndexStream

TIndexStream::TIndexStream(int32_t keyLength, int64_t initialCapacity, bool duplicates) {
  if (keyLength > kMaxKeyLen) throw EIndexStreamError(1002);
  if (keyLength < 1) throw std::invalid_argument("TIndexStream: key length below 1");
  itemSize_ = keyLength + 9;
  const int32_t pageSize = itemSize_ * kMaxItems + 5;
  data_ = std::make_unique<TDataStream>(pageSize, initialCapacity);
  data_->SetHeaderSize(kIndexHeaderSize);

  uint8_t h[kIndexHeaderSize] = {};
  PutI32(h, kUserHeaderConst);
  h[4] = duplicates ? 1 : 0;
  h[5] = static_cast<uint8_t>(keyLength);
  PutI32(h + 6, 0);
  PutI32(h + 10, kMaxItems);
  PutI32(h + 14, pageSize);
  PutI32(h + 18, N);
  PutI32(h + 22, 0);
  data_->WriteUserHeader(h);

  uint8_t r[kIndexHeaderSize] = {};
  data_->ReadUserHeader(r);
  duplicates_ = r[4] != 0;
  keyLength_ = r[5];
  keyCount_ = GetI32(r + 6);
  pageSize_ = GetI32(r + 14);
  root_ = GetI32(r + 22);

  scratch_ = std::make_unique<uint8_t[]>(static_cast<size_t>(pageSize_));
}

TIndexStream::~TIndexStream() = default;

void TIndexStream::WriteIndexHeader() {
  uint8_t h[kIndexHeaderSize] = {};
  PutI32(h, kUserHeaderConst);
  h[4] = duplicates_ ? 1 : 0;
  h[5] = static_cast<uint8_t>(keyLength_);
  PutI32(h + 6, keyCount_);
  PutI32(h + 10, kMaxItems);
  PutI32(h + 14, pageSize_);
  PutI32(h + 18, N);
  PutI32(h + 22, root_);
  data_->WriteUserHeader(h);
}

uint8_t* TIndexStream::Page(int32_t n) { return data_->DirectMemAccess(n); }

uint8_t* TIndexStream::ItemAt(uint8_t* page, int32_t i) const {
  return page + 5 + (i - 1) * itemSize_;
}

const uint8_t* TIndexStream::ItemAt(const uint8_t* page, int32_t i) const {
  return page + 5 + (i - 1) * itemSize_;
}

int32_t TIndexStream::Child(const uint8_t* page, int32_t i) const {
  return i == 0 ? GetI32(page + 1) : GetI32(ItemAt(page, i) + 4);
}

void TIndexStream::SetChild(uint8_t* page, int32_t i, int32_t child) const {
  PutI32(i == 0 ? page + 1 : ItemAt(page, i) + 4, child);
}

std::string_view TIndexStream::KeyOf(const uint8_t* item) const {
  const int32_t len = std::min<int32_t>(item[8], keyLength_);
  return {reinterpret_cast<const char*>(item + 9), static_cast<size_t>(len)};
}

TIndexStream::TItem TIndexStream::GetItem(const uint8_t* page, int32_t i) const {
  const uint8_t* p = ItemAt(page, i);
  return TItem{GetI32(p), GetI32(p + 4), std::string(KeyOf(p))};
}

void TIndexStream::PutItem(uint8_t* page, int32_t i, const TItem& item) const {
  uint8_t* p = ItemAt(page, i);
  PutI32(p, item.ref);
  PutI32(p + 4, item.child);
  const size_t len = std::min<size_t>(item.key.size(), static_cast<size_t>(keyLength_));
  p[8] = static_cast<uint8_t>(len);
  std::memcpy(p + 9, item.key.data(), len);
  std::memset(p + 9 + len, 0, static_cast<size_t>(keyLength_) - len);
}

void TIndexStream::CopyItem(uint8_t* to, int32_t ti, const uint8_t* from, int32_t fi) const {
  std::memmove(ItemAt(to, ti), ItemAt(from, fi), static_cast<size_t>(itemSize_));
}

void TIndexStream::MoveItems(uint8_t* to, int32_t ti, const uint8_t* from, int32_t fi,
                             int32_t count) const {
  if (count > 0)
    std::memmove(ItemAt(to, ti), ItemAt(from, fi), static_cast<size_t>(count) * itemSize_);
}

int TIndexStream::Compare(std::string_view k1, std::string_view k2, int32_t r1, int32_t r2) const {
  const size_t n = std::min(k1.size(), k2.size());
  const int c = n ? std::memcmp(k1.data(), k2.data(), n) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  if (k1.size() != k2.size()) return k1.size() < k2.size() ? -1 : 1;
  if (!duplicates_ || r1 == r2) return 0;
  return r1 < r2 ? -1 : 1;
}

bool TIndexStream::SearchPage(const uint8_t* page, std::string_view key, int32_t ref, int32_t& R,
                              int32_t& k) const {
  int32_t L = 1;
  R = page[0];
  k = 0;
  while (L <= R) {
    k = (L + R) / 2;
    const uint8_t* item = ItemAt(page, k);
    const int c = Compare(key, KeyOf(item), ref, GetI32(item));
    if (c <= 0) R = k - 1;
    if (c >= 0) L = k + 1;
  }
  return L - R > 1;
}

void TIndexStream::Push(int32_t page, int32_t index) {
  if (depth_ >= kMaxDepth) {
    depth_ = 0;
    throw EIndexStreamError(1005);
  }
  path_[depth_++] = TPathEntry{page, index};
}

bool TIndexStream::Find(std::string_view key, int32_t& ref) {
  depth_ = 0;
  ref = 0;
  int32_t p = root_;
  while (p != 0) {
    const uint8_t* a = Page(p);
    Push(p, 0);
    int32_t R = 0, k = 0;
    if (SearchPage(a, key, INT32_MIN, R, k)) {
      path_[depth_ - 1].index = k;
      ref = GetI32(ItemAt(a, k));
      return true;
    }
    path_[depth_ - 1].index = R;
    p = Child(a, R);
  }
  while (depth_ > 1 && path_[depth_ - 1].index == 0) --depth_;
  if (depth_ == 1 && path_[0].index == 0) depth_ = 0;
  if (!duplicates_) return false;
  // Equal keys lie after the position reached with the smallest reference: the first of them.
  std::string next;
  int32_t nextRef = 0;
  const bool found = FindNext(keyLength_, next, nextRef);
  ref = nextRef;
  return found && next == key;
}

bool TIndexStream::FindNext(int32_t maxLength, std::string& key, int32_t& ref) {
  int32_t c = root_;
  if (depth_ > 0) {
    const TPathEntry& top = path_[depth_ - 1];
    c = Child(Page(top.page), top.index);
  }
  while (c != 0) {
    Push(c, 0);
    c = Child(Page(c), 0);
  }
  if (depth_ == 0) return false;
  while (depth_ > 1 && path_[depth_ - 1].index == Page(path_[depth_ - 1].page)[0]) --depth_;
  TPathEntry& top = path_[depth_ - 1];
  const uint8_t* a = Page(top.page);
  if (top.index < a[0]) {
    ++top.index;
    const uint8_t* item = ItemAt(a, top.index);
    const std::string_view k = KeyOf(item);
    key.assign(k.substr(0, static_cast<size_t>(std::max<int32_t>(maxLength, 0))));
    ref = GetI32(item);
    return true;
  }
  depth_ = 0;
  return false;
}

void TIndexStream::Insert(std::string_view key, int32_t ref) {
  depth_ = 0;
  const TItem u{ref, 0, std::string(key.substr(0, static_cast<size_t>(keyLength_)))};
  TItem v;
  if (InsertInto(root_, u, v)) {
    const int32_t q = data_->NewRecord(scratch_.get());
    uint8_t* a = Page(q);
    a[0] = 1;
    SetChild(a, 0, root_);
    PutItem(a, 1, v);
    root_ = q;
  }
  ++keyCount_;
  WriteIndexHeader();
}

// Wirth's insertion: returns true when the subtree grew and v is to be inserted in the parent.
bool TIndexStream::InsertInto(int32_t pageNr, const TItem& u, TItem& v) {
  if (pageNr == 0) {
    v = u;
    v.child = 0;
    return true;
  }
  uint8_t* a = Page(pageNr);
  int32_t R = 0, k = 0;
  if (SearchPage(a, u.key, u.ref, R, k)) throw EIndexStreamError(1100);
  TItem up;
  if (!InsertInto(Child(a, R), u, up)) return false;

  a = Page(pageNr);  // a split below may have moved the memory block
  const int32_t m = a[0];
  if (m < kMaxItems) {
    MoveItems(a, R + 2, a, R + 1, m - R);
    PutItem(a, R + 1, up);
    a[0] = static_cast<uint8_t>(m + 1);
    return false;
  }

  // Split: the page and the new page b get N items each, one item goes up.
  const int32_t bNr = data_->NewRecord(scratch_.get());
  a = Page(pageNr);
  uint8_t* b = Page(bNr);
  if (R <= N) {
    if (R == N) {
      v = up;
    } else {
      v = GetItem(a, N);
      MoveItems(a, R + 2, a, R + 1, N - 1 - R);
      PutItem(a, R + 1, up);
    }
    MoveItems(b, 1, a, N + 1, N);
  } else {
    R -= N;
    v = GetItem(a, N + 1);
    MoveItems(b, 1, a, N + 2, R - 1);
    PutItem(b, R, up);
    MoveItems(b, R + 1, a, N + R + 1, kMaxItems - N - R);
  }
  a[0] = N;
  b[0] = N;
  SetChild(b, 0, v.child);
  v.child = bNr;
  return true;
}

bool TIndexStream::Delete(std::string_view key, int32_t ref) {
  depth_ = 0;
  bool underflow = false;
  if (!DeleteFrom(root_, key, ref, underflow)) return false;
  if (underflow) {
    const uint8_t* a = Page(root_);
    if (a[0] == 0) {
      const int32_t old = root_;
      root_ = Child(a, 0);
      data_->FreeRecord(old);
    }
  }
  --keyCount_;
  WriteIndexHeader();
  return true;
}

// Wirth's deletion: returns whether the key was found and removed; underflow tells the caller
// that page pageNr now holds fewer than N items.
bool TIndexStream::DeleteFrom(int32_t pageNr, std::string_view key, int32_t ref, bool& underflow) {
  underflow = false;
  if (pageNr == 0) return false;
  uint8_t* a = Page(pageNr);
  int32_t R = 0, k = 0;
  const bool match = SearchPage(a, key, ref, R, k);
  const int32_t q = Child(a, R);
  if (match) {
    if (q == 0) {
      const int32_t m = a[0];
      MoveItems(a, k, a, k + 1, m - k);
      a[0] = static_cast<uint8_t>(m - 1);
      underflow = m - 1 < N;
    } else {
      DeleteGreatest(q, pageNr, k, underflow);
      if (underflow) Underflow(pageNr, q, R, underflow);
    }
    return true;
  }
  if (!DeleteFrom(q, key, ref, underflow)) return false;
  if (underflow) Underflow(pageNr, q, R, underflow);
  return true;
}

// Replaces item targetIndex of page targetPage by the greatest item of the subtree pageNr.
void TIndexStream::DeleteGreatest(int32_t pageNr, int32_t targetPage, int32_t targetIndex,
                                  bool& underflow) {
  uint8_t* p = Page(pageNr);
  const int32_t m = p[0];
  const int32_t q = Child(p, m);
  if (q != 0) {
    DeleteGreatest(q, targetPage, targetIndex, underflow);
    if (underflow) Underflow(pageNr, q, Page(pageNr)[0], underflow);
    return;
  }
  uint8_t* a = Page(targetPage);
  const int32_t keepChild = Child(a, targetIndex);
  CopyItem(a, targetIndex, p, m);
  SetChild(a, targetIndex, keepChild);
  p[0] = static_cast<uint8_t>(m - 1);
  underflow = m - 1 < N;
}

void TIndexStream::Underflow(int32_t parentNr, int32_t pageNr, int32_t s, bool& underflow) {
  uint8_t* c = Page(parentNr);
  uint8_t* a = Page(pageNr);
  const int32_t mc = c[0];
  if (s < mc) {
    // Right neighbour b; the separator is item s + 1 of c.
    ++s;
    const int32_t bNr = Child(c, s);
    uint8_t* b = Page(bNr);
    int32_t mb = b[0];
    const int32_t k = (mb - N + 1) / 2;
    CopyItem(a, N, c, s);
    SetChild(a, N, Child(b, 0));
    if (k > 0) {
      MoveItems(a, N + 1, b, 1, k - 1);
      CopyItem(c, s, b, k);
      SetChild(c, s, bNr);
      SetChild(b, 0, Child(b, k));
      mb -= k;
      MoveItems(b, 1, b, k + 1, mb);
      b[0] = static_cast<uint8_t>(mb);
      a[0] = static_cast<uint8_t>(N - 1 + k);
      underflow = false;
    } else {
      MoveItems(a, N + 1, b, 1, N);
      MoveItems(c, s, c, s + 1, mc - s);
      a[0] = kMaxItems;
      c[0] = static_cast<uint8_t>(mc - 1);
      underflow = mc - 1 < N;
      data_->FreeRecord(bNr);
    }
  } else {
    // Left neighbour b; the separator is item s of c.
    const int32_t bNr = Child(c, s - 1);
    uint8_t* b = Page(bNr);
    int32_t mb = b[0] + 1;
    const int32_t k = (mb - N) / 2;
    if (k > 0) {
      MoveItems(a, k + 1, a, 1, N - 1);
      CopyItem(a, k, c, s);
      SetChild(a, k, Child(a, 0));
      mb -= k;
      MoveItems(a, 1, b, mb + 1, k - 1);
      SetChild(a, 0, Child(b, mb));
      CopyItem(c, s, b, mb);
      SetChild(c, s, pageNr);
      b[0] = static_cast<uint8_t>(mb - 1);
      a[0] = static_cast<uint8_t>(N - 1 + k);
      underflow = false;
    } else {
      CopyItem(b, mb, c, s);
      SetChild(b, mb, Child(a, 0));
      MoveItems(b, mb + 1, a, 1, N - 1);
      b[0] = kMaxItems;
      c[0] = static_cast<uint8_t>(mc - 1);
      underflow = mc - 1 < N;
      data_->FreeRecord(pageNr);
    }
  }
}

int32_t TIndexStream::PageItemCount(int32_t page) { return Page(page)[0]; }

int32_t TIndexStream::PageChild(int32_t page, int32_t i) {
  if (i < 0 || i > kMaxItems) throw std::out_of_range("TIndexStream: item number out of range");
  return Child(Page(page), i);
}

std::string TIndexStream::PageKey(int32_t page, int32_t i) {
  if (i < 1 || i > kMaxItems) throw std::out_of_range("TIndexStream: item number out of range");
  return std::string(KeyOf(ItemAt(Page(page), i)));
}

int32_t TIndexStream::PageRef(int32_t page, int32_t i) {
  if (i < 1 || i > kMaxItems) throw std::out_of_range("TIndexStream: item number out of range");
  return GetI32(ItemAt(Page(page), i));
}

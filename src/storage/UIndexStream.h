#pragma once
// In-memory record store with a free list (TDataStream on a TDynMemoryStream) and the read-write
// B-tree index of order 40 on top of it (TIndexStream). The notes file keeps its call-sign index
// here; nothing in it touches the disk.
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

// A growable memory block with a position, read and written like a file. Capacity grows in
// doubling steps (4 KB, 8 KB, ... up to 16 MB per growth) so that adding pages one by one
// reallocates rarely. Any write that grows the block may move it: pointers from Memory() are
// only valid until the next growing write.
class TDynMemoryStream {
 public:
  enum TSeekOrigin { soBeginning, soCurrent, soEnd };

  // An initial capacity above 1,000,000 bytes is reserved at once and growth starts at 8 MB steps.
  explicit TDynMemoryStream(int64_t initialCapacity = 0);
  ~TDynMemoryStream();
  TDynMemoryStream(const TDynMemoryStream&) = delete;
  TDynMemoryStream& operator=(const TDynMemoryStream&) = delete;

  // Reads up to count bytes at the position; returns the number read (short at the end).
  int64_t Read(void* buffer, int64_t count);
  // Writes count bytes at the position, growing the stream (a gap past the end reads as zeros).
  int64_t Write(const void* buffer, int64_t count);
  int64_t Seek(int64_t offset, TSeekOrigin origin);

  int64_t Position() const { return position_; }
  int64_t Size() const { return size_; }
  void SetSize(int64_t newSize);
  int64_t Capacity() const { return capacity_; }
  int32_t GrowthSteps() const { return growthSteps_; }
  uint8_t* Memory() { return memory_; }
  const uint8_t* Memory() const { return memory_; }

 private:
  static constexpr int64_t kBlockSize = 8192;
  // Makes room for at least needed bytes.
  void Grow(int64_t needed);
  void SetCapacity(int64_t newCapacity);

  uint8_t* memory_ = nullptr;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
  int64_t position_ = 0;
  int32_t growthSteps_ = 0;
};

// Fixed-size records numbered from 1 with a free list, after a 75-byte header and an optional
// user header. Each slot is a 4-byte mark (RecordInUse, or the next free record number) followed
// by the payload. Failures throw std::runtime_error with the store's messages.
class TDataStream {
 public:
  static constexpr int32_t RecordInUse = -2;
  static constexpr int32_t kHeaderSize = 75;

  TDataStream(int32_t recordSize, int64_t initialCapacity);
  ~TDataStream();
  TDataStream(const TDataStream&) = delete;
  TDataStream& operator=(const TDataStream&) = delete;

  // Allowed only while no record was ever allocated.
  void SetHeaderSize(int32_t size);
  void ReadUserHeader(void* buffer);
  void WriteUserHeader(const void* buffer);

  // Payload of record n (exactly RecordSize() bytes).
  void Read(int32_t n, void* buffer);
  void Write(int32_t n, const void* buffer);
  int32_t ReadLink(int32_t n);
  void WriteLink(int32_t n, int32_t value);

  // Takes the last freed record, else a new one at the end; writes buffer into it.
  int32_t NewRecord(const void* buffer);
  void FreeRecord(int32_t n);
  // Address of record n's payload in the memory block. Invalid after the next NewRecord.
  uint8_t* DirectMemAccess(int32_t n);

  int32_t RecordSize() const { return recordSize_; }
  int32_t UserHeaderSize() const { return userHeaderSize_; }
  int32_t RecordCount() const { return recordCount_; }
  int32_t FreeCount() const { return freeCount_; }
  int32_t FreeHead() const { return freeHead_; }
  // Byte position of record n's mark in the stream.
  int64_t RecordPosition(int32_t n) const;
  const TDynMemoryStream& Stream() const { return *stream_; }

 private:
  void WriteHeader();
  void CheckRecordNumber(int32_t n, const char* operation) const;

  std::unique_ptr<TDynMemoryStream> stream_;
  bool memStream_ = true;  // DirectMemAccess is allowed
  int32_t recordSize_ = 0;
  int32_t userHeaderSize_ = 0;
  int32_t recordCount_ = 0;
  int32_t freeCount_ = 0;
  int32_t freeHead_ = -1;
};

// Failure of the B-tree; what() is the fixed message of the code.
class EIndexStreamError : public std::runtime_error {
 public:
  explicit EIndexStreamError(int32_t code);
  int32_t Code() const { return code_; }
  static std::string MessageOf(int32_t code);

 private:
  int32_t code_;
};

// Read-write B-tree of order 40 mapping keys of at most KeyLength() bytes to 32-bit references.
// Keys compare as unsigned bytes, a proper prefix first; with duplicates allowed, equal keys are
// ordered by reference. Pages live in a TDataStream in memory and are changed in place.
class TIndexStream {
 public:
  static constexpr int32_t N = 40;             // minimum items of a page other than the root
  static constexpr int32_t kMaxItems = 2 * N;  // items per page
  static constexpr int32_t kMaxKeyLen = 255;
  static constexpr int32_t kMaxDepth = 8;
  static constexpr int32_t kIndexHeaderSize = 26;

  TIndexStream(int32_t keyLength, int64_t initialCapacity, bool duplicates);
  ~TIndexStream();
  TIndexStream(const TIndexStream&) = delete;
  TIndexStream& operator=(const TIndexStream&) = delete;

  // The key is cut to KeyLength() bytes. Throws EIndexStreamError 1100 when the key exists in a
  // unique index; the tree is then unchanged.
  void Insert(std::string_view key, int32_t ref);
  // Removes the item with that key (and, with duplicates, that reference). Returns false and
  // changes nothing when there is none. The key is not cut, like Find's.
  bool Delete(std::string_view key, int32_t ref);
  // Exact search; with duplicates the first item of the key. Leaves the cursor on the item found,
  // or just before the smallest greater key.
  bool Find(std::string_view key, int32_t& ref);
  // Steps the cursor to the next item; the key is cut to maxLength bytes. From no position (a
  // fresh index, after Insert or Delete, or after the last item) it starts at the smallest key.
  bool FindNext(int32_t maxLength, std::string& key, int32_t& ref);

  int32_t KeyLength() const { return keyLength_; }
  bool Duplicates() const { return duplicates_; }
  int32_t KeyCount() const { return keyCount_; }
  int32_t RootPage() const { return root_; }
  int32_t PageSize() const { return pageSize_; }
  int32_t Depth() const { return depth_; }
  const TDataStream& Store() const { return *data_; }

  // Read-only view of page p for checks: item count, child (0 = leftmost), key and reference of
  // item i (1-based).
  int32_t PageItemCount(int32_t page);
  int32_t PageChild(int32_t page, int32_t i);
  std::string PageKey(int32_t page, int32_t i);
  int32_t PageRef(int32_t page, int32_t i);

 private:
  struct TPathEntry {
    int32_t page = 0;
    int32_t index = 0;
  };
  // An item outside a page: reference, child, length byte and key bytes.
  struct TItem {
    int32_t ref = 0;
    int32_t child = 0;
    std::string key;
  };

  uint8_t* Page(int32_t n);
  uint8_t* ItemAt(uint8_t* page, int32_t i) const;
  const uint8_t* ItemAt(const uint8_t* page, int32_t i) const;
  // Child of item i; i = 0 is the leftmost child.
  int32_t Child(const uint8_t* page, int32_t i) const;
  void SetChild(uint8_t* page, int32_t i, int32_t child) const;
  TItem GetItem(const uint8_t* page, int32_t i) const;
  void PutItem(uint8_t* page, int32_t i, const TItem& item) const;
  void CopyItem(uint8_t* to, int32_t ti, const uint8_t* from, int32_t fi) const;
  // Moves count items within or between pages (ranges may overlap).
  void MoveItems(uint8_t* to, int32_t ti, const uint8_t* from, int32_t fi, int32_t count) const;
  std::string_view KeyOf(const uint8_t* item) const;
  int Compare(std::string_view k1, std::string_view k2, int32_t r1, int32_t r2) const;
  // Binary search of a page: L, R as in the page search; true when item k matched.
  bool SearchPage(const uint8_t* page, std::string_view key, int32_t ref, int32_t& R,
                  int32_t& k) const;
  void Push(int32_t page, int32_t index);
  void WriteIndexHeader();

  bool InsertInto(int32_t pageNr, const TItem& u, TItem& v);
  bool DeleteFrom(int32_t pageNr, std::string_view key, int32_t ref, bool& underflow);
  void DeleteGreatest(int32_t pageNr, int32_t targetPage, int32_t targetIndex, bool& underflow);
  // Repairs page pageNr (one item short) at position s under parent parentNr.
  void Underflow(int32_t parentNr, int32_t pageNr, int32_t s, bool& underflow);

  std::unique_ptr<TDataStream> data_;
  int32_t keyLength_ = 0;
  bool duplicates_ = false;
  int32_t keyCount_ = 0;
  int32_t pageSize_ = 0;
  int32_t itemSize_ = 0;
  int32_t root_ = 0;
  std::array<TPathEntry, kMaxDepth> path_{};
  int32_t depth_ = 0;
  std::unique_ptr<uint8_t[]> scratch_;  // zeroed; initial content of every new page
};

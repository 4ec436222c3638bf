#pragma once
// Word lists of the text search: the word index (.idx, long-key index of key length 15, unique)
// with its reference file (.vws: per word a 32-bit count followed by that many ascending entry
// references), and the reference lists read from it and combined in memory.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/UEntry.h"
#include "storage/UIndexEngine.h"

constexpr int kWordKeyLen = 15;
// File mode of the word lists: read access, deny write to others.
constexpr int kWordListFileMode = 32;

inline constexpr const char* kIntlWordIndexName = "data\\intlwort.idx";
inline constexpr const char* kIntlWordRefName = "data\\intlwort.vws";
inline constexpr const char* kUSWordIndexName = "data\\uswort.idx";
inline constexpr const char* kUSWordRefName = "data\\uswort.vws";

// An untyped file of bytes. Every operation sets the last error code from its I/O result.
// File mode: the low two bits select the access (0 read, 1 write, 2 read and write); the sharing
// bits are accepted and not enforced.
class TPlainFile {
 public:
  TPlainFile() = default;
  TPlainFile(const TPlainFile&) = delete;
  TPlainFile& operator=(const TPlainFile&) = delete;

  // With create set the file is first made empty.
  bool Open(const std::string& name, int fileMode, bool create);
  bool Close();
  bool IsOpen() const { return fd_.IsOpen(); }
  const std::string& Name() const { return name_; }
  // Exactly count bytes at position; a short read fails with code 100.
  bool ReadAt(int64_t position, int64_t count, void* buffer);
  bool WriteAt(int64_t position, int64_t count, const void* buffer);

 private:
  TFd fd_;
  std::string name_;
};

class ECreationFailed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Word list of one database: the reference file and the word index.
class TWortListe {
 public:
  // Opens both files; throws ECreationFailed ("<code>: <text of the code>") when either fails.
  TWortListe(const std::string& indexFileName, int fileMode, const std::string& refFileName);
  // Closes both files; the last error code is the same afterwards as before.
  ~TWortListe();
  TWortListe(const TWortListe&) = delete;
  TWortListe& operator=(const TWortListe&) = delete;

  bool Ready() const { return ready_; }
  // Exact look-up of the word's first 15 characters. On a miss the cursor stands so that Next
  // yields the first greater word.
  bool Find(std::string_view word, bool& found, int32_t& ref);
  bool Next(bool& found, std::string& word, int32_t& ref);
  bool Prev(bool& found, std::string& word, int32_t& ref);

  TPlainFile& RefFile() { return refFile_; }

 private:
  bool ready_ = false;
  TPlainFile refFile_;
  TIndexCtl index_;
};

// Opens the word list of a database from the data set ("data\intlwort.idx" ...); nullptr and the
// text of the error message box ("Can't open IntlWordList: 2 (File not found)") on failure.
std::unique_ptr<TWortListe> OpenWordList(TDatabase db, std::string& message);

// Reference list: positions 1..count.
class TAllgVerweisListe {
 public:
  virtual ~TAllgVerweisListe() = default;
  virtual int32_t GetCount() const { return count_; }
  virtual void SetCount(int32_t n) { count_ = n; }
  virtual int32_t GetItem(int32_t i) = 0;
  virtual void SetItem(int32_t i, int32_t value) = 0;
  virtual void Add(int32_t value);
  // Binary search; the list must be ascending.
  bool Contains(int32_t value);

 protected:
  int32_t count_ = 0;
};

// One word's list in the reference file, read on demand.
class TWortVerweisListe : public TAllgVerweisListe {
 public:
  // Reads the count at r; a failed read (or a negative count) leaves it 0.
  TWortVerweisListe(TWortListe& list, int32_t r);
  // The number at r + 4 i; -1 (last error code set) when the read fails or i is outside 1..count.
  int32_t GetItem(int32_t i) override;
  // Writes at r + 4 i; fails on the read-only reference file (nothing calls it in normal use).
  void SetItem(int32_t i, int32_t value) override;
  // Items first..first + n - 1 into buffer, with one read.
  virtual bool ReadItems(int32_t first, int32_t n, int32_t* buffer);

  int32_t Start() const { return start_; }
  // Reads from the reference file since the list was made (the count read not included).
  uint64_t FileReads() const { return fileReads_; }

 private:
  TWortListe& list_;
  int32_t start_;
  uint64_t fileReads_ = 0;
};

// A list in memory in blocks of 5000 references; the block table grows as needed, existing items
// never move.
class TFinalVerweisListe : public TAllgVerweisListe {
 public:
  static constexpr int32_t kBlockSize = 5000;

  TFinalVerweisListe();
  ~TFinalVerweisListe() override;
  // -1 outside 1..count.
  int32_t GetItem(int32_t i) override;
  // Ignored outside 1..count.
  void SetItem(int32_t i, int32_t value) override;
  void SetCount(int32_t n) override;
  // The slot of item count + 1 and the free slots from there to the end of its block.
  int32_t* GetAppendBuffer(int32_t& freeSlots);
  void CommitAppended(int32_t n);

  size_t BlockCount() const { return blocks_.size(); }

 private:
  int32_t* Block(size_t b);
  std::vector<std::unique_ptr<int32_t[]>> blocks_;
};

// Copies a word reference list into a final list with one file read per block of 5000; false
// (last error code set) when a read fails, with the chunks read before it appended.
bool CopyToFinal(TWortVerweisListe& source, TFinalVerweisListe& dest);

#include "textsearch/Dbwort.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/IOUtil.h"
#include "common/ULittleEndian.h"
#include "dataset/UDataSet.h"

namespace {

int FailWithErrno() {
  const int code = IOCodeFromErrno(errno);
  SetLastErrorCode(code);
  return code;
}

std::string CodeAndText(int code) { return std::to_string(code) + ": " + RunErrorText(code); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TPlainFile

bool TPlainFile::Open(const std::string& name, int fileMode, bool create) {
  fd_.Close();
  name_ = name;
  if (create) {
    TFd made(::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!made.IsOpen()) {
      FailWithErrno();
      return false;
    }
  }
  int flags = O_RDONLY;
  if ((fileMode & 3) == 1) flags = O_WRONLY;
  if ((fileMode & 3) == 2) flags = O_RDWR;
  TFd fd(::open(name.c_str(), flags | O_CLOEXEC));
  if (!fd.IsOpen()) {
    FailWithErrno();
    return false;
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastErrorCode(5);
    return false;
  }
  fd_ = std::move(fd);
  SetLastErrorCode(0);
  return true;
}

bool TPlainFile::Close() { return fd_.CloseFile(); }

bool TPlainFile::ReadAt(int64_t position, int64_t count, void* buffer) {
  if (!fd_.CheckPositioned(position, count)) return false;
  const int64_t got = PreadFull(fd_.Get(), buffer, count, position);
  if (got < 0) {
    FailWithErrno();
    return false;
  }
  if (got < count) {
    SetLastErrorCode(100);
    return false;
  }
  SetLastErrorCode(0);
  return true;
}

bool TPlainFile::WriteAt(int64_t position, int64_t count, const void* buffer) {
  if (!fd_.CheckPositioned(position, count)) return false;
  if (!PwriteFull(fd_.Get(), buffer, count, position)) {
    // A file opened for reading only reports "not open for output".
    if (errno == EBADF) {
      SetLastErrorCode(105);
      return false;
    }
    FailWithErrno();
    return false;
  }
  SetLastErrorCode(0);
  return true;
}

// ---------------------------------------------------------------------------------------------
// TWortListe

TWortListe::TWortListe(const std::string& indexFileName, int fileMode,
                       const std::string& refFileName) {
  if (!refFile_.Open(refFileName, fileMode, false))
    throw ECreationFailed(CodeAndText(LastErrorCode()));
  if (!LongKeyEngine().OpenIndex(index_, indexFileName, kWordKeyLen, false)) {
    const int code = LastErrorCode();
    refFile_.Close();
    SetLastErrorCode(code);
    throw ECreationFailed(CodeAndText(code));
  }
  ready_ = true;
}

TWortListe::~TWortListe() {
  const int saved = LastErrorCode();
  if (index_.file.IsOpen()) LongKeyEngine().CloseIndex(index_);
  if (refFile_.IsOpen()) refFile_.Close();
  SetLastErrorCode(saved);
}

bool TWortListe::Find(std::string_view word, bool& found, int32_t& ref) {
  return LongKeyEngine().FindKey(index_, word.substr(0, kWordKeyLen), found, ref);
}

bool TWortListe::Next(bool& found, std::string& word, int32_t& ref) {
  return LongKeyEngine().FindNext(index_, found, word, ref);
}

bool TWortListe::Prev(bool& found, std::string& word, int32_t& ref) {
  return LongKeyEngine().FindPrev(index_, found, word, ref);
}

std::unique_ptr<TWortListe> OpenWordList(TDatabase db, std::string& message) {
  message.clear();
  const bool us = db == TDatabase::US;
  try {
    return std::make_unique<TWortListe>(DataSetPath(us ? kUSWordIndexName : kIntlWordIndexName),
                                        kWordListFileMode,
                                        DataSetPath(us ? kUSWordRefName : kIntlWordRefName));
  } catch (const ECreationFailed&) {
    const int code = LastErrorCode();
    message = std::string(us ? "Can't open USWordList: " : "Can't open IntlWordList: ") +
              std::to_string(code) + " (" + RunErrorText(code) + ")";
    return nullptr;
  }
}

// ---------------------------------------------------------------------------------------------
// Reference lists

void TAllgVerweisListe::Add(int32_t value) {
  SetCount(GetCount() + 1);
  SetItem(GetCount(), value);
}

bool TAllgVerweisListe::Contains(int32_t value) {
  // In 64 bits: a damaged reference file may hold a count of INT32_MAX, and mid + 1 must not
  // overflow.
  int64_t low = 1, high = GetCount();
  while (low <= high) {
    const int64_t mid = low + (high - low) / 2;
    const int32_t item = GetItem(static_cast<int32_t>(mid));
    if (item == value) return true;
    if (value < item)
      high = mid - 1;
    else
      low = mid + 1;
  }
  return false;
}

TWortVerweisListe::TWortVerweisListe(TWortListe& list, int32_t r) : list_(list), start_(r) {
  uint8_t b[4];
  if (list_.RefFile().ReadAt(r, 4, b)) count_ = std::max<int32_t>(0, GetI32(b));
}

int32_t TWortVerweisListe::GetItem(int32_t i) {
  if (i < 1 || i > count_) {
    SetLastErrorCode(201);
    return -1;
  }
  uint8_t b[4];
  ++fileReads_;
  if (!list_.RefFile().ReadAt(static_cast<int64_t>(start_) + 4 * static_cast<int64_t>(i), 4, b))
    return -1;
  return GetI32(b);
}

void TWortVerweisListe::SetItem(int32_t i, int32_t value) {
  if (i < 1 || i > count_) return;
  uint8_t b[4];
  PutI32(b, value);
  list_.RefFile().WriteAt(static_cast<int64_t>(start_) + 4 * static_cast<int64_t>(i), 4, b);
}

bool TWortVerweisListe::ReadItems(int32_t first, int32_t n, int32_t* buffer) {
  if (n <= 0) return true;
  if (first < 1 || static_cast<int64_t>(first) + n - 1 > count_) {
    SetLastErrorCode(201);
    return false;
  }
  ++fileReads_;
  auto* bytes = reinterpret_cast<uint8_t*>(buffer);
  if (!list_.RefFile().ReadAt(static_cast<int64_t>(start_) + 4 * static_cast<int64_t>(first),
                              4 * static_cast<int64_t>(n), bytes))
    return false;
  // The file is little-endian; decode in place (a no-op copy on little-endian machines).
  for (int32_t k = 0; k < n; ++k) {
    int32_t v = GetI32(bytes + 4 * static_cast<size_t>(k));
    std::memcpy(buffer + k, &v, 4);
  }
  return true;
}

TFinalVerweisListe::TFinalVerweisListe() { Block(0); }

TFinalVerweisListe::~TFinalVerweisListe() = default;

int32_t* TFinalVerweisListe::Block(size_t b) {
  if (b >= blocks_.size()) blocks_.resize(b + 1);
  if (!blocks_[b]) blocks_[b] = std::make_unique<int32_t[]>(kBlockSize);  // zeroed
  return blocks_[b].get();
}

int32_t TFinalVerweisListe::GetItem(int32_t i) {
  if (i < 1 || i > count_) return -1;
  const auto b = static_cast<size_t>((i - 1) / kBlockSize);
  if (b >= blocks_.size() || !blocks_[b]) return 0;  // counted by SetCount, never stored
  return blocks_[b][static_cast<size_t>((i - 1) % kBlockSize)];
}

void TFinalVerweisListe::SetItem(int32_t i, int32_t value) {
  if (i < 1 || i > count_) return;
  Block(static_cast<size_t>((i - 1) / kBlockSize))[(i - 1) % kBlockSize] = value;
}

void TFinalVerweisListe::SetCount(int32_t n) { count_ = std::max<int32_t>(0, n); }

int32_t* TFinalVerweisListe::GetAppendBuffer(int32_t& freeSlots) {
  freeSlots = kBlockSize - count_ % kBlockSize;
  return Block(static_cast<size_t>(count_ / kBlockSize)) + count_ % kBlockSize;
}

void TFinalVerweisListe::CommitAppended(int32_t n) {
  if (n > 0) count_ += std::min(n, kBlockSize - count_ % kBlockSize);
}

bool CopyToFinal(TWortVerweisListe& source, TFinalVerweisListe& dest) {
  const int32_t total = source.GetCount();
  for (int32_t a = 1; a <= total;) {
    int32_t freeSlots = 0;
    int32_t* buffer = dest.GetAppendBuffer(freeSlots);
    const int32_t n = std::clamp(total - a + 1, 1, freeSlots);
    if (!source.ReadItems(a, n, buffer)) return false;
    dest.CommitAppended(n);
    a += n;
  }
  return true;
}

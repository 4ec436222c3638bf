#include "notes/UNotesIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "common/ULittleEndian.h"
#include "dataset/UEntry.h"
#include "storage/UIndexStream.h"

namespace {

// Header fields.
constexpr int kOpenFlagPos = 1;
constexpr int kFreeHeadPos = 2;
constexpr int kVersionPos = 6;
constexpr int kIdPos = 10;
constexpr int kIdLen = 14;
// Entry record fields.
constexpr int kCallPos = 1;
constexpr int kTextPos = 8;

constexpr int32_t kIndexCapacity = 100000;
// Records read at a time while building the index.
constexpr int32_t kScanChunk = 256;

std::string IOErrorMessage(int code) {
  std::string text = RunErrorText(code);
  if (text.empty()) text = "I/O error";
  return text + " (I/O error " + std::to_string(code) + ")";
}

[[noreturn]] void ThrowErrno(int err) { throw ENotesIOError(IOCodeFromErrno(err)); }

std::string StoredText(const uint8_t* p, int maxLen) {
  const int len = std::min<int>(p[0], maxLen);
  return std::string(reinterpret_cast<const char*>(p + 1), static_cast<size_t>(len));
}

void PutText(uint8_t* p, std::string_view s, size_t maxLen) {
  const size_t len = std::min(s.size(), maxLen);
  p[0] = static_cast<uint8_t>(len);
  std::memcpy(p + 1, s.data(), len);
}

}  // namespace

ENotesIOError::ENotesIOError(int code) : std::runtime_error(IOErrorMessage(code)), code_(code) {}

ENotesIOError::ENotesIOError(int code, const std::string& message)
    : std::runtime_error(message), code_(code) {}

TNotes::TNotes(const std::string& fileName) : fileName_(fileName) {
  try {
    Open();
  } catch (...) {
    CloseFile();
    throw;
  }
}

TNotes::~TNotes() { CloseFile(); }

void TNotes::CloseFile() {
  if (!fd_.IsOpen()) return;
  if (openedCompletely_) {
    header_[kOpenFlagPos] = 0;
    // Errors while closing are ignored: the flag is informational only.
    (void)PwriteFull(fd_.Get(), header_.data(), kRecordSize, 0);
    (void)::fdatasync(fd_.Get());
    openedCompletely_ = false;
  }
  fd_.Close();  // also releases the lock
}

void TNotes::Open() {
  fd_ = TFd(::open(fileName_.c_str(), O_RDWR | O_CLOEXEC));
  if (!fd_.IsOpen() && errno == ENOENT) {
    fd_ = TFd(::open(fileName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd_.IsOpen() && errno == EEXIST) fd_ = TFd(::open(fileName_.c_str(), O_RDWR | O_CLOEXEC));
    // Creating fails with "no such file" only when a directory on the way is missing.
    if (!fd_.IsOpen() && errno == ENOENT) throw ENotesIOError(3);
  }
  if (!fd_.IsOpen()) ThrowErrno(errno);

  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0) ThrowErrno(errno);
  if (!S_ISREG(st.st_mode)) throw ENotesIOError(5, "The notes file is not a regular file");

  Lock();
  // Size under the lock: a creator that was not done yet has finished now.
  if (::fstat(fd_.Get(), &st) != 0) ThrowErrno(errno);

  if (st.st_size == 0) {
    // A new file (or an empty one, which holds no notes): write the header.
    header_.fill(0);
    PutI32(header_.data() + kFreeHeadPos, 0);
    PutI32(header_.data() + kVersionPos, kFileVersion);
    header_[kIdPos] = kIdLen;
    std::memcpy(header_.data() + kIdPos + 1, kFileId, kIdLen);
    WriteHeader();
    Sync();
    st.st_size = kRecordSize;
  }

  // Record 0; a file shorter than the id is of another kind.
  header_.fill(0);
  const int64_t got = PreadFull(fd_.Get(), header_.data(), kRecordSize, 0);
  if (got < 0) ThrowErrno(errno);
  if (got < kIdPos + 1 + kIdLen || header_[kIdPos] != kIdLen ||
      std::memcmp(header_.data() + kIdPos + 1, kFileId, kIdLen) != 0)
    throw std::runtime_error("Notes file has wrong file id");
  if (GetI32(header_.data() + kVersionPos) != kFileVersion)
    throw std::runtime_error("Notes file has wrong file version");
  if (got < kRecordSize) throw ENotesIOError(100);

  // A torn last record (the file size not a multiple of 256) is ignored and overwritten by the
  // next append.
  const int64_t records = st.st_size / kRecordSize;
  if (records > INT32_MAX) throw ENotesIOError(100);
  recordCount_ = static_cast<int32_t>(records);

  freeHead_ = GetI32(header_.data() + kFreeHeadPos);
  header_[kOpenFlagPos] = 1;
  WriteHeader();
  openedCompletely_ = true;

  BuildIndex();
}

void TNotes::Lock() {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  // Open-file-description locks also keep a second opening within this program out, and are not
  // dropped when some other descriptor of the file is closed.
  int rc = ::fcntl(fd_.Get(), F_OFD_SETLK, &fl);
  if (rc != 0 && errno == EINVAL) rc = ::fcntl(fd_.Get(), F_SETLK, &fl);
  if (rc == 0) return;
  if (errno == EAGAIN || errno == EACCES)
    throw ENotesIOError(5, "The notes file is in use by another program (I/O error 5)");
  throw ENotesIOError(5, std::string("The notes file cannot be locked: ") + std::strerror(errno) +
                             " (I/O error 5)");
}

void TNotes::BuildIndex() {
  index_ = std::make_unique<TIndexStream>(kMaxCallLen, kIndexCapacity, false);
  std::vector<int32_t> freeRecords, links;  // in file order
  std::string chunk;
  for (int32_t first = 1; first < recordCount_; first += kScanChunk) {
    const int32_t count = std::min(kScanChunk, recordCount_ - first);
    chunk.resize(static_cast<size_t>(count) * kRecordSize);
    const int64_t offset = int64_t{first} * kRecordSize;
    const int64_t got =
        PreadFull(fd_.Get(), chunk.data(), static_cast<int64_t>(chunk.size()), offset);
    if (got < 0) ThrowErrno(errno);
    if (got < static_cast<int64_t>(chunk.size())) throw ENotesIOError(100);
    for (int32_t i = 0; i < count; ++i) {
      const auto* rec = reinterpret_cast<const uint8_t*>(chunk.data()) + size_t(i) * kRecordSize;
      if (rec[0] == kStatusFree) {
        freeRecords.push_back(first + i);
        links.push_back(GetI32(rec + kCallPos));
      }
      if (rec[0] != kStatusInUse) continue;
      index_->Insert(AsciiLower(StoredText(rec + kCallPos, kMaxCallLen)), first + i);
    }
  }
  RepairFreeList(freeRecords, links);
}

void TNotes::RepairFreeList(const std::vector<int32_t>& freeRecords,
                            const std::vector<int32_t>& links) {
  // The free list must lead through every free record exactly once. A program ended between
  // freeing a record and linking it (or between unlinking and filling it) leaves a free record
  // outside the list; damage may leave a list that loops or leads into a note.
  const auto linkOf = [&](int32_t n) -> int32_t {
    const auto it = std::lower_bound(freeRecords.begin(), freeRecords.end(), n);
    if (it == freeRecords.end() || *it != n) return -1;  // not a free record
    return links[static_cast<size_t>(it - freeRecords.begin())];
  };
  size_t steps = 0;
  bool sound = true;
  for (int32_t n = freeHead_; n != 0; n = linkOf(n)) {
    if (n < 0 || ++steps > freeRecords.size()) {
      sound = false;
      break;
    }
  }
  if (sound && steps == freeRecords.size()) return;
  // Relinked in file order; the header last, so that a program ended on the way leaves
  // records free (and relinked at the next opening), never a list into a note.
  int32_t next = 0;
  TRecord buf;
  for (size_t i = freeRecords.size(); i-- > 0;) {
    buf.fill(0);
    buf[0] = kStatusFree;
    PutI32(buf.data() + kCallPos, next);
    WriteRecord(freeRecords[i], buf);
    next = freeRecords[i];
  }
  SetFreeHead(next);
  Sync();
}

void TNotes::ReadRecord(int32_t n, TRecord& buf) {
  const int64_t offset = int64_t{n} * kRecordSize;
  const int64_t got = PreadFull(fd_.Get(), buf.data(), static_cast<int64_t>(buf.size()), offset);
  if (got < 0) ThrowErrno(errno);
  if (got < static_cast<int64_t>(buf.size())) throw ENotesIOError(100);
}

void TNotes::WriteRecord(int32_t n, const TRecord& buf) {
  const int64_t offset = int64_t{n} * kRecordSize;
  if (!PwriteFull(fd_.Get(), buf.data(), static_cast<int64_t>(buf.size()), offset))
    ThrowErrno(errno == EIO ? ENOSPC : errno);
}

void TNotes::Sync() {
  if (::fdatasync(fd_.Get()) != 0 && errno != EINVAL) ThrowErrno(errno);
}

void TNotes::WriteHeader() { WriteRecord(0, header_); }

void TNotes::SetFreeHead(int32_t head) {
  TRecord h = header_;
  PutI32(h.data() + kFreeHeadPos, head);
  WriteRecord(0, h);
  header_ = h;
  freeHead_ = head;
}

int32_t TNotes::TakeFreeRecord() {
  if (freeHead_ == 0) return 0;
  const int32_t n = freeHead_;
  if (n < 1 || n >= recordCount_) {
    SetFreeHead(0);
    return 0;
  }
  TRecord rec;
  ReadRecord(n, rec);
  if (rec[0] != kStatusFree) {
    SetFreeHead(0);
    return 0;
  }
  SetFreeHead(GetI32(rec.data() + kCallPos));
  return n;
}

int32_t TNotes::NoteCount() const { return index_ ? index_->KeyCount() : 0; }

bool TNotes::HasNote(std::string_view call) {
  try {
    int32_t n = 0;
    return index_->Find(NormaliseCall(call), n);
  } catch (...) {
    return false;
  }
}

bool TNotes::ReadNote(std::string_view call, TNoteRec& rec) {
  const std::string key = NormaliseCall(call);
  rec = TNoteRec{};
  int32_t n = 0;
  if (!index_->Find(key, n)) return false;
  TRecord buf;
  ReadRecord(n, buf);
  if (buf[0] != kStatusInUse) throw std::runtime_error("File korrupt: Entry is not in use");
  rec.Status = buf[0];
  rec.Call = StoredText(buf.data() + kCallPos, kMaxCallLen);
  rec.Text = StoredText(buf.data() + kTextPos, kMaxTextLen);
  return true;
}

void TNotes::SaveNote(const TNoteRec& rec) {
  const std::string call = NormaliseCall(rec.Call);
  TRecord buf{};
  buf[0] = kStatusInUse;
  PutText(buf.data() + kCallPos, call, kMaxCallLen);
  PutText(buf.data() + kTextPos, rec.Text, kMaxTextLen);

  int32_t n = 0;
  if (index_->Find(call, n)) {
    WriteRecord(n, buf);
    Sync();
    return;
  }
  // A new note is written whole before the index knows it; a failed append leaves at most a
  // torn record past the last one, which the next opening ignores.
  n = TakeFreeRecord();
  if (n == 0) {
    n = recordCount_;
    WriteRecord(n, buf);
    ++recordCount_;
  } else {
    WriteRecord(n, buf);
  }
  index_->Insert(call, n);
  Sync();
}

void TNotes::DeleteNote(std::string_view call) {
  const std::string key = NormaliseCall(call);
  int32_t n = 0;
  if (!index_->Find(key, n)) return;
  TRecord buf;
  ReadRecord(n, buf);
  // Linking a record that is already free would put it on the free list twice.
  if (buf[0] != kStatusInUse) throw std::runtime_error("File korrupt: Entry is not in use");
  // The freed record keeps nothing of the note.
  buf.fill(0);
  buf[0] = kStatusFree;
  PutI32(buf.data() + kCallPos, freeHead_);
  WriteRecord(n, buf);
  index_->Delete(key, n);
  SetFreeHead(n);
  Sync();
}

#include "builder/UEditionWriter.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "builder/ULabelTemplates.h"
#include "builder/UProgressFeed.h"
#include "builder/UWordIndexWriter.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/UEntityFile.h"
#include "storage/UIndexWriter.h"

namespace {

constexpr const char* kStageSuffix = ".partial";

std::string IOText(int code) {
  const std::string text = RunErrorText(code);
  return ErrorCodeText(code) + (text.empty() ? "" : " (" + text + ")");
}

std::string ErrnoText(int err) { return std::strerror(err); }

// A file written under its staging name: sequentially through a buffer, or at given offsets
// (several writers may fill separate regions, from separate threads).
class TStagedFile {
 public:
  explicit TStagedFile(std::string path)
      : path_(std::move(path)),
        fd_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
    if (!fd_.IsOpen())
      throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                              "cannot create " + path_ + ": " + ErrnoText(errno)));
  }

  void WriteAt(int64_t offset, const char* p, size_t n) const {
    if (!PwriteFull(fd_.Get(), p, static_cast<int64_t>(n), offset))
      throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                              "cannot write " + path_ + ": " + ErrnoText(errno)));
  }

  void Finish() {
    if (::fsync(fd_.Get()) != 0)
      throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                              "cannot write " + path_ + ": " + ErrnoText(errno)));
    if (const int err = fd_.Close(); err != 0)
      throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                              "cannot write " + path_ + ": " + ErrnoText(err)));
  }

 private:
  std::string path_;
  TFd fd_;
};

// Buffered writing of a region of a staged file, from its start offset on.
class TRegionWriter {
 public:
  TRegionWriter(const TStagedFile& file, int64_t start) : file_(file), at_(start) {
    buffer_.reserve(kBufferSize);
  }
  void Write(const void* data, size_t n) {
    if (buffer_.size() + n > kBufferSize) Flush();
    buffer_.append(static_cast<const char*>(data), n);
  }
  void Write(std::string_view s) { Write(s.data(), s.size()); }
  void WriteI32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    const char b[4] = {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16),
                       static_cast<char>(u >> 24)};
    Write(b, 4);
  }
  // Offset of the next byte.
  int64_t Position() const { return at_ + static_cast<int64_t>(buffer_.size()); }
  void Flush() {
    file_.WriteAt(at_, buffer_.data(), buffer_.size());
    at_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
  }

 private:
  static constexpr size_t kBufferSize = 1 << 20;
  const TStagedFile& file_;
  int64_t at_;
  std::string buffer_;
};

// The files of one edition: written under staging names, renamed into place together.
class TStaging {
 public:
  explicit TStaging(std::string dataDir) : dir_(std::move(dataDir)) {}
  ~TStaging() {
    if (!committed_)
      for (const auto& n : names_) ::unlink(Staged(n).c_str());
  }
  // Staging path of a file of the data directory ("thedata.dat").
  std::string Add(const std::string& name) {
    names_.push_back(name);
    return Staged(name);
  }
  void Commit(TEditionSummary& summary) {
    for (const auto& n : names_) {
      struct stat st {};
      if (::stat(Staged(n).c_str(), &st) != 0)
        throw EStatusError(TStatus::WithMessage(TStatusCode::IOError,
                                                "missing " + Staged(n) + ": " + ErrnoText(errno)));
      summary.files.emplace_back("data/" + n, static_cast<int64_t>(st.st_size));
    }
    // edition.ini goes last: a reader never sees a new manifest over old files.
    for (const auto& n : names_) {
      if (::rename(Staged(n).c_str(), (dir_ + "/" + n).c_str()) != 0)
        throw EStatusError(TStatus::WithMessage(
            TStatusCode::IOError, "cannot rename " + Staged(n) + ": " + ErrnoText(errno)));
    }
    committed_ = true;
  }

 private:
  std::string Staged(const std::string& n) const { return dir_ + "/" + n + kStageSuffix; }
  std::string dir_;
  std::vector<std::string> names_;
  bool committed_ = false;
};

void MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    throw EStatusError(TStatus::InvalidArgument("not a directory: " + path));
  }
  throw EStatusError(TStatus::WithMessage(
      TStatusCode::IOError, "cannot create directory " + path + ": " + ErrnoText(errno)));
}

int64_t DataFileLimit(const TEditionOptions& options) {
  return std::min<int64_t>(options.dataFileLimit, INT32_MAX);
}

// One item of a sort order: its key (cut to the index's key length), reference, input index.
struct TOrderItem {
  char key[15];
  uint8_t len;
  int32_t ref;
  uint32_t idx;
  std::string_view Key() const { return {key, len}; }
};
static_assert(sizeof(TOrderItem) == 24 && offsetof(TOrderItem, len) == 15);

TOrderItem MakeOrderItem(int index, std::string_view text, uint32_t idx) {
  TOrderItem item{};
  const size_t n = MakeSearchKeyInto(index, text, item.key);
  item.len = static_cast<uint8_t>(std::min<size_t>(n, kIndexKeyLengths[index]));
  std::fill(item.key + item.len, item.key + sizeof item.key, '\0');  // zero beyond the key
  item.ref = -1;
  item.idx = idx;
  return item;
}

// The first 16 bytes of an item as two big-endian numbers: the key, zero beyond its length, then
// the length. They order as the key does (a key before its extensions).
inline uint64_t KeyWord(const TOrderItem& item, size_t at) {
  uint64_t v;
  std::memcpy(&v, reinterpret_cast<const unsigned char*>(&item) + at, sizeof v);
  return __builtin_bswap64(v);
}

inline int CompareKey(const TOrderItem& a, const TOrderItem& b) {
  const uint64_t a0 = KeyWord(a, 0), b0 = KeyWord(b, 0);
  if (a0 != b0) return a0 < b0 ? -1 : 1;
  const uint64_t a1 = KeyWord(a, 8), b1 = KeyWord(b, 8);
  return a1 < b1 ? -1 : (a1 > b1 ? 1 : 0);
}

void SortByKeyAndRef(std::vector<TOrderItem>& items) {
  std::sort(items.begin(), items.end(), [](const TOrderItem& a, const TOrderItem& b) {
    const int c = CompareKey(a, b);
    return c != 0 ? c < 0 : a.ref < b.ref;
  });
}

// The text of the first field with this tag in a payload (empty when absent).
std::string_view FieldView(const uint8_t* p, int n, int tag) {
  int i = 0;
  while (i < n && p[i] != tag) ++i;
  if (i >= n) return {};
  const int start = ++i;
  while (i < n && p[i] >= 32) ++i;
  return {reinterpret_cast<const char*>(p) + start, static_cast<size_t>(i - start)};
}
std::string_view FieldView(const TEntryRecord& rec, int tag) {
  return FieldView(rec.payload.data(), rec.payloadLen, tag);
}

// Lays the fields of an entry into the payload; a field that does not fit is cut, or left out
// when not even its tag fits. Returns the number of fields cut or left out.
int BuildPayload(const TBuildEntry& e, TDatabase db, TEntryRecord& rec) {
  const int capacity = db == TDatabase::US ? kUSPayloadSize : kIntlPayloadSize;
  rec.db = db;
  int cut = e.fields.Dropped();
  const std::string_view bytes = e.fields.Bytes();
  if (bytes.size() <= static_cast<size_t>(capacity)) {
    std::memcpy(rec.payload.data(), bytes.data(), bytes.size());
    rec.payloadLen = static_cast<uint16_t>(bytes.size());
    return cut;
  }
  // Too long: the field that passes the end is cut, a field whose tag does not fit with a byte
  // of room after it is left out.
  int at = 0;
  uint8_t* p = rec.payload.data();
  for (const auto& [tag, text] : e.fields) {
    if (at + 1 >= capacity) {
      ++cut;
      continue;
    }
    p[at++] = static_cast<uint8_t>(tag);
    const size_t room = static_cast<size_t>(capacity - at);
    const size_t n = std::min(room, text.size());
    std::memcpy(p + at, text.data(), n);
    at += static_cast<int>(n);
    if (n < text.size()) ++cut;
  }
  rec.payloadLen = static_cast<uint16_t>(at);
  return cut;
}

// A stored call sign with "<" read as "0".
std::string PrevCallText(std::string_view stored) {
  std::string s(stored);
  std::replace(s.begin(), s.end(), '<', '0');
  return s;
}

// Payloads of one database, kept in large blocks (no reallocation of what is stored).
class TPayloadArena {
 public:
  // The block list has its room from the start and never moves, so another thread may read what
  // was stored before it was told so (TProgressFeed).
  TPayloadArena() { blocks_.reserve(kMaxBlocks); }
  uint64_t Append(const uint8_t* p, size_t n) {
    if (blocks_.empty() || used_ + n > kBlock) {
      if (blocks_.size() == kMaxBlocks)
        throw EStatusError(TStatus::InvalidArgument("the entries do not fit in memory"));
      blocks_.push_back(std::make_unique<uint8_t[]>(kBlock));
      used_ = 0;
    }
    const uint64_t at = (blocks_.size() - 1) * kBlock + used_;
    std::memcpy(blocks_.back().get() + used_, p, n);
    used_ += n;
    return at;
  }
  const uint8_t* At(uint64_t at) const { return blocks_[at / kBlock].get() + at % kBlock; }

 private:
  static constexpr size_t kBlock = 16u << 20;
  static constexpr size_t kMaxBlocks = 4096;  // 64 GiB
  std::vector<std::unique_ptr<uint8_t[]>> blocks_;
  size_t used_ = 0;
};

// One database prepared for writing: payloads, sort orders, positions and words.
struct TPrepared {
  TDatabase db = TDatabase::Intl;
  const char* name = "";
  TPayloadArena arena;
  std::vector<uint64_t> payloadAt;              // by input index
  std::vector<uint16_t> payloadLen;             // by input index
  std::vector<uint8_t> mapNr;                   // by input index
  std::vector<uint32_t> fileOrder;              // input indexes in call order (= file order)
  std::vector<int32_t> ref;                     // by input index; -1 = dropped
  std::vector<std::array<int32_t, 5>> pos;      // by input index, TUSPos order (Intl: [0])
  std::vector<std::vector<TOrderItem>> orders;  // Intl: {call}; U.S.: call, ZIP, name, city, county
  TWordIndexBuilder words;
  // U.S.: surname and first name of each entry (16-bit length, text, twice), for the word list.
  TPayloadArena names;
  std::vector<uint64_t> namesAt;  // by input index
  int64_t bytes = 0;              // of its records
  int32_t droppedDuplicates = 0, droppedWithoutCall = 0;
  int64_t fieldsCut = 0;
  std::vector<std::string> warnings;
};

// The call (tag 1) as stored in entry idx's payload.
std::string StoredCall(const TPrepared& p, uint32_t idx) {
  TEntryRecord rec;
  rec.payloadLen = p.payloadLen[idx];
  std::memcpy(rec.payload.data(), p.arena.At(p.payloadAt[idx]), rec.payloadLen);
  return std::string(FieldView(rec, 1));
}

// The U.S. order of each stretch after the call order, and the record position it fills.
constexpr int kUSOrderIndex[5] = {oiUSCall, oiUSZIP, oiUSName, oiUSCity, oiUSCounty};
constexpr int kUSOrderPos[5] = {upCall, upZIP, upName, upCity, upCounty};

void PutName(std::string& out, std::string_view text) {
  const auto n = static_cast<uint16_t>(std::min<size_t>(text.size(), UINT16_MAX));
  out += static_cast<char>(n & 0xFF);
  out += static_cast<char>(n >> 8);
  out.append(text.data(), n);
}

std::string_view TakeName(const uint8_t*& p) {
  const size_t n = p[0] | static_cast<size_t>(p[1]) << 8;
  const std::string_view text(reinterpret_cast<const char*>(p) + 2, n);
  p += 2 + n;
  return text;
}

// Lists the words of every U.S. entry as the reading thread stores them (Prepare with a feed).
void ListUSWords(TPrepared& p, size_t count, TProgressFeed& feed) {
  const auto n = static_cast<uint32_t>(std::min<size_t>(count, INT32_MAX));
  for (uint32_t i = 0; i < n; ++i) {
    if (!feed.WaitFor(i)) return;
    const uint8_t* rec = p.arena.At(p.payloadAt[i]);
    const int len = p.payloadLen[i];
    const uint8_t* names = p.names.At(p.namesAt[i]);
    const std::string_view surname = TakeName(names);
    const std::string_view firstName = TakeName(names);
    const std::string_view address = FieldView(rec, len, utAddress);
    p.words.BeginEntry();
    p.words.AddText(address);
    p.words.AddText(FieldView(rec, len, utCountry));
    p.words.AddText(FieldView(rec, len, utState), wtState);
    p.words.AddText(FieldView(rec, len, utZIP), wtZIP);
    p.words.AddText(surname, wtLastName);
    p.words.AddText(firstName, wtFirstName);
    p.words.AddText(FieldView(rec, len, utCounty), wtCounty);
    p.words.AddText(CityOfAddress(address), wtCity);
    p.words.AddText(PrevCallText(FieldView(rec, len, utPrevCall)), wtPrevCall);
    p.words.EndEntry();
  }
}

// Reads every entry once: payload, keys and (International) words; then the call order with the
// references of the records counted from 0 (Place adds the start of the database's region), and the
// other orders and the positions. `done` counts the entries read (for progress). The records must
// fit between firstRef and limit (inclusive). With release set (the same vector as entries, owned
// by the caller) every entry is emptied once read, and its memory handed back now and then, so the
// input shrinks while the edition grows. U.S. entries keep their names for ListUSWords, told
// through feed as they are stored.
void Prepare(TPrepared& p, TDatabase db, const std::vector<TBuildEntry>& entries,
             std::vector<TBuildEntry>* release, int64_t firstRef, int64_t limit,
             std::atomic<uint64_t>& done, const std::function<void()>& tick, TProgressFeed* feed) {
  const int64_t room = limit - firstRef;
  const bool us = db == TDatabase::US;
  p.db = db;
  p.name = us ? "U.S." : "International";
  if (entries.size() > static_cast<size_t>(INT32_MAX / 4))
    throw EStatusError(TStatus::InvalidArgument(std::string("too many ") + p.name + " entries"));
  const auto n = static_cast<uint32_t>(entries.size());
  p.payloadAt.resize(n);
  p.payloadLen.resize(n);
  p.mapNr.resize(n);
  p.ref.assign(n, -1);
  p.pos.assign(n, std::array<int32_t, 5>{});
  if (us) p.namesAt.resize(n);
  std::string names;
  p.orders.resize(us ? 5 : 1);
  for (auto& o : p.orders) o.reserve(n);

  TEntryRecord rec;
  const int callIndex = us ? oiUSCall : oiIntlCall;
  for (uint32_t i = 0; i < n; ++i) {
    const TBuildEntry& e = entries[i];
    p.fieldsCut += BuildPayload(e, db, rec);
    p.payloadAt[i] = p.arena.Append(rec.payload.data(), rec.payloadLen);
    p.payloadLen[i] = rec.payloadLen;
    p.mapNr[i] = e.mapNr;
    p.orders[0].push_back(MakeOrderItem(callIndex, FieldView(rec, 1), i));
    if (us) {
      const std::string city = CityOfAddress(FieldView(rec, utAddress));
      p.orders[1].push_back(MakeOrderItem(oiUSZIP, FieldView(rec, utZIP), i));
      p.orders[2].push_back(MakeOrderItem(oiUSName, e.surname, i));
      p.orders[3].push_back(MakeOrderItem(oiUSCity, city, i));
      p.orders[4].push_back(MakeOrderItem(oiUSCounty, FieldView(rec, utCounty), i));
      names.clear();
      PutName(names, e.surname);
      PutName(names, e.firstName);
      p.namesAt[i] = p.names.Append(reinterpret_cast<const uint8_t*>(names.data()), names.size());
      if (feed && (i & 0xFFF) == 0xFFF) feed->Publish(i + 1);
    } else {
      p.words.BeginEntry();
      p.words.AddText(FieldView(rec, itAddress));
      p.words.AddText(FieldView(rec, itCountry));
      p.words.EndEntry();
    }
    if (release) {
      (*release)[i] = TBuildEntry();
      if ((i & 0x7FFF) == 0x7FFF) ::malloc_trim(0);
    }
    if ((i & 0x3FF) == 0x3FF) {
      done += 0x400;
      if (tick && (i & 0xFFFF) == 0xFFFF) tick();
    }
  }
  done += n & 0x3FF;
  if (feed) feed->Publish(n);

  // Call order: by key, the first of equal keys in input order stays.
  auto& calls = p.orders[0];
  std::sort(calls.begin(), calls.end(), [](const TOrderItem& a, const TOrderItem& b) {
    const int c = CompareKey(a, b);
    return c != 0 ? c < 0 : a.idx < b.idx;
  });
  std::vector<TOrderItem> kept;
  kept.reserve(calls.size());
  for (const auto& item : calls) {
    if (item.len == 0) {
      ++p.droppedWithoutCall;
      p.warnings.push_back(std::string(p.name) + " entry " + std::to_string(item.idx + 1) +
                           " has no call sign: left out");
      continue;
    }
    if (!kept.empty() && CompareKey(kept.back(), item) == 0) {
      ++p.droppedDuplicates;
      p.warnings.push_back(std::string(p.name) + " call " +
                           Cp437ToUtf8(PrevCallText(StoredCall(p, item.idx))) + " (entry " +
                           std::to_string(item.idx + 1) + ") repeats entry " +
                           std::to_string(kept.back().idx + 1) + ": left out");
      continue;
    }
    kept.push_back(item);
  }
  calls.swap(kept);
  std::vector<TOrderItem>().swap(kept);

  // Record offsets within the database's region, in file order.
  int64_t offset = 0;
  p.fileOrder.reserve(calls.size());
  for (auto& item : calls) {
    const int size = (us ? kUSHeaderSize : kIntlHeaderSize) + p.payloadLen[item.idx];
    if (offset + size > room)
      throw EStatusError(TStatus::InvalidArgument(
          std::string("the data file would pass its limit of ") + std::to_string(limit) +
          " bytes (references are 32-bit signed) before " + "all " + p.name +
          " entries are placed"));
    item.ref = static_cast<int32_t>(offset);
    p.ref[item.idx] = item.ref;
    p.fileOrder.push_back(item.idx);
    offset += size;
  }
  p.bytes = offset;

  // The other orders: offsets filled in, dropped entries removed, sorted by (key, offset), which
  // is the order by (key, reference) whatever the region's start.
  for (size_t o = 0; o < p.orders.size(); ++o) {
    auto& order = p.orders[o];
    if (o > 0) {
      size_t w = 0;
      for (auto& item : order) {
        item.ref = p.ref[item.idx];
        if (item.ref >= 0) order[w++] = item;
      }
      order.resize(w);
      SortByKeyAndRef(order);
    }
    const int posSlot = us ? kUSOrderPos[o] : 0;
    for (size_t k = 0; k < order.size(); ++k)
      p.pos[order[k].idx][static_cast<size_t>(posSlot)] = static_cast<int32_t>(k);
  }
}

// Turns the offsets within the region into references.
void Place(TPrepared& p, int64_t start) {
  for (const uint32_t idx : p.fileOrder) p.ref[idx] = static_cast<int32_t>(p.ref[idx] + start);
  for (auto& order : p.orders)
    for (auto& item : order) item.ref = static_cast<int32_t>(item.ref + start);
}

// Writes the records of one database into its region of the data file (any thread), and counts
// them as stored.
void WriteRecords(const TPrepared& p, const TStagedFile& data, int64_t start,
                  TEditionCounts& counts, std::atomic<uint64_t>& done,
                  const std::function<void()>& tick) {
  TRegionWriter out(data, start);
  TEntryRecord rec;
  rec.db = p.db;
  uint64_t n = 0;
  for (const uint32_t idx : p.fileOrder) {
    rec.ref = p.ref[idx];
    rec.mapNr = p.mapNr[idx];
    rec.pos = p.pos[idx];
    rec.payloadLen = p.payloadLen[idx];
    std::memcpy(rec.payload.data(), p.arena.At(p.payloadAt[idx]), rec.payloadLen);
    if (out.Position() != rec.ref) throw std::logic_error("record placed off its reference");
    out.Write(EncodeRecord(rec));
    counts.Add(rec);
    if ((++n & 0x3FF) == 0) {
      done += 0x400;
      if (tick && (n & 0xFFFF) == 0) tick();
    }
  }
  done += n & 0x3FF;
  out.Flush();
}

// Frees what only the records needed.
void ReleasePayloads(TPrepared& p) {
  p.arena = TPayloadArena();
  std::vector<uint64_t>().swap(p.payloadAt);
  std::vector<uint16_t>().swap(p.payloadLen);
  std::vector<uint8_t>().swap(p.mapNr);
  std::vector<std::array<int32_t, 5>>().swap(p.pos);
}

// The orders of the sequence file's stretches, by index number: International call, then the
// U.S. call, ZIP, name, city and county orders.
std::vector<const std::vector<TOrderItem>*> StretchOrders(const TPrepared& intl,
                                                          const TPrepared& us) {
  std::vector<const std::vector<TOrderItem>*> orders{&intl.orders[0]};
  for (int index = oiUSCall; index <= oiUSCounty; ++index)
    for (int o = 0; o < 5; ++o)
      if (kUSOrderIndex[o] == index) orders.push_back(&us.orders[static_cast<size_t>(o)]);
  return orders;
}

// A point one thread reaches and another waits for; a failure before it reaches the waiter as
// the same exception.
class TMilestone {
 public:
  void Reach() { promise_.set_value(); }
  void Fail(std::exception_ptr e) {
    try {
      promise_.set_exception(std::move(e));
    } catch (const std::future_error&) {  // reached or failed already
    }
  }
  void Wait() const { future_.get(); }

 private:
  std::promise<void> promise_;
  std::shared_future<void> future_ = promise_.get_future().share();
};

// Runs f on a second thread while g runs on this one; rethrows the first failure.
template <typename F, typename G>
void InParallel(F&& f, G&& g) {
  std::exception_ptr failure;
  std::thread other([&] {
    try {
      f();
    } catch (...) {
      failure = std::current_exception();
    }
  });
  std::exception_ptr own;
  try {
    g();
  } catch (...) {
    own = std::current_exception();
  }
  other.join();
  if (failure) std::rethrow_exception(failure);
  if (own) std::rethrow_exception(own);
}

void WriteIndex(const std::string& path, const std::vector<TOrderItem>& order, int index) {
  std::vector<TIndexItem> items;
  items.reserve(order.size());
  for (const auto& item : order) items.push_back(TIndexItem{std::string(item.Key()), item.ref});
  try {
    if (!WriteIndexFile(path, std::move(items), kIndexKeyLengths[index], kIndexDuplicates[index]))
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "cannot write " + path + ": " + IOText(LastErrorCode())));
  } catch (const std::invalid_argument& e) {
    throw EStatusError(TStatus::InvalidArgument("index " + path + ": " + e.what()));
  }
}

// Lays out a word list (any thread).
void FinishWordList(TPrepared& p) {
  try {
    p.words.Finish(p.fileOrder, p.ref);
  } catch (const std::length_error& e) {
    throw EStatusError(TStatus::InvalidArgument(std::string(p.name) + " " + e.what()));
  }
}

// Writes a word list (any thread: the file layer keeps the last error code per thread).
void WriteWordList(TPrepared& p, const std::string& idxPath, const std::string& vwsPath) {
  if (TStatus written = p.words.Write(idxPath, vwsPath); !written.ok())
    throw EStatusError(std::move(written));
}

void PutShortString(char* rec, int at, int maxLen, std::string_view text) {
  const size_t n = std::min(text.size(), static_cast<size_t>(maxLen));
  rec[at] = static_cast<char>(n);
  std::memcpy(rec + at + 1, text.data(), n);
}

std::string QslManagerRecord(const TQslManager& m) {
  std::string rec(53, '\0');
  PutShortString(rec.data(), 0, 13, m.call);
  PutShortString(rec.data(), 14, 13, m.manager);
  PutShortString(rec.data(), 28, 15, m.info);
  PutShortString(rec.data(), 44, 8, m.date);
  return rec;
}

}  // namespace

std::string CityOfAddress(std::string_view address) {
  const size_t at = address.rfind(", ");
  if (at == std::string_view::npos) return {};
  return TrimBlanks(address.substr(at + 2));
}

int64_t TEditionSummary::TotalBytes() const {
  int64_t total = 0;
  for (const auto& f : files) total += f.second;
  return total;
}

namespace {
TEditionSummary WriteEditionFrom(const TBuildInput& input, TBuildInput* release,
                                 const std::string& outDir, const TEditionOptions& options);
}  // namespace

TEditionSummary WriteEdition(const TBuildInput& input, const std::string& outDir,
                             const TEditionOptions& options) {
  return WriteEditionFrom(input, nullptr, outDir, options);
}

TEditionSummary WriteEdition(TBuildInput&& input, const std::string& outDir,
                             const TEditionOptions& options) {
  return WriteEditionFrom(input, &input, outDir, options);
}

namespace {
TEditionSummary WriteEditionFrom(const TBuildInput& input, TBuildInput* release,
                                 const std::string& outDir, const TEditionOptions& options) {
  TEditionSummary summary;
  const std::string root = outDir.empty() ? "." : outDir;
  MakeDirectory(root);
  const std::string dataDir = root + "/data";
  MakeDirectory(dataDir);
  TStaging staging(dataDir);
  const std::string dataPath = staging.Add("thedata.dat");
  const std::string intlIdx = staging.Add("intlwort.idx"), intlVws = staging.Add("intlwort.vws");
  const std::string usIdx = staging.Add("uswort.idx"), usVws = staging.Add("uswort.vws");

  // The two databases are prepared and written side by side; progress is told from this thread.
  uint64_t total = input.intl.size() + input.us.size();
  std::atomic<uint64_t> done{0};
  std::string stage;
  const std::function<void()> tick = [&] {
    if (options.progress) options.progress(stage, done.load(), total);
  };
  const int64_t firstRef = static_cast<int64_t>(sizeof kDataFileMagic);
  const int64_t limit = DataFileLimit(options);
  TPrepared intl, us;
  TEdition& ed = summary.edition;
  ed.title = input.title.empty() ? options.defaultTitle : input.title;
  ed.fccWeekly = input.fccWeekly;
  ed.fccDaily = input.fccDaily;
  ed.sources = input.sources;

  // Files that need only the sort orders with their references: the sequence file (stretches in
  // the order of index numbers 0..5) and the six indexes, taken by whichever thread is free.
  const auto indexName = [](int index) {
    std::string n = kIndexFileNames[index];
    return n.substr(n.find('\\') + 1);
  };
  const std::string seqPath = staging.Add("spur.trc");
  std::string indexPaths[kOrderCount];
  for (int i = 0; i < kOrderCount; ++i) indexPaths[i] = staging.Add(indexName(i));
  std::vector<std::function<void()>> orderFiles;
  orderFiles.push_back([&] {
    TStagedFile seqFile(seqPath);
    TRegionWriter seq(seqFile, 0);
    for (const auto* order : StretchOrders(intl, us))
      for (const auto& item : *order) seq.WriteI32(item.ref);
    seq.Flush();
    seqFile.Finish();
  });
  orderFiles.push_back([&] { WriteIndex(indexPaths[oiIntlCall], intl.orders[0], oiIntlCall); });
  for (int o = 0; o < 5; ++o)
    orderFiles.push_back([&, o] {
      WriteIndex(indexPaths[kUSOrderIndex[o]], us.orders[static_cast<size_t>(o)], kUSOrderIndex[o]);
    });
  std::atomic<size_t> nextOrderFile{0};
  const auto writeOrderFiles = [&] {
    for (size_t t; (t = nextOrderFile++) < orderFiles.size();) orderFiles[t]();
  };

  // Two threads, one per database, each preparing its entries and writing its records, word
  // list and a share of the files above; the International thread, having less to do, also lists
  // the U.S. words while the U.S. thread stores the entries (usFeed). The maps are rendered on a
  // third thread once the place of the map block is known. Progress is told from this thread
  // (the U.S. one).
  TProgressFeed usFeed;  // U.S. entries stored (payload and names), for the word listing
  const size_t usCount = input.us.size();  // the U.S. thread empties the input when done
  TMilestone intlPrepared, intlPlaced, usWordsListed, usPlaced;
  TEditionCounts usCounts;
  int64_t entriesEnd = 0;
  std::future<TMapBlock> maps;
  TStagedFile data(dataPath);
  data.WriteAt(0, kDataFileMagic, sizeof kDataFileMagic);
  stage = "Preparing entries";
  tick();
  InParallel(
      [&] {
        try {
          Prepare(intl, TDatabase::Intl, input.intl, release ? &release->intl : nullptr, firstRef,
                  limit, done, nullptr, nullptr);
          if (release) std::vector<TBuildEntry>().swap(release->intl);
          intlPrepared.Reach();
          ListUSWords(us, usCount, usFeed);
          us.names = TPayloadArena();
          std::vector<uint64_t>().swap(us.namesAt);
          usWordsListed.Reach();
          Place(intl, firstRef);
          intlPlaced.Reach();
          WriteRecords(intl, data, firstRef, summary.counts, done, nullptr);
          ReleasePayloads(intl);
          FinishWordList(intl);
          WriteWordList(intl, intlIdx, intlVws);
          usPlaced.Wait();
          writeOrderFiles();
        } catch (...) {
          for (TMilestone* m : {&intlPrepared, &usWordsListed, &intlPlaced})
            m->Fail(std::current_exception());
          throw;
        }
      },
      [&] {
        try {
          try {
            Prepare(us, TDatabase::US, input.us, release ? &release->us : nullptr, firstRef, limit,
                    done, tick, &usFeed);
          } catch (...) {
            usFeed.Stop();
            throw;
          }
          if (release) {
            std::vector<TBuildEntry>().swap(release->us);
            ::malloc_trim(0);
          }
          intlPrepared.Wait();
          entriesEnd = firstRef + intl.bytes + us.bytes;
          if (entriesEnd > limit)
            throw EStatusError(TStatus::InvalidArgument(
                "the data file would pass its limit of " + std::to_string(limit) +
                " bytes (references are 32-bit signed): the entries need " +
                std::to_string(entriesEnd) + " bytes"));
          if (options.maps) maps = std::async(std::launch::async, options.maps, entriesEnd);
          Place(us, firstRef + intl.bytes);
          usPlaced.Reach();
          done = 0;
          stage = "Writing entries";
          tick();
          WriteRecords(us, data, firstRef + intl.bytes, usCounts, done, tick);
          stage = "Writing word lists, sort orders and indexes";
          total = 0;
          tick();
          usWordsListed.Wait();  // the word listing reads the payloads
          ReleasePayloads(us);
          FinishWordList(us);
          WriteWordList(us, usIdx, usVws);
          intlPlaced.Wait();
          writeOrderFiles();
        } catch (...) {
          usPlaced.Fail(std::current_exception());
          throw;
        }
      });
  for (const TPrepared* p : {&intl, &us}) {
    summary.droppedDuplicates += p->droppedDuplicates;
    summary.droppedWithoutCall += p->droppedWithoutCall;
    summary.fieldsCut += p->fieldsCut;
    if (options.warning)
      for (const auto& w : p->warnings) options.warning(w);
  }
  summary.counts.Merge(usCounts);
  summary.counts.title = ed.title;
  summary.intlWords = intl.words.WordCount();
  summary.intlWordRefs = intl.words.ReferenceCount();
  summary.usWords = us.words.WordCount();
  summary.usWordRefs = us.words.ReferenceCount();
  ed.intlCount = static_cast<int32_t>(intl.fileOrder.size());
  ed.usCount = static_cast<int32_t>(us.fileOrder.size());
  {
    int32_t start = 0;
    size_t index = 0;
    for (const auto* order : StretchOrders(intl, us)) {
      const auto n = static_cast<int32_t>(order->size());
      ed.stretches[index++] = TStretch{start, start + n - 1};
      start += n;
    }
  }
  if (maps.valid()) {
    stage = "Writing maps";
    tick();
    const TMapBlock block = maps.get();
    if (entriesEnd + static_cast<int64_t>(block.bytes.size()) > limit)
      throw EStatusError(TStatus::InvalidArgument(
          "the data file would pass its limit of " + std::to_string(limit) +
          " bytes with the maps (" + std::to_string(entriesEnd + block.bytes.size()) + " bytes)"));
    if (block.directoryOffset < 0 ||
        block.directoryOffset >= static_cast<int64_t>(block.bytes.size()))
      throw EStatusError(TStatus::Corrupt("map directory offset outside the map block"));
    data.WriteAt(entriesEnd, block.bytes.data(), block.bytes.size());
    ed.mapDirOffset = entriesEnd + block.directoryOffset;
  }
  data.Finish();

  // QSL managers: record 0 holds the column headings, record i the manager i.
  {
    std::string qsl = QslManagerRecord(TQslManager{"Call", "Manager", "Info", "Edited"});
    for (const auto& m : input.qslManagers) qsl += QslManagerRecord(m);
    const std::string path = staging.Add("qslmgr.dat");
    if (!WriteFileAtomically(path, qsl))
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "cannot write " + path + ": " + IOText(LastErrorCode())));
  }

  // The entity table, when the input has one.
  if (!input.entities.Empty()) {
    const std::string path = staging.Add("entities.tsv");
    if (!WriteFileAtomically(path, FormatEntityTable(input.entities)))
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "cannot write " + path + ": " + IOText(LastErrorCode())));
  }

  // Manifest last.
  {
    const std::string path = staging.Add("edition.ini");
    if (!WriteFileAtomically(path, FormatEdition(ed)))
      throw EStatusError(TStatus::WithMessage(
          TStatusCode::IOError, "cannot write " + path + ": " + IOText(LastErrorCode())));
  }
  staging.Commit(summary);
  // An edition without the table keeps none from an earlier build in the same place.
  if (input.entities.Empty()) ::unlink((dataDir + "/entities.tsv").c_str());
  try {
    WriteLabelTemplates(outDir);
  } catch (const ELabelTemplateError& e) {
    throw EStatusError(TStatus::WithMessage(TStatusCode::IOError, e.what()));
  }
  return summary;
}
}  // namespace

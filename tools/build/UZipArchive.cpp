#include "UZipArchive.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/StrUtil.h"

namespace {

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | static_cast<uint64_t>(Get32(p + 4)) << 32;
}

constexpr uint32_t kLocalSig = 0x04034b50, kCentralSig = 0x02014b50, kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50, kEnd64LocatorSig = 0x07064b50;

std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}
const std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// A Huffman code as a lookup table indexed by the next maxLen input bits (least significant
// first): entry = symbol << 4 | code length; length 0 marks a bit pattern that is no code.
struct THuffman {
  std::vector<uint16_t> table;
  int maxLen = 0;

  void Build(const uint8_t* lengths, int n) {
    int count[16] = {};
    maxLen = 0;
    for (int i = 0; i < n; ++i) {
      ++count[lengths[i]];
      maxLen = std::max<int>(maxLen, lengths[i]);
    }
    count[0] = 0;
    int left = 1;
    for (int len = 1; len <= 15; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) throw EZipError("damaged deflate data (over-subscribed code)");
    }
    if (maxLen == 0) maxLen = 1;  // no codes at all: every pattern is invalid
    table.assign(static_cast<size_t>(1) << maxLen, 0);
    int next[16] = {};
    for (int len = 1, code = 0; len <= 15; ++len) {
      code = (code + count[len - 1]) << 1;
      next[len] = code;
    }
    for (int sym = 0; sym < n; ++sym) {
      const int len = lengths[sym];
      if (len == 0) continue;
      const int code = next[len]++;
      int rev = 0;
      for (int b = 0; b < len; ++b) rev |= ((code >> b) & 1) << (len - 1 - b);
      for (int k = rev; k < (1 << maxLen); k += 1 << len)
        table[static_cast<size_t>(k)] = static_cast<uint16_t>(sym << 4 | len);
    }
  }
};

constexpr uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

// Streaming raw-deflate decoder with a 64 KiB output ring.
class TInflater {
 public:
  using TSource = std::function<size_t(uint8_t* buffer, size_t capacity)>;
  using TSink = std::function<void(const char*, size_t)>;

  TInflater(TSource source, TSink sink)
      : source_(std::move(source)), sink_(std::move(sink)), in_(1 << 16), window_(kWindow) {}

  void Run() {
    bool last = false;
    while (!last) {
      last = Bits(1) != 0;
      const uint32_t type = Bits(2);
      if (type == 0) {
        Stored();
      } else if (type == 1) {
        FixedCodes();
        Codes();
      } else if (type == 2) {
        DynamicCodes();
        Codes();
      } else {
        throw EZipError("damaged deflate data (block type 3)");
      }
    }
    if (bitCount_ < padBytes_ * 8) throw EZipError("deflate data ends early");
    Flush();
  }

 private:
  static constexpr size_t kWindow = 1 << 16;

  uint8_t NextByte() {
    if (inPos_ == inLen_) {
      inLen_ = source_(in_.data(), in_.size());
      inPos_ = 0;
      if (inLen_ == 0) {
        if (++padBytes_ > 8) throw EZipError("deflate data ends early");
        return 0;
      }
    }
    return in_[inPos_++];
  }
  void Need(int n) {
    while (bitCount_ < n) {
      bitBuf_ |= static_cast<uint64_t>(NextByte()) << bitCount_;
      bitCount_ += 8;
    }
  }
  uint32_t Bits(int n) {
    if (n == 0) return 0;
    Need(n);
    const auto v = static_cast<uint32_t>(bitBuf_ & ((1ull << n) - 1));
    bitBuf_ >>= n;
    bitCount_ -= n;
    return v;
  }
  int Decode(const THuffman& h) {
    Need(h.maxLen);
    const uint16_t e = h.table[bitBuf_ & ((1ull << h.maxLen) - 1)];
    const int len = e & 15;
    if (len == 0) throw EZipError("damaged deflate data (invalid code)");
    bitBuf_ >>= len;
    bitCount_ -= len;
    return e >> 4;
  }

  void Put(uint8_t b) {
    if (out_ - flushed_ == kWindow) Flush();
    window_[out_ & (kWindow - 1)] = b;
    ++out_;
  }
  void Flush() {
    while (flushed_ < out_) {
      const size_t at = flushed_ & (kWindow - 1);
      const size_t n = std::min<uint64_t>(out_ - flushed_, kWindow - at);
      sink_(reinterpret_cast<const char*>(window_.data() + at), n);
      flushed_ += n;
    }
  }

  void Stored() {
    Bits(bitCount_ % 8);
    const uint32_t len = Bits(16);
    const uint32_t nlen = Bits(16);
    if ((len ^ 0xFFFF) != nlen) throw EZipError("damaged deflate data (stored block length)");
    for (uint32_t i = 0; i < len; ++i) Put(static_cast<uint8_t>(Bits(8)));
  }

  void FixedCodes() {
    uint8_t lengths[288 + 30];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    std::fill(lengths + 288, lengths + 318, 5);
    lit_.Build(lengths, 288);
    dist_.Build(lengths + 288, 30);
  }

  void DynamicCodes() {
    const int nlit = static_cast<int>(Bits(5)) + 257;
    const int ndist = static_cast<int>(Bits(5)) + 1;
    const int ncode = static_cast<int>(Bits(4)) + 4;
    if (nlit > 286 || ndist > 30) throw EZipError("damaged deflate data (code counts)");
    uint8_t lengths[286 + 30] = {};
    uint8_t clen[19] = {};
    for (int i = 0; i < ncode; ++i) clen[kCodeLengthOrder[i]] = static_cast<uint8_t>(Bits(3));
    THuffman lencode;
    lencode.Build(clen, 19);
    int i = 0;
    while (i < nlit + ndist) {
      const int sym = Decode(lencode);
      if (sym < 16) {
        lengths[i++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t value = 0;
      int repeat = 0;
      if (sym == 16) {
        if (i == 0) throw EZipError("damaged deflate data (repeat without a length)");
        value = lengths[i - 1];
        repeat = 3 + static_cast<int>(Bits(2));
      } else if (sym == 17) {
        repeat = 3 + static_cast<int>(Bits(3));
      } else {
        repeat = 11 + static_cast<int>(Bits(7));
      }
      if (i + repeat > nlit + ndist) throw EZipError("damaged deflate data (too many lengths)");
      while (repeat-- > 0) lengths[i++] = value;
    }
    if (lengths[256] == 0) throw EZipError("damaged deflate data (no end-of-block code)");
    lit_.Build(lengths, nlit);
    dist_.Build(lengths + nlit, ndist);
  }

  void Codes() {
    for (;;) {
      const int sym = Decode(lit_);
      if (sym < 256) {
        Put(static_cast<uint8_t>(sym));
        continue;
      }
      if (sym == 256) return;
      const int li = sym - 257;
      if (li >= 29) throw EZipError("damaged deflate data (length code)");
      const uint32_t len = kLenBase[li] + Bits(kLenExtra[li]);
      const int di = Decode(dist_);
      if (di >= 30) throw EZipError("damaged deflate data (distance code)");
      const uint32_t dist = kDistBase[di] + Bits(kDistExtra[di]);
      if (dist > out_) throw EZipError("damaged deflate data (distance too far back)");
      for (uint32_t k = 0; k < len; ++k) Put(window_[(out_ - dist) & (kWindow - 1)]);
    }
  }

  TSource source_;
  TSink sink_;
  std::vector<uint8_t> in_;
  size_t inPos_ = 0, inLen_ = 0;
  int padBytes_ = 0;
  uint64_t bitBuf_ = 0;
  int bitCount_ = 0;
  std::vector<uint8_t> window_;
  uint64_t out_ = 0, flushed_ = 0;
  THuffman lit_, dist_;
};

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::string InflateRaw(std::string_view compressed) {
  std::string out;
  size_t at = 0;
  TInflater inflater(
      [&](uint8_t* buf, size_t cap) {
        const size_t n = std::min(cap, compressed.size() - at);
        std::memcpy(buf, compressed.data() + at, n);
        at += n;
        return n;
      },
      [&](const char* p, size_t n) { out.append(p, n); });
  inflater.Run();
  return out;
}

TZipArchive::TZipArchive(const std::string& path) : path_(path) {
  if (!file_.Open(path))
    throw EZipError("cannot open " + path + ": " + ErrorCodeText(LastErrorCode()) + " (" +
                    RunErrorText(LastErrorCode()) + ")");
  const int64_t size = file_.Size();
  const auto read = [&](int64_t at, int64_t n) {
    // at > size - n, not at + n > size: a zip64 record may name an offset near INT64_MAX.
    if (at < 0 || n < 0 || n > size || at > size - n)
      throw EZipError(path + " is not a complete zip archive");
    std::vector<uint8_t> b(static_cast<size_t>(n));
    if (n > 0 && !file_.ReadExact(at, b.data(), n))
      throw EZipError(path + " is not a complete zip archive");
    return b;
  };
  // End of central directory: in the last 22 + 65535 bytes.
  const int64_t tailSize = std::min<int64_t>(size, 22 + 65535);
  if (tailSize < 22) throw EZipError(path + " is not a zip archive");
  const std::vector<uint8_t> tail = read(size - tailSize, tailSize);
  int64_t endAt = -1;
  for (int64_t i = tailSize - 22; i >= 0; --i)
    if (Get32(&tail[static_cast<size_t>(i)]) == kEndSig) {
      endAt = i;
      break;
    }
  if (endAt < 0) throw EZipError(path + " is not a zip archive (no central directory)");
  const uint8_t* end = &tail[static_cast<size_t>(endAt)];
  uint64_t entries = Get16(end + 10);
  uint64_t cdSize = Get32(end + 12);
  uint64_t cdOffset = Get32(end + 16);
  const int64_t endPos = size - tailSize + endAt;
  if (entries == 0xFFFF || cdSize == 0xFFFFFFFF || cdOffset == 0xFFFFFFFF) {
    if (endPos < 20) throw EZipError(path + ": zip64 locator missing");
    const std::vector<uint8_t> loc = read(endPos - 20, 20);
    if (Get32(loc.data()) != kEnd64LocatorSig) throw EZipError(path + ": zip64 locator missing");
    const std::vector<uint8_t> end64 = read(static_cast<int64_t>(Get64(loc.data() + 8)), 56);
    if (Get32(end64.data()) != kEnd64Sig) throw EZipError(path + ": zip64 end record missing");
    entries = Get64(end64.data() + 32);
    cdSize = Get64(end64.data() + 40);
    cdOffset = Get64(end64.data() + 48);
  }
  if (cdOffset > static_cast<uint64_t>(size) || cdSize > static_cast<uint64_t>(size) - cdOffset ||
      entries > cdSize / 46)
    throw EZipError(path + ": damaged central directory");
  const std::vector<uint8_t> cd =
      read(static_cast<int64_t>(cdOffset), static_cast<int64_t>(cdSize));
  size_t at = 0;
  for (uint64_t e = 0; e < entries; ++e) {
    if (at + 46 > cd.size() || Get32(&cd[at]) != kCentralSig)
      throw EZipError(path + ": damaged central directory");
    const uint8_t* h = &cd[at];
    TZipMember m;
    m.flags = Get16(h + 8);
    m.method = Get16(h + 10);
    m.crc = Get32(h + 16);
    m.compressedSize = Get32(h + 20);
    m.size = Get32(h + 24);
    const size_t nameLen = Get16(h + 28), extraLen = Get16(h + 30), commentLen = Get16(h + 32);
    m.localHeaderOffset = Get32(h + 42);
    if (at + 46 + nameLen + extraLen + commentLen > cd.size())
      throw EZipError(path + ": damaged central directory");
    m.name.assign(reinterpret_cast<const char*>(h + 46), nameLen);
    // Zip64 extra field: the 64-bit values of the fields that hold 0xFFFFFFFF, in this order.
    for (size_t x = 0; x + 4 <= extraLen;) {
      const uint8_t* f = h + 46 + nameLen + x;
      const size_t len = Get16(f + 2);
      if (x + 4 + len > extraLen) break;
      if (Get16(f) == 0x0001) {
        size_t k = 0;
        const auto take = [&](uint64_t& v) {
          if (v != 0xFFFFFFFF) return;
          if (k + 8 > len) throw EZipError(path + ": damaged zip64 field of " + m.name);
          v = Get64(f + 4 + k);
          k += 8;
        };
        take(m.size);
        take(m.compressedSize);
        take(m.localHeaderOffset);
      }
      x += 4 + len;
    }
    members_.push_back(std::move(m));
    at += 46 + nameLen + extraLen + commentLen;
  }
}

const TZipMember* TZipArchive::Find(std::string_view name) const {
  const std::string want = AsciiLower(name);
  for (const auto& m : members_) {
    const size_t slash = m.name.find_last_of("/\\");
    const std::string base = slash == std::string::npos ? m.name : m.name.substr(slash + 1);
    if (AsciiLower(base) == want) return &m;
  }
  return nullptr;
}

void TZipArchive::Read(const TZipMember& m,
                       const std::function<void(const char*, size_t)>& sink) const {
  const int64_t size = file_.Size();
  uint8_t local[30];
  if (m.localHeaderOffset + 30 > static_cast<uint64_t>(size) ||
      !file_.ReadExact(static_cast<int64_t>(m.localHeaderOffset), local, 30) ||
      Get32(local) != kLocalSig)
    throw EZipError(path_ + ": damaged member " + m.name);
  if (m.flags & 1) throw EZipError(path_ + ": member " + m.name + " is encrypted");
  if (m.method != 0 && m.method != 8)
    throw EZipError(path_ + ": member " + m.name + " uses compression method " +
                    std::to_string(m.method) + " (only stored and deflated are read)");
  uint64_t pos = m.localHeaderOffset + 30 + Get16(local + 26) + Get16(local + 28);
  if (pos > static_cast<uint64_t>(size) || m.compressedSize > static_cast<uint64_t>(size) - pos)
    throw EZipError(path_ + ": member " + m.name + " runs past the end of the archive");
  const uint64_t end = pos + m.compressedSize;

  uint32_t crc = 0;
  uint64_t produced = 0;
  const auto out = [&](const char* p, size_t n) {
    crc = Crc32(crc, p, n);
    produced += n;
    if (produced > m.size) throw EZipError(path_ + ": member " + m.name + " is longer than stated");
    sink(p, n);
  };
  const auto source = [&](uint8_t* buf, size_t cap) -> size_t {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(cap, end - pos));
    if (n == 0) return 0;
    if (!file_.ReadExact(static_cast<int64_t>(pos), buf, static_cast<int64_t>(n)))
      throw EZipError(path_ + ": cannot read member " + m.name + ": " +
                      ErrorCodeText(LastErrorCode()));
    pos += n;
    return n;
  };
  if (m.method == 0) {
    std::vector<uint8_t> buf(1 << 16);
    while (size_t n = source(buf.data(), buf.size()))
      out(reinterpret_cast<const char*>(buf.data()), n);
  } else {
    TInflater(source, out).Run();
  }
  if (produced != m.size || crc != m.crc)
    throw EZipError(path_ + ": member " + m.name + " is damaged (size or CRC-32 mismatch)");
}

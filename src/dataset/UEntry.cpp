#include "dataset/UEntry.h"

#include <algorithm>
#include <cstring>

#include "common/StrUtil.h"
#include "common/ULittleEndian.h"

namespace {

enum TPass : uint8_t { kAltSub, kXor, kBlock };

// Pass order and start constants by (key mod 7). The unscrambling runs the passes in this order;
// the scrambling runs their inverses in reverse.
struct TScrambleRecipe {
  TPass order[3];
  uint8_t altConst;
  uint8_t xorConst;
};
constexpr TScrambleRecipe kRecipes[7] = {
    {{kAltSub, kXor, kBlock}, 0, 3}, {{kXor, kBlock, kAltSub}, 5, 0},
    {{kBlock, kAltSub, kXor}, 2, 7}, {{kAltSub, kBlock, kXor}, 0, 1},
    {{kXor, kAltSub, kBlock}, 3, 0}, {{kBlock, kXor, kAltSub}, 1, 4},
    {{kXor, kBlock, kAltSub}, 6, 2},
};

// Three permutations of a 20-byte block: unscrambled byte j comes from scrambled byte perm[j].
constexpr uint8_t kPerms[3][20] = {
    {7, 14, 1, 18, 11, 4, 16, 9, 2, 13, 19, 6, 0, 12, 5, 17, 10, 3, 15, 8},
    {19, 2, 10, 5, 15, 0, 8, 13, 3, 17, 6, 11, 1, 16, 9, 4, 18, 7, 12, 14},
    {4, 9, 15, 0, 12, 17, 6, 2, 19, 10, 1, 14, 8, 18, 3, 11, 16, 5, 13, 7},
};

// The passes work on eight bytes at a time: a word of the payload and a word of what its bytes
// change by, added or xored byte by byte (no carry from one byte into the next).
void StoreWord(uint8_t* p, uint64_t v) { std::memcpy(p, &v, sizeof v); }
uint64_t AddBytes(uint64_t a, uint64_t b) {
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  return ((a & ~kHigh) + (b & ~kHigh)) ^ ((a ^ b) & kHigh);
}

// Byte i changes by d = key + c + i: plus d at even i and minus d at odd i; undone the other
// way round.
void AltPass(uint8_t* p, int len, int32_t key, uint8_t c, bool undo) {
  const uint8_t v = static_cast<uint8_t>(static_cast<uint32_t>(key) + c);
  const auto minus = [undo](int i) { return ((i & 1) == 0) == undo; };
  const auto change = [&](int i) {
    const uint8_t d = static_cast<uint8_t>(v + i);
    return minus(i) ? static_cast<uint8_t>(-d) : d;
  };
  uint8_t first[8], step[8];
  for (int j = 0; j < 8; ++j) {
    first[j] = change(j);
    step[j] = minus(j) ? static_cast<uint8_t>(-8) : uint8_t{8};
  }
  uint64_t d = LoadWord(first);
  const uint64_t s = LoadWord(step);
  int i = 0;
  for (; i + 8 <= len; i += 8) {
    StoreWord(p + i, AddBytes(LoadWord(p + i), d));
    d = AddBytes(d, s);
  }
  for (; i < len; ++i) p[i] = static_cast<uint8_t>(p[i] + change(i));
}

// Byte i xored with key + c + i + 1.
void XorPass(uint8_t* p, int len, int32_t key, uint8_t c) {
  const uint8_t w = static_cast<uint8_t>(static_cast<uint32_t>(key) + c);
  uint8_t first[8];
  for (int j = 0; j < 8; ++j) first[j] = static_cast<uint8_t>(w + j + 1);
  uint64_t x = LoadWord(first);
  constexpr uint64_t kEight = 0x0808080808080808ULL;
  int i = 0;
  for (; i + 8 <= len; i += 8) {
    StoreWord(p + i, LoadWord(p + i) ^ x);
    x = AddBytes(x, kEight);
  }
  for (; i < len; ++i) p[i] ^= static_cast<uint8_t>(w + i + 1);
}

void BlockPass(uint8_t* p, int len, int32_t key, bool undo) {
  const int blocks = len / 20;
  uint8_t tmp[20];
  for (int n = 1; n <= blocks; ++n) {
    uint8_t* b = p + (n - 1) * 20;
    const uint8_t* perm = kPerms[(static_cast<uint32_t>(key) + static_cast<uint32_t>(n)) % 3];
    if (undo)
      for (int j = 0; j < 20; ++j) tmp[j] = b[perm[j]];
    else
      for (int j = 0; j < 20; ++j) tmp[perm[j]] = b[j];
    std::memcpy(b, tmp, 20);
  }
  for (int i = blocks * 20; i < len; ++i) p[i] ^= static_cast<uint8_t>(i + 1);
}

void RunPass(TPass pass, uint8_t* p, int len, int32_t key, const TScrambleRecipe& r, bool undo) {
  switch (pass) {
    case kAltSub:
      AltPass(p, len, key, r.altConst, undo);
      break;
    case kXor:
      XorPass(p, len, key, r.xorConst);
      break;
    case kBlock:
      BlockPass(p, len, key, undo);
      break;
  }
}

const TScrambleRecipe& RecipeFor(int32_t key) { return kRecipes[static_cast<uint32_t>(key) % 7]; }

}  // namespace

void ScramblePayload(uint8_t* payload, int length, int32_t key) {
  const auto& r = RecipeFor(key);
  for (int k = 2; k >= 0; --k) RunPass(r.order[k], payload, length, key, r, false);
}

void UnscramblePayload(uint8_t* payload, int length, int32_t key) {
  const auto& r = RecipeFor(key);
  for (int k = 0; k < 3; ++k) RunPass(r.order[k], payload, length, key, r, true);
}

bool DecodeRecord(TDatabase db, const uint8_t* bytes, int available, int32_t ref,
                  TEntryRecord& rec) {
  const bool us = db == TDatabase::US;
  const int header = us ? kUSHeaderSize : kIntlHeaderSize;
  const int capacity = us ? kUSPayloadSize : kIntlPayloadSize;
  if (available < header) return false;
  const int lenAt = header - 2;
  const int stored = bytes[lenAt] | bytes[lenAt + 1] << 8;
  const int length = std::min(stored, capacity);
  if (available < header + length) return false;
  // Straight into rec: only the payload's used part is written (Field never reads past it).
  rec.db = db;
  rec.ref = ref;
  rec.pos = {};
  if (us) {
    for (int i = 0; i < 5; ++i) rec.pos[static_cast<size_t>(i)] = GetI32(bytes + 4 * i);
    rec.mapNr = bytes[20];
  } else {
    rec.pos[0] = GetI32(bytes);
    rec.mapNr = bytes[4];
  }
  rec.payloadLen = static_cast<uint16_t>(length);
  std::memcpy(rec.payload.data(), bytes + header, static_cast<size_t>(length));
  UnscramblePayload(rec.payload.data(), length, ref);
  return true;
}

std::string EncodeRecord(const TEntryRecord& rec) {
  const bool us = rec.db == TDatabase::US;
  const int header = us ? kUSHeaderSize : kIntlHeaderSize;
  const int capacity = us ? kUSPayloadSize : kIntlPayloadSize;
  const int len = std::min<int>(rec.payloadLen, capacity);
  std::string out(static_cast<size_t>(header + len), '\0');
  auto* b = reinterpret_cast<uint8_t*>(out.data());
  if (us) {
    for (int i = 0; i < 5; ++i) PutI32(b + 4 * i, rec.pos[i]);
    b[20] = rec.mapNr;
  } else {
    PutI32(b, rec.pos[0]);
    b[4] = rec.mapNr;
  }
  b[header - 2] = static_cast<uint8_t>(len);
  b[header - 1] = static_cast<uint8_t>(len >> 8);
  std::memcpy(b + header, rec.payload.data(), static_cast<size_t>(len));
  ScramblePayload(b + header, len, rec.ref);
  return out;
}

std::string TEntryRecord::Field(int tag) const { return GetField(tag, payload.data(), payloadLen); }

std::string_view TEntryRecord::FieldView(int tag) const {
  return GetFieldView(tag, payload.data(), payloadLen);
}

void TEntryRecord::AssignField(int tag, std::string& out) const {
  ::AssignField(tag, payload.data(), payloadLen, out);
}

std::string TEntryRecord::DateField(int tag) const {
  return GetDateField(tag, payload.data(), payloadLen);
}

std::string_view GetFieldView(int tag, const uint8_t* payload, int length) {
  if (length <= 0 || length >= 500 || !payload || tag < 0 || tag > 255) return {};
  const auto* at =
      static_cast<const uint8_t*>(std::memchr(payload, tag, static_cast<size_t>(length)));
  if (!at) return {};
  const uint8_t* begin = at + 1;
  const uint8_t* end = payload + length;
  if (end - begin > 255) end = begin + 255;
  const uint8_t* stop = begin;
  while (stop < end && *stop >= 32) ++stop;
  return {reinterpret_cast<const char*>(begin), static_cast<size_t>(stop - begin)};
}

TFieldViews::TFieldViews(const TEntryRecord& rec) : rec_(rec) {
  const int length = rec.payloadLen;
  if (length <= 0 || length >= 500) return;
  int open = -1;  // the tag whose text runs on
  for (int i = 0; i < length;) {
    if (i + 8 <= length && BytesBelow(LoadWord(rec.payload.data() + i), kTags) == 0) {
      i += 8;  // text only
      continue;
    }
    const uint8_t b = rec.payload[static_cast<size_t>(i++)];
    if (b >= kTags) continue;
    if (open >= 0) end_[static_cast<size_t>(open)] = static_cast<uint16_t>(i - 1);
    open = -1;
    if (begin_[b] == 0) {
      begin_[b] = static_cast<uint16_t>(i);
      open = b;
    }
  }
  if (open >= 0) end_[static_cast<size_t>(open)] = static_cast<uint16_t>(length);
}

std::string_view TFieldViews::operator[](int tag) const {
  if (tag < 0 || tag >= kTags) return rec_.FieldView(tag);
  const size_t t = static_cast<size_t>(tag);
  if (begin_[t] == 0) return {};
  const size_t size = std::min<size_t>(end_[t] - begin_[t], 255);
  return {reinterpret_cast<const char*>(rec_.payload.data()) + begin_[t], size};
}

void AssignField(int tag, const uint8_t* payload, int length, std::string& out) {
  out.assign(GetFieldView(tag, payload, length));
  if (tag == 1) std::replace(out.begin(), out.end(), '<', '0');
}

std::string GetField(int tag, const uint8_t* payload, int length) {
  std::string text;
  AssignField(tag, payload, length, text);
  return text;
}

std::string GetDateField(int tag, const uint8_t* payload, int length) {
  const std::string s = GetField(tag, payload, length);
  if (RemoveBlanks(s).empty()) return s;
  const std::string p = s + std::string(8 > s.size() ? 8 - s.size() : 0, ' ');
  return TrimRightBlanks(p.substr(0, 2) + "/" + p.substr(2, 2) + "/" + p.substr(4, 4));
}

std::string LicenceClassText(char code) {
  const char c = LowerOEM(code);
  switch (c) {
    case ' ':
      return {};
    case 'a':
      return "A - Advanced";
    case 'b':
      return "B - Club";
    case 'e':
      return "E - Extra";
    case 'g':
      return "G - General";
    case 'm':
      return "M - Military";
    case 'n':
      return "N - Novice";
    case 'p':
      return "P - Technician Plus";
    case 't':
      return "T - Technician";
    default:
      return std::string(1, c) + " - Unknown";
  }
}

std::string LicenceClassFieldText(std::string_view field) {
  return LicenceClassText(field.empty() ? ' ' : field[0]);
}

size_t MakeSearchKeyInto(int index, std::string_view text, char (&out)[15]) {
  const std::string_view t = TrimBlanksView(text);
  size_t n = std::min<size_t>(t.size(), 15);
  bool star = false;
  switch (index) {
    case 2:
      n = std::min<size_t>(n, 5);
      break;
    case 3:
    case 4:
    case 5:
      star = t.size() > 15;  // 14 characters and "*"
      if (star) n = 14;
      break;
    case 6:
      n = std::min<size_t>(n, 13);
      break;
    default:
      break;
  }
  const bool call = index == 0 || index == 1;
  for (size_t i = 0; i < n; ++i) {
    const char c = LowerOEM(t[i]);
    out[i] = call && c == '0' ? '<' : c;
  }
  if (star) out[n++] = '*';
  return n;
}

std::string MakeSearchKey(int index, std::string_view text) {
  char key[15];
  return std::string(key, MakeSearchKeyInto(index, text, key));
}

std::string NormaliseCall(std::string_view text) {
  const std::string call = TrimBlanks(LowerCaseOEM(text.substr(0, 6)));
  if (call.empty()) throw ECallError("Call must contain at least 1 and up to 6 characters.");
  for (char c : call) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
    if (!ok) throw ECallError("In a Call, only letters and numbers are allowed.");
  }
  return call;
}

bool AppendField(TEntryRecord& rec, int tag, std::string_view text) {
  const int capacity = rec.db == TDatabase::US ? kUSPayloadSize : kIntlPayloadSize;
  std::string clean;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 32) clean += c;
  if (rec.payloadLen + 1 + static_cast<int>(clean.size()) > capacity) return false;
  rec.payload[rec.payloadLen++] = static_cast<uint8_t>(tag);
  std::memcpy(rec.payload.data() + rec.payloadLen, clean.data(), clean.size());
  rec.payloadLen = static_cast<uint16_t>(rec.payloadLen + clean.size());
  return true;
}

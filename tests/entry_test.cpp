#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "dataset/UEntry.h"

namespace {
TEntryRecord MakeRecord(TDatabase db, int32_t ref,
                        std::initializer_list<std::pair<int, std::string>> fields) {
  TEntryRecord r;
  r.db = db;
  r.ref = ref;
  for (const auto& [tag, text] : fields) EXPECT_TRUE(AppendField(r, tag, text));
  return r;
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }
}  // namespace

TEST(Scrambling, RoundTripsForEveryResidueAndLength) {
  std::mt19937 rng(7);
  for (int32_t key : {0, 1, 2, 3, 4, 5, 6, 16, 1000003, 257314151, 2147483647}) {
    for (int len : {0, 1, 19, 20, 21, 39, 40, 41, 299, 300, 400}) {
      std::vector<uint8_t> p(static_cast<size_t>(len));
      for (auto& b : p) b = static_cast<uint8_t>(rng());
      auto q = p;
      ScramblePayload(q.data(), len, key);
      if (len >= 20) {
        EXPECT_NE(q, p) << key << " " << len;
      }
      UnscramblePayload(q.data(), len, key);
      EXPECT_EQ(q, p) << key << " " << len;
    }
  }
}

TEST(Scrambling, DependsOnTheKey) {
  std::vector<uint8_t> p(60, 'a');
  auto a = p, b = p;
  ScramblePayload(a.data(), 60, 1000);
  ScramblePayload(b.data(), 60, 1001);
  EXPECT_NE(a, b);
}

TEST(Records, EncodeDecodeBothKinds) {
  TEntryRecord us = MakeRecord(TDatabase::US, 123456,
                               {{1, "W<AW"}, {2, "CT"}, {13, "ARRL, 225 MAIN ST, NEWINGTON"}});
  us.pos = {1, 2, 3, 4, 5};
  us.mapNr = 9;
  const std::string enc = EncodeRecord(us);
  EXPECT_EQ(enc.size(), static_cast<size_t>(kUSHeaderSize + us.payloadLen));
  TEntryRecord back;
  ASSERT_TRUE(DecodeRecord(TDatabase::US, reinterpret_cast<const uint8_t*>(enc.data()),
                           static_cast<int>(enc.size()), 123456, back));
  EXPECT_EQ(back.pos, us.pos);
  EXPECT_EQ(back.mapNr, 9);
  EXPECT_EQ(back.Field(1), "W0AW");
  EXPECT_EQ(back.Field(13), "ARRL, 225 MAIN ST, NEWINGTON");
  EXPECT_EQ(back.Field(10), "");

  TEntryRecord intl = MakeRecord(TDatabase::Intl, 77,
                                 {{1, "DL1ABC"}, {3, "Hans Meier, Hauptstr. 1, 80331 M\x81nchen"}});
  intl.pos[0] = 42;
  const std::string e2 = EncodeRecord(intl);
  ASSERT_TRUE(DecodeRecord(TDatabase::Intl, reinterpret_cast<const uint8_t*>(e2.data()),
                           static_cast<int>(e2.size()), 77, back));
  EXPECT_EQ(back.pos[0], 42);
  EXPECT_EQ(back.Field(3), "Hans Meier, Hauptstr. 1, 80331 M\x81nchen");
  // Read with the wrong key the text is garbage, not the entry.
  ASSERT_TRUE(DecodeRecord(TDatabase::Intl, reinterpret_cast<const uint8_t*>(e2.data()),
                           static_cast<int>(e2.size()), 78, back));
  EXPECT_NE(back.Field(3), "Hans Meier, Hauptstr. 1, 80331 M\x81nchen");
}

TEST(Records, HostilePayloadLengthIsClamped) {
  // An International record claiming 499 payload bytes must not be read past its 300.
  std::vector<uint8_t> raw(kIntlRecordSize, 'x');
  raw[6] = static_cast<uint8_t>(499 & 0xFF);
  raw[7] = static_cast<uint8_t>(499 >> 8);
  TEntryRecord r;
  ASSERT_TRUE(DecodeRecord(TDatabase::Intl, raw.data(), kIntlRecordSize, 5, r));
  EXPECT_EQ(r.payloadLen, kIntlPayloadSize);
  EXPECT_LE(r.Field(r.payload[0]).size(), 255u);
  // A record cut short by the file end is refused rather than read beyond.
  std::vector<uint8_t> shortRec(kIntlHeaderSize + 10, 0);
  shortRec[6] = 50;
  EXPECT_FALSE(
      DecodeRecord(TDatabase::Intl, shortRec.data(), static_cast<int>(shortRec.size()), 5, r));
  EXPECT_FALSE(DecodeRecord(TDatabase::US, raw.data(), kUSHeaderSize - 1, 5, r));
}

TEST(Fields, Boundaries) {
  const auto p = Bytes(std::string("\x03Jo Doe, 1 Elm St, Town\x04Germany"));
  const int n = static_cast<int>(p.size());
  EXPECT_EQ(GetField(3, p.data(), n), "Jo Doe, 1 Elm St, Town");
  EXPECT_EQ(GetField(4, p.data(), n), "Germany");  // runs to the end of the payload
  EXPECT_EQ(GetField(4, p.data(), n - 2), "Germa");
  EXPECT_EQ(GetField(10, p.data(), n), "");
  EXPECT_EQ(GetField(3, p.data(), 500), "");
  EXPECT_EQ(GetField(3, p.data(), 0), "");
  // tag 1 reads "<" as "0"; other tags keep it.
  const auto c = Bytes(std::string("\x01W<ABC\x13W<XYZ"));
  EXPECT_EQ(GetField(1, c.data(), static_cast<int>(c.size())), "W0ABC");
  EXPECT_EQ(GetField(19, c.data(), static_cast<int>(c.size())), "W<XYZ");
  // At most 255 characters.
  std::string longField = "\x07" + std::string(300, 'a');
  const auto l = Bytes(longField);
  EXPECT_EQ(GetField(7, l.data(), static_cast<int>(l.size())).size(), 255u);
}

TEST(Fields, AssignFieldMatchesGetFieldAndReusesItsString) {
  // Tags at the start, middle and end, a missing one, one only as a text byte ('A' = 65), out of
  // range, tag 1 with "<", and a field cut at 255.
  const auto p = Bytes(std::string("\x01W<ABC\x03Jo Doe, 1 Elm St, Town\x07") +
                       std::string(300, 'a') + "\x04Germany");
  const int n = static_cast<int>(p.size());
  std::string out = std::string(40, 'x');  // grown before: assigned, not appended
  for (const int tag : {1, 3, 4, 7, 10, 65, 256, -1}) {
    for (const int len : {n, n - 3, 12, 0, 500}) {
      AssignField(tag, p.data(), len, out);
      EXPECT_EQ(out, GetField(tag, p.data(), len)) << "tag " << tag << " length " << len;
    }
  }
  TEntryRecord rec;
  rec.payloadLen = static_cast<uint16_t>(std::min(n, kUSPayloadSize));
  std::memcpy(rec.payload.data(), p.data(), rec.payloadLen);
  rec.AssignField(1, out);
  EXPECT_EQ(out, "W0ABC");
  EXPECT_EQ(out, rec.Field(1));
}

// A stored payload and the text each tag's field holds (as stored: "<" kept, blanks kept,
// code page 437 bytes as they are); every tag not listed is absent.
struct TFieldCase {
  const char* name;
  std::string payload;
  std::vector<std::pair<int, std::string>> fields;
};

void PrintTo(const TFieldCase& c, std::ostream* os) { *os << c.name; }

class FieldViewsAgree : public ::testing::TestWithParam<TFieldCase> {};

// FieldView, TFieldViews and Field give the same texts (Field reading "<" of tag 1 as "0"),
// and those are the stored texts.
TEST_P(FieldViewsAgree, WithFieldAndTheStoredTexts) {
  const TFieldCase& c = GetParam();
  ASSERT_LE(c.payload.size(), static_cast<size_t>(kUSPayloadSize));
  TEntryRecord rec;
  rec.db = TDatabase::US;
  rec.payloadLen = static_cast<uint16_t>(c.payload.size());
  std::memcpy(rec.payload.data(), c.payload.data(), c.payload.size());
  const TFieldViews views(rec);
  for (int tag = -1; tag < 32; ++tag) {
    std::string want;
    for (const auto& [t, text] : c.fields)
      if (t == tag) want = text;
    EXPECT_EQ(rec.FieldView(tag), want) << "tag " << tag;
    EXPECT_EQ(views[tag], want) << "tag " << tag;
    if (tag == 1) std::replace(want.begin(), want.end(), '<', '0');
    EXPECT_EQ(rec.Field(tag), want) << "tag " << tag;
  }
  // A tag from 32 on is a text byte ("a", " "): found in the text, the same by all three.
  for (const int tag : {32, 65, 97, 0x81, 255, 256}) {
    EXPECT_EQ(views[tag], rec.FieldView(tag)) << "tag " << tag;
    EXPECT_EQ(rec.Field(tag), rec.FieldView(tag)) << "tag " << tag;
  }
}

const TFieldCase kFieldCases[] = {
    {"PaddedAndCodePage437",
     std::string("\x01W<ABC  \x0D  Jos\x82 M\x81ller ,  , 1 Elm St  \x0B Do\xA4"
                 "a Ana \x16\xB0\xB1\xE1"),
     {{1, "W<ABC  "},
      {13, "  Jos\x82 M\x81ller ,  , 1 Elm St  "},
      {11,
       " Do\xA4"
       "a Ana "},
      {22, "\xB0\xB1\xE1"}}},
    {"EmptyFieldsAndATagAtTheEnd",
     std::string("\x01K5DRC\x02\x03\x04    \x05"),
     {{1, "K5DRC"}, {2, ""}, {3, ""}, {4, "    "}, {5, ""}}},
    {"FirstOfARepeatedTagCounts",
     std::string("\x03"
                 "first\x04x\x03second"),
     {{3, "first"}, {4, "x"}}},
    {"TagZeroAndHighBytesInText",
     std::string("\x00zero\x18\xFF\x80\x7F", 9),
     {{0, "zero"}, {24, "\xFF\x80\x7F"}}},
    {"CutAt255",
     std::string("\x07") + std::string(300, 'a') + "\x09" + "b",
     {{7, std::string(255, 'a')}, {9, "b"}}},
    {"EmptyPayload", std::string(), {}},
};

INSTANTIATE_TEST_SUITE_P(Fields, FieldViewsAgree, ::testing::ValuesIn(kFieldCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The passes as the record format describes them, one byte at a time: the reference the
// scrambling (which works on words) must match for every key residue and length.
void ReferenceUnscramble(uint8_t* p, int len, int32_t key) {
  static const int kOrder[7][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1},
                                   {1, 0, 2}, {2, 1, 0}, {1, 2, 0}};
  static const uint8_t kAlt[7] = {0, 5, 2, 0, 3, 1, 6}, kXor[7] = {3, 0, 7, 1, 0, 4, 2};
  static const uint8_t kPerm[3][20] = {
      {7, 14, 1, 18, 11, 4, 16, 9, 2, 13, 19, 6, 0, 12, 5, 17, 10, 3, 15, 8},
      {19, 2, 10, 5, 15, 0, 8, 13, 3, 17, 6, 11, 1, 16, 9, 4, 18, 7, 12, 14},
      {4, 9, 15, 0, 12, 17, 6, 2, 19, 10, 1, 14, 8, 18, 3, 11, 16, 5, 13, 7}};
  const uint32_t k = static_cast<uint32_t>(key);
  const uint32_t r = k % 7;
  for (const int pass : kOrder[r]) {
    if (pass == 0) {  // byte 1 minus, byte 2 plus, ... key + constant + position
      for (int i = 0; i < len; ++i) {
        const uint8_t d = static_cast<uint8_t>(k + kAlt[r] + static_cast<uint32_t>(i));
        p[i] = static_cast<uint8_t>(i % 2 == 0 ? p[i] - d : p[i] + d);
      }
    } else if (pass == 1) {
      for (int i = 0; i < len; ++i)
        p[i] ^= static_cast<uint8_t>(k + kXor[r] + static_cast<uint32_t>(i) + 1);
    } else {
      for (int n = 0; n < len / 20; ++n) {
        uint8_t block[20];
        for (int j = 0; j < 20; ++j)
          block[j] = p[n * 20 + kPerm[(k + static_cast<uint32_t>(n) + 1) % 3][j]];
        std::memcpy(p + n * 20, block, 20);
      }
      for (int i = len / 20 * 20; i < len; ++i) p[i] ^= static_cast<uint8_t>(i + 1);
    }
  }
}

TEST(Scrambling, MatchesTheBytewiseReference) {
  std::mt19937 rng(11);
  for (int32_t key = -40; key < 400; key += 3) {
    for (int len = 0; len <= kUSPayloadSize; len += (len < 48 ? 1 : 29)) {
      std::vector<uint8_t> stored(static_cast<size_t>(len));
      for (uint8_t& b : stored) b = static_cast<uint8_t>(rng());
      std::vector<uint8_t> ours = stored, reference = stored;
      UnscramblePayload(ours.data(), len, key);
      ReferenceUnscramble(reference.data(), len, key);
      ASSERT_EQ(ours, reference) << "key " << key << " length " << len;
      ScramblePayload(ours.data(), len, key);
      ASSERT_EQ(ours, stored) << "key " << key << " length " << len;
    }
  }
}

TEST(Fields, DatesAndClasses) {
  const auto p =
      Bytes(std::string("\x05"
                        "07041999\x06        \x04"
                        "E\x14x"));
  const int n = static_cast<int>(p.size());
  EXPECT_EQ(GetDateField(5, p.data(), n), "07/04/1999");
  EXPECT_EQ(GetDateField(6, p.data(), n), "        ");
  EXPECT_EQ(GetDateField(9, p.data(), n), "");
  EXPECT_EQ(LicenceClassFieldText(GetField(4, p.data(), n)), "E - Extra");
  EXPECT_EQ(LicenceClassFieldText(GetField(20, p.data(), n)), "x - Unknown");
  EXPECT_EQ(LicenceClassText('X'), "x - Unknown");
  EXPECT_EQ(LicenceClassFieldText(""), "");
  EXPECT_EQ(LicenceClassText('p'), "P - Technician Plus");
  EXPECT_EQ(LicenceClassText('B'), "B - Club");
  EXPECT_EQ(LicenceClassText('\x8E'), "\x84 - Unknown");
}

TEST(SearchKeys, EveryOrder) {
  EXPECT_EQ(MakeSearchKey(0, "  W0ABC "), "w<abc");
  EXPECT_EQ(MakeSearchKey(1, "K0K0"), "k<k<");
  EXPECT_EQ(MakeSearchKey(2, " 20500-0001"), "20500");
  EXPECT_EQ(MakeSearchKey(3, "Abcdefghijklmnopq"), "abcdefghijklmn*");
  EXPECT_EQ(MakeSearchKey(4, "Washington"), "washington");
  EXPECT_EQ(MakeSearchKey(5, "Exactly Fifteen"), "exactly fifteen");
  EXPECT_EQ(MakeSearchKey(5, "Exactly Sixteen!"), "exactly sixtee*");
  EXPECT_EQ(MakeSearchKey(6, " DL0ABCDEFGHIJKLM "), "dl0abcdefghij");
  EXPECT_EQ(MakeSearchKey(3, "\x99ZT\x9A"), "\x94zt\x81");
}

TEST(NotesCall, NormalisationAndRefusals) {
  EXPECT_EQ(NormaliseCall("W1AW"), "w1aw");
  EXPECT_EQ(NormaliseCall("  DL1ABCD"), "dl1a");  // cut to 6 before trimming
  EXPECT_EQ(NormaliseCall("k1abc "), "k1abc");
  try {
    NormaliseCall("   ");
    FAIL();
  } catch (const ECallError& e) {
    EXPECT_STREQ(e.what(), "Call must contain at least 1 and up to 6 characters.");
  }
  for (const char* bad : {"W1-AW", "DL 1A", "W1\x84"}) {
    try {
      NormaliseCall(bad);
      FAIL() << bad;
    } catch (const ECallError& e) {
      EXPECT_STREQ(e.what(), "In a Call, only letters and numbers are allowed.");
    }
  }
}

TEST(Payload, AppendFieldRefusesOverflowAndDropsControls) {
  TEntryRecord r;
  r.db = TDatabase::Intl;
  EXPECT_TRUE(AppendField(r, 3,
                          "a\x01"
                          "b"));
  EXPECT_EQ(r.Field(3), "ab");
  EXPECT_FALSE(AppendField(r, 7, std::string(300, 'x')));
  EXPECT_EQ(r.payloadLen, 3);
}

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

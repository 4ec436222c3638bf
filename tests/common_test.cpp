#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestDir.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"

namespace fs = std::filesystem;

TEST(ErrorTexts, TableAndRendering) {
  EXPECT_EQ(RunErrorText(2), "File not found");
  EXPECT_EQ(RunErrorText(100), "Disk read error");
  EXPECT_EQ(RunErrorText(211), "Too many nested scopes");
  EXPECT_EQ(RunErrorText(7), "");
  EXPECT_EQ(RunErrorText(0), "");
  EXPECT_EQ(RunErrorText(1002), "");
  EXPECT_EQ(ErrorCodeText(2), "Error: 2");
  EXPECT_EQ(ErrorCodeText(1004), "Error: 1004");
}

TEST(DeviceFileName, RefusesConsoleAuxAndEmptyNames) {
  EXPECT_TRUE(IsDeviceFileName("Con"));
  EXPECT_TRUE(IsDeviceFileName("/tmp/labels/CON.txt"));
  EXPECT_TRUE(IsDeviceFileName("c:\\dir\\cOn.prn"));
  EXPECT_TRUE(IsDeviceFileName("a u x"));
  EXPECT_TRUE(IsDeviceFileName(".txt"));
  EXPECT_TRUE(IsDeviceFileName("/tmp/"));
  EXPECT_FALSE(IsDeviceFileName("console"));
  EXPECT_FALSE(IsDeviceFileName("/tmp/con/labels.txt"));
  EXPECT_FALSE(IsDeviceFileName("prn"));
}

TEST(StrUtil, LowerCasingAndNumbers) {
  EXPECT_EQ(LowerCaseOEM("W1AW \x8E\x99\x9A"), "w1aw \x84\x94\x81");
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(NumberFieldValue(" 1 2 "), 12);
  EXPECT_EQ(NumberFieldValue("12x"), 0);
  EXPECT_EQ(NumberFieldValue(""), 0);
  EXPECT_DOUBLE_EQ(RealFieldValue(" 77.5 "), 77.5);
  EXPECT_DOUBLE_EQ(RealFieldValue("-12.25"), -12.25);
  EXPECT_DOUBLE_EQ(RealFieldValue("abc"), 0.0);
}

TEST(StrUtil, CodePage437RoundTrip) {
  std::string all;
  for (int c = 32; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToCp437(Cp437ToUtf8(all)), all);
  EXPECT_EQ(Cp437ToUtf8("M\x81nchen"), "M\xC3\xBCnchen");
  EXPECT_EQ(Utf8ToCp437("K\xC3\xB6ln \xE2\x82\xAC"), "K\x94ln ?");
  EXPECT_EQ(Utf8ToCp437("\xC3"), "?");  // truncated sequence
}

// Code page 437 bytes and their characters, checked by hand against the code page's chart.
TEST(StrUtil, CodePage437Table) {
  const std::pair<unsigned char, const char*> kChart[] = {
      {0x41, "A"},
      {0x7E, "~"},
      {0x80, "\xC3\x87"},      // Ç
      {0x81, "\xC3\xBC"},      // ü
      {0x82, "\xC3\xA9"},      // é
      {0x8E, "\xC3\x84"},      // Ä
      {0x9B, "\xC2\xA2"},      // ¢
      {0x9E, "\xE2\x82\xA7"},  // ₧
      {0x9F, "\xC6\x92"},      // ƒ
      {0xA4, "\xC3\xB1"},      // ñ
      {0xA9, "\xE2\x8C\x90"},  // ⌐
      {0xB0, "\xE2\x96\x91"},  // ░
      {0xC5, "\xE2\x94\xBC"},  // ┼
      {0xDB, "\xE2\x96\x88"},  // █
      {0xE1, "\xC3\x9F"},      // ß
      {0xE3, "\xCF\x80"},      // π
      {0xEA, "\xCE\xA9"},      // Ω
      {0xF8, "\xC2\xB0"},      // °
      {0xFB, "\xE2\x88\x9A"},  // √
      {0xFE, "\xE2\x96\xA0"},  // ■
      {0xFF, "\xC2\xA0"},      // no-break space
  };
  for (const auto& [byte, utf8] : kChart) {
    const char c = static_cast<char>(byte);
    EXPECT_EQ(Cp437CharAsUtf8(c), utf8) << std::hex << int{byte};
    EXPECT_EQ(Cp437ToUtf8(std::string(1, c)), utf8) << std::hex << int{byte};
    std::string out = "x";
    AppendCp437AsUtf8(out, std::string(1, c) + "y");
    EXPECT_EQ(out, std::string("x") + utf8 + "y") << std::hex << int{byte};
  }
  EXPECT_EQ(Cp437CharAsUtf8('\0'), std::string(1, '\0'));
  EXPECT_EQ(Cp437ToUtf8(" Stra\xE1"
                        "e \xB0\xB1\xB2 "),
            " Stra\xC3\x9F"
            "e \xE2\x96\x91\xE2\x96\x92\xE2\x96\x93 ");
  EXPECT_EQ(Cp437ToUtf8(""), "");
}

// The word tests against the bytes one by one, for every byte value at every place of a word
// whose other bytes are the edges of the tests (0x00, 0x1F, 0x20, 0x7F, 0x80, 0xFF ...).
TEST(StrUtil, WordTestsMatchTheBytes) {
  const uint8_t kFill[] = {0x00, 0x01, 0x1F, 0x20, 0x21, 0x22, 0x5C, 0x7F, 0x80, 0xFF};
  for (const uint8_t fill : kFill)
    for (int place = 0; place < 8; ++place)
      for (int value = 0; value < 256; ++value) {
        uint8_t bytes[8];
        std::fill(std::begin(bytes), std::end(bytes), fill);
        bytes[place] = static_cast<uint8_t>(value);
        const uint64_t w = LoadWord(bytes);
        const auto any = [&bytes](auto is) { return std::any_of(bytes, bytes + 8, is); };
        for (const uint8_t n : {1, 0x20, 0x21, 0x80}) {
          ASSERT_EQ(BytesBelow(w, n) != 0, any([n](uint8_t b) { return b < n; }))
              << int{fill} << " " << place << " " << value << " below " << int{n};
        }
        for (const uint8_t b : {0x00, 0x22, 0x5C, 0xFF}) {
          ASSERT_EQ(BytesEqual(w, b) != 0, any([b](uint8_t x) { return x == b; }))
              << int{fill} << " " << place << " " << value << " equal " << int{b};
        }
        ASSERT_EQ(HighBytes(w) != 0, any([](uint8_t b) { return b >= 0x80; }))
            << int{fill} << " " << place << " " << value;
      }
}

TEST(DataPath, ResolvesBackslashNamesCaseInsensitively) {
  TestDir dir;
  fs::create_directories(dir.file("DATA"));
  std::ofstream(dir.file("DATA/THEDATA.DAT")) << "x";
  EXPECT_EQ(ResolveDataPath(dir.path() + "/", "data\\thedata.dat"), dir.file("DATA/THEDATA.DAT"));
  EXPECT_EQ(ResolveDataPath(dir.path(), "data\\missing.idx"), dir.file("data/missing.idx"));
  // A long home directory is used whole.
  std::string deep = dir.path();
  for (int i = 0; i < 12; ++i) deep += "/a-rather-long-folder-name";
  fs::create_directories(deep + "/data");
  std::ofstream(deep + "/data/uszip.idx") << "x";
  const std::string p = ResolveDataPath(deep, "data\\uszip.idx");
  EXPECT_GT(p.size(), 200u);
  EXPECT_TRUE(fs::exists(p));
}

TEST(Files, AtomicWriteAndReadBack) {
  TestDir dir;
  const std::string f = dir.file("settings.ini");
  ASSERT_TRUE(WriteFileAtomically(f, "one"));
  ASSERT_TRUE(WriteFileAtomically(f, "two"));
  std::string back;
  ASSERT_TRUE(ReadWholeFile(f, back));
  EXPECT_EQ(back, "two");
  EXPECT_EQ(fs::directory_iterator(dir.path())->path().filename(), "settings.ini");
  EXPECT_FALSE(ReadWholeFile(dir.file("none"), back));
  EXPECT_EQ(LastErrorCode(), 2);
  EXPECT_FALSE(WriteFileAtomically(dir.file("no/such/dir/x"), "y"));
  EXPECT_EQ(LastErrorCode(), 2);
}

// A mapped file reads exactly as an unmapped one: the same bytes, counts and codes.
TEST(Files, MappedReadsMatchPlainReads) {
  TestDir dir;
  std::string contents;
  for (int i = 0; i < 10000; ++i) contents += static_cast<char>(i * 7 + i / 256);
  std::ofstream(dir.file("f"), std::ios::binary) << contents;
  std::ofstream(dir.file("empty"), std::ios::binary);
  TReadOnlyFile plain, mapped;
  ASSERT_TRUE(plain.Open(dir.file("f")));
  ASSERT_TRUE(mapped.Open(dir.file("f"), true));
  EXPECT_FALSE(plain.IsMapped());
  EXPECT_TRUE(mapped.IsMapped());
  struct TCase {
    int64_t offset, count;
  };
  for (const TCase c : {TCase{0, 10},
                        {4096, 100},
                        {9990, 10},
                        {9990, 20},
                        {10000, 1},
                        {20000, 4},
                        {-1, 4},
                        {0, 0}}) {
    std::string a(static_cast<size_t>(std::max<int64_t>(c.count, 1)), '\0'), b = a;
    int64_t gotA = -1, gotB = -1;
    const bool okA = plain.ReadAt(c.offset, a.data(), c.count, gotA);
    const int codeA = LastErrorCode();
    const bool okB = mapped.ReadAt(c.offset, b.data(), c.count, gotB);
    EXPECT_EQ(okB, okA) << c.offset << "+" << c.count;
    EXPECT_EQ(LastErrorCode(), codeA) << c.offset << "+" << c.count;
    EXPECT_EQ(gotB, gotA) << c.offset << "+" << c.count;
    EXPECT_EQ(b, a) << c.offset << "+" << c.count;
    // A view only when all of it lies inside the file.
    const uint8_t* v = mapped.View(c.offset, c.count);
    const bool inside = c.offset >= 0 && c.count >= 0 && c.offset + c.count <= 10000;
    EXPECT_EQ(v != nullptr, inside) << c.offset << "+" << c.count;
    if (v && c.count > 0) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(v), static_cast<size_t>(c.count)),
                contents.substr(static_cast<size_t>(c.offset), static_cast<size_t>(c.count)));
    }
    EXPECT_EQ(plain.View(0, 1), nullptr);
  }
  // An empty file is not mapped and still reads (nothing, code 100).
  TReadOnlyFile empty;
  ASSERT_TRUE(empty.Open(dir.file("empty"), true));
  EXPECT_FALSE(empty.IsMapped());
  char c;
  int64_t got = 0;
  EXPECT_FALSE(empty.ReadAt(0, &c, 1, got));
  EXPECT_EQ(LastErrorCode(), 100);
  // Closed: no view, reads fail with 103.
  ASSERT_TRUE(mapped.Close());
  EXPECT_FALSE(mapped.IsMapped());
  EXPECT_EQ(mapped.View(0, 1), nullptr);
  EXPECT_FALSE(mapped.ReadAt(0, &c, 1, got));
  EXPECT_EQ(LastErrorCode(), 103);
}

TEST(Files, ReadOnlyFileReads) {
  TestDir dir;
  std::ofstream(dir.file("f")) << "abcdef";
  TReadOnlyFile f;
  ASSERT_TRUE(f.Open(dir.file("f")));
  char buf[8];
  int64_t got = 0;
  ASSERT_TRUE(f.ReadAt(4, buf, 8, got));
  EXPECT_EQ(got, 2);
  EXPECT_FALSE(f.ReadAt(6, buf, 1, got));
  EXPECT_EQ(LastErrorCode(), 100);
  EXPECT_FALSE(f.ReadExact(3, buf, 4));
  EXPECT_EQ(LastErrorCode(), 100);
  TReadOnlyFile g;
  EXPECT_FALSE(g.Open(dir.path()));  // a directory is not a data file
  EXPECT_EQ(LastErrorCode(), 5);
}

TEST(ErrorTexts, LastErrorCodeIsPerThread) {
  // The builder reads and writes from several threads: one thread's failure is not another's.
  SetLastErrorCode(5);
  int seen = -1;
  std::thread worker([&seen] {
    seen = LastErrorCode();
    SetLastErrorCode(101);
  });
  worker.join();
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(LastErrorCode(), 5);
  SetLastErrorCode(0);
}

// Importers: the zip reader and its deflate decoder, the FCC dump (folder and archive), the CSV
// of International entries, and the text conversion of both.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "RawInflate.h"
#include "TestDir.h"
#include "builder/UCsvImport.h"
#include "builder/UFccImport.h"
#include "builder/UImportText.h"
#include "builder/USourceTables.h"
#include "builder/UZipArchive.h"
#include "common/IOUtil.h"

namespace fs = std::filesystem;

namespace {

const std::string kFixtures = std::string(TELLMARK_TESTS_DIR) + "/fixtures";

std::string Slurp(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s)) << path;
  return s;
}

// The text of fixtures/zip/big.zip's big.txt: a pseudo-random block of words repeated 10 times.
std::string BigText() {
  const char* words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf",
                         "hotel", "india", "juliett", "kilo",  "lima", "mike"};
  std::string block;
  uint64_t x = 1;
  for (int i = 0; i < 3000; ++i) {
    x = (x * 1103515245 + 12345) % (1ull << 31);
    block += words[(x >> 16) % 13];
    block += i % 8 == 7 ? '\n' : ' ';
  }
  std::string text;
  for (int r = 0; r < 10; ++r) text += std::to_string(r) + ":" + block;
  return text;
}

TEST(Inflate, FixedStoredAndDynamicBlocks) {
  const std::string hello = [] {
    std::string s;
    for (int i = 0; i < 3; ++i) s += "Hello, Hello, Hello, deflate! ";
    return s;
  }();
  const char fixed[] =
      "\xf3\x48\xcd\xc9\xc9\xd7\x51\xf0\x40\xa1\x52\x52\xd3\x72\x12\x4b\x52\x15"
      "\xd1\x84\x49\x93\x05\x00";
  EXPECT_EQ(InflateRaw(std::string_view(fixed, sizeof fixed - 1)), hello);
  std::string stored = std::string("\x01\x5a\x00\xa5\xff", 5) + hello;
  EXPECT_EQ(InflateRaw(stored), hello);

  // Dynamic codes (block type 2 in the first bits).
  const std::string dynamic = Slurp(kFixtures + "/zip/dynamic.bin");
  ASSERT_EQ(dynamic[0] & 7, 5);
  std::string expected;
  for (int i = 0; i < 300; ++i)
    expected += std::to_string(i) + " abracadabra " +
                std::string(static_cast<size_t>(i % 5), static_cast<char>('a' + i * 7 % 26)) + "\n";
  EXPECT_EQ(InflateRaw(dynamic), expected);
}

TEST(Inflate, DamagedDataIsAnErrorNeverACrash) {
  const char fixed[] =
      "\xf3\x48\xcd\xc9\xc9\xd7\x51\xf0\x40\xa1\x52\x52\xd3\x72\x12\x4b\x52\x15"
      "\xd1\x84\x49\x93\x05\x00";
  // Cut short.
  EXPECT_THROW(InflateRaw(std::string_view(fixed, 10)), EStatusError);
  // Block type 3.
  EXPECT_THROW(InflateRaw(std::string("\x07\x00", 2)), EStatusError);
  // Stored block whose length check does not match.
  EXPECT_THROW(InflateRaw(std::string("\x01\x05\x00\x00\x00hello", 10)), EStatusError);
  // A back-reference before the first byte: fixed block, length code 257, distance code 0.
  EXPECT_THROW(InflateRaw(std::string("\x03\x02", 2)), EStatusError);
  // Every flipped byte of a dynamic stream either decodes to something or throws EStatusError.
  const std::string dynamic = Slurp(kFixtures + "/zip/dynamic.bin");
  for (size_t i = 0; i < dynamic.size(); ++i) {
    std::string bad = dynamic;
    bad[i] = static_cast<char>(bad[i] ^ 0x5A);
    try {
      InflateRaw(bad);
    } catch (const EStatusError&) {
    }
  }
}

TEST(ZipArchive, MembersAcrossTheWindowStoredAndByName) {
  const TZipArchive zip(kFixtures + "/zip/big.zip");
  ASSERT_EQ(zip.Members().size(), 2u);
  const TZipMember* big = zip.Find("BIG.TXT");  // base name, any case
  ASSERT_NE(big, nullptr);
  EXPECT_EQ(big->name, "dir/big.txt");
  EXPECT_EQ(big->method, 8);
  std::string text;
  size_t chunks = 0;
  zip.Read(*big, [&](const char* p, size_t n) {
    text.append(p, n);
    ++chunks;
  });
  EXPECT_EQ(text, BigText());
  EXPECT_GT(chunks, 2u);  // streamed, not in one piece
  const TZipMember* plain = zip.Find("plain.txt");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->method, 0);
  std::string s;
  zip.Read(*plain, [&](const char* p, size_t n) { s.append(p, n); });
  EXPECT_EQ(s, "stored bytes\r\n");
  EXPECT_EQ(zip.Find("missing.txt"), nullptr);
}

TEST(ZipArchive, DamagedArchivesAreClearErrors) {
  TestDir d;
  const std::string good = Slurp(kFixtures + "/zip/big.zip");
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(d.file(name), std::ios::binary) << bytes;
    return d.file(name);
  };
  EXPECT_THROW(TZipArchive(write("empty.zip", "")), EStatusError);
  EXPECT_THROW(TZipArchive(write("text.zip", "just some text, not an archive at all")),
               EStatusError);
  EXPECT_THROW(TZipArchive(d.file("absent.zip")), EStatusError);
  // Cut in the middle: the central directory is gone.
  EXPECT_THROW(TZipArchive(write("cut.zip", good.substr(0, good.size() / 2))), EStatusError);
  // A changed byte inside the deflated member: decode error or CRC mismatch.
  std::string flipped = good;
  flipped[200] = static_cast<char>(flipped[200] ^ 0x01);
  const TZipArchive zip(write("flipped.zip", flipped));
  EXPECT_THROW(zip.Read(*zip.Find("big.txt"), [](const char*, size_t) {}), EStatusError);
}

TEST(ImportText, Utf8Latin1AndFolding) {
  EXPECT_EQ(ImportText("M\xC3\xBCller"), "M\x81ller");  // UTF-8 ü
  EXPECT_EQ(ImportText("M\xFCller"), "M\x81ller");      // Latin-1 ü
  EXPECT_EQ(ImportText("\xC5\x81\xC3\xB3"
                       "d\xC5\xBA"),
            "L\xA2"
            "dz");  // Łódź
  EXPECT_EQ(ImportText("\xC5\x92uvre \xE2\x80\x9Cquoted\xE2\x80\x9D"), "OEuvre \"quoted\"");
  EXPECT_EQ(ImportText("S\xC3\xA3o Jo\xC3\xA3o"), "Sao Joao");
  EXPECT_EQ(ImportText("tab\there\r\n"), "tab here  ");
  EXPECT_EQ(ImportText("\xE2\x98\x83"), "?");  // snowman: no form
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));       // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));   // surrogate
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xA9"));
}

// ---------------------------------------------------------------------------------------------
// FCC dump

TFccImportOptions FixtureOptions() {
  TFccImportOptions o;
  o.zipPlace = [](std::string_view zip, TFccPlace& p) {
    static const std::map<std::string, TFccPlace> known = {
        {"06103", {"CT", "Hartford", "72.6800", "41.7600", "EST", "860"}},
        {"80202", {"CO", "Denver", "104.9900", "39.7500", "MST", "303"}},
        {"06111", {"CT", "Hartford", "72.7300", "41.6900", "EST", "860"}},
        {"99501", {"AK", "Anchorage", "149.8800", "61.2200", "AKST", "907"}},
        {"02108", {"MA", "Suffolk", "71.0600", "42.3600", "EST", "617"}}};
    const auto it = known.find(std::string(zip));
    if (it == known.end()) return false;
    p = it->second;
    return true;
  };
  o.cityPlace = [](std::string_view, std::string_view, TFccPlace&) { return false; };
  o.country = [](std::string_view state, std::string& country, std::string& dxcc) {
    country = "United States";
    dxcc = state == "AK" ? "Alaska" : "United States";
  };
  return o;
}

std::map<std::string, const TBuildEntry*> ByCall(const std::vector<TBuildEntry>& v) {
  std::map<std::string, const TBuildEntry*> m;
  for (const auto& e : v) m[e.FieldOr(1)] = &e;
  return m;
}

void ExpectFixtureImport(const std::vector<TBuildEntry>& us, const TFccImportReport& r) {
  EXPECT_EQ(r.hdRecords, 10u);  // 12 lines, 2 malformed
  EXPECT_EQ(r.enRecords, 10u);  // 11 records, 1 malformed
  EXPECT_EQ(r.amRecords, 7u);   // 7 records and a line before any record
  EXPECT_EQ(r.malformed, 4u);
  ASSERT_EQ(r.malformedSamples.size(), 4u);
  EXPECT_EQ(r.malformedSamples[0], "HD.dat line 7: bad unique system identifier \"abc\"");
  EXPECT_EQ(r.malformedSamples[1], "HD.dat line 8: 7 fields (51 to 59 expected)");
  EXPECT_EQ(r.malformedSamples[2], "EN.dat line 8: 7 fields (27 to 30 expected)");
  EXPECT_EQ(r.malformedSamples[3], "AM.dat line 1: not a AM record");
  EXPECT_EQ(r.active, 8u);         // N2OLD cancelled, KD2EXP expired
  EXPECT_EQ(r.withoutEntity, 1u);  // KC1NOE
  EXPECT_EQ(r.superseded, 1u);     // the older K1ABC
  EXPECT_EQ(r.imported, 6u);
  EXPECT_EQ(r.unknownZip, 1u);  // 99999 (ERIE)
  EXPECT_EQ(r.placeFromZip, 5u);
  EXPECT_EQ(r.placeFromCity, 0u);
  EXPECT_EQ(r.placeNone, 1u);
  ASSERT_EQ(us.size(), 6u);

  const auto m = ByCall(us);
  ASSERT_TRUE(m.count("K1ABC"));
  const TBuildEntry& k1 = *m.at("K1ABC");
  EXPECT_EQ(k1.fields,
            (std::vector<std::pair<int, std::string>>{{1, "K1ABC"},
                                                      {2, "CT"},
                                                      {3, "06103"},
                                                      {4, "E"},
                                                      {5, "03152019"},
                                                      {6, "03152029"},
                                                      {8, "72.6800"},
                                                      {9, "41.7600"},
                                                      {10, "860"},
                                                      {11, "Hartford"},
                                                      {12, "EST"},
                                                      {13, "JOHN A DOE, 12 MAIN ST, HARTFORD"},
                                                      {16, "United States"},
                                                      {17, "United States"},
                                                      {21, "F"}}));
  EXPECT_EQ(k1.surname, "DOE");
  EXPECT_EQ(k1.firstName, "JOHN");

  // Vanity call with previous call and class; Latin-1 name; the digit 0 stored as "<".
  ASSERT_TRUE(m.count("W<XYZ"));
  const TBuildEntry& w0 = *m.at("W<XYZ");
  EXPECT_EQ(w0.FieldOr(13), "ANNA M\x9aLLER JR, 400 ELM AVE, DENVER");
  EXPECT_EQ(w0.surname, "M\x9aLLER");
  EXPECT_EQ(w0.FieldOr(19), "KB0AAA");
  EXPECT_EQ(w0.FieldOr(20), "G");
  EXPECT_EQ(w0.FieldOr(21), "T");

  // Club: class from the applicant type, trustee as additional text, club name as surname.
  const TBuildEntry& club = *m.at("W1AW");
  EXPECT_EQ(club.FieldOr(4), "B");
  EXPECT_EQ(club.FieldOr(7), "TRUSTEE K1ZZ");
  EXPECT_EQ(club.surname, "ARRL INC");
  EXPECT_EQ(club.firstName, "");
  EXPECT_EQ(club.FieldOr(13), "ARRL INC, 225 MAIN ST, NEWINGTON");

  // Old 51/27-field layouts; PO box when there is no street; Alaska's entity.
  const TBuildEntry& ak = *m.at("KL7XX");
  EXPECT_EQ(ak.FieldOr(13), "SAM NORTH, PO Box 1234, ANCHORAGE");
  EXPECT_EQ(ak.FieldOr(17), "Alaska");
  EXPECT_EQ(ak.FieldOr(5), "11301998");

  // Continuation line joined into the street; class letter upper-cased.
  const TBuildEntry& ab = *m.at("AB1CD");
  EXPECT_EQ(ab.FieldOr(13), "PAT Q O'NEIL, 7 HILL RD APT 4 REAR BLDG, BOSTON");
  EXPECT_EQ(ab.FieldOr(4), "G");
  EXPECT_EQ(ab.FieldOr(11), "Suffolk");

  // The licensee record wins over the contact; an unknown ZIP leaves the place empty.
  const TBuildEntry& n3 = *m.at("N3TWO");
  EXPECT_EQ(n3.FieldOr(13), "REAL LICENSEE, 2 HOME ST, ERIE");
  EXPECT_EQ(n3.FieldOr(8), "");
  EXPECT_EQ(n3.FieldOr(11), "");
  EXPECT_EQ(n3.FieldOr(3), "99999");

  EXPECT_FALSE(m.count("N2OLD"));
  EXPECT_FALSE(m.count("KD2EXP"));
  EXPECT_FALSE(m.count("KC1NOE"));
}

TEST(FccImport, FolderInTheDumpFormat) {
  std::vector<TBuildEntry> us;
  const TFccImportReport r = ImportFcc(kFixtures + "/fcc", us, FixtureOptions());
  ExpectFixtureImport(us, r);
}

TEST(FccImport, ZipArchiveGivesTheSameEntries) {
  std::vector<TBuildEntry> fromFolder, fromZip;
  ImportFcc(kFixtures + "/fcc", fromFolder, FixtureOptions());
  uint64_t calls = 0;
  TFccImportOptions o = FixtureOptions();
  o.progress = [&](std::string_view, uint64_t, uint64_t) { ++calls; };
  const TFccImportReport r = ImportFcc(kFixtures + "/fcc/l_amat.zip", fromZip, o);
  ExpectFixtureImport(fromZip, r);
  ASSERT_EQ(fromZip.size(), fromFolder.size());
  for (size_t i = 0; i < fromZip.size(); ++i) EXPECT_EQ(fromZip[i].fields, fromFolder[i].fields);
}

TEST(FccImport, FolderCaseAndMissingFiles) {
  TestDir d;
  fs::copy_file(kFixtures + "/fcc/HD.dat", d.file("hd.DAT"));
  fs::copy_file(kFixtures + "/fcc/EN.dat", d.file("en.dat"));
  std::vector<TBuildEntry> us;
  try {
    ImportFcc(d.path(), us, FixtureOptions());
    FAIL() << "no error";
  } catch (const EStatusError& e) {
    EXPECT_NE(std::string(e.what()).find("AM.dat"), std::string::npos) << e.what();
  }
  fs::copy_file(kFixtures + "/fcc/AM.dat", d.file("Am.Dat"));
  us.clear();
  EXPECT_EQ(ImportFcc(d.path(), us, FixtureOptions()).imported, 6u);
  EXPECT_THROW(ImportFcc(d.file("nothing-here"), us), EStatusError);
  EXPECT_THROW(ImportFcc(kFixtures + "/zip/big.zip", us), EStatusError);  // no HD.dat in it
}

TEST(FccImport, LfLineEndsAndAFinalRecordWithoutLineEnd) {
  TestDir d;
  const auto convert = [&](const std::string& name, bool dropLastEnd) {
    std::string s = Slurp(kFixtures + "/fcc/" + name);
    std::string t;
    for (char c : s)
      if (c != '\r') t += c;
    if (dropLastEnd) t.pop_back();
    std::ofstream(d.file(name), std::ios::binary) << t;
  };
  convert("HD.dat", true);
  convert("EN.dat", false);
  convert("AM.dat", true);
  std::vector<TBuildEntry> us;
  ExpectFixtureImport(us, ImportFcc(d.path(), us, FixtureOptions()));
}

// ---------------------------------------------------------------------------------------------
// CSV

TEST(CsvParse, Rfc4180Quoting) {
  std::vector<std::pair<std::vector<std::string>, uint64_t>> rows;
  const auto collect = [&](const std::vector<std::string>& f, uint64_t line) {
    rows.emplace_back(f, line);
  };
  ASSERT_TRUE(
      ParseCsv("a,b,c\r\n\"x, y\",\"say \"\"hi\"\"\",\"two\nlines\"\n\n1,,3", collect).ok());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].first, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(rows[1].first, (std::vector<std::string>{"x, y", "say \"hi\"", "two\nlines"}));
  EXPECT_EQ(rows[1].second, 2u);
  EXPECT_EQ(rows[2].first, (std::vector<std::string>{"1", "", "3"}));
  EXPECT_EQ(rows[2].second, 5u);
  rows.clear();
  const TStatus open = ParseCsv("a,b\n\"open,field\n", collect);
  EXPECT_TRUE(open.IsCorrupt());
  EXPECT_EQ(open.Message(), "a quoted field opened in line 2 is not closed");
}

TEST(CsvImport, EntriesManagersAndBadRows) {
  TestDir d;
  const std::string csv =
      "\xEF\xBB\xBF"
      "Call,Name,Street,Postcode,City,Country,DXCC,Locator,QSL_Manager,qsl_info,"
      "Comments,EMail,extra\r\n"
      "dl1abc,J\xC3\xBCrgen M\xC3\xBCller,\"Hauptstra\xC3\x9F"
      "e 5, Hinterhaus\",50667,"
      "K\xC3\xB6ln,Germany,DL,jo30lw,DJ0XY,via bureau,\"likes \"\"CW\"\"\",jm@example.de,x\r\n"
      "3DA0ZZ,\"Sipho\nDlamini\",,H100,Mbabane,Eswatini,3DA,KG53,,,,,\r\n"
      "G4XYZ,Short Row\r\n"
      ",No Call,,,,,,,,,,,\r\n"
      "VK2/W1A-W,Bad Call,,,,,,,,,,,\r\n"
      "JA1AA,Taro,,100-0001,T\xC5\x8Dky\xC5\x8D,Japan,JA,PM95ZZZ,,,,,\r\n";
  std::ofstream(d.file("intl.csv"), std::ios::binary) << csv;
  TBuildInput in;
  in.qslManagers.push_back({"K1ABC", "W1XX", "", ""});  // one already there
  const TCsvImportReport r = ImportIntlCsv(d.file("intl.csv"), in);
  EXPECT_EQ(r.rows, 6u);
  EXPECT_EQ(r.imported, 3u);
  EXPECT_EQ(r.malformed, 3u);
  ASSERT_EQ(r.malformedSamples.size(), 3u);
  EXPECT_NE(r.malformedSamples[0].find("line 5: 2 fields (13 in the header)"), std::string::npos);
  EXPECT_NE(r.malformedSamples[1].find("line 6: no call sign"), std::string::npos);
  EXPECT_NE(r.malformedSamples[2].find("line 7: call sign \"VK2/W1A-W\""), std::string::npos);
  ASSERT_EQ(r.notes.size(), 2u);
  EXPECT_EQ(r.notes[0], "column \"extra\" ignored");
  EXPECT_NE(r.notes[1].find("line 8: locator \"PM95ZZZ\""), std::string::npos);
  EXPECT_EQ(r.managers, 1u);

  ASSERT_EQ(in.intl.size(), 3u);
  const TBuildEntry& dl = in.intl[0];
  EXPECT_EQ(dl.db, TDatabase::Intl);
  EXPECT_EQ(dl.fields,
            (std::vector<std::pair<int, std::string>>{{1, "DL1ABC"},
                                                      {3,
                                                       "J\x81rgen M\x81ller, Hauptstra\xE1"
                                                       "e 5, Hinterhaus, 50667 K\x94ln"},
                                                      {4, "Germany"},
                                                      {5, "DL"},
                                                      {6, "2"},
                                                      {7, "likes \"CW\""},
                                                      {9, "jm@example.de"},
                                                      {10, "JO30LW"}}));
  ASSERT_EQ(in.qslManagers.size(), 2u);
  EXPECT_EQ(in.qslManagers[1].call, "DL1ABC");
  EXPECT_EQ(in.qslManagers[1].manager, "DJ0XY");
  EXPECT_EQ(in.qslManagers[1].info, "via bureau");

  const TBuildEntry& da = in.intl[1];
  EXPECT_EQ(da.FieldOr(1), "3DA<ZZ");
  EXPECT_EQ(da.FieldOr(3), "Sipho Dlamini, H100 Mbabane");  // line break in a quoted field
  EXPECT_EQ(da.FieldOr(10), "KG53");
  EXPECT_EQ(da.FieldOr(6), "");
  EXPECT_EQ(in.intl[2].FieldOr(3), "Taro, 100-0001 Tokyo");  // ō folded
  EXPECT_EQ(in.intl[2].FieldOr(10), "");
}

TEST(CsvImport, FilesThatCannotBeUsed) {
  TestDir d;
  TBuildInput in;
  EXPECT_THROW(ImportIntlCsv(d.file("absent.csv"), in), EStatusError);
  std::ofstream(d.file("empty.csv")) << "";
  EXPECT_THROW(ImportIntlCsv(d.file("empty.csv"), in), EStatusError);
  std::ofstream(d.file("nocall.csv")) << "name,city\nA,B\n";
  EXPECT_THROW(ImportIntlCsv(d.file("nocall.csv"), in), EStatusError);
  std::ofstream(d.file("open.csv")) << "call,name\nDL1A,\"unclosed\n";
  EXPECT_THROW(ImportIntlCsv(d.file("open.csv"), in), EStatusError);
  EXPECT_TRUE(in.intl.empty());
}

}  // namespace

namespace {

TEST(CsvImport, CountryEntityAndLocatorDerivedWhereMissing) {
  TestDir d;
  std::ofstream(d.file("intl.csv"), std::ios::binary)
      << "call,name,city,country,dxcc,locator\n"
         "DL1XYZ,Hans,Munich,,,\n"
         "VK2/W1AW,Visitor,Sydney,,,\n"  // the prefix before the call
         "VE1ABC,Al,Sydney,,,\n"         // Sydney, Nova Scotia, not New South Wales
         "W1AW/VE3,Visitor,Toronto,,,\n"
         "JA1ABC/P,Taro,tokyo,,,\n"  // a portable mark passed by; any case of the town
         "EA8ABC,Pedro,Las Palmas de Gran Canaria,,,\n"
         "F5AB,Jean,Paris,France,F,JN18EU\n"  // given: nothing derived
         "F6AB,Luc,Paris,,,ZZ99AA\n"          // a locator that is no locator: the town's
         "G4ABC,John,Atlantis,,,\n"           // a town the table lacks: no locator
         "QQ1ABC,Nobody,Paris,,,\n"           // no entity: nothing derived
         "K1XYZ,Mid,Nowhere,,VE,\n";          // an entity given by its prefix
  const TSourceTables tables =
      LoadSourceTables(std::string(TELLMARK_TESTS_DIR) + "/../data/sources");
  TBuildInput in;
  const TCsvImportReport r = ImportIntlCsv(d.file("intl.csv"), in, &tables);
  ASSERT_EQ(in.intl.size(), 11u);
  struct TWant {
    const char* country;
    const char* dxcc;
    const char* locator4;
  };
  const TWant want[] = {{"Germany", "Fed. Rep. of Germany", "JN58"},
                        {"Australia", "Australia", "QF56"},
                        {"Canada", "Canada", "FN96"},
                        {"Canada", "Canada", "FN03"},
                        {"Japan", "Japan", "PM95"},
                        {"Spain", "Canary Islands", "IL28"},
                        {"France", "F", "JN18"},
                        {"France", "France", "JN18"},
                        {"United Kingdom", "England", ""},
                        {"", "", ""},
                        {"", "VE", ""}};
  for (size_t i = 0; i < in.intl.size(); ++i) {
    const TBuildEntry& e = in.intl[i];
    EXPECT_EQ(e.FieldOr(4), want[i].country) << e.FieldOr(1);
    EXPECT_EQ(e.FieldOr(5), want[i].dxcc) << e.FieldOr(1);
    EXPECT_EQ(e.FieldOr(10).substr(0, 4), want[i].locator4) << e.FieldOr(1);
    if (!e.FieldOr(10).empty()) {
      EXPECT_EQ(e.FieldOr(10).size(), 6u);
    }
  }
  EXPECT_EQ(in.intl[6].FieldOr(10), "JN18EU");
  EXPECT_EQ(r.derivedEntity, 8u);
  EXPECT_EQ(r.derivedLocator, 7u);

  // Without the tables nothing is derived.
  TBuildInput plain;
  const TCsvImportReport p = ImportIntlCsv(d.file("intl.csv"), plain);
  EXPECT_EQ(p.derivedEntity + p.derivedLocator, 0u);
  EXPECT_EQ(plain.intl[0].FieldOr(4), "");
  EXPECT_EQ(plain.intl[0].FieldOr(10), "");
}

}  // namespace

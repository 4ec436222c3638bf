// The files tellmark-build writes, pinned: a tiny edition whose every byte was worked out by hand
// (records with their scrambled payloads, the sequence file, the QSL managers file, the
// manifest), read back through the data-set reader; and a golden hash of each file of a larger
// fixed edition, which catches any change to the writer's output at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "OpenedDataSet.h"
#include "TestDir.h"
#include "builder/UEditionWriter.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "storage/UIndexEngine.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
  std::string s;
  EXPECT_TRUE(ReadWholeFile(path, s)) << path;
  return s;
}

TBuildEntry Entry(TDatabase db, std::vector<std::pair<int, std::string>> fields, uint8_t mapNr = 0,
                  std::string surname = {}, std::string firstName = {}) {
  TBuildEntry e;
  e.db = db;
  e.fields = std::move(fields);
  e.mapNr = mapNr;
  e.surname = std::move(surname);
  e.firstName = std::move(firstName);
  return e;
}

// ---------------------------------------------------------------------------------------------
// The tiny edition. Input order differs from every sort order, so each order is really sorted:
//   International call order: DL1ABC (I1), G3XYZ (I0)
//   U.S. call: k<abc (U1), n2xx (U2), w1aw (U0)     ZIP: 06111 (U0), 10001 (U2), 65401 (U1)
//   name: lee (U1), lee (U2, greater reference), maxim (U0)
//   city: "new york" (U2) before "newington" (U0) (blank below letters), rolla (U1)
//   county: empty (U2) first, hartford (U0), phelps (U1)
// References: the 16-byte magic, then I1 16, I0 82, U1 123, U2 196, U0 265; 350 bytes in all.

TBuildInput TinyInput() {
  const auto I = TDatabase::Intl;
  const auto U = TDatabase::US;
  TBuildInput in;
  in.title = "Golden edition";
  in.intl = {
      Entry(I, {{itCall, "G3XYZ"}, {itAddress, "John Smith, London"}, {itCountry, "England"}}),
      Entry(I,
            {{itCall, "DL1ABC"},
             {itClass, "A"},
             {itAddress, "Hans Muster, Koeln"},
             {itCountry, "Fed. Rep. of Germany"},
             {itQslMgr, "1"},
             {itLocator, "JO30LW"}},
            3),
  };
  in.us = {
      Entry(U,
            {{utCall, "W1AW"},
             {utState, "CT"},
             {utZIP, "06111"},
             {utClass, "E"},
             {utAddress, "Hiram Maxim, 225 Main St, Newington"},
             {utCounty, "Hartford"}},
            7, "Maxim", "Hiram"),
      Entry(U,
            {{utCall, "K<ABC"},
             {utState, "MO"},
             {utZIP, "65401"},
             {utClass, "T"},
             {utAddress, "Ann Lee, 1 Elm St, Rolla"},
             {utCounty, "Phelps"}},
            0, "Lee", "Ann"),
      Entry(U,
            {{utCall, "N2XX"},
             {utState, "NY"},
             {utZIP, "10001"},
             {utClass, "G"},
             {utAddress, "Bob Lee, 5 Oak Ave, New York"}},
            0, "Lee", "Bob"),
  };
  in.qslManagers = {{"DL1ABC", "DJ2XY", "via bureau", "12311998"}};
  return in;
}

constexpr int32_t kI1 = 16, kI0 = 82, kU1 = 123, kU2 = 196, kU0 = 265;

TEST(BuildKnownAnswers, TinyEditionFiles) {
  struct TFile {
    std::string name;
    std::string bytes;
  };
  const TFile files[] = {
      {"thedata.dat",
       Unhex(  // magic
           "544d4b2044415441205345541a010000"
           // I1 at 16: position 0, map 3, length 58
           "00000000 03 00 3a00"
           "158604262b377529684a07497382256a7f48377b48365edc299c228417308289e644da568a293b83490c6a"
           "c559c748d8423e8cc8798df20e5f81"
           // I0 at 82: position 1, map 0, length 33
           "01000000 00 00 2100"
           "58aaaeaf03a0018cd1ab6c74ebeca0d1ac5e6995a87cb773aff2d86eb896b8aa81"
           // U1 at 123: call 0, name 0, city 2, ZIP 2, county 2; map 0; length 49
           "00000000 00000000 02000000 02000000 02000000 00 00 3100"
           "bdc8b5b1063f380b0c2f422b434b703e32f96aff6748574c902e2e44221c7b149f4d9334622855d84f016e"
           "74470945385c"
           // U2 at 196: call 1, name 1, city 0, ZIP 1, county 0; map 0; length 45
           "01000000 01000000 00000000 01000000 00000000 00 00 2d00"
           "5434590895c64ae2acd2b1c55ce9b812a906c10175df6bb69ca7a0e473e4a8e882a38ca7c1d87599e595a4"
           "bea2"
           // U0 at 265: call 2, name 2, city 1, ZIP 0, county 1; map 7; length 61
           "02000000 02000000 01000000 00000000 01000000 07 00 3d00"
           "2342302e00394a4358520e3072930d5930f30b0544647519745b22a3356ab6a3dcd9677aa21e156c0f7bc2"
           "91142d8a259a9b6713f8716ae34071fdecda")},
      {"spur.trc", Unhex("10000000 52000000"              // International by call
                         "7b000000 c4000000 09010000"     // U.S. by call
                         "09010000 c4000000 7b000000"     // ZIP
                         "7b000000 c4000000 09010000"     // name
                         "c4000000 09010000 7b000000"     // city
                         "c4000000 09010000 7b000000")},  // county
      {"qslmgr.dat", Unhex("04 43616c6c 000000000000000000"
                           "07 4d616e61676572 000000000000"
                           "04 496e666f 0000000000000000000000"
                           "06 456469746564 0000"
                           "06 444c31414243 000000000000 00"
                           "05 444a325859 0000000000000000"
                           "0a 7669612062757265617500000000 00"
                           "08 3132333131393938")},
      {"edition.ini",
       "[Edition]\r\nTitle=Golden edition\r\nIntlCount=2\r\nUSCount=3\r\nMapDirOffset=0\r\n\r\n"
       "[Orders]\r\nOrder0=0,1\r\nOrder1=2,4\r\nOrder2=5,7\r\nOrder3=8,10\r\nOrder4=11,13\r\n"
       "Order5=14,16\r\n"},
  };
  TestDir dir;
  WriteEdition(TinyInput(), dir.path());
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(Hex(ReadFile(dir.file("data/" + f.name))), Hex(f.bytes));
  }

  // The reader on these files: each order's references, and each record's positions and call.
  struct TOrder {
    int index;
    std::vector<int32_t> refs;
  };
  const TOrder orders[] = {{oiIntlCall, {kI1, kI0}},    {oiUSCall, {kU1, kU2, kU0}},
                           {oiUSZIP, {kU0, kU2, kU1}},  {oiUSName, {kU1, kU2, kU0}},
                           {oiUSCity, {kU2, kU0, kU1}}, {oiUSCounty, {kU2, kU0, kU1}}};
  const std::map<int32_t, std::string> calls = {
      {kI1, "DL1ABC"}, {kI0, "G3XYZ"}, {kU1, "K0ABC"}, {kU2, "N2XX"}, {kU0, "W1AW"}};
  constexpr int kPosSlot[kOrderCount] = {0, upCall, upZIP, upName, upCity, upCounty};
  std::unique_ptr<TOpenedDataSet> opened;
  ASSERT_NO_THROW(opened = std::make_unique<TOpenedDataSet>(dir.path()));
  for (const auto& o : orders) {
    SCOPED_TRACE("order " + std::to_string(o.index));
    ASSERT_EQ(OrderEntryCount(o.index), static_cast<int32_t>(o.refs.size()));
    for (size_t p = 0; p < o.refs.size(); ++p) {
      int32_t ref = -1;
      ASSERT_TRUE(ReadOrderEntry(o.index, static_cast<int32_t>(p), ref));
      EXPECT_EQ(ref, o.refs[p]);
      TEntryRecord rec;
      ASSERT_TRUE(ReadRecord(o.index == oiIntlCall ? TDatabase::Intl : TDatabase::US, ref, rec));
      EXPECT_EQ(rec.Field(1), calls.at(ref));
      EXPECT_EQ(rec.pos[static_cast<size_t>(kPosSlot[o.index])], static_cast<int32_t>(p));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Golden hashes. Any change to what the writer produces from the same input changes a hash here.
// If the change is meant: make sure the known-answer tests (above and in formats_test) still
// hold, or re-derive their bytes by hand; then replace kGolden with the lines this test prints on
// failure, and say in the commit message why the stored bytes changed.

uint64_t Fnv1a64(std::string_view bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (const char c : bytes) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
  return h;
}

// A fixed input large enough for two-level indexes in every order, with a repeated call and an
// entry without call (both left out), cp437 letters, tagged words and overlong fields.
TBuildInput GoldenInput() {
  const char* const surnames[] = {"Smith",     "O'Brien", "Miller", "Vanderbilt-Wentworthshire",
                                  "M\x81ller", "Nguyen",  "Lee",    "Ab"};
  const char* const first[] = {"John", "Mary", "J\x82r\x93me", "Ann", "Bob"};
  const char* const cities[] = {"Springfield", "Coeur d'Alene", "Salt Lake City", "Ames"};
  const char* const counties[] = {"Greene", "Prince George's", "St. Louis", "", "Los Angeles"};
  const char* const countries[] = {"Fed. Rep. of Germany", "England", "Japan", "Australia"};
  TBuildInput in;
  in.title = "Golden edition";
  uint32_t r = 12345;
  const auto next = [&r] { return r = r * 1103515245u + 12345u, r >> 8; };
  const auto letters = [](int n) {
    std::string s;
    for (int k = 0; k < 3; ++k, n /= 26) s += static_cast<char>('A' + n % 26);
    return s;
  };
  for (int i = 0; i < 180; ++i) {
    const std::string sur = surnames[next() % 8], fn = first[next() % 5];
    const std::string city = cities[next() % 4];
    std::string call = std::string(1, "KNWA"[i % 4]) + std::to_string(i % 10) + letters(i / 10);
    std::replace(call.begin(), call.end(), '0', '<');
    in.us.push_back(Entry(
        TDatabase::US,
        {{utCall, call},
         {utState, i % 3 ? "MO" : "CT"},
         {utZIP, std::to_string(10000 + next() % 400)},
         {utClass, std::string(1, "AEGNPT"[i % 6])},
         {utIssued, "07041999"},
         {utLongitude, "92.5"},
         {utLatitude, "38.1"},
         {utCounty, counties[next() % 5]},
         {utAddress, fn + " " + sur + ", " + std::to_string(next() % 999) + " Main St, " + city},
         {utPrevCall, i % 7 ? "" : "WB<XYZ"},
         {utComments, std::string(400, 'x')}},
        static_cast<uint8_t>(i % 11 ? 0 : 1 + i % 50), sur, fn));
  }
  in.us.push_back(in.us[17]);  // a repeated call
  for (int i = 0; i < 120; ++i) {
    std::string call = std::string(i % 2 ? "DL" : "G") + std::to_string(i % 10) + letters(i / 10);
    std::replace(call.begin(), call.end(), '0', '<');
    in.intl.push_back(Entry(
        TDatabase::Intl, {{itCall, call},
                          {itClass, "A"},
                          {itAddress, std::string(first[next() % 5]) + " " + surnames[next() % 8] +
                                          ", Hauptstra\xe1"
                                          "e 1, K\x94ln"},
                          {itCountry, countries[next() % 4]},
                          {itQslMgr, i % 9 ? "" : "2"},
                          {itLocator, "JO30LW"}}));
  }
  in.intl.push_back(Entry(TDatabase::Intl, {{itAddress, "No call"}}));
  in.qslManagers = {{"DL1ABC", "DJ2XY", "via bureau", "12311998"},
                    {"3DA<AA", "W<ABC", "direct only, long info", "0101"}};
  in.entities.AddEntity({291, "United States", "NA", 5, 8, {"K", "N", "W", "AA"}});
  in.entities.AddEntity({230, "Fed. Rep. of Germany", "EU", 14, 28, {"DA", "DL"}});
  in.entities.AddState({"CT", 291, {5, 0, 0}, {8, 0, 0}});
  in.entities.AddState({"MO", 291, {4, 0, 0}, {7, 8, -90}});
  return in;
}

struct TGolden {
  const char* file;
  int64_t size;
  uint64_t fnv;
};
const TGolden kGolden[] = {
    {"edition.ini", 184, 0xf83db26d3a5d0666ull},   {"entities.tsv", 382, 0x93e5b5f4b3609095ull},
    {"intlcall.idx", 4820, 0x831d4cbe4f98c908ull}, {"intlwort.idx", 3850, 0x55ff262143842fa9ull},
    {"intlwort.vws", 3380, 0xd1079419652802d3ull}, {"qslmgr.dat", 159, 0xceaf758292b6b058ull},
    {"spur.trc", 4080, 0x2c308980e86789b9ull},     {"thedata.dat", 84814, 0x1c8feafbd2b08803ull},
    {"uscall.idx", 6025, 0x43b7859d03c65ea9ull},   {"uscity.idx", 9625, 0xd27dd3a624f757d3ull},
    {"uscounty.idx", 9625, 0xf2cb363bea55f758ull}, {"usname.idx", 9625, 0x053beca4a0611b9eull},
    {"uswort.idx", 13475, 0xff881a8b78b6b19eull},  {"uswort.vws", 11464, 0x03f939e58036d983ull},
    {"uszip.idx", 5625, 0x112d98435a87cb69ull},
};

TEST(BuildGolden, FixedEditionFileHashes) {
  TestDir dir;
  WriteEdition(GoldenInput(), dir.path());
  std::map<std::string, std::pair<int64_t, uint64_t>> got;
  for (const auto& f : fs::directory_iterator(dir.file("data"))) {
    const std::string bytes = ReadFile(f.path().string());
    got[f.path().filename().string()] = {static_cast<int64_t>(bytes.size()), Fnv1a64(bytes)};
  }
  std::map<std::string, std::pair<int64_t, uint64_t>> want;
  for (const auto& g : kGolden) want[g.file] = {g.size, g.fnv};
  if (got != want) {
    std::ostringstream table;
    for (const auto& [name, v] : got) {
      char line[128];
      std::snprintf(line, sizeof line, "    {\"%s\", %lld, 0x%016llxull},\n", name.c_str(),
                    static_cast<long long>(v.first), static_cast<unsigned long long>(v.second));
      table << line;
    }
    ADD_FAILURE() << "the edition written from the fixed input changed; if that is meant, the "
                     "new table is:\n"
                  << table.str();
  }
}

}  // namespace

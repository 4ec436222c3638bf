// What the builder's failures are: the status kind and the message each one carries (the
// messages are those tellmark-build prints after "tellmark-build: error: ").
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "TestDir.h"
#include "builder/UCsvImport.h"
#include "builder/UFccImport.h"
#include "builder/UFccUpdate.h"
#include "builder/UHelpText.h"
#include "builder/UIsedImport.h"
#include "builder/UMapGeometry.h"
#include "builder/USourceTables.h"
#include "builder/UZipArchive.h"

namespace {

void Write(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

int NoBuild(int, char**) {
  ADD_FAILURE() << "the build step ran";
  return 1;
}

struct TFailure {
  const char* name;
  // Makes what the call needs in the folder and makes the call, which must throw.
  std::function<void(const std::string& dir)> call;
  TStatusCode code;
  // The whole message, or its beginning when prefixOnly; "@" stands for the test's folder.
  std::string message;
  bool prefixOnly = false;
};

void PrintTo(const TFailure& f, std::ostream* os) { *os << f.name; }

std::string Expand(const std::string& message, const std::string& dir) {
  std::string s;
  for (char c : message) s += c == '@' ? dir : std::string(1, c);
  return s;
}

class BuilderFailure : public ::testing::TestWithParam<TFailure> {};

TEST_P(BuilderFailure, HasItsKindAndMessage) {
  const TFailure& f = GetParam();
  TestDir d;
  try {
    f.call(d.path());
    FAIL() << "no failure";
  } catch (const EStatusError& e) {
    EXPECT_EQ(e.Status().Code(), f.code) << e.what();
    EXPECT_EQ(std::string(e.what()), e.Status().Message());
    const std::string want = Expand(f.message, d.path());
    if (f.prefixOnly)
      EXPECT_EQ(e.Status().Message().substr(0, want.size()), want);
    else
      EXPECT_EQ(e.Status().Message(), want);
  }
}

const TFailure kFailures[] = {
    {"ZipEmpty",
     [](const std::string& d) {
       Write(d + "/a.zip", "");
       TZipArchive zip(d + "/a.zip");
     },
     TStatusCode::Corrupt, "@/a.zip is empty, not a zip archive"},
    {"ZipOfText",
     [](const std::string& d) {
       Write(d + "/a.zip", "just some text, not an archive at all");
       TZipArchive zip(d + "/a.zip");
     },
     TStatusCode::Corrupt, "cannot open @/a.zip: not a zip archive (no central directory)"},
    {"ZipAbsent", [](const std::string& d) { TZipArchive zip(d + "/absent.zip"); },
     TStatusCode::NotFound, "cannot open @/absent.zip: ", true},
    {"CsvAbsent",
     [](const std::string& d) {
       TBuildInput in;
       ImportIntlCsv(d + "/absent.csv", in);
     },
     TStatusCode::NotFound, "cannot read @/absent.csv: Error: 2 (File not found)"},
    {"CsvEmpty",
     [](const std::string& d) {
       Write(d + "/e.csv", "");
       TBuildInput in;
       ImportIntlCsv(d + "/e.csv", in);
     },
     TStatusCode::Corrupt, "@/e.csv is empty (no header row)"},
    {"CsvWithoutCall",
     [](const std::string& d) {
       Write(d + "/n.csv", "name,city\nA,B\n");
       TBuildInput in;
       ImportIntlCsv(d + "/n.csv", in);
     },
     TStatusCode::Corrupt, "@/n.csv: the header row has no \"call\" column"},
    {"HelpWithoutTopic", [](const std::string&) { ParseHelpSource(""); }, TStatusCode::Corrupt,
     "help source has no topic"},
    {"GeometryNotOne", [](const std::string&) { ParseMapGeometry("TMGEO"); }, TStatusCode::Corrupt,
     "not a map geometry file"},
    {"GeometryAbsent", [](const std::string& d) { LoadMapGeometry(d + "/world.geo"); },
     TStatusCode::NotFound, "cannot read @/world.geo: Error: 2"},
    {"GeometryDamaged",
     [](const std::string& d) {
       Write(d + "/world.geo", "TMGEO");
       LoadMapGeometry(d + "/world.geo");
     },
     TStatusCode::Corrupt, "@/world.geo: not a map geometry file"},
    {"IsedAbsent",
     [](const std::string& d) {
       TBuildInput in;
       ImportIsed(d + "/amateur_delim.txt", in, TSourceTables{});
     },
     TStatusCode::NotFound, "cannot read @/amateur_delim.txt: Error: 2 (File not found)"},
    {"IsedOtherFile",
     [](const std::string& d) {
       Write(d + "/other.txt", "call;name;city\r\nVE3AAA;Someone;Ottawa\r\n");
       TBuildInput in;
       ImportIsed(d + "/other.txt", in, TSourceTables{});
     },
     TStatusCode::InvalidArgument,
     "@/other.txt is not the Canadian amateur register: its first line is \"call;name;city\"",
     true},
    {"FccAbsent",
     [](const std::string& d) {
       std::vector<TBuildEntry> us;
       ImportFcc(d + "/l_amat.zip", us);
     },
     TStatusCode::NotFound, "cannot open @/l_amat.zip: Error: 2 (File not found)"},
    {"SourcesAbsent", [](const std::string& d) { LoadSourceTables(d + "/none"); },
     TStatusCode::NotFound, "Cannot read source table @/none/", true},
};

INSTANTIATE_TEST_SUITE_P(Table, BuilderFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// An update refuses a folder that holds something else before it downloads anything.
TEST(UpdateStatus, FolderWithoutBuildRecordIsRefused) {
  TestDir d;
  Write(d.file("ed/notes.txt"), "mine");
  TUpdateOptions o;
  o.dir = d.file("ed");
  o.offline = true;
  o.quiet = true;
  const TResult<TUpdateOutcome> r = Update(o, NoBuild);
  ASSERT_FALSE(r.ok());
  EXPECT_TRUE(r.Status().IsInvalidArgument());
  EXPECT_EQ(r.Status().Message(),
            d.file("ed") +
                " holds no build record (data/build.ini): name an empty or new folder for a new "
                "edition");
  std::ifstream kept(d.file("ed/notes.txt"));
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "mine");
}

}  // namespace

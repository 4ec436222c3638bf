// Every International entry of the sample edition against an independent resolver: the entity,
// continent and zones its record says are what tests/cty_check.py, reading Debian's country file
// itself, finds for its call.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "TestDir.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "callbook/UCallbookRecord.h"
#include "common/IOUtil.h"

namespace {

const std::string kSources = std::string(TELLMARK_SOURCE_DIR) + "/data/sources";
const char* const kCtyDat = "/usr/share/hamradio-files/cty.dat";
const char* const kCtyCsv = "/usr/share/hamradio-files/cty.csv";

std::string Number(const std::optional<int>& v) { return v ? std::to_string(*v) : std::string(); }

TEST(SampleEntities, AgreeWithAnIndependentResolver) {
  if (std::system("python3 --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
  std::string probe;
  if (!ReadWholeFile(kCtyDat, probe)) GTEST_SKIP() << "hamradio-files is not installed";
  const TSourceTables tables = LoadSourceTables(kSources);
  const TEntityTable entities = MakeEntityTable(tables);
  // The sample edition's International entries, as tellmark-build makes them by default.
  const TBuildInput in = GenerateSample(tables, 0, 40000, 1999);
  ASSERT_EQ(in.intl.size(), 40000u);
  std::string tsv = "call\tdxcc\tcontinent\tcq\titu\n";
  for (const TBuildEntry& e : in.intl) {
    TEntryRecord rec;
    rec.db = TDatabase::Intl;
    for (const auto& [tag, text] : e.fields) ASSERT_TRUE(AppendField(rec, tag, text));
    const TCallbookRecord r = MakeCallbookRecord(rec, TCallbookMatch::Exact, &entities);
    tsv += r.call + "\t" + Number(r.dxccCode) + "\t" + r.continent + "\t" + Number(r.cqZone) +
           "\t" + Number(r.ituZone) + "\n";
  }
  TestDir dir;
  const std::string calls = dir.file("calls.tsv"), out = dir.file("out.txt");
  ASSERT_TRUE(WriteFileAtomically(calls, tsv));
  const std::string script = std::string(TELLMARK_SOURCE_DIR) + "/tests/cty_check.py";
  const int rc = std::system(
      ("python3 " + script + " " + kCtyDat + " " + kCtyCsv + " " + calls + " > " + out).c_str());
  std::string report;
  ASSERT_TRUE(ReadWholeFile(out, report));
  EXPECT_EQ(rc, 0) << report;
  EXPECT_NE(report.find("calls 40000 disagreements 0\n"), std::string::npos) << report;
}

}  // namespace

// A data file cut short: every mode of tellmark-lookup that reads an entry from it says the same
// thing, in the same words, and writes nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "OpenedDataSet.h"
#include "callbook/UCallbook.h"
#include "common/IOUtil.h"
#include "lookup_fixture.h"

namespace fs = std::filesystem;

namespace {

struct TRun {
  int status = -1;
  std::vector<std::string> errors;  // the lines of standard error but the data-age warning
};

TRun RunLookup(const std::string& dataDir, const std::string& args, const TestDir& scratch) {
  const std::string errFile = scratch.file("err.txt");
  const std::string cmd = "timeout -s KILL 60 '" + std::string(TELLMARK_LOOKUP_BIN) + "' --data '" +
                          dataDir + "' " + args + " </dev/null >'" + scratch.file("out.txt") +
                          "' 2>'" + errFile + "'";
  const int rc = std::system(cmd.c_str());
  TRun r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : 128 + WTERMSIG(rc);
  std::string err;
  ReadWholeFile(errFile, err);
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);)
    if (line.find("warning: the data of this edition") == std::string::npos)
      r.errors.push_back(line);
  return r;
}

struct TModeRow {
  const char* name;
  std::string args;  // "{log}" stands for the ADIF log, "{wav}" for the WAV file
};

class TruncatedDataFile : public ::testing::TestWithParam<TModeRow> {};

TEST_P(TruncatedDataFile, SameMessageInEveryMode) {
  fixture::TFixtureEdition edition;
  TestDir scratch;
  setenv("TELLMARK_INI", scratch.file("none.ini").c_str(), 1);
  // Shorter than one entry: every entry's read runs past the end of the file.
  fs::resize_file(edition.path() + "/data/thedata.dat", 40);
  const std::string log = scratch.file("log.adi");
  const std::string logText = "<CALL:5>K1ABC<QSO_DATE:8>20260101<EOR>\n";
  ASSERT_TRUE(WriteFileAtomically(log, logText));
  std::string args = GetParam().args;
  if (const size_t at = args.find("{log}"); at != std::string::npos) args.replace(at, 5, log);
  if (const size_t at = args.find("{wav}"); at != std::string::npos)
    args.replace(at, 5, scratch.file("k1abc.wav"));

  const TRun r = RunLookup(edition.path(), args, scratch);
  EXPECT_EQ(r.status, 2);
  // Written out by hand: the file as the programs name data-set files, the reason as the
  // run-time error table words code 100.
  EXPECT_EQ(r.errors, std::vector<std::string>{
                          "tellmark-lookup: cannot read data/thedata.dat: Disk read error"});
  // Nothing written: no WAV file, the log as it was.
  EXPECT_FALSE(fs::exists(scratch.file("k1abc.wav")));
  std::string after;
  ASSERT_TRUE(ReadWholeFile(log, after));
  EXPECT_EQ(after, logText);
}

INSTANTIATE_TEST_SUITE_P(LookupDamage, TruncatedDataFile,
                         ::testing::Values(TModeRow{"Lookup", "K1ABC"},
                                           TModeRow{"LookupJson", "--json K1ABC"},
                                           TModeRow{"Stats", "--stats"},
                                           TModeRow{"Morse", "--cw {wav} K1ABC"},
                                           TModeRow{"Adif", "--adif {log} --in-place"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same failure inside the program: the callbook's look-ups return it as their status, worded
// as the command line prints it, instead of throwing.
TEST(TruncatedDataFileStatus, LookUpsReturnTheReadFailure) {
  fixture::TFixtureEdition edition;
  fs::resize_file(edition.path() + "/data/thedata.dat", 40);
  const TOpenedDataSet opened(edition.path());
  TCallbook callbook;
  callbook.Open();
  const std::string expected = "cannot read data/thedata.dat: Disk read error";
  const TResult<TCallbookAnswer> answer = callbook.Lookup("K1ABC");
  ASSERT_FALSE(answer.ok());
  EXPECT_TRUE(answer.Status().IsCorrupt());
  EXPECT_EQ(answer.Status().Message(), expected);
  const TResult<TCallbookEntry> entry = callbook.FindEntry("K1ABC/P");
  ASSERT_FALSE(entry.ok());
  EXPECT_TRUE(entry.Status().IsCorrupt());
  EXPECT_EQ(entry.Status().Message(), expected);
  // A text that is no call reads nothing: an answer, not an error.
  const TResult<TCallbookAnswer> empty = callbook.Lookup("  ");
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(empty->message, "empty call");
}

}  // namespace

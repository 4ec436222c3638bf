// tellmark-lookup run as a program on the fixture edition.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "TestDir.h"
#include "lookup_fixture.h"

namespace {

struct TRun {
  int status = -1;
  std::string out;
};

class LookupCliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestDir;
    WriteEdition(fixture::Input(), dir_->path());
    // No settings file: the data directory comes from --data or the program's own directory.
    setenv("TELLMARK_INI", (dir_->path() + "/none.ini").c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static TRun Run(const std::string& args, const std::string& input = {}) {
    std::string cmd = std::string(TELLMARK_LOOKUP_BIN) + " --data '" + dir_->path() + "' " + args;
    if (!input.empty()) {
      const std::string in = dir_->file("stdin.txt");
      FILE* f = std::fopen(in.c_str(), "w");
      std::fputs(input.c_str(), f);
      std::fclose(f);
      cmd += " < '" + in + "'";
    } else {
      cmd += " < /dev/null";
    }
    cmd += " 2>/dev/null";
    TRun r;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int rc = pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
  }

  static TestDir* dir_;
};

TestDir* LookupCliTest::dir_ = nullptr;

}  // namespace

TEST_F(LookupCliTest, ExactCallsInBothDatabasesAsJson) {
  const TRun r = Run("--json w1aw DL1ABC n0xx");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 3u);
  EXPECT_EQ(j[0]["call"], "W1AW");
  EXPECT_EQ(j[0]["database"], "US");
  EXPECT_EQ(j[0]["class"], "B - Club");
  EXPECT_EQ(j[0]["issued"], "01/01/1996");
  EXPECT_EQ(j[0]["locator"], "FN31PR");  // computed from the coordinates
  EXPECT_EQ(j[0]["vanity"], "NO");
  EXPECT_EQ(j[1]["call"], "DL1ABC");
  EXPECT_EQ(j[1]["database"], "International");
  EXPECT_EQ(j[1]["qsl_manager"], "DL9QSL");
  EXPECT_EQ(j[1]["locator"], "JO62QM");
  EXPECT_EQ(j[2]["call"], "N0XX");  // stored with "<", shown with "0"
}

TEST_F(LookupCliTest, MissingCallGivesTheNextGreaterMarked) {
  TRun r = Run("--csv W1AA");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(0, 20), "call,match,database,");
  EXPECT_NE(r.out.find("\r\nW1AW,next-greater,US,"), std::string::npos) << r.out;
  r = Run("ZZ9ZZZ");  // above every call: nothing to show
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
}

TEST_F(LookupCliTest, CallsFromStandardInput) {
  const TRun r = Run("", "k1abc\r\n\r\n  g3xyz  \n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("call           : K1ABC"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("previous_call  : N1XYZ"), std::string::npos);
  EXPECT_NE(r.out.find("vanity         : YES"), std::string::npos);
  EXPECT_NE(r.out.find(": G3XYZ\n"), std::string::npos);
}

TEST_F(LookupCliTest, OrderListingFromAName) {
  const TRun r = Run("--json --name smith --count 2");
  ASSERT_EQ(r.status, 0) << r.out;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["call"], "K1ABC");
  EXPECT_EQ(j[1]["call"], "W9ZZ");
  const TRun miss = Run("--json --county zzzz");
  EXPECT_EQ(miss.status, 1);
}

TEST_F(LookupCliTest, ErrorsExitWithTwo) {
  EXPECT_EQ(Run("--bogus").status, 2);
  EXPECT_EQ(Run("--count").status, 2);
  EXPECT_EQ(Run("--name a w1aw").status, 2);
  const std::string cmd =
      std::string(TELLMARK_LOOKUP_BIN) + " --data /nonexistent w1aw >/dev/null 2>&1";
  const int rc = std::system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(rc), 2);
}

TEST_F(LookupCliTest, WordSearchInOneOrBothDatabases) {
  // Two words that 1200 U.S. entries share, limited to two, in call order.
  TRun r = Run("--json --words elm PAT --count 2");
  ASSERT_EQ(r.status, 0) << r.out;
  auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["match"], "words");
  EXPECT_EQ(j[0]["database"], "US");
  EXPECT_LT(j[0]["call"].get<std::string>(), j[1]["call"].get<std::string>());
  // Field tags for the U.S. database, in any case; words may share an argument.
  r = Run("--json --words 'City=Denver jones'");
  ASSERT_EQ(r.status, 0) << r.out;
  j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(j[0]["call"], "N0XX");
  // Without --db both databases, the U.S. entries first.
  r = Run("--json --words smith");
  ASSERT_EQ(r.status, 0) << r.out;
  j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 3u);
  EXPECT_EQ(j[0]["call"], "K1ABC");
  EXPECT_EQ(j[1]["call"], "W9ZZ");
  EXPECT_EQ(j[2]["call"], "G3XYZ");
  EXPECT_EQ(j[2]["database"], "International");
  r = Run("--json --words --db intl smith");
  EXPECT_EQ(nlohmann::json::parse(r.out).size(), 1u);
  // No entry with all the words, a word no entry has, a field tag in the International database.
  EXPECT_EQ(Run("--json --words denver tulsa").status, 1);
  EXPECT_EQ(Run("--words nosuchword").status, 1);
  EXPECT_EQ(Run("--words --db intl city=leeds").status, 1);
  // Errors.
  EXPECT_EQ(Run("--words").status, 2);
  EXPECT_EQ(Run("--words --db mars smith").status, 2);
  EXPECT_EQ(Run("--db us smith").status, 2);
  EXPECT_EQ(Run("--words a b c d e f g h i j k l m n o").status, 2);
}

namespace {

TEST_F(LookupCliTest, StatsGiveTheCoverageOfTheEdition) {
  const TRun r = Run("--stats");
  EXPECT_EQ(r.status, 0);
  const TBuildInput in = fixture::Input();
  const auto grouped = [](size_t n) {
    std::string s = std::to_string(n);
    for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
      s.insert(static_cast<size_t>(i), ",");
    return s;
  };
  EXPECT_EQ(r.out.find("U.S. entries " + grouped(in.us.size()) + "\n"), 0u) << r.out;
  EXPECT_NE(r.out.find("International entries " + grouped(in.intl.size()) + "\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("licence classes:"), std::string::npos);
}

}  // namespace

// tellmark-lookup run as a program on the fixture edition.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "RunCommand.h"
#include "TestDir.h"
#include "lookup_fixture.h"

namespace {

class LookupCliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestDir;
    TBuildInput in = fixture::Input();
    // Accented words, stored folded ("coruna") by the word-list writer; text in code page 437. A
    // comment with a comma and a double quote.
    in.intl.push_back(fixture::Intl({{1, "EA1XYZ"},
                                     {3,
                                      "Jos\x82 Pe\xa4"
                                      "a, R\xa3"
                                      "a Real 1, 15001 A Coru\xa4"
                                      "a"},
                                     {4, "Spain"},
                                     {5, "Spain"},
                                     {7, "QRV \"daily\", 40 m"}}));
    WriteEdition(in, dir_->path());
    // No settings file: the data directory comes from --data or the program's own directory.
    setenv("TELLMARK_INI", (dir_->path() + "/none.ini").c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // errors: where standard error goes ("/dev/null", or "&1" to read it with the output).
  static TRun Run(const std::string& args, const std::string& input = {},
                  const std::string& errors = "/dev/null") {
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
    cmd += " 2>" + errors;
    return RunCommand(cmd);
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
  EXPECT_EQ(j[0]["database"], "us");
  EXPECT_EQ(j[0]["class"], "B");
  EXPECT_EQ(j[0]["class_text"], "B - Club");
  EXPECT_EQ(j[0]["name"], "ARRL HQ STATION");
  EXPECT_EQ(j[0]["street"], "225 MAIN ST");
  EXPECT_EQ(j[0]["city"], "NEWINGTON");
  EXPECT_EQ(j[0]["issued"], "1996-01-01");
  EXPECT_EQ(j[0]["grid"], "FN31pr");  // computed from the coordinates
  EXPECT_EQ(j[0]["vanity"], false);
  EXPECT_EQ(j[0]["longitude"], -72.7289);
  EXPECT_EQ(j[0]["latitude"], 41.7147);
  // An edition written without the entity table: no entity number, zones or continent.
  EXPECT_FALSE(j[0].contains("dxcc_code"));
  EXPECT_FALSE(j[0].contains("cq_zone"));
  EXPECT_FALSE(j[0].contains("continent"));
  EXPECT_EQ(j[1]["call"], "DL1ABC");
  EXPECT_EQ(j[1]["database"], "intl");
  EXPECT_EQ(j[1]["qsl_manager"], "DL9QSL");
  EXPECT_EQ(j[1]["grid"], "JO62qm");
  EXPECT_EQ(j[2]["call"], "N0XX");  // stored with "<", shown with "0"
  EXPECT_EQ(r.out.back(), '\n');
}

// CSV read back by Python's csv module gives the values of the JSON output, also those that
// hold a comma, a double quote or a line end.
TEST_F(LookupCliTest, CsvReadsBackWithPythonsCsvModule) {
  const std::string calls = "w1aw DL1ABC k1abc ZZ9ZZZ g3xyz ea1xyz";
  const TRun csv = Run("--csv " + calls);
  const TRun json = Run("--json " + calls);
  ASSERT_EQ(csv.status, 1);
  const std::string file = dir_->file("out.csv");
  FILE* f = std::fopen(file.c_str(), "wb");
  std::fwrite(csv.out.data(), 1, csv.out.size(), f);
  std::fclose(f);
  const std::string cmd =
      "python3 -c 'import csv, json, sys; "
      "print(json.dumps([{k: v for k, v in r.items() if v} for r in "
      "csv.DictReader(open(sys.argv[1], newline=\"\", encoding=\"utf-8\"))]))' '" +
      file + "'";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ASSERT_EQ(pclose(p), 0) << out;
  const auto rows = nlohmann::json::parse(out);
  const auto want = nlohmann::json::parse(json.out);
  ASSERT_EQ(rows.size(), want.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (const auto& [k, v] : want[i].items()) {
      if (v.is_string() && v.get<std::string>().empty()) continue;
      const std::string text = v.is_string() ? v.get<std::string>() : v.dump();
      EXPECT_EQ(rows[i].value(k, "<missing>"), text) << i << " " << k;
    }
  }
  // The fields with a comma and a double quote.
  EXPECT_EQ(rows[5]["comments"], "QRV \"daily\", 40 m");
  EXPECT_EQ(rows[0]["address"], "ARRL HQ STATION, 225 MAIN ST, NEWINGTON");
}

TEST_F(LookupCliTest, MissingCallGivesTheNextGreaterMarked) {
  TRun r = Run("--csv W1AA");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(0, 20), "call,match,database,");
  EXPECT_NE(r.out.find("\r\nW1AW,next-greater,us,"), std::string::npos) << r.out;
  r = Run("ZZ9ZZZ");  // above every call: nothing to show
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
}

TEST_F(LookupCliTest, CallsFromStandardInput) {
  const TRun r = Run("", "k1abc\r\n\r\n  g3xyz  \n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("call           : K1ABC"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("previous_call  : N1XYZ"), std::string::npos);
  EXPECT_NE(r.out.find("vanity         : true"), std::string::npos);
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
  EXPECT_EQ(j[0]["database"], "us");
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
  EXPECT_EQ(j[2]["database"], "intl");
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

// How each call matched, one row per input call in input order (CSV and JSON).
TEST_F(LookupCliTest, EveryCallGetsOneRowSayingHowItMatched) {
  struct TCase {
    const char* args;
    const char* input;
    int status;
    std::vector<std::vector<std::string>> rows;  // call, match, designators
  };
  const TCase cases[] = {
      {"w1aw ZZ9ZZZ k1abc",
       "",
       1,
       {{"W1AW", "exact", ""}, {"ZZ9ZZZ", "none", ""}, {"K1ABC", "exact", ""}}},
      {"", "zz9zzz\nn0xx\n", 1, {{"ZZ9ZZZ", "none", ""}, {"N0XX", "exact", ""}}},
      {"''", "", 1, {{"", "none", ""}}},
      {"W1AA", "", 1, {{"W1AW", "next-greater", ""}}},
      // Portable and prefixed calls find the base call's entry.
      {"K1ABC/P k1abc/4 K1ABC/QRP VE3/K1ABC W1AW/MM VE3/w1aw/p",
       "",
       0,
       {{"K1ABC", "base-call", "P"},
        {"K1ABC", "base-call", "4"},
        {"K1ABC", "base-call", "QRP"},
        {"K1ABC", "base-call", "VE3"},
        {"W1AW", "base-call", "MM"},
        {"W1AW", "base-call", "VE3/P"}}},
      {"DL1ABC/M W1AA/P", "", 1, {{"DL1ABC", "base-call", "M"}, {"W1AW", "next-greater", "P"}}},
      // The whole call decides: the first 6 characters of a longer call are no exact hit.
      {"DL1ABCXYZ OE2XABCDE", "", 1, {{"EA1XYZ", "next-greater", ""}, {"OE2XABCDE", "exact", ""}}},
      // -- ends the options.
      {"-- g3xyz", "", 0, {{"G3XYZ", "exact", ""}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.args);
    const TRun r = Run(std::string("--json ") + c.args, c.input);
    EXPECT_EQ(r.status, c.status);
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_array()) << r.out;
    ASSERT_EQ(j.size(), c.rows.size()) << r.out;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      EXPECT_EQ(j[i]["call"], c.rows[i][0]) << i;
      EXPECT_EQ(j[i]["match"], c.rows[i][1]) << i;
      EXPECT_EQ(j[i].value("designators", ""), c.rows[i][2]) << i;
    }
  }
  // CSV: the same columns whatever the rows.
  const TRun csv = Run("--csv zz9zzz g3xyz");
  EXPECT_EQ(csv.status, 1);
  const std::string heading = csv.out.substr(0, csv.out.find("\r\n"));
  EXPECT_EQ(heading.substr(0, 32), "call,match,database,designators,") << heading;
  EXPECT_NE(heading.find(",zip,"), std::string::npos) << heading;
  EXPECT_NE(csv.out.find("\r\nZZ9ZZZ,none,"), std::string::npos) << csv.out;
  EXPECT_NE(csv.out.find("\r\nG3XYZ,exact,intl,"), std::string::npos) << csv.out;
}

// Order listings: each row says whether its key equals the text; past the last key nothing.
TEST_F(LookupCliTest, OrderListingRowsSayHowTheyMatched) {
  struct TCase {
    const char* args;
    int status;
    std::vector<std::string> rows;  // call:match
  };
  const TCase cases[] = {
      // After SMITH comes TURNER, in call order (KB2AAC is the first TURNER).
      {"--name smith --count 3", 0, {"K1ABC:exact", "W9ZZ:exact", "KB2AAC:next-greater"}},
      {"--name smiti --count 2", 1, {"KB2AAC:next-greater", "KB2AAH:next-greater"}},
      {"--zip 80202 --count 2", 0, {"N0XX:exact", "KB1AAI:next-greater"}},
      {"--name zzzzz", 1, {}},
      {"--zip 99950 --count 5", 1, {}},
      {"--city zzz", 1, {}},
      {"--county ''", 1, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.args);
    const TRun r = Run(std::string("--json ") + c.args);
    EXPECT_EQ(r.status, c.status);
    const auto j = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(j.is_array()) << r.out;
    std::vector<std::string> rows;
    for (const auto& row : j)
      rows.push_back(row["call"].get<std::string>() + ":" + row["match"].get<std::string>());
    EXPECT_EQ(rows, c.rows);
  }
}

// Query words are folded as the word lists are: case and accents do not matter.
TEST_F(LookupCliTest, WordSearchFoldsAccents) {
  for (const char* words : {"coruña", "CORUNA", "'A Coruña'",
                            "jos\xc3\xa9 pe\xc3\xb1"
                            "a"}) {
    SCOPED_TRACE(words);
    const TRun r = Run(std::string("--json --words ") + words);
    ASSERT_EQ(r.status, 0) << r.out;
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(j[0]["call"], "EA1XYZ");
    EXPECT_EQ(j[0]["address"], "Jos\u00e9 Pe\u00f1a, R\u00faa Real 1, 15001 A Coru\u00f1a");
  }
  EXPECT_EQ(Run("--words --db intl city=coruna").status, 1);  // no field tags there
}

TEST_F(LookupCliTest, HelpVersionAndErrorsInPlainWords) {
  TRun r = Run("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* option : {"--data", "--json", "--csv", "--name", "--city", "--zip", "--county",
                             "--count", "--words", "--db", "--version", "--help"}) {
    // Each option on a line of its own with a text after it (or below a long option).
    const std::regex line(std::string("\n  (-[a-z],)?") + option +
                          "[^\n]*(\n {10,}|  )[A-Z][A-Za-z.]+ [a-z]");
    EXPECT_TRUE(std::regex_search(r.out, line)) << option << "\n" << r.out;
  }
  r = Run("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("tellmark-lookup ") + TELLMARK_VERSION + "\n");
  r = Run("''", {}, "&1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "tellmark-lookup: empty call\n");
  const std::string cmd = std::string(TELLMARK_LOOKUP_BIN) + " --data /nonexistent/x w1aw 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  char buf[512] = {};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, p);
  EXPECT_EQ(WEXITSTATUS(pclose(p)), 2);
  EXPECT_EQ(std::string(buf, n),
            "tellmark-lookup: no data set in /nonexistent/x: data/thedata.dat: No such file or "
            "directory\n");
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
  // The fixture and the EA1XYZ entry this suite adds.
  EXPECT_NE(r.out.find("International entries " + grouped(in.intl.size() + 1) + "\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("licence classes:"), std::string::npos);
}

}  // namespace

// tellmark-build has the same --help and --version.
TEST(BuildCliTest, HelpAndVersion) {
  const auto run = [](const std::string& args) {
    std::string out;
    FILE* p = popen((std::string(TELLMARK_BUILD_BIN) + " " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    EXPECT_EQ(WEXITSTATUS(pclose(p)), 0) << args;
    return out;
  };
  EXPECT_EQ(run("--version"), std::string("tellmark-build ") + TELLMARK_VERSION + "\n");
  const std::string help = run("--help");
  for (const char* option : {"--out", "--sources", "--us", "--intl", "--seed", "--edition-1999",
                             "--fcc", "--intl-csv", "--title", "--quiet", "--version", "--help"}) {
    const std::regex line(std::string("\n  (-[a-z],)?") + option +
                          "[^\n]*(\n {10,}|  )[A-Z][A-Za-z.]+ [a-z]");
    EXPECT_TRUE(std::regex_search(help, line)) << option << "\n" << help;
  }
}

TEST_F(LookupCliTest, AdifLogFilledToStandardOutputAFileOrInPlace) {
  const std::string log = dir_->file("log.adi"), out = dir_->file("out.adi");
  const std::string text =
      "Log <op@example.org>\r\n<EOH>\r\n<CALL:4>W1AW <QSO_DATE:8>20240101 <MODE:2>CW <EOR>\r\n"
      "<CALL:4>w1aw <QSO_DATE:8>19950101 <EOR>\r\n<CALL:8>DL1ABC/P <EOR>\r\n"
      "<CALL:6>ZZ9ZZZ <EOR>\r\n";
  const auto write = [](const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  const auto read = [](const std::string& path) {
    std::string s;
    FILE* f = std::fopen(path.c_str(), "rb");
    char buf[4096];
    size_t n;
    while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    if (f) std::fclose(f);
    return s;
  };
  write(log, text);
  const TRun r = Run("--adif '" + log + "'");
  EXPECT_EQ(r.status, 1);  // ZZ9ZZZ is not there (a next-greater entry is no answer)
  EXPECT_NE(r.out.find("<CALL:4>W1AW <QSO_DATE:8>20240101 <MODE:2>CW <NAME:15>ARRL HQ STATION "
                       "<QTH:9>NEWINGTON "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("<GRIDSQUARE:6>FN31pr <LAT:11>N041 42.882 <LON:11>W072 43.734 "),
            std::string::npos);
  // Before the grant (1996-01-01): no name; portable: the name, not the QTH.
  const size_t early = r.out.find("<CALL:4>w1aw <QSO_DATE:8>19950101 ");
  ASSERT_NE(early, std::string::npos) << r.out;
  const std::string earlyRecord = r.out.substr(early, r.out.find("<EOR>", early) - early);
  EXPECT_EQ(earlyRecord.find("<NAME"), std::string::npos) << earlyRecord;
  EXPECT_EQ(earlyRecord.find("<QTH"), std::string::npos) << earlyRecord;
  EXPECT_NE(earlyRecord.find("<COUNTRY:13>United States "), std::string::npos) << earlyRecord;
  EXPECT_NE(r.out.find("<CALL:8>DL1ABC/P <NAME:"), std::string::npos);
  EXPECT_EQ(r.out.find("<QTH", r.out.find("DL1ABC/P")), std::string::npos);
  EXPECT_EQ(r.out.substr(r.out.size() - 22), "<CALL:6>ZZ9ZZZ <EOR>\r\n");
  EXPECT_EQ(read(log), text);  // standard output: the log untouched

  const TRun summary = Run("--adif '" + log + "' --adif-out '" + out + "'", {}, "&1");
  EXPECT_EQ(summary.status, 1);
  EXPECT_EQ(read(out), r.out);
  EXPECT_NE(summary.out.find("tellmark-lookup: contacts read: 4\n"), std::string::npos)
      << summary.out;
  EXPECT_NE(summary.out.find("tellmark-lookup: calls not found: 1 (ZZ9ZZZ)\n"), std::string::npos);
  EXPECT_NE(summary.out.find("tellmark-lookup: contacts before the licence's grant date (name and "
                             "address not filled): 1\n"),
            std::string::npos);
  EXPECT_EQ(Run("--adif '" + log + "' --in-place").status, 1);
  EXPECT_EQ(read(log), r.out);

  // Damage: named by record and byte, the rest filled, status 2.
  write(log, "<CALL:4>W1AW<EOR><CALL:-1>x<EOR>");
  const TRun damaged = Run("--adif '" + log + "'", {}, "&1");
  EXPECT_EQ(damaged.status, 2);
  EXPECT_NE(damaged.out.find("tellmark-lookup: record 2, byte 17: negative length in <CALL\n"),
            std::string::npos)
      << damaged.out;
  EXPECT_EQ(Run("--adif '" + dir_->file("missing.adi") + "'").status, 2);
  for (const char* bad : {"--adif-out x.adi", "--in-place", "--adif a.adi --json",
                          "--adif a.adi W1AW", "--adif a.adi --in-place --adif-out b.adi"})
    EXPECT_EQ(Run(bad).status, 2) << bad;
}

// A text that cannot be a call is refused as such, never answered with another entry: its row
// says "invalid", standard error names it, the exit status is 2 even beside found calls.
struct TInvalidCall {
  const char* name;
  std::string arg;   // as the shell gets it
  std::string call;  // the row's call
  const char* why;   // part of the message
};

class LookupInvalidCallTest : public LookupCliTest,
                              public ::testing::WithParamInterface<TInvalidCall> {};

TEST_P(LookupInvalidCallTest, RowSaysInvalidAndExitIsTwo) {
  const TInvalidCall& c = GetParam();
  for (const char* format : {"--json", "--csv"}) {
    SCOPED_TRACE(format);
    const TRun r = Run(std::string(format) + " w1aw " + c.arg);
    EXPECT_EQ(r.status, 2) << r.out;
    if (std::string(format) == "--json") {
      const auto j = nlohmann::json::parse(r.out);
      ASSERT_EQ(j.size(), 2u);
      EXPECT_EQ(j[0]["call"], "W1AW");
      EXPECT_EQ(j[0]["match"], "exact");
      EXPECT_EQ(j[1]["call"], c.call);
      EXPECT_EQ(j[1]["match"], "invalid");
      EXPECT_FALSE(j[1].contains("name")) << j[1];  // nobody's entry
    } else {
      // Heading, W1AW, the invalid row: "call,match,..." with match in the second column.
      const size_t second = r.out.find('\n', r.out.find('\n') + 1);
      ASSERT_NE(second, std::string::npos) << r.out;
      const std::string row = r.out.substr(second + 1);
      EXPECT_NE(row.find(",invalid,"), std::string::npos) << row;
    }
  }
  const TRun err = Run(c.arg, {}, "&1");
  EXPECT_EQ(err.status, 2);
  EXPECT_NE(err.out.find("tellmark-lookup: \"" + c.call + "\" is not a call: "), std::string::npos)
      << err.out;
  EXPECT_NE(err.out.find(c.why), std::string::npos) << err.out;
  // Standard input the same.
  EXPECT_EQ(Run("--json", c.call + "\nw1aw\n").status, 2);
}

INSTANTIATE_TEST_SUITE_P(
    NotACall, LookupInvalidCallTest,
    ::testing::Values(
        TInvalidCall{"LessThan", "'W<FO'", "W<FO", "letters, digits and \"/\" only"},
        TInvalidCall{"Semicolon", "'K5DRC;rm'", "K5DRC;rm", "letters, digits and \"/\" only"},
        TInvalidCall{"Blank", "'K5 DRC'", "K5 DRC", "letters, digits and \"/\" only"},
        TInvalidCall{"Accent", "'DL1AB\xc3\xa9'", "DL1AB\xc3\xa9", "letters, digits"},
        TInvalidCall{"TwoHundred", std::string(200, 'W'), std::string(200, 'W'),
                     "longer than a call can be"},
        TInvalidCall{"SixteenLetters", "OE2XABCDEFGHIJKL", "OE2XABCDEFGHIJKL",
                     "longer than a call can be (15 characters"},
        TInvalidCall{"LongSuffix", "K5DRC/PORTABLEPORTABLE", "K5DRC/PORTABLEPORTABLE",
                     "longer than a call can be"},
        TInvalidCall{"FourParts", "VE3/K5DRC/P/QRP", "VE3/K5DRC/P/QRP", "prefix, call and suffix"}),
    [](const ::testing::TestParamInfo<TInvalidCall>& i) { return std::string(i.param.name); });

// What still is a call keeps being looked up: long International calls, fifteen characters,
// designators on both sides.
TEST_F(LookupCliTest, LongestCallsAndDesignatorsStillLookedUp) {
  const TRun r = Run("--json W1AW/MM VE3/W1AW/P w1aw OE2XABCDE");
  EXPECT_EQ(r.status, 0) << r.out;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(j[i]["call"], "W1AW") << j[i];
  EXPECT_EQ(j[3]["call"], "OE2XABCDE");
  EXPECT_EQ(Run("ZZ9ZZZ").status, 1);           // looked up, not refused
  EXPECT_EQ(Run("OE2XABCDEFGHIJK").status, 1);  // fifteen characters: the same
}

TEST_F(LookupCliTest, CountSaysWhatItTakes) {
  struct {
    std::string arg;
    const char* message;
  } const cases[] = {{"0", "--count: at least 1"},
                     {"000", "--count: at least 1"},
                     {"-3", "--count: at least 1"},
                     {"two", "--count: a whole number"},
                     {std::string(300, '9'), "--count: at most 100000000"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    const TRun r = Run("--name smith --count=" + c.arg, {}, "&1");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, std::string("tellmark-lookup: ") + c.message +
                         "\nRun with --help for more information.\n");
  }
  EXPECT_NE(Run("--name smith --count=2").status, 2);
}

TEST_F(LookupCliTest, HelpPointsToTheInstalledDocumentation) {
  const TRun r = Run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("man tellmark-lookup"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("/share/doc/tellmark"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("docs/"), std::string::npos) << r.out;
}

namespace {

std::string ReadFileBytes(const std::string& path) {
  std::string s;
  FILE* f = std::fopen(path.c_str(), "rb");
  char buf[65536];
  size_t n;
  while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  if (f) std::fclose(f);
  return s;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Names in dir that hold ".tmp-".
std::vector<std::string> TemporaryFiles(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().find(".tmp-") != std::string::npos)
      found.push_back(e.path().string());
  return found;
}

}  // namespace

// --in-place and --adif-out on what is not a plain log: a link is followed and stays, other
// kinds of file are refused with status 2 and the log is left as it was.
TEST_F(LookupCliTest, AdifLogWriterFollowsLinksAndRefusesOtherFiles) {
  const std::string real = dir_->file("real.adi"), link = dir_->file("link.adi");
  const std::string text = "<CALL:4>W1AW <QSO_DATE:8>20240101 <EOR>\n";
  WriteFileBytes(real, text);
  std::filesystem::remove(link);
  std::filesystem::create_symlink("real.adi", link);
  const TRun filled = Run("--adif '" + link + "' --in-place", {}, "&1");
  EXPECT_EQ(filled.status, 0) << filled.out;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_NE(ReadFileBytes(real).find("<NAME:15>ARRL HQ STATION"), std::string::npos);

  WriteFileBytes(real, text);
  const std::string fifo = dir_->file("pipe.adi"), folder = dir_->file("folder.adi");
  std::filesystem::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  std::filesystem::create_directories(folder);
  struct TCase {
    std::string args, message;
  };
  const std::vector<TCase> cases = {
      {"--adif '" + fifo + "'", fifo + " is not a regular file (a FIFO)"},
      {"--adif '" + fifo + "' --in-place", fifo + " is not a regular file (a FIFO)"},
      {"--adif /dev/null", "/dev/null is not a regular file (a device)"},
      {"--adif '" + folder + "'", folder + " is not a regular file (Is a directory)"},
      {"--adif '" + real + "' --adif-out '" + fifo + "'", fifo + " is not a regular file (a FIFO)"},
      {"--adif '" + real + "' --adif-out /dev/null --force",
       "/dev/null is not a regular file (a device)"},
      {"--adif '" + real + "' --adif-out '" + folder + "'",
       folder + " is not a regular file (Is a directory)"},
  };
  for (const TCase& c : cases) {
    const TRun r = Run(c.args, {}, "&1");
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.out.find("tellmark-lookup: " + c.message + "\n"), std::string::npos)
        << c.args << "\n"
        << r.out;
  }
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(ReadFileBytes(real), text);

  // Hard links: refused; write-protected: refused unless --force.
  const std::string other = dir_->file("other-name.adi");
  std::filesystem::remove(other);
  std::filesystem::create_hard_link(real, other);
  const TRun linked = Run("--adif '" + real + "' --in-place", {}, "&1");
  EXPECT_EQ(linked.status, 2);
  EXPECT_NE(linked.out.find("has 2 names (hard links)"), std::string::npos) << linked.out;
  EXPECT_EQ(ReadFileBytes(other), text);
  std::filesystem::remove(other);
  ASSERT_EQ(::chmod(real.c_str(), 0444), 0);
  const TRun prot = Run("--adif '" + real + "' --in-place", {}, "&1");
  EXPECT_EQ(prot.status, 2);
  EXPECT_NE(prot.out.find("tellmark-lookup: " + real +
                          " is write-protected (--force replaces it all the same)\n"),
            std::string::npos)
      << prot.out;
  EXPECT_EQ(ReadFileBytes(real), text);
  EXPECT_EQ(Run("--adif '" + real + "' --in-place --force").status, 0);
  EXPECT_NE(ReadFileBytes(real).find("<NAME:15>ARRL HQ STATION"), std::string::npos);
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(Run("--adif '" + real + "' --force").status, 2);  // --force without a file
  EXPECT_TRUE(TemporaryFiles(dir_->path()).empty());
}

// SIGKILL at 20 moments of "--in-place log.adi" run in the log's folder: the log is always the
// old or the filled one; a temporary left behind has the log's mode and is gone after the next
// run.
TEST_F(LookupCliTest, AdifInPlaceKilledAtTwentyMomentsLeavesAWholeLog) {
  const std::string folder = dir_->file("killed");
  std::filesystem::create_directories(folder);
  const std::string log = folder + "/log.adi";
  std::string text = "Log\n<EOH>\n";
  const char* calls[] = {"W1AW", "K1ABC", "DL1ABC", "G3XYZ", "ZZ9ZZZ"};
  for (int i = 0; i < 60000; ++i)
    text += std::string("<CALL:") + std::to_string(std::strlen(calls[i % 5])) + ">" + calls[i % 5] +
            " <QSO_DATE:8>20240101 <TIME_ON:4>1200 <EOR>\n";
  const auto run = [&](bool wait, int64_t killAfterUs) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(folder.c_str()) != 0) _exit(127);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(TELLMARK_LOOKUP_BIN, TELLMARK_LOOKUP_BIN, "--data", dir_->path().c_str(), "--adif",
              "log.adi", "--in-place", static_cast<char*>(nullptr));
      _exit(127);
    }
    if (!wait) {
      ::usleep(static_cast<useconds_t>(killAfterUs));
      ::kill(pid, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  };
  WriteFileBytes(log, text);
  ASSERT_EQ(::chmod(log.c_str(), 0600), 0);
  // A whole run, timed; the temporary file caught as it is created (inotify): the log's mode
  // from the start.
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_CREATE), 0);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(folder.c_str()) != 0) _exit(127);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(TELLMARK_LOOKUP_BIN, TELLMARK_LOOKUP_BIN, "--data", dir_->path().c_str(), "--adif",
            "log.adi", "--in-place", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::vector<unsigned> tempModes;
  int whole = 0;
  for (;;) {
    alignas(inotify_event) char events[4096];
    const ssize_t n = ::read(watch, events, sizeof events);
    for (ssize_t at = 0; n > 0 && at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(events + at);
      const std::string name = e->len ? e->name : "";
      struct stat st {};
      if (name.find(".tmp-") != std::string::npos &&
          ::stat((folder + "/" + name).c_str(), &st) == 0)
        tempModes.push_back(st.st_mode & 07777);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
    if (::waitpid(child, &whole, WNOHANG) == child) break;
    ::usleep(200);
  }
  ::close(watch);
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::steady_clock::now() - start)
                         .count();
  ASSERT_TRUE(WIFEXITED(whole) && WEXITSTATUS(whole) == 1) << whole;  // ZZ9ZZZ is not known
  ASSERT_EQ(tempModes.size(), 1u);                                    // caught while it was there
  EXPECT_EQ(tempModes[0], 0600u);
  const std::string filled = ReadFileBytes(log);
  ASSERT_NE(filled, text);
  int killedWithTemporary = 0, killedFilled = 0;
  for (int i = 0; i < 20; ++i) {
    WriteFileBytes(log, text);
    ASSERT_EQ(::chmod(log.c_str(), 0600), 0);
    const int status = run(false, us * (i + 1) / 21);
    const std::string after = ReadFileBytes(log);
    EXPECT_TRUE(after == text || after == filled) << "moment " << i;
    if (WIFSIGNALED(status) && after == filled) ++killedFilled;
    for (const std::string& t : TemporaryFiles(folder)) {
      struct stat st {};
      ASSERT_EQ(::stat(t.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0600u) << t;
      ++killedWithTemporary;
    }
    const int next = run(true, 0);
    EXPECT_TRUE(WIFEXITED(next) && WEXITSTATUS(next) == 1) << "moment " << i;
    EXPECT_EQ(ReadFileBytes(log), filled) << "moment " << i;
    EXPECT_TRUE(TemporaryFiles(folder).empty()) << "moment " << i;
  }
  std::cerr << "a full run took " << us / 1000
            << " ms; killed with a temporary file left: " << killedWithTemporary
            << ", killed after the rename: " << killedFilled << "\n";
}

// A full disk: the system's words, the log as it was, no temporary file left. Needs a small
// file system of its own (a tmpfs mounted as root); skipped where mounting is not allowed.
TEST_F(LookupCliTest, AdifInPlaceOnAFullDiskSaysSoAndKeepsTheLog) {
  const std::string disk = dir_->file("small-disk");
  std::filesystem::create_directories(disk);
  if (::geteuid() != 0 ||
      std::system(("mount -t tmpfs -o size=64k tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  const std::string log = disk + "/log.adi";
  std::string text;
  for (int i = 0; i < 700; ++i) text += "<CALL:4>W1AW <QSO_DATE:8>20240101 <EOR>\n";
  WriteFileBytes(log, text);  // 28 kB of 64: the filled log does not fit beside it
  const TRun r = Run("--adif '" + log + "' --in-place", {}, "&1");
  const std::string after = ReadFileBytes(log);
  const std::vector<std::string> left = TemporaryFiles(disk);
  std::system(("umount '" + disk + "'").c_str());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("tellmark-lookup: cannot write " + log + ": No space left on device\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(after, text);
  EXPECT_TRUE(left.empty());
}

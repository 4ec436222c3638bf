// The reference documents and the help of an edition: the census documents agree with the
// entries of the edition, the tables of entities, prefixes and zones, the time table, and the
// help source in its three forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "EditionReadBack.h"
#include "TestDir.h"
#include "builder/UDocumentWriter.h"
#include "builder/UEditionWriter.h"
#include "builder/UHelpText.h"
#include "builder/USampleGenerator.h"
#include "builder/USourceTables.h"
#include "common/IOUtil.h"
#include "common/StrUtil.h"
#include "lookup_fixture.h"
#include "settings/USettings.h"
#include "storage/UIndexEngine.h"

namespace fs = std::filesystem;

namespace {

std::string RepoDir(const char* sub) { return std::string(TELLMARK_SOURCE_DIR) + "/" + sub; }

const TSourceTables& Tables() {
  static const TSourceTables tables = LoadSourceTables(RepoDir("data/sources"));
  return tables;
}

int64_t Number(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), ','), s.end());
  return std::stoll(s);
}

// The total of a state's line of the census ("CT  Connecticut   1,234 ...").
int64_t CensusTotal(const std::string& census, const std::string& state) {
  std::istringstream in(census);
  std::string line;
  const std::regex row("^" + state + "  \\D*?\\s+([0-9,]+)\\s.*");
  std::smatch m;
  while (std::getline(in, line))
    if (std::regex_match(line, m, row)) return Number(m[1]);
  return -1;
}

class Documents : public testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(AllocIndexCaches()); }
  static void TearDownTestSuite() { FreeIndexCaches(); }
};

TEST_F(Documents, StateCensusCountsEachStateAsTheEntriesHaveIt) {
  // A generated edition: the census counted from the written edition against the input entries.
  TestDir dir;
  const TBuildInput input = GenerateSample(Tables(), 3000, 1500, 7);
  const TEditionSummary written = WriteEdition(input, dir.path());
  const TEditionCounts c = CountEdition(dir.path());
  // The writer's own count of what it stored is what the reader finds.
  EXPECT_TRUE(written.counts == c);
  EXPECT_TRUE(written.counts.coverage == c.coverage);
  EXPECT_EQ(c.usTotal, static_cast<int32_t>(input.us.size()));
  EXPECT_EQ(c.intlTotal, static_cast<int32_t>(input.intl.size()));
  std::map<std::string, int64_t> byState;
  for (const auto& e : input.us) ++byState[e.FieldOr(2)];
  const std::string census = StateCensusDocument(c, Tables());
  ASSERT_GE(byState.size(), 40u);
  for (const auto& [state, n] : byState) EXPECT_EQ(CensusTotal(census, state), n) << state;
  // Each state's classes and ZIP sections add up to its total.
  for (const auto& [state, s] : c.states) {
    int64_t classes = 0, zips = 0;
    for (const auto& [code, n] : s.classes) classes += n;
    for (const auto& [zip, n] : s.zipSections) zips += n;
    EXPECT_EQ(classes, s.total) << state;
    EXPECT_EQ(zips, s.total) << state;
  }
  // The world census: every entry counted once.
  const std::string world = WorldCensusDocument(c, Tables());
  std::smatch m;
  ASSERT_TRUE(
      std::regex_search(world, m, std::regex("entities\\s+([0-9,]+)\\s+([0-9,]+)\\s+([0-9,]+)")));
  EXPECT_EQ(Number(m[1]), c.intlTotal);
  EXPECT_EQ(Number(m[2]), c.usTotal);
  EXPECT_EQ(Number(m[3]), c.intlTotal + c.usTotal);
}

TEST_F(Documents, FixtureEditionCountsByStateAndEntity) {
  fixture::TFixtureEdition ed;
  const TEditionCounts c = CountEdition(ed.path());
  EXPECT_EQ(c.title, "Fixture edition");
  const std::string census = StateCensusDocument(c, Tables());
  int64_t ma = 0;
  for (const auto& e : fixture::Input().us) ma += e.FieldOr(2) == "MA";
  EXPECT_EQ(CensusTotal(census, "MA"), ma);
  EXPECT_EQ(CensusTotal(census, "CT"), 1);
  EXPECT_EQ(c.states.at("MA").classes.at('e'), 1);  // K1ABC, class stored as "e"
  EXPECT_EQ(c.intlByDxcc.at("Germany"), 1);
  // The North American census in both widths: the narrow one fits 80 columns.
  for (const bool wide : {true, false}) {
    const std::string d = NorthAmericanCensusDocument(c, Tables(), wide);
    size_t longest = 0;
    std::istringstream in(d);
    for (std::string line; std::getline(in, line);) longest = std::max(longest, line.size());
    EXPECT_LE(longest, wide ? 132u : 80u);
    EXPECT_NE(d.find("United States"), std::string::npos);
  }
  // The data set is closed again, so a second count works.
  EXPECT_EQ(CountEdition(ed.path()).usTotal, c.usTotal);
}

// The North American census counts every entry once: U.S. entries (Alaska and Puerto Rico
// included) in the state table, only International ones under the other entities; and its
// "Other" class column counts the same entries in both widths.
TEST_F(Documents, NorthAmericanCensusCountsEachEntryOnce) {
  TestDir dir;
  const TBuildInput input = GenerateSample(Tables(), 3000, 1500, 7);
  WriteEdition(input, dir.path());
  const TEditionCounts c = CountEdition(dir.path());
  ASSERT_GT(c.usByDxcc.count("Alaska") + c.usByDxcc.count("Puerto Rico"), 0u);
  int64_t intlOthers = 0;
  for (const auto& dx : Tables().dxcc)
    if (dx.continent == "NA" && dx.name != "United States" && c.intlByDxcc.count(dx.name))
      intlOthers += c.intlByDxcc.at(dx.name);
  const std::regex usRow("\\nUnited States\\s+([0-9, ]+)\\n");
  const std::regex othersRow("\\nAll other entities\\s+([0-9,]+)\\n");
  std::vector<int64_t> other;
  for (const bool wide : {true, false}) {
    const std::string d = NorthAmericanCensusDocument(c, Tables(), wide);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(d, m, usRow)) << wide;
    std::istringstream numbers(m[1].str());
    std::vector<int64_t> row;
    for (std::string n; numbers >> n;) row.push_back(Number(n));
    ASSERT_GE(row.size(), 3u);
    EXPECT_EQ(row.front(), c.usTotal) << wide;
    other.push_back(row.back());
    ASSERT_TRUE(std::regex_search(d, m, othersRow)) << wide;
    EXPECT_EQ(Number(m[1]), intlOthers) << wide;
    if (!c.intlByDxcc.count("Alaska")) {
      EXPECT_EQ(d.find("\nAlaska "), std::string::npos) << wide;
    }
  }
  EXPECT_EQ(other[0], other[1]);
}

TEST_F(Documents, MissingEditionIsAClearError) {
  TestDir dir;
  EXPECT_THROW(CountEdition(dir.path()), EStatusError);
}

TEST(DocumentTables, PrefixesZonesAndAllocation) {
  EXPECT_EQ(ShortPrefixes({"AA0", "AA", "K", "K0", "KL7", "AB"}),
            (std::vector<std::string>{"AA", "AB", "K"}));
  const std::string dxcc = DxccListDocument(TEditionCounts{}, Tables());
  EXPECT_TRUE(std::regex_search(
      dxcc, std::regex("\nDL\\s+Fed\\. Rep\\. of Germany\\s+EU\\s+14\\s+28\\s+0\n")));
  const std::string zones = ZonesByCountryDocument(Tables());
  EXPECT_TRUE(std::regex_search(zones, std::regex("\nAlaska\\s+1\\s+1\\s+AL KL NL WL\n")));
  EXPECT_TRUE(std::regex_search(zones, std::regex("\nZone 40\\s+\\S")));
  const std::string prefixes = PrefixListDocument(Tables());
  EXPECT_TRUE(std::regex_search(prefixes, std::regex("\nKL\\s+Alaska\\s+NA\\s+1\n")));
  EXPECT_EQ(prefixes.find("\nAA0 "), std::string::npos);  // covered by AA
  const std::string alloc = AllocationDocument(Tables());
  EXPECT_TRUE(std::regex_search(alloc, std::regex("\nDL\\s+Germany\n")));
}

TEST(DocumentTables, StandardTimeFromTheZoneTables) {
  const std::string t = StandardTimeDocument("/usr/share/zoneinfo", 2024);
  EXPECT_TRUE(std::regex_search(
      t, std::regex("\nGermany\\s+Europe/Berlin\\s+UTC\\+01:00\\s+UTC\\+02:00\n")));
  EXPECT_TRUE(std::regex_search(t, std::regex("\nJapan\\s+Asia/Tokyo\\s+UTC\\+09:00\\s+-\n")));
  EXPECT_TRUE(std::regex_search(t, std::regex("Asia/Kolkata\\s+UTC\\+05:30")));
  TestDir empty;
  EXPECT_THROW(StandardTimeDocument(empty.path(), 2024), EStatusError);
}

TEST(HelpSource, AnchorsPerContextAndTheThreeForms) {
  const auto topics = ParseHelpSource(
      "# comment\n= 1600,1601 Contents & more\nFirst {para} \\ text.\n  continued.\n"
      "- item one\n> Head\n\n= 1301 Call\nText \xC3\xA4.\n");
  ASSERT_EQ(topics.size(), 2u);
  EXPECT_EQ(topics[0].contexts, (std::vector<int>{1600, 1601}));
  ASSERT_EQ(topics[0].blocks.size(), 3u);
  EXPECT_EQ(topics[0].blocks[0].text, "First {para} \\ text. continued.");
  const std::string html = HelpToHtml(topics, "Help");
  for (const char* a :
       {"<a name=\"contents\">", "<a name=\"1600\">", "<a name=\"1601\">", "<a name=\"1301\">",
        "<a href=\"#1301\">Call</a>", "Contents &amp; more", "<li>item one</li>", "<h3>Head</h3>"})
    EXPECT_NE(html.find(a), std::string::npos) << a;
  const std::string rtf = HelpToRtf(topics, "Help");
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(rtf.find("First \\{para\\} \\\\ text."), std::string::npos);
  EXPECT_NE(rtf.find("Text \\u228?."), std::string::npos);
  const std::string text = HelpToText(topics, "Help");
  EXPECT_NE(text.find("Call\n----\n"), std::string::npos);
  EXPECT_NE(text.find("  - item one\n"), std::string::npos);
}

TEST(HelpSource, MalformedSourceNamesTheLine) {
  const auto message = [](const std::string& src) {
    try {
      ParseHelpSource(src);
    } catch (const EStatusError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message("text first\n"), "help source line 1: text before the first topic");
  EXPECT_EQ(message("= 1 A\n= 2,1 B\n"), "help source line 2: help context 1 used twice");
  EXPECT_EQ(message("= x1 A\n"), "help source line 1: bad help context number \"x1\"");
  EXPECT_EQ(message("= 12\n"), "help source line 1: a topic needs numbers and a title");
  EXPECT_EQ(message(""), "help source has no topic");
}

TEST(HelpSource, RepositoryHelpHasATopicForEveryHelpContext) {
  std::string src;
  ASSERT_TRUE(ReadWholeFile(RepoDir("data/texts/tellmark.help"), src));
  std::set<int> have;
  for (const auto& t : ParseHelpSource(src)) have.insert(t.contexts.begin(), t.contexts.end());
  // Menu items, then the windows.
  for (int c : {1000, 1101,  1102,  1103,  1104,  1105,  1106,  1199,  1200,  1201,  1300, 1301,
                1302, 1303,  1304,  1305,  1350,  1360,  1400,  1500,  1501,  1502,  1503, 1504,
                1505, 1600,  1601,  1602,  1603,  1604,  1700,  1701,  1702,  1703,  1800, 1801,
                1802, 10005, 10010, 10011, 10012, 10013, 10015, 10016, 10017, 10018, 10019})
    EXPECT_TRUE(have.count(c)) << c;
}

// The first-start notice sends the user to a topic by its title: that topic exists and speaks of
// what the notice announces.
TEST(HelpSource, TheTopicTheFirstStartNoticeNamesExists) {
  std::string src;
  ASSERT_TRUE(ReadWholeFile(RepoDir("data/texts/tellmark.help"), src));
  const std::smatch named = [] {
    static const std::string notice = kLabelMethodNotice;
    std::smatch m;
    std::regex_search(notice, m, std::regex("see the \"([^\"]+)\" topic"));
    return m;
  }();
  ASSERT_EQ(named.size(), 2u) << kLabelMethodNotice;
  const std::string title = named[1];
  const std::vector<THelpTopic> topics = ParseHelpSource(src);
  const auto topic = std::find_if(topics.begin(), topics.end(),
                                  [&title](const THelpTopic& t) { return t.title == title; });
  ASSERT_NE(topic, topics.end()) << title;
  std::string text;
  for (const THelpBlock& b : topic->blocks) text += b.text + "\n";
  for (const char* said : {"label", "Use 'old' label printing method", "tellmark-lookup", "FCC"})
    EXPECT_NE(text.find(said), std::string::npos) << said;
}

TEST_F(Documents, EveryDocumentOfTheMenusIsWritten) {
  fixture::TFixtureEdition ed;
  TDocumentOptions o;
  o.textsDir = RepoDir("data/texts");
  o.year = 2024;
  std::vector<std::string> warnings;
  o.warning = [&warnings](const std::string& w) { warnings.push_back(w); };
  const TDocumentSummary s = WriteDocuments(ed.path(), CountEdition(ed.path()), Tables(), o);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  for (const char* name :
       {"beacon", "beacon2", "beaconsw", "intlcen",  "census",   "cendsk3", "cendsk5",
        "dxcc2",  "qsign",   "postal",   "interfac", "qsl2",     "cqzone2", "prefix2",
        "recip2", "rli",     "time",     "calls2",   "telecode", "third2",  "tellmark"}) {
    const fs::path p = fs::path(ed.path()) / "texte" / (std::string(name) + ".txt");
    EXPECT_TRUE(fs::is_regular_file(p) && fs::file_size(p) > 300) << p;
  }
  EXPECT_TRUE(fs::is_regular_file(fs::path(ed.path()) / "texte" / "tellmark.rtf"));
  EXPECT_TRUE(fs::is_regular_file(fs::path(ed.path()) / "HELP" / "tellmark.html"));
  EXPECT_EQ(s.files.size(), 23u);
  // Without the hand-written texts: the generated documents and a warning per missing file.
  TestDir none;
  o.textsDir = none.path();
  warnings.clear();
  EXPECT_EQ(WriteDocuments(ed.path(), CountEdition(ed.path()), Tables(), o).files.size(), 9u);
  EXPECT_EQ(warnings.size(), 12u);
}

}  // namespace

// tellmark-lookup --qsl-labels on a log of 25 contacts with 9 stations, printed on two label
// sheets to PDF and read back with poppler's pdftotext and pdfinfo: every contact's date, time,
// frequency or band and mode on a label of its own call, the paper of the template.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TestDir.h"
#include "adif/UAdifQsl.h"
#include "builder/ULabelTemplates.h"
#include "lookup_fixture.h"

namespace {

struct TRun {
  int status = -1;
  std::string out;
};

TRun Shell(const std::string& cmd) {
  TRun r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int rc = pclose(p);
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return r;
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// One contact of the log and what its label row must show.
struct TContact {
  const char* call;
  const char* date;  // QSO_DATE
  const char* time;  // TIME_ON
  const char* freq;  // FREQ ("" = none)
  const char* band;
  const char* mode;
  const char* submode;
  const char* via;  // QSL_VIA
  // Expected on the label.
  const char* shownDate;
  const char* shownTime;
  const char* shownMhz;
  const char* shownMode;
};

// 9 stations: W1AW with 6 contacts; K1ABC once before its grant (1999-07-04); ZZ9ZZZ not in the
// directory; DL1ABC with the directory's QSL manager DL9QSL; G3XYZ with QSL_VIA F5ABC in the log.
const TContact kLog[] = {
    {"W1AW", "20240105", "1432", "14.025", "20m", "CW", "", "", "2024-01-05", "14:32", "14.025",
     "CW"},
    {"W1AW", "20240106", "0815", "7.0305", "40m", "CW", "", "", "2024-01-06", "08:15", "7.0305",
     "CW"},
    {"W1AW", "20240210", "2359", "", "15m", "SSB", "USB", "", "2024-02-10", "23:59", "15m", "USB"},
    {"W1AW", "20240301", "0000", "3.573", "80m", "MFSK", "FT4", "", "2024-03-01", "00:00", "3.573",
     "FT4"},
    {"W1AW", "20240302", "120030", "50.313", "6m", "FT8", "", "", "2024-03-02", "12:00", "50.313",
     "FT8"},
    {"W1AW", "20240415", "1801", "", "2m", "FM", "", "", "2024-04-15", "18:01", "2m", "FM"},
    {"K1ABC", "19980501", "1100", "21.010", "15m", "CW", "", "", "1998-05-01", "11:00", "21.010",
     "CW"},
    {"K1ABC", "20240107", "1200", "14.200", "20m", "SSB", "", "", "2024-01-07", "12:00", "14.200",
     "SSB"},
    {"K1ABC", "20240108", "1300", "", "10m", "RTTY", "", "", "2024-01-08", "13:00", "10m", "RTTY"},
    {"DL1ABC", "20240109", "0700", "7.010", "40m", "CW", "", "", "2024-01-09", "07:00", "7.010",
     "CW"},
    {"DL1ABC", "20240110", "0701", "", "30m", "PSK", "PSK31", "", "2024-01-10", "07:01", "30m",
     "PSK31"},
    {"DL1ABC", "20240111", "0702", "10.136", "30m", "FT8", "", "", "2024-01-11", "07:02", "10.136",
     "FT8"},
    {"G3XYZ", "20240112", "1500", "18.100", "17m", "FT8", "", "F5ABC", "2024-01-12", "15:00",
     "18.100", "FT8"},
    {"G3XYZ", "20240113", "1501", "", "12m", "SSB", "LSB", "F5ABC", "2024-01-13", "15:01", "12m",
     "LSB"},
    {"JA1AA", "20240114", "2200", "21.074", "15m", "FT8", "", "", "2024-01-14", "22:00", "21.074",
     "FT8"},
    {"JA1AA", "20240115", "2201", "", "20m", "CW", "", "", "2024-01-15", "22:01", "20m", "CW"},
    {"VK2XX", "20240116", "0900", "14.074", "20m", "FT8", "", "", "2024-01-16", "09:00", "14.074",
     "FT8"},
    {"VK2XX", "20240117", "0901", "", "40m", "SSB", "", "", "2024-01-17", "09:01", "40m", "SSB"},
    {"F5ABC", "20240118", "1000", "24.915", "12m", "FT8", "", "", "2024-01-18", "10:00", "24.915",
     "FT8"},
    {"F5ABC", "20240119", "1001", "", "17m", "CW", "", "", "2024-01-19", "10:01", "17m", "CW"},
    {"W9ZZ", "20240120", "0300", "1.840", "160m", "FT8", "", "", "2024-01-20", "03:00", "1.840",
     "FT8"},
    {"W9ZZ", "20240121", "0301", "", "80m", "CW", "", "", "2024-01-21", "03:01", "80m", "CW"},
    {"ZZ9ZZZ", "20240122", "1600", "28.400", "10m", "SSB", "", "", "2024-01-22", "16:00", "28.400",
     "SSB"},
    {"ZZ9ZZZ", "20240123", "1601", "", "6m", "CW", "", "", "2024-01-23", "16:01", "6m", "CW"},
    {"ZZ9ZZZ", "20240124", "1602", "144.174", "2m", "FT8", "", "", "2024-01-24", "16:02", "144.174",
     "FT8"},
};

std::string Field(const char* name, const std::string& value) {
  return value.empty()
             ? std::string()
             : "<" + std::string(name) + ":" + std::to_string(value.size()) + ">" + value + " ";
}

std::string LogText() {
  std::string t = "QSL test log\r\n<ADIF_VER:5>3.1.4 <EOH>\r\n";
  for (const TContact& c : kLog)
    t += Field("CALL", c.call) + Field("QSO_DATE", c.date) + Field("TIME_ON", c.time) +
         Field("FREQ", c.freq) + Field("BAND", c.band) + Field("MODE", c.mode) +
         Field("SUBMODE", c.submode) + Field("RST_SENT", "599") + Field("QSL_VIA", c.via) +
         "<EOR>\r\n";
  return t;
}

// A label sheet as its maker gives it, in points: where the labels are.
struct TSheet {
  const char* templ;
  double pageW, pageH;  // pdfinfo's page size
  std::vector<double> lefts;
  double top, width, height;
  int rows;
};
constexpr double kPt = 72.0, kPtPerMm = 72.0 / 25.4;
// Avery 5160: 30 labels of 2 5/8" x 1" on Letter, 3 columns 2 3/4" apart from 3/16", top 1/2".
const TSheet kAvery5160 = {
    "Avery 5160", 612,         792,     {0.1875 * kPt, 2.9375 * kPt, 5.6875 * kPt},
    0.5 * kPt,    2.625 * kPt, 1 * kPt, 10};
// Zweckform 3490: 24 labels of 70 x 36 mm on A4, 3 columns edge to edge, 4.5 mm top.
const TSheet kZweckform3490 = {
    "zf3490",       595.276,       841.89,        {0, 70 * kPtPerMm, 140 * kPtPerMm},
    4.5 * kPtPerMm, 70 * kPtPerMm, 36 * kPtPerMm, 8};

// One label read back: its lines.
using TLabelText = std::vector<std::string>;

std::vector<TLabelText> ReadLabels(const std::string& pdf, const TSheet& sheet, int pages) {
  std::vector<TLabelText> labels;
  for (int page = 1; page <= pages; ++page)
    for (int row = 0; row < sheet.rows; ++row)
      for (double left : sheet.lefts) {
        char cmd[512];
        std::snprintf(
            cmd, sizeof cmd, "pdftotext -layout -f %d -l %d -x %d -y %d -W %d -H %d '%s' -", page,
            page, static_cast<int>(std::lround(left + 1)),
            static_cast<int>(std::lround(sheet.top + row * sheet.height + 1)),
            static_cast<int>(sheet.width - 2), static_cast<int>(sheet.height - 2), pdf.c_str());
        const TRun r = Shell(cmd);
        TLabelText lines;
        std::istringstream in(r.out);
        std::string line;
        while (std::getline(in, line)) {
          while (!line.empty() && (line.back() == ' ' || line.back() == '\f')) line.pop_back();
          if (!line.empty()) lines.push_back(line);
        }
        if (!lines.empty()) labels.push_back(lines);
      }
  return labels;
}

int Pages(const std::string& pdf, double& w, double& h) {
  const TRun info = Shell("pdfinfo '" + pdf + "'");
  std::smatch m;
  const std::regex size(R"(Page size:\s+([0-9.]+) x ([0-9.]+) pts)"), pages(R"(Pages:\s+(\d+))");
  w = h = 0;
  if (std::regex_search(info.out, m, size)) {
    w = std::stod(m[1]);
    h = std::stod(m[2]);
  }
  return std::regex_search(info.out, m, pages) ? std::stoi(m[1]) : 0;
}

class QslLabelsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TestDir;
    TBuildInput in = fixture::Input();
    in.entities.AddEntity({291, "United States", "NA", 5, 8, {"K", "N", "W", "AA"}});
    in.entities.AddEntity({230, "Germany", "EU", 14, 28, {"DL", "DA"}});
    in.entities.AddEntity({223, "England", "EU", 14, 27, {"G", "M"}});
    in.entities.AddEntity({339, "Japan", "AS", 25, 45, {"JA", "JR"}});
    in.entities.AddEntity({150, "Australia", "OC", 30, 59, {"VK"}});
    in.entities.AddEntity({227, "France", "EU", 14, 27, {"F"}});
    in.entities.AddEntity({176, "Fiji", "OC", 32, 56, {"3D2"}});
    WriteEdition(in, dir_->path());
    WriteLabelTemplates(dir_->path());
    setenv("TELLMARK_INI", (dir_->path() + "/none.ini").c_str(), 1);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TRun Run(const std::string& args) {
    return Shell(std::string(TELLMARK_LOOKUP_BIN) + " --data '" + dir_->path() + "' " + args +
                 " 2>&1 < /dev/null");
  }
  static TestDir* dir_;
};
TestDir* QslLabelsTest::dir_ = nullptr;

// The row of a contact as the label reads: "2024-01-05 14:32 14.025 CW 599".
const std::regex kRow(R"((\d{4}-\d\d-\d\d) +(\d\d:\d\d) +(\S+) +(\S+) +599)");

// Every contact once, on a label that is addressed to its call; returns the labels by call.
std::map<std::string, std::vector<TLabelText>> CheckEveryContact(
    const std::vector<TLabelText>& labels) {
  std::map<std::string, std::vector<TLabelText>> byCall;
  std::multiset<std::string> seen;  // "CALL date time mhz mode"
  for (const TLabelText& l : labels) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(l.front(), m, std::regex(R"(^To: (\S+))"))) << l.front();
    const std::string call = m[1];
    byCall[call].push_back(l);
    EXPECT_EQ(l.back(), "PSE QSL TNX") << call;
    for (const std::string& line : l)
      if (std::regex_search(line, m, kRow))
        seen.insert(call + " " + m[1].str() + " " + m[2].str() + " " + m[3].str() + " " +
                    m[4].str());
  }
  std::multiset<std::string> want;
  for (const TContact& c : kLog)
    want.insert(std::string(c.call) + " " + c.shownDate + " " + c.shownTime + " " + c.shownMhz +
                " " + c.shownMode);
  EXPECT_EQ(seen, want);
  return byCall;
}

bool Holds(const std::vector<TLabelText>& labels, const std::string& text) {
  for (const TLabelText& l : labels)
    for (const std::string& line : l)
      if (line.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace

// What a build without Qt (the sanitizer build) answers: no label sheets to test there.
constexpr const char* kNoQt = "--qsl-labels needs a build with Qt";

TEST_F(QslLabelsTest, DirectLabelsOnAvery5160) {
  const std::string log = dir_->file("direct.adi"), pdf = dir_->file("direct.pdf");
  std::ofstream(log, std::ios::binary) << LogText();
  const TRun r = Run("--qsl-labels '" + log + "' --template 'Avery 5160' --out '" + pdf + "'");
  if (r.out.find(kNoQt) != std::string::npos) GTEST_SKIP() << r.out;
  EXPECT_EQ(r.status, 1) << r.out;  // ZZ9ZZZ is not in the directory
  EXPECT_NE(r.out.find("tellmark-lookup: contacts on labels: 25\n"), std::string::npos) << r.out;
  // 9 stations; K1ABC's contact before the grant and those via its manager on labels apart.
  EXPECT_NE(r.out.find("tellmark-lookup: stations: 9, labels: 20\n"), std::string::npos);
  EXPECT_NE(r.out.find("tellmark-lookup: calls not in the directory (bureau labels): 1 (ZZ9ZZZ)\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("tellmark-lookup: K1ABC: 1 contact before the licence's grant date "
                       "(1999-07-04): bureau label without the current holder's address\n"),
            std::string::npos);
  double w = 0, h = 0;
  const int pages = Pages(pdf, w, h);
  ASSERT_GE(pages, 1);
  EXPECT_NEAR(w, kAvery5160.pageW, 1);  // Letter
  EXPECT_NEAR(h, kAvery5160.pageH, 1);
  const auto byCall = CheckEveryContact(ReadLabels(pdf, kAvery5160, pages));
  EXPECT_EQ(byCall.size(), 9u);
  // For the pictures of the documentation: the sheet kept where TELLMARK_SCREENSHOT_DIR says.
  if (const char* shots = std::getenv("TELLMARK_SCREENSHOT_DIR"))
    std::filesystem::copy_file(pdf, std::string(shots) + "/qsl-direct-av5160.pdf",
                               std::filesystem::copy_options::overwrite_existing);
  // 22 mm hold 7 lines at 7 pt: with the 4 address lines one contact a label, so W1AW's 6
  // contacts take 6 labels.
  EXPECT_EQ(byCall.at("W1AW").size(), 6u);
  EXPECT_TRUE(Holds(byCall.at("W1AW"), "To: W1AW (1/6)"));
  EXPECT_TRUE(Holds(byCall.at("W1AW"), "To: W1AW (6/6)"));
  // Direct: the directory's address above the rows; the manager's for G3XYZ.
  EXPECT_TRUE(Holds(byCall.at("W1AW"), "ARRL HQ STATION"));
  EXPECT_TRUE(Holds(byCall.at("W1AW"), "NEWINGTON, CT 06111"));
  EXPECT_TRUE(Holds(byCall.at("G3XYZ"), "To: G3XYZ via F5ABC"));
  EXPECT_TRUE(Holds(byCall.at("G3XYZ"), "Marie Dupont"));
  EXPECT_FALSE(Holds(byCall.at("G3XYZ"), "John Smith"));
  EXPECT_TRUE(Holds(byCall.at("DL1ABC"), "To: DL1ABC via DL9QSL"));
  // Not known, or before the grant: no address.
  EXPECT_FALSE(Holds(byCall.at("ZZ9ZZZ"), "Street"));
  // K1ABC: the contact before the grant on a label of its own, without the current holder's
  // address or manager; the others via the directory's manager W1QSL, whose address the
  // directory does not have: a bureau label, said in the summary.
  ASSERT_EQ(byCall.at("K1ABC").size(), 2u);
  for (const TLabelText& l : byCall.at("K1ABC")) {
    const bool early = Holds({l}, "1998-05-01");
    EXPECT_EQ(l.front(), early ? "To: K1ABC" : "To: K1ABC via W1QSL");
    EXPECT_FALSE(Holds({l}, "JOHN Q SMITH"));
  }
  EXPECT_NE(r.out.find("no address of the QSL manager W1QSL in the directory: bureau label\n"),
            std::string::npos);
}

TEST_F(QslLabelsTest, BureauLabelsOnZweckform3490SortedByPrefixThenMarkedSent) {
  const std::string log = dir_->file("bureau.adi"), pdf = dir_->file("bureau.pdf");
  const std::string text = LogText();
  std::ofstream(log, std::ios::binary) << text;
  const TRun r =
      Run("--qsl-labels '" + log + "' --template zf3490 --bureau --out '" + pdf + "' --mark-sent");
  if (r.out.find(kNoQt) != std::string::npos) GTEST_SKIP() << r.out;
  EXPECT_EQ(r.status, 1) << r.out;
  double w = 0, h = 0;
  const int pages = Pages(pdf, w, h);
  ASSERT_GE(pages, 1);
  EXPECT_NEAR(w, kZweckform3490.pageW, 1);  // A4
  EXPECT_NEAR(h, kZweckform3490.pageH, 1);
  const std::vector<TLabelText> labels = ReadLabels(pdf, kZweckform3490, pages);
  if (const char* shots = std::getenv("TELLMARK_SCREENSHOT_DIR"))
    std::filesystem::copy_file(pdf, std::string(shots) + "/qsl-bureau-zf3490.pdf",
                               std::filesystem::copy_options::overwrite_existing);
  const auto byCall = CheckEveryContact(labels);
  EXPECT_EQ(byCall.size(), 9u);
  EXPECT_FALSE(Holds(labels, "ARRL HQ STATION"));
  // 30 mm of printable area hold 10 lines at 7 pt: W1AW's 6 contacts on one label.
  EXPECT_EQ(byCall.at("W1AW").size(), 1u);
  // The bureaus' order: the prefix of the entity the card goes to (G3XYZ's to F5ABC in France),
  // the call; a call of no known entity last.
  const std::map<std::string, std::string> prefix = {
      {"DL1ABC", "DL"}, {"F5ABC", "F"}, {"G3XYZ", "F"},  {"JA1AA", "JA"}, {"K1ABC", "K"},
      {"W1AW", "K"},    {"W9ZZ", "K"},  {"VK2XX", "VK"}, {"ZZ9ZZZ", "~"}};
  std::vector<std::string> order;
  for (const TLabelText& l : labels)
    order.push_back(l.front().substr(4, l.front().find(' ', 4) - 4));
  for (size_t i = 1; i < order.size(); ++i) {
    const auto a = std::make_pair(prefix.at(order[i - 1]), order[i - 1]);
    const auto b = std::make_pair(prefix.at(order[i]), order[i]);
    EXPECT_LE(a, b) << order[i - 1] << " before " << order[i];
  }
  // The log marked: each record gained QSL_SENT Y and QSL_SDATE, nothing else changed.
  const std::string marked = Read(log);
  const std::regex added(R"(<QSL_SENT:1>Y <QSL_SDATE:8>\d{8} )");
  EXPECT_EQ(std::regex_replace(marked, added, ""), text);
  EXPECT_EQ(std::distance(std::sregex_iterator(marked.begin(), marked.end(), added),
                          std::sregex_iterator()),
            25);
  // Now nothing is left to send: no labels, no PDF.
  const std::string again = dir_->file("again.pdf");
  const TRun next = Run("--qsl-labels '" + log + "' --template zf3490 --out '" + again + "'");
  EXPECT_EQ(next.status, 1);
  EXPECT_NE(next.out.find("contacts already sent (QSL_SENT Y): 25"), std::string::npos) << next.out;
  EXPECT_FALSE(std::ifstream(again).good());
  // A date range picks its contacts among all.
  const TRun range = Run("--qsl-labels '" + log +
                         "' --qsl-all --qsl-from 2024-01-20 --qsl-to "
                         "2024-01-22 --template zf3490 --bureau --out '" +
                         again + "'");
  EXPECT_NE(range.out.find("contacts on labels: 3\n"), std::string::npos) << range.out;
  EXPECT_NE(range.out.find("contacts outside the dates: 22\n"), std::string::npos);
}

// ---- The rows of a label, without the program: a directory of one station.

namespace {

class TOneStation : public TAdifSource {
 public:
  std::optional<TCallbookRecord> FindBaseCall(std::string_view call) override {
    if (call != "W1AW") return std::nullopt;
    TCallbookRecord r;
    r.call = "W1AW";
    r.database = TDatabase::US;
    r.name = "ARRL HQ STATION";
    r.street = "225 MAIN ST";
    r.city = "NEWINGTON";
    r.state = "CT";
    r.zip = "06111";
    r.issued = "1996-01-01";
    return r;
  }
  const TEntityTable* Entities() override { return nullptr; }
};

struct TRowCase {
  const char* fields;  // of one contact with W1AW
  const char* row;     // as the label shows it
};

}  // namespace

class QslRow : public ::testing::TestWithParam<TRowCase> {};

TEST_P(QslRow, ContactAsTheLabelShowsIt) {
  const TAdifLog log = TAdifLog::Parse(std::string("<CALL:4>W1AW ") + GetParam().fields + "<EOR>");
  TOneStation source;
  const TQslJob job = MakeQslLabels(log, source, {}, TLabelLayout{});
  ASSERT_EQ(job.labels.size(), 1u);
  ASSERT_EQ(job.labels[0].contacts.size(), 1u);
  EXPECT_EQ(QslContactRow(job.labels[0].contacts[0]), GetParam().row);
}

// MHz with at least three decimals; the band without FREQ; SUBMODE before MODE; HH:MM of
// HHMM and HHMMSS.
INSTANTIATE_TEST_SUITE_P(
    Rows, QslRow,
    ::testing::Values(
        TRowCase{"<QSO_DATE:8>20240105 <TIME_ON:4>1432 <FREQ:7>14.0250 <MODE:2>CW <RST_SENT:3>599 ",
                 "2024-01-05 14:32 14.025   CW     599"},
        TRowCase{"<QSO_DATE:8>20240105 <TIME_ON:6>081530 <FREQ:6>7.0305 <MODE:2>CW ",
                 "2024-01-05 08:15 7.0305   CW"},
        TRowCase{"<QSO_DATE:8>20240105 <TIME_ON:4>0000 <FREQ:6>1296.2 <MODE:3>SSB "
                 "<SUBMODE:3>USB <RST_SENT:2>59 ",
                 "2024-01-05 00:00 1296.200 USB    59"},
        TRowCase{"<QSO_DATE:8>20240105 <TIME_ON:4>2359 <FREQ:3>144 <MODE:2>FM ",
                 "2024-01-05 23:59 144.000  FM"},
        TRowCase{"<QSO_DATE:8>20240105 <TIME_ON:4>1200 <BAND:3>20M <MODE:4>MFSK <SUBMODE:3>FT4 "
                 "<RST_SENT:3>-12 ",
                 "2024-01-05 12:00 20m      FT4    -12"},
        TRowCase{"<QSO_DATE:8>20240105 <TIME_ON:4>1200 <FREQ:3>abc <BAND:3>40m <MODE:3>ssb ",
                 "2024-01-05 12:00 40m      SSB"}));

// How many rows a label holds: lines of 7 pt (7 x 1.17 pt = 2.889 mm apart) in the printable
// area, less the other lines; at least one.
TEST(QslLabels, RowsPerLabelFromTheTemplatesSpace) {
  TLabelLayout l;
  l.areaHeight = 22;  // Avery 5160: 7 lines
  EXPECT_EQ(QslRowsPerLabel(l, 3), 4u);
  EXPECT_EQ(QslRowsPerLabel(l, 7), 1u);  // a 4-line address
  EXPECT_EQ(QslRowsPerLabel(l, 9), 1u);
  l.areaHeight = 30;  // Zweckform 3490: 10 lines
  EXPECT_EQ(QslRowsPerLabel(l, 3), 7u);
  l.areaHeight = 2.8;
  EXPECT_EQ(QslRowsPerLabel(l, 3), 1u);
  // 9 contacts of one station before and after the grant: the early one apart, the others 4 and 4.
  std::string text;
  for (int d = 1; d <= 8; ++d)
    text += "<CALL:4>W1AW <QSO_DATE:8>2024010" + std::to_string(d) + " <EOR>";
  text += "<CALL:4>W1AW <QSO_DATE:8>19951231 <EOR>";
  l.areaHeight = 22;
  TOneStation source;
  TQslOptions o;
  o.kind = TQslKind::Bureau;
  const TQslJob job = MakeQslLabels(TAdifLog::Parse(text), source, o, l);
  ASSERT_EQ(job.labels.size(), 3u);
  EXPECT_TRUE(job.labels[0].beforeGrant);
  EXPECT_EQ(job.labels[0].contacts.size(), 1u);
  EXPECT_EQ(QslLabelLines(job.labels[1], "TNX").front(), "To: W1AW (1/2)");
  EXPECT_EQ(job.labels[2].contacts.size(), 4u);
  EXPECT_EQ(job.labels[2].contacts.back().date, "2024-01-08");
  EXPECT_EQ(QslLabelLines(job.labels[2], "TNX").back(), "TNX");
}

// Address blocks and plain-text labels: both formatting routines over one table of addresses,
// the padded label with its margin and limits, the CSV line, the form feed byte, output
// failures, the print spool with a server that cannot be reached and, when a print server with
// a PDF queue runs (TELLMARK_CUPS_PDF_DIR names its output folder), one real job of three labels.
// Label sheets: the eight predefined sheets laid out, template files written and refused, the
// progress and questions of the print job over the report file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "TestDir.h"
#include "builder/ULabelTemplates.h"
#include "common/IOUtil.h"
#include "labels/ULabel.h"
#include "labels/ULabelJob.h"
#include "labels/ULabelLayout.h"
#include "labels/ULabelPrinter.h"

namespace fs = std::filesystem;

namespace {

TEntryRecord Entry(TDatabase db, const std::string& call, const std::string& address,
                   const std::string& country = "USA", const std::string& dxcc = "United States",
                   const std::string& state = "IL", const std::string& zip = "62701") {
  TEntryRecord r;
  r.db = db;
  const bool us = db == TDatabase::US;
  AppendField(r, 1, call);
  if (us) {
    AppendField(r, utState, state);
    AppendField(r, utZIP, zip);
  }
  AppendField(r, us ? int{utAddress} : int{itAddress}, address);
  if (!country.empty()) AppendField(r, us ? int{utCountry} : int{itCountry}, country);
  if (!dxcc.empty()) AppendField(r, us ? int{utDxcc} : int{itDxcc}, dxcc);
  return r;
}

std::vector<std::string> Lines(const TAddressBlock& b) {
  return {b.line.begin(), b.line.begin() + b.count};
}

std::string Slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

const std::string k80(80, 'x');
const std::string k65(65, 'x');

struct TAddressCase {
  const char* name;
  TDatabase db;
  std::string address;
  bool addCall;
  int addCountry;
  std::string country;
  bool blockOk;
  std::vector<std::string> block;  // FormatAddress
  std::vector<std::string> lines;  // FormatAddressLines
};

std::string Pieces(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += (i > 1 ? ", P" : "P") + std::to_string(i);
  return s;
}
std::vector<std::string> PieceLines(int n) {
  std::vector<std::string> v;
  for (int i = 1; i <= n; ++i) v.push_back("P" + std::to_string(i));
  return v;
}

class AddressFormat : public testing::TestWithParam<TAddressCase> {};

TEST_P(AddressFormat, BothRoutines) {
  const TAddressCase& c = GetParam();
  const TEntryRecord e = Entry(c.db, "W9XYZ", c.address, c.country, "DXCC-" + c.country);
  const TAddressStyle style{c.addCountry, c.addCall};
  TAddressBlock block;
  SetLastErrorCode(0);
  const bool ok = FormatAddress(e, style, block);
  EXPECT_EQ(ok, c.blockOk);
  if (ok) {
    EXPECT_EQ(Lines(block), c.block);
    for (const std::string& l : Lines(block)) EXPECT_LE(l.size(), kAddressLineLen);
  } else {
    EXPECT_EQ(LastErrorCode(), kLabelTooLargeCode);
  }
  EXPECT_EQ(FormatAddressLines(e, style), c.lines);
  if (ok) {  // the clipboard's address-only text
    std::string text;
    for (const std::string& l : c.block) text += l + "\r\n";
    EXPECT_EQ(AddressBlockText(block), text);
  }
}

std::vector<std::string> PlusLast(std::vector<std::string> v, const std::string& s) {
  v.push_back(s);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressFormat,
    testing::Values(
        TAddressCase{"UsExample",
                     TDatabase::US,
                     "JOHN DOE, 12 MAIN ST, SPRINGFIELD",
                     true,
                     1,
                     "USA",
                     true,
                     {"JOHN DOE, W9XYZ", "12 MAIN ST", "SPRINGFIELD, IL 62701", "USA"},
                     {"JOHN DOE, W9XYZ", "12 MAIN ST", "SPRINGFIELD, IL 62701", "USA"}},
        TAddressCase{"NoComma",
                     TDatabase::Intl,
                     "Hans Mueller Berlin",
                     true,
                     0,
                     "Germany",
                     true,
                     {"Hans Mueller Berlin, W9XYZ"},
                     {"Hans Mueller Berlin, W9XYZ"}},
        TAddressCase{
            "EmptyPiece", TDatabase::Intl, "A,,B", false, 0, "", true, {"A", "", "B"}, {"A,,B"}},
        TAddressCase{
            "CommaSpace", TDatabase::Intl, "A, B", false, 0, "", true, {"A", "B"}, {"A", "B"}},
        TAddressCase{"CommaOnly", TDatabase::Intl, "A,B", false, 0, "", true, {"A", "B"}, {"A,B"}},
        TAddressCase{"BlanksTrimmedOnlyInBlock",
                     TDatabase::Intl,
                     "  A  ,  B  ",
                     false,
                     0,
                     "",
                     true,
                     {"A", "B"},
                     {"  A  ", " B  "}},
        TAddressCase{
            "TrailingComma", TDatabase::Intl, "A, B,", false, 0, "", true, {"A", "B"}, {"A", "B,"}},
        TAddressCase{"LongPieceCut",
                     TDatabase::US,
                     k80 + ", CITY",
                     true,
                     0,
                     "",
                     true,
                     {k65, "CITY, IL 62701"},
                     {k80 + ", W9XYZ", "CITY, IL 62701"}},
        TAddressCase{"StateZipLostOnLongLine",
                     TDatabase::US,
                     "NAME, " + k65,
                     false,
                     0,
                     "",
                     true,
                     {"NAME", k65},
                     {"NAME", k65 + ", IL 62701"}},
        TAddressCase{"PostalCountry",
                     TDatabase::Intl,
                     "A, B",
                     false,
                     1,
                     "Germany",
                     true,
                     {"A", "B", "Germany"},
                     {"A", "B", "Germany"}},
        TAddressCase{"DxccCountry",
                     TDatabase::Intl,
                     "A, B",
                     false,
                     2,
                     "Germany",
                     true,
                     {"A", "B", "DXCC-Germany"},
                     {"A", "B", "DXCC-Germany"}},
        TAddressCase{
            "OtherCountryValue", TDatabase::Intl, "A", false, 3, "Germany", true, {"A"}, {"A"}},
        TAddressCase{"EmptyCountry", TDatabase::Intl, "A", false, 1, "", true, {"A"}, {"A"}},
        TAddressCase{"CountryCut30",
                     TDatabase::Intl,
                     "A",
                     false,
                     1,
                     std::string(40, 'c'),
                     true,
                     {"A", std::string(30, 'c')},
                     {"A", std::string(30, 'c')}},
        TAddressCase{"IntlNoStateZip",
                     TDatabase::Intl,
                     "IVO, ZAGREB",
                     false,
                     0,
                     "",
                     true,
                     {"IVO", "ZAGREB"},
                     {"IVO", "ZAGREB"}},
        TAddressCase{"EmptyAddress", TDatabase::US, "", true, 1, "USA", true, {"USA"}, {"USA"}},
        TAddressCase{"TenPiecesAndCountry", TDatabase::Intl, Pieces(10), false, 1, "C", true,
                     PlusLast(PieceLines(10), "C"), PlusLast(PieceLines(10), "C")},
        // Eleven lines at most: ten pieces, a U.S. state and ZIP on the last, a country line.
        TAddressCase{"UsTenPiecesAndCountry", TDatabase::US, Pieces(10), false, 1, "USA", true,
                     PlusLast(PlusLast(PieceLines(9), "P10, IL 62701"), "USA"),
                     PlusLast(PlusLast(PieceLines(9), "P10, IL 62701"), "USA")},
        TAddressCase{"TenPiecesTrailingComma", TDatabase::Intl, Pieces(10) + ",", false, 0, "",
                     true, PieceLines(10), PlusLast(PieceLines(9), "P10,")},
        TAddressCase{"ElevenPiecesFail",
                     TDatabase::Intl,
                     Pieces(11),
                     false,
                     0,
                     "",
                     false,
                     {},
                     PieceLines(11)},
        TAddressCase{"TwelvePiecesFail",
                     TDatabase::US,
                     Pieces(12),
                     false,
                     0,
                     "",
                     false,
                     {},
                     PlusLast(PieceLines(11), "P12, IL 62701")}),
    [](const testing::TestParamInfo<TAddressCase>& i) { return std::string(i.param.name); });

class PlainLabel : public testing::Test {
 protected:
  TestDir dir;
  TPrintOptions options;
  void SetUp() override { options.outfileName = dir.file("labels.txt"); }
  TAddressBlock Block(std::vector<std::string> lines) {
    TAddressBlock b;
    for (auto& l : lines) b.line[static_cast<size_t>(b.count++)] = std::move(l);
    return b;
  }
};

TEST_F(PlainLabel, PaddedWithMarginOnNonEmptyLinesAndAppended) {
  options.numLines = 6;
  options.leftMargin = 3 + 256;  // only the low 8 bits count
  // 255 is the no-break space of code page 437; 160 is a letter there.
  const TAddressBlock b = Block({"JORGE S\xA0NCHEZ", "", "12\xFFMAIN ST", "M\xA0LAGA"});
  ASSERT_TRUE(PrintLabelDirect(b, options));
  ASSERT_TRUE(PrintLabelDirect(Block({"X"}), options));
  EXPECT_EQ(Slurp(options.outfileName),
            "   JORGE S\u00e1NCHEZ\r\n\r\n   12 MAIN ST\r\n   M\u00e1LAGA\r\n\r\n\r\n"
            "   X\r\n\r\n\r\n\r\n\r\n\r\n");
}

// As many lines as the label holds fit; one more does not.
TEST_F(PlainLabel, BlockOfExactlyNumLinesFits) {
  for (const int16_t n : {1, 6, 11}) {
    options.numLines = n;
    std::vector<std::string> lines(static_cast<size_t>(n), "L");
    fs::remove(options.outfileName);
    SetLastErrorCode(0);
    EXPECT_TRUE(PrintLabelDirect(Block(lines), options)) << n;
    EXPECT_EQ(Slurp(options.outfileName).size(), static_cast<size_t>(n) * 3) << n;
    if (n < kAddressBlockLines) {
      lines.push_back("L");
      EXPECT_FALSE(PrintLabelDirect(Block(lines), options)) << n;
      EXPECT_EQ(LastErrorCode(), kLabelTooLargeCode);
    }
  }
}

TEST_F(PlainLabel, TooLargeLabelsWriteNothing) {
  options.numLines = 2;
  options.numChar = 5;
  ASSERT_TRUE(PrintLabelDirect(Block({"ABCDE"}), options));
  const std::string before = Slurp(options.outfileName);
  for (const auto& lines : {std::vector<std::string>{"A", "B", "C"},     // more than NumLines
                            std::vector<std::string>{"A", "ABCDEF"}}) {  // line over NumChar
    SetLastErrorCode(0);
    EXPECT_FALSE(PrintLabelDirect(Block(lines), options));
    EXPECT_EQ(LastErrorCode(), kLabelTooLargeCode);
    EXPECT_EQ(Slurp(options.outfileName), before);
  }
}

TEST_F(PlainLabel, CsvLineIgnoresLabelSize) {
  options.useItForCSV = true;
  options.separatorChar = ',';
  options.numLines = 1;
  options.numChar = 1;
  ASSERT_TRUE(PrintLabelDirect(Block({"JOHN \"J\" DOE", "",
                                      "A\xFF"
                                      "B",
                                      "BOGOT\xA0", "MALM\x94"}),
                               options));
  // RFC 4180 quotes, UTF-8 text.
  EXPECT_EQ(Slurp(options.outfileName),
            "\"JOHN \"\"J\"\" DOE\",\"\",\"A B\",\"BOGOT\u00e1\",\"MALM\u00f6\"\r\n");
  EXPECT_EQ(LabelCsvLine(Block({}), ';'), "");
}

TEST_F(PlainLabel, FormFeedIsOneByteAppended) {
  ASSERT_TRUE(PrintLabelDirect(Block({"A"}), options));
  ASSERT_TRUE(SendFormFeed(options));
  const std::string s = Slurp(options.outfileName);
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(s.back(), '\f');
  EXPECT_EQ(s.size(), 3u + 5 * 2 + 1);  // "A", five empty lines, the form feed
}

TEST_F(PlainLabel, OutputFailuresGiveTheIOCode) {
  options.outfileName = dir.file("missing/labels.txt");
  EXPECT_FALSE(PrintLabelDirect(Block({"A"}), options));
  EXPECT_EQ(LastErrorCode(), 3);
  EXPECT_FALSE(SendFormFeed(options));
  EXPECT_EQ(LastErrorCode(), 3);
  options.outfileName = dir.file("Con.txt");  // a refused device name
  EXPECT_FALSE(PrintLabelDirect(Block({"A"}), options));
  EXPECT_NE(LastErrorCode(), 0);
  EXPECT_FALSE(fs::exists(options.outfileName));
  if (fs::exists("/dev/full")) {
    options.outfileName = "/dev/full";
    EXPECT_FALSE(PrintLabelDirect(Block({"A"}), options));
    EXPECT_EQ(LastErrorCode(), 101);
  }
}

TEST(PrinterDeviceNames, Recognised) {
  for (const char* n : {"prn", "PRN", "lpt1", "LPT2:", " lpt3 "})
    EXPECT_TRUE(IsPrinterDeviceName(n)) << n;
  for (const char* n : {"lpt4", "prn.txt", "printer", "", "/dev/usb/lp0"})
    EXPECT_FALSE(IsPrinterDeviceName(n)) << n;
}

TEST(PrintSpoolJob, PostScriptPagesAndEscapes) {
  auto count = [](const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) ++n;
    return n;
  };
  const std::string ps = LabelSpoolPostScript("A (B) \\C\r\n\x81\xE1\r\n\fD\r\n\f");
  EXPECT_EQ(ps.rfind("%!PS", 0), 0u);
  // Baselines from the top: the capitals of line 1 begin a quarter inch (18 pt) down, outside
  // the 4 mm most printers cannot print; 66 lines end a quarter inch above a Letter page's foot.
  EXPECT_NE(ps.find("(A \\(B\\) \\\\C) 25.5 L"), std::string::npos) << ps;
  EXPECT_NE(ps.find("(\\374\\337) 37.0 L"), std::string::npos) << ps;  // u-umlaut, sharp s
  EXPECT_NE(ps.find("(D) 25.5 L"), std::string::npos) << ps;
  EXPECT_EQ(count(ps, "showpage"), 2u);  // the form feed at the end adds no empty page
  std::string many;
  for (int i = 0; i < 67; ++i) many += "X\r\n";
  EXPECT_EQ(count(LabelSpoolPostScript(many), "showpage"), 2u);                  // 66 lines a page
  EXPECT_NE(LabelSpoolPostScript(many).find("(X) 770.0 L"), std::string::npos);  // line 66
}

class PrintSpool : public testing::Test {
 protected:
  TestDir dir;
  TPrintOptions options;
  std::string spool;
  void SetUp() override {
    spool = dir.file("labels.spool");
    setenv("TELLMARK_LABEL_SPOOL", spool.c_str(), 1);
    options.outfileName = "prn";
    options.numLines = 3;
  }
  void TearDown() override {
    SetLabelPrintServer("");
    unsetenv("TELLMARK_LABEL_SPOOL");
  }
  static TAddressBlock One(const std::string& line) {
    TAddressBlock b;
    b.line[0] = line;
    b.count = 1;
    return b;
  }
};

TEST_F(PrintSpool, MissingServerKeepsEveryLine) {
  SetLabelPrintServer(dir.file("no-server.sock"));
  ASSERT_TRUE(PrintLabelDirect(One("FIRST"), options));
  ASSERT_TRUE(PrintLabelDirect(One("SECOND"), options));
  EXPECT_TRUE(LabelSpoolPending());
  const std::string spooled = Slurp(spool);
  EXPECT_EQ(spooled, "FIRST\r\n\r\n\r\nSECOND\r\n\r\n\r\n");
  EXPECT_FALSE(SendFormFeed(options));
  EXPECT_EQ(LastErrorCode(), 160);
  EXPECT_NE(LabelSpoolError().find("cannot be reached"), std::string::npos) << LabelSpoolError();
  EXPECT_EQ(Slurp(spool), spooled);
  ASSERT_TRUE(PrintLabelDirect(One("THIRD"), options));
  EXPECT_EQ(Slurp(spool), spooled + "THIRD\r\n\r\n\r\n");
}

TEST_F(PrintSpool, FormFeedWithNothingSpooledSubmitsNothing) {
  SetLabelPrintServer(dir.file("no-server.sock"));
  EXPECT_TRUE(SendFormFeed(options));
  EXPECT_FALSE(LabelSpoolPending());
}

// Three labels to "prn" and a form feed make one job on the default queue (a PDF queue in CI);
// its PDF holds the three addresses in order.
TEST_F(PrintSpool, ThreeLabelsOneJobOnTheDefaultQueue) {
  const char* pdfDir = std::getenv("TELLMARK_CUPS_PDF_DIR");
  if (!pdfDir || !*pdfDir) GTEST_SKIP() << "no print server (scripts/start-cups.sh sets one up)";
  // PDF files written since the job was sent (the queue may reuse a file name).
  auto newPdfs = [&](fs::file_time_type since) {
    std::vector<fs::path> v;
    std::error_code ec;
    for (const auto& f : fs::recursive_directory_iterator(pdfDir, ec))
      if (f.path().extension() == ".pdf" && fs::last_write_time(f.path(), ec) >= since)
        v.push_back(f.path());
    return v;
  };
  const auto start = fs::file_time_type::clock::now() - std::chrono::seconds(1);
  const int jobBefore = LastLabelJobId();
  const std::vector<std::string> names = {"ALICE ADAMS", "BOB BROWN", "CAROL CLARK"};
  for (const auto& n : names) ASSERT_TRUE(PrintLabelDirect(One(n), options));
  ASSERT_TRUE(SendFormFeed(options)) << LabelSpoolError();
  EXPECT_NE(LastLabelJobId(), jobBefore);
  EXPECT_FALSE(LabelSpoolPending());
  std::vector<fs::path> now;
  for (int i = 0; i < 600 && (now = newPdfs(start)).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(now.size(), 1u) << "one new PDF in " << pdfDir;
  const fs::path newest = now.front();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the writer finishes the file
  const std::string txt = dir.file("job.txt");
  ASSERT_EQ(std::system(("pdftotext '" + newest.string() + "' '" + txt + "'").c_str()), 0);
  const std::string text = Slurp(txt);
  size_t at = 0;
  for (const auto& n : names) {
    const size_t p = text.find(n, at);
    ASSERT_NE(p, std::string::npos) << n << " after " << at << " in:\n" << text;
    at = p + n.size();
  }
}

// ---- Label sheets: layout maths, templates.

struct TSheetCase {
  const char* file;
  int columns, rows;
  double firstX, firstY;  // mm, the first label's top left corner on the real sheet
};

class PredefinedSheet : public testing::TestWithParam<TSheetCase> {};

TEST_P(PredefinedSheet, LabelsOnTheRealSheet) {
  const TSheetCase& c = GetParam();
  const TPredefinedTemplate* t = nullptr;
  for (const auto& p : PredefinedTemplates())
    if (p.file == c.file) t = &p;
  ASSERT_NE(t, nullptr);
  const TLabelLayout& l = t->layout;
  EXPECT_EQ(LayoutProblem(l), "");
  EXPECT_EQ(RowsPerPage(l), c.rows);
  EXPECT_EQ(static_cast<int>(ColumnLefts(l).size()), c.columns);
  const size_t perPage = static_cast<size_t>(c.columns * c.rows);
  TLabelLayout unlimited = l;
  unlimited.pageLimit = 0;
  const auto places = PlaceLabels(unlimited, perPage + 1);
  ASSERT_EQ(places.size(), perPage + 1);
  EXPECT_NEAR(places[0].label.x, c.firstX, 0.01);
  EXPECT_NEAR(places[0].label.y, c.firstY, 0.01);
  for (size_t i = 0; i < perPage; ++i) {
    const TLabelPlace& p = places[i];
    EXPECT_EQ(p.page, 0);
    EXPECT_GE(p.label.x, -1e-6);
    EXPECT_LE(p.label.x + p.label.width, LayoutPaperWidth(l) + 1e-6) << i;
    EXPECT_LE(p.label.y + p.label.height, LayoutPaperHeight(l) + 1e-6) << i;
    EXPECT_GE(p.area.x, p.label.x);
    EXPECT_GE(p.area.y, p.label.y);
    EXPECT_LE(p.area.x + p.area.width, p.label.x + p.label.width + 1e-6) << i;
    EXPECT_LE(p.area.y + p.area.height, p.label.y + p.label.height + 1e-6) << i;
    // Across, then down.
    EXPECT_NEAR(p.label.x, places[i % static_cast<size_t>(c.columns)].label.x, 1e-9);
    EXPECT_NEAR(p.label.y, places[i - i % static_cast<size_t>(c.columns)].label.y, 1e-9);
  }
  EXPECT_EQ(places[perPage].page, 1);
  EXPECT_NEAR(places[perPage].label.y, places[0].label.y, 1e-9);
  // The design-mode page limit of 2.
  EXPECT_EQ(PlaceLabels(l, perPage * 5).size(), perPage * 2);
}

INSTANTIATE_TEST_SUITE_P(Sheets, PredefinedSheet,
                         testing::Values(TSheetCase{"av5160.cls", 3, 10, 4.7625, 12.7},
                                         TSheetCase{"av5261.cls", 2, 10, 3.96875, 12.7},
                                         TSheetCase{"av5262.cls", 2, 7, 3.96875, 21.166},
                                         TSheetCase{"zf3490.cls", 3, 8, 0, 4.5},
                                         TSheetCase{"zf4780.cls", 4, 10, 8, 21.5},
                                         TSheetCase{"zf6023.cls", 2, 8, 0, 0.5},
                                         TSheetCase{"env10dj.cls", 1, 1, 95.25, 44.45},
                                         TSheetCase{"env10lj.cls", 1, 1, 101.6, 50.8}),
                         [](const testing::TestParamInfo<TSheetCase>& i) {
                           std::string n = i.param.file;
                           return n.substr(0, n.find('.'));
                         });

TEST(LabelLayout, ColumnsBeyondThePositionsAndLengths) {
  TLabelLayout l;
  l.columnPositions = {10};
  l.numColumns = 3;
  l.columnWidth = 50;
  EXPECT_EQ(ColumnLefts(l), (std::vector<double>{10, 60, 110}));
  l.columnPositions = {1, 2, 3, 4};
  l.numColumns = 2;
  EXPECT_EQ(ColumnLefts(l), (std::vector<double>{1, 2}));
  l.labelHeight = 0;
  EXPECT_NE(LayoutProblem(l), "");
  EXPECT_EQ(FormatLength(66.675, TLabelUnits::Inches), "2.625");
  EXPECT_EQ(FormatLength(66.675, TLabelUnits::Millimetres), "66.67");
  EXPECT_EQ(FormatLength(12.7, TLabelUnits::Inches), "0.5");
  EXPECT_DOUBLE_EQ(FromUnits(2.625, TLabelUnits::Inches), 66.675);
}

// Rows per page: the last row needs no offset below it, so rows that fit exactly all count.
TEST(LabelLayout, RowsThatFitExactly) {
  struct TRowCase {
    double label, offset, room;
    int rows;
  };
  for (const TRowCase& c :
       {TRowCase{25, 5, 115, 4}, TRowCase{25, 5, 114.9, 3}, TRowCase{25, 0, 100, 4},
        TRowCase{25, 0, 99.9, 3}, TRowCase{25.4, 2.5, 251.1, 9}}) {
    TLabelLayout l;
    l.labelHeight = c.label;
    l.bottomOffset = c.offset;
    l.marginTop = 10;
    l.marginBottom = l.paperHeight - 10 - c.room;
    EXPECT_EQ(RowsPerPage(l), c.rows) << c.label << " " << c.offset << " " << c.room;
    l.pageLimit = 0;
    const auto places = PlaceLabels(l, static_cast<size_t>(LabelsPerPage(l)));
    EXPECT_LE(places.back().label.y + c.label, 10 + c.room + 1e-6);
  }
}

struct TProblemCase {
  const char* what;
  void (*change)(TLabelLayout&);
  const char* problem;
};

class LayoutProblems : public testing::TestWithParam<TProblemCase> {};

TEST_P(LayoutProblems, RefusedBeforeAnyLabelIsPlaced) {
  TLabelLayout l;
  GetParam().change(l);
  EXPECT_EQ(LayoutProblem(l), GetParam().problem);
  // Whatever the layout, the sheet stays bounded.
  EXPECT_GE(RowsPerPage(l), 1);
  EXPECT_LE(RowsPerPage(l), 1000);
  EXPECT_LE(PlaceLabels(l, 5).size(), 5u);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutProblems,
    testing::Values(
        TProblemCase{"design", [](TLabelLayout&) {}, ""},
        TProblemCase{"tiny_label", [](TLabelLayout& l) { l.labelHeight = 1e-300; },
                     "The label must be at least 1 mm high and wide."},
        TProblemCase{"tiny_pitch",
                     [](TLabelLayout& l) {
                       l.labelHeight = 1;
                       l.bottomOffset = -0.9999999999;
                       l.areaTop = l.areaHeight = 0.5;
                     },
                     ""},
        TProblemCase{"area_right_of_label", [](TLabelLayout& l) { l.areaLeft = 10; },
                     "The printable area lies outside the label."},
        TProblemCase{"area_above_label", [](TLabelLayout& l) { l.areaTop = -1; },
                     "The printable area lies outside the label."},
        TProblemCase{"negative_bottom_margin", [](TLabelLayout& l) { l.marginBottom = -50; },
                     "The top and bottom margins must not be negative."},
        TProblemCase{"column_off_the_paper",
                     [](TLabelLayout& l) {
                       l.columnPositions = {5.08, 74.625, 150};
                     },
                     "Column 3 does not fit on the paper."},
        TProblemCase{"letter_sheet_on_a4", [](TLabelLayout& l) { l.paperWidth = 210; },
                     "Column 3 does not fit on the paper."},
        TProblemCase{"landscape_fits", [](TLabelLayout& l) { l.portrait = false; }, ""}),
    [](const testing::TestParamInfo<TProblemCase>& i) { return std::string(i.param.what); });

TEST(LabelTemplate, HeaderBytesAndRoundTrip) {
  TLabelLayout l;
  l.units = TLabelUnits::Millimetres;
  l.paperName = "A4";
  l.portrait = false;
  l.columnPositions = {1.5, 99.25};
  l.numColumns = 2;
  l.font = {"DejaVu Serif", 11.5, true, true};
  l.pageLimit = 0;
  const std::string desc(90, 'd');  // cut to 80
  const std::string bytes = TemplateBytes(l, desc);
  ASSERT_GT(bytes.size(), kTemplateHeaderSize);
  EXPECT_EQ(bytes[0], 20);
  EXPECT_EQ(bytes.substr(1, 20), "TMKLabelTemplate0001");
  EXPECT_EQ(static_cast<unsigned char>(bytes[21]), 80);
  EXPECT_EQ(bytes.substr(22, 80), std::string(80, 'd'));
  EXPECT_EQ(bytes.substr(102, 200), std::string(200, '\0'));
  EXPECT_EQ(bytes[302], '{');
  std::string back;
  EXPECT_EQ(ParseTemplate(bytes, back), l);
  EXPECT_EQ(back, std::string(80, 'd'));

  TestDir dir;
  SaveTemplateFile(dir.file("t.cls"), l, "Mine");
  EXPECT_EQ(LoadTemplateFile(dir.file("t.cls"), back), l);
  EXPECT_EQ(back, "Mine");
}

TEST(LabelTemplate, RefusedFiles) {
  const std::string good = TemplateBytes(TLabelLayout{}, "x");
  auto message = [](const std::string& bytes) {
    std::string d;
    try {
      ParseTemplate(bytes, d);
    } catch (const ELabelTemplateError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  std::string wrongSig = good;
  wrongSig[5] = 'x';
  std::string shortLen = good;
  shortLen[0] = 19;
  for (const std::string& bad : {std::string(), good.substr(0, 301), wrongSig, shortLen,
                                 std::string(400, '\0'), std::string("{\"format\":1}")})
    EXPECT_EQ(message(bad), kNotValidTemplate);
  const std::string header = good.substr(0, kTemplateHeaderSize);
  for (const char* body :
       {"", "{", "[1,2]", "{\"paper\":{\"width\":\"wide\"}}", "{\"label\":{\"height\":1e300}}",
        "{\"font\":{\"size\":0}}", "{\"pageLimit\":2.5}", "{\"columns\":{\"count\":3.5}}"})
    EXPECT_EQ(message(header + body).rfind("The label template data is damaged: ", 0), 0u)
        << body << ": " << message(header + body);
  // Missing values keep their design values; the column count is bounded.
  std::string d;
  for (const char* count : {"100000", "1e20"}) {
    const TLabelLayout l = ParseTemplate(header + "{\"columns\":{\"count\":" + count + "}}", d);
    EXPECT_EQ(l.numColumns, 100) << count;
    EXPECT_EQ(l.paperName, "Letter");
  }
}

TEST(LabelTemplate, EveryEditionHasTheEightTemplates) {
  TestDir dir;
  WriteLabelTemplates(dir.path());
  ASSERT_EQ(PredefinedTemplateNames().size(), 8u);
  for (const auto& n : PredefinedTemplateNames()) {
    std::string desc;
    const TLabelLayout l = LoadTemplateFile(dir.file(std::string("labels/") + n.file), desc);
    EXPECT_EQ(desc.rfind(std::string(n.entry).substr(0, 8), 0), 0u) << n.file << ": " << desc;
    EXPECT_EQ(LayoutProblem(l), "") << n.file;
  }
}

// ---- Fitting a label's lines into the printable area (a measure of 0.2 mm a character a point).

TLabelTextMeasure FakeMeasure() {
  return {[](const std::string& l, double pt) { return static_cast<double>(l.size()) * pt * 0.2; },
          [](double pt) { return pt * 0.4; }, [](double pt) { return pt * 0.35; }};
}

struct TFitCase {
  const char* name;
  std::vector<std::string> lines;
  double width, height;
  std::vector<std::string> fitted;
  double pointSize;
  bool fits;
};

class FitLabel : public testing::TestWithParam<TFitCase> {};

TEST_P(FitLabel, LinesSetWholeOrReported) {
  const TFitCase& c = GetParam();
  const TLabelFit f = FitLabelLines(c.lines, c.width, c.height, 10, FakeMeasure());
  EXPECT_EQ(f.lines, c.fitted);
  EXPECT_DOUBLE_EQ(f.pointSize, c.pointSize);
  EXPECT_EQ(f.fits, c.fits);
  // Whatever happens, no word is lost or cut.
  auto words = [](const std::vector<std::string>& ls) {
    std::vector<std::string> w;
    for (const auto& l : ls) {
      std::string cur;
      for (const char ch : l + " ")
        if (ch == ' ' || ch == ',') {
          if (!cur.empty()) w.push_back(cur);
          cur.clear();
        } else {
          cur += ch;
        }
    }
    return w;
  };
  EXPECT_EQ(words(f.lines), words(c.lines));
  if (f.fits) {
    for (const auto& l : f.lines) EXPECT_LE(FakeMeasure().width(l, f.pointSize), c.width) << l;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitLabel,
    testing::Values(
        TFitCase{"AsTheyAre",
                 {"JOHN DOE, W1AW", "MAIN ST"},
                 44,
                 22,
                 {"JOHN DOE, W1AW", "MAIN ST"},
                 10,
                 true},
        // 46 mm at 10 pt: the call goes whole onto its own line, the size stays.
        TFitCase{"CallOntoItsOwnLine",
                 {"APRIL D GARDNER, AA1XYZ", "12 ELM ST", "BOSTON, MA 02101"},
                 44,
                 22,
                 {"APRIL D GARDNER", "AA1XYZ", "12 ELM ST", "BOSTON, MA 02101"},
                 10,
                 true},
        // Wrapped at ", " first: the state and ZIP stay together.
        TFitCase{"StateAndZipTogether",
                 {"SPRINGFIELD, IL 62701"},
                 30,
                 22,
                 {"SPRINGFIELD", "IL 62701"},
                 10,
                 true},
        // Words when a piece between commas is still too wide.
        TFitCase{"Words", {"ONE TWO THREE FOUR"}, 20, 22, {"ONE TWO", "THREE FOUR"}, 10, true},
        // Too many lines for the height: a smaller size (5 lines need 2.35 mm a point).
        TFitCase{"SmallerForHeight",
                 {"A", "B", "C", "D", "E", "F"},
                 44,
                 15,
                 {"A", "B", "C", "D", "E", "F"},
                 6,
                 true},
        // One long word: a smaller size.
        TFitCase{"SmallerForWidth",
                 {"ABCDEFGHIJKLMNOPQRSTUV"},
                 40,
                 3.5,
                 {"ABCDEFGHIJKLMNOPQRSTUV"},
                 9,
                 true},
        // One word wider than the area even at 6 pt: reported, not cut.
        TFitCase{"WordTooWide", {std::string(30, 'W')}, 20, 22, {std::string(30, 'W')}, 6, false},
        TFitCase{"TooHighAtSix", std::vector<std::string>(20, "L"), 44, 10,
                 std::vector<std::string>(20, "L"), 6, false},
        TFitCase{"Empty", {}, 44, 22, {}, 10, true}),
    [](const testing::TestParamInfo<TFitCase>& i) { return std::string(i.param.name); });

TEST(FitLabel, WarningNamesTheLabels) {
  const std::vector<std::vector<std::string>> labels = {
      {"A, K1A"}, {"B, K1B"}, {"C, K1C"}, {"D, K1D"}, {"E, K1E"}};
  EXPECT_EQ(LabelsNotFittingText(labels, {1}),
            "1 label does not fit the printable area even at 6 pt; their lines would be cut:\n"
            "2: B, K1B");
  EXPECT_EQ(LabelsNotFittingText(labels, {0, 2, 3, 4}),
            "4 labels do not fit the printable area even at 6 pt; their lines would be cut:\n"
            "1: A, K1A\n3: C, K1C\n4: D, K1D\nand 1 more");
}

// The report file line by line: a line read stays current until it is done (a paused job
// goes on with it), long lines give their first 15 characters, CR LF and LF both end lines.
TEST(ReportLabelJob, LineReaderKeepsTheLineNotDone) {
  TestDir dir;
  {
    std::ofstream f(dir.file("report.txt"), std::ios::binary);
    f << "W1AW\r\nDL1ABC\n123456789012345\r\nK1ABC          and more\r\n\r\nG3XYZ";
  }
  TReportLineReader r;
  std::string call;
  EXPECT_FALSE(r.Current(call));  // not open
  EXPECT_FALSE(r.Open(dir.file("missing.txt")));
  EXPECT_NE(LastErrorCode(), 0);
  ASSERT_TRUE(r.Open(dir.file("report.txt")));
  const std::vector<std::string> expected = {"W1AW", "DL1ABC", "123456789012345", "K1ABC          ",
                                             "",     "G3XYZ"};
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(r.Current(call)) << i;
    EXPECT_EQ(call, expected[i]);
    EXPECT_EQ(r.LinesRead(), static_cast<int64_t>(i + 1));
    // Not done (a pause): the same line again, not counted twice.
    ASSERT_TRUE(r.Current(call));
    EXPECT_EQ(call, expected[i]);
    EXPECT_EQ(r.LinesRead(), static_cast<int64_t>(i + 1));
    r.Done();
  }
  EXPECT_FALSE(r.Current(call));
  EXPECT_EQ(r.LinesRead(), 6);
}

TEST(ReportLabelJob, ProgressAndQuestions) {
  EXPECT_EQ(JobProgress(1, 3), 33);
  EXPECT_EQ(JobProgress(2, 3), 67);
  EXPECT_EQ(JobProgress(5, 0), 0);
  EXPECT_EQ(JobProgress(7, 5), 100);
  EXPECT_EQ(ReportLineCall("W1AW           extra"), "W1AW           ");
  EXPECT_EQ(ReportLineCall("W1AW\r"), "W1AW");
  EXPECT_EQ(ReportLineCall("123456789012345\r"), "123456789012345");
  EXPECT_EQ(CallNotFoundQuestion("XX9XX          ", 4),
            "Can't find call (XX9XX          ), line 4.\nIgnore this kind of error next times?");
  EXPECT_EQ(LabelTooLargeQuestion("DL9BIG", 2),
            "Data of entry (DL9BIG), line 2, exceeds selected label dimensions. \n"
            "Ignore this kind error next times?");
}

}  // namespace

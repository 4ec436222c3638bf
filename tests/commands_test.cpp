// Core rules of the commands: the program options validation with its messages and pages, the
// number and locator rules, and the clipboard text of an entry in both formats.
#include <gtest/gtest.h>

#include "dataset/UClipboardText.h"
#include "dataset/UEntry.h"
#include "settings/UProgramOptions.h"

namespace {

TProgramOptionsInput Good() {
  TProgramOptionsInput in;
  in.notesFile = "/home/op/my notes.ndf";
  in.reportFile = "/home/op/report.txt";
  in.outputFile = "prn";
  in.lines = "6";
  in.chars = "35";
  in.margin = "0";
  in.locator = "jo62qm";
  return in;
}

const char* const kCorrect = " Correct it or cancel your settings.";

struct TCase {
  const char* name;
  void (*change)(TProgramOptionsInput&);
  int page;  // -1 = accepted
  std::string message;
};

std::string Range(const char* what, const char* lo, const char* hi) {
  return std::string("\"") + what + "\" has an illegal value. Legal values are between " + lo +
         " and " + hi + ".  Correct it or cancel your settings.";
}
const std::string kLocatorMessage =
    "\"Locator\" has an illegal value. A correct value is between \"AA00AA\" and \"RR99XX\". "
    "Leave this field empty if you do not want to use it. Correct it or cancel your settings.";

class OptionsValidation : public testing::TestWithParam<TCase> {};

TEST_P(OptionsValidation, FirstFailingRuleGivesItsMessageAndPage) {
  TProgramOptionsInput in = Good();
  GetParam().change(in);
  const TOptionsCheck c = ValidateProgramOptions(in);
  EXPECT_EQ(c.ok, GetParam().page < 0);
  EXPECT_EQ(c.page, GetParam().page);
  EXPECT_EQ(c.message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, OptionsValidation,
    testing::Values(
        TCase{"AllGood", [](TProgramOptionsInput&) {}, -1, ""},
        TCase{"NotesCon", [](TProgramOptionsInput& i) { i.notesFile = "/tmp/CON.ndf"; }, 0,
              std::string("\"Notes data file\" has an illegal value.") + kCorrect},
        TCase{"NotesTxt", [](TProgramOptionsInput& i) { i.notesFile = "notes.txt"; }, 0,
              std::string("\"Notes data file\" must have the file extension \".ndf\".") + kCorrect},
        TCase{"NotesNoExtension", [](TProgramOptionsInput& i) { i.notesFile = "a.b/notes"; }, 0,
              std::string("\"Notes data file\" must have the file extension \".ndf\".") + kCorrect},
        TCase{"NotesCapitalExtension",
              [](TProgramOptionsInput& i) { i.notesFile = "/x/NOTES.NDF"; }, -1, ""},
        TCase{"NotesEmpty", [](TProgramOptionsInput& i) { i.notesFile = ""; }, -1, ""},
        TCase{"ReportEmpty", [](TProgramOptionsInput& i) { i.reportFile = ""; }, 1,
              std::string("\"Report file\" has an illegal value.") + kCorrect},
        TCase{"ReportAux", [](TProgramOptionsInput& i) { i.reportFile = "/tmp/a u x.log"; }, 1,
              std::string("\"Report file\" has an illegal value.") + kCorrect},
        TCase{"OutputCon", [](TProgramOptionsInput& i) { i.outputFile = "con"; }, 2,
              std::string("\"Output to\" for label printing has an illegal value.") + kCorrect},
        TCase{"LinesElevenWithBlank", [](TProgramOptionsInput& i) { i.lines = "1 1"; }, -1, ""},
        TCase{"Lines12", [](TProgramOptionsInput& i) { i.lines = "12"; }, 2,
              Range("Lines on label", "1", "11")},
        TCase{"LinesLetters", [](TProgramOptionsInput& i) { i.lines = "six"; }, 2,
              Range("Lines on label", "1", "11")},
        TCase{"Chars9", [](TProgramOptionsInput& i) { i.chars = "9"; }, 2,
              Range("Char per line", "10", "65")},
        TCase{"Chars66", [](TProgramOptionsInput& i) { i.chars = "66"; }, 2,
              Range("Char per line", "10", "65")},
        TCase{"MarginNegative", [](TProgramOptionsInput& i) { i.margin = "-1"; }, 2,
              Range("Left margin", "0", "120")},
        TCase{"Margin121", [](TProgramOptionsInput& i) { i.margin = "121"; }, 2,
              Range("Left margin", "0", "120")},
        TCase{"LocatorS", [](TProgramOptionsInput& i) { i.locator = "SO62QM"; }, 0,
              kLocatorMessage},
        TCase{"LocatorShort", [](TProgramOptionsInput& i) { i.locator = "JO6"; }, 0,
              kLocatorMessage},
        TCase{"LocatorSubsquareY", [](TProgramOptionsInput& i) { i.locator = "JO62QY"; }, 0,
              kLocatorMessage},
        TCase{"LocatorEmpty", [](TProgramOptionsInput& i) { i.locator = ""; }, -1, ""},
        TCase{"LocatorCutToSix", [](TProgramOptionsInput& i) { i.locator = "jo62qmxx"; }, -1, ""},
        // Order: the notes file is checked before the labels, the locator last.
        TCase{"OrderNotesBeforeLines",
              [](TProgramOptionsInput& i) {
                i.lines = "0";
                i.notesFile = "x.txt";
                i.locator = "zz";
              },
              0,
              std::string("\"Notes data file\" must have the file extension \".ndf\".") + kCorrect},
        TCase{"OrderLinesBeforeLocator",
              [](TProgramOptionsInput& i) {
                i.lines = "0";
                i.locator = "zz";
              },
              2, Range("Lines on label", "1", "11")}),
    [](const testing::TestParamInfo<TCase>& info) { return std::string(info.param.name); });

TEST(OptionsRules, NumbersLocatorAndHandedBackValues) {
  EXPECT_EQ(ReadOptionNumber(" 1 2 "), 12);
  EXPECT_EQ(ReadOptionNumber("+7"), 7);
  EXPECT_EQ(ReadOptionNumber("-3"), -3);
  EXPECT_EQ(ReadOptionNumber("0x10"), 0);
  EXPECT_EQ(ReadOptionNumber("99999999999"), 0);
  EXPECT_EQ(ReadOptionNumber(""), 0);
  EXPECT_EQ(LocatorFromEdit("jo62qmab"), "JO62QM");
  EXPECT_TRUE(IsLegalLocator("RR99XX"));
  EXPECT_FALSE(IsLegalLocator("RS99XX"));
  EXPECT_EQ(ReportModeOfButtons(true, false), rmAlways);
  EXPECT_EQ(ReportModeOfButtons(false, true), rmOnRequest);
  EXPECT_EQ(ReportModeOfButtons(false, false), rmNever);
  EXPECT_EQ(AddCountryOfButtons(false, true), 2);
  EXPECT_EQ(AddCountryOfButtons(false, false), 0);
  TProgramOptionsInput in = Good();
  in.lines = " 1 0";
  in.outputFile = "/tmp/labels.csv";
  TPrintOptions o = PrintOptionsOfInput(in, true, "");
  EXPECT_EQ(o.numLines, 10);
  EXPECT_EQ(o.numChar, 35);
  EXPECT_EQ(o.outfileName, "/tmp/labels.csv");
  EXPECT_TRUE(o.useItForCSV);
  EXPECT_EQ(o.separatorChar, ';');
  EXPECT_EQ(PrintOptionsOfInput(in, false, ",x").separatorChar, ',');
  // "Clear export file now" leaves printers and devices alone.
  for (const char* name : {"prn", " PRN ", "lpt2", "con", "/dev/usb/lp0", ""})
    EXPECT_TRUE(IsPrinterOrDeviceName(name)) << name;
  EXPECT_FALSE(IsPrinterOrDeviceName("/tmp/prn.csv"));
}

TEntryRecord Record(TDatabase db, std::vector<std::pair<int, std::string>> fields) {
  TEntryRecord r;
  r.db = db;
  r.payloadLen = 0;
  for (const auto& [tag, text] : fields) EXPECT_TRUE(AppendField(r, tag, text));
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<cut>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TEST(ClipboardText, InternationalEntryGivesEightFieldsAndTheNotice) {
  const TEntryRecord r = Record(TDatabase::Intl, {{1, "DL1ABC"},
                                                  {2, "A"},
                                                  {3, "Hans Mueller, Hauptstrasse 5, Berlin"},
                                                  {4, "Germany"},
                                                  {5, "Fed. Rep. of Germany"},
                                                  {7, "QRV daily"},
                                                  {9, "dl1abc@example.org"},
                                                  {10, "JO62QM"}});
  const auto lines = Lines(ClipboardText(r, cfAllInformation, nullptr));
  const std::vector<std::string> expected = {"DL1ABC",
                                             "A",
                                             "Hans Mueller, Hauptstrasse 5, Berlin",
                                             "Fed. Rep. of Germany",
                                             "Germany",
                                             "dl1abc@example.org",
                                             "",
                                             "QRV daily",
                                             kClipboardNotice[0],
                                             kClipboardNotice[1]};
  EXPECT_EQ(lines, expected);
  // Any format other than 0 is the full text.
  EXPECT_EQ(ClipboardText(r, 7, nullptr), ClipboardText(r, cfAllInformation, nullptr));
}

TEST(ClipboardText, AddressOnlyUsesTheAddressBlockOrNothing) {
  const TEntryRecord r = Record(TDatabase::Intl, {{1, "G3XYZ"}, {3, "John Smith, Leeds"}});
  int calls = 0;
  const TAddressBlockFn block = [&calls](const TEntryRecord& rec, std::vector<std::string>& l) {
    ++calls;
    l = {rec.Field(1) + " line", "second"};
    return true;
  };
  EXPECT_EQ(ClipboardText(r, cfAddressOnly, block), "G3XYZ line\r\nsecond\r\n");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ClipboardText(r, cfAddressOnly, nullptr), "");
  EXPECT_EQ(ClipboardText(r, cfAddressOnly,
                          [](const TEntryRecord&, std::vector<std::string>&) { return false; }),
            "");
}

TEST(ClipboardText, FullUSEntryIsCutAt449Characters) {
  std::vector<std::pair<int, std::string>> fields = {
      {1, "KB1ZZZ"},         {2, "MA"},       {3, "02108"},   {4, "e"},
      {5, "07041999"},       {6, "07042009"}, {8, "71.0636"}, {9, "42.3581"},
      {10, "617"},           {11, "SUFFOLK"}, {12, "EST"},    {16, "United States"},
      {17, "United States"}, {19, "N1XYZ"},   {20, "g"},      {21, "T"}};
  fields.push_back({13, "JOHN Q SMITH, " + std::string(40, 'A') + ", BOSTON"});
  fields.push_back({24, std::string(60, 'e')});
  fields.push_back({23, std::string(60, 'f')});
  fields.push_back({22, std::string(60, 'c')});
  const TEntryRecord r = Record(TDatabase::US, fields);
  const std::string text = ClipboardText(r, cfAllInformation, nullptr);
  ASSERT_EQ(text.size(), kClipboardTextLimit);
  EXPECT_EQ(kClipboardTextLimit, 449u);
  const auto lines = Lines(text);
  EXPECT_EQ(lines[0], "KB1ZZZ");
  EXPECT_EQ(lines[4], "07/04/1999");  // dates shown as dates
  EXPECT_EQ(lines[11], "JOHN Q SMITH, " + std::string(40, 'A') + ", BOSTON");
  EXPECT_EQ(lines[12], "United States");  // DXCC before country
  EXPECT_EQ(lines[14], "");               // additional text
  EXPECT_EQ(lines[15], "T");              // vanity mark as stored
  EXPECT_EQ(lines[16], "N1XYZ");
  EXPECT_EQ(lines[17], "g");  // previous class as stored
  EXPECT_EQ(lines[18], std::string(60, 'e'));
  EXPECT_EQ(lines[20], std::string(60, 'c'));
  EXPECT_EQ(lines.back().substr(lines.back().size() - 5), "<cut>");  // the notice did not fit
}

TEST(ClipboardText, NoticeOnlyAfterMoreThanThreeCharacters) {
  // An empty record collects 8 line ends (16 characters): the notice follows.
  EXPECT_NE(ClipboardText(Record(TDatabase::Intl, {}), 1, nullptr).find(kClipboardNotice[0]),
            std::string::npos);
}

TEST(ClipboardText, PlainAddressBlockFollowsTheAddressStyle) {
  const TEntryRecord us = Record(TDatabase::US, {{1, "K1ABC"},
                                                 {2, "MA"},
                                                 {3, "02108"},
                                                 {13, "JOHN Q SMITH, 1 BEACON ST, BOSTON"},
                                                 {16, "United States"},
                                                 {17, "United States"}});
  std::vector<std::string> l;
  ASSERT_TRUE(PlainAddressBlock(us, true, 1, l));
  EXPECT_EQ(l, (std::vector<std::string>{"K1ABC JOHN Q SMITH", "1 BEACON ST", "BOSTON, MA 02108"}));
  const TEntryRecord intl = Record(
      TDatabase::Intl, {{1, "DL1ABC"}, {3, "Hans Mueller, Berlin"}, {4, "Germany"}, {5, "DL"}});
  ASSERT_TRUE(PlainAddressBlock(intl, false, 2, l));
  EXPECT_EQ(l, (std::vector<std::string>{"Hans Mueller", "Berlin", "DL"}));
  ASSERT_TRUE(PlainAddressBlock(intl, true, 0, l));
  EXPECT_EQ(l, (std::vector<std::string>{"DL1ABC Hans Mueller", "Berlin"}));
  EXPECT_FALSE(PlainAddressBlock(Record(TDatabase::Intl, {{1, "X1X"}}), true, 1, l));
}

}  // namespace

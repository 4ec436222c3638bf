#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestDir.h"
#include "common/IOUtil.h"
#include "dataset/UDataSet.h"
#include "dataset/UQslManagers.h"
#include "report/UListView.h"
#include "report/UReport.h"
#include "settings/USettings.h"
#include "storage/UIndexEngine.h"
#include "storage/UIndexWriter.h"
#include "textsearch/Dbwort.h"
#include "textsearch/UTextSearch.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ReportFileTest : public ::testing::Test {
 protected:
  void SetUp() override { SetReportFileName(dir.file("report.txt")); }
  void TearDown() override {
    CloseReportFile();
    SetReportFileName(DefaultReportFileName());
  }
  std::string Report() const { return Slurp(dir.file("report.txt")); }
  TestDir dir;
};

// A progress window that records the gauge and aborts on request.
class TFakeProgress : public TSearchProgress {
 public:
  bool Show() override { return true; }
  bool Update(int percent) override {
    values.push_back(percent);
    return abortAt > 0 && static_cast<int>(values.size()) >= abortAt;
  }
  void Close() override { ++closes; }
  int abortAt = 0;
  int closes = 0;
  std::vector<int> values;
};

// A data set with three International entries and one U.S. entry; every index holds its calls.
struct TDataSetFixture {
  TestDir dir;
  std::vector<int32_t> intlRefs;
  int32_t usRef = 0;

  TDataSetFixture() {
    fs::create_directories(dir.file("data"));
    std::string file(kDataFileMagic, sizeof kDataFileMagic);
    const char* intl[] = {"DL1ABC", "G3XYZ", "VERYLONGCALLSIGN17"};
    std::vector<TIndexItem> intlItems;
    for (int i = 0; i < 3; ++i) {
      TEntryRecord r;
      r.db = TDatabase::Intl;
      r.ref = static_cast<int32_t>(file.size());
      r.pos[0] = i;
      AppendField(r, itCall, intl[i]);
      intlRefs.push_back(r.ref);
      intlItems.push_back({MakeSearchKey(0, intl[i]), r.ref});
      file += EncodeRecord(r);
    }
    TEntryRecord u;
    u.db = TDatabase::US;
    u.ref = static_cast<int32_t>(file.size());
    AppendField(u, utCall, "W<XYZ");
    usRef = u.ref;
    file += EncodeRecord(u);
    std::ofstream(dir.file("data/thedata.dat"), std::ios::binary) << file;

    SortIndexItems(intlItems);
    TEdition ed;
    ed.title = "Fixture";
    ed.intlCount = 3;
    ed.usCount = 1;
    std::string seq;
    int32_t at = 0;
    for (int i = 0; i < kOrderCount; ++i) {
      std::vector<TIndexItem> items =
          i == 0 ? intlItems : std::vector<TIndexItem>{{MakeSearchKey(i, "w0xyz"), usRef}};
      ed.stretches[static_cast<size_t>(i)] = {at, at + static_cast<int32_t>(items.size()) - 1};
      at += static_cast<int32_t>(items.size());
      for (const auto& it : items) seq.append(reinterpret_cast<const char*>(&it.ref), 4);
      EXPECT_TRUE(WriteIndexFile(dir.file(std::string("data/") + (kIndexFileNames[i] + 5)), items,
                                 kIndexKeyLengths[i], kIndexDuplicates[i]));
    }
    std::ofstream(dir.file("data/spur.trc"), std::ios::binary) << seq;
    std::ofstream(dir.file("data/edition.ini"), std::ios::binary) << FormatEdition(ed);
  }
};

class DataSetReportTest : public ReportFileTest {
 protected:
  void SetUp() override {
    ReportFileTest::SetUp();
    ASSERT_TRUE(AllocIndexCaches());
    SetHomeDir(ds.dir.path());
    OpenDataSet();
  }
  void TearDown() override {
    CloseDataSet();
    FreeIndexCaches();
    ReportFileTest::TearDown();
  }
  TDataSetFixture ds;
};

std::string QslRecordBytes(const std::string& call, const std::string& mgr, const std::string& info,
                           const std::string& date) {
  std::string rec(kQslRecordSize, '\0');
  auto put = [&](size_t at, const std::string& s) {
    rec[at] = static_cast<char>(s.size());
    rec.replace(at + 1, s.size(), s);
  };
  put(0, call);
  put(14, mgr);
  put(28, info);
  put(44, date);
  return rec;
}

}  // namespace

// --- report file ---------------------------------------------------------------------------------

TEST_F(ReportFileTest, CreatedAndEveryLineOnDiskAtOnce) {
  ASSERT_FALSE(fs::exists(dir.file("report.txt")));
  ASSERT_TRUE(AddEntryToReport("DL1ABC"));
  EXPECT_TRUE(ReportFileIsOpen());
  EXPECT_EQ(Report(), "DL1ABC\r\n");  // on disk while the file is still open
  ASSERT_TRUE(AddEntryToReport("G3XYZ"));
  EXPECT_EQ(Report(), "DL1ABC\r\nG3XYZ\r\n");
  ASSERT_TRUE(AddEntryToReport("ABCDEFGHIJKLMNOPQRS"));  // cut to 15
  EXPECT_EQ(Report(), "DL1ABC\r\nG3XYZ\r\nABCDEFGHIJKLMNO\r\n");
  EXPECT_TRUE(ReportFileIsOpen());

  // The same name keeps the file open; another name closes it and later lines go there.
  SetReportFileName(dir.file("report.txt"));
  EXPECT_TRUE(ReportFileIsOpen());
  SetReportFileName(dir.file("other.txt"));
  EXPECT_FALSE(ReportFileIsOpen());
  ASSERT_TRUE(AddToReportFile("K1ABC"));
  SetReportFileName(dir.file("report.txt"));
  ASSERT_TRUE(AddToReportFile("N0XX"));
  EXPECT_EQ(Slurp(dir.file("other.txt")), "K1ABC\r\n");
  EXPECT_EQ(Report(), "DL1ABC\r\nG3XYZ\r\nABCDEFGHIJKLMNO\r\nN0XX\r\n");
  EXPECT_TRUE(CloseReportFile());
  EXPECT_FALSE(ReportFileIsOpen());
}

TEST_F(ReportFileTest, ClearTwiceAndOpenFailures) {
  ASSERT_TRUE(AddEntryToReport("DL1ABC"));
  TReportResult r = ClearReportFile();
  EXPECT_TRUE(r.ok) << r.message;
  EXPECT_FALSE(fs::exists(dir.file("report.txt")));
  EXPECT_FALSE(ReportFileIsOpen());
  r = ClearReportFile();
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Can't delete file: Error: 2");

  // A folder that does not exist: no file, "path not found" (3), and the next addition tries again.
  SetReportFileName(dir.file("sub/report.txt"));
  r = AddEntryToReport("DL1ABC");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Could not open report file: Error: 3");
  EXPECT_FALSE(ReportFileIsOpen());
  fs::create_directories(dir.file("sub"));
  EXPECT_TRUE(AddEntryToReport("DL1ABC"));
  EXPECT_EQ(Slurp(dir.file("sub/report.txt")), "DL1ABC\r\n");

  // A folder is no report file.
  SetReportFileName(dir.path());
  r = AddEntryToReport("DL1ABC");
  EXPECT_EQ(r.message, "Could not open report file: Error: 5");
}

TEST_F(ReportFileTest, CallsOfALogInOrderEachFailureShown) {
  std::vector<std::string> errors;
  const auto show = [&errors](const std::string& m) { errors.push_back(m); };
  TReportCopyResult r = AddCallsToReport({"K5DRC", "W1AW", "K5DRC", "ABCDEFGHIJKLMNOPQRS"}, show);
  EXPECT_EQ(r.written, 4);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(Report(), "K5DRC\r\nW1AW\r\nK5DRC\r\nABCDEFGHIJKLMNO\r\n");
  // Every failing call shows its message; the loop goes on.
  SetReportFileName(dir.file("sub/report.txt"));
  r = AddCallsToReport({"K5DRC", "W1AW"}, show);
  EXPECT_EQ(r.written, 0);
  EXPECT_EQ(errors, std::vector<std::string>(2, "Could not open report file: Error: 3"));
}

TEST_F(ReportFileTest, FailedWriteLeavesNoHalfLine) {
  ASSERT_TRUE(AddEntryToReport("DL1ABC"));  // 8 bytes
  // A file size limit lets the next line be written only in part.
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old), 0);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 12;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  TReportResult r = AddEntryToReport("G3XYZABCDEF");
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Error during write to report file: Error: 101");
  EXPECT_TRUE(ReportFileIsOpen());  // stays open
  EXPECT_EQ(Report(), "DL1ABC\r\n");
  EXPECT_TRUE(AddEntryToReport("G3XYZ"));
  EXPECT_EQ(Report(), "DL1ABC\r\nG3XYZ\r\n");
}

TEST_F(ReportFileTest, ModeAlwaysAndTheEditor) {
  const char* shown[] = {"DL1ABC", "G3XYZ", "JA1AA", "K1ABC", "W1AW"};
  for (const char* call : shown) EXPECT_TRUE(ReportShownEntry(rmOnRequest, call));
  for (const char* call : shown) EXPECT_TRUE(ReportShownEntry(rmNever, call));
  EXPECT_FALSE(fs::exists(dir.file("report.txt")));
  for (const char* call : shown) EXPECT_TRUE(ReportShownEntry(rmAlways, call));
  EXPECT_EQ(Report(), "DL1ABC\r\nG3XYZ\r\nJA1AA\r\nK1ABC\r\nW1AW\r\n");
  EXPECT_TRUE(ReportAddCommandsEnabled(rmOnRequest));
  EXPECT_TRUE(ReportAddCommandsEnabled(rmAlways));
  EXPECT_FALSE(ReportAddCommandsEnabled(rmNever));

  // The editor gets a closed, existing file.
  EXPECT_EQ(PrepareReportFileForEditor(), dir.file("report.txt"));
  EXPECT_FALSE(ReportFileIsOpen());
  SetReportFileName(dir.file("new.txt"));
  EXPECT_EQ(PrepareReportFileForEditor(), dir.file("new.txt"));
  EXPECT_TRUE(fs::exists(dir.file("new.txt")));
  EXPECT_EQ(Slurp(dir.file("new.txt")), "");
}

TEST_F(DataSetReportTest, SearchResultsToReportFile) {
  TFinalVerweisListe results;
  results.Add(ds.intlRefs[0]);
  results.Add(ds.intlRefs[2]);
  results.Add(1 << 30);  // no entry there
  results.Add(ds.intlRefs[1]);
  TFakeProgress progress;
  std::vector<std::string> errors;
  TReportCopyResult r = AddSearchResultsToReport(
      TDatabase::Intl, results, &progress, [&](const std::string& m) { errors.push_back(m); });
  EXPECT_EQ(r.written, 3);
  EXPECT_FALSE(r.aborted);
  EXPECT_EQ(Report(), "DL1ABC\r\nVERYLONGCALLSIG\r\nG3XYZ\r\n");
  EXPECT_EQ(errors, (std::vector<std::string>{"Error during handling: Error: 100"}));
  EXPECT_EQ(progress.values, (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(progress.closes, 1);
  EXPECT_TRUE(ReportFileIsOpen());

  // An abort keeps what was written.
  ASSERT_TRUE(ClearReportFile());
  TFakeProgress aborting;
  aborting.abortAt = 2;
  r = AddSearchResultsToReport(TDatabase::Intl, results, &aborting, nullptr);
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(r.written, 2);
  EXPECT_EQ(Report(), "DL1ABC\r\nVERYLONGCALLSIG\r\n");

  // A U.S. result gives the call as the entry shows it, and the entry's own call.
  ASSERT_TRUE(ClearReportFile());
  TFinalVerweisListe us;
  us.Add(ds.usRef);
  r = AddSearchResultsToReport(TDatabase::US, us, nullptr, nullptr);
  EXPECT_EQ(r.written, 1);
  EXPECT_EQ(Report(), "W0XYZ\r\n");
  TEntryRecord rec;
  ASSERT_TRUE(ReadIntlRecord(ds.intlRefs[2], rec));
  EXPECT_EQ(ReportCall(rec), "VERYLONGCALLSIG");

  TFinalVerweisListe none;
  r = AddSearchResultsToReport(TDatabase::Intl, none, &progress, nullptr);
  EXPECT_EQ(r.written, 0);
}

TEST_F(DataSetReportTest, ListViewRowsCaptionsAndPositions) {
  EXPECT_EQ(ListViewCaption(0), "Call and QTH sorted by Call");
  EXPECT_EQ(ListViewCaption(2), "Call and QTH sorted by Name");
  EXPECT_EQ(ListViewCaption(4), "Call and QTH sorted by ZIP");
  EXPECT_EQ(ListViewCaption(6), "Call and QTH sorted by Call (Search results)");
  EXPECT_EQ(ListViewCaption(7), "Call and QTH sorted by ");
  EXPECT_EQ(ListViewRowCount(0, 0), 4);
  EXPECT_EQ(ListViewRowCount(5, 0), 2);
  EXPECT_EQ(ListViewRowCount(6, 3), 4);
  EXPECT_EQ((std::vector<int>{ListOrderSortIndex(0), ListOrderSortIndex(1), ListOrderSortIndex(2),
                              ListOrderSortIndex(3), ListOrderSortIndex(4), ListOrderSortIndex(5),
                              ListOrderSortIndex(6)}),
            (std::vector<int>{0, 1, 3, 4, 2, 5, -1}));
  EXPECT_EQ(ListViewPositionOfRow(6, 2), 2);
  EXPECT_EQ(ListViewPositionOfRow(1, 2), 1);
  EXPECT_EQ(ListViewRowOfPosition(1, 1), 2);
  EXPECT_EQ(ListViewRowOfPosition(6, 2), 2);
  EXPECT_EQ(ListViewRowOfPosition(3, -4), 1);
  EXPECT_EQ(CentredTopRow(500, 10, 1000), 495);
  EXPECT_EQ(CentredTopRow(3, 10, 1000), 1);
  EXPECT_EQ(CentredTopRow(999, 10, 1000), 990);  // rows 990..999: the last row in view
  EXPECT_EQ(CentredTopRow(996, 10, 1000), 990);
  EXPECT_EQ(CentredTopRow(5, 10, 8), 1);  // shorter than the window
  EXPECT_EQ(ListViewQthColumnWidth(400, 392, 80, 1), 311);
  EXPECT_EQ(ListViewQthColumnWidth(400, 392, 120, 1), 271);  // call column widened by the user
  EXPECT_EQ(ListViewQthColumnWidth(50, 42, 80, 1), -1);
}

// --- QSL managers file
// ----------------------------------------------------------------------------

TEST(QslManagersTest, RecordsCellsCacheAndLookupCall) {
  TestDir dir;
  std::string file = QslRecordBytes("", "", "", "");
  for (int i = 1; i < 60; ++i)
    file += QslRecordBytes("CALL" + std::to_string(i), "MGR" + std::to_string(i), "info",
                           i % 2 ? "12311998" : "123198");
  file.replace(57 * kQslRecordSize, kQslRecordSize,
               QslRecordBytes("3D2ABC", "W0XYZ0ABCDEFG", "via bureau 1234", "12311998"));
  file += "partial";
  std::ofstream(dir.file("qslmgr.dat"), std::ios::binary) << file;

  TQslManagerFile q;
  q.Open(dir.file("qslmgr.dat"));
  EXPECT_EQ(q.RecordCount(), 60);
  EXPECT_EQ(q.RowCount(), 60);
  for (int c = 0; c < kQslColumns; ++c) EXPECT_EQ(q.CellText(c, 0), kQslHeadings[c]);
  EXPECT_EQ(q.CellText(1, 0), "Manager");
  EXPECT_EQ(q.CellText(3, 0), "Last edited");
  EXPECT_EQ(q.Reads(), 0u);

  EXPECT_EQ(q.CellText(0, 57), "3D2ABC");
  EXPECT_EQ(q.CellText(1, 57), "W0XYZ0ABCDEFG");
  EXPECT_EQ(q.CellText(2, 57), "via bureau 1234");
  EXPECT_EQ(q.CellText(3, 57), "12/31/1998");
  EXPECT_EQ(q.CellText(4, 57), "");
  EXPECT_EQ(q.Reads(), 1u);  // the row's cells read the record once
  EXPECT_EQ(q.LookupCallOfRow(57), "W<XYZ<ABCDEFG");
  EXPECT_EQ(q.Reads(), 1u);
  EXPECT_EQ(q.CellText(3, 2), "123198");  // 6 characters: unchanged
  EXPECT_EQ(q.CellText(3, 1), "12/31/1998");
  EXPECT_EQ(q.Reads(), 3u);
  EXPECT_EQ(q.CellText(0, 60), "");  // the partial record is no row
  EXPECT_EQ(q.CellText(0, -1), "");

  EXPECT_EQ(QslDateText("12311998"), "12/31/1998");
  EXPECT_EQ(QslDateText("1231199"), "1231199");
  EXPECT_EQ(QslDateText(""), "");
  EXPECT_EQ(QslLookupCall("W0XYZ"), "W<XYZ");
  EXPECT_EQ(QslLookupCall("VK0ABCDEFGHIJKL"), "VK<ABCDEFGHIJ");
  EXPECT_EQ(QslManagerRecordNumber(" 57 "), 57);
  EXPECT_EQ(QslManagerRecordNumber(""), 0);
  EXPECT_EQ(QslManagerRecordNumber("x"), 0);
}

TEST(QslManagersTest, HostileLengthBytesAndShortFiles) {
  TestDir dir;
  // Every length byte 255 and every character 'A'..: each field stops at its own size.
  std::string hostile(kQslRecordSize, '\xff');
  for (size_t i = 0; i < hostile.size(); ++i)
    if (i != 0 && i != 14 && i != 28 && i != 44) hostile[i] = static_cast<char>('a' + i % 26);
  const TQslRecord r = DecodeQslRecord(reinterpret_cast<const uint8_t*>(hostile.data()));
  EXPECT_EQ(r.call, hostile.substr(1, 13));
  EXPECT_EQ(r.manager, hostile.substr(15, 13));
  EXPECT_EQ(r.info, hostile.substr(29, 15));
  EXPECT_EQ(r.date, hostile.substr(45, 8));
  std::ofstream(dir.file("h.dat"), std::ios::binary) << hostile << hostile;
  TQslManagerFile q;
  q.Open(dir.file("h.dat"));
  EXPECT_EQ(q.CellText(3, 1), QslDateText(hostile.substr(45, 8)));

  // Shorter than one record: no rows but the heading.
  std::ofstream(dir.file("short.dat"), std::ios::binary) << std::string(52, '\x05');
  q.Open(dir.file("short.dat"));
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_EQ(q.RowCount(), 1);
  EXPECT_EQ(q.CellText(0, 0), "Call");
  EXPECT_EQ(q.CellText(0, 1), "");
  EXPECT_EQ(q.LookupCallOfRow(1), "");
  EXPECT_THROW(q.Record(1), EQslFileError);

  try {
    q.Open(dir.file("none.dat"));
    FAIL() << "opened a missing file";
  } catch (const EQslFileError& e) {
    EXPECT_STREQ(e.what(), "Error: 2 (File not found)");
  }
  EXPECT_FALSE(q.IsOpen());
}

TEST(ReportFile, ACallNeverJoinsAnUnfinishedLastLine) {
  // A file that ends inside a line (a writer killed mid-line, an edit without a last line break)
  // gets a line break before the next call, so the call stands on a line of its own.
  TestDir dir;
  struct TCase {
    std::string before, after;
  };
  // Only the first call of the session needs it: the later ones follow a line end.
  for (const TCase& c :
       {TCase{"W1AW", "W1AW\r\nDL1ABC\r\nG3XYZ\r\n"},
        TCase{"W1AW\r", "W1AW\r\r\nDL1ABC\r\nG3XYZ\r\n"},
        TCase{"W1AW\r\n", "W1AW\r\nDL1ABC\r\nG3XYZ\r\n"}, TCase{"", "DL1ABC\r\nG3XYZ\r\n"}}) {
    const std::string path = dir.file("report.txt");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.before;
    SetReportFileName(dir.file("other.txt"));  // closes the report file if open
    SetReportFileName(path);
    ASSERT_TRUE(AddEntryToReport("DL1ABC"));
    ASSERT_TRUE(AddEntryToReport("G3XYZ"));
    CloseReportFile();
    EXPECT_EQ(Slurp(path), c.after) << c.before;
  }
}

// A report file deleted or replaced while the program keeps it open: the next call goes to the
// file of that name, not into the one no name leads to any more.
TEST(ReportFile, DeletedOrReplacedWhileOpenIsOpenedAgain) {
  TestDir dir;
  const std::string path = dir.file("report.txt");
  SetReportFileName(path);
  ASSERT_TRUE(AddEntryToReport("W1AW"));
  ASSERT_TRUE(ReportFileIsOpen());
  fs::remove(path);
  ASSERT_TRUE(AddEntryToReport("DL1ABC"));
  EXPECT_EQ(Slurp(path), "DL1ABC\r\n");
  std::ofstream(path + ".new", std::ios::binary) << "G3XYZ\r\n";
  fs::rename(path + ".new", path);  // as an editor saves
  ASSERT_TRUE(AddEntryToReport("K1ABC"));
  EXPECT_EQ(Slurp(path), "G3XYZ\r\nK1ABC\r\n");
  CloseReportFile();
}

// The count the status line gives after an addition: the lines that hold a call.
TEST(ReportFile, CallCountIsTheLinesHoldingACall) {
  TestDir dir;
  const std::string path = dir.file("report.txt");
  SetReportFileName(path);
  EXPECT_EQ(ReportCallCount(), 0);  // no file yet
  const std::pair<const char*, int32_t> cases[] = {
      {"", 0},
      {"W1AW\r\n", 1},
      {"W1AW\r\nDL1ABC\r\n", 2},
      {"W1AW\r\n\r\n  \r\nDL1ABC", 2},  // blank lines, an unfinished last line
      {"W1AW\nG3XYZ\n", 2},
  };
  for (const auto& [text, count] : cases) {
    CloseReportFile();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    EXPECT_EQ(ReportCallCount(), count) << text;
  }
  ASSERT_TRUE(AddEntryToReport("K1ABC"));  // counted while the file is open
  EXPECT_EQ(ReportCallCount(), 3);
  CloseReportFile();
  SetReportFileName(dir.file("missing/report.txt"));
  EXPECT_EQ(ReportCallCount(), 0);
  SetReportFileName(dir.path());  // a folder cannot be read as a report file
  EXPECT_EQ(ReportCallCount(), -1);

  EXPECT_EQ(ReportAddedText("K5DRC", 12), "K5DRC added to the report file (12 calls)");
  EXPECT_EQ(ReportAddedText(CallsText(1), 1), "1 call added to the report file (1 call)");
  EXPECT_EQ(ReportAddedText(CallsText(0), -1), "0 calls added to the report file");
}

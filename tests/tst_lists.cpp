// The QSL manager list, the list view and the report commands of the main window on the fixture
// edition with 100 QSL manager records: the QSL list opened on a record, its cells, its double
// click and a file that is missing or breaks while painting; the list view's modes, rows, live
// selection, centring and width; adding to, copying results to, editing and clearing the report
// file through the menu, and the report modes "always" and "never".
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "WindowTestEnv.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "report/FListView.h"
#include "report/FQSLManagerList.h"
#include "report/UListView.h"
#include "report/UReport.h"
#include "storage/UIndexEngine.h"
#include "textsearch/FProgressDlg.h"
#include "textsearch/FWordSearch.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "widgets/UDocuments.h"
#include "widgets/UDrawGrid.h"
#include "widgets/UMessages.h"

namespace {

// The fixture edition with QSL manager records 1..100; record 57 is the manager W0XYZ of the
// International entry 9A1A, and W0XYZ has its own U.S. entry.
TBuildInput ListsInput() {
  TBuildInput in = fixture::Input();
  while (in.qslManagers.size() < 100) {
    const size_t nr = in.qslManagers.size() + 1;
    TQslManager m{"CALL" + std::to_string(nr), "MGR" + std::to_string(nr), "info", "01011999"};
    if (nr == 57) m = {"9A1A", "W0XYZ", "direct only", "12311998"};
    if (nr == 58) m.date = "123198";
    in.qslManagers.push_back(m);
  }
  in.intl.push_back(fixture::Intl({{1, "9A1A"},
                                   {3, "Ivo Horvat, Ilica 1, Zagreb"},
                                   {4, "Croatia"},
                                   {5, "Croatia"},
                                   {6, "57"}}));
  in.us.push_back(fixture::US({{1, "W<XYZ"},
                               {2, "KS"},
                               {3, "66044"},
                               {11, "DOUGLAS"},
                               {13, "QSL MANAGER, 1 MAIN ST, LAWRENCE"},
                               {16, "United States"},
                               {17, "United States"}},
                              "MANAGER"));
  return in;
}

QString Cell(const QAbstractItemModel* m, int row, int col) {
  return m->data(m->index(row, col)).toString();
}

QByteArray FileBytes(const QString& name) {
  QFile f(name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Receives the documents the program asks the desktop to open.
class TUrlCatcher : public TDocumentLauncher {
 public:
  bool Open(const QString& path) override {
    urls << QUrl::fromLocalFile(path);
    return true;
  }
  QList<QUrl> urls;
};

}  // namespace

class TstLists : public QObject {
  Q_OBJECT

 private:
  TestDir editionDir_;
  std::unique_ptr<TestDir> iniDir_;
  TestDir work_;
  QString ini_;
  QList<TMessageRequest> boxes_;
  std::unique_ptr<TCallViewForm> form_;

  QStringList Texts() const {
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
  }
  QString Report() const { return QString::fromStdString(work_.file("report.txt")); }
  // A main window on the start call, with the report options given.
  TCallViewForm* Create(const char* startCall = "W1AW", int reportMode = 1,
                        const QString& reportFile = {}) {
    QFile f(ini_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write the ini");
    f.write(QString("[StartUp]\nPrgVersion=S1998\nLastCall=%1\n[Report]\nReportOptions=%2\n"
                    "ReportFilename=%3\n")
                .arg(startCall)
                .arg(reportMode)
                .arg(reportFile.isEmpty() ? Report() : reportFile)
                .toLocal8Bit());
    f.close();
    form_ = std::make_unique<TCallViewForm>();
    return form_.get();
  }
  template <class T>
  static T* W(const QObject* parent, const char* name) {
    T* w = parent->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  QString Call() const { return W<QComboBox>(form_.get(), "CallEdit")->currentText(); }
  static int32_t RefAt(int index, int32_t pos) {
    int32_t ref = -1;
    ReadOrderEntry(index, pos, ref);
    return ref;
  }
  // The data set of another folder (a damaged copy), and back.
  static void Reopen(const std::string& dir) {
    CloseDataSet();
    SetHomeDir(dir);
    OpenDataSet();
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    WriteEdition(ListsInput(), editionDir_.path());
    OpenTestEdition(editionDir_.path());
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idOK);
    });
  }
  void cleanupTestCase() {
    form_.reset();
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }
  void init() {
    boxes_.clear();
    QFile::remove(Report());
  }
  void cleanup() { form_.reset(); }

  void qslManagerList() {
    TCallViewForm* f = Create("9A1A");
    QPushButton* button = W<QPushButton>(f, "QSLMgrBtn");
    QVERIFY(button->isEnabled());
    button->click();
    TQslMgrForm* q = f->QslManagerForm();
    QVERIFY(q && q->isVisible());
    QCOMPARE(q->windowTitle(), QString("QSL Managers"));
    QCOMPARE(q->size(), QSize(402, 296));
    auto* grid = W<TDrawGrid>(q, "QslGrid");
    // Record 57 at the top of the table, selected.
    QCOMPARE(grid->TopRow(), 57);
    QCOMPARE(grid->Row(), 57);
    QCOMPARE(grid->RowCount(), 101);
    const QAbstractItemModel* m = grid->model();
    QCOMPARE(Cell(m, 56, 0), QString("9A1A"));
    QCOMPARE(Cell(m, 56, 1), QString("W0XYZ"));
    QCOMPARE(Cell(m, 56, 2), QString("direct only"));
    QCOMPARE(Cell(m, 56, 3), QString("12/31/1998"));
    QCOMPARE(Cell(m, 57, 3), QString("123198"));  // 6 characters: unchanged
    QStringList headings;
    for (int c = 0; c < 4; ++c) headings << m->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headings, QStringList({"Call", "Manager", "Info", "Last edited"}));
    QVERIFY(m->data(m->index(0, 1), Qt::FontRole).value<QFont>().bold());
    QVERIFY(!m->data(m->index(0, 0), Qt::FontRole).isValid());
    QCOMPARE(grid->columnWidth(0), 112);
    QCOMPARE(grid->columnWidth(1), 86);
    QCOMPARE(grid->columnWidth(2), 96);
    QCOMPARE(grid->columnWidth(3), 85);
    // The four cells of a row are read with one record read.
    const uint64_t reads = q->File().Reads();
    for (int c = 0; c < 4; ++c) Cell(m, 79, c);
    QCOMPARE(q->File().Reads(), reads + 1);

    // A row selected outside the visible rows is centred.
    grid->SelectRow(90);
    QCOMPARE(grid->TopRow(), CentredTopRow(90, grid->VisibleRows(), 101));
    QVERIFY(grid->RowVisible(90));

    // Escape hides it; the next opening uses the same window.
    W<QAction>(q, "CloseItem")->trigger();
    QVERIFY(!q->isVisible());
    f->ShowQslManagers(3);
    QCOMPARE(f->QslManagerForm(), q);
    QCOMPARE(grid->TopRow(), 3);
    QCOMPARE(grid->Row(), 3);

    // An entry without manager disables the button; the menu item opens the list as it is.
    f->FindCall("G3XYZ");
    QVERIFY(!button->isEnabled());
    W<QAction>(f, "SearchQSLManagerItem")->trigger();
    QCOMPARE(grid->Row(), 3);

    // A double click on record 57 looks up W0XYZ (as W<XYZ) and closes the list.
    grid->SelectRow(57);
    emit grid->RowDoubleClicked(57);
    QVERIFY(!q->isVisible());
    QCOMPARE(Call(), QString("W0XYZ"));
    QVERIFY(!f->IsIntl());
    QVERIFY(boxes_.isEmpty());
  }

  void qslManagerFileFaults() {
    namespace fs = std::filesystem;
    TestDir copy;
    fs::copy(editionDir_.path(), copy.path(), fs::copy_options::recursive);
    const fs::path qsl = fs::path(copy.path()) / "data" / "qslmgr.dat";
    Reopen(copy.path());
    // Cut short while the window is open: the rows past the end stay empty and one error box
    // reports the read error.
    TCallViewForm* f = Create("9A1A");
    f->ShowQslManagers(57);
    TQslMgrForm* q = f->QslManagerForm();
    QVERIFY(q);
    fs::resize_file(qsl, 10 * kQslRecordSize);
    const QAbstractItemModel* m = W<TDrawGrid>(q, "QslGrid")->model();
    QCOMPARE(Cell(m, 80, 0), QString());
    QCOMPARE(Cell(m, 80, 1), QString());
    QTRY_COMPARE(boxes_.size(), 1);
    QVERIFY2(boxes_[0].text.startsWith("Error: 100"), qPrintable(boxes_[0].text));
    QCOMPARE(Cell(m, 2, 0), QString("CALL3"));
    // Missing: no window, the message.
    form_.reset();
    boxes_.clear();
    fs::remove(qsl);
    f = Create("9A1A");
    W<QPushButton>(f, "QSLMgrBtn")->click();
    QVERIFY(!f->QslManagerForm());
    QCOMPARE(Texts(),
             QStringList({"Could not open Qsl Manager window: Error: 2 (File not found)"}));
    form_.reset();
    Reopen(editionDir_.path());
  }

  void listView() {
    TCallViewForm* f = Create("W1AW");
    QVERIFY(!f->IsIntl());
    W<QAction>(f, "ViewListItem")->trigger();
    TListViewForm* v = f->ListViewForm();
    QVERIFY(v && v->isVisible());
    auto* grid = W<TDrawGrid>(v, "ListGrid");
    const QAbstractItemModel* m = grid->model();
    QCOMPARE(v->windowTitle(), QString("Call and QTH sorted by Call"));
    QCOMPARE(v->Mode(), 1);
    QCOMPARE(grid->RowCount(), OrderEntryCount(oiUSCall) + 1);
    QStringList headings;
    for (int c = 0; c < 2; ++c) headings << m->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headings, QStringList({"Call", "QTH"}));
    // The entry shown is the selected row, in view.
    QCOMPARE(grid->Row(), f->Lookup().Position() + 1);
    QVERIFY(grid->RowVisible(grid->Row()));
    QCOMPARE(Cell(m, grid->Row() - 1, 0), QString("W1AW"));
    QCOMPARE(Cell(m, grid->Row() - 1, 1),
             QString("ARRL HQ STATION, 225 MAIN ST, NEWINGTON, CT 06111"));
    QVERIFY(m->data(m->index(0, 0), Qt::FontRole).value<QFont>().bold());

    // Mode 1: row 2 is position 1.
    grid->SelectRow(2);
    QCOMPARE(f->Lookup().Position(), 1);
    QCOMPARE(f->Lookup().CurrentRef(), RefAt(oiUSCall, 1));
    QCOMPARE(Call(), Cell(m, 1, 0));
    // Positioned far down: the row is centred.
    v->SetLive(false);
    v->SetPosition(500);
    QCOMPARE(grid->Row(), 501);
    QCOMPARE(grid->TopRow(), CentredTopRow(501, grid->VisibleRows(), grid->RowCount()));
    QCOMPARE(f->Lookup().Position(), 1);  // not live: the main window stays
    v->SetLive(true);

    // An order change of the main window: the list follows without moving the entry.
    const QString shown = Call();
    W<QRadioButton>(f, "SortByNameRadBtn")->click();
    QCOMPARE(v->windowTitle(), QString("Call and QTH sorted by Name"));
    QCOMPARE(v->Mode(), 2);
    QCOMPARE(Call(), shown);
    QCOMPARE(grid->Row(), f->Lookup().Position() + 1);

    // Mode 6 with three results: four rows; row 2 is result 2.
    const std::vector<int32_t> refs = {RefAt(oiUSCall, 3), RefAt(oiUSCall, 7), RefAt(oiUSCall, 1)};
    f->SetSearchResults(std::make_shared<TResultVector>(refs));
    QCOMPARE(v->windowTitle(), QString("Call and QTH sorted by Call (Search results)"));
    QCOMPARE(v->Mode(), 6);
    QCOMPARE(grid->RowCount(), 4);
    QCOMPARE(grid->Row(), 1);
    TEntryRecord rec;
    QVERIFY(ReadUSRecord(refs[1], rec));
    QCOMPARE(Cell(m, 1, 0), QString::fromStdString(rec.Field(1)));
    grid->SelectRow(2);
    QCOMPARE(W<QLabel>(f, "RecNrText")->text(), QString("2 of 3"));
    QCOMPARE(f->Lookup().CurrentRef(), refs[1]);

    // 400 pixels wide: the QTH column takes the width right of the 80-pixel call column.
    v->resize(400, 316);
    QApplication::processEvents();
    QCOMPARE(grid->columnWidth(0), 80);
    QCOMPARE(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width());
    // A call column widened by the user: the QTH column takes what is right of it.
    grid->horizontalHeader()->resizeSection(0, 120);
    v->resize(450, 316);
    QApplication::processEvents();
    QCOMPARE(grid->columnWidth(0), 120);
    QCOMPARE(grid->columnWidth(1), grid->viewport()->width() - 120);

    // Escape closes and frees it; the menu makes a new one.
    W<QAction>(v, "CloseItem")->trigger();
    QTRY_VERIFY(!f->ListViewForm());
    f->SwitchToIntl();
    W<QAction>(f, "ViewListItem")->trigger();
    v = f->ListViewForm();
    QVERIFY(v);
    grid = W<TDrawGrid>(v, "ListGrid");
    QCOMPARE(v->Mode(), 0);
    QCOMPARE(grid->RowCount(), OrderEntryCount(oiIntlCall) + 1);
    QCOMPARE(grid->Row(), 1);
    QCOMPARE(Cell(grid->model(), 0, 0), QString("3D2AG"));
    QCOMPARE(Cell(grid->model(), 0, 1), QString("Antonio Ravai, Suva"));
    QVERIFY2(boxes_.isEmpty(), qPrintable(Texts().join("|")));
  }

  void reportCommands() {
    TCallViewForm* f = Create("W1AW");
    for (const char* name : {"AddEntryToReportMenuItem", "AddSearchResultsToReportMenuItem",
                             "ReportEditReportFileMenuItem", "ReportClearReportFileMenuItem"})
      QVERIFY2(W<QAction>(f, name)->isEnabled(), name);
    QCOMPARE(ReportFileName(), Report().toStdString());
    // No file yet: the first addition creates it.
    W<QAction>(f, "AddEntryToReportMenuItem")->trigger();
    W<QPushButton>(f, "VorBtn")->click();
    const QString second = Call();
    W<QAction>(f, "AddEntryToReportMenuItem")->trigger();
    QCOMPARE(FileBytes(Report()), "W1AW\r\n" + second.toLatin1() + "\r\n");

    // Search results: every call in result order, with the progress window "Copying calls...".
    W<QAction>(f, "AddSearchResultsToReportMenuItem")->trigger();  // none yet: nothing
    QCOMPARE(FileBytes(Report()).count('\n'), 2);
    const std::vector<int32_t> refs = {RefAt(oiUSCall, 3), RefAt(oiUSCall, 7), RefAt(oiUSCall, 1)};
    f->SetSearchResults(std::make_shared<TResultVector>(refs));
    QString caption;
    QTimer::singleShot(0, [f, &caption] {
      if (auto* wait = f->findChild<TWaitDlg*>()) caption = wait->windowTitle();
    });
    W<QAction>(f, "AddSearchResultsToReportMenuItem")->trigger();
    QCOMPARE(caption, QString("Copying calls..."));
    QVERIFY(!f->ModalRunning());
    QByteArray expected = "W1AW\r\n" + second.toLatin1() + "\r\n";
    for (int32_t ref : refs) {
      TEntryRecord rec;
      QVERIFY(ReadUSRecord(ref, rec));
      expected += QByteArray::fromStdString(rec.Field(1)) + "\r\n";
    }
    QCOMPARE(FileBytes(Report()), expected);

    // Editing closes the file and hands it to the desktop.
    auto catcher = std::make_shared<TUrlCatcher>();
    const auto desktop = SetDocumentLauncher(catcher);
    W<QAction>(f, "ReportEditReportFileMenuItem")->trigger();
    SetDocumentLauncher(desktop);
    QCOMPARE(catcher->urls, QList<QUrl>({QUrl::fromLocalFile(Report())}));
    QVERIFY(!ReportFileIsOpen());

    // Clearing deletes it; a second time there is nothing to delete.
    W<QAction>(f, "ReportClearReportFileMenuItem")->trigger();
    QVERIFY(!QFile::exists(Report()));
    QVERIFY(boxes_.isEmpty());
    W<QAction>(f, "ReportClearReportFileMenuItem")->trigger();
    QCOMPARE(Texts(), QStringList({"Can't delete file: Error: 2"}));

    // Guards: nothing while another command's box is open.
    boxes_.clear();
    f->SetModalRunning(true);
    W<QAction>(f, "AddEntryToReportMenuItem")->trigger();
    f->SetModalRunning(false);
    QVERIFY(!QFile::exists(Report()));

    // A report file that cannot be opened: the message, nothing written.
    form_.reset();
    f = Create("W1AW", 1, QString::fromStdString(work_.file("no-such-dir/report.txt")));
    W<QAction>(f, "AddEntryToReportMenuItem")->trigger();
    QCOMPARE(Texts(), QStringList({"Could not open report file: Error: 3"}));
  }

  void reportModes() {
    // "always": the start call when the window is made, then every entry shown.
    TCallViewForm* f = Create("W1AW", 2);
    QCOMPARE(FileBytes(Report()), QByteArray("W1AW\r\n"));
    QStringList calls = {"W1AW"};
    for (int i = 0; i < 5; ++i) {
      W<QPushButton>(f, "VorBtn")->click();
      calls << Call();
    }
    QCOMPARE(QString::fromLatin1(FileBytes(Report())).split("\r\n", Qt::SkipEmptyParts), calls);
    QVERIFY(boxes_.isEmpty());
    form_.reset();

    // "never": the add commands cannot be chosen; nothing is added.
    QFile::remove(Report());
    f = Create("W1AW", 3);
    QVERIFY(!W<QAction>(f, "AddEntryToReportMenuItem")->isEnabled());
    QVERIFY(!W<QAction>(f, "AddSearchResultsToReportMenuItem")->isEnabled());
    QVERIFY(W<QAction>(f, "ReportEditReportFileMenuItem")->isEnabled());
    QVERIFY(W<QAction>(f, "ReportClearReportFileMenuItem")->isEnabled());
    W<QPushButton>(f, "VorBtn")->click();
    QVERIFY(!QFile::exists(Report()));
    // A mode change (options dialog) updates the menu.
    f->Settings().reportOptions.mode = 1;
    f->UpdateReportMenu();
    QVERIFY(W<QAction>(f, "AddEntryToReportMenuItem")->isEnabled());
  }

  // The list view follows every entry the main window shows: steps, searches, its own rows.
  void listViewFollowsTheMainWindow() {
    TCallViewForm* f = Create("W1AW");
    W<QAction>(f, "ViewListItem")->trigger();
    TListViewForm* v = f->ListViewForm();
    QVERIFY(v);
    auto* grid = W<TDrawGrid>(v, "ListGrid");
    const auto inStep = [&] {
      QCOMPARE(v->Mode(), f->Lookup().ListOrder());
      QCOMPARE(v->Position(), f->Lookup().Position());
      QCOMPARE(grid->Row(), ListViewRowOfPosition(v->Mode(), f->Lookup().Position()));
      QCOMPARE(Cell(grid->model(), grid->Row() - 1, 0), Call());
      QVERIFY2(grid->RowVisible(grid->Row()), qPrintable(QString("row %1 top %2 visible %3")
                                                             .arg(grid->Row())
                                                             .arg(grid->TopRow())
                                                             .arg(grid->VisibleRows())));
    };
    const char* const steps[] = {"VorBtn", "Plus10Btn", "Plus100Btn", "ZurueckBtn", "Minus10Btn"};
    for (const char* step : steps) {
      W<QPushButton>(f, step)->click();
      inStep();
    }
    W<QRadioButton>(f, "SortByNameRadBtn")->click();
    W<QPushButton>(f, "Plus1000Btn")->click();
    inStep();
    f->FindCall("K1ABC");
    inStep();
    // In the search results too.
    f->SetSearchResults(std::make_shared<TResultVector>(
        std::vector<int32_t>{RefAt(oiUSCall, 3), RefAt(oiUSCall, 7), RefAt(oiUSCall, 1)}));
    W<QPushButton>(f, "VorBtn")->click();
    QCOMPARE(grid->Row(), 2);
    inStep();
    // A row chosen in the list moves the main window; the list stays where the user chose.
    grid->SelectRow(3);
    const int top = grid->TopRow();
    QCOMPARE(f->Lookup().Position(), 3);
    QCOMPARE(grid->TopRow(), top);
    inStep();
    QVERIFY2(boxes_.isEmpty(), qPrintable(Texts().join("|")));
  }

  // A list view that cannot be made (no data set open to read its rows from) is reported without
  // a leading blank and made again by the next command.
  void listViewThatCouldNotBeMadeIsTriedAgain() {
    TCallViewForm* f = Create("W1AW");
    CloseDataSet();
    W<QAction>(f, "ViewListItem")->trigger();
    QCOMPARE(Texts(), QStringList({"Could not open List view window."}));
    QTRY_VERIFY(!f->ListViewForm());
    Reopen(editionDir_.path());
    W<QAction>(f, "ViewListItem")->trigger();
    QCOMPARE(Texts().size(), 1);
    QVERIFY(f->ListViewForm() && f->ListViewForm()->isVisible());
    QCOMPARE(f->ListViewForm()->Position(), f->Lookup().Position());
  }

  // Every command that adds to the report file says so in the main window's status line, which
  // clears itself after a few seconds; no box to click away.
  void reportAdditionsInTheStatusLine() {
    {
      QFile f(Report());
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("DL1ABC\r\nG3XYZ\r\n");
    }
    TCallViewForm* f = Create("W1AW");
    auto* status = W<QStatusBar>(f, "StatusLine");
    QCOMPARE(status->currentMessage(), QString());
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    // Ctrl+A in the call box (a user selecting the call text) is the menu command.
    QLineEdit* call = W<QComboBox>(f, "CallEdit")->lineEdit();
    call->setFocus();
    QTest::keyClick(call, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(FileBytes(Report()), QByteArray("DL1ABC\r\nG3XYZ\r\nW1AW\r\n"));
    QCOMPARE(status->currentMessage(), QString("W1AW added to the report file (3 calls)"));
    // Fades: gone after the time.
    QTRY_COMPARE_WITH_TIMEOUT(status->currentMessage(), QString(),
                              TCallViewForm::kStatusMilliseconds + 2000);

    const std::vector<int32_t> refs = {RefAt(oiUSCall, 3), RefAt(oiUSCall, 7), RefAt(oiUSCall, 1)};
    f->SetSearchResults(std::make_shared<TResultVector>(refs));
    W<QAction>(f, "AddSearchResultsToReportMenuItem")->trigger();
    QCOMPARE(status->currentMessage(), QString("3 calls added to the report file (6 calls)"));
    W<QAction>(f, "ReportClearReportFileMenuItem")->trigger();
    QCOMPARE(status->currentMessage(), QString("The report file was cleared"));
    QVERIFY2(boxes_.isEmpty(), qPrintable(Texts().join("|")));
    form_.reset();

    // Mode "always": every entry shown, by the core's rule.
    f = Create("W1AW", 2);
    status = W<QStatusBar>(f, "StatusLine");
    W<QPushButton>(f, "VorBtn")->click();
    QCOMPARE(status->currentMessage(), Call() + " added to the report file (2 calls)");
    // A failure is a box, and nothing in the status line.
    form_.reset();
    f = Create("W1AW", 1, QString::fromStdString(work_.file("no-such-dir/report.txt")));
    W<QAction>(f, "AddEntryToReportMenuItem")->trigger();
    QCOMPARE(Texts(), QStringList({"Could not open report file: Error: 3"}));
    QCOMPARE(W<QStatusBar>(f, "StatusLine")->currentMessage(), QString());
  }

  // Not a test: with TELLMARK_SCREENSHOT_DIR set, the text search dialog, the QSL manager list
  // and the list view into textsearch.png, qslmanagers.png and listview.png.
  void screenshot() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    QDir().mkpath(dir);
    TCallViewForm* f = Create("W1AW");
    f->show();
    TSuchInfo& info = f->SearchInfo(TDatabase::US);
    for (const char* w : {"\x87tampa", "elm"}) {
      bool found = false;
      int32_t ref = 0;
      QVERIFY(f->WordList(TDatabase::US)->Find(w, found, ref) && found);
      info.Insert(0, std::make_unique<TSuchItem>(
                         std::make_unique<TWortVerweisListe>(*f->WordList(TDatabase::US), ref),
                         ToDisplayForm(w, skUS)));
    }
    {
      TTextSearchDlg d(f);
      d.SetWordList(f->WordList(TDatabase::US));
      d.SetSearchInfo(&info);
      d.SetKind(skUS);
      d.show();
      W<TWordSpinEdit>(&d, "WordEdit")->SetText("pa");
      QTest::qWait(200);
      QVERIFY(d.grab().save(dir + "/textsearch.png"));
      TWaitDlg wait(f);
      wait.SetProgress(40);
      wait.show();
      QTest::qWait(100);
      QVERIFY(wait.grab().save(dir + "/progress.png"));
      wait.Close();
    }
    f->FindCall("9A1A");
    f->ShowQslManagers(f->QslManagerRef());
    QTest::qWait(200);
    QVERIFY(f->QslManagerForm()->grab().save(dir + "/qslmanagers.png"));
    f->FindCall("KB1AAA");
    W<QRadioButton>(f, "SortByCityRadBtn")->click();
    f->ShowListView();
    QTest::qWait(200);
    QVERIFY(f->ListViewForm()->grab().save(dir + "/listview.png"));
  }
};

QTEST_MAIN(TstLists)
#include "tst_lists.moc"

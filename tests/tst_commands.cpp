// The main window's commands on a fixture edition with its documents: the program options dialog
// (every validation message with its page, Cancel, "Never", the buttons), copying entries in both
// formats, the help window with F1 and the Help buttons, the reference documents through a fake
// launcher, and the about box.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>

#include "EditionReadBack.h"
#include "WindowTestEnv.h"
#include "builder/UDocumentWriter.h"
#include "builder/USourceTables.h"
#include "dataset/UClipboardText.h"
#include "lookup_fixture.h"
#include "report/UReport.h"
#include "settings/FProgramOptions.h"
#include "settings/USettings.h"
#include "storage/UIndexEngine.h"
#include "ui/FAbout.h"
#include "ui/FTellmarkMain.h"
#include "widgets/FDocumentViewer.h"
#include "widgets/UDocuments.h"
#include "widgets/UHelp.h"

namespace {

class TFakeLauncher : public TDocumentLauncher {
 public:
  bool Open(const QString& path) override {
    opened << path;
    return succeed;
  }
  QStringList opened;
  bool succeed = true;
};

QByteArray FileText(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A U.S. entry whose fields fill more than the clipboard buffer.
TBuildEntry LongUSEntry() {
  return fixture::US({{1, "KB9LNG"},
                      {2, "IL"},
                      {3, "60601"},
                      {4, "e"},
                      {5, "01011995"},
                      {6, "01012005"},
                      {8, "87.6298"},
                      {9, "41.8781"},
                      {10, "312"},
                      {11, "COOK"},
                      {12, "CST"},
                      {13, "ALEXANDER LONGNAME, 1234 VERY LONG AVENUE NORTH, CHICAGO"},
                      {16, "United States"},
                      {17, "United States"},
                      {22, std::string(60, 'c')},
                      {23, std::string(50, '9')},
                      {24, std::string(60, 'm')}},
                     "LONGNAME");
}

const char* const kDocuments[][2] = {{"N6mBeaconsMenu", "beacon.txt"},
                                     {"N10MeterBeaconsMenu", "beacon2.txt"},
                                     {"ViewHFBeaconsItem", "beaconsw.txt"},
                                     {"AmateurRadioLicencesoftheWorldMenu", "intlcen.txt"},
                                     {"USAmateursbyStateandZIPCodeMenu", "census.txt"},
                                     {"NorthAmericanTellmarkCensus1", "cendsk3.txt"},
                                     {"NorthAmericanTellmarkCensus2", "cendsk5.txt"},
                                     {"DXCCCountriesListMenu", "dxcc2.txt"},
                                     {"InternationalQSignalsMenu", "qsign.txt"},
                                     {"InternationalPostalRates1", "postal.txt"},
                                     {"LoggingSoftwareVendors1", "interfac.txt"},
                                     {"QSLBureausMenu", "qsl2.txt"},
                                     {"ByCountries40ZoneMenu", "cqzone2.txt"},
                                     {"InternationAmateurRadioPrefixesMenu", "prefix2.txt"},
                                     {"AgreementsMenu", "recip2.txt"},
                                     {"LicencesMenu", "rli.txt"},
                                     {"Standardtimethroughouttheworld1", "time.txt"},
                                     {"TableofAllocationMenu", "calls2.txt"},
                                     {"TelegraphCodesMenu", "telecode.txt"},
                                     {"ThirdPartyTrafficMenu", "third2.txt"},
                                     {"HelpOpenHelpFileAsTextItem", "tellmark.txt"}};

}  // namespace

class TstCommands : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestDir> edition_, iniDir_;
  QString ini_;
  QList<TMessageRequest> boxes_;
  QList<int> help_;
  std::shared_ptr<TFakeLauncher> launcher_;
  std::unique_ptr<TCallViewForm> form_;

  QStringList Texts() const {
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
  }
  TCallViewForm* Create(const QByteArray& ini) {
    QFile f(ini_);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("settings file");
    f.write("[StartUp]\nPrgVersion=S1998\nLastCall=\n" + ini);
    f.close();
    form_ = std::make_unique<TCallViewForm>();
    boxes_.clear();
    return form_.get();
  }
  template <class T>
  static T* W(QObject* in, const char* name) {
    T* w = in->findChild<T*>(name);
    if (!w) qFatal("no child %s", name);
    return w;
  }
  QAction* Action(const char* name) const { return W<QAction>(form_.get(), name); }
  // Runs a modal command; act gets the modal window once it is open and must close it.
  template <class T>
  void WithModal(QAction* command, const std::function<void(T*)>& act) {
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
      T* w = qobject_cast<T*>(QApplication::activeModalWidget());
      if (!w) return;
      seen = true;
      act(w);
    });
    command->trigger();
    QVERIFY(seen);
  }
  QString Path(const char* rel) const {
    return QString::fromStdString(edition_->path() + "/" + rel);
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    edition_ = std::make_unique<TestDir>();
    TBuildInput in = fixture::Input();
    in.us.push_back(LongUSEntry());
    WriteEdition(in, edition_->path());
    TDocumentOptions o;
    o.textsDir = std::string(TELLMARK_SOURCE_DIR) + "/data/texts";
    o.year = 2024;
    WriteDocuments(edition_->path(), CountEdition(edition_->path()),
                   LoadSourceTables(std::string(TELLMARK_SOURCE_DIR) + "/data/sources"), o);
    OpenTestEdition(edition_->path());
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idOK);
    });
    InstallHelpKey(qApp);
    launcher_ = std::make_shared<TFakeLauncher>();
    SetDocumentLauncher(launcher_);
  }
  void cleanupTestCase() {
    form_.reset();
    QuitHelp();
    SetMessageHandler({});
    SetDocumentLauncher(nullptr);
    CloseDataSet();
    FreeIndexCaches();
  }
  void init() {
    boxes_.clear();
    help_.clear();
    launcher_->opened.clear();
    launcher_->succeed = true;
    SetHelpHandler([this](int c) { help_ << c; });
  }
  void cleanup() {
    form_.reset();
    SetHelpHandler({});
  }

  // ---- Program options

  void optionsValidation_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("message");
    const QString correct = " Correct it or cancel your settings.";
    QTest::newRow("notes con") << "NotesDataFilenameEdit"
                               << "/tmp/Con.ndf" << 0
                               << "\"Notes data file\" has an illegal value." + correct;
    QTest::newRow("notes txt") << "NotesDataFilenameEdit"
                               << "/tmp/notes.txt" << 0
                               << "\"Notes data file\" must have the file extension \".ndf\"." +
                                      correct;
    QTest::newRow("report empty") << "RprtFilenameEdit"
                                  << "" << 1 << "\"Report file\" has an illegal value." + correct;
    QTest::newRow("report aux") << "RprtFilenameEdit"
                                << "/tmp/aux.txt" << 1
                                << "\"Report file\" has an illegal value." + correct;
    QTest::newRow("output con") << "LblPrintToEdit"
                                << "con" << 2
                                << "\"Output to\" for label printing has an illegal value." +
                                       correct;
    QTest::newRow("lines 12") << "LblNumLinesEdit"
                              << "12" << 2
                              << "\"Lines on label\" has an illegal value. Legal values are "
                                 "between 1 and 11.  Correct it or cancel your settings.";
    QTest::newRow("chars 9") << "LblNumCharEdit"
                             << "9" << 2
                             << "\"Char per line\" has an illegal value. Legal values are "
                                "between 10 and 65.  Correct it or cancel your settings.";
    QTest::newRow("margin 121") << "LblLeftMarginEdit"
                                << "121" << 2
                                << "\"Left margin\" has an illegal value. Legal values are "
                                   "between 0 and 120.  Correct it or cancel your settings.";
    QTest::newRow("locator S") << "LocatorEdit"
                               << "so62qm" << 0
                               << "\"Locator\" has an illegal value. A correct value is between "
                                  "\"AA00AA\" and \"RR99XX\". Leave this field empty if you do "
                                  "not want to use it. Correct it or cancel your settings.";
    QTest::newRow("lines 1 1 accepted") << "LblNumLinesEdit"
                                        << "1 1" << -1 << "";
  }
  void optionsValidation() {
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(int, page);
    QFETCH(QString, message);
    TSetOptDlg d;
    TProgramSettings s;
    s.reportOptions.fileName = "/tmp/tellmark-report.txt";
    d.SetOptions(s);
    d.show();
    W<QTabWidget>(&d, "OptionsNotebook")->setCurrentIndex(3);
    W<QLineEdit>(&d, edit.toLatin1())->setText(text);
    W<QPushButton>(&d, "OKBtn")->click();
    if (page < 0) {
      QVERIFY(boxes_.isEmpty());
      QCOMPARE(d.result(), int(QDialog::Accepted));
      QCOMPARE(d.PrintOptions().numLines, 11);
      return;
    }
    QCOMPARE(Texts(), QStringList{message});
    QCOMPARE(boxes_[0].kind, TMessageKind::Error);
    QCOMPARE(W<QTabWidget>(&d, "OptionsNotebook")->currentIndex(), page);
    QVERIFY(d.isVisible());  // stays open
    // Cancel always closes.
    W<QPushButton>(&d, "CancelBtn")->click();
    QVERIFY(!d.isVisible());
  }

  void optionsButtonsAndCopies() {
    TSetOptDlg d;
    TProgramSettings s;
    s.reportOptions = {rmNever, "/tmp/r.txt"};
    s.addressStyle = {2, false};
    s.clipboardFormat = 1;
    s.printOptions.numLines = 9;
    d.SetOptions(s);
    QVERIFY(W<QRadioButton>(&d, "RprtNeverRadBtn")->isChecked());
    QVERIFY(W<QRadioButton>(&d, "LblDXCCRadBtn")->isChecked());
    QVERIFY(W<QRadioButton>(&d, "AllInfoRadBtn")->isChecked());
    QVERIFY(!W<QCheckBox>(&d, "AddCallChkBox")->isChecked());
    QVERIFY(!W<QPushButton>(&d, "SendFormFeedBtn")->isEnabled());  // no label output yet
    W<QPushButton>(&d, "RprtRestoreBtn")->click();
    QVERIFY(W<QRadioButton>(&d, "RprtOnReqRadBtn")->isChecked());
    QCOMPARE(W<QLineEdit>(&d, "RprtFilenameEdit")->text(),
             QString::fromStdString(DefaultReportFileName()));
    W<QPushButton>(&d, "LblRestoreDefaultsBtn")->click();
    QCOMPARE(W<QLineEdit>(&d, "LblNumLinesEdit")->text(), QString("6"));
    W<QLineEdit>(&d, "SeparatorCharEdit")->clear();
    W<QLineEdit>(&d, "LocatorEdit")->setText("jo62qm");
    d.AskNotesFile = [](const QString& current) { return current + "x.ndf"; };
    W<QLineEdit>(&d, "NotesDataFilenameEdit")->setText("/tmp/");
    W<QPushButton>(&d, "BrowseBtn")->click();
    QCOMPARE(d.NotesDataFilename(), std::string("/tmp/x.ndf"));
    W<QPushButton>(&d, "HelpBtn")->click();
    QCOMPARE(help_, QList<int>{10012});
    // Clear export file now: a file is emptied, a printer name left alone.
    TestDir dir;
    const QString out = QString::fromStdString(dir.file("labels.csv"));
    {
      QFile f(out);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("K1ABC;JOHN\r\n");
    }
    W<QLineEdit>(&d, "LblPrintToEdit")->setText(out);
    W<QPushButton>(&d, "ClearExportFileBtn")->click();
    QCOMPARE(QFileInfo(out).size(), qint64(0));
    W<QPushButton>(&d, "OKBtn")->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.PrintOptions().separatorChar, ';');
    QCOMPARE(d.ReportOptions().mode, int32_t(rmOnRequest));
    QCOMPARE(d.AddressStyle().addCountry, 2);
    QCOMPARE(d.Locator(), std::string("jo62qm"));
    QCOMPARE(d.ClipboardFormat(), 1);
  }

  void cancelRestoresTheReportFileName() {
    TestDir dir;
    const std::string stored = dir.file("stored.txt"), typed = dir.file("typed.txt");
    Create(QByteArray("[Report]\nReportFilename=") + stored.c_str() + "\n");
    QCOMPARE(ReportFileName(), stored);
    WithModal<TSetOptDlg>(Action("OptOtherItem"), [&](TSetOptDlg* d) {
      QVERIFY(form_->ModalRunning());
      W<QLineEdit>(d, "RprtFilenameEdit")->setText(QString::fromStdString(typed));
      QCOMPARE(ReportFileName(), typed);  // the buttons act on the name being typed
      W<QPushButton>(d, "ClearFileBtn")->click();
      W<QRadioButton>(d, "RprtNeverRadBtn")->setChecked(true);
      W<QPushButton>(d, "CancelBtn")->click();
    });
    QCOMPARE(ReportFileName(), stored);
    QVERIFY(!form_->ModalRunning());
    QCOMPARE(form_->Settings().reportOptions.mode, int32_t(rmOnRequest));
    QVERIFY(Action("AddEntryToReportMenuItem")->isEnabled());
  }

  void adifLogCallsGoToTheReportFile() {
    TestDir dir;
    const std::string report = dir.file("report.txt"), log = dir.file("log.adi");
    Create(QByteArray("[Report]\nReportFilename=") + report.c_str() + "\n");
    QVERIFY(Action("AddAdifLogToReportMenuItem")->isEnabled());
    QCOMPARE(Action("AddAdifLogToReportMenuItem")->text(), QString("Add calls from ADIF log..."));
    std::ofstream(log, std::ios::binary)
        << "Field day\n<EOH>\n<CALL:9>VE3/K5DRC<EOR>\n<call:4>w1aw<eor>\n<CALL:7>K5DRC/P<EOR>\n";
    QString asked = QString::fromStdString(log);
    form_->AskAdifLog = [&asked] { return asked; };
    Action("AddAdifLogToReportMenuItem")->trigger();
    // How many went in, and the call the directory does not have (K5DRC is not in this one).
    QCOMPARE(Texts(), QStringList{"3 calls of the log were added to the report file.\nNot in the "
                                  "directory (no address label): K5DRC."});
    boxes_.clear();
    CloseReportFile();
    QCOMPARE(Slurp(report), std::string("K5DRC\r\nW1AW\r\nK5DRC\r\n"));

    // A damaged record: the sound ones go in, the damage is shown with where it is.
    std::ofstream(log, std::ios::binary | std::ios::trunc) << "<CALL:4>N0XX<EOR><CALL:-4>ab<EOR>";
    Action("AddAdifLogToReportMenuItem")->trigger();
    QCOMPARE(Texts(), QStringList({"1 call of the log was added to the report file.",
                                   "ADIF log: record 2, byte 17: negative length in <CALL"}));
    boxes_.clear();
    // Cancelled: nothing; a missing file: the handling error.
    asked.clear();
    Action("AddAdifLogToReportMenuItem")->trigger();
    asked = QString::fromStdString(dir.file("missing.adi"));
    Action("AddAdifLogToReportMenuItem")->trigger();
    QCOMPARE(boxes_.size(), 1);
    QVERIFY2(boxes_[0].text.startsWith("Error during handling: cannot read "),
             qPrintable(boxes_[0].text));
    CloseReportFile();
    QCOMPARE(Slurp(report), std::string("K5DRC\r\nW1AW\r\nK5DRC\r\nN0XX\r\n"));
  }

  void neverDisablesBothReportItems() {
    TestDir dir;
    const std::string name = dir.file("calls.txt");
    Create(QByteArray());
    QVERIFY(Action("AddSearchResultsToReportMenuItem")->isEnabled());
    WithModal<TSetOptDlg>(Action("OptOtherItem"), [&](TSetOptDlg* d) {
      W<QRadioButton>(d, "RprtNeverRadBtn")->setChecked(true);
      W<QLineEdit>(d, "RprtFilenameEdit")->setText(QString::fromStdString(name));
      W<QLineEdit>(d, "LocatorEdit")->setText("fn31pr");
      W<QRadioButton>(d, "AllInfoRadBtn")->setChecked(true);
      W<QPushButton>(d, "OKBtn")->click();
    });
    QVERIFY(!Action("AddEntryToReportMenuItem")->isEnabled());
    QVERIFY(!Action("AddSearchResultsToReportMenuItem")->isEnabled());
    QVERIFY(!Action("AddAdifLogToReportMenuItem")->isEnabled());
    const TProgramSettings& s = form_->Settings();
    QCOMPARE(s.reportOptions.mode, int32_t(rmNever));
    QCOMPARE(s.reportOptions.fileName, name);
    QCOMPARE(ReportFileName(), name);
    QCOMPARE(s.myLocator, std::string("FN31PR"));
    QCOMPARE(s.clipboardFormat, 1);
    QCOMPARE(form_->GetMyLocator(), QString("FN31PR"));
  }

  void optionsNotesFileSwitchesTheNotesFile() {
    TestDir dir;
    const std::string notes = dir.file("mine.ndf");
    Create(QByteArray());
    QVERIFY(!form_->Notes());
    WithModal<TSetOptDlg>(Action("OptOtherItem"), [&](TSetOptDlg* d) {
      W<QLineEdit>(d, "NotesDataFilenameEdit")->setText(QString::fromStdString(notes));
      W<QPushButton>(d, "OKBtn")->click();
    });
    QCOMPARE(form_->Settings().notesDataFilename, notes);
    QVERIFY(form_->Notes());
  }

  // ---- Clipboard

  void copyInternationalEntry() {
    Create("[Clipboard]\nClipboardFormat=1\n");
    form_->FindCall("DL1ABC");
    Action("EditCopyMenu")->trigger();
    const QStringList lines = QApplication::clipboard()->text().split("\r\n");
    const QStringList expected = {"DL1ABC",
                                  "A",
                                  "Hans Mueller, Hauptstrasse 5, 10115 Berlin",
                                  "Germany",
                                  "Germany",
                                  "dl1abc@example.org",
                                  "+49 30 1234567",
                                  "QRV on 40 m every evening",
                                  kClipboardNotice[0],
                                  kClipboardNotice[1],
                                  ""};
    QCOMPARE(lines, expected);
    // Ctrl+C in the call box copies the entry, not the box's text.
    QApplication::clipboard()->clear();
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QLineEdit* call = W<QComboBox>(form_.get(), "CallEdit")->lineEdit();
    call->setFocus();
    call->selectAll();
    QTest::keyClick(call, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text().split("\r\n"), expected);
  }

  void copyLongUSEntryIsCut() {
    Create("[Clipboard]\nClipboardFormat=1\n");
    form_->FindCall("KB9LNG");
    QCOMPARE(form_->ShownCall(), QString("KB9LNG"));
    Action("EditCopyMenu")->trigger();
    const QString text = QApplication::clipboard()->text();
    QCOMPARE(text.size(), 449);
    QVERIFY(text.startsWith("KB9LNG\r\nIL\r\n60601\r\ne\r\n01/01/1995\r\n"));
    QVERIFY(text.contains(QString(60, 'm')));
  }

  void copyAddressOnly() {
    Create("[Clipboard]\nClipboardFormat=0\n[Style]\nAddCountry=1\nAddCall=1\n");
    form_->FindCall("K1ABC");
    Action("EditCopyMenu")->trigger();
    // The label formatting's address block, with call and country as the style asks.
    QCOMPARE(
        QApplication::clipboard()->text(),
        QString("JOHN Q SMITH, K1ABC\r\n1 BEACON ST\r\nBOSTON, MA 02108\r\nUnited States\r\n"));
    // Whatever block function is set makes the block.
    form_->AddressBlock = [](const TEntryRecord&, const TAddressStyle& style,
                             std::vector<std::string>& lines) {
      lines = {"country " + std::to_string(style.addCountry)};
      return true;
    };
    Action("EditCopyMenu")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString("country 1\r\n"));
    // Busy: nothing happens.
    QApplication::clipboard()->setText("before");
    form_->SetBusy(true);
    Action("EditCopyMenu")->trigger();
    form_->SetBusy(false);
    QCOMPARE(QApplication::clipboard()->text(), QString("before"));
  }

  // ---- Help

  void f1OnTheMainWindowOpensTheContents() {
    Create(QByteArray());
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_F1);
    QCOMPARE(help_, QList<int>{0});
    Action("ContentMenu")->trigger();
    QCOMPARE(help_, QList<int>({0, 0}));
  }

  void f1InAMenuAndADialog() {
    Create(QByteArray());
    QMenu* menu = W<QMenu>(form_.get(), "SearchMenu");
    menu->popup(QPoint(10, 10));
    menu->setActiveAction(Action("SearchTextSearchMenu"));
    QTest::keyClick(menu, Qt::Key_F1);
    QCOMPARE(help_, QList<int>{1350});
    TSetOptDlg d;
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    QTest::keyClick(W<QLineEdit>(&d, "LocatorEdit"), Qt::Key_F1);
    QCOMPARE(help_, QList<int>({1350, 10012}));
  }

  void helpWindowShowsTheAnchor() {
    SetHelpHandler({});
    Create(QByteArray());
    QCOMPARE(HelpFile(), Path("HELP/tellmark.html"));
    ShowHelp(1301);
    THelpForm* help = HelpForm();
    QVERIFY(help && help->isVisible());
    QCOMPARE(help->Browser()->source().fragment(), QString("1301"));
    QVERIFY(help->Browser()->toPlainText().contains("Searching a call"));
    Action("ContentMenu")->trigger();
    QCOMPARE(HelpForm(), help);  // one window, kept
    QCOMPARE(help->Browser()->source().fragment(), QString("contents"));
    // A missing help file is reported.
    SetHelpFile(Path("HELP/none.html"));
    QuitHelp();
    ShowHelp(1301);
    QCOMPARE(Texts(), QStringList{"Cannot open the help file " + Path("HELP/none.html") + "."});
    form_.reset();  // closing the main window quits the help
  }

  // ---- Documents

  void everyDocumentOpensFromItsItem() {
    Create(QByteArray());
    for (const auto& [item, file] : kDocuments) {
      QAction* a = Action(item);
      QVERIFY2(a->isEnabled(), item);
      a->trigger();
      QVERIFY2(!launcher_->opened.isEmpty(), item);
      QCOMPARE(launcher_->opened.takeLast(), Path((std::string("texte/") + file).c_str()));
    }
    QVERIFY(boxes_.isEmpty());
    Action("HelpOpenHelpFileasRTFItem")->trigger();
    QCOMPARE(launcher_->opened, QStringList{Path("texte/tellmark.rtf")});
  }

  void documentFailuresAreReported() {
    Create(QByteArray());
    const QString qsign = Path("texte/qsign.txt");
    QVERIFY(QFile::rename(qsign, qsign + ".away"));
    Action("InternationalQSignalsMenu")->trigger();
    QVERIFY(QFile::rename(qsign + ".away", qsign));
    launcher_->succeed = false;
    Action("HelpOpenHelpFileasRTFItem")->trigger();
    QCOMPARE(Texts(), QStringList({"Error calling NotePad: 2 (file not found: texte/qsign.txt)",
                                   "Could not open file/find associated program (Errorcode 31)"}));
    const QString rtf = Path("texte/tellmark.rtf");
    QVERIFY(QFile::rename(rtf, rtf + ".away"));
    Action("HelpOpenHelpFileasRTFItem")->trigger();
    QVERIFY(QFile::rename(rtf + ".away", rtf));
    QCOMPARE(Texts().last(), QString("Could not find associated program (Errorcode 2)"));
    // While busy a document does not open.
    launcher_->succeed = true;
    launcher_->opened.clear();
    form_->SetBusy(true);
    Action("TelegraphCodesMenu")->trigger();
    form_->SetBusy(false);
    QVERIFY(launcher_->opened.isEmpty());
  }

  // Without a desktop program for text files, documents, the report file and the help as text
  // open in the program's own viewer: read-only, with find, its size kept for the next one.
  void documentsWithoutADesktopOpener() {
    const auto viewers = [] {
      QList<TDocumentViewerForm*> v;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TDocumentViewerForm*>(w); d && d->isVisible()) v << d;
      return v;
    };
    Create(QByteArray("[Report]\nReportFilename=" +
                      QByteArray::fromStdString(edition_->file("report.txt")) + "\n"));
    launcher_->succeed = false;
    const struct {
      const char* item;
      QString path;
    } opened[] = {{"DXCCCountriesListMenu", Path("texte/dxcc2.txt")},
                  {"HelpOpenHelpFileAsTextItem", Path("texte/tellmark.txt")}};
    for (const auto& o : opened) {
      launcher_->opened.clear();
      Action(o.item)->trigger();
      QCOMPARE(launcher_->opened, QStringList({o.path}));  // the desktop was asked first
      TDocumentViewerForm* v = nullptr;
      for (TDocumentViewerForm* d : viewers())
        if (d->Path() == o.path) v = d;
      QVERIFY2(v, o.item);
      QCOMPARE(v->Path(), o.path);
      QFile f(o.path);
      QVERIFY(f.open(QIODevice::ReadOnly));
      QCOMPARE(v->Text()->toPlainText(), QString::fromUtf8(f.readAll()));
      QVERIFY(v->Text()->isReadOnly());
      QVERIFY(v->windowTitle().endsWith("(read-only)"));
    }
    QCOMPARE(Texts(), QStringList());
    // The same document again: the viewer open is brought up, no second one.
    Action("DXCCCountriesListMenu")->trigger();
    QCOMPARE(viewers().size(), 2);

    // Find: Enter in the find box selects the next occurrence, from the top again at the end.
    TDocumentViewerForm* v = nullptr;
    for (TDocumentViewerForm* d : viewers())
      if (d->Path() == Path("texte/dxcc2.txt")) v = d;
    QVERIFY(v);
    v->show();
    v->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(v));
    const QString text = v->Text()->toPlainText();
    const QString word = "Germany";
    QVERIFY(text.count(word) >= 1);
    auto* find = W<QLineEdit>(v, "FindEdit");
    QTest::keyClick(v, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(find->hasFocus());
    QTest::keyClicks(find, word);
    QTest::keyClick(find, Qt::Key_Return);
    QCOMPARE(v->Text()->textCursor().selectedText(), word);
    const int first = v->Text()->textCursor().selectionStart();
    QCOMPARE(first, text.indexOf(word));
    for (int i = 0; i < text.count(word); ++i) QTest::keyClick(v, Qt::Key_F3);
    QCOMPARE(v->Text()->textCursor().selectionStart(), first);  // round
    find->selectAll();
    QTest::keyClicks(find, "no such words here");
    QTest::keyClick(find, Qt::Key_Return);
    QCOMPARE(W<QLabel>(v, "FindResultLbl")->text(), QString("Not found"));
    QVERIFY(!v->FindNext());

    // Its size is kept: the next viewer opens as large as the last one closed.
    for (TDocumentViewerForm* d : viewers())
      if (d != v) d->close();
    v->resize(530, 410);
    v->close();
    QApplication::processEvents();
    QCOMPARE(viewers().size(), 0);
    Action("TelegraphCodesMenu")->trigger();
    QCOMPARE(viewers().size(), 1);
    QCOMPARE(viewers()[0]->size(), QSize(530, 410));
    viewers()[0]->close();
    // Settings written at the end keep the viewer's keys.
    QVERIFY(form_->close());
    form_.reset();
    TSettingsFile file(ini_.toStdString());
    QVERIFY(file.Load());
    QCOMPARE(file.ReadInteger("DocumentViewer", "Width", 0), 530);
    QCOMPARE(file.ReadInteger("DocumentViewer", "Height", 0), 410);
    launcher_->succeed = true;
  }

  // "Edit report file" edits: the desktop's editor for text files when xdg-mime names one, else
  // $VISUAL or $EDITOR in a terminal emulator, else the program's own viewer switched to
  // editing. Programs on a PATH of the test's own, each writing what it was started with.
  void editReportFileChoosesAnEditor_data() {
    QTest::addColumn<QStringList>("installed");  // programs on the PATH
    QTest::addColumn<QString>("mimeDefault");    // xdg-mime's answer for text/plain
    QTest::addColumn<QString>("visual");
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>(
        "started");  // "program args..." with REPORT for the file; "" built-in
    const QStringList all{"xdg-open", "xdg-mime", "x-terminal-emulator", "xterm", "vi", "nano"};
    QTest::newRow("desktop editor") << all << "org.gnome.TextEditor.desktop"
                                    << ""
                                    << "vi"
                                    << "xdg-open REPORT";
    QTest::newRow("no text handler: EDITOR in a terminal") << all << ""
                                                           << ""
                                                           << "nano"
                                                           << "x-terminal-emulator -e nano REPORT";
    QTest::newRow("VISUAL before EDITOR, with its arguments")
        << all << ""
        << "vi -n"
        << "nano"
        << "x-terminal-emulator -e vi -n REPORT";
    QTest::newRow("xterm when there is no default terminal") << QStringList{"xterm", "nano"} << ""
                                                             << ""
                                                             << "nano"
                                                             << "xterm -e nano REPORT";
    QTest::newRow("no terminal: built-in") << QStringList{"xdg-open", "xdg-mime", "nano"} << ""
                                           << ""
                                           << "nano"
                                           << "";
    QTest::newRow("editor not installed: built-in") << QStringList{"x-terminal-emulator"} << ""
                                                    << ""
                                                    << "emacs"
                                                    << "";
    QTest::newRow("nothing: built-in") << QStringList{} << ""
                                       << ""
                                       << ""
                                       << "";
  }
  void editReportFileChoosesAnEditor() {
    QFETCH(QStringList, installed);
    QFETCH(QString, mimeDefault);
    QFETCH(QString, visual);
    QFETCH(QString, editor);
    QFETCH(QString, started);
    TestDir bin;
    const QString log = QString::fromStdString(bin.file("started.txt"));
    for (const QString& program : installed) {
      const QString file = QString::fromStdString(bin.file(program.toStdString()));
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      if (program == "xdg-mime")
        f.write(("#!/bin/sh\n[ \"$*\" = \"query default text/plain\" ] && echo '" + mimeDefault +
                 "'\nexit 0\n")
                    .toUtf8());
      else
        f.write(("#!/bin/sh\necho \"" + program + " $*\" >> '" + log + "'\n").toUtf8());
      f.close();
      f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH"), vis = qgetenv("VISUAL"), ed = qgetenv("EDITOR");
    qputenv("PATH", QByteArray::fromStdString(bin.path()));
    qputenv("VISUAL", visual.toUtf8());
    qputenv("EDITOR", editor.toUtf8());
    const auto restore = qScopeGuard([&] {
      qputenv("PATH", path);
      qputenv("VISUAL", vis);
      qputenv("EDITOR", ed);
      SetDocumentLauncher(launcher_);
    });
    SetDocumentLauncher(nullptr);  // the desktop's
    const QString report = Path("report-edit.txt");
    {
      QFile r(report);
      QVERIFY(r.open(QIODevice::WriteOnly | QIODevice::Truncate));
      r.write("W1AW\r\n");
    }
    Create("[Report]\nReportFilename=" + report.toLocal8Bit() + "\n");
    form_->show();
    Action("ReportEditReportFileMenuItem")->trigger();
    TDocumentViewerForm* viewer = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TDocumentViewerForm*>(w); d && d->isVisible()) viewer = d;
    if (started.isEmpty()) {
      QVERIFY(viewer);
      QVERIFY(viewer->Editable());
      QVERIFY(!viewer->Text()->isReadOnly());
      QVERIFY(!viewer->windowTitle().contains("read-only"));
      viewer->close();
      QVERIFY(!QFile::exists(log));
    } else {
      QVERIFY(!viewer);
      QTRY_VERIFY(FileText(log).endsWith('\n'));
      QCOMPARE(QString::fromUtf8(FileText(log)).trimmed(),
               QString(started).replace("REPORT", report));
    }
    QCOMPARE(Texts(), QStringList());
  }

  // The Options dialog's file-name fields hold their whole paths in their tooltips; typing a new
  // one updates the tooltip.
  void optionsPathFieldsShowTheWholePath() {
    TProgramSettings s;
    const QString deep =
        "/home/ham/radio/logbooks/tellmark/notes/2026/summer-field-day/"
        "portable-station-west/my-notes-file-with-a-long-name.ndf";
    s.notesDataFilename = deep.toStdString();
    s.reportOptions.fileName = "/tmp/report.txt";
    TSetOptDlg dialog;
    dialog.SetOptions(s);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* notes = W<QLineEdit>(&dialog, "NotesDataFilenameEdit");
    QCOMPARE(notes->toolTip(), deep);
    QCOMPARE(W<QLineEdit>(&dialog, "RprtFilenameEdit")->toolTip(), QString("/tmp/report.txt"));
    notes->setFocus();
    notes->selectAll();
    QTest::keyClicks(notes, "/tmp/n.ndf");
    QCOMPARE(notes->toolTip(), QString("/tmp/n.ndf"));
  }

  // A box with a short text is still wide enough for its whole caption ("Tellmark on CD-ROM
  // Summer 1999" in the title bar, with the window manager's buttons); Esc closes it.
  void shortBoxesShowTheirWholeCaption_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("one word") << "Saved";
    QTest::newRow("short error") << "Error: 2";
  }
  void shortBoxesShowTheirWholeCaption() {
    QFETCH(QString, text);
    SetMessageHandler({});
    int width = 0, needed = 0;
    QTimer::singleShot(200, this, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box) return;
      QFont bold = box->font();
      bold.setBold(true);
      needed = QFontMetrics(bold).horizontalAdvance(ApplicationTitle()) + 3 * 24;
      width = box->width();
      QTest::keyClick(box, Qt::Key_Escape);
    });
    ShowErrorBox(text);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idOK);
    });
    QVERIFY(needed > 0);
    QVERIFY2(width >= needed, qPrintable(QString("%1 < %2").arg(width).arg(needed)));
  }

  // The built-in editor: typed keys change the text, Ctrl+S replaces the file whole (nothing
  // left beside it), closing with changes asks first, Esc with none closes at once.
  void builtInEditorSavesTheReportFile() {
    const QString report = Path("report-own.txt");
    {
      QFile r(report);
      QVERIFY(r.open(QIODevice::WriteOnly | QIODevice::Truncate));
      r.write("W1AW\nK5DRC\n");
    }
    launcher_->succeed = false;  // no editor outside the program
    Create("[Report]\nReportFilename=" + report.toLocal8Bit() + "\n");
    Action("ReportEditReportFileMenuItem")->trigger();
    TDocumentViewerForm* v = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TDocumentViewerForm*>(w); d && d->isVisible()) v = d;
    QVERIFY(v);
    v->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(v));
    QVERIFY(v->Text()->hasFocus());
    QTest::keyClick(v->Text(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(v->Text(), "DL1ABC");
    QTest::keyClick(v->Text(), Qt::Key_Return);
    QVERIFY(v->windowTitle().endsWith(" *"));
    const QStringList before = QDir(QFileInfo(report).path()).entryList(QDir::Files);
    QTest::keyClick(v, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(QString::fromUtf8(FileText(report)), QString("W1AW\nK5DRC\nDL1ABC\n"));
    QCOMPARE(QDir(QFileInfo(report).path()).entryList(QDir::Files), before);
    QVERIFY(!v->windowTitle().endsWith(" *"));
    // More typed, then Esc: the question; Yes saves.
    QTest::keyClicks(v->Text(), "G3XYZ");
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idYes);
    });
    QTest::keyClick(v, Qt::Key_Escape);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return static_cast<int>(idOK);
    });
    QCOMPARE(boxes_.size(), 1);
    QVERIFY(boxes_[0].text.contains("unsaved changes"));
    QCOMPARE(QString::fromUtf8(FileText(report)), QString("W1AW\nK5DRC\nDL1ABC\nG3XYZ"));
    QTRY_VERIFY(!v->isVisible() || v->isHidden());
  }

  // The desktop's opener may start and still open nothing (xdg-open without a program for the
  // file): its exit code says so, and the program's own viewer opens.
  void desktopOpenerThatFindsNoProgram() {
    TestDir bin;
    const QString marker = QString::fromStdString(bin.file("opened"));
    const auto opener = [&](int exitCode) {
      QFile f(QString::fromStdString(bin.file("xdg-open")));
      QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
      f.write(QString("#!/bin/sh\necho \"$1\" >> '%1'\nexit %2\n")
                  .arg(marker)
                  .arg(exitCode)
                  .toLocal8Bit());
      f.close();
      f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.path()) + ":" + path);
    SetDocumentLauncher(nullptr);  // the desktop's
    Create(QByteArray());
    const auto viewerOf = [](const QString& file) -> TDocumentViewerForm* {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<TDocumentViewerForm*>(w); d && d->Path() == file) return d;
      return nullptr;
    };
    opener(0);
    Action("QSLBureausMenu")->trigger();
    QTRY_VERIFY(QFile::exists(marker));
    QTest::qWait(200);
    QVERIFY(!viewerOf(Path("texte/qsl2.txt")));
    opener(3);
    Action("TelegraphCodesMenu")->trigger();
    QTRY_VERIFY(viewerOf(Path("texte/telecode.txt")));
    QFile log(marker);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(log.readAll()),
             Path("texte/qsl2.txt") + "\n" + Path("texte/telecode.txt") + "\n");
    QCOMPARE(Texts(), QStringList());
    viewerOf(Path("texte/telecode.txt"))->close();
    qputenv("PATH", path);
    SetDocumentLauncher(launcher_);
  }

  // The help window accepts input while a modal dialog of the program is open, whether it was
  // opened before the dialog or from it (F1).
  void helpUsableWhileADialogIsOpen() {
    SetHelpHandler({});
    Create(QByteArray());
    ShowHelp(1301);
    THelpForm* help = HelpForm();
    QVERIFY(help && QTest::qWaitForWindowExposed(help));
    QScrollBar* bar = help->Browser()->verticalScrollBar();
    // Keys as the window system delivers them: to a window a modal dialog blocks, none.
    const auto scrolls = [&] {
      help->Browser()->setFocus();
      bar->setValue(0);
      QTest::keyClick(help->windowHandle(), Qt::Key_Space);  // a page down
      return bar->value() > 0;
    };
    QVERIFY(scrolls());
    bool before = false, fromDialog = false;
    WithModal<TSetOptDlg>(Action("OptOtherItem"), [&](TSetOptDlg* d) {
      QTest::qWait(50);  // the dialog's own events first
      before = scrolls();
      QTest::keyClick(W<QLineEdit>(d, "LocatorEdit"), Qt::Key_F1);
      QCOMPARE(HelpForm(), help);
      fromDialog = scrolls();
      d->reject();
    });
    QVERIFY(before);
    QVERIFY(fromDialog);
    QApplication::processEvents();
    QVERIFY(scrolls());  // and after it
    QuitHelp();
  }

  // ---- About

  void aboutBoxShowsTheVersion() {
    QCOMPARE(VersionLabelText("1999.2.1.7"), std::string("Version: 1999.2.1.7"));
    QCOMPARE(VersionLabelText("1.0.0"), std::string("Version: 1.0.0.0"));
    QCOMPARE(VersionLabelText("1.x"), std::string("Version: "));
    QCOMPARE(VersionLabelText("1.2.3.4.5"), std::string("Version: "));
    QCOMPARE(VersionLabelText(""), std::string("Version: "));
    Create(QByteArray());
    WithModal<TAboutBox>(Action("AboutMenu"), [&](TAboutBox* box) {
      QVERIFY(form_->ModalRunning());
      QCOMPARE(box->windowTitle(), QString("About"));
      QCOMPARE(W<QLabel>(box, "VersionLbl")->text(),
               QString::fromStdString(VersionLabelText(TELLMARK_VERSION)));
      QVERIFY(W<QLabel>(box, "VersionLbl")->text().startsWith("Version: 1."));
      // What the program is built as, not what the first edition was.
      QCOMPARE(W<QLabel>(box, "EditionLbl")->text(),
               QString("Summer Edition 1999 (%1 Bit)").arg(int(sizeof(void*) * 8)));
      QVERIFY(box->width() >= 355 && box->height() >= 245);
      W<QPushButton>(box, "OKButton")->click();
    });
    QVERIFY(!form_->ModalRunning());
  }

  // Not a test: with TELLMARK_SCREENSHOT_DIR set, the four options pages, the help window and
  // the about box into options-*.png, help.png and about.png.
  void screenshot() {
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (dir.isEmpty()) QSKIP("TELLMARK_SCREENSHOT_DIR not set");
    TSetOptDlg d;
    TProgramSettings s;
    s.myLocator = "FN31PR";
    s.notesDataFilename = "/home/op/notes.ndf";
    d.SetOptions(s);
    d.show();
    const char* const pages[] = {"general", "report", "labels", "style"};
    for (int i = 0; i < 4; ++i) {
      W<QTabWidget>(&d, "OptionsNotebook")->setCurrentIndex(i);
      QTest::qWait(50);
      QVERIFY(d.grab().save(dir + "/options-" + pages[i] + ".png"));
    }
    SetHelpHandler({});
    SetHelpFile(Path("HELP/tellmark.html"));
    ShowHelp(10012);
    QTest::qWait(100);
    QVERIFY(HelpForm()->grab().save(dir + "/help.png"));
    QuitHelp();
    TAboutBox about;
    about.show();
    QTest::qWait(50);
    QVERIFY(about.grab().save(dir + "/about.png"));
  }
};

QTEST_MAIN(TstCommands)
#include "tst_commands.moc"

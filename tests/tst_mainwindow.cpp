// The main window on a fixture edition: start-up with and without a settings file, searches and
// their messages, stepping, orders, database switches, the entry display, the details window,
// the menu tree and the message service.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "WindowTestEnv.h"
#include "dataset/UDataSet.h"
#include "lookup_fixture.h"
#include "settings/USettings.h"
#include "storage/UIndexEngine.h"
#include "ui/FDetail.h"
#include "ui/FTellmarkMain.h"
#include "ui/UStartUp.h"
#include "widgets/UMessages.h"

namespace {

const QString kNextGreater = " Displaying the next greater entry.";

}  // namespace

class TstMainWindow : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<fixture::TFixtureEdition> edition_;
  std::unique_ptr<TestDir> iniDir_;
  QString ini_;
  QList<TMessageRequest> boxes_;
  std::function<int(TMessageRequest&)> answer_;
  std::unique_ptr<TCallViewForm> form_;

  QStringList Texts() const {
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
  }
  void WriteIni(const QByteArray& text) {
    QFile f(ini_);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
  }
  // A main window on a settings file without start call: the first International entry.
  TCallViewForm* Create(const QByteArray& ini = "[StartUp]\nPrgVersion=S1998\nLastCall=\n") {
    if (!ini.isNull()) WriteIni(ini);
    form_ = std::make_unique<TCallViewForm>();
    return form_.get();
  }
  template <class T>
  T* W(const char* name) const {
    T* w = form_->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  QString Text(const char* label) const { return W<QLabel>(label)->text(); }
  QString Call() const { return W<QComboBox>("CallEdit")->currentText(); }
  void Type(const char* box, const QString& text) { W<QComboBox>(box)->setEditText(text); }
  int32_t RefAt(int index, int32_t pos) {
    int32_t ref = -1;
    ReadOrderEntry(index, pos, ref);
    return ref;
  }

 private slots:
  void initTestCase() {
    QVERIFY(AllocIndexCaches());
    edition_ = std::make_unique<fixture::TFixtureEdition>();
    OpenTestEdition(edition_->path());
    ini_ = UseTestSettingsFile(iniDir_);
    SetMessageHandler([this](TMessageRequest& r) {
      boxes_ << r;
      return answer_ ? answer_(r) : static_cast<int>(idOK);
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
    answer_ = nullptr;
  }
  void cleanup() { form_.reset(); }

  void firstStartWithoutSettingsFile() {
    QFile::remove(ini_);
    TCallViewForm* f = Create(QByteArray());
    // The notice once, then the start call AA1A, looked up from the International database.
    QCOMPARE(Texts(), QStringList({kLabelMethodNotice, "Call \"AA1A\" not found." + kNextGreater}));
    QCOMPARE(boxes_[0].caption, QString(kApplicationTitle));
    QCOMPARE(boxes_[0].flags, mbOK | mbIconInformation);
    QVERIFY(f->IsIntl());
    QCOMPARE(Call(), QString("DL1ABC"));
    QVERIFY(W<QRadioButton>("dbIntlRadBtn")->isChecked());
    QVERIFY(W<QAction>("FileIntlDatabaseMenu")->isChecked());
    QVERIFY(!W<QAction>("FileUSdatabaseMenu")->isChecked());
    QVERIFY(!W<QComboBox>("ZIPEdit")->isEnabled());
    QVERIFY(!W<QAction>("SearchNameMenu")->isEnabled());
    const TProgramSettings& s = f->Settings();
    QCOMPARE(s.clipboardFormat, 0);
    QCOMPARE(s.printOptions.numLines, 6);
    QCOMPARE(s.printOptions.numChar, 35);
    QCOMPARE(s.printOptions.leftMargin, 0);
    QCOMPARE(s.printOptions.outfileName, std::string("prn"));
    QVERIFY(!s.printOptions.useItForCSV);
    QCOMPARE(s.printOptions.separatorChar, ';');
    QCOMPARE(s.reportOptions.mode, 1);
    QCOMPARE(s.morseOptions.pitch, 800);
    QCOMPARE(s.morseOptions.speed, 1);
    QCOMPARE(s.morseOptions.volume, 100);

    QVERIFY(f->close());
    TSettingsFile file(ini_.toStdString());
    QVERIFY(file.Load());
    QCOMPARE(file.ReadString("StartUp", "LastCall", ""), std::string("DL1ABC"));
    QCOMPARE(file.ReadString("StartUp", "PrgVersion", ""), std::string("S1998"));
    QCOMPARE(file.ReadString("StartUp", "LastHomeDir", ""), HomeDir());
    const char* const keys[][2] = {{"StartUp", "MapFitAlways"},
                                   {"Clipboard", "ClipboardFormat"},
                                   {"Labels", "NumLines"},
                                   {"Labels", "NumChar"},
                                   {"Labels", "LeftMargin"},
                                   {"Labels", "OutfileName"},
                                   {"Labels", "UseItForCSV"},
                                   {"Labels", "SeparatorChar"},
                                   {"Style", "AddCountry"},
                                   {"Style", "AddCall"},
                                   {"Report", "ReportOptions"},
                                   {"Report", "ReportFilename"},
                                   {"Printing", "PrintProcessInfo"},
                                   {"Printing", "PrintMethod"},
                                   {"General", "MyLocator"},
                                   {"CW", "Speed"},
                                   {"CW", "Volume"},
                                   {"CW", "Pitch"},
                                   {"General", "NotesDataFilename"}};
    for (const auto& k : keys) QVERIFY2(file.HasKey(k[0], k[1]), k[1]);

    // The next start shows no notice and goes straight to the saved call.
    form_.reset();
    boxes_.clear();
    Create(QByteArray());
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(Call(), QString("DL1ABC"));
  }

  void settingsValuesFromTheFile() {
    // Lower-case version mark: no notice. Blank start call: no look-up. Hex, letters, empty
    // separator.
    TCallViewForm* f = Create(
        "[StartUp]\nPrgVersion=w1998\nLastCall=   \n"
        "[Labels]\nNumLines=0x0A\nNumChar=abc\nSeparatorChar=\n");
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(Call(), QString("3D2AG"));
    QCOMPARE(f->Settings().printOptions.numLines, 10);
    QCOMPARE(f->Settings().printOptions.numChar, 35);
    QCOMPARE(f->Settings().printOptions.separatorChar, ';');

    f = Create(
        "[StartUp]\nPrgVersion=S1998\nLastCall=W1AW\n[Labels]\nNumLines=ten\n"
        "SeparatorChar=|;\n[Printing]\nPrintMethod=1\n");
    QVERIFY(!f->IsIntl());  // a U.S. start call selects the U.S. database
    QCOMPARE(Call(), QString("W1AW"));
    QCOMPARE(f->Settings().printOptions.numLines, 6);
    QCOMPARE(f->Settings().printOptions.separatorChar, '|');
    // The new label method puts Ctrl+P on "Mark label for Printing".
    QCOMPARE(W<QAction>("FileMarkLabelForPrintingItem")->shortcut(), QKeySequence("Ctrl+P"));
    QVERIFY(W<QAction>("FilePrintLabelItem")->shortcut().isEmpty());

    // LastCall is the call shown at close, with up to 15 characters; the box shows 6.
    f->FindCall("OE2XABCDE");
    QCOMPARE(Call(), QString("OE2XAB"));
    QVERIFY(f->close());
    TSettingsFile file(ini_.toStdString());
    QVERIFY(file.Load());
    QCOMPARE(file.ReadString("StartUp", "LastCall", ""), std::string("OE2XABCDE"));
    QCOMPARE(file.ReadString("Labels", "SeparatorChar", ""), std::string("|"));

    // A settings file that cannot be written does not keep the window open.
    f = Create();
    qputenv("TELLMARK_INI", "/proc/no-such-dir/tellmark.ini");
    const bool closed = f->close();
    qputenv("TELLMARK_INI", ini_.toLocal8Bit());
    QVERIFY(closed);
  }

  void callSearchSwitchesDatabases() {
    TCallViewForm* f = Create();
    for (const char* typed : {"W1AW", "w1aw", " W1aw "}) {
      f->SwitchToIntl();
      Type("CallEdit", typed);
      f->SearchCallEdit();
      QVERIFY2(!f->IsIntl(), typed);
      QCOMPARE(Call(), QString("W1AW"));
      QCOMPARE(Text("StateText"), QString("CT"));
      QVERIFY(W<QRadioButton>("dbUSRadBtn")->isChecked());
      QVERIFY(W<QAction>("FileUSdatabaseMenu")->isChecked());
      QVERIFY(W<QComboBox>("ZIPEdit")->isEnabled());
      QVERIFY(W<QRadioButton>("SortByNameRadBtn")->isEnabled());
    }
    QCOMPARE(Texts(), QStringList());

    // Enter in the call box runs the search.
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    W<QComboBox>("CallEdit")->setFocus();
    Type("CallEdit", "g3xyz");
    QTest::keyClick(W<QComboBox>("CallEdit")->lineEdit(), Qt::Key_Return);
    QVERIFY(f->IsIntl());
    QCOMPARE(Call(), QString("G3XYZ"));
    QCOMPARE(W<QComboBox>("CallEdit")->lineEdit()->selectedText(), QString("G3XYZ"));
    // Enter in the ZIP box searches the ZIP (U.S. only).
    f->SwitchToUS();
    W<QComboBox>("ZIPEdit")->setFocus();
    Type("ZIPEdit", "80202");
    QTest::keyClick(W<QComboBox>("ZIPEdit")->lineEdit(), Qt::Key_Enter);
    QCOMPARE(Call(), QString("N0XX"));
    QCOMPARE(f->Lookup().SortIndex(), int(oiUSZIP));
    // Enter anywhere else searches nothing.
    W<QPushButton>("VorBtn")->setFocus();
    Type("CallEdit", "k1abc");
    const int history = W<QComboBox>("CallEdit")->count();
    QTest::keyClick(W<QPushButton>("VorBtn"), Qt::Key_Return);
    QCOMPARE(f->Lookup().SortIndex(), int(oiUSZIP));
    QCOMPARE(W<QComboBox>("CallEdit")->count(), history);
    // A double-click on an order button runs its search.
    answer_ = [](TMessageRequest&) { return static_cast<int>(idCancel); };
    QTest::mouseDClick(W<QRadioButton>("SortByCityRadBtn"), Qt::LeftButton);
    QCOMPARE(Texts(), QStringList({"Type in the city and press Enter:"}));
  }

  void callNotFound() {
    TCallViewForm* f = Create();
    // U.S. shown: the next greater U.S. call, with the message.
    f->SwitchToUS();
    Type("CallEdit", "K5ZZZ");
    f->SearchCallEdit();
    QCOMPARE(Texts(), QStringList({"Call \"k5zzz\" not found." + kNextGreater}));
    QCOMPARE(Call(), QString("KB1AAA"));
    QVERIFY(!f->IsIntl());

    // International shown, 3 characters: moves silently; 4 characters: the message.
    boxes_.clear();
    f->SwitchToIntl();
    Type("CallEdit", "g3z");
    f->SearchCallEdit();
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(Call(), QString("JA1AA"));
    Type("CallEdit", "g3zz");
    f->SearchCallEdit();
    QCOMPARE(Texts(), QStringList({"Call \"g3zz\" not found." + kNextGreater}));

    // Above every call: the entry stays, the not-found text alone.
    boxes_.clear();
    f->SwitchToUS();
    f->FindCall("W9ZZ");
    Type("CallEdit", "wz9zz");
    f->SearchCallEdit();
    QCOMPARE(Texts(), QStringList({"Call \"wz9zz\" not found."}));
    QCOMPARE(Call(), QString("W9ZZ"));

    // A call with a note: the handler takes it and the message is dropped.
    boxes_.clear();
    QStringList asked;
    f->MissingCallHandler = [&asked](const QString& call) {
      asked << call;
      return true;
    };
    Type("CallEdit", "K5ZZZ");
    f->SearchCallEdit();
    QCOMPARE(asked, QStringList({"k5zzz"}));
    QCOMPARE(Texts(), QStringList());
    f->FindCall("W1AW");  // exact: not asked
    QCOMPARE(asked.size(), 1);
  }

  // A call typed with designators, with real keys: the base call's entry as an exact hit, the
  // designators in the caption until another entry is shown.
  void callWithDesignatorsFindsTheBaseCall() {
    TCallViewForm* f = Create();
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    const QString title = f->windowTitle();
    QLineEdit* edit = W<QComboBox>("CallEdit")->lineEdit();
    edit->setFocus();
    const struct {
      const char* typed;
      const char* shown;
      const char* caption;
    } cases[] = {{"K1ABC/P", "K1ABC", " - K1ABC (designators: P)"},
                 {"ve3/w1aw/qrp", "W1AW", " - W1AW (designators: VE3/QRP)"},
                 {"DL/G3XYZ", "G3XYZ", " - G3XYZ (designators: DL)"}};
    for (const auto& c : cases) {
      edit->selectAll();
      QTest::keyClicks(edit, c.typed);
      QTest::keyClick(edit, Qt::Key_Return);
      QCOMPARE(Call(), QString(c.shown));
      QCOMPARE(f->windowTitle(), title + c.caption);
      QCOMPARE(edit->selectedText(), QString(c.shown));
    }
    QCOMPARE(Texts(), QStringList());
    W<QPushButton>("VorBtn")->click();
    QCOMPARE(f->windowTitle(), title);
    // Only a base call that does not exist is not found.
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "K5ZZZ/P");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(Texts(), QStringList({"Call \"k5zzz\" not found." + kNextGreater}));
    QCOMPARE(f->windowTitle(), title);
  }

  // After every search of the call box, also one whose message box took the activation away,
  // the call is selected in the box with the focus: the next call typed replaces it.
  void nextCallTypedReplacesTheLast() {
    TCallViewForm* f = Create();
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    // The box as a real one behaves: another window active while it is open, the main window
    // active again only later.
    answer_ = [](TMessageRequest&) {
      QWidget box;
      box.show();
      box.activateWindow();
      (void)QTest::qWaitForWindowActive(&box);  // offscreen windows may never become active
      return static_cast<int>(idOK);
    };
    QLineEdit* edit = W<QComboBox>("CallEdit")->lineEdit();
    QCOMPARE(edit->selectedText(), QString("3D2AG"));  // the entry shown at the start, too
    QTest::keyClicks(edit, "w1bdz");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(Texts().size(), 1);
    QTest::keyClicks(edit, "k1abc");
    QCOMPARE(Call(), QString("k1abc"));
    // The window manager gives the activation back: the focus is on the call box.
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QVERIFY(W<QComboBox>("CallEdit")->hasFocus());
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(Call(), QString("K1ABC"));
    QCOMPARE(Texts().size(), 1);
    QCOMPARE(edit->selectedText(), QString("K1ABC"));
  }

  void searchHistories() {
    TCallViewForm* f = Create();
    QComboBox* call = W<QComboBox>("CallEdit");
    for (const char* c : {"w1aw", "K1ABC", "W1AW"}) {
      Type("CallEdit", c);
      f->SearchCallEdit();
    }
    QCOMPARE(call->count(), 2);
    QCOMPARE(call->itemText(0), QString("w1aw"));
    QCOMPARE(call->itemText(1), QString("k1abc"));
    for (int i = 0; i < 49; ++i) {
      Type("CallEdit", QString("kc%1").arg(i));
      f->SearchCallEdit();
    }
    QCOMPARE(call->count(), 50);
    QCOMPARE(call->itemText(0), QString("kc48"));
    QCOMPARE(call->itemText(49), QString("w1aw"));
    QCOMPARE(call->findText("k1abc"), -1);  // the 51st key pushed the oldest out

    f->SwitchToUS();
    for (const char* z : {"80202", "99999", "80202"}) {
      Type("ZIPEdit", z);
      f->SearchZIP();
    }
    QComboBox* zip = W<QComboBox>("ZIPEdit");
    QCOMPARE(zip->count(), 2);
    QCOMPARE(zip->itemText(0), QString("80202"));
  }

  void steppingAndGuards() {
    TCallViewForm* f = Create();
    W<QRadioButton>("dbUSRadBtn")->click();
    QCOMPARE(Call(), QString("K1ABC"));
    const int32_t last = OrderEntryCount(oiUSCall) - 1;
    W<QPushButton>("Plus1000Btn")->click();
    QCOMPARE(f->Lookup().Position(), 1000);
    W<QPushButton>("Plus1000Btn")->click();
    QCOMPARE(f->Lookup().Position(), last);
    QCOMPARE(Call(), QString("W9ZZ"));
    W<QPushButton>("VorBtn")->click();  // "+ 1" on the last entry: it stays
    QCOMPARE(f->Lookup().Position(), last);
    QCOMPARE(Call(), QString("W9ZZ"));
    QCOMPARE(Text("RecNrText"), QString());

    f->GoToPosition(400);
    QCOMPARE(f->Lookup().Position(), 400);
    W<QPushButton>("Minus1000Btn")->click();  // "- 1000" at 400: position 0
    QCOMPARE(f->Lookup().Position(), 0);
    QCOMPARE(Call(), QString("K1ABC"));
    W<QPushButton>("Plus10Btn")->click();
    W<QPushButton>("ZurueckBtn")->click();
    QCOMPARE(f->Lookup().Position(), 9);

    // While Busy, steps, orders and database buttons do nothing, and the buttons stay as they were.
    f->SetBusy(true);
    W<QPushButton>("VorBtn")->click();
    W<QRadioButton>("SortByNameRadBtn")->click();
    W<QRadioButton>("dbIntlRadBtn")->click();
    f->SetBusy(false);
    QCOMPARE(f->Lookup().Position(), 9);
    QCOMPARE(f->Lookup().SortIndex(), int(oiUSCall));
    QVERIFY(W<QRadioButton>("SortByCallRadBtn")->isChecked());
    QVERIFY(!f->IsIntl());
    QVERIFY(W<QRadioButton>("dbUSRadBtn")->isChecked());
    // While a dialog of a command is open, the database commands do nothing.
    f->SetModalRunning(true);
    W<QAction>("FileIntlDatabaseMenu")->trigger();
    f->SetModalRunning(false);
    QVERIFY(!f->IsIntl());
    QVERIFY(W<QAction>("FileUSdatabaseMenu")->isChecked());
    QVERIFY(!W<QAction>("FileIntlDatabaseMenu")->isChecked());
  }

  void orderChangeKeepsTheEntry() {
    TCallViewForm* f = Create();
    f->FindCall("K1ABC");
    QSignalSpy spy(f, &TCallViewForm::ListOrderChanged);
    const int32_t ref = f->Lookup().CurrentRef();
    const std::pair<const char*, int> orders[] = {{"SortByNameRadBtn", oiUSName},
                                                  {"SortByCityRadBtn", oiUSCity},
                                                  {"SortByZIPRadBtn", oiUSZIP},
                                                  {"SortByCountyRadBtn", oiUSCounty},
                                                  {"SortByCallRadBtn", oiUSCall}};
    for (const auto& [button, index] : orders) {
      W<QRadioButton>(button)->click();
      QCOMPARE(f->Lookup().SortIndex(), index);
      QCOMPARE(f->Lookup().CurrentRef(), ref);
      QCOMPARE(Call(), QString("K1ABC"));
      QCOMPARE(RefAt(index, f->Lookup().Position()), ref);
      QCOMPARE(spy.last().at(0).toInt(), ListOrderOfOrder(index));
      QCOMPARE(spy.last().at(1).toInt(), f->Lookup().Position());
    }
    W<QRadioButton>("SortByNameRadBtn")->click();
    const int32_t p = f->Lookup().Position();
    W<QPushButton>("VorBtn")->click();
    QCOMPARE(f->Lookup().CurrentRef(), RefAt(oiUSName, p + 1));
  }

  void switchingDatabaseFromAnyState() {
    TCallViewForm* f = Create();
    f->SwitchToUS();
    f->FindCall("K1ABC");  // a U.S. entry with every field
    f->SetSearchResults(std::make_shared<TResultVector>(
        std::vector<int32_t>{RefAt(oiUSCall, 3), RefAt(oiUSCall, 7), RefAt(oiUSCall, 1)}));
    QVERIFY(W<QRadioButton>("SortByResultsRadBtn")->isChecked());
    QCOMPARE(Text("RecNrText"), QString("1 of 3"));
    W<QPushButton>("Plus100Btn")->click();
    QCOMPARE(Text("RecNrText"), QString("3 of 3"));

    W<QRadioButton>("dbIntlRadBtn")->click();
    QVERIFY(f->IsIntl());
    QCOMPARE(f->GetResultCount(), 0);
    QCOMPARE(Text("RecNrText"), QString());
    QVERIFY(W<QRadioButton>("SortByCallRadBtn")->isChecked());
    QCOMPARE(Call(), QString("3D2AG"));
    for (const char* l : {"StateText", "LicIssuedText", "LicExpText", "PrevCallText",
                          "PrevClassText", "VanityCallText", "QRALatitudeText", "QRALongitudeText",
                          "QRATimeZoneText", "QRAAreaCodeText", "LocatorText"})
      QVERIFY2(Text(l).isEmpty(), l);
    QCOMPARE(W<QComboBox>("ZIPEdit")->currentText(), QString());
    QCOMPARE(W<QComboBox>("CountyEdit")->currentText(), QString());
    QVERIFY(!W<QComboBox>("CountyEdit")->isEnabled());
    QVERIFY(W<QLabel>("DataLicClassLbl")->isEnabled());
    QVERIFY(!W<QLabel>("LocatorLbl")->isEnabled());
    QVERIFY(!W<QRadioButton>("SortByCountyRadBtn")->isEnabled());
    // The results can no longer be chosen: the button selects the call order.
    W<QRadioButton>("SortByResultsRadBtn")->click();
    QVERIFY(W<QRadioButton>("SortByCallRadBtn")->isChecked());
    QCOMPARE(f->Lookup().SortIndex(), int(oiIntlCall));

    // From the ZIP order to International and back: the first entry in call order.
    W<QRadioButton>("dbUSRadBtn")->click();
    Type("ZIPEdit", "80202");
    f->SearchZIP();
    W<QAction>("FileIntlDatabaseMenu")->trigger();
    QCOMPARE(f->Lookup().SortIndex(), int(oiIntlCall));
    W<QAction>("FileUSdatabaseMenu")->trigger();
    QCOMPARE(Call(), QString("K1ABC"));
    QCOMPARE(f->Lookup().Position(), 0);
    QCOMPARE(f->Lookup().SortIndex(), int(oiUSCall));
    // A text search without results selects the call order.
    f->SetSearchResults(std::make_shared<TResultVector>(std::vector<int32_t>{}));
    QVERIFY(W<QRadioButton>("SortByCallRadBtn")->isChecked());
    QVERIFY(!f->Lookup().InResults());
  }

  void clickOnTheCheckedRadioButtonChangesNothing() {
    TCallViewForm* f = Create();
    QSignalSpy orders(f, &TCallViewForm::ListOrderChanged);
    // The database shown: the entry and its position stay.
    W<QPushButton>("VorBtn")->click();
    W<QPushButton>("VorBtn")->click();
    const QString intlCall = Call();
    W<QRadioButton>("dbIntlRadBtn")->click();
    QTest::mouseClick(W<QRadioButton>("dbIntlRadBtn"), Qt::LeftButton);
    QCOMPARE(f->Lookup().Position(), 2);
    QCOMPARE(Call(), intlCall);
    QCOMPARE(orders.count(), 0);
    // The menu command always selects the database anew: its first entry.
    W<QAction>("FileIntlDatabaseMenu")->trigger();
    QCOMPARE(f->Lookup().Position(), 0);

    // The order shown: no new display, no new order for the list view.
    W<QRadioButton>("dbUSRadBtn")->click();
    W<QRadioButton>("SortByNameRadBtn")->click();
    W<QPushButton>("VorBtn")->click();
    const int32_t position = f->Lookup().Position();
    orders.clear();
    W<QRadioButton>("SortByNameRadBtn")->click();
    QCOMPARE(orders.count(), 0);
    QCOMPARE(f->Lookup().Position(), position);
    // A double-click on it runs its search only.
    answer_ = [](TMessageRequest&) { return static_cast<int>(idCancel); };
    QTest::mouseDClick(W<QRadioButton>("SortByNameRadBtn"), Qt::LeftButton);
    QCOMPARE(Texts(), QStringList({"Type in the name and press Enter:"}));
    QCOMPARE(orders.count(), 0);

    // The results order: the result shown stays.
    f->SetSearchResults(std::make_shared<TResultVector>(
        std::vector<int32_t>{RefAt(oiUSCall, 3), RefAt(oiUSCall, 7), RefAt(oiUSCall, 1)}));
    W<QPushButton>("VorBtn")->click();
    QCOMPARE(Text("RecNrText"), QString("2 of 3"));
    W<QRadioButton>("SortByResultsRadBtn")->click();
    QCOMPARE(Text("RecNrText"), QString("2 of 3"));
    QCOMPARE(f->Lookup().CurrentRef(), RefAt(oiUSCall, 7));
    // Another order and back: the results start again at the first.
    W<QRadioButton>("SortByCallRadBtn")->click();
    W<QRadioButton>("SortByResultsRadBtn")->click();
    QCOMPARE(Text("RecNrText"), QString("1 of 3"));
  }

  void orderSearchesAndTheirMessages() {
    TCallViewForm* f = Create();
    f->SwitchToUS();
    Type("ZIPEdit", "99999");
    f->SearchZIP();
    QCOMPARE(Texts(), QStringList({"ZIP \"99999\" not found."}));
    QVERIFY(W<QRadioButton>("SortByZIPRadBtn")->isChecked());
    QCOMPARE(W<QComboBox>("ZIPEdit")->currentText(), QString("02108"));  // the entry stays
    boxes_.clear();
    Type("ZIPEdit", " 80202");
    f->SearchZIP();
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(Call(), QString("N0XX"));

    Type("CountyEdit", "Zzz");
    f->SearchCounty();
    QCOMPARE(Texts(), QStringList({"County \"zzz\" not found."}));
    QVERIFY(W<QRadioButton>("SortByCountyRadBtn")->isChecked());
    QVERIFY(!f->ModalRunning());

    boxes_.clear();
    answer_ = [](TMessageRequest& r) {
      if (r.kind == TMessageKind::Input) r.input = "  Nobody ";
      return static_cast<int>(idOK);
    };
    W<QAction>("SearchNameMenu")->trigger();
    QCOMPARE(Texts(),
             QStringList({"Type in the name and press Enter:", "Name \"Nobody\" not found."}));
    QCOMPARE(boxes_[0].caption, QString(kApplicationTitle));
    QVERIFY(W<QRadioButton>("SortByNameRadBtn")->isChecked());
    QCOMPARE(Call(), QString("KB2AAA"));  // the first PARKER, the next greater name
    QVERIFY(!f->ModalRunning());

    boxes_.clear();
    answer_ = [](TMessageRequest& r) {
      if (r.kind == TMessageKind::Input) r.input = "Nowhere";
      return static_cast<int>(idOK);
    };
    f->SearchCity();
    QCOMPARE(Texts(),
             QStringList({"Type in the city and press Enter:", "City \"Nowhere\" not found."}));
    QVERIFY(W<QRadioButton>("SortByCityRadBtn")->isChecked());
    QCOMPARE(f->Lookup().SortIndex(), int(oiUSCity));

    // Cancel: nothing happens.
    boxes_.clear();
    answer_ = [](TMessageRequest&) { return static_cast<int>(idCancel); };
    const int32_t ref = f->Lookup().CurrentRef();
    f->SearchName();
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(f->Lookup().CurrentRef(), ref);
    QVERIFY(!f->ModalRunning());

    // None of them while the International database is shown.
    answer_ = nullptr;
    f->SwitchToIntl();
    boxes_.clear();
    QVERIFY(!W<QAction>("SearchZIPMenu")->isEnabled());
    Type("CallEdit", "x");
    f->SearchZIP();
    f->SearchCounty();
    f->SearchName();
    f->SearchCity();
    QCOMPARE(boxes_.size(), 0);
    QCOMPARE(f->Lookup().SortIndex(), int(oiIntlCall));
  }

  void entryDisplay() {
    TCallViewForm* f = Create();
    f->FindCall("K1ABC");
    QCOMPARE(Text("LicClassText"), QString("E - Extra"));
    QCOMPARE(Text("LicIssuedText"), QString("07/04/1999"));
    QCOMPARE(Text("LicExpText"), QString("07/04/2009"));
    QCOMPARE(Text("VanityCallText"), QString("YES"));
    QCOMPARE(Text("PrevCallText"), QString("N1XYZ"));
    QCOMPARE(Text("PrevClassText"), QString("G - General"));
    QCOMPARE(Text("LocatorText"), QString("FN42LI"));
    QCOMPARE(f->ShownLocator(), QString("FN42LI"));
    // The stored values with the hemisphere from their sign.
    QCOMPARE(Text("QRALongitudeText"), QString::fromUtf8("71.0636° W"));
    QCOMPARE(Text("QRALatitudeText"), QString::fromUtf8("42.3581° N"));
    QCOMPARE(Text("QRATimeZoneText"), QString("EST"));
    QCOMPARE(Text("QRAAreaCodeText"), QString("617"));
    QCOMPARE(W<QComboBox>("CountyEdit")->currentText(), QString("SUFFOLK"));
    QCOMPARE(W<QComboBox>("ZIPEdit")->currentText(), QString("02108"));
    const QString nb(QChar(0x00A0));
    // The address wraps only after ", ".
    QCOMPARE(Text("QTHText"),
             "JOHN" + nb + "Q" + nb + "SMITH, 1" + nb + "BEACON" + nb + "ST, BOSTON");
    QVERIFY(W<QPushButton>("QSLMgrBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("ShowDetailsBtn")->isEnabled());
    // An entry with a map: "Map" stays disabled, like "&Map...", until the map window exists.
    QVERIFY(!W<QPushButton>("MapBtn")->isEnabled());
    QVERIFY(!W<QAction>("ViewMapItem")->isEnabled());
    QCOMPARE(f->MapNumber(), 12);
    QCOMPARE(f->QslManagerRef(), 2);
    QCOMPARE(W<QPushButton>("ShowNotesBtn")->text(), QString("Notes..."));

    f->FindCall("W1AW");
    QCOMPARE(Text("VanityCallText"), QString("NO"));
    QCOMPARE(Text("LicClassText"), QString("B - Club"));
    QCOMPARE(Text("LocatorText"), QString("FN31PR"));
    QVERIFY(W<QPushButton>("ShowDetailsBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("QSLMgrBtn")->isEnabled());
    f->FindCall("W9ZZ");
    QCOMPARE(Text("LicClassText"), QString("x - Unknown"));
    QCOMPARE(Text("LocatorText"), QString());
    QCOMPARE(Text("LicIssuedText"), QString());
    QVERIFY(!W<QPushButton>("MapBtn")->isEnabled());

    f->FindCall("DL1ABC");
    QCOMPARE(Text("LicClassText"), QString("A"));
    QCOMPARE(Text("LocatorText"), QString("JO62QM"));
    QCOMPARE(Text("CountryText"), QString("Germany"));
    QCOMPARE(Text("DXCCText"), QString("Germany"));
    QVERIFY(W<QPushButton>("QSLMgrBtn")->isEnabled());
    QVERIFY(W<QPushButton>("ShowDetailsBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("MapBtn")->isEnabled());
    QCOMPARE(f->MapNumber(), 3);
    QCOMPARE(f->ShownCall(), QString("DL1ABC"));
    f->FindCall("G3XYZ");
    QCOMPARE(Text("LicClassText"), QString("Full"));
    QVERIFY(!W<QPushButton>("QSLMgrBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("ShowDetailsBtn")->isEnabled());
    QVERIFY(!W<QPushButton>("MapBtn")->isEnabled());
    QCOMPARE(f->MapNumber(), 0);
  }

  // Labels and values of the QRA box stand apart ("Longitude: 71.0636° W", not touching).
  void qraLabelsApartFromTheirValues() {
    TCallViewForm* f = Create();
    f->FindCall("K1ABC");
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(f));
    const int gap = f->fontMetrics().horizontalAdvance(' ');
    for (const auto& [label, value] : {std::pair{"QRALongitudeLbl", "QRALongitudeText"},
                                       {"QRALatitudeLbl", "QRALatitudeText"},
                                       {"QRATimeZoneLbl", "QRATimeZoneText"},
                                       {"QRAAreaCodeLbl", "QRAAreaCodeText"}}) {
      const QLabel* l = W<QLabel>(label);
      const QLabel* v = W<QLabel>(value);
      const int textEnd = l->x() + l->fontMetrics().horizontalAdvance(l->text());
      QVERIFY2(v->x() + v->contentsRect().x() - textEnd >= gap,
               qPrintable(QString("%1: label at %2 width %3 text %4, value at %5")
                              .arg(label)
                              .arg(l->x())
                              .arg(l->width())
                              .arg(textEnd - l->x())
                              .arg(v->x())));
    }
  }

  void detailsWindowInStep() {
    TCallViewForm* f = Create();
    TDetailsForm details(f);
    f->SetDetailsForm(&details);
    QCOMPARE(details.windowTitle(), QString("Additional Information"));
    f->FindCall("DL1ABC");
    QCOMPARE(details.CallText(), QString("DL1ABC"));
    QCOMPARE(details.CommentsText(), QString("QRV on 40 m every evening"));
    QCOMPARE(details.FaxNrText(), QString("+49 30 1234567"));
    QCOMPARE(details.EMailAdrText(), QString("dl1abc@example.org"));
    W<QPushButton>("ShowDetailsBtn")->click();
    QVERIFY(details.isVisible());
    details.CloseWindowItemClick();
    QVERIFY(!details.isVisible());
    // Without details the button is off, but the menu item still opens the (empty) window.
    f->FindCall("G3XYZ");
    QCOMPARE(details.CallText(), QString("G3XYZ"));
    QCOMPARE(details.CommentsText(), QString());
    QCOMPARE(details.EMailAdrText(), QString());
    W<QAction>("ViewDetailItem")->trigger();
    QVERIFY(details.isVisible());
    f->FindCall("W1AW");
    QCOMPARE(details.CommentsText(), QString("Headquarters station of the league"));
  }

  // Menu shortcuts win over the editing keys of the search boxes, where the focus almost always
  // is (Ctrl+U would clear the line, Ctrl+A select it): real key events to the focused box.
  void menuShortcutsInTheSearchBoxes() {
    TestDir dir;
    const QByteArray report = QByteArray::fromStdString(dir.file("report.txt"));
    TCallViewForm* f =
        Create("[StartUp]\nPrgVersion=S1998\nLastCall=\n[Report]\nReportFilename=" + report + "\n");
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QLineEdit* call = W<QComboBox>("CallEdit")->lineEdit();
    call->setFocus();
    QVERIFY(f->IsIntl());
    QTest::keyClick(call, Qt::Key_U, Qt::ControlModifier);
    QVERIFY(!f->IsIntl());
    QCOMPARE(call->text(), Call());
    QVERIFY(!Call().isEmpty());
    for (const char* box : {"ZIPEdit", "CountyEdit", "CallEdit"}) {
      f->SwitchToUS();
      QLineEdit* edit = W<QComboBox>(box)->lineEdit();
      edit->setFocus();
      QVERIFY(edit->hasFocus());
      QTest::keyClick(edit, Qt::Key_I, Qt::ControlModifier);
      QVERIFY2(f->IsIntl(), box);
    }
    // Ctrl+A adds the entry shown to the report file instead of selecting the call.
    QTest::keyClick(call, Qt::Key_A, Qt::ControlModifier);
    QFile file(QString::fromUtf8(report));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLatin1(file.readAll()).trimmed(), Call());
    QVERIFY(call->selectedText().isEmpty() || call->selectedText() != call->text() ||
            call->text().isEmpty());
    // Keys that are no menu shortcut still edit the box.
    call->selectAll();
    QTest::keyClick(call, Qt::Key_Backspace);
    QCOMPARE(call->text(), QString());
  }

  // The call box keeps its history list but completes nothing inline: Enter looks up what was
  // typed.
  void noInlineCompletion() {
    TCallViewForm* f = Create();
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QComboBox* box = W<QComboBox>("CallEdit");
    QLineEdit* call = box->lineEdit();
    call->setFocus();
    Type("CallEdit", "DL1ABC/P");
    QTest::keyClick(call, Qt::Key_Return);
    Type("CallEdit", "G3XYZ");
    QTest::keyClick(call, Qt::Key_Return);
    call->clear();
    QTest::keyClicks(call, "DL1ABC");
    QCOMPARE(call->text(), QString("DL1ABC"));
    boxes_.clear();
    QTest::keyClick(call, Qt::Key_Return);
    QCOMPARE(Call(), QString("DL1ABC"));
    QCOMPARE(Texts(), QStringList());
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->itemText(0), QString("dl1abc"));
  }

  // A call longer than the 6 characters of the index key is exact only when the whole call is the
  // entry's call; otherwise the next greater entry, with its message.
  void longCallIsNoExactHitOfItsBeginning() {
    TCallViewForm* f = Create();
    const struct {
      const char* typed;
      QString shown, message;
    } cases[] = {
        {"DL1ABCXYZ", "F5ABC", "Call \"dl1abcxyz\" not found." + kNextGreater},
        {"OE2XABZZZ", "VK2XX", "Call \"oe2xabzzz\" not found." + kNextGreater},
        {"OE2XAB", "OE2XABCDE", "Call \"oe2xab\" not found." + kNextGreater},
        {"OE2XABCDE", "OE2XABCDE", QString()},
        {"DL1ABC", "DL1ABC", QString()},
    };
    for (const auto& c : cases) {
      boxes_.clear();
      f->SwitchToIntl();
      Type("CallEdit", c.typed);
      f->SearchCallEdit();
      QCOMPARE(f->CurrentCall(), c.shown);
      QCOMPARE(Texts(), c.message.isEmpty() ? QStringList() : QStringList({c.message}));
    }
  }

  // The position text of a six-digit result count fits between the step buttons, and the step
  // buttons stay inside the navigation group.
  void navigationFitsALongResultCount() {
    TCallViewForm* f = Create();
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(f));
    f->SetSearchResults(
        std::make_shared<TResultVector>(std::vector<int32_t>(123456, RefAt(oiIntlCall, 1))));
    W<QRadioButton>("SortByResultsRadBtn")->click();
    QLabel* pos = W<QLabel>("RecNrText");
    QCOMPARE(pos->text(), QString("1 of 123456"));
    for (int i = 0; i < 120; ++i) W<QPushButton>("Plus1000Btn")->click();
    QCOMPARE(pos->text(), QString("120001 of 123456"));
    QApplication::processEvents();
    QVERIFY(pos->width() >= pos->fontMetrics().horizontalAdvance(pos->text()));
    const auto rectIn = [&](QWidget* w) { return QRect(w->mapTo(f, QPoint(0, 0)), w->size()); };
    QVERIFY(!rectIn(pos).intersects(rectIn(W<QPushButton>("ZurueckBtn"))));
    QVERIFY(!rectIn(pos).intersects(rectIn(W<QPushButton>("VorBtn"))));
    const QWidget* group = W<QWidget>("NavigatorBox");
    const QRect inside(group->mapTo(f, group->contentsRect().topLeft()),
                       group->contentsRect().size());
    for (const char* b : {"Minus1000Btn", "Plus1000Btn"})
      QVERIFY2(inside.contains(rectIn(W<QPushButton>(b))), b);
    // For people to look at (scripts/screenshots.sh): main-results.png.
    const QString dir = qEnvironmentVariable("TELLMARK_SCREENSHOT_DIR");
    if (!dir.isEmpty()) QVERIFY(f->grab().save(dir + "/main-results.png"));
  }

  void menuTree() {
    TCallViewForm* f = Create();
    QStringList titles;
    for (QAction* a : f->menuBar()->actions()) titles << a->text();
    QCOMPARE(titles, QStringList({"&File", "&Edit", "C&W", "&Search", "&View", "&Report",
                                  "&Options", "&Help"}));
    const auto items = [&](const char* menu) {
      QStringList names;
      for (QAction* a : W<QMenu>(menu)->actions())
        names << (a->isSeparator() ? QString("-")
                  : a->menu()      ? a->menu()->objectName()
                                   : a->objectName());
      return names;
    };
    QCOMPARE(items("FileMenu"),
             QStringList({"FileUSdatabaseMenu", "FileIntlDatabaseMenu", "-", "FilePrintLabelItem",
                          "FileSendFormFeedItem", "FileMarkLabelForPrintingItem",
                          "FileStartPrintLabelsItem", "-", "ExitMenu"}));
    QCOMPARE(items("EditMenu"), QStringList({"EditCopyMenu", "-", "EditNotesItem"}));
    QCOMPARE(
        items("SearchMenu"),
        QStringList({"SearchCallMenu", "SearchNameMenu", "SearchCityMenu", "SearchZIPMenu",
                     "SearchCountyMenu", "SearchTextSearchMenu", "-", "SearchQSLManagerItem"}));
    QCOMPARE(items("ViewMenu").mid(0, 8),
             QStringList({"ViewDetailItem", "ViewListItem", "ViewMapItem", "ViewMainWindow",
                          "ViewBeaconSchedulerItem", "-", "Beacons1", "Census1"}));
    QCOMPARE(items("ViewMenu").size(), 19);
    QCOMPARE(items("ReportMenu"),
             QStringList({"AddEntryToReportMenuItem", "AddSearchResultsToReportMenuItem",
                          "AddAdifLogToReportMenuItem", "-", "ReportPrintLabelsMenuItem",
                          "ReportPrintQslLabelsMenuItem", "-", "ReportEditReportFileMenuItem",
                          "ReportClearReportFileMenuItem"}));
    QCOMPARE(items("HelpMenu"), QStringList({"ContentMenu", "HelpOpenHelpFileasRTFItem",
                                             "HelpOpenHelpFileAsTextItem", "-", "AboutMenu"}));

    const struct {
      const char* name;
      const char* caption;
      const char* shortcut;
      int help;
    } own[] = {{"FileUSdatabaseMenu", "&U.S. database", "Ctrl+U", 1101},
               {"FileIntlDatabaseMenu", "&International database", "Ctrl+I", 1102},
               {"ExitMenu", "E&xit", "Alt+F4", 1199},
               {"SearchCallMenu", "&Call", "F2", 1301},
               {"SearchNameMenu", "&Name...", "F3", 1302},
               {"SearchCityMenu", "C&ity...", "F4", 1303},
               {"SearchZIPMenu", "&ZIP", "F5", 1304},
               {"SearchCountyMenu", "Count&y", "F6", 1305},
               {"ViewDetailItem", "&Details...", "Ctrl+D", 1400},
               {"ViewMainWindow", "Main &Window", "Ctrl+W", 1400}};
    f->SwitchToUS();
    for (const auto& a : own) {
      QAction* action = W<QAction>(a.name);
      QCOMPARE(action->text(), QString(a.caption));
      QCOMPARE(action->shortcut(), QKeySequence(a.shortcut));
      QCOMPARE(action->property("helpContext").toInt(), a.help);
      QVERIFY2(action->isEnabled(), a.name);
    }
    QCOMPARE(W<QMenu>("ViewMenu")->property("helpContext").toInt(), 1400);
    QVERIFY(!W<QAction>("ViewBeaconSchedulerItem")->property("helpContext").isValid());
    QCOMPARE(W<QAction>("InternationalQSignalsMenu")->text(),
             QString("International \"Q\" Signals"));
    // Commands of later work are there but cannot be chosen.
    for (const char* later : {"ViewMapItem"}) QVERIFY2(!W<QAction>(later)->isEnabled(), later);
    // The commands, documents and help are there.
    for (const char* command : {"EditCopyMenu", "OptOtherItem", "AboutMenu", "ContentMenu",
                                "HelpOpenHelpFileasRTFItem", "QSLBureausMenu"})
      QVERIFY2(W<QAction>(command)->isEnabled(), command);
    QVERIFY(W<QMenu>("Beacons1")->menuAction()->isEnabled());
    // The old label method (default) prints with Ctrl+P.
    QCOMPARE(W<QAction>("FilePrintLabelItem")->shortcut(), QKeySequence("Ctrl+P"));
    QVERIFY(W<QAction>("FileMarkLabelForPrintingItem")->shortcut().isEmpty());
    QCOMPARE(f->windowTitle(), QString(kApplicationTitle));
  }

  void messageService() {
    // The error box shows the arrow over any cursor and restores the cursor after.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Qt::CursorShape during = Qt::BlankCursor;
    answer_ = [&during](TMessageRequest&) {
      during = QApplication::overrideCursor()->shape();
      return static_cast<int>(idOK);
    };
    ShowErrorBox(QString(300, 'x'));
    QCOMPARE(during, Qt::ArrowCursor);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QApplication::restoreOverrideCursor();
    QCOMPARE(boxes_[0].kind, TMessageKind::Error);
    QCOMPARE(boxes_[0].caption, QString(kApplicationTitle));
    QCOMPARE(boxes_[0].flags, mbOK | mbIconError);
    QCOMPARE(boxes_[0].text.size(), kMaxMessageLength);

    answer_ = nullptr;
    ShowInfoBox(QString(300, 'y'));
    QCOMPARE(boxes_.last().text.size(), kMaxMessageLength);
    QCOMPARE(boxes_.last().flags, mbOK | mbIconInformation);
    boxes_.removeLast();
    answer_ = [](TMessageRequest&) { return static_cast<int>(idNo); };
    QCOMPARE(ShowInfoBox("Caption", "Question?", mbYesNo | mbIconInformation), int(idNo));
    QCOMPARE(boxes_[1].caption, QString("Caption"));
    QString text = "before";
    QVERIFY(!InputBox("c", "p", text));
    QCOMPARE(text, QString("before"));
    answer_ = [](TMessageRequest& r) {
      r.input += " after";
      return static_cast<int>(idOK);
    };
    QVERIFY(InputBox("c", "p", text));
    QCOMPARE(text, QString("before after"));
  }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"

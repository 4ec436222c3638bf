// The main window's entry for a call typed with designators, on an edition of the entries of
// tests/place_cases.h with the bundled country file: the licensee, QSL manager and e-mail are
// shown, and where the station is (entity, continent, zones read off data/sources/cty.tsv by
// hand) instead of the home place; a call at home keeps its stored fields.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "WindowTestEnv.h"
#include "builder/UEditionWriter.h"
#include "builder/USourceTables.h"
#include "dataset/UDataSet.h"
#include "place_cases.h"
#include "storage/UIndexEngine.h"
#include "ui/FDetail.h"
#include "ui/FTellmarkMain.h"

namespace {

std::string Stored(std::string call) {
  for (char& c : call)
    if (c == '0') c = '<';
  return call;
}

}  // namespace

class TstPlaceDetails : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TestDir> dir_, iniDir_;
  std::unique_ptr<TCallViewForm> form_;
  std::unique_ptr<TDetailsForm> details_;

  template <class T>
  T* W(const char* name) const {
    T* w = form_->findChild<T*>(name);
    if (!w) qFatal("no widget %s", name);
    return w;
  }
  QString Text(const char* label) const { return W<QLabel>(label)->text(); }
  // The address label's no-break spaces read as blanks.
  QString Qth() const { return Text("QTHText").replace(QChar(0xA0), ' '); }

  // The entries of tests/place_cases.h, with a QSL manager and e-mail for two of them; with the
  // bundled country file unless told otherwise.
  static void WriteEditionOf(const std::string& dir, bool countryFile) {
    TBuildInput in;
    in.title = "Places";
    in.qslManagers = {{"K5DRC", "W5QSL", "direct only", "01151999"},
                      {"VE3AAG", "VE3QSL", "via bureau", "02011999"}};
    for (const places::TStationEntry& s : places::Entries()) {
      TBuildEntry e;
      e.db = s.db;
      for (auto [tag, text] : places::Fields(s, places::Locator(s)))
        e.fields.emplace_back(tag, tag == 1 ? Stored(text) : text);
      const std::string call = s.call;
      if (call == "K5DRC") {
        e.fields.InsertByTag(utQslMgr, "1");
        e.fields.InsertByTag(utEMail, "k5drc@example.org");
      } else if (call == "VE3AAG") {
        e.fields.InsertByTag(itQslMgr, "2");
        e.fields.InsertByTag(itEMail, "ve3aag@example.org");
      }
      if (s.db == TDatabase::US) e.surname = "EXAMPLE";
      (s.db == TDatabase::US ? in.us : in.intl).push_back(std::move(e));
    }
    if (countryFile)
      in.entities =
          MakeEntityTable(LoadSourceTables(std::string(TELLMARK_SOURCE_DIR) + "/data/sources"));
    WriteEdition(in, dir);
  }
  void OpenWindow() {
    form_ = std::make_unique<TCallViewForm>();
    details_ = std::make_unique<TDetailsForm>(form_.get());
    form_->SetDetailsForm(details_.get());
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void TypeCall(const QString& typed) {
    QLineEdit* edit = W<QComboBox>("CallEdit")->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
  }

 private slots:
  void initTestCase() {
    dir_ = std::make_unique<TestDir>();
    WriteEditionOf(dir_->path(), true);
    QVERIFY(AllocIndexCaches());
    OpenTestEdition(dir_->path());
    UseTestSettingsFile(iniDir_);
    SetMessageHandler([](TMessageRequest&) { return static_cast<int>(idOK); });
    OpenWindow();
  }
  void cleanupTestCase() {
    details_.reset();
    form_.reset();
    SetMessageHandler({});
    CloseDataSet();
    FreeIndexCaches();
  }

  void typedCallShowsWhereTheStationIs_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("call");   // the entry shown
    QTest::addColumn<QString>("where");  // DXCC: entity, continent, CQ and ITU zones
    QTest::addColumn<QString>("name");   // the licensee: the whole address at home
    QTest::addColumn<bool>("home");      // the home place (locator, state, position) shown
    const QString atSea = "None (at sea or in the air)";
    const QString us = "PAT EXAMPLE";
    const QString usHome = "PAT EXAMPLE, 1 MAIN ST, DALLAS";
    // At home: the stored fields.
    QTest::newRow("K5DRC") << "K5DRC"
                           << "K5DRC"
                           << "United States" << usHome << true;
    QTest::newRow("K5DRC/QRP") << "K5DRC/QRP"
                               << "K5DRC"
                               << "United States" << usHome << true;
    // Another prefix: K is 291, NA (5)[8]; VE3(4)[4]; KH6 110, OC (31)[61]; VK6(29)[58];
    // F 227, EU (14)[27]; W6(3)[6].
    QTest::newRow("VE3/K5DRC") << "VE3/K5DRC"
                               << "K5DRC"
                               << "Canada, NA, CQ 4, ITU 4" << us << false;
    QTest::newRow("K5DRC/KH6") << "K5DRC/KH6"
                               << "K5DRC"
                               << "Hawaii, OC, CQ 31, ITU 61" << us << false;
    QTest::newRow("KH6/K5DRC") << "KH6/K5DRC"
                               << "K5DRC"
                               << "Hawaii, OC, CQ 31, ITU 61" << us << false;
    QTest::newRow("vk6/k5drc") << "vk6/k5drc"
                               << "K5DRC"
                               << "Australia, OC, CQ 29, ITU 58" << us << false;
    QTest::newRow("F/K5DRC") << "F/K5DRC"
                             << "K5DRC"
                             << "France, EU, CQ 14, ITU 27" << us << false;
    QTest::newRow("W6/VE3AAG") << "W6/VE3AAG"
                               << "VE3AAG"
                               << "United States, NA, CQ 3, ITU 6"
                               << "Pat Example VE3AAG" << false;
    // Another call area: K4 has no override (5)[8]; UA7 none: European Russia 54, EU (16)[29].
    QTest::newRow("K5DRC/4") << "K5DRC/4"
                             << "K5DRC"
                             << "United States, NA, CQ 5, ITU 8" << us << false;
    QTest::newRow("KL7ABC/4") << "KL7ABC/4"
                              << "KL7ABC"
                              << "United States, NA, CQ 5, ITU 8" << us << false;
    QTest::newRow("UA9AEA/7") << "UA9AEA/7"
                              << "UA9AEA"
                              << "European Russia, EU, CQ 16, ITU 29"
                              << "Pat Example UA9AEA" << false;
    // An exact call of the country file: =VE2/G3ZAY/P[4], Canada's CQ zone 5.
    QTest::newRow("VE2/G3ZAY/P") << "VE2/G3ZAY/P"
                                 << "G3ZAY"
                                 << "Canada, NA, CQ 5, ITU 4"
                                 << "Pat Example G3ZAY" << false;
    // In its entity, place unknown: the U.S. have many zones, none is given.
    QTest::newRow("K5DRC/P") << "K5DRC/P"
                             << "K5DRC"
                             << "United States, NA" << us << false;
    // At sea and in the air: no entity.
    QTest::newRow("K5DRC/MM") << "K5DRC/MM"
                              << "K5DRC" << atSea << us << false;
    QTest::newRow("K5DRC/AM") << "K5DRC/AM"
                              << "K5DRC" << atSea << us << false;
  }

  void typedCallShowsWhereTheStationIs() {
    QFETCH(QString, typed);
    QFETCH(QString, call);
    QFETCH(QString, where);
    QFETCH(QString, name);
    QFETCH(bool, home);
    TypeCall(typed);
    QCOMPARE(W<QComboBox>("CallEdit")->currentText(), call);
    QCOMPARE(Text("DXCCText"), where);
    QCOMPARE(Qth(), name);
    const bool us = call.startsWith('K');
    QCOMPARE(!Text("LocatorText").isEmpty(), home);
    QCOMPARE(!form_->ShownLocator().isEmpty(), home);
    QCOMPARE(!Text("CountryText").isEmpty(), home);
    if (us) {
      QCOMPARE(Text("StateText").isEmpty(), !home);
      QCOMPARE(W<QComboBox>("ZIPEdit")->currentText().isEmpty(), !home);
      QCOMPARE(W<QComboBox>("CountyEdit")->currentText().isEmpty(), !home);
      QCOMPARE(Text("QRALatitudeText").isEmpty(), !home);
      QCOMPARE(Text("QRALongitudeText").isEmpty(), !home);
      // The licence stays wherever the station is.
      QCOMPARE(Text("LicClassText"), QString("G - General"));
    }
    // QSL manager and e-mail of the licensee, wherever the station is.
    if (call == "K5DRC" || call == "VE3AAG") {
      QVERIFY(W<QPushButton>("QSLMgrBtn")->isEnabled());
      QCOMPARE(details_->EMailAdrText(), call.toLower() + "@example.org");
    }
    // The caption names the designators; the details command shows the same entry the same way.
    QCOMPARE(form_->windowTitle().contains("(designators: "), typed.contains('/'));
    W<QPushButton>("ShowDetailsBtn")->click();
    QCOMPARE(Text("DXCCText"), where);
    QCOMPARE(Qth(), name);
    details_->hide();
  }

  // Another entry shown after a typed call: its own fields again, the caption without
  // designators.
  void steppingShowsTheNextEntryAtHome() {
    TypeCall("KH6/K5DRC");
    QCOMPARE(Text("DXCCText"), QString("Hawaii, OC, CQ 31, ITU 61"));
    W<QPushButton>("VorBtn")->click();
    QVERIFY(W<QComboBox>("CallEdit")->currentText() != QString("K5DRC"));
    QVERIFY(!form_->windowTitle().contains("designators"));
    QCOMPARE(Text("DXCCText"), QString("United States"));
    QVERIFY(Qth().contains(", 1 MAIN ST, "));
    W<QPushButton>("ZurueckBtn")->click();
    QCOMPARE(W<QComboBox>("CallEdit")->currentText(), QString("K5DRC"));
    QCOMPARE(Text("DXCCText"), QString("United States"));
    QCOMPARE(Text("StateText"), QString("TX"));
    QCOMPARE(Qth(), QString("PAT EXAMPLE, 1 MAIN ST, DALLAS"));
    QVERIFY(!Text("LocatorText").isEmpty());
  }

  // An edition without a country file: where the station is cannot be told, so the DXCC value
  // is left empty rather than the home entity given; the home place is still left out.
  void withoutCountryFileNothingIsGuessed() {
    details_.reset();
    form_.reset();
    CloseDataSet();
    TestDir older;
    WriteEditionOf(older.path(), false);
    OpenTestEdition(older.path());
    OpenWindow();
    TypeCall("KH6/K5DRC");
    QCOMPARE(W<QComboBox>("CallEdit")->currentText(), QString("K5DRC"));
    QCOMPARE(Text("DXCCText"), QString());
    QCOMPARE(Qth(), QString("PAT EXAMPLE"));
    QVERIFY(Text("LocatorText").isEmpty());
    QVERIFY(Text("StateText").isEmpty());
    TypeCall("K5DRC");
    QCOMPARE(Text("DXCCText"), QString("United States"));
    QCOMPARE(Text("StateText"), QString("TX"));
    details_.reset();
    form_.reset();
    CloseDataSet();
  }
};

QTEST_MAIN(TstPlaceDetails)
#include "tst_placedetails.moc"
